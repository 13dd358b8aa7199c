// Calls from the live-quote records into the modules that build on them:
// alerts and sounds, orders, the one-minute data and chart updates, the
// quote relay and the QuoteTracker portfolio. Each module sets its entries
// when it starts; an entry left null means that module is not running and
// the step is skipped.
#pragma once

#include <cstdint>

struct mqt;
struct alert_rec;

struct mqt_hooks {
  // Alerts: the symbol's alert record, found or added; the high and low
  // alert test of one quote at price (arms, fires, hits, sounds).
  alert_rec* (*find_alert)(const char* symbol);
  void (*test_alerts)(mqt* record, double price);
  // Queues a numbered sound.
  void (*queue_sound)(int sound);

  // Orders: re-checked on each stored quote; all deleted when the record goes.
  void (*update_orders_on_quote)(mqt* record);
  void (*delete_orders)(mqt* record);

  // One-minute data and linked charts of a stored quote; writing changed
  // one-minute bars before a record is freed.
  void (*update_1min_data)(mqt* record);
  void (*update_mqt_charts)(mqt* record);
  void (*write_1min_bars)(mqt* record);
  // The record's minute charts built again from its one-minute ring, after
  // the relay replaced bars in it.
  void (*rebuild_minute_charts)(mqt* record);

  // Quote relay: nonzero when it has one of the capability bits, is
  // connected and quote collection is on; posting a stream request to the
  // request thread (1 posted; the poster raises pending_streams first);
  // clearing a record's relay slot.
  int (*relay_streaming)(uint32_t capabilities);
  int (*post_stream_request)(uint32_t stream_code, mqt* record);
  void (*clear_symbol_slot)(mqt* record);

  // QuoteTracker portfolio: removing a record's symbol; preparing a
  // record before its symbol is first requested from the web source.
  void (*qt_portfolio_remove)(mqt* record);
  void (*source_init)(mqt* record);
};
extern mqt_hooks g_mqt_hooks;
