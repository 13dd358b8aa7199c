// The horse-race window: symbols of a list or of a broker account's
// positions, their order and modes, the splitters and the symbol box.
#include "windows/hraceview.h"

#include <stdlib.h>
#include <strings.h>

#include <QContextMenuEvent>
#include <QDropEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <vector>

#include "broker/twsacct.h"
#include "chart/axisscale.h"
#include "data/chartsettings.h"
#include "data/debugtrace.h"
#include "data/statmsg.h"
#include "data/symlist.h"
#include "platform/locks.h"
#include "platform/messages.h"
#include "platform/qt/frames.h"
#include "platform/qt/menus.h"
#include "platform/qt/services_qt.h"
#include "platform/qt/tracker.h"
#include "quotes/mqt.h"
#include "quotes/mqt_flags.h"
#include "settings/settings.h"
#include "shell/app.h"
#include "windows/quotesview.h"

namespace {

enum : uint32_t {
  PREF_NEW_WINDOW = 0x20,
  TRACE_PANES = 0x40,   // g_option_flags
  TRACE_HRACE = 0x100,  // g_option_flags
  VIEW_SPLIT1 = 0x10,   // the pointer is over the first splitter
  VIEW_SPLIT2 = 0x20,   // over the second
  VIEW_BOX = 0x200,     // the symbol box is shown
  SEC_OPT = 0x4,
  SEC_FOP = 0x8,
  SEC_ONE_FUTURE = 0x100,
};

enum { SORT_NAME = 0, SORT_LARGER_FIRST = 1, SORT_SMALLER_FIRST = 2 };

int auto_sort_interval() {
  return std::max<int>(g_quote_interval, HRACE_AUTO_SORT_MIN_MS);
}

// The profit mode the group axes label by: amounts in money, else percent.
int pl_display_mode() {
  return (int)(g_pl_mode & 0xF);
}

// A record's symbol text of a P&L message (lParam a malloc'd copy).
const char* message_symbol(kv_lparam lparam) {
  return lparam ? reinterpret_cast<const char*>(lparam) : "";
}

// The name of the portfolio the P&L race shows: an advisor's choice of
// account, profile or group (the race holds the positions of its
// accounts), else the account of the race's slot (its alias when TWS gave
// one).  The broker's reader thread changes the accounts under
// g_chart_lock.
const char* portfolio_name() {
  static char name[64];
  kv_lock lock(g_chart_lock);
  const char* alias = tws_account_alias(g_portfolio_slot);
  const char* account = tws_account_name(g_portfolio_slot);
  snprintf(name, sizeof name, "%s",
           g_advisor_mode != ADVISOR_NONE && g_advisor_text[0] ? g_advisor_text
           : alias && alias[0]                                 ? alias
           : account && account[0]                             ? account
                                                               : g_advisor_account);
  return name;
}

// A cell the combining of options hides: an option or future option, or a
// future of the exchange "ONE".  Adding a cell and switching the combining
// ask the same, so that every cell hidden by one is shown by the other.
// Under g_chart_lock.
bool combines_with_underlying(const mqt* r) {
  return (r->sec_code & (SEC_OPT | SEC_FOP | SEC_ONE_FUTURE)) || r->sec_type[0] == 'O' ||
         (r->flags & MQT_ONE_FUTURE);
}

}  // namespace

CKvHRaceView::CKvHRaceView() {
  setAcceptDrops(true);
  m_view_bit = alloc_view_bit();
  m_list.entries = m_entries;
  m_list.view_bit = m_view_bit;
  map_commands();
}

CKvHRaceView::~CKvHRaceView() {
  release_all();
  if (m_pl && m_view_bit && g_group_scale_hooks.pl_group == m_view_bit)
    g_group_scale_hooks.pl_group = 0;
  if (m_view_bit) free_view_bit(m_view_bit);
  if (m_pl && m_pl_window && g_pl_window.load() == m_pl_window) g_pl_window = 0;
}

void CKvHRaceView::release_all() {
  for (int i = 0; i < m_cell_count; i++) {
    if (mqt* r = m_entries[i].quote) {
      {
        kv_lock lock(g_chart_lock);
        r->view_mask &= ~m_view_bit;
      }
      release_multiquote(r, m_view_bit);
    }
    m_entries[i] = hrace_entry();
    m_values[i] = 0;
  }
  m_cell_count = m_shown_count = 0;
  m_list.entry_count = m_list.symbol_count = 0;
}

ChartSettings* CKvHRaceView::settings() const {
  auto* doc = dynamic_cast<CKvWindowDoc*>(GetDocument());
  return doc ? &doc->Settings() : nullptr;
}

