// The time-and-sales window in a started application: trades posted to it
// as the relay's trade handler posts them (a heap copy each), the 1,000-row
// tape, cancels and corrections, the wrapped time and its picture.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "data/chartthreads.h"
#include "platform/locks.h"
#include "platform/messages.h"
#include "platform/qt/color.h"
#include "platform/qt/docview.h"
#include "platform/qt/frames.h"
#include "platform/qt/test_harness.h"
#include "platform/qt/wnd.h"
#include "platform/sync.h"
#include "quotes/mqt.h"
#include "settings/settings.h"
#include "shell/app.h"
#include "shell/mainfrm.h"
#include "shell/tests/shell_fixture.h"
#include "shell/windowdoc.h"
#include "windows/timesalesview.h"

namespace {

enum : unsigned { ID_TIME_SALES = 33011 };

class TimeSalesWindow : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    write_quote_config(0x02);  // the relay offers time and sales
    app_ = start();
  }
  void TearDown() override {
    stop_chart_threads();
    ShellTest::TearDown();
  }
  CKvTimeSalesView* open() {
    EXPECT_TRUE(app_->MainFrame()->RouteCommand(ID_TIME_SALES));
    std::vector<CKvWindowDoc*> docs = kv_window_docs(KIND_TIME_SALES);
    if (docs.empty()) return nullptr;
    auto* v = dynamic_cast<CKvTimeSalesView*>(docs.back()->GetFirstView());
    if (v && v->GetParentFrame()) {
      v->GetParentFrame()->showNormal();
      v->GetParentFrame()->resize(300, 360);
      kv_pump_events(10);
    }
    return v;
  }
  // Posts an entry as the trade handler does: a malloc'd copy.
  void post(CKvTimeSalesView* v, int op, int key, int time, float price, int size, uint8_t flags,
            char cond = ' ') {
    auto* e = static_cast<ts_entry*>(calloc(1, sizeof(ts_entry)));
    e->operation = uint8_t(op);
    e->key = key;
    e->time = time;
    e->price = price;
    e->size = size;
    e->trade_flags = flags;
    e->condition = cond;
    ASSERT_TRUE(kv_post_message(v->GetSafeHwnd(), WM_TRADE_UPDATE, 0, (kv_lparam)e,
                                kv_release_free_lparam));
  }
  CKvChartApp* app_ = nullptr;
};

TEST_F(TimeSalesWindow, TapeKeepsAThousandTradesAndCorrectionsKeepTheirRow) {
  CKvTimeSalesView* v = open();
  ASSERT_TRUE(v);
  ASSERT_TRUE(v->SetSymbol(QStringLiteral(" ibm \n")));
  ASSERT_TRUE(v->Record());
  EXPECT_EQ(v->GetDocument()->GetTitle(), QStringLiteral("ibm - Time&Sales"));
  g_cont_update = 1;
  for (int i = 0; i < 1001; i++)
    post(v, TS_OP_NEW, i + 1, 36000 + i, 10.0f + i * 0.01f, 100, TS_BETWEEN);
  kv_flush_posted();
  CListViewEx* list = v->ListView();
  ASSERT_EQ(list->GetItemCount(), 1000);
  EXPECT_EQ(v->RowEntry(0)->key, 1001);  // newest on top
  EXPECT_EQ(v->RowEntry(999)->key, 2);   // the first trade dropped off the bottom

  post(v, TS_OP_CORRECT, 1000, 36999, 12.34f, 300, TS_AT_ASK);
  post(v, TS_OP_CANCEL, 999, 0, 0, 0, 0);
  post(v, TS_OP_CANCEL, 1, 0, 0, 0, 0);      // no longer listed: nothing
  post(v, TS_OP_CORRECT, 7777, 0, 0, 0, 0);  // unknown: nothing
  kv_flush_posted();
  ASSERT_EQ(list->GetItemCount(), 1000);
  EXPECT_EQ(v->RowEntry(1)->key, 1000);
  EXPECT_EQ(list->GetItemText(1, list->FindColumnPos(5)), QStringLiteral("12.34"));
  EXPECT_EQ(list->GetItemText(1, list->FindColumnPos(15)), QStringLiteral("300"));
  // The first flag that applies wins: the at-ask of the correction.
  EXPECT_EQ(list->Cells(1)[0].background, RGB(189, 249, 172));
  EXPECT_EQ(list->Cells(2)[1].background, RGB(255, 255, 0));  // cancelled
  EXPECT_EQ(list->Cells(0)[1].background, RGB(255, 255, 255));

  // Header clicks keep the tape's order.
  list->SortByColumn(list->FindColumnPos(5));
  EXPECT_EQ(v->RowEntry(0)->key, 1001);

  // Closing the window gives its user of the record back.
  mqt* held = get_multiquote("ibm");
  ASSERT_EQ(held, v->Record());
  const int users = held->users;
  v->GetParentFrame()->close();
  EXPECT_TRUE(kv_wait_until([&] {
    kv_lock guard(g_chart_lock);
    return held->users == users - 1;
  }));
  delete_multiquote(held);
}

