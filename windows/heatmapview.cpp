// The SLFMap window: cells from a symbol list, typed or dropped symbols,
// sort keys, marks, exclusion, hiding and deleting, the constrain dialog,
// alerts and data updates of all its symbols.
#include "windows/heatmapview.h"

#include <strings.h>

#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <cstring>

#include "chartwin/chartview.h"
#include "data/chart.h"
#include "data/chartload.h"
#include "data/chartthreads.h"
#include "data/chartsettings.h"
#include "data/debugtrace.h"
#include "data/statmsg.h"
#include "data/symlist.h"
#include "platform/locks.h"
#include "platform/qt/frames.h"
#include "platform/qt/menus.h"
#include "platform/qt/services_qt.h"
#include "platform/services.h"
#include "quotes/alerts.h"
#include "quotes/mqt.h"
#include "settings/settings.h"
#include "shell/alertsdlg.h"
#include "shell/app.h"
#include "shell/core/chartstore.h"
#include "shell/mainfrm.h"
#include "windows/constrainmapdlg.h"

namespace {

enum : uint32_t {
  PREF_NEW_WINDOW = 0x20,    // g_pref_flags: a new document, cleared by its view
  PREF_CANDLE_MARK = 0x800,  // g_pref_flags: a candle mark is awaited
  TRACE_UPDATES = 0x20,      // g_option_flags: update traces
  UPDATE_REQUEST_FLAGS = 0x18009,
};
enum : unsigned { ID_UPDATE_ALL_SYMBOLS = 32778 };

struct KeyCommand {
  unsigned id;
  int key;
};
const KeyCommand kKeyCommands[] = {
    {ID_MAP_SYMBOL_NAME, HEATMAP_KEY_NAME},
    {ID_MAP_LAST_PRICE, HEATMAP_KEY_LAST},
    {ID_MAP_PCT_PREV_CLOSE, HEATMAP_KEY_PCT_PREV_CLOSE},
    {ID_MAP_CHG_PREV_CLOSE, HEATMAP_KEY_CHG_PREV_CLOSE},
    {ID_MAP_PCT_OPEN, HEATMAP_KEY_PCT_OPEN},
    {ID_MAP_CHG_OPEN, HEATMAP_KEY_CHG_OPEN},
    {ID_MAP_PCT_CLOSE, HEATMAP_KEY_PCT_CLOSE},
    {ID_MAP_CHG_CLOSE, HEATMAP_KEY_CHG_CLOSE},
    {ID_MAP_PCT_GAP, HEATMAP_KEY_PCT_GAP},
    {ID_MAP_GAP, HEATMAP_KEY_GAP},
    {ID_MAP_PCT_MARK, HEATMAP_KEY_PCT_MARK},
    {ID_MAP_CHG_MARK, HEATMAP_KEY_CHG_MARK},
    {ID_MAP_DAILY_RANGE, HEATMAP_KEY_DAILY_RANGE},
};

void clear_alert(alert_rec* a) {
  a->flags &= ~(uint32_t)ALERT_IN_USE;
  a->enabled = a->armed = a->fired = 0;
  a->high_price = a->low_price = 0;
  a->high_word = a->low_word = 0;
}

// The trimmed text when it can be a symbol (1-31 characters), else empty.
QString symbol_text(const QString& text) {
  QString t = text.trimmed();
  if (t.isEmpty() || t.size() > SYMLIST_SYMBOL_MAX) return QString();
  for (QChar c : t)
    if (c.unicode() < 0x20 || c == QLatin1Char('/') || c == QLatin1Char('\\') || c.unicode() > 0x7E)
      return QString();
  return t.toUpper();
}

// A context to measure text with when no paint is running (the window's
// image may not exist yet).
struct measure_dc {
  QImage image{8, 8, QImage::Format_RGB32};
  KvDC dc{&image};
};

}  // namespace

CKvHeatMapView::CKvHeatMapView() {
  std::memset(m_cells, 0, sizeof m_cells);
  setAcceptDrops(true);
  setFocusPolicy(Qt::StrongFocus);
  setMouseTracking(false);
  resize(20, 20);
  m_view_bit = alloc_view_bit();
  m_layout.SetCells(0, 0, m_cells);
  map_commands();
}

