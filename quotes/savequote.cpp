// Storing one incoming quote. A source writes the quote's fields into the
// live-quote record, says in feed_flags which ones it filled, and calls
// save_mqt_data, which derives the price, session values, VWAP, volumes,
// position profits, market notices and alerts, passes the quote on to the
// spreads built on the symbol and updates the one-minute data and charts.
//
// The cost of one quote does not depend on the number of records: only the
// record, its spreads and its own charts are visited.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "data/chart.h"
#include "data/chart_flags.h"
#include "data/dates.h"
#include "data/debugtrace.h"
#include "data/exchclock.h"
#include "data/mainwnd.h"
#include "data/markets.h"
#include "data/quotecfg.h"
#include "data/statmsg.h"
#include "platform/locks.h"
#include "platform/messages.h"
#include "platform/clock.h"
#include "platform/window.h"
#include "quotes/mqt.h"
#include "quotes/mqt_flags.h"
#include "quotes/mqt_hooks.h"
#include "settings/settings.h"

enum {
  TRACE_HUGE_SIZE = 0x8,
  PREF_NOTICES_TO_STATUS = 0x2000,
  HUGE_TRADE_SIZE = 100000,
  SOUND_MARKET_OPEN = 14,
  SOUND_MARKET_CLOSE = 15,
  SPREAD_LEG_MAX_AGE = 60,
};

int32_t g_newest_quote_time;
int32_t g_newest_quote_date;
float g_max_high_pct;
float g_min_low_pct;
int32_t g_open_close_day[2];
int g_save_depth;

// The price fields a quote may carry, with their feed bits and stored copies.
struct price_field {
  uint32_t bit;
  float mqt::*field;
  float mqt_price_copy::*kept;
};
static const price_field price_fields[] = {
    {FEED_LAST, &mqt::last, &mqt_price_copy::last},
    {FEED_BID, &mqt::bid, &mqt_price_copy::bid},
    {FEED_ASK, &mqt::ask, &mqt_price_copy::ask},
    {FEED_OPEN, &mqt::open, &mqt_price_copy::open},
    {FEED_HIGH, &mqt::high, &mqt_price_copy::high},
    {FEED_LOW, &mqt::low, &mqt_price_copy::low},
    {FEED_CLOSE, &mqt::close, &mqt_price_copy::close},
    {FEED_PREV_CLOSE, &mqt::prev_close, &mqt_price_copy::prev_close},
    {FEED_CHANGE, &mqt::change, &mqt_price_copy::change},
};

// Puts back every price field the quote wrote: the quote is not stored.
static void restore_given_fields(mqt* r) {
  for (const price_field& f : price_fields)
    if (r->feed_flags & f.bit) r->*f.field = r->stored.*f.kept;
}

static void keep_price_fields(mqt* r) {
  for (const price_field& f : price_fields) r->stored.*f.kept = r->*f.field;
}

// A given field that holds no number is taken as not given, and a trade at
// a price of 0 or below as no trade, unless the record's prices may be
// negative (spreads, market indicators).
static void drop_bad_fields(mqt* r) {
  for (const price_field& f : price_fields)
    if ((r->feed_flags & f.bit) && !std::isfinite(r->*f.field)) {
      r->*f.field = r->stored.*f.kept;
      r->feed_flags &= ~f.bit;
      if (f.bit == FEED_LAST) r->feed_flags &= ~FEED_LAST_SIZE;
    }
  if ((r->feed_flags & FEED_LAST) && r->last <= 0 && !(r->flags & MQT_NEGATIVE_OK)) {
    r->last = r->stored.last;
    r->feed_flags &= ~(FEED_LAST | FEED_LAST_SIZE);
  }
}

// The price of the quote: its trade, else its close, else the last stored
// price of the day, else the previous close.
static float quote_price(const mqt* r) {
  uint32_t feed = r->feed_flags;
  if (feed & FEED_LAST) return r->last;
  if (feed & FEED_CLOSE) return r->close;
  if ((r->flags & MQT_QUOTE_STORED) && r->stored_date == r->quote_date && r->stored.last != 0)
    return r->stored.last;
  return r->prev_close;
}

