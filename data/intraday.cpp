// Loaders of intraday charts: the 1-minute chart with the history the
// broker or the quote relay adds to it, n-minute, seconds, tick and volume
// charts, the daily bars of the broker, and daily bars rebuilt from the
// 1-minute chart.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "data/alias.h"
#include "data/chart_flags.h"
#include "data/chartload.h"
#include "data/chartthreads.h"
#include "data/dates.h"
#include "data/debugtrace.h"
#include "data/derived.h"
#include "data/exchclock.h"
#include "data/quotecfg.h"
#include "data/spread.h"
#include "data/statmsg.h"
#include "data/symindex.h"
#include "data/timemarks.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/locks.h"
#include "platform/thread.h"
#include "quotes/mqt_flags.h"
#include "quotes/mqt_record.h"
#include "settings/settings.h"

static const char k_hmds_unavailable[] = "HMDS unavailable, try again later";

// Background loads give way to the refresh thread's requests.
static void wait_for_refresh_requests(void) {
  while (g_refresh_pending.load() > 0) kv_sleep_ms(kv_scaled_ms(100));
}

// "yyyymmdd hh:mm:ss UTC" of a UTC instant.
static void utc_end_text(char* out, size_t size, int64_t utc) {
  int year, month, day, hour, minute, second;
  split_seconds(utc, &year, &month, &day, &hour, &minute, &second);
  snprintf(out, size, "%d %02d:%02d:%02d UTC", year * 10000 + month * 100 + day, hour, minute,
           second);
}

static int hist_error(void) {
  return g_chart_load_hooks.hist_data_error ? g_chart_load_hooks.hist_data_error() : 0;
}

static void clear_hmds_target(void) {
  if (g_chart_load_hooks.clear_hmds_target) g_chart_load_hooks.clear_hmds_target();
}

static void cancel_history(void) {
  if (g_chart_load_hooks.cancel_historical_data) g_chart_load_hooks.cancel_historical_data();
}

static int broker_history_present(void) {
  return g_chart_load_hooks.req_intraday_data != nullptr;
}

// The record's live-quote user taken by a loader, or null without live
// quotes.
static mqt* find_record(const char* symbol) {
  if (!g_chart_load_hooks.find_mqt) return nullptr;
  kv_lock guard(g_chart_lock);
  return g_chart_load_hooks.find_mqt(symbol);
}

static void link_chart(chart_rec* chart) {
  if (!g_chart_load_hooks.link_chart_to_mqt) return;
  kv_lock guard(g_chart_lock);
  if (!chart->mqt) g_chart_load_hooks.link_chart_to_mqt(chart);
}

// Extended-hours mark and trimming of a loaded intraday chart.
static void apply_extended_hours(chart_rec* chart, uint32_t flags) {
  if (flags & CHART_REQ_EXTENDED_HOURS) {
    chart->extended_hours = 1;
  } else {
    chart->extended_hours = 0;
    trim_to_market_hours(chart);
  }
}

// ---------------------------------------------------------------------------
// Broker history of 1-minute charts.

enum { HMDS_ANSWERED = 1, HMDS_STOP = 0, HMDS_REFUSED = -1 };

// One broker request of the 1-minute loader, under g_hmds_lock, with one
// more try after a silent first one.
static int hmds_chunk(chart_rec* fetch, mqt* record, int duration, int64_t end_utc,
                      int background) {
  kv_lock guard(g_hmds_lock);
  char end_text[40];
  utc_end_text(end_text, sizeof end_text, end_utc);
  for (int attempt = 1; attempt <= 2; attempt++) {
    if (g_chart_load_hooks.hmds_pacing_wait && !g_chart_load_hooks.hmds_pacing_wait(background)) {
      statmsg(__FILE__, __LINE__, k_hmds_unavailable, nullptr, STATMSG_MISSING);
      return HMDS_STOP;
    }
    g_hmds_event.reset();
    if (!g_chart_load_hooks.req_intraday_data(fetch, record, duration, end_text)) {
      clear_hmds_target();
      return HMDS_REFUSED;
    }
    kv_sleep_ms(kv_scaled_ms(2000));
    int answered = g_hmds_event.wait(kv_scaled_ms(30000));
    if (!answered) {
      debug_trace("IBReqHistoricalData timeout[%d]\n", attempt);
      if (hist_error()) break;
      cancel_history();
      if (attempt == 2) break;
      kv_sleep_ms(kv_scaled_ms(20000));
      continue;
    }
    if (hist_error()) break;
    clear_hmds_target();
    return HMDS_ANSWERED;
  }
  if (hist_error()) {
    cancel_history();
    debug_trace("Aborted backfill %s\n", fetch->header.symbol);
  }
  clear_hmds_target();
  return HMDS_STOP;
}

