// Reactions to TWS's error and notice codes and to the broker link's own
// failures.
#include "broker/twserrors.h"

#include <stdio.h>
#include <string.h>

#include "broker/twsconn.h"
#include "broker/twswire.h"
#include "data/debugtrace.h"
#include "data/statmsg.h"
#include "platform/locks.h"
#include "quotes/mqt.h"
#include "quotes/mqt_hooks.h"
#include "settings/settings.h"

tws_error_hooks g_tws_error_hooks;
std::atomic<int> g_hist_data_error{0};

enum {
  PREF_STATUS_DETAILS = 0x2000,   // Flags: broker notices to the status messages
  PREF_REPORT_PROBLEMS = 0x4000,  // Flags: more broker status lines
  PREF1_ADVISOR = 0x800,          // Flags1: financial-advisor mode
  TEXT_MAX = 600,
  MSG_TEXT_SKIP = 45,  // "IB Msg" lines show the text from its 46th character
};

// Farm states; both start as disconnected.
static int s_mdata_farm_ok;
static int s_hmds_farm_ok;

void tws_reset_farm_state() {
  s_mdata_farm_ok = 0;
  s_hmds_farm_ok = 0;
}

// The live-quote record of an id: ticker ((id - 1) mod 300) + 1.
static mqt* id_record(int id) {
  if (id <= 0 || !g_tws_error_hooks.ticker_record) return nullptr;
  return g_tws_error_hooks.ticker_record((id - 1) % TWS_TICKERS + 1);
}

// The symbol of an id's record ("" without one), copied under the lock
// that keeps the record.
struct id_symbol {
  char text[MQT_SYMBOL_SIZE];
  explicit id_symbol(int id) {
    kv_lock guard(g_chart_lock);
    mqt* r = id_record(id);
    snprintf(text, sizeof text, "%s", r ? r->symbol : "");
  }
};

static void sound(int n) {
  if (g_mqt_hooks.queue_sound) g_mqt_hooks.queue_sound(n);
}

static void post_router(unsigned message) {
  kv_thread_id t = g_tws_error_hooks.router_thread ? g_tws_error_hooks.router_thread() : 0;
  if (t) kv_post_thread_message(t, message, 0, 0);
}

static void control_record(int kind, const char* text) {
  if (g_tws_error_hooks.put_control_record) g_tws_error_hooks.put_control_record(kind, text);
}

static void notice(const char* text, int level) {
  statmsg(nullptr, 0, text, nullptr, level);
}

static void general_path(int is_error, int code, const char* text, int id) {
  char line[TEXT_MAX];
  if (id >= 1 && id <= TWS_TICKERS) {
    snprintf(line, sizeof line, "TickerID[%02d] %s", id, id_symbol(id).text);
    notice(line, STATMSG_NOTICE);
  }
  snprintf(line, sizeof line, "IB Error(%d): %s", code, text);
  if (is_error)
    statmsg(__FILE__, __LINE__, line, nullptr, STATMSG_ERROR);
  else
    notice(line, STATMSG_NOTICE);
  debug_trace("%s\n", line);
}

// Notices of the history farm: at level 12, and again at 10 when asked.
static void farm_notice(const char* text) {
  notice(text, STATMSG_MISSING);
  if (g_pref_flags & PREF_STATUS_DETAILS) notice(text, STATMSG_NOTICE);
}

