// The hooks through which other modules reach the broker link.
#include "broker/twshooks.h"

#include "broker/twsconn.h"
#include "broker/twserrors.h"
#include "data/chartload.h"
#include "data/mainwnd.h"
#include "quotes/qrclient.h"
#include "quotes/router.h"

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

void install_tws_hooks() {
  g_qr_hooks.tws_connected = connected;
  g_qr_hooks.tws_connect = connect_main;
  g_qr_hooks.tws_request_close = request_close_main;
  g_qr_hooks.start_socket_input = start_socket_input_thread;
  g_chart_load_hooks.broker_connected = connected;
  g_chart_load_hooks.hist_data_error = last_history_error;
  g_tws_error_hooks.ticker_record = slot_record;
  g_tws_error_hooks.router_thread = router_thread;
}
