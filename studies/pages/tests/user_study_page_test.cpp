// The External Studies page against real study libraries in a temporary
// FERLUMES folder: the built Ferlume1 and stand-ins that report version 8
// or lack an export, each loaded with dlopen.
#include "studies/tests/study_fixture.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <filesystem>
#include <string>

#include "platform/qt/controls.h"
#include "platform/qt/test_harness.h"
#include "platform/testing/fixture.h"
#include "settings/settings.h"
#include "studies/pages/psstudiesdlg.h"
#include "studies/studylib_host.h"

namespace {

namespace fs = std::filesystem;

struct NoDoc : KvStudyDocument {
  void UpdateAllViews() override {}
};

class UserStudyPage : public TempRootTest {
 protected:
  void SetUp() override {
    TempRootTest::SetUp();
    kv_test_app();
    clear_study_dlls();
    folder_ = root_.file("FERLUMES");
    fs::create_directories(folder_);
    snprintf(g_study_lib_dir, sizeof g_study_lib_dir, "%s", folder_.c_str());
    chart_.rec.references = 1;
    for (int i = 0; i < 300; i++) chart_.add(100 + i % 7, 103 + i % 5, 97, 100 + i % 11, 1000 + i);
  }
  void TearDown() override {
    clear_study_dlls();
    g_study_lib_dir[0] = 0;
    TempRootTest::TearDown();
  }
  void install(const char* from_dir, const char* name) {
    fs::copy_file(std::string(KV_BINARY_DIR "/bin/") + from_dir + "/" + name + ".so",
                  folder_ + "/" + name + ".so");
  }
  void install_all() {
    install("Ferlumes", "Ferlume1");
    install("FerlumeFakes", "fake_v8");
    install("FerlumeFakes", "fake_noparams");
    install("FerlumeFakes", "fake_nocallbacks");
  }
  int run(const std::function<void(QWidget*, CPSStudiesDlg&)>& drive) {
    CPSStudiesDlg dlg(STUDY_PAGE_EXTERNAL);
    dlg.chart = chart_.chart();
    dlg.doc = &doc_;
    kv_when_modal([&](QWidget*) { drive(dlg.GetActivePage(), dlg); });
    return dlg.DoModal();
  }
  static KvComboBox* combo(QWidget* w, int id) {
    return dynamic_cast<KvComboBox*>(kv_find_control(w, id));
  }
  static QString text(QWidget* w, int id) {
    QWidget* c = kv_find_control(w, id);
    if (auto* e = qobject_cast<QLineEdit*>(c)) return e->text();
    if (auto* l = qobject_cast<QLabel*>(c)) return l->text();
    return QString();
  }
  static bool enabled(QWidget* w, int id) { return kv_find_control(w, id)->isEnabled(); }
  // The Library combo's item of a library.
  static int library_item(QWidget* page, const char* name) {
    KvComboBox* c = combo(page, 1454);
    for (int i = 0; i < c->GetCount(); i++)
      if (c->GetLBText(i) == name) return i;
    return -1;
  }

  std::string folder_;
  test_chart chart_{320};
  NoDoc doc_;
};

}  // namespace

TEST_F(UserStudyPage, AnEmptyFolderListsNoLibrary) {
  run([&](QWidget* page, CPSStudiesDlg& d) {
    ASSERT_EQ(combo(page, 1454)->GetCount(), 1);
    EXPECT_EQ(combo(page, 1454)->GetLBText(0), "---None Selected---");
    kv_click(&d, IDOK);
  });
  EXPECT_EQ(chart_.rec.studies, nullptr);
}

TEST_F(UserStudyPage, LibrariesThatCannotBeUsedAreReportedAndListNoStudies) {
  install_all();
  struct Case {
    const char* lib;
    const char* message;
  } cases[] = {
      {"fake_v8", "UserStudy DLL Version = 8, Korvane Version = 7\n"},
      {"fake_noparams", "getParamValues() not defined"},
      {"fake_nocallbacks", "m_putCallbacks() not defined"},
  };
  run([&](QWidget* page, CPSStudiesDlg& d) {
    // Sorted without regard to case, shown without the suffix.
    KvComboBox* libs = combo(page, 1454);
    ASSERT_EQ(libs->GetCount(), 5);
    EXPECT_EQ(libs->GetLBText(1), "fake_nocallbacks");
    EXPECT_EQ(libs->GetLBText(4), "Ferlume1");
    for (const Case& c : cases) {
      services_.boxes.clear();
      kv_choose(page, 1454, library_item(page, c.lib));
      ASSERT_EQ(services_.boxes.size(), 1u) << c.lib;
      EXPECT_EQ(services_.boxes[0].text, c.message);
      EXPECT_EQ(combo(page, 1471)->GetCount(), 0) << c.lib;
      EXPECT_EQ(text(page, 1217), "1");
    }
    kv_click(&d, IDCANCEL);
  });
}

