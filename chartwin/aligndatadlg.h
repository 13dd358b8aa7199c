// CAlignDataDlg: the "Align Data Points" dialog, the custom alignment point
// of a percent chart: a fixed date and time, or a number of days back.
//
// The date is shown in the user's date style and read back in that style;
// "# Days Back" is a 16-bit count and is refused outside 0-32,767.
#pragma once

#include <QString>

#include "platform/qt/dialog.h"

struct ChartSettings;

enum : int {
  IDD_ALIGN_DATA = 338,
  IDC_ALIGN_DATE_RADIO = 1779,  // alignment index 0: at the date and time
  IDC_ALIGN_DAYS_RADIO = 1780,  // alignment index 1: days back
  IDC_ALIGN_DATE = 1775,
  IDC_ALIGN_TIME = 1776,
  IDC_ALIGN_DAYS_BACK = 1778,
};

class CAlignDataDlg : public KvDialog {
 public:
  explicit CAlignDataDlg(ChartSettings* settings, QWidget* parent = nullptr);

 protected:
  bool OnInitDialog() override;
  void OnOK() override;

 private:
  ChartSettings* m_settings;
  QString m_shown_date;  // the date text as shown
};
