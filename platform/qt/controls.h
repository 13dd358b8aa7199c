// Controls with the window system's rules where Qt's differ.
//
// KvComboBox: a drop-list (no typing) or a drop-down with an edit field.
//   Items carry a number (item data). Adding items selects nothing, and
//   deleting the selected item leaves no selection. Once the user types into the edit
//   field the combo reports no selection (GetCurSel -1) until an item is
//   chosen again. closedUp and droppedDown tell when the list closes and
//   before it opens (so it can be refilled). Items may be owner-drawn.
// KvListBox: items with item data, single or multiple selection.
// KvSpinButton: an up-down pair that reports a delta; the up arrow gives
//   -1 and the down arrow +1.
// KvOwnerDrawButton: a button painted by its owner (a colour swatch).
// Check boxes, radio buttons, sliders, tab bars and static texts are Qt's
// own widgets (QCheckBox, QRadioButton, QSlider, QTabBar, QLabel).
#pragma once

#include <QAbstractButton>
#include <QComboBox>
#include <QListWidget>
#include <QToolButton>
#include <cstdint>
#include <functional>

#include "platform/qt/dc.h"

enum : int { CB_ERR = -1, LB_ERR = -1 };

class KvComboBox : public QComboBox {
  Q_OBJECT
 public:
  // editable: a drop-down with an edit field; otherwise a drop-list.
  explicit KvComboBox(bool editable = false, QWidget* parent = nullptr);

  int AddString(const QString& s);
  int InsertString(int index, const QString& s);  // -1 appends
  int DeleteString(int index);
  void ResetContent();
  int GetCount() const { return count(); }
  int GetCurSel() const;
  int SetCurSel(int index);  // -1 clears the selection
  int FindStringExact(int start, const QString& s) const;
  QString GetLBText(int index) const { return itemText(index); }
  int SetItemData(int index, std::uintptr_t data);
  std::uintptr_t GetItemData(int index) const;
  QString GetWindowText() const { return currentText(); }
  void SetWindowText(const QString& s);

  // Items drawn by the owner: fn(dc, item rectangle, index (-1 for the
  // closed combo without selection), selected).
  using DrawItemFn = std::function<void(KvDC&, const KvRect&, int, bool)>;
  void SetOwnerDraw(int item_height, DrawItemFn fn);

  void showPopup() override;
  void hidePopup() override;

 signals:
  void droppedDown();
  void closedUp();

 protected:
  void paintEvent(QPaintEvent* e) override;

 private:
  bool m_typed = false;
  int m_item_height = 0;
  DrawItemFn m_draw;
};

class KvListBox : public QListWidget {
 public:
  explicit KvListBox(bool multiple = false, QWidget* parent = nullptr);
  int AddString(const QString& s);
  int InsertString(int index, const QString& s);
  int DeleteString(int index);
  void ResetContent() { clear(); }
  int GetCount() const { return count(); }
  int GetCurSel() const;
  int SetCurSel(int index);
  QString GetText(int index) const;
  int SetItemData(int index, std::uintptr_t data);
  std::uintptr_t GetItemData(int index) const;
  int GetTopIndex() const;
  void SetTopIndex(int index);
  // Selects (or clears) a range of a multiple-selection list.
  void SelItemRange(bool select, int first, int last);
  int GetSelCount() const;
};

class KvSpinButton : public QWidget {
  Q_OBJECT
 public:
  explicit KvSpinButton(QWidget* parent = nullptr);
  QToolButton* upButton() const { return m_up; }
  QToolButton* downButton() const { return m_down; }
 signals:
  // -1 for the up arrow, +1 for the down arrow.
  void deltaPos(int delta);

 private:
  QToolButton* m_up;
  QToolButton* m_down;
};

class KvOwnerDrawButton : public QAbstractButton {
 public:
  using DrawFn = std::function<void(KvDC&, const KvRect&)>;
  explicit KvOwnerDrawButton(QWidget* parent = nullptr);
  void SetDraw(DrawFn fn) {
    m_draw = std::move(fn);
    update();
  }
  QSize sizeHint() const override { return QSize(40, 20); }

 protected:
  void paintEvent(QPaintEvent* e) override;

 private:
  DrawFn m_draw;
};
