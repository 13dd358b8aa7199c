// The orders window's lists: the Orders, Executions and Summary tabs, the
// order messages that keep them current and the list's pop-up menu.
#include <QFontMetrics>
#include <QHeaderView>
#include <QMenu>
#include <QTabBar>
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "broker/executions.h"
#include "broker/orders.h"
#include "broker/positions.h"
#include "data/chartsettings.h"
#include "data/dates.h"
#include "data/debugtrace.h"
#include "data/pricefmt.h"
#include "platform/clock.h"
#include "platform/locks.h"
#include "platform/qt/reportview.h"
#include "quotes/mqt.h"
#include "quotes/mqt_record.h"
#include "settings/settings.h"
#include "shell/app.h"
#include "shell/windowdoc.h"
#include "windows/ordersview.h"

namespace {

struct column_def {
  int id;
  const char* header;
  int align;
  int width;
};

const column_def kOrderColumns[] = {
    {52, "Underlying", LVCFMT_LEFT, 65},  {51, "Exchange", LVCFMT_LEFT, 60},
    {56, "TIF", LVCFMT_LEFT, 35},         {47, "OCA", LVCFMT_LEFT, 35},
    {39, "Action", LVCFMT_LEFT, 40},      {40, "Qty", LVCFMT_RIGHT, 35},
    {57, "Lmt. Price", LVCFMT_RIGHT, 60}, {58, "Aux. Price", LVCFMT_RIGHT, 60},
    {59, "Type", LVCFMT_LEFT, 45},        {45, "Status", LVCFMT_LEFT, 60},
    {72, "Account", LVCFMT_LEFT, 80},
};
const column_def kExecutionColumns[] = {
    {48, "Side", LVCFMT_LEFT, 40},       {40, "Quantity", LVCFMT_RIGHT, 40},
    {52, "Underlying", LVCFMT_LEFT, 70}, {60, "Description", LVCFMT_LEFT, 120},
    {5, "Price", LVCFMT_RIGHT, 60},      {49, "Currency", LVCFMT_LEFT, 40},
    {51, "Exchange", LVCFMT_LEFT, 60},   {61, "Date-Time", LVCFMT_LEFT, 120},
    {55, "ExecId", LVCFMT_LEFT, 150},
};
const column_def kSummaryColumns[] = {
    {60, "Contract", LVCFMT_LEFT, 150},  {49, "Currency", LVCFMT_LEFT, 40},
    {53, "Buys", LVCFMT_RIGHT, 40},      {27, "X", LVCFMT_RIGHT, 20},
    {54, "Sells", LVCFMT_LEFT, 40},      {62, "Net", LVCFMT_LEFT, 40},
    {63, "Avg(BOT)", LVCFMT_LEFT, 60},   {64, "Avg(SLD)", LVCFMT_LEFT, 60},
    {65, "Real. P&L", LVCFMT_RIGHT, 65},
};

QString thousands(long long v) {
  char buf[64];
  return QString::fromLatin1(
      format_volume(buf, (int)std::clamp<long long>(v, INT32_MIN, INT32_MAX), 1));
}

QString price_of(double v, int code) {
  char buf[64];
  return QString::fromLatin1(format_price(v, buf, code, FORMAT_PRICE_DECIMAL));
}

// The display code of a trade's prices: its live record's tick, else the
// decimals the trade keeps in its flags.
int trade_price_code(const trade_rec* t) {
  if (mqt* r = find_mqt_for_trade(t))
    if (r->tick_size > 0) return tick_decimals(r->tick_size);
  return (t->f.flags & EXEC_DECIMALS_MASK) >> EXEC_DECIMALS_SHIFT;
}

}  // namespace

// ============================================================================
// Building the tabs.
// ============================================================================

void CKvOrdersView::clear_tab() {
  m_list->DeleteAllItems();
  while (m_list->GetColumnCount()) m_list->DeleteColumn(0);
  m_exec_rows.clear();
}

