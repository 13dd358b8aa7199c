// Message numbers and the posted-message record.
//
// Every window and thread message of the program is numbered here, once.
// The standard numbers keep their Windows values so that code and saved
// data that mention them stay comparable; the program's own messages
// start at WM_USER.
//
// Payload rule for every posted message: a message carries numbers, ids or
// heap copies that the receiver owns, never pointers into rings or records
// that another thread may free.  When a post succeeds, the payload belongs
// to the receiver's handler.  When a post fails, nothing was taken and the
// poster frees the payload.  When a posted message is dropped undelivered
// (its window closed, its thread's queue closed), the release function
// given with the post runs on the payload.
#pragma once

#include <stdint.h>

typedef uintptr_t kv_wparam;
typedef intptr_t kv_lparam;
typedef intptr_t kv_lresult;

// Frees the payload of a message that was dropped before delivery.
typedef void (*kv_release_fn)(unsigned message, kv_wparam wparam, kv_lparam lparam);

struct kv_msg {
  unsigned message;
  kv_wparam wparam;
  kv_lparam lparam;
  kv_release_fn release;  // null: the payload needs no freeing
};

// Ready-made release functions.
void kv_release_free_lparam(unsigned message, kv_wparam wparam,
                            kv_lparam lparam);  // free((void*)lparam)
void kv_release_free_wparam(unsigned message, kv_wparam wparam,
                            kv_lparam lparam);  // free((void*)wparam)

// ---------------------------------------------------------------------------
// Standard message numbers the window layer and its users need.
enum : unsigned {
  WM_NULL = 0x0000,
  WM_CREATE = 0x0001,
  WM_DESTROY = 0x0002,
  WM_MOVE = 0x0003,
  WM_SIZE = 0x0005,
  WM_ACTIVATE = 0x0006,
  WM_SETFOCUS = 0x0007,
  WM_KILLFOCUS = 0x0008,
  WM_SETREDRAW = 0x000B,
  WM_SETTEXT = 0x000C,
  WM_GETTEXT = 0x000D,
  WM_PAINT = 0x000F,
  WM_CLOSE = 0x0010,
  WM_QUIT = 0x0012,
  WM_ERASEBKGND = 0x0014,
  WM_SHOWWINDOW = 0x0018,
  WM_SETCURSOR = 0x0020,
  WM_GETMINMAXINFO = 0x0024,
  WM_COPYDATA = 0x004A,
  WM_NOTIFY = 0x004E,
  WM_CONTEXTMENU = 0x007B,
  WM_KEYDOWN = 0x0100,
  WM_KEYUP = 0x0101,
  WM_CHAR = 0x0102,
  WM_SYSKEYDOWN = 0x0104,
  WM_SYSKEYUP = 0x0105,
  WM_INITDIALOG = 0x0110,
  WM_COMMAND = 0x0111,
  WM_SYSCOMMAND = 0x0112,
  WM_TIMER = 0x0113,
  WM_HSCROLL = 0x0114,
  WM_VSCROLL = 0x0115,
  WM_INITMENUPOPUP = 0x0117,
  WM_MOUSEMOVE = 0x0200,
  WM_LBUTTONDOWN = 0x0201,
  WM_LBUTTONUP = 0x0202,
  WM_LBUTTONDBLCLK = 0x0203,
  WM_RBUTTONDOWN = 0x0204,
  WM_RBUTTONUP = 0x0205,
  WM_RBUTTONDBLCLK = 0x0206,
  WM_MBUTTONDOWN = 0x0207,
  WM_MBUTTONUP = 0x0208,
  WM_MOUSEWHEEL = 0x020A,
  WM_MDIACTIVATE = 0x0222,
  WM_DROPFILES = 0x0233,
  WM_USER = 0x0400,
  WM_APP = 0x8000,
};

