// Horse race and price/volume distribution panes drawn through the pane
// container into images: columns, summary, labels, row colours, the
// freshness square; pictures of both are written for a person to look at.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>

#include "chart/basicchart.h"
#include "chart/pane.h"
#include "data/axis_scale.h"
#include "data/chartsettings.h"
#include "platform/qt/canvas.h"
#include "platform/qt/color.h"
#include "platform/qt/test_harness.h"
#include "platform/testing/fixture.h"
#include "quotes/mqt.h"
#include "quotes/mqt_record.h"
#include "settings/settings.h"
#include "settings/testing/settings_saver.h"

namespace {

class Owner : public KvCanvasView {
 public:
  void OnDraw(KvDC&) override {}
};

const COLORREF BG = 0xFFFFFF, TEXT = 0x000000;

class MarketPanes : public TempRootTest {
 protected:
  void SetUp() override {
    TempRootTest::SetUp();
    kv_test_app();
    owner = std::make_unique<Owner>();
    default_chart_settings(&s, 20261210);
    s.bg_color = BG, s.text_color = TEXT, s.axis_color = 0x808080;
    s.up_color = 0x00C000, s.down_color = 0x0000C0, s.wick_color = 0x404040, s.outline_color = 0;
    s.up_volume_color = 0xA06000, s.bidask_color = 0x00C0C0, s.last_mark_color = 0xC000C0;
    s.flags &= ~(CS_FLAG_TIME_COLOURS | CS_FLAG_HIDE_LABELS | CS_FLAG_NO_TITLE);
    s.display_flags = 0;
    g_pref_flags = 0x2, g_price_lab_left = 0, g_show_gridlines = 0;
    image = QImage(420, 300, QImage::Format_RGB32);
    image.fill(Qt::black);
    pane.AttachWindow(&s, &view_flags, owner.get());
  }
  void TearDown() override {
    if (view_bit) free_view_bit(view_bit);
    owner.reset();
    TempRootTest::TearDown();
  }
  void draw() {
    KvDC dc(&image);
    pane.CalcPaneRects(KvRect(0, 0, image.width(), image.height()), 1, 0);
    pane.CalcLayouts(&dc);
    pane.Draw(&dc);
  }
  COLORREF px(int x, int y) const { return kv_colorref_from_rgb(image.pixel(x, y)); }
  void save(const char* name) {
    QString path = QString::fromLatin1(KV_BINARY_DIR) + "/" + name;
    EXPECT_TRUE(kv_save_png(image, path));
  }

  SettingsSaver saver;
  std::unique_ptr<Owner> owner;
  ChartSettings s{};
  uint32_t view_flags = 0;
  uint32_t view_bit = 0;
  CPane pane;
  QImage image;
};

TEST(Spacing, TableByRoomPerColumn) {
  EXPECT_EQ(SpacingForCount(300, 20), 0x70000Fu);
  EXPECT_EQ(SpacingForCount(1000, 20), 0x804111u);
  EXPECT_EQ(SpacingForCount(300, 0), 0u);
  EXPECT_EQ(SpacingForCount(300, -2), 0u);
  EXPECT_EQ(SpacingForCount(60, 10), 0x204006u);
  EXPECT_EQ(SpacingForCount(9, 10), 0u);
}

class HorseRace : public MarketPanes {
 protected:
  void SetUp() override {
    MarketPanes::SetUp();
    s.window_kind = WINDOW_KIND_HRACE;
    s.pane_shown[0] = 1, s.pane_content[0] = CONTENT_PRICE;
    s.pane_shown[1] = 1, s.pane_content[1] = CONTENT_VOLUME;
    view_bit = alloc_view_bit();
    const char* names[3] = {"AAA", "BBB", "CCC"};
    for (int i = 0; i < 3; i++) {
      quotes[i] = std::make_unique<mqt>();
      snprintf(quotes[i]->symbol, sizeof quotes[i]->symbol, "%s", names[i]);
      entries[i].quote = quotes[i].get();
    }
    set(0, -0.2f, -0.5f, 0.8f, 0.5f, 150, 0.5f);
    set(1, 0, -0.1f, 0.1f, 0.1f, 60, 0.1f);
    set(2, 0.1f, -0.6f, 0.2f, -0.3f, 100, -0.3f);
    entries[1].flags = 0x02;  // hidden
    entries[1].left_x = 777, entries[1].right_x = 778;
    list.entry_count = 3;
    list.symbol_count = 3;
    list.view_bit = view_bit;
    list.entries = entries;
    pane.SetHRaceList(&list);
  }
  void set(int i, float o, float l, float h, float c, float vol, float race) {
    mqt_race_values& r = quotes[i]->race;
    r.change_open = o, r.change_low = l, r.change_high = h, r.change_last = c;
    r.volume = vol, r.race = race, r.change = c;
  }
  int row(int slot, int scale, double v) {
    const axis_scale* sc = list.scales[scale];
    return pane.panes[slot].data_rect.bottom - (int)((v - sc->minimum) * sc->pixels_per_unit);
  }

