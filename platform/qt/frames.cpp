#include "platform/qt/frames.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QShortcut>
#include <QStatusBar>
#include <QWindowStateChangeEvent>
#include <qdrawutil.h>
#include <algorithm>

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

std::vector<KvView*> KvChildFrame::GetViews() const {
  if (!m_view) return {};
  return {m_view};
}

void KvChildFrame::SetActiveView(KvView* v) {
  if (v == m_view) return;
  KvView* old = m_view;
  m_view = v;
  // Only the active window's views hear of activation.
  if (!mdiArea() || mdiArea()->activeSubWindow() != this) return;
  if (old) old->OnActivateView(false);
  if (v) v->OnActivateView(true);
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
  const std::vector<KvView*> views = GetViews();
  for (KvView* v : views)
    if (!v->CanClose()) {
      e->ignore();
      return;
    }
  // The document is asked when its last views are the ones closing.
  KvDocument* doc = GetActiveDocument();
  const bool last = doc && std::all_of(doc->views().begin(), doc->views().end(), [&](KvView* v) {
                      return std::find(views.begin(), views.end(), v) != views.end();
                    });
  if (last && doc->IsModified() && !doc->SaveModified()) {
    e->ignore();
    return;
  }
  QMdiSubWindow::closeEvent(e);
  if (e->isAccepted()) {
    // Qt deletes the frame later; for senders of messages frame and views
    // are gone now: later posts fail and queued payloads are released.
    for (KvView* v : views) v->DestroyWindowId();
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

void KvChildFrame::SavePlacement(int32_t normal[4], int32_t* show_cmd) const {
  const KvWindowPlacement wp = GetWindowPlacement();
  normal[0] = wp.normal.left;
  normal[1] = wp.normal.top;
  normal[2] = wp.normal.right;
  normal[3] = wp.normal.bottom;
  *show_cmd = wp.showCmd;
}

bool KvChildFrame::RestorePlacement(const int32_t normal[4], int32_t show_cmd) {
  KvRect rc(normal[0], normal[1], normal[2], normal[3]);
  if (rc.IsRectEmpty()) return false;
  // A window left off the area, or beyond it, comes back onto it.
  const QSize area = mdiArea() ? mdiArea()->size() : QSize();
  if (rc.left < 0 || (area.isValid() && rc.left > area.width())) rc.OffsetRect(-rc.left, 0);
  if (rc.top < 0 || (area.isValid() && rc.top > area.height())) rc.OffsetRect(0, -rc.top);
  KvWindowPlacement wp;
  wp.normal = rc;
  wp.showCmd = show_cmd ? show_cmd : SW_SHOWNORMAL;
  SetWindowPlacement(wp);
  return true;
}

// ---- KvSplitterWnd -------------------------------------------------------------

KvSplitterWnd::KvSplitterWnd(KvSplitterFrame* frame, int max_rows, int max_cols, QSize min_pane)
    : QWidget(frame),
      m_frame(frame),
      m_max_rows(std::clamp(max_rows, 1, 2)),
      m_max_cols(std::clamp(max_cols, 1, 2)),
      m_min(min_pane.expandedTo(QSize(1, 1))) {
  setMouseTracking(true);
  for (QWidget** bar : {&m_track_h, &m_track_v}) {
    *bar = new QWidget(this);
    (*bar)->setAutoFillBackground(true);
    QPalette pal = (*bar)->palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Dark));
    (*bar)->setPalette(pal);
    (*bar)->hide();
  }
}

KvView* KvSplitterWnd::pane(int row, int col) const {
  if (row < 0 || row >= m_rows || col < 0 || col >= m_cols) return nullptr;
  return m_panes[row][col];
}

KvRect KvSplitterWnd::RowBoxRect() const {
  if (m_rows >= m_max_rows) return {};
  return KvRect(0, 0, width(), KV_SPLIT_BAR);
}

KvRect KvSplitterWnd::ColumnBoxRect() const {
  if (m_cols >= m_max_cols) return {};
  return KvRect(0, RowBoxRect().bottom, KV_SPLIT_BAR, height());
}

KvRect KvSplitterWnd::area() const {
  return KvRect(ColumnBoxRect().right, RowBoxRect().bottom, width(), height());
}

KvRect KvSplitterWnd::RowBarRect() const {
  if (m_rows < 2) return {};
  const KvRect a = area();
  const int y = a.top + std::clamp(m_row0, 0, std::max(0, a.Height() - KV_SPLIT_BAR));
  return KvRect(a.left, y, a.right, y + KV_SPLIT_BAR);
}

