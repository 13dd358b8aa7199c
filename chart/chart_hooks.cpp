// The chart panes' hook table, empty until the chart window module starts.
#include "chart/chart_hooks.h"

chart_hooks g_chart_hooks;
