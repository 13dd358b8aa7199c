// The owner-drawn market list: column model, cell painting and sorting.
#include "windows/listviewex.h"

#include <QHeaderView>
#include <QMenu>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionHeader>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "data/chartsettings.h"
#include "platform/qt/menus.h"
#include "res/resource.h"

namespace {

enum : int {
  KIND_QUOTES_LIST = 2,
  KIND_TS_LIST = 5,
  KIND_BOOK_LIST = 7,
  KIND_L2_LIST = 8,
  KIND_PULSE_LIST = 9
};
enum : int { TEXT_MAX = 259, TEXT_PAD = 12, TEXT_INSET = 6 };

// The tick arrows: 15 x 14, green up or red down on the given background.
QImage make_arrow(bool up, COLORREF bg) {
  QImage img(15, 14, QImage::Format_RGB32);
  img.fill(QColor(GetRValue(bg), GetGValue(bg), GetBValue(bg)));
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setPen(Qt::NoPen);
  p.setBrush(up ? QColor(0, 160, 0) : QColor(220, 0, 0));
  QPolygon tri;
  if (up)
    tri << QPoint(7, 1) << QPoint(14, 8) << QPoint(10, 8) << QPoint(10, 13) << QPoint(4, 13)
        << QPoint(4, 8) << QPoint(0, 8);
  else
    tri << QPoint(7, 13) << QPoint(14, 6) << QPoint(10, 6) << QPoint(10, 1) << QPoint(4, 1)
        << QPoint(4, 6) << QPoint(0, 6);
  p.drawPolygon(tri);
  return img;
}

}  // namespace

CListViewEx::CListViewEx(int kind, const ListColumnDef* table, int max_columns, QWidget* parent)
    : KvReportView(parent), m_kind(kind), m_table(table), m_max(max_columns) {
  m_cols.assign(size_t(m_max), ListColumn{-1, -1, -1});
  setSelectionMode(QAbstractItemView::SingleSelection);
  SetDeleteItemFn([kind](std::uintptr_t data) {
    ListCell* cells = reinterpret_cast<ListCell*>(data);
    if (!cells) return;
    if (kind == KIND_TS_LIST) free(cells[0].source);
    delete[] cells;
  });
  connect(this, &KvReportView::columnClicked, this, [this](int c) { SortByColumn(c); });
  arrow_images(0xFFFFFF);
}

CListViewEx::~CListViewEx() {
  DeleteAllItems();
}

COLORREF CListViewEx::GetRowColour(int kind, int row) {
  if (row % 2 == 1) {
    if (kind == KIND_QUOTES_LIST) return 0xB9F4FD;
    if (kind == KIND_PULSE_LIST) return 0xC4FDD0;
  }
  return 0xFFFFFF;
}

const ListColumnDef* CListViewEx::FindDef(int id) const {
  if (id < 0) return nullptr;
  for (const ListColumnDef* d = m_table; d->id != -1; d++)
    if (d->id == id) return d;
  return nullptr;
}

int CListViewEx::FindColumnPos(int id) const {
  for (int i = 0; i < m_count; i++)
    if (m_cols[size_t(i)].id == id) return i;
  return -1;
}

int CListViewEx::DefaultWidth(const ListColumnDef* d) const {
  QHeaderView* h = horizontalHeader();
  QStyleOptionHeader opt;
  opt.initFrom(h);
  opt.text = QString::fromLatin1(d->header, int(strnlen(d->header, 12)));
  opt.fontMetrics = h->fontMetrics();
  QSize need = h->style()->sizeFromContents(QStyle::CT_HeaderSection, &opt, QSize(), h);
  return std::max(d->width, need.width());
}

void CListViewEx::insert_list_column(int pos) {
  const ListColumn& c = m_cols[size_t(pos)];
  const ListColumnDef* d = FindDef(c.id);
  InsertColumn(pos, c.id, QString::fromLatin1(d->header, int(strnlen(d->header, 12))), d->align,
               c.width);
}

