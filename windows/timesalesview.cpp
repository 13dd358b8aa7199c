// The time-and-sales window: the tape of one symbol.
#include "windows/timesalesview.h"

#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QMenu>
#include <QMimeData>
#include <QVBoxLayout>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "data/chartsettings.h"
#include "data/dates.h"
#include "data/debugtrace.h"
#include "data/pricefmt.h"
#include "data/statmsg.h"
#include "platform/locks.h"
#include "platform/messages.h"
#include "platform/services.h"
#include "platform/qt/frames.h"
#include "platform/qt/menus.h"
#include "platform/sync.h"
#include "quotes/mqt.h"
#include "quotes/tssubs.h"
#include "res/resource.h"
#include "settings/settings.h"
#include "shell/app.h"
#include "shell/core/pagefile.h"
#include "shell/windowdoc.h"
#include "windows/quotesview.h"

namespace {

const ListColumnDef kTapeColumns[] = {
    {1, "Time", 2, 60}, {15, "Size", 1, 50}, {5, "Last", 1, 50}, {16, "Ind", 1, 30}, {-1, "", 0, 0},
};
const int kTapeDefaults[] = {1, 15, 5, -1};

enum : COLORREF {
  ABOVE_ASK = RGB(0, 255, 0),
  AT_ASK = RGB(189, 249, 172),
  BETWEEN = RGB(255, 255, 255),
  AT_BID = RGB(250, 208, 171),
  BELOW_BID = RGB(255, 0, 0),
  CANCELLED = RGB(255, 255, 0),
  CORRECTED = RGB(0, 255, 255),
  NEW_HIGH = RGB(0, 128, 0),
  NEW_LOW = RGB(128, 0, 0),
  HELD_BACK = RGB(128, 128, 128),
  WHITE = RGB(255, 255, 255),
  BLACK = 0,
};

// The pop-up (menu resource 225): column entries, then the precision
// entries with their codes.
const ListColumnCommand kColumnMenu[] = {{33021, 1}, {33022, 15}, {33023, 5}, {33035, 16}};
enum : unsigned { ID_TS_REFRESH = 33108 };
struct PrecisionItem {
  unsigned command;
  int code;
};
const PrecisionItem kPrecision[] = {
    {33112, 0}, {33118, 1}, {33113, 2},  {33114, 3},  {33115, 4},
    {33116, 5}, {33117, 6}, {33200, 32}, {33199, 64},
};

ChartSettings* settings_of(KvView* v) {
  auto* doc = dynamic_cast<CKvWindowDoc*>(v->GetDocument());
  return doc ? &doc->Settings() : nullptr;
}

}  // namespace

int kv_wrap_time_of_day(int seconds, int offset) {
  long long t = ((long long)seconds + offset) % 86400;
  return int(t < 0 ? t + 86400 : t);
}

class CKvTimeSalesView::TapeList : public CListViewEx {
 public:
  explicit TapeList(CKvTimeSalesView* owner)
      : CListViewEx(KIND_TIME_SALES, kTapeColumns, TS_COLUMNS_MAX, owner), m_owner(owner) {}

 protected:
  void OnColumnsChanged() override {
    for (int r = 0; r < GetItemCount(); r++) m_owner->refresh_row(r);
  }

 private:
  CKvTimeSalesView* m_owner;
};

CKvTimeSalesView::CKvTimeSalesView() : m_list(new TapeList(this)) {
  auto* lay = new QVBoxLayout(this);
  lay->setContentsMargins(0, 0, 0, 0);
  lay->addWidget(m_list);
  setAcceptDrops(true);
  m_list->setContextMenuPolicy(Qt::NoContextMenu);
}

CKvTimeSalesView::~CKvTimeSalesView() {
  unsubscribe();
}

CListViewEx* CKvTimeSalesView::ListView() const {
  return m_list;
}

void CKvTimeSalesView::unsubscribe() {
  if (!m_record) return;
  unsubscribe_time_sales(m_record, m_sub_window);
  m_record = nullptr;
  m_sub_window = 0;
  m_ts_token = 0;
}

void CKvTimeSalesView::OnInitialUpdate() {
  if (ChartSettings* s = settings_of(this)) s->window_kind = KIND_TIME_SALES;
  if (GetDocument() && theApp)
    GetDocument()->SetTitle(QString::fromLatin1(theApp->GetNewWindowTitle(KIND_TIME_SALES)));
  m_list->BuildColumns(true, kTapeDefaults);
}

int CKvTimeSalesView::SetSymbol(const QString& text) {
  QString sym = kv_symbol_from_drop(text);
  ChartSettings* s = settings_of(this);
  if (sym.isEmpty() || !s) return 0;
  snprintf(s->symbol, sizeof s->symbol, "%s", sym.toLatin1().constData());
  GetDocument()->SetTitle(QStringLiteral("%1 - Time&Sales").arg(sym));
  Refresh();
  return 1;
}

int CKvTimeSalesView::SetPrecision(int code) {
  ChartSettings* s = settings_of(this);
  if (!s || !((code >= 0 && code <= 6) || code == 32 || code == 64)) return 0;
  s->price_code = code;
  Refresh();
  return 1;
}

