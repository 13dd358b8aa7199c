// History from TWS: the request, its pacing, and the replies that fill the
// chart of the request.
//
// One request is outstanding at a time (the chart loader holds
// g_hmds_lock); its chart and request id are registered when it is sent
// and forgotten when the loader is done, under s_target_lock, which the
// reader also holds while it fills the chart.  A reply whose request id is
// not the registered one fills nothing: a late answer to an abandoned
// request never lands in the next request's chart.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <mutex>

#include "broker/twsconn.h"
#include "broker/twserrors.h"
#include "broker/twsin.h"
#include "broker/twsreq.h"
#include "broker/twsticker.h"
#include "broker/twswire.h"
#include "data/chart.h"
#include "data/chartthreads.h"
#include "data/dates.h"
#include "data/debugtrace.h"
#include "data/exchclock.h"
#include "data/statmsg.h"
#include "platform/clock.h"
#include "platform/locks.h"
#include "platform/thread.h"
#include "quotes/mqt.h"
#include "settings/settings.h"

enum {
  HMDS_WINDOW = 60,       // requests remembered for pacing
  HMDS_SPAN_S = 600,      // TWS allows HMDS_WINDOW requests in this span
  HMDS_WAIT_STEP_S = 30,  // a wait is logged and slept in steps of this
  DATE_LIMIT = 21990101,  // below: a yyyymmdd date, else seconds
  BAR_TRACE_COUNT = 2,
  BAR_GAPS = 0x8000000,
};

std::atomic<int> g_hmds_reqcnt{0};

static std::mutex s_target_lock;
static chart_rec* s_chart;
static int s_request_id;
static int s_first_bar;
static int s_offset;
static int s_traced;
static int64_t s_first_time, s_last_time;

void tws_clear_hmds_target() {
  std::lock_guard<std::mutex> g(s_target_lock);
  s_chart = nullptr;
  s_request_id = 0;
}

int tws_hmds_request_id() {
  std::lock_guard<std::mutex> g(s_target_lock);
  return s_request_id;
}

const char* tws_history_bar_size(int unit) {
  switch (unit) {
    case 1:
      return "1 min";
    case 390:
      return "1 day";
    case -30:
      return "30 secs";
    case -5:
      return "5 secs";
    default:
      return "15 secs";
  }
}

void tws_history_duration(int unit, int duration, char* out, int size) {
  if (unit == 390)
    duration > 60 ? snprintf(out, size, "1 Y") : snprintf(out, size, "%d D", duration);
  else if (duration <= 6)
    snprintf(out, size, "%d D", duration);
  else
    snprintf(out, size, "%d", duration);
}