int CListViewEx::AddColumn(int id) {
  const ListColumnDef* d = FindDef(id);
  if (!d || m_count >= m_max || ColumnShown(id)) return 0;
  m_cols[size_t(m_count)] = ListColumn{id, m_count, DefaultWidth(d)};
  // Every row gets a fresh cell at the new position.
  for (int r = 0; r < GetItemCount(); r++) {
    ListCell& cell = Cells(r)[m_count];
    cell = ListCell{};
    cell.column_id = id;
    cell.background = cell.frame = GetRowColour(m_kind, r);
  }
  insert_list_column(m_count);
  m_count++;
  OnColumnsChanged();
  return 1;
}

int CListViewEx::RemoveColumn(int id) {
  int pos = FindColumnPos(id);
  if (pos < 0) return 0;
  DeleteColumn(pos);
  for (int r = 0; r < GetItemCount(); r++) {
    ListCell* cells = Cells(r);
    void* source = cells[0].source;
    int row_no = cells[0].row;
    memmove(&cells[pos], &cells[pos + 1], sizeof(ListCell) * size_t(m_max - pos - 1));
    cells[m_max - 1] = ListCell{};
    cells[0].source = source;
    cells[0].row = row_no;
  }
  m_cols.erase(m_cols.begin() + pos);
  m_cols.push_back(ListColumn{-1, -1, -1});
  m_count--;
  OnColumnsChanged();
  return 1;
}

int CListViewEx::ToggleColumn(int id) {
  return ColumnShown(id) ? RemoveColumn(id) : AddColumn(id);
}

void CListViewEx::BuildColumns(bool first, const int* defaults) {
  if (first) {
    m_cols.assign(size_t(m_max), ListColumn{-1, -1, -1});
    m_count = 0;
    for (const int* p = defaults; *p != -1 && m_count < m_max; p++)
      if (const ListColumnDef* d = FindDef(*p))
        if (!ColumnShown(*p)) {
          m_cols[size_t(m_count)] = ListColumn{*p, m_count, DefaultWidth(d)};
          m_count++;
        }
    setShowGrid(true);
    horizontalHeader()->setSectionsMovable(true);
  }
  while (GetColumnCount() > 0) DeleteColumn(0);
  std::vector<KvReportColumn> placed;
  for (int i = 0; i < m_count; i++) {
    insert_list_column(i);
    placed.push_back({m_cols[size_t(i)].id, m_cols[size_t(i)].order, m_cols[size_t(i)].width});
  }
  KvReportView::RestoreColumns(placed);
}

void CListViewEx::SaveColumns(ChartSettings* s) {
  for (const KvReportColumn& c : KvReportView::SaveColumns()) {
    int pos = FindColumnPos(c.id);
    if (pos < 0) continue;
    m_cols[size_t(pos)].order = c.order;
    m_cols[size_t(pos)].width = c.width;
  }
  free(s->items);
  s->items = nullptr;
  s->item_count = 0;
  if (m_count == 0) return;
  auto* block = static_cast<ListColumn*>(malloc(sizeof(ListColumn) * size_t(m_count)));
  if (!block) return;
  memcpy(block, m_cols.data(), sizeof(ListColumn) * size_t(m_count));
  s->items = block;
  s->item_count = m_count;
}

std::vector<ListColumn> CListViewEx::CleanColumns(const ListColumn* saved, int n) const {
  std::vector<ListColumn> out;
  if (!saved || n <= 0) return out;
  for (int i = 0; i < n && int(out.size()) < m_max; i++) {
    const ListColumn& c = saved[i];
    if (!FindDef(c.id) || c.width < 0) continue;
    bool repeated = false;
    for (const ListColumn& o : out) repeated |= o.id == c.id;
    if (!repeated) out.push_back(c);
  }
  // Display orders become the ranks of the saved ones: a gap or a repeat
  // left by a dropped entry would otherwise move the wrong column.
  std::vector<ListColumn> ranked = out;
  for (ListColumn& c : ranked) {
    int rank = 0;
    for (size_t j = 0; j < out.size(); j++)
      if (out[j].order < c.order || (out[j].order == c.order && out[j].id < c.id)) rank++;
    c.order = rank;
  }
  return ranked;
}