TEST_F(UserStudyPage, ChoosingALibraryStudyAndOkAddsItToTheChart) {
  install_all();
  run([&](QWidget* page, CPSStudiesDlg& d) {
    kv_choose(page, 1454, library_item(page, "Ferlume1"));
    KvComboBox* studies = combo(page, 1471);
    ASSERT_EQ(studies->GetCount(), 19);
    EXPECT_EQ(studies->GetLBText(1), "Ultimate Oscillator");
    // Average True Range takes a method and no price.
    kv_choose(page, 1471, 3);
    EXPECT_TRUE(enabled(page, 1023));
    EXPECT_FALSE(enabled(page, 1017));
    EXPECT_EQ(text(page, 1457), "");
    // Ultimate Oscillator: two whole-number parameters, neither price nor
    // method.
    kv_choose(page, 1471, 1);
    EXPECT_EQ(text(page, 1456), "Period");
    EXPECT_EQ(text(page, 1457), "Medium period");
    EXPECT_EQ(text(page, 1458), "Long period");
    EXPECT_EQ(text(page, 1447), "14");
    EXPECT_EQ(text(page, 1448), "28");
    EXPECT_EQ(text(page, 1449), "");
    EXPECT_FALSE(enabled(page, 1017));
    EXPECT_FALSE(enabled(page, 1023));
    kv_type(page, 1015, "9");
    kv_click(&d, IDOK);
  });
  StudyDef* s = chart_.rec.studies;
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->next, nullptr);
  EXPECT_STREQ(s->name, "*Ultimate Oscillator");
  EXPECT_STREQ(s->lib_name, "Ferlume1");
  EXPECT_EQ(s->lib_index, 0);
  EXPECT_EQ(s->period, 9);
  EXPECT_EQ(s->p1, 14.0);
  EXPECT_EQ(s->p2, 28.0);
  EXPECT_EQ(s->p3, 0.0);
  EXPECT_TRUE(s->type & STUDY_FAM_LIBRARY);
  EXPECT_FALSE(study_is_missing(study_series(s, 0)[299]));
  EXPECT_TRUE(CPPCommon::makeName(s).startsWith("*Ultimate Oscillator(9,"));

  // Shown again: its library and study are selected and its labels shown.
  run([&](QWidget* page, CPSStudiesDlg& d) {
    kv_choose(page, 1024, 1);
    EXPECT_EQ(combo(page, 1454)->GetCurSel(), library_item(page, "Ferlume1"));
    EXPECT_EQ(combo(page, 1471)->GetCurSel(), 1);
    EXPECT_EQ(text(page, 1457), "Medium period");
    EXPECT_EQ(text(page, 1015), "9");
    // "---None Selected---" clears the fields.
    kv_choose(page, 1471, 0);
    EXPECT_EQ(text(page, 1457), "");
    EXPECT_EQ(text(page, 1447), "");
    EXPECT_EQ(text(page, 1217), "1");
    kv_click(&d, IDCANCEL);
  });
}

TEST_F(UserStudyPage, AChosenStudySurvivesAVisitToAnotherPage) {
  install("Ferlumes", "Ferlume1");
  run([&](QWidget* page, CPSStudiesDlg& d) {
    kv_choose(page, 1454, library_item(page, "Ferlume1"));
    kv_choose(page, 1471, 1);
    kv_type(page, 1015, "9");
    d.SetActivePage(STUDY_PAGE_SELECTED);
    d.SetActivePage(STUDY_PAGE_EXTERNAL);
    EXPECT_EQ(text(d.GetActivePage(), 1015), "9");
    kv_click(&d, IDOK);
  });
  StudyDef* s = chart_.rec.studies;
  ASSERT_NE(s, nullptr);
  EXPECT_STREQ(s->name, "*Ultimate Oscillator");
  EXPECT_STREQ(s->lib_name, "Ferlume1");
  EXPECT_EQ(s->period, 9);
  EXPECT_EQ(s->p1, 14.0);
}

TEST_F(UserStudyPage, AStudyWhoseLibraryIsGoneShowsItsNameWithoutLabels) {
  install("Ferlumes", "Ferlume1");
  StudyDef t = study_template(0x4000280, 10);
  snprintf(t.lib_name, sizeof t.lib_name, "Gone");
  snprintf(t.name, sizeof t.name, "Kept name");
  t.param_flags = 0x110;
  t.compute = [](chart_rec*, StudyDef*, int) { return 1; };
  ASSERT_NE(create_study(chart_.chart(), &t), nullptr);
  run([&](QWidget* page, CPSStudiesDlg& d) {
    // First bind Ferlume1, so that a stale binding would show its labels.
    kv_choose(page, 1454, library_item(page, "Ferlume1"));
    kv_choose(page, 1471, 1);
    ASSERT_EQ(combo(page, 1024)->GetCount(), 2);
    kv_choose(page, 1024, 1);
    EXPECT_EQ(combo(page, 1024)->GetLBText(1), "Kept name");
    EXPECT_EQ(combo(page, 1454)->GetCurSel(), 0);
    EXPECT_EQ(combo(page, 1471)->GetCount(), 0);
    EXPECT_EQ(text(page, 1457), "");
    EXPECT_EQ(text(page, 1015), "10");
    kv_click(&d, IDCANCEL);
  });
}
