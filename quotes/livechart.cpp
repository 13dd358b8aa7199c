// Linked charts follow the stored quotes of their symbol: the newest bar is
// updated, new bars are appended (gaps back-filled with flat bars), old bars
// pruned once a day, studies recomputed and the chart's window told.
#include "quotes/livechart.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "data/chart.h"
#include "data/chart_flags.h"
#include "data/chartload.h"
#include "data/dates.h"
#include "data/exchclock.h"
#include "data/markets.h"
#include "data/statmsg.h"
#include "data/timemarks.h"
#include "platform/locks.h"
#include "platform/messages.h"
#include "platform/sync.h"
#include "platform/window.h"
#include "quotes/mqt.h"
#include "quotes/mqt_flags.h"
#include "quotes/mqt_hooks.h"
#include "settings/settings.h"

enum { DAY_SECONDS = 86400 };

// ---------------------------------------------------------------------------
// Shared helpers.

int mqt_quote_seconds(const mqt* r) {
  if (r->trade_time != 0) return r->trade_time;
  if (r->quote_time != 0) return r->quote_time;
  return -1;
}

int mqt_minute_bits(const mqt* r, int minute) {
  if (minute < 0 || minute >= MINUTES_PER_DAY) return 0;
  if (!r->market) return MINUTE_MAIN;
  return r->market->minutes[minute];
}

static int bar_date(const chart_bar& b) {
  return seconds_to_date(b.time);
}
static int bar_seconds_of_day(int32_t t) {
  return (int)(((int64_t)t % DAY_SECONDS + DAY_SECONDS) % DAY_SECONDS);
}

static chart_bar* last_bar(chart_rec* c) {
  return c->header.bar_count > 0 ? &c->bars[c->header.bar_count - 1] : nullptr;
}

static float quote_value(const mqt* r) {
  if (r->flags & MQT_MIDPOINT) return (float)r->valuation_price;
  return (r->feed_flags & FEED_SUMMARY) ? r->close : r->last;
}

static void recalc_chart_studies(chart_rec* c, int restart) {
  if (c->studies && g_chart_load_hooks.recalc_studies)
    g_chart_load_hooks.recalc_studies(c, restart);
}

// Room for n more bars: prune, then grow (a second chart drops a tenth each
// time) until they fit. Returns the room there is, which may be less than
// n when memory ran out.
static int make_room(chart_rec* c, mqt* r, int n) {
  if (c->spare >= n) return n;
  if (!c->pruned_today) prune_old_bars(c, r);
  while (c->spare < n) {
    int before = c->spare;
    if (!add_spare_points(c) || c->spare <= before) break;
  }
  return c->spare < n ? c->spare : n;
}

// ---------------------------------------------------------------------------
// One bar.

void update_bar_with_last(chart_bar* bar, mqt* r) {
  bar->flags = (bar->flags & ~0x3fffffu) | (r->feed_flags & 0x3fffffu);
  if (!(r->feed_flags & FEED_LAST)) return;
  float x = r->last;
  bar->flags |= BAR_PRICES_SET;
  if (bar->open == 0) bar->open = x;
  bar->close = x;
  if (x > bar->high) bar->high = x;
  if (x > 0.001f && (bar->low == 0 || bar->low > x)) bar->low = x;
}

// The volume of a minute bar from the record's per-minute arrays (newest
// minute last); -1 when the arrays do not reach the bar.
static int64_t minute_bar_volume(const mqt* r, const chart_bar* bar) {
  const int n = MQT_VOLUME_MINUTES;
  int k = r->newest_minute - bar_seconds_of_day(bar->time) / 60;
  if (k < 0) return -1;
  if (k > n - 1) k = n - 1;
  int first = n - 1 - k;  // the bar's first minute
  int before = first - 1;
  if (before >= 0 && r->minute_cum_volume[n - 1] > 0 && r->minute_cum_volume[before] > 0)
    return (int64_t)r->minute_cum_volume[n - 1] - r->minute_cum_volume[before];
  int64_t sum = 0;
  for (int i = first; i < n; i++) sum += r->minute_volume[i];
  return sum;
}

