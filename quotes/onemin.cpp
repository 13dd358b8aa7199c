// The one-minute state of a live-quote record: the last 30 one-minute bars
// (a ring kept oldest first), the price-volume histogram and the six-minute
// summary, and writing the ring into the symbol's ".1min" price file.
//
// The ring's first written_count bars are already in the file.  Writing
// places the ring by bar time: bars of the same minute replace the stored
// ones and newer ones are added, through the price-file writer, which
// replaces the file atomically.  So a file rewritten meanwhile by a chart,
// pruned or shortened never gets bars at a wrong place.
#include <sys/file.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "data/chart.h"
#include "data/chart_flags.h"
#include "data/chartload.h"
#include "data/dates.h"
#include "data/debugtrace.h"
#include "data/markets.h"
#include "data/quotecfg.h"
#include "data/statmsg.h"
#include "platform/locks.h"
#include "platform/sync.h"
#include "quotes/livechart.h"
#include "quotes/mqt.h"
#include "quotes/mqt_flags.h"
#include "settings/settings.h"

uint32_t g_cycle_phase;

enum {
  DAY_SECONDS = 86400,
  RING = MQT_RECENT_BARS,
  RELAY_CAP_LAST_ONLY = 1,  // relay capabilities
  RELAY_CAP_TRADES = 2,
  TRACE_LATE_QUOTES = 0x8,        // g_trace_mask
  PREF_DEFERRED_WRITES = 0x2000,  // g_pref_flags: report deferred writes
};

static int seconds_of_day(int32_t t) {
  return (int)(((int64_t)t % DAY_SECONDS + DAY_SECONDS) % DAY_SECONDS);
}

static chart_bar* newest_ring_bar(mqt* r) {
  return r->recent_count > 0 ? &r->recent_bars[r->recent_count - 1] : nullptr;
}

// ---------------------------------------------------------------------------
// Price-volume histogram.

static void clear_histogram(mqt* r, int date) {
  memset(r->histogram, 0, sizeof r->histogram);
  r->histogram_date = date;
  r->histogram_step = r->tick_size > 0 ? r->tick_size : 0.01;
  r->histogram_base = 0;
}

// Adds a trade of `size` at `price`. The cells below the base are reached
// by one shift; a shift beyond the cells starts the histogram again at the
// price.
void mqt_histogram_add(mqt* r, double price, int32_t size) {
  if (r->histogram_date != r->quote_date) clear_histogram(r, r->quote_date);
  double step = r->histogram_step;
  if (!std::isfinite(price) || price <= 0 || !std::isfinite(step) || step <= 0) return;
  const int n = MQT_HISTOGRAM_CELLS;
  if (r->histogram_base <= 0) {
    r->histogram_base = price;
    r->histogram[0] = size;
    return;
  }
  if (price < r->histogram_base) {
    double cells = std::ceil((r->histogram_base - price) / step - 1e-6);
    if (cells >= n) {
      memset(r->histogram, 0, sizeof r->histogram);
      r->histogram_base = price;
    } else {
      int shift = (int)cells;
      memmove(r->histogram + shift, r->histogram, sizeof(int32_t) * (size_t)(n - shift));
      memset(r->histogram, 0, sizeof(int32_t) * (size_t)shift);
      r->histogram_base -= shift * step;
      if (r->histogram_base > price)  // rounding
        r->histogram_base = price;
    }
  }
  double index = std::floor((price - r->histogram_base) / step + 1e-6);
  while (index > n - 1) {
    for (int i = 0; i < n / 2; i++)
      r->histogram[i] = r->histogram[2 * i] + (2 * i + 1 < n ? r->histogram[2 * i + 1] : 0);
    if (n % 2)  // the odd last cell joins the last pair
      r->histogram[n / 2 - 1] += r->histogram[n - 1];
    memset(r->histogram + n / 2, 0, sizeof(int32_t) * (size_t)(n - n / 2));
    step *= 2;
    index = std::floor((price - r->histogram_base) / step + 1e-6);
  }
  r->histogram_step = step;
  int64_t v = (int64_t)r->histogram[(int)index] + size;
  r->histogram[(int)index] = v > INT32_MAX ? INT32_MAX : (int32_t)v;
}