static int within_quote(float p, float bid, float ask) {
  return p > 0 && bid > 0 && ask > 0 && p >= bid && p <= ask;
}

// A midpoint record takes its price from bid and ask only when they make a
// sane, narrow quote.
static int usable_midpoint(const mqt* r) {
  return r->bid > 0 && r->ask > 0 && r->bid <= r->ask && r->ask - r->bid <= 50 * r->tick_size;
}

// Trade size as volume: the relay signs sizes by the side of the trade.
static int32_t trade_size(const mqt* r) {
  if (!(r->feed_flags & FEED_LAST_SIZE)) return 0;
  return r->last_size == INT32_MIN ? INT32_MAX : abs(r->last_size);
}

void post_to_mqt_charts(mqt* record, unsigned message, uintptr_t wparam, intptr_t lparam) {
  kv_lock guard(g_chart_lock);
  chart_rec* chains[2] = {record->intraday_charts, record->daily_charts};
  for (chart_rec* c : chains)
    for (; c; c = c->sibling) {
      if ((c->header.flags & CHART_GRTRADE_SHOWN) && c->owner_window)
        kv_post_message((kv_hwnd)c->owner_window, message, wparam, lparam);
      if (c->sibling == c) break;
    }
}

static void market_notice(mqt* r, int which) {
  int day = exchange_date(r);
  if (day <= 0)  // no exchange clock: the quote's own date
    day = r->quote_date;
  if (g_open_close_day[which] == day) return;
  if (g_mqt_hooks.queue_sound)
    g_mqt_hooks.queue_sound(which ? SOUND_MARKET_CLOSE : SOUND_MARKET_OPEN);
  g_open_close_day[which] = day;
  const char* name = strcmp(r->exchange, "SMART") == 0 ? "MARKET" : r->exchange;
  char text[64];
  snprintf(text, sizeof text, which ? "%s CLOSE" : "%s OPEN", name);
  statmsg(__FILE__, __LINE__, text, nullptr, STATMSG_MISSING);
  if (g_pref_flags & PREF_NOTICES_TO_STATUS)
    statmsg(__FILE__, __LINE__, text, nullptr, STATMSG_NOTICE);
}

static void update_profits(mqt* r, double v) {
  int changed = 0;
  double q = r->paper_quantity;
  double profit = 0;
  if (q != 0)
    profit = (v - r->paper_avg_price) * q * r->multiplier;
  else
    r->paper_avg_price = 0;
  if (profit != r->paper_profit || q != r->paper_quantity_posted) changed = 1;
  r->paper_profit = profit;
  r->paper_quantity_posted = q;
  uint32_t type = r->sec_code & 0xff;
  if (type == 2 || type == 8)
    for (mqt_position& pos : r->account_positions) {
      if (pos.quantity == 0) continue;
      double p = (v - pos.avg_price) * pos.quantity * r->multiplier;
      pos.last_price = v;
      if (p != pos.profit) {
        pos.profit = p;
        changed = 1;
      }
    }
  if (changed) post_to_mqt_charts(r, WM_PORTFOLIO_UPDATE, 1, 0);
}

static void update_minute_volumes(mqt* r, int32_t size) {
  uint32_t feed = r->feed_flags;
  int t = (feed & FEED_SUMMARY) ? r->quote_time : r->trade_time;
  if (t < 0 || t >= KV_SECONDS_PER_DAY) return;
  int m = t / 60;
  const int n = MQT_VOLUME_MINUTES;
  int gap = m - r->newest_minute;
  if (gap < 0 || gap >= n) {  // a new day, or every kept minute is gone
    memset(r->minute_volume, 0, sizeof r->minute_volume);
    memset(r->minute_cum_volume, 0, sizeof r->minute_cum_volume);
  } else if (gap > 0) {
    memmove(r->minute_volume, r->minute_volume + gap, sizeof(int32_t) * (size_t)(n - gap));
    memmove(r->minute_cum_volume, r->minute_cum_volume + gap, sizeof(int32_t) * (size_t)(n - gap));
    memset(r->minute_volume + n - gap, 0, sizeof(int32_t) * (size_t)gap);
    memset(r->minute_cum_volume + n - gap, 0, sizeof(int32_t) * (size_t)gap);
  }
  r->newest_minute = m;
  int64_t sum = (int64_t)r->minute_volume[n - 1] + size;  // a feed's sizes can be anything
  r->minute_volume[n - 1] = sum > INT32_MAX   ? INT32_MAX
                            : sum < INT32_MIN ? INT32_MIN
                                              : (int32_t)sum;
  if (feed & FEED_VOLUME) {
    int32_t cum = r->volume;
    int32_t before = r->minute_cum_volume[n - 2];
    if (cum < before)  // the day's count ran backwards
      cum = (int32_t)std::min<int64_t>((int64_t)before + r->minute_volume[n - 1], INT32_MAX);
    r->minute_cum_volume[n - 1] = cum;
  }
}