int IBReqIntradayData(chart_rec* chart, mqt* record, int duration, const char* end_text) {
  g_hist_data_error = 0;
  int id;
  char symbol[MQT_SYMBOL_SIZE], root[32], sec_type[8], expiry[12], right[8], exchange[12],
      currency[8];
  double strike;
  int multiplier, midpoint, unit;
  {
    kv_lock guard(g_chart_lock);
    id = record->symbol_slot ? record->symbol_slot : assign_ticker(record->symbol);
    snprintf(symbol, sizeof symbol, "%s", record->symbol);
    snprintf(root, sizeof root, "%s",
             record->contract_root[0] ? record->contract_root : record->symbol);
    snprintf(sec_type, sizeof sec_type, "%s", record->sec_type);
    snprintf(expiry, sizeof expiry, "%s", record->expiry);
    snprintf(right, sizeof right, "%s", record->right);
    snprintf(exchange, sizeof exchange, "%s", record->exchange);
    snprintf(currency, sizeof currency, "%s", record->currency);
    strike = record->strike;
    multiplier = record->multiplier;
    midpoint = (record->flags & MQT_MIDPOINT) != 0;
    unit = chart->header.time_unit;
  }
  {
    std::lock_guard<std::mutex> g(s_target_lock);
    s_chart = chart;
    s_request_id = id + TWS_HISTORY_ID_BASE;
    s_first_bar = 1;
    s_traced = 0;
    int n = chart->header.bar_count;
    s_first_time = n ? chart->bars[0].time : 0;
    s_last_time = n ? chart->bars[n - 1].time : 0;
  }
  if (!id) return 0;
  if (!g_tws_connected.load()) {
    tws_error(0, TWS_ERR_NOT_CONNECTED, "504 Not connected", id);
    return 0;
  }
  if (g_tws_server_version.load() <= 19) {
    tws_error(1, g_tws_server_version.load(), "503 TWS is out of date and must be upgraded", 0);
    return 0;
  }
  g_hmds_reqcnt++;
  char duration_text[24];
  tws_history_duration(unit, duration, duration_text, sizeof duration_text);
  if (!tws_request_begin(id)) return 0;
  int server = g_tws_server_version.load();
  tws_send_int(20);
  tws_send_int(4);
  tws_send_int(id + TWS_HISTORY_ID_BASE);
  tws_send_text(root);
  tws_send_text(sec_type);
  tws_send_text(expiry);
  if (strike != 0)
    tws_send_double(strike);
  else
    tws_send_text("");
  tws_send_text(right);
  if (multiplier > 0)
    tws_send_int(multiplier);
  else
    tws_send_text("");
  tws_send_text(exchange);
  tws_send_text("");
  tws_send_text(currency);
  tws_send_text("");
  if (server > 30) tws_send_int(expiry[0] ? 1 : 0);
  tws_send_text(end_text);
  tws_send_text(tws_history_bar_size(unit));
  tws_send_text(duration_text);
  tws_send_int(0);
  tws_send_text(midpoint ? "MIDPOINT" : "TRADES");
  tws_send_int(2);
  tws_send_text("");
  tws_request_end();
  char shown[40];
  const char* d = strchr(duration_text, 'D');
  if (strcmp(duration_text, "1 Y") == 0)
    snprintf(shown, sizeof shown, "1 Year");
  else if (d)
    snprintf(shown, sizeof shown, "%.*sDays", (int)(d - duration_text), duration_text);
  else
    snprintf(shown, sizeof shown, "%s", duration_text);
  char line[200];
  snprintf(line, sizeof line, "IBReqIntradayData[%s, %s to %s]", symbol, shown, end_text);
  statmsg(nullptr, 0, line, nullptr, STATMSG_MISSING);
  debug_trace("%s\n", line);
  return 1;
}

// ---------------------------------------------------------------------------
// Replies.

static int append_bar(chart_rec* c, const chart_bar& b) {
  if (c->spare <= 0 && !grow_chart_bars(c, 256)) {
    debug_trace("Backfill data overflow\n");
    return 0;
  }
  c->bars[c->header.bar_count++] = b;
  c->spare--;
  return 1;
}

// N-volume charts: the bar's volume is poured into bars of the chart's
// volume size.  A size below 1 gives one bar per history bar.
static void pour_volume(chart_rec* c, chart_bar b, int64_t size) {
  int32_t left = b.volume;
  if (size < 1 || left <= 0) {
    append_bar(c, b);
    return;
  }
  while (left > 0) {
    chart_bar* cur = c->header.bar_count ? &c->bars[c->header.bar_count - 1] : nullptr;
    if (!cur || cur->volume >= size) {
      chart_bar fresh = b;
      fresh.volume = 0;
      fresh.vwap = b.close;
      fresh.open = b.open;
      if (!append_bar(c, fresh)) return;
      cur = &c->bars[c->header.bar_count - 1];
    }
    int32_t take = (int32_t)(size - cur->volume < left ? size - cur->volume : left);
    double total = (double)cur->volume + take;
    cur->vwap = (float)((cur->vwap * (double)cur->volume + b.vwap * (double)take) / total);
    cur->volume += take;
    if (b.high > cur->high) cur->high = b.high;
    if (b.low < cur->low) cur->low = b.low;
    cur->close = b.close;
    cur->time = b.time;
    left -= take;
  }
}

