// CPane: the pane container of a chart-like window (chart, horse race,
// price/volume distribution). It splits the client area into one to four
// panes separated by six-pixel splitters, lays out each shown pane, binds
// each pane's two vertical scales to its contents, draws the splitters and
// the panes, and converts mouse points for its owner. It is the only way
// into CBasicChart from outside the chart engine.
//
// The scale sources (the label list of each side of each pane slot) belong
// to the container: the chart record is shared by every window of the
// symbol. Every pointer held here is borrowed from the owning view.
#pragma once

#include <cstdint>

#include "chart/basicchart.h"

struct ChartSettings;
struct axis_scale;
struct chart_rec;
struct mqt;
class KvCanvasView;

// Splitter bits of the hit-test word; the low three bits hold the pane slot.
enum : uint32_t {
  HIT_SPLITTER12 = 0x10,
  HIT_SPLITTER23 = 0x20,
  HIT_SPLITTER34 = 0x40,
  HIT_SLOT_MASK = 0x7
};

class CPane {
 public:
  CPane() = default;

  void SetChartData(chart_rec** chart, int* overlay_count, chart_rec** overlays);
  void SetHRaceList(hrace_list* list) { hrace = list; }
  void SetPVDData(pvd_record* record);
  // The owner's canvas stands for its window: its scroll information
  // picks the visible bars of every pane.
  void AttachWindow(ChartSettings* settings, uint32_t* view_flags, KvCanvasView* owner);

  void CalcPaneRects(const KvRect& client, int label_mode, int layout_value);
  void CalcLayouts(KvDC* dc);
  int InitBC(const KvRect& rect, int slot, int header_on, int time_axis_on);
  void Attach3(int slot);

  void HitTest(int x, int y, uint32_t* word) const;
  int PaneFromPoint(int x, int y) const;
  int OnSplitter12(int x, int y) const;
  int OnSplitter23(int x, int y) const;
  int OnSplitter34(int x, int y) const;
  void MoveSplitters(float f12, float f23, float f34);

  void Draw(KvDC* dc);
  int DrawLastPoint(KvDC* dc);
  // The bid/ask bar and the quote line of the first shown price pane.
  void DrawBidAskBar(KvDC* dc, const mqt* quote);
  void DrawQuoteHeader(KvDC* dc, const mqt* quote);

  int getChartDataRectWidth(int labels);
  void getChartDataRect(int labels, KvRect* rect);
  void clearChartDataRect();
  void getEventsRect(KvRect* rect) const;
  // The alert-line area, the graphical-trading area and its status strip of
  // the last shown pane whose content shares a bit with content; empty for
  // content -1 or no such pane.
  void getActiveAlertsRect(int content, KvRect* rect) const;
  void getActiveGrTradeRect(int content, KvRect* rect) const;
  void getGrTradeStatRect(int content, KvRect* rect) const;

  int PointToBar(int slot, int x, int y) const;
  float PointToPrice(int slot, int x, int y) const;
  const char* PointToSymbol(int slot, int x, int y) const;
  double PriceToY(int slot, double price) const;
  int32_t PointToBarTime(int slot, int x, int y) const;
  // Redraws the distribution's range and last-price marker (quote updates).
  void UpdatePVD(KvDC* dc);
  // Volume of the distribution row under the point (pane slot 0), -1 for none.
  int PointToPVDRow(int x, int y) const;
  // The three values the first price pane recorded while drawing the horse race.
  void GetHRaceHitInfo(int* a, int* b, int* c) const;

  // Scale source of a side (0 left, 1 right) of a pane slot, or null.
  const axis_scale* scale_source(int slot, int side) const {
    return sources[slot & 3][side ? 1 : 0];
  }

  CBasicChart panes[4];
  int label_mode = 0;
  int layout_value = 0;
  // The bar time the owner picked as the base of the percent axis's
  // Selected Candle alignment (bits 3-5 of the display flags 4), 0 none;
  // every layout hands it to the panes.
  int32_t selected_time = 0;
  KvDC* dc = nullptr;
  ChartSettings* settings = nullptr;
  chart_rec** chart_ref = nullptr;
  int* overlay_count = nullptr;
  chart_rec** overlays = nullptr;
  hrace_list* hrace = nullptr;
  uint32_t* view_flags = nullptr;
  pvd_record* pvd_data = nullptr;
  KvCanvasView* owner = nullptr;

 private:
  chart_rec* chart() const { return chart_ref ? *chart_ref : nullptr; }
  void SaveSplits(int count);
  void RestoreSplits(int count);
  void DrawSplitter(const KvRect& r);
  void AssignScale(int slot, int content, int side, int second_side);
  void AssignStudyScale(int slot, int group, int preferred);
  int FindStudyOfGroup(int group) const;
  // The price-label side's scale of a slot with price content, or null.
  const axis_scale* price_scale_of(int slot) const;
  // The last shown slot whose content shares a bit with content, or -1.
  int last_slot_with(int content) const;

  const axis_scale* sources[4][2] = {};
};
