#include "platform/qt/formview.h"

#include <QPushButton>

void KvFormView::add_control(int id, QWidget* w) {
  register_control(id, w);
  if (auto* b = qobject_cast<QPushButton*>(w))
    connect(b, &QPushButton::clicked, this, [this, id] { OnCmdMsg(unsigned(id)); });
}

void KvFormView::OnInitialUpdate() {
  UpdateData(false);
  KvView::OnInitialUpdate();
}
