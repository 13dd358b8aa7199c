// Time-zone rules: yearly transition dates and UTC to zone time.
#include "data/timezone.h"

#include "data/dates.h"
#include "platform/clock.h"

tz_systemtime tz_transition_date(const tz_systemtime &rule, int year) {
  tz_systemtime t = rule;
  if (rule.year != 0 || rule.month < 1 || rule.month > 12) return t;
  t.year = (uint16_t)year;
  // day_of_week counts 0 = Saturday; the rule counts 0 = Sunday.
  int want = rule.day_of_week % 7;
  int n = rule.day;
  if (n >= 1 && n < 5) {
    int d = 1;
    while ((day_of_week(year, rule.month, d) + 6) % 7 != want) d++;
    t.day = (uint16_t)(d + (n - 1) * 7);
  } else {
    int d = days_in_month(year, rule.month);
    while ((day_of_week(year, rule.month, d) + 6) % 7 != want) d--;
    t.day = (uint16_t)d;
  }
  return t;
}

static int64_t transition_seconds(const tz_systemtime &rule, int year) {
  tz_systemtime t = tz_transition_date(rule, year);
  return date_to_seconds(t.year * 10000 + t.month * 100 + t.day, t.hour * 3600 + t.minute * 60);
}

// Bias in minutes (UTC = local + bias) in effect at a UTC moment.  Summed
// wide: the rule's numbers come straight from a configuration file.
static int64_t bias_at(const tz_rule &rule, int64_t utc) {
  if (rule.daylight_date.month == 0 || rule.standard_date.month == 0)
    return (int64_t)rule.bias + rule.standard_bias;
  int year = seconds_year(utc);
  int64_t dst_start = transition_seconds(rule.daylight_date, year);
  int64_t std_start = transition_seconds(rule.standard_date, year);
  int daylight;
  if (dst_start <= std_start)
    daylight = utc >= dst_start && utc < std_start;
  else  // southern hemisphere: daylight time spans the turn of the year
    daylight = utc >= dst_start || utc < std_start;
  return (int64_t)rule.bias + (daylight ? rule.daylight_bias : rule.standard_bias);
}

int utc_to_exchange_time(const tz_rule &rule, int utc_date, int utc_time, int *local_date,
                         int *local_time) {
  if (!valid_date(utc_date, 0) || utc_time < 0 || utc_time >= KV_SECONDS_PER_DAY) return 0;
  int64_t utc = date_to_seconds(utc_date, utc_time);
  int64_t local = utc - bias_at(rule, utc) * 60;
  int h, m, s;
  int y, mo, d;
  split_seconds(local, &y, &mo, &d, &h, &m, &s);
  if (local_date) *local_date = y * 10000 + mo * 100 + d;
  if (local_time) *local_time = h * 3600 + m * 60 + s;
  return 1;
}

int tz_offset_seconds(const tz_rule &rule, int64_t utc_seconds) {
  int64_t offset = -bias_at(rule, utc_seconds) * 60;
  return offset < INT32_MIN || offset > INT32_MAX ? 0 : (int)offset;
}
