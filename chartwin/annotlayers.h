// The chart view's annotation editor and alert overlay behind the
// chartlayers.h interfaces; install_chart_layer_hooks() (chartlayers.h) sets
// the factories at start-up and every chart view then owns one of each.
#pragma once

#include "chart/annotview.h"
#include "chartwin/chartlayers.h"

class CAlertLinesOverlay;

// How new lines are drawn: kind, colour, style and snap chosen on the
// Draw menu and toolbar; shared by every chart window.
extern annot_draw_state g_annot_draw;

// The objects behind a view's layers (null when the view has none).
CKvAnnotView* chart_annot_editor(ChartAnnotLayer* layer);
CAlertLinesOverlay* chart_alert_overlay(ChartAlertLayer* layer);
