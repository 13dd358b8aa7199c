// Price files: reading and verifying hand-made files, writing with kept
// days and sessions, merging, duplicates, extension files.
//
// Every file image here is built byte by byte by the test itself, so that a
// wrong offset in the program's encoder or decoder shows.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "data/chart.h"
#include "data/chart_flags.h"
#include "data/chartload.h"
#include "data/chartheader.h"
#include "data/chartload.h"
#include "data/debugtrace.h"
#include "data/markets.h"
#include "data/statmsg.h"
#include "data/tests/price_image.h"
#include "platform/files.h"
#include "platform/testing/fixture.h"
#include "quotes/mqt.h"
#include "quotes/mqt_flags.h"
#include "quotes/router.h"
#include "settings/settings.h"
#include "settings/testing/settings_saver.h"

namespace {

// Texts the logger put into its ring since `from`.
std::string log_since(size_t from) {
  std::string out;
  for (size_t i = from; i < g_statmsg_cursor; i++)
    out += g_statmsg_ring[i] ? g_statmsg_ring[i] : '\n';
  return out;
}

class PriceFileTest : public TempRootTest {
 protected:
  void SetUp() override {
    TempRootTest::SetUp();
    snprintf(g_settings.DataRoot, sizeof g_settings.DataRoot, "%s", root_.path().c_str());
    g_settings.KeepNumDays1Min = 10;
    g_settings.KeepNumDaysTick = 10;
    g_settings.KeepNumDaysVolume = 10;
    g_settings.KeepExtMktHoursData = 0;
    kv_make_dirs(root_.file("DATA").c_str(), nullptr);
    kv_make_dirs(root_.file("HDATA").c_str(), nullptr);
    log_start_ = g_statmsg_cursor;
    // A chart let go releases its live-quote record, as at start-up.
    saved_hooks_ = g_chart_load_hooks;
    g_chart_load_hooks.delete_multiquote = delete_multiquote;
    g_chart_load_hooks.router_post_stream = router_post_stream;
  }
  void TearDown() override {
    while (g_chart_list) unlist_chart(g_chart_list);
    g_chart_load_hooks = saved_hooks_;
    TempRootTest::TearDown();
  }
  std::string logged() const { return log_since(log_start_); }

  SettingsSaver settings_saver_;  // g_settings put back after the test
  chart_load_hooks saved_hooks_;
  size_t log_start_ = 0;
};

std::vector<int32_t> times_of(const chart_rec* c) {
  std::vector<int32_t> t;
  for (int i = 0; i < c->header.bar_count; i++) t.push_back(c->bars[i].time);
  return t;
}

// ---- header image ------------------------------------------------------

TEST(ChartHeaderImage, DecodesEveryFieldAtItsOffsetAndEncodesTheSameBytes) {
  std::string img(256, '\0');
  for (int off = 0; off < 256; off += 4) put32(img, off, 0x01010101u * (uint32_t)(off / 4 + 1));
  memset(&img[8], 'S', 32);   // symbol without a terminator
  memset(&img[40], 'D', 60);  // description without a terminator
  memcpy(&img[176], "LEG1", 5);
  memcpy(&img[208], "LEG2", 5);
  putf(img, 240, 1.5f);
  putf(img, 244, -2.25f);
  putf(img, 132, 42.5f);

  chart_file_header h;
  decode_chart_header((const uint8_t*)img.data(), &h);
  EXPECT_EQ(h.zero, 0x0101);
  EXPECT_EQ(h.version, 0x0101);
  EXPECT_EQ(h.magic, 0x02020202u);
  EXPECT_EQ(std::string(h.symbol), std::string(31, 'S'));
  EXPECT_EQ(std::string(h.description), std::string(59, 'D'));
  EXPECT_EQ(h.time_unit, 0x1A1A1A1A);     // offset 100
  EXPECT_EQ(h.bar_count, 0x1B1B1B1B);     // 104
  EXPECT_EQ(h.first_date, 0x1C1C1C1C);    // 108
  EXPECT_EQ(h.last_date, 0x1D1D1D1D);     // 112
  EXPECT_EQ(h.flags, 0x1E1E1E1Eu);        // 116
  EXPECT_EQ(h.history_date, 0x1F1F1F1F);  // 120
  EXPECT_EQ(h.history_word, 0x20202020);  // 124
  EXPECT_EQ(h.last_time, 0x21212121);     // 128
  EXPECT_FLOAT_EQ(h.prev_close, 42.5f);   // 132
  EXPECT_EQ(h.quote_word2, 0x23232323u);  // 136
  EXPECT_EQ(h.avg_volume, 0x24242424);    // 140
  EXPECT_EQ(h.session_start, 0x25252525);
  EXPECT_EQ(h.session_end, 0x26262626);
  EXPECT_EQ(h.ext_count, 0x27272727);    // 152
  EXPECT_EQ(h.unit_count1, 0x28282828);  // 156
  EXPECT_EQ(h.unit_count2, 0x29292929);  // 160
  EXPECT_EQ(h.volume_per_bar, 0x2A2A2A2A);
  EXPECT_EQ(h.word168, 0x2B2B2B2Bu);
  EXPECT_EQ(h.word172, 0x2C2C2C2Cu);
  EXPECT_STREQ(h.leg1, "LEG1");
  EXPECT_STREQ(h.leg2, "LEG2");
  EXPECT_FLOAT_EQ(h.ratio1, 1.5f);
  EXPECT_FLOAT_EQ(h.ratio2, -2.25f);
  EXPECT_EQ(h.word248, 0x3F3F3F3Fu);
  EXPECT_EQ(h.checksum, 0x40404040u);

  // Text fields come back terminated, so the bytes differ only there.
  std::string back(256, '\0');
  encode_chart_header(&h, (uint8_t*)&back[0]);
  std::string expect = img;
  expect[8 + 31] = 0;
  expect[40 + 59] = 0;
  expect[176 + 31] = 0;
  expect[208 + 31] = 0;
  EXPECT_EQ(back.substr(100), expect.substr(100));
  EXPECT_EQ(back.substr(0, 100), expect.substr(0, 100));

  uint32_t sum = 0x9AE5E1A5u;
  for (int off = 0; off <= 248; off += 4) sum += get32(img, off);
  EXPECT_EQ(chart_header_checksum((const uint8_t*)img.data()), sum);
}

TEST(ChartHeaderImage, BarFieldsSitAtTheirOffsets) {
  file_image f("X", 1);
  f.bar({1.25f, 2.5f, 0.5f, 2.0f, -7, 0x12345678, BAR_KEEP | BAR_VOLUME_VALID, DAY0 + 60});
  chart_bar b;
  decode_chart_bar((const uint8_t*)f.bytes.data() + 256, &b);
  EXPECT_FLOAT_EQ(b.open, 1.25f);
  EXPECT_FLOAT_EQ(b.high, 2.5f);
  EXPECT_FLOAT_EQ(b.low, 0.5f);
  EXPECT_FLOAT_EQ(b.close, 2.0f);
  EXPECT_EQ(b.volume, -7);
  EXPECT_EQ(b.extra, 0x12345678);
  EXPECT_EQ(b.flags, (uint32_t)(BAR_KEEP | BAR_VOLUME_VALID));
  EXPECT_EQ(b.time, DAY0 + 60);
  uint8_t out[32];
  encode_chart_bar(&b, out);
  EXPECT_EQ(std::string((char*)out, 32), f.bytes.substr(256));
}

// ---- reading -----------------------------------------------------------

TEST_F(PriceFileTest, ReadsEveryBarThatFollowsWhateverTheHeaderClaims) {
  file_image f("ibm", TU_DAILY, 10);
  f.extension(0xEE);
  for (int i = 0; i < 12; i++) f.bar(tbar(DAY0 + i * 86400, 100.0f + i));
  root_.write("DATA/IBM.dyd", f.sealed());

  chart_rec* c = load_and_merge_chart("IBM", nullptr, TU_DAILY, 0);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->header.bar_count, 12);
  EXPECT_FLOAT_EQ(c->bars[11].close, 111.0f);
  EXPECT_EQ(c->header.last_date, 20240315);
  EXPECT_EQ(c->header.last_time, 0);
  EXPECT_EQ(c->references, 1);
  EXPECT_EQ(c->spare, initial_bar_capacity(TU_DAILY));
  EXPECT_EQ(c->header.flags, 0x800000u);  // read clears 0x4 and 0x80
  EXPECT_STREQ(c->header.description, "Test description");
  ASSERT_NE(c->extensions, nullptr);
  EXPECT_EQ(c->extensions->next, nullptr);
  EXPECT_EQ(c->extensions->block[0], 0);  // the stored link word is not kept
  EXPECT_EQ(c->extensions->block[4], 0xEE);
  free_chart_data(c);
}

