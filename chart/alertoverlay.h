// CAlertLinesOverlay: the price alerts of a chart window's symbol, drawn
// over the chart and set with the mouse. Each enabled alert of the symbol's
// alert record (quotes/alerts.h) is a horizontal line across the data area
// with a 15 x 15 marker in the pane's alert strip; two buttons at the
// bottom-right corner of the view pick the high or the low alert, and the
// next press in the chart sets it at the price under the pointer, shown in
// a small box while the button is held.
//
// It has no window: the chart view owns one, hands it its flag word, the
// alert record and live-quote record of its symbol and its scale, calls
// DrawLines and DrawButtons from its paint and forwards its mouse and the
// Delete and Escape keys. The price box is drawn outside the paint into
// the view's backing image (a client DC of `canvas`, or `backing`).
//
// The quote thread tests the alert records: they are read and written
// under g_chart_lock, and every change raises g_alerts_changed so that the
// alert file is written.
#pragma once

#include <QImage>
#include <cstdint>
#include <memory>

#include "platform/qt/dc.h"

class CPane;
class KvCanvasView;
struct alert_rec;
struct mqt;

// Chart view flag bits the overlay keeps.
enum : uint32_t {
  VIEW_PRICE_BOX = 0x4000,
  VIEW_OVER_ALERT = 0x20000,
  VIEW_PLACING_ALERT = 0x40000,
  VIEW_ALERT_PICKED = 0x80000,
  VIEW_HIGH_PICKED = 0x100000,
  VIEW_LOW_PICKED = 0x200000,
};

class CAlertLinesOverlay {
 public:
  CAlertLinesOverlay();
  ~CAlertLinesOverlay();

  // Links set by the chart view (borrowed).
  uint32_t* view_flags = nullptr;
  alert_rec* alert = nullptr;  // null: the overlay draws and handles nothing
  const mqt* quote = nullptr;  // the symbol's live-quote record, or null
  COLORREF button_color = 0xFFFFFF;
  KvCanvasView* canvas = nullptr;
  QImage* backing = nullptr;
  KvRect client;  // the view's client area (also set by DrawButtons)

  // The scale, set whenever the view lays out its panes.
  double axis_min = 0;
  double pixels_per_unit = 0;
  double tick_size = 0;
  int percent_mode = 0;
  double percent_base = 0;

  // Takes the scale of the pane container's first price pane (the view
  // calls it whenever it lays out its panes).
  void TakeScale(const CPane& pane);
  void Reset();
  void SetAlert(float price, float axis_min, float pixels_per_unit, double tick_size);
  // The view's press in the chart: the price under the pointer in the
  // pane's slot (a percent axis gives the price it stands for; a pane
  // without prices gives none), rounded to the tick, then OnLButtonDown.
  int OnChartPress(const CPane& pane, int slot, int x, int y);
  int HitTest(int x, int y);
  int OnLButtonDown(int x, int y);
  int OnLButtonUp(int x, int y);
  int OnMouseMove(int x, int y);
  void DrawButtons(KvDC& dc, const KvRect& client_rect);
  void DrawLines(KvDC& dc, const KvRect& data, const KvRect& marker_area, COLORREF high_color,
                 COLORREF low_color);
  // The Delete key: removes the alert under the pointer.
  void CancelDrag();

  bool HasCapture() const { return captured; }
  int Item() const { return item; }
  const KvRect& BoxRect() const { return box_rect; }
  const KvRect& HighMarker() const { return high_marker_rect; }
  const KvRect& LowMarker() const { return low_marker_rect; }
  const KvRect& ButtonRect() const { return button_rect; }

 private:
  uint32_t flags() const { return view_flags ? *view_flags : 0; }
  void set_flags(uint32_t bits) {
    if (view_flags) *view_flags |= bits;
  }
  void clear_flags(uint32_t bits) {
    if (view_flags) *view_flags &= ~bits;
  }
  std::unique_ptr<KvDC> ClientDC();
  void Recolour();
  void ShowPriceBox(float price);
  void HidePriceBox();
  void SetPickedAlert(int bit);

  int item = 0;
  float ref_price = 0, new_price = 0;
  KvPoint press_point{-1, -1}, current_point{-1, -1};
  KvPoint hover_point{-1, -1};  // where the pointer was last seen
  KvRect box_rect;
  QImage box_saved;
  KvRect button_rect;
  KvRect high_marker_rect, low_marker_rect;
  COLORREF last_button_color = 0xFFFFFF;
  QImage high_on, low_on, high_off, low_off;
  bool captured = false;
};