uint32_t CKvHRaceView::Flags() const {
  ChartSettings* s = settings();
  return s ? s->display_flags : 0;
}

void CKvHRaceView::set_flags(uint32_t clear, uint32_t set) {
  if (ChartSettings* s = settings()) s->display_flags = (s->display_flags & ~clear) | set;
}

uint32_t CKvHRaceView::pl_mode() const {
  return (Flags() & HRACE_PL_MASK) >> HRACE_PL_SHIFT;
}

void CKvHRaceView::overflow_text() {
  char text[80];
  snprintf(text, sizeof text,
           m_pl ? "Too many symbols for P&L Horserace, max %d\n"
                : "Too many symbols for Horserace, max %d\n",
           (int)HRACE_CELLS_MAX);
  statmsg(nullptr, 0, text, nullptr, STATMSG_ADD | STATMSG_STATUS_BAR);
}

// A new cell of the symbol at the end; 1 taken.
int CKvHRaceView::take_symbol(const char* symbol) {
  if (m_cell_count >= HRACE_CELLS_MAX) return 0;
  mqt* r = use_multiquote(symbol, m_view_bit);
  if (!r) return 0;
  hrace_entry& e = m_entries[m_cell_count];
  e = hrace_entry();
  e.quote = r;
  m_values[m_cell_count] = 0;
  m_cell_count++;
  m_shown_count++;
  m_list.entry_count = m_list.symbol_count = m_cell_count;
  return 1;
}

void CKvHRaceView::OnInitialUpdate() {
  ChartSettings* s = settings();
  if (s) {
    s->window_kind = KIND_HORSE_RACE;
    // The race's three panes: prices always on top, then volume and the
    // race study, switched by the middle and bottom pane commands.
    if (!(s->pane_content[0] | s->pane_content[1] | s->pane_content[2])) {
      s->pane_content[0] = CONTENT_PRICE;
      s->pane_content[1] = CONTENT_VOLUME;
      s->pane_content[2] = 0x04;
      s->pane_shown[1] = 1;
    }
    s->pane_shown[0] = 1;
  }
  m_panes.AttachWindow(s, &m_view_flags, this);
  m_panes.SetHRaceList(&m_list);
  m_pl = theApp && theApp->m_sub_kind == HRACE_SUBKIND_PL;
  if (s && m_pl) s->chart_type = HRACE_SUBKIND_PL;
  if (m_pl) {
    if (g_pref_flags & PREF_NEW_WINDOW) set_flags(HRACE_PL_MASK | 0x7C00, HRACE_SORT_NAME);
    g_pref_flags &= ~PREF_NEW_WINDOW;
    m_pl_window = GetSafeHwnd();
    g_pl_window = m_pl_window;
    LoadPortfolioSymbols();
    return;
  }
  int n = (g_pref_flags & PREF_NEW_WINDOW) ? 0 : symbol_list_count();
  if (n == 0) {
    g_pref_flags &= ~PREF_NEW_WINDOW;
    UpdatePanes(1, 1, 1, 0);
    return;
  }
  m_name = QString::fromLatin1(g_slf_title);
  for (int i = 0; i < n; i++) {
    if (m_cell_count >= HRACE_CELLS_MAX) {
      overflow_text();
      break;
    }
    const char* symbol = symbol_list_token(2 * i);
    if (!symbol) break;
    take_symbol(symbol);
  }
  fit_frame();
  UpdatePanes(1, 1, 1, 0);
}

void CKvHRaceView::LoadPortfolioSymbols() {
  release_all();
  if (m_view_bit) free_view_bit(m_view_bit);
  m_view_bit = alloc_view_bit();
  m_list.view_bit = m_view_bit;
  // The axes of the profit race scale by the records' profit figures and
  // label them as the profit mode asks.
  if (m_pl) {
    g_group_scale_hooks.pl_group = m_view_bit;
    g_group_scale_hooks.get_pl_mode = pl_display_mode;
  }
  std::vector<std::string> symbols;
  {
    kv_lock lock(g_chart_lock);
    mqt** held = get_portfolio_mqts(g_portfolio_slot);
    for (int i = 0; held && held[i]; i++) symbols.push_back(held[i]->symbol);
  }
  for (const std::string& s : symbols) {
    if (m_cell_count >= HRACE_CELLS_MAX) {
      overflow_text();
      break;
    }
    take_symbol(s.c_str());
  }
  UpdatePanes(1, 1, 1, 0);
}

