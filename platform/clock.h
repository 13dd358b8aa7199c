// The one clock for "now", and the time scale of long waits.
//
// Now is read in UTC or local time, in seconds or milliseconds since
// 1 January 1970.  Local time is UTC plus the local zone's offset at that
// instant, counted as if the local calendar had no zones (so that
// kv_day_number of local seconds is the local day).  Tests freeze the clock at a
// chosen instant (kv_clock_set_utc_ms), move it (kv_clock_advance_ms),
// fix the zone offset, and give the real clock back with kv_clock_reset.
//
// Elapsed time for time-outs comes from kv_monotonic_ms, which a frozen
// clock does not stop.
#pragma once

#include <stdint.h>

int64_t kv_now_utc_ms(void);
int64_t kv_now_utc_seconds(void);
int64_t kv_now_local_ms(void);
int64_t kv_now_local_seconds(void);

// Offset of local time from UTC, in seconds, at the given UTC instant.
int kv_local_offset_seconds(int64_t utc_seconds);

// Epoch seconds split into a day number and the second of that day.  Both
// round down, so a time before 1970 belongs to the day that starts at or
// before it (second -1 is day -1 at second 86399): the split never depends
// on the sign of the time.
constexpr int64_t KV_SECONDS_PER_DAY = 86400;
inline int64_t kv_floor_div(int64_t a, int64_t b) {
  int64_t q = a / b;
  return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}
inline int64_t kv_day_number(int64_t seconds) {
  return kv_floor_div(seconds, KV_SECONDS_PER_DAY);
}
inline int kv_time_of_day(int64_t seconds) {
  return (int)(seconds - kv_day_number(seconds) * KV_SECONDS_PER_DAY);
}

// Broken-down calendar time of seconds since 1970 (no zone applied).
struct kv_datetime {
  int year, month, day;  // 1970.., 1-12, 1-31
  int hour, minute, second;
  int weekday;  // 0 = Sunday
  int yearday;  // 0-365
};
void kv_split_seconds(int64_t seconds, kv_datetime *out);

int64_t kv_monotonic_ms(void);

// ---- test control ---------------------------------------------------------
void kv_clock_set_utc_ms(int64_t utc_ms);     // freezes "now" at this instant
void kv_clock_advance_ms(int64_t ms);         // moves a frozen clock (freezes the real one first)
void kv_clock_set_local_offset(int seconds);  // fixed zone offset in place of the system's
void kv_clock_reset(void);                    // real clock and zone again

// ---- time scale -----------------------------------------------------------
// Waits of seconds that the program's logic prescribes (5 s for a thread
// start, 30 s for a relay transaction, ...) are written as
// kv_scaled_ms(5000).  Production runs with scale 1.0; the test fixture
// sets a small scale so that those waits take milliseconds.  A positive
// wait never scales below 1 ms.
int kv_scaled_ms(int ms);
void kv_set_time_scale(double scale);
double kv_time_scale(void);