KvRect KvSplitterWnd::ColumnBarRect() const {
  if (m_cols < 2) return {};
  const KvRect a = area();
  const int x = a.left + std::clamp(m_col0, 0, std::max(0, a.Width() - KV_SPLIT_BAR));
  return KvRect(x, a.top, x + KV_SPLIT_BAR, a.bottom);
}

KvRect KvSplitterWnd::PaneRect(int row, int col) const {
  if (!pane(row, col)) return {};
  KvRect r = area();
  const KvRect rb = RowBarRect(), cb = ColumnBarRect();
  if (m_rows == 2) {
    if (row == 0)
      r.bottom = rb.top;
    else
      r.top = rb.bottom;
  }
  if (m_cols == 2) {
    if (col == 0)
      r.right = cb.left;
    else
      r.left = cb.right;
  }
  // A window smaller than its bars leaves a pane no room, never less.
  r.right = std::max(r.right, r.left);
  r.bottom = std::max(r.bottom, r.top);
  return r;
}

KvSplitterWnd::Hit KvSplitterWnd::HitTest(const QPoint& p) const {
  const bool on_row = RowBarRect().PtInRect(p.x(), p.y());
  const bool on_col = ColumnBarRect().PtInRect(p.x(), p.y());
  if (on_row && on_col) return HIT_BOTH_BARS;
  if (on_row) return HIT_ROW_BAR;
  if (on_col) return HIT_COLUMN_BAR;
  if (RowBoxRect().PtInRect(p.x(), p.y())) return HIT_ROW_BOX;
  if (ColumnBoxRect().PtInRect(p.x(), p.y())) return HIT_COLUMN_BOX;
  return HIT_NONE;
}

QSize KvSplitterWnd::sizeHint() const {
  QSize s = m_panes[0][0] ? m_panes[0][0]->sizeHint() : QSize(200, 150);
  return s.expandedTo(QSize(50, 50)) + QSize(ColumnBoxRect().Width(), RowBoxRect().Height());
}

void KvSplitterWnd::relayout() {
  for (int r = 0; r < 2; r++)
    for (int c = 0; c < 2; c++)
      if (KvView* v = pane(r, c)) {
        v->setGeometry(PaneRect(r, c).toQRect());
        if (!v->isVisible()) v->show();
      }
  update();
}

void KvSplitterWnd::resizeEvent(QResizeEvent* e) {
  QWidget::resizeEvent(e);
  relayout();
}

void KvSplitterWnd::paintEvent(QPaintEvent*) {
  QPainter p(this);
  for (const KvRect& r : {RowBoxRect(), ColumnBoxRect(), RowBarRect(), ColumnBarRect()})
    if (!r.IsRectEmpty())
      qDrawShadePanel(&p, r.toQRect(), palette(), false, 1, &palette().brush(QPalette::Button));
}

void KvSplitterWnd::show_track(const QPoint& p) {
  const KvRect a = area();
  const bool rows = m_track == HIT_ROW_BOX || m_track == HIT_ROW_BAR || m_track == HIT_BOTH_BARS;
  const bool cols =
      m_track == HIT_COLUMN_BOX || m_track == HIT_COLUMN_BAR || m_track == HIT_BOTH_BARS;
  if (rows) {
    const int y =
        std::clamp(p.y() - KV_SPLIT_BAR / 2, a.top, std::max(a.top, a.bottom - KV_SPLIT_BAR));
    m_track_h->setGeometry(a.left, y, a.Width(), KV_SPLIT_BAR);
    m_track_h->show();
    m_track_h->raise();
  }
  if (cols) {
    const int x =
        std::clamp(p.x() - KV_SPLIT_BAR / 2, a.left, std::max(a.left, a.right - KV_SPLIT_BAR));
    m_track_v->setGeometry(x, a.top, KV_SPLIT_BAR, a.Height());
    m_track_v->show();
    m_track_v->raise();
  }
}

void KvSplitterWnd::drag_row_bar(int y) {
  const KvRect a = area();
  const int top = y - a.top;
  if (top < m_min.height())
    m_frame->DeleteRow(0);
  else if (a.Height() - top - KV_SPLIT_BAR < m_min.height())
    m_frame->DeleteRow(1);
  else
    m_row0 = top;
}