void CKvHRaceView::ApplyPLSettings() {
  if (!m_pl) return;
  recalc_portfolio_pl(pl_mode());
  uint32_t f = Flags();
  if (f & HRACE_SORT_NAME)
    SortByName();
  else if (f & HRACE_SORT_ASCENDING)
    SortByValue(true);
  else if (f & HRACE_SORT_DESCENDING)
    SortByValue(false);
}

void CKvHRaceView::OnUpdate(KvView* sender, intptr_t hint) {
  // The document's update-all round arrives without a sender or hint.
  if (!sender && hint == 0)
    RefreshFromQuotes();
  else
    UpdatePanes(1, 0, 1, 0);
}

// The race's values of each record, and the record marked as one of this
// race's group view with the high and low of what it shows, from which
// the panes scale: a symbol-list race shows each symbol's day in percent of
// its previous close, the P&L race the profit the broker client keeps.
void CKvHRaceView::fill_race_values() {
  kv_lock lock(g_chart_lock);
  for (int i = 0; i < m_cell_count; i++) {
    mqt* r = m_entries[i].quote;
    if (!r) continue;
    r->view_mask |= m_view_bit;
    mqt_race_values& v = r->race;
    if (m_pl) {
      r->pl_view_high[0] = std::max(v.pl_high, v.pl_now);
      r->pl_view_low[0] = std::min(v.pl_low, v.pl_now);
      r->pl_view_high[1] = std::max(v.pl_study_high, v.pl_study_now);
      r->pl_view_low[1] = std::min(v.pl_study_low, v.pl_study_now);
      r->pl_view_high[2] = v.pl_volume;
      r->pl_view_low[2] = 0;
      continue;
    }
    v.change_open = r->pct_open;
    v.change_low = r->pct_low;
    v.change_high = r->pct_high;
    v.change_last = r->pct_last;
    v.volume = (float)r->volume;
    v.race = r->pct_last;
    v.change = r->pct_last;
    r->view_high[0] = std::max({v.change_high, v.change_open, v.change_last});
    r->view_low[0] = std::min({v.change_low, v.change_open, v.change_last});
    r->view_high[1] = std::max(v.study[2], v.study[3]);
    r->view_low[1] = std::min(v.study[1], v.study[3]);
    r->view_high[2] = v.volume;
    r->view_low[2] = 0;
  }
}

void CKvHRaceView::RefreshFromQuotes() {
  if (!m_pl && (Flags() & HRACE_SORT_AUTO)) {
    m_countdown -= std::max<int>(g_quote_interval, 1);
    if (m_countdown <= 0) {
      if (Flags() & HRACE_SORT_ASCENDING)
        sort_cells(SORT_LARGER_FIRST);
      else if (Flags() & HRACE_SORT_DESCENDING)
        sort_cells(SORT_SMALLER_FIRST);
      m_countdown = auto_sort_interval();
    }
  }
  UpdatePanes(1, 0, 1, 0);
}

void CKvHRaceView::UpdatePanes(int recalc, int resize, int invalidate, int update_now) {
  if (g_option_flags & TRACE_PANES) debug_trace("CKvHRaceView::UpdatePanes()\n");
  ChartSettings* s = settings();
  if (!s) return;
  m_panes.AttachWindow(s, &m_view_flags, this);
  if (recalc || resize) {
    KvRect client = GetClientRect();
    m_panes.CalcPaneRects(client, 1, 0);
  }
  if (invalidate) Invalidate(true);
  if (update_now) UpdateWindow();
}

kv_lresult CKvHRaceView::WindowProc(unsigned message, kv_wparam wparam, kv_lparam lparam) {
  switch (message) {
    case WM_UPDATE_FROM_THREAD:
      if (g_option_flags & TRACE_HRACE) debug_trace("CKvHRace::OnUpdateFromThread()\n");
      return 0;
    // The symbol copies of the portfolio messages are the handler's to free.
    case WM_ADD_PL_SYMBOL:
      AddPLSymbol(message_symbol(lparam));
      free(reinterpret_cast<void*>(lparam));
      return 0;
    case WM_REMOVE_PL_SYMBOL:
      RemovePLSymbol(message_symbol(lparam));
      free(reinterpret_cast<void*>(lparam));
      return 0;
    case WM_UPDATE_PL_SYMBOL:
      if (g_option_flags & TRACE_HRACE) debug_trace("CKvHRace::OnUpdatePLSymbol()\n");
      free(reinterpret_cast<void*>(lparam));
      UpdatePanes(1, 0, 1, 1);
      return 0;
    case WM_CLEAR_PORTFOLIO:
      ClearPortfolio();
      return 0;
    default:
      return KvCanvasView::WindowProc(message, wparam, lparam);
  }
}

