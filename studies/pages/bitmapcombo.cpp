#include "studies/pages/bitmapcombo.h"

#include <QPalette>
#include <algorithm>

#include "res/resource.h"

CBitmapComboBox::CBitmapComboBox(QWidget* parent) : KvComboBox(false, parent) {
  SetOwnerDraw(14, [this](KvDC& dc, const KvRect& r, int index, bool selected) {
    DrawItem(dc, r, index, selected);
  });
  setMinimumWidth(80 + 24);
}

void CBitmapComboBox::LoadLineStyles(QImage bitmaps[10]) {
  for (int k = 0; k < 5; k++) {
    bitmaps[k] = kv_res_bitmap(IDB_STYLE_0 + 2 * k);
    bitmaps[5 + k] = kv_res_bitmap(IDB_STYLE_0 + 2 * k + 1);
  }
  for (int k = 0; k < 10; k++) AddBitmap(&bitmaps[k]);
  SetCurSel(0);
}

int CBitmapComboBox::AddBitmap(const QImage* bitmap) {
  int i = AddString(QString());
  if (i >= 0) SetItemData(i, reinterpret_cast<std::uintptr_t>(bitmap));
  return i;
}

void CBitmapComboBox::DrawItem(KvDC& dc, const KvRect& r, int index, bool selected) {
  QColor fill = palette().color(selected ? QPalette::Highlight : QPalette::Base);
  dc.FillSolidRect(r, kv_colorref(fill));
  if (index < 0 || index >= GetCount()) return;
  auto* bitmap = reinterpret_cast<const QImage*>(GetItemData(index));
  if (!bitmap || bitmap->isNull()) return;
  // A plain copy of the picture from the item's corner; where the item is
  // wider the fill shows.
  int w = std::min(r.Width(), bitmap->width()), h = std::min(r.Height(), bitmap->height());
  dc.BitBlt(r.left, r.top, w, h, *bitmap, 0, 0);
}
