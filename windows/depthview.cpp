// The level 2 and order book windows: subscription, rows and level bands.
#include "windows/depthview.h"

#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QMenu>
#include <QMimeData>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "data/chartsettings.h"
#include "data/debugtrace.h"
#include "data/lefield.h"
#include "data/pricefmt.h"
#include "platform/locks.h"
#include "platform/messages.h"
#include "platform/qt/frames.h"
#include "platform/qt/menus.h"
#include "platform/sync.h"
#include "quotes/mqt.h"
#include "res/resource.h"
#include "shell/app.h"
#include "shell/core/pagefile.h"
#include "shell/windowdoc.h"
#include "windows/quotesview.h"

const COLORREF kv_depth_level_colours[5] = {0x00FFFF, 0x00FF00, 0xFFFF00, 0x000080, 0x800000};

namespace {

const ListColumnDef kLev2Columns[] = {
    {28, "BTime", 0, 60}, {23, "MMID", 0, 55}, {30, "Cnt", 1, 40},   {25, "Size", 1, 50},
    {10, "Bid", 1, 50},   {27, " ", 2, 10},    {11, "Ask", 1, 50},   {26, "Size", 1, 50},
    {24, "MMID", 0, 55},  {31, "Cnt", 1, 40},  {29, "ATime", 0, 60}, {-1, "", 0, 0},
};
const int kLev2Defaults[] = {28, 23, 30, 25, 10, 27, 11, 26, 24, 31, 29, -1};

const ListColumnDef kBookColumns[] = {
    {28, "BTime", 0, 60}, {23, "MMID", 0, 50}, {10, "Bid", 1, 50},  {25, "Size", 1, 50},
    {27, " ", 2, 10},     {11, "Ask", 1, 50},  {26, "Size", 1, 50}, {24, "MMID", 0, 50},
    {29, "ATime", 0, 60}, {-1, "", 0, 0},
};
const int kBookDefaults[] = {28, 23, 25, 10, 27, 11, 26, 24, 29, -1};

// Column entries of the pop-ups; the order book's menu has no "MM # Best".
const ListColumnCommand kColumnMenu[] = {
    {33080, 28}, {33081, 23}, {33082, 30}, {33083, 25}, {33084, 10},
    {33085, 29}, {33086, 24}, {33087, 31}, {33088, 26}, {33089, 11},
};
enum : unsigned { ID_DEPTH_REFRESH = 33107, ID_SIZE_HUNDREDS = 33034, ID_INSIDE_MARKET = 33027 };

// Participant codes by index; indexes below 8 take the book's own slots.
const char kMmidCodes[PARTICIPANT_CODES][5] = {
    "????", "    ", "    ", "    ", "    ", "    ", "    ", "    ", "-MM-", "ARCA",
    "ATTN", "BRUT", "BTRD", "GNET", "INCA", "ISLD", "MKXT", "NTRD", "NYSE", "REDI",
    "BEST", "DAIN", "FBCO", "GSCO", "MLCO", "MSCO", "PERT", "PRUS", "SBSH", "SCHB",
};

enum : COLORREF { NAVY = 0x800000, WHITE = 0xFFFFFF, BLACK = 0 };

bool bid_side(int id) {
  return id == 10 || id == 23 || id == 25 || id == 28 || id == 30;
}
bool ask_side(int id) {
  return id == 11 || id == 24 || id == 26 || id == 29 || id == 31;
}

const uint8_t* entry(const uint8_t* book, bool bid, int row) {
  return book + (bid ? BOOK_BIDS : BOOK_ASKS) + row * BOOK_ENTRY;
}
float entry_price(const uint8_t* e) {
  uint32_t u = get_le32(e + BOOK_OFF_PRICE);
  float f;
  memcpy(&f, &u, 4);
  return f;
}
// Shares or lots of the entry; 0 is an empty entry.
uint32_t entry_size(const uint8_t* e, bool level2) {
  return level2 ? get_le16(e + BOOK_OFF_SIZE) : get_le32(e + BOOK_OFF_SIZE);
}

ChartSettings* settings_of(KvView* v) {
  auto* doc = dynamic_cast<CKvWindowDoc*>(v->GetDocument());
  return doc ? &doc->Settings() : nullptr;
}

}  // namespace

class CKvDepthView::BookList : public CListViewEx {
 public:
  BookList(CKvDepthView* owner, bool level2)
      : CListViewEx(level2 ? KIND_LEVEL2 : KIND_ORDER_BOOK, level2 ? kLev2Columns : kBookColumns,
                    level2 ? LEV2_COLUMNS_MAX : ORDER_BOOK_COLUMNS_MAX, owner),
        m_owner(owner) {}

