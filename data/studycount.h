// Number of studies on a chart.
#pragma once

struct chart_rec;

// Studies in the chart's study list (0 for no chart).  Takes g_chart_lock.
int chart_study_count(const chart_rec *chart);
