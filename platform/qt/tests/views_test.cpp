// Form views and dragging a splitter rectangle.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>

#include "platform/qt/formview.h"
#include "platform/qt/test_harness.h"
#include "platform/qt/tracker.h"
#include "platform/testing/fixture.h"

namespace {

class Views : public TempRootTest {
 protected:
  void SetUp() override {
    TempRootTest::SetUp();
    kv_test_app();
  }
};

struct OrderForm : KvFormView {
  int qty = 100, tif = 0;
  int buys = 0;
  OrderForm() {
    auto* lay = new QVBoxLayout(this);
    lay->addWidget(AddControl(1491, new QLineEdit));
    lay->addWidget(AddControl(1252, new QPushButton(QStringLiteral("BUY"))));
    AddControl(1589, new QRadioButton(QStringLiteral("DAY")));
    AddControl(1588, new QRadioButton(QStringLiteral("GTC")));
    AddRadioGroup({1589, 1588});
    MapCommand(1252, [this] {
      if (UpdateData(true)) buys++;
    });
  }
  void DoDataExchange(KvDataExchange& dx) override {
    DDX_Text(dx, 1491, qty);
    DDX_Radio(dx, 1589, tif);
  }
};

TEST_F(Views, FormViewExchangesItsControlsAndRoutesItsButtons) {
  OrderForm form;
  form.OnInitialUpdate();
  EXPECT_EQ(form.Item<QLineEdit>(1491)->text(), QStringLiteral("100"));
  kv_type(&form, 1491, QStringLiteral("300"));
  kv_click(&form, 1588);
  ASSERT_TRUE(kv_click(&form, 1252));
  EXPECT_EQ(form.buys, 1);
  EXPECT_EQ(form.qty, 300);
  EXPECT_EQ(form.tif, 1);
  kv_type(&form, 1491, QStringLiteral("many"));
  kv_click(&form, 1252);
  EXPECT_EQ(form.buys, 1);
  ASSERT_EQ(services_.boxes.size(), 1u);
  EXPECT_EQ(services_.boxes[0].text, "Please enter an integer.");
}

struct Plain : KvCanvasView {
  void OnDraw(KvDC& dc) override { dc.FillSolidRect(GetClientRect(), 0x336699); }
};

void send_mouse(QWidget* w, QEvent::Type t, QPoint p) {
  QMouseEvent e(t, QPointF(p), QPointF(w->mapToGlobal(p)), Qt::LeftButton,
                t == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(w, &e);
}

TEST_F(Views, SplitterRectangleFollowsTheMouseAndLeavesNoTrace) {
  Plain v;
  v.resize(200, 200);
  v.show();
  kv_pump_events(10);
  const QImage before = v.backing().copy();
  KvRect splitter(0, 97, 200, 103);
  QTimer::singleShot(0, [&] {
    send_mouse(&v, QEvent::MouseMove, QPoint(50, 120));
    send_mouse(&v, QEvent::MouseMove, QPoint(50, 140));
    send_mouse(&v, QEvent::MouseButtonRelease, QPoint(50, 140));
  });
  ASSERT_TRUE(kv_track_rect(&v, QPoint(50, 100), &splitter));
  EXPECT_EQ(splitter, KvRect(0, 137, 200, 143));
  EXPECT_EQ(v.backing(), before);

  KvRect again = splitter;
  QTimer::singleShot(0, [&] {
    send_mouse(&v, QEvent::MouseMove, QPoint(50, 60));
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(&v, &esc);
  });
  EXPECT_FALSE(kv_track_rect(&v, QPoint(50, 140), &again));
  EXPECT_EQ(again, splitter);
  EXPECT_EQ(v.backing(), before);
}

}  // namespace
