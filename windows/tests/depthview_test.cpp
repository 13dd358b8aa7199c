// The level 2 and order book windows in a started application, fed by a
// fake relay over real sockets: the request thread subscribes the depth
// stream, the relay pushes book records down the data socket and the
// relay's own handlers fill the windows' buffers. Rows, level bands,
// participants, sizes, the page layout and the picture.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDropEvent>
#include <QHeaderView>
#include <QMenu>
#include <QMimeData>
#include <cstring>

#include "data/chartthreads.h"
#include "data/debugtrace.h"
#include "data/lefield.h"
#include "platform/clock.h"
#include "platform/locks.h"
#include "platform/messages.h"
#include "platform/qt/color.h"
#include "platform/qt/docview.h"
#include "platform/qt/frames.h"
#include "platform/qt/menus.h"
#include "platform/qt/test_harness.h"
#include "platform/sync.h"
#include "quotes/mqt.h"
#include "quotes/qrclient.h"
#include "quotes/qrecord.h"
#include "quotes/router.h"
#include "quotes/spigot.h"
#include "quotes/tests/fake_relay.h"
#include "settings/settings.h"
#include "shell/app.h"
#include "shell/core/pagefile.h"
#include "shell/mainfrm.h"
#include "shell/tests/shell_fixture.h"
#include "shell/windowdoc.h"
#include "windows/depthview.h"
#include "windows/marketviews.h"

namespace {

const char kRelayName[] = "KvRelayD";
constexpr int IBM_NUMBER = 7;

// One book entry as the relay lays it out: word, size (level 2: lots and
// the count), price.
struct Entry {
  float price;
  uint32_t size;
  int participant;
  int time;
  int count = 0;
  bool plus = false;
};

std::vector<uint8_t> book_record(int code, bool level2, const std::vector<Entry>& bids,
                                 const std::vector<Entry>& asks) {
  std::vector<uint8_t> r(540, 0);
  r[0] = (uint8_t)code;
  put_le16(&r[2], IBM_NUMBER);
  memcpy(&r[12], "OWN3", 4);  // participant slot 3
  auto put = [&](int base, const std::vector<Entry>& side) {
    for (size_t i = 0; i < side.size(); i++) {
      uint8_t* e = &r[size_t(base) + i * BOOK_ENTRY];
      const Entry& x = side[i];
      uint32_t word = uint32_t(x.time) | uint32_t(x.participant) << 24 | (x.plus ? 0x20000u : 0);
      put_le32(e + BOOK_OFF_WORD, word);
      if (level2) {
        put_le16(e + BOOK_OFF_SIZE, (uint16_t)x.size);
        put_le16(e + BOOK_OFF_COUNT, (uint16_t)x.count);
      } else {
        put_le32(e + BOOK_OFF_SIZE, x.size);
      }
      uint32_t u;
      memcpy(&u, &x.price, 4);
      put_le32(e + BOOK_OFF_PRICE, u);
    }
  };
  put(BOOK_BIDS, bids);
  put(BOOK_ASKS, asks);
  return r;
}

class DepthWindows : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    write_quote_config(0);
    char live[200];
    snprintf(live, sizeof live,
             "router_capabilities 0x%x\nrouter_name %s\nexchange_times 9:30 16:00\n",
             QR_CAP_QUOTES | QR_CAP_STREAMS | QR_CAP_ORDER_BOOK | QR_CAP_LEVEL2, kRelayName);
    write_data("CONFIG/live.cfg", live);
    app_ = start();
    g_qr_hostname[0] = 0;
    relay_.respond = [](const std::vector<uint8_t>&) {
      return FakeRelay::answer{{FakeRelay::stream_reply(IBM_NUMBER)}};
    };
    ASSERT_TRUE(relay_.start());
    // The request thread's start waits at full time: a loaded machine may
    // take longer than the fixture's scaled waits to run it up to its queue.
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
  CKvDepthView* open(int kind) {
    KvDocTemplate* t = app_->DocTemplate(kind);
    if (!t) return nullptr;
    g_pref_flags = (g_pref_flags & ~0x7C0u) | uint32_t(kind) << 6;
    KvDocument* doc = t->OpenDocumentFile(QString());
    g_pref_flags &= ~0x7E0u;
    auto* v = doc ? dynamic_cast<CKvDepthView*>(doc->GetFirstView()) : nullptr;
    if (v && v->GetParentFrame()) {
      v->GetParentFrame()->showNormal();
      v->GetParentFrame()->resize(620, 300);
      kv_pump_events(10);
    }
    return v;
  }
  // A dropped text, as a drag over the window delivers it.
  static bool drop(QWidget* w, const QString& text) {
    QMimeData data;
    data.setText(text);
    QDragEnterEvent enter(QPoint(20, 40), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                          Qt::NoModifier);
    QCoreApplication::sendEvent(w, &enter);
    QDropEvent d(QPointF(20, 40), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &d);
    return d.isAccepted();
  }
  // Subscribed and numbered by the relay's stream reply.
  bool numbered(CKvDepthView* v) {
    return v->Handle() && kv_wait_until([&] {
             kv_lock guard(g_chart_lock);
             return v->Handle()->symbol_slot == IBM_NUMBER;
           });
  }
  bool push_and_wait(CKvDepthView* v, const std::vector<uint8_t>& rec, int row, int id,
                     const QString& want) {
    if (!kv_wait_until([&] { return relay_.data_clients > 0; }) || !relay_.push(rec)) return false;
    return kv_wait_until([&] { return text(v, row, id) == want; });
  }
  static QString text(CKvDepthView* v, int row, int id) {
    CListViewEx* l = v->ListView();
    int pos = l->FindColumnPos(id);
    return pos < 0 || row >= l->GetItemCount() ? QString() : l->GetItemText(row, pos);
  }
  static const ListCell& cell(CKvDepthView* v, int row, int id) {
    return v->ListView()->Cells(row)[v->ListView()->FindColumnPos(id)];
  }
  CKvChartApp* app_ = nullptr;
  FakeRelay relay_{kRelayName};
};