TEST_F(PriceFileTest, RefusesDamagedFiles) {
  struct {
    const char* what;
    int flip_bit_at;   // byte whose low bit flips after sealing, -1 none
    int claimed_exts;  // extension count written at 152, -1 as built
  } cases[] = {
      {"checksum one bit off", 20, -1},
      {"extension count beyond the file", -1, 3},
      {"huge extension count", -1, 0x7fffffff},
      {"negative extension count", -1, -5},
  };
  for (auto& k : cases) {
    SCOPED_TRACE(k.what);
    file_image f("BAD", TU_DAILY, 2);
    f.bar(tbar(DAY0, 10));
    f.bar(tbar(DAY0 + 86400, 11));
    if (k.claimed_exts != -1) put32(f.bytes, 152, (uint32_t)k.claimed_exts);
    std::string bytes = f.sealed();
    if (k.flip_bit_at >= 0) bytes[k.flip_bit_at] ^= 1;
    root_.write("DATA/BAD.dyd", bytes);
    size_t from = g_statmsg_cursor;
    EXPECT_EQ(load_and_merge_chart("BAD", nullptr, TU_DAILY, 0), nullptr);
    EXPECT_NE(log_since(from).find("Invalid or corrupt data file"), std::string::npos)
        << log_since(from);
  }
}

TEST_F(PriceFileTest, DropsBarsWithoutNumericPricesNamingTheFile) {
  file_image f("NAN", TU_DAILY);
  f.bar(tbar(DAY0, 10));
  f.bar({NAN, 1, 1, 1, 0, 0, 0, DAY0 + 86400});
  f.bar({1, INFINITY, 1, 1, 0, 0, 0, DAY0 + 2 * 86400});
  f.bar(tbar(DAY0 + 3 * 86400, 13));
  root_.write("DATA/NAN.dyd", f.sealed());
  chart_rec* c = load_and_merge_chart("NAN", nullptr, TU_DAILY, 0);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(times_of(c), (std::vector<int32_t>{DAY0, DAY0 + 3 * 86400}));
  EXPECT_EQ(c->spare, initial_bar_capacity(TU_DAILY) + 2);
  EXPECT_NE(logged().find("NAN.dyd"), std::string::npos) << logged();
  free_chart_data(c);

  // Fetched bars without numeric prices are dropped when merging, and the
  // message names the file they were to go into.
  size_t from = g_statmsg_cursor;
  chart_rec* fetched =
      make_chart("nan", TU_DAILY, {tbar(DAY0 + 4 * 86400, 14), tbar(DAY0 + 5 * 86400, 15)});
  fetched->bars[0].close = NAN;
  chart_alloc_log log = {};
  c = merge_bars(nullptr, fetched, &log, 0);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(times_of(c), std::vector<int32_t>{DAY0 + 5 * 86400});
  EXPECT_NE(log_since(from).find("NAN.dyd"), std::string::npos) << log_since(from);
  free_chart_copy(c);
}

