// Thread message queues: readiness, filters, peeks, time-outs, closing.
#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "platform/clock.h"
#include "platform/sync.h"
#include "platform/thread.h"
#include "platform/testing/fixture.h"
#include "platform/testing/wait.h"

namespace {

std::atomic<int> g_released{0};
void count_release(unsigned, kv_wparam, kv_lparam) {
  g_released++;
}

class ThreadQueueTest : public TempRootTest {
 protected:
  void SetUp() override {
    TempRootTest::SetUp();
    g_released = 0;
  }
};

// A worker in the shape of the chart loaders: it makes its queue only
// after a delay, then serves one range of messages until told to quit.
struct worker_ctx {
  kv_event go{KV_MANUAL_RESET};
  std::vector<unsigned> served;
};

int loader_worker(void *arg) {
  auto *w = (worker_ctx *)arg;
  w->go.wait(-1);
  kv_peek_message(nullptr, 0, 0, 0);  // creates the queue
  kv_msg m;
  while (kv_get_message(&m, WM_USER + 1, WM_USER + 51) > 0) w->served.push_back(m.message);
  return 7;
}

TEST_F(ThreadQueueTest, PostFailsUntilTheThreadMadeItsQueue) {
  worker_ctx w;
  kv_thread *t = kv_thread_start("chart_update_thread", loader_worker, &w);
  ASSERT_NE(t, nullptr);
  EXPECT_STREQ(kv_thread_name(t), "chart_update_thread");
  kv_thread_id id = kv_thread_get_id(t);
  EXPECT_NE(id, 0u);
  EXPECT_NE(id, kv_current_thread_id());

  EXPECT_EQ(kv_post_thread_message(id, WM_CHART_THREAD_PING, 0, 0), 0);
  w.go.set();
  ASSERT_TRUE(
      kv_wait_until([&] { return kv_post_thread_message(id, WM_CHART_THREAD_PING, 0, 0); }));
  EXPECT_EQ(kv_post_thread_message(id, WM_GET_CHART_REQUEST, 3, 0), 1);
  EXPECT_EQ(kv_post_quit(id, 0), 1);
  int code = -1;
  ASSERT_EQ(kv_thread_join(t, 5000, &code), 1);
  EXPECT_EQ(code, 7);
  EXPECT_FALSE(kv_thread_running(t));
  // The ping lies outside the served range and is never handled.
  EXPECT_EQ(w.served, std::vector<unsigned>{WM_GET_CHART_REQUEST});
  // The ended thread's queue is gone.
  EXPECT_EQ(kv_post_thread_message(id, WM_USER + 2, 0, 0), 0);
  kv_thread_free(t);
}

TEST_F(ThreadQueueTest, FilteredGetLeavesOtherMessagesQueuedInOrder) {
  kv_queue_create();
  kv_thread_id me = kv_current_thread_id();
  ASSERT_TRUE(kv_post_thread_message(me, 0x300, 1, 0));
  ASSERT_TRUE(kv_post_thread_message(me, 0x405, 2, 0));
  ASSERT_TRUE(kv_post_thread_message(me, 0x450, 3, 0));
  ASSERT_TRUE(kv_post_thread_message(me, 0x406, 4, 0));

  kv_msg m;
  ASSERT_EQ(kv_get_message(&m, 0x401, 0x421), 1);
  EXPECT_EQ(m.wparam, 2u);
  // A peek finds without removing; with remove it takes.
  ASSERT_EQ(kv_peek_message(&m, 0x401, 0x421, 0), 1);
  EXPECT_EQ(m.wparam, 4u);
  ASSERT_EQ(kv_peek_message(&m, 0x401, 0x421, 1), 1);
  EXPECT_EQ(m.wparam, 4u);
  EXPECT_EQ(kv_peek_message(&m, 0x401, 0x421, 1), 0);
  EXPECT_EQ(kv_get_message_timeout(&m, 0x401, 0x421, 5), -1);
  EXPECT_EQ(kv_queue_length(me), 2);

  // The rest is still there, oldest first.
  ASSERT_EQ(kv_get_message(&m, 0, 0), 1);
  EXPECT_EQ(m.message, 0x300u);
  ASSERT_EQ(kv_get_message(&m, 0, 0), 1);
  EXPECT_EQ(m.message, 0x450u);

  // WM_QUIT passes any filter and ends a get loop.
  ASSERT_TRUE(kv_post_quit(me, 3));
  EXPECT_EQ(kv_get_message(&m, 0x401, 0x421), 0);
  EXPECT_EQ(m.wparam, 3u);
  kv_queue_close();
}

struct waiter_ctx {
  kv_thread_id target;
};

int late_poster(void *arg) {
  kv_sleep_ms(20);
  kv_post_thread_message(((waiter_ctx *)arg)->target, WM_REQUEST_REFRESH, 1, 0);
  return 0;
}

TEST_F(ThreadQueueTest, WaitReturnsOnAMessageOrTheTimeOut) {
  kv_queue_create();
  int64_t t0 = kv_monotonic_ms();
  EXPECT_EQ(kv_wait_message(30), 0);
  EXPECT_GE(kv_monotonic_ms() - t0, 25);

  waiter_ctx c{kv_current_thread_id()};
  kv_thread *t = kv_thread_start("poster", late_poster, &c);
  EXPECT_EQ(kv_wait_message(5000), 1);
  kv_msg m;
  ASSERT_EQ(kv_get_message_timeout(&m, 0, 0, 0), 1);
  EXPECT_EQ(m.message, (unsigned)WM_REQUEST_REFRESH);
  kv_thread_join(t, -1, nullptr);
  kv_thread_free(t);
  kv_queue_close();
}

TEST_F(ThreadQueueTest, ClosedQueueRefusesPostsAndReleasesWhatItHeld) {
  kv_queue_create();
  kv_thread_id me = kv_current_thread_id();
  ASSERT_TRUE(kv_post_thread_message(me, WM_STREAM_REQUEST, 1, 0, count_release));
  ASSERT_TRUE(kv_post_thread_message(me, WM_STREAM_REQUEST, 2, 0, count_release));
  ASSERT_TRUE(kv_post_thread_message(me, WM_PROGRAM_EXIT, 0, 0));
  kv_queue_close();
  EXPECT_EQ(g_released, 2);
  EXPECT_EQ(kv_post_thread_message(me, WM_STREAM_REQUEST, 3, 0, count_release), 0);
  EXPECT_EQ(g_released, 2);  // a refused post releases nothing: the poster frees
  kv_msg m;
  EXPECT_EQ(kv_get_message_timeout(&m, 0, 0, 0), -1);
}

struct two_events {
  kv_event ready{KV_MANUAL_RESET}, posted{KV_MANUAL_RESET};
};

int queued_then_exit(void *arg) {
  auto *e = (two_events *)arg;
  kv_queue_create();
  e->ready.set();
  e->posted.wait(10000);
  return 0;
}

TEST_F(ThreadQueueTest, ThreadEndingWithMessagesQueuedReleasesThem) {
  two_events e;
  kv_thread *t = kv_thread_start("short", queued_then_exit, &e);
  kv_thread_id id = kv_thread_get_id(t);
  ASSERT_EQ(e.ready.wait(10000), 1);
  EXPECT_TRUE(kv_post_thread_message(id, WM_STREAM_REQUEST, 0, 0, count_release));
  e.posted.set();
  kv_thread_join(t, -1, nullptr);
  kv_thread_free(t);
  EXPECT_EQ(g_released, 1);
}

int sleeper(void *arg) {
  ((kv_event *)arg)->wait(-1);
  return 0;
}

TEST_F(ThreadQueueTest, JoinTimesOutWhileTheThreadRuns) {
  kv_event stop(KV_MANUAL_RESET);
  kv_thread *t = kv_thread_start("sleeper", sleeper, &stop);
  EXPECT_EQ(kv_thread_join(t, 10, nullptr), 0);
  EXPECT_TRUE(kv_thread_running(t));
  stop.set();
  EXPECT_EQ(kv_thread_join(t, 5000, nullptr), 1);
  kv_thread_free(t);
}

}  // namespace