void CKvOrdersView::build_columns(int tab) {
  const column_def* defs = tab == ORD_TAB_ORDERS       ? kOrderColumns
                           : tab == ORD_TAB_EXECUTIONS ? kExecutionColumns
                                                       : kSummaryColumns;
  int n = tab == ORD_TAB_ORDERS       ? (int)std::size(kOrderColumns)
          : tab == ORD_TAB_EXECUTIONS ? (int)std::size(kExecutionColumns)
                                      : (int)std::size(kSummaryColumns);
  // The widths are the least a column gets: a header never shows cut.
  QFontMetrics fm(m_list->horizontalHeader()->font());
  for (int i = 0; i < n; i++) {
    QString header = QString::fromLatin1(defs[i].header);
    int width = std::max(defs[i].width, fm.horizontalAdvance(header) + 16);
    m_list->InsertColumn(i, defs[i].id, header, defs[i].align, width);
  }
  m_list->setShowGrid(true);
}

int CKvOrdersView::account_matches(const trade_rec* t) const {
  if (Options() & ORD_OPT_ALL_SYMBOLS) return 1;
  mqt* r = find_mqt_for_trade(t);
  return r && QString::fromLatin1(r->symbol).toUpper() == m_symbol;
}

void CKvOrdersView::RefreshTab() {
  clear_tab();
  int tab = m_tabs->currentIndex() < 0 ? ORD_TAB_ORDERS : m_tabs->currentIndex();
  m_shown_tab = tab;
  build_columns(tab);
  if (tab == ORD_TAB_ORDERS) {
    kv_lock guard(g_chart_lock);
    for (mqt* r = g_mqt_list; r; r = r->next)
      for (order_rec* o = get_mqt_orders(r); o; o = o->next) {
        if (!belongs(o)) continue;
        int row = m_list->InsertItem(-1, QString());
        m_list->SetItemData(row, o->serial);
        fill_order_row(row, o);
      }
  } else if (tab == ORD_TAB_EXECUTIONS && !m_account.isEmpty()) {
    // The trades are copied out under the lock: the account's array moves
    // when it grows and closes up when a record is deleted.
    std::vector<trade_rec> shown;
    int64_t oldest = kv_now_local_seconds() - KV_SECONDS_PER_DAY;
    bool all_dates = Options() & ORD_OPT_ALL_EXECUTIONS;
    {
      kv_lock guard(g_chart_lock);
      if (account_rec* a = get_account(m_account.toLatin1().constData())) {
        shown.reserve(a->count);
        for (int i = 0; i < a->count; i++) {
          const trade_rec& t = a->trades[i];
          if (!all_dates && t.f.exec_time < oldest) continue;
          if (!account_matches(&t)) continue;
          shown.push_back(t);
        }
      }
    }
    // Newest first: the last trade of the table on top.  The rows hold
    // the index of their copy; the list formats a row's cells only when
    // they are shown or read.
    m_exec_rows = std::move(shown);
    std::vector<std::uintptr_t> data(m_exec_rows.size());
    for (size_t i = 0; i < data.size(); i++) data[i] = data.size() - 1 - i;
    m_list->AppendDataRows(data);
  } else if (tab == ORD_TAB_SUMMARY && !m_account.isEmpty()) {
    rebuild_summary();
  }
  UpdatePositionText();
  write_form();
}

// ============================================================================
// Rows.
// ============================================================================

void CKvOrdersView::fill_order_row(int row, const order_rec* o) {
  const mqt* r = o->record;
  int code = r && r->tick_size > 0 ? tick_decimals(r->tick_size) : 2;
  int type = order_type(o);
  for (int c = 0; c < m_list->GetColumnCount(); c++) {
    QString s;
    switch (m_list->ColumnId(c)) {
      case 52:
        if (r) s = QString::fromLatin1(r->contract_root[0] ? r->contract_root : r->symbol).left(16);
        break;
      case 51:
        if (r) s = QString::fromLatin1(r->exchange).left(8);
        break;
      case 56:
        s = QString::fromLatin1(order_tif_name(order_tif(o)));
        break;
      case 47:
        s = QString::fromLatin1(o->relay.oca).left(16);
        break;
      case 39:
        s = QString::fromLatin1(order_action_name(order_action(o)));
        break;
      case 40:
        s = thousands(o->relay.quantity);
        break;
      case 57:
        if (type == ORDER_MKT || type == ORDER_STP)
          s = QStringLiteral("MARKET");
        else if (type == ORDER_TRAIL)
          s = price_of(o->trail_stop, code);
        else
          s = price_of(o->relay.limit, code);
        break;
      case 58:
        if (type == ORDER_STP || type == ORDER_STPLMT || type == ORDER_TRAIL)
          s = price_of(o->relay.aux, code);
        break;
      case 59:
        s = QString::fromLatin1(order_type_name(type));
        break;
      case 5:
        if (r) s = price_of(r->last, code);
        break;
      case 45:
        s = o->status == ORDER_FILLED ? thousands(o->filled)
                                      : QString::fromLatin1(order_status_name((int)o->status));
        break;
      case 72:
        s = QString::fromLatin1(o->relay.account);
        break;
    }
    m_list->SetItemText(row, c, s);
  }
}