void historicalData(int request_id, const char* date, double open, double high, double low,
                    double close, int volume, double average, int has_gaps) {
  std::lock_guard<std::mutex> g(s_target_lock);
  mqt* r;
  char sec0;
  {
    kv_lock guard(g_chart_lock);
    r = request_id > TWS_HISTORY_ID_BASE ? tws_id_record(request_id) : nullptr;
    sec0 = r ? r->sec_type[0] : 0;
    if (r && s_first_bar && request_id == s_request_id) {
      s_offset = exchange_local_seconds(r->market, kv_now_utc_seconds());
      s_first_bar = 0;
    }
  }
  if (!r) {
    debug_trace("No mqt for symbol in historicalData\n");
    return;
  }
  if (s_traced < BAR_TRACE_COUNT) {
    s_traced++;
    debug_trace("historicalData[%s %d %s ] %g, %g, %g, %g, %d, %g %d\n", r->symbol, request_id,
                date, open, high, low, close, volume, average, has_gaps);
  }
  if (!s_chart || request_id != s_request_id) {
    debug_trace("Backfill data discarded\n");
    return;
  }
  int64_t v = atoll(date);
  int64_t t = v < DATE_LIMIT ? date_to_seconds((int)v, 0) : v + s_offset;
  chart_rec* c = s_chart;
  chart_bar b = {};
  b.open = (float)open;
  b.high = (float)high;
  b.low = (float)low;
  b.close = (float)close;
  int64_t vol = volume < 0 ? 0 : volume;
  if (sec0 == 'S') vol *= 100;
  b.volume = (int32_t)(vol > INT32_MAX ? INT32_MAX : vol);
  b.vwap = (float)average;
  b.flags = c->header.flags | (has_gaps ? BAR_GAPS : 0);
  b.time = (int32_t)t;
  if (c->header.time_unit < TU_VOLUME_BASE)
    pour_volume(c, b, (int64_t)TU_VOLUME_BASE - c->header.time_unit);
  else
    append_bar(c, b);
}

// ---------------------------------------------------------------------------
// Pacing.

static std::mutex s_pacing_lock;
static int64_t s_times[HMDS_WINDOW];
static int s_count;

void hmds_reset_count() {
  std::lock_guard<std::mutex> g(s_pacing_lock);
  s_count = 0;
  g_hmds_reqcnt = 0;
}

int hmds_pacing_wait(int may_wait) {
  if (!may_wait && g_update_pending.load()) {
    statmsg(nullptr, 0, "HMDS busy with background requests...try again later", nullptr,
            STATMSG_MISSING);
    return 0;
  }
  std::unique_lock<std::mutex> g(s_pacing_lock);
  int64_t now = kv_now_utc_seconds();
  if (s_count > 0 && now - s_times[s_count - 1] > HMDS_SPAN_S) s_count = 0;
  if (s_count == HMDS_WINDOW) {
    if (!may_wait) return 0;
    int64_t wait = HMDS_SPAN_S + 1 - (s_times[HMDS_WINDOW - 1] - s_times[0]);
    if (wait > HMDS_SPAN_S) wait = HMDS_SPAN_S;
    g.unlock();
    while (wait > 0) {
      int step = wait > HMDS_WAIT_STEP_S ? HMDS_WAIT_STEP_S : (int)wait;
      char line[64];
      snprintf(line, sizeof line, "Waiting %d seconds for HMDS availability", (int)wait);
      statmsg(nullptr, 0, line, nullptr, STATMSG_MISSING);
      kv_sleep_ms(step * 1000);
      wait -= step;
    }
    g.lock();
    if (s_count == HMDS_WINDOW) {
      memmove(s_times, s_times + 1, (HMDS_WINDOW - 1) * sizeof s_times[0]);
      s_count--;
    }
    now = kv_now_utc_seconds();
  }
  s_times[s_count++] = now;
  return 1;
}
