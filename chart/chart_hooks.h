// Calls from the chart panes into the chart window's modules, which build
// on the chart engine. The window module sets its entries when it starts;
// an entry left null means that module is not running and the step is
// skipped.
#pragma once

struct chart_rec;

struct chart_hooks {
  // Events of the chart's event list that fall on bar index (index may be
  // one past the last bar: events after it); null draws no event marks.
  int (*count_bar_events)(chart_rec* chart, int index);
};
extern chart_hooks g_chart_hooks;