void CKvHRaceView::AddPLSymbol(const char* symbol) {
  if (g_option_flags & TRACE_HRACE) debug_trace("CKvHRace::OnAddPLSymbol() - %s\n", symbol);
  if (!symbol[0]) return;
  for (int i = 0; i < m_cell_count; i++) {
    hrace_entry& e = m_entries[i];
    if (!e.quote || strcasecmp(e.quote->symbol, symbol) != 0) continue;
    if (e.flags & 0x04) {
      e.flags &= ~0x04;
      if (!(e.flags & 0x02)) m_shown_count++;
      UpdatePanes(1, 0, 1, 0);
    }
    return;
  }
  if (m_cell_count >= HRACE_CELLS_MAX) {
    overflow_text();
    return;
  }
  if (!take_symbol(symbol)) return;
  hrace_entry& e = m_entries[m_cell_count - 1];
  bool option;
  {
    kv_lock lock(g_chart_lock);
    option = combines_with_underlying(e.quote);
  }
  if (option && (Flags() & HRACE_COMBINE)) {
    e.flags |= 0x02;
    m_shown_count--;
  }
  apply_sort();
  UpdatePanes(1, 0, 1, 0);
}

void CKvHRaceView::RemovePLSymbol(const char* symbol) {
  debug_trace("CKvHRace::OnRemovePLSymbol() - %s\n", symbol);
  for (int i = 0; i < m_cell_count; i++) {
    hrace_entry& e = m_entries[i];
    if (!e.quote || (e.flags & 0x04) || strcasecmp(e.quote->symbol, symbol) != 0) continue;
    e.flags |= 0x04;
    if (!(e.flags & 0x02)) m_shown_count--;
    break;
  }
  UpdatePanes(1, 0, 1, 1);
}

void CKvHRaceView::ClearPortfolio() {
  if (g_option_flags & TRACE_HRACE) debug_trace("CKvHRace::OnClearPortfolio()\n");
  // The cells' records are given back, so that clearing never leaks them.
  release_all();
  UpdatePanes(1, 0, 1, 1);
}

int CKvHRaceView::AddSymbol(const QString& text) {
  QString sym = kv_symbol_from_drop(text);
  if (sym.isEmpty()) return 0;
  QByteArray b = sym.toUpper().toLatin1();
  for (int i = 0; i < m_cell_count; i++)
    if (m_entries[i].quote && !strcasecmp(m_entries[i].quote->symbol, b.constData())) return 0;
  return take_symbol(b.constData());
}

// ---------------------------------------------------------------------------
// Sorting.

void CKvHRaceView::refresh_values() {
  int mode = (int)(m_view_flags & 0x7);
  kv_lock lock(g_chart_lock);
  for (int i = 0; i < m_cell_count; i++) {
    const mqt* r = m_entries[i].quote;
    if (!r) continue;
    if (!m_pl) {
      if (mode == 0)
        m_values[i] = r->pct_last;
      else if (mode == 1)
        m_values[i] = r->race.race;
    } else if (mode == 0) {
      m_values[i] = r->race.pl_now;
    } else if (mode == 1) {
      m_values[i] = r->race.pl_study_now;
    } else if (mode == 2) {
      m_values[i] = r->race.pl_volume;
    }
  }
}

// Whole cells move; empty cells go last, values that are no number after
// the numbers, equal ones keep their order.
void CKvHRaceView::sort_cells(int how) {
  if (m_cell_count <= 1) return;
  if (how != SORT_NAME) refresh_values();
  std::vector<int> order(m_cell_count);
  std::iota(order.begin(), order.end(), 0);
  {
    kv_lock lock(g_chart_lock);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
      const mqt* ra = m_entries[a].quote;
      const mqt* rb = m_entries[b].quote;
      if (!ra || !rb) return ra && !rb;
      if (how == SORT_NAME) {
        const char* na = ra->contract_root[0] ? ra->contract_root : ra->symbol;
        const char* nb = rb->contract_root[0] ? rb->contract_root : rb->symbol;
        return strcmp(na, nb) < 0;
      }
      float va = m_values[a], vb = m_values[b];
      if (std::isnan(va) || std::isnan(vb)) return !std::isnan(va) && std::isnan(vb);
      return how == SORT_LARGER_FIRST ? va > vb : va < vb;
    });
  }
  hrace_entry entries[HRACE_CELLS_MAX];
  float values[HRACE_CELLS_MAX];
  for (int i = 0; i < m_cell_count; i++) {
    entries[i] = m_entries[order[i]];
    values[i] = m_values[order[i]];
  }
  std::copy(entries, entries + m_cell_count, m_entries);
  std::copy(values, values + m_cell_count, m_values);
}

