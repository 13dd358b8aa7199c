// Requests to TWS.  Each checks the connection ("504 Not connected" as a
// notice when there is none) and holds g_tws_socket_lock for all its
// fields, so that two requests never interleave on the wire.
#pragma once

#include <atomic>
#include <cstdint>

struct mqt;
struct order_rec;
struct chart_rec;

// The next order id TWS accepts (message 9 and the placements).
extern std::atomic<int32_t> g_tws_next_order_id;
// The history requests counted for pacing since the count restarted.
extern std::atomic<int> g_hmds_reqcnt;

void ReqIds(int count);
void ReqAutoOpenOrders(int flag);
void ReqManagedAccts();
void RequestFA(int data_type);  // 1 groups, 2 profiles, 3 account aliases
void ReqCurrentTime();

// Market data of a record: its ticker id (0 when none could be assigned).
int ReqMktData(mqt* record);
void CancelMktData(int ticker_id);
int ReqMktDepth(mqt* record);
void CancelMktDepth(int ticker_id);
void ReqContractDetails(mqt* record);
// Places a copy of an order; a first placement takes the next order id,
// which is written back to the order itself.  1 sent.
int IBPlaceOrder(const order_rec* order);
int IBCancelOrder(int order_id);
void ReqAccountUpdates();
void ReqAccountUpdatesNext();
void ReqExecutions();
void ReqAllOpenOrders();
// History of a record into chart: 1 sent, 0 refused.
int IBReqIntradayData(chart_rec* chart, mqt* record, int duration, const char* end_text);
void CancelHistoricalData(int ticker_id);
// The chart the history replies fill, and its request id (0 none).
void tws_clear_hmds_target();
int tws_hmds_request_id();
// Pacing of history requests: 1 when a request may go now.
int hmds_pacing_wait(int may_wait);
void hmds_reset_count();
// The duration and bar-size texts of a history request.
void tws_history_duration(int time_unit, int duration, char* out, int size);
const char* tws_history_bar_size(int time_unit);

// The start of every request: 1 with g_tws_socket_lock held when
// connected; else reports 504 with the ticker id and returns 0 unlocked.
int tws_request_begin(int ticker_id);
void tws_request_end();
