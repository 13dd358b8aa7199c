// The quotes window: rows of symbols, columns of quote fields, frames for
// moves of a cent or more.
#include "windows/quotesview.h"

#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QHeaderView>
#include <QMenu>
#include <QMimeData>
#include <QVBoxLayout>
#include <cmath>
#include <iterator>
#include <cstdio>
#include <cstring>

#include "data/chartsettings.h"
#include "shell/core/pagefile.h"
#include "data/dates.h"
#include "data/pricefmt.h"
#include "data/statmsg.h"
#include "data/symlist.h"
#include "platform/locks.h"
#include "platform/qt/frames.h"
#include "platform/sync.h"
#include "res/resource.h"
#include "quotes/mqt.h"
#include "settings/settings.h"
#include "shell/app.h"
#include "shell/windowdoc.h"

namespace {

const ListColumnDef kQuoteColumns[] = {
    {0, "Symbol", 0, 50},       {10, "Bid", 1, 50},        {11, "Ask", 1, 50},
    {5, "Last", 1, 50},         {7, "Change", 1, 50},      {12, "T", 2, 18},
    {9, "Volume", 1, 75},       {3, "High", 1, 50},        {4, "Low", 1, 50},
    {6, "Prv Cls", 1, 50},      {1, "Time", 2, 60},        {2, "Open", 1, 50},
    {8, "%Chg", 1, 50},         {13, "Chg Open", 1, 50},   {76, "Call Vol", 1, 50},
    {78, "Put Vol", 1, 50},     {19, "Gap", 1, 50},        {20, "%Gap", 1, 50},
    {21, "Close", 1, 50},       {22, "%Close", 1, 50},     {32, "Div Freq", 2, 60},
    {33, "Div Date", 2, 60},    {34, "Div Amt", 1, 50},    {35, "Yr High", 1, 50},
    {36, "Yr Low", 1, 50},      {14, "EPS", 1, 50},        {17, "Volatility", 1, 30},
    {73, "Idx Fut Prm", 1, 50}, {74, "Hist Volat", 1, 50}, {75, "Impl Volat", 1, 50},
    {77, "Call OI", 1, 50},     {79, "Put OI", 1, 50},     {-1, "", 0, 0},
};
const int kQuoteDefaults[] = {0, 10, 11, 5, 7, 12, 9, 4, 3, 6, 1, -1};

// Column entries of the pop-up (menu resource 228).
const ListColumnCommand kColumnMenu[] = {
    {33056, 10}, {33042, 11}, {33043, 5},  {33044, 7},  {33045, 12}, {33046, 9},  {33047, 4},
    {33048, 3},  {33049, 6},  {33057, 1},  {33058, 2},  {33051, 13}, {33050, 8},  {33054, 19},
    {33055, 20}, {33052, 21}, {33053, 22}, {33059, 32}, {33060, 33}, {33061, 34}, {33063, 35},
    {33064, 36}, {33062, 14}, {33066, 17}, {33296, 73}, {33297, 74}, {33298, 75}, {33299, 76},
    {33300, 77}, {33301, 78}, {33302, 79},
};

enum : COLORREF { GREEN = RGB(0, 128, 0), RED = RGB(255, 0, 0), BLACK = 0 };
enum : uint32_t { PREF_NEW_WINDOW = 0x20 };
constexpr float kMove = 0.009f;

// What one refresh needs of a record, copied under the lock.
struct QuoteCopy {
  char symbol[32];
  int time;
  float open, high, low, last, prev_close, bid, ask, close, change_sign;
  float year_high, year_low;
  double index_premium, hist_volatility, implied_volatility;
  int volume, call_volume, call_oi, put_volume, put_oi;
};

QString price_text(double v) {
  char buf[64];
  return QString::fromLatin1(format_price(v, buf, 2, FORMAT_PRICE_DECIMAL));
}

// The shown float of a cell (its sort value), 0 for a column not shown.
float shown_value(const ListCell* cells, int pos) {
  return pos >= 0 && cells[pos].sort_type == LIST_SORT_FLOAT ? cells[pos].value.f : 0.0f;
}

}  // namespace

QString kv_symbol_from_drop(const QString& text) {
  QString line = text.section(QLatin1Char('\n'), 0, 0).trimmed();
  if (line.isEmpty() || line.size() > 31) return QString();
  for (QChar ch : line)
    if (ch.unicode() < 0x20 || ch.unicode() == 0x7F || ch.unicode() > 0x7E) return QString();
  return line;
}