void CKvHRaceView::apply_sort() {
  uint32_t f = Flags();
  if (f & HRACE_SORT_NAME)
    sort_cells(SORT_NAME);
  else if (f & HRACE_SORT_ASCENDING)
    sort_cells(SORT_LARGER_FIRST);
  else if (f & HRACE_SORT_DESCENDING)
    sort_cells(SORT_SMALLER_FIRST);
}

void CKvHRaceView::SortByName() {
  set_flags(HRACE_SORT_ASCENDING | HRACE_SORT_DESCENDING | HRACE_SORT_AUTO, HRACE_SORT_NAME);
  m_countdown = 0;
  sort_cells(SORT_NAME);
  UpdatePanes(1, 0, 1, 0);
}

void CKvHRaceView::SortByValue(bool ascending_command) {
  set_flags(HRACE_SORT_NAME | HRACE_SORT_ASCENDING | HRACE_SORT_DESCENDING,
            ascending_command ? HRACE_SORT_ASCENDING : HRACE_SORT_DESCENDING);
  sort_cells(ascending_command ? SORT_LARGER_FIRST : SORT_SMALLER_FIRST);
  UpdatePanes(1, 0, 1, 0);
}

void CKvHRaceView::ToggleAutoSort() {
  if (Flags() & HRACE_SORT_NAME) {
    set_flags(HRACE_SORT_AUTO, 0);
  } else {
    set_flags(0, 0);
    if (ChartSettings* s = settings()) s->display_flags ^= HRACE_SORT_AUTO;
  }
  m_countdown = (Flags() & HRACE_SORT_AUTO) ? auto_sort_interval() : 0;
}

void CKvHRaceView::CombineOptions() {
  if (ChartSettings* s = settings()) {
    s->display_flags ^= HRACE_COMBINE;
    if (s->display_flags & HRACE_COMBINE)
      s->display_flags |= HRACE_PL_COMBINE;
    else
      s->display_flags &= ~HRACE_PL_COMBINE;
  }
  recalc_portfolio_pl(pl_mode());
  bool combine = (Flags() & HRACE_COMBINE) != 0;
  kv_lock lock(g_chart_lock);
  // A removed cell takes the hidden bit too, so that it comes back as the
  // combining asks; only shown cells count.
  for (int i = 0; i < m_cell_count; i++) {
    hrace_entry& e = m_entries[i];
    if (!e.quote || !combines_with_underlying(e.quote)) continue;
    bool hidden = (e.flags & 0x02) != 0;
    if (combine == hidden) continue;
    e.flags ^= 0x02;
    if (!(e.flags & 0x04)) m_shown_count += combine ? -1 : 1;
  }
  UpdatePanes(1, 0, 1, 0);
}

void CKvHRaceView::SetPLMode(uint32_t bit) {
  set_flags(0xFu << HRACE_PL_SHIFT, bit);
  recalc_portfolio_pl(pl_mode());
  UpdatePanes(1, 0, 1, 0);
}

// ---------------------------------------------------------------------------
// Drawing, placement and the frame.

void CKvHRaceView::OnSize(int, int) {
  if (settings()) UpdatePanes(1, 1, 1, 0);
}

void CKvHRaceView::OnDraw(KvDC& dc) {
  ChartSettings* s = settings();
  if (!s) return;
  fill_race_values();
  m_panes.AttachWindow(s, &m_view_flags, this);
  m_panes.CalcPaneRects(GetClientRect(), 1, 0);
  m_panes.CalcLayouts(&dc);
  m_panes.Draw(&dc);
  int total = 0, up = 0, down = 0;
  m_panes.GetHRaceHitInfo(&total, &up, &down);
  auto* doc = dynamic_cast<CKvWindowDoc*>(GetDocument());
  if (doc && theApp) {
    if (m_pl) {
      doc->SetTitle(
          QString::fromLatin1(theApp->GetViewTitle(KIND_HORSE_RACE, portfolio_name(), 0)));
    } else if (!m_name.isEmpty()) {
      char extra[64];
      snprintf(extra, sizeof extra, "[%d] Up:%d Dn:%d", total, up, down);
      QByteArray name = m_name.toLatin1();
      doc->SetTitle(QString::fromLatin1(
          theApp->GetSymbolWindowTitle(KIND_HORSE_RACE, name.constData(), extra)));
    }
  }
  if (m_view_flags & VIEW_BOX) {
    m_box_under = QImage();
    draw_box(m_box_point.x(), m_box_point.y());
  }
}

