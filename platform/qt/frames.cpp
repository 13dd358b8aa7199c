#include "platform/qt/frames.h"

#include <QCloseEvent>
#include <QKeySequence>
#include <QMenuBar>
#include <QShortcut>
#include <QStatusBar>
#include <QWindowStateChangeEvent>

#include "platform/profile.h"
#include "platform/qt/app.h"
#include "platform/qt/docview.h"

// ---- KvChildFrame ------------------------------------------------------------

KvChildFrame::KvChildFrame() {
  setAttribute(Qt::WA_DeleteOnClose);
  connect(this, &QMdiSubWindow::windowStateChanged, this,
          [this](Qt::WindowStates o, Qt::WindowStates n) { state_changed(o, n); });
}

KvChildFrame::~KvChildFrame() {
  // QMdiSubWindow reports state changes while it is torn down; this part
  // of the object is gone by then.
  disconnect(this, &QMdiSubWindow::windowStateChanged, this, nullptr);
}

KvDocument* KvChildFrame::GetActiveDocument() const {
  return m_view ? m_view->GetDocument() : nullptr;
}

void KvChildFrame::attach_view(KvView* v) {
  m_view = v;
  setWidget(v);
}

void KvChildFrame::state_changed(Qt::WindowStates o, Qt::WindowStates n) {
  const Qt::WindowStates minmax = Qt::WindowMinimized | Qt::WindowMaximized;
  unsigned id = 0;
  if ((n & Qt::WindowMinimized) && !(o & Qt::WindowMinimized))
    id = SC_MINIMIZE;
  else if ((n & Qt::WindowMaximized) && !(o & Qt::WindowMaximized))
    id = SC_MAXIMIZE;
  else if ((o & minmax) && !(n & minmax))
    id = SC_RESTORE;
  if (id) OnSysCommand(id, 0);
}

void KvChildFrame::SysCommand(unsigned id) {
  switch (id) {
    case SC_MINIMIZE:
      showMinimized();
      break;
    case SC_MAXIMIZE:
      showMaximized();
      break;
    case SC_RESTORE:
      showNormal();
      break;
    case SC_CLOSE:
      close();
      break;
    default:
      break;
  }
}

void KvChildFrame::remember_normal() {
  if (!(windowState() & (Qt::WindowMinimized | Qt::WindowMaximized)) && !m_restoring && isVisible())
    m_normal = KvRect(geometry());
}

void KvChildFrame::moveEvent(QMoveEvent* e) {
  QMdiSubWindow::moveEvent(e);
  remember_normal();
}

void KvChildFrame::resizeEvent(QResizeEvent* e) {
  QMdiSubWindow::resizeEvent(e);
  remember_normal();
}

void KvChildFrame::closeEvent(QCloseEvent* e) {
  if (m_view && !m_view->CanClose()) {
    e->ignore();
    return;
  }
  KvDocument* doc = GetActiveDocument();
  if (doc && doc->views().size() == 1 && doc->IsModified() && !doc->SaveModified()) {
    e->ignore();
    return;
  }
  QMdiSubWindow::closeEvent(e);
  if (e->isAccepted()) {
    // Qt deletes the frame later; for senders of messages frame and view
    // are gone now: later posts fail and queued payloads are released.
    if (m_view) m_view->DestroyWindowId();
    DestroyWindowId();
  }
}

KvWindowPlacement KvChildFrame::GetWindowPlacement() const {
  KvWindowPlacement wp;
  Qt::WindowStates s = windowState();
  wp.showCmd = (s & Qt::WindowMinimized)   ? SW_SHOWMINIMIZED
               : (s & Qt::WindowMaximized) ? SW_SHOWMAXIMIZED
                                           : SW_SHOWNORMAL;
  wp.normal = m_normal.IsRectNull() ? KvRect(geometry()) : m_normal;
  return wp;
}

void KvChildFrame::SetWindowPlacement(const KvWindowPlacement& wp) {
  m_restoring = true;
  if (windowState() & (Qt::WindowMinimized | Qt::WindowMaximized)) showNormal();
  m_restoring = false;
  if (!wp.normal.IsRectEmpty()) {
    setGeometry(wp.normal.toQRect());
    m_normal = wp.normal;
  }
  if (wp.showCmd == SW_SHOWMINIMIZED)
    showMinimized();
  else if (wp.showCmd == SW_SHOWMAXIMIZED)
    showMaximized();
}

