// CChartColorDlg: the "Chart Color Setup" dialog, the twenty colours of a
// chart's settings record. OK writes them back; Cancel changes nothing.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/qt/dialog.h"

struct ChartSettings;
class KvListBox;
class QFrame;

enum : int {
  IDD_CHART_COLOR = 137,
  IDC_COLOR_LIST = 1055,
  IDC_COLOR_PREVIEW = 1078,
  IDC_COLOR_PICK = 1022,
  IDC_COLOR_DEFAULTS = 1061,
  IDC_COLOR_NAME = 1024,
};

class CChartColorDlg : public KvDialog {
 public:
  enum { kItemCount = 20 };
  explicit CChartColorDlg(ChartSettings* settings, QWidget* parent = nullptr);

  // Runs the colour dialog on *color (0x00BBGGRR); false when cancelled.
  // Tests replace it.
  static std::function<bool(uint32_t* color)> s_choose_color;

  static const char* const kItemNames[kItemCount];
  uint32_t ItemColor(int index) const;

 protected:
  bool OnInitDialog() override;
  void OnOK() override;

 private:
  void fill(const ChartSettings& s);
  void pick();
  void set_defaults();
  void show_preview();

  ChartSettings* m_settings;
  KvListBox* m_list = nullptr;
  QFrame* m_preview = nullptr;
};
