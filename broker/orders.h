// Order records and their bookkeeping.
//
// Every order the program knows, paper or real, is one order_rec on the
// order list of its symbol's live-quote record (mqt::orders, creation
// order).  Lists, statuses and fills change under g_chart_lock.  Windows
// are told about an order by its serial (WM_ORDER_STATUS and
// WM_ORDER_REMOVED carry it as lParam): serials are unique for the run and
// never reused, so a window looks the order up with find_order_by_serial
// under g_chart_lock and finds nothing once it has been freed.
//
// Real orders leave through a worker thread (the order sender), never from
// the caller's thread: a relay transaction can wait 30 s and takes
// g_router_lock, which must never be taken while g_chart_lock is held.
// The order stays PendingSubmit until the sender has the outcome.
//
// Paper orders (ORDER_SIMULATED) are filled here against the record's
// quotes; each fill becomes an execution booked by book_execution
// (broker/executions.h) into the order's paper account.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/window.h"

struct mqt;

// order_status.
enum {
  ORDER_PENDING_SUBMIT = 1,
  ORDER_PENDING_CANCEL = 2,
  ORDER_PRE_SUBMITTED = 3,
  ORDER_SUBMITTED = 4,
  ORDER_CANCELLED = 5,
  ORDER_FILLED = 6,
  ORDER_INACTIVE = 7,
};

// order_action (type word bits 0-3).
enum { ORDER_BUY = 1, ORDER_SELL = 2, ORDER_SSHORT = 3 };
// order_tif (bits 4-7).
enum { ORDER_DAY = 1, ORDER_GTC = 2, ORDER_IOC = 3, ORDER_DTC = 4 };
// order_type (bits 12-17).
enum {
  ORDER_MKT = 1,
  ORDER_LMT = 2,
  ORDER_STP = 3,
  ORDER_STPLMT = 4,
  ORDER_REL = 5,
  ORDER_VWAP = 6,
  ORDER_TRAIL = 7,
  ORDER_MKTCLS = 8,
  ORDER_LMTCLS = 9,
  ORDER_PEGMKT = 10,
  ORDER_MIT = 11,
  ORDER_LIT = 12,
};

// Order type word.
enum : uint32_t {
  ORDER_ACTION_MASK = 0xF,
  ORDER_TIF_SHIFT = 4,
  ORDER_TIF_MASK = 0xF0,
  ORDER_TYPE_SHIFT = 12,
  ORDER_TYPE_MASK = 0x3F000,
  ORDER_SIMULATED = 0x100000,
  ORDER_TRANSMIT = 0x200000,
};

// Order flags.
enum : uint32_t {
  ORDER_F_SYSTEM = 0x1,
  ORDER_F_SILENT = 0x2,
  ORDER_F_PARTLY_FILLED = 0x4,
  ORDER_F_ACCEPTED = 0x8,
  ORDER_F_CHANGED = 0x20,
  ORDER_F_FINISHED = 0x100,
  ORDER_F_STALE = 0x200,
  ORDER_F_WAITING = 0x400,
  ORDER_F_UNCONFIRMED = 0x800,
  ORDER_F_STUDY = 0x1000,
};

enum {
  ORDER_TEXT_OCA = 16,  // stored width of the OCA and account texts
  ORDER_TEXT_REF = 24,
  ORDER_ADVISOR_TEXT = 64,
  ORDER_SYMBOL_SIZE = 32,
  ORDER_NEVER = 0x7FFFFFFF,  // expiry time "never"
  ORDER_IMAGE_SIZE = 472,    // an order in the open-orders file
  ORDER_RELAY_OFFSET = 336,  // its relay part
  ORDER_RELAY_SIZE = 96,     // the place-order request
  ORDER_CANCEL_SIZE = 8,
  ORDER_DEPTH_ROWS = 10,
};

// The part of an order sent to the relay as the place-order request.
// Texts hold at most their stored width and are always terminated here.
struct order_relay_part {
  uint8_t code;  // 13
  uint8_t error;
  int16_t symbol_number;
  int32_t quantity;
  double limit;
  double aux;         // stop, trigger or trailing amount
  int32_t parent_id;  // parent's relay order id
  int32_t order_id;   // relay order id, 0 until accepted
  int32_t display_size;
  uint32_t type;  // order type word
  char oca[ORDER_TEXT_OCA + 1];
  char account[ORDER_TEXT_OCA + 1];
  char order_ref[ORDER_TEXT_REF + 1];
};

struct order_rec {
  order_rec* next;
  mqt* record;     // owning live-quote record
  kv_hwnd window;  // gets WM_ORDER_STATUS / WM_ORDER_REMOVED, 0 none
  uint8_t unnamed12[8];
  char advisor_string[ORDER_ADVISOR_TEXT + 1];
  char advisor_method[ORDER_ADVISOR_TEXT + 1];
  char advisor_account[ORDER_ADVISOR_TEXT + 1];
  uint32_t advisor_mode;
  int32_t oca_number;
  uint32_t study_colour;
  uint8_t unnamed224[16];
  int32_t unnamed240;
  int32_t expiry_time;  // record quote time at which it turns stale
  int32_t unnamed248;
  uint32_t placed_time;
  uint32_t fill_time;
  int32_t queue_depth;
  int32_t group_id;
  int32_t unnamed268;
  int32_t letter_bit;
  uint32_t flags;  // ORDER_F_*
  double requested_price;
  double trail_stop;
  char symbol[ORDER_SYMBOL_SIZE + 1];
  char kind;
  char letter;  // 'A'..'Z' parent, 'a'..'z' child, ' ' none
  uint8_t unnamed330[6];
  order_relay_part relay;
  double last_fill_price;
  double avg_fill_price;
  int32_t reported_id;
  int32_t filled;
  int32_t remaining;
  int32_t perm_id;
  int32_t reported_parent_id;
  uint32_t status;  // order_status