void update_bar_with_quote(chart_bar* bar, mqt* r, int unit) {
  uint32_t feed = r->feed_flags;
  int summary = (feed & FEED_SUMMARY) != 0;
  int trade = (r->flags & MQT_MIDPOINT) || (!summary && (feed & FEED_LAST));
  float x = quote_value(r);
  if (!std::isfinite(x)) return;
  int flat = (bar->flags & BAR_FLAT) != 0;
  if (flat && (trade || (summary && (feed & FEED_CLOSE)))) {
    bar->open = bar->high = bar->low = bar->close = x;
    bar->flags &= ~((uint32_t)BAR_FLAT | (uint32_t)FEED_SUMMARY);
  }
  if (feed & (FEED_LAST_SIZE | FEED_VOLUME)) {
    int64_t old = bar->volume, vol = old;
    if (unit > 0) {
      int64_t v = minute_bar_volume(r, bar);
      if (v >= 0) vol = v;
    } else if (feed & FEED_LAST_SIZE) {
      vol = old + (r->last_size > 0 ? r->last_size : 0);
    }
    if (vol > INT32_MAX) vol = INT32_MAX;
    bar->volume = (int32_t)vol;
    bar->flags |= BAR_VOLUME_VALID;
    int64_t grew = vol - old;
    if (grew > 0 && vol > 0) {
      double prev = (bar->flags & BAR_EXTRA_VWAP) ? bar->vwap : x;
      double acc = (double)x * grew + (double)old * prev;
      double w = acc / (double)vol;
      if (w < bar->low || w > bar->high) w = ((double)bar->high + bar->low + bar->close) / 3;
      bar->vwap = (float)w;
      bar->flags |= BAR_EXTRA_VWAP;
    }
    if ((r->flags & MQT_SPREAD) && r->leg1) bar->vwap = (float)(r->leg1->last * r->leg_ratio[0]);
  }
  if (trade) {
    bar->close = x;
    bar->flags |= BAR_CLOSE_TRADE;
    if (x != 0 && bar->low != 0 && x < bar->low) bar->low = x;
    if (bar->low == 0) bar->low = x;
    if (x > bar->high) bar->high = x;
  }
  bar->flags |= feed & 0xffffffu;
  bar->flags &= ~BAR_PROVISIONAL;
}

// ---------------------------------------------------------------------------
// Back-fill, pruning and growth.

chart_bar* mqt_ibackfill(chart_rec* c, mqt* r, int b, int from, int to) {
  kv_lock guard(g_chart_lock);
  chart_bar* last = last_bar(c);
  float fill = (last && bar_date(*last) == r->quote_date) ? last->close : quote_value(r);
  int first_slot = from / b + 1, last_slot = to / b;
  int n = last_slot - first_slot + 1;
  if (n < 0) n = 0;
  int room = make_room(c, r, n);
  if (room <= 0 && n > 0) return nullptr;
  // Without room for all, only the newest slots are filled.
  if (room < n) first_slot = last_slot - room + 1;
  for (int s = first_slot; s <= last_slot && c->spare > 0; s++) {
    int tod = s * b;
    if (!(mqt_minute_bits(r, (tod % DAY_SECONDS) / 60) & (MINUTE_MAIN | MINUTE_EXTENDED))) continue;
    chart_bar& nb = c->bars[c->header.bar_count];
    memset(&nb, 0, sizeof nb);
    nb.open = nb.high = nb.low = nb.close = fill;
    nb.vwap = fill;
    if ((r->flags & MQT_SPREAD) && r->leg1) nb.vwap = (float)(r->leg1->last * r->leg_ratio[0]);
    nb.flags = BAR_BACKFILLED;
    nb.time = (int32_t)date_to_seconds(r->quote_date, tod);
    c->header.bar_count++;
    c->spare--;
  }
  c->header.flags |= CHART_RECALC | CHART_BARS_CHANGED;
  c->header.last_date = r->quote_date;
  c->header.last_time = to;
  if (!c->header.first_date && c->header.bar_count) c->header.first_date = bar_date(c->bars[0]);
  c->value_sum = 0;
  return last_bar(c);
}

