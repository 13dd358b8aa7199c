// A fake TWS on 127.0.0.1 that speaks the broker wire format over a real
// socket, and a fixture that stands in for the main window: it keeps the
// status lines and closes the connection on its close notice, as the main
// frame does.
#pragma once

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

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

struct fake_tws_peer {
  int lfd = -1;
  int cfd = -1;
  int port = 0;

  fake_tws_peer() {
    lfd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa = {};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sa.sin_port = 0;
    bind(lfd, (sockaddr *)&sa, sizeof sa);
    listen(lfd, 4);
    socklen_t len = sizeof sa;
    getsockname(lfd, (sockaddr *)&sa, &len);
    port = ntohs(sa.sin_port);
  }
  ~fake_tws_peer() {
    if (cfd >= 0) close(cfd);
    if (lfd >= 0) close(lfd);
  }
  bool accept_client(int timeout_ms = 10000) {
    pollfd p = {lfd, POLLIN, 0};
    if (poll(&p, 1, timeout_ms) != 1) return false;
    cfd = accept(lfd, nullptr, nullptr);
    return cfd >= 0;
  }
  // One byte: 1, 0 at the end of the stream, -1 on time-out.
  int read_byte(char *c, int timeout_ms) {
    pollfd p = {cfd, POLLIN, 0};
    if (poll(&p, 1, timeout_ms) != 1) return -1;
    ssize_t n = recv(cfd, c, 1, 0);
    return n == 1 ? 1 : 0;
  }
  // One field without its NUL; false at the end of the stream or time-out.
  bool read_field(std::string *out, int timeout_ms = 10000) {
    out->clear();
    for (;;) {
      char c;
      if (read_byte(&c, timeout_ms) != 1) return false;
      if (c == 0) return true;
      *out += c;
    }
  }
  std::vector<std::string> read_fields(int n) {
    std::vector<std::string> v;
    std::string f;
    for (int i = 0; i < n && read_field(&f); i++) v.push_back(f);
    return v;
  }
  // True when the client closed its side (nothing more comes).
  bool sees_end(int timeout_ms = 10000) {
    char c;
    for (;;) {
      int r = read_byte(&c, timeout_ms);
      if (r == 0) return true;
      if (r < 0) return false;
    }
  }
  void send_raw(const std::string &bytes) { send(cfd, bytes.data(), bytes.size(), MSG_NOSIGNAL); }
  void send_fields(const std::vector<std::string> &fields) {
    std::string all;
    for (const std::string &f : fields) all += f + std::string(1, '\0');
    send_raw(all);
  }
  // Orderly end of the stream.
  void close_client() {
    close(cfd);
    cfd = -1;
  }
  // Abrupt end: the connection is reset.
  void reset_client() {
    linger l = {1, 0};
    setsockopt(cfd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    close(cfd);
    cfd = -1;
  }
};

inline std::string field_bytes(const std::vector<std::string> &fields) {
  std::string all;
  for (const std::string &f : fields) all += f + std::string(1, '\0');
  return all;
}

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
    std::thread t([&] {
      if (!peer.accept_client()) return;
      std::string f;
      if (!peer.read_field(&f)) return;
      fields.push_back(f);
      std::vector<std::string> reply = {std::to_string(server_version)};
      if (server_version >= 20) reply.push_back("20261210 14:00:00 EST");
      peer.send_fields(reply);
      if (server_version >= TWS_MIN_SERVER_VERSION && peer.read_field(&f)) fields.push_back(f);
    });
    int ok = tws_connect("127.0.0.1", peer.port, client_id, wnd_);
    t.join();
    if (got) *got = fields;
    return ok;
  }
};