TEST_F(TimeSalesWindow, TimeWrapsIntoOneDayAndColoursShowInThePicture) {
  EXPECT_EQ(kv_wrap_time_of_day(86000, 3600), 3200);
  EXPECT_EQ(kv_wrap_time_of_day(1800, -3600), 84600);
  EXPECT_EQ(kv_wrap_time_of_day(36000, 0), 36000);
  CKvTimeSalesView* v = open();
  ASSERT_TRUE(v);
  ASSERT_TRUE(v->SetSymbol(QStringLiteral("MSFT")));
  g_time_offset = 3600;
  post(v, TS_OP_NEW, 1, 86000, 20.00f, 100, TS_BELOW_BID);
  post(v, TS_OP_NEW, 2, 86001, 20.01f, 200, TS_AT_BID);
  post(v, TS_OP_NEW, 3, 86002, 20.02f, 300, TS_BETWEEN, 'T');
  post(v, TS_OP_NEW, 4, 86003, 20.03f, 400, TS_AT_ASK);
  post(v, TS_OP_NEW, 5, 86004, 20.04f, 500, TS_ABOVE_ASK);
  post(v, TS_OP_NEW, 6, 86005, 20.05f, 600, TS_HELD_BACK | TS_ABOVE_ASK);
  kv_flush_posted();
  g_time_offset = 0;
  CListViewEx* list = v->ListView();
  ASSERT_EQ(list->GetItemCount(), 6);
  EXPECT_EQ(list->GetItemText(5, list->FindColumnPos(1)), QStringLiteral("00:53:20"));
  v->SetPrecision(3);  // re-subscribes; the stored ring of this record is empty
  EXPECT_TRUE(v->Record());
  EXPECT_EQ(list->GetItemCount(), 0);
  g_time_offset = 3600;
  post(v, TS_OP_NEW, 1, 86000, 20.00f, 100, TS_BELOW_BID);
  post(v, TS_OP_NEW, 2, 86001, 20.01f, 200, TS_AT_BID);
  post(v, TS_OP_NEW, 3, 86002, 20.02f, 300, TS_BETWEEN, 'T');
  post(v, TS_OP_NEW, 4, 86003, 20.03f, 400, TS_AT_ASK);
  post(v, TS_OP_NEW, 5, 86004, 20.04f, 500, TS_ABOVE_ASK);
  post(v, TS_OP_NEW, 6, 86005, 20.05f, 600, TS_HELD_BACK | TS_ABOVE_ASK);
  kv_flush_posted();
  g_time_offset = 0;
  EXPECT_EQ(list->GetItemText(0, list->FindColumnPos(5)), QStringLiteral("20.050"));
  kv_pump_events(10);
  QImage shot = list->viewport()->grab().toImage();
  kv_save_png(v->GetParentFrame()->grab().toImage(),
              QStringLiteral(KV_BINARY_DIR "/time_sales_window.png"));
  const COLORREF want[] = {RGB(128, 128, 128), RGB(0, 255, 0),     RGB(189, 249, 172),
                           RGB(255, 255, 255), RGB(250, 208, 171), RGB(255, 0, 0)};
  int xs = list->columnViewportPosition(list->FindColumnPos(15)) + 3;
  for (int r = 0; r < 6; r++)
    EXPECT_EQ(kv_colorref_from_rgb(shot.pixel(xs, list->rowViewportPosition(r) + 3)), want[r]) << r;
  // A "T" trade's time is black.
  int xt = list->columnViewportPosition(list->FindColumnPos(1)) + 3;
  EXPECT_EQ(kv_colorref_from_rgb(shot.pixel(xt, list->rowViewportPosition(3) + 3)), 0u);
}

}  // namespace
