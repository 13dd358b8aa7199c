#include "platform/qt/controls.h"

#include <QAbstractItemView>
#include <QLineEdit>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

// ---- KvComboBox ----------------------------------------------------------------

namespace {

class OwnerDrawDelegate : public QStyledItemDelegate {
 public:
  OwnerDrawDelegate(int height, KvComboBox::DrawItemFn fn, QObject* parent)
      : QStyledItemDelegate(parent), m_height(height), m_fn(std::move(fn)) {}
  void paint(QPainter* p, const QStyleOptionViewItem& opt,
             const QModelIndex& index) const override {
    QImage img(opt.rect.size(), QImage::Format_RGB32);
    img.fill(Qt::white);
    {
      KvDC dc(&img);
      m_fn(dc, KvRect(0, 0, opt.rect.width(), opt.rect.height()), index.row(),
           (opt.state & QStyle::State_Selected) != 0);
    }
    p->drawImage(opt.rect.topLeft(), img);
  }
  QSize sizeHint(const QStyleOptionViewItem& opt, const QModelIndex&) const override {
    return QSize(opt.rect.width(), m_height);
  }

 private:
  int m_height;
  KvComboBox::DrawItemFn m_fn;
};

}  // namespace

KvComboBox::KvComboBox(bool editable, QWidget* parent) : QComboBox(parent) {
  setEditable(editable);
  setInsertPolicy(QComboBox::NoInsert);
  if (editable) {
    // Win32's edit field keeps what the user typed; Qt would complete it.
    setCompleter(nullptr);
    connect(lineEdit(), &QLineEdit::textEdited, this, [this] { m_typed = true; });
  }
  connect(this, QOverload<int>::of(&QComboBox::activated), this, [this](int) { m_typed = false; });
}

int KvComboBox::AddString(const QString& s) {
  return InsertString(-1, s);
}

// Qt selects the first item added to an empty combo and moves the selection
// to a neighbour when the selected item goes; the window system's combo
// selects nothing in either case and leaves its edit field alone.
int KvComboBox::InsertString(int index, const QString& s) {
  if (index < 0 || index > count()) index = count();
  int sel = currentIndex();
  QString keep = isEditable() ? currentText() : QString();
  insertItem(index, s);
  if (sel < 0) setCurrentIndex(-1);
  if (isEditable() && (sel < 0 || m_typed)) setEditText(keep);
  return index;
}

int KvComboBox::DeleteString(int index) {
  if (index < 0 || index >= count()) return CB_ERR;
  bool selected = index == currentIndex();
  QString keep = isEditable() ? currentText() : QString();
  removeItem(index);
  if (selected) {
    setCurrentIndex(-1);
    if (isEditable()) setEditText(keep);
  }
  return count();
}

void KvComboBox::ResetContent() {
  clear();
  m_typed = false;
}

int KvComboBox::GetCurSel() const {
  if (isEditable() && m_typed) return CB_ERR;
  return currentIndex();
}

int KvComboBox::SetCurSel(int index) {
  m_typed = false;
  if (index < 0 || index >= count()) {
    setCurrentIndex(-1);
    return CB_ERR;
  }
  setCurrentIndex(index);
  return index;
}

int KvComboBox::FindStringExact(int start, const QString& s) const {
  for (int i = start + 1; i < count(); i++)
    if (itemText(i).compare(s, Qt::CaseInsensitive) == 0) return i;
  for (int i = 0; i <= start && i < count(); i++)
    if (itemText(i).compare(s, Qt::CaseInsensitive) == 0) return i;
  return CB_ERR;
}

int KvComboBox::SetItemData(int index, std::uintptr_t data) {
  if (index < 0 || index >= count()) return CB_ERR;
  setItemData(index, QVariant::fromValue<qulonglong>(data));
  return 0;
}

std::uintptr_t KvComboBox::GetItemData(int index) const {
  return std::uintptr_t(itemData(index).toULongLong());
}

void KvComboBox::SetWindowText(const QString& s) {
  if (isEditable()) {
    setEditText(s);
  } else {
    setCurrentIndex(findText(s));
  }
}

void KvComboBox::SetOwnerDraw(int item_height, DrawItemFn fn) {
  m_item_height = item_height;
  m_draw = fn;
  setItemDelegate(new OwnerDrawDelegate(item_height, std::move(fn), this));
  update();
}

void KvComboBox::showPopup() {
  emit droppedDown();
  QComboBox::showPopup();
}

void KvComboBox::hidePopup() {
  // Qt also calls this when the combo is hidden (its page switched away,
  // the dialog closing): only a list that was open closes up.
  bool open = view() && view()->isVisible();
  QComboBox::hidePopup();
  if (open) emit closedUp();
}

