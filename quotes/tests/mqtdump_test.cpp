// The live-quote dump: which records are written, what a read restores and
// into which record, and dump files that cannot be trusted.
#include <cmath>
#include <cstring>
#include <limits>

#include "data/chartheader.h"
#include "data/cmdline.h"
#include "platform/files.h"
#include "quotes/mqtdump.h"
#include "quotes/tests/quotes_fixture.h"

class MqtDumpTest : public QuotesTest {
 protected:
  void SetUp() override {
    QuotesTest::SetUp();
    kv_make_dirs(root_.file("CONFIG").c_str(), nullptr);
    g_instance_letter = 0;
  }
  void TearDown() override {
    g_instance_letter = 0;
    QuotesTest::TearDown();
  }
  // A record with a quote, a trade in its time and sales and a position.
  static mqt *quoted(const char *symbol, uint32_t set, uint32_t clear, float last) {
    mqt *r = create_multiquote_struct(symbol);
    r->flags = (r->flags | set) & ~clear;
    r->last = last;
    r->bid = last - 0.5f;
    r->ask = last + 0.5f;
    r->quote_date = 20240102;
    r->trade_epoch = 1704200000;
    r->vwap_sum = 1000.5;
    r->vwap_volume = 10;
    r->stored.high = last + 1;
    r->session_volume[389] = 77;
    r->minute_volume[78] = 5;
    ts_entry &t = r->ts_ring[127];
    t.trade_flags = TS_HELD_BACK | TS_ABOVE_ASK;
    t.symbol = 7;
    t.kind = TS_KIND_TRADE;
    t.time = 36000;
    t.key = 1234;
    t.price = last;
    t.size = 300;
    t.volume = 900;
    t.condition = 'X';
    r->ts_next = 5;
    r->ts_wrapped = 1;
    r->histogram_step = 0.25;
    r->histogram[250] = 42;
    r->paper_quantity = -3;
    r->paper_avg_price = last;
    strcpy(r->broker_local_symbol, "LOCAL");
    r->tick_size = 0.05;
    return r;
  }
  std::string dump() { return root_.read("CONFIG/mqtdata.dump"); }
};

TEST_F(MqtDumpTest, RestoresTheQuoteIntoTheLiveRecordAndKeepsItsLinks) {
  quoted("IBM", 0, MQT_NOT_STREAMABLE, 100);
  quoted("KEEP", MQT_KEEP_IN_DUMP | MQT_NOT_STREAMABLE, 0, 50);
  quoted("OFF", MQT_NOT_STREAMABLE, 0, 10);  // not streamable: not written
  mqt *acct = quoted("A~U123", MQT_NOT_STREAMABLE, 0, 1);
  acct->account_positions[2].profit = 15;
  ASSERT_EQ(write_mqt_dump(), 1);
  std::string file = dump();
  ASSERT_EQ(file.size(), 4 + 3u * MQT_DUMP_RECORD_SIZE);
  EXPECT_EQ(get_le32((const uint8_t *)file.data()), (uint32_t)MQT_DUMP_VERSION);

  free_all_mqts();
  mqt *ibm = create_multiquote_struct("ibm");  // live again, spelt otherwise
  ibm->users = 3;
  ibm->account_positions[0].quantity = 9;
  ibm->alert_hit_count = 2;
  uint32_t flags = ibm->flags;
  EXPECT_EQ(read_mqt_dump(), 2);  // IBM, and the account with a profit; KEEP is not recreated
  EXPECT_STREQ(ibm->symbol, "ibm");
  EXPECT_EQ(ibm->users, 3);
  EXPECT_EQ(ibm->flags, flags);
  EXPECT_EQ(ibm->account_positions[0].quantity, 9);
  EXPECT_EQ(ibm->alert_hit_count, 2);
  EXPECT_EQ(ibm->last, 100);
  EXPECT_EQ(ibm->ask, 100.5f);
  EXPECT_EQ(ibm->quote_date, 20240102);
  EXPECT_EQ(ibm->vwap_sum, 1000.5);
  EXPECT_EQ(ibm->vwap_volume, 10);
  EXPECT_EQ(ibm->stored.high, 101);
  EXPECT_EQ(ibm->session_volume[389], 77);
  EXPECT_EQ(ibm->minute_volume[78], 5);
  EXPECT_EQ(ibm->ts_ring[127].volume, 900);
  EXPECT_EQ(ibm->ts_ring[127].trade_flags, TS_HELD_BACK | TS_ABOVE_ASK);
  EXPECT_EQ(ibm->ts_ring[127].symbol, 7);
  EXPECT_EQ(ibm->ts_ring[127].key, 1234);
  EXPECT_EQ(ibm->ts_ring[127].condition, 'X');
  EXPECT_EQ(ibm->ts_next, 5);
  EXPECT_EQ(ibm->histogram[250], 42);
  EXPECT_EQ(ibm->histogram_step, 0.25);
  EXPECT_EQ(ibm->paper_quantity, -3);
  EXPECT_EQ(ibm->tick_size, 0.05);
  EXPECT_STREQ(ibm->broker_local_symbol, "LOCAL");
  EXPECT_EQ(find_mqt("KEEP"), nullptr);
  mqt *back = find_mqt("A~U123");
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->last, 1);
  EXPECT_EQ(back->account_positions[2].profit, 0);  // account slots are the live record's
}

