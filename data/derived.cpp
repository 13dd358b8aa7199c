// Derived charts: n-minute and n-day bars compressed from the 1-minute or
// daily chart, and tick or volume bars of a multiple of a base unit.
#include "data/derived.h"

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "data/chart_flags.h"
#include "data/chartload.h"
#include "data/timemarks.h"
#include "platform/locks.h"
#include "quotes/mqt_record.h"
#include "studies/studyapi.h"
#include "platform/clock.h"

enum { NINE_THIRTY = 34200 };

// Running sums of one group of bars.
struct bar_group {
  chart_bar bar;       // open, time and flags of the first bar; the rest so far
  int64_t volume;      // summed volume of the bars flagged BAR_VOLUME_VALID
  double vwap_sum;     // sum of price x volume of the bars flagged BAR_EXTRA_VWAP
  double vwap_volume;  // their volume
  int64_t additive;    // summed extra words of the bars flagged BAR_EXTRA_ADDITIVE
};

static void group_start(bar_group* g, const chart_bar& b) {
  g->bar = b;
  g->volume = 0;
  g->vwap_sum = 0;
  g->vwap_volume = 0;
  g->additive = 0;
}

static void group_add(bar_group* g, const chart_bar& b, int first) {
  if (!first) {
    if (b.high > g->bar.high) g->bar.high = b.high;
    if (b.low < g->bar.low) g->bar.low = b.low;
    g->bar.close = b.close;
    g->bar.flags |= b.flags;
    g->bar.extra = b.extra;  // open interest: the last bar's
  }
  if (b.flags & BAR_VOLUME_VALID) g->volume += b.volume;
  if (b.flags & BAR_EXTRA_VWAP) {
    if ((b.flags & BAR_VOLUME_VALID) && b.volume > 0) {
      g->vwap_sum += (double)b.vwap * b.volume;
      g->vwap_volume += b.volume;
    }
  } else if (b.flags & BAR_EXTRA_ADDITIVE) {
    g->additive += b.extra;
  }
}

// The finished bar.  Volumes are clamped to the 32-bit field; the weighted
// price keeps the last one given when the group has no volume to weigh by.
static chart_bar group_end(const bar_group* g, const chart_bar& last) {
  chart_bar out = g->bar;
  out.volume = (int32_t)(g->volume > INT32_MAX ? INT32_MAX : g->volume < 0 ? 0 : g->volume);
  if (out.flags & BAR_EXTRA_VWAP) {
    float v = g->vwap_volume > 0 ? (float)(g->vwap_sum / g->vwap_volume) : last.vwap;
    out.vwap = std::isfinite(v) ? v : last.vwap;
  } else if (out.flags & BAR_EXTRA_ADDITIVE) {
    out.extra = (int32_t)(g->additive > INT32_MAX   ? INT32_MAX
                          : g->additive < INT32_MIN ? INT32_MIN
                                                    : g->additive);
  }
  return out;
}

// The n-minute slot [start, end) that holds time t.  Slots of units
// divisible by 13 run from 9:30 so that a session's bars fill whole slots;
// both the stamp and the grouping use this one alignment.  A slot never
// reaches into another day: the first and last slots of a day are cut at
// midnight, so that bars of two dates never share a bar.
struct minute_slot {
  int64_t start, end;
};

static minute_slot slot_of(int64_t t, int64_t length, int64_t offset) {
  int64_t day = kv_day_number(t) * KV_SECONDS_PER_DAY;
  int64_t start = day + offset + kv_floor_div(t - day - offset, length) * length;
  minute_slot s = {start, start + length};
  if (s.start < day) s.start = day;
  if (s.end > day + KV_SECONDS_PER_DAY) s.end = day + KV_SECONDS_PER_DAY;
  return s;
}

// Index of the first bar of each group, and the group count.  n-day groups
// are counted back from the last bar; leading bars that do not fill one are
// left out.
static int count_groups(const chart_rec* src, int unit, int* first_bar) {
  int n = src->header.bar_count;
  *first_bar = 0;
  if (n <= 0) return 0;
  if (unit >= TU_DAILY) {
    int days = unit - TU_DAILY;
    if (days < 1) days = 1;
    *first_bar = n % days;
    return n / days;
  }
  int64_t length = (int64_t)unit * 60;
  int64_t offset = unit % 13 == 0 ? NINE_THIRTY : 0;
  int groups = 0;
  minute_slot slot = {0, 0};
  for (int i = 0; i < n; i++) {
    int64_t t = src->bars[i].time;
    if (i > 0 && t >= slot.start && t < slot.end)
      continue;  // still in the slot: no division needed
    groups++;
    slot = slot_of(t, length, offset);
  }
  return groups;
}

