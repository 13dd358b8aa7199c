// The live-quote list: creation, lookup, users, freeing, free slots, view
// bits, spreads and chart links.
#include <cstring>
#include <thread>

#include "data/chartload.h"
#include "data/spread.h"
#include "quotes/tests/quotes_fixture.h"

namespace {

struct StreamPosts {
  static std::vector<std::pair<uint32_t, mqt *>> posts;
  static int accept;
  static int post(uint32_t code, mqt *r) {
    posts.push_back({code, r});
    return accept;
  }
  static int streaming(uint32_t) { return 1; }
};
std::vector<std::pair<uint32_t, mqt *>> StreamPosts::posts;
int StreamPosts::accept = 1;

class MqtListTest : public QuotesTest {
 protected:
  void SetUp() override {
    QuotesTest::SetUp();
    StreamPosts::posts.clear();
    StreamPosts::accept = 1;
  }
};

TEST_F(MqtListTest, OneRecordPerSymbolWhateverTheCase) {
  mqt *a = create_multiquote_struct("IBM");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->users, 1);
  mqt *b = create_multiquote_struct("ibm");
  EXPECT_EQ(a, b);
  EXPECT_EQ(a->users, 2);
  EXPECT_EQ(find_mqt("Ibm"), a);
  EXPECT_EQ(find_mqt("MSFT"), nullptr);
  EXPECT_EQ(create_multiquote_struct(""), nullptr);
  EXPECT_EQ(list_length(), 1);

  mqt *c = create_multiquote_struct("MSFT");
  EXPECT_EQ(g_mqt_list, a);  // appended at the tail
  EXPECT_EQ(a->next, c);
  EXPECT_EQ(find_mqt_from("MSFT", a, 1), nullptr);
  EXPECT_EQ(find_mqt_from("MSFT", a, 2), c);

  delete_multiquote(a);
  EXPECT_EQ(find_mqt("IBM"), a);
  delete_multiquote(a);  // last user: freed
  EXPECT_EQ(find_mqt("IBM"), nullptr);
  EXPECT_EQ(g_mqt_list, c);
  delete_multiquote_struct("msft");
  EXPECT_EQ(g_mqt_list, nullptr);
  delete_multiquote_struct("msft");  // unknown: nothing happens
}

TEST_F(MqtListTest, DeletingAFreedOrForeignRecordIsRefused) {
  mqt *a = create_multiquote_struct("IBM");
  mqt stray = {};
  stray.users = 1;
  delete_multiquote(&stray);  // not in the list: untouched
  EXPECT_EQ(stray.users, 1);
  EXPECT_EQ(a->users, 1);
}

TEST_F(MqtListTest, PhaseBitsRotate) {
  const char *syms[] = {"A", "B", "C", "D", "E", "F", "G", "H", "I"};
  std::vector<uint32_t> bits;
  for (const char *s : syms) bits.push_back(create_multiquote_struct(s)->phase_bit);
  for (int i = 1; i < 9; i++) {
    uint32_t expect = bits[i - 1] == 128 ? 1 : bits[i - 1] << 1;
    EXPECT_EQ(bits[i], expect) << i;
  }
}

TEST_F(MqtListTest, FreeSlotIsReusedInPlace) {
  mqt *a = create_multiquote_struct("IBM");
  mqt *b = create_multiquote_struct("MSFT");
  mark_mqt_free(a);
  EXPECT_EQ(a->flags, MQT_FREE);
  EXPECT_EQ(a->next, b);
  EXPECT_EQ(find_mqt("IBM"), nullptr);
  mqt *c = create_multiquote_struct("ORCL");
  EXPECT_EQ(c, a);
  EXPECT_FALSE(c->flags & MQT_FREE);
  EXPECT_STREQ(c->symbol, "ORCL");
  EXPECT_EQ(list_length(), 2);
}

