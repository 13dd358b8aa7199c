// CChartSetupDlg: the "Setup Chart" dialog of a chart window (symbol, bar
// length, chart type, date range, panes and their items, line width).
//
// The dialog edits the ChartSettings record it is given. The symbol edit
// shows the chart's whole symbol expression (a joined chart's "A+B"); the
// dialog never writes the expression into the record's symbol field, which
// keeps the chart's main symbol however the dialog ends: the caller reads
// Expression() after OK and applies it through the document. On OK the
// record takes the edited values and its changed flag says whether anything
// that needs a reload or relayout differs.
//
// Dates are shown in the user's date style and read back in that same
// style, so an unchanged OK keeps them. Counts are checked: a tick count
// outside 1-999,999,899, a volume count outside 1-1,147,483,647 or a line
// width outside 1-32,767 is refused and the dialog stays open.
#pragma once

#include <QString>

#include "platform/qt/dialog.h"

struct ChartSettings;
class KvComboBox;

enum : int {
  IDD_CHART_SETUP = 149,
  IDC_SETUP_FAVORITE = 1024,
  IDC_SETUP_COMPANY = 1154,
  IDC_SETUP_SYMBOL = 1052,
  IDC_SETUP_TIMESPAN = 1031,
  IDC_SETUP_CHARTTYPE = 1051,
  IDC_SETUP_USE_DEFAULT = 1209,
  IDC_SETUP_START = 1032,
  IDC_SETUP_END = 1033,
  IDC_SETUP_TOP_VISIBLE = 1062,
  IDC_SETUP_MIDDLE_VISIBLE = 1064,
  IDC_SETUP_BOTTOM_VISIBLE = 1063,
  IDC_SETUP_TOP_FIRST = 1036,     // 1036-1040 top pane items
  IDC_SETUP_MIDDLE_FIRST = 1041,  // 1041-1045
  IDC_SETUP_BOTTOM_FIRST = 1046,  // 1046-1050
  IDC_SETUP_SCALING = 1261,
  IDC_SETUP_UNITS = 1474,
  IDC_SETUP_LINE_WIDTH = 1217,
};

// Settings flag bits that mark the stored start dates (daily, weekly,
// monthly) and the end date as the chart's own.
enum : uint32_t { CS_OWN_START_DAILY = 0x1, CS_OWN_END = 0x8, CS_OWN_DATES = 0xF };

class CChartSetupDlg : public KvDialog {
 public:
  CChartSetupDlg(ChartSettings* settings, const QString& expression, QWidget* parent = nullptr);

  // The symbol expression typed, in upper case (valid after OK).
  QString Expression() const { return m_expression; }

  static const int kSpanUnits[17];
  static const char* const kSpanNames[17];
  static const char* const kChartTypeNames[11];

 protected:
  bool OnInitDialog() override;
  void OnOK() override;

 private:
  void fill_units(int unit);
  void on_span_changed();
  void check_pane(int pane);
  int selected_unit() const;
  void show_dates(int unit);

  ChartSettings* m_settings;
  QString m_expression;
  KvComboBox* m_span = nullptr;
  KvComboBox* m_type = nullptr;
  KvComboBox* m_scaling = nullptr;
  KvComboBox* m_units = nullptr;
  QString m_shown_start, m_shown_end;  // the date texts as shown
  int m_shown_start_date = 0, m_shown_end_date = 0;
  int m_exact_unit = 0;  // the chart's own tick or volume unit
  bool m_filling = false;
};

// Index 0-2 of the start date of a bar length (daily, weekly, monthly), or
// -1 for other lengths.
int chart_setup_date_slot(int time_unit);
