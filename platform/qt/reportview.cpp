#include "platform/qt/reportview.h"

#include <QHeaderView>
#include <QPainter>
#include <QStyledItemDelegate>
#include <algorithm>
#include <numeric>

class KvReportModel : public QAbstractTableModel {
 public:
  struct Col {
    int id;
    QString header;
    int align;
  };
  struct Row {
    std::vector<QString> texts;
    std::uintptr_t data = 0;
  };
  std::vector<Col> cols;
  std::vector<Row> rows;
  std::function<void(std::uintptr_t)> on_delete;
  // Texts of the rows that keep none of their own.
  std::function<QString(std::uintptr_t, int)> text_fn;

  QString text(const Row& r, size_t c) const {
    if (r.texts.empty()) return text_fn ? text_fn(r.data, int(c)) : QString();
    return c < r.texts.size() ? r.texts[c] : QString();
  }
  // A row about to take a text of its own first takes all its shown ones.
  void own_texts(Row& r) {
    if (!r.texts.empty()) return;
    r.texts.resize(cols.size() ? cols.size() : 1);
    if (text_fn)
      for (size_t c = 0; c < cols.size(); c++) r.texts[c] = text_fn(r.data, int(c));
  }

  using QAbstractTableModel::beginInsertColumns;
  using QAbstractTableModel::beginInsertRows;
  using QAbstractTableModel::beginRemoveColumns;
  using QAbstractTableModel::beginRemoveRows;
  using QAbstractTableModel::beginResetModel;
  using QAbstractTableModel::endInsertColumns;
  using QAbstractTableModel::endInsertRows;
  using QAbstractTableModel::endRemoveColumns;
  using QAbstractTableModel::endRemoveRows;
  using QAbstractTableModel::endResetModel;

  int rowCount(const QModelIndex& parent) const override {
    return parent.isValid() ? 0 : int(rows.size());
  }
  int columnCount(const QModelIndex& parent) const override {
    return parent.isValid() ? 0 : int(cols.size());
  }
  QVariant data(const QModelIndex& index, int role) const override {
    if (role != Qt::DisplayRole || !index.isValid()) return QVariant();
    return QVariant(text(rows[size_t(index.row())], size_t(index.column())));
  }
  QVariant headerData(int section, Qt::Orientation o, int role) const override {
    if (o != Qt::Horizontal || section < 0 || size_t(section) >= cols.size()) return QVariant();
    if (role == Qt::DisplayRole) return cols[size_t(section)].header;
    if (role == Qt::TextAlignmentRole) {
      int a = cols[size_t(section)].align;
      return int((a == LVCFMT_RIGHT    ? Qt::AlignRight
                  : a == LVCFMT_CENTER ? Qt::AlignHCenter
                                       : Qt::AlignLeft) |
                 Qt::AlignVCenter);
    }
    return QVariant();
  }
  void release(Row& r) {
    if (on_delete) on_delete(r.data);
  }
};

namespace {

class CellDelegate : public QStyledItemDelegate {
 public:
  explicit CellDelegate(KvReportView* view) : QStyledItemDelegate(view), m_view(view) {}
  void paint(QPainter* p, const QStyleOptionViewItem& opt,
             const QModelIndex& index) const override {
    QImage img(opt.rect.size(), QImage::Format_RGB32);
    img.fill(Qt::white);
    {
      KvDC dc(&img);
      m_view->DrawCell(dc, index.row(), index.column(),
                       KvRect(0, 0, opt.rect.width(), opt.rect.height()));
    }
    p->drawImage(opt.rect.topLeft(), img);
  }

 private:
  KvReportView* m_view;
};

}  // namespace

KvReportView::KvReportView(QWidget* parent) : QTableView(parent), m_model(new KvReportModel) {
  m_model->setParent(this);
  setModel(m_model);
  setItemDelegate(new CellDelegate(this));
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setShowGrid(true);
  setWordWrap(false);
  verticalHeader()->hide();
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  SetRowHeight(QFontMetrics(font()).height() + 2);
  horizontalHeader()->setSectionsMovable(true);
  horizontalHeader()->setSectionsClickable(true);
  horizontalHeader()->setHighlightSections(false);
  horizontalHeader()->setStretchLastSection(false);
  connect(horizontalHeader(), &QHeaderView::sectionClicked, this,
          [this](int logical) { emit columnClicked(logical); });
}