void prune_old_bars(chart_rec* c, mqt* r) {
  kv_lock guard(g_chart_lock);
  if ((c->header.flags & CHART_WRITE_ALL) || (r->flags & MQT_KEEP_IN_DUMP)) return;
  c->pruned_today = 1;
  if (c->header.flags & CHART_READ_ONLY2) return;
  int unit = c->header.time_unit;
  int days = is_tick_unit(unit)     ? g_settings.KeepNumDaysTick
             : is_volume_unit(unit) ? g_settings.KeepNumDaysVolume
                                    : g_settings.KeepNumDays1Min;
  int n = c->header.bar_count;
  if (days <= 0 || n == 0) return;
  int newest = bar_date(c->bars[n - 1]);
  int today = exchange_date(r);
  if (today > newest) newest = today;
  int64_t cutoff = date_to_seconds(add_days(newest, -days), 0);
  int cut = 0;
  while (cut < n && c->bars[cut].time < cutoff) cut++;
  if (cut == 0) return;
  memmove(c->bars, c->bars + cut, sizeof(chart_bar) * (size_t)(n - cut));
  memset(c->bars + n - cut, 0, sizeof(chart_bar) * (size_t)cut);
  c->header.bar_count = n - cut;
  c->spare += cut;
  if (g_chart_load_hooks.shift_plot_outputs) g_chart_load_hooks.shift_plot_outputs(c, cut);
  c->header.flags |= CHART_RECALC | CHART_REPAINT | CHART_BARS_CHANGED;
  if (is_tick_unit(unit) || is_volume_unit(unit) ||
      (c->extended_hours != 0) == (g_keep_ext_hours != 0))
    c->header.flags |= CHART_MERGED;
  set_chart_dates(c);
  write_chart_file(c);
  recalc_chart_studies(c, 1);
  statmsg(__FILE__, __LINE__, "Pruned old data from chart for: ", r->symbol, STATMSG_MISSING);
}

chart_rec* add_spare_points(chart_rec* c) {
  kv_lock guard(g_chart_lock);
  int unit = c->header.time_unit;
  int n = c->header.bar_count;
  if (is_seconds_unit(unit)) {
    int drop = n / 10 > 0 ? n / 10 : (n > 0 ? 1 : 0);
    if (drop == 0) return grow_chart_bars(c, initial_bar_capacity(unit)) ? c : nullptr;
    memmove(c->bars, c->bars + drop, sizeof(chart_bar) * (size_t)(n - drop));
    memset(c->bars + n - drop, 0, sizeof(chart_bar) * (size_t)drop);
    c->header.bar_count = n - drop;
    c->spare += drop;
    if (g_chart_load_hooks.shift_plot_outputs) g_chart_load_hooks.shift_plot_outputs(c, drop);
  } else {
    int grow = initial_bar_capacity(unit);
    if (grow < 1) grow = 1;
    if (!grow_chart_bars(c, grow)) {
      statmsg(__FILE__, __LINE__, "Can't chart realloc memory", c->header.symbol, STATMSG_ERROR);
      return nullptr;
    }
    if (g_chart_load_hooks.resize_studies &&
        !g_chart_load_hooks.resize_studies(c, c->header.bar_count + c->spare)) {
      statmsg(__FILE__, __LINE__, "Can't realloc study memory", c->header.symbol, STATMSG_ERROR);
      return nullptr;
    }
  }
  if (c->axis_marks) calc_time_axis_labels(c);
  recalc_chart_studies(c, 1);
  return c;
}

// ---------------------------------------------------------------------------
// Telling the window.

static void finish_update(chart_rec* c, mqt* r, int counted) {
  uint32_t& f = c->header.flags;
  if ((f & CHART_RECALC) || (r->flags & MQT_RECALC_COUNT_MASK)) {
    if (f & CHART_RECALC)
      f &= ~CHART_REPAINT;
    else
      f |= CHART_REPAINT;
    if (!(f & CHART_BACKTEST_FED) && c->axis_marks) calc_time_axis_labels(c);
  }
  // Studies follow every changed bar; without a restart only the newest
  // bars are computed again.
  if (!(f & CHART_STUDIES_GIVEN2)) recalc_chart_studies(c, 0);
  if (!c->owner_window || (r->flags & MQT_PLAYBACK)) return;
  if (counted) {
    int n = c->post_count;
    if (c->post_count < 255) c->post_count++;
    if (n % 10 > 1) return;
  }
  kv_post_message((kv_hwnd)c->owner_window, WM_UPDATE_FROM_THREAD, f, 0);
  f &= ~(CHART_REPAINT | CHART_RECALC);
}

// ---------------------------------------------------------------------------
// The chart kinds.

