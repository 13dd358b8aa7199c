// Time-and-sales windows subscribed to a symbol's trades.
//
// Each live-quote record keeps its last 128 trades and quotes in a ring of
// ts_entry (quotes/mqt.h), filled by the relay's trade handler, and has 3
// window slots (window, kind mask). A window subscribing takes one user of
// the record and a copy of the entries stored so far; afterwards the trade
// handler posts it each new entry of the kinds it asked for. The trades
// stream is part of every record's default stream set, so subscribing
// asks the relay for nothing. All under g_chart_lock; subscribing runs on
// the user-interface thread.
#pragma once

#include <cstdint>

#include "platform/window.h"

struct mqt;
struct ts_entry;

// Kind mask of a time-and-sales window.
enum : uint8_t {
  TS_WANT_TRADES = 0x1,   // trades, with their cancellations and corrections
  TS_WANT_BID_ASK = 0x2,  // new bids and asks
};

// Every subscription has a token of its own, never 0, that the trade
// handler posts as the wparam of WM_TRADE_UPDATE: a window drops entries
// whose token is not its current one (posted for a symbol it left, or
// already among the entries it copied when it subscribed again).
uint32_t time_sales_token(const mqt* record, kv_hwnd window);

// The entry of a 36-byte trade record (code 4), field by field.
void ts_entry_from_record(const uint8_t* record, ts_entry* out);

// (symbol, window, kind mask, buffer, max entries, count out) -> the
// record, with one user taken for the window, or null: no record, no
// window, or all 3 slots taken (the user given back). The stored entries
// of the kinds asked for are copied into buffer, newest first, at most max;
// their number goes to *count.
mqt* subscribe_time_sales(const char* symbol, kv_hwnd window, uint8_t kinds, ts_entry* buffer,
                          int max, int* count);
// 1 when the window had a slot: the slot is cleared and the window's user
// of the record given back (the record may be freed); 0 when it had none.
int unsubscribe_time_sales(mqt* record, kv_hwnd window);
