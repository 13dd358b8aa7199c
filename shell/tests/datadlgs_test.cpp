// The data-source, export and import dialogs driven by control id as a
// user drives them; checks look at the settings record and at Import.imp
// as written.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <cstdio>
#include <cstring>
#include <functional>

#include "data/importfmt.h"
#include "data/lefield.h"
#include "data/quotecfg.h"
#include "data/srcdata.h"
#include "platform/qt/controls.h"
#include "platform/qt/test_harness.h"
#include "platform/testing/fixture.h"
#include "settings/settings.h"
#include "shell/core/chartstore.h"
#include "shell/datasrcdlg.h"
#include "shell/exportdlg.h"
#include "shell/importdlg.h"

namespace {

class DataDlgs : public TempRootTest {
 protected:
  void SetUp() override {
    TempRootTest::SetUp();
    kv_test_app();
    reset_settings();
    snprintf(g_settings.DataRoot, sizeof g_settings.DataRoot, "%s", root_.path().c_str());
    root_.write("CONFIG/import.cfg",
                "VERSION 1\n"
                "Metastock Date,Open,High,Low,Close,Volume\n"
                "CSV \"Date,Close\"\n"
                "\"Plain text\" date;x;close\n");
    root_.write("IMPORT/readme.txt", "");
    drop_caches();
    g_chart_store.LoadImportList();
  }
  void TearDown() override {
    drop_caches();
    g_chart_store.FreeImportList();
    reset_settings();
    TempRootTest::TearDown();
  }
  static void drop_caches() {
    free_import_cfg();
    free_srcdata_cfg();
    free_quote_source_cfgs();
  }
  // Runs a dialog; drive() acts while it is up.
  static int run(KvDialog& d, const std::function<void(QWidget*)>& drive) {
    kv_when_modal([&](QWidget* w) { drive(w); });
    return d.DoModal();
  }
  std::string last_box() const {
    return services_.boxes.empty() ? std::string() : services_.boxes.back().text;
  }
  static QStringList items(QWidget* w, int id) {
    QStringList out;
    if (auto* c = qobject_cast<KvComboBox*>(kv_find_control(w, id)))
      for (int i = 0; i < c->GetCount(); i++) out << c->GetLBText(i);
    if (auto* l = dynamic_cast<KvListBox*>(kv_find_control(w, id)))
      for (int i = 0; i < l->GetCount(); i++) out << l->GetText(i);
    return out;
  }
  static QString text(QWidget* w, int id) {
    QWidget* c = kv_find_control(w, id);
    if (auto* e = qobject_cast<QLineEdit*>(c)) return e->text();
    if (auto* l = qobject_cast<QLabel*>(c)) return l->text();
    if (auto* b = qobject_cast<QComboBox*>(c)) return b->currentText();
    return QString();
  }
  static bool enabled(QWidget* w, int id) { return kv_find_control(w, id)->isEnabled(); }
  static bool checked(QWidget* w, int id) {
    return qobject_cast<QAbstractButton*>(kv_find_control(w, id))->isChecked();
  }
  // Two live sources, the second of whose relays cannot trade.
  void write_sources() const {
    root_.write("CONFIG/srcdata.cfg",
                "HISTORIC_DAILY 2\n  daily daily.cfg\n  daily2 daily.cfg\n"
                "HISTORIC_WEEKLY 1\n  weekly weekly.cfg\n"
                "HISTORIC_MONTHLY 1\n  monthly monthly.cfg\n"
                "MULTIQUOTE 2\n  trader trader.cfg\n  viewer viewer.cfg\n");
    for (const char* f : {"CONFIG/daily.cfg", "CONFIG/weekly.cfg", "CONFIG/monthly.cfg"})
      root_.write(f, "# history source\nexchange_times 9:30 16:00\n");
    root_.write("CONFIG/trader.cfg", "router_capabilities 0x212\nexchange_times 9:30 16:00\n");
    root_.write("CONFIG/viewer.cfg", "router_capabilities 0x2\nexchange_times 9:30 16:00\n");
  }
  std::string import_file() const { return root_.read("CONFIG/Import.imp"); }
  // Flags and folder of entry i of the written import list.
  static uint16_t entry_flags(const std::string& image, int i) {
    return get_le16((const uint8_t*)image.data() + IMPORT_HEADER_SIZE + i * IMPORT_SOURCE_SIZE + 4);
  }
  static std::string entry_dir(const std::string& image, int i) {
    return image.c_str() + IMPORT_HEADER_SIZE + i * IMPORT_SOURCE_SIZE + 20;
  }
};

// ---- Select Data Sources ---------------------------------------------------

TEST_F(DataDlgs, AliasFileThatIsGoneOpensOnNoneAndOkStoresEmpty) {
  write_sources();
  root_.write("ALIAS/Beta.txt", "");
  root_.write("ALIAS/alpha.txt", "");
  root_.write("ALIAS/notes.doc", "");
  struct Case {
    const char *stored, *shown, *kept;
  } cases[] = {{"Gone", "---none---", ""}, {"BETA", "Beta", "Beta"}, {"", "---none---", ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored);
    snprintf(g_settings.AliasTitle, sizeof g_settings.AliasTitle, "%s", c.stored);
    CDataSourcesDlg d;
    int result = run(d, [&](QWidget* w) {
      EXPECT_EQ(items(w, IDC_SRC_ALIAS), (QStringList{"---none---", "alpha", "Beta"}));
      EXPECT_EQ(text(w, IDC_SRC_ALIAS), QString::fromLatin1(c.shown));
      kv_click(w, IDOK);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_STREQ(g_settings.AliasTitle, c.kept);
  }
}

TEST_F(DataDlgs, QuoteSourceWithoutTradingSwitchesTradingOff) {
  write_sources();
  g_settings.Flags1 |= 0x08;
  g_settings.DailySource = 0;
  AppSettings before = g_settings;
  {
    // Cancel after choosing changes nothing.
    CDataSourcesDlg d;
    run(d, [&](QWidget* w) {
      kv_choose(w, IDC_SRC_QUOTE, 1);
      kv_click(w, IDCANCEL);
    });
    EXPECT_EQ(memcmp(&before, &g_settings, sizeof before), 0);
  }
  CDataSourcesDlg d;
  run(d, [&](QWidget* w) {
    EXPECT_EQ(items(w, IDC_SRC_QUOTE), (QStringList{"trader", "viewer"}));
    EXPECT_EQ(items(w, IDC_SRC_DAILY), (QStringList{"daily", "daily2"}));
    kv_choose(w, IDC_SRC_QUOTE, 1);
    kv_choose(w, IDC_SRC_DAILY, 1);
    kv_click(w, IDOK);
  });
  EXPECT_EQ(g_settings.MultiQuoteSource, 1);
  EXPECT_EQ(g_settings.DailySource, 1);
  EXPECT_EQ(g_settings.Flags1 & 0x08, 0u);
  // Back on the trading relay, the switch stays as the user left it.
  g_settings.Flags1 |= 0x08;
  CDataSourcesDlg again;
  run(again, [&](QWidget* w) {
    kv_choose(w, IDC_SRC_QUOTE, 0);
    kv_click(w, IDOK);
  });
  EXPECT_EQ(g_settings.MultiQuoteSource, 0);
  EXPECT_EQ(g_settings.Flags1 & 0x08, 0x08u);
}

// ---- Export Settings -------------------------------------------------------

TEST_F(DataDlgs, ExportOpensOnFirstOfferedFormatAndStoresTheChoice) {
  g_settings.ExpDataFmt = 0;
  g_settings.Flags |= PREF_EXPORT_HEADER;
  snprintf(g_settings.ExpFileExt, sizeof g_settings.ExpFileExt, "csv");
  CExportSettingsDlg d;
  int result = run(d, [&](QWidget* w) {
    // The first pair of import.cfg is not offered.
    EXPECT_EQ(items(w, IDC_FORMAT), (QStringList{"CSV", "Plain text"}));
    EXPECT_EQ(text(w, IDC_FORMAT), QStringLiteral("CSV"));
    EXPECT_EQ(text(w, IDC_FORMAT_DESCRIPTION), QStringLiteral("Date,Close"));
    EXPECT_TRUE(checked(w, IDC_EXP_ADD_HEADER));
    EXPECT_FALSE(checked(w, IDC_EXP_ADD_SPAN));
    EXPECT_EQ(text(w, IDC_EXP_DIR), QString::fromStdString(root_.path() + "/EXPORT"));
    kv_choose(w, IDC_FORMAT, 1);
    EXPECT_EQ(text(w, IDC_FORMAT_DESCRIPTION), QStringLiteral("date;x;close"));
    kv_set_check(w, IDC_EXP_ADD_SPAN, true);
    kv_set_check(w, IDC_EXP_ADD_HEADER, false);
    kv_type(w, IDC_EXP_EXTENSION, QStringLiteral("txt"));
    kv_type(w, IDC_EXP_HEADER, QStringLiteral("Date Close"));
    kv_click(w, IDOK);
  });
  EXPECT_EQ(result, IDOK);
  EXPECT_EQ(g_settings.ExpDataFmt, 4);
  EXPECT_EQ(g_settings.Flags & (PREF_EXPORT_HEADER | PREF_EXPORT_SPAN_IN_NAME),
            uint32_t(PREF_EXPORT_SPAN_IN_NAME));
  EXPECT_STREQ(g_settings.ExpFileExt, "txt");
  EXPECT_STREQ(g_settings.ExpFileHdr, "Date Close");
  // The stored position opens the dialog on its format.
  CExportSettingsDlg again;
  run(again, [&](QWidget* w) {
    EXPECT_EQ(text(w, IDC_FORMAT), QStringLiteral("Plain text"));
    kv_click(w, IDCANCEL);
  });
}

TEST_F(DataDlgs, ExportRefusesAnExtensionWithAFolderAndChangesNothing) {
  AppSettings before = g_settings;
  CExportSettingsDlg d;
  int result = run(d, [&](QWidget* w) {
    kv_type(w, IDC_EXP_EXTENSION, QStringLiteral("../x"));
    kv_set_check(w, IDC_EXP_ADD_SPAN, true);
    kv_click(w, IDOK);
    EXPECT_TRUE(w->isVisible());
    kv_click(w, IDCANCEL);
  });
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_EQ(last_box(), "The file extension cannot hold \"/\" or \"\\\".");
  EXPECT_EQ(memcmp(&before, &g_settings, sizeof before), 0);
}

// ---- Import Settings -------------------------------------------------------

TEST_F(DataDlgs, BrowsedFileAddsItsFolderAndExtensionPattern) {
  struct Case {
    const char *file, *line, *pattern;
  } cases[] = {
      {"IMPORT/data/IBMFILE", "[D]   %1/IMPORT/data/*", "*"},
      {"IMPORT/v1.2/ibm.csv", "[D]   %1/IMPORT/v1.2/*.csv", "*.csv"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    g_chart_store.LoadImportList();
    root_.write(c.file, "");
    services_.dialog_answers.push_back(root_.file(c.file));
    CImportSettingsDlg d;
    run(d, [&](QWidget* w) {
      EXPECT_FALSE(enabled(w, IDC_IMP_REMOVE));
      kv_click(w, IDC_IMP_BROWSE);
      QStringList lines = items(w, IDC_IMP_LIST);
      ASSERT_EQ(lines.size(), 2);
      EXPECT_EQ(lines[1], QString::fromLatin1(c.line).arg(QString::fromStdString(root_.path())));
      EXPECT_TRUE(enabled(w, IDC_IMP_REMOVE));
      EXPECT_FALSE(enabled(w, IDC_IMP_MODIFY));
      kv_click(w, IDOK);
    });
    const ImportSource* s = g_chart_store.FindImportSource(1);
    ASSERT_NE(s, nullptr);
    EXPECT_STREQ(s->pattern, c.pattern);
    EXPECT_TRUE(g_chart_store.ImportList().flags & IMPORT_LIST_MODIFIED);
  }
}

TEST_F(DataDlgs, RemovedWebEntryIsKeptInTheFileAndComesBackWithEnableWeb) {
  CImportSettingsDlg d;
  run(d, [&](QWidget* w) {
    EXPECT_TRUE(checked(w, IDC_IMP_WEB));
    EXPECT_EQ(items(w, IDC_IMP_LIST), (QStringList{"[DWM] Download from Internet"}));
    kv_choose(w, IDC_IMP_LIST, 0);
    EXPECT_EQ(text(w, IDC_IMP_PATH), QString());
    kv_click(w, IDC_IMP_REMOVE);
    EXPECT_FALSE(checked(w, IDC_IMP_WEB));
    EXPECT_TRUE(items(w, IDC_IMP_LIST).isEmpty());
    kv_click(w, IDOK);
  });
  ASSERT_EQ(g_chart_store.SaveImportList(), 1);
  std::string image = import_file();
  ASSERT_EQ(image.size(), size_t(IMPORT_HEADER_SIZE + IMPORT_SOURCE_SIZE));
  EXPECT_EQ(get_le32((const uint8_t*)image.data() + 8), 0u);  // web import off
  EXPECT_EQ(entry_flags(image, 0) & (IMPORT_WEB | IMPORT_REMOVED), IMPORT_WEB | IMPORT_REMOVED);
  EXPECT_EQ(entry_dir(image, 0), "Download from Internet");

  // Read back from the file: Enable Web brings the entry back, selected.
  g_chart_store.LoadImportList();
  CImportSettingsDlg again;
  run(again, [&](QWidget* w) {
    EXPECT_TRUE(items(w, IDC_IMP_LIST).isEmpty());
    kv_set_check(w, IDC_IMP_WEB, true);
    EXPECT_EQ(items(w, IDC_IMP_LIST), (QStringList{"[DWM] Download from Internet"}));
    EXPECT_EQ(static_cast<KvListBox*>(kv_find_control(w, IDC_IMP_LIST))->GetCurSel(), 0);
    kv_click(w, IDOK);
  });
  ASSERT_EQ(g_chart_store.SaveImportList(), 1);
  image = import_file();
  EXPECT_EQ(get_le32((const uint8_t*)image.data() + 8), 1u);
  EXPECT_EQ(entry_flags(image, 0) & IMPORT_REMOVED, 0);
}

TEST_F(DataDlgs, EnableWebOnAWebEntryThatWasNotRemovedKeepsIt) {
  g_chart_store.ImportList().web_enabled = 0;
  CImportSettingsDlg d;
  run(d, [&](QWidget* w) {
    EXPECT_FALSE(checked(w, IDC_IMP_WEB));
    kv_set_check(w, IDC_IMP_WEB, true);
    EXPECT_EQ(items(w, IDC_IMP_LIST), (QStringList{"[DWM] Download from Internet"}));
    kv_click(w, IDOK);
  });
  EXPECT_EQ(g_chart_store.FindWebImportSource()->flags & IMPORT_REMOVED, 0);
  EXPECT_EQ(g_chart_store.ImportList().web_enabled, 1);
}

TEST_F(DataDlgs, ModifyStoresPathSpanAndFormatAndRefusesAPathWithoutFolder) {
  root_.write("IMPORT/a/x.txt", "");
  root_.write("IMPORT/b/y.prn", "");
  services_.dialog_answers = {root_.file("IMPORT/a/x.txt"), root_.file("IMPORT/b/y.prn")};
  CImportSettingsDlg d;
  run(d, [&](QWidget* w) {
    kv_click(w, IDC_IMP_BROWSE);
    kv_click(w, IDC_IMP_BROWSE);
    kv_choose(w, IDC_IMP_LIST, 1);
    EXPECT_TRUE(enabled(w, IDC_IMP_UP));
    EXPECT_TRUE(enabled(w, IDC_IMP_DOWN));
    // A path without a folder is refused; the entry stays.
    kv_type(w, IDC_IMP_PATH, QStringLiteral("nofolder"));
    EXPECT_TRUE(enabled(w, IDC_IMP_MODIFY));
    kv_click(w, IDC_IMP_MODIFY);
    EXPECT_EQ(last_box(),
              "Enter a directory and a file pattern, for example /home/me/IMPORT/*.txt");
    EXPECT_STREQ(g_chart_store.FindImportSource(1)->pattern, "*.txt");
    // Another line while Modify waits: the user keeps the edit.
    services_.box_answers.push_back(IDCANCEL);
    kv_choose(w, IDC_IMP_LIST, 2);
    EXPECT_EQ(last_box(), "Your Changes will be lost");
    EXPECT_EQ(static_cast<KvListBox*>(kv_find_control(w, IDC_IMP_LIST))->GetCurSel(), 1);
    kv_type(w, IDC_IMP_PATH, QStringLiteral("/data/quotes/*.asc"));
    kv_click(w, IDC_IMP_DAILY + 1);
    kv_choose(w, IDC_IMP_FORMAT, 2);
    EXPECT_EQ(text(w, IDC_IMP_DESCRIPTION), QStringLiteral("date;x;close"));
    kv_click(w, IDC_IMP_MODIFY);
    EXPECT_FALSE(enabled(w, IDC_IMP_MODIFY));
    EXPECT_EQ(items(w, IDC_IMP_LIST).value(1), QStringLiteral("[W]   /data/quotes/*.asc"));
    // Down: the entry moves below the other folder.
    kv_click(w, IDC_IMP_DOWN);
    EXPECT_EQ(items(w, IDC_IMP_LIST).value(2), QStringLiteral("[W]   /data/quotes/*.asc"));
    EXPECT_FALSE(enabled(w, IDC_IMP_DOWN));
    kv_click(w, IDOK);
  });
  ASSERT_EQ(g_chart_store.SaveImportList(), 1);
  std::string image = import_file();
  ASSERT_EQ(image.size(), size_t(IMPORT_HEADER_SIZE + 3 * IMPORT_SOURCE_SIZE));
  EXPECT_EQ(entry_dir(image, 2), "/data/quotes");
  const uint8_t* e = (const uint8_t*)image.data() + IMPORT_HEADER_SIZE + 2 * IMPORT_SOURCE_SIZE;
  EXPECT_EQ(get_le16(e + 6), 2);    // format
  EXPECT_EQ(get_le32(e + 16), 1u);  // weekly
  EXPECT_STREQ((const char*)e + 280, "*.asc");
}

TEST_F(DataDlgs, OkWithAnEditPendingAsksAndCancelLeavesTheListUnmarked) {
  CImportSettingsDlg d;
  run(d, [&](QWidget* w) {
    kv_choose(w, IDC_IMP_LIST, 0);
    kv_choose(w, IDC_IMP_FORMAT, 1);
    services_.box_answers.push_back(IDCANCEL);
    kv_click(w, IDOK);
    EXPECT_EQ(last_box(), "Your Changes will be lost");
    EXPECT_TRUE(w->isVisible());
    kv_click(w, IDCANCEL);
  });
  EXPECT_EQ(g_chart_store.ImportList().flags & IMPORT_LIST_MODIFIED, 0u);
  EXPECT_EQ(g_chart_store.FindWebImportSource()->format, 0);
}

// ---- Import File Settings --------------------------------------------------

TEST_F(DataDlgs, ImportFileTakesFormatSymbolAndSpanAndRefusesAPathSymbol) {
  CImportFileDlg d(QStringLiteral("/data/in/ibm.csv"));
  int result = run(d, [&](QWidget* w) {
    EXPECT_EQ(text(w, IDC_IMP_FILE_PATH), QStringLiteral("/data/in/ibm.csv"));
    EXPECT_EQ(text(w, IDC_IMP_FORMAT), QStringLiteral("Metastock"));
    EXPECT_EQ(text(w, IDC_IMP_DESCRIPTION), QStringLiteral("Date,Open,High,Low,Close,Volume"));
    EXPECT_TRUE(checked(w, IDC_IMP_DAILY));
    kv_type(w, IDC_IMP_SYMBOL, QStringLiteral("../IBM"));
    kv_click(w, IDOK);
    EXPECT_TRUE(w->isVisible());
    kv_type(w, IDC_IMP_SYMBOL, QStringLiteral("IBM"));
    kv_click(w, IDC_IMP_DAILY + 2);
    kv_choose(w, IDC_IMP_FORMAT, 1);
    kv_click(w, IDOK);
  });
  EXPECT_EQ(result, IDOK);
  EXPECT_EQ(services_.boxes.size(), 1u);
  EXPECT_EQ(d.m_symbol, QStringLiteral("IBM"));
  EXPECT_EQ(d.m_time_span, 2);
  EXPECT_EQ(d.m_format_name, QStringLiteral("CSV"));
  EXPECT_EQ(d.m_description, QStringLiteral("Date,Close"));
}

TEST_F(DataDlgs, PicturesFromAKnownRecord) {
  write_sources();
  root_.write("ALIAS/Futures.txt", "");
  snprintf(g_settings.AliasTitle, sizeof g_settings.AliasTitle, "Futures");
  g_settings.ExpDataFmt = 4;
  snprintf(g_settings.ExpFileExt, sizeof g_settings.ExpFileExt, "csv");
  snprintf(g_settings.ExpFileHdr, sizeof g_settings.ExpFileHdr, "Date,Open,High,Low,Close");
  g_settings.Flags |= PREF_EXPORT_HEADER;
  ImportSource* s = CChartStore::NewImportSource();
  snprintf(s->dir, sizeof s->dir, "/data/IMPORT");
  snprintf(s->pattern, sizeof s->pattern, "*.csv");
  s->time_span = 1;
  g_chart_store.AddImportSource(s);
  auto picture = [&](KvDialog& d, const char* name) {
    run(d, [&](QWidget* w) {
      EXPECT_TRUE(kv_grab_png(w, QStringLiteral(KV_BINARY_DIR "/%1.png").arg(name)));
      kv_click(w, IDCANCEL);
    });
  };
  CDataSourcesDlg sources;
  picture(sources, "data_sources_dlg");
  CExportSettingsDlg exports;
  picture(exports, "export_settings_dlg");
  CImportSettingsDlg imports;
  picture(imports, "import_settings_dlg");
  CImportFileDlg file(QStringLiteral("/data/IMPORT/ibm.csv"));
  picture(file, "import_file_dlg");
}

}  // namespace
