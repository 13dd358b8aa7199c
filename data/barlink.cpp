// Changed bars passed to the live-quote record; time-unit ratios.
#include "data/barlink.h"

#include <cstdint>
#include <cstdlib>

#include "data/chart.h"
#include "data/dates.h"
#include "platform/locks.h"
#include "quotes/mqt_record.h"

enum { UNIT_1MIN = 1, UNIT_DAILY = 390 };

void sync_bar_to_link(chart_rec *chart, int index) {
  kv_lock guard(g_chart_lock);
  if (!chart || !chart->mqt || !chart->bars) return;
  mqt *rec = chart->mqt;
  int count = chart->header.bar_count;
  if (chart->header.time_unit == UNIT_1MIN) {
    if (index < 0 || index >= count) return;
    const chart_bar &bar = chart->bars[index];
    for (chart_bar &recent : rec->recent_bars)
      if (recent.time == bar.time) {
        recent = bar;
        break;
      }
  } else if (chart->header.time_unit == UNIT_DAILY && count > 0) {
    const chart_bar &last = chart->bars[count - 1];
    if (seconds_to_date(last.time) != rec->day_date) return;
    rec->day_open = rec->day_open2 = last.open;
    rec->day_high = rec->day_high2 = last.high;
    rec->day_low = rec->day_low2 = last.low;
    rec->day_close = rec->day_close2 = last.close;
  }
}

int timeunit_ratio(int smaller, int larger) {
  int64_t a = llabs((int64_t)smaller), b = llabs((int64_t)larger);
  // |code| of a tick or volume unit is its base's size plus N.
  if (is_tick_unit(smaller)) return (int)((b + TU_TICK_BASE) / (a + TU_TICK_BASE));
  if (is_volume_unit(smaller)) return (int)((b + TU_VOLUME_BASE) / (a + TU_VOLUME_BASE));
  if (smaller == 0) return 0;
  return larger / smaller;
}