TEST_F(DepthWindows, Level2RowsBandByPriceAndShowParticipants) {
  CKvDepthView* v = open(KIND_LEVEL2);
  ASSERT_TRUE(v);
  EXPECT_TRUE(v->IsLevel2());
  EXPECT_EQ(v->ListView()->ColumnCount(), LEV2_COLUMNS_MAX);
  EXPECT_EQ(v->ListView()->GetItemCount(), 0);  // no symbol yet
  // A 2,000-character drop is no symbol; the window stays as it was.
  EXPECT_FALSE(drop(v, QString(2000, QLatin1Char('X'))));
  EXPECT_EQ(v->Handle(), nullptr);
  mqt* held = get_multiquote("IBM");  // a user of our own, to count the window's
  ASSERT_TRUE(held);
  ASSERT_TRUE(drop(v, QStringLiteral("  IBM \nsecond line")));
  EXPECT_EQ(v->GetDocument()->GetTitle(), QStringLiteral("IBM - Level II"));
  ASSERT_TRUE(numbered(v));
  EXPECT_EQ(held->users, 2);
  v->Resubscribe();  // Refresh gives its user back before taking one
  ASSERT_TRUE(numbered(v));
  EXPECT_EQ(held->users, 2);
  EXPECT_EQ(v->ListView()->GetItemCount(), DEPTH_ROWS);

  const float bids[] = {10.05f, 10.05f, 10.04f, 10.03f, 10.02f, 10.01f, 10.00f};
  std::vector<Entry> b, a;
  for (int i = 0; i < 7; i++) b.push_back({bids[i], 5, 15, 36000 + i, 2, i == 0});
  b[1].participant = 3;   // the book's own slot
  b[2].participant = 31;  // past the known codes
  a.push_back({10.1f, 12, 9, 86399, 1});
  a.push_back({10.125f, 3, 0, 0, 1});
  ASSERT_TRUE(
      push_and_wait(v, book_record(QR_LEVEL2, true, b, a), 0, 10, QStringLiteral("10.05 ")));
  EXPECT_EQ(text(v, 0, 23), QStringLiteral("ISLD+"));
  EXPECT_EQ(text(v, 1, 23), QStringLiteral("OWN3-"));
  EXPECT_EQ(text(v, 2, 23), QStringLiteral("\?\?\?\?-"));
  EXPECT_EQ(text(v, 0, 25), QStringLiteral("5"));  // sizes in hundreds: on by default
  v->ToggleSizeInHundreds();
  EXPECT_EQ(text(v, 0, 25), QStringLiteral("500"));
  EXPECT_EQ(text(v, 0, 28), QStringLiteral("10:00:00"));
  EXPECT_EQ(text(v, 0, 30), QStringLiteral("2"));
  EXPECT_EQ(text(v, 0, 11), QStringLiteral("10.10 "));  // a third decimal of 0 is blanked
  EXPECT_EQ(text(v, 1, 11), QStringLiteral("10.125"));
  EXPECT_EQ(text(v, 0, 29), QStringLiteral("23:59:59"));
  EXPECT_EQ(text(v, 0, 24), QStringLiteral("ARCA-"));
  EXPECT_EQ(text(v, 7, 10), QString());  // empty entries
  EXPECT_EQ(text(v, 0, 27), QString());

  // The bid bands: yellow, yellow, green, cyan, dark red, navy, navy.
  const COLORREF band[] = {0x00FFFF, 0x00FFFF, 0x00FF00, 0xFFFF00, 0x000080, 0x800000, 0x800000};
  const COLORREF ink[] = {0, 0, 0, 0, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF};
  for (int r = 0; r < 7; r++) {
    EXPECT_EQ(cell(v, r, 10).background, band[r]) << r;
    EXPECT_EQ(cell(v, r, 25).background, band[r]) << r;
    EXPECT_EQ(cell(v, r, 10).text_colour, ink[r]) << r;
  }
  EXPECT_EQ(cell(v, 0, 27).background, 0x800000u);  // the middle column never bands
  EXPECT_EQ(cell(v, 9, 10).background, 0x800000u);  // both sides empty

  // A header click leaves the book's order.
  v->ListView()->SortByColumn(v->ListView()->FindColumnPos(10));
  EXPECT_EQ(text(v, 0, 10), QStringLiteral("10.05 "));

  // All 20 rows follow the book, whatever the window's height.
  v->GetParentFrame()->resize(620, 120);
  kv_pump_events(10);
  std::vector<Entry> deep;
  for (int i = 0; i < 20; i++) deep.push_back({20.0f - i * 0.01f, 1, 9, 36000});
  ASSERT_TRUE(
      push_and_wait(v, book_record(QR_LEVEL2, true, deep, {}), 19, 10, QStringLiteral("19.81 ")));
  EXPECT_EQ(text(v, 12, 10), QStringLiteral("19.88 "));

  // Books pushed while the window formats never mix in one redraw: every
  // row shows the same book.
  std::vector<Entry> ones(20, Entry{11.0f, 1, 9, 36000}), twos(20, Entry{22.0f, 2, 9, 36000});
  ASSERT_TRUE(
      push_and_wait(v, book_record(QR_LEVEL2, true, ones, {}), 19, 10, QStringLiteral("11.00 ")));
  int mixed = 0;
  for (int i = 0; i < 200; i++) {
    ASSERT_TRUE(relay_.push(book_record(QR_LEVEL2, true, i % 2 ? twos : ones, {})));
    kv_pump_events(0);
    if (text(v, 0, 10) != text(v, 19, 10)) mixed++;
  }
  ASSERT_TRUE(
      push_and_wait(v, book_record(QR_LEVEL2, true, twos, {}), 19, 10, QStringLiteral("22.00 ")));
  EXPECT_EQ(mixed, 0);

  // Closing gives the window's user back.
  v->GetParentFrame()->close();
  EXPECT_TRUE(kv_wait_until([&] {
    kv_lock guard(g_chart_lock);
    return held->users == 1;
  }));
  delete_multiquote(held);
}

