// The quotes window in a started application: rows from a symbol list,
// values from records stored through save_mqt_data, the one-cent frames,
// drops, columns through a page layout, and its picture.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QDropEvent>
#include <QHeaderView>
#include <QMenu>
#include <QMimeData>
#include <cstring>

#include "data/chartthreads.h"
#include "platform/locks.h"
#include "platform/qt/color.h"
#include "platform/qt/docview.h"
#include "platform/qt/frames.h"
#include "platform/qt/menus.h"
#include "platform/qt/test_harness.h"
#include "platform/sync.h"
#include "quotes/mqt.h"
#include "shell/app.h"
#include "shell/core/pagefile.h"
#include "shell/mainfrm.h"
#include "shell/tests/shell_fixture.h"
#include "shell/windowdoc.h"
#include "windows/quotesview.h"

namespace {

enum : unsigned { ID_SLF_QUOTES = 32969 };
const int DAY = 20260105;

class QuotesWindow : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    write_quote_config(0);
    app_ = start();
  }
  void TearDown() override {
    stop_chart_threads();
    ShellTest::TearDown();
  }
  // A bid and ask, then a trade, as a quote source stores them.
  void store(const char* symbol, float bid, float ask, float last, float prev_close) {
    mqt* r = create_multiquote_struct(symbol);
    ASSERT_TRUE(r);
    r->quote_date = DAY;
    r->quote_time = 36000;
    r->bid = bid;
    r->ask = ask;
    r->prev_close = prev_close;
    r->feed_flags = FEED_DATE | FEED_TIME | FEED_BID | FEED_ASK | FEED_PREV_CLOSE;
    ASSERT_EQ(save_mqt_data(r, 3), 1);
    r->trade_time = 36001;
    r->last = last;
    r->last_size = 100;
    r->feed_flags = FEED_DATE | FEED_TRADE_TIME | FEED_LAST | FEED_LAST_SIZE;
    ASSERT_EQ(save_mqt_data(r, 3), 1);
    // The source keeps its use of the record, as a quote thread does.
  }
  CKvQuotes1View* open_list() {
    write_data("Lists.slf", "IBM International\nMSFT\nAAPL\n");
    EXPECT_GT(app_->OpenSymbolListFile(data_file("Lists.slf").c_str(), nullptr), 0);
    EXPECT_TRUE(app_->MainFrame()->RouteCommand(ID_SLF_QUOTES));
    std::vector<CKvWindowDoc*> docs = kv_window_docs(KIND_QUOTES);
    if (docs.empty()) return nullptr;
    auto* v = dynamic_cast<CKvQuotes1View*>(docs.back()->GetFirstView());
    if (v && v->GetParentFrame()) {
      v->GetParentFrame()->showNormal();
      v->GetParentFrame()->resize(760, 260);
      kv_pump_events(10);
    }
    return v;
  }
  QString cell(CKvQuotes1View* v, int row, int id) {
    return v->ListView()->GetItemText(row, v->ListView()->FindColumnPos(id));
  }
  ListCell& cell_of(CKvQuotes1View* v, int row, int id) {
    return v->ListView()->Cells(row)[v->ListView()->FindColumnPos(id)];
  }
  void move(const char* symbol, float bid) {
    kv_lock hold(g_chart_lock);
    mqt* r = find_mqt(symbol);
    r->quote_time = 36010;
    r->bid = bid;
    r->ask = bid + 0.02f;
    r->feed_flags = FEED_DATE | FEED_TIME | FEED_BID | FEED_ASK;
    save_mqt_data(r, 3);
  }
  CKvChartApp* app_ = nullptr;
};

