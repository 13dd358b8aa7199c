// Order-book and level 2 windows subscribed to a symbol's depth data.
//
// Each live-quote record has 2 order-book and 2 level 2 window slots: the
// window, the window's 512-byte book buffer (filled by the relay's depth
// handler under g_chart_lock) and an option byte (order book: bit 0 merges
// the symbol's best bid and ask into the book; level 2: kept, unused).  The
// first subscriber of a kind asks the request thread for the stream, the
// last one leaving drops it.  The slots live beside the records, under
// g_chart_lock; subscribing runs on the user-interface thread and only
// posts to the request thread.
#pragma once

#include <cstdint>

#include "platform/window.h"

struct mqt;

enum { BOOK_WINDOW_SLOTS = 2, BOOK_BUFFER_SIZE = 512, BOOK_OPTION_INSIDE_MARKET = 0x1 };

// The book buffer: eight 4-character participant-code slots, then 20 bid
// and 20 ask entries of 12 bytes, little-endian. An entry is a u32 word
// (time of day in the low bits, participant index in bits 24-31), the size
// (order book: u32 shares; level 2: u16 lots of 100 and a u16 count of
// participants at the price) and an f32 price. Size 0: an empty entry.
enum {
  BOOK_SLOT_CODES = 0,
  BOOK_BIDS = 32,
  BOOK_ASKS = 272,
  BOOK_ENTRY = 12,
  BOOK_ENTRIES = 20,
  BOOK_OFF_WORD = 0,
  BOOK_OFF_SIZE = 4,
  BOOK_OFF_COUNT = 6,  // level 2
  BOOK_OFF_PRICE = 8,
};
static_assert(BOOK_ASKS == BOOK_BIDS + BOOK_ENTRIES * BOOK_ENTRY, "asks follow the bids");
static_assert(BOOK_ASKS + BOOK_ENTRIES * BOOK_ENTRY <= BOOK_BUFFER_SIZE, "both sides fit");

struct book_slot {
  kv_hwnd window;   // 0: free
  uint8_t* buffer;  // the window's, BOOK_BUFFER_SIZE bytes
  uint8_t option;
};

struct mqt_book_slots {
  mqt_book_slots* next;
  mqt* record;
  book_slot orderbook[BOOK_WINDOW_SLOTS];
  book_slot level2[BOOK_WINDOW_SLOTS];
  int orderbook_count;
  int level2_count;
};

// The slots of a record, or null when no window subscribed.  Caller holds
// g_chart_lock.
mqt_book_slots* find_book_slots(const mqt* record);

// (symbol, window, buffer, option) -> the record (with one user taken for
// the window) or null: no capability ("No orderbook capability"), no
// record, or both slots taken (the user given back).
mqt* subscribe_orderbook(const char* symbol, kv_hwnd window, uint8_t* buffer, uint8_t option);
// 1 when the window had a slot: the slot is cleared and the window's user
// of the record given back (the record may be freed); 0 when it had none.
int unsubscribe_orderbook(mqt* record, kv_hwnd window);
void set_orderbook_option(mqt* record, kv_hwnd window, uint8_t option);
mqt* subscribe_level2(const char* symbol, kv_hwnd window, uint8_t* buffer, uint8_t option);
int unsubscribe_level2(mqt* record, kv_hwnd window);