void CListViewEx::RestoreColumns(ChartSettings* s, const int* defaults) {
  int n = s->item_count;
  std::vector<ListColumn> cols = CleanColumns(static_cast<const ListColumn*>(s->items), n);
  free(s->items);
  s->items = nullptr;
  s->item_count = 0;
  DeleteAllItems();
  if (cols.empty()) {
    BuildColumns(true, defaults);
  } else {
    m_cols.assign(size_t(m_max), ListColumn{-1, -1, -1});
    for (size_t i = 0; i < cols.size(); i++) m_cols[i] = cols[i];
    m_count = int(cols.size());
    BuildColumns(false, defaults);
  }
  OnColumnsChanged();
}

QMenu* CListViewEx::NewPopupMenu(int menu_id, const ListColumnCommand* columns, int n,
                                 QWidget* parent) {
  auto* holder = new QMenu(parent);
  kv_fill_menu(holder, kv_res_menu(menu_id));
  QMenu* popup = holder->actions().isEmpty() ? nullptr : holder->actions().first()->menu();
  if (!popup) {
    delete holder;
    return nullptr;
  }
  for (int i = 0; i < n; i++) {
    QAction* a = kv_find_action(popup, columns[i].command);
    if (!a) continue;
    const int id = columns[i].column;
    a->setCheckable(true);
    a->setChecked(ColumnShown(id));
    connect(a, &QAction::triggered, this, [this, id] { ToggleColumn(id); });
  }
  // The submenu lives in the holder: both go when the pop-up closes.
  connect(popup, &QMenu::aboutToHide, holder, &QObject::deleteLater);
  return popup;
}

int CListViewEx::ColumnsSpan() const {
  int span = 0;
  for (int i = 0; i < GetColumnCount(); i++) span += GetColumnWidth(i) + 1;
  return span;
}

ListCell* CListViewEx::NewCells(int r) const {
  ListCell* cells = new ListCell[size_t(m_max)]();
  cells[0].row = -1;
  for (int i = 0; i < m_count; i++) {
    cells[i].column_id = m_cols[size_t(i)].id;
    cells[i].background = cells[i].frame = GetRowColour(m_kind, r);
  }
  return cells;
}

int CListViewEx::AppendRow(ListCell* cells) {
  int r = InsertItem(-1, QString());
  SetItemData(r, reinterpret_cast<std::uintptr_t>(cells));
  return r;
}

int CListViewEx::CompareCells(const ListCell& a, const ListCell& b, int state) {
  int res = 0;
  switch (a.sort_type) {
    case LIST_SORT_INT:
    case LIST_SORT_INT2:
      res = a.value.i < b.value.i ? -1 : a.value.i > b.value.i ? 1 : 0;
      break;
    case LIST_SORT_FLOAT: {
      bool na = std::isnan(a.value.f), nb = std::isnan(b.value.f);
      if (na || nb) return na == nb ? 0 : na ? 1 : -1;  // no number sorts last both ways
      res = a.value.f < b.value.f ? -1 : a.value.f > b.value.f ? 1 : 0;
      break;
    }
    case LIST_SORT_TEXT:
      res = QString::compare(QString::fromLatin1(a.value.text, int(strnlen(a.value.text, 16))),
                             QString::fromLatin1(b.value.text, int(strnlen(b.value.text, 16))),
                             Qt::CaseInsensitive);
      res = res < 0 ? -1 : res > 0 ? 1 : 0;
      break;
    default:  // arrows and unknown types are no ordering
      return 0;
  }
  return state == 2 ? -res : res;
}

