// A started application's broker link connected to a fake TWS on loopback:
// the link connects the way the quote threads connect it (kvqr_connect with
// the broker-socket source), its reader thread takes what the peer sends,
// and the windows see the messages the broker client posts.  The quote
// source must have been written with QR_CAP_BROKER_SOCKET before the start.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "broker/tests/fake_tws_peer.h"
#include "broker/twsacct.h"
#include "broker/twsconn.h"
#include "broker/twsticker.h"
#include "broker/twswindow.h"
#include "platform/qt/test_harness.h"
#include "quotes/mqt.h"
#include "quotes/qrclient.h"
#include "quotes/spigot.h"
#include "settings/settings.h"

class app_tws_link {
 public:
  app_tws_link() : saved_backend_(g_tws_window_backend) {}
  ~app_tws_link() {
    if (g_tws_connected.load()) tws_disconnect();
    // kvqr_connect started the quote ring's reader as well.
    stop_spigot_input_thread();
    tws_accounts_reset();
    g_tws_window_backend = saved_backend_;
  }

  // Connects at server version 45 with client id 7; the requests the link
  // sends on its own (next id, current time, and in advisor mode managed
  // accounts and advisor data) are read off into requests().
  bool connect() {
    snprintf(g_settings.QRHostname, sizeof g_settings.QRHostname, "127.0.0.1");
    g_settings.QRPortNum = peer_.port;
    g_settings.QRClientId = 7;
    // TWS's window counts as there; its port is the peer's, which must not
    // be probed (the probe would be taken for the client).
    g_tws_window_backend = g_tws_null_window_backend;
    g_tws_window_backend.is_running = [] { return 1; };
    bool served = false;
    std::thread t([&] { served = peer_.serve_handshake(45, TWS_MIN_SERVER_VERSION); });
    int ok = kvqr_connect();
    t.join();
    if (!ok || !served || !g_tws_connected.load()) return false;
    int expected = 2 + ((g_pref_flags1 & 0x800) ? 4 : 0);
    for (int i = 0; i < expected; i++) {
      std::string id, version, f;
      if (!peer_.read_field(&id) || !peer_.read_field(&version)) return false;
      // Next id, advisor data and its data type carry one more field.
      if ((id == "8" || id == "18") && !peer_.read_field(&f)) return false;
      requests_.push_back(id + (f.empty() ? "" : ":" + f));
    }
    return true;
  }
  // The peer sends one message (its fields); the reader thread takes it.
  void send(const std::vector<std::string>& fields) { peer_.send_fields(fields); }
  const std::vector<std::string>& requests() const { return requests_; }

 private:
  fake_tws_peer peer_;
  tws_window_backend saved_backend_;
  std::vector<std::string> requests_;
};
