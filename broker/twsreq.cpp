// The requests of the connect sequence.
#include "broker/twsreq.h"

#include "broker/twsconn.h"
#include "broker/twserrors.h"
#include "broker/twswire.h"
#include "data/statmsg.h"
#include "platform/locks.h"
#include "settings/settings.h"

enum { PREF_REPORT_PROBLEMS = 0x4000 };

int tws_request_begin(int ticker_id) {
  if (g_tws_connected.load()) {
    g_tws_socket_lock.lock();
    if (g_tws_connected.load()) return 1;
    g_tws_socket_lock.unlock();
  }
  tws_error(0, TWS_ERR_NOT_CONNECTED, "504 Not connected", ticker_id);
  return 0;
}

void tws_request_end() {
  // A request cut short by a failed send leaves the stream torn.
  if (tws_take_send_failure()) tws_close_bad_stream("send failed");
  g_tws_socket_lock.unlock();
}

// A request of id and version followed by one integer (or none).
static void send_short(int msg_id, int version, int has_value, int value) {
  if (!tws_request_begin(0)) return;
  tws_send_int(msg_id);
  tws_send_int(version);
  if (has_value) tws_send_int(value);
  tws_request_end();
}

void ReqIds(int count) {
  send_short(8, 1, 1, count);
}

void ReqAutoOpenOrders(int flag) {
  send_short(15, 1, 1, flag);
}

void ReqManagedAccts() {
  send_short(17, 1, 0, 0);
}

void RequestFA(int data_type) {
  send_short(18, 1, 1, data_type);
}

void ReqCurrentTime() {
  if (g_tws_connected.load() && g_tws_server_version.load() <= 32) {
    if (g_pref_flags & PREF_REPORT_PROBLEMS)
      statmsg(nullptr, 0, "Server version does not support current time requests", nullptr,
              STATMSG_NOTICE);
    return;
  }
  send_short(49, 1, 0, 0);
}