 protected:
  void OnColumnsChanged() override {
    if (GetItemCount() == 0 && !m_owner->m_handle) return;
    m_owner->insert_rows();
    m_owner->RefreshRows();
  }

 private:
  CKvDepthView* m_owner;
};

CKvDepthView::CKvDepthView(int kind, bool level2)
    : m_list(new BookList(this, level2)), m_level2(level2) {
  (void)kind;
  auto* lay = new QVBoxLayout(this);
  lay->setContentsMargins(0, 0, 0, 0);
  lay->addWidget(m_list);
  setAcceptDrops(true);
  m_list->setAcceptDrops(false);
  m_list->setContextMenuPolicy(Qt::NoContextMenu);
  // Below the rows the window is navy.
  QPalette pal = m_list->viewport()->palette();
  pal.setColor(QPalette::Base, QColor(0, 0, 128));
  m_list->viewport()->setPalette(pal);
  m_list->viewport()->setAutoFillBackground(true);
}

CKvDepthView::~CKvDepthView() {
  unsubscribe();
}

CKvLev2View::CKvLev2View() : CKvDepthView(KIND_LEVEL2, true) {}
CKvOrderBookView::CKvOrderBookView() : CKvDepthView(KIND_ORDER_BOOK, false) {}

CListViewEx* CKvDepthView::ListView() const {
  return m_list;
}

void CKvDepthView::unsubscribe() {
  if (!m_handle) return;
  if (m_level2)
    unsubscribe_level2(m_handle, m_sub_window);
  else
    unsubscribe_orderbook(m_handle, m_sub_window);
  m_handle = nullptr;
  m_sub_window = 0;
  // No writer is left: the buffer can be cleared without the lock.
  memset(m_book, 0, sizeof m_book);
}

void CKvDepthView::OnInitialUpdate() {
  const int kind = m_level2 ? KIND_LEVEL2 : KIND_ORDER_BOOK;
  const int* defaults = m_level2 ? kLev2Defaults : kBookDefaults;
  if (GetDocument() && GetDocument()->views().size() > 1) {
    // A new pane of a split window: the window keeps its title and
    // options, and the pane shows the window's symbol (the record's two
    // slots may refuse it: the pane then has empty rows).
    m_list->BuildColumns(true, defaults);
    const ChartSettings* s = settings_of(this);
    if (s && s->symbol[0]) Resubscribe();
    return;
  }
  if (ChartSettings* s = settings_of(this)) {
    // The two options share their bits with chart display flags that a new
    // window's settings start from: a new window starts with its own.
    s->display_flags &= ~(DEPTH_INSIDE_MARKET | DEPTH_SIZE_IN_HUNDREDS);
    if (m_level2) s->display_flags |= DEPTH_SIZE_IN_HUNDREDS;
    s->window_kind = kind;
  }
  if (GetDocument() && theApp)
    GetDocument()->SetTitle(QString::fromLatin1(theApp->GetNewWindowTitle(kind)));
  m_list->BuildColumns(true, defaults);
}

int CKvDepthView::SetSymbol(const QString& text) {
  QString sym = kv_symbol_from_drop(text);
  ChartSettings* s = settings_of(this);
  if (sym.isEmpty() || !s) return 0;
  snprintf(s->symbol, sizeof s->symbol, "%s", sym.toLatin1().constData());
  if (theApp)
    GetDocument()->SetTitle(QString::fromLatin1(
        theApp->GetViewTitle(m_level2 ? KIND_LEVEL2 : KIND_ORDER_BOOK, s->symbol, 0)));
  Resubscribe();
  // The other panes of a split window show the window's new symbol too
  // (after this one, which takes a slot of the record first).
  const std::vector<KvView*> panes = GetDocument()->views();
  for (KvView* v : panes)
    if (auto* pane = dynamic_cast<CKvDepthView*>(v); pane && pane != this) pane->Resubscribe();
  return 1;
}

void CKvDepthView::insert_rows() {
  m_list->DeleteAllItems();
  for (int r = 0; r < DEPTH_ROWS; r++) {
    ListCell* cells = m_list->NewCells(r);
    cells[0].source = m_book;
    for (int i = 0; i < m_list->ColumnCount(); i++) {
      cells[i].text_colour = BLACK;
      cells[i].background = cells[i].frame = WHITE;
    }
    m_list->AppendRow(cells);
  }
}

void CKvDepthView::Resubscribe() {
  unsubscribe();
  m_list->DeleteAllItems();
  ChartSettings* s = settings_of(this);
  if (s && s->symbol[0] && GetSafeHwnd()) {
    m_sub_window = GetSafeHwnd();
    if (m_level2)
      m_handle = subscribe_level2(s->symbol, m_sub_window, m_book, 0);
    else
      m_handle = subscribe_orderbook(s->symbol, m_sub_window, m_book,
                                     (s->display_flags & DEPTH_INSIDE_MARKET) ? 1 : 0);
    if (!m_handle) m_sub_window = 0;
  }
  insert_rows();
  RefreshRows();
}