// Records whose prices may be 0 or negative (spreads, market indicators)
// cannot use 0 for "no value yet" nor the positive-price plausibility
// rules: their session values follow the day's prices directly.
static void update_signed_session_values(mqt* r, float p, int have_day) {
  uint32_t feed = r->feed_flags;
  if (!(feed & FEED_OPEN)) r->open = have_day ? r->stored.open : p;
  if (!((feed & FEED_HIGH) && r->high >= p))
    r->high = have_day && r->stored.high > p ? r->stored.high : p;
  if (!((feed & FEED_LOW) && r->low <= p))
    r->low = have_day && r->stored.low < p ? r->stored.low : p;
}

static void update_session_values(mqt* r, float p, int have_day) {
  uint32_t feed = r->feed_flags;
  if (r->flags & MQT_NEGATIVE_OK) {
    update_signed_session_values(r, p, have_day);
  } else {
    if (!((feed & FEED_OPEN) && r->open > 0)) r->open = r->stored.open;
    if (r->open < 0.01f) r->open = p;

    if (!((feed & FEED_HIGH) && p < r->high && r->high < 2 * p)) r->high = r->stored.high;
    if (p > r->high) r->high = p;

    if (!((feed & FEED_LOW) && p > 0 && r->low > p / 2)) {
      if (r->stored.low >= 0.001f)
        r->low = p < r->stored.low ? p : r->stored.low;
      else
        r->low = p;
    }
    if (p > 0.001f && r->low > 0.001f && p < r->low) r->low = p;
  }

  // Without a configured session end every trade counts as in session.
  quote_source_cfg* cfg = quote_cfg_slot(MULTIQUOTE_TIMEUNIT);
  int session_end = cfg && cfg->text ? cfg->close_time : 0;
  if (session_end <= 0 || r->trade_time < session_end || r->day_close == 0 ||
      (r->flags & MQT_ACCOUNT))
    r->day_close = p;
  else if (r->close != 0)
    r->day_close = r->close;

  float pc = r->prev_close;
  if (pc != 0 && std::isfinite(pc)) {
    r->pct_open = (r->open - pc) * 100 / pc;
    r->pct_high = (r->high - pc) * 100 / pc;
    r->pct_low = (r->low - pc) * 100 / pc;
    r->pct_day_close = (r->day_close - pc) * 100 / pc;
    r->pct_last = (p - pc) * 100 / pc;
    if (r->pct_high > g_max_high_pct) g_max_high_pct = r->pct_high;
    if (r->pct_low < g_min_low_pct) g_min_low_pct = r->pct_low;
  } else {
    r->pct_open = r->pct_high = r->pct_low = r->pct_day_close = r->pct_last = 0;
  }
}

