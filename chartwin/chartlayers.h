// The drawn layers of a chart view that live in their own objects: the
// user's annotation lines (with their selection and the erase button) and
// the price-alert lines (with their two buttons).
//
// The chart view calls them at fixed steps of its paint and asks them
// whether a line is being drawn or dragged (data redraws wait meanwhile).
// Their modules set chart_layer_hooks at start-up; a null factory, or a
// factory that returns null, means that layer is not there and nothing of
// it is drawn.  The view owns the objects it was given.
#pragma once

#include <cstdint>

#include "platform/qt/color.h"

class KvDC;
struct KvRect;
class CKvChartView;

class ChartAnnotLayer {
 public:
  virtual ~ChartAnnotLayer() = default;
  // Rebuilds the lines' screen positions for the data rectangle and the
  // bar geometry word of the last layout.
  virtual void InitLines(KvDC& dc, const KvRect& data_rect, uint32_t candle_def) = 0;
  virtual void DrawSelection(KvDC& dc) = 0;
  virtual void DrawButton(KvDC& dc) = 0;
  virtual void SetBackground(COLORREF color) {}
  // Nonzero while a line is being drawn or moved.
  virtual int Busy() const { return 0; }
};

class ChartAlertLayer {
 public:
  virtual ~ChartAlertLayer() = default;
  // The chart's scale changed (after every layout).
  virtual void Refresh() {}
  virtual void DrawLines(KvDC& dc) = 0;
  virtual void DrawButtons(KvDC& dc) = 0;
  virtual void SetBackground(COLORREF color) {}
  // Nonzero while an alert line is dragged.
  virtual int Busy() const { return 0; }
};

struct chart_layer_hooks {
  ChartAnnotLayer* (*make_annot)(CKvChartView* view);
  ChartAlertLayer* (*make_alerts)(CKvChartView* view);
};
extern chart_layer_hooks g_chart_layer_hooks;