CKvHeatMapView::~CKvHeatMapView() {
  for (int i = 0; i < m_cell_count; i++) {
    HeatMapCell& c = m_cells[i];
    if (c.record && !(c.flags & HEATMAP_DELETED)) release_multiquote(c.record, m_view_bit);
    c.record = nullptr;
  }
  if (m_view_bit) free_view_bit(m_view_bit);
}

ChartSettings* CKvHeatMapView::settings() const {
  auto* doc = dynamic_cast<CKvWindowDoc*>(GetDocument());
  return doc ? &doc->Settings() : nullptr;
}

void CKvHeatMapView::set_title(int balance, bool with_balance) {
  auto* doc = dynamic_cast<CKvWindowDoc*>(GetDocument());
  if (!doc || !theApp || m_name.isEmpty()) return;
  QByteArray name = m_name.toLatin1();
  char extra[16];
  snprintf(extra, sizeof extra, "%d", balance);
  doc->SetTitle(QString::fromLatin1(
      theApp->GetSymbolWindowTitle(KIND_SLFMAP, name.constData(), with_balance ? extra : nullptr)));
}

void CKvHeatMapView::OnInitialUpdate() {
  ChartSettings* s = settings();
  if (s) s->window_kind = KIND_SLFMAP;
  int n = (g_pref_flags & PREF_NEW_WINDOW) ? 0 : symbol_list_count();
  if (n == 0) {
    if (auto* doc = dynamic_cast<CKvWindowDoc*>(GetDocument()); doc && theApp)
      doc->SetTitle(QString::fromLatin1(theApp->GetNewWindowTitle(KIND_SLFMAP)));
    g_pref_flags &= ~PREF_NEW_WINDOW;
    m_layout.SetCells(0, 0, m_cells);
    return;
  }
  m_name = QString::fromLatin1(g_slf_title);
  set_title(0, false);
  for (int i = 0; i < n; i++) {
    if (m_cell_count >= HEATMAP_CELLS_MAX) {
      char text[80];
      snprintf(text, sizeof text, "Too many symbols for SLFMap, max %d\n", (int)HEATMAP_CELLS_MAX);
      statmsg(nullptr, 0, text, nullptr, STATMSG_ADD | STATMSG_STATUS_BAR);
      break;
    }
    const char* symbol = symbol_list_token(2 * i);
    if (!symbol) break;
    mqt* r = use_multiquote(symbol, m_view_bit);
    if (!r) continue;
    HeatMapCell& c = m_cells[m_cell_count++];
    std::memset(&c, 0, sizeof c);
    c.record = r;
    snprintf(c.symbol, sizeof c.symbol, "%s", r->symbol);
  }
  m_shown_count = m_cell_count;
  m_layout.SetCells(0, m_cell_count, m_cells);
  uint32_t flags = s ? s->flags : 0;
  int rows = (int)((flags >> MAP_ROWS_SHIFT) & MAP_FIELD_MASK);
  int columns = (int)((flags >> MAP_COLUMNS_SHIFT) & MAP_FIELD_MASK);
  m_layout.SetConstraint(m_constraint, rows, columns);
  if (flags & MAP_FLAG_MINI_CHARTS) m_layout.options |= HEATMAP_MINI_CHARTS;
  m_state |= STATE_LAYOUT;
  // The frame fits the map: never wider or taller than it prefers.
  if (KvChildFrame* f = GetParentFrame()) {
    measure_dc m;
    KvSize want = m_layout.PreferredSize(m.dc);
    KvWindowPlacement wp = f->GetWindowPlacement();
    if (wp.normal.Width() > want.cx) wp.normal.right = wp.normal.left + want.cx;
    if (wp.normal.Height() > want.cy) wp.normal.bottom = wp.normal.top + want.cy;
    f->SetWindowPlacement(wp);
  }
  Invalidate(false);
}

void CKvHeatMapView::OnUpdate(KvView*, intptr_t) {
  if (g_option_flags & TRACE_UPDATES) debug_trace("CKvHeatMapView::OnUpdateFromThread()\n");
  Invalidate(false);
}