// Passes the quote of a leg on to the spreads built on it.
static void update_spreads(mqt* r) {
  for (mqt_spread_link* link = r->spread_users; link; link = link->next) {
    if (g_save_depth >= SAVE_MQT_DEPTH_MAX) {
      statmsg(__FILE__, __LINE__, "Spread recursion limit exceeded", r->symbol, STATMSG_ERROR);
      return;
    }
    mqt* s = link->spread;
    mqt* l1 = s->leg1;
    mqt* l2 = s->leg2;
    if (!l1 || !l2) continue;
    s->quote_date = r->quote_date;
    s->quote_time = r->quote_time;
    s->trade_time = r->trade_time;
    s->trade_epoch = r->trade_epoch;
    s->feed_flags = r->feed_flags;
    if (l1->bid < 0 || l2->bid < 0) {
      s->bid = s->ask = -1.0f;
      continue;
    }
    double r1, r2, last, bid, ask;
    if (s->flags & MQT_RATIO_SPREAD) {
      r1 = s->leg_ratio[0];
      r2 = s->leg_ratio[1];
      last = r1 * l1->last / (r2 * l2->last);
      bid = r1 * l1->bid / (r2 * l2->ask);
      ask = r1 * l1->ask / (r2 * l2->bid);
    } else {
      r1 = s->leg_multiplier[0];
      r2 = s->leg_multiplier[1];
      last = r1 * l1->last + r2 * l2->last;
      bid = r1 * l1->bid + r2 * l2->ask;
      ask = r1 * l1->ask + r2 * l2->bid;
    }
    // A leg without a quote makes a ratio without a value.
    s->bid = std::isfinite(bid) ? (float)bid : -1.0f;
    s->ask = std::isfinite(ask) ? (float)ask : -1.0f;
    // Only leg 1's trades are the spread's; a leg 2 quote adds no volume.
    s->last_size = r == l1 ? r->last_size : 0;
    if (!std::isfinite(last)) continue;
    s->last = (float)last;
    mqt* other = r == l1 ? l2 : l1;
    if (r->trade_epoch - other->trade_epoch <= SPREAD_LEG_MAX_AGE)
      save_mqt_data(s, SAVE_MQT_FULL | SAVE_MQT_CHARTS);
  }
}

namespace {
struct save_depth_scope {
  save_depth_scope() { g_save_depth++; }
  ~save_depth_scope() { g_save_depth--; }
};
}  // namespace

