// Calendar arithmetic, date and time parsing and formatting.
//
// Dates are yyyymmdd integers (day 0 stands for a whole month); times of day
// are seconds since midnight; points in time are seconds since 1 January 1970
// counted as written, without any zone shift.  Every year divisible by 4 is a
// leap year.  Formatting functions write into the caller's buffer, or into a
// static buffer of the function when it passes null (user-interface thread).
#pragma once
#include <cstdint>

extern const char *const month_abbrev[13];   // [0] "oops", [1..12] "Jan".."Dec"
extern const char *const weekday_abbrev[7];  // day_of_week order: "Sat".."Fri"
extern const char *const date_entry_patterns[7];
extern const int exchange_holidays[];  // ended by 0

int is_leap_year(int year);
int days_in_month(int year, int month);
// Maps a two-digit year to a full one: years up to 20 ahead of the current
// year fall in this century, the rest in the previous one.  Others unchanged.
int expand_two_digit_year(int year);

int parse_mdy_date(const char *text);
int parse_date_pattern(const char *text, const char *pattern);
int parse_user_date(const char *text);
// Styles 0-8 as listed with the date-entry patterns; day 0 always style 7.
// A buffer of 16 bytes is enough.
char *format_date(int date, char *buf, int style);
char *format_month_day(int date, char *buf);
int valid_date(int date, int accept_day0);

int parse_time_of_day(const char *text);
char *format_time(int seconds, char *buf);
char *format_hhmm(int seconds, char *buf);

// 100-nanosecond units since 1 January 1601 of that date at 12:00.
int64_t date_to_filetime(int date);
int days_between(int first, int second);
int add_days(int date, int days);
int add_date_interval(int date, int interval);
int is_weekend(int date);
// Values above 99991231 are seconds since 1970.
int is_holiday(int64_t date_or_seconds);
int trading_days_between(int64_t first, int64_t second);

int today_date(int local);
int now_time_of_day(int local);
// 0 Saturday, 1 Sunday, ..., 6 Friday.
int day_of_week(int year, int month, int day);
const char *weekday_name(int64_t seconds);

// Day 0 means the last day of the month.
int64_t date_to_seconds(int date, int seconds_of_day);
void split_seconds(int64_t seconds, int *year, int *month, int *day, int *hour, int *minute,
                   int *second);
int seconds_to_date(int64_t seconds);
int seconds_year(int64_t seconds);
int seconds_month(int64_t seconds);

// The multiquote source's holiday switch: when its code byte is 254 there are
// no holidays.  Set by the quote-source configuration reader.
extern int g_holidays_off;
