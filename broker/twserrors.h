// TWS's error and notice codes and the broker link's own failures: the one
// place where they are reported and acted on.
#pragma once

#include <atomic>

#include "platform/thread.h"

struct mqt;

// Codes with a meaning of their own.
enum {
  TWS_ERR_SOCKET = 63,  // a read failed; the id is the socket error
  TWS_ERR_DUPLICATE_ORDER_ID = 103,
  TWS_ERR_HMDS_PACING = 162,
  TWS_ERR_TICKER_NOT_FOUND = 300,
  TWS_ERR_NO_HISTORY = 366,
  TWS_ERR_NOT_CONNECTED = 504,
  TWS_ERR_NO_SECURITY_DEF = 200,
  TWS_ERR_ORDER_REJECTED = 201,
  TWS_ERR_ORDER_CANCELLED = 202,
  TWS_ERR_SECURITY_NOT_ALLOWED = 203,
  TWS_ERR_DEPTH_MAX = 309,
  TWS_ERR_DEPTH_NOT_FOUND = 310,
  TWS_ERR_DEPTH_HALTED = 316,  // the depth subscription must be made again
  TWS_ERR_DEPTH_RESET = 317,   // the depth book must be emptied
  TWS_ERR_REQUEST_FAILED = 322,
  TWS_ERR_NOT_SUBSCRIBED = 354,
  TWS_HMDS_QUERY_NOTICE = 165,
  TWS_LINK_LOST = 1100,
  TWS_LINK_RESTORED_DATA_LOST = 1101,
  TWS_LINK_RESTORED = 1102,
  TWS_ACCOUNT_UNSUBSCRIBED = 2100,
  TWS_MDATA_FARM_BROKEN = 2103,
  TWS_MDATA_FARM_OK = 2104,
  TWS_HMDS_FARM_BROKEN = 2105,
  TWS_HMDS_FARM_OK = 2106,
  TWS_HMDS_FARM_INACTIVE = 2107,
  TWS_MDATA_FARM_INACTIVE = 2108,
  TWS_ORDER_OUTSIDE_HOURS = 2109,
  TWS_SOCKET_ERRORS_MAX = 10,  // socket errors since connect that end the connection
  TWS_TICKERS = 300,
  TWS_ORDER_CANCELLED = 5,  // order_status Cancelled
  TWS_CTL_LOST = 3,         // control record kinds (code 63) in the quote ring
  TWS_CTL_RESTORED = 5,
};

// What the error handling calls in modules built on the broker link; a null
// entry skips the step.
struct tws_error_hooks {
  // The live-quote record of ticker 1..300, or null.
  mqt* (*ticker_record)(int ticker);
  // Sets the status of the order with this TWS order id.
  void (*set_status_by_id)(int order_id, int status);
  // Subscribes the record's market depth again; clears its depth book.
  void (*resubscribe_depth)(mqt* record);
  void (*clear_depth_book)(mqt* record);
  // The account-updates request.
  void (*req_account_updates)(void);
  // Puts a control record (code 63) of a kind into the quote ring; text
  // null or the four bytes at offset 4.
  void (*put_control_record)(int kind, const char* text);
  // The thread id of router_request_thread (0 none).
  kv_thread_id (*router_thread)(void);
  // Restarts the history request count of the pacing.
  void (*reset_hmds_count)(void);
};
extern tws_error_hooks g_tws_error_hooks;

// The error of the last history reply (162 pacing violation, 366 no data;
// 0 none).  Cleared when a history request is sent.
extern std::atomic<int> g_hist_data_error;

// is_error: 1 error, 0 notice; id: ticker id, order id or socket error
// number, as the code gives.
void tws_error(int is_error, int code, const char* text, int id);

// Handler of incoming message 4: version, id, code, text.
void tws_error_message(int msg_id);

// Both farms are taken as disconnected (as at program start).
void tws_reset_farm_state();
