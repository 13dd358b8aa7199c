// The "Studies" sheet driven as a user drives it, by control id, on a chart
// of a few hundred bars; every check looks at the chart's live studies.
// The fixture names a parameter "slots", which Qt takes as a keyword.
#include "studies/tests/study_fixture.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <filesystem>
#include <functional>
#include <vector>

#include "data/chart_flags.h"
#include "platform/qt/controls.h"
#include "platform/qt/services_qt.h"
#include "platform/qt/test_harness.h"
#include "platform/testing/fixture.h"
#include "settings/settings.h"
#include "studies/pages/bitmapcombo.h"
#include "studies/pages/psstudiesdlg.h"
#include "studies/studylib_host.h"

namespace {

struct FakeDoc : KvStudyDocument {
  int redraws = 0;
  chart_rec* base = nullptr;
  void UpdateAllViews() override { redraws++; }
  chart_rec* GetBaseChart() override { return base; }
};

// A chart of 300 bars that the sheet may hold a reference to.
struct SheetChart : test_chart {
  SheetChart() : test_chart(320) {
    rec.references = 1;
    for (int i = 0; i < 300; i++) {
      float c = 100.0f + 10.0f * std::sin(i / 9.0f) + i * 0.05f;
      add(c - 0.5f, c + 1.0f, c - 1.0f, c, 1000 + (i * 37) % 500);
    }
  }
  StudyDef* add_study(int type, int period, int pane_group = 1) {
    StudyDef t = study_template(type, period, PRICE_CLOSE);
    CPPCommon::getDefStudyGroup(type);
    t.pane_group = (uint32_t)pane_group;
    t.line_width = 1;
    snprintf(t.name, sizeof t.name, "*");
    return create_study(chart(), &t);
  }
  std::vector<StudyDef*> studies() {
    std::vector<StudyDef*> v;
    for (StudyDef* s = rec.studies; s; s = s->next) v.push_back(s);
    return v;
  }
};

class StudySheet : public TempRootTest {
 protected:
  void SetUp() override {
    TempRootTest::SetUp();
    kv_test_app();
  }
  // Runs the sheet at a start page; drive() acts as the user while it is up.
  int run(int start, int preselect, const std::function<void(CPSStudiesDlg&)>& drive) {
    CPSStudiesDlg dlg(start);
    dlg.chart = chart_.chart();
    dlg.doc = &doc_;
    dlg.preselect_type = preselect;
    kv_when_modal([&](QWidget*) { drive(dlg); });
    return dlg.DoModal();
  }
  // The active page: control ids are the page's own.
  static QWidget* P(CPSStudiesDlg& d) { return d.GetActivePage(); }
  static KvComboBox* combo(QWidget* w, int id) {
    return dynamic_cast<KvComboBox*>(kv_find_control(w, id));
  }
  static QString text(QWidget* w, int id) {
    QWidget* c = kv_find_control(w, id);
    if (auto* e = qobject_cast<QLineEdit*>(c)) return e->text();
    if (auto* b = qobject_cast<QAbstractButton*>(c)) return b->text();
    if (auto* l = qobject_cast<QLabel*>(c)) return l->text();
    return QString();
  }
  static bool checked(QWidget* w, int id) {
    auto* b = qobject_cast<QAbstractButton*>(kv_find_control(w, id));
    return b && b->isChecked();
  }
  SheetChart chart_;
  FakeDoc doc_;
};

}  // namespace

// ---- menu commands and family pages ---------------------------------------------