class CKvQuotes1View::QuoteList : public CListViewEx {
 public:
  QuoteList(CKvQuotes1View* owner)
      : CListViewEx(KIND_QUOTES, kQuoteColumns, QUOTES_COLUMNS_MAX, owner), m_owner(owner) {}

 protected:
  void OnColumnsChanged() override {
    m_owner->reset_cells();
    m_owner->RefreshFromQuotes();
  }

 private:
  CKvQuotes1View* m_owner;
};

CKvQuotes1View::CKvQuotes1View() : m_list(new QuoteList(this)) {
  auto* lay = new QVBoxLayout(this);
  lay->setContentsMargins(0, 0, 0, 0);
  lay->addWidget(m_list);
  setAcceptDrops(true);
  m_list->setAcceptDrops(false);
  m_list->setContextMenuPolicy(Qt::NoContextMenu);
  m_view_bit = alloc_view_bit();
}

CKvQuotes1View::~CKvQuotes1View() {
  m_list->DeleteAllItems();
  for (mqt* r : m_rows) release_multiquote(r, m_view_bit);
  m_rows.clear();
  if (m_view_bit) free_view_bit(m_view_bit);
}

void CKvQuotes1View::OnInitialUpdate() {
  auto* doc = dynamic_cast<CKvWindowDoc*>(GetDocument());
  if (doc) doc->Settings().window_kind = KIND_QUOTES;
  int n = (g_pref_flags & PREF_NEW_WINDOW) ? 0 : symbol_list_count();
  m_list->BuildColumns(true, kQuoteDefaults);
  if (n == 0) {
    g_pref_flags &= ~PREF_NEW_WINDOW;
    if (doc && theApp) doc->SetTitle(QString::fromLatin1(theApp->GetNewWindowTitle(KIND_QUOTES)));
  } else {
    if (doc && theApp)
      doc->SetTitle(
          QString::fromLatin1(theApp->GetSymbolWindowTitle(KIND_QUOTES, g_slf_title, nullptr)));
    for (int i = 0; i < n; i++) {
      if (int(m_rows.size()) >= QUOTES_ROWS_MAX) {
        char text[80];
        snprintf(text, sizeof text, "Too many symbols for Quotes, max %d\n", QUOTES_ROWS_MAX);
        statmsg(nullptr, 0, text, nullptr, STATMSG_ADD | STATMSG_STATUS_BAR);
        break;
      }
      if (const char* s = symbol_list_token(2 * i)) AddSymbol(QString::fromLatin1(s));
    }
  }
  RefreshFromQuotes();
}

void CKvQuotes1View::OnUpdate(KvView*, intptr_t) {
  RefreshFromQuotes();
}

int CKvQuotes1View::AddSymbol(const QString& text) {
  QString sym = kv_symbol_from_drop(text);
  if (sym.isEmpty() || int(m_rows.size()) >= QUOTES_ROWS_MAX) return 0;
  QByteArray b = sym.toLatin1();
  for (mqt* r : m_rows)
    if (!strcasecmp(r->symbol, b.constData())) return 0;
  mqt* rec = use_multiquote(b.constData(), m_view_bit);
  if (!rec) return 0;
  m_rows.push_back(rec);
  int r = int(m_rows.size()) - 1;
  ListCell* cells = m_list->NewCells(r);
  cells[0].row = r;
  cells[0].source = rec;
  m_list->AppendRow(cells);
  refresh_row(r);
  return 1;
}

int CKvQuotes1View::ToggleColumn(int id) {
  return m_list->ToggleColumn(id);
}

void CKvQuotes1View::reset_cells() {
  for (int r = 0; r < m_list->GetItemCount(); r++) {
    ListCell* cells = m_list->Cells(r);
    void* source = cells[0].source;
    int row_no = cells[0].row;
    for (int i = 0; i < m_list->MaxCells(); i++) cells[i] = ListCell{};
    for (int i = 0; i < m_list->ColumnCount(); i++) {
      cells[i].column_id = m_list->Column(i).id;
      cells[i].background = cells[i].frame = CListViewEx::GetRowColour(KIND_QUOTES, r);
    }
    cells[0].source = source;
    cells[0].row = row_no;
  }
}

void CKvQuotes1View::RefreshFromQuotes() {
  m_busy = true;
  for (int r = 0; r < m_list->GetItemCount(); r++) refresh_row(r);
  m_list->viewport()->update();
  m_busy = false;
}

