// Order-book and level 2 window slots of the live-quote records.
#include "quotes/booksubs.h"

#include <cstdlib>

#include "data/statmsg.h"
#include "platform/assert.h"
#include "platform/locks.h"
#include "quotes/mqt.h"
#include "quotes/qrclient.h"
#include "quotes/router.h"

static mqt_book_slots* s_book_slots;

mqt_book_slots* find_book_slots(const mqt* record) {
  KV_ASSERT_CHART_LOCK_HELD();
  for (mqt_book_slots* s = s_book_slots; s; s = s->next)
    if (s->record == record) return s;
  return nullptr;
}

// Frees a record's entry once no window is left in it.
static void drop_if_empty(mqt_book_slots* slots) {
  if (slots->orderbook_count > 0 || slots->level2_count > 0) return;
  for (mqt_book_slots** link = &s_book_slots; *link; link = &(*link)->next) {
    if (*link == slots) {
      *link = slots->next;
      free(slots);
      return;
    }
  }
}

static mqt* subscribe(const char* symbol, kv_hwnd window, uint8_t* buffer, uint8_t option,
                      int level2) {
  if (!has_router_capability(level2 ? QR_CAP_LEVEL2 : QR_CAP_ORDER_BOOK)) {
    statmsg(__FILE__, __LINE__, level2 ? "No level2 capability" : "No orderbook capability",
            nullptr, STATMSG_ERROR);
    return nullptr;
  }
  mqt* record = get_multiquote(symbol);
  if (!record) return nullptr;
  kv_lock guard(g_chart_lock);
  mqt_book_slots* slots = find_book_slots(record);
  if (!slots) {
    slots = (mqt_book_slots*)calloc(1, sizeof *slots);
    if (!slots) {
      delete_multiquote(record);
      return nullptr;
    }
    slots->record = record;
    slots->next = s_book_slots;
    s_book_slots = slots;
  }
  book_slot* table = level2 ? slots->level2 : slots->orderbook;
  int* count = level2 ? &slots->level2_count : &slots->orderbook_count;
  for (int i = 0; i < BOOK_WINDOW_SLOTS; i++) {
    if (table[i].window) continue;
    table[i] = {window, buffer, option};
    if (++*count == 1)
      router_post_stream(STREAM_ADD | (level2 ? STREAM_LEVEL2 : STREAM_ORDER_BOOK), record);
    return record;
  }
  drop_if_empty(slots);
  delete_multiquote(record);
  return nullptr;
}

static int unsubscribe(mqt* record, kv_hwnd window, int level2) {
  kv_lock guard(g_chart_lock);
  mqt_book_slots* slots = find_book_slots(record);
  if (!slots || !window) return 0;
  book_slot* table = level2 ? slots->level2 : slots->orderbook;
  int* count = level2 ? &slots->level2_count : &slots->orderbook_count;
  for (int i = 0; i < BOOK_WINDOW_SLOTS; i++) {
    if (table[i].window != window) continue;
    table[i] = {};
    if (--*count == 0)
      router_post_stream(STREAM_DROP | (level2 ? STREAM_LEVEL2 : STREAM_ORDER_BOOK), record);
    drop_if_empty(slots);
    // The user the subscription took goes back with it.
    delete_multiquote(record);
    return 1;
  }
  return 0;
}

mqt* subscribe_orderbook(const char* symbol, kv_hwnd window, uint8_t* buffer, uint8_t option) {
  return subscribe(symbol, window, buffer, option, 0);
}

int unsubscribe_orderbook(mqt* record, kv_hwnd window) {
  return unsubscribe(record, window, 0);
}

void set_orderbook_option(mqt* record, kv_hwnd window, uint8_t option) {
  kv_lock guard(g_chart_lock);
  mqt_book_slots* slots = find_book_slots(record);
  for (int i = 0; slots && window && i < BOOK_WINDOW_SLOTS; i++)
    if (slots->orderbook[i].window == window) slots->orderbook[i].option = option;
}

mqt* subscribe_level2(const char* symbol, kv_hwnd window, uint8_t* buffer, uint8_t option) {
  return subscribe(symbol, window, buffer, option, 1);
}

int unsubscribe_level2(mqt* record, kv_hwnd window) {
  return unsubscribe(record, window, 1);
}
