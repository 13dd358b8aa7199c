// The exchange clock, market hours and the current trading date.
#include "data/exchclock.h"

#include "data/dates.h"
#include "data/markets.h"
#include "data/quotecfg.h"
#include "data/statmsg.h"
#include "data/timezone.h"
#include "platform/clock.h"
#include "platform/locks.h"
#include "quotes/mqt_record.h"

exchange_clock_state g_exchange_clock;

static const int DEFAULT_OPEN_TIME = 34200;  // 09:30

static int select_value(int date, int time_of_day, int weekday, int selector) {
  switch (selector) {
    case CLOCK_DATE:
      return date;
    case CLOCK_TIME:
      return time_of_day;
    case CLOCK_WEEKDAY:
      return weekday;
    default:
      return 0;
  }
}

int market_clock(market_rec *market, int selector) {
  kv_lock guard(g_chart_lock);
  quote_source_cfg *cfg = read_quote_source_cfg(MULTIQUOTE_TIMEUNIT);
  if (!cfg) return 0;
  int64_t utc = kv_now_utc_seconds();
  int utc_date = seconds_to_date(utc);
  int utc_time = (int)(utc - date_to_seconds(utc_date, 0));
  g_exchange_clock.utc_minute = utc_time / 60;
  g_exchange_clock.utc_seconds = utc;

  int date, time_of_day;
  if (!utc_to_exchange_time(market ? market->tz : cfg->tz, utc_date, utc_time, &date, &time_of_day))
    return 0;
  int weekday = (day_of_week(date / 10000, date / 100 % 100, date % 100) + 6) % 7;  // 0 Sunday
  int64_t seconds = date_to_seconds(date, time_of_day);
  if (market) {
    market->date = date;
    market->time_of_day = time_of_day;
    market->weekday = weekday;
    market->seconds = (int32_t)seconds;
  } else {
    g_exchange_clock.date = date;
    g_exchange_clock.time_of_day = time_of_day;
    g_exchange_clock.weekday = weekday;
    g_exchange_clock.seconds = seconds;
  }
  return select_value(date, time_of_day, weekday, selector);
}

int update_exchange_clock() {
  return market_clock(nullptr, CLOCK_DATE);
}

int market_is_open(market_rec *market) {
  if (!market) return 0;
  kv_lock guard(g_chart_lock);
  int weekday = market_clock(market, CLOCK_WEEKDAY);
  quote_source_cfg *cfg = read_quote_source_cfg(MULTIQUOTE_TIMEUNIT);
  if (!cfg || !market->date) return 0;
  if (!(cfg->exchange_days & (1u << weekday))) return 0;
  if (is_holiday(market->date)) return 0;
  int minute = market->time_of_day / 60;
  return minute >= 0 && minute < MINUTES_PER_DAY && (market->minutes[minute] & MINUTE_MAIN) != 0;
}

int market_trading_date(market_rec *market) {
  kv_lock guard(g_chart_lock);
  quote_source_cfg *cfg = read_quote_source_cfg(MULTIQUOTE_TIMEUNIT);
  int open = cfg && cfg->open_time ? cfg->open_time : DEFAULT_OPEN_TIME;
  int date = market_clock(market, CLOCK_DATE);
  if (!date) return 0;
  int weekday = market ? market->weekday : g_exchange_clock.weekday;
  int time_of_day = market ? market->time_of_day : g_exchange_clock.time_of_day;
  if (weekday >= 1 && weekday <= 5 && !is_holiday(date) && time_of_day < open) {
    date = add_days(date, -1);
    weekday = (weekday + 6) % 7;
  }
  while (is_holiday(date) || weekday == 0 || weekday == 6) {
    date = add_days(date, -1);
    weekday = (weekday + 6) % 7;
  }
  return date;
}

// The market of a live-quote record; null for the global clock.  A record
// without its market, or whose market entry was cleared since (the table is
// cleared whenever the live-quote configuration is loaded), is reported and
// gives no clock.
static int record_market(mqt *rec, market_rec **market) {
  *market = nullptr;
  if (!rec) return 1;
  if (!rec->market || !rec->market->name[0]) {
    statmsg("exchclock", __LINE__, "lost timezone info for", rec->symbol, STATMSG_ERROR);
    return 0;
  }
  *market = rec->market;
  return 1;
}

int exchange_clock(mqt *rec, int selector) {
  market_rec *m;
  return record_market(rec, &m) ? market_clock(m, selector) : 0;
}

int exchange_date(mqt *rec) {
  return exchange_clock(rec, CLOCK_DATE);
}
int exchange_time_of_day(mqt *rec) {
  return exchange_clock(rec, CLOCK_TIME);
}
int exchange_weekday(mqt *rec) {
  return exchange_clock(rec, CLOCK_WEEKDAY);
}

int exchange_is_open(mqt *rec) {
  market_rec *m;
  return rec && record_market(rec, &m) ? market_is_open(m) : 0;
}

int current_trading_date(mqt *rec) {
  market_rec *m;
  return record_market(rec, &m) ? market_trading_date(m) : 0;
}

int exchange_local_seconds(market_rec *market, int64_t utc_seconds) {
  kv_lock guard(g_chart_lock);
  if (market) return tz_offset_seconds(market->tz, utc_seconds);
  quote_source_cfg *cfg = read_quote_source_cfg(MULTIQUOTE_TIMEUNIT);
  return cfg ? tz_offset_seconds(cfg->tz, utc_seconds) : 0;
}
