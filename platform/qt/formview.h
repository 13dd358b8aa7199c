// A view whose client area is a form of controls with numeric ids (the
// orders window): the controls, radio groups and data exchange of a dialog
// inside a view of a document. Clicks of its push buttons go to the view's
// command table by the button's id.
#pragma once

#include "platform/qt/dialog.h"
#include "platform/qt/docview.h"

class KvFormView : public KvView, public KvControlHost {
 public:
  explicit KvFormView(QWidget* parent = nullptr) : KvView(parent) {}

  template <class W>
  W* AddControl(int id, W* w) {
    add_control(id, w);
    return w;
  }

  // Fills the controls from the members, then the base update.
  void OnInitialUpdate() override;

 protected:
  QWidget* host_widget() const override { return const_cast<KvFormView*>(this); }

 private:
  void add_control(int id, QWidget* w);
};