TEST_F(MqtDumpTest, AnInstanceReadsOnlyItsOwnDump) {
  g_instance_letter = 'b';
  quoted("IBM", 0, MQT_NOT_STREAMABLE, 100);
  ASSERT_EQ(write_mqt_dump(), 1);
  EXPECT_EQ(dump(), "");
  EXPECT_EQ(root_.read("CONFIG/mqtdatab.dump").size(), 4u + MQT_DUMP_RECORD_SIZE);
  g_instance_letter = 0;
  EXPECT_EQ(read_mqt_dump(), 0);
  g_instance_letter = 'b';
  EXPECT_EQ(read_mqt_dump(), 1);
}

TEST_F(MqtDumpTest, UntrustedFiles) {
  mqt *ibm = quoted("IBM", 0, MQT_NOT_STREAMABLE, 100);
  quoted("MSFT", 0, MQT_NOT_STREAMABLE, 30);
  ASSERT_EQ(write_mqt_dump(), 1);
  const std::string good = dump();
  const size_t second = 4 + MQT_DUMP_RECORD_SIZE;
  auto with = [&](size_t at, const std::string &bytes) {
    std::string f = good;
    f.replace(at, bytes.size(), bytes);
    return f;
  };
  auto f32 = [](float v) {
    uint8_t b[4];
    put_lef(b, v);
    return std::string((const char *)b, 4);
  };
  auto i32 = [](int32_t v) {
    uint8_t b[4];
    put_le32(b, (uint32_t)v);
    return std::string((const char *)b, 4);
  };
  const size_t LAST = 128 + 20, TS_NEXT = 2480 + 128 * 32, NEWEST_MINUTE = 2456 - 4;
  struct Case {
    const char *name;
    std::string file;
    int restored;
  } cases[] = {
      {"whole", good, 2},
      {"empty", "", 0},
      {"short version word", good.substr(0, 3), 0},
      {"version 4351", with(0, i32(4351)), 2},
      {"version 4352", with(0, i32(4352)), 0},
      {"version 4095", with(0, i32(4095)), 0},
      {"cut in a record", good.substr(0, good.size() - 1), 1},  // the whole one before it stays
      {"version only", good.substr(0, 4), 0},
      {"last no number", with(second + LAST, f32(std::numeric_limits<float>::quiet_NaN())), 1},
      {"last infinite", with(4 + LAST, f32(std::numeric_limits<float>::infinity())), 1},
      {"ring index out of range", with(second + TS_NEXT, i32(128)), 1},
      {"negative ring index", with(second + TS_NEXT, i32(-1)), 1},
      {"newest minute far before the day", with(second + NEWEST_MINUTE, i32(INT32_MIN)), 1},
      {"newest minute after the day", with(4 + NEWEST_MINUTE, i32(24 * 60)), 1},
      {"empty symbol", with(4, std::string(1, '\0')), 1},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    ibm->last = 0;
    root_.write("CONFIG/mqtdata.dump", c.file);
    EXPECT_EQ(read_mqt_dump(), c.restored);
  }
  // A symbol that fills its field is cut inside it.
  std::string f = with(4, std::string(MQT_SYMBOL_SIZE, 'I'));
  root_.write("CONFIG/mqtdata.dump", f);
  mqt *longer = create_multiquote_struct(std::string(MQT_SYMBOL_SIZE - 1, 'I').c_str());
  EXPECT_EQ(read_mqt_dump(), 2);
  EXPECT_EQ(longer->last, 100);
}