void CKvHeatMapView::OnSize(int, int) {
  m_state |= STATE_LAYOUT;
}

void CKvHeatMapView::relayout() {
  m_state |= STATE_LAYOUT;
  Invalidate(true);
}

int CKvHeatMapView::shown_in_use() const {
  int n = 0;
  for (int i = 0; i < m_cell_count; i++)
    if (heatmap_cell_shown(m_cells[i])) n++;
  return n;
}

void CKvHeatMapView::OnDraw(KvDC& dc) {
  if (m_shown_count <= 0) {
    if (!m_typed.isEmpty()) typed_changed();
    return;
  }
  if ((g_pref_flags & PREF_CANDLE_MARK) && (m_state & STATE_CANDLE_MARK) && g_picked_candle_time) {
    m_layout.SetMark(HEATMAP_MARK_CANDLE, g_picked_candle_time);
    g_picked_candle_time = 0;
    g_pref_flags &= ~PREF_CANDLE_MARK;
    m_state &= ~STATE_CANDLE_MARK;
  }
  if (m_state & STATE_LAYOUT) {
    m_layout.CalcLayouts(dc, GetClientRect());
    m_state &= ~STATE_LAYOUT;
  }
  m_layout.DrawAll(dc);
  if (!m_balance_known || m_layout.balance != m_balance) {
    m_balance = m_layout.balance;
    m_balance_known = true;
    set_title(m_balance, true);
  }
  if (!m_typed.isEmpty()) {
    KvFont old = dc.SelectFont(KvFont::StockVariable());
    dc.TextOut(0, 0, m_typed);
    dc.SelectFont(old);
  }
}

void CKvHeatMapView::Sort(int key) {
  m_layout.ComputeValues();
  m_layout.Sort(key);
  measure_dc m;
  m_layout.CalcLayouts(m.dc, GetClientRect());
}

void CKvHeatMapView::sort_command(int key) {
  Sort(key);
  Invalidate(true);
}

int CKvHeatMapView::SetConstraint(int mode, int rows, int columns) {
  if (mode < HEATMAP_FREE || mode > HEATMAP_COLUMNS_FIXED) return 0;
  if (rows > MAP_FIXED_MAX || columns > MAP_FIXED_MAX) return 0;
  if ((mode == HEATMAP_ROWS_FIXED && rows < 1) || (mode == HEATMAP_COLUMNS_FIXED && columns < 1))
    return 0;
  m_constraint = mode;
  if (ChartSettings* s = settings()) {
    s->flags &= ~((MAP_FIELD_MASK << MAP_ROWS_SHIFT) | (MAP_FIELD_MASK << MAP_COLUMNS_SHIFT));
    if (mode == HEATMAP_ROWS_FIXED) s->flags |= (uint32_t)rows << MAP_ROWS_SHIFT;
    if (mode == HEATMAP_COLUMNS_FIXED) s->flags |= (uint32_t)columns << MAP_COLUMNS_SHIFT;
  }
  m_layout.SetConstraint(mode, rows, columns);
  relayout();
  return 1;
}

int CKvHeatMapView::AddSymbol(const QString& text) {
  QString sym = symbol_text(text);
  if (sym.isEmpty()) return 0;
  QByteArray b = sym.toLatin1();
  for (int i = 0; i < m_cell_count; i++) {
    HeatMapCell& c = m_cells[i];
    if (strcasecmp(c.symbol, b.constData()) != 0) continue;
    if (!(c.flags & HEATMAP_DELETED)) return 0;
    // A deleted cell of the symbol is taken again.
    mqt* r = use_multiquote(b.constData(), m_view_bit);
    if (!r) return 0;
    c.record = r;
    c.flags &= ~(uint32_t)HEATMAP_DELETED;
    m_shown_count++;
    m_layout.SetCells(1, m_shown_count, m_cells);
    if (m_layout.sort_key == HEATMAP_KEY_DAILY_RANGE) m_layout.ComputeDailyRange(c);
    m_state |= STATE_LAYOUT;
    return 1;
  }
  if (m_cell_count >= HEATMAP_CELLS_MAX) return 0;
  mqt* r = use_multiquote(b.constData(), m_view_bit);
  if (!r) return 0;
  HeatMapCell& c = m_cells[m_cell_count++];
  std::memset(&c, 0, sizeof c);
  c.record = r;
  snprintf(c.symbol, sizeof c.symbol, "%s", r->symbol);
  m_shown_count++;
  if (g_option_flags & TRACE_UPDATES) debug_trace("%d %s\n", m_shown_count, b.constData());
  if (auto* doc = GetDocument()) doc->SetModifiedFlag(true);
  m_layout.SetCells(2, m_shown_count, m_cells);
  if (m_layout.sort_key == HEATMAP_KEY_DAILY_RANGE) m_layout.ComputeDailyRange(c);
  m_state |= STATE_LAYOUT;
  return 1;
}

