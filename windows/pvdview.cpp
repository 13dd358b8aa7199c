// The price/volume distribution window.
#include "windows/pvdview.h"

#include <QContextMenuEvent>
#include <QDropEvent>
#include <QMenu>
#include <QMimeData>
#include <QPrinter>
#include <algorithm>
#include <cstring>

#include "chartwin/chartcolordlg.h"
#include "data/chartsettings.h"
#include "data/pricefmt.h"
#include "platform/locks.h"
#include "platform/qt/frames.h"
#include "platform/qt/menus.h"
#include "platform/qt/printing.h"
#include "quotes/mqt.h"
#include "settings/settings.h"
#include "shell/app.h"
#include "windows/quotesview.h"

namespace {
enum : uint32_t { VIEW_PRINTING = 0x8, SUBKIND_PL = 12 };
}

CKvPriceVolDistView::CKvPriceVolDistView() {
  setAcceptDrops(true);
  map_commands();
}

CKvPriceVolDistView::~CKvPriceVolDistView() {
  m_panes.SetPVDData(nullptr);
  if (m_record) delete_multiquote(m_record);
  m_record = nullptr;
}

ChartSettings* CKvPriceVolDistView::settings() const {
  auto* doc = dynamic_cast<CKvWindowDoc*>(GetDocument());
  return doc ? &doc->Settings() : nullptr;
}

void CKvPriceVolDistView::OnInitialUpdate() {
  ChartSettings* s = settings();
  if (s) {
    s->window_kind = KIND_PRICE_VOL_DIST;
    // One pane: the distribution against the price axis.
    s->pane_shown[0] = 1;
    s->pane_content[0] = CONTENT_PRICE;
    for (int i = 1; i < 4; i++) s->pane_shown[i] = 0;
    if (theApp && theApp->m_sub_kind) s->chart_type = theApp->m_sub_kind;
    if (s->symbol[0]) SetSymbol(QString::fromLatin1(s->symbol));
  }
  // A new document's mark is for the view that sees it: this one.
  g_pref_flags &= ~0x20u;
  m_panes.AttachWindow(s, &m_view_flags, this);
  UpdatePanes(1, 1, 0, 0);
}

void CKvPriceVolDistView::OnUpdate(KvView*, intptr_t) {
  UpdatePanes(1, 0, 1, 0);
}

// The record's histogram into the pane's own copy, read under the lock:
// the quote threads write it while the window paints.
void CKvPriceVolDistView::copy_record() {
  if (!m_record) return;
  kv_lock lock(g_chart_lock);
  const mqt* r = m_record;
  snprintf(m_data.symbol, sizeof m_data.symbol, "%s", r->symbol);
  m_data.date = r->histogram_date;
  m_data.tick_size = r->tick_size;
  m_data.base_price = r->histogram_base;
  m_data.price_step = r->histogram_step;
  static_assert((int)PVD_ROWS == (int)MQT_HISTOGRAM_CELLS);
  std::memcpy(m_data.volume, r->histogram, sizeof m_data.volume);
  m_data.low = r->low;
  m_data.high = r->high;
  m_data.last = r->last;
  m_data.time1 = r->trade_time;
  m_data.time2 = r->stored_time;
}

int CKvPriceVolDistView::SetSymbol(const QString& text) {
  QString sym = kv_symbol_from_drop(text).toUpper();
  if (sym.isEmpty()) return 0;
  QByteArray b = sym.toLatin1();
  mqt* r = get_multiquote(b.constData());
  if (!r) return 0;
  if (m_record) delete_multiquote(m_record);
  m_record = r;
  m_symbol = sym;
  if (ChartSettings* s = settings()) snprintf(s->symbol, sizeof s->symbol, "%s", b.constData());
  copy_record();
  m_panes.SetPVDData(&m_data);
  auto* doc = dynamic_cast<CKvWindowDoc*>(GetDocument());
  if (doc && theApp)
    doc->SetTitle(QString::fromLatin1(theApp->GetViewTitle(KIND_PRICE_VOL_DIST, m_data.symbol, 0)));
  return 1;
}