void CListViewEx::SortByColumn(int c) {
  if (m_kind == KIND_TS_LIST || m_kind == KIND_BOOK_LIST || m_kind == KIND_L2_LIST) return;
  if (c < 0 || c >= m_count || GetItemCount() == 0) return;
  int old = Cells(0)[c].sort_state;
  int state = (old == 0 || old == 2) ? 1 : old == 1 ? 2 : 0;
  for (int r = 0; r < GetItemCount(); r++) Cells(r)[c].sort_state = state;
  SortItems([c, state](std::uintptr_t a, std::uintptr_t b) {
    return CompareCells(reinterpret_cast<ListCell*>(a)[c], reinterpret_cast<ListCell*>(b)[c],
                        state);
  });
  for (int r = 0; r < GetItemCount(); r++) {
    ListCell* cells = Cells(r);
    cells[0].row = r;
    COLORREF bg = GetRowColour(m_kind, r);
    for (int i = 0; i < m_count; i++) {
      // A cell without a frame keeps none on its new background.
      if (cells[i].frame == cells[i].background) cells[i].frame = bg;
      cells[i].background = bg;
    }
  }
  viewport()->update();
}

QString CListViewEx::FitText(KvDC& dc, const QString& text, int width, bool* cut) {
  *cut = false;
  if (dc.GetTextExtent(text).cx + TEXT_PAD <= width) return text;
  *cut = true;
  int dots = dc.GetTextExtent(QStringLiteral("...")).cx;
  QString t = text;
  while (t.size() > 1 && dc.GetTextExtent(t).cx + dots + TEXT_PAD > width) t.chop(1);
  return t + QStringLiteral("...");
}

void CListViewEx::arrow_images(COLORREF bg) {
  m_up = make_arrow(true, bg);
  m_down = make_arrow(false, bg);
  m_arrow_bg = bg;
}

void CListViewEx::DrawCell(KvDC& dc, int row, int column, const KvRect& cell) {
  ListCell* cells = Cells(row);
  if (!cells || column < 0 || column >= m_count) {
    dc.FillSolidRect(cell, 0xFFFFFF);
    return;
  }
  const ListCell& c = cells[column];
  dc.FillSolidRect(cell, c.background);
  if (c.column_id == LIST_ARROW_COLUMN) {
    if (c.background != m_arrow_bg) arrow_images(c.background);
    KvRect in(cell.left + 1, cell.top + 1, cell.right - 1, cell.bottom - 1);
    const QImage& img = c.arrow_sign >= 0 ? m_up : m_down;
    int w = std::min(in.right - in.left, img.width()),
        h = std::min(in.bottom - in.top, img.height());
    int x = in.left + (in.right - in.left - w) / 2, y = in.top + (in.bottom - in.top - h) / 2;
    dc.BitBlt(x, y, w, h, img, 0, 0);
    return;
  }
  // An empty cell is its background alone: no text and no frame.
  QString text = GetItemText(row, column).left(TEXT_MAX);
  if (text.isEmpty()) return;
  bool cut = false;
  QString shown = FitText(dc, text, cell.right - cell.left, &cut);
  int align = GetColumnAlign(column);
  unsigned flags = DT_SINGLELINE | DT_VCENTER | DT_NOCLIP | DT_NOPREFIX;
  if (!cut && align == LVCFMT_RIGHT)
    flags |= DT_RIGHT;
  else if (!cut && align == LVCFMT_CENTER)
    flags |= DT_CENTER;
  KvRect tr(cell.left + TEXT_INSET, cell.top, cell.right - TEXT_INSET, cell.bottom);
  COLORREF old = dc.SetTextColor(c.text_colour);
  int mode = dc.SetBkMode(TRANSPARENT);
  dc.DrawText(shown, tr, flags);
  dc.SetBkMode(mode);
  dc.SetTextColor(old);
  if (c.frame != c.background) {
    KvRect f(cell.left + 1, cell.top, cell.right, cell.bottom - 1);
    dc.FillSolidRect(KvRect(f.left, f.top, f.right, f.top + 1), c.frame);
    dc.FillSolidRect(KvRect(f.left, f.bottom - 1, f.right, f.bottom), c.frame);
    dc.FillSolidRect(KvRect(f.left, f.top, f.left + 1, f.bottom), c.frame);
    dc.FillSolidRect(KvRect(f.right - 1, f.top, f.right, f.bottom), c.frame);
  }
}