TEST_F(PriceFileTest, HeaderOnlyReadOfAnOldVersionReportsNoBarsAndDeletesWhenAsked) {
  file_image f("OLD", TU_DAILY, 3);
  put32(f.bytes, 108, 20240101);
  put32(f.bytes, 112, 20240105);
  f.bytes[2] = 6;  // version 6
  for (int i = 0; i < 3; i++) f.bar(tbar(DAY0 + i * 86400, 10));
  std::string bytes = f.sealed();
  std::string path = root_.file("DATA/OLD.dyd");

  root_.write("DATA/OLD.dyd", bytes);
  chart_rec* h = read_chart_file_header(path.c_str(), 0);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(h->header.bar_count, 0);
  EXPECT_EQ(h->header.first_date, 0);
  EXPECT_EQ(h->header.last_date, 0);
  EXPECT_TRUE(h->header.flags & CHART_HEADER_ONLY);
  free_chart_data(h);
  EXPECT_TRUE(kv_file_exists(path.c_str()));

  h = get_chart_header("old", TU_DAILY, 1);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(h->header.bar_count, 0);
  free_chart_data(h);
  EXPECT_FALSE(kv_file_exists(path.c_str()));

  // A current file keeps its counts; a missing one gives a zero header.
  file_image g("CUR", TU_DAILY, 3);
  put32(g.bytes, 112, 20240105);
  root_.write("DATA/CUR.dyd", g.sealed());
  h = get_chart_header("CUR", TU_DAILY, 1);
  EXPECT_EQ(h->header.bar_count, 3);
  EXPECT_EQ(h->header.last_date, 20240105);
  free_chart_data(h);
  h = get_chart_header("NONE", TU_DAILY, 1);
  EXPECT_EQ(h->header.bar_count, 0);
  EXPECT_EQ(h->header.symbol[0], 0);
  free_chart_data(h);
}

TEST_F(PriceFileTest, HistoricFileReadsOrReportsWhatIsWrong) {
  EXPECT_EQ(read_hdata_file("ES", TU_1MIN), nullptr);
  EXPECT_NE(logged().find("No hdata file: "), std::string::npos);

  file_image f("ES", TU_1MIN);
  f.bar(tbar(DAY0 + 34200, 5));
  root_.write("HDATA/ES.1min", f.sealed());
  chart_rec* c = read_hdata_file("es", TU_1MIN);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->header.bar_count, 1);
  free_chart_data(c);

  root_.write("HDATA/ES.1min", std::string(300, 'x'));
  EXPECT_EQ(read_hdata_file("ES", TU_1MIN), nullptr);
  EXPECT_NE(logged().find("Corrupt HDATA file"), std::string::npos);
}

// ---- file names --------------------------------------------------------

TEST_F(PriceFileTest, FileNamesFollowUnitAndRefuseUnsafeSymbols) {
  struct {
    const char* symbol;
    int unit;
    const char* leaf;  // null: no file
  } cases[] = {
      {"ibm", TU_1MIN, "IBM.1min"},  {"ibm", TU_DAILY, "IBM.dyd"},     {"ibm", TU_3DAY, "IBM.dyd"},
      {"ibm", TU_WEEKLY, "IBM.wyd"}, {"ibm", TU_MONTHLY, "IBM.myd"},   {"ibm", TU_IEXT, "IBM.iext"},
      {"es", -150, "ES.tick50"},     {"es", -1000000500, "ES.vol500"}, {"ibm", 5, nullptr},
      {"ibm", -30, nullptr},         {"ibm", TU_MQT, nullptr},         {"../x", TU_DAILY, nullptr},
      {"a/b", TU_DAILY, nullptr},    {"a\\b", TU_DAILY, nullptr},      {"..", TU_DAILY, nullptr},
      {".", TU_DAILY, nullptr},      {"", TU_DAILY, nullptr},          {"a\tb", TU_DAILY, nullptr},
  };
  for (auto& k : cases) {
    SCOPED_TRACE(std::string(k.symbol) + " " + std::to_string(k.unit));
    const char* leaf = chart_file_name(nullptr, k.symbol, k.unit);
    if (!k.leaf) {
      EXPECT_EQ(leaf, nullptr);
      continue;
    }
    ASSERT_NE(leaf, nullptr);
    EXPECT_STREQ(leaf, k.leaf);
    char path[CHART_PATH_SIZE];
    ASSERT_NE(chart_file_name(path, k.symbol, k.unit), nullptr);
    EXPECT_EQ(std::string(path), root_.path() + "/DATA/" + k.leaf);
  }
  char path[CHART_PATH_SIZE];
  ASSERT_NE(hdata_file_name(path, "es", -110), nullptr);
  EXPECT_EQ(std::string(path), root_.path() + "/HDATA/ES.tick10");
  EXPECT_EQ(hdata_file_name(path, "es", TU_DAILY), nullptr);
}

TEST(ChartCapacity, InitialSlotsByUnit) {
  SettingsSaver saver;
  g_settings.KeepNumDays1Min = 5;
  EXPECT_EQ(initial_bar_capacity(0), 0);
  EXPECT_EQ(initial_bar_capacity(-101), 1024);
  EXPECT_EQ(initial_bar_capacity(-1000000010), 1024);
  EXPECT_EQ(initial_bar_capacity(-30), 100 + 2000 * 30);
  EXPECT_EQ(initial_bar_capacity(1), 820);
  EXPECT_EQ(initial_bar_capacity(390), 5);
  g_settings.KeepNumDays1Min = 1;
  EXPECT_EQ(initial_bar_capacity(390), 2);
}

// ---- writing -----------------------------------------------------------

TEST_F(PriceFileTest, MinuteChartKeepsItsLastDatesAndSessionBars) {
  g_settings.KeepNumDays1Min = 5;
  std::vector<test_bar> bars;
  std::vector<int32_t> expect;
  for (int d = 0; d < 7; d++) {
    for (int32_t tod : {30000, 34200, 40000, 57600, 60000}) {
      int32_t t = DAY0 + d * 86400 + tod;
      bars.push_back(tbar(t, 10.0f + d));
      if (d >= 2 && tod >= 34200 && tod <= 57600) expect.push_back(t);
    }
  }
  chart_rec* c = make_chart("MSFT", TU_1MIN, bars);
  c->header.session_start = 34200;
  c->header.session_end = 57600;
  c->header.flags |= CHART_BARS_CHANGED | CHART_FORCE_WRITE | CHART_REPAINT;
  ASSERT_EQ(write_chart_file(c), 0);
  EXPECT_FALSE(c->header.flags & CHART_FORCE_WRITE);

  std::string f = root_.read("DATA/MSFT.1min");
  ASSERT_GE(f.size(), 256u);
  EXPECT_EQ(get32(f, 0), 7u << 16);
  EXPECT_EQ(get32(f, 4), 0x9AE5E1A5u);
  EXPECT_EQ(f.substr(8, 5), std::string("MSFT\0", 5));
  EXPECT_EQ(get32(f, 100), 1u);
  EXPECT_EQ(get32(f, 104), (uint32_t)expect.size());
  EXPECT_EQ(get32(f, 116), (uint32_t)CHART_REPAINT);  // 0x4 and 0x8000 not stored
  uint32_t sum = 0x9AE5E1A5u;
  for (int off = 0; off <= 248; off += 4) sum += get32(f, off);
  EXPECT_EQ(get32(f, 252), sum);
  EXPECT_EQ(file_times(f), expect);

  // Extended hours kept: every bar of the kept dates.
  g_settings.KeepExtMktHoursData = 1;
  ASSERT_EQ(write_chart_file(c), 0);
  EXPECT_EQ(file_times(root_.read("DATA/MSFT.1min")).size(), 25u);
  // Write-all: everything.
  c->header.flags |= CHART_WRITE_ALL;
  ASSERT_EQ(write_chart_file(c), 0);
  EXPECT_EQ(file_times(root_.read("DATA/MSFT.1min")).size(), 35u);
  free_chart_copy(c);
}