  uint32_t serial;  // this run's id of the order; not stored
};

inline int order_action(const order_rec* o) {
  return (int)(o->relay.type & ORDER_ACTION_MASK);
}
inline int order_tif(const order_rec* o) {
  return (int)((o->relay.type & ORDER_TIF_MASK) >> ORDER_TIF_SHIFT);
}
inline int order_type(const order_rec* o) {
  return (int)((o->relay.type & ORDER_TYPE_MASK) >> ORDER_TYPE_SHIFT);
}
inline uint32_t order_type_word(int action, int tif, int type) {
  return (uint32_t)action | (uint32_t)tif << ORDER_TIF_SHIFT | (uint32_t)type << ORDER_TYPE_SHIFT;
}
void set_order_type(order_rec* o, int type);

// The 472-byte stored image (open-orders file) and the 96-byte place
// request.  Pointer words are written as 0; decode leaves them and the
// serial alone and cuts every text to its field.  decode refuses (0) a
// non-finite price.
void encode_order(const order_rec* o, uint8_t out[ORDER_IMAGE_SIZE]);
int decode_order(const uint8_t in[ORDER_IMAGE_SIZE], order_rec* o);
void encode_relay_part(const order_relay_part* p, uint8_t out[ORDER_RELAY_SIZE]);
void decode_relay_part(const uint8_t in[ORDER_RELAY_SIZE], order_relay_part* p);

// ---------------------------------------------------------------------------
// Bookkeeping.  Each takes g_chart_lock itself.

// A zeroed order on the record's list (one more user of the record), or
// null ("can't allocate memory").
order_rec* create_order(mqt* record);
// 0 unlinked and freed; -1 for a null order or one without a record.
int delete_order(order_rec* o);
// Frees every order of the record (its records' last user is gone).
void delete_orders(mqt* record);
// The list head, after freeing the finished and stale orders.
order_rec* get_mqt_orders(mqt* record);
// By relay order id over all records; by serial.  Caller holds
// g_chart_lock while it uses the result.
order_rec* find_order_by_id(int id);
order_rec* find_order_by_serial(uint32_t serial);
void set_status_by_id(int id, int status);
void set_order_status(order_rec* o, uint32_t status);

// 1 sent (paper: accepted by the local engine; real: handed to the order
// sender), 0 not.
int place_order(order_rec* o);
int cancel_order(order_rec* o);
void place_simulated_order(order_rec* o);
void cancel_simulated_order(order_rec* o);
void update_orders_on_quote(mqt* record);
void shift_order_prices(order_rec* o, double amount);
// Keeps an order on a study line: the price that follows the line (the aux
// price of STP, STPLMT, TRAIL, MIT and LIT orders, else the limit) is moved
// to line_value + offset_ticks ticks, rounded down or up to a multiple of
// multiple ticks (0 counts as 1); without a parent the rest of its group
// moves by the same amount.  1 moved or already there; 0 when the order is
// not working or there is no tick to round to.
int reprice_study_order(order_rec* o, double line_value, double tick, int multiple,
                        int offset_ticks, int round_down);
// The order a study line carries (its attached_order, a relay order id)
// moved to the line's value at the chart's last bar, by the study's
// attachment word (bit 0 round down, bits 1-7 tick multiple, bits 8-15
// signed offset in ticks).  The study engine's g_reprice_study_order.
int reprice_attached_order(struct chart_rec* chart, struct StudyDef* study);
// A spread's hedge order size: |value difference| / hedge last, rounded;
// 0 when the hedge has no positive last price.
int hedge_quantity(double value_difference, double hedge_last);

// Group letters and OCA texts.
int next_order_letter(mqt* record);
void set_order_letter(order_rec* o, int letter);
void assign_order_letter(order_rec* o);
// The order's OCA text into out (ORDER_TEXT_OCA + 1 bytes).
void order_oca_group(order_rec* o, char* out);
int copy_advisor_fields(order_rec* dst, const order_rec* src);
void dump_order(const order_rec* o);

// Queue depth of a Submitted LMT order from its side's depth rows.
void set_order_queue_depth(order_rec* o);
// A depth row of a side (sell: the asks) now shows size at price: resting
// paper limit orders of that side at that price with a larger depth take
// it.  Called by the market-depth handler under g_chart_lock.
void order_depth_update(mqt* record, int sell, double price, int size);

// The order sender: stops the worker (waiting for the transaction in
// flight).  Started on first use.
void stop_order_sender();

// Calls into modules built on the orders; a null entry skips the step (for
// the broker link: the send fails with "504 Not connected").
struct order_hooks {
  // Broker-socket mode: the order (a copy) to TWS; cancel by order id.
  int (*ib_place_order)(const order_rec* copy);
  int (*ib_cancel_order)(int order_id);
  // Keeping and releasing market depth for a symbol with working orders.
  void (*ensure_mkt_depth)(mqt* record);
  // The next paper order id from the counter kept in the settings, saved
  // at once when save is 1.  Null: a counter of this run only.
  int32_t (*next_paper_order_id)(int save);
};
extern order_hooks g_order_hooks;

// Sets the order and account seams of the quote records, the broker
// errors and the position summary.  Called once at start-up.
void install_order_hooks();