void tws_error(int is_error, int code, const char* text, int id) {
  if (!text) text = "";
  char line[TEXT_MAX];
  switch (code) {
    case TWS_ERR_SOCKET:
      snprintf(line, sizeof line, "Socket error %d", id);
      statmsg(__FILE__, __LINE__, line, nullptr, STATMSG_ERROR);
      // A connection that keeps failing is closed, not merely marked
      // unusable, so that its socket and reader go too.
      if (++g_tws_socket_errors == TWS_SOCKET_ERRORS_MAX && g_tws_connected.load())
        tws_close_bad_stream("too many socket errors");
      return;
    case 107:
    case 109:
    case 110:
    case 111:
    case 112:
    case 113:
    case 116:
    case TWS_HMDS_QUERY_NOTICE:
      if (g_pref_flags & PREF_STATUS_DETAILS) {
        snprintf(line, sizeof line, "IB Msg(165): %s",
                 strlen(text) > MSG_TEXT_SKIP ? text + MSG_TEXT_SKIP : "");
        notice(line, STATMSG_NOTICE);
      }
      return;
    case TWS_ERR_HMDS_PACING:
      // The error is set before the waiting loader is woken, which reads it.
      g_hist_data_error = TWS_ERR_HMDS_PACING;
      snprintf(line, sizeof line, "No HMDS data for [%s] (pacing violation)", id_symbol(id).text);
      notice(line, STATMSG_MISSING);
      g_hmds_event.set();
      return;
    case TWS_ERR_NO_SECURITY_DEF:
    case TWS_ERR_DEPTH_MAX:
    case TWS_ERR_DEPTH_NOT_FOUND:
    case TWS_ERR_REQUEST_FAILED:
      return;
    case TWS_ERR_DUPLICATE_ORDER_ID:
      // An order of this program that TWS refused for its id would hang
      // in PendingSubmit: it is cancelled, and the line always shown.
    case TWS_ERR_ORDER_REJECTED:
    case TWS_ERR_SECURITY_NOT_ALLOWED:
      if (g_tws_error_hooks.set_status_by_id)
        g_tws_error_hooks.set_status_by_id(id, TWS_ORDER_CANCELLED);
      break;
    case TWS_ERR_ORDER_CANCELLED: {
      size_t n = strlen(text);
      if ((n == 0 || text[n - 1] != ':') && (g_pref_flags & PREF_STATUS_DETAILS))
        notice(text, STATMSG_NOTICE);
      return;
    }
    case TWS_ERR_TICKER_NOT_FOUND: {
      kv_lock guard(g_chart_lock);
      mqt* r = id_record(id);
      if ((r && r->streams_held == 0) || !g_cont_update) {
        debug_trace("Error 300 ticker id:%d\n", id);
        return;
      }
      break;
    }
    case TWS_ERR_DEPTH_HALTED:
      if (id >= 1 && id <= TWS_TICKERS) {
        snprintf(line, sizeof line, "Re-subscribed mkt depth[%02d] %s", id, id_symbol(id).text);
        notice(line, STATMSG_NOTICE);
        mqt* r = id_record(id);
        if (r && g_tws_error_hooks.resubscribe_depth) g_tws_error_hooks.resubscribe_depth(r);
      }
      return;
    case TWS_ERR_DEPTH_RESET: {
      if (g_pref_flags & PREF_STATUS_DETAILS) {
        snprintf(line, sizeof line, "IB(317): Market depth data reset for %s", id_symbol(id).text);
        notice(line, STATMSG_NOTICE);
      }
      kv_lock guard(g_chart_lock);
      mqt* r = id_record(id);
      if (r && g_tws_error_hooks.clear_depth_book) g_tws_error_hooks.clear_depth_book(r);
      return;
    }
    case TWS_ERR_NOT_SUBSCRIBED:
      if (g_pref_flags & PREF_REPORT_PROBLEMS)
        notice("Requested market data is not subscribed", STATMSG_NOTICE);
      return;
    case TWS_ERR_NO_HISTORY:
      g_hist_data_error = TWS_ERR_NO_HISTORY;
      debug_trace("setting last_backfill_error=366\n");
      statmsg(nullptr, 0, "No historical data found for:", id_symbol(id).text, STATMSG_MISSING);
      g_hmds_event.set();
      return;
    case TWS_LINK_LOST:
      control_record(TWS_CTL_LOST, nullptr);
      return;
    case TWS_LINK_RESTORED_DATA_LOST:
      post_router(WM_TWS_RESUBSCRIBE);
      [[fallthrough]];
    case TWS_LINK_RESTORED:
      control_record(TWS_CTL_RESTORED, "TWS");
      post_router(WM_TWS_RESTORED);
      return;
    case TWS_ACCOUNT_UNSUBSCRIBED:
      if (!(g_pref_flags1 & PREF1_ADVISOR)) {
        if (g_tws_error_hooks.req_account_updates) g_tws_error_hooks.req_account_updates();
        if (g_pref_flags & PREF_STATUS_DETAILS)
          notice("Re-requesting Account Updates", STATMSG_NOTICE);
      }
      return;
    case TWS_MDATA_FARM_BROKEN:
      notice("Market data farm is disconnected", STATMSG_MISSING);
      if (s_mdata_farm_ok) {
        s_mdata_farm_ok = 0;
        sound(TWS_SOUND_DISCONNECTED);
      }
      return;
    case TWS_MDATA_FARM_OK:
      notice("Market data farm connection is OK", STATMSG_MISSING);
      if (!s_mdata_farm_ok) {
        s_mdata_farm_ok = 1;
        sound(TWS_SOUND_CONNECTED);
      }
      return;
    case TWS_HMDS_FARM_BROKEN:
      notice("HMDS farm disconnected", STATMSG_MISSING);
      s_hmds_farm_ok = 0;
      return;
    case TWS_HMDS_FARM_OK:
      notice(text, STATMSG_MISSING);
      s_hmds_farm_ok = 1;
      if (g_pref_flags & PREF_STATUS_DETAILS) notice(text, STATMSG_NOTICE);
      return;
    case TWS_HMDS_FARM_INACTIVE:
      farm_notice(text);
      if (g_tws_error_hooks.reset_hmds_count) g_tws_error_hooks.reset_hmds_count();
      return;
    case TWS_MDATA_FARM_INACTIVE:
      farm_notice(text);
      return;
    case TWS_ORDER_OUTSIDE_HOURS:
      if (g_pref_flags & PREF_REPORT_PROBLEMS) general_path(0, code, text, id);
      return;
    case TWS_EWOULDBLOCK:
      if (g_pref_flags & PREF_STATUS_DETAILS) {
        snprintf(line, sizeof line, "Prior msgid=%d", g_tws_prev_msg_id);
        notice(line, STATMSG_NOTICE);
      }
      break;
    default:
      break;
  }
  general_path(is_error, code, text, id);
}

void tws_error_message(int) {
  tws_read_int();  // version
  int id = tws_read_int();
  int code = tws_read_int();
  char text[TWS_FIELD_MAX];
  snprintf(text, sizeof text, "%s", tws_read_text());
  if (g_tws_read_failed) return;  // the stream is closed; a half-read error means nothing
  tws_error(1, code, text, id);
}
