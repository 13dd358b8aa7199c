// Time-axis marks: a level (0 none .. 4 strongest) and a short label for
// every bar of a chart, drawn under the bars by the chart engine.  The label
// density (0, 1 or 2) kept in the chart selects how many labels are shown.
#pragma once

#include "data/chart.h"

// Makes the chart's mark array (bars + spare slots) and marks every bar.
// Returns the number of bars marked, 0 when the array cannot be allocated
// ("calloc failed").
int calc_time_axis_labels(chart_rec* chart);

// Stores the density (0, 1 or 2; others taken as 0) and recomputes the marks.
int set_time_axis_density(chart_rec* chart, int density);