HeatMapCell* CKvHeatMapView::popup_cell() {
  QByteArray b = m_popup_symbol.toLatin1();
  if (b.isEmpty()) return nullptr;
  for (int i = 0; i < m_cell_count; i++) {
    HeatMapCell& c = m_cells[i];
    if (c.record && !(c.flags & HEATMAP_DELETED) && !strcasecmp(c.record->symbol, b.constData()))
      return &c;
  }
  return nullptr;
}

void CKvHeatMapView::SetPopupSymbol(const char* symbol) {
  m_popup_symbol = QString::fromLatin1(symbol ? symbol : "");
}

void CKvHeatMapView::ExcludeSymbol(const char* symbol) {
  SetPopupSymbol(symbol);
  HeatMapCell* c = popup_cell();
  if (!c) return;
  kv_lock lock(g_chart_lock);
  c->flags ^= HEATMAP_EXCLUDED;
  if (c->flags & HEATMAP_EXCLUDED)
    c->record->view_bits &= ~m_view_bit;
  else
    c->record->view_bits |= m_view_bit;
  Invalidate(true);
}

void CKvHeatMapView::HideSymbol(const char* symbol) {
  SetPopupSymbol(symbol);
  HeatMapCell* c = popup_cell();
  if (!c || (c->flags & HEATMAP_HIDDEN)) return;
  {
    kv_lock lock(g_chart_lock);
    c->flags |= HEATMAP_HIDDEN;
    c->record->view_bits &= ~m_view_bit;
  }
  m_shown_count--;
  m_layout.SetCells(1, m_shown_count, m_cells);
  relayout();
}

void CKvHeatMapView::DeleteSymbol(const char* symbol) {
  SetPopupSymbol(symbol);
  HeatMapCell* c = popup_cell();
  if (!c) return;
  if (!(c->flags & HEATMAP_HIDDEN)) m_shown_count--;
  c->flags |= HEATMAP_DELETED;
  c->flags &= ~(uint32_t)HEATMAP_HIDDEN;
  m_layout.SetCells(1, m_shown_count, m_cells);
  // The record may go with its last user: the cell keeps only its symbol.
  release_multiquote(c->record, m_view_bit);
  c->record = nullptr;
  if (auto* doc = GetDocument()) doc->SetModifiedFlag(true);
  relayout();
}

void CKvHeatMapView::UnhideAll() {
  int n = 0;
  {
    kv_lock lock(g_chart_lock);
    for (int i = 0; i < m_cell_count; i++) {
      HeatMapCell& c = m_cells[i];
      if (c.flags & HEATMAP_DELETED) continue;
      c.flags &= ~(uint32_t)HEATMAP_HIDDEN;
      if (c.record && !(c.flags & HEATMAP_EXCLUDED)) c.record->view_bits |= m_view_bit;
      n++;
    }
  }
  m_shown_count = n;
  m_layout.SetCells(1, m_shown_count, m_cells);
  relayout();
}