// ---------------------------------------------------------------------------
// Ring.

chart_bar* mqt_backfill(mqt* r, int from, int to) {
  kv_lock guard(g_chart_lock);
  chart_bar* before = newest_ring_bar(r);
  chart_bar prev{};
  if (before) prev = *before;
  uint32_t caps = router_capabilities();
  float price = (r->flags & MQT_MIDPOINT)        ? (float)r->valuation_price
                : (r->feed_flags & FEED_SUMMARY) ? r->close
                                                 : r->last;
  float fill = (before && seconds_to_date(prev.time) == r->quote_date) ? prev.close : price;
  int span = to - from;
  int q = r->quote_time - from;
  if (q < span) span = q;
  int minutes = span / 60 > 1 ? span / 60 : 1;
  double step = ((double)price - fill) / minutes;
  int32_t each = 0;
  if ((r->feed_flags & FEED_VOLUME) && r->volume > r->seen_volume) {
    each = (r->volume - r->seen_volume) / minutes;
    r->seen_volume = r->volume;
  }
  if (caps & RELAY_CAP_LAST_ONLY) {
    step = 0;
    each = 0;
  }
  double value = fill;
  for (int m = from / 60 + 1; m <= to / 60; m++) {
    if (!(mqt_minute_bits(r, m) & (MINUTE_MAIN | MINUTE_EXTENDED))) continue;
    if (r->recent_count == RING) {
      memmove(r->recent_bars, r->recent_bars + 1, sizeof(chart_bar) * (RING - 1));
      r->recent_count--;
      if (r->written_count > 0) r->written_count--;
    }
    value += step;
    chart_bar& b = r->recent_bars[r->recent_count++];
    memset(&b, 0, sizeof b);
    b.open = b.high = b.low = b.close = (float)value;
    b.volume = each;
    b.flags = BAR_BACKFILLED | ((caps & RELAY_CAP_TRADES) ? 0u : (uint32_t)BAR_PROVISIONAL);
    b.time = (int32_t)date_to_seconds(r->quote_date, m * 60);
    r->unwritten_count++;
    if (r->unwritten_count >= RING) write_1min_bars(r);
  }
  r->ring_date = r->quote_date;
  r->ring_time = to;
  return before;
}

static void update_six_minute_summary(mqt* r) {
  int first = r->recent_count - 6;
  if (first < 0) first = 0;
  int started = 0;
  for (int i = first; i < r->recent_count; i++) {
    const chart_bar& b = r->recent_bars[i];
    if (seconds_to_date(b.time) != r->quote_date) continue;
    if (!started) {
      r->six_bar = b;
      r->six_high = b.high;
      r->six_low = b.low;
      started = 1;
    }
    if (b.high > r->six_high) r->six_high = b.high;
    if (b.low < r->six_low) r->six_low = b.low;
    r->six_close = b.close;
  }
  if (!started || r->six_bar.open == 0) return;
  float o = r->six_bar.open;
  r->six_pct_close = (r->six_close - o) * 100 / o;
  r->six_pct_high = (r->six_high - o) * 100 / o;
  r->six_pct_low = (r->six_low - o) * 100 / o;
}

// ---------------------------------------------------------------------------
// Seeding from the one-minute chart.

// The minute volumes of the chart's last bars, placed by their minute
// before the newest bar's; the cumulative values are unknown.
static void seed_minute_volumes(mqt* r, const chart_rec* c) {
  const int n = MQT_VOLUME_MINUTES;
  memset(r->minute_volume, 0, sizeof r->minute_volume);
  memset(r->minute_cum_volume, 0, sizeof r->minute_cum_volume);
  int count = c->header.bar_count;
  if (count == 0) return;
  const chart_bar& newest = c->bars[count - 1];
  int day = seconds_to_date(newest.time);
  r->newest_minute = seconds_of_day(newest.time) / 60;
  for (int i = count - 1; i >= 0 && i >= count - n; i--) {
    const chart_bar& b = c->bars[i];
    if (seconds_to_date(b.time) != day) break;
    int k = r->newest_minute - seconds_of_day(b.time) / 60;
    if (k >= 0 && k < n) r->minute_volume[n - 1 - k] = b.volume;
  }
}

