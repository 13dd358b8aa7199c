// Adapters between the chart view's layer steps and the annotation editor
// and alert overlay: each call first points the object at the view's
// current chart, settings and pane container.
#include "chartwin/annotlayers.h"

#include "chart/alertoverlay.h"
#include "chart/pane.h"
#include "chartwin/chartdoc.h"
#include "chartwin/chartlayers.h"
#include "chartwin/chartview.h"
#include "data/chart.h"
#include "data/chartsettings.h"
#include "platform/locks.h"
#include "quotes/alerts.h"

annot_draw_state g_annot_draw = {0, 255, 0, 0, 0};

namespace {

class AnnotLayer : public ChartAnnotLayer {
 public:
  explicit AnnotLayer(CKvChartView* v) : view(v) {
    editor.canvas = v;
    editor.view_flags = &v->m_view_flags;
    editor.pane = &v->Panes();
    editor.draw = &g_annot_draw;
  }
  void InitLines(KvDC&, const KvRect&, uint32_t) override {
    attach();
    // The lines live in the price pane whatever panes are shown.
    view->Panes().getChartDataRect(1, &editor.area);
    editor.InitLines();
  }
  void DrawSelection(KvDC& dc) override {
    attach();
    editor.DrawSelection(dc);
  }
  void DrawButton(KvDC& dc) override {
    attach();
    editor.DrawButton(dc, view->GetClientRect());
  }
  void SetBackground(COLORREF color) override { editor.button_color = color; }
  int Busy() const override { return editor.HasCapture() ? 1 : 0; }
  int OnLButtonDown(int x, int y) override {
    attach();
    return editor.OnLButtonDown(x, y);
  }
  int OnLButtonUp(int x, int y) override { return editor.OnLButtonUp(x, y); }
  int OnMouseMove(int x, int y) override { return editor.OnMouseMove(x, y); }
  int OnKey(int key) override {
    if (key == CHART_KEY_DELETE)
      return editor.DeleteSelectedLine() ? (view->Invalidate(true), 1) : 0;
    if (key == CHART_KEY_ESCAPE) return editor.UnselectLine();
    return 0;
  }

  CKvChartView* view;
  CKvAnnotView editor;

 private:
  void attach() {
    CKvChartDoc* doc = view->GetDocument();
    editor.settings = view->Settings();
    editor.SetChartData(doc ? &doc->m_chart : nullptr);
  }
};

class AlertLayer : public ChartAlertLayer {
 public:
  explicit AlertLayer(CKvChartView* v) : view(v) {
    overlay.canvas = v;
    overlay.view_flags = &v->m_view_flags;
  }
  void Refresh() override {
    attach();
    overlay.TakeScale(view->Panes());
  }
  void DrawLines(KvDC& dc) override {
    attach();
    ChartSettings* s = view->Settings();
    if (!s) return;
    KvRect data, marks;
    view->Panes().getChartDataRect(1, &data);
    view->Panes().getActiveAlertsRect(1, &marks);
    overlay.DrawLines(dc, data, marks, s->alert_colors[0], s->alert_colors[1]);
  }
  void DrawButtons(KvDC& dc) override {
    attach();
    overlay.DrawButtons(dc, view->GetClientRect());
  }
  void SetBackground(COLORREF color) override { overlay.button_color = color; }
  int Busy() const override { return overlay.HasCapture() ? 1 : 0; }
  int OnLButtonDown(int x, int y) override {
    attach();
    if (!overlay.alert) return 0;
    int slot = view->Panes().PaneFromPoint(x, y);
    return overlay.OnChartPress(view->Panes(), slot < 0 ? 0 : slot, x, y);
  }
  int OnLButtonUp(int x, int y) override { return overlay.OnLButtonUp(x, y); }
  int OnMouseMove(int x, int y) override { return overlay.OnMouseMove(x, y); }
  int OnKey(int key) override {
    if (key == CHART_KEY_DELETE && (view->m_view_flags & VIEW_OVER_ALERT)) {
      overlay.CancelDrag();
      view->Invalidate(true);
      return 1;
    }
    if (key == CHART_KEY_ESCAPE && (view->m_view_flags & VIEW_ALERT_PICKED)) {
      overlay.Reset();
      view->Invalidate(true);
      return 1;
    }
    return 0;
  }

  CKvChartView* view;
  CAlertLinesOverlay overlay;

 private:
  void attach() {
    CKvChartDoc* doc = view->GetDocument();
    ChartSettings* s = view->Settings();
    chart_rec* chart = doc ? doc->m_chart : nullptr;
    if (!s || !s->symbol[0]) {
      overlay.alert = nullptr;
      return;
    }
    kv_lock guard(g_chart_lock);
    overlay.alert = find_or_add_alert(s->symbol);
    overlay.quote = chart ? chart->mqt : nullptr;
  }
};

ChartAnnotLayer* make_annot(CKvChartView* v) {
  return new AnnotLayer(v);
}
ChartAlertLayer* make_alerts(CKvChartView* v) {
  return new AlertLayer(v);
}

}  // namespace

void install_chart_layer_hooks() {
  g_chart_layer_hooks.make_annot = make_annot;
  g_chart_layer_hooks.make_alerts = make_alerts;
}

CKvAnnotView* chart_annot_editor(ChartAnnotLayer* layer) {
  auto* a = dynamic_cast<AnnotLayer*>(layer);
  return a ? &a->editor : nullptr;
}

CAlertLinesOverlay* chart_alert_overlay(ChartAlertLayer* layer) {
  auto* a = dynamic_cast<AlertLayer*>(layer);
  return a ? &a->overlay : nullptr;
}