TEST_F(QuotesWindow, RowsFromTheListShowStoredQuotesAndFrameMovesOfACent) {
  store("IBM", 10.00f, 10.02f, 10.01f, 9.50f);
  store("MSFT", 20.00f, 20.04f, 20.02f, 20.50f);
  CKvQuotes1View* v = open_list();
  ASSERT_TRUE(v);
  ASSERT_EQ(v->RowCount(), 3);
  EXPECT_EQ(cell(v, 0, 0), QStringLiteral("IBM"));
  EXPECT_EQ(cell(v, 0, 10), QStringLiteral("10.00"));
  EXPECT_EQ(cell(v, 0, 5), QStringLiteral("10.01"));
  EXPECT_EQ(cell(v, 0, 7), QStringLiteral("0.51"));
  EXPECT_EQ(cell_of(v, 0, 7).text_colour, RGB(0, 128, 0));
  EXPECT_EQ(cell_of(v, 1, 7).text_colour, RGB(255, 0, 0));
  EXPECT_TRUE(v->GetDocument()->GetTitle().contains(QStringLiteral("Quotes")));

  // 0.009 leaves no frame; a cent up frames green, a cent down red.
  move("IBM", 10.009f);
  v->GetDocument()->UpdateAllViews(nullptr);
  EXPECT_EQ(cell_of(v, 0, 10).frame, cell_of(v, 0, 10).background);
  move("IBM", 10.02f);
  static_cast<CKvWindowDoc*>(v->GetDocument())->RefreshFromQuotes();
  EXPECT_EQ(cell_of(v, 0, 10).frame, RGB(0, 128, 0));
  move("IBM", 10.00f);
  app_->RefreshQuoteWindows();
  EXPECT_EQ(cell_of(v, 0, 10).frame, RGB(255, 0, 0));
  app_->RefreshQuoteWindows();  // no move since: the frame goes
  EXPECT_EQ(cell_of(v, 0, 10).frame, cell_of(v, 0, 10).background);
}

TEST_F(QuotesWindow, NewWindowFrameFitsItsColumnsAndRows) {
  write_data("Lists.slf", "IBM International\nMSFT\nAAPL\n");
  ASSERT_GT(app_->OpenSymbolListFile(data_file("Lists.slf").c_str(), nullptr), 0);
  ASSERT_TRUE(app_->MainFrame()->RouteCommand(ID_SLF_QUOTES));
  std::vector<CKvWindowDoc*> docs = kv_window_docs(KIND_QUOTES);
  ASSERT_EQ(docs.size(), 1u);
  auto* v = dynamic_cast<CKvQuotes1View*>(docs[0]->GetFirstView());
  ASSERT_TRUE(v && v->GetParentFrame());
  CListViewEx* list = v->ListView();
  KvWindowPlacement wp = v->GetParentFrame()->GetWindowPlacement();
  EXPECT_EQ(wp.normal.right - wp.normal.left, list->ColumnsSpan() + 10);
  EXPECT_EQ(wp.normal.bottom - wp.normal.top,
            (list->verticalHeader()->defaultSectionSize() + 3) * 4 +
                list->horizontalHeader()->sizeHint().height());
}

