// The fake TWS with live-quote records, the quote ring and the broker's
// message handlers: what a message puts into the ring is taken back out
// and, where a test follows it further, handed to the relay's record
// handlers as the input thread would.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "broker/executions.h"
#include "broker/orders.h"
#include "broker/relayorders.h"
#include "broker/tests/tws_fixture.h"
#include "broker/twsacct.h"
#include "broker/twsin.h"
#include "broker/twslists.h"
#include "broker/twsreq.h"
#include "broker/twsticker.h"
#include "data/lefield.h"
#include "platform/locks.h"
#include "quotes/qrecord.h"
#include "quotes/router.h"
#include "quotes/spigot.h"

class TwsDataTest : public TwsTest {
 protected:
  fake_tws_peer peer_;

  void SetUp() override {
    TwsTest::SetUp();
    snprintf(g_settings.DataRoot, sizeof g_settings.DataRoot, "%s", root_.path().c_str());
    g_settings.QRClientId = 7;
    install_tws_msg_handlers();
    install_order_hooks();
    install_relay_order_hooks();
    alloc_quote_ring();
    uint8_t drain[QUOTE_RING_SLOTS * QUOTE_RING_SLOT];
    quote_ring_take(drain);
    ticker_table_clear();
    memset(g_symbol_slots, 0, sizeof g_symbol_slots);
    tws_accounts_reset();
    tws_lists_reset();
    g_tws_next_order_id = 0;
  }
  void TearDown() override {
    if (g_tws_connected.load()) tws_disconnect();
    stop_order_sender();
    close_all_accounts();
    tws_clear_hmds_target();
    tws_accounts_reset();
    tws_lists_reset();
    memset(g_symbol_slots, 0, sizeof g_symbol_slots);
    ticker_table_clear();
    free_all_mqts();
    g_settings.QRClientId = 0;
    TwsTest::TearDown();
  }

  // A stock record on ticker id.
  mqt* stock(const char* symbol, int id) {
    kv_lock guard(g_chart_lock);
    mqt* r = create_multiquote_struct(symbol);
    snprintf(r->sec_type, sizeof r->sec_type, "STK");
    snprintf(r->exchange, sizeof r->exchange, "SMART");
    snprintf(r->currency, sizeof r->currency, "USD");
    r->lot_size = 1;
    r->multiplier = 1;
    r->tick_size = 0.01;
    ticker_entry_init(id, symbol);
    g_symbol_slots[id - 1] = r;
    r->symbol_slot = id;
    return r;
  }

  // Connects at the server version; the start-up requests are read off.
  void connect(int server_version = 45) {
    ASSERT_EQ(1, connect_peer(peer_, server_version, 7));
    // next id, current time (client id 7: no auto-open-orders request)
    peer_.read_fields(3);
    if (server_version > 32) peer_.read_fields(2);
  }

  // The peer sends one message; this thread reads it.
  void deliver(const std::vector<std::string>& fields) {
    peer_.send_fields(fields);
    ASSERT_TRUE(kv_wait_until([] { return tws_process_message() != 0; }));
  }

  // Records put into the ring since the last call, one entry per record.
  std::vector<std::vector<uint8_t>> taken() {
    static uint8_t buf[QUOTE_RING_SLOTS * QUOTE_RING_SLOT];
    int n = quote_ring_take(buf);
    std::vector<std::vector<uint8_t>> out;
    for (int off = 0; off < n;) {
      int size = qr_record_size(qr_record_code(buf + off));
      if (size <= 0) break;
      out.emplace_back(buf + off, buf + off + size);
      off += (size + QUOTE_RING_SLOT - 1) / QUOTE_RING_SLOT * QUOTE_RING_SLOT;
    }
    return out;
  }
  // The same, handed to the record handlers.
  void dispatch_taken() {
    for (auto& rec : taken()) kvqr_dispatch_records(rec.data(), (int)rec.size());
  }
};
