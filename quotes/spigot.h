// The relay's incoming record stream: the input thread, the quote ring of
// broker-socket mode and the handlers of each record code.
//
// In pipe mode the input thread reads the relay's data socket
// (SOCK_SEQPACKET, whole records in each packet, up to 1,024 bytes a
// read).  In broker-socket mode the broker client puts records of the same
// layout into the quote ring (ticker_put_record) and the input thread
// drains it.  Either way each batch goes to kvqr_dispatch_records, which
// takes g_chart_lock once for the batch and hands each record to the
// handler of its code.
//
// Quote ring: QUOTE_RING_SLOTS slots of 36 bytes under g_chart_lock.  A
// record of n bytes takes (n + 35) / 36 consecutive slots and never splits;
// once the put position passes QUOTE_RING_WRAP - 1 that position becomes the
// wrap mark and putting restarts at slot 0.  The reader copies the slots it
// takes out under the lock and dispatches the copy, so the putter may
// reuse the slots at once.
#pragma once

#include <atomic>
#include <cstdint>

struct mqt;

enum {
  QUOTE_RING_SLOTS = 10100,
  QUOTE_RING_SLOT = 36,
  QUOTE_RING_WRAP = 10000,
  QUOTE_RING_DROP_UNREAD = 9989,  // more unread slots than this: puts are dropped
  SPIGOT_READ_SIZE = 1024,
  PREF_GARBLED_REPORT = 0x4000,  // g_pref_flags: report records cut off by their block
  PREF_TRADE_BAND = 0x40000,     // g_pref_flags: hold trades outside the bid/ask band
};

// The ring's state, for tests and traces (under g_chart_lock).
struct quote_ring_state {
  int put, read, unread, wrap_mark, lost;
};

// Allocates the ring (once); further calls keep it.
void alloc_quote_ring();
void free_quote_ring();
quote_ring_state quote_ring_snapshot();
// Puts a record of length bytes; 1 put, 0 dropped (ring full or missing).
int ticker_put_record(int length, const uint8_t* record);
// Puts the heartbeat record (code 63, status kind 8) when the ring exists.
void queue_heartbeat_record();
// Takes every unread slot (up to the wrap mark) into out (room for
// QUOTE_RING_SLOTS slots); the number of bytes taken.
int quote_ring_take(uint8_t* out);

// Walks a block of records and hands each to its handler.
void kvqr_dispatch_records(const uint8_t* block, int length);

// The input thread: 1 running (or started).  Stopping is cooperative: the
// data socket is shut (pipe mode) or the stop flag and ring event are set
// (ring mode), then the thread is joined.
int start_spigot_input_thread();
void stop_spigot_input_thread();
int spigot_input_running();

// Monotonic time (ms) until which order-status records update orders
// without WM_ORDER_STATUS (an order refresh in progress).
extern std::atomic<int64_t> g_status_posts_quiet_until;

// The relay's information block (code 12), 904 bytes.
extern uint8_t g_qr_info_block[];

// Seconds without data and the reporting threshold of the no-data watchdog.
extern int g_no_data_seconds;
extern int g_no_data_threshold;

// Order-book windows: merges the record's bid and ask into a book buffer
// (20 bids of 12 bytes from 32, 20 asks from 272).
void merge_quote_into_book(mqt* record, uint8_t* book, int32_t quote_time);

// The order bookkeeping's side of the order records: set by the broker
// module at start-up; null entries drop the record.  Each runs under
// g_chart_lock.
struct spigot_hooks {
  void (*open_order)(mqt* record, const uint8_t* rec);  // code 15, 108 bytes
  void (*execution)(mqt* record, const uint8_t* rec);   // code 18, 144 bytes
  void (*order_status)(const uint8_t* rec);             // code 22, 72 bytes
  // Contract details arrived: unconfirmed orders of the record go stale.
  void (*details_received)(mqt* record);
  // Own resting orders' queue depth at the new bid and ask sizes.
  void (*quote_depth)(mqt* record, double bid, int bid_size, double ask, int ask_size);
  // With PREF1_TRADE_DEPTH: a trade of size at price lowers the depth.
  void (*trade_depth)(mqt* record, double price, int size);
  // An order refresh was asked for: the windows showing orders redraw them.
  void (*orders_refreshed)();
};
extern spigot_hooks g_spigot_hooks;

// Sets g_qr_hooks.start_spigot and alloc_quote_ring.
void install_spigot_hooks();
