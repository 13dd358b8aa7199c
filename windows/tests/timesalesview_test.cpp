// The time-and-sales window in a started application: trades posted to it
// as the relay's trade handler posts them (a heap copy each), the 1,000-row
// tape, cancels and corrections, the wrapped time and its picture.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include <QHeaderView>

#include "data/chartthreads.h"
#include "data/chartsettings.h"
#include "data/debugtrace.h"
#include "data/lefield.h"
#include "platform/locks.h"
#include "platform/messages.h"
#include "platform/qt/color.h"
#include "platform/qt/docview.h"
#include "platform/qt/frames.h"
#include "platform/qt/test_harness.h"
#include "platform/qt/wnd.h"
#include "platform/sync.h"
#include "quotes/qrclient.h"
#include "quotes/qrecord.h"
#include "quotes/router.h"
#include "quotes/spigot.h"
#include "quotes/tests/fake_relay.h"
#include "quotes/mqt.h"
#include "settings/settings.h"
#include "shell/app.h"
#include "shell/core/pagefile.h"
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
    post_as(v, v->SubscriptionToken(), op, key, time, price, size, flags, cond);
  }
  void post_as(CKvTimeSalesView* v, uint32_t token, int op, int key, int time, float price,
               int size, uint8_t flags, char cond = ' ') {
    auto* e = static_cast<ts_entry*>(calloc(1, sizeof(ts_entry)));
    e->operation = uint8_t(op);
    e->key = key;
    e->time = time;
    e->price = price;
    e->size = size;
    e->trade_flags = flags;
    e->condition = cond;
    ASSERT_TRUE(kv_post_message(v->GetSafeHwnd(), WM_TRADE_UPDATE, token, (kv_lparam)e,
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
  // A correction without a place against the quote shows the corrected
  // colour, in its row.
  post(v, TS_OP_CORRECT, 998, 36997, 12.5f, 100, 0);
  kv_flush_posted();
  EXPECT_EQ(v->RowEntry(3)->key, 998);
  EXPECT_EQ(list->Cells(3)[0].background, RGB(0, 255, 255));
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

// Entries still queued from an earlier subscription (the symbol before a
// drop, or the same symbol before a refresh reloaded its stored trades)
// are not shown: they would list another symbol's trades or a trade twice.
TEST_F(TimeSalesWindow, EntriesOfAnEarlierSubscriptionAreDropped) {
  CKvTimeSalesView* v = open();
  ASSERT_TRUE(v);
  ASSERT_TRUE(v->SetSymbol(QStringLiteral("IBM")));
  g_cont_update = 1;
  const uint32_t ibm = v->SubscriptionToken();
  ASSERT_NE(ibm, 0u);
  post(v, TS_OP_NEW, 1, 36000, 10.0f, 100, TS_BETWEEN);
  post_as(v, ibm, TS_OP_NEW, 2, 36001, 10.5f, 100, TS_BETWEEN);  // queued before the drop
  ASSERT_TRUE(v->SetSymbol(QStringLiteral("MSFT")));
  kv_flush_posted();
  CListViewEx* list = v->ListView();
  EXPECT_EQ(list->GetItemCount(), 0);
  const uint32_t msft = v->SubscriptionToken();
  EXPECT_NE(msft, ibm);
  post(v, TS_OP_NEW, 3, 36002, 20.0f, 100, TS_BETWEEN);
  post_as(v, msft, TS_OP_NEW, 4, 36003, 20.5f, 100, TS_BETWEEN);  // queued before the refresh
  ASSERT_TRUE(v->SetPrecision(3));
  kv_flush_posted();
  EXPECT_EQ(list->GetItemCount(), 0);
  post(v, TS_OP_NEW, 5, 36004, 21.0f, 100, TS_BETWEEN);
  kv_flush_posted();
  ASSERT_EQ(list->GetItemCount(), 1);
  EXPECT_EQ(v->RowEntry(0)->key, 5);
}

TEST_F(TimeSalesWindow, ColumnsAndPrecisionComeBackWithThePageLayout) {
  CKvTimeSalesView* v = open();
  ASSERT_TRUE(v);
  ASSERT_TRUE(v->SetSymbol(QStringLiteral("IBM")));
  ASSERT_TRUE(v->SetPrecision(4));
  CListViewEx* list = v->ListView();
  EXPECT_EQ(list->ToggleColumn(16), 1);  // "Ind" on
  EXPECT_EQ(list->ToggleColumn(15), 1);  // "Size" off
  list->horizontalHeader()->moveSection(list->horizontalHeader()->visualIndex(list->ColumnIndex(5)),
                                        0);
  list->setColumnWidth(list->ColumnIndex(1), 71);
  std::vector<int> ids;
  for (int i : list->GetColumnOrder()) ids.push_back(list->ColumnId(i));

  page_list l{};
  WindowDescriptor* d = new_descriptor();
  static_cast<CKvWindowDoc*>(v->GetDocument())->FillWindowDescriptor(d);
  page_list_append(&l, d);
  std::string image;
  build_pages_file(&l, &image);
  page_list_free(&l);
  page_list back{};
  ASSERT_EQ(parse_pages_file((const uint8_t*)image.data(), image.size(), &back), PAGE_READ_OK);
  v->GetParentFrame()->close();
  kv_pump_events(10);
  ASSERT_TRUE(kv_window_docs(KIND_TIME_SALES).empty());

  ASSERT_TRUE(app_->OpenDescriptorWindow(back.head, 1, nullptr));
  std::vector<CKvWindowDoc*> docs = kv_window_docs(KIND_TIME_SALES);
  ASSERT_EQ(docs.size(), 1u);
  auto* w = dynamic_cast<CKvTimeSalesView*>(docs[0]->GetFirstView());
  ASSERT_TRUE(w);
  EXPECT_EQ(docs[0]->Settings().items, nullptr);
  EXPECT_EQ(w->GetDocument()->GetTitle(), QStringLiteral("IBM - Time&Sales"));
  EXPECT_TRUE(w->Record());  // subscribed again
  CListViewEx* again = w->ListView();
  std::vector<int> ids_back;
  for (int i : again->GetColumnOrder()) ids_back.push_back(again->ColumnId(i));
  EXPECT_EQ(ids_back, ids);
  EXPECT_EQ(again->GetColumnWidth(again->ColumnIndex(1)), 71);
  EXPECT_EQ(docs[0]->Settings().price_code, 4);
  page_list_free(&back);
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

namespace {

const char kRelayName[] = "KvRelayT";
constexpr int IBM_NUMBER = 9;

// A trade record (code 4) as the relay writes it.
std::vector<uint8_t> trade_record(int op, int32_t key, int32_t time, float price, int32_t size) {
  std::vector<uint8_t> r(QR_RECORD_SIZE, 0);
  r[0] = QR_TICK;
  put_le16(&r[2], IBM_NUMBER);
  r[6] = uint8_t(op);
  r[7] = TS_KIND_TRADE;
  put_le32(&r[8], uint32_t(time));
  put_le32(&r[12], uint32_t(key));
  uint32_t u;
  memcpy(&u, &price, 4);
  put_le32(&r[16], u);
  put_le32(&r[20], uint32_t(size));
  put_le32(&r[24], uint32_t(size));
  r[28] = ' ';
  return r;
}

// Trades from a fake relay over real sockets, through the relay's own
// input thread and trade handler.
class TimeSalesFromRelay : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    write_quote_config(0);
    char live[200];
    snprintf(live, sizeof live,
             "router_capabilities 0x%x\nrouter_name %s\nexchange_times 9:30 16:00\n",
             QR_CAP_QUOTES | QR_CAP_STREAMS, kRelayName);
    write_data("CONFIG/live.cfg", live);
    app_ = start();
    g_qr_hostname[0] = 0;
    relay_.respond = [](const std::vector<uint8_t>&) {
      return FakeRelay::answer{{FakeRelay::stream_reply(IBM_NUMBER)}};
    };
    ASSERT_TRUE(relay_.start());
    const double scale = kv_time_scale();
    kv_set_time_scale(1);
    const int started = start_router_request_thread();
    kv_set_time_scale(scale);
    ASSERT_EQ(started, 1);
    ASSERT_TRUE(kv_post_thread_message(g_router_thread_id, WM_REQUEST_REFRESH, 1, 0));
  }
  void TearDown() override {
    for (CKvWindowDoc* d : kv_window_docs(0))
      if (d->GetFirstView() && d->GetFirstView()->GetParentFrame())
        d->GetFirstView()->GetParentFrame()->close();
    kv_pump_events(10);
    const double scale = kv_time_scale();
    kv_set_time_scale(1);
    stop_router_request_thread();
    kv_set_time_scale(scale);
    stop_spigot_input_thread();
    {
      kv_lock guard(g_router_lock);
      qr_close();
    }
    relay_.stop();
    stop_chart_threads();
    ShellTest::TearDown();
  }
  // The window's record, streamed as the quote thread's subscribe pass
  // asks for it and numbered by the relay's reply.
  bool numbered(CKvTimeSalesView* v) {
    return v->Record() &&
           router_post_stream(STREAM_ADD | STREAM_QUOTES | STREAM_TRADES, v->Record()) &&
           kv_wait_until([&] {
             kv_lock guard(g_chart_lock);
             return v->Record()->symbol_slot == IBM_NUMBER;
           });
  }
  bool push(const std::vector<uint8_t>& rec) {
    return kv_wait_until([&] { return relay_.data_clients > 0; }) && relay_.push(rec);
  }
  CKvChartApp* app_ = nullptr;
  FakeRelay relay_{kRelayName};
};

TEST_F(TimeSalesFromRelay, PrecisionChangeReloadsTheLast128TradesAndCorrectionsKeepTheirRow) {
  ASSERT_TRUE(app_->MainFrame()->RouteCommand(ID_TIME_SALES));
  std::vector<CKvWindowDoc*> docs = kv_window_docs(KIND_TIME_SALES);
  ASSERT_EQ(docs.size(), 1u);
  auto* v = dynamic_cast<CKvTimeSalesView*>(docs[0]->GetFirstView());
  ASSERT_TRUE(v);
  ASSERT_TRUE(v->SetSymbol(QStringLiteral("IBM")));
  ASSERT_TRUE(numbered(v));
  g_cont_update = 1;
  CListViewEx* list = v->ListView();
  for (int i = 0; i < 130; i++)
    ASSERT_TRUE(push(trade_record(TS_OP_NEW, 100 + i, 36000 + i, 10.0f + i * 0.01f, 100 + i)));
  ASSERT_TRUE(kv_wait_until([&] { return list->GetItemCount() == 130; }));
  EXPECT_EQ(v->RowEntry(0)->key, 229);

  // A correction of a listed trade keeps its row, in the corrected colour.
  ASSERT_TRUE(push(trade_record(TS_OP_CORRECT, 225, 36125, 9.99f, 700)));
  ASSERT_TRUE(kv_wait_until([&] { return v->RowEntry(4)->size == 700; }));
  EXPECT_EQ(list->GetItemCount(), 130);
  EXPECT_EQ(v->RowEntry(4)->key, 225);
  EXPECT_TRUE(v->RowEntry(4)->trade_flags & TS_CORRECTED);
  EXPECT_EQ(list->GetItemText(4, list->FindColumnPos(5)), QStringLiteral("9.99"));

  // Another precision subscribes again and reloads the record's last 128
  // trades, newest on top, in the new precision. The window is the
  // record's only user: the record stays, known to the relay by its number.
  mqt* before = v->Record();
  ASSERT_TRUE(v->SetPrecision(4));
  EXPECT_EQ(v->Record(), before);
  // Its streams were never let go: once the request thread has served
  // what was queued, the trades stream is still held.
  ASSERT_TRUE(kv_wait_until(
      [&] { return __atomic_load_n(&before->pending_streams, __ATOMIC_SEQ_CST) == 0; }));
  {
    kv_lock guard(g_chart_lock);
    EXPECT_TRUE(before->streams_held & STREAM_TRADES);
    EXPECT_EQ(g_symbol_slots[IBM_NUMBER - 1], before);
  }
  ASSERT_EQ(list->GetItemCount(), 128);
  EXPECT_EQ(v->RowEntry(0)->key, 229);
  EXPECT_EQ(v->RowEntry(127)->key, 102);
  EXPECT_EQ(list->GetItemText(0, list->FindColumnPos(5)), QStringLiteral("11.2900"));
  EXPECT_EQ(list->GetItemText(4, list->FindColumnPos(5)), QStringLiteral("9.9900"));
  // The tape still follows the relay.
  ASSERT_TRUE(push(trade_record(TS_OP_NEW, 230, 36130, 11.30f, 100)));
  ASSERT_TRUE(kv_wait_until([&] { return list->GetItemCount() == 129; }));
  EXPECT_EQ(v->RowEntry(0)->key, 230);

  // The market trace switch names each trade's arrival.
  g_option_flags |= OPT_TRACE_MARKET;
  testing::internal::CaptureStderr();
  ASSERT_TRUE(push(trade_record(TS_OP_NEW, 231, 36131, 11.31f, 100)));
  const bool arrived = kv_wait_until([&] { return list->GetItemCount() == 130; });
  std::string out = testing::internal::GetCapturedStderr();
  g_option_flags &= ~OPT_TRACE_MARKET;
  ASSERT_TRUE(arrived);
  EXPECT_NE(out.find("CKvTimeSalesView::OnUpdateFromThread()\n"), std::string::npos) << out;
}

}  // namespace