void CKvPriceVolDistView::UpdatePanes(int recalc, int resize, int invalidate, int update_now) {
  ChartSettings* s = settings();
  if (!s) return;
  m_panes.AttachWindow(s, &m_view_flags, this);
  if (recalc || resize) {
    if (!(m_view_flags & VIEW_PRINTING)) m_client = GetClientRect();
    m_panes.CalcPaneRects(m_client, 1, 0);
  }
  if (invalidate) Invalidate(true);
  if (update_now) UpdateWindow();
}

bool CKvPriceVolDistView::OnEraseBkgnd(KvDC& dc) {
  ChartSettings* s = settings();
  dc.FillSolidRect(GetClientRect(), s ? s->bg_color : RGB(255, 255, 255));
  return true;
}

void CKvPriceVolDistView::OnSize(int, int) {
  if (settings()) UpdatePanes(1, 1, 1, 0);
}

void CKvPriceVolDistView::OnDraw(KvDC& dc) {
  ChartSettings* s = settings();
  if (!s) return;
  copy_record();
  m_panes.SetPVDData(m_record ? &m_data : nullptr);
  m_panes.AttachWindow(s, &m_view_flags, this);
  m_client = GetClientRect();
  m_panes.CalcPaneRects(m_client, 1, 0);
  m_panes.CalcLayouts(&dc);
  m_panes.Draw(&dc);
  if (m_record) m_panes.UpdatePVD(&dc);
}

QString CKvPriceVolDistView::VolumeText(int x, int y) {
  int volume = m_record ? m_panes.PointToPVDRow(x, y) : -1;
  if (volume < 0) return QStringLiteral("Volume");
  char buf[32];
  return QStringLiteral("Volume ") + QString::fromLatin1(format_volume(buf, volume, 0));
}

void CKvPriceVolDistView::OnPrint(KvDC& dc, const KvRect& printable, bool preview) {
  ChartSettings* s = settings();
  if (!s) return;
  ChartSettings saved = *s;
  KvRect saved_client = m_client;
  m_view_flags |= VIEW_PRINTING;
  if (s->bg_color == 0) {
    s->bg_color = 0xFFFFFF;
    for (uint32_t* c : {&s->text_color, &s->text_color2, &s->axis_color, &s->grid_color,
                        &s->up_color, &s->down_color, &s->wick_color, &s->outline_color,
                        &s->up_volume_color, &s->down_volume_color, &s->study_color})
      if (*c == 0xFFFFFF) *c = 0;
  }
  if (dc.GetDeviceColors() == 2 && !preview) {
    s->up_color = 0xFFFFFF;
    s->down_color = s->wick_color = s->outline_color = 0;
  }
  // The window's shape, as large as fits the page less 100 pixels each way;
  // an empty window prints in the page's own proportions.
  KvRect area(printable.left + 50, printable.top + 50, printable.right - 50, printable.bottom - 50);
  int sw = saved_client.Width(), sh = saved_client.Height();
  if (sw <= 0 || sh <= 0) sw = std::max(area.Width(), 1), sh = std::max(area.Height(), 1);
  int w = area.Width(), h = (int)((int64_t)w * sh / sw);
  if (h > area.Height()) h = area.Height(), w = (int)((int64_t)h * sw / sh);
  m_client = KvRect(area.left + (area.Width() - w) / 2, area.top + (area.Height() - h) / 2, 0, 0);
  m_client.right = m_client.left + w;
  m_client.bottom = m_client.top + h;
  // The candle size from the printed pixels per bar (at least one bar).
  int bars = std::max(saved.m_nNum, 1);
  int spacing = (int)((double)w / bars + 0.5);
  int wide = (int)(candle_def_for_size(4, 0) & 0xFF), mid = (int)(candle_def_for_size(5, 0) & 0xFF),
      narrow = (int)(candle_def_for_size(1, 0) & 0xFF);
  s->candle_size = spacing >= wide ? 4 : spacing >= mid ? 5 : spacing >= narrow ? 1 : 0;
  copy_record();
  UpdatePanes(1, 0, 0, 0);
  m_panes.CalcLayouts(&dc);
  m_panes.Draw(&dc);
  *s = saved;
  m_view_flags &= ~VIEW_PRINTING;
  m_client = saved_client;
  UpdatePanes(1, 0, 0, 0);
}