// The cumulative volume of the last session before the newest bar's day,
// by minute from the session start; minutes without a bar carry the sum
// on.
static void seed_session_volume(mqt* r, const chart_rec* c) {
  memset(r->session_volume, 0, sizeof r->session_volume);
  int i = c->header.bar_count - 1;
  if (i < 0) return;
  int today = seconds_to_date(c->bars[i].time);
  while (i >= 0 && seconds_to_date(c->bars[i].time) >= today) i--;
  if (i < 0) return;
  int day = seconds_to_date(c->bars[i].time);
  int64_t start = date_to_seconds(day, r->session_start);
  while (i >= 0 && c->bars[i].time > start) i--;
  int64_t sum = 0;
  if (i >= 0 && seconds_to_date(c->bars[i].time) == day) sum = c->bars[i].volume;
  r->session_volume[0] = (int32_t)sum;
  int filled = 0;
  for (int j = i + 1; j < c->header.bar_count; j++) {
    const chart_bar& b = c->bars[j];
    if (seconds_to_date(b.time) != day) break;
    int minute = (int)((b.time - start) / 60);
    if (minute < 1) continue;
    if (minute >= MQT_SESSION_MINUTES) break;
    while (filled < minute - 1) {
      filled++;
      r->session_volume[filled] = (int32_t)sum;
    }
    sum += b.volume > 0 ? b.volume : 0;
    if (sum > INT32_MAX) sum = INT32_MAX;
    r->session_volume[minute] = (int32_t)sum;
    filled = minute;
  }
}

void init_mqt_from_1min(mqt* r, chart_rec* given) {
  kv_lock guard(g_chart_lock);
  chart_rec* c = given;
  if (c && c->header.time_unit != TU_1MIN) {
    statmsg(__FILE__, __LINE__, "Wrong chart timeunit", r->symbol, STATMSG_ERROR);
    return;
  }
  if (!c) {
    c = get_1min_chart(r->symbol, g_keep_ext_hours ? (uint32_t)CHART_REQ_EXTENDED_HOURS : 0u);
    if (c && !c->pruned_today) prune_old_bars(c, r);
    statmsg(__FILE__, __LINE__, "Initializing: ", r->symbol, STATMSG_MISSING);
    if (quote_source_cfg* cfg = read_quote_source_cfg(MULTIQUOTE_TIMEUNIT)) {
      r->session_start = cfg->open_time;
      r->session_end = cfg->close_time;
    }
  }
  memset(r->recent_bars, 0, sizeof r->recent_bars);
  r->recent_count = r->unwritten_count = r->written_count = 0;
  int n = c ? c->header.bar_count : 0;
  int k = n < RING ? n : RING;
  if (k > 0) memcpy(r->recent_bars, c->bars + n - k, sizeof(chart_bar) * (size_t)k);
  r->recent_count = r->written_count = k;
  if (k > 0) {
    r->ring_date = seconds_to_date(r->recent_bars[k - 1].time);
    r->ring_time = seconds_of_day(r->recent_bars[k - 1].time);
  }
  if (given) seed_minute_volumes(r, c);
  if (n > 0) {
    // Today's open: the first bar of today's session.
    int today = seconds_to_date(c->bars[n - 1].time);
    int64_t start = date_to_seconds(today, r->session_start);
    int first = n;
    while (first > 0 && c->bars[first - 1].time >= start) first--;
    if (first < n && r->open == 0) r->open = c->bars[first].open;
    seed_session_volume(r, c);
  }
  if (!given) free_chart_data(c);
  r->flags |= MQT_1MIN_INIT | MQT_1MIN_WRITABLE;
}