static void tick_update(chart_rec* c, mqt* r) {
  if (!(r->feed_flags & FEED_LAST)) return;
  int per_bar = TU_TICK_BASE - c->header.time_unit;
  if (c->units_left <= 0 || c->header.bar_count == 0) {
    if (make_room(c, r, 1) < 1) return;
    chart_bar& nb = c->bars[c->header.bar_count];
    memset(&nb, 0, sizeof nb);
    nb.open = nb.high = nb.low = nb.close = r->last;
    nb.time = r->trade_epoch;
    nb.flags = (r->feed_flags & 0xa07bffu) | 0x25f8000u;
    c->header.bar_count++;
    c->spare--;
    c->units_left = per_bar;
    c->header.flags |= CHART_RECALC | CHART_BARS_CHANGED;
  }
  chart_bar& b = c->bars[c->header.bar_count - 1];
  c->units_left--;
  if (r->feed_flags & FEED_LAST_SIZE) b.volume += r->last_size > 0 ? r->last_size : 0;
  if (r->feed_flags & FEED_BID_SIZE) b.extra += r->bid_size;
  if (r->last > b.high) b.high = r->last;
  if (r->last < b.low) b.low = r->last;
  b.close = r->last;
}

// Bars of N shares: a trade is spread over the current bar and new ones;
// each bar counts the trades taken into it and keeps its volume-weighted
// price.
static void volume_update(chart_rec* c, mqt* r) {
  uint32_t feed = r->feed_flags;
  if (!(feed & FEED_LAST) || !(feed & FEED_LAST_SIZE) || r->last_size <= 0) return;
  int64_t per_bar = (int64_t)TU_VOLUME_BASE - c->header.time_unit;
  if (per_bar <= 0) return;
  float x = r->last;
  if (!std::isfinite(x)) return;
  int64_t shares = r->last_size;
  while (shares > 0) {
    if (c->units_left <= 0 || c->header.bar_count == 0) {
      if (make_room(c, r, 1) < 1) return;
      chart_bar& nb = c->bars[c->header.bar_count];
      memset(&nb, 0, sizeof nb);
      nb.open = nb.high = nb.low = nb.close = nb.vwap = x;
      nb.time = r->trade_epoch;
      nb.flags = (feed & 0xa07bffu) | 0x15f8000u;
      c->header.bar_count++;
      c->spare--;
      c->units_left = (int32_t)per_bar;
      c->value_sum = 0;
      c->header.flags |= CHART_RECALC | CHART_BARS_CHANGED;
    }
    chart_bar& b = c->bars[c->header.bar_count - 1];
    int64_t in_bar = per_bar - c->units_left;
    int64_t take = shares < c->units_left ? shares : c->units_left;
    if (c->value_sum == 0) c->value_sum = (double)b.vwap * in_bar;
    c->value_sum += (double)x * take;
    c->units_left -= (int32_t)take;
    shares -= take;
    in_bar += take;
    if (b.volume < INT32_MAX) b.volume++;
    if (x > b.high) b.high = x;
    if (x < b.low) b.low = x;
    b.close = x;
    double w = c->value_sum / (double)in_bar;
    if (w < b.low || w > b.high) w = ((double)b.high + b.low + b.close) / 3;
    b.vwap = (float)w;
  }
}

void ichart_update(chart_rec* c, mqt* r) {
  kv_lock guard(g_chart_lock);
  int t = mqt_quote_seconds(r);
  if (t < 0 || t >= DAY_SECONDS) return;
  int bits = mqt_minute_bits(r, t / 60);
  if (!c->extended_hours && !(bits & MINUTE_MAIN)) {
    if (c->owner_window && !(r->flags & MQT_PLAYBACK) && c->post_count < 2)
      kv_post_message((kv_hwnd)c->owner_window, WM_UPDATE_EXT_SESSION, 0, 0);
    return;
  }
  if (!(r->flags & (MQT_PLAYBACK | MQT_KEEP_IN_DUMP))) {
    if (!(bits & (MINUTE_MAIN | MINUTE_EXTENDED))) return;
    if (!c->pruned_today) prune_old_bars(c, r);
  }
  int unit = c->header.time_unit;
  if (is_tick_unit(unit)) {
    tick_update(c, r);
    finish_update(c, r, 1);
    return;
  }
  if (is_volume_unit(unit)) {
    volume_update(c, r);
    finish_update(c, r, 1);
    return;
  }
  int b = unit > 0 ? unit * 60 : -unit;
  if (r->flags & MQT_CHARTS_RECALC)
    c->header.flags |= CHART_RECALC | CHART_REPAINT | CHART_BARS_CHANGED;
  chart_bar* last = last_bar(c);
  int d = last ? bar_date(*last) : 0;
  chart_bar* bar = nullptr;
  if (d < r->quote_date) {
    c->value_sum = 0;
    c->header.prev_close = 0;
    c->day_open = 0;
    if (d != 0) c->pruned_today = 0;
    r->prev_last = r->prev_bid = r->prev_ask = 0;
    r->last_change = r->bid_change = r->ask_change = 0;
    int start = t < r->session_start ? t : r->session_start;
    bar = mqt_ibackfill(c, r, b, start - b, t);
  } else if (d == r->quote_date) {
    int g = bar_seconds_of_day(last->time);
    if (g / b < t / b) {
      if (!c->extended_hours && g < r->session_start - b) g = r->session_start - b;
      bar = mqt_ibackfill(c, r, b, g, t);
    } else if (g / b == t / b) {
      bar = last;
      c->units_left = b - t % b;
    }
  }
  if (bar) {
    uint32_t feed = r->feed_flags;
    if ((feed & FEED_SUMMARY) && (feed & FEED_TRADE_TIME)) update_bar_with_last(bar, r);
    chart_bar* target = last_bar(c);
    if (feed & FEED_SUMMARY) {
      target = nullptr;
      int slot = r->stored_epoch / b;
      int n = c->header.bar_count;
      for (int i = n - 1; i >= 0 && i >= n - 25; i--)
        if (c->bars[i].time / b == slot) {
          target = &c->bars[i];
          break;
        }
    }
    if (target) {
      update_bar_with_quote(target, r, unit);
      if (r->feed_flags & FEED_PREV_CLOSE_KNOWN) c->header.prev_close = r->prev_close;
      if (r->feed_flags & FEED_OPEN) c->day_open = r->open;
    }
  }
  finish_update(c, r, 1);
}

