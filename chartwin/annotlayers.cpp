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
#include "data/drawdefs.h"
#include "platform/locks.h"
#include "quotes/alerts.h"
#include "settings/settings.h"
#include "shell/app.h"

annot_draw_state g_annot_draw = {0, 255, 0, 0, SNAP_OFF};

namespace {

// The Draw menu's commands and the line kind each one draws.
enum : unsigned { ID_DRAW_NONE = 33231, ID_DRAW_PARALLEL = 33247, ID_ERASE_ALL_LINES = 33008 };
struct draw_kind_command {
  unsigned id;
  int kind;
};
const draw_kind_command kDrawKinds[] = {
    {33230, ANNOT_HOR}, {33229, ANNOT_VER},       {33234, ANNOT_INFINITE}, {33233, ANNOT_FINITE},
    {33232, ANNOT_RAY}, {33240, ANNOT_FIBONACCI}, {33236, ANNOT_CHANNEL},
};
// The snap modes of the Draw menu; exactly one is set.
struct snap_mode_command {
  unsigned id;
  uint32_t mode;
};
const snap_mode_command kSnapModes[] = {{33269, SNAP_OFF}, {33270, SNAP_PRICE}, {33271, SNAP_TICK}};

bool drawing() {
  return (g_annot_draw.flags & ANNOT_DRAWING_ON) != 0;
}

int drawing_kind() {
  return (int)((g_annot_draw.flags & ANNOT_KIND_MASK) >> ANNOT_KIND_SHIFT);
}

// The snap targets (open, high, low, close, VWAP) are the drawing
// preferences'; the menu sets only the mode.
void take_snap_targets() {
  draw_defaults dd;
  draw_defaults_decode(g_settings.PrefDrawDef, &dd);
  g_annot_draw.snap = (g_annot_draw.snap & ~SNAP_TARGETS) | (dd.snap & SNAP_TARGETS);
}

// Typing into a chart stays off while the mouse draws.
void set_drawing(uint32_t flags) {
  g_annot_draw.flags = flags;
  if (!theApp) return;
  if (flags & ANNOT_DRAWING_ON)
    theApp->m_app_flags |= APP_CURSOR_MODE;
  else
    theApp->m_app_flags &= ~APP_CURSOR_MODE;
}

class AnnotLayer : public ChartAnnotLayer {
 public:
  explicit AnnotLayer(CKvChartView* v) : view(v) {
    editor.canvas = v;
    editor.view_flags = &v->m_view_flags;
    editor.pane = &v->Panes();
    editor.draw = &g_annot_draw;
    map_draw_commands();
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
    // Without line drawing the keys are the view's own.
    if (!drawing()) return 0;
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
    take_snap_targets();
  }
  // The Draw menu acts on the editor of the view it is chosen in.
  void map_draw_commands() {
    view->MapCommand(ID_DRAW_NONE, [this] {
      attach();
      // A line just drawn is kept: it is stored while drawing is still on.
      editor.UnselectLine();
      set_drawing(g_annot_draw.flags & ~(ANNOT_DRAWING_ON | ANNOT_KIND_MASK));
      view->m_view_flags &= ~VIEW_PARALLEL_MODE;
      view->Invalidate(true);
    });
    view->MapUpdate(ID_DRAW_NONE, [](KvCmdUI& ui) { ui.SetCheck(!drawing()); });
    for (const draw_kind_command& k : kDrawKinds) {
      view->MapCommand(k.id, [this, k] {
        attach();
        if (drawing())
          editor.UnselectLine();
        else
          editor.ResetLine(0);
        set_drawing((g_annot_draw.flags & ~ANNOT_KIND_MASK) | ANNOT_DRAWING_ON |
                    ((uint32_t)k.kind << ANNOT_KIND_SHIFT));
        view->Invalidate(true);
      });
      view->MapUpdate(k.id,
                      [k](KvCmdUI& ui) { ui.SetCheck(drawing() && drawing_kind() == k.kind); });
    }
    // The next press in the chart copies the selected line through that
    // point: two-point lines and rays.
    view->MapCommand(ID_DRAW_PARALLEL, [this] {
      if (parallel_allowed()) view->m_view_flags |= VIEW_PARALLEL_MODE;
    });
    view->MapUpdate(ID_DRAW_PARALLEL, [this](KvCmdUI& ui) {
      ui.Enable(parallel_allowed());
      ui.SetCheck((view->m_view_flags & VIEW_PARALLEL_MODE) ? 1 : 0);
    });
    // The other charts of the symbol and their lines redraw.
    view->MapCommand(ID_ERASE_ALL_LINES, [this] {
      attach();
      editor.EraseAllLines();
      view->Invalidate(true);
      view->PostInitAllChartAnnotations();
      view->post_draw_named_chart();
    });
    view->MapUpdate(ID_ERASE_ALL_LINES, [this](KvCmdUI& ui) {
      attach();
      ui.Enable(editor.HasStoredLines());
    });
    for (const snap_mode_command& m : kSnapModes) {
      view->MapCommand(m.id,
                       [m] { g_annot_draw.snap = (g_annot_draw.snap & ~SNAP_MODES) | m.mode; });
      view->MapUpdate(
          m.id, [m](KvCmdUI& ui) { ui.SetCheck((g_annot_draw.snap & SNAP_MODES) == m.mode); });
    }
  }
  bool parallel_allowed() const {
    int k = drawing_kind();
    return drawing() && (k == ANNOT_INFINITE || k == ANNOT_FINITE || k == ANNOT_RAY) &&
           editor.SelectedLine() >= 0;
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
    // The scale of the layout this paint just made.
    overlay.TakeScale(view->Panes());
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
    // Outside every pane there is no price (-1 gives none).
    int slot = view->Panes().PaneFromPoint(x, y);
    return overlay.OnChartPress(view->Panes(), slot, x, y);
  }
  int OnLButtonUp(int x, int y) override { return overlay.OnLButtonUp(x, y); }
  // The overlay answers a move with the item under the pointer, -1 for
  // none: only a button or marker under it (or a price being placed) keeps
  // the move from the annotation editor.
  int OnMouseMove(int x, int y) override { return overlay.OnMouseMove(x, y) > 0 ? 1 : 0; }
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
