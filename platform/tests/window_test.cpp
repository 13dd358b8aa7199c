// Window ids and posted window messages, delivered without an event loop.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

#include "platform/thread.h"
#include "platform/window.h"
#include "platform/testing/fixture.h"

namespace {

std::atomic<int> g_released{0};
void count_release(unsigned, kv_wparam, kv_lparam lparam) {
  free((void *)lparam);
  g_released++;
}

struct recorder {
  std::vector<std::string> got;  // "<message>:<text>"
};

kv_lresult record_msg(void *ctx, kv_hwnd, unsigned message, kv_wparam wparam, kv_lparam lparam) {
  auto *r = (recorder *)ctx;
  char *text = (char *)lparam;
  r->got.push_back(std::to_string(message - WM_USER) + ":" + (text ? text : ""));
  free(text);  // the handler owns a delivered payload
  return (kv_lresult)wparam;
}

class WindowTest : public TempRootTest {
 protected:
  void SetUp() override {
    TempRootTest::SetUp();
    g_released = 0;
    kv_dispatch_posted(-1);
  }
};

TEST_F(WindowTest, DeliveredMessagesReachTheHandlerInOrderWithoutRelease) {
  recorder r;
  kv_hwnd a = kv_window_create(record_msg, &r);
  kv_hwnd b = kv_window_create(record_msg, &r);
  ASSERT_NE(a, 0u);
  ASSERT_NE(a, b);
  ASSERT_TRUE(kv_post_message(a, WM_STATUS_MSG, 0, (kv_lparam)strdup("one"), count_release));
  ASSERT_TRUE(kv_post_message(b, WM_DRAW_NAMED_CHART, 0, (kv_lparam)strdup("two"), count_release));
  ASSERT_TRUE(PostMessage(a, WM_MQT_DONE, 0, 0));
  EXPECT_EQ(kv_posted_count(a), 2);
  EXPECT_EQ(kv_posted_count(0), 3);
  EXPECT_EQ(kv_dispatch_posted(1), 1);
  EXPECT_EQ(kv_dispatch_posted(-1), 2);
  EXPECT_EQ(r.got, (std::vector<std::string>{"1:one", "18:two", "0:"}));
  EXPECT_EQ(g_released, 0);
  EXPECT_EQ(kv_send_message(a, WM_ALERTS_DLG_OPENED, 42, 0), 42);
  kv_window_destroy(a);
  kv_window_destroy(b);
}

TEST_F(WindowTest, PostToAGoneWindowFailsAndTheClosingWindowReleasesItsQueue) {
  recorder r;
  kv_hwnd w = kv_window_create(record_msg, &r);
  kv_hwnd other = kv_window_create(record_msg, &r);
  ASSERT_TRUE(kv_post_message(w, WM_STATUS_MSG, 0, (kv_lparam)strdup("a"), count_release));
  ASSERT_TRUE(kv_post_message(other, WM_STATUS_MSG, 0, (kv_lparam)strdup("keep"), count_release));
  ASSERT_TRUE(kv_post_message(w, WM_GET_CHART_COMPLETE, 0, (kv_lparam)strdup("b"), count_release));

  kv_window_destroy(w);  // closes with two messages queued
  EXPECT_EQ(g_released, 2);
  EXPECT_FALSE(kv_window_exists(w));
  EXPECT_FALSE(IsWindow(w));

  // A post to the gone window fails and takes nothing: the poster frees.
  char *payload = strdup("late");
  EXPECT_EQ(kv_post_message(w, WM_GET_CHART_COMPLETE, 0, (kv_lparam)payload, count_release), 0);
  EXPECT_EQ(g_released, 2);
  free(payload);
  EXPECT_EQ(kv_post_message(0, WM_STATUS_MSG, 0, 0), 0);

  // The other window's message is untouched; a new window never gets the
  // old id.
  kv_hwnd again = kv_window_create(record_msg, &r);
  EXPECT_NE(again, w);
  EXPECT_EQ(kv_dispatch_posted(-1), 1);
  EXPECT_EQ(r.got, std::vector<std::string>{"1:keep"});
  EXPECT_EQ(kv_send_message(w, WM_ALERTS_DLG_OPENED, 1, 0), 0);
  kv_window_destroy(other);
  kv_window_destroy(again);
}

TEST_F(WindowTest, MessageForAWindowWithoutHandlerIsReleased) {
  kv_hwnd w = kv_window_create(nullptr, nullptr);
  ASSERT_TRUE(kv_post_message(w, WM_STATUS_MSG, 0, (kv_lparam)strdup("x"), count_release));
  EXPECT_EQ(kv_dispatch_posted(-1), 0);
  EXPECT_EQ(g_released, 1);
  kv_window_destroy(w);
}

struct poster_arg {
  kv_hwnd wnd;
  int count;
};

int post_many(void *arg) {
  auto *p = (poster_arg *)arg;
  for (int i = 0; i < p->count; i++)
    kv_post_message(p->wnd, WM_UPDATE_FROM_THREAD, (kv_wparam)i, 0);
  return 0;
}

kv_lresult count_updates(void *ctx, kv_hwnd, unsigned, kv_wparam, kv_lparam) {
  (*(int *)ctx)++;
  return 0;
}

std::atomic<int> g_wakes{0};
void on_wake(void *) {
  g_wakes++;
}

TEST_F(WindowTest, PostsFromWorkersWakeTheDispatcherWhenTheQueueFills) {
  int n = 0;
  kv_hwnd w = kv_window_create(count_updates, &n);
  g_wakes = 0;
  kv_set_post_wakeup(on_wake, nullptr);
  kv_post_message(w, WM_UPDATE_FROM_THREAD, 0, 0);
  kv_post_message(w, WM_UPDATE_FROM_THREAD, 0, 0);
  EXPECT_EQ(g_wakes, 1);  // only the empty -> non-empty turn wakes
  kv_dispatch_posted(-1);
  kv_post_message(w, WM_UPDATE_FROM_THREAD, 0, 0);
  EXPECT_EQ(g_wakes, 2);

  poster_arg args{w, 500};
  std::vector<kv_thread *> ts;
  for (int i = 0; i < 4; i++) ts.push_back(kv_thread_start("poster", post_many, &args));
  for (kv_thread *t : ts) {
    kv_thread_join(t, -1, nullptr);
    kv_thread_free(t);
  }
  kv_dispatch_posted(-1);
  EXPECT_EQ(n, 3 + 4 * 500);
  kv_set_post_wakeup(nullptr, nullptr);
  kv_window_destroy(w);
}

// A receiver tells its messages apart by number: no two of the program's
// messages share one (WM_CHART_THREAD_PING, which shares WM_MQT_DONE's,
// never reaches a window).
TEST(MessageNumbers, EveryProgramMessageHasItsOwnNumber) {
  const unsigned numbers[] = {
      WM_MQT_DONE,
      WM_STATUS_MSG,
      WM_UPDATE_DAILY_CHART,
      WM_THREAD_IS_DEAD,
      WM_PROGRAM_UPDATES,
      WM_ALERT_TRIGGERED,
      WM_ALERTS_DLG_OPENED,
      WM_ALERTS_DLG_CLOSED,
      WM_UPDATE_FROM_THREAD,
      WM_REQUEST_REFRESH,
      WM_PROGRAM_EXIT,
      WM_STREAM_REQUEST,
      WM_TRADE_UPDATE,
      WM_CONT_UPDATE_STATUS,
      WM_ORDERBOOK_UPDATE,
      WM_LEVEL2_UPDATE,
      WM_DRAW_NAMED_CHART,
      WM_UPDATE_EXT_SESSION,
      WM_CANDLE_OUTSIDE_WINDOW,
      WM_MIN_MAX_WINDOW,
      WM_ORDER_STATUS,
      WM_INIT_ALL_CHART_ANNOTATIONS,
      WM_ORDER_EXECUTION,
      WM_TWS_RESTORED,
      WM_ORDER_REMOVED,
      WM_TWS_SOCKET,
      WM_PORTFOLIO_UPDATE,
      WM_TWS_RESUBSCRIBE,
      WM_BID_ASK_UPDATE,
      WM_GET_CHART_COMPLETE,
      WM_GET_CHART_TIMEOUT,
      WM_GET_CHART_REQUEST,
      WM_ADD_PL_SYMBOL,
      WM_REMOVE_PL_SYMBOL,
      WM_UPDATE_PL_SYMBOL,
      WM_CLEAR_PORTFOLIO,
      WM_MARKET_STATS_DONE,
  };
  std::vector<unsigned> sorted(std::begin(numbers), std::end(numbers));
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end());
}

}  // namespace