static int market_trades_today(const mqt* r) {
  int date = r->quote_date;
  if (date <= 0 || is_holiday(date)) return 0;
  // day_of_week counts from Saturday; the market's day bits from Sunday.
  int wd = (day_of_week(date / 10000, date / 100 % 100, date % 100) + 6) % 7;
  if (r->market) return (r->market->days >> wd) & 1;
  return wd != 0 && wd != 6;
}

void dchart_update(chart_rec* c, mqt* r) {
  kv_lock guard(g_chart_lock);
  if (!(r->flags & MQT_NOT_STREAMABLE)) {
    if (!g_settings.ContUpdateDaily || !market_trades_today(r) || !(r->last > 0)) return;
    int t = mqt_quote_seconds(r);
    if (r->sec_type[0] && strcmp(r->sec_type, "FUT") == 0 &&
        !(t >= 0 && (mqt_minute_bits(r, t / 60) & MINUTE_MAIN)))
      return;
  }
  chart_bar* bar = last_bar(c);
  int d = bar ? bar_date(*bar) : 0;
  if (d > r->quote_date) return;
  if (d < r->quote_date) {
    if (make_room(c, r, 1) < 1) return;
    bar = &c->bars[c->header.bar_count];
    memset(bar, 0, sizeof *bar);
    bar->open = bar->high = bar->low = bar->close = r->day_close;
    c->header.bar_count++;
    c->spare--;
    c->header.flags |= CHART_RECALC;
    c->header.last_date = r->quote_date;
  }
  // An empty chart and a quote without its date yet: no bar to update.
  if (!bar) return;
  uint32_t feed = r->feed_flags;
  bar->flags = (bar->flags & ~0xffffffu) | (feed & 0xffffffu);
  int complete = (feed & (FEED_OPEN | FEED_HIGH | FEED_LOW)) == (FEED_OPEN | FEED_HIGH | FEED_LOW);
  if (r->quote_time >= r->session_end && r->session_end > 0 && complete)
    bar->flags &= ~BAR_PROVISIONAL;
  else
    bar->flags |= BAR_PROVISIONAL;
  if (feed & FEED_VOLUME) {
    bar->volume = r->volume;
    bar->flags |= BAR_VOLUME_VALID;
  }
  if (feed & FEED_OPEN_INTEREST) bar->extra = r->open_interest;
  bar->time = (int32_t)date_to_seconds(r->quote_date, r->quote_time > 0 ? r->quote_time : 0);
  bar->flags |= BAR_PRICES_SET;
  if (r->day_open > 0) bar->open = r->day_open;
  if (r->day_high > 0) bar->high = r->day_high;
  if (r->day_low > 0) bar->low = r->day_low;
  if (r->day_close > 0) bar->close = r->day_close;
  c->header.flags |= CHART_BARS_CHANGED;
  finish_update(c, r, 0);
}

