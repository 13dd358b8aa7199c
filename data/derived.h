// Derived charts: bars computed from a stored chart instead of read from a
// file.  n-minute charts come from the 1-minute chart, n-day charts from the
// daily chart, and tick or volume charts of a multiple of a base unit from
// the base tick or volume chart.
#pragma once

#include "data/chart.h"

// A new unlisted record of n-minute (unit 2-389) or n-day (392-410) bars
// from a 1-minute or daily chart; units 2730 and above give a record with no
// bars.  Null on failure (logged).  The source is not changed.
chart_rec* compress_minute_chart(chart_rec* chart, int time_unit);

// A new listed, read-only tick or volume chart of groups of `factor` base
// bars starting at `first_bar`, with the base's studies created on it.  Only
// for tick and volume bases; null otherwise or on failure.  The new chart
// holds a reference to the base, released when the chart is freed.
chart_rec* compress_tick_chart(chart_rec* base, int factor, int first_bar);