TEST_F(StudySheet, MenuCommandsAddTheirStudyAtOk) {
  struct Case {
    int page, type, group, period, price;
  } cases[] = {
      {STUDY_PAGE_RSI, STUDY_RSI, 8, 14, PRICE_CLOSE},
      {STUDY_PAGE_OTHER, STUDY_CHAIKIN, 16, 0, 0},
      {STUDY_PAGE_OTHER, STUDY_AD_LINE, 16, 0, 0},
      {STUDY_PAGE_VOLUME, STUDY_OBV, 16, 20, 0},
  };
  for (const Case& c : cases) {
    SheetChart chart;
    CPSStudiesDlg dlg(c.page);
    dlg.chart = chart.chart();
    dlg.doc = &doc_;
    dlg.preselect_type = c.type;
    kv_when_modal([&](QWidget*) {
      if (c.type == STUDY_CHAIKIN) {
        EXPECT_TRUE(checked(P(dlg), 1124));
      }
      kv_click(&dlg, IDOK);
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    auto v = chart.studies();
    ASSERT_EQ(v.size(), 1u) << std::hex << c.type;
    EXPECT_EQ(v[0]->type, c.type);
    EXPECT_EQ(v[0]->pane_group, (uint32_t)c.group);
    EXPECT_EQ(v[0]->period, c.period);
    if (c.price) {
      EXPECT_EQ(v[0]->price_type, c.price);
    }
    EXPECT_GT(v[0]->id, 0);
    EXPECT_EQ(chart.chart()->references, 1);  // the sheet's hold is given back
  }
  EXPECT_GE(doc_.redraws, 4);
}

TEST_F(StudySheet, TypeRadioWithAnExistingStudyReDefaultsOnlyTheNewRecord) {
  StudyDef* k = chart_.add_study(STUDY_STOCH_K, 12, 8);
  k->p1 = 3;
  int id = k->id;
  run(STUDY_PAGE_STOCHASTIC, 0, [&](CPSStudiesDlg& d) {
    ASSERT_EQ(combo(P(d), 1024)->GetCount(), 2);
    kv_choose(P(d), 1024, 1);
    EXPECT_EQ(text(P(d), 1101), "12");
    kv_click(P(d), 1107);  // %D: re-defaults the new-study record only
    EXPECT_TRUE(checked(P(d), 1106));
    EXPECT_EQ(text(P(d), 1101), "12");
    auto* fresh = reinterpret_cast<StudyDef*>(combo(P(d), 1024)->GetItemData(0));
    EXPECT_EQ(fresh->type, STUDY_STOCH_D);
    kv_click(&d, IDOK);
  });
  auto v = chart_.studies();
  ASSERT_EQ(v.size(), 1u);
  EXPECT_EQ(v[0]->type, STUDY_STOCH_K);
  EXPECT_EQ(v[0]->id, id);
  EXPECT_EQ(v[0]->period, 12);
}

TEST_F(StudySheet, SimpleAverageChangedToVariableIsMadeAnewInItsPlace) {
  chart_.add_study(STUDY_EMA, 10);
  int sma = chart_.add_study(STUDY_SMA, 50)->id;
  chart_.add_study(STUDY_RSI, 14, 8);
  run(STUDY_PAGE_MOVAVG, 0, [&](CPSStudiesDlg& d) {
    kv_choose(P(d), 1024, 2);  // new, EMA, SMA
    EXPECT_TRUE(checked(P(d), 1023));
    kv_click(P(d), 1029);  // Variable: no re-default, read at the apply
    kv_click(&d, IDOK);
  });
  auto v = chart_.studies();
  ASSERT_EQ(v.size(), 3u);
  EXPECT_EQ(v[0]->type, STUDY_EMA);
  EXPECT_EQ(v[1]->type, STUDY_VMA);  // same place in the list
  EXPECT_NE(v[1]->id, sma);
  EXPECT_EQ(v[1]->period, 50);
  EXPECT_EQ(study_output_count(v[1]), 2);
  EXPECT_EQ(v[1]->output_len, chart_.rec.header.bar_count + chart_.rec.spare);
  EXPECT_FALSE(study_is_missing(study_series(v[1], 0)[299]));
  EXPECT_EQ(v[2]->type, STUDY_RSI);
}

TEST_F(StudySheet, ATypeChangeThatEqualsAnotherStudyKeepsTheOldStudy) {
  SheetChart base;
  doc_.base = base.chart();
  int sma = chart_.add_study(STUDY_SMA, 50)->id;
  chart_.add_study(STUDY_VMA, 50);
  run(STUDY_PAGE_MOVAVG, 0, [&](CPSStudiesDlg& d) {
    kv_choose(P(d), 1024, 1);  // the SMA
    kv_click(P(d), 1029);      // Variable: equal to the study beside it
    kv_click(&d, IDOK);
  });
  auto v = chart_.studies();
  ASSERT_EQ(v.size(), 2u);
  EXPECT_EQ(v[0]->type, STUDY_SMA);
  EXPECT_EQ(v[0]->id, sma);
  std::vector<int> base_types;
  for (StudyDef* s = base.chart()->studies; s; s = s->next) base_types.push_back(s->type);
  EXPECT_EQ(base_types, (std::vector<int>{STUDY_SMA, STUDY_VMA}));
}

TEST_F(StudySheet, ChoosingAnotherStudyDropsUnappliedEdits) {
  chart_.add_study(STUDY_SMA, 50);
  chart_.add_study(STUDY_EMA, 20);
  run(STUDY_PAGE_MOVAVG, 0, [&](CPSStudiesDlg& d) {
    kv_choose(P(d), 1024, 1);
    kv_type(P(d), 1015, "33");
    kv_choose(P(d), 1024, 2);
    EXPECT_EQ(text(P(d), 1015), "20");
    kv_click(&d, IDOK);
  });
  auto v = chart_.studies();
  ASSERT_EQ(v.size(), 2u);
  EXPECT_EQ(v[0]->period, 50);
  EXPECT_EQ(v[1]->period, 20);
}

TEST_F(StudySheet, FieldsThatBelongToOneTypeOnly) {
  // MACD signal period and Stochastic %D period are read for their type only;
  // the % B period follows C's prefixes; a new standard-deviation average
  // goes to the oscillator pane.
  run(STUDY_PAGE_MACD, 0, [&](CPSStudiesDlg& d) {
    kv_type(P(d), 1099, "30");
    kv_type(P(d), 1100, "7");
    d.SetActivePage(STUDY_PAGE_STOCHASTIC);
    kv_type(P(d), 1095, "5");
    d.SetActivePage(STUDY_PAGE_BOLBAND);
    kv_click(P(d), 1218);
    kv_type(P(d), 1757, "010");
    d.SetActivePage(STUDY_PAGE_MOVAVG);
    kv_click(P(d), 1538);
    kv_click(&d, IDOK);
  });
  auto v = chart_.studies();
  ASSERT_EQ(v.size(), 4u);  // in sheet order: average, band, MACD, stochastic
  EXPECT_EQ(v[0]->type, STUDY_STDDEV);
  EXPECT_EQ(v[0]->pane_group, 8u);
  EXPECT_EQ(v[1]->type, STUDY_BB_PERCENT);
  EXPECT_EQ(v[1]->p1, 8.0);
  EXPECT_EQ(v[1]->pane_group, 4u);
  EXPECT_EQ(v[2]->type, STUDY_MACD);
  EXPECT_EQ(v[2]->p2, 30.0);
  EXPECT_EQ(v[2]->p3, 0.0);
  EXPECT_EQ(v[3]->type, STUDY_STOCH_K);
  EXPECT_EQ(v[3]->p2, 0.0);
}

TEST_F(StudySheet, RsiWidthElevenIsRefusedAndNothingIsApplied) {
  run(STUDY_PAGE_RSI, 0, [&](CPSStudiesDlg& d) {
    kv_type(P(d), 1217, "11");
    kv_click(&d, IDOK);
    EXPECT_TRUE(d.isVisible());
    kv_click(&d, IDCANCEL);
  });
  EXPECT_TRUE(chart_.studies().empty());
  ASSERT_FALSE(services_.boxes.empty());
  EXPECT_EQ(services_.boxes.back().text, "Please enter an integer between 1 and 10.");
}

// ---- Selected Studies ------------------------------------------------------------

TEST_F(StudySheet, ATypedNameBecomesTheStudysName) {
  run(STUDY_PAGE_MOVAVG, 0, [&](CPSStudiesDlg& d) {
    kv_type(P(d), 1024, "My average");
    kv_click(&d, IDOK);
  });
  ASSERT_EQ(chart_.studies().size(), 1u);
  EXPECT_STREQ(chart_.studies()[0]->name, "My average");
  EXPECT_EQ(chart_.studies()[0]->type, STUDY_SMA);
}

TEST_F(StudySheet, DeleteIsDisabledWhileASystemTradesOnTheChart) {
  chart_.add_study(STUDY_SMA, 50);
  chart_.rec.header.flags |= CHART_SYSTEM_RUNNING;
  run(STUDY_PAGE_SELECTED, 0, [&](CPSStudiesDlg& d) {
    EXPECT_FALSE(kv_click(P(d), 1085));
    kv_click(&d, IDOK);
  });
  EXPECT_EQ(chart_.studies().size(), 1u);
}

TEST_F(StudySheet, HiddenStudiesAreMarkedAndLeftOffTheirFamilyPage) {
  chart_.add_study(STUDY_SMA, 50);
  run(STUDY_PAGE_SELECTED, 0, [&](CPSStudiesDlg& d) {
    auto* list = dynamic_cast<KvListBox*>(kv_find_control(P(d), 1068));
    EXPECT_EQ(list->GetText(0), "*Simple Moving Average(50)");
    kv_click(P(d), 1223);
    EXPECT_EQ(list->GetText(0), "[HIDDEN]*Simple Moving Average(50)");
    EXPECT_EQ(text(P(d), 1223), "Show Study");
    kv_click(&d, IDOK);
  });
  ASSERT_EQ(chart_.studies().size(), 1u);
  EXPECT_TRUE(chart_.studies()[0]->state & STUDY_STATE_HIDDEN);
  run(STUDY_PAGE_MOVAVG, 0, [&](CPSStudiesDlg& d) {
    EXPECT_EQ(combo(P(d), 1024)->GetCount(), 1);
    kv_click(&d, IDCANCEL);
  });
}

TEST_F(StudySheet, DeletingTheFirstAndTheOnlyStudy) {
  chart_.add_study(STUDY_SMA, 50);
  int second = chart_.add_study(STUDY_EMA, 20)->id;
  int third = chart_.add_study(STUDY_RSI, 14, 8)->id;
  run(STUDY_PAGE_SELECTED, 0, [&](CPSStudiesDlg& d) {
    auto* list = dynamic_cast<KvListBox*>(kv_find_control(P(d), 1068));
    kv_choose(P(d), 1068, 0);
    kv_click(P(d), 1085);
    EXPECT_EQ(list->GetCount(), 2);
    EXPECT_EQ(list->GetCurSel(), 0);
    EXPECT_EQ(d.m_studies.current->id, second);
    kv_click(&d, IDOK);
  });
  auto v = chart_.studies();
  ASSERT_EQ(v.size(), 2u);
  EXPECT_EQ(v[0]->id, second);
  EXPECT_EQ(v[1]->id, third);

  // The only study of a compressed chart: its base chart is emptied too.
  SheetChart one, base;
  one.add_study(STUDY_SMA, 50);
  base.add_study(STUDY_SMA, 50);
  doc_.base = base.chart();
  CPSStudiesDlg dlg(STUDY_PAGE_SELECTED);
  dlg.chart = one.chart();
  dlg.doc = &doc_;
  kv_when_modal([&](QWidget*) {
    kv_click(P(dlg), 1085);
    EXPECT_EQ(dlg.m_studies.selection, -1);
    EXPECT_EQ(dlg.m_studies.current, nullptr);
    kv_click(&dlg, IDOK);
  });
  dlg.DoModal();
  EXPECT_EQ(one.chart()->studies, nullptr);
  EXPECT_EQ(base.chart()->studies, nullptr);
}

TEST_F(StudySheet, StyleAndWidthGoTogether) {
  chart_.add_study(STUDY_SMA, 50);
  kv_qt_services colors;
  colors.choose_color = [](QWidget*, COLORREF* c, COLORREF*) {
    *c = 0x123456;
    return 1;
  };
  kv_qt_services old = kv_qt_services_install(colors);
  run(STUDY_PAGE_SELECTED, 0, [&](CPSStudiesDlg& d) {
    kv_choose(P(d), 1026, 7);  // a wide style: width at least 2
    EXPECT_EQ(text(P(d), 1217), "2");
    kv_choose(P(d), 1026, 2);  // a thin one: width 1
    EXPECT_EQ(text(P(d), 1217), "1");
    kv_type(P(d), 1217, "3");  // a wide width turns the thin style wide
    EXPECT_EQ(combo(P(d), 1026)->GetCurSel(), 7);
    kv_type(P(d), 1217, "0");
    EXPECT_EQ(combo(P(d), 1026)->GetCurSel(), 0);
    EXPECT_EQ(text(P(d), 1217), "1");
    kv_choose(P(d), 1026, 6);
    kv_type(P(d), 1217, "4");
    kv_click(P(d), 1022);
    kv_click(&d, IDOK);
  });
  kv_qt_services_install(old);
  StudyDef* s = chart_.studies()[0];
  EXPECT_EQ(s->line_style, 6);
  EXPECT_EQ(s->line_width, 4);
  EXPECT_EQ(s->color, 0x123456u);
}

TEST_F(StudySheet, ApplyNowThenCancelKeepsTheChangeAndRewritesTheBaseChart) {
  SheetChart base;
  base.add_study(STUDY_CCI, 14, 8);  // stale: the base takes the sheet's list
  doc_.base = base.chart();
  chart_.add_study(STUDY_SMA, 50);
  run(STUDY_PAGE_RSI, 0, [&](CPSStudiesDlg& d) {
    EXPECT_TRUE(d.Item<QPushButton>(ID_APPLY_NOW)->isEnabled());
    kv_click(&d, ID_APPLY_NOW);
    EXPECT_EQ(d.Item<QPushButton>(IDCANCEL)->text(), "Close");
    kv_click(&d, IDCANCEL);
  });
  auto v = chart_.studies();
  ASSERT_EQ(v.size(), 2u);
  EXPECT_EQ(v[1]->type, STUDY_RSI);
  std::vector<int> base_types;
  for (StudyDef* s = base.chart()->studies; s; s = s->next) base_types.push_back(s->type);
  EXPECT_EQ(base_types, (std::vector<int>{STUDY_SMA, STUDY_RSI}));

  // A chart that had no study and got none leaves its base chart alone.
  SheetChart empty;
  CPSStudiesDlg dlg(STUDY_PAGE_SELECTED);
  dlg.chart = empty.chart();
  dlg.doc = &doc_;
  kv_when_modal([&](QWidget*) { kv_click(&dlg, IDCANCEL); });
  dlg.DoModal();
  EXPECT_EQ(empty.chart()->studies, nullptr);
  int kept = 0;
  for (StudyDef* s = base.chart()->studies; s; s = s->next) kept++;
  EXPECT_EQ(kept, 2);
}

TEST_F(StudySheet, ARecordDeletedOnSelectedStudiesIsNotAppliedByItsFamilyPage) {
  chart_.add_study(STUDY_SMA, 50);
  chart_.add_study(STUDY_EMA, 20);
  run(STUDY_PAGE_MOVAVG, 0, [&](CPSStudiesDlg& d) {
    kv_choose(P(d), 1024, 1);  // the SMA, shown on its page
    kv_type(P(d), 1015, "30");
    d.SetActivePage(STUDY_PAGE_SELECTED);
    kv_choose(P(d), 1068, 0);
    kv_click(P(d), 1085);
    kv_click(&d, IDOK);  // Selected Studies applies first and drops the record
  });
  auto v = chart_.studies();
  ASSERT_EQ(v.size(), 1u);
  EXPECT_EQ(v[0]->type, STUDY_EMA);
}

TEST_F(StudySheet, PictureOfSelectedStudiesWithTheStyleComboOpen) {
  chart_.add_study(STUDY_SMA, 50);
  chart_.add_study(STUDY_RSI, 14, 8)->state |= STUDY_STATE_HIDDEN;
  chart_.add_study(STUDY_MACD, 12, 4);
  QImage shot, popup;
  run(STUDY_PAGE_SELECTED, 0, [&](CPSStudiesDlg& d) {
    d.resize(640, 440);
    kv_pump_events(50);
    auto* style = combo(P(d), 1026);
    style->showPopup();
    kv_pump_events(50);
    shot = d.grab().toImage();
    QWidget* list = style->view()->window();
    popup = list->grab().toImage();
    // The open list is a window of its own: laid over the sheet where it
    // shows, the picture is what the user sees.
    QPoint at = d.mapFromGlobal(list->mapToGlobal(QPoint(0, 0)));
    QImage seen = shot.convertToFormat(QImage::Format_ARGB32);
    {
      QPainter p(&seen);
      p.drawImage(at, popup);
    }
    EXPECT_TRUE(kv_save_png(seen, KV_BINARY_DIR "/studies_sheet.png"));
    style->hidePopup();
    // Every family page, for a look at their layout.
    for (int page = STUDY_PAGE_MOVAVG; page <= STUDY_PAGE_EXTERNAL; page++) {
      d.SetActivePage(page);
      kv_pump_events(20);
      kv_grab_png(&d, QStringLiteral(KV_BINARY_DIR "/studies_page_%1.png").arg(page));
    }
    kv_click(&d, IDCANCEL);
  });
  ASSERT_FALSE(shot.isNull());
  ASSERT_FALSE(popup.isNull());
  EXPECT_GE(popup.height(), 10 * 14);  // ten pictures of 14 pixels
}

// ---- names ----------------------------------------------------------------------

TEST(StudyNames, DisplayNamesOfRecords) {
  StudyDef s{};
  CPPCommon().setDefStudyValues(&s, STUDY_SMA, 1);
  EXPECT_EQ(CPPCommon::itemText(&s), "*");  // a default record shows its stored name
  s.state = 0;
  EXPECT_EQ(CPPCommon::itemText(&s), "*Simple Moving Average(50)");
  s.state = STUDY_STATE_HIDDEN;
  EXPECT_EQ(CPPCommon::itemText(&s), "[HIDDEN]*Simple Moving Average(50)");

  struct Case {
    int type, period;
    double p1, p2, p3;
    const char* name;
  } cases[] = {
      {STUDY_STOCH_D, 10, 1, 10, 0, "*Stochastic %D(10,1,10)"},
      {STUDY_BB_UPPER, 20, 1, 2, 0, "*Upper Bollinger Band(20,2.0)"},
      {STUDY_MACD_SIGNAL, 12, 0, 26.7, 9.2, "*MACD Signal Line(12,26,9)"},
      {STUDY_NET_VOLUME, 0, 0, 0, 0, "*Net Volume()"},
      {STUDY_DAY_HIGH, 0, 0, 0, 0, "*Days's High Price"},
      {0x12345, 0, 0, 0, 0, "Unknown Study"},
  };
  for (const Case& c : cases) {
    StudyDef r{};
    r.type = c.type;
    r.period = c.period;
    r.p1 = c.p1;
    r.p2 = c.p2;
    r.p3 = c.p3;
    EXPECT_EQ(CPPCommon::makeName(&r), c.name);
  }

  StudyDef lib{};
  lib.type = 0x4000280;
  snprintf(lib.name, sizeof lib.name, "Name");
  lib.period = 14;
  lib.p1 = 1.5;
  lib.p3 = 3;
  lib.param_flags = STUDY_SHOW_PERIOD;
  EXPECT_EQ(CPPCommon::makeName(&lib), "Name(14)");
  lib.param_flags = STUDY_SHOW_PERIOD | STUDY_SHOW_P1 | STUDY_SHOW_P3;
  EXPECT_EQ(CPPCommon::makeName(&lib), "Name(14,1.50,3.00)");
  lib.param_flags = STUDY_SHOW_P3;
  EXPECT_EQ(CPPCommon::makeName(&lib), "Name(,3.00)");
}

TEST(StudyNames, DefaultsAndGroupsOfTypes) {
  CPPCommon c;
  StudyDef* d = c.createDefStudy(STUDY_SUPPORT2, 1);
  EXPECT_EQ(d->line_style, 7);
  EXPECT_EQ(d->color, 0x0000FFu);
  EXPECT_EQ(d->line_width, 2);
  EXPECT_EQ(d->id, -1);
  delete d;
  d = c.createDefStudy(STUDY_CCI, 8);
  EXPECT_EQ(d->period, 14);
  EXPECT_EQ(d->price_type, PRICE_TYPICAL);
  EXPECT_EQ(d->color, default_study_color());
  delete d;
  EXPECT_EQ(CPPCommon::getDefStudyGroup(STUDY_AVG_VOLUME), 2);
  EXPECT_EQ(CPPCommon::getDefStudyGroup(STUDY_NET_VOLUME), 4);
  EXPECT_EQ(CPPCommon::getDefStudyGroup(STUDY_STDDEV), 8);
  EXPECT_EQ(CPPCommon::getDefStudyGroup(STUDY_CHAIKIN), 16);
  EXPECT_EQ(CPPCommon::getDefStudyGroup(STUDY_EMA), 1);
}

TEST_F(StudySheet, StudiesAnOrderMayBeAttachedTo) {
  chart_.add_study(STUDY_SMA, 50);
  chart_.add_study(STUDY_RSI, 14, 8);  // an oscillator
  chart_.add_study(STUDY_PREV_CLOSE, 0);
  chart_.add_study(STUDY_EMA, 10)->attached_order = 7;
  KvComboBox cb;
  CPPCommon().AddToCBAS(&cb, chart_.chart()->studies);
  ASSERT_EQ(cb.GetCount(), 1);
  EXPECT_EQ(cb.GetLBText(0), "*Simple Moving Average(50)");
}

TEST(StudyNames, MethodTraceLinesWithTheStudySwitch) {
  uint32_t saved = g_option_flags;
  g_option_flags |= OPT_TRACE_STUDY;
  testing::internal::CaptureStderr();
  CPPCommon c;
  EXPECT_EQ(c.findStudy(nullptr, 5), nullptr);
  delete c.createDefStudy(STUDY_SMA, 1);
  std::string out = testing::internal::GetCapturedStderr();
  g_option_flags = saved;
  EXPECT_EQ(out.rfind("CPPCommon::findStudy(5)\nCPPCommon::createDefStudy()\n", 0), 0u) << out;
}

// ---- the line-style combo -----------------------------------------------------------

TEST_F(StudySheet, StyleComboShowsWindowColourWithoutSelectionAndPicturesOverHighlight) {
  CBitmapComboBox combo;
  QImage pictures[10];
  combo.LoadLineStyles(pictures);
  ASSERT_EQ(combo.GetCount(), 10);
  EXPECT_EQ(combo.GetCurSel(), 0);
  for (const QImage& p : pictures) {
    EXPECT_EQ(p.size(), QSize(80, 14));
  }
  combo.resize(140, 22);
  QColor base = combo.palette().color(QPalette::Base);
  QColor highlight = combo.palette().color(QPalette::Highlight);
  // Item area of the closed combo: inside the frame, left of the arrow.
  auto item_pixels = [&](const QImage& img) {
    std::vector<QColor> v;
    for (int y = 3; y < img.height() - 3; y++)
      for (int x = 3; x < img.width() - 20; x++) v.push_back(img.pixelColor(x, y));
    return v;
  };
  auto all_base = [&](const std::vector<QColor>& v) {
    for (const QColor& c : v)
      if (c != base) return false;
    return true;
  };
  combo.SetCurSel(-1);
  EXPECT_TRUE(all_base(item_pixels(combo.grab().toImage())));
  combo.SetCurSel(5);  // a wide solid line
  EXPECT_FALSE(all_base(item_pixels(combo.grab().toImage())));

  // Open: the chosen item's picture lies over the highlight, which shows
  // right of the 80 pixels of the picture.
  combo.show();
  combo.showPopup();
  kv_pump_events(20);
  QAbstractItemView* view = combo.view();
  QRect row = view->visualRect(view->model()->index(5, 0));
  ASSERT_GT(row.width(), 84);
  QImage open = view->viewport()->grab().toImage();
  EXPECT_EQ(open.pixelColor(row.right() - 2, row.center().y()), highlight);
  combo.hidePopup();
}