TEST_F(PriceFileTest, MoreSessionRunsThanOneTableLoseNoSessionBar) {
  g_settings.KeepNumDays1Min = 45;
  std::vector<test_bar> bars;
  size_t in_session = 0;
  for (int d = 0; d < 45; d++)
    for (int32_t tod : {20000, 36000, 36060, 70000}) {
      bars.push_back(tbar(DAY0 + d * 86400 + tod, 5));
      in_session += tod >= 34200 && tod <= 57600;
    }
  chart_rec* c = make_chart("RUNS", TU_1MIN, bars);
  c->header.session_start = 34200;
  c->header.session_end = 57600;
  ASSERT_EQ(write_chart_file(c), 0);
  std::string f = root_.read("DATA/RUNS.1min");
  EXPECT_EQ(file_times(f).size(), in_session);
  EXPECT_EQ(get32(f, 104), (uint32_t)in_session);
  free_chart_copy(c);
}

TEST_F(PriceFileTest, OvernightSessionKeepsEveningAndMorningBars) {
  g_settings.KeepNumDays1Min = 10;
  std::vector<test_bar> bars;
  std::vector<int32_t> expect;
  for (int d = 0; d < 3; d++)
    for (int32_t tod : {3600, 61200, 64800, 79200}) {
      int32_t t = DAY0 + d * 86400 + tod;
      bars.push_back(tbar(t, 7));
      if (tod <= 61200 || tod >= 64800)  // closes 17:00, opens 18:00
        expect.push_back(t);
    }
  chart_rec* c = make_chart("ESZ6", TU_1MIN, bars);
  c->header.session_start = 64800;
  c->header.session_end = 61200;
  ASSERT_EQ(write_chart_file(c), 0);
  EXPECT_EQ(file_times(root_.read("DATA/ESZ6.1min")), expect);
  free_chart_copy(c);
}

TEST_F(PriceFileTest, SkipsWhatIsNotWritten) {
  chart_rec* c = make_chart("DERIV", TU_3DAY, {tbar(DAY0, 1)});
  c->header.flags |= CHART_FORCE_WRITE;
  EXPECT_EQ(write_chart_file(c), 0);
  EXPECT_FALSE(kv_file_exists(root_.file("DATA/DERIV.dyd").c_str()));
  free_chart_copy(c);

  c = make_chart("RO", TU_DAILY, {tbar(DAY0, 1)});
  c->header.flags |= CHART_READ_ONLY;
  EXPECT_EQ(write_chart_file(c), 0);
  EXPECT_FALSE(kv_file_exists(root_.file("DATA/RO.dyd").c_str()));
  c->header.flags |= CHART_FORCE_WRITE;
  EXPECT_EQ(write_chart_file(c), 0);
  EXPECT_TRUE(kv_file_exists(root_.file("DATA/RO.dyd").c_str()));
  free_chart_copy(c);

  // A last bar with time 0 is not written.
  c = make_chart("ZERO", TU_DAILY, {tbar(DAY0, 1), tbar(0, 2)});
  EXPECT_EQ(write_chart_file(c), 0);
  EXPECT_EQ(file_times(root_.read("DATA/ZERO.dyd")), std::vector<int32_t>{DAY0});
  free_chart_copy(c);
}

TEST_F(PriceFileTest, WrittenFileReadsBackWithExtensions) {
  chart_rec* c = make_chart("RT", TU_DAILY, {tbar(DAY0, 1), tbar(DAY0 + 86400, 2)});
  chart_extension* e = add_chart_extension(c);
  ASSERT_NE(e, nullptr);
  memset(e->block, 0x5A, sizeof e->block);
  EXPECT_EQ(chart_extension_count(c), 1);
  EXPECT_TRUE(c->header.flags & CHART_EXT_CHANGED);
  ASSERT_EQ(write_chart_file(c), 0);
  std::string f = root_.read("DATA/RT.dyd");
  EXPECT_EQ(get32(f, 152), 1u);
  EXPECT_EQ(get32(f, 256), 0u);  // link word stored as 0
  EXPECT_EQ((uint8_t)f[260], 0x5A);
  free_chart_data(c);

  c = load_and_merge_chart("RT", nullptr, TU_DAILY, 0);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->header.bar_count, 2);
  EXPECT_EQ(chart_extension_count(c), 1);
  EXPECT_EQ(c->extensions->block[127], 0x5A);
  EXPECT_EQ(delete_chart_extension(c, c->extensions), 1);
  EXPECT_EQ(chart_extension_count(c), 0);
  free_chart_data(c);
}

