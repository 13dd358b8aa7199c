// The exchange clock: the date, time of day and weekday at the exchange, from
// UTC now and the exchange's time-zone rule, for the live-quote source's own
// zone (the global clock) or for the market of a live-quote record.
#pragma once
#include <cstdint>

struct market_rec;

enum { CLOCK_DATE = 0, CLOCK_TIME = 1, CLOCK_WEEKDAY = 2 };

struct exchange_clock_state {
  int32_t date;         // yyyymmdd
  int32_t time_of_day;  // seconds
  int32_t weekday;      // 0 Sunday
  int64_t seconds;      // exchange date-time since 1970
  int64_t utc_seconds;  // UTC now since 1970
  int32_t utc_minute;   // UTC minute of the day
};
extern exchange_clock_state g_exchange_clock;
inline int32_t &g_exchange_date = g_exchange_clock.date;
inline int32_t &g_exchange_time = g_exchange_clock.time_of_day;
inline int32_t &g_exchange_weekday = g_exchange_clock.weekday;
inline int64_t &g_exchange_seconds = g_exchange_clock.seconds;
inline int64_t &g_utc_seconds = g_exchange_clock.utc_seconds;

// The market's clock (null: the global clock) read now; selector CLOCK_*.
// 0 when the live-quote source's configuration or the zone is missing.
int market_clock(market_rec *market, int selector);
int update_exchange_clock();
int market_is_open(market_rec *market);
int market_trading_date(market_rec *market);

// Forms that take a live-quote record (its market); null: the global clock.
struct mqt;
int exchange_clock(mqt *rec, int selector);
int exchange_date(mqt *rec);
int exchange_time_of_day(mqt *rec);
int exchange_weekday(mqt *rec);
int exchange_is_open(mqt *rec);
int current_trading_date(mqt *rec);
// Offset of the market's zone from UTC at that moment (local minus UTC).
int exchange_local_seconds(market_rec *market, int64_t utc_seconds);
