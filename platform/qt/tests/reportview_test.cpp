// The report list of the market windows: columns, cell painting, sorting
// and many rows.
#include <gtest/gtest.h>

#include <QHeaderView>
#include <memory>
#include <vector>

#include "platform/qt/reportview.h"
#include "platform/qt/test_harness.h"
#include "platform/testing/fixture.h"

namespace {

class ReportView : public TempRootTest {
 protected:
  void SetUp() override {
    TempRootTest::SetUp();
    kv_test_app();
    owned = std::make_unique<KvReportView>();
    KvReportView& view = *owned;
    view.resize(400, 300);
    view.InsertColumn(0, 1, QStringLiteral("Symbol"), LVCFMT_LEFT, 80);
    view.InsertColumn(1, 12, QStringLiteral("Chg"), LVCFMT_CENTER, 30);
    view.InsertColumn(2, 4, QStringLiteral("Last"), LVCFMT_RIGHT, 60);
  }
  void TearDown() override {
    owned.reset();
    TempRootTest::TearDown();
  }
  std::unique_ptr<KvReportView> owned;
};

TEST_F(ReportView, ColumnsKeepIdsAndTheUsersOrderAndWidths) {
  KvReportView& view = *owned;
  EXPECT_EQ(view.ColumnIndex(12), 1);
  EXPECT_EQ(view.ColumnIndex(99), -1);
  view.horizontalHeader()->moveSection(2, 0);  // the user drags "Last" to the front
  view.setColumnWidth(0, 95);
  std::vector<KvReportColumn> saved = view.SaveColumns();
  ASSERT_EQ(saved.size(), 3u);
  EXPECT_EQ(saved[0].id, 1);
  EXPECT_EQ(saved[0].order, 1);
  EXPECT_EQ(saved[0].width, 95);
  EXPECT_EQ(saved[2].order, 0);

  KvReportView other;
  other.InsertColumn(0, 1, QStringLiteral("Symbol"), LVCFMT_LEFT, 80);
  other.InsertColumn(1, 12, QStringLiteral("Chg"), LVCFMT_CENTER, 30);
  other.InsertColumn(2, 4, QStringLiteral("Last"), LVCFMT_RIGHT, 60);
  other.RestoreColumns(saved);
  EXPECT_EQ(other.GetColumnOrder(), (std::vector<int>{2, 0, 1}));
  EXPECT_EQ(other.GetColumnWidth(0), 95);

  EXPECT_TRUE(view.DeleteColumn(1));
  EXPECT_EQ(view.ColumnIndex(4), 1);
}

TEST_F(ReportView, EveryCellIsPaintedByTheOwnerWithItsRectangle) {
  KvReportView& view = *owned;
  for (int i = 0; i < 3; i++) {
    view.InsertItem(i, QStringLiteral("S%1").arg(i));
    view.SetItemText(i, 2, QStringLiteral("%1.25").arg(i));
  }
  std::vector<std::pair<int, int>> painted;
  view.SetDrawCell([&](KvDC& dc, int row, int col, const KvRect& cell) {
    painted.push_back({row, col});
    dc.FillSolidRect(cell, row % 2 ? 0xB9F4FD : 0xFFFFFF);
  });
  view.show();
  QImage shot = view.viewport()->grab().toImage();
  EXPECT_EQ(painted.size(), 9u);
  int y1 = view.rowViewportPosition(1) + 2;
  EXPECT_EQ(kv_colorref_from_rgb(shot.pixel(10, y1)), 0xB9F4FDu);
  EXPECT_EQ(view.GetItemText(2, 2), QStringLiteral("2.25"));
}

TEST_F(ReportView, SortingIsStableAndDeletedRowsGiveBackTheirData) {
  KvReportView& view = *owned;
  struct Row {
    int key;
    int seq;
  };
  std::vector<Row> rows{{3, 0}, {1, 1}, {3, 2}, {2, 3}, {1, 4}};
  std::vector<std::uintptr_t> freed;
  view.SetDeleteItemFn([&](std::uintptr_t d) { freed.push_back(d); });
  for (size_t i = 0; i < rows.size(); i++) {
    view.InsertItem(-1, QString::number(rows[i].key));
    view.SetItemData(int(i), std::uintptr_t(&rows[i]));
  }
  int clicked = -1;
  QObject::connect(&view, &KvReportView::columnClicked, [&](int c) { clicked = c; });
  emit view.horizontalHeader()->sectionClicked(2);
  EXPECT_EQ(clicked, 2);
  view.SortItems([](std::uintptr_t a, std::uintptr_t b) {
    return reinterpret_cast<Row*>(a)->key - reinterpret_cast<Row*>(b)->key;
  });
  std::vector<int> seq;
  for (int i = 0; i < view.GetItemCount(); i++)
    seq.push_back(reinterpret_cast<Row*>(view.GetItemData(i))->seq);
  EXPECT_EQ(seq, (std::vector<int>{1, 4, 3, 0, 2}));       // equal keys keep their order
  EXPECT_EQ(view.GetItemText(0, 0), QStringLiteral("1"));  // texts move with their rows

  view.DeleteItem(0);
  ASSERT_EQ(freed.size(), 1u);
  EXPECT_EQ(reinterpret_cast<Row*>(freed[0])->seq, 1);
  view.DeleteAllItems();
  EXPECT_EQ(freed.size(), 5u);
}

TEST_F(ReportView, HundredThousandRowsNeedNoWidgets) {
  KvReportView& view = *owned;
  for (int i = 0; i < 100000; i++) view.InsertItem(-1, QString::number(i));
  view.show();
  kv_pump_events(10);
  EXPECT_EQ(view.GetItemCount(), 100000);
  EXPECT_GT(view.GetCountPerPage(), 0);
  EXPECT_LT(view.findChildren<QWidget*>().size(), 40);
}

// Rows of item data only: their texts come from the text function, only
// for the cells asked for; a row given its own text keeps the others.
TEST_F(ReportView, DataRowsTakeTheirTextsWhenShown) {
  KvReportView& view = *owned;
  std::vector<std::pair<std::uintptr_t, int>> asked;
  view.SetItemTextFn([&](std::uintptr_t data, int column) {
    asked.emplace_back(data, column);
    return QStringLiteral("%1:%2").arg(data).arg(column);
  });
  view.InsertItem(-1, QStringLiteral("own"));
  std::vector<std::uintptr_t> data(100000);
  for (size_t i = 0; i < data.size(); i++) data[i] = 7 + i;
  EXPECT_EQ(view.AppendDataRows(data), 1);
  EXPECT_TRUE(asked.empty());
  ASSERT_EQ(view.GetItemCount(), 100001);
  EXPECT_EQ(view.GetItemText(0, 0), QStringLiteral("own"));
  EXPECT_EQ(view.GetItemText(0, 2), QString());
  EXPECT_EQ(view.GetItemText(3, 2), QStringLiteral("9:2"));
  EXPECT_EQ(view.GetItemData(3), 9u);

  view.show();
  kv_pump_events(10);
  // Painting formats the rows on the screen, not the list.
  EXPECT_GT(asked.size(), 1u);
  EXPECT_LT(asked.size(), 2000u);

  view.SetItemText(2, 1, QStringLiteral("x"));
  EXPECT_EQ(view.GetItemText(2, 0), QStringLiteral("8:0"));
  EXPECT_EQ(view.GetItemText(2, 1), QStringLiteral("x"));
  EXPECT_EQ(view.GetItemText(2, 2), QStringLiteral("8:2"));
  // A column added later is empty in own rows, formatted in data rows.
  view.InsertColumn(3, 20, QStringLiteral("More"), LVCFMT_LEFT, 40);
  EXPECT_EQ(view.GetItemText(2, 3), QString());
  EXPECT_EQ(view.GetItemText(4, 3), QStringLiteral("10:3"));
  view.DeleteAllItems();
  EXPECT_EQ(view.GetItemCount(), 0);
}

}  // namespace