int save_mqt_data(mqt* r, int mode) {
  if (!r) return 0;
  kv_lock guard(g_chart_lock);
  save_depth_scope depth;

  drop_bad_fields(r);
  float p = quote_price(r);
  if (!std::isfinite(p)) {
    restore_given_fields(r);
    return 0;
  }
  // A midpoint record without a trade inside a sane quote stores nothing:
  // tested before anything of the quote is taken.
  if ((mode & SAVE_MQT_FULL) && (r->flags & MQT_MIDPOINT) && !within_quote(p, r->bid, r->ask) &&
      !usable_midpoint(r)) {
    restore_given_fields(r);
    return 0;
  }
  uint32_t feed = r->feed_flags;
  int32_t size = trade_size(r);
  int have_day = (r->flags & MQT_QUOTE_STORED) && r->stored_date == r->quote_date;

  // 1. A new day.
  if (r->quote_date != r->stored_date) {
    r->stored.open = r->stored.high = r->stored.low = 0;
    r->vwap_sum = r->vwap_volume = 0;
    r->vwap = 0;
    if (!(feed & FEED_VOLUME)) r->volume = 0;
    chart_rec* daily = r->daily_charts;
    if ((r->flags & MQT_ACCOUNT) && daily && daily->header.bar_count > 1 && daily->bars)
      r->prev_close = daily->bars[daily->header.bar_count - 1].close;
  }

  // 2. The price and the VWAP.
  if (feed & FEED_LAST) {
    if (size > 0) {
      r->vwap_volume += size;
      r->vwap_sum += (double)size * p;
      r->vwap = (float)(r->vwap_sum / r->vwap_volume);
    }
  } else {
    r->last = p;
  }

  // 3. Previous close from a net change.
  if (feed & FEED_CHANGE) {
    float base = (feed & FEED_KIND_MASK) == FEED_KIND_OFFICIAL_CLOSE ? r->close : p;
    r->prev_close = base - r->change;
  }

  if (mode & SAVE_MQT_FULL) {
    // a. Times.
    if (!(feed & FEED_TRADE_TIME)) r->trade_time = r->quote_time;
    if (!(feed & FEED_TIME)) r->quote_time = r->trade_time;
    if (r->quote_date != g_newest_quote_date) {
      g_newest_quote_time = 0;
      g_newest_quote_date = r->quote_date;
    }
    int32_t before = g_newest_quote_time;
    g_newest_quote_time = r->trade_time;

    // b. Status pane and market open and close notices, once per new time.
    if ((mode & SAVE_MQT_CHARTS) && !(r->flags & (MQT_PLAYBACK | MQT_NOT_STREAMABLE)) &&
        (r->trade_time - before) % 3600 != 0) {
      if (kv_hwnd main = hmainwnd.load()) kv_post_message(main, WM_CONT_UPDATE_STATUS, 0, 0);
      if (r->market && r->trade_time >= 0 && r->trade_time < KV_SECONDS_PER_DAY) {
        uint8_t minute = r->market->minutes[r->trade_time / 60];
        if (minute & MINUTE_OPEN) market_notice(r, 0);
        if (minute & MINUTE_CLOSE) market_notice(r, 1);
      }
    }

    // c. Epochs.
    r->quote_epoch = (int32_t)date_to_seconds(r->quote_date, r->quote_time);
    r->trade_epoch = (int32_t)date_to_seconds(r->quote_date, r->trade_time);

    // d. Orders.
    if (g_mqt_hooks.update_orders_on_quote) g_mqt_hooks.update_orders_on_quote(r);

    // e. The price positions are valued at: the trade when it lies in
    // the quote, else the middle of a quote that has both sides.
    double v = p;
    if (!within_quote(p, r->bid, r->ask) && r->bid > 0 && r->ask > 0)
      v = ((double)r->bid + r->ask) / 2;
    r->valuation_price = v;
    double alert_price = (r->flags & MQT_MIDPOINT) ? v : p;

    // f. Profits.
    update_profits(r, v);

    // g. Alerts, on real trades only.
    if (r->alert && p != 0 && !(r->flags & MQT_PLAYBACK) && g_mqt_hooks.test_alerts &&
        (!(feed & FEED_LAST_SIZE) || r->last_size != 0 ||
         (r->flags & (MQT_INDEX_OR_ACCOUNT | MQT_ACCOUNT))))
      g_mqt_hooks.test_alerts(r, alert_price);

    // h. Differences against the previous quote.
    if (p != r->prev_last) {
      r->last_change = p - r->prev_last;
      r->prev_last = p;
    }
    if (r->bid != r->prev_bid) {
      r->bid_change = r->bid - r->prev_bid;
      r->prev_bid = r->bid;
    }
    if (r->ask != r->prev_ask) {
      r->ask_change = r->ask - r->prev_ask;
      r->prev_ask = r->ask;
    }

    // i. Running volume.
    if (feed & FEED_LAST_SIZE) {
      if (size > HUGE_TRADE_SIZE && (g_trace_mask & TRACE_HUGE_SIZE)) {
        char when[16];
        debug_trace("save_mqt_data: Huge last trade size: %s %s %d \n%s", r->symbol,
                    format_time(r->trade_time, when), size, r->exchange);
      }
      if (!(feed & FEED_VOLUME)) {
        int64_t v64 = (int64_t)r->volume + size;
        r->volume = v64 > INT32_MAX ? INT32_MAX : (int32_t)v64;
      }
    }

    // j. Volumes per minute.
    if (feed & (FEED_LAST_SIZE | FEED_VOLUME)) update_minute_volumes(r, size);
  }

  // 5. Session values.
  update_session_values(r, p, have_day);

  // 6. Stored.
  r->flags |= MQT_QUOTE_STORED;
  r->stored_date = r->quote_date;
  keep_price_fields(r);

  // 7. One-minute data and charts.
  if (mode & SAVE_MQT_CHARTS) {
    if (!(r->flags & MQT_PLAYBACK) && g_mqt_hooks.update_1min_data) g_mqt_hooks.update_1min_data(r);
    if (g_mqt_hooks.update_mqt_charts) g_mqt_hooks.update_mqt_charts(r);
  }

  // 8. Spreads built on this record.
  if (!(r->flags & MQT_SPREAD)) update_spreads(r);
  return 1;
}