TEST_F(DepthWindows, OrderBookSizesInsideMarketAndTwoWindowsASymbol) {
  CKvDepthView* v = open(KIND_ORDER_BOOK);
  ASSERT_TRUE(v);
  EXPECT_FALSE(v->IsLevel2());
  EXPECT_EQ(v->ListView()->ColumnCount(), ORDER_BOOK_COLUMNS_MAX);
  // The default order puts the bid size before the bid.
  EXPECT_LT(v->ListView()->FindColumnPos(25), v->ListView()->FindColumnPos(10));
  ASSERT_TRUE(drop(v, QStringLiteral("IBM")));
  EXPECT_EQ(v->GetDocument()->GetTitle(), QStringLiteral("IBM - Order Book"));
  ASSERT_TRUE(numbered(v));
  std::vector<Entry> b = {{10.1f, 1250, 15, 36000}, {10.0f, 300, 9, 36001}};
  ASSERT_TRUE(
      push_and_wait(v, book_record(QR_ORDER_BOOK, false, b, {}), 0, 25, QStringLiteral("1,250")));
  EXPECT_EQ(text(v, 0, 23), QStringLiteral("ISLD"));
  EXPECT_EQ(text(v, 0, 10), QStringLiteral("10.10 "));
  v->ToggleSizeInHundreds();
  EXPECT_EQ(text(v, 0, 25), QStringLiteral("12"));
  v->ToggleSizeInHundreds();

  // "Include Inside Market" merges the quote's bid in front of the book.
  {
    kv_lock guard(g_chart_lock);
    v->Handle()->bid = 10.2f;
    v->Handle()->bid_size = 700;
  }
  static_cast<CKvOrderBookView*>(v)->ToggleInsideMarket();
  ASSERT_TRUE(
      push_and_wait(v, book_record(QR_ORDER_BOOK, false, b, {}), 0, 10, QStringLiteral("10.20 ")));
  EXPECT_EQ(text(v, 0, 25), QStringLiteral("700"));
  EXPECT_EQ(text(v, 0, 23), QStringLiteral("-MM-"));
  EXPECT_EQ(text(v, 1, 25), QStringLiteral("1,250"));

  // Only the order book's menu has "Include Inside Market"; the level 2
  // menu has the "MM # Best" columns.
  QMenu* menu = v->BuildPopupMenu(v);
  ASSERT_TRUE(menu);
  QAction* inside = kv_find_action(menu, 33027);
  ASSERT_TRUE(inside);
  EXPECT_TRUE(inside->isChecked());
  EXPECT_FALSE(kv_find_action(menu, 33082));
  EXPECT_TRUE(kv_find_action(menu, 33080)->isChecked());
  CKvDepthView* l2 = open(KIND_LEVEL2);
  ASSERT_TRUE(l2);
  QMenu* menu2 = l2->BuildPopupMenu(l2);
  EXPECT_FALSE(kv_find_action(menu2, 33027));
  EXPECT_TRUE(kv_find_action(menu2, 33082));
  // A column entry toggles its column.
  kv_find_action(menu2, 33082)->trigger();
  EXPECT_FALSE(l2->ListView()->ColumnShown(30));

  // Two order book windows of a symbol at most: a third gets no book.
  CKvDepthView* second = open(KIND_ORDER_BOOK);
  CKvDepthView* third = open(KIND_ORDER_BOOK);
  ASSERT_TRUE(second && third);
  ASSERT_TRUE(drop(second, QStringLiteral("IBM")));
  EXPECT_TRUE(second->Handle());
  ASSERT_TRUE(drop(third, QStringLiteral("IBM")));
  EXPECT_EQ(third->Handle(), nullptr);
  EXPECT_EQ(third->ListView()->GetItemCount(), DEPTH_ROWS);  // still a working window
}

