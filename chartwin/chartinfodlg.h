// CChartInfoDlg: the read-only "Chart Info" dialog: what the chart shows
// (names, symbol, contract, time unit, date range, bar and line counts),
// its display switches and the open limit orders of the symbol.
#pragma once

#include <QStringList>

#include "platform/qt/dialog.h"

struct ChartSettings;
class CKvChartDoc;

enum : int { IDD_CHART_INFO = 318, IDC_CHART_INFO_LIST = 1668 };

class CChartInfoDlg : public KvDialog {
 public:
  CChartInfoDlg(const ChartSettings* settings, CKvChartDoc* doc, QWidget* parent = nullptr);

  // The lines the list shows (built on opening).
  static QStringList BuildLines(const ChartSettings* settings, CKvChartDoc* doc);

 protected:
  bool OnInitDialog() override;

 private:
  const ChartSettings* m_settings;
  CKvChartDoc* m_doc;
};