void CKvQuotes1View::refresh_row(int r) {
  ListCell* cells = m_list->Cells(r);
  if (!cells) return;
  mqt* rec = static_cast<mqt*>(cells[0].source);
  QuoteCopy q{};
  {
    kv_lock hold(g_chart_lock);
    snprintf(q.symbol, sizeof q.symbol, "%s", rec->symbol);
    q.time = rec->quote_time;
    q.open = rec->session_start_price != 0 ? rec->session_start_price : rec->open;
    q.high = rec->high;
    q.low = rec->low;
    q.last = rec->last;
    q.prev_close = rec->prev_close;
    q.bid = rec->bid;
    q.ask = rec->ask;
    q.close = rec->close;
    q.change_sign = rec->last_change;
    q.volume = rec->volume;
    q.year_high = rec->week52_high;
    q.year_low = rec->week52_low;
    q.index_premium = rec->index_future_premium;
    q.hist_volatility = rec->hist_volatility;
    q.implied_volatility = rec->implied_volatility;
    q.call_volume = rec->call_volume;
    q.call_oi = rec->call_open_interest;
    q.put_volume = rec->put_volume;
    q.put_oi = rec->put_open_interest;
  }
  const float shown_last = shown_value(cells, m_list->FindColumnPos(5));
  const float shown_bid = shown_value(cells, m_list->FindColumnPos(10));
  const float shown_ask = shown_value(cells, m_list->FindColumnPos(11));
  const float shown_high = shown_value(cells, m_list->FindColumnPos(3));
  const float shown_low = shown_value(cells, m_list->FindColumnPos(4));
  auto pct = [](float a, float b) -> float {
    return (a > 0 && b > 0 && a != b) ? (a - b) / b * 100.0f : NAN;
  };
  for (int i = 0; i < m_list->ColumnCount(); i++) {
    ListCell& c = cells[i];
    const bool fresh = c.sort_type == 0;  // never filled: nothing to compare
    c.frame = c.background;
    c.text_colour = BLACK;
    QString text;
    auto set_float = [&](float v, const QString& t) {
      c.sort_type = LIST_SORT_FLOAT;
      c.value.f = v;
      text = t;
    };
    auto frame_move = [&](float shown, float now) {
      if (fresh) return;
      if (shown + kMove < now)
        c.frame = GREEN;
      else if (shown - kMove > now)
        c.frame = RED;
    };
    auto colour_change = [&](float v) {
      c.text_colour = v > kMove ? GREEN : v < -kMove ? RED : BLACK;
    };
    char buf[64];
    switch (c.column_id) {
      case 0:
        c.sort_type = LIST_SORT_TEXT;
        snprintf(c.value.text, sizeof c.value.text, "%.15s", q.symbol);
        text = QString::fromLatin1(q.symbol);
        break;
      case 1:
        c.sort_type = LIST_SORT_INT;
        c.value.i = q.time;
        text = QString::fromLatin1(format_time(q.time, buf));
        break;
      case 2:
        set_float(q.open, price_text(q.open));
        break;
      case 3:
        set_float(q.high, price_text(q.high));
        if (!fresh && shown_high + kMove < q.high) c.frame = GREEN;
        break;
      case 4:
        set_float(q.low, price_text(q.low));
        if (!fresh && shown_low - kMove > q.low) c.frame = RED;
        break;
      case 5:
        set_float(q.last, price_text(q.last));
        frame_move(shown_last, q.last);
        break;
      case 6:
        set_float(q.prev_close, price_text(q.prev_close));
        break;
      case 10:
        set_float(q.bid, price_text(q.bid));
        frame_move(shown_bid, q.bid);
        break;
      case 11:
        set_float(q.ask, price_text(q.ask));
        frame_move(shown_ask, q.ask);
        break;
      case 21:
        set_float(q.close, price_text(q.close));
        colour_change(q.close);
        break;
      case 7: {
        float v = q.last - q.prev_close;
        if (q.last >= 1 || q.prev_close >= 1)
          snprintf(buf, sizeof buf, "%2.2f", v);
        else
          format_price(v, buf, 2, FORMAT_PRICE_DECIMAL);
        set_float(v, QString::fromLatin1(buf));
        colour_change(v);
        break;
      }
      case 13: {
        float v = q.last - q.open;
        set_float(v, price_text(v));
        colour_change(v);
        break;
      }
      case 19: {
        float v = q.prev_close != 0 ? q.open - q.prev_close : NAN;
        set_float(v, std::isnan(v) ? QString() : price_text(v));
        if (!std::isnan(v)) colour_change(v);
        break;
      }
      case 8:
      case 20:
      case 22: {
        float v = c.column_id == 8    ? pct(q.last, q.prev_close)
                  : c.column_id == 20 ? pct(q.open, q.prev_close)
                                      : pct(q.last, q.close);
        if (!std::isnan(v)) snprintf(buf, sizeof buf, "%2.2f", v);
        set_float(v, std::isnan(v) ? QString() : QString::fromLatin1(buf));
        if (!std::isnan(v)) colour_change(v);
        break;
      }
      case 9:
        c.sort_type = LIST_SORT_INT;
        c.value.i = q.volume;
        text = QString::fromLatin1(format_volume(buf, q.volume, 1));
        break;
      case 12:
        c.sort_type = LIST_SORT_ARROW;
        c.arrow_sign = q.change_sign > 0 ? 1 : q.change_sign < 0 ? -1 : 0;
        break;
      case 35:
        set_float(q.year_high, price_text(q.year_high));
        break;
      case 36:
        set_float(q.year_low, price_text(q.year_low));
        break;
      case 73:
      case 74:
      case 75: {
        float v = float(c.column_id == 73   ? q.index_premium
                        : c.column_id == 74 ? q.hist_volatility
                                            : q.implied_volatility);
        snprintf(buf, sizeof buf, "%.2f", v);
        set_float(v, QString::fromLatin1(buf));
        break;
      }
      case 76:
      case 77:
      case 78:
      case 79:
        c.sort_type = LIST_SORT_INT;
        c.value.i = c.column_id == 76   ? q.call_volume
                    : c.column_id == 77 ? q.call_oi
                    : c.column_id == 78 ? q.put_volume
                                        : q.put_oi;
        text = QString::number(c.value.i);
        break;
      default:
        // Fields the live record does not carry (dividends, earnings per
        // share, the volatility figure) stay empty.
        c.sort_type = LIST_SORT_FLOAT;
        c.value.f = NAN;
        break;
    }
    m_list->SetItemText(r, i, text);
  }
}