QString CKvOrdersView::execution_text(std::uintptr_t row_data, int column) const {
  if (row_data >= m_exec_rows.size()) return QString();
  const trade_rec* t = &m_exec_rows[row_data];
  const execution_fields& f = t->f;
  QString s;
  char buf[128];
  switch (m_list->ColumnId(column)) {
    case 0:
      s = QString::fromLatin1(f.local_symbol).left(8);
      break;
    case 5:
      s = price_of(f.price, trade_price_code(t));
      break;
    case 40:
      s = thousands(f.quantity);
      break;
    case 61: {
      char date[64];
      int tod = kv_time_of_day(f.exec_time);
      format_date(seconds_to_date(f.exec_time), date, g_date_style);
      snprintf(buf, sizeof buf, "%s-%02d:%02d:%02d", date, tod / 3600, tod / 60 % 60, tod % 60);
      s = QString::fromLatin1(buf);
      break;
    }
    case 60:
      if (strcmp(f.sec_type, "STK") != 0) {
        char expiry[16] = "", strike[64] = "";
        if (f.expiry) snprintf(expiry, sizeof expiry, "%d", f.expiry);
        if (f.strike != 0)
          format_price(f.strike, strike, trade_price_code(t), FORMAT_PRICE_DECIMAL);
        snprintf(buf, sizeof buf, "%.4s %s %s %.4s", f.sec_type, expiry, strike, f.right);
        s = QString::fromLatin1(buf);
      }
      break;
    case 48:
      s = QString::fromLatin1(f.side).left(4);
      break;
    case 49:
      s = QString::fromLatin1(f.currency).left(4);
      break;
    case 50:
      s = QString::fromLatin1(f.account).left(10);
      break;
    case 51:
      s = QString::fromLatin1(f.exchange).left(10);
      break;
    case 52:
      s = QString::fromLatin1(f.symbol).left(8);
      break;
    case 55:
      s = QString::fromLatin1(f.exec_id).left(28);
      break;
  }
  return s;
}

namespace {
void fold_trade(const position_trade* t, void* table) {
  // A trade of a contract already listed is always folded in; only a
  // contract beyond the table's last entry is left out.
  static_cast<PositionSummaryTable*>(table)->AddTrade(t, nullptr);
}
}  // namespace

void CKvOrdersView::rebuild_summary() {
  m_summary->Clear();
  for_each_account_trade(m_account.toLatin1().constData(), fold_trade, m_summary);
  for (int i = 0; i < m_summary->count(); i++) {
    const PositionSummary& e = m_summary->entry(i);
    int row = m_list->InsertItem(-1, QString());
    m_list->SetItemData(row, (std::uintptr_t)i);
    for (int c = 0; c < m_list->GetColumnCount(); c++) {
      QString s;
      switch (m_list->ColumnId(c)) {
        case 60:
          s = QString::fromLatin1(e.key);
          break;
        case 49:
          s = QString::fromLatin1(e.currency).left(4);
          break;
        case 53:
          s = QString::number(e.bought);
          break;
        case 27:
          s = QStringLiteral("X");
          break;
        case 54:
          s = QString::number(std::abs(e.sold));
          break;
        case 62:
          s = QString::number((long long)e.bought + e.sold);
          break;
        case 63:
          s = QString::asprintf("%.3f", e.bought >= 1 ? e.bought_value / e.bought : 0.0);
          break;
        case 64:
          s = QString::asprintf("%.3f", e.sold < 0 ? std::fabs(e.sold_value / e.sold) : 0.0);
          break;
        case 65:
          s = QString::asprintf("%.2f", e.realised_net);
          break;
      }
      m_list->SetItemText(row, c, s);
    }
  }
}

