// The hooks through which other modules reach the broker link.
#include "broker/twshooks.h"

#include "broker/executions.h"
#include "broker/orders.h"
#include "broker/twsacct.h"
#include "broker/twsconn.h"
#include "broker/twserrors.h"
#include "broker/twsin.h"
#include "broker/twsreq.h"
#include "broker/twsticker.h"
#include "broker/twswindow.h"
#include "data/chartload.h"
#include "data/lefield.h"
#include "data/mainwnd.h"
#include "platform/locks.h"
#include "quotes/mqt.h"
#include "quotes/qrclient.h"
#include "quotes/qrecord.h"
#include "quotes/router.h"
#include "quotes/spigot.h"

static int connected() {
  return g_tws_connected.load();
}

static int connect_main(const char* host, int port, int client_id) {
  return tws_connect(host, port, client_id, hmainwnd.load());
}

static void request_close_main() {
  tws_request_close(hmainwnd.load());
}

static int last_history_error() {
  return g_hist_data_error.load();
}

static mqt* slot_record(int ticker) {
  return ticker >= 1 && ticker <= TWS_TICKERS ? g_symbol_slots[ticker - 1] : nullptr;
}

static kv_thread_id router_thread() {
  return g_router_thread_id;
}

static void cancel_history() {
  int id = tws_hmds_request_id();
  if (id) CancelHistoricalData(id);
}

static void release_depth(mqt* r) {
  int id;
  {
    kv_lock guard(g_chart_lock);
    id = (r->flags & 0x200) ? r->symbol_slot : 0;
  }
  if (id) CancelMktDepth(id);
  kv_lock guard(g_chart_lock);
  for (int i = 0; i < MQT_DEPTH_ROWS; i++) r->depth_bids[i] = r->depth_asks[i] = {0, 0};
}

static void resubscribe_depth(mqt* r) {
  ReqMktDepth(r);
}

static void clear_depth_book(mqt* r) {
  kv_lock guard(g_chart_lock);
  for (int i = 0; i < MQT_DEPTH_ROWS; i++) r->depth_bids[i] = r->depth_asks[i] = {0, 0};
}

// A control record (code 63) of a kind into the quote ring; text: the four
// bytes at offset 4.
static void put_control(int kind, const char* text) {
  uint8_t rec[QR_RECORD_SIZE] = {};
  rec[QR_OFF_CODE] = QR_RELAY_STATUS;
  put_le16(rec + QR_OFF_SYMBOL, (uint16_t)kind);
  if (text) put_text_field(rec + 4, text, 4);
  ticker_put_record(QR_RECORD_SIZE, rec);
}

static int place(const order_rec* copy) {
  return IBPlaceOrder(copy);
}

static void ensure_depth(mqt* r) {
  if (!(r->flags & 0x200)) ReqMktDepth(r);
}

// Broker executions go to the position slot of their managed account;
// without a list of accounts yet, to the first slot.
static int account_slot(const char* account) {
  int i = managed_account_index(account);
  return i >= 0 ? i : tws_account_count() == 0 ? 0 : -1;
}

void install_tws_hooks() {
  install_tws_msg_handlers();
  g_qr_hooks.tws_connected = connected;
  g_qr_hooks.tws_connect = connect_main;
  g_qr_hooks.tws_request_close = request_close_main;
  g_qr_hooks.start_socket_input = start_socket_input_thread;
  g_qr_hooks.req_mkt_data = ReqMktData;
  g_qr_hooks.cancel_mkt_data = CancelMktData;
  g_qr_hooks.req_all_open_orders = ReqAllOpenOrders;
  g_qr_hooks.req_executions = ReqExecutions;
  g_qr_hooks.req_account_updates = ReqAccountUpdates;
  g_qr_hooks.release_market_depth = release_depth;
  g_chart_load_hooks.broker_connected = connected;
  g_chart_load_hooks.hist_data_error = last_history_error;
  g_chart_load_hooks.hmds_pacing_wait = hmds_pacing_wait;
  g_chart_load_hooks.req_intraday_data = IBReqIntradayData;
  g_chart_load_hooks.clear_hmds_target = tws_clear_hmds_target;
  g_chart_load_hooks.cancel_historical_data = cancel_history;
  g_tws_error_hooks.ticker_record = slot_record;
  g_tws_error_hooks.router_thread = router_thread;
  g_tws_error_hooks.resubscribe_depth = resubscribe_depth;
  g_tws_error_hooks.clear_depth_book = clear_depth_book;
  g_tws_error_hooks.req_account_updates = ReqAccountUpdates;
  g_tws_error_hooks.put_control_record = put_control;
  g_tws_error_hooks.reset_hmds_count = hmds_reset_count;
  g_order_hooks.ib_place_order = place;
  g_order_hooks.ib_cancel_order = IBCancelOrder;
  g_order_hooks.ensure_mkt_depth = ensure_depth;
  g_account_slot_hook = account_slot;
}