void CKvHRaceView::fit_frame() {
  KvChildFrame* f = GetParentFrame();
  ChartSettings* s = settings();
  if (!f || !s || m_shown_count <= 0) return;
  int pitch = (int)(candle_def_for_size(s->candle_size, 0) & 0xFF);
  if (pitch <= 0) return;
  KvWindowPlacement wp = f->GetWindowPlacement();
  int width = std::max(pitch * m_shown_count, 120);
  if (wp.normal.Width() > width) wp.normal.right = wp.normal.left + width;
  if (wp.normal.Height() > 250) wp.normal.bottom = wp.normal.top + 250;
  f->SetWindowPlacement(wp);
}

void CKvHRaceView::SaveWindowState(WindowDescriptor*) {
  ChartSettings* s = settings();
  KvChildFrame* f = GetParentFrame();
  if (!s || !f) return;
  f->SavePlacement(s->normal_rect, &s->show_cmd);
  if (m_pl) snprintf(s->symbol, sizeof s->symbol, "%s", g_advisor_account);
}

void CKvHRaceView::RestoreWindowState(const WindowDescriptor*) {
  ChartSettings* s = settings();
  KvChildFrame* f = GetParentFrame();
  if (!s || !f) return;
  f->RestorePlacement(s->normal_rect, s->show_cmd);
  if (m_pl) ApplyPLSettings();
  UpdatePanes(1, 1, 1, 0);
}

// ---------------------------------------------------------------------------
// Mouse: splitters and the symbol box.

int CKvHRaceView::entry_at(int x, int) const {
  for (int i = 0; i < m_cell_count; i++) {
    const hrace_entry& e = m_entries[i];
    if (!e.quote || (e.flags & 0x06)) continue;
    if (x >= e.left_x && x < e.right_x) return i;
  }
  return -1;
}

QString CKvHRaceView::SymbolBoxText(int x, int y) const {
  int i = entry_at(x, y);
  if (i < 0) return QString();
  kv_lock lock(g_chart_lock);
  const mqt* r = m_entries[i].quote;
  char text[512];
  if (!m_pl) {
    float close = r->last, change = r->last - r->prev_close;
    snprintf(text, sizeof text, "%s\nO: %.2f\nH: %.2f\nL: %.2f\nC: %.2f\n$: %.2f\n%%: %.2f",
             r->symbol, r->open, r->high, r->low, close, change, r->pct_last);
    return QString::fromLatin1(text);
  }
  const mqt_position& p = r->account_positions[0];
  uint32_t mode = pl_mode() & 0x3;
  char unit = mode ? '%' : ' ';
  snprintf(text, sizeof text, "%d %s@%0.2f %s %0.2f%c [%0.2f%c]", (int)p.quantity, r->symbol,
           p.avg_price, mode ? "P&L" : "$", r->race.pl_now, unit, r->race.pl_high, unit);
  return QString::fromLatin1(text);
}

void CKvHRaceView::erase_box() {
  if (m_box_under.isNull() || m_box_rect.IsRectEmpty()) return;
  KvClientDC dc(this);
  dc.BitBlt(m_box_rect.left, m_box_rect.top, m_box_rect.Width(), m_box_rect.Height(), m_box_under,
            0, 0);
  m_box_under = QImage();
  m_box_rect = KvRect();
}

void CKvHRaceView::draw_box(int x, int y) {
  erase_box();
  QString text = SymbolBoxText(x, y);
  if (text.isEmpty()) return;
  QStringList lines = text.split(QLatin1Char('\n'));
  KvClientDC dc(this);
  KvFont old = dc.SelectFont(KvFont(QStringLiteral("Arial"), 8));
  int w = 0, h = 0, line_h = 0;
  for (const QString& l : lines) {
    KvSize sz = dc.GetTextExtent(l);
    w = std::max(w, sz.cx);
    line_h = sz.cy;
    h += sz.cy;
  }
  KvRect client = GetClientRect();
  KvRect box;
  box.right = x < client.Width() / 2 ? x + w + 4 : x;
  box.left = box.right - (w + 4);
  box.bottom = y;
  box.top = y - (h + 4);
  if (box.top < 0) box.OffsetRect(0, -box.top);
  if (box.left < 0) box.OffsetRect(-box.left, 0);
  m_box_rect = box;
  m_box_under = backing().copy(box.left, box.top, box.Width(), box.Height());
  KvPen old_pen = dc.SelectPen(KvPen(PS_SOLID, 1, 0));
  KvBrush old_brush = dc.SelectBrush(KvBrush(RGB(255, 255, 225)));
  dc.Rectangle(box);
  dc.SelectBrush(old_brush);
  dc.SelectPen(old_pen);
  COLORREF old_text = dc.SetTextColor(0);
  int old_mode = dc.SetBkMode(TRANSPARENT);
  for (int i = 0; i < lines.size(); i++)
    dc.TextOut(box.left + 2, box.top + 2 + i * line_h, lines[i]);
  dc.SetBkMode(old_mode);
  dc.SetTextColor(old_text);
  dc.SelectFont(old);
}