void CKvTimeSalesView::Refresh() {
  m_list->DeleteAllItems();
  // The window may be the record's only user: giving its user back would
  // free the record and have the relay let its streams go, so that no
  // trade came until they were asked for again. A user held across the
  // change keeps the record, its stored trades and its streams.
  mqt* keep = nullptr;
  if (m_record) {
    kv_lock hold(g_chart_lock);
    keep = get_multiquote(m_record->symbol);
  }
  unsubscribe();
  ChartSettings* s = settings_of(this);
  ts_entry stored[TS_RELOAD_MAX];
  int n = 0;
  if (s && s->symbol[0]) {
    m_sub_window = GetSafeHwnd();
    m_record =
        subscribe_time_sales(s->symbol, m_sub_window, TS_WANT_TRADES, stored, TS_RELOAD_MAX, &n);
    if (!m_record) m_sub_window = 0;
    m_ts_token = time_sales_token(m_record, m_sub_window);
  }
  delete_multiquote(keep);  // a record of another symbol goes now
  if (!m_record) return;
  // Newest first in the buffer: insert from the oldest so the newest ends on top.
  for (int i = n - 1; i >= 0; i--) {
    auto* copy = static_cast<ts_entry*>(malloc(sizeof(ts_entry)));
    if (!copy) break;
    *copy = stored[i];
    insert_row(0, copy);
  }
  for (int r = 0; r < m_list->GetItemCount(); r++) refresh_row(r);
}

int CKvTimeSalesView::insert_row(int at, ts_entry* entry) {
  ListCell* cells = m_list->NewCells(0);
  for (int i = 0; i < TS_COLUMNS_MAX; i++) cells[i].background = cells[i].frame = WHITE;
  cells[0].source = entry;
  int r = m_list->InsertItem(at, QString());
  m_list->SetItemData(r, reinterpret_cast<std::uintptr_t>(cells));
  return r;
}

const ts_entry* CKvTimeSalesView::RowEntry(int row) const {
  ListCell* cells = m_list->Cells(row);
  return cells ? static_cast<const ts_entry*>(cells[0].source) : nullptr;
}

int CKvTimeSalesView::find_key(int32_t key) const {
  for (int r = 0; r < m_list->GetItemCount(); r++)
    if (const ts_entry* e = RowEntry(r))
      if (e->key == key) return r;
  return -1;
}

void CKvTimeSalesView::OnUpdateFromThread(ts_entry* entry) {
  if (g_option_flags & OPT_TRACE_MARKET) debug_trace("CKvTimeSalesView::OnUpdateFromThread()\n");
  if (!g_cont_update) {
    char t[16], text[80];
    snprintf(text, sizeof text, "%s Adding T&S record while quotes are off\n",
             format_time(kv_wrap_time_of_day(entry->time, g_time_offset), t));
    statmsg(nullptr, 0, text, nullptr, STATMSG_ADD);
  }
  int r = -1;
  if (entry->operation == TS_OP_CANCEL) {
    r = find_key(entry->key);
    if (r >= 0) {
      auto* e = static_cast<ts_entry*>(m_list->Cells(r)[0].source);
      e->trade_flags |= TS_CANCELLED;
    }
    free(entry);
  } else if (entry->operation == TS_OP_CORRECT) {
    r = find_key(entry->key);
    if (r < 0) {
      free(entry);
      return;
    }
    if (!m_list->DeleteItem(r)) {
      char text[64];
      snprintf(text, sizeof text, "Unable to delete T&S item %d\n", r);
      kv_message_box(text, "Korvane", 0);
      free(entry);
      return;
    }
    entry->trade_flags |= TS_CORRECTED;
    insert_row(r, entry);
  } else {
    if (m_list->GetItemCount() >= TS_ROWS_MAX) {
      int last = m_list->GetItemCount() - 1;
      if (!m_list->DeleteItem(last)) {
        char text[64];
        snprintf(text, sizeof text, "Unable to delete T&S item %d\n", last);
        kv_message_box(text, "Korvane", 0);
        free(entry);
        return;
      }
    }
    r = insert_row(0, entry);
  }
  if (r >= 0) refresh_row(r);
}