TEST_F(DepthWindows, UpdatesAreTracedWithTheMarketSwitch) {
  CKvDepthView* l2 = open(KIND_LEVEL2);
  CKvDepthView* ob = open(KIND_ORDER_BOOK);
  ASSERT_TRUE(l2 && ob);
  auto traced = [](CKvDepthView* v, unsigned message) {
    testing::internal::CaptureStderr();
    kv_lparam entry = message == WM_TRADE_UPDATE ? (kv_lparam)calloc(1, 32) : 0;
    v->WindowProc(message, 0, entry);
    return testing::internal::GetCapturedStderr();
  };
  // Other threads may trace meanwhile: each line is looked for.
  const struct {
    CKvDepthView* view;
    unsigned message;
    const char* line;
  } cases[] = {
      {l2, WM_LEVEL2_UPDATE, "CKvLev2View::OnUpdateFromThread()\n"},
      {l2, WM_TRADE_UPDATE, "CKvLev2View::OnUpdateFromThread1()\n"},
      {ob, WM_ORDERBOOK_UPDATE, "CKvOrderBookView::OnUpdateFromThread()\n"},
      {ob, WM_TRADE_UPDATE, "CKvOrderBookView::OnUpdateFromThread1()\n"},
  };
  g_option_flags |= OPT_TRACE_MARKET;
  for (const auto& c : cases)
    EXPECT_NE(traced(c.view, c.message).find(c.line), std::string::npos) << c.line;
  g_option_flags &= ~OPT_TRACE_MARKET;
  EXPECT_EQ(traced(l2, WM_LEVEL2_UPDATE).find("CKvLev2View"), std::string::npos);
}

