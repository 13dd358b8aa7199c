// The program's resources: bitmap sizes, menu and toolbar tables.
#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QToolBar>
#include <functional>
#include <set>

#include "platform/qt/frames.h"
#include "platform/qt/menus.h"
#include "platform/qt/test_harness.h"
#include "res/resource.h"

namespace {

class Resources : public ::testing::Test {
 protected:
  void SetUp() override {
    kv_test_app();
    kv_res_install();
  }
};

TEST_F(Resources, BitmapsHaveTheSizesTheWindowsDrawThemAt) {
  struct Case {
    int first, last, w, h;
  };
  const Case cases[] = {
      {165, 166, 14, 15}, {247, 254, 14, 15}, {171, 180, 80, 14}, {191, 192, 15, 15},
      {196, 197, 15, 15}, {222, 223, 15, 14}, {232, 232, 15, 15}, {259, 259, 4, 4},
      {261, 261, 4, 4},   {262, 262, 8, 8},   {264, 265, 15, 15}, {297, 297, 15, 15},
      {299, 314, 32, 12},
  };
  for (const Case& c : cases)
    for (int id = c.first; id <= c.last; id++) {
      QImage b = kv_res_bitmap(id);
      EXPECT_EQ(b.size(), QSize(c.w, c.h)) << id;
    }
  EXPECT_TRUE(kv_res_bitmap(4242).isNull());
  // Thin styles are one pixel high, wide ones more.
  auto ink_rows = [](const QImage& b) {
    int rows = 0;
    for (int y = 0; y < b.height(); y++)
      for (int x = 0; x < b.width(); x++)
        if (b.pixel(x, y) != 0xFFFFFFFFu) {
          rows++;
          break;
        }
    return rows;
  };
  EXPECT_EQ(ink_rows(kv_res_bitmap(171)), 1);
  EXPECT_EQ(ink_rows(kv_res_bitmap(172)), 3);
  // The swatches show their table colour.
  EXPECT_EQ(kv_colorref_from_rgb(kv_res_bitmap(299 + 9).pixel(10, 6)), 0x0000FFu);
}

TEST_F(Resources, MenusAreWellFormedWithViewSecondAndFavoritesThird) {
  for (int id : {IDR_MAINFRAME, IDR_CHART}) {
    std::vector<KvMenuItem> items = kv_res_menu(id);
    int depth = 0;
    std::set<unsigned> ids;
    for (const KvMenuItem& it : items) {
      if (it.id == KV_MENU_POPUP) depth++;
      if (it.id == KV_MENU_END) depth--;
      EXPECT_GE(depth, 0);
      if (it.id && it.id != KV_MENU_POPUP && it.id != KV_MENU_END)
        EXPECT_TRUE(ids.insert(it.id).second) << id << " " << it.id;
    }
    EXPECT_EQ(depth, 0);
    QMenu bar;
    kv_fill_menu(&bar, items);
    QList<QAction*> tops = bar.actions();
    ASSERT_GT(tops.size(), 4);
    EXPECT_EQ(tops[2]->text(), QStringLiteral("&View")) << id;
    EXPECT_EQ(tops[3]->text(), QStringLiteral("&Favorites")) << id;
  }
  QMenu chart;
  kv_fill_menu(&chart, kv_res_menu(IDR_CHART));
  QAction* a = kv_find_action(&chart, 32891);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->text(), QStringLiteral("1 Minute\t1"));
  EXPECT_NE(kv_find_action(&chart, 33137), nullptr);
  EXPECT_EQ(kv_find_action(&chart, 33316), nullptr);  // a key, not a menu item
  // A slash inside a text stays in the text.
  a = kv_find_action(&chart, 32955);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->text(), QStringLiteral("Constrain Rows/Columns..."));
}

