// Text export: a chart's bars written to a text file in one of the import
// formats of import.cfg, into the export folder.
#pragma once

#include "data/chart.h"

// Writes the chart's bars to <export folder>/<SYMBOL>[suffix].<extension>.
// 1 written, 0 failed (reported through statmsg).
int export_chart_data(chart_rec* chart);