// ---- KvMainFrame ---------------------------------------------------------------

KvMainFrame::KvMainFrame() : m_mdi(new QMdiArea(this)) {
  setCentralWidget(m_mdi);
  connect(m_mdi, &QMdiArea::subWindowActivated, this,
          [this](QMdiSubWindow* w) { active_changed(w); });
  m_idle.setInterval(250);
  connect(&m_idle, &QTimer::timeout, this, [this] { UpdateToolbars(); });
  m_idle.start();
  if (KvApp* app = KvApp::instance())
    if (!app->GetMainWnd()) app->SetMainWnd(this);
}

KvMainFrame::~KvMainFrame() {
  m_idle.stop();
  // Child frames go first, while this frame still routes their teardown.
  for (KvChildFrame* f : children()) delete f;
  if (KvApp* app = KvApp::instance())
    if (app->GetMainWnd() == this) app->SetMainWnd(nullptr);
}

KvChildFrame* KvMainFrame::MDIGetActive() const {
  QMdiSubWindow* w = m_mdi->activeSubWindow();
  if (!w) w = m_mdi->currentSubWindow();
  return dynamic_cast<KvChildFrame*>(w);
}

KvView* KvMainFrame::GetActiveView() const {
  KvChildFrame* f = MDIGetActive();
  return f ? f->GetActiveView() : nullptr;
}

std::vector<KvChildFrame*> KvMainFrame::children() const {
  std::vector<KvChildFrame*> out;
  for (QMdiSubWindow* w : m_mdi->subWindowList())
    if (auto* f = dynamic_cast<KvChildFrame*>(w)) out.push_back(f);
  return out;
}

void KvMainFrame::AddChild(KvChildFrame* frame, bool visible) {
  m_mdi->addSubWindow(frame);
  if (visible) {
    frame->show();
    m_mdi->setActiveSubWindow(frame);
  }
  RebuildMenuBar();
}

void KvMainFrame::active_changed(QMdiSubWindow* w) {
  if (w == m_last_active) return;
  // A frame being torn down is no longer a KvChildFrame; dynamic_cast
  // tells.
  if (auto* old = dynamic_cast<KvChildFrame*>(m_last_active.data()))
    if (old->GetActiveView()) old->GetActiveView()->OnActivateView(false);
  m_last_active = w;
  auto* f = dynamic_cast<KvChildFrame*>(w);
  if (f && f->GetActiveView()) f->GetActiveView()->OnActivateView(true);
  RebuildMenuBar();
}

void KvMainFrame::SetDefaultMenu(const std::vector<KvMenuItem>& items) {
  AddMenu(0, items);
}

void KvMainFrame::AddMenu(unsigned menu_id, const std::vector<KvMenuItem>& items) {
  // The menus are built once and kept, so that changes made to them at run
  // time (relabelled or added items) stay when another menu is shown.
  for (QMenu* m : m_menus[menu_id]) delete m;
  std::vector<QMenu*>& set = m_menus[menu_id];
  set.clear();
  QMenu holder;
  kv_fill_menu(&holder, items);
  for (QAction* a : holder.actions()) {
    if (QMenu* m = a->menu()) {
      m->setParent(this, m->windowFlags());
      connect(m, &QMenu::aboutToShow, this, [this, m] { update_menu(m); });
      connect_actions(m);
      set.push_back(m);
    }
  }
  m_shown_menu = ~0u;
  RebuildMenuBar();
}

QMenu* KvMainFrame::GetSubMenu(unsigned menu_id, int position) const {
  auto it = m_menus.find(menu_id);
  if (it == m_menus.end() || position < 0 || size_t(position) >= it->second.size()) return nullptr;
  return it->second[size_t(position)];
}