void update_1min_data(mqt* r) {
  kv_lock guard(g_chart_lock);
  if (!(r->flags & MQT_1MIN_INIT)) init_mqt_from_1min(r, nullptr);
  int t = mqt_quote_seconds(r);
  if (t < 0 || t >= DAY_SECONDS) return;
  int bits = mqt_minute_bits(r, t / 60);
  if (!(bits & MINUTE_MAIN) && !(g_keep_ext_hours && (bits & MINUTE_EXTENDED))) return;

  uint32_t feed = r->feed_flags;
  int32_t size = (feed & FEED_LAST_SIZE) && r->last_size > 0 ? r->last_size : 0;
  if ((router_capabilities() & RELAY_CAP_TRADES) && size > 0 && (feed & FEED_LAST))
    mqt_histogram_add(r, r->last, size);

  chart_bar* newest = newest_ring_bar(r);
  // Taken from the bar itself: a ring read back from the dump has bars
  // but not the fields beside them.
  int ring_date = newest ? seconds_to_date(newest->time) : 0;
  int ring_time = newest ? seconds_of_day(newest->time) : 8 * 3600;
  if (r->quote_date > ring_date) {
    int from = (t < r->session_start ? t : r->session_start) - 60;
    if (!g_keep_ext_hours && from < r->session_start - 60) from = r->session_start - 60;
    if (from / 60 < t / 60) {
      mqt_backfill(r, from, t);
      int minute = (t - r->session_start) / 60;
      if (minute >= 1 && minute < MQT_SESSION_MINUTES && r->session_volume[minute] != 0)
        r->relative_volume = (int32_t)((int64_t)r->volume * 100 / r->session_volume[minute]);
    }
  } else if (r->quote_date == ring_date) {
    if (ring_time / 60 < t / 60)
      mqt_backfill(r, ring_time, t);
    else if (t < seconds_of_day(newest->time)) {
      if (g_trace_mask & TRACE_LATE_QUOTES)
        debug_trace("update_1min_data: quote time is earlier than our last data");
    }
    newest = newest_ring_bar(r);
    if (newest && (feed & FEED_SUMMARY) && (feed & FEED_TRADE_TIME)) {
      update_bar_with_last(newest, r);
      r->flags |= MQT_1MIN_CHANGED;
    }
  } else {
    return;  // a quote of an earlier day
  }

  int32_t epoch = (feed & FEED_SUMMARY) ? r->stored_epoch : r->trade_epoch;
  for (int i = r->recent_count - 1; i >= 0; i--)
    if (r->recent_bars[i].time / 60 == epoch / 60) {
      update_bar_with_quote(&r->recent_bars[i], r, 1);
      r->flags |= MQT_1MIN_CHANGED;
      if (i < r->written_count)  // a bar in the file changed
        r->unwritten_count = r->unwritten_count > 0 ? r->unwritten_count : 1;
      break;
    }
  update_six_minute_summary(r);

  if ((r->unwritten_count > 0 || (r->flags & (MQT_1MIN_CHANGED | MQT_1MIN_FORCE_WRITE))) &&
      (r->phase_bit == g_cycle_phase || r->unwritten_count > 9))
    write_1min_bars(r);
}

// ---------------------------------------------------------------------------
// Writing.

// Inserts or replaces each ring bar by its time. The chart has room for
// every ring bar.
static void merge_ring(chart_rec* c, const mqt* r) {
  for (int i = 0; i < r->recent_count; i++) {
    const chart_bar& b = r->recent_bars[i];
    int lo = 0, hi = c->header.bar_count;
    while (lo < hi) {
      int mid = (lo + hi) / 2;
      if (c->bars[mid].time < b.time)
        lo = mid + 1;
      else
        hi = mid;
    }
    if (lo < c->header.bar_count && c->bars[lo].time == b.time) {
      c->bars[lo] = b;
      continue;
    }
    memmove(c->bars + lo + 1, c->bars + lo, sizeof(chart_bar) * (size_t)(c->header.bar_count - lo));
    c->bars[lo] = b;
    c->header.bar_count++;
    c->spare--;
  }
}

