// Calendar arithmetic and date/time texts.  The calendar counts every year
// divisible by 4 as a leap year; points in time are seconds since 1970
// without zone shifts.
#include "data/dates.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "platform/clock.h"
#include "settings/settings.h"

const char *const month_abbrev[13] = {"oops", "Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                      "Jul",  "Aug", "Sep", "Oct", "Nov", "Dec"};
const char *const weekday_abbrev[7] = {"Sat", "Sun", "Mon", "Tue", "Wed", "Thu", "Fri"};
const char *const date_entry_patterns[7] = {"mm/dd/yyyy", "mm/dd/yy", "dd/mm/yyyy", "dd/mm/yy",
                                            "yyyy/mm/dd", "yy/mm/dd", "dd-mmm-yyyy"};
const int exchange_holidays[] = {20061225, 20070101, 20070704, 20070903, 20071122, 20071225, 0};

int g_holidays_off = 0;

static const int month_days[13] = {0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
static const int days_before_month[13] = {0, 0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};

static const int DAYS_PER_CYCLE = 1461;  // four years, one of them leap
// Days from 1 January 1968 (a leap year, start of a cycle) to 1 January 1970.
static const int DAYS_1968_TO_1970 = 731;

int is_leap_year(int year) {
  return (year & 3) == 0;
}

int days_in_month(int year, int month) {
  if (month < 1 || month > 12) return 31;
  return month == 2 && is_leap_year(year) ? 29 : month_days[month];
}

// Days from 1 January 1970 to the given day (negative before).
static int64_t days_from_epoch(int year, int month, int day) {
  if (month < 1) month = 1;
  if (month > 12) month = 12;
  int64_t y = (int64_t)year - 1968;
  int64_t cycles = kv_floor_div(y, 4);
  int64_t r = y - cycles * 4;
  int64_t days = cycles * DAYS_PER_CYCLE + r * 365 + (r > 0 ? 1 : 0);
  days += days_before_month[month] + (month > 2 && is_leap_year(year) ? 1 : 0);
  days += day - 1;
  return days - DAYS_1968_TO_1970;
}

static void civil_from_days(int64_t days, int *year, int *month, int *day) {
  int64_t n = days + DAYS_1968_TO_1970;
  int64_t cycles = kv_floor_div(n, DAYS_PER_CYCLE);
  int64_t r = n - cycles * DAYS_PER_CYCLE;
  int64_t y = 1968 + cycles * 4;
  if (r >= 366) {
    r -= 366;
    y += 1 + r / 365;
    r %= 365;
  }
  int m = 1;
  while (m < 12 && r >= days_in_month((int)y, m)) {
    r -= days_in_month((int)y, m);
    m++;
  }
  *year = (int)y;
  *month = m;
  *day = (int)r + 1;
}

int expand_two_digit_year(int year) {
  if (year < 0 || year >= 100) return year;
  int current = seconds_year(kv_now_utc_seconds());
  int y = current - current % 100 + year;
  if (y > current + 20)
    y -= 100;
  else if (y <= current + 20 - 100)
    y += 100;
  return y;
}

static int full_year(int year) {
  return year < 100 ? expand_two_digit_year(year) : year;
}

// yyyymmdd from its parts, or 0 when typed-in numbers that large cannot
// form a date value.
static int date_value(int64_t year, int64_t month, int64_t day) {
  int64_t v = year * 10000 + month * 100 + day;
  return v < INT32_MIN || v > INT32_MAX ? 0 : (int)v;
}

int parse_mdy_date(const char *text) {
  if (!text || !*text) return 0;
  int m = 0, d = 0, y = 0;
  if (sscanf(text, "%d/%d/%d", &m, &d, &y) != 3) return 0;
  return date_value(full_year(y), m, d);
}

// Reads a decimal number as scanf's %d (width 0: any) would.
static int scan_number(const char **p, int width, int *out) {
  const char *s = *p;
  while (isspace((unsigned char)*s)) s++;
  int n = 0, neg = 0, used = 0, digits = 0;
  if ((*s == '-' || *s == '+') && (width == 0 || width > 1)) {
    neg = *s == '-';
    s++;
    used++;
  }
  while (isdigit((unsigned char)*s) && (width == 0 || used < width)) {
    if (n < 100000000) n = n * 10 + (*s - '0');
    s++;
    used++;
    digits++;
  }
  if (!digits) return 0;
  *out = neg ? -n : n;
  *p = s;
  return 1;
}

int parse_date_pattern(const char *text, const char *pattern) {
  if (!text || !pattern) return 0;
  char pat[32];
  size_t plen = 0;
  for (; pattern[plen] && plen < 31; plen++)
    pat[plen] = (char)tolower((unsigned char)pattern[plen]);
  pat[plen] = 0;

  int day = 0, month = 0, year = 0;
  int field = 0;
  const char *s = text;
  for (size_t i = 0; i < plen;) {
    char c = pat[i];
    if (c == 'd' || c == 'm' || c == 'y') {
      size_t run = 1;
      while (pat[i + run] == c) run++;
      i += run;
      if (c == 'm' && run == 3) {
        while (isspace((unsigned char)*s)) s++;
        char name[4] = {0};
        int n = 0;
        while (n < 3 && *s && !isspace((unsigned char)*s)) name[n++] = *s++;
        if (!n) break;
        month = 13;
        for (int k = 1; k <= 12; k++)
          if (strcasecmp(name, month_abbrev[k]) == 0) month = k;
      } else {
        int width = field < 2 && run > 1 ? (int)run : 0;
        int v;
        if (!scan_number(&s, width, &v)) break;
        if (c == 'd')
          day = v;
        else if (c == 'm')
          month = v;
        else
          year = v;
      }
      field++;
    } else if (isspace((unsigned char)c)) {
      while (isspace((unsigned char)*s)) s++;
      i++;
    } else {
      if (*s != c) break;
      s++;
      i++;
    }
  }
  int64_t wide = (int64_t)year * 10000 + (int64_t)month * 100 + day;
  if (wide < INT32_MIN || wide > INT32_MAX) return 0;  // no date value that large
  int value = (int)wide;
  if (value >= 0 && value < 991232) {
    int yy = value / 10000;
    value += (expand_two_digit_year(yy) - yy) * 10000;
  }
  return value;
}

int parse_user_date(const char *text) {
  int style = g_date_style;
  if (style < 0 || style > 6) style = 0;
  return parse_date_pattern(text, date_entry_patterns[style]);
}

char *format_date(int date, char *buf, int style) {
  static char sbuf[32];
  if (!buf) buf = sbuf;
  int y = full_year(date / 10000);
  int m = (date / 100) % 100;
  int d = date % 100;
  const char *mon = month_abbrev[m >= 1 && m <= 12 ? m : 0];
  if (d == 0) style = 7;
  int yy = ((y % 100) + 100) % 100;
  switch (style) {
    case 1:
      snprintf(buf, 16, "%02d/%02d/%02d", m, d, yy);
      break;
    case 2:
      snprintf(buf, 16, "%02d/%02d/%04d", d, m, y);
      break;
    case 3:
      snprintf(buf, 16, "%02d/%02d/%02d", d, m, yy);
      break;
    case 4:
      snprintf(buf, 16, "%04d/%02d/%02d", y, m, d);
      break;
    case 5:
      snprintf(buf, 16, "%02d/%02d/%02d", yy, m, d);
      break;
    case 6:
      snprintf(buf, 16, "%02d-%s-%04d", d, mon, y);
      break;
    case 7:
      snprintf(buf, 16, "%s-%04d", mon, y);
      break;
    case 8:
      snprintf(buf, 16, "%02d%s%02d", d, mon, yy);
      break;
    default:
      snprintf(buf, 16, "%02d/%02d/%04d", m, d, y);
      break;
  }
  return buf;
}

char *format_month_day(int date, char *buf) {
  static char sbuf[16];
  if (!buf) buf = sbuf;
  snprintf(buf, 16, "%02d/%02d", (date / 100) % 100, date % 100);
  return buf;
}

int valid_date(int date, int accept_day0) {
  if (date < 0) return 0;
  int y = date / 10000, m = (date / 100) % 100, d = date % 100;
  if (y < 1900 || y > 2050 || m < 1 || m > 12) return 0;
  if (d == 0) return accept_day0 ? 1 : 0;
  return d <= days_in_month(y, m);
}

int parse_time_of_day(const char *text) {
  if (!text) return -1;
  int colons = 0;
  for (const char *p = text; *p; p++)
    if (*p == ':') colons++;
  int h = 0, m = 0, s = 0;
  if (colons == 1) {
    sscanf(text, " %d : %d ", &h, &m);
  } else if (colons == 2) {
    sscanf(text, " %d : %d : %d", &h, &m, &s);
  } else if (colons == 0 && isdigit((unsigned char)text[0]) && !strchr(text, ' ')) {
    sscanf(text, " %2d%2d%2d", &h, &m, &s);
  } else {
    return 0;
  }
  if (h < 12 && (strchr(text, 'p') || strchr(text, 'P'))) h += 12;
  int64_t seconds = (int64_t)h * 3600 + (int64_t)m * 60 + s;
  return seconds < INT32_MIN || seconds > INT32_MAX ? 0 : (int)seconds;
}

char *format_time(int seconds, char *buf) {
  static char sbuf[32];
  if (!buf) buf = sbuf;
  snprintf(buf, 32, "%02d:%02d:%02d", seconds / 3600, (seconds / 60) % 60, seconds % 60);
  return buf;
}

char *format_hhmm(int seconds, char *buf) {
  static char sbuf[32];
  if (!buf) buf = sbuf;
  snprintf(buf, 32, "%02d:%02d", seconds / 3600, (seconds / 60) % 60);
  return buf;
}

// Seconds from 1 January 1601 to 1 January 1970 in the platform's calendar.
static const int64_t FILETIME_EPOCH_SECONDS = 11644473600LL;
static const int64_t FILETIME_PER_SECOND = 10000000LL;

int64_t date_to_filetime(int date) {
  return (date_to_seconds(date, 43200) + FILETIME_EPOCH_SECONDS) * FILETIME_PER_SECOND;
}

static int64_t date_days(int date) {
  int y = date / 10000, m = (date / 100) % 100, d = date % 100;
  if (d == 0) d = days_in_month(y, m);
  return days_from_epoch(y, m, d);
}

// Whole days between the two dates' file times, both ends counted.
int days_between(int first, int second) {
  return (int)(date_days(second) - date_days(first)) + 1;
}

int add_days(int date, int days) {
  return seconds_to_date((date_days(date) + days) * KV_SECONDS_PER_DAY);
}

int add_date_interval(int date, int interval) {
  int y = date / 10000, m = (date / 100) % 100, d = date % 100;
  if (m < 1 || m > 12) return date;
  int iy = interval / 10000, im = (interval / 100) % 100, id = interval % 100;
  d += id;
  if (d > days_in_month(y, m)) {
    d -= days_in_month(y, m);
    if (++m > 12) {
      m = 1;
      y++;
    }
  }
  m += im;
  while (m > 12) {
    m -= 12;
    y++;
  }
  y += iy;
  if (d > days_in_month(y, m)) {
    d = 1;
    if (++m > 12) {
      m = 1;
      y++;
    }
  }
  return y * 10000 + m * 100 + d;
}

int day_of_week(int year, int month, int day) {
  int64_t days = days_from_epoch(year, month, day);
  // 1 January 1970 was a Thursday, 5 in this numbering.
  return (int)(((days + 5) % 7 + 7) % 7);
}

int is_weekend(int date) {
  int w = day_of_week(date / 10000, (date / 100) % 100, date % 100);
  return w == 0 || w == 1;
}

// Values above the largest yyyymmdd are seconds since 1970.
static int as_date(int64_t v) {
  return v > 99991231 ? seconds_to_date(v) : (int)v;
}

int is_holiday(int64_t date_or_seconds) {
  if (g_holidays_off) return 0;
  int date = as_date(date_or_seconds);
  for (int i = 0; exchange_holidays[i]; i++)
    if (exchange_holidays[i] == date) return 1;
  return 0;
}

int trading_days_between(int64_t first, int64_t second) {
  int a = as_date(first), b = as_date(second);
  int n = days_between(a, b);
  if (n < 0) return 0;
  int count = n;
  int64_t day = date_to_seconds(b, 0);
  for (int i = 0; i < n; i++, day -= KV_SECONDS_PER_DAY) {
    int d = seconds_to_date(day);
    if (is_weekend(d) || is_holiday(d)) count--;
  }
  return count;
}

int today_date(int local) {
  return seconds_to_date(local ? kv_now_local_seconds() : kv_now_utc_seconds());
}

int now_time_of_day(int local) {
  return kv_time_of_day(local ? kv_now_local_seconds() : kv_now_utc_seconds());
}

const char *weekday_name(int64_t seconds) {
  int64_t days = kv_day_number(seconds);
  return weekday_abbrev[((days + 5) % 7 + 7) % 7];
}

int64_t date_to_seconds(int date, int seconds_of_day) {
  return date_days(date) * KV_SECONDS_PER_DAY + seconds_of_day;
}

void split_seconds(int64_t seconds, int *year, int *month, int *day, int *hour, int *minute,
                   int *second) {
  int64_t days = kv_day_number(seconds);
  int rest = kv_time_of_day(seconds);
  int y, m, d;
  civil_from_days(days, &y, &m, &d);
  if (year) *year = y;
  if (month) *month = m;
  if (day) *day = d;
  if (hour) *hour = rest / 3600;
  if (minute) *minute = (rest / 60) % 60;
  if (second) *second = rest % 60;
}

int seconds_to_date(int64_t seconds) {
  int y, m, d;
  split_seconds(seconds, &y, &m, &d, nullptr, nullptr, nullptr);
  return y * 10000 + m * 100 + d;
}

int seconds_year(int64_t seconds) {
  int y;
  split_seconds(seconds, &y, nullptr, nullptr, nullptr, nullptr, nullptr);
  return y;
}

int seconds_month(int64_t seconds) {
  int m;
  split_seconds(seconds, nullptr, &m, nullptr, nullptr, nullptr, nullptr);
  return m;
}