void KvMainFrame::RebuildMenuBar() {
  unsigned want = 0;  // 0: the default menu
  if (KvChildFrame* f = MDIGetActive()) {
    KvDocument* d = f->GetActiveDocument();
    KvDocTemplate* t = d ? d->GetDocTemplate() : nullptr;
    if (t && t->menu_id && m_menus.count(t->menu_id))
      want = t->menu_id;
    else
      for (auto& [id, set] : m_menus)
        if (id) {
          want = id;
          break;
        }
  }
  if (want == m_shown_menu) return;
  m_shown_menu = want;
  QMenuBar* bar = menuBar();
  bar->clear();
  auto it = m_menus.find(want);
  if (it == m_menus.end()) return;
  for (QMenu* m : it->second) bar->addMenu(m);
}

QAction* KvMainFrame::FindMenuAction(unsigned id) const {
  for (QAction* a : menuBar()->actions())
    if (a->menu())
      if (QAction* f = kv_find_action(a->menu(), id)) return f;
  return nullptr;
}

void KvMainFrame::connect_actions(QMenu* menu) {
  for (QAction* a : menu->actions()) {
    if (QMenu* sub = a->menu())
      connect_actions(sub);
    else if (!a->isSeparator() && kv_action_id(a))
      connect(a, &QAction::triggered, this, [this, a] { RouteCommand(kv_action_id(a)); });
  }
}

void KvMainFrame::update_menu(QMenu* menu) {
  kv_update_menu(menu, [this](KvCmdUI& ui) { UpdateCmdUI(ui); });
  for (QAction* a : menu->actions())
    if (QMenu* sub = a->menu()) update_menu(sub);
}

void KvMainFrame::SetAccelerators(const std::vector<KvAccel>& accels) {
  for (QObject* o : m_shortcuts) delete o;
  m_shortcuts.clear();
  for (const KvAccel& a : accels) {
    auto* sc = new QShortcut(QKeySequence(QString::fromLatin1(a.keys)), this);
    sc->setContext(Qt::WindowShortcut);
    unsigned id = a.id;
    connect(sc, &QShortcut::activated, this, [this, id] {
      KvCmdUI ui;
      ui.id = id;
      UpdateCmdUI(ui);
      if (ui.enabled) RouteCommand(id);
    });
    m_shortcuts.push_back(sc);
  }
}

QToolBar* KvMainFrame::AddControlBar(unsigned id, const QString& title,
                                     const std::vector<KvToolButton>& buttons,
                                     Qt::ToolBarArea area) {
  auto* bar = new QToolBar(title, this);
  bar->setObjectName(QStringLiteral("bar%1").arg(id));
  for (const KvToolButton& b : buttons) {
    if (b.id == 0) {
      bar->addSeparator();
      continue;
    }
    QAction* a = kv_make_action(b.id, kv_tool_tip_text(b.tip), b.image, bar);
    a->setToolTip(kv_tool_tip_text(b.tip));
    if (b.tip)
      a->setStatusTip(QString::fromLatin1(b.tip).section(QLatin1Char('\n'), 0, 0));  // fly-by help
    unsigned cid = b.id;
    connect(a, &QAction::triggered, this, [this, cid] { RouteCommand(cid); });
    bar->addAction(a);
  }
  addToolBar(area, bar);
  bar->show();
  m_bars[id] = bar;
  MapCommand(id, [this, id] { ShowControlBar(id, m_bars[id]->isHidden()); });
  MapUpdate(id, [this, id](KvCmdUI& ui) { ui.SetCheck(m_bars[id]->isHidden() ? 0 : 1); });
  return bar;
}

QToolBar* KvMainFrame::GetControlBar(unsigned id) const {
  auto it = m_bars.find(id);
  return it == m_bars.end() ? nullptr : it->second;
}

void KvMainFrame::ShowControlBar(unsigned id, bool show) {
  if (QToolBar* b = GetControlBar(id)) b->setVisible(show);
}

bool KvMainFrame::SaveBarState(kv_profile* profile, const char* name) const {
  QByteArray state = saveState();
  return kv_profile_write_binary(profile, name, "BarState", state.constData(),
                                 size_t(state.size())) != 0;
}

bool KvMainFrame::LoadBarState(const kv_profile* profile, const char* name) {
  std::vector<uint8_t> bytes;
  if (!kv_profile_get_binary(profile, name, "BarState", &bytes)) return false;
  return restoreState(QByteArray(reinterpret_cast<const char*>(bytes.data()), int(bytes.size())));
}

