// Posted window messages on the Qt event loop: order, thread, payload
// release, timers, commands and modal loops.
#include <gtest/gtest.h>

#include <QDialog>
#include <QTimer>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "platform/qt/test_harness.h"
#include "platform/qt/wnd.h"
#include "platform/testing/fixture.h"

namespace {

struct Recorder : KvWnd {
  std::vector<std::pair<unsigned, kv_wparam>> got;
  std::vector<std::thread::id> threads;
  std::vector<unsigned> timers;
  std::vector<unsigned> commands;
  std::function<void(unsigned, kv_wparam)> on_message;
  kv_lresult WindowProc(unsigned m, kv_wparam w, kv_lparam l) override {
    got.push_back({m, w});
    threads.push_back(std::this_thread::get_id());
    if (on_message) on_message(m, w);
    return KvWnd::WindowProc(m, w, l);
  }
  void OnTimer(unsigned id) override { timers.push_back(id); }
  kv_lresult OnCommandMessage(unsigned id) override {
    commands.push_back(id);
    return 1;
  }
};

std::atomic<int> g_released{0};
void count_release(unsigned, kv_wparam, kv_lparam l) {
  delete reinterpret_cast<int*>(l);
  g_released++;
}

class WindowMessages : public TempRootTest {
 protected:
  void SetUp() override {
    TempRootTest::SetUp();
    kv_test_app();
  }
};

TEST_F(WindowMessages, WorkerPostsArriveInOrderOnTheUserInterfaceThread) {
  Recorder w;
  constexpr int kCount = 2000;
  std::thread worker([hwnd = w.GetSafeHwnd()] {
    for (int i = 0; i < kCount; i++)
      ASSERT_EQ(kv_post_message(hwnd, WM_USER + 1, kv_wparam(i), 0), 1);
  });
  worker.join();
  ASSERT_TRUE(kv_wait_until([&] { return w.got.size() == size_t(kCount); }));
  for (int i = 0; i < kCount; i++) {
    EXPECT_EQ(w.got[size_t(i)].second, kv_wparam(i));
    EXPECT_EQ(w.threads[size_t(i)], std::this_thread::get_id());
  }
}

TEST_F(WindowMessages, ClosedWindowReleasesQueuedPayloadsAndRefusesPosts) {
  g_released = 0;
  auto w = std::make_unique<Recorder>();
  kv_hwnd hwnd = w->GetSafeHwnd();
  std::thread worker([hwnd] {
    for (int i = 0; i < 3; i++)
      kv_post_message(hwnd, WM_USER + 2, 0, kv_lparam(new int(i)), &count_release);
  });
  worker.join();
  w.reset();  // closes before the loop ran
  EXPECT_EQ(g_released.load(), 3);
  int* payload = new int(7);
  EXPECT_EQ(kv_post_message(hwnd, WM_USER + 2, 0, kv_lparam(payload), &count_release), 0);
  delete payload;  // a refused post leaves the payload with the poster
  kv_pump_events(20);
  EXPECT_EQ(g_released.load(), 3);
}

TEST_F(WindowMessages, SendRunsAtOnceAndTimersAndCommandsArriveById) {
  Recorder w;
  EXPECT_EQ(w.SendMessage(WM_USER + 3, 5, 0), 0);
  ASSERT_EQ(w.got.size(), 1u);
  EXPECT_EQ(w.got[0].second, 5u);

  EXPECT_EQ(w.PostCommand(32778), 1);
  ASSERT_TRUE(kv_wait_until([&] { return !w.commands.empty(); }));
  EXPECT_EQ(w.commands[0], 32778u);

  EXPECT_EQ(w.SetTimer(2, 5), 2u);
  ASSERT_TRUE(kv_wait_until([&] { return w.timers.size() >= 2; }));
  EXPECT_EQ(w.timers[0], 2u);
  EXPECT_EQ(w.KillTimer(2), 1);
  EXPECT_EQ(w.KillTimer(2), 0);
  size_t n = w.timers.size();
  kv_pump_events(30);
  EXPECT_EQ(w.timers.size(), n);
}

TEST_F(WindowMessages, ModalLoopStillDeliversPostedMessages) {
  Recorder w;
  QDialog dlg;
  w.on_message = [&](unsigned m, kv_wparam) {
    if (m == WM_USER + 9) dlg.accept();
  };
  kv_hwnd hwnd = w.GetSafeHwnd();
  QTimer::singleShot(
      10, [hwnd] { std::thread([hwnd] { kv_post_message(hwnd, WM_USER + 9, 0, 0); }).join(); });
  QTimer::singleShot(3000, &dlg, [&] { dlg.reject(); });
  EXPECT_EQ(dlg.exec(), QDialog::Accepted);
}

TEST_F(WindowMessages, HandlerThatRunsAModalLoopDoesNotStallLaterMessages) {
  Recorder w;
  QDialog dlg;
  w.on_message = [&](unsigned m, kv_wparam) {
    if (m == WM_USER + 10) dlg.exec();  // message 11 must arrive inside
    if (m == WM_USER + 11) dlg.accept();
  };
  QTimer::singleShot(3000, &dlg, [&] { dlg.reject(); });
  w.PostMessage(WM_USER + 10);
  w.PostMessage(WM_USER + 11);
  ASSERT_TRUE(kv_wait_until([&] { return w.got.size() == 2; }));
  EXPECT_EQ(w.got[1].first, unsigned(WM_USER + 11));
}

// The same for a window registered without KvWnd (a plain handler).
TEST_F(WindowMessages, PlainHandlerThatRunsAModalLoopDoesNotStallLaterMessages) {
  struct Ctx {
    QDialog dlg;
    bool in_modal = false;
    int arrived_inside = -1;
  } ctx;
  auto handler = [](void* c, kv_hwnd, unsigned m, kv_wparam, kv_lparam) -> kv_lresult {
    auto* x = static_cast<Ctx*>(c);
    if (m == WM_USER + 20) {
      x->in_modal = true;
      x->dlg.exec();
      x->in_modal = false;
    }
    if (m == WM_USER + 21) {
      x->arrived_inside = x->in_modal;
      x->dlg.accept();
    }
    return 0;
  };
  kv_hwnd hwnd = kv_window_create(handler, &ctx);
  QTimer::singleShot(3000, &ctx.dlg, [&] { ctx.dlg.reject(); });
  kv_post_message(hwnd, WM_USER + 20, 0, 0);
  kv_post_message(hwnd, WM_USER + 21, 0, 0);
  ASSERT_TRUE(kv_wait_until([&] { return ctx.arrived_inside >= 0 && !ctx.in_modal; }));
  EXPECT_EQ(ctx.arrived_inside, 1);
  kv_window_destroy(hwnd);
}

}  // namespace
