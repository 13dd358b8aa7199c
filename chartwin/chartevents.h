// CEvents: the program's one list of dated events (Events.txt), the
// question which of them fall on a chart bar (used for the event marks of
// the chart engine), and the events pop-up that lists the events of the
// bar under the pointer while the left button is held over the events
// strip. One pop-up object serves every chart view (Popup()).
//
// A bar of an intraday chart spans its unit x 60 seconds (|unit| seconds on
// a seconds chart); events after the last bar use the same span.
#pragma once

#include <cstdint>

#include "chartwin/popupbox.h"
#include "data/events.h"

struct chart_rec;
struct ChartSettings;

class CEvents : public ChartPopupBox {
 public:
  CEvents() : ChartPopupBox("CEvents") {}
  static CEvents& Popup();

  // Builds the lines of the events on bar `index` (absolute; the bar count
  // for the events after the last bar) and places the box.
  void SetUpData(KvCanvasView* view, const ChartSettings* settings, chart_rec* chart, int index,
                 int x, int y);
  int Index() const { return m_index; }

  // Reads Events.txt of the price-data folder (the list is emptied first)
  // and hooks CountBarEvents into the chart engine.
  static int LoadEventsFile();
  static void FreeEvents();
  // Events on bar index; past the last bar the events after it, at most 5.
  static int CountBarEvents(chart_rec* chart, int index);
  // 1 when the event falls on bar index (index == bar count: after the
  // last bar); today is yyyymmdd.
  static int EventOnBar(const chart_rec* chart, int index, const event_rec* ev, int today);

  static event_list s_list;

 private:
  int m_index = -1;
};