QString CKvDepthView::PriceText(float price) {
  char buf[64];
  snprintf(buf, sizeof buf, "%3.3f", price);
  // A third decimal of 0 is blanked: 10.1 shows as "10.10 ".
  if (char* dot = strchr(buf, '.'))
    if (strlen(dot) > 3 && dot[3] == '0') dot[3] = ' ';
  return QString::fromLatin1(buf);
}

QString CKvDepthView::ParticipantText(const uint8_t* book, int index) {
  char code[5] = {};
  if (index < 8)
    memcpy(code, book + BOOK_SLOT_CODES + index * 4, 4);
  else if (index < PARTICIPANT_CODES)
    memcpy(code, kMmidCodes[index], 4);
  else
    memcpy(code, "????", 4);  // past the known codes
  return QString::fromLatin1(code, int(strnlen(code, 4)));
}

QString CKvDepthView::format_cell(const uint8_t* book, int row, int id) const {
  if (!bid_side(id) && !ask_side(id)) return QString();
  const uint8_t* e = entry(book, bid_side(id), row);
  const uint32_t size = entry_size(e, m_level2);
  if (size == 0) return QString();
  const uint32_t word = get_le32(e + BOOK_OFF_WORD);
  const ChartSettings* s = settings_of(const_cast<CKvDepthView*>(this));
  const bool hundreds = s && (s->display_flags & DEPTH_SIZE_IN_HUNDREDS);
  char buf[64];
  switch (id) {
    case 10:
    case 11:
      return PriceText(entry_price(e));
    case 23:
    case 24: {
      QString code = ParticipantText(book, int(word >> 24));
      if (m_level2) code += QLatin1Char((word & 0x20000) ? '+' : '-');
      return code;
    }
    case 25:
    case 26: {
      uint64_t v =
          m_level2 ? (hundreds ? size : uint64_t(size) * 100) : (hundreds ? size / 100 : size);
      return QString::fromLatin1(format_volume(buf, int(std::min<uint64_t>(v, INT_MAX)), 1));
    }
    case 28:
    case 29: {
      int t = int(word & (m_level2 ? 0x1FFFFu : 0xFFFFFFu));
      snprintf(buf, sizeof buf, "%02d:%02d:%02d", t / 3600, t / 60 % 60, t % 60);
      return QString::fromLatin1(buf);
    }
    case 30:
    case 31:
      return QString::number(get_le16(e + BOOK_OFF_COUNT));
  }
  return QString();
}

void CKvDepthView::colour_cell(const uint8_t* book, int row, ListCell& c) {
  c.background = NAVY;
  c.text_colour = WHITE;
  const bool bid = bid_side(c.column_id), ask = ask_side(c.column_id);
  const uint8_t* be = entry(book, true, row);
  const uint8_t* ae = entry(book, false, row);
  const bool both_empty = entry_size(be, m_level2) == 0 && entry_size(ae, m_level2) == 0;
  if (!both_empty && (bid || ask)) {
    const uint8_t* e = bid ? be : ae;
    float& last = bid ? m_last_bid : m_last_ask;
    int& level = bid ? m_bid_level : m_ask_level;
    if (level < 5 && entry_size(e, m_level2) != 0) {
      const float price = entry_price(e);
      if (price != last) {
        last = price;
        level++;
      }
      if (level < 5) {
        c.background = kv_depth_level_colours[level];
        c.text_colour = level <= 2 ? BLACK : WHITE;
      }
    }
  }
  c.frame = c.background;
}

void CKvDepthView::RefreshRows() {
  if (!m_handle) return;
  // The input thread writes the next book under the lock: copy it whole.
  uint8_t book[BOOK_BUFFER_SIZE];
  {
    kv_lock hold(g_chart_lock);
    memcpy(book, m_book, sizeof book);
  }
  m_last_bid = entry_price(entry(book, true, 0));
  m_last_ask = entry_price(entry(book, false, 0));
  m_bid_level = m_ask_level = 0;
  const int rows = std::min(m_list->GetItemCount(), int(DEPTH_ROWS));
  for (int i = 0; i < rows; i++) {
    ListCell* cells = m_list->Cells(i);
    if (!cells) continue;
    for (int j = 0; j < m_list->ColumnCount(); j++) {
      cells[j].column_id = m_list->Column(j).id;
      m_list->SetItemText(i, j, format_cell(book, i, cells[j].column_id));
      colour_cell(book, i, cells[j]);
    }
  }
  m_list->viewport()->update();
}