void KvSplitterWnd::drag_column_bar(int x) {
  const KvRect a = area();
  const int left = x - a.left;
  if (left < m_min.width())
    m_frame->DeleteColumn(0);
  else if (a.Width() - left - KV_SPLIT_BAR < m_min.width())
    m_frame->DeleteColumn(1);
  else
    m_col0 = left;
}

void KvSplitterWnd::end_track(bool apply, const QPoint& p) {
  const Hit what = m_track;
  m_track = HIT_NONE;
  m_track_h->hide();
  m_track_v->hide();
  releaseKeyboard();
  if (!apply) return;
  // The bar's top (left) edge where the button was released. A split box
  // goes with its split, so the panes' area then starts at the window's
  // edge.
  const int y = p.y() - KV_SPLIT_BAR / 2, x = p.x() - KV_SPLIT_BAR / 2;
  switch (what) {
    case HIT_ROW_BOX:
      m_frame->SplitRow(y);
      break;
    case HIT_COLUMN_BOX:
      m_frame->SplitColumn(x);
      break;
    case HIT_ROW_BAR:
      drag_row_bar(y);
      break;
    case HIT_COLUMN_BAR:
      drag_column_bar(x);
      break;
    case HIT_BOTH_BARS:
      drag_row_bar(y);
      drag_column_bar(x);
      break;
    case HIT_NONE:
      break;
  }
  relayout();
}

void KvSplitterWnd::mousePressEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton || m_track != HIT_NONE) return;
  m_track = HitTest(e->position().toPoint());
  if (m_track == HIT_NONE) return;
  grabKeyboard();  // Escape cancels
  show_track(e->position().toPoint());
}

void KvSplitterWnd::mouseMoveEvent(QMouseEvent* e) {
  const QPoint p = e->position().toPoint();
  if (m_track != HIT_NONE) {
    show_track(p);
    return;
  }
  switch (HitTest(p)) {
    case HIT_ROW_BOX:
    case HIT_ROW_BAR:
      setCursor(Qt::SplitVCursor);
      break;
    case HIT_COLUMN_BOX:
    case HIT_COLUMN_BAR:
      setCursor(Qt::SplitHCursor);
      break;
    case HIT_BOTH_BARS:
      setCursor(Qt::SizeAllCursor);
      break;
    case HIT_NONE:
      unsetCursor();
      break;
  }
}

void KvSplitterWnd::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton && m_track != HIT_NONE)
    end_track(true, e->position().toPoint());
}

void KvSplitterWnd::mouseDoubleClickEvent(QMouseEvent* e) {
  if (m_track != HIT_NONE) end_track(false, QPoint());
  int active_row = 0, active_col = 0;
  for (int r = 0; r < m_rows; r++)
    for (int c = 0; c < m_cols; c++)
      if (m_panes[r][c] == m_frame->GetActiveView()) active_row = r, active_col = c;
  switch (HitTest(e->position().toPoint())) {
    case HIT_ROW_BOX:
      m_frame->SplitRow((height() - KV_SPLIT_BAR) / 2);
      break;
    case HIT_COLUMN_BOX:
      m_frame->SplitColumn((width() - KV_SPLIT_BAR) / 2);
      break;
    case HIT_ROW_BAR:
      m_frame->DeleteRow(active_row == 0 ? 1 : 0);
      break;
    case HIT_COLUMN_BAR:
      m_frame->DeleteColumn(active_col == 0 ? 1 : 0);
      break;
    default:
      break;
  }
  relayout();
}

void KvSplitterWnd::keyPressEvent(QKeyEvent* e) {
  if (m_track != HIT_NONE && e->key() == Qt::Key_Escape)
    end_track(false, QPoint());
  else
    QWidget::keyPressEvent(e);
}

// ---- KvSplitterFrame -----------------------------------------------------------

KvSplitterFrame::KvSplitterFrame(int max_rows, int max_cols, QSize min_pane)
    : m_split(new KvSplitterWnd(this, max_rows, max_cols, min_pane)) {
  setWidget(m_split);
  connect(qApp, &QApplication::focusChanged, this,
          [this](QWidget*, QWidget* now) { focus_changed(now); });
}

KvSplitterFrame::~KvSplitterFrame() {
  // The panes go with the splitter after this part of the frame is gone.
  disconnect(qApp, &QApplication::focusChanged, this, nullptr);
}

void KvSplitterFrame::attach_view(KvView* v) {
  m_split->m_panes[0][0] = v;
  v->setParent(m_split);
  SetActiveView(v);
  m_split->relayout();
}