// Fetches the missing 1-minute history from the broker into fetch.  0 when
// nothing is to be merged.
static int fetch_1min_from_broker(chart_rec* fetch, const chart_rec* stored, mqt* record, int days,
                                  int first_missing, uint32_t flags) {
  int background = (flags & CHART_REQ_BACKGROUND) != 0;
  if (background) wait_for_refresh_requests();
  if (!(flags & CHART_REQ_RELOAD)) {
    int d = stored && stored->header.history_date
                ? days_between(stored->header.history_date, today_date(0))
                : 0;
    if (d <= 5) days = d < 1 ? 1 : d;
  }
  if (!background) {
    debug_trace("Foreground reqhistdata %s\n", fetch->header.symbol);
    days = 1;
  }
  int64_t utc_now = kv_now_utc_seconds();
  if (days == 1) {
    int span = exchange_time_of_day(record) - first_missing;
    if ((span >= 10 && span <= 59) || span < 1) {
      debug_trace("Skipping HMDS req for %d secs [%s]\n", span, fetch->header.symbol);
      return 0;
    }
    return hmds_chunk(fetch, record, span, utc_now, background) == HMDS_ANSWERED;
  }
  int got = 0;
  while (days >= 1) {
    int chunk = days < 5 ? days : 5;
    days = days < 5 ? 0 : days - 7;
    int remaining = days > 0 ? days : 0;
    int r = hmds_chunk(fetch, record, chunk, utc_now - remaining * KV_SECONDS_PER_DAY, background);
    if (r == HMDS_REFUSED) return 0;
    if (r == HMDS_STOP) break;
    got = 1;
    if (background && days >= 1) {
      debug_trace("backround reqhistdata pause\n");
      wait_for_refresh_requests();
    }
  }
  return got || fetch->header.bar_count > 0;
}

// ---------------------------------------------------------------------------
// The 1-minute chart.

int intraday_days_to_get(const chart_rec* chart, mqt* record, int* first_missing, uint32_t) {
  int keep = g_settings.KeepNumDays1Min;
  *first_missing = 0;
  if (!chart || chart->header.bar_count <= 0) return keep;
  int session_start = 0, session_end = (int)KV_SECONDS_PER_DAY;
  {
    kv_lock guard(g_chart_lock);
    if (quote_source_cfg* cfg = read_quote_source_cfg(MULTIQUOTE_TIMEUNIT)) {
      session_start = cfg->open_time;
      session_end = cfg->close_time ? cfg->close_time : (int)KV_SECONDS_PER_DAY;
    }
  }
  int last_trading = record ? current_trading_date(record) : market_trading_date(nullptr);
  if (!last_trading) last_trading = today_date(0);
  const chart_bar* bars = chart->bars;
  int n = chart->header.bar_count;
  int i = 0;
  while (i < n && days_between(seconds_to_date(bars[i].time), last_trading) >= keep - 2) i++;
  if (i == 0)
    debug_trace("data does not go far enough back, span=%d\n",
                days_between(seconds_to_date(bars[0].time), last_trading));
  if (i >= n || i == 0) return keep;
  int date = seconds_to_date(bars[i].time);
  int expected = session_start;
  for (int j = i; j < n; j++) {
    int d = seconds_to_date(bars[j].time);
    int tod = (int)(bars[j].time - date_to_seconds(d, 0));
    if (d != date) {
      // The day before ended early: its missing minutes come first.
      if (expected < session_end - 1) break;
      date = d;
      expected = session_start;
    }
    if (tod >= expected && tod < session_end) {
      if (tod > expected || (bars[j].flags & BAR_PROVISIONAL)) break;
      expected += 60;
    }
  }
  *first_missing = expected;
  int days = days_between(date, last_trading);
  debug_trace("daystoget = %d\n", days);
  return days;
}