TEST_F(MqtListTest, RecordWithStreamsWaitsForTheRelay) {
  g_mqt_hooks.post_stream_request = StreamPosts::post;
  mqt *a = create_multiquote_struct("IBM");
  a->streams_held = 0x11;
  a->symbol_slot = 7;
  delete_multiquote(a);
  ASSERT_EQ(StreamPosts::posts.size(), 1u);
  EXPECT_EQ(StreamPosts::posts[0].first, (uint32_t)MQT_STREAM_RELEASE);
  EXPECT_EQ(find_mqt("IBM"), a);  // still listed, without users
  EXPECT_EQ(a->users, 0);
  EXPECT_EQ(a->symbol_slot, 7);  // kept for the relay side's release
  delete_multiquote(a);          // no user left to drop: no second release
  EXPECT_EQ(StreamPosts::posts.size(), 1u);
  // Taken again before the relay let it go: the same record.
  EXPECT_EQ(create_multiquote_struct("IBM"), a);
  EXPECT_EQ(a->users, 1);
  // The relay releases it.
  a->users = 0;
  mark_mqt_free(a);
  EXPECT_EQ(find_mqt("IBM"), nullptr);
}

TEST_F(MqtListTest, QueuedReleaseKeepsTheRecordTakenAndDroppedAgain) {
  g_mqt_hooks.post_stream_request = StreamPosts::post;
  mqt *a = create_multiquote_struct("IBM");
  a->streams_held = 0x11;
  delete_multiquote(a);
  ASSERT_EQ(StreamPosts::posts.size(), 1u);  // the release waits in the queue
  a->streams_held = 0;  // what the request thread clears before it asks the relay
  EXPECT_EQ(create_multiquote_struct("IBM"), a);
  delete_multiquote(a);
  // The queued release still holds the address: the record stays listed.
  EXPECT_EQ(find_mqt("IBM"), a);
}

TEST_F(MqtListTest, RequestInFlightKeepsTheRecord) {
  g_mqt_hooks.post_stream_request = StreamPosts::post;
  g_mqt_hooks.relay_streaming = StreamPosts::streaming;
  g_cont_update = 1;
  mqt *a = create_multiquote_struct("IBM");
  ASSERT_EQ(StreamPosts::posts.size(), 1u);
  EXPECT_EQ(StreamPosts::posts[0].first, (uint32_t)(MQT_STREAMS_UNCHARTED | MQT_STREAM_ADD));
  EXPECT_EQ(a->pending_streams, 1);
  delete_multiquote(a);
  EXPECT_EQ(find_mqt("IBM"), a);  // the request thread still holds its address
  // A record that is never streamed gets no request.
  mqt *b = create_multiquote_struct("A~U123");
  EXPECT_TRUE(b->flags & MQT_NOT_STREAMABLE);
  EXPECT_EQ(StreamPosts::posts.size(), 2u);  // only the release of IBM
}

TEST_F(MqtListTest, FailedReleasePostFreesTheRecord) {
  g_mqt_hooks.post_stream_request = StreamPosts::post;
  StreamPosts::accept = 0;  // request thread gone
  mqt *a = create_multiquote_struct("IBM");
  a->streams_held = 1;
  delete_multiquote(a);
  EXPECT_EQ(g_mqt_list, nullptr);
}

TEST_F(MqtListTest, ViewBits) {
  std::vector<uint32_t> bits;
  for (int i = 0; i < 32; i++) bits.push_back(alloc_view_bit());
  for (int i = 0; i < 32; i++) EXPECT_EQ(bits[i], 1u << i);
  EXPECT_EQ(alloc_view_bit(), 0u);  // the 33rd
  EXPECT_EQ(free_view_bit(0), 0);
  EXPECT_EQ(free_view_bit(0x3), 0);  // two bits at once: refused
  EXPECT_EQ(free_view_bit(0x4), 1);
  EXPECT_EQ(free_view_bit(0x4), 0);  // not taken any more
  EXPECT_EQ(alloc_view_bit(), 0x4u);

  void *s0 = view_scale_slot(0x8, 0);
  void *s2 = view_scale_slot(0x8, 0x1000002);  // only the low 24 bits count
  ASSERT_NE(s0, nullptr);
  EXPECT_EQ((char *)s2 - (char *)s0, 2 * VIEW_SCALE_SLOT_SIZE);
  memset(s2, 1, VIEW_SCALE_SLOT_SIZE);
  EXPECT_EQ(view_scale_slot(0x8, 3), nullptr);
  EXPECT_EQ(free_view_bit(0x8), 1);  // frees the block (leak check)
}