TEST_F(DepthWindows, ColumnsAndFlagsComeBackWithThePageLayout) {
  CKvDepthView* v = open(KIND_LEVEL2);
  ASSERT_TRUE(v);
  ASSERT_TRUE(drop(v, QStringLiteral("IBM")));
  ASSERT_TRUE(numbered(v));
  CListViewEx* list = v->ListView();
  EXPECT_EQ(list->ToggleColumn(31), 1);  // ask "Cnt" off
  list->horizontalHeader()->moveSection(
      list->horizontalHeader()->visualIndex(list->ColumnIndex(10)), 0);
  list->setColumnWidth(list->ColumnIndex(11), 77);
  v->ToggleSizeInHundreds();  // off
  std::vector<int> ids;
  for (int i : list->GetColumnOrder()) ids.push_back(list->ColumnId(i));

  page_list back{};
  ASSERT_TRUE(window_through_page(static_cast<CKvWindowDoc*>(v->GetDocument()), &back));
  v->GetParentFrame()->close();
  kv_pump_events(10);
  ASSERT_TRUE(kv_window_docs(KIND_LEVEL2).empty());

  ASSERT_TRUE(app_->OpenDescriptorWindow(back.head, 1, nullptr));
  std::vector<CKvWindowDoc*> docs = kv_window_docs(KIND_LEVEL2);
  ASSERT_EQ(docs.size(), 1u);
  auto* w = dynamic_cast<CKvDepthView*>(docs[0]->GetFirstView());
  ASSERT_TRUE(w);
  EXPECT_EQ(docs[0]->Settings().items, nullptr);
  EXPECT_EQ(w->GetDocument()->GetTitle(), QStringLiteral("IBM - Level II"));
  CListViewEx* again = w->ListView();
  std::vector<int> ids_back;
  for (int i : again->GetColumnOrder()) ids_back.push_back(again->ColumnId(i));
  EXPECT_EQ(ids_back, ids);
  EXPECT_EQ(again->GetColumnWidth(again->ColumnIndex(11)), 77);
  EXPECT_FALSE(docs[0]->Settings().display_flags & DEPTH_SIZE_IN_HUNDREDS);
  ASSERT_TRUE(numbered(w));  // subscribed again
  std::vector<Entry> b = {{10.5f, 4, 9, 36000}};
  ASSERT_TRUE(push_and_wait(w, book_record(QR_LEVEL2, true, b, {}), 0, 25, QStringLiteral("400")));
  page_list_free(&back);

  // A page claiming 500 columns of rubbish gives a working window with the
  // default columns.
  WindowDescriptor* bad = new_descriptor();
  bad->kind = bad->settings.window_kind = KIND_ORDER_BOOK;
  snprintf(bad->settings.symbol, sizeof bad->settings.symbol, "MSFT");
  bad->settings.item_count = 500;
  bad->settings.items = calloc(500, PAGE_ITEM_SIZE);
  memset(bad->settings.items, 0x5A, 500 * PAGE_ITEM_SIZE);
  bad->settings.normal_rect[0] = -40;
  bad->settings.normal_rect[1] = -10;
  bad->settings.normal_rect[2] = 400;
  bad->settings.normal_rect[3] = 300;
  ASSERT_TRUE(app_->OpenDescriptorWindow(bad, 1, nullptr));
  free_descriptor(bad);
  docs = kv_window_docs(KIND_ORDER_BOOK);
  ASSERT_EQ(docs.size(), 1u);
  auto* ob = dynamic_cast<CKvDepthView*>(docs[0]->GetFirstView());
  ASSERT_TRUE(ob);
  EXPECT_EQ(ob->ListView()->ColumnCount(), ORDER_BOOK_COLUMNS_MAX);
  EXPECT_EQ(ob->ListView()->GetItemCount(), DEPTH_ROWS);
  KvWindowPlacement wp = ob->GetParentFrame()->GetWindowPlacement();
  EXPECT_GE(wp.normal.left, 0);
  EXPECT_GE(wp.normal.top, 0);
}