// A record of the unit made from base: its names, dates and last quote
// words, no bars yet.  Allocated through log (reported there on failure).
static chart_rec* new_derived_chart(chart_alloc_log* log, const chart_rec* base, int32_t unit) {
  chart_rec* chart = chart_log_alloc(log);
  if (!chart) {
    chart_log_fail(log, __FILE__, __LINE__, "calloc failed", base->header.symbol);
    return nullptr;
  }
  chart->header.version = CHART_FILE_VERSION;
  chart->header.magic = CHART_FILE_MAGIC;
  memcpy(chart->header.symbol, base->header.symbol, sizeof chart->header.symbol);
  memcpy(chart->header.description, base->header.description, sizeof chart->header.description);
  chart->header.time_unit = unit;
  chart->header.first_date = base->header.first_date;
  chart->header.last_date = base->header.last_date;
  chart->header.last_time = base->header.last_time;
  chart->header.prev_close = base->header.prev_close;
  chart->header.quote_word2 = base->header.quote_word2;
  return chart;
}

chart_rec* compress_minute_chart(chart_rec* src, int unit) {
  if (!src || unit < 2) return nullptr;
  kv_lock guard(g_chart_lock);  // the source may be a listed chart that quotes update
  chart_alloc_log log{};
  chart_rec* chart = new_derived_chart(&log, src, unit);
  if (!chart) return nullptr;
  chart->header.flags = CHART_BARS_CHANGED;
  chart->session_offset = unit < TU_DAILY && unit % 13 == 0 ? NINE_THIRTY : 0;

  int first = 0;
  int groups = unit >= TU_WEEKLY ? 0 : count_groups(src, unit, &first);
  int spare = initial_bar_capacity(unit);
  if (spare < 0) spare = 0;
  if ((int64_t)groups + spare > INT_MAX / (int)sizeof(chart_bar)) {
    chart_log_fail(&log, __FILE__, __LINE__, "point cnt error", src->header.symbol);
    return nullptr;
  }
  chart->bars = (chart_bar*)calloc((size_t)groups + spare + 1, sizeof(chart_bar));
  if (!chart->bars) {
    chart_log_fail(&log, __FILE__, __LINE__, "can't calloc", src->header.symbol);
    return nullptr;
  }

  int n = src->header.bar_count;
  int out = 0;
  if (groups > 0) {
    const chart_bar* bars = src->bars;
    bar_group g;
    if (unit >= TU_DAILY) {
      int days = unit - TU_DAILY < 1 ? 1 : unit - TU_DAILY;
      for (int i = first; i < n; i += days) {
        group_start(&g, bars[i]);
        for (int k = 0; k < days; k++) group_add(&g, bars[i + k], k == 0);
        chart->bars[out++] = group_end(&g, bars[i + days - 1]);
      }
    } else {
      int64_t length = (int64_t)unit * 60;
      int64_t offset = chart->session_offset;
      minute_slot slot = slot_of(bars[0].time, length, offset);
      group_start(&g, bars[0]);
      g.bar.time = (int32_t)slot.start;
      group_add(&g, bars[0], 1);
      for (int i = 1; i < n; i++) {
        int64_t t = bars[i].time;
        if (t < slot.start || t >= slot.end) {
          chart->bars[out++] = group_end(&g, bars[i - 1]);
          slot = slot_of(t, length, offset);
          group_start(&g, bars[i]);
          g.bar.time = (int32_t)slot.start;
          group_add(&g, bars[i], 1);
        } else {
          group_add(&g, bars[i], 0);
        }
      }
      chart->bars[out++] = group_end(&g, bars[n - 1]);
    }
  }
  if (out != groups) {
    chart_log_fail(&log, __FILE__, __LINE__, "point cnt error", src->header.symbol);
    return nullptr;
  }
  chart->header.bar_count = out;
  chart->spare = spare;
  set_chart_dates(chart);
  chart_log_forget(&log, chart);
  return chart;
}

// ---------------------------------------------------------------------------

// Links a new chart to the live-quote record: it joins the record's intraday
// chain and counts as one more user, which free_chart_data undoes.
static void link_compressed_chart(chart_rec* chart, mqt* record) {
  if (!record) return;
  chart->mqt = record;
  record->users++;
  chart->sibling = record->intraday_charts;
  record->intraday_charts = chart;
}

