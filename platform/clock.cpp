// The clock for "now", its test controls, and the time scale.
#include "platform/clock.h"

#include <limits.h>
#include <time.h>

#include <atomic>
#include <chrono>
#include <mutex>

namespace {

std::mutex g_clock_mutex;
bool g_frozen = false;
int64_t g_frozen_ms = 0;
bool g_fixed_offset = false;
int g_offset_seconds = 0;
std::atomic<double> g_time_scale{1.0};

int64_t real_utc_ms() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

}  // namespace

int64_t kv_now_utc_ms(void) {
  {
    std::lock_guard<std::mutex> g(g_clock_mutex);
    if (g_frozen) return g_frozen_ms;
  }
  return real_utc_ms();
}

int64_t kv_now_utc_seconds(void) {
  int64_t ms = kv_now_utc_ms();
  return ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000);
}

int kv_local_offset_seconds(int64_t utc_seconds) {
  {
    std::lock_guard<std::mutex> g(g_clock_mutex);
    if (g_fixed_offset) return g_offset_seconds;
  }
  time_t t = (time_t)utc_seconds;
  struct tm tmv;
  if (!localtime_r(&t, &tmv)) return 0;
  return (int)tmv.tm_gmtoff;
}

int64_t kv_now_local_ms(void) {
  int64_t ms = kv_now_utc_ms();
  return ms + (int64_t)kv_local_offset_seconds(ms / 1000) * 1000;
}

int64_t kv_now_local_seconds(void) {
  int64_t s = kv_now_utc_seconds();
  return s + kv_local_offset_seconds(s);
}

// Civil date from days since 1970 (proleptic Gregorian calendar).
void kv_split_seconds(int64_t seconds, kv_datetime *out) {
  int64_t days = kv_day_number(seconds);
  int64_t rem = kv_time_of_day(seconds);
  out->hour = (int)(rem / 3600);
  out->minute = (int)(rem % 3600 / 60);
  out->second = (int)(rem % 60);
  out->weekday = (int)((days % 7 + 11) % 7);  // 1 January 1970 was a Thursday
  int64_t z = days + 719468;
  int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  int64_t doe = z - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t y = yoe + era * 400;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  int64_t d = doy - (153 * mp + 2) / 5 + 1;
  int64_t m = mp < 10 ? mp + 3 : mp - 9;
  if (m <= 2) y++;
  out->year = (int)y;
  out->month = (int)m;
  out->day = (int)d;
  static const int before[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  out->yearday = before[m - 1] + (int)d - 1 + (leap && m > 2 ? 1 : 0);
}

int64_t kv_monotonic_ms(void) {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void kv_clock_set_utc_ms(int64_t utc_ms) {
  std::lock_guard<std::mutex> g(g_clock_mutex);
  g_frozen = true;
  g_frozen_ms = utc_ms;
}

void kv_clock_advance_ms(int64_t ms) {
  std::lock_guard<std::mutex> g(g_clock_mutex);
  if (!g_frozen) {
    g_frozen = true;
    g_frozen_ms = real_utc_ms();
  }
  g_frozen_ms += ms;
}

void kv_clock_set_local_offset(int seconds) {
  std::lock_guard<std::mutex> g(g_clock_mutex);
  g_fixed_offset = true;
  g_offset_seconds = seconds;
}

void kv_clock_reset(void) {
  std::lock_guard<std::mutex> g(g_clock_mutex);
  g_frozen = false;
  g_fixed_offset = false;
}

int kv_scaled_ms(int ms) {
  if (ms <= 0) return ms;
  double v = ms * g_time_scale.load();
  if (v < 1) return 1;
  if (v > INT_MAX) return INT_MAX;
  return (int)v;
}

void kv_set_time_scale(double scale) {
  g_time_scale.store(scale > 0 ? scale : 1.0);
}
double kv_time_scale(void) {
  return g_time_scale.load();
}