TEST_F(PriceFileTest, MergedDailyChartFeedsItsSymbolsOtherDailyChartsAndTakesThePreviousClose) {
  mqt* record = (mqt*)calloc(1, sizeof(mqt));
  strcpy(record->symbol, "DC");
  record->prev_close = 41.5f;
  record->feed_flags = FEED_PREV_CLOSE;
  chart_rec* merged =
      make_chart("DC", TU_DAILY, {tbar(DAY0, 1), tbar(DAY0 + 86400, 2), tbar(DAY0 + 2 * 86400, 3)});
  chart_rec* small = make_chart("DC", TU_DAILY, {});
  small->spare = 2;  // room for two bars only
  merged->mqt = small->mqt = record;
  record->daily_charts = merged;
  merged->sibling = small;
  merged->header.flags |= CHART_MERGED2;

  ASSERT_EQ(write_chart_file(merged), 0);
  EXPECT_FALSE(merged->header.flags & (CHART_MERGED | CHART_MERGED2));
  EXPECT_EQ(times_of(small), (std::vector<int32_t>{DAY0, DAY0 + 86400}));
  EXPECT_EQ(small->spare, 0);
  EXPECT_FLOAT_EQ(merged->header.prev_close, 41.5f);  // in memory, for the next write
  EXPECT_EQ(get32(root_.read("DATA/DC.dyd"), 132), 0u);
  merged->mqt = small->mqt = nullptr;
  free_chart_copy(merged);
  free_chart_copy(small);
  free(record);
}

TEST_F(PriceFileTest, FailedWriteLeavesTheOldFileAsItWas) {
  chart_rec* c = make_chart("FULL", TU_DAILY, {tbar(DAY0, 1)});
  ASSERT_EQ(write_chart_file(c), 0);
  std::string before = root_.read("DATA/FULL.dyd");
  free_chart_copy(c);

  std::vector<test_bar> many;
  for (int i = 0; i < 5000; i++) many.push_back(tbar(DAY0 + i * 86400, (float)i));
  c = make_chart("FULL", TU_DAILY, many);
  c->header.time_unit = TU_1MIN;
  c->header.flags |= CHART_WRITE_ALL;
  mqt* record = (mqt*)calloc(1, sizeof(mqt));
  record->flags = MQT_1MIN_INIT | MQT_1MIN_WRITABLE;
  c->mqt = record;
  ASSERT_EQ(write_chart_file(c), 0);
  EXPECT_FALSE(record->flags & MQT_1MIN_WRITABLE);  // cleared before a 1-minute write
  before = root_.read("DATA/FULL.1min");

  // The file system refuses to grow any file past 64 KiB: the write stops
  // halfway, as on a full disk.
  struct rlimit old_limit;
  getrlimit(RLIMIT_FSIZE, &old_limit);
  struct rlimit small = old_limit;
  small.rlim_cur = 65536;
  void (*old_handler)(int) = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  int result = write_chart_file(c);
  setrlimit(RLIMIT_FSIZE, &old_limit);
  signal(SIGXFSZ, old_handler);

  EXPECT_EQ(result, 2);
  EXPECT_EQ(root_.read("DATA/FULL.1min"), before);
  EXPECT_NE(logged().find("write error in file:"), std::string::npos);
  EXPECT_TRUE(record->flags & MQT_1MIN_WRITABLE);  // the record's write-error mark
  std::vector<kv_dir_entry> left;
  kv_list_dir(root_.file("DATA/*").c_str(), &left, nullptr);
  EXPECT_EQ(left.size(), 2u);  // the two price files; no temporary file stays behind
  c->mqt = nullptr;
  free(record);
  free_chart_copy(c);
}

// A written 1-minute chart seeds its record's one-minute state from the
// file's bars, through the live-quote hook, when that state was set up.
struct seen {
  static void init(mqt* record, chart_rec* chart) {
    calls.push_back({record, chart});
    record->flags |= MQT_1MIN_INIT | MQT_1MIN_WRITABLE;
  }
  static std::vector<std::pair<mqt*, chart_rec*>> calls;
};
std::vector<std::pair<mqt*, chart_rec*>> seen::calls;

TEST_F(PriceFileTest, WrittenMinuteChartSeedsItsRecordsOneMinuteState) {
  chart_load_hooks saved = g_chart_load_hooks;
  g_chart_load_hooks.init_mqt_from_1min = seen::init;
  mqt* record = (mqt*)calloc(1, sizeof(mqt));
  struct row {
    int unit;
    uint32_t record_flags;
    bool seeded;
  } rows[] = {
      {TU_1MIN, MQT_1MIN_INIT | MQT_1MIN_WRITABLE, true},
      {TU_1MIN, 0, false},  // not set up yet
      {TU_DAILY, MQT_1MIN_INIT | MQT_1MIN_WRITABLE, false},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.unit);
    seen::calls.clear();
    chart_rec* c = make_chart("SEED", r.unit, {tbar(DAY0 + 36000, 1), tbar(DAY0 + 36060, 2)});
    c->header.flags |= CHART_WRITE_ALL | CHART_MERGED;
    record->flags = r.record_flags;
    c->mqt = record;
    ASSERT_EQ(write_chart_file(c), 0);
    if (r.seeded) {
      ASSERT_EQ(seen::calls.size(), 1u);
      EXPECT_EQ(seen::calls[0].first, record);
      EXPECT_EQ(seen::calls[0].second, c);
      EXPECT_TRUE(record->flags & MQT_1MIN_WRITABLE);
    } else {
      EXPECT_TRUE(seen::calls.empty());
    }
    c->mqt = nullptr;
    free_chart_copy(c);
  }
  free(record);
  g_chart_load_hooks = saved;
}

// ---- merging and duplicates ----------------------------------------------

TEST_F(PriceFileTest, MergeReplacesStoredBarsExceptByProvisionalOnes) {
  chart_rec* stored = make_chart(
      "MRG", TU_1MIN,
      {tbar(DAY0 + 34200, 1), tbar(DAY0 + 34260, 2), tbar(DAY0 + 34290, 99),  // not a whole minute
       tbar(DAY0 + 34320, 3)});
  strcpy(stored->header.description, "Stored");
  chart_rec* fetched = make_chart(
      "MRG", TU_1MIN,
      {tbar(DAY0 + 34260, 20, BAR_PROVISIONAL), tbar(DAY0 + 34320, 30), tbar(DAY0 + 34380, 40)});
  fetched->header.prev_close = 7.5f;
  fetched->header.history_date = 20240304;
  chart_alloc_log log = {};
  chart_rec* m = merge_bars(stored, fetched, &log, 0);
  ASSERT_NE(m, nullptr);
  std::vector<float> closes;
  for (int i = 0; i < m->header.bar_count; i++) closes.push_back(m->bars[i].close);
  EXPECT_EQ(closes, (std::vector<float>{1, 2, 30, 40}));
  EXPECT_STREQ(m->header.description, "Stored");
  EXPECT_FLOAT_EQ(m->header.prev_close, 7.5f);
  EXPECT_EQ(m->header.history_date, 20240304);
  EXPECT_EQ(m->header.last_time, 34380);
  EXPECT_EQ(m->header.first_date, 20240304);
  EXPECT_TRUE(m->header.flags & CHART_BARS_CHANGED);
  EXPECT_EQ(m->spare, initial_bar_capacity(TU_1MIN) + 3);
  free_chart_copy(m);
}

