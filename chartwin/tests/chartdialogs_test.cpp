// Edit Stock Prices and Chart Info opened from a real chart window and
// driven by control id: edits reach the chart and its price file once per
// OK, bad numbers and failed writes change nothing.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QListWidget>
#include <QTreeWidget>
#include <csignal>
#include <cstring>
#include <sys/resource.h>

#include "chartwin/chartdoc.h"
#include "chartwin/chartinfodlg.h"
#include "chartwin/chartview.h"
#include "chartwin/editpricesdlg.h"
#include "chartwin/favoritesdlg.h"
#include "chartwin/spreadsetupdlg.h"
#include "chartwin/tests/chartwin_fixture.h"
#include "data/chart.h"
#include "data/chart_flags.h"
#include "data/chartsettings.h"
#include "data/pricefmt.h"
#include "data/spread.h"
#include "platform/files.h"
#include "platform/locks.h"
#include "platform/qt/dialog.h"
#include "platform/qt/test_harness.h"
#include "quotes/mqt.h"
#include "shell/app.h"
#include "shell/core/chartstore.h"
#include "shell/mainfrm.h"

namespace {

enum : unsigned { ID_EDIT_PRICES = 32926, ID_CHART_INFO = 33251 };
constexpr uint32_t kPriceFlags = 0x1E0000;

class ChartDialogsTest : public ChartWinTest {
 protected:
  CKvChartView* open_chart(int bars, bool value_bits = true) {
    write_price_file("INTC", TU_DAILY, wave_bars(bars));
    CKvChartDoc* doc = new_chart();
    if (!doc) return nullptr;
    type_symbol(view_of(doc), "INTC");
    if (!doc->m_chart) return nullptr;
    kv_lock guard(g_chart_lock);
    for (int i = 0; value_bits && i < doc->m_chart->header.bar_count; i++)
      doc->m_chart->bars[i].flags |= kPriceFlags;
    return view_of(doc);
  }
  static void select_bar(QWidget* dlg, int index) {
    auto* d = static_cast<CEditPricesDlg*>(dlg);
    QTreeWidget* list = d->List();
    list->clearSelection();
    int row = d->RowOfBar(index);
    ASSERT_GE(row, 0);
    list->topLevelItem(row)->setSelected(true);
  }
  std::string price_file() const { return data_file("DATA/INTC.dyd"); }
};

TEST_F(ChartDialogsTest, EditPricesModifiesAndDeletesWithOneWriteAndRefusesBadNumbers) {
  CKvChartView* v = open_chart(50);
  ASSERT_TRUE(v);
  CKvChartDoc* doc = v->GetDocument();
  chart_bar before_bar = doc->m_chart->bars[45];
  bool seen = false;
  kv_when_modal([&](QWidget* w) {
    seen = true;
    auto* d = static_cast<CEditPricesDlg*>(w);
    EXPECT_EQ(d->windowTitle(), QStringLiteral("Edit Prices for INTC [50 pts]"));
    // Newest first; nothing can be changed before a row is chosen.
    EXPECT_EQ(d->List()->topLevelItem(0)->data(0, Qt::UserRole).toInt(), 49);
    EXPECT_FALSE(d->GetDlgItem(IDC_PRICES_MODIFY)->isEnabled());
    EXPECT_FALSE(d->GetDlgItem(IDC_PRICES_ADD)->isEnabled());
    EXPECT_FALSE(d->GetDlgItem(IDC_PRICES_TIME)->isEnabled());  // daily bars
    select_bar(w, 49);
    EXPECT_TRUE(d->GetDlgItem(IDC_PRICES_DELETE)->isEnabled());
    kv_click(w, IDC_PRICES_DELETE);
    EXPECT_EQ(d->RowOfBar(49), -1);

    select_bar(w, 45);
    EXPECT_TRUE(d->GetDlgItem(IDC_PRICES_MODIFY)->isEnabled());
    char buf[64];
    EXPECT_EQ(d->GetDlgItemText(IDC_PRICES_OPEN),
              QLatin1String(format_price(before_bar.open, buf, 2, 0)));
    // A word where a number belongs is refused and changes nothing.
    kv_type(w, IDC_PRICES_CLOSE, QStringLiteral("30"));
    kv_type(w, IDC_PRICES_HIGH, QStringLiteral("abc"));
    size_t boxes = services_.boxes.size();
    kv_click(w, IDC_PRICES_MODIFY);
    ASSERT_EQ(services_.boxes.size(), boxes + 1);
    EXPECT_EQ(services_.boxes.back().text, "Please enter a number.");
    EXPECT_NE(d->List()->topLevelItem(d->RowOfBar(45))->text(4), QStringLiteral("30.00"));
    kv_type(w, IDC_PRICES_VOLUME, QStringLiteral("12x"));
    kv_type(w, IDC_PRICES_HIGH, QStringLiteral("25"));
    kv_click(w, IDC_PRICES_MODIFY);
    EXPECT_EQ(services_.boxes.back().text, "Please enter an integer.");
    // A high below the close becomes the close.
    kv_type(w, IDC_PRICES_VOLUME, QStringLiteral("1,234"));
    kv_click(w, IDC_PRICES_MODIFY);
    QTreeWidgetItem* row = d->List()->topLevelItem(d->RowOfBar(45));
    EXPECT_EQ(row->text(2), QStringLiteral("30.00"));
    EXPECT_EQ(row->text(4), QStringLiteral("30.00"));
    // Nothing reached the chart before OK.
    EXPECT_EQ(doc->m_chart->bars[45].close, before_bar.close);
    EXPECT_EQ(doc->m_chart->header.bar_count, 50);
    kv_click(w, IDOK);
  });
  ASSERT_TRUE(v->OnCmdMsg(ID_EDIT_PRICES));
  ASSERT_TRUE(seen);
  {
    kv_lock guard(g_chart_lock);
    chart_rec* c = doc->m_chart;
    EXPECT_EQ(c->header.bar_count, 49);
    EXPECT_FLOAT_EQ(c->bars[45].close, 30.0f);
    EXPECT_FLOAT_EQ(c->bars[45].high, 30.0f);
    EXPECT_EQ(c->bars[45].volume, 1234);
    EXPECT_TRUE(c->bars[45].flags & 0x4000);
    EXPECT_FALSE(c->bars[45].flags & 0x80000000u);
    EXPECT_FALSE(c->header.flags & CHART_EDITING);
  }
  // The file holds both edits; no temporary file was left.
  std::string image = read_all(price_file());
  ASSERT_EQ(image.size(), 256u + 49 * 32);
  int32_t count;
  float high;
  memcpy(&count, &image[104], 4);
  memcpy(&high, &image[256 + 45 * 32 + 4], 4);
  EXPECT_EQ(count, 49);
  EXPECT_FLOAT_EQ(high, 30.0f);
  std::vector<kv_dir_entry> left;
  kv_list_dir((data_file("DATA") + "/INTC*").c_str(), &left, nullptr);
  EXPECT_EQ(left.size(), 1u);
}

// Bars built from quotes carry no value bits: their prices are listed, and
// a high typed below the body still becomes the body's top.
TEST_F(ChartDialogsTest, EditPricesListsAndKeepsThePricesOfBarsWithoutValueBits) {
  CKvChartView* v = open_chart(20, false);
  ASSERT_TRUE(v);
  CKvChartDoc* doc = v->GetDocument();
  chart_bar b = doc->m_chart->bars[10];
  ASSERT_FALSE(b.flags & kPriceFlags & ~0x100000u);
  float top = std::max(b.open, b.close);
  kv_when_modal([&](QWidget* w) {
    auto* d = static_cast<CEditPricesDlg*>(w);
    select_bar(w, 10);
    char buf[64];
    QTreeWidgetItem* row = d->List()->topLevelItem(d->RowOfBar(10));
    EXPECT_EQ(row->text(1), QLatin1String(format_price(b.open, buf, 2, 0)));
    EXPECT_EQ(row->text(2), QLatin1String(format_price(b.high, buf, 2, 0)));
    EXPECT_EQ(row->text(3), QLatin1String(format_price(b.low, buf, 2, 0)));
    EXPECT_EQ(d->GetDlgItemText(IDC_PRICES_OPEN), QLatin1String(format_price(b.open, buf, 2, 0)));
    kv_type(w, IDC_PRICES_HIGH, QString::number(top - 1, 'f', 2));
    kv_click(w, IDC_PRICES_MODIFY);
    kv_click(w, IDOK);
  });
  ASSERT_TRUE(v->OnCmdMsg(ID_EDIT_PRICES));
  kv_lock guard(g_chart_lock);
  EXPECT_FLOAT_EQ(doc->m_chart->bars[10].high, top);
  EXPECT_FLOAT_EQ(doc->m_chart->bars[10].open, b.open);
  EXPECT_FLOAT_EQ(doc->m_chart->bars[10].low, b.low);
}

TEST_F(ChartDialogsTest, EditPricesCancelChangesNothingAndAFailedWriteKeepsTheOldFile) {
  CKvChartView* v = open_chart(50);
  ASSERT_TRUE(v);
  CKvChartDoc* doc = v->GetDocument();
  std::string before = read_all(price_file());
  kv_when_modal([&](QWidget* w) {
    select_bar(w, 10);
    kv_click(w, IDC_PRICES_DELETE);
    kv_click(w, IDCANCEL);
  });
  v->OnCmdMsg(ID_EDIT_PRICES);
  EXPECT_EQ(doc->m_chart->header.bar_count, 50);
  EXPECT_EQ(read_all(price_file()), before);

  // The file system refuses to grow a file past 1000 bytes: the write
  // stops halfway, is reported, and the old file stays.
  kv_when_modal([&](QWidget* w) {
    select_bar(w, 10);
    kv_click(w, IDC_PRICES_DELETE);
    struct rlimit old_limit, small;
    getrlimit(RLIMIT_FSIZE, &old_limit);
    small = old_limit;
    small.rlim_cur = 1000;
    void (*old_handler)(int) = signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    kv_click(w, IDOK);
    setrlimit(RLIMIT_FSIZE, &old_limit);
    signal(SIGXFSZ, old_handler);
  });
  v->OnCmdMsg(ID_EDIT_PRICES);
  ASSERT_FALSE(services_.boxes.empty());
  EXPECT_EQ(services_.boxes.back().text, "Unable to write the price file of INTC");
  EXPECT_EQ(read_all(price_file()), before);
}

TEST_F(ChartDialogsTest, ChartInfoListsTheChartAndItsSwitches) {
  CKvChartView* v = open_chart(40);
  ASSERT_TRUE(v);
  ChartSettings& s = v->GetDocument()->Settings();
  s.flags |= 0x20000000;  // Hide Volume
  QStringList shown;
  kv_when_modal([&](QWidget* w) {
    auto* list = dynamic_cast<QListWidget*>(kv_find_control(w, IDC_CHART_INFO_LIST));
    ASSERT_TRUE(list);
    for (int i = 0; i < list->count(); i++) shown << list->item(i)->text();
    kv_click(w, IDOK);
  });
  ASSERT_TRUE(v->OnCmdMsg(ID_CHART_INFO));
  ASSERT_FALSE(shown.isEmpty());
  EXPECT_TRUE(shown.contains(QStringLiteral("Symbol: INTC, Underlying: ")));
  EXPECT_TRUE(shown.contains(QStringLiteral("# of Data Points: 40, # of Chart Extensions: 0")));
  EXPECT_TRUE(shown.contains(QStringLiteral("Hide Volume: y, Hide Volume Studies: n")));
  EXPECT_TRUE(shown.contains(QStringLiteral("Flag Settings:")));
  EXPECT_EQ(shown.back(), QStringLiteral("Limit Orders:"));
  bool range = false;
  for (const QString& l : shown)
    range |= l.startsWith(QLatin1String("Date Range: ")) && l.contains(QLatin1String("-00:00 to "));
  EXPECT_TRUE(range);
  EXPECT_TRUE(shown[0].startsWith(QLatin1String("Page Layout Name: ")));
  EXPECT_EQ(shown[1], QStringLiteral("Chart Name: *"));
}

}  // namespace

