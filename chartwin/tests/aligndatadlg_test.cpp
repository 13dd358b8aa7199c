// The Align Data Points dialog: an unchanged OK keeps the point in every
// date style, days back is a 16-bit count, Cancel changes nothing.
#include <gtest/gtest.h>

#include <QPushButton>
#include <QRadioButton>
#include <cstring>

#include "chartwin/aligndatadlg.h"
#include "data/chartsettings.h"
#include "data/dates.h"
#include "settings/settings.h"
#include "shell/app.h"
#include "shell/tests/shell_fixture.h"

namespace {

class AlignDataDlgTest : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    default_chart_settings(&s_, 20260105);
    s_.percent_base_time = (int32_t)date_to_seconds(20250314, 10 * 3600 + 30 * 60);
    s_.days_back = 12;
    s_.use_days_back = 0;
    saved_style_ = g_date_style;
  }
  void TearDown() override {
    g_date_style = saved_style_;
    ShellTest::TearDown();
  }
  void open() {
    dlg_ = std::make_unique<CAlignDataDlg>(&s_);
    dlg_->EnsureInitialized();
  }
  void press(int id) { dlg_->Item<QPushButton>(id)->click(); }

  ChartSettings s_{};
  std::unique_ptr<CAlignDataDlg> dlg_;
  int saved_style_ = 0;
};

TEST_F(AlignDataDlgTest, UnchangedOkKeepsThePointInEachDateStyle) {
  int32_t t = s_.percent_base_time;
  for (int style : {0, 2, 4, 6}) {
    SCOPED_TRACE(style);
    g_date_style = style;
    open();
    press(IDOK);
    EXPECT_EQ(dlg_->result(), IDOK);
    EXPECT_EQ(s_.percent_base_time, t);
    EXPECT_EQ(s_.days_back, 12);
  }
  EXPECT_TRUE(services_.boxes.empty());
}

TEST_F(AlignDataDlgTest, DaysBackRadioAndRange) {
  open();
  dlg_->Item<QRadioButton>(IDC_ALIGN_DAYS_RADIO)->setChecked(true);
  dlg_->SetDlgItemText(IDC_ALIGN_DAYS_BACK, "32767");
  press(IDOK);
  EXPECT_EQ(s_.use_days_back, 1);
  EXPECT_EQ(s_.days_back, 32767);
  for (const char* bad : {"32768", "-1", "x"}) {
    SCOPED_TRACE(bad);
    services_.boxes.clear();
    open();
    dlg_->SetDlgItemText(IDC_ALIGN_DAYS_BACK, bad);
    press(IDOK);
    EXPECT_EQ(dlg_->result(), 0);
    EXPECT_EQ(services_.boxes.size(), 1u);
    EXPECT_EQ(s_.days_back, 32767);
  }
}

TEST_F(AlignDataDlgTest, CancelChangesNothing) {
  ChartSettings before = s_;
  open();
  dlg_->SetDlgItemText(IDC_ALIGN_DAYS_BACK, "3");
  dlg_->SetDlgItemText(IDC_ALIGN_DATE, "01/02/2020");
  press(IDCANCEL);
  EXPECT_EQ(memcmp(&before, &s_, offsetof(ChartSettings, items)), 0);
}

}  // namespace
