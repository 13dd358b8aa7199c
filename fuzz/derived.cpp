// Derived charts and time-axis marks over arbitrary bars: every unit of
// n-minute, n-day, tick and volume compression and every density of marks.
// Checks that no bar is invented and that every mark label is terminated.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "data/chart.h"
#include "data/derived.h"
#include "data/timemarks.h"

static void check_marks(chart_rec* c) {
  for (int density = 0; density <= 2; density++) {
    set_time_axis_density(c, density);
    if (!c->axis_marks) continue;
    for (int i = 0; i < c->header.bar_count + c->spare; i++)
      if (c->axis_marks[i].level > 4 || !memchr(c->axis_marks[i].label, 0, 7)) abort();
  }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 8) return 0;
  int32_t units[2];
  memcpy(units, data, 8);
  data += 8;
  size -= 8;
  int n = (int)(size / sizeof(chart_bar));
  chart_rec* src = alloc_chart_rec();
  src->bars = (chart_bar*)calloc((size_t)n + 1, sizeof(chart_bar));
  memcpy(src->bars, data, (size_t)n * sizeof(chart_bar));
  src->header.bar_count = n;
  strcpy(src->header.symbol, "FZ");

  static const int minute_units[] = {2, 5, 13, 26, 389, 392, 393, 410, 2730, 11700};
  for (int unit : minute_units) {
    src->header.time_unit = unit < 390 ? TU_1MIN : TU_DAILY;
    chart_rec* c = compress_minute_chart(src, unit);
    if (!c || c->header.bar_count > n) abort();
    check_marks(c);
    free_chart_data(c);
  }
  // Any unit the input asks for, marks of the source itself, and a
  // compression of the source as a tick or volume base.
  src->header.time_unit = units[0];
  check_marks(src);
  chart_rec* c = compress_minute_chart(src, units[0]);
  if (c && c->header.bar_count > n) abort();
  free_chart_data(c);
  src->base = src;
  chart_rec* t = compress_tick_chart(src, units[1] & 0xFFFF, units[1] >> 16);
  if (t) {
    if (t->header.bar_count > n) abort();
    free_chart_data(t);
  }
  src->base = nullptr;
  free_chart_data(src);
  return 0;
}