TEST_F(QuotesWindow, DropsTakeOneCleanSymbolOnce) {
  CKvQuotes1View* v = open_list();
  ASSERT_TRUE(v);
  struct Case {
    QString text;
    int added;
  };
  const Case cases[] = {
      {QStringLiteral("ibm"), 0},                     // listed, without case
      {QString(2000, QLatin1Char('X')), 0},           // too long for a symbol
      {QStringLiteral("  "), 0},                      // nothing
      {QStringLiteral("A\tB"), 0},                    // control character
      {QStringLiteral("  nvda \nsecond line\n"), 1},  // the first line, trimmed
      {QStringLiteral("NVDA"), 0},                    // now listed
  };
  for (const Case& c : cases) {
    int before = v->RowCount();
    QMimeData data;
    data.setText(c.text);
    // As a drag over the window delivers it: enter, then drop.
    QDragEnterEvent enter(QPoint(20, 40), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                          Qt::NoModifier);
    QCoreApplication::sendEvent(v, &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(20, 40), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(v, &drop);
    EXPECT_EQ(v->RowCount() - before, c.added) << c.text.left(20).toStdString();
  }
  EXPECT_EQ(cell(v, 3, 0), QStringLiteral("nvda"));
  // Every column of the table fits; one already shown is refused.
  for (int id : {2, 8, 13, 19, 20, 21, 22, 32, 33, 34, 35, 36, 14, 17, 73, 74, 75, 76, 77, 78, 79})
    EXPECT_EQ(v->ToggleColumn(id), 1) << id;
  EXPECT_EQ(v->ListView()->ColumnCount(), 32);
  EXPECT_EQ(v->ListView()->AddColumn(19), 0);
  EXPECT_EQ(v->ListView()->GetColumnCount(), 32);
  EXPECT_EQ(v->RowCount(), 4);
}

TEST_F(QuotesWindow, PopupNamesEachColumnEntryAndFieldsComeFromTheRecord) {
  store("IBM", 10.00f, 10.02f, 10.01f, 9.50f);
  {
    kv_lock hold(g_chart_lock);
    mqt* r = find_mqt("IBM");
    r->week52_high = 12.5f;
    r->week52_low = 8.25f;
    r->index_future_premium = 1.5;
    r->hist_volatility = 0.35;
    r->implied_volatility = 0.41;
    r->call_volume = 1200;
    r->call_open_interest = 3400;
    r->put_volume = 560;
    r->put_open_interest = 7800;
  }
  CKvQuotes1View* v = open_list();
  ASSERT_TRUE(v);
  // Every column entry sits in "Columns" under its own text, checked when
  // its column is shown.
  QMenu* menu = v->BuildColumnMenu(v);
  ASSERT_TRUE(menu);
  QAction* bid = kv_find_action(menu, 33056);
  ASSERT_TRUE(bid);
  QMenu* columns = qobject_cast<QMenu*>(bid->parent());
  ASSERT_TRUE(columns);
  EXPECT_EQ(columns->title(), QStringLiteral("Columns"));
  const struct {
    unsigned command;
    const char* text;
    bool shown;
  } entries[] = {
      {33056, "Bid", true},
      {33045, "Tick", true},
      {33058, "Day Open", false},
      {33062, "Earnings/Share (EPS)", false},
      {33066, "Historic Volatility", false},
      {33302, "Put Open Interest", false},
  };
  for (const auto& e : entries) {
    QAction* a = kv_find_action(menu, e.command);
    ASSERT_TRUE(a) << e.command;
    EXPECT_EQ(a->text(), QString::fromLatin1(e.text)) << e.command;
    EXPECT_EQ(a->parent(), columns) << e.command;
    EXPECT_EQ(a->isChecked(), e.shown) << e.command;
  }
  kv_find_action(menu, 33063)->trigger();  // "Year's High Price" on
  EXPECT_EQ(cell(v, 0, 35), QStringLiteral("12.50"));

  const struct {
    int id;
    const char* text;
  } fields[] = {
      {36, "8.25"}, {73, "1.50"}, {74, "0.35"}, {75, "0.41"},
      {76, "1200"}, {77, "3400"}, {78, "560"},  {79, "7800"},
  };
  for (const auto& f : fields) {
    ASSERT_EQ(v->ToggleColumn(f.id), 1) << f.id;
    EXPECT_EQ(cell(v, 0, f.id), QString::fromLatin1(f.text)) << f.id;
    EXPECT_TRUE(cell(v, 1, f.id) == QStringLiteral("0") ||
                cell(v, 1, f.id) == QStringLiteral("0.00"))
        << f.id;  // MSFT has none stored
  }
}

TEST_F(QuotesWindow, ColumnsOrderAndWidthsSurviveAPageLayout) {
  store("IBM", 10.00f, 10.02f, 10.01f, 9.50f);
  CKvQuotes1View* v = open_list();
  ASSERT_TRUE(v);
  EXPECT_EQ(v->ToggleColumn(19), 1);  // Gap on
  EXPECT_EQ(v->ToggleColumn(9), 1);   // Volume off
  CListViewEx* list = v->ListView();
  list->horizontalHeader()->moveSection(list->horizontalHeader()->visualIndex(list->ColumnIndex(5)),
                                        0);
  list->setColumnWidth(list->ColumnIndex(11), 83);
  std::vector<int> ids;
  for (int i : list->GetColumnOrder()) ids.push_back(list->ColumnId(i));

  // Into a page file and back, as the page layout writer and reader do.
  page_list l{};
  WindowDescriptor* d = new_descriptor();
  static_cast<CKvWindowDoc*>(v->GetDocument())->FillWindowDescriptor(d);
  ASSERT_GT(d->settings.item_count, 0);
  page_list_append(&l, d);
  std::string image;
  build_pages_file(&l, &image);
  page_list_free(&l);
  page_list back{};
  ASSERT_EQ(parse_pages_file((const uint8_t*)image.data(), image.size(), &back), PAGE_READ_OK);
  ASSERT_TRUE(back.head);
  v->GetParentFrame()->close();
  kv_pump_events(10);
  ASSERT_TRUE(kv_window_docs(KIND_QUOTES).empty());

  ASSERT_TRUE(app_->OpenDescriptorWindow(back.head, 1, nullptr));
  std::vector<CKvWindowDoc*> docs = kv_window_docs(KIND_QUOTES);
  ASSERT_EQ(docs.size(), 1u);
  auto* w = dynamic_cast<CKvQuotes1View*>(docs[0]->GetFirstView());
  ASSERT_TRUE(w);
  EXPECT_EQ(docs[0]->Settings().items, nullptr);  // the view took the block over
  CListViewEx* again = w->ListView();
  std::vector<int> ids_back;
  for (int i : again->GetColumnOrder()) ids_back.push_back(again->ColumnId(i));
  EXPECT_EQ(ids_back, ids);
  EXPECT_EQ(again->GetColumnWidth(again->ColumnIndex(11)), 83);
  EXPECT_EQ(w->RowCount(), 3);
  EXPECT_FALSE(cell(w, 0, 19).isEmpty());  // the added Gap column is filled
  page_list_free(&back);
}

TEST_F(QuotesWindow, PictureShowsRowColoursAndFrames) {
  store("IBM", 10.00f, 10.02f, 10.01f, 9.50f);
  store("MSFT", 20.00f, 20.04f, 20.02f, 20.50f);
  store("AAPL", 150.00f, 150.04f, 150.02f, 149.00f);
  CKvQuotes1View* v = open_list();
  ASSERT_TRUE(v);
  move("MSFT", 20.25f);
  app_->RefreshQuoteWindows();
  kv_pump_events(10);
  CListViewEx* list = v->ListView();
  QImage shot = list->viewport()->grab().toImage();
  kv_save_png(v->GetParentFrame()->grab().toImage(),
              QStringLiteral(KV_BINARY_DIR "/quotes_window.png"));
  int y1 = list->rowViewportPosition(1);
  int h = list->rowHeight(1);
  int xb = list->columnViewportPosition(list->ColumnIndex(10));
  int wb = list->columnWidth(list->ColumnIndex(10));
  // Row 1 (MSFT) is the odd row's cream; its bid rose: a green frame.
  EXPECT_EQ(kv_colorref_from_rgb(shot.pixel(xb + 3, y1 + 3)), 0xB9F4FDu);
  EXPECT_EQ(kv_colorref_from_rgb(shot.pixel(xb + 1, y1 + h / 2)), RGB(0, 128, 0));
  EXPECT_EQ(kv_colorref_from_rgb(shot.pixel(xb + wb / 2, y1)), RGB(0, 128, 0));
  // Row 0 is white and unframed.
  int y0 = list->rowViewportPosition(0);
  EXPECT_EQ(kv_colorref_from_rgb(shot.pixel(xb + 1, y0 + h / 2)), 0xFFFFFFu);
}

}  // namespace
