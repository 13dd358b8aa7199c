// The Data menu's source command and File/Import of a started program:
// what each does after its dialog's OK.
#include <gtest/gtest.h>

#include <QLineEdit>

#include "data/importfmt.h"
#include "platform/qt/test_harness.h"
#include "settings/settings.h"
#include "shell/app.h"
#include "shell/datasrcdlg.h"
#include "shell/importdlg.h"
#include "shell/mainfrm.h"
#include "shell/tests/shell_fixture.h"

namespace {

using DataCmds = ShellTest;

TEST_F(DataCmds, NewLiveSourceMakesTheWindowKindsItServes) {
  write_quote_config(0);
  // A second live source that serves time and sales and level 2.
  write_data("CONFIG/srcdata.cfg",
             "HISTORIC_DAILY 1\n  daily daily.cfg\n"
             "HISTORIC_WEEKLY 1\n  weekly weekly.cfg\n"
             "HISTORIC_MONTHLY 1\n  monthly monthly.cfg\n"
             "MULTIQUOTE 2\n  live live.cfg\n  depth depth.cfg\n");
  write_data("CONFIG/depth.cfg", "router_capabilities 0x22\nexchange_times 9:30 16:00\n");
  CKvChartApp* app = start();
  EXPECT_EQ(app->DocTemplate(KIND_TIME_SALES), nullptr);
  kv_when_modal([](QWidget* w) {
    kv_choose(w, IDC_SRC_QUOTE, 1);
    kv_click(w, IDOK);
  });
  EXPECT_TRUE(app->MainFrame()->RouteCommand(32813));
  EXPECT_EQ(g_settings.MultiQuoteSource, 1);
  EXPECT_NE(app->DocTemplate(KIND_TIME_SALES), nullptr);
  EXPECT_NE(app->DocTemplate(KIND_LEVEL2), nullptr);
  EXPECT_EQ(app->DocTemplate(KIND_ORDER_BOOK), nullptr);
}

TEST_F(DataCmds, FileImportKeepsTheDialogsSettingsForTheImport) {
  write_quote_config(0);
  write_data("CONFIG/import.cfg",
             "VERSION 1\nMetastock Date,Open,High,Low,Close\nCSV Date,Close\n");
  write_data("IMPORT/ibm.csv", "20260105,10\n");
  free_import_cfg();  // read once per process: this test's file
  CKvChartApp* app = start();
  services_.dialog_answers.push_back(data_file("IMPORT/ibm.csv"));
  kv_when_modal([](QWidget* w) {
    kv_type(w, IDC_IMP_SYMBOL, QStringLiteral("IBM"));
    kv_choose(w, IDC_IMP_FORMAT, 1);
    kv_click(w, IDC_IMP_DAILY + 1);
    kv_click(w, IDOK);
  });
  EXPECT_TRUE(app->MainFrame()->RouteCommand(32845));
  EXPECT_STREQ(app->m_import_symbol, "IBM");
  EXPECT_STREQ(app->m_import_format, "CSV");
  EXPECT_STREQ(app->m_import_description, "Date,Close");
  EXPECT_EQ(app->m_import_time_span, 1);
  EXPECT_EQ(app->m_app_flags & APP_IMPORT_FOLDER, 0u);
  free_import_cfg();
}

}  // namespace
