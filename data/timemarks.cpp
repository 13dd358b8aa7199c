// Time-axis marks of a chart's bars.
#include "data/timemarks.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "data/dates.h"
#include "data/statmsg.h"
#include "platform/locks.h"
#include "platform/clock.h"

enum { NINE_THIRTY = 34200 };

// Steps of mark levels 1-4 and the label step at densities 0, 1, 2 (0: no
// labels, the unit is marked by days at that density) for the bar lengths
// whose marks follow the time of day.  `alt` holds the level steps that
// differ at density 0 (0 = same as `steps`).
struct time_mark_steps {
  int unit;
  int steps[4];
  int alt[4];  // level steps at density 0 when they differ
  int label[3];
};

static const time_mark_steps time_steps[] = {
    {1, {60, 300, 600, 1800}, {0}, {1800, 600, 600}},
    {2, {120, 600, 1800, 3600}, {0}, {1800, 900, 600}},
    {3, {180, 900, 1800, 3600}, {0}, {3600, 1800, 900}},
    {4, {240, 1200, 1200, 3600}, {0}, {3600, 3600, 1200}},
    {5, {300, 900, 1800, 3600}, {0}, {3600, 3600, 1800}},
    {6, {300, 1800, 1800, 3600}, {360, 1800, 1800, 3600}, {3600, 3600, 1800}},
    {10, {600, 1800, 3600, 7200}, {0}, {0, 7200, 3600}},
    {13, {780, 3900, 3900, 7800}, {0}, {0, 7800, 3900}},
    {15, {900, 1800, 3600, 7200}, {0}, {0, 7200, 3600}},
    {-5, {5, 30, 60, 300}, {5, 30, 60, 120}, {120, 60, 60}},
    {-10, {10, 60, 120, 600}, {10, 60, 300, 900}, {300, 120, 120}},
    {-15, {15, 60, 300, 900}, {0}, {300, 300, 300}},
    {-30, {30, 300, 300, 600}, {30, 300, 300, 900}, {900, 600, 600}},
};

static const time_mark_steps* find_time_steps(int unit) {
  for (const time_mark_steps& s : time_steps)
    if (s.unit == unit) return &s;
  return nullptr;
}

static int bar_date(const chart_bar& bar) {
  return seconds_to_date(bar.time);
}

static void set_mark(time_axis_mark* mark, int level, const char* label) {
  mark->level = (uint8_t)level;
  if (label) snprintf(mark->label, sizeof mark->label, "%s", label);
}

// Minute and second bars marked by the time of day.
static void mark_by_time(chart_rec* chart, const time_mark_steps* s, int density) {
  int unit = chart->header.time_unit;
  const int* steps = density == 0 && s->alt[0] ? s->alt : s->steps;
  int label_step = s->label[density];
  // 13-minute bars run from 9:30, so their marks count from there.
  int offset = chart->session_offset;
  if (unit == 13 && offset == 0) offset = NINE_THIRTY;
  for (int i = 0; i < chart->header.bar_count; i++) {
    time_axis_mark* mark = &chart->axis_marks[i];
    int tod = kv_time_of_day(chart->bars[i].time);
    int t = tod - offset;
    for (int level = 4; level >= 1; level--) {
      if (t % steps[level - 1] == 0) {
        mark->level = (uint8_t)level;
        break;
      }
    }
    if (label_step && t % label_step == 0) {
      char text[16];
      if ((unit == 5 || unit == 6) && density == 0)
        snprintf(text, sizeof text, "%d", tod / 3600);
      else
        format_hhmm(tod, text);
      set_mark(mark, mark->level, text);
    }
  }
}

// Longer intraday bars: the date on the first bar of each day.
static void mark_by_day(chart_rec* chart) {
  int previous = 0;
  for (int i = 0; i < chart->header.bar_count; i++) {
    int date = bar_date(chart->bars[i]);
    if (date == previous) continue;
    previous = date;
    char text[16];
    set_mark(&chart->axis_marks[i], 2, format_month_day(date, text));
  }
}

