// The process-wide table of markets named by the live-quote source's
// configuration: trading days, time-zone rule, the minute-by-minute map of
// trading hours, and the last exchange clock reading of each market.
// Guarded by g_chart_lock.
#pragma once
#include <cstdint>
#include "data/timezone.h"

enum {
  MARKET_COUNT = 33,
  MARKET_NAME_MAX = 15,
  MINUTES_PER_DAY = 1440,
};

// Bits of a market's minute table.
enum {
  MINUTE_MAIN = 1,      // main trading hours
  MINUTE_EXTENDED = 2,  // extended hours
  MINUTE_OPEN = 4,      // the opening minute
  MINUTE_CLOSE = 8,     // the closing minute
};

struct market_rec {
  uint8_t user[16];                // kept for the quote code
  char name[MARKET_NAME_MAX + 1];  // empty: free record
  uint32_t days;                   // bit 0 Sunday ... bit 6 Saturday
  tz_rule tz;
  uint8_t minutes[MINUTES_PER_DAY];
  int32_t open_time;  // seconds of the day
  int32_t close_time;
  // Last exchange clock reading of this market.
  int32_t time_of_day;
  int32_t date;
  int32_t weekday;  // 0 Sunday
  int32_t seconds;  // exchange date-time, seconds since 1970
  int32_t reserved;
};

extern market_rec g_markets[MARKET_COUNT];

void clear_markets();
// The market of that name (case-insensitive), or null.
market_rec *find_market(const char *name);
// The market of that name, taking the first free record for a new name;
// null when the name is empty or the table is full.
market_rec *add_market(const char *name);
// Marks the minutes [start, end) in seconds of the day: MINUTE_MAIN with
// MINUTE_OPEN/MINUTE_CLOSE on the end minutes, or MINUTE_EXTENDED.
void mark_market_hours(market_rec *m, int start, int end, int extended);