// ---------------------------------------------------------------------------
// The program's own messages.  "window" messages go to a window id
// (kv_post_message), "thread" messages to a thread id
// (kv_post_thread_message).  Every message has a number of its own but
// WM_MQT_DONE and WM_CHART_THREAD_PING, a window and a thread message that
// never meet in one queue.
enum : unsigned {
  // window -> main frame: one cycle of mqt_thread is done.  No payload.
  WM_MQT_DONE = WM_USER + 0,
  // thread -> a newly started chart-loading thread, repeated every 20 ms
  // until the thread's queue exists; never handled.  No payload.
  WM_CHART_THREAD_PING = WM_USER + 0,
  // window -> main frame: a status or error line.  wParam flag bits (8
  // status-bar pane 0, 4 first show the status bar, 2 add to the status
  // messages, 1 with 2 also show the Status Messages window); lParam a
  // malloc'd copy of the text: the handler frees it with free(); post it
  // with kv_release_free_lparam.
  WM_STATUS_MSG = WM_USER + 1,
  // window -> main frame: next step of the daily update of a symbol list.
  // wParam token index; no heap payload.
  WM_UPDATE_DAILY_CHART = WM_USER + 4,
  // window -> main frame: every worker thread has ended.  No payload.
  WM_THREAD_IS_DEAD = WM_USER + 5,
  // window -> main frame: lParam a malloc'd text of the new program or
  // configuration version; the handler frees it (kv_release_free_lparam).
  WM_PROGRAM_UPDATES = WM_USER + 6,
  // window -> main frame: a price alert fired.  wParam a malloc'd text the
  // handler frees (kv_release_free_wparam); lParam the alert owner, an id
  // the frame looks up, not freed.
  WM_ALERT_TRIGGERED = WM_USER + 7,
  // sent (not posted) by the alerts dialog to the main frame.  No payload.
  WM_ALERTS_DLG_OPENED = WM_USER + 8,
  WM_ALERTS_DLG_CLOSED = WM_USER + 9,
  // window -> chart, heat-map and horse-race windows: new data from a
  // worker.  Chart view: wParam redraw flags.  Market windows: wParam the
  // view slot, lParam the live-quote record, which lives in the quote list
  // and is owned there (the receiver reads it under g_chart_lock, frees
  // nothing).
  WM_UPDATE_FROM_THREAD = WM_USER + 10,
  // thread -> router_request_thread and mqt_thread: request quotes again.
  // wParam 1 = all.  No heap payload.
  WM_REQUEST_REFRESH = WM_USER + 11,
  // thread -> mqt_thread, the playback thread, router_request_thread:
  // end the thread.  No payload.
  WM_PROGRAM_EXIT = WM_USER + 12,
  // thread -> router_request_thread: subscribe or drop streams.  wParam
  // stream_code; lParam the live-quote record or 0.  The record stays
  // owned by the quote list; the poster raised its pending_streams, which
  // the router lowers, so the record is not freed meanwhile.
  WM_STREAM_REQUEST = WM_USER + 13,
  // window -> time-and-sales windows: a new, cancelled or corrected entry.
  // lParam a malloc'd copy of the ts_entry that the handler frees with
  // free(); posted with kv_release_free_lparam.
  WM_TRADE_UPDATE = WM_USER + 14,
  // window -> main frame: collection, connection or playback state
  // changed.  No payload.
  WM_CONT_UPDATE_STATUS = WM_USER + 15,
  // window -> order-book and level 2 windows: their book buffer (owned by
  // the window, filled under g_chart_lock) was refreshed.  wParam the
  // live-quote record (owned by the quote list); lParam 0: the window reads
  // its own buffer.
  WM_ORDERBOOK_UPDATE = WM_USER + 16,
  WM_LEVEL2_UPDATE = WM_USER + 17,
  // window -> main frame: redraw every chart of one symbol.  lParam a
  // malloc'd symbol text the handler frees (kv_release_free_lparam).
  WM_DRAW_NAMED_CHART = WM_USER + 18,
  // window -> chart view: intraday update of an extended-session chart.
  // No heap payload.
  WM_UPDATE_EXT_SESSION = WM_USER + 19,
  // window -> chart view: the newest candle left the window.  No payload.
  WM_CANDLE_OUTSIDE_WINDOW = WM_USER + 20,
  // window -> chart view: its child frame was minimised, maximised or
  // restored.  wParam the new state.
  WM_MIN_MAX_WINDOW = WM_USER + 21,
  // window -> chart views and the orders window: an order was added or
  // changed.  lParam the order's serial (never a pointer: orders are freed
  // by the quote thread's aging); the receiver looks it up with
  // find_order_by_serial under g_chart_lock.  No heap payload.
  WM_ORDER_STATUS = WM_USER + 22,
  // window -> orders window: an execution.  wParam the account's entry in
  // the open-account table; lParam a malloc'd copy of the trade record that
  // the handler frees with free() (posted with release_execution_message).
  WM_ORDER_EXECUTION = WM_USER + 23,
  // chart view -> main frame: the lines of a chart changed; every chart
  // window showing another chart record redraws its annotations.  wParam
  // the poster's window id (the frame looks its chart up, so nothing points
  // at a record that may be gone); no heap payload.
  WM_INIT_ALL_CHART_ANNOTATIONS = WM_USER + 24,
  // thread -> router_request_thread: broker connectivity restored.
  WM_TWS_RESTORED = WM_USER + 27,
  // window -> chart views and the orders window: an order became stale or
  // was removed.  lParam the order's serial; no heap payload.
  WM_ORDER_REMOVED = WM_USER + 28,
  // window -> main frame: the broker socket closed (or has data).  wParam
  // the socket, lParam the event; no heap payload.
  WM_TWS_SOCKET = WM_USER + 29,
  // window -> chart view: redraw the position and profit strip.  lParam the
  // live-quote record (owned by the quote list).
  WM_PORTFOLIO_UPDATE = WM_USER + 30,
  // thread -> router_request_thread: the broker lost market data; subscribe
  // again.  No payload.
  WM_TWS_RESUBSCRIBE = WM_USER + 31,
  // window -> chart view: new bid and ask.  lParam the live-quote record.
  WM_BID_ASK_UPDATE = WM_USER + 32,
  // window -> chart view: its requested chart was loaded.  wParam the
  // chart record with one reference for the receiver (or 0).  The handler
  // keeps or releases it (free_chart_data).  Post with a release function
  // that calls free_chart_data, so a chart for a window that closes first
  // is released; a failed post leaves the poster to release it.
  WM_GET_CHART_COMPLETE = WM_USER + 33,
  // window -> chart view: its own time-out of a chart request.  No payload.
  WM_GET_CHART_TIMEOUT = WM_USER + 34,
  // thread -> chart-loading threads: a request is waiting in the thread's
  // ring.  wParam the ring slot index; no heap payload.
  WM_GET_CHART_REQUEST = WM_USER + 35,
  // window -> profit-and-loss horse-race window, from the broker client.
  // lParam a malloc'd copy of the position line the handler frees
  // (kv_release_free_lparam); WM_CLEAR_PORTFOLIO has no payload.
  WM_ADD_PL_SYMBOL = WM_USER + 36,
  WM_REMOVE_PL_SYMBOL = WM_USER + 37,
  WM_UPDATE_PL_SYMBOL = WM_USER + 38,
  WM_CLEAR_PORTFOLIO = WM_USER + 39,
  // scan worker -> market pulse window: a scan finished. lParam a malloc'd
  // copy of the statistics table (its count first) that the handler frees
  // (kv_release_free_lparam).
  WM_MARKET_STATS_DONE = WM_USER + 40,
};

// The message ranges that worker threads filter their queues by.
enum : unsigned {
  KV_CHART_THREAD_MSG_FIRST = WM_USER + 1,
  KV_CHART_THREAD_MSG_LAST = WM_USER + 51,
  KV_MQT_THREAD_MSG_FIRST = 0x401,
  KV_MQT_THREAD_MSG_LAST = 0x421,
  KV_ROUTER_THREAD_MSG_FIRST = 0x401,
  KV_ROUTER_THREAD_MSG_LAST = 0x433,
};
