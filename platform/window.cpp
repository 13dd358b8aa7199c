// The window-id registry and the queue of posted window messages.
//
// One mutex guards the registry and the queue.  Handlers, release
// functions and the wake-up function always run with it released, so they
// may post, create or destroy windows themselves.
#include "platform/window.h"

#include <deque>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace {

struct window_entry {
  kv_window_handler handler;
  void *ctx;
};

struct posted_msg {
  kv_hwnd wnd;
  kv_msg msg;
};

std::mutex g_win_mutex;
std::unordered_map<kv_hwnd, window_entry> g_windows;
std::deque<posted_msg> g_posted;
kv_hwnd g_next_hwnd = 1;
kv_post_wakeup_fn g_wake_fn = nullptr;
void *g_wake_ctx = nullptr;

void release(const kv_msg &m) {
  if (m.release) m.release(m.message, m.wparam, m.lparam);
}

}  // namespace

kv_hwnd kv_window_create(kv_window_handler handler, void *ctx) {
  std::lock_guard<std::mutex> g(g_win_mutex);
  kv_hwnd id = g_next_hwnd++;
  if (g_next_hwnd == 0) g_next_hwnd = 1;  // after 4 billion windows
  g_windows[id] = window_entry{handler, ctx};
  return id;
}

int kv_window_set_handler(kv_hwnd wnd, kv_window_handler handler, void *ctx) {
  std::lock_guard<std::mutex> g(g_win_mutex);
  auto it = g_windows.find(wnd);
  if (it == g_windows.end()) return 0;
  it->second = window_entry{handler, ctx};
  return 1;
}

void kv_window_destroy(kv_hwnd wnd) {
  std::vector<kv_msg> dropped;
  {
    std::lock_guard<std::mutex> g(g_win_mutex);
    if (!g_windows.erase(wnd)) return;
    for (auto it = g_posted.begin(); it != g_posted.end();) {
      if (it->wnd == wnd) {
        dropped.push_back(it->msg);
        it = g_posted.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (const kv_msg &m : dropped) release(m);
}

int kv_window_exists(kv_hwnd wnd) {
  std::lock_guard<std::mutex> g(g_win_mutex);
  return g_windows.count(wnd) ? 1 : 0;
}

void *kv_window_context(kv_hwnd wnd) {
  std::lock_guard<std::mutex> g(g_win_mutex);
  auto it = g_windows.find(wnd);
  return it == g_windows.end() ? nullptr : it->second.ctx;
}

int kv_post_message(kv_hwnd wnd, unsigned message, kv_wparam wparam, kv_lparam lparam,
                    kv_release_fn rel) {
  kv_post_wakeup_fn wake = nullptr;
  void *wake_ctx = nullptr;
  {
    std::lock_guard<std::mutex> g(g_win_mutex);
    if (wnd == 0 || !g_windows.count(wnd)) return 0;
    if (g_posted.empty()) {
      wake = g_wake_fn;
      wake_ctx = g_wake_ctx;
    }
    g_posted.push_back(posted_msg{wnd, kv_msg{message, wparam, lparam, rel}});
  }
  if (wake) wake(wake_ctx);
  return 1;
}

kv_lresult kv_send_message(kv_hwnd wnd, unsigned message, kv_wparam wparam, kv_lparam lparam) {
  window_entry e{};
  {
    std::lock_guard<std::mutex> g(g_win_mutex);
    auto it = g_windows.find(wnd);
    if (it == g_windows.end()) return 0;
    e = it->second;
  }
  return e.handler ? e.handler(e.ctx, wnd, message, wparam, lparam) : 0;
}

int kv_dispatch_posted(int max) {
  int delivered = 0;
  for (int n = 0; max < 0 || n < max; n++) {
    posted_msg p{};
    window_entry e{};
    bool found = false;
    {
      std::lock_guard<std::mutex> g(g_win_mutex);
      if (g_posted.empty()) break;
      p = g_posted.front();
      g_posted.pop_front();
      auto it = g_windows.find(p.wnd);
      if (it != g_windows.end()) {
        e = it->second;
        found = true;
      }
    }
    if (found && e.handler) {
      e.handler(e.ctx, p.wnd, p.msg.message, p.msg.wparam, p.msg.lparam);
      delivered++;
    } else {
      release(p.msg);
    }
  }
  return delivered;
}

int kv_posted_count(kv_hwnd wnd) {
  std::lock_guard<std::mutex> g(g_win_mutex);
  if (wnd == 0) return (int)g_posted.size();
  int n = 0;
  for (const posted_msg &p : g_posted)
    if (p.wnd == wnd) n++;
  return n;
}

void kv_set_post_wakeup(kv_post_wakeup_fn fn, void *ctx) {
  std::lock_guard<std::mutex> g(g_win_mutex);
  g_wake_fn = fn;
  g_wake_ctx = ctx;
}