// Trade signals and equity are written by the trading systems, not computed
// from bars, so the compressed chart takes them from the base: the value of
// each group's last base bar, and for trade signals the high bits (the
// events) of every bar of the group.
static void carry_system_values(StudyDef* to, const StudyDef* from, int first_bar, int factor,
                                int base_count, int count) {
  if (!to->outputs || !from->outputs) return;
  for (int j = 0; j < count && j < to->output_len; j++) {
    int begin = first_bar + j * factor;
    int end = begin + factor < base_count ? begin + factor : base_count;
    if (end - 1 >= from->output_len) break;
    if ((to->type & 0xFFFF) == STUDY_TRADE_SIGNALS) {
      uint32_t word, events = 0;
      for (int i = begin; i < end; i++) {
        memcpy(&word, &from->outputs[i], 4);
        events |= word & ~0x3FFFFFu;
      }
      memcpy(&word, &from->outputs[end - 1], 4);
      word |= events;
      memcpy(&to->outputs[j], &word, 4);
    } else {
      to->outputs[j] = from->outputs[end - 1];
    }
  }
}

chart_rec* compress_tick_chart(chart_rec* base, int factor, int first_bar) {
  if (!base || factor < 1) return nullptr;
  int unit = base->header.time_unit;
  int64_t n;  // ticks or volume per base bar
  int64_t zero;
  if (is_tick_unit(unit)) {
    n = -(int64_t)unit + TU_TICK_BASE;
    zero = TU_TICK_BASE;
  } else if (is_volume_unit(unit)) {
    n = -(int64_t)unit + TU_VOLUME_BASE;
    zero = TU_VOLUME_BASE;
  } else {
    return nullptr;
  }
  // The new unit must stay a code of the same kind.
  int64_t units = n * factor;
  int64_t new_unit = zero - units;
  if (is_tick_unit(unit) ? new_unit < TU_TICK_LAST : new_unit < INT32_MIN) return nullptr;

  kv_lock guard(g_chart_lock);
  int count = base->header.bar_count;
  if (first_bar < 0) first_bar = 0;
  if (first_bar > count) first_bar = count;
  int groups = (int)(((int64_t)count - first_bar + factor - 1) / factor);

  chart_alloc_log log{};
  chart_rec* chart = new_derived_chart(&log, base, (int32_t)new_unit);
  if (!chart) return nullptr;
  chart->header.flags = CHART_READ_ONLY | (base->header.flags & CHART_INHERITED);
  if (is_volume_unit(unit))
    chart->header.volume_per_bar = (int32_t)units;
  else
    chart->ticks_per_bar = (int32_t)units;
  chart->owner_window = base->owner_window;
  chart->axis_density = base->axis_density;
  chart->carried_word = base->carried_word;
  chart->mqt_word = base->mqt_word;

  int spare = initial_bar_capacity((int)new_unit);
  chart->bars = (chart_bar*)calloc((size_t)groups + spare + 1, sizeof(chart_bar));
  if (!chart->bars) {
    chart_log_fail(&log, __FILE__, __LINE__, "can't calloc", base->header.symbol);
    return nullptr;
  }
  int last_group = 0;
  for (int j = 0; j < groups; j++) {
    int begin = first_bar + j * factor;
    int end = begin + factor < count ? begin + factor : count;
    bar_group g;
    group_start(&g, base->bars[begin]);
    for (int i = begin; i < end; i++) group_add(&g, base->bars[i], i == begin);
    chart->bars[j] = group_end(&g, base->bars[end - 1]);
    last_group = end - begin;
  }
  chart->header.bar_count = groups;
  chart->spare = spare;
  set_chart_dates(chart);

  // Units counted into the last bar: the base's last bar plus the full
  // base bars before it in a group still filling.
  int64_t extra = 0;
  if (groups > 0 && (last_group < factor || base->header.unit_count1 > 0))
    extra = (int64_t)(last_group - 1) * n;
  auto clamp32 = [](int64_t v) {
    return (int32_t)(v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : v);
  };
  chart->header.unit_count1 = clamp32(base->header.unit_count1 + extra);
  chart->header.unit_count2 = clamp32(base->header.unit_count2 + extra);

  chart_log_forget(&log, chart);
  chart->base = base;  // with a reference, released by free_chart_data
  base->references++;

  for (StudyDef* s = base->studies; s; s = s->next) {
    StudyDef* copy =
        g_chart_load_hooks.create_study ? g_chart_load_hooks.create_study(chart, s) : nullptr;
    if (copy && (s->type == STUDY_EQUITY || s->type == STUDY_TRADE_SIGNALS))
      carry_system_values(copy, s, first_bar, factor, count, groups);
  }

  list_chart(chart);
  link_compressed_chart(chart, base->mqt);
  set_time_axis_density(chart, chart->axis_density);
  return chart;
}