void CKvHeatMapView::ClearAlerts(bool all) {
  {
    kv_lock lock(g_chart_lock);
    if (all) {
      for (int i = 0; i < m_cell_count; i++)
        if (m_cells[i].record && !(m_cells[i].flags & HEATMAP_DELETED) && m_cells[i].record->alert)
          clear_alert(m_cells[i].record->alert);
    } else if (HeatMapCell* c = popup_cell(); c && c->record->alert) {
      clear_alert(c->record->alert);
    }
    g_alerts_changed = 1;
  }
  if (theApp) {
    theApp->UpdateChartViews(0);
    if (theApp->MainFrame()) theApp->MainFrame()->PostCommand(ID_UPDATE_ALL_SYMBOLS);
  }
  Invalidate(false);
}

void CKvHeatMapView::RearmAlerts() {
  {
    kv_lock lock(g_chart_lock);
    HeatMapCell* c = popup_cell();
    if (!c || !c->record->alert) return;
    c->record->alert->armed = c->record->alert->enabled;
    c->record->alert->fired = 0;
    g_alerts_changed = 1;
  }
  Invalidate(false);
}

void CKvHeatMapView::UpdateAll(unsigned command) {
  if (!g_chart_store.ImportList().head) return;
  kv_begin_wait_cursor();
  for (int i = 0; i < m_cell_count; i++) {
    HeatMapCell& c = m_cells[i];
    if (!c.record || (c.flags & HEATMAP_DELETED)) continue;
    char symbol[MQT_SYMBOL_SIZE];
    {
      kv_lock lock(g_chart_lock);
      snprintf(symbol, sizeof symbol, "%s", c.record->symbol);
    }
    chart_rec* daily = get_chart_data(symbol, TU_DAILY, 0, 0, 0, nullptr, nullptr, 0);
    if (command == ID_MAP_UPDATE_DAILY_FROM_INTRADAY) {
      if (daily) update_daily_from_intraday(daily);
    } else {
      int start = g_start_date_daily;
      if (daily) {
        kv_lock lock(g_chart_lock);
        if (daily->header.bar_count > 0) start = daily->header.last_date;
      }
      queue_chart_request(0, symbol, command == ID_MAP_UPDATE_DAILY ? TU_DAILY : 1, start, 0,
                          UPDATE_REQUEST_FLAGS, nullptr, nullptr, 0);
    }
    if (daily) free_chart_data(daily);
  }
  kv_end_wait_cursor();
}

int CKvHeatMapView::GetCellInfo(int index, uint32_t* flags, const char** symbol,
                                const char** description) {
  if (index < 0 || index >= m_cell_count) return 1;
  const HeatMapCell& c = m_cells[index];
  if (flags) *flags = c.flags;
  if (symbol) *symbol = c.record || c.symbol[0] ? c.symbol : nullptr;
  if (description) *description = c.record ? c.record->description : nullptr;
  return 0;
}

void CKvHeatMapView::SortForSave(int by_name) {
  if (m_cell_count <= 0) return;
  int key = m_layout.sort_key;
  if (by_name) {
    m_layout.Sort(HEATMAP_KEY_NAME);
    m_layout.sort_key = key;  // the shown key stays
  } else {
    m_layout.Sort(-1);
  }
  m_state |= STATE_LAYOUT;
}

void CKvHeatMapView::SaveWindowState(WindowDescriptor*) {
  ChartSettings* s = settings();
  KvChildFrame* f = GetParentFrame();
  if (!s) return;
  if (f) f->SavePlacement(s->normal_rect, &s->show_cmd);
  if (m_layout.options & HEATMAP_MINI_CHARTS)
    s->flags |= MAP_FLAG_MINI_CHARTS;
  else
    s->flags &= ~MAP_FLAG_MINI_CHARTS;
}

void CKvHeatMapView::RestoreWindowState(const WindowDescriptor*) {
  ChartSettings* s = settings();
  if (!s) return;
  if (KvChildFrame* f = GetParentFrame()) f->RestorePlacement(s->normal_rect, s->show_cmd);
  int rows = (int)((s->flags >> MAP_ROWS_SHIFT) & MAP_FIELD_MASK);
  int columns = (int)((s->flags >> MAP_COLUMNS_SHIFT) & MAP_FIELD_MASK);
  m_constraint = rows ? HEATMAP_ROWS_FIXED : columns ? HEATMAP_COLUMNS_FIXED : HEATMAP_FREE;
  m_layout.SetConstraint(m_constraint, rows, columns);
  if (s->flags & MAP_FLAG_MINI_CHARTS)
    m_layout.options |= HEATMAP_MINI_CHARTS;
  else
    m_layout.options &= ~(uint32_t)HEATMAP_MINI_CHARTS;
  relayout();
}