int CKvOrdersView::find_order_row(uint32_t serial) const {
  for (int r = 0; r < m_list->GetItemCount(); r++)
    if ((uint32_t)m_list->GetItemData(r) == serial) return r;
  return -1;
}

std::vector<uint32_t> CKvOrdersView::OrderRows() const {
  std::vector<uint32_t> out;
  if (m_shown_tab != ORD_TAB_ORDERS) return out;
  for (int r = 0; r < m_list->GetItemCount(); r++) out.push_back((uint32_t)m_list->GetItemData(r));
  return out;
}

// ============================================================================
// Order messages.
// ============================================================================

void CKvOrdersView::OnOrderStatus(uint32_t serial) {
  int tab = m_tabs->currentIndex();
  if (tab == ORD_TAB_ORDERS) {
    kv_lock guard(g_chart_lock);
    order_rec* o = find_order_by_serial(serial);
    if (o && belongs(o)) {
      int row = find_order_row(serial);
      if (row < 0) {
        row = m_list->InsertItem(-1, QString());
        m_list->SetItemData(row, serial);
      }
      fill_order_row(row, o);
    }
  } else if (tab == ORD_TAB_SUMMARY) {
    RefreshTab();
  }
  UpdateOrderButtons();
}

void CKvOrdersView::OnOrderExecution(const trade_rec* t) {
  int tab = m_tabs->currentIndex();
  if (tab == ORD_TAB_EXECUTIONS && QString::fromLatin1(t->f.account) == m_account &&
      account_matches(t)) {
    m_exec_rows.push_back(*t);
    m_list->InsertItem(0, QString());
    m_list->SetItemData(0, (std::uintptr_t)(m_exec_rows.size() - 1));
    for (int c = 0; c < m_list->GetColumnCount(); c++)
      m_list->SetItemText(0, c, execution_text(m_exec_rows.size() - 1, c));
  } else if (tab == ORD_TAB_SUMMARY) {
    RefreshTab();
  }
  UpdatePositionText();
  write_form();
  UpdateOrderButtons();
}

void CKvOrdersView::OnOrderRemoved(uint32_t serial) {
  if (m_mode == 0 && serial == m_modify_serial) leave_modify_mode();
  if ((Options() & ORD_OPT_AUTO_REMOVE) && m_tabs->currentIndex() == ORD_TAB_ORDERS) RefreshTab();
}

void CKvOrdersView::ReloadOrders() {
  {
    kv_lock guard(g_chart_lock);
    kv_hwnd me = GetSafeHwnd();
    for (mqt* r = g_mqt_list; r; r = r->next)
      for (order_rec* o = r->orders; o; o = o->next)
        if (belongs(o)) o->window = me;
  }
  if (m_tabs->currentIndex() == ORD_TAB_ORDERS) RefreshTab();
}

// ============================================================================
// The pop-up menu.
// ============================================================================

void CKvOrdersView::CancelSelectedOrders() {
  if (m_tabs->currentIndex() != ORD_TAB_ORDERS) return;
  std::vector<int> rows;
  for (const QModelIndex& i : m_list->selectionModel()->selectedRows()) rows.push_back(i.row());
  std::sort(rows.begin(), rows.end());
  std::vector<uint32_t> serials;
  for (int r : rows) serials.push_back((uint32_t)m_list->GetItemData(r));
  kv_lock guard(g_chart_lock);
  std::vector<order_rec*> to_cancel;
  for (uint32_t s : serials) {
    order_rec* o = find_order_by_serial(s);
    if (o && o->status != ORDER_PENDING_CANCEL && o->status != ORDER_CANCELLED &&
        o->status != ORDER_FILLED)
      to_cancel.push_back(o);
  }
  // Last collected first; each is looked up again, since cancelling one
  // order of a group may finish the others.
  for (auto it = to_cancel.rbegin(); it != to_cancel.rend(); ++it) {
    uint32_t s = (*it)->serial;
    if (order_rec* o = find_order_by_serial(s))
      if (o->status != ORDER_PENDING_CANCEL && o->status != ORDER_CANCELLED &&
          o->status != ORDER_FILLED)
        cancel_order(o);
  }
}

