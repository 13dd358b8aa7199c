// The Setup Chart dialog driven by control id: values written back, the
// changed flag, refused counts and dates read in the style they were shown in.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <cstring>

#include "chartwin/chartsetupdlg.h"
#include "data/chartsettings.h"
#include "platform/qt/controls.h"
#include "settings/settings.h"
#include "shell/app.h"
#include "shell/tests/shell_fixture.h"

namespace {

class ChartSetupDlgTest : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    default_chart_settings(&s_, 20260105);
    strcpy(s_.symbol, "INTC");
    strcpy(s_.chart_name, "Fixture Corp");
    s_.time_unit = 390;
    s_.line_width = 1;
    s_.use_default_range = 0;
    s_.start_dates[0] = 20250301;
    s_.end_value = 20251231;
    s_.flags |= CS_OWN_START_DAILY | CS_OWN_END;
    for (int p = 0; p < 3; p++) s_.pane_shown[p] = 0;
    s_.pane_shown[0] = 1;
    s_.pane_content[0] = 1;
    s_.pane_content[1] = 2;
    s_.pane_content[2] = 0;
    saved_date_style_ = g_date_style;
  }
  void TearDown() override {
    g_date_style = saved_date_style_;
    ShellTest::TearDown();
  }
  CChartSetupDlg* open(const char* expr = "INTC") {
    dlg_ = std::make_unique<CChartSetupDlg>(&s_, QString::fromLatin1(expr));
    dlg_->EnsureInitialized();
    return dlg_.get();
  }
  void press(int id) { dlg_->Item<QPushButton>(id)->click(); }
  void span(int index) { dlg_->Item<KvComboBox>(IDC_SETUP_TIMESPAN)->SetCurSel(index); }
  int ended() const { return dlg_->result(); }

  ChartSettings s_{};
  std::unique_ptr<CChartSetupDlg> dlg_;
  int saved_date_style_ = 0;
};

TEST_F(ChartSetupDlgTest, UnchangedOkKeepsEveryValueInEachDateStyle) {
  for (int style : {0, 2, 5}) {
    SCOPED_TRACE(style);
    g_date_style = style;
    ChartSettings before = s_;
    open();
    press(IDOK);
    EXPECT_EQ(s_.start_dates[0], 20250301);
    EXPECT_EQ(s_.end_value, 20251231);
    EXPECT_TRUE(s_.flags & CS_OWN_START_DAILY);
    EXPECT_EQ(s_.time_unit, before.time_unit);
    EXPECT_STREQ(s_.symbol, "INTC");
    EXPECT_EQ(s_.changed, 0);
    EXPECT_EQ(s_.pane_content[3], 0x20);
    EXPECT_TRUE(services_.boxes.empty());
  }
}

TEST_F(ChartSetupDlgTest, EditedValuesAreWrittenAndMarkChanged) {
  open();
  dlg_->SetDlgItemText(IDC_SETUP_SYMBOL, "msft");
  dlg_->Item<KvComboBox>(IDC_SETUP_CHARTTYPE)->SetCurSel(2);
  dlg_->SetDlgItemText(IDC_SETUP_LINE_WIDTH, "3");
  dlg_->SetDlgItemText(IDC_SETUP_START, "");
  press(IDOK);
  EXPECT_EQ(dlg_->Expression(), QStringLiteral("MSFT"));
  EXPECT_STREQ(s_.symbol, "INTC");  // the caller applies the expression
  EXPECT_EQ(s_.chart_type, 2);
  EXPECT_EQ(s_.line_width, 3);
  EXPECT_EQ(s_.start_dates[0], 0);
  EXPECT_FALSE(s_.flags & CS_OWN_START_DAILY);
  EXPECT_EQ(s_.changed, 1);
}

TEST_F(ChartSetupDlgTest, CancelChangesNothing) {
  ChartSettings before = s_;
  open();
  dlg_->SetDlgItemText(IDC_SETUP_LINE_WIDTH, "7");
  span(16);
  press(IDCANCEL);
  EXPECT_EQ(memcmp(&before, &s_, offsetof(ChartSettings, items)), 0);
}

