// Clearing a chart's bars, and the Heikin-Ashi bars kept behind them.
#include <cstdlib>
#include <cstring>

#include "data/chart_flags.h"
#include "data/chartload.h"
#include "data/dates.h"
#include "data/statmsg.h"
#include "platform/files.h"
#include "platform/locks.h"
#include "quotes/mqt_flags.h"
#include "quotes/mqt_record.h"

static void recalc(chart_rec* chart) {
  if (g_chart_load_hooks.recalc_studies) g_chart_load_hooks.recalc_studies(chart, 1);
}

static void reset_pending_minute(chart_rec* chart) {
  if (chart->header.time_unit != TU_1MIN || !chart->mqt) return;
  memset(chart->mqt->pending_minute, 0, sizeof chart->mqt->pending_minute);
  chart->mqt->flags &= ~MQT_1MIN_INIT;
}

int clear_chart_bars(chart_rec* chart, int mode) {
  kv_lock guard(g_chart_lock);
  int n = chart->header.bar_count;
  // First bar of the last bar's date.
  int day_first = n;
  if (n > 0) {
    int64_t midnight = date_to_seconds(seconds_to_date(chart->bars[n - 1].time), 0);
    while (day_first > 0 && chart->bars[day_first - 1].time >= midnight) day_first--;
  }
  switch (mode) {
    case 0:
      delete_bars(chart, day_first, n);
      reset_pending_minute(chart);
      chart->header.last_date = 0;
      break;
    case 1:
      delete_bars(chart, 0, day_first);
      break;
    case 2:
      delete_bars(chart, 0, n);
      chart->header.word172 = 0;
      chart->header.flags |= CHART_BARS_CHANGED | CHART_REPAINT | CHART_RECALC;  // even when empty
      reset_pending_minute(chart);
      break;
    default:
      return mode - 2;
  }
  return 0;
}

int clear_chart_data(chart_rec* chart, int mode) {
  kv_lock guard(g_chart_lock);
  int unit = chart->header.time_unit;
  if (is_tick_unit(unit) || is_volume_unit(unit)) {
    clear_chart_bars(chart, mode);
    if (mode != 1) {
      chart->header.unit_count1 = 0;
      chart->header.unit_count2 = 0;
    }
    recalc(chart);
    return 1;
  }
  if (unit < TU_DAILY) {
    mqt* record = chart->mqt;
    if (!record) {
      statmsg(__FILE__, __LINE__, "corrupted chart", chart->header.symbol, STATMSG_ERROR);
      return 1;
    }
    // The 1-minute chart stays while the charts built from it are
    // cleared.
    chart_rec* held = nullptr;
    if (mode != 2) {
      held = find_listed_chart(chart->header.symbol, TU_1MIN);
      if (held) held->references++;
    }
    for (chart_rec* c = record->intraday_charts; c; c = c->sibling) {
      int u = c->header.time_unit;
      if (u >= 1 && u <= TU_MAX_MINUTES) {
        clear_chart_bars(c, mode);
        c->header.flags |= CHART_MERGED2;
        recalc(c);
      }
      if (c->sibling == c) break;
    }
    if (held) free_chart_data(held);
    return 1;
  }
  char path[CHART_PATH_SIZE];
  if (chart_file_name(path, chart->header.symbol, unit)) kv_delete_file(path, nullptr);
  delete_bars(chart, 0, chart->header.bar_count);
  chart->header.last_time = 0;
  chart->header.last_date = 0;
  chart->header.first_date = 0;
  chart->header.flags |= CHART_BARS_CHANGED | CHART_REPAINT | CHART_RECALC;
  recalc(chart);
  return 1;
}

// ---------------------------------------------------------------------------
// Heikin-Ashi.

static void heikin_ashi_bar(const chart_bar* plain, chart_bar* ha, int i) {
  const chart_bar& b = plain[i];
  chart_bar& h = ha[i];
  h = b;
  h.close = (b.open + b.high + b.low + b.close) / 4;
  h.open = i > 0 ? (ha[i - 1].open + ha[i - 1].close) / 2 : (b.open + b.close) / 2;
  h.high = b.high;
  if (h.open > h.high) h.high = h.open;
  if (h.close > h.high) h.high = h.close;
  h.low = b.low;
  if (h.open < h.low) h.low = h.open;
  if (h.close < h.low) h.low = h.close;
}

chart_bar* calc_heikin_ashi(chart_rec* chart, int last_only) {
  kv_lock guard(g_chart_lock);
  int n = chart->header.bar_count;
  if (chart->ha_capacity == 0) {
    int capacity = n + chart->spare;
    if (capacity <= 0) return chart->bars;
    chart_bar* bars = (chart_bar*)realloc(chart->bars, sizeof(chart_bar) * (size_t)capacity * 2);
    if (!bars) {
      statmsg(__FILE__, __LINE__, "Can't realloc chart memory", nullptr, STATMSG_ERROR);
      return chart->bars;
    }
    memcpy(bars + capacity, bars, sizeof(chart_bar) * (size_t)capacity);
    chart->bars = bars;
    chart->ha_capacity = capacity;
    chart->ha_valid = 0;
  }
  // The array is found again from the record each time: growing the bar
  // block moves it.  Bars are kept in step by index: those added since the
  // last call (a live chart may get several) and those after a removal
  // or replacement are computed again, each from the one before it.
  chart_bar* ha = chart->bars + chart->ha_capacity;
  int from = last_only ? chart->ha_valid : 0;
  if (last_only && from >= n && n > 0) from = n - 1;  // the last bar may have changed in place
  for (int i = from; i < n; i++) heikin_ashi_bar(chart->bars, ha, i);
  chart->ha_valid = n;
  return ha;
}
