// The broker link against a fake TWS (broker/tests/fake_tws_peer.h), and a
// fixture that stands in for the main window: it keeps the status lines and
// closes the connection on its close notice, as the main frame does.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "broker/tests/fake_tws_peer.h"
#include "broker/twsconn.h"
#include "broker/twsdispatch.h"
#include "broker/twserrors.h"
#include "broker/twswindow.h"
#include "broker/twswire.h"
#include "data/mainwnd.h"
#include "data/statmsg.h"
#include "platform/clock.h"
#include "platform/testing/fixture.h"
#include "platform/testing/wait.h"
#include "platform/thread.h"
#include "platform/window.h"
#include "quotes/mqt.h"
#include "quotes/mqt_hooks.h"
#include "settings/settings.h"

class TwsTest : public TempRootTest {
 protected:
  struct status {
    std::string text;
    int level;
  };
  std::vector<status> statuses_;
  std::vector<int> closes_;
  kv_hwnd wnd_ = 0;
  // Sounds are queued on whichever thread met the event (often the
  // reader): the list is kept under its own lock.
  static std::mutex &sounds_lock() {
    static std::mutex m;
    return m;
  }
  static std::vector<int> &sound_list() {
    static std::vector<int> s;
    return s;
  }
  static std::vector<int> sounds() {
    std::lock_guard<std::mutex> g(sounds_lock());
    return sound_list();
  }

  void SetUp() override {
    TempRootTest::SetUp();
    reset_settings();
    snprintf(g_settings.QRHostname, sizeof g_settings.QRHostname, "127.0.0.1");
    g_cont_update = 1;
    g_mqt_hooks = {};
    g_mqt_hooks.queue_sound = [](int n) {
      std::lock_guard<std::mutex> g(sounds_lock());
      sound_list().push_back(n);
    };
    {
      std::lock_guard<std::mutex> g(sounds_lock());
      sound_list().clear();
    }
    g_tws_error_hooks = {};
    // TWS's window is there: the connection is tried.
    g_tws_window_backend = g_tws_null_window_backend;
    g_tws_window_backend.is_running = [] { return 1; };
    g_tws_launch_state = TWS_LAUNCH_IDLE;
    g_tws_closed = 0;
    g_hist_data_error = 0;
    tws_reset_farm_state();
    kv_dispatch_posted(-1);
    wnd_ = kv_window_create(&TwsTest::handler, this);
    hmainwnd = wnd_;
  }
  void TearDown() override {
    if (g_tws_connected.load()) tws_disconnect();
    kv_dispatch_posted(-1);
    hmainwnd = 0;
    kv_window_destroy(wnd_);
    for (int i = 1; i < TWS_MSG_HANDLERS; i++)
      if (i != 4) g_tws_msg_handlers[i] = nullptr;
    g_tws_error_hooks = {};
    g_mqt_hooks = {};
    g_tws_window_backend = g_tws_null_window_backend;
    g_cont_update = 0;
    TempRootTest::TearDown();
  }

  static kv_lresult handler(void *ctx, kv_hwnd, unsigned message, kv_wparam wparam,
                            kv_lparam lparam) {
    TwsTest *t = (TwsTest *)ctx;
    if (message == WM_STATUS_MSG) {
      t->statuses_.push_back({(const char *)lparam, (int)wparam});
      statmsg_free_text((void *)lparam);
    } else if (message == WM_TWS_SOCKET) {
      t->closes_.push_back((int)lparam);
      if (lparam == TWS_FD_CLOSE) tws_disconnect();
    }
    return 0;
  }

  // Delivers posted messages until pred holds (false after 10 s).
  bool pump_until(const std::function<bool()> &pred) { return kv_pump_until(pred); }
  void pump() { kv_dispatch_posted(-1); }

  bool has_status(const std::string &part) {
    pump();
    for (const status &s : statuses_)
      if (s.text.find(part) != std::string::npos) return true;
    return false;
  }
  int status_level(const std::string &part) {
    pump();
    for (const status &s : statuses_)
      if (s.text.find(part) != std::string::npos) return s.level;
    return -1;
  }

  // Connects to the peer, which answers the handshake with the server
  // version (and a connection time from 20 on); the fields the peer read
  // during the handshake go to *got.
  int connect_peer(fake_tws_peer &peer, int server_version, int client_id,
                   std::vector<std::string> *got = nullptr) {
    std::vector<std::string> fields;
    std::thread t([&] { peer.serve_handshake(server_version, TWS_MIN_SERVER_VERSION, &fields); });
    int ok = tws_connect("127.0.0.1", peer.port, client_id, wnd_);
    t.join();
    if (got) *got = fields;
    return ok;
  }
};