// ---------------------------------------------------------------------------
// Commands.

void CKvHeatMapView::map_commands() {
  for (const KeyCommand& k : kKeyCommands) {
    int key = k.key;
    MapCommand(k.id, [this, key] { sort_command(key); });
    MapUpdate(k.id, [this, key](KvCmdUI& ui) { ui.SetCheck(m_layout.sort_key == key); });
  }
  MapCommand(ID_MAP_SORT, [this] { sort_command(-1); });
  MapUpdate(ID_MAP_SORT, [this](KvCmdUI& ui) { ui.Enable(m_shown_count > 0); });
  MapCommand(ID_MAP_MINI_CHARTS, [this] {
    m_layout.options ^= HEATMAP_MINI_CHARTS;
    relayout();
  });
  MapUpdate(ID_MAP_MINI_CHARTS,
            [this](KvCmdUI& ui) { ui.SetCheck((m_layout.options & HEATMAP_MINI_CHARTS) != 0); });
  MapCommand(ID_MAP_EXTENDED, [this] { m_layout.options ^= HEATMAP_EXTENDED; });
  MapUpdate(ID_MAP_EXTENDED,
            [this](KvCmdUI& ui) { ui.SetCheck((m_layout.options & HEATMAP_EXTENDED) != 0); });
  MapCommand(ID_MAP_MARK_NOW, [this] {
    m_layout.SetMark(HEATMAP_MARK_NOW, 0);
    Invalidate(false);
  });
  MapCommand(ID_MAP_MARK_CANDLE, [this] {
    if (g_pref_flags & PREF_CANDLE_MARK) return;
    g_pref_flags |= PREF_CANDLE_MARK;
    m_state |= STATE_CANDLE_MARK;
  });
  const unsigned marks[][2] = {{ID_MAP_MARK_1, 1}, {ID_MAP_MARK_2, 2}, {ID_MAP_MARK_3, 3},
                               {ID_MAP_MARK_4, 4}, {ID_MAP_MARK_6, 6}, {ID_MAP_MARK_7, 7}};
  for (const auto& m : marks) {
    int type = (int)m[1];
    MapCommand(m[0], [this, type] {
      m_layout.SetMark(type, 0);
      Invalidate(false);
    });
  }
  MapCommand(ID_MAP_POPUP_SYMBOL, [] {});
  MapCommand(ID_MAP_EXCLUDE, [this] {
    QByteArray b = m_popup_symbol.toLatin1();
    ExcludeSymbol(b.constData());
  });
  MapUpdate(ID_MAP_EXCLUDE, [this](KvCmdUI& ui) {
    HeatMapCell* c = popup_cell();
    ui.Enable(c != nullptr);
    ui.SetCheck(c && (c->flags & HEATMAP_EXCLUDED));
  });
  MapCommand(ID_MAP_HIDE, [this] {
    QByteArray b = m_popup_symbol.toLatin1();
    HideSymbol(b.constData());
  });
  MapCommand(ID_MAP_DELETE, [this] {
    QByteArray b = m_popup_symbol.toLatin1();
    DeleteSymbol(b.constData());
  });
  MapCommand(ID_MAP_UNHIDE_ALL, [this] { UnhideAll(); });
  MapCommand(ID_MAP_CONSTRAIN, [this] {
    CConstrainMapDlg dlg(this);
    dlg.m_mode = m_constraint;
    dlg.m_rows = m_layout.fixed_rows;
    dlg.m_columns = m_layout.fixed_columns;
    if (dlg.DoModal() == IDOK) SetConstraint(dlg.m_mode, dlg.m_rows, dlg.m_columns);
  });
  MapCommand(ID_MAP_DELETE_ALL_ALERTS, [this] { ClearAlerts(true); });
  MapCommand(ID_MAP_DELETE_ALERTS, [this] { ClearAlerts(false); });
  MapCommand(ID_MAP_REARM_ALERTS, [this] { RearmAlerts(); });
  MapCommand(ID_MAP_SHOW_ALERTS, [] {});
  for (unsigned id :
       {ID_MAP_UPDATE_DAILY, ID_MAP_UPDATE_INTRADAY, ID_MAP_UPDATE_DAILY_FROM_INTRADAY})
    MapCommand(id, [this, id] { UpdateAll(id); });
}