TEST_F(ChartSetupDlgTest, ImpossibleStartDateIsStoredAsZero) {
  g_date_style = 0;
  open();
  dlg_->SetDlgItemText(IDC_SETUP_START, "2/30/2005");
  press(IDOK);
  EXPECT_EQ(s_.start_dates[0], 0);
  EXPECT_FALSE(s_.flags & CS_OWN_START_DAILY);
  EXPECT_EQ(s_.changed, 1);
}

TEST_F(ChartSetupDlgTest, TickAndVolumeCounts) {
  write_quote_config(0x2);
  start();  // the data root and the live source configuration
  // Tick with no count: the default after a message.
  open();
  span(0);
  dlg_->Item<KvComboBox>(IDC_SETUP_UNITS)->SetWindowText("");
  press(IDOK);
  EXPECT_EQ(s_.time_unit, -600);
  ASSERT_EQ(services_.boxes.size(), 1u);
  EXPECT_EQ(services_.boxes[0].text, "Tick count not specified, default used");
  // A tick chart opens with its own count; a volume count is stored exactly.
  open();
  EXPECT_EQ(dlg_->Item<KvComboBox>(IDC_SETUP_UNITS)->GetWindowText(), QStringLiteral("500"));
  span(1);
  dlg_->Item<KvComboBox>(IDC_SETUP_UNITS)->SetWindowText("1147483647");
  press(IDOK);
  EXPECT_EQ(s_.time_unit, -2147483647);
  EXPECT_EQ(s_.base_unit, -2147483647);
}

TEST_F(ChartSetupDlgTest, OutOfRangeEntriesKeepTheDialogOpen) {
  write_quote_config(0x2);
  start();  // the data root and the live source configuration
  struct Case {
    int span;
    const char *units, *width;
  } cases[] = {{0, "0", "1"},   {0, "-5", "1"}, {0, "999999900", "1"}, {1, "1147483648", "1"},
               {1, "abc", "1"}, {14, "", "0"},  {14, "", "40000"},     {14, "", "wide"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.units) + "/" + c.width);
    ChartSettings before = s_;
    services_.boxes.clear();
    open();
    span(c.span);
    dlg_->Item<KvComboBox>(IDC_SETUP_UNITS)->SetWindowText(c.units);
    dlg_->SetDlgItemText(IDC_SETUP_LINE_WIDTH, c.width);
    press(IDOK);
    EXPECT_EQ(ended(), 0);
    EXPECT_EQ(services_.boxes.size(), 1u);
    EXPECT_EQ(memcmp(&before, &s_, offsetof(ChartSettings, items)), 0);
  }
}

TEST_F(ChartSetupDlgTest, RefusalsOfSymbolAndTickRouter) {
  write_quote_config(0);
  open("");
  press(IDOK);
  open();
  span(0);
  press(IDOK);
  ASSERT_EQ(services_.boxes.size(), 2u);
  EXPECT_EQ(services_.boxes[0].text, "Please enter a symbol");
  EXPECT_EQ(services_.boxes[1].text, "Selected Quote Router does not support tick charts");
  EXPECT_EQ(s_.time_unit, 390);
}

TEST_F(ChartSetupDlgTest, AnItemShowsInOneVisiblePaneOnly) {
  open();
  dlg_->Item<QCheckBox>(IDC_SETUP_TOP_FIRST + 1)->click();  // the middle pane is hidden
  EXPECT_TRUE(services_.boxes.empty());
  dlg_->Item<QCheckBox>(IDC_SETUP_BOTTOM_FIRST + 1)->click();
  dlg_->Item<QCheckBox>(IDC_SETUP_BOTTOM_VISIBLE)->click();
  ASSERT_EQ(services_.boxes.size(), 1u);
  EXPECT_EQ(services_.boxes[0].text, "Item already selected");
  EXPECT_FALSE(dlg_->Item<QCheckBox>(IDC_SETUP_BOTTOM_VISIBLE)->isChecked());
  EXPECT_TRUE(dlg_->Item<QCheckBox>(IDC_SETUP_TOP_VISIBLE)->isChecked());
}

}  // namespace
