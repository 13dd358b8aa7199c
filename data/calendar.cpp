// Parsing the weekly economic-calendar page.
#include "data/calendar.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "data/dates.h"
#include "platform/clock.h"

static const struct {
  const char *statistic;
  const char *grade;
} grades[] = {
    {"Treasury Budget", " D"},
    {"Export Prices ex-ag.", " C+"},
    {"Import Prices ex-oil", " C+"},
    {"Retail Sales", " A-"},
    {"Retail Sales ex-auto", " A-"},
    {"Business Inventories", " C-"},
    {"Core CPI", " B+"},
    {"CPI", " B+"},
    {"Initial Claims", " C+"},
    {"Capacity Utilization", " B-"},
    {"Industrial Production", " B-"},
    {"Building Permits", " B-"},
    {"Housing Starts", " B-"},
    {"Leading Indicators", " D-"},
    {"Core PPI", " B-"},
    {"PPI", " B-"},
    {"Existing Home Sales", " C"},
    {"Productivity-Prel", " D+"},
    {"Consumer Credit", " D-"},
    {"Wholesale Inventories", " D-"},
    {"Trade Balance", " C+"},
    {"Consumer Confidence", " B-"},
    {"GDP-Adv.", " B"},
    {"Chicago PMI", " B"},
    {"Auto Sales", " C-"},
    {"Truck Sales", " C-"},
    {"Personal Income", " C+"},
    {"PCE Core Inflation", " C+"},
    {"Construction Spending", " D"},
    {"Average Workweek", " A"},
    {"Hourly Earnings", " A"},
    {"Nonfarm Payrolls", " A"},
    {"Unemployment Rate", " A"},
    {"Factory Orders", " D+"},
    {"Durable Orders", " B"},
    {"New Home Sales", " C+"},
};

const char *lookup_event_text(const char *statistic) {
  if (!statistic) return "";
  for (const auto &g : grades)
    if (strcmp(g.statistic, statistic) == 0) return g.grade;
  return "";
}

// First occurrence of needle (length n) in [p, end), compared without
// regard to case; null when none.
static const char *find_in(const char *p, const char *end, const char *needle) {
  size_t n = strlen(needle);
  for (; p && (size_t)(end - p) >= n; p++)
    if (strncasecmp(p, needle, n) == 0) return p;
  return nullptr;
}

// Appends the text of [p, end) up to the next "<" to cell (length *len,
// capacity size), control characters as blanks.  Returns where it stopped.
static const char *take_text(const char *p, const char *end, char *cell, size_t size, size_t *len) {
  for (; p < end && *p != '<'; p++) {
    if (*len + 1 >= size) continue;  // cut: keep scanning to the cell's end
    unsigned char c = (unsigned char)*p;
    cell[(*len)++] = (c < 32 || c == 127) ? ' ' : (char)c;
  }
  cell[*len] = 0;
  return p;
}

// "<a" followed by a blank or ">" opens a link.
static int is_link(const char *p, const char *end) {
  return end - p >= 3 && p[0] == '<' && (p[1] == 'a' || p[1] == 'A') &&
         (p[2] == ' ' || p[2] == '>' || p[2] == '\t' || p[2] == '\r' || p[2] == '\n');
}

int next_table_cell(const char **cursor, const char *end, char *cell, size_t size) {
  if (!cell || size == 0) return 0;
  cell[0] = 0;
  if (!cursor || !*cursor || *cursor >= end) {
    if (cursor) *cursor = end;
    return 0;
  }
  const char *p = find_in(*cursor, end, "<td");
  if (p) p = (const char *)memchr(p + 3, '>', end - (p + 3));
  if (!p) {
    *cursor = end;
    return 0;
  }
  p++;
  size_t len = 0;
  p = take_text(p, end, cell, size, &len);
  if (is_link(p, end)) {
    const char *close = (const char *)memchr(p, '>', end - p);
    p = close ? take_text(close + 1, end, cell, size, &len) : end;
  }
  *cursor = p;
  // Trim blanks on both sides.
  size_t start = 0;
  while (start < len && cell[start] == ' ') start++;
  while (len > start && cell[len - 1] == ' ') len--;
  memmove(cell, cell + start, len - start);
  len -= start;
  cell[len] = 0;
  return (int)len;
}

// Month of a date cell: the first of "Jan" ... "Dec" the cell contains.
static int cell_month(const char *cell) {
  for (int m = 1; m <= 12; m++)
    if (strstr(cell, month_abbrev[m])) return m;
  return 0;
}

// The day number from the cell's fifth character ("Mar 15"); 0 when none.
static int cell_day(const char *cell) {
  if (strlen(cell) < 5 || !isdigit((unsigned char)cell[4])) return 0;
  int day = 0;
  for (const char *p = cell + 4; isdigit((unsigned char)*p) && day < 100; p++)
    day = day * 10 + (*p - '0');
  return day;
}

int parse_calendar_page(const char *page, size_t len, int year, char *out, size_t size) {
  if (!page || !out || size == 0) return -1;
  const char *end = page + len;
  const char *head = find_in(page, end, "Briefing Forecast");
  if (!head) return -1;
  size_t used = strnlen(out, size - 1);
  out[used] = 0;
  const char *rows = find_in(head, end, "</tr>");
  if (!rows) return 0;
  rows += 5;
  const char *rows_end = (const char *)memchr(rows, '\n', end - rows);
  if (!rows_end) rows_end = end;
  if (year < 1 || year > 9999) return 0;

  char date[CALENDAR_CELL_MAX], time[CALENDAR_CELL_MAX], stat[CALENDAR_CELL_MAX],
      period[CALENDAR_CELL_MAX];
  char skip[CALENDAR_CELL_MAX];
  char line[3 * CALENDAR_CELL_MAX];
  int lines = 0;
  const char *cur = rows;
  while (cur < rows_end) {
    next_table_cell(&cur, rows_end, date, sizeof date);
    int month = cell_month(date);
    int day = cell_day(date);
    if (!month || day < 1 || day > days_in_month(year, month)) break;
    next_table_cell(&cur, rows_end, time, sizeof time);
    next_table_cell(&cur, rows_end, stat, sizeof stat);
    next_table_cell(&cur, rows_end, period, sizeof period);
    // A cell that ran to the end of the text was cut (a page cut short):
    // the row is not written.
    if (cur >= rows_end || *cur != '<') break;
    for (int i = 0; i < 5; i++) next_table_cell(&cur, rows_end, skip, sizeof skip);
    // A time that is not one (blank, "TBA") stands for the whole day.
    int seconds = parse_time_of_day(time);
    if (seconds < 0 || seconds >= KV_SECONDS_PER_DAY) seconds = 0;
    int n = snprintf(line, sizeof line, "%02d/%02d/%04d,%02d:%02d,,,%s %s%s\r\n", month, day, year,
                     seconds / 3600, seconds / 60 % 60, stat, period, lookup_event_text(stat));
    if (n < 0 || (size_t)n >= sizeof line || used + n >= size) break;
    memcpy(out + used, line, n + 1);
    used += n;
    lines++;
  }
  return lines;
}