TEST_F(DepthWindows, PictureShowsTheBands) {
  CKvDepthView* v = open(KIND_LEVEL2);
  ASSERT_TRUE(v);
  ASSERT_TRUE(drop(v, QStringLiteral("IBM")));
  ASSERT_TRUE(numbered(v));
  const float bids[] = {10.05f, 10.05f, 10.04f, 10.03f, 10.02f, 10.01f, 10.00f};
  const float asks[] = {10.06f, 10.07f, 10.07f, 10.08f, 10.09f, 10.10f};
  const int who[] = {15, 9, 11, 18, 14, 23, 24};
  std::vector<Entry> b, a;
  for (int i = 0; i < 7; i++)
    b.push_back({bids[i], uint32_t(3 + i), who[i], 34200 + 7 * i, 1 + i % 3});
  for (int i = 0; i < 6; i++) a.push_back({asks[i], uint32_t(2 + i), who[6 - i], 34260 + 5 * i, 1});
  ASSERT_TRUE(
      push_and_wait(v, book_record(QR_LEVEL2, true, b, a), 6, 10, QStringLiteral("10.00 ")));
  kv_pump_events(20);
  CListViewEx* list = v->ListView();
  QImage shot = list->viewport()->grab().toImage();
  kv_save_png(v->GetParentFrame()->grab().toImage(),
              QStringLiteral(KV_BINARY_DIR "/level2_window.png"));
  const COLORREF band[] = {0x00FFFF, 0x00FFFF, 0x00FF00, 0xFFFF00, 0x000080, 0x800000, 0x800000};
  int xb = list->columnViewportPosition(list->ColumnIndex(28)) + 2;
  for (int r = 0; r < 7; r++)
    EXPECT_EQ(kv_colorref_from_rgb(shot.pixel(xb, list->rowViewportPosition(r) + 2)), band[r]) << r;
  // Asks: 10.06 yellow, 10.07 green twice, then cyan, dark red, navy.
  const COLORREF ask_band[] = {0x00FFFF, 0x00FF00, 0x00FF00, 0xFFFF00, 0x000080, 0x800000};
  int xa = list->columnViewportPosition(list->ColumnIndex(29)) + 2;
  for (int r = 0; r < 6; r++)
    EXPECT_EQ(kv_colorref_from_rgb(shot.pixel(xa, list->rowViewportPosition(r) + 2)), ask_band[r])
        << r;
}