namespace {

class ChartAppDialogsTest : public ChartWinTest {
 protected:
  static FavoriteRecord* add_favorite(const char* name, uint8_t flags) {
    FavoriteRecord* f = new_descriptor();
    f->kind = 1;
    snprintf(f->settings.favorite_name, sizeof f->settings.favorite_name, "%s", name);
    f->flags = flags;
    g_chart_store.InsertFavorite(f);
    return f;
  }
  static QStringList items(QWidget* w, int id) {
    QStringList out;
    if (auto* l = dynamic_cast<QListWidget*>(kv_find_control(w, id)))
      for (int i = 0; i < l->count(); i++) out << l->item(i)->text();
    if (auto* c = dynamic_cast<QComboBox*>(kv_find_control(w, id)))
      for (int i = 0; i < c->count(); i++) out << c->itemText(i);
    return out;
  }
};

TEST_F(ChartAppDialogsTest, FavoritesMarksDeletionsAndOneDefaultAndCancelPutsThemBack) {
  FavoriteRecord* a = add_favorite("alpha", DESC_DEFAULT);
  FavoriteRecord* b = add_favorite("beta", DESC_DEFAULT);  // a second default loses the bit
  FavoriteRecord* c = add_favorite("gamma", 0);
  ASSERT_TRUE(app_->m_favorites_dialog);
  // Cancel: the marks made in the dialog go.
  kv_when_modal([&](QWidget* w) {
    QStringList shown = items(w, IDC_FAV_LIST);
    EXPECT_TRUE(shown.contains(QStringLiteral("alpha     [default]")));
    EXPECT_TRUE(shown.contains(QStringLiteral("beta")));
    size_t boxes = services_.boxes.size();
    kv_click(w, IDC_FAV_DELETE);  // nothing selected
    ASSERT_EQ(services_.boxes.size(), boxes + 1);
    EXPECT_EQ(services_.boxes.back().text, "No Favorite Chart selected");
    kv_choose(w, IDC_FAV_LIST, shown.indexOf(QStringLiteral("gamma")));
    kv_click(w, IDC_FAV_DELETE);
    EXPECT_FALSE(items(w, IDC_FAV_LIST).contains(QStringLiteral("gamma")));
    kv_click(w, IDCANCEL);
  });
  const WindowDescriptor* chosen = nullptr;
  EXPECT_FALSE(app_->m_favorites_dialog(&chosen));
  EXPECT_EQ(c->flags, 0);
  EXPECT_EQ(b->flags, DESC_DEFAULT);
  // OK: beta becomes the default, gamma is marked, nothing is opened.
  kv_when_modal([&](QWidget* w) {
    QStringList shown = items(w, IDC_FAV_LIST);
    kv_choose(w, IDC_FAV_LIST, shown.indexOf(QStringLiteral("beta")));
    kv_click(w, IDC_FAV_DEFAULT);
    shown = items(w, IDC_FAV_LIST);
    EXPECT_TRUE(shown.contains(QStringLiteral("beta     [default]")));
    EXPECT_TRUE(shown.contains(QStringLiteral("alpha")));
    kv_choose(w, IDC_FAV_LIST, shown.indexOf(QStringLiteral("gamma")));
    kv_click(w, IDC_FAV_DELETE);
    kv_click(w, IDOK);
  });
  chosen = a;
  ASSERT_TRUE(app_->m_favorites_dialog(&chosen));
  EXPECT_EQ(chosen, nullptr);
  EXPECT_FALSE(a->flags & DESC_DEFAULT);
  EXPECT_TRUE(b->flags & DESC_DEFAULT);
  EXPECT_TRUE(c->flags & DESC_MARK_DELETE);
}

TEST_F(ChartAppDialogsTest, SpreadSetupShowsCalculatesSavesAndKeepsASpreadInUse) {
  free_spread_cache();
  write_data("CONFIG/spreads.cfg", "S~ONE AAA BBB 1 -1\r\nS~TWO CCC DDD 2.5 -1\r\n");
  double r1 = 0, r2 = 0;
  kv_when_modal([&](QWidget* w) {
    EXPECT_EQ(items(w, IDC_SPREAD_NAME),
              (QStringList{QStringLiteral("S~ONE"), QStringLiteral("S~TWO")}));
    auto text = [w](int id) { return static_cast<KvDialog*>(w)->GetDlgItemText(id); };
    EXPECT_EQ(text(IDC_SPREAD_LONG), QStringLiteral("AAA"));
    EXPECT_EQ(text(IDC_SPREAD_SHORT_RATIO), QStringLiteral("-1.0000"));
    kv_choose(w, IDC_SPREAD_NAME, 1);
    EXPECT_EQ(text(IDC_SPREAD_LONG_RATIO), QStringLiteral("2.5000"));
    // Balanced ratios from prices and multipliers; a bad number is refused.
    kv_type(w, IDC_SPREAD_LONG_PRICE, QStringLiteral("50"));
    kv_type(w, IDC_SPREAD_LONG_MULT, QStringLiteral("1"));
    kv_type(w, IDC_SPREAD_SHORT_PRICE, QStringLiteral("x"));
    kv_type(w, IDC_SPREAD_SHORT_MULT, QStringLiteral("1"));
    kv_click(w, IDC_SPREAD_CALCULATE);
    EXPECT_EQ(services_.boxes.back().text, "Please enter a number.");
    EXPECT_EQ(text(IDC_SPREAD_LONG_RATIO), QStringLiteral("2.5000"));
    kv_type(w, IDC_SPREAD_SHORT_PRICE, QStringLiteral("25"));
    kv_click(w, IDC_SPREAD_CALCULATE);
    ASSERT_TRUE(balance_spread_legs(50, 1, 25, 1, &r1, &r2));
    EXPECT_EQ(text(IDC_SPREAD_LONG_RATIO), QString::asprintf("%.4f", r1));
    EXPECT_EQ(text(IDC_SPREAD_SHORT_RATIO), QString::asprintf("%.4f", r2));
    kv_click(w, IDC_SPREAD_APPLY);
    // A spread with a live record stays.
    {
      kv_lock guard(g_chart_lock);
      create_multiquote_struct("S~ONE");
    }
    kv_choose(w, IDC_SPREAD_NAME, 0);
    kv_click(w, IDC_SPREAD_DELETE);
    EXPECT_EQ(services_.boxes.back().text,
              "Spread symbol currently in use, remove before deleting");
    EXPECT_EQ(items(w, IDC_SPREAD_NAME).size(), 2);
    // A new one is saved by OK.
    kv_type(w, IDC_SPREAD_NAME, QStringLiteral("s~new"));
    kv_type(w, IDC_SPREAD_LONG, QStringLiteral("eee"));
    kv_type(w, IDC_SPREAD_SHORT, QStringLiteral("fff"));
    kv_type(w, IDC_SPREAD_LONG_RATIO, QStringLiteral("1"));
    kv_type(w, IDC_SPREAD_SHORT_RATIO, QStringLiteral("-2"));
    kv_click(w, IDOK);
  });
  ASSERT_TRUE(app_->MainFrame()->RouteCommand(33325));
  spread_def d{};
  ASSERT_TRUE(find_spread_definition("S~TWO", &d));
  EXPECT_NEAR(d.ratio1, r1, 1e-4);
  EXPECT_NEAR(d.ratio2, r2, 1e-4);
  ASSERT_TRUE(find_spread_definition("S~NEW", &d));
  EXPECT_STREQ(d.leg1, "EEE");
  EXPECT_EQ(d.ratio2, -2.0);
  EXPECT_TRUE(find_spread_definition("S~ONE", &d));
  free_spread_cache();
  kv_lock guard(g_chart_lock);
  free_all_mqts();
}

}  // namespace
