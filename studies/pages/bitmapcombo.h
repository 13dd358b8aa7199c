// CBitmapComboBox: a drop-list whose items are pictures of the ten line
// styles; the item index is the line style number 0-9 that studies and
// annotation lines store.  Items have empty text and carry the address of
// their picture, which the owner keeps alive as long as the combo.
#pragma once

#include <QImage>

#include "platform/qt/controls.h"

class CBitmapComboBox : public KvComboBox {
 public:
  explicit CBitmapComboBox(QWidget* parent = nullptr);

  // Loads the style pictures 171, 173, 175, 177, 179 (thin styles 0-4) and
  // 172 ... 180 (wide styles 5-9) into bitmaps[0..9], adds them in that
  // order and selects item 0.
  void LoadLineStyles(QImage bitmaps[10]);
  // Appends an item showing the picture; the new index.
  int AddBitmap(const QImage* bitmap);

 private:
  void DrawItem(KvDC& dc, const KvRect& r, int index, bool selected);
};