  std::unique_ptr<mqt> quotes[3];
  hrace_entry entries[3] = {};
  hrace_list list = {};
};

TEST_F(HorseRace, ShownEntriesGetColumnsLabelsAndTheSummary) {
  draw();
  save("hrace.png");
  CBasicChart& top = pane.panes[0];
  ASSERT_NE(list.scales[0], nullptr);
  uint32_t def = SpacingForCount(top.data_rect.Width(), 3);
  int pitch = candle_pitch(def);
  ASSERT_GT(pitch, 4);
  // Two columns; the hidden entry keeps its extents.
  EXPECT_EQ(entries[0].left_x, top.data_rect.left);
  EXPECT_EQ(entries[0].right_x, top.data_rect.left + pitch);
  EXPECT_EQ(entries[2].left_x, top.data_rect.left + pitch);
  EXPECT_EQ(entries[1].left_x, 777);
  // Summary: (trunc(50) + trunc(-30)) / 3, one rising, one falling.
  int avg, up, down;
  pane.GetHRaceHitInfo(&avg, &up, &down);
  EXPECT_EQ(avg, 6);
  EXPECT_EQ(up, 1);
  EXPECT_EQ(down, 1);
  // Bodies: AAA rose (up colour), CCC fell (down colour), inside their columns.
  int x0 = entries[0].left_x + 3, x2 = entries[2].left_x + 3;
  EXPECT_EQ(px(x0, (row(0, 0, -0.2) + row(0, 0, 0.5)) / 2), s.up_color);
  EXPECT_EQ(px(x2, (row(0, 0, 0.1) + row(0, 0, -0.3)) / 2), s.down_color);
  // Odd columns are grey behind the bars, even ones the background.
  EXPECT_EQ(px(entries[2].right_x - 2, top.data_rect.top + 2), 0xC0C0C0u);
  EXPECT_EQ(px(entries[0].right_x - 2, top.data_rect.top + 2), BG);
  // Symbol labels in the title strip: text in column 0, grey behind column 1's.
  int text = 0, grey = 0;
  for (int y = top.title_rect.top; y < top.title_rect.bottom; y++)
    for (int x = entries[0].left_x; x < entries[0].right_x; x++) text += px(x, y) == TEXT;
  for (int y = top.title_rect.top; y < top.title_rect.bottom; y++)
    for (int x = entries[2].left_x; x < entries[2].right_x; x++) grey += px(x, y) == 0xC0C0C0u;
  EXPECT_GT(text, 10);
  EXPECT_GT(grey, 10);
  // Volume bars below, from the data bottom up to their value.
  CBasicChart& low = pane.panes[1];
  ASSERT_NE(list.scales[2], nullptr);
  int yv = row(1, 2, 150);
  EXPECT_EQ(px(x0, low.data_rect.bottom - 1), s.up_volume_color);
  EXPECT_EQ(px(x0, yv + 1), s.up_volume_color);
  EXPECT_NE(px(x0, yv - 2), s.up_volume_color);
}

// The label's lines are closer than a line's height: each character keeps
// its foot under the line below ("BB" must not read "RB"); a symbol longer
// than the title strip is written whole, on over the bars.
TEST_F(HorseRace, LabelLinesKeepTheFootOfTheCharacterAbove) {
  auto first_line = [&](const char* symbol) {
    snprintf(quotes[0]->symbol, sizeof quotes[0]->symbol, "%s", symbol);
    image.fill(Qt::black);
    draw();
    KvDC dc(&image);
    KvFont old = dc.SelectFont(KvFont(QStringLiteral("Arial"), 8));
    int th = dc.GetTextExtent("0").cy;
    dc.SelectFont(old);
    const KvRect& title = pane.panes[0].title_rect;
    return image.copy(entries[0].left_x, title.top + 1, entries[0].right_x - entries[0].left_x, th);
  };
  // Every inked pixel of the character alone is still inked with the line
  // below drawn (which may add the top of its own character).
  auto lost = [](const QImage& alone, const QImage& with) {
    int n = 0;
    for (int y = 0; y < alone.height(); y++)
      for (int x = 0; x < alone.width(); x++)
        n += qGray(alone.pixel(x, y)) < 128 && qGray(with.pixel(x, y)) >= 128;
    return n;
  };
  QImage alone = first_line("B");
  EXPECT_EQ(0, lost(alone, first_line("BB")));
  EXPECT_EQ(0, lost(alone, first_line("BBB")));
  // "GOOGL" is not "GOOG": the letters past the strip show in the column.
  auto column = [&](const char* symbol) {
    first_line(symbol);
    const KvRect& d = pane.panes[0].data_rect;
    return image.copy(entries[0].left_x, d.top, entries[0].right_x - entries[0].left_x, d.Height());
  };
  QImage four = column("GOOG"), five = column("GOOGL"), six = column("GOOGLE");
  EXPECT_NE(four, five) << "the fifth letter is drawn";
  EXPECT_NE(five, six) << "the sixth letter is drawn";
}

TEST_F(HorseRace, ProfitAndLossRaceDrawsItsOwnValues) {
  s.chart_type = 12;
  for (int i = 0; i < 3; i++) {
    mqt_race_values& r = quotes[i]->race;
    r.pl_low = -0.9f, r.pl_high = 0.9f, r.pl_now = i == 0 ? 0.6f : -0.6f, r.pl_volume = 120;
  }
  draw();
  save("hrace_pl.png");
  int x0 = entries[0].left_x + 3;
  // The body runs from 0 (the open) to the P&L now.
  EXPECT_EQ(px(x0, (row(0, 0, 0) + row(0, 0, 0.6)) / 2), s.up_color);
  EXPECT_EQ(px(entries[2].left_x + 3, (row(0, 0, 0) + row(0, 0, -0.6)) / 2), s.down_color);
}

class Distribution : public MarketPanes {
 protected:
  void SetUp() override {
    MarketPanes::SetUp();
    s.window_kind = WINDOW_KIND_PVD;
    s.pane_shown[0] = 1, s.pane_content[0] = CONTENT_PRICE;
    s.display_flags = CS_SHOW_BIDASK;
    memset(&rec, 0, sizeof rec);
    snprintf(rec.symbol, sizeof rec.symbol, "ES");
    rec.tick_size = 0.25, rec.base_price = 100, rec.price_step = 0.25;
    int vols[10] = {400, 900, 1500, 2500, 3000, 2200, 1600, 800, 300, 100};
    for (int i = 0; i < 10; i++) rec.volume[i] = vols[i];
    rec.low = 100.25f, rec.high = 102.0f, rec.last = 101.0f;
    rec.time1 = 1000, rec.time2 = 1005;
    pane.SetPVDData(&rec);
  }
  pvd_record rec;
};

TEST_F(Distribution, RowsAlternateColoursWithLabelsAndAFreshSquare) {
  draw();
  save("distribution.png");
  CBasicChart& p = pane.panes[0];
  ASSERT_EQ(g_pvd.row_count, 10);
  int pitch = candle_pitch(g_pvd.row_def), lg = candle_left_gap(g_pvd.row_def);
  ASSERT_GT(pitch, 2);
  auto mid_y = [&](int i) { return p.data_rect.bottom - lg - g_pvd.rows[i].offset - pitch / 2; };
  auto length = [&](int i) { return (int)(rec.volume[i] / g_pvd.volume_per_pixel); };
  EXPECT_EQ(px(p.data_rect.left + 2, mid_y(0)), s.up_volume_color);
  EXPECT_EQ(px(p.data_rect.left + 2, mid_y(1)), 0xFFFF00u);
  EXPECT_EQ(px(p.data_rect.left + length(4) - 1, mid_y(4)), s.up_volume_color);
  EXPECT_EQ(px(p.data_rect.left + length(4) + 1, mid_y(4)), BG);
  // Fresh: the time stamps are 5 apart.
  EXPECT_EQ(px(p.pane_rect.left + 2, p.pane_rect.bottom - 3), 0x00FF00u);
  // Price labels in the label column.
  int text = 0;
  const KvRect& col = p.label_rect[1];
  for (int y = col.top; y < col.bottom; y++)
    for (int x = col.left; x < col.right; x++) text += px(x, y) == TEXT;
  EXPECT_GT(text, 20);
  // The range band and the last-price mark in the marker strip.
  ASSERT_FALSE(p.bidask_rect.IsRectEmpty());
  int last_row = (int)((rec.last - rec.base_price) / rec.price_step);
  EXPECT_EQ(px(p.bidask_rect.left + 1, p.data_rect.bottom - last_row * pitch - pitch / 2),
            s.last_mark_color);
  EXPECT_EQ(px(p.bidask_rect.left + 1, mid_y(8)), s.bidask_color);
  EXPECT_EQ(px(p.bidask_rect.left + 1, mid_y(9) - pitch), BG);

  // Stale: yellow, then red.
  rec.time2 = 1040;
  draw();
  EXPECT_EQ(px(p.pane_rect.left + 2, p.pane_rect.bottom - 3), 0x00FFFFu);
  rec.time2 = 1100;
  draw();
  EXPECT_EQ(px(p.pane_rect.left + 2, p.pane_rect.bottom - 3), 0x0000FFu);
}

TEST_F(Distribution, EmptyBinsDrawNoBars) {
  memset(rec.volume, 0, sizeof rec.volume);
  draw();
  CBasicChart& p = pane.panes[0];
  EXPECT_EQ(g_pvd.row_count, 0);
  for (int y = p.data_rect.top; y < p.data_rect.bottom; y += 3)
    ASSERT_EQ(px(p.data_rect.left + 10, y), BG) << y;
}

}  // namespace