int KvSplitterFrame::GetRowCount() const {
  return m_split->rows();
}

int KvSplitterFrame::GetColumnCount() const {
  return m_split->columns();
}

KvView* KvSplitterFrame::GetPane(int row, int col) const {
  return m_split->pane(row, col);
}

std::vector<KvView*> KvSplitterFrame::GetViews() const {
  std::vector<KvView*> out;
  for (int r = 0; r < m_split->rows(); r++)
    for (int c = 0; c < m_split->columns(); c++)
      if (KvView* v = m_split->pane(r, c)) out.push_back(v);
  return out;
}

void KvSplitterFrame::focus_changed(QWidget* now) {
  for (KvView* v : GetViews())
    if (now && (now == v || v->isAncestorOf(now))) {
      SetActiveView(v);
      return;
    }
}

KvView* KvSplitterFrame::new_pane_view() {
  KvDocument* doc = GetActiveDocument();
  KvDocTemplate* t = doc ? doc->GetDocTemplate() : nullptr;
  KvView* v = t ? t->CreateView(doc) : nullptr;
  if (v) v->setParent(m_split);
  return v;
}

// The pane at a line (a row when rows, else a column) and a place along it.
KvView*& KvSplitterFrame::pane_at(bool rows, int line, int along) {
  return rows ? m_split->m_panes[line][along] : m_split->m_panes[along][line];
}

bool KvSplitterFrame::split(bool rows, int before) {
  KvSplitterWnd& s = *m_split;
  int& lines = rows ? s.m_rows : s.m_cols;
  const int across = rows ? s.m_cols : s.m_rows;
  // The panes' extent once the split box is gone.
  const int extent = rows ? s.height() : s.width();
  const int min = rows ? s.m_min.height() : s.m_min.width();
  if (lines >= (rows ? s.m_max_rows : s.m_max_cols) || !GetActiveDocument() ||
      !GetActiveDocument()->GetDocTemplate())
    return false;
  if (before < min || extent - before - KvSplitterWnd::KV_SPLIT_BAR < min) return false;
  std::vector<KvView*> made;
  for (int i = 0; i < across; i++) {
    KvView* v = new_pane_view();
    if (!v) {
      for (KvView* m : made) delete m;
      return false;
    }
    made.push_back(v);
  }
  for (int i = 0; i < across; i++) pane_at(rows, 1, i) = made[size_t(i)];
  lines = 2;
  (rows ? s.m_row0 : s.m_col0) = before;
  s.relayout();
  for (KvView* v : made) v->OnInitialUpdate();
  return true;
}

bool KvSplitterFrame::SplitRow(int cy_before) {
  return split(true, cy_before);
}

bool KvSplitterFrame::SplitColumn(int cx_before) {
  return split(false, cx_before);
}

void KvSplitterFrame::views_going(const std::vector<KvView*>& going) {
  // The active pane (and the focus) move to a pane that stays, before the
  // views go.
  auto goes = [&](const KvView* v) {
    return std::find(going.begin(), going.end(), v) != going.end();
  };
  QWidget* focus = QApplication::focusWidget();
  const bool had_focus = focus && std::any_of(going.begin(), going.end(), [&](KvView* g) {
                           return g == focus || g->isAncestorOf(focus);
                         });
  if (goes(GetActiveView()))
    for (KvView* v : GetViews())
      if (!goes(v)) {
        SetActiveView(v);
        if (had_focus) v->setFocus();
        break;
      }
  for (KvView* v : going) delete v;
}

bool KvSplitterFrame::remove(bool rows, int line) {
  KvSplitterWnd& s = *m_split;
  int& lines = rows ? s.m_rows : s.m_cols;
  const int across = rows ? s.m_cols : s.m_rows;
  if (lines < 2 || line < 0 || line >= lines) return false;
  std::vector<KvView*> going;
  for (int i = 0; i < across; i++) going.push_back(pane_at(rows, line, i));
  // The other line becomes the first.
  for (int i = 0; i < 2; i++) {
    if (line == 0) pane_at(rows, 0, i) = pane_at(rows, 1, i);
    pane_at(rows, 1, i) = nullptr;
  }
  lines = 1;
  views_going(going);
  s.relayout();
  return true;
}

bool KvSplitterFrame::DeleteRow(int row) {
  return remove(true, row);
}

bool KvSplitterFrame::DeleteColumn(int col) {
  return remove(false, col);
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