TEST_F(MqtListTest, WindowsTakeAndGiveBackRecords) {
  uint32_t v1 = alloc_view_bit(), v2 = alloc_view_bit();
  mqt *a = use_multiquote("IBM", v1);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(use_multiquote("IBM", v2), a);
  EXPECT_EQ(a->view_bits, v1 | v2);
  EXPECT_EQ(a->users, 2);
  release_multiquote(a, v1);
  EXPECT_EQ(a->view_bits, v2);
  release_multiquote(a, v2);  // the last view frees it
  EXPECT_EQ(g_mqt_list, nullptr);
  release_multiquote(a, v2);  // a stale pointer is not touched
}

TEST_F(MqtListTest, ChartLinksAndTheirUses) {
  chart_rec *day = new_chart("IBM", TU_DAILY);
  chart_rec *min1 = new_chart("IBM", TU_1MIN);
  chart_rec *min5 = new_chart("IBM", 5);
  chart_rec *week = new_chart("IBM", TU_WEEKLY);
  ASSERT_TRUE(day && min1 && min5 && week);
  mqt *r = link_chart_to_mqt(min1);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(link_chart_to_mqt(min5), r);
  EXPECT_EQ(link_chart_to_mqt(day), r);
  EXPECT_EQ(link_chart_to_mqt(week), r);
  EXPECT_EQ(link_chart_to_mqt(min1), r);  // again: no second use
  EXPECT_EQ(r->users, 4);
  EXPECT_EQ(r->intraday_charts, min1);
  EXPECT_EQ(min1->sibling, min5);
  EXPECT_EQ(min5->sibling, nullptr);
  EXPECT_EQ(r->daily_charts, day);
  EXPECT_EQ(day->sibling, nullptr);
  EXPECT_EQ(week->sibling, nullptr);  // weekly charts are not chained

  // A window holds the record too; the charts go first, the window last.
  uint32_t v = alloc_view_bit();
  EXPECT_EQ(use_multiquote("IBM", v), r);
  free_chart_data(min1);
  free_chart_data(min5);
  free_chart_data(day);
  EXPECT_EQ(r->intraday_charts, nullptr);
  EXPECT_EQ(r->daily_charts, nullptr);
  week->mqt = nullptr;  // weekly charts do not release a record
  r->users--;
  free_chart_data(week);
  EXPECT_EQ(r->users, 1);
  release_multiquote(r, v);
  EXPECT_EQ(g_mqt_list, nullptr);
}

TEST_F(MqtListTest, FreeingARecordClearsListedChartLinks) {
  chart_rec *c = new_chart("IBM", TU_1MIN);
  list_chart(c);
  mqt *r = link_chart_to_mqt(c);
  ASSERT_NE(r, nullptr);
  free_all_mqts();
  EXPECT_EQ(c->mqt, nullptr);
  free_chart_data(c);
}

TEST_F(MqtListTest, BackTestBarsAreNotLinked) {
  chart_rec *c = new_chart("IBM", TU_1MIN);
  ASSERT_TRUE(grow_chart_bars(c, 1) || c->spare > 0);
  c->bars[0].flags = 0x2000;
  c->header.bar_count = 1;
  c->spare--;
  EXPECT_EQ(link_chart_to_mqt(c), nullptr);
  EXPECT_EQ(g_mqt_list, nullptr);
  EXPECT_EQ(link_chart_to_mqt(nullptr), nullptr);
  free_chart_data(c);
}