TEST_F(PriceFileTest, MergeMatchesDailyBarsByDayAndTickBarsBySpan) {
  chart_rec* stored = make_chart("D", TU_DAILY, {tbar(DAY0, 1), tbar(DAY0 + 86400, 2)});
  chart_rec* fetched =
      make_chart("D", TU_DAILY, {tbar(DAY0 + 86400 + 3600, 20), tbar(DAY0 + 2 * 86400, 30)});
  chart_alloc_log log = {};
  chart_rec* m = merge_bars(stored, fetched, &log, 0);
  EXPECT_EQ(times_of(m), (std::vector<int32_t>{DAY0, DAY0 + 86400 + 3600, DAY0 + 2 * 86400}));
  free_chart_copy(m);

  // Reload drops the stored bars.
  stored = make_chart("D", TU_DAILY, {tbar(DAY0, 1)});
  fetched = make_chart("D", TU_DAILY, {tbar(DAY0 + 86400, 2)});
  m = merge_bars(stored, fetched, &log, CHART_REQ_RELOAD);
  EXPECT_EQ(times_of(m), std::vector<int32_t>{DAY0 + 86400});
  free_chart_copy(m);

  stored = make_chart("T", -110, {tbar(100, 1), tbar(200, 2), tbar(300, 3), tbar(400, 4)});
  fetched = make_chart("T", -110, {tbar(200, 20), tbar(250, 25)});
  m = merge_bars(stored, fetched, &log, 0);
  EXPECT_EQ(times_of(m), (std::vector<int32_t>{100, 200, 250, 300, 400}));
  free_chart_copy(m);

  // A stored file out of order loses no bar outside the fetched span.
  stored = make_chart("T", -110, {tbar(100, 1), tbar(300, 3), tbar(150, 2), tbar(400, 4)});
  fetched = make_chart("T", -110, {tbar(200, 20), tbar(250, 25)});
  m = merge_bars(stored, fetched, &log, 0);
  EXPECT_EQ(times_of(m), (std::vector<int32_t>{100, 150, 200, 250, 300, 400}));
  free_chart_copy(m);
}

TEST_F(PriceFileTest, DuplicatesGoInOnePassByTheKeepRule) {
  const uint32_t K = BAR_KEEP;
  struct {
    const char* what;
    std::vector<test_bar> in;
    std::vector<float> closes;
  } cases[] = {
      {"later wins without keep flag", {tbar(DAY0, 1), tbar(DAY0, 2)}, {2}},
      {"earlier with keep flag wins", {tbar(DAY0, 1, K), tbar(DAY0, 2)}, {1}},
      {"stable sort: first read stays first",
       {tbar(DAY0 + 86400, 5), tbar(DAY0, 1, K), tbar(DAY0, 2)},
       {1, 5}},
      {"run of three",
       {tbar(DAY0, 1), tbar(DAY0, 2), tbar(DAY0, 3), tbar(DAY0 + 86400, 4)},
       {3, 4}},
  };
  for (auto& k : cases) {
    SCOPED_TRACE(k.what);
    chart_rec* c = make_chart("DUP", TU_DAILY, k.in);
    sort_chart_bars(c);
    remove_duplicate_bars(c);
    std::vector<float> closes;
    for (int i = 0; i < c->header.bar_count; i++) closes.push_back(c->bars[i].close);
    EXPECT_EQ(closes, k.closes);
    EXPECT_EQ(c->header.bar_count + c->spare, initial_bar_capacity(TU_DAILY));
    free_chart_copy(c);
  }
}

TEST_F(PriceFileTest, LoadWithFetchedBarsMergesAndWritesTheFile) {
  file_image f("LM", TU_DAILY);
  f.bar(tbar(DAY0, 1));
  f.bar(tbar(DAY0 + 86400, 2));
  root_.write("DATA/LM.dyd", f.sealed());
  chart_rec* fetched = make_chart("lm", TU_DAILY, {tbar(DAY0 + 2 * 86400, 3)});
  chart_rec* c = load_and_merge_chart("LM", fetched, TU_DAILY, 0);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->header.bar_count, 3);
  EXPECT_EQ(file_times(root_.read("DATA/LM.dyd")),
            (std::vector<int32_t>{DAY0, DAY0 + 86400, DAY0 + 2 * 86400}))
      << logged();
  free_chart_data(c);

  fetched = make_chart("OTHER", TU_DAILY, {tbar(DAY0, 1)});
  EXPECT_EQ(load_and_merge_chart("LM", fetched, TU_DAILY, 0), nullptr);
  EXPECT_NE(logged().find("Unmatched symbols"), std::string::npos);
}

TEST_F(PriceFileTest, StoredFileThatCannotBeReadIsNeverReplacedByFetchedBars) {
  struct {
    const char* what;
    int flip_bit_at;   // byte whose low bit flips after sealing, -1 none
    int claimed_exts;  // extension count written at 152, -1 as built
  } cases[] = {
      {"checksum one bit off", 20, -1},
      {"extension count beyond the file", -1, 4},
  };
  for (auto& k : cases) {
    SCOPED_TRACE(k.what);
    file_image f("KEEP", TU_DAILY);
    for (int i = 0; i < 3; i++) f.bar(tbar(DAY0 + i * 86400, 10.0f + i));
    if (k.claimed_exts != -1) put32(f.bytes, 152, (uint32_t)k.claimed_exts);
    std::string bytes = f.sealed();
    if (k.flip_bit_at >= 0) bytes[k.flip_bit_at] ^= 1;
    root_.write("DATA/KEEP.dyd", bytes);

    chart_rec* fetched = make_chart("KEEP", TU_DAILY, {tbar(DAY0 + 5 * 86400, 15)});
    chart_rec* c = load_and_merge_chart("KEEP", fetched, TU_DAILY, 0);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(times_of(c), std::vector<int32_t>{DAY0 + 5 * 86400});
    EXPECT_EQ(root_.read("DATA/KEEP.dyd"), bytes);
    c->header.flags |= CHART_BARS_CHANGED;  // as after a live update
    free_chart_data(c);
    EXPECT_EQ(root_.read("DATA/KEEP.dyd"), bytes);
  }
}