static void free_read_chart(chart_rec* c) {
  if (!c) return;
  free_linked_blocks(c->extensions);
  free(c->bars);
  free(c);
}

static int has_intraday_chart(const mqt* r) {
  for (chart_rec* c = r->intraday_charts; c; c = c->sibling) {
    if (c->header.time_unit > 0) return 1;
    if (c->sibling == c) break;
  }
  return 0;
}

void write_1min_bars(mqt* r) {
  kv_lock guard(g_chart_lock);
  if (!(r->flags & MQT_1MIN_WRITABLE)) return;  // the chart writer is rewriting the file: later
  int tq = r->quote_time / 60, tt = r->trade_time / 60;
  int in_session = (mqt_minute_bits(r, tq) & MINUTE_MAIN) || (mqt_minute_bits(r, tt) & MINUTE_MAIN);
  if (!in_session && !g_keep_ext_hours) {
    r->unwritten_count = 0;
    r->flags &= ~(MQT_1MIN_CHANGED | MQT_1MIN_FORCE_WRITE);
    return;
  }
  if (!g_settings.KeepIntradayData && !has_intraday_chart(r)) return;
  if (r->recent_count == 0) return;
  char path[CHART_PATH_SIZE];
  if (!chart_file_name(path, r->symbol, TU_1MIN)) return;

  // Another writer of the program holding the file defers the write.
  int lock_fd = open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (lock_fd < 0) {
    statmsg(__FILE__, __LINE__, "can't open 1min file", path, STATMSG_ERROR);
    return;
  }
  if (flock(lock_fd, LOCK_EX | LOCK_NB) != 0) {
    close(lock_fd);
    if (g_pref_flags & PREF_DEFERRED_WRITES) {
      char text[CHART_PATH_SIZE + 32];
      snprintf(text, sizeof text, "%s file write deferred", path);
      statmsg(__FILE__, __LINE__, text, nullptr, STATMSG_NOTICE);
    }
    return;
  }
  struct stat st;
  chart_rec* c = alloc_chart_rec();
  int ok = c != nullptr;
  if (ok && fstat(lock_fd, &st) == 0 && st.st_size > 0) {
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    ok = fd >= 0 && read_chart_header(c, fd);
    if (ok) {
      const char* error = read_chart_body(c, fd, TU_1MIN, path);
      if (error) {
        statmsg(__FILE__, __LINE__, error, path, STATMSG_ERROR);
        ok = 0;
      }
    }
    if (!ok) statmsg(__FILE__, __LINE__, "can't open 1min file", path, STATMSG_ERROR);
  } else if (ok) {
    snprintf(c->header.symbol, CHART_SYMBOL_SIZE, "%s", r->symbol);
    for (char* p = c->header.symbol; *p; p++) *p = (char)toupper((unsigned char)*p);
    snprintf(c->header.description, CHART_DESCRIPTION_SIZE, "%s", r->description);
    c->header.time_unit = TU_1MIN;
  }
  if (ok && c->spare < r->recent_count) ok = grow_chart_bars(c, r->recent_count - c->spare);
  if (ok) {
    merge_ring(c, r);
    set_chart_dates(c);
    c->header.flags |= CHART_FORCE_WRITE;
    if (write_chart_file(c) != 0) {
      statmsg(__FILE__, __LINE__, "write error in file:", path, STATMSG_ERROR);
      ok = 0;
    }
  }
  free_read_chart(c);
  flock(lock_fd, LOCK_UN);
  close(lock_fd);
  if (!ok) return;
  r->unwritten_count = 0;
  r->flags &= ~(MQT_1MIN_CHANGED | MQT_1MIN_FORCE_WRITE);
  r->written_count = r->recent_count;
}