TEST_F(MqtListTest, PortfolioRecords) {
  mqt *a = create_multiquote_struct("IBM");
  mqt *b = create_multiquote_struct("MSFT");
  mqt *acct = create_multiquote_struct("A~U1");
  a->account_positions[1].quantity = 100;
  b->account_positions[2].quantity = -5;
  acct->account_positions[1].quantity = 1;
  mqt **list = get_portfolio_mqts(1);
  EXPECT_EQ(list[0], a);
  EXPECT_EQ(list[1], nullptr);
  EXPECT_EQ(get_portfolio_mqts(2)[0], b);
  EXPECT_EQ(get_portfolio_mqts(9)[0], nullptr);
}

TEST_F(MqtListTest, SpreadRecordHoldsItsLegs) {
  EXPECT_EQ(get_multiquote("R~AB"), nullptr);  // no definitions at all
  free_spread_cache();
  root_.write("CONFIG/spreads.cfg", "R~AB AAA BBB 2 1\n");
  EXPECT_EQ(get_multiquote("R~XX"), nullptr);
  EXPECT_EQ(g_mqt_list, nullptr);  // nothing created

  mqt *s = get_multiquote("R~AB");
  ASSERT_NE(s, nullptr);
  EXPECT_TRUE(s->flags & MQT_RATIO_SPREAD);
  EXPECT_EQ(s->tick_size, 1.0);
  mqt *a = find_mqt("AAA"), *b = find_mqt("BBB");
  ASSERT_TRUE(a && b);
  EXPECT_EQ(s->leg1, a);
  EXPECT_EQ(s->leg2, b);
  EXPECT_EQ(s->leg_ratio[0], 2);
  ASSERT_NE(a->spread_users, nullptr);
  EXPECT_EQ(a->spread_users->spread, s);
  EXPECT_EQ(b->spread_users->spread, s);
  EXPECT_EQ(a->users, 1);

  // Used again: the legs gain no further users.
  EXPECT_EQ(get_multiquote("R~AB"), s);
  EXPECT_EQ(a->users, 1);

  // A spread is kept by its creation's own user; once that goes too, the
  // legs lose the spread and their use.
  delete_multiquote(s);
  delete_multiquote(s);
  delete_multiquote(s);
  EXPECT_EQ(find_mqt("R~AB"), nullptr);
  EXPECT_EQ(find_mqt("AAA"), nullptr);
  EXPECT_EQ(g_mqt_list, nullptr);
}

TEST_F(MqtListTest, ThreadsTakeAndDropRecords) {
  const char *syms[] = {"IBM", "MSFT", "ORCL", "INTC"};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; t++)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 300; i++) {
        mqt *r = create_multiquote_struct(syms[(t + i) % 4]);
        ASSERT_NE(r, nullptr);
        mqt *u = use_multiquote(syms[i % 4], 1u << t);
        delete_multiquote(r);
        release_multiquote(u, 1u << t);
      }
    });
  for (std::thread &t : threads) t.join();
  for (mqt *r = g_mqt_list; r; r = r->next)
    EXPECT_TRUE(r->flags & MQT_FREE || r->users == 0) << r->symbol;
  EXPECT_EQ(g_mqt_list, nullptr);
}

}  // namespace

namespace {

TEST_F(MqtListTest, ChartLoaderLinksThroughItsHooks) {
  chart_load_hooks saved = g_chart_load_hooks;
  install_mqt_chart_hooks();
  chart_rec *c = new_chart("IBM", TU_1MIN);
  g_chart_load_hooks.link_chart_to_mqt(c);
  mqt *r = g_chart_load_hooks.find_mqt("ibm");
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(c->mqt, r);
  EXPECT_EQ(r->intraday_charts, c);
  EXPECT_EQ(g_chart_load_hooks.get_multiquote("IBM"), r);
  EXPECT_EQ(r->users, 2);
  delete_multiquote(r);
  free_chart_data(c);
  EXPECT_EQ(g_mqt_list, nullptr);
  g_chart_load_hooks = saved;
}

}  // namespace