// Session times of the live-quote configuration onto a 1-minute chart.
static void set_session_times(chart_rec* chart) {
  kv_lock guard(g_chart_lock);
  if (quote_source_cfg* cfg = read_quote_source_cfg(MULTIQUOTE_TIMEUNIT)) {
    chart->header.session_start = cfg->open_time;
    chart->header.session_end = cfg->close_time;
  }
}

// An empty chart stands in for stored bars that could not be loaded when
// its price file is there (unreadable, or its merge failed): it is shown but
// never written, so the file keeps its bars.
static int keep_stored_file(chart_rec* chart) {
  char path[CHART_PATH_SIZE];
  if (!chart_file_name(path, chart->header.symbol, chart->header.time_unit) ||
      !kv_file_exists(path))
    return 0;
  chart->header.flags |= CHART_READ_ONLY;
  return 1;
}

static chart_rec* empty_1min_chart(const char* symbol) {
  chart_rec* chart = new_chart(symbol, TU_1MIN);
  if (!chart) return nullptr;
  if (strncmp(symbol, "R~", 2) == 0) {
    snprintf(chart->header.description, CHART_DESCRIPTION_SIZE, "%s", symbol);
    chart->header.flags |= CHART_RATIO_SPREAD;
  } else if (const char* text = symbol_description(symbol)) {
    snprintf(chart->header.description, CHART_DESCRIPTION_SIZE, "%s", text);
  }
  if (keep_stored_file(chart)) return chart;
  chart->header.flags |= CHART_MERGED2;
  write_chart_file(chart);
  chart->header.flags &= ~CHART_MERGED2;
  return chart;
}

chart_rec* load_1min_chart(const char* symbol, uint32_t flags) {
  int session_end = 0;
  {
    // The cached configuration may be reloaded by another thread: only
    // its values are kept.
    kv_lock guard(g_chart_lock);
    quote_source_cfg* cfg = read_quote_source_cfg(MULTIQUOTE_TIMEUNIT);
    session_end = cfg ? cfg->close_time : -1;
  }
  if (session_end < 0) {
    statmsg(__FILE__, __LINE__, "Could not open quote source cfg file", nullptr, STATMSG_ERROR);
    return nullptr;
  }
  // The loader's own use of the record, dropped at the end: a linked
  // chart holds a use of its own.
  mqt* record = nullptr;
  if (g_chart_load_hooks.get_multiquote) {
    kv_lock guard(g_chart_lock);
    record = g_chart_load_hooks.get_multiquote(symbol);
    if (!record) {
      statmsg(__FILE__, __LINE__, "No multiquote for symbol", symbol, STATMSG_ERROR);
      return nullptr;
    }
    if ((record->flags & MQT_1MIN_INIT) && g_chart_load_hooks.write_1min_bars)
      g_chart_load_hooks.write_1min_bars(record);
  }

  chart_rec* stored = load_and_merge_chart(symbol, nullptr, TU_1MIN, flags);
  if (stored) stored->extended_hours = (flags & CHART_REQ_EXTENDED_HOURS) ? 1 : 0;
  chart_rec* chart = stored;

  int fetching = chart_fetch_considered(flags) && !(record && (record->flags & MQT_ACCOUNT));
  if (fetching && stored && strncmp(symbol, "R~", 2) == 0) {
    build_spread_chart(stored);
    fetching = 0;
  }
  if (fetching) {
    chart_rec* fetched = nullptr;
    if ((router_capabilities() & ROUTER_CAP_INTRADAY_HISTORY) && g_settings.ContUpdate) {
      int first_missing = 0;
      int days = (flags & CHART_REQ_RELOAD)
                     ? g_settings.KeepNumDays1Min
                     : intraday_days_to_get(stored, record, &first_missing, flags);
      int complete = days == 1 && first_missing + 60 >= session_end;
      if ((!complete || (flags & CHART_REQ_EXTENDED_HOURS)) && days > 0) {
        fetched = new_chart_with_slots(symbol, TU_1MIN, days * 1440 + 780);
        int got = 0;
        if (fetched && broker_connected() && broker_history_present()) {
          got = fetch_1min_from_broker(fetched, stored, record, days, first_missing, flags);
        } else if (fetched && g_chart_load_hooks.kvqr_intraday_data) {
          int code =
              g_chart_load_hooks.kvqr_intraday_data(fetched, days, first_missing, (int)flags);
          if (code && g_chart_load_hooks.kvqr_error_text)
            g_chart_load_hooks.kvqr_error_text(code, symbol);
          got = code == 0;
        }
        if (!got || fetched->header.bar_count <= 0) {
          discard_fetched_chart(fetched);
          fetched = nullptr;
        }
      }
    } else {
      fetched = read_hdata_file(symbol, TU_1MIN);
    }
    if (fetched) {
      sort_chart_bars(fetched);
      set_chart_dates(fetched);
      // A new file keeps only the session's bars from its first write.
      set_session_times(fetched);
      chart = load_and_merge_chart(symbol, fetched, TU_1MIN, flags);
      free_chart_data(stored);
      if (chart) chart->extended_hours = (flags & CHART_REQ_EXTENDED_HOURS) ? 1 : 0;
    }
  }
  if (!chart) chart = empty_1min_chart(symbol);
  if (chart) {
    int was_listed = (chart->header.flags & CHART_LISTED) != 0;
    list_chart(chart);
    if (!was_listed) link_chart(chart);
    set_session_times(chart);
  }
  if (record && g_chart_load_hooks.delete_multiquote) g_chart_load_hooks.delete_multiquote(record);
  return chart;
}