TEST_F(DepthWindows, Level2FrameSplitsIntoPanesThatShareTheRecordsTwoSlots) {
  CKvDepthView* v = open(KIND_LEVEL2);
  ASSERT_TRUE(v);
  auto* f = dynamic_cast<CKvLev2Frame*>(v->GetParentFrame());
  ASSERT_TRUE(f);
  f->resize(700, 420);
  kv_pump_events(10);
  mqt* held = get_multiquote("IBM");
  ASSERT_TRUE(held);
  ASSERT_TRUE(drop(v, QStringLiteral("IBM")));
  ASSERT_TRUE(numbered(v));
  v->ToggleSizeInHundreds();  // off: a new pane leaves the window's options alone
  auto users = [&] {
    kv_lock guard(g_chart_lock);
    return held->users;
  };
  EXPECT_EQ(users(), 2);

  // A new column: another view of the window, subscribed to its symbol
  // through the record's second slot.
  ASSERT_TRUE(f->SplitColumn(340));
  auto* right = dynamic_cast<CKvDepthView*>(f->GetPane(0, 1));
  ASSERT_TRUE(right);
  EXPECT_EQ(right->GetDocument(), v->GetDocument());
  EXPECT_EQ(v->GetDocument()->GetTitle(), QStringLiteral("IBM - Level II"));
  EXPECT_FALSE(static_cast<CKvWindowDoc*>(v->GetDocument())->Settings().display_flags &
               DEPTH_SIZE_IN_HUNDREDS);
  ASSERT_TRUE(numbered(right));
  EXPECT_EQ(users(), 3);
  // Both panes show each book.
  std::vector<Entry> b = {{10.5f, 4, 9, 36000}, {10.4f, 2, 15, 36001}};
  ASSERT_TRUE(push_and_wait(v, book_record(QR_LEVEL2, true, b, {}), 0, 25, QStringLiteral("400")));
  ASSERT_TRUE(kv_wait_until([&] { return text(right, 1, 25) == QStringLiteral("200"); }));
  EXPECT_EQ(cell(right, 1, 10).background, kv_depth_level_colours[1]);

  // A new row: two more panes, which the record's two slots refuse. They
  // stay working windows with empty rows; nothing is taken from the record.
  ASSERT_TRUE(f->SplitRow(200));
  ASSERT_EQ(f->GetViews().size(), 4u);
  for (int c = 0; c < 2; c++) {
    auto* p = dynamic_cast<CKvDepthView*>(f->GetPane(1, c));
    ASSERT_TRUE(p);
    EXPECT_EQ(p->Handle(), nullptr);
    EXPECT_EQ(p->ListView()->GetItemCount(), DEPTH_ROWS);
    p->Resubscribe();  // "Refresh" is refused the same way
    EXPECT_EQ(p->Handle(), nullptr);
  }
  EXPECT_EQ(users(), 3);
  b[0].size = 6;
  ASSERT_TRUE(push_and_wait(v, book_record(QR_LEVEL2, true, b, {}), 0, 25, QStringLiteral("600")));
  ASSERT_TRUE(kv_wait_until([&] { return text(right, 0, 25) == QStringLiteral("600"); }));
  EXPECT_EQ(text(static_cast<CKvDepthView*>(f->GetPane(1, 1)), 0, 25), QString());
  kv_pump_events(20);
  kv_save_png(f->grab().toImage(), QStringLiteral(KV_BINARY_DIR "/level2_split_window.png"));

  // A symbol dropped on a refused pane is the window's: that pane takes a
  // slot of the new record first, the others follow as slots allow, and
  // the old record gets back every user the panes took.
  mqt* msft = get_multiquote("MSFT");
  ASSERT_TRUE(msft);
  auto* lower_right = static_cast<CKvDepthView*>(f->GetPane(1, 1));
  ASSERT_TRUE(drop(lower_right, QStringLiteral("MSFT")));
  EXPECT_EQ(v->GetDocument()->GetTitle(), QStringLiteral("MSFT - Level II"));
  EXPECT_EQ(lower_right->Handle(), msft);
  EXPECT_EQ(v->Handle(), msft);
  EXPECT_EQ(right->Handle(), nullptr);
  EXPECT_EQ(users(), 1);
  ASSERT_TRUE(drop(v, QStringLiteral("IBM")));  // back, as the rest expects
  ASSERT_TRUE(numbered(v));
  ASSERT_TRUE(numbered(right));
  EXPECT_EQ(lower_right->Handle(), nullptr);
  delete_multiquote(msft);

  // Removing the right column gives its slot back; a lower pane takes it.
  ASSERT_TRUE(f->DeleteColumn(1));
  EXPECT_EQ(users(), 2);
  auto* lower = static_cast<CKvDepthView*>(f->GetPane(1, 0));
  lower->Resubscribe();
  ASSERT_TRUE(numbered(lower));
  EXPECT_EQ(users(), 3);

  // The page keeps the window, not its panes: it comes back in its own
  // frame with one subscribed pane.
  page_list saved{};
  ASSERT_TRUE(window_through_page(static_cast<CKvWindowDoc*>(v->GetDocument()), &saved));
  // Closing the frame gives every pane's user back and frees the slots.
  f->close();
  EXPECT_TRUE(kv_wait_until([&] { return users() == 1; }));
  {
    kv_lock guard(g_chart_lock);
    EXPECT_EQ(find_book_slots(held), nullptr);
  }
  ASSERT_TRUE(app_->OpenDescriptorWindow(saved.head, 1, nullptr));
  page_list_free(&saved);
  std::vector<CKvWindowDoc*> docs = kv_window_docs(KIND_LEVEL2);
  ASSERT_EQ(docs.size(), 1u);
  auto* back = dynamic_cast<CKvDepthView*>(docs[0]->GetFirstView());
  ASSERT_TRUE(back);
  auto* f2 = dynamic_cast<CKvLev2Frame*>(back->GetParentFrame());
  ASSERT_TRUE(f2);
  EXPECT_EQ(f2->GetViews().size(), 1u);
  EXPECT_EQ(back->GetDocument()->GetTitle(), QStringLiteral("IBM - Level II"));
  ASSERT_TRUE(numbered(back));
  ASSERT_TRUE(
      push_and_wait(back, book_record(QR_LEVEL2, true, b, {}), 0, 25, QStringLiteral("600")));
  f2->close();
  EXPECT_TRUE(kv_wait_until([&] { return users() == 1; }));
  delete_multiquote(held);
}