KvReportView::~KvReportView() {
  DeleteAllItems();
}

int KvReportView::InsertColumn(int index, int id, const QString& header, int align, int width) {
  if (index < 0 || size_t(index) > m_model->cols.size()) index = int(m_model->cols.size());
  m_model->beginInsertColumns(QModelIndex(), index, index);
  m_model->cols.insert(m_model->cols.begin() + index, KvReportModel::Col{id, header, align});
  for (auto& r : m_model->rows)
    if (!r.texts.empty() && size_t(index) <= r.texts.size())
      r.texts.insert(r.texts.begin() + index, QString());
  m_model->endInsertColumns();
  if (width >= 0) setColumnWidth(index, width);
  return index;
}

bool KvReportView::DeleteColumn(int index) {
  if (index < 0 || size_t(index) >= m_model->cols.size()) return false;
  m_model->beginRemoveColumns(QModelIndex(), index, index);
  m_model->cols.erase(m_model->cols.begin() + index);
  for (auto& r : m_model->rows)
    if (size_t(index) < r.texts.size()) {
      r.texts.erase(r.texts.begin() + index);
      if (r.texts.empty()) r.texts.resize(1);  // still a row of its own texts
    }
  m_model->endRemoveColumns();
  return true;
}

int KvReportView::GetColumnCount() const {
  return int(m_model->cols.size());
}

int KvReportView::ColumnId(int index) const {
  return index >= 0 && size_t(index) < m_model->cols.size() ? m_model->cols[size_t(index)].id : -1;
}

int KvReportView::ColumnIndex(int id) const {
  for (size_t i = 0; i < m_model->cols.size(); i++)
    if (m_model->cols[i].id == id) return int(i);
  return -1;
}

int KvReportView::GetColumnWidth(int index) const {
  return columnWidth(index);
}

int KvReportView::GetColumnAlign(int index) const {
  return index >= 0 && size_t(index) < m_model->cols.size() ? m_model->cols[size_t(index)].align
                                                            : LVCFMT_LEFT;
}

std::vector<int> KvReportView::GetColumnOrder() const {
  std::vector<int> order;
  for (int v = 0; v < GetColumnCount(); v++) order.push_back(horizontalHeader()->logicalIndex(v));
  return order;
}

std::vector<KvReportColumn> KvReportView::SaveColumns() const {
  std::vector<KvReportColumn> out;
  for (int i = 0; i < GetColumnCount(); i++)
    out.push_back({ColumnId(i), horizontalHeader()->visualIndex(i), columnWidth(i)});
  return out;
}

void KvReportView::RestoreColumns(const std::vector<KvReportColumn>& cols) {
  std::vector<KvReportColumn> sorted = cols;
  std::sort(sorted.begin(), sorted.end(),
            [](const KvReportColumn& a, const KvReportColumn& b) { return a.order < b.order; });
  for (const KvReportColumn& c : sorted) {
    int i = ColumnIndex(c.id);
    if (i < 0) continue;
    if (c.width >= 0) setColumnWidth(i, c.width);
    if (c.order >= 0 && c.order < GetColumnCount())
      horizontalHeader()->moveSection(horizontalHeader()->visualIndex(i), c.order);
  }
}

int KvReportView::InsertItem(int row, const QString& text) {
  if (row < 0 || size_t(row) > m_model->rows.size()) row = int(m_model->rows.size());
  m_model->beginInsertRows(QModelIndex(), row, row);
  KvReportModel::Row r;
  r.texts.resize(m_model->cols.size() ? m_model->cols.size() : 1);
  r.texts[0] = text;
  m_model->rows.insert(m_model->rows.begin() + row, std::move(r));
  m_model->endInsertRows();
  return row;
}

