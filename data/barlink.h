// A chart's changed bar passed on to its live-quote record, and the ratio of
// two time units.
#pragma once

struct chart_rec;

// Copies bar `index` of a 1-minute chart into the live-quote record's recent
// bar of the same time; for a daily chart whose last bar is the record's
// day, copies that bar's prices into the record's day values.  Takes
// g_chart_lock.
void sync_bar_to_link(chart_rec *chart, int index);
// Bars of unit `smaller` per bar of unit `larger` (tick, volume or time
// units alike); 0 when it cannot be told.
int timeunit_ratio(int smaller, int larger);
