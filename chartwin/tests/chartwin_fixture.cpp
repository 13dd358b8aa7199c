#include "chartwin/tests/chartwin_fixture.h"

#include <QKeyEvent>
#include <QCoreApplication>
#include <cmath>
#include <cstring>

#include "chartwin/chartdoc.h"
#include "chartwin/chartview.h"
#include "data/chart.h"
#include "data/chartthreads.h"
#include "platform/qt/docview.h"
#include "platform/qt/frames.h"
#include "platform/qt/wnd.h"
#include "shell/app.h"

void ChartWinTest::SetUp() {
  ShellTest::SetUp();
  // A complete configuration: no start-up message covers the windows.
  write_quote_config(0);
  app_ = start();
}

void ChartWinTest::TearDown() {
  stop_chart_threads();
  ShellTest::TearDown();
}

CKvChartDoc* ChartWinTest::new_chart() {
  auto* doc = dynamic_cast<CKvChartDoc*>(app_->NewChart());
  if (doc)
    if (KvView* v = doc->GetFirstView())
      if (KvChildFrame* f = v->GetParentFrame()) {
        f->showNormal();
        f->resize(820, 520);
        kv_flush_posted();
        QCoreApplication::processEvents();
      }
  return doc;
}

CKvChartView* ChartWinTest::view_of(CKvChartDoc* doc) {
  return doc ? doc->ChartView() : nullptr;
}

void ChartWinTest::type_symbol(CKvChartView* view, const char* text, bool enter) {
  for (const char* p = text; *p; p++) {
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(QChar(*p)));
    QCoreApplication::sendEvent(view, &press);
  }
  if (enter) {
    QKeyEvent ret(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QCoreApplication::sendEvent(view, &ret);
  }
}