void CKvDepthView::ToggleSizeInHundreds() {
  if (ChartSettings* s = settings_of(this)) s->display_flags ^= DEPTH_SIZE_IN_HUNDREDS;
  RefreshRows();
}

void CKvOrderBookView::ToggleInsideMarket() {
  ChartSettings* s = settings_of(this);
  if (!s) return;
  s->display_flags ^= DEPTH_INSIDE_MARKET;
  if (Handle())
    set_orderbook_option(Handle(), GetSafeHwnd(), (s->display_flags & DEPTH_INSIDE_MARKET) ? 1 : 0);
  RefreshRows();
}

kv_lresult CKvDepthView::WindowProc(unsigned message, kv_wparam wparam, kv_lparam lparam) {
  const bool trace = (g_option_flags & OPT_TRACE_MARKET) != 0;
  const char* cls = m_level2 ? "CKvLev2View" : "CKvOrderBookView";
  if (message == (m_level2 ? WM_LEVEL2_UPDATE : WM_ORDERBOOK_UPDATE)) {
    if (trace) debug_trace("%s::OnUpdateFromThread()\n", cls);
    RefreshRows();
    return 0;
  }
  if (message == WM_TRADE_UPDATE) {
    if (trace) debug_trace("%s::OnUpdateFromThread1()\n", cls);
    free(reinterpret_cast<void*>(lparam));  // the entry copy is ours; the book is what we show
    RefreshRows();
    return 0;
  }
  return KvView::WindowProc(message, wparam, lparam);
}

void CKvDepthView::SaveWindowState(WindowDescriptor* d) {
  m_list->SaveColumns(&d->settings);
}

void CKvDepthView::RestoreWindowState(const WindowDescriptor*) {
  ChartSettings* s = settings_of(this);
  if (!s) return;
  if (KvChildFrame* f = GetParentFrame()) f->RestorePlacement(s->normal_rect, s->show_cmd);
  if (s->symbol[0] && theApp)
    GetDocument()->SetTitle(QString::fromLatin1(
        theApp->GetViewTitle(m_level2 ? KIND_LEVEL2 : KIND_ORDER_BOOK, s->symbol, 0)));
  if (s->item_count) m_list->RestoreColumns(s, m_level2 ? kLev2Defaults : kBookDefaults);
  if (s->symbol[0]) Resubscribe();
}

QMenu* CKvDepthView::BuildPopupMenu(QWidget* parent) {
  QMenu* menu = m_list->NewPopupMenu(m_level2 ? IDR_LEVEL2_POPUP : IDR_ORDER_BOOK_POPUP,
                                     kColumnMenu, int(std::size(kColumnMenu)), parent);
  if (!menu) return nullptr;
  if (QAction* a = kv_find_action(menu, ID_DEPTH_REFRESH)) {
    a->setIcon(QIcon::fromTheme(QStringLiteral("view-refresh")));
    connect(a, &QAction::triggered, this, [this] { Resubscribe(); });
  }
  if (QAction* a = kv_find_action(menu, ID_SIZE_HUNDREDS)) {
    const ChartSettings* s = settings_of(this);
    a->setCheckable(true);
    a->setChecked(s && (s->display_flags & DEPTH_SIZE_IN_HUNDREDS));
    connect(a, &QAction::triggered, this, [this] { ToggleSizeInHundreds(); });
  }
  AddOwnCommands(menu);
  return menu;
}

void CKvOrderBookView::AddOwnCommands(QMenu* menu) {
  if (QAction* a = kv_find_action(menu, ID_INSIDE_MARKET)) {
    const ChartSettings* s = settings_of(this);
    a->setCheckable(true);
    a->setChecked(s && (s->display_flags & DEPTH_INSIDE_MARKET));
    connect(a, &QAction::triggered, this, [this] { ToggleInsideMarket(); });
  }
}

void CKvDepthView::contextMenuEvent(QContextMenuEvent* e) {
  if (QMenu* menu = BuildPopupMenu(this)) menu->popup(e->globalPos());
}

void CKvDepthView::dragEnterEvent(QDragEnterEvent* e) {
  if (!e->mimeData()->hasText()) return;
  e->setDropAction((e->modifiers() & Qt::ControlModifier) ? Qt::CopyAction : Qt::MoveAction);
  e->accept();
}

void CKvDepthView::dragMoveEvent(QDragMoveEvent* e) {
  if (!e->mimeData()->hasText()) return;
  e->setDropAction((e->modifiers() & Qt::ControlModifier) ? Qt::CopyAction : Qt::MoveAction);
  e->accept();
}

void CKvDepthView::dropEvent(QDropEvent* e) {
  if (e->mimeData()->hasText() && SetSymbol(e->mimeData()->text()))
    e->acceptProposedAction();
  else
    e->ignore();
}