void update_mqt_charts(mqt* r) {
  kv_lock guard(g_chart_lock);
  int playback = (r->flags & MQT_PLAYBACK) != 0;
  for (chart_rec* c = r->intraday_charts; c; c = c->sibling) {
    int chart_playback = (c->header.flags & CHART_BACKTEST_FED) != 0;
    if (chart_playback == playback && (playback || !(c->header.flags & CHART_READ_ONLY2)))
      ichart_update(c, r);
    if (c->sibling == c) break;
  }
  for (chart_rec* c = r->daily_charts; c; c = c->sibling) {
    int chart_playback = (c->header.flags & CHART_BACKTEST_FED) != 0;
    if (chart_playback == playback) {
      int unit = c->header.time_unit;
      if (unit < TU_DAILY || unit >= TU_WEEKLY)
        statmsg(__FILE__, __LINE__, "Chart wrongly linked", c->header.symbol, STATMSG_ERROR);
      else
        dchart_update(c, r);
    }
    if (c->sibling == c) break;
  }
  if (r->flags & MQT_RECALC_COUNT_MASK) r->flags -= MQT_RECALC_COUNT_ONE;
  for (mqt_listener* l = r->update_callbacks; l; l = l->next)
    if ((l->flags & 0x80) && l->callback) l->callback(l);
}

// One bar of `unit` minutes from the ring bars of its slot, starting at
// ring bar i; returns the index after the slot.
static int ring_slot_bar(const mqt* r, int i, int unit, chart_bar* out) {
  int slot = r->recent_bars[i].time / (unit * 60);
  *out = r->recent_bars[i];
  out->time = slot * unit * 60;
  for (i++; i < r->recent_count && r->recent_bars[i].time / (unit * 60) == slot; i++) {
    const chart_bar& b = r->recent_bars[i];
    if (b.high > out->high) out->high = b.high;
    if (b.low < out->low) out->low = b.low;
    out->close = b.close;
    int64_t v = (int64_t)out->volume + b.volume;
    out->volume = v > INT32_MAX ? INT32_MAX : (int32_t)v;
  }
  return i;
}

void rebuild_minute_charts(mqt* r) {
  kv_lock guard(g_chart_lock);
  for (chart_rec* c = r->intraday_charts; c; c = c->sibling) {
    int unit = c->header.time_unit;
    if (unit > 0 && r->recent_count > 0) {
      // From the first ring bar that opens a slot: a slot the ring holds
      // only in part keeps the chart's bar.
      int i = 0;
      while (i < r->recent_count && r->recent_bars[i].time % (unit * 60) != 0) i++;
      if (i < r->recent_count) {
        int32_t from = r->recent_bars[i].time;
        int n = c->header.bar_count;
        int keep = n;
        while (keep > 0 && c->bars[keep - 1].time >= from) keep--;
        c->spare += n - keep;
        c->header.bar_count = keep;
        while (i < r->recent_count) {
          chart_bar b;
          i = ring_slot_bar(r, i, unit, &b);
          if (make_room(c, r, 1) < 1) break;
          c->bars[c->header.bar_count++] = b;
          c->spare--;
        }
        memset(c->bars + c->header.bar_count, 0, sizeof(chart_bar) * (size_t)c->spare);
        c->header.flags |= CHART_RECALC | CHART_BARS_CHANGED;
        if (c->axis_marks) calc_time_axis_labels(c);
        recalc_chart_studies(c, 1);
        if (c->owner_window && !(r->flags & MQT_PLAYBACK))
          kv_post_message((kv_hwnd)c->owner_window, WM_UPDATE_FROM_THREAD, c->header.flags, 0);
      }
    }
    if (c->sibling == c) break;
  }
}

void mqt_ack_bidask(chart_rec* chart, mqt* r) {
  kv_lock guard(g_chart_lock);
  for (chart_rec* c = r->intraday_charts; c; c = c->sibling) {
    if (c == chart) {
      c->bidask_post_count = 0;
      return;
    }
    if (c->sibling == c) break;
  }
}

void install_live_chart_hooks(void) {
  g_mqt_hooks.update_1min_data = update_1min_data;
  g_mqt_hooks.update_mqt_charts = update_mqt_charts;
  g_mqt_hooks.write_1min_bars = write_1min_bars;
  g_mqt_hooks.rebuild_minute_charts = rebuild_minute_charts;
  g_chart_load_hooks.dchart_update = dchart_update;
  g_chart_load_hooks.write_1min_bars = write_1min_bars;
  g_chart_load_hooks.init_mqt_from_1min = init_mqt_from_1min;
}
