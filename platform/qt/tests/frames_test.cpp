// Documents, views, templates, the MDI frames and command routing.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPointer>
#include <string>
#include <vector>

#include "platform/profile.h"
#include "platform/qt/app.h"
#include "platform/qt/frames.h"
#include "platform/qt/test_harness.h"
#include "platform/testing/fixture.h"

namespace {

std::vector<std::string> g_trail;

struct Doc : KvDocument {
  Doc() {
    MapCommand(100, [] { g_trail.push_back("doc"); });
    MapCommand(200, [] { g_trail.push_back("doc"); });
  }
};

struct View : KvView {
  bool allow_close = true;
  std::vector<intptr_t> hints;
  View() {
    MapCommand(100, [] { g_trail.push_back("view"); });
  }
  void OnUpdate(KvView*, intptr_t hint) override { hints.push_back(hint); }
  bool CanClose() override { return allow_close; }
};

struct Frame : KvChildFrame {
  std::vector<unsigned> syscmds;
  Frame() {
    MapCommand(300, [] { g_trail.push_back("child"); });
  }
  void OnSysCommand(unsigned id, kv_lparam) override { syscmds.push_back(id); }
};

struct Main : KvMainFrame {
  Main() {
    MapCommand(400, [] { g_trail.push_back("main"); });
  }
};

class Frames : public TempRootTest {
 protected:
  void SetUp() override {
    TempRootTest::SetUp();
    app = kv_test_app();
    main = new Main;
    main->resize(900, 700);
    main->show();
    auto t = std::make_unique<KvDocTemplate>(
        129, [] { return new Doc; }, [] { return new Frame; }, [] { return new View; });
    tmpl = t.get();
    app->AddDocTemplate(std::move(t));
    app->MapCommand(500, [] { g_trail.push_back("app"); });
    g_trail.clear();
  }
  void TearDown() override {
    delete main;
    app->CloseAllDocuments();
    TempRootTest::TearDown();
  }
  KvApp* app;
  Main* main;
  KvDocTemplate* tmpl;
};

int g_released = 0;
void count_release(unsigned, kv_wparam, kv_lparam l) {
  delete reinterpret_cast<int*>(l);
  g_released++;
}

// Qt deletes a closed frame later (or never, for the main frame); its
// messages must not wait for that.
TEST_F(Frames, ClosingFramesReleaseQueuedPayloadsAtOnce) {
  KvDocument* doc = tmpl->OpenDocumentFile(QString());
  ASSERT_NE(doc, nullptr);
  KvView* view = doc->GetFirstView();
  KvChildFrame* f = view->GetParentFrame();
  kv_hwnd hv = view->GetSafeHwnd(), hf = f->GetSafeHwnd();
  g_released = 0;
  ASSERT_EQ(kv_post_message(hv, WM_USER + 1, 0, kv_lparam(new int(1)), &count_release), 1);
  ASSERT_EQ(kv_post_message(hf, WM_USER + 1, 0, kv_lparam(new int(2)), &count_release), 1);
  ASSERT_TRUE(f->close());
  EXPECT_EQ(g_released, 2);
  int keep = 3;
  EXPECT_EQ(kv_post_message(hv, WM_USER + 1, 0, kv_lparam(&keep), &count_release), 0);
  EXPECT_FALSE(IsWindow(hf));
  kv_pump_events(20);
  EXPECT_EQ(g_released, 2);

  // The same for the main frame.
  kv_hwnd hm = main->GetSafeHwnd();
  ASSERT_EQ(kv_post_message(hm, WM_USER + 1, 0, kv_lparam(new int(4)), &count_release), 1);
  ASSERT_TRUE(main->close());
  EXPECT_EQ(g_released, 3);
  EXPECT_EQ(kv_post_message(hm, WM_USER + 1, 0, kv_lparam(&keep), &count_release), 0);
}

TEST_F(Frames, ChildFrameReportsSystemCommandsAndKeepsItsNormalRectangle) {
  KvDocument* doc = tmpl->OpenDocumentFile(QString());
  ASSERT_NE(doc, nullptr);
  auto* f = static_cast<Frame*>(static_cast<View*>(doc->GetFirstView())->GetParentFrame());
  f->setGeometry(20, 30, 300, 200);
  kv_pump_events();
  KvRect normal(20, 30, 320, 230);
  EXPECT_EQ(f->GetWindowPlacement().normal, normal);

  f->SysCommand(SC_MAXIMIZE);
  kv_pump_events();
  f->SysCommand(SC_RESTORE);
  kv_pump_events();
  f->SysCommand(SC_MINIMIZE);
  kv_pump_events();
  EXPECT_EQ(f->syscmds, (std::vector<unsigned>{SC_MAXIMIZE, SC_RESTORE, SC_MINIMIZE}));
  KvWindowPlacement wp = f->GetWindowPlacement();
  EXPECT_EQ(wp.showCmd, SW_SHOWMINIMIZED);
  EXPECT_EQ(wp.normal, normal);

  f->SysCommand(SC_RESTORE);
  f->SysCommand(SC_MAXIMIZE);
  kv_pump_events();
  EXPECT_EQ(f->GetWindowPlacement().showCmd, SW_SHOWMAXIMIZED);
  EXPECT_EQ(f->GetWindowPlacement().normal, normal);

  // Placement round trip, as page layouts do it.
  KvDocument* doc2 = tmpl->OpenDocumentFile(QString());
  auto* f2 = static_cast<Frame*>(doc2->GetFirstView()->GetParentFrame());
  f2->SetWindowPlacement({SW_SHOWMAXIMIZED, KvRect(5, 6, 205, 156)});
  kv_pump_events();
  EXPECT_EQ(f2->GetWindowPlacement().showCmd, SW_SHOWMAXIMIZED);
  EXPECT_EQ(f2->GetWindowPlacement().normal, KvRect(5, 6, 205, 156));
}

TEST_F(Frames, CommandGoesToTheViewFirstAndToTheApplicationLast) {
  KvDocument* doc = tmpl->OpenDocumentFile(QString());
  ASSERT_NE(doc, nullptr);
  struct Case {
    unsigned id;
    const char* who;
  };
  for (Case c : {Case{100, "view"}, Case{200, "doc"}, Case{300, "child"}, Case{400, "main"},
                 Case{500, "app"}}) {
    g_trail.clear();
    EXPECT_TRUE(main->RouteCommand(c.id)) << c.id;
    EXPECT_EQ(g_trail, std::vector<std::string>{c.who}) << c.id;
  }
  g_trail.clear();
  EXPECT_FALSE(main->RouteCommand(999));
  EXPECT_TRUE(g_trail.empty());

  // The same through a posted WM_COMMAND.
  g_trail.clear();
  main->PostCommand(500);
  ASSERT_TRUE(kv_wait_until([] { return !g_trail.empty(); }));
  EXPECT_EQ(g_trail, std::vector<std::string>{"app"});
}

TEST_F(Frames, MenuStateIsAskedBeforeShowingAndUnhandledCommandsAreDisabled) {
  bool checked = true;
  app->MapUpdate(500, [&](KvCmdUI& ui) {
    ui.SetCheck(checked);
    ui.SetText(QStringLiteral("&Renamed"));
  });
  main->SetDefaultMenu({{KV_MENU_POPUP, "&File"},
                        {500, "&App command\tCtrl+N"},
                        {0, nullptr},
                        {999, "&Nobody"},
                        {KV_MENU_END}});
  QMenu* file = main->menuBar()->actions().at(0)->menu();
  ASSERT_NE(file, nullptr);
  emit file->aboutToShow();
  QAction* a = main->FindMenuAction(500);
  ASSERT_NE(a, nullptr);
  EXPECT_TRUE(a->isEnabled());
  EXPECT_TRUE(a->isChecked());
  EXPECT_EQ(a->text(), QStringLiteral("&Renamed"));
  EXPECT_FALSE(main->FindMenuAction(999)->isEnabled());
  a->trigger();
  EXPECT_EQ(g_trail, std::vector<std::string>{"app"});
}

TEST_F(Frames, DocumentMenuShowsWhileAWindowIsOpenAndKeepsItsChanges) {
  main->SetDefaultMenu({{KV_MENU_POPUP, "&File"}, {57600, "&New"}, {KV_MENU_END}});
  main->AddMenu(129, {{KV_MENU_POPUP, "&File"},
                      {57600, "&New"},
                      {KV_MENU_END},
                      {KV_MENU_POPUP, "&View"},
                      {33137, "1\t1"},
                      {KV_MENU_END}});
  tmpl->menu_id = 129;
  EXPECT_EQ(main->menuBar()->actions().size(), 1);
  KvDocument* doc = tmpl->OpenDocumentFile(QString());
  kv_pump_events();
  ASSERT_EQ(main->menuBar()->actions().size(), 2);
  // A relabelled item (the view units) stays relabelled across switches.
  kv_find_action(main->GetSubMenu(129, 1), 33137)->setText(QStringLiteral("5\t1"));
  main->GetSubMenu(0, 0)->addAction(
      kv_make_action(32829, QStringLiteral("Fav"), 0, main->GetSubMenu(0, 0)));
  doc->GetFirstView()->GetParentFrame()->close();
  kv_pump_events(10);
  EXPECT_EQ(main->menuBar()->actions().size(), 1);
  EXPECT_NE(main->FindMenuAction(32829), nullptr);
  tmpl->OpenDocumentFile(QString());
  kv_pump_events();
  ASSERT_NE(main->FindMenuAction(33137), nullptr);
  EXPECT_EQ(main->FindMenuAction(33137)->text(), QStringLiteral("5\t1"));
}

TEST_F(Frames, ToolbarStateIsOneBinaryValueOfTheProfile) {
  main->AddControlBar(0xE800, QStringLiteral("Main"), {{100, 0, "New\nNew"}, {0}, {500, 0, "App"}});
  main->AddControlBar(136, QStringLiteral("Playback"), {{500, 0, "Play"}});
  main->ShowControlBar(136, false);
  kv_profile* p = kv_profile_open("Software\\Ostrelan\\Korvane");
  ASSERT_NE(p, nullptr);
  ASSERT_TRUE(main->SaveBarState(p, "Toolbar"));
  EXPECT_EQ(kv_profile_value_type(p, "Toolbar", "BarState"), KV_PROFILE_BINARY);
  kv_profile_close(p);

  main->ShowControlBar(136, true);
  // The View menu command of a bar toggles it and shows its check.
  KvCmdUI ui;
  ui.id = 136;
  main->UpdateCmdUI(ui);
  EXPECT_EQ(ui.check, 1);
  p = kv_profile_open("Software\\Ostrelan\\Korvane");
  ASSERT_TRUE(main->LoadBarState(p, "Toolbar"));
  kv_profile_close(p);
  EXPECT_FALSE(main->GetControlBar(136)->isVisible());
  EXPECT_TRUE(main->GetControlBar(0xE800)->isVisible());
}

TEST_F(Frames, DocumentUpdatesItsViewsAndAViewCanRefuseToClose) {
  KvDocument* doc = tmpl->OpenDocumentFile(QString());
  auto* v = static_cast<View*>(doc->GetFirstView());
  v->hints.clear();
  doc->UpdateAllViews(nullptr, 2);
  doc->UpdateAllViews(v, 3);  // the sender is left out
  EXPECT_EQ(v->hints, std::vector<intptr_t>{2});

  v->allow_close = false;
  KvChildFrame* f = v->GetParentFrame();
  EXPECT_FALSE(f->close());
  EXPECT_EQ(tmpl->documents().size(), 1u);
  v->allow_close = true;
  EXPECT_TRUE(f->close());
  kv_pump_events();
  EXPECT_TRUE(tmpl->documents().empty());  // the document went with its last view
}

TEST_F(Frames, PlacementComesBackOntoTheAreaWithItsSize) {
  KvDocument* doc = tmpl->OpenDocumentFile(QString());
  KvChildFrame* f = doc->GetFirstView()->GetParentFrame();
  const QSize area = f->mdiArea()->size();
  struct Case {
    KvRect saved;
    int32_t show;
    KvRect want;
    int want_show;
  };
  const Case cases[] = {
      {{20, 30, 320, 230}, SW_SHOWNORMAL, {20, 30, 320, 230}, SW_SHOWNORMAL},
      {{-40, -10, 400, 300}, 0, {0, 0, 440, 310}, SW_SHOWNORMAL},  // off the top left
      {{area.width() + 50, area.height() + 5, area.width() + 250, area.height() + 105},
       0,
       {0, 0, 200, 100},
       SW_SHOWNORMAL},  // beyond the area
      {{5, 6, 205, 156}, SW_SHOWMAXIMIZED, {5, 6, 205, 156}, SW_SHOWMAXIMIZED},
  };
  for (const Case& c : cases) {
    const int32_t r[4] = {c.saved.left, c.saved.top, c.saved.right, c.saved.bottom};
    EXPECT_TRUE(f->RestorePlacement(r, c.show));
    kv_pump_events();
    int32_t back[4], show = -1;
    f->SavePlacement(back, &show);
    EXPECT_EQ(KvRect(back[0], back[1], back[2], back[3]), c.want) << c.saved.left;
    EXPECT_EQ(show, c.want_show) << c.saved.left;
  }
  // An empty rectangle (a page written before the window had one) leaves
  // the frame as it is.
  const KvWindowPlacement before = f->GetWindowPlacement();
  const int32_t empty[4] = {10, 10, 10, 200};
  EXPECT_FALSE(f->RestorePlacement(empty, SW_SHOWMINIMIZED));
  EXPECT_EQ(f->GetWindowPlacement().normal, before.normal);
  EXPECT_EQ(f->GetWindowPlacement().showCmd, before.showCmd);
}

// The splitter frame's panes: views of one document, counted.
int g_pane_docs_deleted = 0;
struct PaneDoc : KvDocument {
  ~PaneDoc() override { g_pane_docs_deleted++; }
};
struct PaneView : KvView {
  int initial = 0, commands = 0;
  std::vector<intptr_t> hints;
  bool allow_close = true;
  PaneView() {
    setFocusPolicy(Qt::StrongFocus);
    MapCommand(100, [this] { commands++; });
  }
  void OnInitialUpdate() override { initial++; }
  void OnUpdate(KvView*, intptr_t hint) override { hints.push_back(hint); }
  bool CanClose() override { return allow_close; }
};

void mouse(QWidget* w, QEvent::Type t, QPoint p) {
  QMouseEvent e(t, QPointF(p), QPointF(w->mapToGlobal(p)), Qt::LeftButton,
                t == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(w, &e);
}
// A drag from one point to another, released there.
void drag(QWidget* w, QPoint from, QPoint to) {
  mouse(w, QEvent::MouseButtonPress, from);
  mouse(w, QEvent::MouseMove, to);
  mouse(w, QEvent::MouseButtonRelease, to);
}
QPoint centre(const KvRect& r) {
  return QPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2);
}

TEST_F(Frames, SplitterFramePanesAreViewsOfOneDocument) {
  auto t = std::make_unique<KvDocTemplate>(
      131, [] { return new PaneDoc; }, [] { return new KvSplitterFrame(2, 2, QSize(10, 10)); },
      [] { return new PaneView; });
  KvDocTemplate* split_tmpl = t.get();
  app->AddDocTemplate(std::move(t));
  g_pane_docs_deleted = 0;
  KvDocument* doc = split_tmpl->OpenDocumentFile(QString());
  ASSERT_NE(doc, nullptr);
  auto* f = dynamic_cast<KvSplitterFrame*>(doc->GetFirstView()->GetParentFrame());
  ASSERT_NE(f, nullptr);
  f->showNormal();
  f->resize(420, 320);
  kv_pump_events(10);
  KvSplitterWnd* s = f->Splitter();
  auto* first = static_cast<PaneView*>(f->GetPane(0, 0));
  EXPECT_EQ(first, doc->GetFirstView());
  EXPECT_EQ(first->initial, 1);
  EXPECT_EQ(f->GetActiveView(), first);
  EXPECT_EQ(f->GetRowCount() * f->GetColumnCount(), 1);

  // Splits that would leave a pane under 10 pixels are refused.
  EXPECT_FALSE(f->SplitRow(9));
  EXPECT_FALSE(f->SplitColumn(s->width() - KvSplitterWnd::KV_SPLIT_BAR - 9));
  EXPECT_EQ(doc->views().size(), 1u);

  // Dragging the row box down splits where the button is released.
  drag(s, centre(s->RowBoxRect()), QPoint(200, 123));
  ASSERT_EQ(f->GetRowCount(), 2);
  EXPECT_EQ(s->RowBarRect().top, 120);
  EXPECT_EQ(s->PaneRect(0, 0).bottom, 120);
  EXPECT_EQ(s->PaneRect(1, 0).top, 127);
  // Double-clicking the column box splits in half: four panes.
  mouse(s, QEvent::MouseButtonDblClick, centre(s->ColumnBoxRect()));
  ASSERT_EQ(f->GetColumnCount(), 2);
  EXPECT_EQ(s->ColumnBarRect().left, (s->width() - KvSplitterWnd::KV_SPLIT_BAR) / 2);
  std::vector<KvView*> panes = f->GetViews();
  ASSERT_EQ(panes.size(), 4u);
  EXPECT_EQ(doc->views().size(), 4u);
  for (KvView* v : panes) {
    EXPECT_EQ(v->GetDocument(), doc);
    EXPECT_EQ(v->GetParentFrame(), f);
    EXPECT_EQ(static_cast<PaneView*>(v)->initial, 1);
    EXPECT_TRUE(v->isVisible());
    EXPECT_GE(v->width(), 10);
  }
  EXPECT_FALSE(f->SplitRow(50));  // two rows at most
  // Shrunk below its bars, the frame gives its panes no room, never less;
  // grown again, the bars are where they were.
  f->resize(12, 12);
  kv_pump_events();
  for (int r = 0; r < 2; r++)
    for (int c = 0; c < 2; c++) {
      EXPECT_GE(s->PaneRect(r, c).Width(), 0);
      EXPECT_GE(s->PaneRect(r, c).Height(), 0);
    }
  f->resize(420, 320);
  kv_pump_events();
  EXPECT_EQ(s->RowBarRect().top, 120);
  doc->UpdateAllViews(nullptr, 7);
  for (KvView* v : panes) EXPECT_EQ(static_cast<PaneView*>(v)->hints, std::vector<intptr_t>{7});

  // The focused pane is the active view: commands go to it.
  auto* lower_right = static_cast<PaneView*>(f->GetPane(1, 1));
  lower_right->setFocus();
  kv_pump_events();
  EXPECT_EQ(f->GetActiveView(), lower_right);
  EXPECT_EQ(main->GetActiveView(), lower_right);
  EXPECT_TRUE(main->RouteCommand(100));
  EXPECT_EQ(lower_right->commands, 1);
  EXPECT_EQ(first->commands, 0);

  // Escape cancels a drag of the bars.
  mouse(s, QEvent::MouseButtonPress, centre(s->ColumnBarRect()));
  mouse(s, QEvent::MouseMove, QPoint(3, 100));
  QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QCoreApplication::sendEvent(s, &esc);
  mouse(s, QEvent::MouseButtonRelease, QPoint(3, 100));
  EXPECT_EQ(f->GetColumnCount(), 2);

  // The row bar dragged to the top removes the top row and its views; the
  // bottom row moves up.
  QPointer<KvView> gone0 = f->GetPane(0, 0), gone1 = f->GetPane(0, 1);
  KvView* stays = f->GetPane(1, 0);
  drag(s, centre(s->RowBarRect()), QPoint(200, 4));
  EXPECT_EQ(f->GetRowCount(), 1);
  EXPECT_TRUE(gone0.isNull());
  EXPECT_TRUE(gone1.isNull());
  EXPECT_EQ(f->GetPane(0, 0), stays);
  EXPECT_EQ(f->GetPane(0, 1), lower_right);
  EXPECT_EQ(doc->views().size(), 2u);
  EXPECT_EQ(f->GetActiveView(), lower_right);
  // Moved, not dragged to an edge: the bar follows.
  drag(s, centre(s->ColumnBarRect()), QPoint(153, 100));
  EXPECT_EQ(s->ColumnBarRect().left, 150);
  // Double-clicking the bar removes the column without the active pane.
  mouse(s, QEvent::MouseButtonDblClick, centre(s->ColumnBarRect()));
  EXPECT_EQ(f->GetViews(), std::vector<KvView*>{lower_right});
  EXPECT_FALSE(s->RowBoxRect().IsRectEmpty());  // both boxes are back
  EXPECT_FALSE(s->ColumnBoxRect().IsRectEmpty());

  // Any pane can refuse the frame's close; closing takes every pane's id
  // at once and the document goes with the panes.
  ASSERT_TRUE(f->SplitColumn(100));
  auto* other = static_cast<PaneView*>(f->GetPane(0, 1));
  other->allow_close = false;
  EXPECT_FALSE(f->close());
  other->allow_close = true;
  const kv_hwnd ids[2] = {f->GetPane(0, 0)->GetSafeHwnd(), other->GetSafeHwnd()};
  EXPECT_TRUE(f->close());
  for (kv_hwnd id : ids) EXPECT_FALSE(IsWindow(id));
  kv_pump_events(10);
  EXPECT_EQ(g_pane_docs_deleted, 1);
  EXPECT_TRUE(split_tmpl->documents().empty());

  // A template closes a split window once, with all its panes.
  KvDocument* again = split_tmpl->OpenDocumentFile(QString());
  auto* f2 = static_cast<KvSplitterFrame*>(again->GetFirstView()->GetParentFrame());
  f2->resize(300, 300);
  ASSERT_TRUE(f2->SplitRow(100));
  ASSERT_TRUE(f2->SplitColumn(100));
  split_tmpl->CloseAllDocuments();
  EXPECT_EQ(g_pane_docs_deleted, 2);
  EXPECT_TRUE(main->children().empty());
}

TEST_F(Frames, RefusingDocumentOpensNothing) {
  struct Refuse : KvDocument {
    bool OnNewDocument() override { return false; }
  };
  KvDocTemplate t(
      130, [] { return new Refuse; }, nullptr, [] { return new View; });
  EXPECT_EQ(t.OpenDocumentFile(QString()), nullptr);
  EXPECT_TRUE(t.documents().empty());
  EXPECT_TRUE(main->children().empty());
}

}  // namespace
