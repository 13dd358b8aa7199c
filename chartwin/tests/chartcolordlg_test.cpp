// The Chart Color Setup dialog: the background rule, OK and Cancel.
#include <gtest/gtest.h>

#include <QPushButton>
#include <cstring>

#include "chartwin/chartcolordlg.h"
#include "data/chartsettings.h"
#include "platform/qt/controls.h"
#include "shell/app.h"
#include "shell/tests/shell_fixture.h"

namespace {

class ChartColorDlgTest : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    default_chart_settings(&s_, 20260105);
    saved_ = CChartColorDlg::s_choose_color;
  }
  void TearDown() override {
    CChartColorDlg::s_choose_color = saved_;
    ShellTest::TearDown();
  }
  ChartSettings s_{};
  std::function<bool(uint32_t*)> saved_;
};

TEST_F(ChartColorDlgTest, BlackBackgroundTurnsBlackItemsOneToSeventeenWhite) {
  s_.bg_color = 0xFFFFFF;
  s_.up_color = 0;          // item 1
  s_.last_mark_color = 0;   // item 17
  s_.events_bg_color = 0;   // item 18 keeps black
  s_.event_mark_color = 0;  // item 19 keeps black
  s_.down_color = 0x0000FF;
  CChartColorDlg dlg(&s_);
  dlg.EnsureInitialized();
  CChartColorDlg::s_choose_color = [](uint32_t* c) {
    *c = 0;
    return true;
  };
  static_cast<KvListBox*>(dlg.GetDlgItem(IDC_COLOR_LIST))->SetCurSel(0);
  dlg.Item<QPushButton>(IDC_COLOR_PICK)->click();
  dlg.Item<QPushButton>(IDOK)->click();
  EXPECT_EQ(s_.bg_color, 0u);
  EXPECT_EQ(s_.up_color, 0xFFFFFFu);
  EXPECT_EQ(s_.last_mark_color, 0xFFFFFFu);
  EXPECT_EQ(s_.events_bg_color, 0u);
  EXPECT_EQ(s_.event_mark_color, 0u);
  EXPECT_EQ(s_.down_color, 0x0000FFu);
}

TEST_F(ChartColorDlgTest, LabelSetsBothLabelColoursAndCancelKeepsAll) {
  ChartSettings before = s_;
  {
    CChartColorDlg dlg(&s_);
    dlg.EnsureInitialized();
    CChartColorDlg::s_choose_color = [](uint32_t* c) {
      *c = 0x123456;
      return true;
    };
    static_cast<KvListBox*>(dlg.GetDlgItem(IDC_COLOR_LIST))->SetCurSel(10);
    dlg.Item<QPushButton>(IDC_COLOR_PICK)->click();
    dlg.Item<QPushButton>(IDCANCEL)->click();
  }
  EXPECT_EQ(memcmp(&before, &s_, offsetof(ChartSettings, items)), 0);
  CChartColorDlg dlg(&s_);
  dlg.EnsureInitialized();
  static_cast<KvListBox*>(dlg.GetDlgItem(IDC_COLOR_LIST))->SetCurSel(10);
  dlg.Item<QPushButton>(IDC_COLOR_PICK)->click();
  dlg.Item<QPushButton>(IDOK)->click();
  EXPECT_EQ(s_.text_color, 0x123456u);
  EXPECT_EQ(s_.text_color2, 0x123456u);
}

}  // namespace
