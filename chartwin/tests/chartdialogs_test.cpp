// Edit Stock Prices and Chart Info opened from a real chart window and
// driven by control id: edits reach the chart and its price file once per
// OK, bad numbers and failed writes change nothing.
#include <gtest/gtest.h>

#include <QListWidget>
#include <QTreeWidget>
#include <csignal>
#include <cstring>
#include <sys/resource.h>

#include "chartwin/chartdoc.h"
#include "chartwin/chartinfodlg.h"
#include "chartwin/chartview.h"
#include "chartwin/editpricesdlg.h"
#include "chartwin/tests/chartwin_fixture.h"
#include "data/chart.h"
#include "data/chart_flags.h"
#include "data/chartsettings.h"
#include "data/pricefmt.h"
#include "platform/files.h"
#include "platform/locks.h"
#include "platform/qt/dialog.h"
#include "platform/qt/test_harness.h"
#include "shell/app.h"

namespace {

enum : unsigned { ID_EDIT_PRICES = 32926, ID_CHART_INFO = 33251 };
constexpr uint32_t kPriceFlags = 0x1E0000;

class ChartDialogsTest : public ChartWinTest {
 protected:
  CKvChartView* open_chart(int bars) {
    write_price_file("INTC", TU_DAILY, wave_bars(bars));
    CKvChartDoc* doc = new_chart();
    if (!doc) return nullptr;
    type_symbol(view_of(doc), "INTC");
    if (!doc->m_chart) return nullptr;
    kv_lock guard(g_chart_lock);
    for (int i = 0; i < doc->m_chart->header.bar_count; i++)
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