chart_rec* get_1min_chart(const char* symbol, uint32_t flags) {
  int extended = (flags & CHART_REQ_EXTENDED_HOURS) != 0;
  {
    kv_lock guard(g_chart_lock);
    chart_rec* listed = find_listed_chart(symbol, TU_1MIN);
    if (listed && (listed->extended_hours != 0) == extended) {
      // One more reference only: the chart holds its record's one use
      // until its last reference goes (free_chart_data).
      listed->references++;
      return listed;
    }
  }
  return load_1min_chart(symbol, flags);
}

chart_rec* create_intraday_chart(const char* symbol, int unit, uint32_t flags) {
  chart_rec* chart;
  if (unit == TU_1MIN) {
    chart = load_1min_chart(symbol, flags);
  } else {
    chart_rec* minutes = get_1min_chart(symbol, flags);
    if (!minutes) return nullptr;
    chart = compress_minute_chart(minutes, unit);
    if (chart) {
      list_chart(chart);
      link_chart(chart);
    }
    free_chart_data(minutes);
  }
  if (!chart) return nullptr;
  calc_time_axis_labels(chart);
  dump_chart_list("L create_intraday_chart", chart);
  apply_extended_hours(chart, flags);
  return chart;
}

// ---------------------------------------------------------------------------
// Seconds, tick and volume charts.

// One broker request without a second try: 1 answered.
static int broker_request_once(chart_rec* fetch, mqt* record, int duration, int64_t end_utc,
                               int wait_ms, const char* timeout_trace) {
  char end_text[40];
  utc_end_text(end_text, sizeof end_text, end_utc);
  g_hmds_event.reset();
  if (!g_chart_load_hooks.req_intraday_data(fetch, record, duration, end_text)) {
    clear_hmds_target();
    return 0;
  }
  int answered = g_hmds_event.wait(kv_scaled_ms(wait_ms));
  if (!answered) debug_trace("%s", timeout_trace);
  clear_hmds_target();
  return answered && !hist_error();
}

chart_rec* create_seconds_chart(const char* symbol, int unit, uint32_t flags) {
  chart_rec* chart = new_chart(symbol, unit);
  if (!chart) return nullptr;
  mqt* record = find_record(symbol);
  if (chart_fetch_considered(flags) && record && !(record->flags & MQT_ACCOUNT) &&
      (router_capabilities() & ROUTER_CAP_INTRADAY_HISTORY) && broker_history_present()) {
    if (g_chart_load_hooks.hmds_pacing_wait && !g_chart_load_hooks.hmds_pacing_wait(0)) {
      statmsg(__FILE__, __LINE__, k_hmds_unavailable, nullptr, STATMSG_MISSING);
    } else {
      exchange_clock(record, CLOCK_DATE);
      broker_request_once(chart, record, 2000 * -unit, kv_now_utc_seconds(), 10000,
                          "Timed out waiting of or IntraDayData\n");
    }
  }
  {
    // Bars the live-quote record's own chart of this unit holds beyond
    // the fetched ones.
    kv_lock guard(g_chart_lock);
    chart_rec* live = nullptr;
    for (chart_rec* c = record ? record->intraday_charts : nullptr; c; c = c->sibling) {
      if (c->header.time_unit == unit && c != chart) {
        live = c;
        break;
      }
      if (c->sibling == c) break;
    }
    if (live) {
      int n = chart->header.bar_count;
      int32_t last = n > 0 ? chart->bars[n - 1].time : INT32_MIN;
      for (int i = 0; i < live->header.bar_count && chart->spare > 0; i++) {
        if (live->bars[i].time <= last) continue;
        chart->bars[chart->header.bar_count++] = live->bars[i];
        chart->spare--;
      }
      set_chart_dates(chart);
    }
  }
  list_chart(chart);
  link_chart(chart);
  apply_extended_hours(chart, flags);
  return chart;
}