void KvComboBox::paintEvent(QPaintEvent* e) {
  if (!m_draw) {
    QComboBox::paintEvent(e);
    return;
  }
  // The closed owner-drawn combo: a frame and the selected item.
  QImage img(size(), QImage::Format_RGB32);
  img.fill(palette().color(QPalette::Base));
  {
    KvDC dc(&img);
    int arrow = 16;
    KvRect item(2, 2, width() - arrow - 2, height() - 2);
    m_draw(dc, item, currentIndex(), hasFocus());
    dc.SelectPen(KvPen(PS_SOLID, 1, 0x808080));
    dc.SelectBrush(KvBrush::Null());
    dc.Rectangle(0, 0, width(), height());
    dc.FillSolidRect(KvRect(width() - arrow, 1, width() - 1, height() - 1), 0xC0C0C0);
    int cx = width() - arrow / 2, cy = height() / 2;
    dc.SelectPen(KvPen(PS_SOLID, 1, 0));
    for (int i = 0; i < 4; i++) {
      dc.MoveTo(cx - 3 + i, cy - 2 + i);
      dc.LineTo(cx + 4 - i, cy - 2 + i);
    }
  }
  QPainter p(this);
  p.drawImage(0, 0, img);
}

// ---- KvListBox -----------------------------------------------------------------

KvListBox::KvListBox(bool multiple, QWidget* parent) : QListWidget(parent) {
  setSelectionMode(multiple ? QAbstractItemView::ExtendedSelection
                            : QAbstractItemView::SingleSelection);
}

int KvListBox::AddString(const QString& s) {
  addItem(s);
  return count() - 1;
}

int KvListBox::InsertString(int index, const QString& s) {
  if (index < 0 || index > count()) index = count();
  insertItem(index, s);
  return index;
}

int KvListBox::DeleteString(int index) {
  if (index < 0 || index >= count()) return LB_ERR;
  // Deleting the selected item leaves no selection (Qt would select the
  // next item).
  bool selected = selectionMode() == QAbstractItemView::SingleSelection && GetCurSel() == index;
  delete takeItem(index);
  if (selected) SetCurSel(-1);
  return count();
}

int KvListBox::GetCurSel() const {
  QListWidgetItem* it = currentItem();
  return it && it->isSelected() ? currentRow() : LB_ERR;
}

int KvListBox::SetCurSel(int index) {
  if (index < 0 || index >= count()) {
    clearSelection();
    setCurrentRow(-1);
    return LB_ERR;
  }
  setCurrentRow(index);
  return index;
}

QString KvListBox::GetText(int index) const {
  QListWidgetItem* it = item(index);
  return it ? it->text() : QString();
}

int KvListBox::SetItemData(int index, std::uintptr_t data) {
  QListWidgetItem* it = item(index);
  if (!it) return LB_ERR;
  it->setData(Qt::UserRole, QVariant::fromValue<qulonglong>(data));
  return 0;
}

std::uintptr_t KvListBox::GetItemData(int index) const {
  QListWidgetItem* it = item(index);
  return it ? std::uintptr_t(it->data(Qt::UserRole).toULongLong()) : 0;
}

int KvListBox::GetTopIndex() const {
  QListWidgetItem* it = itemAt(2, 2);
  return it ? row(it) : 0;
}

void KvListBox::SetTopIndex(int index) {
  if (QListWidgetItem* it = item(index)) scrollToItem(it, QAbstractItemView::PositionAtTop);
}

void KvListBox::SelItemRange(bool select, int first, int last) {
  for (int i = first; i <= last && i < count(); i++)
    if (QListWidgetItem* it = item(i)) it->setSelected(select);
}

int KvListBox::GetSelCount() const {
  return int(selectedItems().size());
}

// ---- KvSpinButton --------------------------------------------------------------

KvSpinButton::KvSpinButton(QWidget* parent)
    : QWidget(parent), m_up(new QToolButton(this)), m_down(new QToolButton(this)) {
  m_up->setArrowType(Qt::UpArrow);
  m_down->setArrowType(Qt::DownArrow);
  m_up->setAutoRepeat(true);
  m_down->setAutoRepeat(true);
  auto* lay = new QVBoxLayout(this);
  lay->setContentsMargins(0, 0, 0, 0);
  lay->setSpacing(0);
  lay->addWidget(m_up);
  lay->addWidget(m_down);
  connect(m_up, &QToolButton::clicked, this, [this] { emit deltaPos(-1); });
  connect(m_down, &QToolButton::clicked, this, [this] { emit deltaPos(1); });
}

// ---- KvOwnerDrawButton -----------------------------------------------------------

KvOwnerDrawButton::KvOwnerDrawButton(QWidget* parent) : QAbstractButton(parent) {}

void KvOwnerDrawButton::paintEvent(QPaintEvent*) {
  QImage img(size(), QImage::Format_RGB32);
  img.fill(palette().color(QPalette::Button));
  if (m_draw) {
    KvDC dc(&img);
    m_draw(dc, KvRect(0, 0, width(), height()));
  }
  QPainter p(this);
  p.drawImage(0, 0, img);
}
