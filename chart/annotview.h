// CKvAnnotView: the editor of the user-drawn lines of a chart window's price
// pane. It draws, selects, moves, reshapes, snaps, copies in parallel and
// deletes straight lines kept as the chart's extension blocks (one 128-byte
// line record each, chart/linerec.h), which the price-file writer stores.
// The pane draws the stored lines (chart/annotations.cpp); this object
// draws only the line being drawn or the selected one, in inverted ink and
// in the feedback colour, with its handles.
//
// It has no window: the chart view owns one, gives it its pane container,
// settings, flag word and bar-spacing word, calls InitLines, DrawSelection
// and DrawButton from its paint, and forwards its mouse and keys. Rubber
// bands and handles are drawn outside the paint into the view's backing
// image (a client DC of `canvas`, or `backing` where there is no view).
//
// Line records belong to the chart; every change of the chain runs under
// g_chart_lock.
#pragma once

#include <QImage>
#include <cstdint>
#include <memory>

#include "chart/linerec.h"
#include "platform/qt/dc.h"

class CPane;
class KvCanvasView;
struct ChartSettings;
struct chart_bar;
struct chart_extension;
struct chart_rec;

// The application's drawing state that the Draw menu and the drawing
// toolbar set; the chart view hands the editor a pointer to it.
struct annot_draw_state {
  uint32_t flags;  // ANNOT_DRAWING_ON; bits 10-13 the line kind being drawn
  COLORREF color;  // colour of new lines
  int32_t style;   // line style 0-9 of new lines
  int32_t value;   // fourth drawing value, copied into new lines
  uint32_t snap;   // SNAP_* bits
  int32_t width;   // pen width of new lines; 0: the style's width from the drawing defaults
};

enum : uint32_t {
  ANNOT_DRAWING_ON = 0x200,
  ANNOT_KIND_SHIFT = 10,
  ANNOT_KIND_MASK = 0xF << 10,
};

// Snap targets and modes.
enum : uint32_t {
  SNAP_OPEN = 0x01,
  SNAP_HIGH = 0x02,
  SNAP_LOW = 0x04,
  SNAP_CLOSE = 0x08,
  SNAP_VWAP = 0x10,  // the previous bar's volume-weighted price
  SNAP_OFF = 0x20,
  SNAP_PRICE = 0x40,
  SNAP_TICK = 0x80,
  SNAP_TARGETS = 0x1F,  // set on the drawing preferences
  SNAP_MODES = 0xE0,    // one of them set by the Draw menu
};

// Chart view flag bits the editor reads and keeps.
enum : uint32_t {
  VIEW_IN_ANNOT_AREA = 0x80,
  VIEW_PARALLEL_MODE = 0x400000,
};

// Lines shown at most (slots 1-98); a chart with more gets one notice.
enum { ANNOT_SLOTS = 100, ANNOT_MAX_SHOWN = 98 };

// The price of the bar (or, for SNAP_VWAP, of the previous bar; the first
// bar's open when there is none) nearest to p among the targets set in snap;
// on a tie the later target in the order open, high, low, close, previous
// wins. p itself when no target is set.
double annot_snap_to_bar(const chart_bar* bar, const chart_bar* prev, double p, uint32_t snap);
// p on the tick grid: n = trunc(p / tick), n x tick, or (n + 1) x tick when
// more than half a tick lies above it. p unchanged without a usable tick.
double annot_snap_to_tick(double p, double tick);

class CKvAnnotView {
 public:
  CKvAnnotView();
  ~CKvAnnotView();

  // Links set by the chart view (all borrowed).
  void SetChartData(chart_rec** chart) { chart_ref = chart; }
  chart_rec** chart_ref = nullptr;
  uint32_t* view_flags = nullptr;
  CPane* pane = nullptr;
  ChartSettings* settings = nullptr;
  const annot_draw_state* draw = nullptr;
  COLORREF button_color = 0xFFFFFF;
  KvRect area;  // the price pane's data area
  // Low byte pitch, bits 20-25 centre; null: the price pane's own.
  const uint32_t* spacing_ref = nullptr;
  KvCanvasView* canvas = nullptr;  // drawing outside the paint goes here,
  QImage* backing = nullptr;       //   else into this image

  // Paint steps.
  void InitLines();
  void DrawSelection(KvDC& dc);
  void DrawButton(KvDC& dc, const KvRect& client);
  int IsOverButton(int x, int y) const;

  // Operations. The mouse ones return 1 when handled, 0 when the view is
  // to handle the event itself.
  int OnLButtonDown(int x, int y);
  int OnLButtonUp(int x, int y);
  int OnMouseMove(int x, int y);
  void ResetLine(int reload);
  int UnselectLine();
  int DeleteSelectedLine();
  void EraseAllLines();

  // Whether the editor holds the mouse (between a press it took and the release).
  bool HasCapture() const { return captured; }
  int SelectedLine() const { return selected; }
  // Whether the chart holds a stored line (not one just being drawn).
  bool HasStoredLines() const;

  // One shown line: slot 0 is the work slot, 1-98 the stored lines.
  struct line_slot {
    uint32_t flags = 1;  // bit 0 free
    int bar1 = 0, bar2 = 0;
    int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    int mid_x = 0, mid_y = 0;
    KvRect from_handle, to_handle, mid_handle;
    QImage from_save, to_save, mid_save;
    chart_extension* ext = nullptr;  // the stored block shown (work slot: the selected one)
    line_record rec = {};            // its fields (the work slot uses work_line)
  };
  const line_slot& Slot(int i) const { return line_slots[i]; }
  const line_record& WorkLine() const { return work_line; }
  int LineCount() const { return line_count; }
  int State() const { return state; }

  // Steps (public for the tests of their geometry).
  void MovCEToLine(int index, const line_record* record);
  int MovLineToCE(int index);
  void CalcHandles(int index);
  void DrawLine(KvDC& dc);
  void InvertLine(KvDC& dc);
  void DrawHandles(KvDC& dc);
  void EraseHandles(KvDC& dc);
  int LineUnderPoint(int x, int y) const;
  int HandleUnderPoint(int x, int y) const;
  int SnapPoint(int x, int y);

 private:
  enum : int { ST_SELECTED = 0x01, ST_TRACKING = 0x02, ST_OVER_HANDLE = 0x08, ST_MOVING = 0x10 };
  chart_rec* chart() const { return chart_ref ? *chart_ref : nullptr; }
  bool drawing_on() const { return draw && (draw->flags & ANNOT_DRAWING_ON); }
  int price_slot() const;
  int price_row(double price) const;
  line_record& rec(int index) { return index == 0 ? work_line : line_slots[index].rec; }
  std::unique_ptr<KvDC> ClientDC();
  void NewLine();
  void SelectLine(int index);
  void UpdateLine(int index);
  chart_extension* StoreLine();
  int CommitWorkLine();
  int MoveStaysInside(int dx, int dy) const;
  void MakeParallelLine(KvDC& dc, int x, int y);
  void WriteSelectedFlag(chart_extension* ext, int on);
  void SwapWorkPoints();

  line_slot line_slots[ANNOT_SLOTS];
  line_record work_line = {};
  int selected = -1;
  int line_count = 1;
  int state = 0;
  int handle = -1;
  int hover = -1;
  KvRect button_rect;
  COLORREF last_button_color = 0xFFFFFF;
  QImage button_bitmap;
  bool captured = false;
  // The chart and line count the "Too many lines" notice was posted for.
  const chart_rec* noticed_chart = nullptr;
  int noticed_count = -1;
};