// Volume-chart history from the broker: the historic file when there is
// one, else five requests of 30000 seconds, oldest first.
static chart_rec* fetch_volume_history(const char* symbol, int unit, mqt* record) {
  if (chart_rec* hdata = read_hdata_file(symbol, unit)) return hdata;
  chart_rec* fetch = new_chart_with_slots(symbol, unit, 5760);
  if (!fetch) return nullptr;
  fetch->header.volume_per_bar = (int32_t)((int64_t)TU_VOLUME_BASE - unit);
  int64_t now = kv_now_utc_seconds();
  for (int i = 4; i >= 0; i--) {
    if (g_chart_load_hooks.hmds_pacing_wait && !g_chart_load_hooks.hmds_pacing_wait(0)) {
      statmsg(__FILE__, __LINE__, k_hmds_unavailable, nullptr, STATMSG_MISSING);
      break;
    }
    kv_sleep_ms(kv_scaled_ms(1100));
    broker_request_once(fetch, record, 30000, now - (int64_t)i * 30000, 20000,
                        "Timed out waiting of or IntraDayData\n");
  }
  if (fetch->header.bar_count <= 0) {
    discard_fetched_chart(fetch);
    return nullptr;
  }
  sort_chart_bars(fetch);
  set_chart_dates(fetch);
  return fetch;
}

chart_rec* create_tick_chart(const char* symbol, int unit, uint32_t flags) {
  mqt* record = find_record(symbol);
  chart_rec* fetched = nullptr;
  if (is_volume_unit(unit) && chart_fetch_considered(flags) &&
      (router_capabilities() & ROUTER_CAP_BROKER) && broker_connected() &&
      broker_history_present() && g_settings.ContUpdate)
    fetched = fetch_volume_history(symbol, unit, record);
  chart_rec* chart = load_and_merge_chart(symbol, fetched, unit, flags);
  if (!chart) {
    chart = new_chart(symbol, unit);
    if (!chart) return nullptr;
    if (const char* text = symbol_description(symbol))
      snprintf(chart->header.description, CHART_DESCRIPTION_SIZE, "%s", text);
    if (!keep_stored_file(chart)) chart->header.flags |= CHART_MERGED2;
  }
  int was_listed = (chart->header.flags & CHART_LISTED) != 0;
  if (is_tick_unit(unit))
    chart->ticks_per_bar = TU_TICK_BASE - unit;
  else
    chart->header.volume_per_bar = (int32_t)((int64_t)TU_VOLUME_BASE - unit);
  list_chart(chart);
  chart->base = chart;
  if (!was_listed) link_chart(chart);
  {
    kv_lock guard(g_chart_lock);
    if (chart->mqt) chart->mqt_word = chart->mqt->tick_word;
  }
  apply_extended_hours(chart, flags);
  return chart;
}

// ---------------------------------------------------------------------------
// Daily bars.

void request_daily_history(chart_rec* chart, int first, int last) {
  mqt* record = find_record(chart->header.symbol);
  if (!record || !broker_history_present()) return;
  exchange_clock(record, CLOCK_DATE);
  int days = days_between(first, last);
  if (days < 365) days = 365;
  // Each chunk ends the days still to come before the end of today,
  // market time.
  int64_t utc_now = kv_now_utc_seconds();
  int offset = exchange_local_seconds(record->market, utc_now);
  int64_t today_end_utc = date_to_seconds(seconds_to_date(utc_now + offset), 86399) - offset;
  while (days > 0) {
    int chunk = days < 365 ? days : 365;
    days -= chunk;
    char end_text[40];
    utc_end_text(end_text, sizeof end_text, today_end_utc - days * KV_SECONDS_PER_DAY);
    g_hmds_event.reset();
    if (!g_chart_load_hooks.req_intraday_data(chart, record, chunk, end_text)) {
      clear_hmds_target();
      continue;
    }
    if (!g_hmds_event.wait(kv_scaled_ms(10000))) {
      debug_trace("Timed out waiting of or HMDS historic daily data\n");
      break;
    }
  }
  clear_hmds_target();
}

