#include "data/dates.h"

#include <gtest/gtest.h>

#include <string>

#include "data/timezone.h"
#include "platform/clock.h"
#include "settings/settings.h"

namespace {

const int64_t JAN_1_2026 = 1767225600;  // 2026-01-01 00:00:00 UTC

// Freezes "now" in 2026: two-digit years up to 46 are 20xx.
class DatesTest : public ::testing::Test {
 protected:
  void SetUp() override { kv_clock_set_utc_ms((JAN_1_2026 + 180 * 86400 + 3600) * 1000); }
  void TearDown() override { kv_clock_reset(); }
};

TEST_F(DatesTest, ParseMdyDate) {
  struct Case {
    const char *text;
    int date;
  } cases[] = {
      {"3/15/07", 20070315},   {"3/15/95", 19950315},
      {"3/15/2019", 20190315}, {"", 0},
      {"03/15/25", 20250315},  // not 1925
      {"1/2/46", 20460102},    {"1/2/47", 19470102},
      {"1/2/00", 20000102},    {"12/31/99", 19991231},
      {"garbage", 0},          {"1/1/2147483647", 0},
      {"99999999/1/2007", 0},  // no date value that large
  };
  for (const Case &c : cases) EXPECT_EQ(parse_mdy_date(c.text), c.date) << c.text;
}

TEST_F(DatesTest, TwoDigitYearsSlideWithTheClock) {
  EXPECT_EQ(expand_two_digit_year(46), 2046);
  EXPECT_EQ(expand_two_digit_year(47), 1947);
  kv_clock_set_utc_ms(int64_t(4102444800) * 1000);  // 2100-01-01
  EXPECT_EQ(expand_two_digit_year(20), 2120);
  EXPECT_EQ(expand_two_digit_year(21), 2021);
  EXPECT_EQ(expand_two_digit_year(1999), 1999);
}

TEST_F(DatesTest, ParseDatePattern) {
  struct Case {
    const char *text, *pattern;
    int date;
  } cases[] = {
      {"03/15/2007", "mm/dd/yyyy", 20070315},
      {"03/15/07", "mm/dd/yy", 20070315},
      {"15/03/2007", "dd/mm/yyyy", 20070315},
      {"15/03/95", "dd/mm/yy", 19950315},
      {"2007/03/15", "yyyy/mm/dd", 20070315},
      {"07/03/15", "yy/mm/dd", 20070315},
      {"15-mar-2007", "dd-mmm-yyyy", 20070315},
      {"15-MAR-2007", "DD-MMM-YYYY", 20070315},
      {"15-Foo-2007", "dd-mmm-yyyy", 20071315},  // unknown month: 13, rejected later
      {"03152007", "mmddyyyy", 20070315},        // fixed widths of the first two fields
      {"3/5/2007", "mm/dd/yyyy", 20070305},
      {"01/01/99999999", "mm/dd/yyyy", 0},  // too large for a date value
  };
  for (const Case &c : cases) EXPECT_EQ(parse_date_pattern(c.text, c.pattern), c.date) << c.text;
  EXPECT_FALSE(valid_date(parse_date_pattern("15-Foo-2007", "dd-mmm-yyyy"), 1));

  g_date_style = 6;
  EXPECT_EQ(parse_user_date("01-Feb-2008"), 20080201);
  g_date_style = 0;
}

TEST_F(DatesTest, FormatDateStyles) {
  struct Case {
    int date, style;
    const char *text;
  } cases[] = {
      {20070315, 0, "03/15/2007"},  {20070315, 1, "03/15/07"},   {20070315, 2, "15/03/2007"},
      {20070315, 3, "15/03/07"},    {20070315, 4, "2007/03/15"}, {20070315, 5, "07/03/15"},
      {20070315, 6, "15-Mar-2007"}, {20070315, 7, "Mar-2007"},   {20070315, 8, "15Mar07"},
      {20070315, 99, "03/15/2007"}, {20070300, 0, "Mar-2007"},   {20070300, 6, "Mar-2007"},
      {70315, 0, "03/15/2007"},     {250315, 6, "15-Mar-2025"},  {20071315, 6, "15-oops-2007"},
  };
  for (const Case &c : cases) {
    char buf[32];
    EXPECT_STREQ(format_date(c.date, buf, c.style), c.text) << c.date << " " << c.style;
  }
  // Styles 0-6 read back with the entry pattern of the same index.
  for (int style = 0; style <= 6; style++)
    EXPECT_EQ(parse_date_pattern(format_date(20070315, nullptr, style), date_entry_patterns[style]),
              20070315)
        << style;
  EXPECT_STREQ(format_month_day(20070315, nullptr), "03/15");
}

TEST_F(DatesTest, ValidDate) {
  struct Case {
    int date, day0, valid;
  } cases[] = {
      {20000229, 0, 1}, {20070229, 0, 0}, {20070300, 0, 0},  {20070300, 1, 1}, {19000101, 0, 1},
      {18991231, 0, 0}, {20501231, 0, 1}, {20510101, 0, 0},  {20071301, 0, 0}, {20070431, 0, 0},
      {20070430, 0, 1}, {20480229, 0, 1}, {-20070101, 0, 0},
  };
  for (const Case &c : cases) EXPECT_EQ(valid_date(c.date, c.day0), c.valid) << c.date;
}

TEST_F(DatesTest, ParseTimeOfDay) {
  struct Case {
    const char *text;
    int seconds;
  } cases[] = {
      {"9:30", 34200}, {"1:15 PM", 47700},  {"12:30pm", 45000},  {"093000", 34200},
      {"9 30", 0},     {"16:00:30", 57630}, {" 9 : 30 ", 34200}, {"0930", 34200},
      {"x", 0},        {"1:2:3:4", 0},      {"99999999:00", 0},
  };
  for (const Case &c : cases) EXPECT_EQ(parse_time_of_day(c.text), c.seconds) << c.text;
  EXPECT_EQ(parse_time_of_day(nullptr), -1);
  EXPECT_STREQ(format_time(34205, nullptr), "09:30:05");
  EXPECT_STREQ(format_hhmm(34205, nullptr), "09:30");
}

TEST_F(DatesTest, DayCounts) {
  EXPECT_EQ(days_between(20070101, 20070101), 1);
  EXPECT_EQ(days_between(20070101, 20070131), 31);
  EXPECT_EQ(days_between(20070103, 20070101), -1);
  EXPECT_EQ(days_between(19691231, 19700101), 2);
  EXPECT_EQ(trading_days_between(20061222, 20061226), 2);
  EXPECT_EQ(trading_days_between(20061226, 20061222), 0);
  // Seconds since 1970 are accepted for either end.
  EXPECT_EQ(trading_days_between(date_to_seconds(20061222, 0), date_to_seconds(20061226, 60)), 2);
  EXPECT_EQ(add_days(20070301, -1), 20070228);
  EXPECT_EQ(add_days(20071231, 1), 20080101);
  EXPECT_EQ(add_days(19700101, -1), 19691231);
  EXPECT_EQ(date_to_filetime(19700101), (11644473600LL + 43200) * 10000000LL);
}

TEST_F(DatesTest, HolidaysAreDatesNotSeconds) {
  EXPECT_TRUE(is_holiday(20061225));
  EXPECT_TRUE(is_holiday(date_to_seconds(20070704, 36000)));
  EXPECT_FALSE(is_holiday(20070705));
  // A date after 2020 is a date, not a number of seconds.
  EXPECT_FALSE(is_holiday(20211225));
  EXPECT_EQ(trading_days_between(20240102, 20240105), 4);
  g_holidays_off = 1;
  EXPECT_FALSE(is_holiday(20061225));
  g_holidays_off = 0;
}

TEST_F(DatesTest, Weekdays) {
  EXPECT_EQ(day_of_week(2000, 1, 1), 0);
  EXPECT_EQ(day_of_week(2007, 3, 15), 5);  // Thursday
  EXPECT_EQ(day_of_week(1969, 12, 31), 4);
  EXPECT_TRUE(is_weekend(20070317));
  EXPECT_TRUE(is_weekend(20070318));
  EXPECT_FALSE(is_weekend(20070319));
  EXPECT_STREQ(weekday_name(946684800), "Sat");
  EXPECT_STREQ(weekday_name(946684800 + 2 * 86400), "Mon");
}

TEST_F(DatesTest, SecondsSince1970) {
  EXPECT_EQ(date_to_seconds(19700101, 0), 0);
  EXPECT_EQ(seconds_to_date(946684800), 20000101);
  EXPECT_EQ(date_to_seconds(20000101, 0), 946684800);
  EXPECT_EQ(date_to_seconds(20070200, 0), date_to_seconds(20070228, 0));
  EXPECT_EQ(date_to_seconds(20080200, 0), date_to_seconds(20080229, 0));
  for (int date : {19691231, 19700101, 19991231, 20000229, 20000301, 20041231, 20381231}) {
    int64_t s = date_to_seconds(date, 45296);
    int y, m, d, h, mi, se;
    split_seconds(s, &y, &m, &d, &h, &mi, &se);
    EXPECT_EQ(y * 10000 + m * 100 + d, date);
    EXPECT_EQ(h * 3600 + mi * 60 + se, 45296);
    EXPECT_EQ(seconds_year(s), date / 10000);
    EXPECT_EQ(seconds_month(s), date / 100 % 100);
  }
}

TEST_F(DatesTest, AddDateInterval) {
  struct Case {
    int date, interval, result;
  } cases[] = {
      {20070131, 100, 20070301},   {20070115, 100, 20070215},  {20071215, 100, 20080115},
      {20070131, 1, 20070201},     {20071231, 1, 20080101},    {20070115, 10000, 20080115},
      {20080229, 10000, 20090301}, {20070115, 1300, 20080215}, {20070130, 105, 20070304},
  };
  for (const Case &c : cases) EXPECT_EQ(add_date_interval(c.date, c.interval), c.result) << c.date;
}

TEST_F(DatesTest, TodayAndNowFollowThePlatformClock) {
  kv_clock_set_local_offset(-5 * 3600);
  kv_clock_set_utc_ms((JAN_1_2026 + 2 * 3600) * 1000);  // 02:00 UTC on 1 January
  EXPECT_EQ(today_date(0), 20260101);
  EXPECT_EQ(today_date(1), 20251231);
  EXPECT_EQ(now_time_of_day(0), 7200);
  EXPECT_EQ(now_time_of_day(1), 21 * 3600);
}

// US-style rule: daylight time from the second Sunday in March 2:00 to the
// first Sunday in November 2:00 (day of week 0 = Sunday).
tz_rule new_york() {
  tz_rule r{};
  r.bias = 300;
  r.standard_date = {0, 11, 0, 1, 2, 0, 0, 0};
  r.daylight_date = {0, 3, 0, 2, 2, 0, 0, 0};
  r.daylight_bias = -60;
  return r;
}

// Southern rule: daylight time from the first Sunday in October to the
// first Sunday in April, bias -600 (UTC+10).
tz_rule sydney() {
  tz_rule r{};
  r.bias = -600;
  r.standard_date = {0, 4, 0, 1, 3, 0, 0, 0};
  r.daylight_date = {0, 10, 0, 1, 2, 0, 0, 0};
  r.daylight_bias = -60;
  return r;
}

TEST_F(DatesTest, TransitionDates) {
  tz_rule ny = new_york();
  struct Case {
    tz_systemtime rule;
    int year, day;
  } cases[] = {
      {ny.daylight_date, 2007, 11},          {ny.standard_date, 2007, 4},
      {ny.daylight_date, 2024, 10},          {ny.standard_date, 2024, 3},
      {{0, 10, 0, 5, 3, 0, 0, 0}, 2007, 28},  // last Sunday of October
      {{0, 2, 5, 5, 0, 0, 0, 0}, 2008, 29},   // last Friday of February in a leap year
  };
  for (const Case &c : cases) EXPECT_EQ(tz_transition_date(c.rule, c.year).day, c.day) << c.year;
  tz_systemtime fixed = {2007, 3, 0, 20, 1, 0, 0, 0};
  EXPECT_EQ(tz_transition_date(fixed, 2030).day, 20);
  EXPECT_EQ(tz_transition_date(fixed, 2030).year, 2007);
}

TEST_F(DatesTest, UtcToExchangeTime) {
  struct Case {
    tz_rule rule;
    int utc_date, utc_time, date, time;
  } cases[] = {
      {new_york(), 20070115, 15 * 3600, 20070115, 10 * 3600},  // winter, UTC-5
      {new_york(), 20070715, 15 * 3600, 20070715, 11 * 3600},  // summer, UTC-4
      {new_york(), 20070101, 3 * 3600, 20061231, 22 * 3600},   // back across the year
      {sydney(), 20070115, 0, 20070115, 11 * 3600},            // southern summer, UTC+11
      {sydney(), 20070715, 0, 20070715, 10 * 3600},            // southern winter, UTC+10
      {sydney(), 20071231, 14 * 3600, 20080101, 3600},
  };
  for (const Case &c : cases) {
    int d = 0, t = 0;
    ASSERT_TRUE(utc_to_exchange_time(c.rule, c.utc_date, c.utc_time, &d, &t));
    EXPECT_EQ(d, c.date) << c.utc_date;
    EXPECT_EQ(t, c.time) << c.utc_date;
  }
  int d, t;
  EXPECT_FALSE(utc_to_exchange_time(new_york(), 20070230, 0, &d, &t));
  tz_rule wild{};  // numbers as a damaged configuration file may give them
  wild.bias = INT32_MAX;
  wild.standard_bias = 60;
  EXPECT_TRUE(utc_to_exchange_time(wild, 20070115, 0, &d, &t));
  EXPECT_EQ(tz_offset_seconds(wild, 0), 0);
  EXPECT_EQ(tz_offset_seconds(new_york(), date_to_seconds(20070715, 0)), -4 * 3600);
  EXPECT_EQ(tz_offset_seconds(sydney(), date_to_seconds(20070115, 0)), 11 * 3600);
  tz_rule plain{};
  plain.bias = -60;  // no daylight time
  EXPECT_EQ(tz_offset_seconds(plain, date_to_seconds(20070715, 0)), 3600);
}

}  // namespace