TEST_F(PriceFileTest, MinuteChartOutsideTheMarketMapIsTrimmedOrOnlyItsFileIs) {
  market_rec* market = (market_rec*)calloc(1, sizeof(market_rec));
  for (int m = 570; m < 960; m++)  // 9:30 to 16:00
    market->minutes[m] = MINUTE_MAIN;
  mqt* record = (mqt*)calloc(1, sizeof(mqt));
  strcpy(record->symbol, "TM");
  record->market = market;
  record->users = 2;
  std::vector<test_bar> bars = {tbar(DAY0 + 30000, 1), tbar(DAY0 + 34200, 2), tbar(DAY0 + 57540, 3),
                                tbar(DAY0 + 58000 - 40, 4)};

  // Extended hours asked for: the file is trimmed, the chart is not.
  chart_rec* fetched = make_chart("TM", TU_1MIN, bars);
  fetched->mqt = record;
  chart_rec* c = load_and_merge_chart("TM", fetched, TU_1MIN, CHART_REQ_EXTENDED_HOURS);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->header.bar_count, 4);
  EXPECT_EQ(file_times(root_.read("DATA/TM.1min")),
            (std::vector<int32_t>{DAY0 + 34200, DAY0 + 57540}));

  int spare = c->spare;
  EXPECT_EQ(trim_to_market_hours(c), 1);
  EXPECT_EQ(times_of(c), (std::vector<int32_t>{DAY0 + 34200, DAY0 + 57540}));
  EXPECT_EQ(c->spare, spare + 2);
  EXPECT_EQ(c->bars[2].time, 0);
  c->mqt = nullptr;
  free_chart_data(c);

  c = make_chart("TM", TU_1MIN, bars);
  EXPECT_EQ(trim_to_market_hours(c), 0);  // no live-quote record
  EXPECT_EQ(c->header.bar_count, 4);
  free_chart_copy(c);
  free(record);
  free(market);
}

// ---- chart list and extension files ---------------------------------------

TEST_F(PriceFileTest, ListedChartsAreFoundSharedAndFreed) {
  chart_rec* a = new_chart("AAA", TU_DAILY);
  chart_rec* b = new_chart("BBB", TU_DAILY);
  list_chart(a);
  list_chart(b);
  list_chart(a);  // once only
  EXPECT_EQ(g_chart_list, a);
  EXPECT_EQ(a->next, b);
  EXPECT_EQ(b->next, nullptr);
  EXPECT_EQ(find_listed_chart("aaa", TU_DAILY), a);
  EXPECT_EQ(find_listed_chart("AAA", TU_WEEKLY), nullptr);

  // A record linked to itself ends the walk instead of looping.
  b->next = b;
  EXPECT_EQ(find_listed_chart("CCC", TU_DAILY), nullptr);
  EXPECT_NE(logged().find("endless loop chart linkage"), std::string::npos);
  b->next = nullptr;

  chart_rec* again = load_and_merge_chart("AAA", nullptr, TU_DAILY, CHART_REQ_LISTED_ONLY);
  EXPECT_EQ(again, a);
  EXPECT_EQ(a->references, 2);

  // The header of a listed chart is a header-only copy of the listed one.
  a->header.bar_count = 7;
  chart_rec* h = get_chart_header("aaa", TU_DAILY, 0);
  ASSERT_NE(h, nullptr);
  EXPECT_NE(h, a);
  EXPECT_EQ(h->header.bar_count, 7);
  EXPECT_EQ(h->header.flags & (CHART_HEADER_ONLY | CHART_LISTED), (uint32_t)CHART_HEADER_ONLY);
  free_chart_data(h);
  a->header.bar_count = 0;
  free_chart_data(a);
  EXPECT_EQ(find_listed_chart("AAA", TU_DAILY), a);
  free_chart_data(a);
  EXPECT_EQ(find_listed_chart("AAA", TU_DAILY), nullptr);
  EXPECT_EQ(g_chart_list, b);
  free_chart_data(b);
  EXPECT_EQ(g_chart_list, nullptr);
}

TEST_F(PriceFileTest, ChartListDumpShowsTheChartsOfOneSymbolUnderTraceBit4) {
  chart_rec* a = new_chart("IBM", TU_DAILY);
  chart_rec* b = new_chart("MSFT", TU_DAILY);
  chart_rec* c = new_chart("IBM", TU_1MIN);
  list_chart(a);
  list_chart(b);
  list_chart(c);
  a->references = 3;
  a->counter2 = 2;
  a->sibling = c;
  uint32_t saved = g_trace_mask;

  g_trace_mask = 0x4;
  testing::internal::CaptureStderr();
  dump_chart_list("L test", a);
  dump_chart_list("all", nullptr);
  g_trace_mask = 0x1;  // tracing on, but not the chart list
  dump_chart_list("off", nullptr);
  std::string out = testing::internal::GetCapturedStderr();
  g_trace_mask = saved;

  char pa[32], pc[32];
  snprintf(pa, sizeof pa, "%08lx", (unsigned long)(uintptr_t)a);
  snprintf(pc, sizeof pc, "%08lx", (unsigned long)(uintptr_t)c);
  std::string one = std::string("L test: [") + pa + " IBM t=390]\n" + "  [" + pa +
                    " IBM t=390 m=0 u=3 c=2 C:" + pc + "]\n" + "  [" + pc +
                    " IBM t=1 m=0 u=1 c=0]\n";
  EXPECT_EQ(out.substr(0, one.size()), one);
  std::string rest = out.substr(one.size());
  EXPECT_EQ(rest.rfind("all:\n", 0), 0u) << rest;
  EXPECT_NE(rest.find(" MSFT t=390 m=0 u=1 c=0]\n"), std::string::npos);
  EXPECT_EQ(rest.find("off"), std::string::npos);
  a->sibling = nullptr;
  a->references = 1;
  free_chart_data(a);
  free_chart_data(b);
  free_chart_data(c);
}