void CKvQuotes1View::SaveWindowState(WindowDescriptor* d) {
  m_list->SaveColumns(&d->settings);
}

void CKvQuotes1View::RestoreWindowState(const WindowDescriptor*) {
  auto* doc = dynamic_cast<CKvWindowDoc*>(GetDocument());
  if (!doc || doc->Settings().item_count == 0) return;
  m_list->RestoreColumns(&doc->Settings(), kQuoteDefaults);
  // The rows went with the old columns: put them back.
  std::vector<mqt*> rows = m_rows;
  for (int r = 0; r < int(rows.size()); r++) {
    ListCell* cells = m_list->NewCells(r);
    cells[0].row = r;
    cells[0].source = rows[size_t(r)];
    m_list->AppendRow(cells);
  }
  RefreshFromQuotes();
}

void CKvQuotes1View::SizeFrameToList() {
  if (KvChildFrame* f = GetParentFrame()) {
    KvWindowPlacement wp = f->GetWindowPlacement();
    const int row_height = m_list->verticalHeader()->defaultSectionSize();
    wp.normal.right = wp.normal.left + m_list->ColumnsSpan() + 10;
    wp.normal.bottom = wp.normal.top + (row_height + 3) * (m_list->GetItemCount() + 1) +
                       m_list->horizontalHeader()->sizeHint().height();
    f->SetWindowPlacement(wp);
  }
  auto* doc = dynamic_cast<CKvWindowDoc*>(GetDocument());
  if (doc && doc->Settings().item_count) RestoreWindowState(nullptr);
}

QMenu* CKvQuotes1View::BuildColumnMenu(QWidget* parent) {
  return m_list->NewPopupMenu(IDR_QUOTES_POPUP, kColumnMenu, int(std::size(kColumnMenu)), parent);
}

void CKvQuotes1View::contextMenuEvent(QContextMenuEvent* e) {
  if (QMenu* menu = BuildColumnMenu(this)) menu->popup(e->globalPos());
}

void CKvQuotes1View::dragEnterEvent(QDragEnterEvent* e) {
  if (!e->mimeData()->hasText()) return;
  e->setDropAction((e->modifiers() & Qt::ControlModifier) ? Qt::CopyAction : Qt::MoveAction);
  e->accept();
}

void CKvQuotes1View::dragMoveEvent(QDragMoveEvent* e) {
  if (!e->mimeData()->hasText()) return;
  e->setDropAction((e->modifiers() & Qt::ControlModifier) ? Qt::CopyAction : Qt::MoveAction);
  e->accept();
}

void CKvQuotes1View::dropEvent(QDropEvent* e) {
  if (!e->mimeData()->hasText()) return;
  if (AddSymbol(e->mimeData()->text()))
    e->acceptProposedAction();
  else
    e->ignore();
}

CListViewEx* CKvQuotes1View::ListView() const {
  return m_list;
}
