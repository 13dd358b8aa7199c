// Events, the re-entrant critical section and the timed mutex.
#include <gtest/gtest.h>

#include <atomic>

#include "platform/assert.h"
#include "platform/locks.h"
#include "platform/sync.h"
#include "platform/thread.h"
#include "platform/testing/fixture.h"
#include "platform/testing/wait.h"

namespace {

class SyncTest : public TempRootTest {};

struct event_waiters {
  kv_event *ev;
  std::atomic<int> woke{0};
};

int wait_once(void *arg) {
  auto *w = (event_waiters *)arg;
  if (w->ev->wait(10000)) w->woke++;
  return 0;
}

// Starts n threads waiting on ev; returns them.
std::vector<kv_thread *> start_waiters(event_waiters *w, int n) {
  std::vector<kv_thread *> ts;
  for (int i = 0; i < n; i++) ts.push_back(kv_thread_start("waiter", wait_once, w));
  EXPECT_TRUE(kv_wait_until([&] { return w->ev->waiters() == n; }));
  return ts;
}

void join_all(std::vector<kv_thread *> &ts) {
  for (kv_thread *t : ts) {
    kv_thread_join(t, -1, nullptr);
    kv_thread_free(t);
  }
}

// Waits until n of the total waiters have passed and the others are parked
// in the wait again; a wrongly released further waiter shows in the count.
int settle(event_waiters *w, int n, int total) {
  kv_wait_until([&] { return w->woke >= n && w->ev->waiters() == total - w->woke; });
  return w->woke;
}

TEST_F(SyncTest, AutoResetEventLetsOneWaiterThroughPerSet) {
  kv_event ev(KV_AUTO_RESET);
  event_waiters w{&ev};
  auto ts = start_waiters(&w, 3);
  ev.set();
  EXPECT_EQ(settle(&w, 1, 3), 1);
  EXPECT_FALSE(ev.is_set());  // the waiter that passed reset it
  ev.set();
  EXPECT_EQ(settle(&w, 2, 3), 2);
  ev.set();
  join_all(ts);
  EXPECT_EQ(w.woke, 3);

  // Sets with nobody waiting are not counted: one later wait passes.
  ev.set();
  ev.set();
  EXPECT_EQ(ev.wait(0), 1);
  EXPECT_EQ(ev.wait(10), 0);
}

TEST_F(SyncTest, ManualResetEventReleasesAllAndStaysSet) {
  kv_event ev(KV_MANUAL_RESET);
  event_waiters w{&ev};
  auto ts = start_waiters(&w, 3);
  ev.set();
  join_all(ts);
  EXPECT_EQ(w.woke, 3);
  EXPECT_EQ(ev.wait(0), 1);
  EXPECT_EQ(ev.wait(0), 1);
  ev.reset();
  EXPECT_EQ(ev.wait(10), 0);
  kv_event initially(KV_MANUAL_RESET, true);
  EXPECT_EQ(initially.wait(0), 1);
}

struct lock_probe {
  kv_critical_section *cs;
  kv_mutex *mx;
  int got = -1;
};

int try_cs(void *arg) {
  auto *p = (lock_probe *)arg;
  p->got = p->cs->try_lock() ? 1 : 0;
  if (p->got) p->cs->unlock();
  return 0;
}

int try_mutex_for(void *arg) {
  auto *p = (lock_probe *)arg;
  p->got = p->mx->lock_for(20);
  if (p->got) p->mx->unlock();
  return 0;
}

void run(kv_thread_fn fn, lock_probe *p) {
  kv_thread *t = kv_thread_start("probe", fn, p);
  kv_thread_join(t, -1, nullptr);
  kv_thread_free(t);
}

TEST_F(SyncTest, CriticalSectionIsReentrantAndExcludesOtherThreads) {
  lock_probe p{&g_chart_lock, nullptr};
  g_chart_lock.lock();
  {
    kv_lock again(g_chart_lock);  // same thread enters again
    EXPECT_EQ(g_chart_lock.depth(), 2);
    EXPECT_TRUE(g_chart_lock.held_by_current_thread());
  }
  run(try_cs, &p);
  EXPECT_EQ(p.got, 0);  // still held once
  g_chart_lock.unlock();
  EXPECT_FALSE(g_chart_lock.held_by_current_thread());
  run(try_cs, &p);
  EXPECT_EQ(p.got, 1);
}

TEST_F(SyncTest, MutexWaitGivesUpAfterItsTimeOut) {
  kv_mutex mx;
  lock_probe p{nullptr, &mx};
  mx.lock();
  run(try_mutex_for, &p);
  EXPECT_EQ(p.got, 0);
  mx.unlock();
  run(try_mutex_for, &p);
  EXPECT_EQ(p.got, 1);
}

// Data guarded by the mutex is seen whole by the next holder, also one
// that took it with a time-out (the thread checker follows that hand-over)
// and one that waited while another thread held it.
struct guarded_count {
  kv_mutex mx;
  int value = 0;  // guarded by mx
};

int add_under_timed_lock(void *arg) {
  auto *g = (guarded_count *)arg;
  for (int i = 0; i < 2000; i++) {
    if (!g->mx.lock_for(10000)) return 1;
    g->value++;
    g->mx.unlock();
  }
  return 0;
}

TEST_F(SyncTest, MutexHandsItsDataOverBetweenThreads) {
  guarded_count g;
  kv_thread *a = kv_thread_start("adder", add_under_timed_lock, &g);
  kv_thread *b = kv_thread_start("adder", add_under_timed_lock, &g);
  for (int i = 0; i < 2000; i++) {
    kv_lock_guard<kv_mutex> hold(g.mx);
    g.value++;
  }
  int code_a = -1, code_b = -1;
  ASSERT_EQ(kv_thread_join(a, -1, &code_a), 1);
  ASSERT_EQ(kv_thread_join(b, -1, &code_b), 1);
  kv_thread_free(a);
  kv_thread_free(b);
  EXPECT_EQ(code_a, 0);
  EXPECT_EQ(code_b, 0);
  EXPECT_EQ(g.value, 6000);
}

TEST_F(SyncTest, SharedHistoryEventIsAutoReset) {
  g_hmds_event.reset();
  g_hmds_event.set();
  EXPECT_EQ(g_hmds_event.wait(0), 1);
  EXPECT_EQ(g_hmds_event.wait(0), 0);
}

TEST_F(SyncTest, InstanceClaimRefusesASecondHolder) {
  int a = kv_instance_claim("OstrelanB");
  ASSERT_GE(a, 0);
  EXPECT_EQ(kv_instance_claim("OstrelanB"), -1);
  int c = kv_instance_claim("OstrelanC");
  EXPECT_GE(c, 0);
  kv_instance_release(a);
  int again = kv_instance_claim("OstrelanB");
  EXPECT_GE(again, 0);
  kv_instance_release(again);
  kv_instance_release(c);
}

}  // namespace

#if KV_ASSERTS
// A function whose callers must hold the chart lock stops a caller that
// does not.
TEST(KvAssertDeathTest, ChartLockHeldCheckStopsACallerWithoutTheLock) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(KV_ASSERT_CHART_LOCK_HELD(), "g_chart_lock.held_by_current_thread");
  kv_lock guard(g_chart_lock);
  KV_ASSERT_CHART_LOCK_HELD();
}
#endif