// Daily, n-day and weekly bars: month names.  named(month) says whether a
// new month shows its name; other_level is the level of the other bars.
static void mark_by_month(chart_rec* chart, int density, int every_month) {
  int previous = 0;
  for (int i = 0; i < chart->header.bar_count; i++) {
    time_axis_mark* mark = &chart->axis_marks[i];
    int month = bar_date(chart->bars[i]) / 100;  // yyyymm
    int m = month % 100;
    if (month == previous) {
      if (every_month || density != 0) mark->level = 1;
      continue;
    }
    previous = month;
    mark->level = 2;
    int named = every_month || density == 2 || (density == 1 && m % 2 == 1) ||
                (density == 0 && (m == 1 || m == 6));
    if (!named || m < 1 || m > 12) continue;
    char text[16];
    if (m == 1)
      snprintf(text, sizeof text, "%s%02d", month_abbrev[m], (month / 100) % 100);
    else
      snprintf(text, sizeof text, "%s", month_abbrev[m]);
    set_mark(mark, 2, text);
  }
}

// Bars of 10 days and more: the year.
static void mark_by_year(chart_rec* chart) {
  int previous = -1;
  for (int i = 0; i < chart->header.bar_count; i++) {
    time_axis_mark* mark = &chart->axis_marks[i];
    int year = bar_date(chart->bars[i]) / 10000;
    if (year == previous) {
      mark->level = 1;
      continue;
    }
    previous = year;
    char text[16];
    snprintf(text, sizeof text, "%d", year);
    set_mark(mark, 2, text);
  }
}

// Tick and volume bars: counted bars.
static void mark_by_count(chart_rec* chart) {
  int n = chart->header.bar_count;
  int label_every = n >= 9995 ? 25 : 10;
  for (int i = 0; i < n; i++) {
    time_axis_mark* mark = &chart->axis_marks[i];
    mark->level = i % 5 == 0 ? 2 : 1;
    if (i % label_every == 0) {
      char text[16];
      // A number that does not fit the label is better left out than cut.
      if (snprintf(text, sizeof text, "%d", i) < (int)sizeof mark->label)
        set_mark(mark, 3, text);
      else
        mark->level = 3;
    }
  }
}

int calc_time_axis_labels(chart_rec* chart) {
  if (!chart) return 0;
  kv_lock guard(g_chart_lock);  // windows draw from the array of a listed chart
  int n = chart->header.bar_count;
  int slots = n + (chart->spare > 0 ? chart->spare : 0);
  time_axis_mark* marks = (time_axis_mark*)calloc(slots > 0 ? slots : 1, sizeof(time_axis_mark));
  if (!marks) {
    statmsg(__FILE__, __LINE__, "calloc failed", nullptr, STATMSG_ERROR);
    return 0;
  }
  free(chart->axis_marks);
  chart->axis_marks = marks;

  int unit = chart->header.time_unit;
  int density = chart->axis_density;
  if (density < 0 || density > 2) density = 0;
  const time_mark_steps* steps = find_time_steps(unit);
  if (is_tick_unit(unit) || is_volume_unit(unit))
    mark_by_count(chart);
  else if (steps && steps->label[density])
    mark_by_time(chart, steps, density);
  else if (unit >= TU_1MIN && unit <= TU_MAX_MINUTES)
    mark_by_day(chart);
  else if (is_seconds_unit(unit))
    mark_by_day(chart);
  else if (unit == TU_DAILY || unit == TU_2DAY)
    mark_by_month(chart, density, 1);
  else if ((unit >= TU_3DAY && unit <= TU_5DAY) || unit == TU_WEEKLY)
    mark_by_month(chart, density, 0);
  else if (unit == TU_10DAY || unit == TU_20DAY || unit == TU_MONTHLY)
    mark_by_year(chart);
  return n;
}

int set_time_axis_density(chart_rec* chart, int density) {
  if (!chart) return 0;
  kv_lock guard(g_chart_lock);
  chart->axis_density = (int16_t)(density >= 0 && density <= 2 ? density : 0);
  return calc_time_axis_labels(chart);
}