void CKvTimeSalesView::refresh_row(int r) {
  ListCell* cells = m_list->Cells(r);
  const ts_entry* e = RowEntry(r);
  if (!cells || !e) return;
  float high = 0, low = 0;
  if (m_record) {
    kv_lock hold(g_chart_lock);
    high = m_record->high;
    low = m_record->low;
  }
  const uint8_t f = e->trade_flags;
  COLORREF bg = (f & TS_HELD_BACK)   ? HELD_BACK
                : (f & TS_CANCELLED) ? CANCELLED
                : (f & TS_ABOVE_ASK) ? ABOVE_ASK
                : (f & TS_AT_ASK)    ? AT_ASK
                : (f & TS_BETWEEN)   ? BETWEEN
                : (f & TS_AT_BID)    ? AT_BID
                : (f & TS_BELOW_BID) ? BELOW_BID
                : (f & TS_CORRECTED) ? CORRECTED
                                     : WHITE;
  COLORREF fg = BLACK;
  if ((f & TS_ABOVE_ASK) && high > 0 && e->price >= high) bg = NEW_HIGH, fg = WHITE;
  if ((f & TS_BELOW_BID) && low > 0 && e->price <= low) bg = NEW_LOW, fg = WHITE;
  const ChartSettings* s = settings_of(this);
  const int code = s ? s->price_code : 2;
  for (int i = 0; i < m_list->ColumnCount(); i++) {
    ListCell& c = cells[i];
    c.column_id = m_list->Column(i).id;
    c.background = c.frame = bg;
    c.text_colour = fg;
    char buf[64];
    QString text;
    switch (c.column_id) {
      case 1:
        text = QString::fromLatin1(format_time(kv_wrap_time_of_day(e->time, g_time_offset), buf));
        if (e->condition == 'T') c.background = c.frame = BLACK, c.text_colour = WHITE;
        break;
      case 15:
        text = QString::fromLatin1(format_volume(buf, e->size, 1));
        break;
      case 5:
        text = QString::fromLatin1(format_price(e->price, buf, code, 0));
        break;
      case 16:
        if (e->condition > ' ') text = QString(QLatin1Char(e->condition));
        break;
    }
    m_list->SetItemText(r, i, text);
  }
}

kv_lresult CKvTimeSalesView::WindowProc(unsigned message, kv_wparam wparam, kv_lparam lparam) {
  if (message == WM_TRADE_UPDATE) {
    // An entry of an earlier subscription (another symbol, or one already
    // reloaded by a refresh) is dropped.
    if (lparam && (uint32_t)wparam == m_ts_token && m_ts_token)
      OnUpdateFromThread(reinterpret_cast<ts_entry*>(lparam));
    else
      free(reinterpret_cast<void*>(lparam));
    return 0;
  }
  return KvView::WindowProc(message, wparam, lparam);
}

void CKvTimeSalesView::SizeFrameToList() {
  if (KvChildFrame* f = GetParentFrame()) {
    KvWindowPlacement wp = f->GetWindowPlacement();
    wp.normal.right = wp.normal.left + m_list->ColumnsSpan() + 10;
    f->SetWindowPlacement(wp);
  }
  ChartSettings* s = settings_of(this);
  if (!s) return;
  if (s->symbol[0])
    GetDocument()->SetTitle(QStringLiteral("%1 - Time&Sales").arg(QString::fromLatin1(s->symbol)));
  if (s->item_count) m_list->RestoreColumns(s, kTapeDefaults);
  if (s->symbol[0]) Refresh();
}

void CKvTimeSalesView::SaveWindowState(WindowDescriptor* d) {
  m_list->SaveColumns(&d->settings);
}

void CKvTimeSalesView::RestoreWindowState(const WindowDescriptor*) {
  ChartSettings* s = settings_of(this);
  if (!s) return;
  if (s->symbol[0])
    GetDocument()->SetTitle(QStringLiteral("%1 - Time&Sales").arg(QString::fromLatin1(s->symbol)));
  if (s->item_count) m_list->RestoreColumns(s, kTapeDefaults);
  Refresh();
}

QMenu* CKvTimeSalesView::BuildPopupMenu(QWidget* parent) {
  QMenu* menu =
      m_list->NewPopupMenu(IDR_TIME_SALES_POPUP, kColumnMenu, int(std::size(kColumnMenu)), parent);
  if (!menu) return nullptr;
  if (QAction* a = kv_find_action(menu, ID_TS_REFRESH)) {
    a->setIcon(QIcon::fromTheme(QStringLiteral("view-refresh")));
    connect(a, &QAction::triggered, this, [this] { Refresh(); });
  }
  const ChartSettings* s = settings_of(this);
  for (const PrecisionItem& p : kPrecision) {
    QAction* a = kv_find_action(menu, p.command);
    if (!a) continue;
    a->setCheckable(true);
    a->setChecked(s && s->price_code == p.code);
    const int code = p.code;
    connect(a, &QAction::triggered, this, [this, code] { SetPrecision(code); });
  }
  return menu;
}

void CKvTimeSalesView::contextMenuEvent(QContextMenuEvent* e) {
  if (QMenu* menu = BuildPopupMenu(this)) menu->popup(e->globalPos());
}

void CKvTimeSalesView::dragEnterEvent(QDragEnterEvent* e) {
  if (!e->mimeData()->hasText()) return;
  e->setDropAction((e->modifiers() & Qt::ControlModifier) ? Qt::CopyAction : Qt::MoveAction);
  e->accept();
}

void CKvTimeSalesView::dragMoveEvent(QDragMoveEvent* e) {
  if (!e->mimeData()->hasText()) return;
  e->setDropAction((e->modifiers() & Qt::ControlModifier) ? Qt::CopyAction : Qt::MoveAction);
  e->accept();
}

void CKvTimeSalesView::dropEvent(QDropEvent* e) {
  if (e->mimeData()->hasText() && SetSymbol(e->mimeData()->text()))
    e->acceptProposedAction();
  else
    e->ignore();
}