TEST_F(Resources, MarketListPopupsHaveOneRootAndDistinctCommands) {
  struct Case {
    int id;
    int commands;
    unsigned first;
    const char* first_text;
  };
  const Case cases[] = {
      {IDR_TIME_SALES_POPUP, 14, 33021, "Time"},     {IDR_QUOTES_POPUP, 31, 33056, "Bid"},
      {IDR_LEVEL2_POPUP, 12, 33107, "Refresh"},      {IDR_ORDER_BOOK_POPUP, 11, 33107, "Refresh"},
      {IDR_MARKET_PULSE_POPUP, 15, 33103, "Update"},
  };
  for (const Case& c : cases) {
    QMenu holder;
    kv_fill_menu(&holder, kv_res_menu(c.id));
    ASSERT_EQ(holder.actions().size(), 1) << c.id;
    QMenu* popup = holder.actions()[0]->menu();
    ASSERT_NE(popup, nullptr) << c.id;
    EXPECT_EQ(holder.actions()[0]->text(), QStringLiteral("Popup"));
    std::set<unsigned> ids;
    std::function<void(QMenu*)> walk = [&](QMenu* m) {
      for (QAction* a : m->actions()) {
        if (a->menu())
          walk(a->menu());
        else if (!a->isSeparator())
          EXPECT_TRUE(ids.insert(kv_action_id(a)).second) << c.id << " " << kv_action_id(a);
      }
    };
    walk(popup);
    EXPECT_EQ(int(ids.size()), c.commands) << c.id;
    QAction* first = kv_find_action(popup, c.first);
    ASSERT_NE(first, nullptr) << c.id;
    EXPECT_EQ(first->text(), QString::fromLatin1(c.first_text));
  }
}

TEST_F(Resources, ToolbarButtonsHaveTipsAndImages) {
  for (int id : {IDR_MAINFRAME, IDR_PLAYBACK_BAR, IDR_DRAW_BAR}) {
    std::vector<KvToolButton> bar = kv_res_toolbar(id);
    ASSERT_FALSE(bar.empty());
    for (const KvToolButton& b : bar) {
      if (!b.id) continue;
      EXPECT_NE(b.tip, nullptr) << b.id;
      EXPECT_FALSE(kv_res_command_image(int(b.id)).isNull()) << b.id;
    }
  }
  EXPECT_EQ(kv_tool_tip_text(kv_res_prompt(32907)), QStringLiteral("Chart"));
  std::set<std::string> keys;
  for (const KvAccel& k : kv_res_accelerators()) EXPECT_TRUE(keys.insert(k.keys).second) << k.keys;
  for (int c : {IDC_SPLIT, IDC_MOVE, IDC_DRAW, IDC_OVER_LINE, IDC_CANDLE_SELECT})
    EXPECT_FALSE(kv_res_cursor(c).pixmap().isNull()) << c;
  EXPECT_FALSE(kv_res_icon(IDR_MAINFRAME).isNull());
}

// Buttons with a freedesktop name show the icon theme's picture (the
// fallback theme when no desktop theme is set); the others a pictogram.
TEST_F(Resources, ThemedButtonsShowTheThemesIcon) {
  KvMainFrame frame;
  int themed = 0;
  for (int id : {IDR_MAINFRAME, IDR_PLAYBACK_BAR, IDR_DRAW_BAR}) {
    QToolBar* bar =
        frame.AddControlBar(unsigned(1000 + id), QStringLiteral("bar"), kv_res_toolbar(id));
    for (QAction* a : bar->actions()) {
      unsigned cmd = kv_action_id(a);
      if (!cmd) continue;
      ASSERT_FALSE(a->icon().isNull()) << cmd;
      const char* name = kv_res_theme_icon_name(int(cmd));
      if (!name) continue;
      themed++;
      QString qname = QString::fromLatin1(name);
      ASSERT_TRUE(QIcon::hasThemeIcon(qname)) << name;
      for (int size : {16, 22}) {
        QImage shown = a->icon().pixmap(size).toImage();
        QImage theme = QIcon::fromTheme(qname).pixmap(size).toImage();
        EXPECT_FALSE(theme.isNull()) << name;
        EXPECT_EQ(shown, theme) << name << " at " << size;
      }
    }
  }
  EXPECT_GE(themed, 12);
  // A pictogram is a picture, not an empty square.
  QImage chart =
      kv_res_command_image(32907).pixmap(22).toImage().convertToFormat(QImage::Format_ARGB32);
  std::set<QRgb> colours;
  for (int y = 0; y < chart.height(); y++)
    for (int x = 0; x < chart.width(); x++) colours.insert(chart.pixel(x, y));
  EXPECT_GE(colours.size(), 4u);
}

}  // namespace