TEST_F(DepthWindows, OrderBookPictureShowsTheBands) {
  CKvDepthView* v = open(KIND_ORDER_BOOK);
  ASSERT_TRUE(v);
  ASSERT_TRUE(drop(v, QStringLiteral("IBM")));
  ASSERT_TRUE(numbered(v));
  const float bids[] = {10.05f, 10.05f, 10.04f, 10.03f, 10.02f, 10.01f, 10.00f};
  const float asks[] = {10.06f, 10.06f, 10.07f, 10.08f, 10.09f, 10.10f};
  std::vector<Entry> b, a;
  for (int i = 0; i < 7; i++)
    b.push_back({bids[i], uint32_t(100 * (i + 1)), 9 + i, 34200 + 11 * i});
  for (int i = 0; i < 6; i++)
    a.push_back({asks[i], uint32_t(250 * (i + 1)), 20 - i, 34300 + 3 * i});
  ASSERT_TRUE(
      push_and_wait(v, book_record(QR_ORDER_BOOK, false, b, a), 6, 10, QStringLiteral("10.00 ")));
  kv_pump_events(20);
  CListViewEx* list = v->ListView();
  QImage shot = list->viewport()->grab().toImage();
  kv_save_png(v->GetParentFrame()->grab().toImage(),
              QStringLiteral(KV_BINARY_DIR "/order_book_window.png"));
  // Bids: yellow, yellow, green, cyan, dark red, navy, navy; asks: yellow
  // twice, green, cyan, dark red, navy. Below the book the rows are navy,
  // and so is the middle column.
  const COLORREF bid_band[] = {0x00FFFF, 0x00FFFF, 0x00FF00, 0xFFFF00,
                               0x000080, 0x800000, 0x800000};
  const COLORREF ask_band[] = {0x00FFFF, 0x00FFFF, 0x00FF00, 0xFFFF00, 0x000080, 0x800000};
  const int xb = list->columnViewportPosition(list->ColumnIndex(10)) + 2;
  const int xa = list->columnViewportPosition(list->ColumnIndex(11)) + 2;
  const int xm = list->columnViewportPosition(list->ColumnIndex(27)) + 2;
  auto at = [&](int x, int row) {
    return kv_colorref_from_rgb(shot.pixel(x, list->rowViewportPosition(row) + 2));
  };
  for (int r = 0; r < 7; r++) EXPECT_EQ(at(xb, r), bid_band[r]) << r;
  for (int r = 0; r < 6; r++) EXPECT_EQ(at(xa, r), ask_band[r]) << r;
  EXPECT_EQ(at(xa, 6), 0x800000u);
  EXPECT_EQ(at(xb, 8), 0x800000u);
  EXPECT_EQ(at(xm, 0), 0x800000u);
}

}  // namespace

namespace {

// Repeated prices on either side take the band of their price, not of
// their row.
TEST_F(DepthWindows, OrderBookBandsFollowRepeatedPricesOnBothSides) {
  CKvDepthView* v = open(KIND_ORDER_BOOK);
  ASSERT_TRUE(v);
  ASSERT_TRUE(drop(v, QStringLiteral("IBM")));
  ASSERT_TRUE(numbered(v));
  const float bids[] = {20.10f, 20.09f, 20.09f, 20.08f, 20.07f, 20.06f};
  const float asks[] = {20.11f, 20.12f, 20.13f, 20.13f, 20.14f};
  std::vector<Entry> b, a;
  for (int i = 0; i < 6; i++) b.push_back({bids[i], uint32_t(100 * (i + 1)), 9 + i, 34200 + i});
  for (int i = 0; i < 5; i++) a.push_back({asks[i], uint32_t(150 * (i + 1)), 15 + i, 34300 + i});
  ASSERT_TRUE(
      push_and_wait(v, book_record(QR_ORDER_BOOK, false, b, a), 5, 10, QStringLiteral("20.06 ")));
  kv_pump_events(20);
  CListViewEx* list = v->ListView();
  QImage shot = list->viewport()->grab().toImage();
  const COLORREF band[] = {0x00FFFF, 0x00FF00, 0x00FF00, 0xFFFF00, 0x000080, 0x800000};
  const int xb = list->columnViewportPosition(list->ColumnIndex(25)) + 2;
  for (int r = 0; r < 6; r++)
    EXPECT_EQ(kv_colorref_from_rgb(shot.pixel(xb, list->rowViewportPosition(r) + 2)), band[r]) << r;
  const COLORREF ask_band[] = {0x00FFFF, 0x00FF00, 0xFFFF00, 0xFFFF00, 0x000080};
  const int xa = list->columnViewportPosition(list->ColumnIndex(26)) + 2;
  for (int r = 0; r < 5; r++)
    EXPECT_EQ(kv_colorref_from_rgb(shot.pixel(xa, list->rowViewportPosition(r) + 2)), ask_band[r])
        << r;
  // Rows past both sides' entries are navy, as is the middle column.
  EXPECT_EQ(kv_colorref_from_rgb(shot.pixel(xb, list->rowViewportPosition(7) + 2)), 0x800000u);
  EXPECT_EQ(kv_colorref_from_rgb(shot.pixel(list->columnViewportPosition(list->ColumnIndex(27)) + 2,
                                            list->rowViewportPosition(0) + 2)),
            0x800000u);
}

}  // namespace