void CKvOrdersView::CancelAllOpenOrders() {
  if (m_tabs->currentIndex() != ORD_TAB_ORDERS) return;
  std::vector<uint32_t> serials = OrderRows();
  kv_lock guard(g_chart_lock);
  for (uint32_t s : serials)
    if (order_rec* o = find_order_by_serial(s))
      if (o->status != ORDER_PENDING_CANCEL && o->status != ORDER_CANCELLED &&
          o->status != ORDER_FILLED)
        cancel_order(o);
}

void CKvOrdersView::DeleteFinishedOrders() {
  {
    kv_lock guard(g_chart_lock);
    for (mqt* r = g_mqt_list; r; r = r->next)
      for (order_rec* o = r->orders; o; o = o->next)
        if (belongs(o) && (o->status == ORDER_CANCELLED || o->status == ORDER_FILLED))
          o->flags |= ORDER_F_FINISHED | ORDER_F_STALE;
  }
  RefreshTab();
}

void CKvOrdersView::DeleteSelectedExecutions() {
  if (m_tabs->currentIndex() != ORD_TAB_EXECUTIONS) return;
  // The rows keep copies: each record is found in the account by its
  // execution id and time, whatever became of the others.
  std::vector<trade_rec> chosen;
  for (const QModelIndex& i : m_list->selectionModel()->selectedRows()) {
    std::uintptr_t k = m_list->GetItemData(i.row());
    if (k < m_exec_rows.size()) chosen.push_back(m_exec_rows[k]);
  }
  QByteArray account = m_account.toLatin1();
  for (const trade_rec& t : chosen)
    if (!delete_account_trade(account.constData(), t.f.exec_id, t.f.exec_time))
      debug_trace("Unable to delete execution record %s, account file %s\n", t.f.symbol,
                  account.constData());
  RefreshTab();
}

void CKvOrdersView::ToggleOption(uint32_t bit) {
  ChartSettings* s = settings();
  if (!s) return;
  s->display_flags ^= bit;
  if (bit != ORD_OPT_AUTO_REMOVE) RefreshTab();
}

void CKvOrdersView::ShowListMenu(const QPoint& global) {
  QMenu menu(this);
  int tab = m_tabs->currentIndex();
  bool selected = m_list->selectionModel() && m_list->selectionModel()->hasSelection();
  bool collecting = g_cont_update != 0;
  auto add = [&](unsigned id, const char* text, bool enabled, std::function<void()> fn) {
    QAction* a = menu.addAction(QString::fromLatin1(text));
    a->setData(id);
    a->setEnabled(enabled);
    connect(a, &QAction::triggered, this, fn);
    return a;
  };
  add(ID_ORD_CANCEL_ORDER, "Cancel Order", tab == ORD_TAB_ORDERS && selected && collecting,
      [this] { CancelSelectedOrders(); });
  add(ID_ORD_CANCEL_ALL, "Cancel All Open Orders", tab == ORD_TAB_ORDERS && !selected && collecting,
      [this] { CancelAllOpenOrders(); });
  add(ID_ORD_DELETE_FINISHED, "Delete Filled or Cancelled Orders", true,
      [this] { DeleteFinishedOrders(); });
  menu.addSeparator();
  uint32_t opts = Options();
  auto option = [&](unsigned id, const char* text, uint32_t bit) {
    QAction* a = add(id, text, true, [this, bit] { ToggleOption(bit); });
    a->setCheckable(true);
    a->setChecked((opts & bit) != 0);
  };
  option(ID_ORD_AUTO_REMOVE, "Auto-Remove Orders", ORD_OPT_AUTO_REMOVE);
  menu.addSeparator();
  option(ID_ORD_SHOW_ALL_SYMBOLS, "Show All Symbols", ORD_OPT_ALL_SYMBOLS);
  option(ID_ORD_SHOW_ALL_EXECUTIONS, "Show All Executions", ORD_OPT_ALL_EXECUTIONS);
  menu.addSeparator();
  add(ID_ORD_DELETE_EXECUTION, "Delete Execution Record", tab == ORD_TAB_EXECUTIONS,
      [this] { DeleteSelectedExecutions(); });
  menu.exec(global);
}