bool CKvPriceVolDistView::PrintTo(QPrinter& printer) {
  return kv_print_pages(printer, 1,
                        [&](KvDC& dc, const KvRect& page, int) { OnPrint(dc, page, false); });
}

void CKvPriceVolDistView::SaveWindowState(WindowDescriptor*) {
  ChartSettings* s = settings();
  KvChildFrame* f = GetParentFrame();
  if (!s) return;
  if (f) f->SavePlacement(s->normal_rect, &s->show_cmd);
  QByteArray b = m_symbol.toLatin1();
  snprintf(s->symbol, sizeof s->symbol, "%s", b.constData());
}

void CKvPriceVolDistView::RestoreWindowState(const WindowDescriptor*) {
  ChartSettings* s = settings();
  if (!s) return;
  if (KvChildFrame* f = GetParentFrame()) f->RestorePlacement(s->normal_rect, s->show_cmd);
  if (s->symbol[0]) SetSymbol(QString::fromLatin1(s->symbol));
  UpdatePanes(1, 1, 1, 0);
}

void CKvPriceVolDistView::map_commands() {
  MapCommand(ID_PVD_BIDASK, [this] {
    if (ChartSettings* s = settings()) s->display_flags ^= CS_SHOW_BIDASK;
    UpdatePanes(1, 0, 1, 1);
  });
  MapUpdate(ID_PVD_BIDASK, [this](KvCmdUI& ui) {
    ChartSettings* s = settings();
    ui.SetCheck(s && (s->display_flags & CS_SHOW_BIDASK));
  });
  MapCommand(ID_PVD_COLOR, [this] {
    ChartSettings* s = settings();
    if (!s) return;
    CChartColorDlg dlg(s, this);
    if (dlg.DoModal() == IDOK) UpdatePanes(1, 0, 1, 1);
  });
}

void CKvPriceVolDistView::contextMenuEvent(QContextMenuEvent* e) {
  auto* menu = new QMenu(this);
  menu->setAttribute(Qt::WA_DeleteOnClose);
  QByteArray text = VolumeText(e->pos().x(), e->pos().y()).toLatin1();
  kv_fill_menu(menu, {{ID_PVD_VOLUME, text.constData()},
                      {0, nullptr},
                      {ID_PVD_BIDASK, "Show Bid/Ask Bar"},
                      {ID_PVD_COLOR, "Color..."}});
  kv_update_menu(menu, [this](KvCmdUI& ui) {
    if (ui.id == ID_PVD_VOLUME) return;
    OnUpdateCmdUI(ui);
  });
  connect(menu, &QMenu::triggered, this, [this](QAction* a) {
    unsigned id = kv_action_id(a);
    if (id && id != ID_PVD_VOLUME) OnCmdMsg(id);
  });
  menu->popup(e->globalPos());
}

void CKvPriceVolDistView::dragEnterEvent(QDragEnterEvent* e) {
  if (!e->mimeData()->hasText()) return;
  e->setDropAction((e->modifiers() & Qt::ControlModifier) ? Qt::CopyAction : Qt::MoveAction);
  e->accept();
}

void CKvPriceVolDistView::dragMoveEvent(QDragMoveEvent* e) {
  if (!e->mimeData()->hasText()) return;
  e->setDropAction((e->modifiers() & Qt::ControlModifier) ? Qt::CopyAction : Qt::MoveAction);
  e->accept();
}

void CKvPriceVolDistView::dropEvent(QDropEvent* e) {
  ChartSettings* s = settings();
  if (!e->mimeData()->hasText() || (s && s->chart_type == (int)SUBKIND_PL)) return e->ignore();
  int ok = SetSymbol(e->mimeData()->text());
  UpdatePanes(0, 0, 1, 1);
  if (KvChildFrame* f = GetParentFrame()) f->raise();
  if (ok)
    e->acceptProposedAction();
  else
    e->ignore();
}