void update_daily_from_intraday(chart_rec* chart) {
  if (!chart || chart->header.time_unit != TU_DAILY) return;
  const char* symbol = chart->header.symbol;
  chart_rec* days = new_chart(symbol, TU_DAILY);
  if (!days) return;
  const char* intraday = lookup_alias(symbol, 1);
  chart_rec* minutes = intraday ? get_1min_chart(intraday, 0) : nullptr;
  if (!minutes || minutes->header.bar_count <= 0) {
    free_chart_data(minutes);
    discard_fetched_chart(days);
    statmsg(__FILE__, __LINE__, "No data for ", symbol, STATMSG_MISSING);
    return;
  }
  {
    kv_lock guard(g_chart_lock);
    const chart_bar* bars = minutes->bars;
    int n = minutes->header.bar_count;
    int i = 0;
    int first_date = seconds_to_date(bars[0].time);
    while (i < n && seconds_to_date(bars[i].time) == first_date)
      i++;  // the first date may be partial
    double vwap_volume = 0;
    while (i < n && days->spare > 1) {
      int date = seconds_to_date(bars[i].time);
      if (is_weekend(date)) {
        i++;
        continue;
      }
      chart_bar& day = days->bars[days->header.bar_count++];
      days->spare--;
      day = bars[i];
      day.time = (int32_t)date_to_seconds(date, 0);
      vwap_volume = (bars[i].flags & BAR_EXTRA_VWAP) ? bars[i].volume : 0;
      for (i++; i < n && seconds_to_date(bars[i].time) == date; i++) {
        const chart_bar& b = bars[i];
        if (day.open == 0) day.open = b.open;
        if (b.high > day.high) day.high = b.high;
        if (day.low == 0 || b.low < day.low) day.low = b.low;
        if (b.flags & BAR_KEEP) day.close = b.close;
        day.volume += b.volume;
        day.flags |= b.flags;
        if ((b.flags & BAR_EXTRA_VWAP) && b.volume > 0) {
          double total = vwap_volume + b.volume;
          day.vwap = (float)((day.vwap * vwap_volume + b.vwap * b.volume) / total);
          vwap_volume = total;
        }
      }
    }
    set_chart_dates(days);
  }
  free_chart_data(minutes);

  chart_rec* merged = load_and_merge_chart(symbol, days, TU_DAILY, 0);
  int cut = 0;  // the chart could not take every merged bar
  if (merged) {
    kv_lock guard(g_chart_lock);
    // The chart is written back with these bars: cut short, it would
    // drop the newest ones from the file just merged.
    int capacity = chart->header.bar_count + chart->spare;
    if (merged->header.bar_count > capacity &&
        grow_chart_bars(chart, merged->header.bar_count - capacity))
      capacity = merged->header.bar_count;
    int n = merged->header.bar_count < capacity ? merged->header.bar_count : capacity;
    if (n > 0) memcpy(chart->bars, merged->bars, sizeof(chart_bar) * (size_t)n);
    chart->header.bar_count = n;
    chart->spare = capacity - n;
    chart->ha_valid = 0;  // every bar was replaced
    cut = n < merged->header.bar_count;
    set_chart_dates(chart);
  }
  free_chart_data(merged);

  kv_lock guard(g_chart_lock);
  chart->header.flags &= ~CHART_REPAINT;
  chart->header.flags |= CHART_BARS_CHANGED | CHART_RECALC;
  if (cut)
    chart->header.flags &=
        ~(CHART_BARS_CHANGED | CHART_MERGED | CHART_MERGED2);  // the file has them all
  calc_time_axis_labels(chart);
  if (g_chart_load_hooks.recalc_studies) g_chart_load_hooks.recalc_studies(chart, 1);
  if (chart->owner_window)
    kv_post_message((kv_hwnd)chart->owner_window, WM_UPDATE_FROM_THREAD, chart->header.flags,
                    (kv_lparam)chart->mqt);
}
