// CDisplayInfo: the candle-information pop-up of a chart view. While the
// left button is held over the price area it lists the bar under the
// pointer (date, time, prices, volume, open interest) and the value of
// every study of the chart at that bar, in the chart's colours.
#pragma once

#include "chartwin/popupbox.h"

struct ChartSettings;
struct chart_rec;
struct StudyDef;
class KvCanvasView;

class CDisplayInfo : public ChartPopupBox {
 public:
  CDisplayInfo() : ChartPopupBox("CDisplayInfo") {}

  // Builds the lines of bar `index` (absolute) of the chart and places the
  // box; symbol is the chart's symbol under the point. Holds g_chart_lock
  // while it reads the chart.
  void SetUpData(KvCanvasView* view, const ChartSettings* settings, chart_rec* chart, int index,
                 float price, int x, int y, const char* symbol);
  int Index() const { return m_index; }

  // The label and value text of one study at bar index; false when the
  // study has no value there.
  static bool StudyLine(const StudyDef* s, int index, QString* label, QString* value);

 private:
  int m_index = -1;
};