QMenu* CKvHeatMapView::BuildPopupMenu(int x, int y) {
  auto* menu = new QMenu(this);
  int cell = m_shown_count > 0 ? m_layout.CellAt(x, y) : -1;
  m_popup_cell = cell;
  QString first = QStringLiteral("No Symbol");
  if (cell >= 0 && m_cells[cell].record) {
    m_popup_symbol = QString::fromLatin1(m_cells[cell].record->symbol);
    first = m_popup_symbol;
  } else {
    m_popup_symbol.clear();
  }
  std::vector<KvMenuItem> items = {
      {ID_MAP_POPUP_SYMBOL, nullptr},
      {0, nullptr},
      {ID_MAP_SORT, "Sort"},
      {ID_MAP_EXTENDED, "Show Extended Sessions"},
      {ID_MAP_CONSTRAIN, "Constrain Rows/Columns..."},
      {0, nullptr},
      {ID_MAP_EXCLUDE, "Exclude Symbol"},
      {ID_MAP_HIDE, "Hide Symbol"},
      {ID_MAP_DELETE, "Delete Symbol"},
      {ID_MAP_UNHIDE_ALL, "Unhide All"},
      {0, nullptr},
      {ID_MAP_SHOW_ALERTS, "Show Alerts"},
      {ID_MAP_REARM_ALERTS, "ReArm Alerts"},
      {ID_MAP_DELETE_ALERTS, "Delete Alerts"},
      {ID_MAP_DELETE_ALL_ALERTS, "Delete All Alerts"},
      {0, nullptr},
      {ID_MAP_UPDATE_DAILY, "Update All Daily"},
      {ID_MAP_UPDATE_INTRADAY, "Update All Intraday"},
      {ID_MAP_UPDATE_DAILY_FROM_INTRADAY, "Update All Daily From Intraday"},
      {0, nullptr},
      {ID_MAP_SAVE, "Save SLFMap"},
  };
  QByteArray first_text = first.toLatin1();
  items[0].text = first_text.constData();
  kv_fill_menu(menu, items);
  kv_update_menu(menu, [this](KvCmdUI& ui) {
    if (ui.id == ID_MAP_SAVE) return;  // the application's command
    if (ui.id == ID_MAP_POPUP_SYMBOL) {
      ui.Enable(true);
      return;
    }
    if (!OnUpdateCmdUI(ui)) ui.Enable(HasCommand(ui.id));
  });
  return menu;
}

// ---------------------------------------------------------------------------
// Mouse, keys and drops.

void CKvHeatMapView::mousePressEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return KvCanvasView::mousePressEvent(e);
  int x = e->position().toPoint().x(), y = e->position().toPoint().y();
  m_state |= STATE_CAPTURED;
  int slot = m_layout.StepAt(x, y);
  if (slot >= 0) {
    KvClientDC dc(this);
    m_layout.DrawStepLabel(dc, slot);
    return;
  }
  int cell = m_layout.CellAt(x, y);
  if (cell < 0 || !m_cells[cell].record) return;
  // The symbol leaves as plain text.
  kv_start_text_drag(this, QString::fromLatin1(m_cells[cell].record->symbol), KIND_SLFMAP);
  m_state &= ~STATE_CAPTURED;
}

void CKvHeatMapView::mouseMoveEvent(QMouseEvent* e) {
  if (!(m_state & STATE_CAPTURED)) return;
  QPoint p = e->position().toPoint();
  int slot = m_layout.StepAt(p.x(), p.y());
  if (slot < 0) return;
  KvClientDC dc(this);
  m_layout.DrawSpectrum(dc, 1);
  m_layout.DrawStepLabel(dc, slot);
}