TEST_F(PriceFileTest, FreeingTheLastReferenceWritesAChangedChart) {
  struct {
    const char* symbol;
    uint32_t flags;
    bool written;
  } cases[] = {
      {"F4", CHART_BARS_CHANGED, true},
      {"F8", CHART_EXT_CHANGED, true},
      {"F100", CHART_MERGED, true},
      {"F200", CHART_MERGED2, true},
      {"FNONE", 0, false},
      {"FHDR", CHART_BARS_CHANGED | CHART_HEADER_ONLY, false},
  };
  for (auto& k : cases) {
    SCOPED_TRACE(k.symbol);
    chart_rec* c = make_chart(k.symbol, TU_DAILY, {tbar(DAY0, 1), tbar(DAY0 + 86400, 2)});
    c->header.flags |= k.flags;
    if (!(k.flags & CHART_HEADER_ONLY))  // a header-only record is never listed
      list_chart(c);
    c->references = 2;
    std::string leaf = std::string("DATA/") + k.symbol + ".dyd";
    std::string path = root_.file(leaf.c_str());
    free_chart_data(c);  // one reference left: nothing happens
    EXPECT_FALSE(kv_file_exists(path.c_str()));
    free_chart_data(c);
    EXPECT_EQ(find_listed_chart(k.symbol, TU_DAILY), nullptr);
    ASSERT_EQ(kv_file_exists(path.c_str()), k.written);
    if (k.written)
      EXPECT_EQ(file_times(root_.read(leaf.c_str())), (std::vector<int32_t>{DAY0, DAY0 + 86400}));
  }
}

TEST_F(PriceFileTest, MergingOntoAListedChartLeavesItIntact) {
  chart_rec* listed = make_chart("LS", TU_DAILY, {tbar(DAY0, 1)});
  ASSERT_NE(add_chart_extension(listed), nullptr);
  list_chart(listed);
  chart_rec* fetched = make_chart("LS", TU_DAILY, {tbar(DAY0 + 86400, 2)});
  chart_rec* merged = load_and_merge_chart("LS", fetched, TU_DAILY, 0);
  ASSERT_NE(merged, nullptr);
  EXPECT_NE(merged, listed);
  EXPECT_EQ(merged->header.bar_count, 2);
  EXPECT_EQ(listed->references, 1);
  EXPECT_EQ(listed->header.bar_count, 1);
  ASSERT_NE(merged->extensions, nullptr);
  EXPECT_NE(merged->extensions, listed->extensions);  // a copy, freed with its chart
  free_chart_data(merged);
  free_chart_data(listed);
  EXPECT_EQ(g_chart_list, nullptr);
}

TEST_F(PriceFileTest, AllocationLogHoldsThreeRecordsAndFreesThemOnFailure) {
  chart_alloc_log log = {};
  chart_rec* a = chart_log_alloc(&log);
  chart_rec* b = chart_log_alloc(&log);
  ASSERT_NE(chart_log_alloc(&log), nullptr);
  EXPECT_EQ(chart_log_alloc(&log), nullptr);
  EXPECT_NE(logged().find("chart allocation log is full"), std::string::npos);
  chart_log_release(&log, a);
  EXPECT_EQ(log.slot[0], nullptr);
  chart_log_release(&log, a);
  EXPECT_NE(logged().find("chart not listed in log"), std::string::npos);
  b->bars = (chart_bar*)calloc(4, sizeof(chart_bar));
  chart_log_fail(&log, __FILE__, __LINE__, "can't allocate mem", "SYM");
  EXPECT_EQ(log.slot[1], nullptr);
  EXPECT_EQ(log.slot[2], nullptr);
  EXPECT_NE(logged().find("can't allocate mem"), std::string::npos);
}

TEST_F(PriceFileTest, ChartReleasesItsLiveQuoteRecordAndLeavesItsChain) {
  mqt* record = create_multiquote_struct("LQ");
  record->users = 2;
  chart_rec* one = new_chart("LQ", TU_1MIN);
  chart_rec* two = new_chart("LQ", 5);
  one->mqt = two->mqt = record;
  record->intraday_charts = one;
  one->sibling = two;
  list_chart(one);
  list_chart(two);
  free_chart_data(one);
  EXPECT_EQ(record->intraday_charts, two);
  EXPECT_EQ(record->users, 1);
  free_chart_data(two);  // the last user frees the record
  EXPECT_EQ(g_chart_list, nullptr);
}

TEST_F(PriceFileTest, IntradayExtensionsLiveInTheIextFile) {
  mqt* record = create_multiquote_struct("IX");
  chart_rec* c = new_chart("IX", TU_1MIN);
  EXPECT_EQ(add_chart_extension(c), nullptr);  // no record
  c->mqt = record;
  chart_extension* e = add_chart_extension(c);
  ASSERT_NE(e, nullptr);
  memset(e->block, 0x33, sizeof e->block);
  EXPECT_EQ(record->iext_count, 1);
  EXPECT_TRUE(record->flags & MQT_EXT_CHANGED);
  EXPECT_EQ(c->extensions, nullptr);
  EXPECT_EQ(write_iext_file(record), 1);
  std::string f = root_.read("DATA/IX.iext");
  ASSERT_EQ(f.size(), 128u);
  EXPECT_EQ(get32(f, 0), 0u);
  EXPECT_EQ((uint8_t)f[4], 0x33);

  EXPECT_EQ(read_iext_file(record), 1);
  EXPECT_EQ(record->iext_count, 1);
  EXPECT_EQ(record->iext_chain->block[0], 0);
  EXPECT_EQ(record->iext_chain->block[100], 0x33);

  // A file that is not whole blocks is refused.
  root_.write("DATA/IX.iext", std::string(200, 'z'));
  EXPECT_EQ(read_iext_file(record), 0);
  EXPECT_EQ(record->iext_count, 1);

  // Deleting the last block deletes the file when it is written.
  EXPECT_EQ(delete_chart_extension(c, record->iext_chain), 1);
  EXPECT_EQ(write_iext_file(record), 1);
  EXPECT_FALSE(kv_file_exists(root_.file("DATA/IX.iext").c_str()));
  free_chart_data(c);  // releases the record
}

}  // namespace
