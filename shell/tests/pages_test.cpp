// Page layouts with real windows: a saved page of two charts reopened at
// the start and written back at the exit, Save and Open Page Layout, the
// New window dialog, child frames, the favourites menu, window titles,
// dropped files and help pages.
#include <QAction>
#include <QMdiSubWindow>
#include <QMenu>
#include <cstring>

#include "data/chart.h"
#include "data/lefield.h"
#include "platform/files.h"
#include "platform/messages.h"
#include "platform/qt/controls.h"
#include "platform/qt/docview.h"
#include "platform/qt/services_qt.h"
#include "platform/qt/test_harness.h"
#include "res/resource.h"
#include "settings/settings.h"
#include "shell/app.h"
#include "shell/app_hooks.h"
#include "shell/childfrm.h"
#include "shell/core/chartstore.h"
#include "shell/mainfrm.h"
#include "shell/pagemgr.h"
#include "shell/tests/shell_fixture.h"
#include "shell/windowdoc.h"
#include "studies/study.h"

namespace {

using PagesTest = ShellTest;

// A pages file with one window per (kind, symbol, time unit), written
// through the record encoder; chart windows carry one study each.
std::string pages_file(const std::vector<std::tuple<int, const char*, int>>& windows) {
  page_list l;
  for (auto [kind, symbol, unit] : windows) {
    WindowDescriptor* d = new_descriptor();
    d->kind = kind;
    d->settings.window_kind = kind;
    snprintf(d->settings.symbol, sizeof d->settings.symbol, "%s", symbol);
    d->settings.time_unit = unit;
    if (kind == KIND_CHART) {
      d->studies = (StudyDef*)calloc(1, sizeof(StudyDef));
      d->studies->type = 0x80001;
      d->study_count = 1;
    }
    page_list_append(&l, d);
  }
  std::string image;
  build_pages_file(&l, &image);
  page_list_free(&l);
  return image;
}

std::vector<std::string> open_symbols(int kind) {
  std::vector<std::string> out;
  for (CKvWindowDoc* d : kv_window_docs(kind)) out.push_back(d->Settings().symbol);
  return out;
}

TEST_F(PagesTest, SavedPageOfTwoChartsReopensAndIsWrittenBackAtExit) {
  write_quote_config(0);
  write_data("CONFIG/Pages.kvc", pages_file({{KIND_CHART, "IBM", 390},
                                             {KIND_CHART, "MSFT", 2730},
                                             {KIND_TIME_SALES, "X", 0}}));  // no items: not opened
  CKvChartApp* app = start();
  EXPECT_EQ(open_symbols(KIND_CHART), (std::vector<std::string>{"IBM", "MSFT"}));
  EXPECT_TRUE(kv_window_docs(KIND_TIME_SALES).empty());
  std::vector<CKvWindowDoc*> charts = kv_window_docs(KIND_CHART);
  ASSERT_EQ(charts.size(), 2u);
  ASSERT_TRUE(charts[0]->PendingStudies());  // waiting for the chart to load
  EXPECT_EQ(charts[0]->PendingStudies()->type, 0x80001);
  EXPECT_EQ(charts[1]->Settings().time_unit, 2730);
  EXPECT_EQ(app->MainFrame()->children().size(), 2u);

  close_and_exit(app);
  std::string back = read_all(data_file("CONFIG/Pages.kvc"));
  page_list l;
  ASSERT_EQ(parse_pages_file((const uint8_t*)back.data(), back.size(), &l), PAGE_READ_OK);
  ASSERT_EQ(l.count, 2);
  EXPECT_STREQ(l.head->settings.symbol, "IBM");
  EXPECT_EQ(l.head->study_count, 1);
  EXPECT_STREQ(l.head->next->settings.symbol, "MSFT");
  page_list_free(&l);
  EXPECT_TRUE(kv_file_exists(data_file("CONFIG/Pages.kvcbak").c_str()));
}

TEST_F(PagesTest, OldRevisionIsDeletedAndTheProgramStartsWithoutWindows) {
  write_quote_config(0);
  std::string old = pages_file({{KIND_CHART, "IBM", 390}});
  put_le16((uint8_t*)old.data(), 6);
  write_data("CONFIG/Pages.kvc", old);
  CKvChartApp* app = start();
  EXPECT_TRUE(app->MainFrame()->children().empty());
  EXPECT_FALSE(kv_file_exists(data_file("CONFIG/Pages.kvc").c_str()));
}

TEST_F(PagesTest, SaveToTheCurrentFileAndOpenOfABadPageKeepsTheWindows) {
  write_quote_config(0);
  write_data("CONFIG/Pages.kvc", pages_file({{KIND_CHART, "IBM", 390}}));
  CKvChartApp* app = start();
  CKvMainFrame* f = app->MainFrame();
  // A second chart, then File/Save Page Layout to the same file.
  app->NewChart();
  ASSERT_EQ(kv_window_docs(KIND_CHART).size(), 2u);
  services_.dialog_answers.push_back(data_file("CONFIG/Pages.kvc"));
  ASSERT_TRUE(f->RouteCommand(32951));
  std::string saved = read_all(data_file("CONFIG/Pages.kvc"));
  EXPECT_EQ(get_le16((const uint8_t*)saved.data() + 2), 2);
  std::vector<CKvWindowDoc*> charts = kv_window_docs(KIND_CHART);
  ASSERT_TRUE(charts[0]->PendingStudies());  // the page was written; the studies came back

  // Save under another name, then open a layout that is corrupt: the
  // windows stay and the current file is still the saved one.
  services_.dialog_answers.push_back("/elsewhere/Other.txt");
  ASSERT_TRUE(f->RouteCommand(32951));
  EXPECT_TRUE(kv_file_exists(data_file("CONFIG/Other.kvc").c_str()));
  EXPECT_STREQ(g_page_manager.PagesPath(), data_file("CONFIG/Other.kvc").c_str());
  write_data("CONFIG/Bad.kvc", "short");
  services_.dialog_answers.push_back(data_file("CONFIG/Bad.kvc"));
  ASSERT_TRUE(f->RouteCommand(32950));
  EXPECT_EQ(kv_window_docs(KIND_CHART).size(), 2u);
  EXPECT_STREQ(g_page_manager.PagesPath(), data_file("CONFIG/Other.kvc").c_str());
  EXPECT_EQ(g_page_manager.Descriptors().head, nullptr);

  // A good layout replaces the windows.
  write_data("CONFIG/One.kvc", pages_file({{KIND_CHART, "AAPL", 390}}));
  services_.dialog_answers.push_back(data_file("CONFIG/One.kvc"));
  ASSERT_TRUE(f->RouteCommand(32950));
  EXPECT_EQ(open_symbols(KIND_CHART), std::vector<std::string>{"AAPL"});
}

// Runs File/New and picks a row of the list (-1: none).
void run_new_dialog(CKvMainFrame* f, int row, int* rows, std::vector<std::string>* names) {
  kv_when_modal([=](QWidget* m) {
    auto* list = dynamic_cast<KvListBox*>(kv_find_control(m, IDC_NEW_TYPE_LIST));
    *rows = list ? list->GetCount() : -1;
    for (int i = 0; list && i < list->GetCount(); i++)
      names->push_back(list->GetText(i).toStdString());
    if (list && row >= 0) kv_choose(m, IDC_NEW_TYPE_LIST, row);
    if (list && row < 0) list->SetCurSel(-1);
    kv_click(m, IDOK);
  });
  f->RouteCommand(57600);
}

TEST_F(PagesTest, NewDialogListsTheKindsThatHaveTemplatesAndOpensTheChosenOne) {
  write_quote_config(0);
  CKvChartApp* app = start();
  CKvMainFrame* f = app->MainFrame();
  int rows = 0;
  std::vector<std::string> names;
  run_new_dialog(f, 1, &rows, &names);
  EXPECT_EQ(names, (std::vector<std::string>{"Chart", "Quotes", "SLFMap", "Horse Race"}));
  EXPECT_EQ(kv_window_docs(KIND_QUOTES).size(), 1u);

  // Order book and level 2 but no market pulse: the list ends at Orderbook.
  app->GetDocTemplate(KIND_TIME_SALES);
  app->GetDocTemplate(KIND_ORDER_BOOK);
  app->GetDocTemplate(KIND_LEVEL2);
  names.clear();
  run_new_dialog(f, 0, &rows, &names);
  EXPECT_EQ(rows, 7);
  EXPECT_EQ(names.back(), "Orderbook");
  EXPECT_EQ(kv_window_docs(KIND_CHART).size(), 1u);
  app->GetDocTemplate(KIND_MARKET_PULSE);
  names.clear();
  run_new_dialog(f, -1, &rows, &names);  // OK without a selection opens nothing
  EXPECT_EQ(rows, 9);
  EXPECT_EQ(names.back(), "MarketPulse");
  EXPECT_EQ(app->m_next_view_kind, 0);
  EXPECT_EQ(f->children().size(), 2u);
}

class RecordingView : public KvView {
 public:
  kv_lresult WindowProc(unsigned message, kv_wparam wparam, kv_lparam lparam) override {
    if (message == WM_MIN_MAX_WINDOW) got.push_back(unsigned(wparam));
    return KvView::WindowProc(message, wparam, lparam);
  }
  std::vector<unsigned> got;
};

TEST_F(PagesTest, ChildFramesOfOrderWindowsHaveNoMaximizeBoxAndChartsHearOfMinimising) {
  write_quote_config(0);
  CKvChartApp* app = start();
  app->m_next_view_kind = KIND_PAPER_ORDERS;
  KvDocument* orders = app->DocTemplate(KIND_PAPER_ORDERS)->OpenDocumentFile(QString());
  app->m_next_view_kind = 0;
  ASSERT_TRUE(orders);
  KvChildFrame* of = orders->GetFirstView()->GetParentFrame();
  EXPECT_FALSE(of->windowFlags() & Qt::WindowMaximizeButtonHint);

  RecordingView* views[2] = {};
  for (int i = 0; i < 2; i++) {
    int kind = i == 0 ? KIND_CHART : KIND_QUOTES;
    KvDocTemplate t(
        129, [kind] { return new CKvWindowDoc(kind); }, [] { return new CKvChildFrame; },
        [&views, i] { return views[i] = new RecordingView; });
    KvDocument* d = t.OpenDocumentFile(QString());
    ASSERT_TRUE(d);
    KvChildFrame* cf = views[i]->GetParentFrame();
    if (i == 0) EXPECT_TRUE(cf->windowFlags() & Qt::WindowMaximizeButtonHint);
    cf->SysCommand(SC_MINIMIZE);
    cf->SysCommand(SC_RESTORE);
    kv_flush_posted();
    EXPECT_EQ(views[i]->got,
              i == 0 ? (std::vector<unsigned>{SC_MINIMIZE, SC_RESTORE}) : std::vector<unsigned>{});
    t.CloseAllDocuments();
  }
}

TEST_F(PagesTest, SevenFavoritesShowTheSixMostUsedAndMore) {
  write_quote_config(0);
  for (int i = 0; i < 7; i++) {
    std::string f(24 + 1572, '\0');
    put_le16((uint8_t*)f.data(), 7);
    put_le32((uint8_t*)f.data() + 24 + 8, 1);
    std::string name = "fav" + std::to_string(i);
    memcpy(f.data() + 24 + 272 + 16, name.data(), name.size());
    put_le16((uint8_t*)f.data() + 24 + 1552, i);  // fav6 is the most used
    write_data(("FAVORITE/" + name + ".fav").c_str(), f);
  }
  CKvChartApp* app = start();
  QMenu* menu = app->MainFrame()->GetSubMenu(IDR_CHART, 3);
  ASSERT_TRUE(menu);
  std::vector<std::string> texts;
  for (QAction* a : menu->actions())
    if (kv_action_id(a)) texts.push_back(a->text().toStdString());
  EXPECT_EQ(texts,
            (std::vector<std::string>{"fav6", "fav5", "fav4", "fav3", "fav2", "fav1", "More..."}));
  // Favorite 1 twice: its use count is written back at the exit.
  app->MainFrame()->RouteCommand(32829);
  app->MainFrame()->RouteCommand(32829);
  EXPECT_EQ(kv_window_docs(KIND_CHART).size(), 2u);
  close_and_exit(app);
  std::string f6 = read_all(data_file("FAVORITE/fav6.fav"));
  EXPECT_EQ(get_le16((const uint8_t*)f6.data() + 24 + 1552), 8);
}

TEST_F(PagesTest, FavoritesDialogDeletesTheMarkedOnesAndOpensTheChosenOnlyWhenItStays) {
  write_quote_config(0);
  for (const char* name : {"keep", "drop"}) {
    std::string f(24 + 1572, '\0');
    put_le16((uint8_t*)f.data(), 7);
    put_le32((uint8_t*)f.data() + 24 + 8, 1);
    memcpy(f.data() + 24 + 272 + 16, name, strlen(name));
    write_data((std::string("FAVORITE/") + name + ".fav").c_str(), f);
  }
  CKvChartApp* app = start();
  auto find = [](const char* name) -> WindowDescriptor* {
    for (FavoriteRecord* f = g_chart_store.Favorites().head; f; f = f->next)
      if (!strcmp(f->settings.favorite_name, name)) return f;
    return nullptr;
  };
  // The user deletes "drop", chooses it to open and makes "keep" the default.
  app->m_favorites_dialog = [&](const WindowDescriptor** chosen) {
    find("drop")->flags |= DESC_MARK_DELETE;
    find("keep")->flags |= DESC_DEFAULT;
    *chosen = find("drop");
    return true;
  };
  ASSERT_TRUE(app->MainFrame()->RouteCommand(32820));
  EXPECT_FALSE(kv_file_exists(data_file("FAVORITE/drop.fav").c_str()));
  EXPECT_EQ(find("drop"), nullptr);
  EXPECT_TRUE(kv_window_docs(KIND_CHART).empty());
  EXPECT_EQ(std::string(g_settings.DefaultFavorite), data_file("FAVORITE/keep.fav"));
  EXPECT_EQ(app->FavoriteMenuEntry(0), find("keep"));
  EXPECT_EQ(app->FavoriteMenuEntry(1), nullptr);

  // Choosing "keep" opens it; its studies stay with the favourite.
  app->m_favorites_dialog = [&](const WindowDescriptor** chosen) {
    *chosen = find("keep");
    return true;
  };
  ASSERT_TRUE(app->MainFrame()->RouteCommand(32834));
  EXPECT_EQ(kv_window_docs(KIND_CHART).size(), 1u);
}

TEST_F(PagesTest, TitlesViewUnitsDroppedFilesAndHelpPages) {
  write_quote_config(0);
  CKvChartApp* app = start();
  app->GetChartTitle(KIND_CHART, 390, 0, 1);
  app->GetChartTitle(KIND_CHART, 390, 0, 1);
  EXPECT_STREQ(app->GetChartTitle(KIND_CHART, -600, 0, 1), "- Chart3(500tick)");
  EXPECT_STREQ(app->GetChartTitle(KIND_CHART, 5, 9, 0), "- Chart3(5m) VWAP");
  EXPECT_STREQ(app->GetChartTitle(KIND_CHART, 2730, 0, 0), "- Chart3(week)");
  EXPECT_STREQ(app->GetNewWindowTitle(KIND_QUOTES), "- Quotes1");
  EXPECT_STREQ(app->GetNewWindowTitle(KIND_QUOTES), "- Quotes2");
  EXPECT_STREQ(app->GetSlfNameFromTitle(KIND_SLFMAP, "tech[2] - SLFMap"), "tech");
  EXPECT_STREQ(app->GetSlfNameFromTitle(KIND_SLFMAP, "- tech"), "tech");

  app->MainFrame()->RouteCommand(32818);  // a chart window shows the chart menu
  app->UpdateViewUnitsMenu(5);
  QMenu* view = app->MainFrame()->GetSubMenu(IDR_CHART, 2);
  ASSERT_TRUE(view);
  std::vector<int> units;
  for (unsigned id = 33137; id <= 33146; id++) {
    QAction* a = kv_find_action(view, id);
    ASSERT_TRUE(a) << id;
    units.push_back(a->text().section(QLatin1Char('\t'), 0, 0).toInt());
  }
  EXPECT_EQ(units, (std::vector<int>{5, 10, 15, 20, 25, 50, 100, 125, 250, 500}));

  struct Drop {
    const char* path;
    int kind, unit;
  } drops[] = {{"/x/SLF/tech.slf", KIND_SLFMAP, 0},    {"/x/a~list", KIND_SLFMAP, 0},
               {"/x/DATA/IBM.wyd", KIND_CHART, 2730},  {"/x/DATA/IBM.itd", KIND_CHART, 5},
               {"/x/DATA/IBM.myd", KIND_CHART, 11700}, {"/x/my.slf.d/IBM.dyd", KIND_CHART, 390}};
  for (const Drop& d : drops) {
    int unit = -1;
    EXPECT_EQ(app->GetDocKind(d.path, &unit), d.kind) << d.path;
    EXPECT_EQ(unit, d.unit) << d.path;
  }

  // A dropped symbol list opens a symbol list map, a weekly file a weekly
  // chart.
  write_data("SLF/tech.slf", "IBM\nMSFT\n");
  ASSERT_TRUE(app->OpenDocumentFile(data_file("SLF/tech.slf").c_str()));
  EXPECT_EQ(kv_window_docs(KIND_SLFMAP).size(), 1u);
  auto* weekly =
      dynamic_cast<CKvWindowDoc*>(app->OpenDocumentFile(data_file("DATA/IBM.wyd").c_str()));
  ASSERT_TRUE(weekly);
  EXPECT_EQ(weekly->Settings().time_unit, 2730);
  EXPECT_EQ(weekly->GetTitle().toStdString(), "- Chart5(week)");

  std::vector<std::string> opened;
  kv_qt_services s;
  s.open_url = [&](const QString& url) {
    opened.push_back(url.toStdString());
    return 1;
  };
  kv_qt_services old = kv_qt_services_install(s);
  write_data("HELP/UserPref.htm", "<html></html>");
  write_data("HELP/index.htm", "<html></html>");
  app->WinHelp(160);
  app->WinHelp(185);
  app->WinHelp(999);
  app->WinHelp(100);  // About.htm is not there: nothing
  kv_qt_services_install(old);
  ASSERT_EQ(opened.size(), 3u);
  EXPECT_EQ(opened[0], opened[1]);
  EXPECT_NE(opened[0].find("HELP/UserPref.htm"), std::string::npos);
  EXPECT_NE(opened[2].find("HELP/index.htm"), std::string::npos);
}

TEST_F(PagesTest, ListWindowsWithoutItemsStayClosedAndSymbolListsOpenAChart) {
  // a live-quote source that serves the four market-window kinds
  write_quote_config(0x02 | 0x10 | 0x20 | 0x40);
  CKvChartApp* app = start();
  // Market windows come back only with the list they had.
  for (int kind : {KIND_TIME_SALES, KIND_ORDER_BOOK, KIND_LEVEL2, KIND_MARKET_PULSE}) {
    app->GetDocTemplate(kind);
    WindowDescriptor* d = new_descriptor();
    d->kind = d->settings.window_kind = kind;
    EXPECT_EQ(app->OpenDescriptorWindow(d, 1, nullptr), nullptr) << kind;
    EXPECT_EQ(g_pref_flags & 0x7E0u, 0u) << kind;
    d->settings.item_count = 2;
    d->settings.items = calloc(2, PAGE_ITEM_SIZE);
    memset(d->settings.items, 0x5A, 2 * PAGE_ITEM_SIZE);
    auto* doc = dynamic_cast<CKvWindowDoc*>(app->OpenDescriptorWindow(d, 1, nullptr));
    ASSERT_TRUE(doc) << kind;
    EXPECT_EQ(doc->Kind(), kind);
    // Its view took the saved columns over (unknown ids: the defaults).
    EXPECT_EQ(doc->Settings().item_count, 0);
    EXPECT_EQ(doc->Settings().items, nullptr);
    free_descriptor(d);
  }

  // A symbol list opened as the list of a quotes window while no window is
  // being made becomes the current list, and its first symbol a chart.
  write_data("SLF/tech.slf", "ibm International Business Machines\nMSFT\n");
  write_price_file("IBM", TU_DAILY, wave_bars(20));
  size_t charts = kv_window_docs(KIND_CHART).size();
  g_pref_flags = (g_pref_flags & ~0x7C0u) | (KIND_QUOTES << 6);
  EXPECT_EQ(app->OpenDocumentFile(data_file("SLF/tech.slf").c_str()), nullptr);
  g_pref_flags &= ~0x7C0u;
  EXPECT_STREQ(app->m_symbol_list_path, data_file("SLF/tech.slf").c_str());
  EXPECT_EQ(app->m_symbol_count, 2);
  std::vector<CKvWindowDoc*> now = kv_window_docs(KIND_CHART);
  ASSERT_EQ(now.size(), charts + 1);
  EXPECT_STREQ(now.back()->Settings().symbol, "IBM");

  // Chart/Default opens an empty chart even with a default favourite named
  // (which New Chart would open instead).
  snprintf(g_settings.DefaultFavorite, sizeof g_settings.DefaultFavorite, "%s",
           data_file("FAVORITE/none.fav").c_str());
  EXPECT_EQ(app->NewChart(), nullptr);  // named, but not among the favourites
  app->MainFrame()->RouteCommand(32833);
  g_settings.DefaultFavorite[0] = 0;
  now = kv_window_docs(KIND_CHART);
  ASSERT_EQ(now.size(), charts + 2);
  EXPECT_EQ(now.back()->GetTitle().left(7).toStdString(), "- Chart");
}

TEST_F(PagesTest, PrintSetupChoosesThePageOfTheOnePrinter) {
  write_quote_config(0);
  CKvChartApp* app = start();
  std::vector<QPrinter*> asked;
  kv_qt_services s;
  s.page_setup = [&](QWidget*, QPrinter* p) {
    asked.push_back(p);
    p->setPageOrientation(QPageLayout::Landscape);
    return 1;
  };
  kv_qt_services old = kv_qt_services_install(s);
  app->MainFrame()->RouteCommand(57606);
  app->MainFrame()->RouteCommand(57606);
  kv_qt_services_install(old);
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_EQ(asked[0], asked[1]);
  EXPECT_EQ(app->Printer(), asked[0]);
  EXPECT_EQ(app->Printer()->pageLayout().orientation(), QPageLayout::Landscape);
}

}  // namespace