void CKvHRaceView::mousePressEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return KvCanvasView::mousePressEvent(e);
  QPoint p = e->position().toPoint();
  ChartSettings* s = settings();
  if (s) {
    // A splitter bar drags first.
    int hit1 = m_panes.OnSplitter12(p.x(), p.y()), hit2 = m_panes.OnSplitter23(p.x(), p.y());
    if (hit1 || hit2) {
      int which = hit1 ? 0 : 1;
      const int32_t* sr = s->splitter_rects[which];
      KvRect r(-75000, sr[1], 75000, sr[3]);
      if (kv_track_rect(this, p, &r, true)) {
        KvRect client = GetClientRect();
        float f = client.Height() > 0 ? (float)((r.top + r.bottom) / 2) / client.Height() : 0.5f;
        float f12 = s->splits[0], f23 = s->splits[1];
        if (which == 0)
          f12 = f;
        else
          f23 = f;
        m_panes.MoveSplitters(f12, f23, s->splits[2]);
        UpdatePanes(1, 1, 1, 0);
      }
      return;
    }
  }
  if (e->modifiers() & Qt::ShiftModifier) {
    int i = entry_at(p.x(), p.y());
    if (i >= 0) kv_start_text_drag(this, QString::fromLatin1(m_entries[i].quote->symbol), 0);
    return;
  }
  m_view_flags |= VIEW_BOX;
  m_box_point = p;
  draw_box(p.x(), p.y());
}

void CKvHRaceView::mouseMoveEvent(QMouseEvent* e) {
  QPoint p = e->position().toPoint();
  m_panes.HitTest(p.x(), p.y(), &m_view_flags);
  if (!(m_view_flags & VIEW_BOX)) return;
  m_box_point = p;
  draw_box(p.x(), p.y());
}

void CKvHRaceView::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton || !(m_view_flags & VIEW_BOX)) return;
  m_view_flags &= ~VIEW_BOX;
  erase_box();
  Invalidate(false);
}

// ---------------------------------------------------------------------------
// Commands and the popup menu.