void KvMainFrame::SetStatusPanes(const std::vector<int>& widths) {
  QStatusBar* sb = statusBar();
  for (QLabel* l : m_panes) delete l;
  m_panes.clear();
  for (size_t i = 0; i < widths.size(); i++) {
    auto* l = new QLabel(sb);
    l->setObjectName(QStringLiteral("pane%1").arg(i));
    if (i == 0) {
      sb->addWidget(l, 1);
    } else {
      l->setFixedWidth(widths[i]);
      sb->addPermanentWidget(l);
    }
    m_panes.push_back(l);
  }
}

void KvMainFrame::SetPaneText(int pane, const QString& text) {
  if (pane >= 0 && size_t(pane) < m_panes.size()) m_panes[size_t(pane)]->setText(text);
}

QString KvMainFrame::GetPaneText(int pane) const {
  return pane >= 0 && size_t(pane) < m_panes.size() ? m_panes[size_t(pane)]->text() : QString();
}

void KvMainFrame::remember_normal() {
  if (!(windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)) &&
      isVisible())
    m_normal = KvRect(geometry());
}

void KvMainFrame::moveEvent(QMoveEvent* e) {
  QMainWindow::moveEvent(e);
  remember_normal();
}

void KvMainFrame::resizeEvent(QResizeEvent* e) {
  QMainWindow::resizeEvent(e);
  remember_normal();
}

void KvMainFrame::changeEvent(QEvent* e) {
  QMainWindow::changeEvent(e);
  if (e->type() == QEvent::WindowStateChange) remember_normal();
}

KvWindowPlacement KvMainFrame::GetWindowPlacement() const {
  KvWindowPlacement wp;
  Qt::WindowStates s = windowState();
  wp.showCmd = (s & Qt::WindowMinimized)   ? SW_SHOWMINIMIZED
               : (s & Qt::WindowMaximized) ? SW_SHOWMAXIMIZED
                                           : SW_SHOWNORMAL;
  wp.normal = m_normal.IsRectNull() ? KvRect(geometry()) : m_normal;
  return wp;
}

std::vector<KvCmdTarget*> KvMainFrame::chain() const {
  std::vector<KvCmdTarget*> c;
  if (KvChildFrame* f = MDIGetActive()) {
    KvView* v = f->GetActiveView();
    c.push_back(v);
    if (v) c.push_back(v->GetDocument());
    c.push_back(f);
  }
  c.push_back(const_cast<KvMainFrame*>(this));
  c.push_back(KvApp::instance());
  return c;
}

bool KvMainFrame::RouteCommand(unsigned id) {
  return kv_route_command(chain(), id);
}

void KvMainFrame::UpdateCmdUI(KvCmdUI& ui) {
  kv_route_update(chain(), ui);
}

void KvMainFrame::UpdateToolbars() {
  for (auto& [id, bar] : m_bars) {
    if (bar->isHidden()) continue;
    for (QAction* a : bar->actions()) {
      if (a->isSeparator() || !kv_action_id(a)) continue;
      KvCmdUI ui;
      ui.id = kv_action_id(a);
      UpdateCmdUI(ui);
      a->setEnabled(ui.enabled);
      if (ui.check || a->isCheckable()) {
        a->setCheckable(true);
        a->setChecked(ui.check != 0);
      }
    }
  }
}

kv_lresult KvMainFrame::WindowProc(unsigned message, kv_wparam wparam, kv_lparam lparam) {
  return KvWnd::WindowProc(message, wparam, lparam);
}

kv_lresult KvMainFrame::OnCommandMessage(unsigned id) {
  return RouteCommand(id) ? 1 : 0;
}

bool KvMainFrame::OnClose() {
  KvApp* app = KvApp::instance();
  if (app && !app->SaveAllModified()) return false;
  for (KvChildFrame* f : children()) delete f;
  return true;
}

void KvMainFrame::closeEvent(QCloseEvent* e) {
  if (OnClose()) {
    e->accept();
    DestroyWindowId();  // closed: later posts fail, queued payloads are released
  } else {
    e->ignore();
  }
}
