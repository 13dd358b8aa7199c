// Time-zone rules in the layout of the configuration files: a bias and two
// yearly transition rules, as in the platform record TIME_ZONE_INFORMATION.
// Day-of-week numbers inside a rule count 0 = Sunday ... 6 = Saturday.
#pragma once
#include <cstdint>

struct tz_systemtime {
  uint16_t year;         // 0: a yearly rule (n-th weekday of the month)
  uint16_t month;        // 0: no transition
  uint16_t day_of_week;  // 0 Sunday
  uint16_t day;          // fixed day, or week number 1-4, 5 = last
  uint16_t hour;
  uint16_t minute;
  uint16_t second;
  uint16_t milliseconds;
};
static_assert(sizeof(tz_systemtime) == 16);

struct tz_rule {
  int32_t bias;                 // minutes, UTC = local + bias
  uint16_t standard_name[32];   // not read
  tz_systemtime standard_date;  // start of standard time
  int32_t standard_bias;
  uint16_t daylight_name[32];   // not read
  tz_systemtime daylight_date;  // start of daylight time
  int32_t daylight_bias;
};
static_assert(sizeof(tz_rule) == 172);

// The rule as a date of that year (month, day, hour, minute filled in).
tz_systemtime tz_transition_date(const tz_systemtime &rule, int year);
// Converts a UTC date and time of day to the zone's local date and time.
// Returns 1, or 0 when the input is not a valid date.
int utc_to_exchange_time(const tz_rule &rule, int utc_date, int utc_time, int *local_date,
                         int *local_time);
// The zone's offset from UTC (local minus UTC) in seconds at that moment.
int tz_offset_seconds(const tz_rule &rule, int64_t utc_seconds);
