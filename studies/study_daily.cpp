// Day statistics cached on the chart and the daily reference lines
// (previous close, the day's open, high, low, midpoint and VWAP, pivot
// points with supports and resistances).  A line has one value for the
// whole chart, kept in the study's `value`.
#include "data/dates.h"
#include "data/exchclock.h"
#include "platform/clock.h"
#include "quotes/mqt.h"
#include "studies/study_internal.h"

namespace {

struct daily_state {
  int32_t index;
  int32_t date;  // pivot family: calendar date of the last bar computed for
};

}  // namespace

int update_day_stats(chart_rec *chart, int force) {
  chart_day_stats &ds = chart->day_stats;
  int count = chart->bars ? chart->header.bar_count : 0;
  const chart_bar *bars = chart->bars;
  int day = count > 0 ? (int)kv_day_number(bars[count - 1].time) : 0;
  ds.computed_at = (int32_t)g_exchange_clock.seconds;
  if (day == ds.day && !force) return ds.first_index;
  ds.day = day;
  ds.day_high = 0;
  ds.day_low = 0;
  ds.day_open = 0;
  ds.prev_close = 0;
  int i = count - 1;
  for (; i >= 0; i--) {
    const chart_bar &b = bars[i];
    if (kv_day_number(b.time) != day) {
      ds.prev_close = b.close;
      ds.day_open = bars[i + 1].open;
      break;
    }
    if (b.high > ds.day_high) ds.day_high = b.high;
    if (!(ds.day_low > 0 && ds.day_low < b.low)) ds.day_low = b.low;
  }
  if (ds.day_open == 0 && count > 0) ds.day_open = bars[0].open;
  ds.day_mid = (ds.day_low + ds.day_high) / 2;
  ds.first_index = i + 1;
  mqt *rec = chart->mqt;
  if (rec && is_intraday_unit(chart->header.time_unit)) {
    if (rec->prev_close == 0) rec->prev_close = ds.prev_close;
    if (rec->open == 0) rec->open = ds.day_open;
    if (rec->high == 0) rec->high = ds.day_high;
    if (rec->low == 0) rec->low = ds.day_low;
  }
  return ds.first_index;
}

void update_prev_day_stats(chart_rec *chart) {
  chart_day_stats &ds = chart->day_stats;
  ds.prev_high = 0;
  ds.prev_low = 0;
  int count = chart->bars ? chart->header.bar_count : 0;
  if (count <= 0) return;
  const chart_bar *bars = chart->bars;
  int last_date = seconds_to_date(bars[count - 1].time);
  int i = count - 1;
  while (i >= 0 && seconds_to_date(bars[i].time) == last_date) i--;
  if (i < 0) return;
  int date = seconds_to_date(bars[i].time);
  ds.prev_high = bars[i].high;
  ds.prev_low = bars[i].low;
  ds.prev_close = bars[i].close;
  ds.first_index = i + 1;
  for (i--; i >= 0 && seconds_to_date(bars[i].time) == date; i--) {
    if (bars[i].high > ds.prev_high) ds.prev_high = bars[i].high;
    if (bars[i].low < ds.prev_low) ds.prev_low = bars[i].low;
  }
}

static void set_line_value(StudyDef *s, double v) {
  s->value = v > 0 && std::isfinite(v) ? (float)v : MISSING_VALUE;
}

int compute_daily_line(chart_rec *chart, StudyDef *s, int restart) {
  study_bind_outputs(s);
  daily_state st;
  study_load_state(s, &st);
  chart_day_stats &ds = chart->day_stats;
  int type = s->type;
  int count = chart->bars ? chart->header.bar_count : 0;
  if (type >= STUDY_PREV_CLOSE && type <= STUDY_DAY_OPEN) {
    if (restart || ds.computed_at != (int32_t)g_exchange_clock.seconds) update_day_stats(chart, 1);
    if (chart->header.prev_close != 0) ds.prev_close = chart->header.prev_close;
    double v = 0;
    switch (type) {
      case STUDY_PREV_CLOSE:
        v = ds.prev_close;
        break;
      case STUDY_DAY_HIGH:
        v = ds.day_high;
        break;
      case STUDY_DAY_MID:
        v = ds.day_mid;
        break;
      case STUDY_DAY_LOW:
        v = ds.day_low;
        break;
      case STUDY_DAY_OPEN:
        v = ds.day_open;
        break;
    }
    set_line_value(s, v);
    return 1;
  }
  if (type == STUDY_DAY_VWAP) {
    set_line_value(s, chart->mqt ? chart->mqt->vwap : 0);
    return 1;
  }
  // the pivot family
  int date = count > 0 ? seconds_to_date(chart->bars[count - 1].time) : 0;
  if (restart || date != st.date) {
    update_prev_day_stats(chart);
    st.date = date;
    study_save_state(s, st);
  }
  double h = ds.prev_high, l = ds.prev_low, c = ds.prev_close;
  if (!(h > 0)) {
    s->value = MISSING_VALUE;
    return 0;
  }
  double p = (h + l + c) / 3, v = 0;
  switch (type) {
    case STUDY_PIVOT:
      v = p;
      break;
    case STUDY_SUPPORT1:
      v = 2 * p - h;
      break;
    case STUDY_SUPPORT2:
      v = p - (h - l);
      break;
    case STUDY_RESIST1:
      v = 2 * p - l;
      break;
    case STUDY_RESIST2:
      v = p + (h - l);
      break;
    case STUDY_PREV_HIGH:
      v = h;
      break;
    case STUDY_PREV_LOW:
      v = l;
      break;
  }
  set_line_value(s, v);
  s->p1 = s->value;
  return 1;
}
