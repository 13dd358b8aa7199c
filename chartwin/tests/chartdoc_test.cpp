// The chart document through its window: typed symbols, expressions with
// added and removed symbols, titles, queued reloads and their completions,
// and the bounds of symbol words and added-symbol slots.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <cstring>
#include <string>

#include "chartwin/chartdoc.h"
#include "chartwin/chartview.h"
#include "chartwin/tests/chartwin_fixture.h"
#include "data/chart.h"
#include "data/chartload.h"
#include "platform/messages.h"
#include "platform/qt/wnd.h"
#include "platform/testing/wait.h"
#include "platform/window.h"
#include "settings/settings.h"
#include "shell/app.h"
#include "shell/core/pagefile.h"
#include "shell/mainfrm.h"
#include "studies/study.h"
#include "studies/study_types.h"

namespace {

int study_count(const chart_rec* c) {
  int n = 0;
  for (const StudyDef* s = c ? c->studies : nullptr; s; s = s->next) n++;
  return n;
}

class ChartDocTest : public ChartWinTest {};

TEST_F(ChartDocTest, TypedSymbolLoadsTheStoredFileAndNamesTheWindow) {
  write_price_file("INTC", TU_DAILY, wave_bars(120), "Sample Chips Inc");
  CKvChartDoc* doc = new_chart();
  ASSERT_TRUE(doc);
  CKvChartView* view = view_of(doc);
  type_symbol(view, "intc", false);
  EXPECT_EQ(view->TypedText(), QStringLiteral("INTC"));
  type_symbol(view, "", true);
  ASSERT_TRUE(doc->m_chart);
  EXPECT_STREQ(doc->Settings().symbol, "INTC");
  EXPECT_EQ(doc->GetBarCount(), 120);
  EXPECT_EQ(doc->GetTitle(), QStringLiteral("INTC: (day)  Sample Chips Inc"));
  EXPECT_EQ(doc->m_chart->owner_window, view->GetSafeHwnd());
  EXPECT_TRUE(view->TypedText().isEmpty());
  // The "Loading Data for" text goes once the chart is in.
  EXPECT_TRUE(theApp->MainFrame()->GetPaneText(0).isEmpty());
  // The newest bars are shown, the scroll bar at its end.
  EXPECT_TRUE(view->m_view_flags & VF_AT_NEWEST);
  EXPECT_EQ(doc->Settings().m_nLast, 119);

  // A digit on an empty line is a time span, not a symbol: "5" asks this
  // chart for five minutes.
  type_symbol(view, "5", false);
  EXPECT_TRUE(view->TypedText().isEmpty());
  kv_flush_posted();
  EXPECT_EQ(doc->Settings().time_unit, 5);
  // After a letter the digit is typed.
  type_symbol(view, "a5\t", false);
  EXPECT_EQ(view->TypedText(), QStringLiteral("A5"));  // a tab types nothing
  view->OnEscape();
  EXPECT_TRUE(view->TypedText().isEmpty());
}

TEST_F(ChartDocTest, NewDocumentRefusesOptionalKindsTheQuoteSourceDoesNotServe) {
  // The fixture's live-quote source serves no optional kind.
  const struct {
    int kind;
    bool opens;
  } cases[] = {{KIND_CHART, true},       {KIND_QUOTES, true},  {KIND_TIME_SALES, false},
               {KIND_ORDER_BOOK, false}, {KIND_LEVEL2, false}, {KIND_MARKET_PULSE, false}};
  for (const auto& c : cases) {
    g_pref_flags = (g_pref_flags & ~0x7C0u) | ((uint32_t)c.kind << 6);
    CKvChartDoc doc(c.kind);
    EXPECT_EQ(doc.OnNewDocument(), c.opens) << "kind " << c.kind;
  }
  g_pref_flags &= ~0x7E0u;
}

TEST_F(ChartDocTest, SymbolWordsOf32CharactersAreRefusedAnd31Load) {
  std::string s31(31, 'Q'), s32(32, 'Q');
  write_price_file(s31.c_str(), TU_DAILY, wave_bars(30));
  CKvChartDoc* doc = new_chart();
  CKvChartView* view = view_of(doc);
  type_symbol(view, s32.c_str());
  EXPECT_FALSE(doc->m_chart);
  ASSERT_FALSE(services_.boxes.empty());
  EXPECT_EQ(services_.boxes.back().text, "Invalid Symbol");
  // An expression's word meets the same field.
  EXPECT_EQ(doc->ChangeSymbol((s31 + " +" + s32).c_str(), nullptr, 0, CHANGE_TYPED), 0);
  EXPECT_FALSE(doc->m_chart);
  type_symbol(view, s31.c_str());
  ASSERT_TRUE(doc->m_chart);
  EXPECT_EQ(std::string(doc->Settings().symbol), s31);
}

TEST_F(ChartDocTest, AddedAndRemovedSymbolsKeepTheirStudiesAndSlots) {
  for (const char* s : {"IBM", "MSFT"}) write_price_file(s, TU_DAILY, wave_bars(60));
  CKvChartDoc* doc = new_chart();
  ASSERT_TRUE(doc->ChangeSymbol("IBM", nullptr, 0, CHANGE_TYPED));
  ASSERT_TRUE(find_or_create_study(doc->m_chart, 0x80001, 20, 4, 1.0));
  ASSERT_TRUE(doc->ChangeSymbol("+ MSFT", nullptr, 0, CHANGE_TYPED));
  EXPECT_EQ(doc->ExtraCount(), 1);
  EXPECT_EQ(doc->JoinSymbols(), QStringLiteral("IBM +MSFT"));
  EXPECT_TRUE(doc->GetTitle().startsWith(QStringLiteral("IBM+MSFT: (day)")));
  // Removing the main symbol makes the first added one the main symbol,
  // with the studies.
  ASSERT_TRUE(doc->ChangeSymbol("- IBM", nullptr, 0, CHANGE_TYPED));
  EXPECT_STREQ(doc->Settings().symbol, "MSFT");
  EXPECT_EQ(doc->ExtraCount(), 0);
  EXPECT_EQ(study_count(doc->m_chart), 1);
  // A symbol that is not there is reported and changes nothing.
  ASSERT_TRUE(doc->ChangeSymbol("- AAPL", nullptr, 0, CHANGE_TYPED));
  EXPECT_STREQ(doc->Settings().symbol, "MSFT");
  EXPECT_EQ(app_->MainFrame()->GetPaneText(0), QStringLiteral("Symbol AAPL not in chart"));

  // Twenty added symbols fit; the twenty-first is refused.
  for (int i = 0; i < 21; i++) {
    std::string sym = "S" + std::to_string(i);
    write_price_file(sym.c_str(), TU_DAILY, wave_bars(10));
    EXPECT_EQ(doc->ChangeSymbol(("+ " + sym).c_str(), nullptr, 0, CHANGE_TYPED), i < 20 ? 1 : 0)
        << i;
  }
  EXPECT_EQ(doc->ExtraCount(), CHART_EXTRA_MAX);
  EXPECT_EQ(doc->m_extra_charts[CHART_EXTRA_MAX], nullptr);
  EXPECT_EQ(app_->MainFrame()->GetPaneText(0),
            QStringLiteral("No room for another symbol in the chart: S20"));
  char field[32];
  EXPECT_EQ(doc->JoinSymbolsBounded(field), 0);  // far longer than 31 characters
}

TEST_F(ChartDocTest, TitlesNameEachKindOfUnit) {
  CKvChartDoc* doc = new_chart();
  snprintf(doc->Settings().symbol, 32, "IBM");
  struct {
    int unit, base;
    const char* title;
  } cases[] = {
      {TU_TICK_BASE - 500, TU_TICK_BASE - 100, "IBM(500/100 tick) "},
      {TU_VOLUME_BASE - 2000, TU_VOLUME_BASE - 1000, "IBM(2000/1000 vol)  "},
      {5, 0, "IBM(5m)  "},
      {-15, 0, "IBM(15s)  "},
      {TU_DAILY, 0, "IBM: (day)  "},
      {TU_3DAY, 0, "IBM: (3day)  "},
      {TU_WEEKLY, 0, "IBM: (week)  "},
      {TU_MONTHLY, 0, "IBM: (mon)  "},
  };
  for (auto& c : cases) {
    doc->Settings().time_unit = c.unit;
    doc->Settings().base_unit = c.base;
    EXPECT_STREQ(doc->GetTitleText(), c.title) << c.unit;
  }
  doc->Settings().time_unit = 5;
  doc->Settings().chart_type = 10;
  EXPECT_STREQ(doc->GetTitleText(), "IBM(5m) Heikin-Ashi ");
  EXPECT_STREQ(CKvChartDoc::GetTimeUnitName(TU_TICK_BASE - 1), "1 tick");
  EXPECT_STREQ(CKvChartDoc::GetTimeUnitName(TU_VOLUME_BASE - 1000), "1000 volume");
  EXPECT_STREQ(CKvChartDoc::GetTimeUnitName(-30), "30 seconds");
  EXPECT_STREQ(CKvChartDoc::GetTimeUnitName(TU_WEEKLY), "weekly");
  EXPECT_STREQ(CKvChartDoc::GetTimeUnitName(TU_MQT), "unknown");
}

TEST_F(ChartDocTest, QueuedReloadArrivesAsCompletionAndOtherSymbolsAreReleased) {
  write_price_file("INTC", TU_DAILY, wave_bars(80));
  write_price_file("AMD", TU_DAILY, wave_bars(40));
  CKvChartDoc* doc = new_chart();
  CKvChartView* view = view_of(doc);
  // A reload asks the import source again: here it has nothing new.
  auto web_import = g_chart_load_hooks.web_import;
  g_chart_load_hooks.web_import = [](int, const char*, int, int, uint32_t, const char*,
                                     const char*) -> chart_rec* { return nullptr; };
  ASSERT_TRUE(doc->ChangeSymbol("INTC", nullptr, 0, CHANGE_TYPED));
  StudyDef* ma = find_or_create_study(doc->m_chart, 0x80001, 20, 4, 1.0);
  ASSERT_TRUE(ma);
  double sum = 0;
  for (int i = 21; i <= 40; i++) sum += doc->m_chart->bars[i].close;
  EXPECT_NEAR(ma->outputs[40], sum / 20, 1e-3);
  ASSERT_TRUE(doc->OnCmdMsg(ID_DATA_RELOAD));
  EXPECT_TRUE(doc->Settings().display_flags & CS_SHOW_UPDATING);
  ASSERT_TRUE(
      kv_pump_until([&] { return !(doc->Settings().display_flags & CS_SHOW_UPDATING); }, 20000));
  ASSERT_TRUE(doc->m_chart);
  EXPECT_EQ(doc->GetBarCount(), 80);
  EXPECT_EQ(study_count(doc->m_chart), 1);  // the studies moved to the reloaded chart

  // A completion for a symbol the window no longer shows is released.
  chart_rec* other = get_chart_data("AMD", TU_DAILY, 0, 0, 0, nullptr, nullptr, 1);
  ASSERT_TRUE(other);
  chart_rec* again = get_chart_data("AMD", TU_DAILY, 0, 0, 0, nullptr, nullptr, 1);
  ASSERT_EQ(again, other);
  EXPECT_EQ(other->references, 2);
  ASSERT_TRUE(view->PostMessage(WM_GET_CHART_COMPLETE, reinterpret_cast<kv_wparam>(other), 0));
  kv_flush_posted();
  EXPECT_EQ(other->references, 1);
  EXPECT_STREQ(doc->Settings().symbol, "INTC");
  free_chart_data(other);
  g_chart_load_hooks.web_import = web_import;
}

TEST_F(ChartDocTest, ReopenedFromItsDescriptorWithAddedSymbolsStudiesAndPanes) {
  for (const char* s : {"IBM", "MSFT", "ORCL"}) write_price_file(s, TU_DAILY, wave_bars(60));
  CKvChartDoc* doc = new_chart();
  CKvChartView* view = view_of(doc);
  ASSERT_TRUE(doc->ChangeSymbol("IBM + MSFT + ORCL", nullptr, 0, CHANGE_TYPED));
  ASSERT_TRUE(find_or_create_study(doc->m_chart, 0x80001, 20, 4, 1.0));
  ASSERT_TRUE(find_or_create_study(doc->m_chart, 0x4001D, 20, 4, 2.0));
  for (int i = 0; i < 3; i++) doc->Settings().pane_shown[i] = 1;
  doc->Settings().pane_content[1] = 0x4;
  doc->Settings().pane_content[2] = 0x2;
  view->UpdatePanes("test", UP_CALC | UP_SCBAR);
  view->Panes().MoveSplitters(0.55f, 0.8f, 0);
  view->UpdatePanes("test", UP_CALC);

  WindowDescriptor* d = new_descriptor();
  doc->FillWindowDescriptor(d);
  uint8_t image[WINDOW_DESCRIPTOR_SIZE];
  encode_descriptor(d, image);
  EXPECT_EQ(d->study_count, 2);
  EXPECT_STREQ(d->extra, " +MSFT +ORCL");
  ChartSettings saved = doc->Settings();
  // The page file keeps its own copies of the studies.
  StudyDef* copies = nullptr;
  StudyDef** tail = &copies;
  for (StudyDef* s = d->studies; s; s = s->next) {
    auto* c = (StudyDef*)malloc(sizeof(StudyDef));
    *c = *s;
    c->next = nullptr;
    *tail = c;
    tail = &c->next;
  }
  release_descriptor_studies(d);
  free_descriptor(d);

  WindowDescriptor* back = new_descriptor();
  decode_descriptor(image, back);
  back->studies = copies;
  auto* reopened = dynamic_cast<CKvChartDoc*>(app_->OpenDescriptorWindow(back, 1, nullptr));
  ASSERT_TRUE(reopened);
  ASSERT_NE(reopened, doc);
  free_descriptor(back);
  ASSERT_TRUE(reopened->m_chart);
  EXPECT_STREQ(reopened->Settings().symbol, "IBM");
  EXPECT_EQ(reopened->ExtraCount(), 2);
  EXPECT_EQ(study_count(reopened->m_chart), 2);
  const ChartSettings& s = reopened->Settings();
  for (int i = 0; i < 4; i++) {
    EXPECT_EQ(s.pane_shown[i], saved.pane_shown[i]);
    EXPECT_EQ(s.pane_content[i], saved.pane_content[i]);
  }
  for (int i = 0; i < 3; i++) EXPECT_FLOAT_EQ(s.splits[i], saved.splits[i]);
  EXPECT_EQ(s.time_unit, saved.time_unit);
  EXPECT_EQ(s.candle_size, saved.candle_size);
  EXPECT_EQ(s.chart_type, saved.chart_type);
}

}  // namespace