void CKvHeatMapView::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return;
  m_state &= ~STATE_CAPTURED;
  if (m_layout.spectrum.IsRectEmpty()) return;
  KvClientDC dc(this);
  m_layout.DrawSpectrum(dc, 1);
}

void CKvHeatMapView::mouseDoubleClickEvent(QMouseEvent* e) {
  QPoint p = e->position().toPoint();
  const char* symbol = m_layout.SymbolAt(p.x(), p.y(), 0);
  if (!symbol) return;
  // The frame's Alerts window shows the symbol, or a new one is made.
  open_alerts_dlg(symbol);
}

void CKvHeatMapView::contextMenuEvent(QContextMenuEvent* e) {
  QMenu* menu = BuildPopupMenu(e->pos().x(), e->pos().y());
  menu->setAttribute(Qt::WA_DeleteOnClose);
  connect(menu, &QMenu::triggered, this, [this](QAction* a) {
    unsigned id = kv_action_id(a);
    if (id == ID_MAP_SAVE) {
      if (theApp && theApp->MainFrame()) theApp->MainFrame()->PostCommand(ID_MAP_SAVE);
    } else if (id) {
      OnCmdMsg(id);
    }
  });
  menu->popup(e->globalPos());
}

void CKvHeatMapView::erase_typed() {
  if (m_typed.isEmpty()) return;
  KvClientDC dc(this);
  KvFont old = dc.SelectFont(KvFont::StockVariable());
  KvSize size = dc.GetTextExtent(m_typed);
  dc.SelectFont(old);
  ChartSettings* s = settings();
  dc.FillSolidRect(KvRect(0, 0, size.cx, size.cy), s ? s->bg_color : RGB(255, 255, 255));
}

void CKvHeatMapView::typed_changed() {
  m_typed = m_typed.toUpper();
  KvClientDC dc(this);
  KvFont old = dc.SelectFont(KvFont::StockVariable());
  dc.TextOut(0, 0, m_typed);
  dc.SelectFont(old);
}

void CKvHeatMapView::keyPressEvent(QKeyEvent* e) {
  int key = e->key();
  if (key == Qt::Key_Escape) {
    Invalidate(false);
    return;
  }
  if (key == Qt::Key_Backspace) {
    if (m_typed.isEmpty()) return;
    erase_typed();
    m_typed.chop(1);
    typed_changed();
    return;
  }
  if (key == Qt::Key_Return || key == Qt::Key_Enter) {
    m_state |= STATE_TYPING;
    QString text = m_typed.trimmed();
    if (text.size() >= 32) {
      kv_message_box("Invalid Symbol", "Korvane", MB_OK);
      erase_typed();
      m_typed.clear();
    } else if (!text.isEmpty()) {
      erase_typed();
      AddSymbol(text);
      m_typed.clear();
      m_state &= ~STATE_TYPING;
      Invalidate(true);
    } else {
      Invalidate(true);
    }
    return;
  }
  QString t = e->text();
  if (t.isEmpty() || t.at(0).unicode() < 0x20) return KvCanvasView::keyPressEvent(e);
  m_typed += t;
  typed_changed();
}

void CKvHeatMapView::dragEnterEvent(QDragEnterEvent* e) {
  if (!e->mimeData()->hasText()) return;
  e->setDropAction((e->modifiers() & Qt::ControlModifier) ? Qt::CopyAction : Qt::MoveAction);
  e->accept();
}

void CKvHeatMapView::dragMoveEvent(QDragMoveEvent* e) {
  if (!e->mimeData()->hasText()) return;
  e->setDropAction((e->modifiers() & Qt::ControlModifier) ? Qt::CopyAction : Qt::MoveAction);
  e->accept();
}

void CKvHeatMapView::dropEvent(QDropEvent* e) {
  if (!e->mimeData()->hasText()) return;
  int added = AddSymbol(e->mimeData()->text());
  Invalidate(true);
  if (added)
    e->acceptProposedAction();
  else
    e->ignore();
}