int KvReportView::AppendDataRows(const std::vector<std::uintptr_t>& data) {
  int first = int(m_model->rows.size());
  if (data.empty()) return first;
  m_model->beginInsertRows(QModelIndex(), first, first + int(data.size()) - 1);
  m_model->rows.reserve(m_model->rows.size() + data.size());
  for (std::uintptr_t d : data) {
    KvReportModel::Row r;
    r.data = d;
    m_model->rows.push_back(std::move(r));
  }
  m_model->endInsertRows();
  return first;
}

void KvReportView::SetItemTextFn(ItemTextFn fn) {
  m_model->text_fn = std::move(fn);
  viewport()->update();
}

bool KvReportView::SetItemText(int row, int column, const QString& text) {
  if (row < 0 || size_t(row) >= m_model->rows.size() || column < 0) return false;
  m_model->own_texts(m_model->rows[size_t(row)]);
  auto& t = m_model->rows[size_t(row)].texts;
  if (size_t(column) >= t.size()) t.resize(size_t(column) + 1);
  t[size_t(column)] = text;
  QModelIndex idx = m_model->index(row, column);
  emit m_model->dataChanged(idx, idx);
  return true;
}

QString KvReportView::GetItemText(int row, int column) const {
  if (row < 0 || size_t(row) >= m_model->rows.size() || column < 0) return QString();
  return m_model->text(m_model->rows[size_t(row)], size_t(column));
}

bool KvReportView::SetItemData(int row, std::uintptr_t data) {
  if (row < 0 || size_t(row) >= m_model->rows.size()) return false;
  m_model->rows[size_t(row)].data = data;
  return true;
}

std::uintptr_t KvReportView::GetItemData(int row) const {
  if (row < 0 || size_t(row) >= m_model->rows.size()) return 0;
  return m_model->rows[size_t(row)].data;
}

bool KvReportView::DeleteItem(int row) {
  if (row < 0 || size_t(row) >= m_model->rows.size()) return false;
  m_model->beginRemoveRows(QModelIndex(), row, row);
  KvReportModel::Row r = std::move(m_model->rows[size_t(row)]);
  m_model->rows.erase(m_model->rows.begin() + row);
  m_model->endRemoveRows();
  m_model->release(r);
  return true;
}

void KvReportView::DeleteAllItems() {
  if (m_model->rows.empty()) return;
  m_model->beginResetModel();
  std::vector<KvReportModel::Row> rows;
  rows.swap(m_model->rows);
  m_model->endResetModel();
  for (auto& r : rows) m_model->release(r);
}

int KvReportView::GetItemCount() const {
  return int(m_model->rows.size());
}

void KvReportView::SetDeleteItemFn(std::function<void(std::uintptr_t)> fn) {
  m_model->on_delete = std::move(fn);
}

void KvReportView::SortItems(const std::function<int(std::uintptr_t, std::uintptr_t)>& compare) {
  emit m_model->layoutAboutToBeChanged();
  std::stable_sort(m_model->rows.begin(), m_model->rows.end(),
                   [&](const KvReportModel::Row& a, const KvReportModel::Row& b) {
                     return compare(a.data, b.data) < 0;
                   });
  emit m_model->layoutChanged();
  viewport()->update();
}

int KvReportView::GetCountPerPage() const {
  int h = verticalHeader()->defaultSectionSize();
  return h > 0 ? viewport()->height() / h : 0;
}

void KvReportView::SetRowHeight(int h) {
  verticalHeader()->setDefaultSectionSize(h);
}

void KvReportView::DrawCell(KvDC& dc, int row, int column, const KvRect& cell) {
  if (m_draw) {
    m_draw(dc, row, column, cell);
    return;
  }
  dc.FillSolidRect(cell, 0xFFFFFF);
  KvRect tr = cell;
  tr.DeflateRect(6, 0);
  int a = GetColumnAlign(column);
  dc.SetBkMode(TRANSPARENT);
  dc.DrawText(GetItemText(row, column), tr,
              DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX |
                  (a == LVCFMT_RIGHT    ? DT_RIGHT
                   : a == LVCFMT_CENTER ? DT_CENTER
                                        : DT_LEFT));
}

void KvReportView::RedrawItems(int first, int last) {
  if (GetColumnCount() == 0 || first > last) return;
  emit m_model->dataChanged(m_model->index(first, 0), m_model->index(last, GetColumnCount() - 1));
}