void CKvHRaceView::map_commands() {
  MapCommand(ID_HRACE_TOP_PANE, [this] { UpdatePanes(1, 0, 1, 0); });
  MapUpdate(ID_HRACE_TOP_PANE, [this](KvCmdUI& ui) {
    ChartSettings* s = settings();
    ui.SetCheck(s && s->pane_shown[0]);
  });
  const unsigned panes[][2] = {{ID_HRACE_MIDDLE_PANE, 1}, {ID_HRACE_BOTTOM_PANE, 2}};
  for (const auto& p : panes) {
    int slot = (int)p[1];
    MapCommand(p[0], [this, slot] {
      if (ChartSettings* s = settings()) s->pane_shown[slot] = !s->pane_shown[slot];
      UpdatePanes(1, 0, 1, 0);
    });
    MapUpdate(p[0], [this, slot](KvCmdUI& ui) {
      ChartSettings* s = settings();
      ui.SetCheck(s && s->pane_shown[slot]);
    });
  }
  MapCommand(ID_HRACE_SORT_NAME, [this] { SortByName(); });
  MapCommand(ID_HRACE_SORT_ASCENDING, [this] { SortByValue(true); });
  MapCommand(ID_HRACE_SORT_DESCENDING, [this] { SortByValue(false); });
  MapCommand(ID_HRACE_SORT_AUTO, [this] { ToggleAutoSort(); });
  MapCommand(ID_HRACE_COMBINE_OPTIONS, [this] { CombineOptions(); });
  MapCommand(ID_HRACE_PL_AMOUNT, [this] { SetPLMode(0); });
  MapCommand(ID_HRACE_PL_PORTFOLIO, [this] { SetPLMode(HRACE_PL_PORTFOLIO); });
  MapCommand(ID_HRACE_PL_POSITION, [this] { SetPLMode(HRACE_PL_POSITION); });
  auto any = [this](KvCmdUI& ui) {
    return m_cell_count > 0 ? (ui.Enable(true), true) : (ui.Enable(false), false);
  };
  MapUpdate(ID_HRACE_SORT_NAME, [this, any](KvCmdUI& ui) {
    if (any(ui)) ui.SetCheck((Flags() & HRACE_SORT_NAME) != 0);
  });
  MapUpdate(ID_HRACE_SORT_ASCENDING, [this, any](KvCmdUI& ui) {
    if (any(ui)) ui.SetCheck((Flags() & HRACE_SORT_ASCENDING) != 0);
  });
  MapUpdate(ID_HRACE_SORT_DESCENDING, [this, any](KvCmdUI& ui) {
    if (any(ui)) ui.SetCheck((Flags() & HRACE_SORT_DESCENDING) != 0);
  });
  MapUpdate(ID_HRACE_SORT_AUTO, [this, any](KvCmdUI& ui) {
    if (!any(ui)) return;
    ui.Enable(!m_pl);
    ui.SetCheck((Flags() & HRACE_SORT_AUTO) != 0);
  });
  MapUpdate(ID_HRACE_COMBINE_OPTIONS, [this, any](KvCmdUI& ui) {
    if (!any(ui)) return;
    ui.Enable(m_pl);
    ui.SetCheck(m_pl && (Flags() & HRACE_COMBINE));
  });
  const unsigned modes[][2] = {{ID_HRACE_PL_AMOUNT, 0},
                               {ID_HRACE_PL_PORTFOLIO, HRACE_PL_PORTFOLIO},
                               {ID_HRACE_PL_POSITION, HRACE_PL_POSITION}};
  for (const auto& m : modes) {
    uint32_t bit = m[1];
    MapUpdate(m[0], [this, any, bit](KvCmdUI& ui) {
      if (!any(ui)) return;
      ui.Enable(m_pl);
      ui.SetCheck(m_pl && (Flags() & (HRACE_PL_POSITION | HRACE_PL_PORTFOLIO)) == bit);
    });
  }
}

QMenu* CKvHRaceView::BuildPopupMenu() {
  auto* menu = new QMenu(this);
  kv_fill_menu(menu, {{ID_HRACE_SORT_NAME, "Sort by Name"},
                      {ID_HRACE_SORT_ASCENDING, "Sort by % Change Ascending"},
                      {ID_HRACE_SORT_DESCENDING, "Sort by % Change Descending"},
                      {ID_HRACE_SORT_AUTO, "Sort Automatically"},
                      {0, nullptr},
                      {ID_HRACE_COMBINE_OPTIONS, "Combine Options w/Underlying"},
                      {ID_HRACE_PL_AMOUNT, "Show Absolute $ Amount"},
                      {ID_HRACE_PL_PORTFOLIO, "Show Portfolio % Change"},
                      {ID_HRACE_PL_POSITION, "Show Position % Change"}});
  kv_update_menu(menu, [this](KvCmdUI& ui) { OnUpdateCmdUI(ui); });
  return menu;
}

void CKvHRaceView::contextMenuEvent(QContextMenuEvent* e) {
  QMenu* menu = BuildPopupMenu();
  menu->setAttribute(Qt::WA_DeleteOnClose);
  connect(menu, &QMenu::triggered, this, [this](QAction* a) {
    if (unsigned id = kv_action_id(a)) OnCmdMsg(id);
  });
  menu->popup(e->globalPos());
}

void CKvHRaceView::dragEnterEvent(QDragEnterEvent* e) {
  if (!e->mimeData()->hasText()) return;
  e->setDropAction((e->modifiers() & Qt::ControlModifier) ? Qt::CopyAction : Qt::MoveAction);
  e->accept();
}

void CKvHRaceView::dragMoveEvent(QDragMoveEvent* e) {
  if (!e->mimeData()->hasText()) return;
  e->setDropAction((e->modifiers() & Qt::ControlModifier) ? Qt::CopyAction : Qt::MoveAction);
  e->accept();
}

void CKvHRaceView::dropEvent(QDropEvent* e) {
  if (m_pl || !e->mimeData()->hasText()) return e->ignore();
  int added = AddSymbol(e->mimeData()->text());
  UpdatePanes(0, 0, 1, 1);
  if (added)
    e->acceptProposedAction();
  else
    e->ignore();
}
