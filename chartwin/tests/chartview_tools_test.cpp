// The chart view's tool commands in real chart windows: daily indicators,
// spike repair, the slide show, playback speed marks, typed position
// entries, and the drawing toolbar's combos.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QListView>
#include <QToolBar>
#include <cmath>
#include <string>
#include <vector>

#include "chart/annotview.h"
#include "chart/linerec.h"
#include "chartwin/annotlayers.h"
#include "chartwin/chartdoc.h"
#include "chartwin/chartview.h"
#include "chartwin/drawtoolbar.h"
#include "chartwin/posentry.h"
#include "chartwin/tests/chartwin_fixture.h"
#include "data/chart.h"
#include "data/chartsettings.h"
#include "data/symlist.h"
#include "platform/locks.h"
#include "platform/qt/cmdtarget.h"
#include "platform/testing/wait.h"
#include "quotes/mqt.h"
#include "quotes/mqt_record.h"
#include "quotes/playbackdata.h"
#include "quotes/playthread.h"
#include "quotes/tickfile.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "settings/datadirs.h"
#include "settings/settings.h"
#include "shell/app.h"
#include "studies/pages/bitmapcombo.h"
#include "studies/studyapi.h"

namespace {

const int kIndicatorTypes[13] = {0x8010013, 0x801002E, 0x801002F, 0x8010017, 0x8010014,
                                 0x8010016, 0x8010015, 0x8010030, 0x8010029, 0x801002A,
                                 0x801002B, 0x801002C, 0x801002D};

class ChartToolsTest : public ChartWinTest {
 protected:
  CKvChartView* open(const char* symbol, int unit, const std::vector<fixture_bar>& bars) {
    write_price_file(symbol, unit, bars);
    CKvChartDoc* doc = new_chart();
    if (!doc) return nullptr;
    CKvChartView* v = view_of(doc);
    v->Settings()->time_unit = unit;
    type_symbol(v, symbol);
    return doc->m_chart ? v : nullptr;
  }
  static int count_type(chart_rec* c, int type) {
    kv_lock guard(g_chart_lock);
    int n = 0;
    for (StudyDef* s = c->studies; s; s = s->next) n += s->type == type;
    return n;
  }
  static bool checked(CKvChartView* v, unsigned id) {
    KvCmdUI ui;
    ui.id = id;
    v->OnUpdateCmdUI(ui);
    return ui.check != 0;
  }
};

TEST_F(ChartToolsTest, AddAllIndicatorsKeepsOneDaysOpenAndAddsTheOtherTwelve) {
  CKvChartView* v = open("INTC", 1, wave_bars(200));
  ASSERT_TRUE(v);
  chart_rec* c = v->GetDocument()->m_chart;
  ASSERT_TRUE(v->OnCmdMsg(32883));  // Day's Open
  EXPECT_EQ(count_type(c, 0x8010017), 1);
  EXPECT_TRUE(checked(v, 32883));
  ASSERT_TRUE(v->OnCmdMsg(32921));  // Add All Indicators
  for (int type : kIndicatorTypes) EXPECT_EQ(count_type(c, type), 1) << std::hex << type;
  ASSERT_TRUE(v->OnCmdMsg(32883));  // toggles the line off
  EXPECT_EQ(count_type(c, 0x8010017), 0);
  ASSERT_TRUE(v->OnCmdMsg(32919));  // Delete All Indicators
  for (int type : kIndicatorTypes) EXPECT_EQ(count_type(c, type), 0) << std::hex << type;
}

TEST_F(ChartToolsTest, DeleteSpikeAveragesTheNeighboursAndKeepsTheBarWhole) {
  CKvChartView* v = open("INTC", TU_DAILY, wave_bars(30));
  ASSERT_TRUE(v);
  chart_rec* c = v->GetDocument()->m_chart;
  chart_bar b1, b2;
  {
    kv_lock guard(g_chart_lock);
    c->bars[0].high = 90, c->bars[0].low = 1, c->bars[0].open = 85, c->bars[0].close = 2;
    b1 = c->bars[1], b2 = c->bars[2];
  }
  v->m_right_click_bar = 0;
  ASSERT_TRUE(v->OnCmdMsg(33017));
  {
    kv_lock guard(g_chart_lock);
    const chart_bar& b = c->bars[0];
    EXPECT_FLOAT_EQ(b.high, (b1.high + b2.high) / 2);
    EXPECT_FLOAT_EQ(b.low, (b1.low + b2.low) / 2);
    EXPECT_EQ(b.open, b.high);  // clipped into the new range
    EXPECT_EQ(b.close, b.low);
    EXPECT_TRUE(b.flags & 0x80000000u);
  }

  // A spread's bars below zero keep their sign.
  {
    kv_lock guard(g_chart_lock);
    snprintf(c->header.leg1, sizeof c->header.leg1, "IBM");
    for (int i = 4; i <= 6; i++) {
      c->bars[i].high = -1.0f - i, c->bars[i].low = -3.0f - i;
      c->bars[i].open = c->bars[i].close = -2.0f - i;
    }
    c->bars[5].high = 50;
  }
  v->m_right_click_bar = 5;
  ASSERT_TRUE(v->OnCmdMsg(33017));
  {
    kv_lock guard(g_chart_lock);
    EXPECT_FLOAT_EQ(c->bars[5].high, -6.0f);
    EXPECT_FLOAT_EQ(c->bars[5].low, -8.0f);
    EXPECT_LE(c->bars[5].open, c->bars[5].high);
    EXPECT_GE(c->bars[5].open, c->bars[5].low);
  }
}

TEST_F(ChartToolsTest, ScalePointTakesTheRightClickedBarAndClears) {
  CKvChartView* v = open("TEST", TU_DAILY, wave_bars(30));
  ASSERT_TRUE(v);
  chart_rec* c = v->GetDocument()->m_chart;
  ASSERT_TRUE(c->mqt);
  v->m_right_click_bar = 30;  // outside the chart: nothing stored
  ASSERT_TRUE(v->OnCmdMsg(33263));
  EXPECT_FALSE(checked(v, 33263));
  v->m_right_click_bar = 7;
  ASSERT_TRUE(v->OnCmdMsg(33263));
  {
    kv_lock guard(g_chart_lock);
    EXPECT_EQ(c->mqt->scale_point, c->bars[7].time);
    EXPECT_NE(c->mqt->scale_point, 0);
  }
  EXPECT_TRUE(checked(v, 33263));
  ASSERT_TRUE(v->OnCmdMsg(33265));
  {
    kv_lock guard(g_chart_lock);
    EXPECT_EQ(c->mqt->scale_point, 0);
  }
  EXPECT_FALSE(checked(v, 33263));
}

TEST_F(ChartToolsTest, DeleteSpikeOnATwoBarChartChangesNothing) {
  CKvChartView* v = open("INTC", TU_DAILY, wave_bars(2));
  ASSERT_TRUE(v);
  chart_rec* c = v->GetDocument()->m_chart;
  chart_bar before[2];
  {
    kv_lock guard(g_chart_lock);
    memcpy(before, c->bars, sizeof before);
  }
  v->m_right_click_bar = 1;
  ASSERT_TRUE(v->OnCmdMsg(33017));
  kv_lock guard(g_chart_lock);
  EXPECT_EQ(memcmp(before, c->bars, sizeof before), 0);
}

TEST_F(ChartToolsTest, SlideShowShowsEachOfThreeSymbolsAndStops) {
  for (const char* s : {"AAA", "BBB", "CCC"}) write_price_file(s, TU_DAILY, wave_bars(40));
  write_data("SLF/three.slf", "AAA\nBBB\nCCC\n");
  ASSERT_EQ(load_symbol_list(data_file("SLF/three.slf").c_str()), 3);
  CKvChartView* v = open("AAA", TU_DAILY, wave_bars(40));
  ASSERT_TRUE(v);
  CKvChartDoc* doc = v->GetDocument();
  std::vector<std::string> shown;
  ASSERT_TRUE(v->OnCmdMsg(32860));
  EXPECT_TRUE(v->SlideShowRunning());
  EXPECT_TRUE(checked(v, 32860));
  auto symbol = [&] { return std::string(doc->m_chart ? doc->m_chart->header.symbol : ""); };
  shown.push_back(symbol());
  ASSERT_TRUE(kv_wait_until(
      [&] {
        QCoreApplication::processEvents();
        if (symbol() != shown.back()) shown.push_back(symbol());
        return !v->SlideShowRunning();
      },
      15000));
  EXPECT_EQ(shown, (std::vector<std::string>{"AAA", "BBB", "CCC"}));
  free_symbol_list();
}

TEST_F(ChartToolsTest, MaxSpeedClearsTheRealTimeAndAcceleratedMarks) {
  CKvChartView* v = open("INTC", TU_DAILY, wave_bars(20));
  ASSERT_TRUE(v);
  ASSERT_TRUE(v->OnCmdMsg(33281));
  EXPECT_EQ(playback_speed_mode(), 0x8);
  ASSERT_TRUE(v->OnCmdMsg(33282));
  EXPECT_EQ(playback_speed_mode(), 0x10);
  ASSERT_TRUE(v->OnCmdMsg(33277));
  EXPECT_EQ(playback_speed_mode(), 0x20);
  EXPECT_FALSE(checked(v, 33281));
  EXPECT_FALSE(checked(v, 33282));
  EXPECT_TRUE(checked(v, 33277));
  ASSERT_TRUE(v->OnCmdMsg(33281));
  EXPECT_FALSE(checked(v, 33277));
}

// Accelerate plays at the rate Playback Setup stored, within 1 to 100.
TEST_F(ChartToolsTest, AccelerateTakesTheStoredPlaybackRate) {
  CKvChartView* v = open("INTC", TU_DAILY, wave_bars(20));
  ASSERT_TRUE(v);
  const struct { int rate, speed; } cases[] = {{7, 7}, {100, 100}, {0, 1}, {250, 100}, {-4, 1}};
  for (const auto& c : cases) {
    PlaybackData d{};
    d.rate = c.rate;
    playback_data_encode(&d, g_settings.PlaybackData);
    ASSERT_TRUE(v->OnCmdMsg(33281));  // Realtime first: the speed is 1
    ASSERT_TRUE(v->OnCmdMsg(33282));
    EXPECT_EQ(playback_speed(), c.speed) << c.rate;
    EXPECT_TRUE(checked(v, 33282));
  }
  g_playback = {};
}

TEST_F(ChartToolsTest, PlaybackCommandsRunATickFileThroughStartSkipSpeedsAndRewind) {
  // Starting and closing the playback thread wait 5 s for it; at the
  // fixture's thousandth a loaded machine misses those 5 ms.
  kv_set_time_scale(0.02);
  CKvChartView* v = open("ES", TU_DAILY, wave_bars(20));
  ASSERT_TRUE(v);
  chart_rec* c = v->GetDocument()->m_chart;
  ASSERT_TRUE(c->mqt);
  {
    kv_lock guard(g_chart_lock);
    c->mqt->tick_size = 0.25;
  }
  // Two sessions' worth of trades an hour apart.
  const int32_t day = 1704153600;  // 2024-01-02
  std::vector<uint32_t> w;
  for (int i = 0; i < 40; i++) {
    uint32_t f[3];
    encode_full_tick(f, 0, 10 + i, day + 10 * 3600 + (i / 20) * 3600 + i, 100.0f + 0.25f * (i % 4));
    w.insert(w.end(), f, f + 3);
  }
  char dir[1024], path[1100];
  data_folder_path(dir, sizeof dir, KV_DIR_HDATA, nullptr);
  kv_make_dirs(dir, nullptr);
  snprintf(path, sizeof path, "%s/ES.tsdata", dir);
  std::vector<uint8_t> b(w.size() * 4);
  tick_words_to_bytes(w.data(), (int)w.size(), b.data());
  ASSERT_EQ(kv_write_file_atomic(path, b.data(), b.size(), nullptr), 1);
  g_playback = {};
  snprintf(g_playback.symbol, sizeof g_playback.symbol, "ES");
  g_playback.speed = 1;

  KvCmdUI ui;
  ui.id = 33166;
  v->OnUpdateCmdUI(ui);
  EXPECT_TRUE(ui.enabled);          // the chart shows the playback symbol
  ASSERT_TRUE(v->OnCmdMsg(33281));  // Realtime
  ASSERT_TRUE(v->OnCmdMsg(33166));  // Start: initialises first
  EXPECT_TRUE(g_playback_state & PLAYBACK_INITIALISED);
  EXPECT_TRUE(g_playback_running);
  EXPECT_TRUE(checked(v, 33166));
  ASSERT_TRUE(v->OnCmdMsg(33276));  // Skip: passes the rest of the session
  ASSERT_TRUE(v->OnCmdMsg(33277));  // Max Speed
  EXPECT_TRUE(g_playback_state & PLAYBACK_FAST);
  ASSERT_TRUE(kv_wait_until(
      [&] {
        kv_lock guard(g_chart_lock);
        return c->mqt && c->mqt->volume > 0;
      },
      20000));
  ASSERT_TRUE(v->OnCmdMsg(33168));  // Stop
  EXPECT_FALSE(g_playback_running);
  ASSERT_TRUE(v->OnCmdMsg(33280));  // Rewind: stop, close, charts cleared
  EXPECT_FALSE(g_playback_state & PLAYBACK_INITIALISED);
  {
    kv_lock guard(g_chart_lock);
    EXPECT_EQ(c->header.bar_count, 0);
  }
  g_playback_state = 0;
  g_playback = {};
}

TEST_F(ChartToolsTest, PositionEntriesSetThePositionAndBadPricesStoreNothing) {
  mqt* r = create_multiquote_struct("ENTRY");
  ASSERT_TRUE(r);
  struct {
    const char* text;
    double quantity, price;
  } cases[] = {
      {"=100", 100, 0}, {"=-200@12.5", -200, 12.5}, {"=", 0, 0},       {"=abc@3", 0, 3},
      {"=7@nan", 0, 3}, {"=7@inf", 0, 3},           {"=8@-INF", 0, 3},
  };
  for (const auto& c : cases) {
    parse_qty_at_price(r, c.text);
    EXPECT_EQ(r->account_positions[0].quantity, c.quantity) << c.text;
    EXPECT_EQ(r->account_positions[0].avg_price, c.price) << c.text;
  }
  parse_qty_at_price(nullptr, "=5@1");  // no record: nothing to store
  delete_multiquote(r);
}

TEST_F(ChartToolsTest, TypedPositionEntryIsNeverLoadedAsASymbol) {
  CKvChartView* v = open("TEST", TU_DAILY, wave_bars(60));
  ASSERT_TRUE(v);
  chart_rec* c = v->GetDocument()->m_chart;
  ASSERT_TRUE(c->mqt);
  type_symbol(v, "=300@21.25");
  EXPECT_STREQ(v->GetDocument()->m_chart->header.symbol, "TEST");
  EXPECT_TRUE(v->TypedText().isEmpty());
  kv_lock guard(g_chart_lock);
  EXPECT_EQ(c->mqt->account_positions[0].quantity, 300);
  EXPECT_EQ(c->mqt->account_positions[0].avg_price, 21.25);
}

TEST_F(ChartToolsTest, DrawingToolbarCombosKeepTheirValueWhenDismissed) {
  QToolBar bar;
  bar.addAction(QStringLiteral("colour"))->setData(1022u);
  bar.addAction(QStringLiteral("style"))->setData(33243u);
  g_annot_draw.color = 0x123456;  // not in the table
  g_annot_draw.style = 0;
  g_annot_draw.width = 1;
  CDrawToolBar* t = install_draw_toolbar(&bar);
  ASSERT_TRUE(t);
  EXPECT_EQ(t->ColorCombo()->GetCurSel(), 9);
  EXPECT_EQ(t->StyleCombo()->GetCurSel(), 0);
  EXPECT_EQ(g_annot_draw.color, 0x123456u);  // shown, not changed

  g_annot_draw.color = 0x008000;
  bar.show();
  t->ColorCombo()->showPopup();
  EXPECT_EQ(t->ColorCombo()->GetCurSel(), 2);  // the list opens on the current colour
  t->ColorCombo()->hidePopup();
  EXPECT_EQ(g_annot_draw.color, 0x008000u);  // dismissed: unchanged
  t->StyleCombo()->showPopup();
  t->StyleCombo()->hidePopup();
  EXPECT_EQ(g_annot_draw.style, 0);

  // A choice takes: colour 9 is red, style 5 widens a width of 1 to 2.
  emit t->ColorCombo()->activated(9);
  EXPECT_EQ(g_annot_draw.color, 0x0000FFu);
  emit t->StyleCombo()->activated(5);
  EXPECT_EQ(g_annot_draw.style, 5);
  EXPECT_EQ(g_annot_draw.width, 2);

  // A line drawn afterwards in a chart window takes the bar's colour,
  // style and width.
  CKvChartView* v = open("INTC", TU_DAILY, wave_bars(300));
  ASSERT_TRUE(v);
  CKvAnnotView* editor = chart_annot_editor(v->m_annot.get());
  ASSERT_TRUE(editor);
  v->Invalidate(true);
  v->repaint();
  KvRect area = editor->area;
  ASSERT_GT(area.Width(), 100);
  ASSERT_TRUE(v->OnCmdMsg(33233));  // Draw/2 Point Finite Line
  int x1 = area.left + area.Width() / 4, y1 = area.top + area.Height() / 3;
  int x2 = area.left + area.Width() / 2, y2 = area.top + area.Height() * 2 / 3;
  auto mouse = [v](QEvent::Type type, int x, int y) {
    QPointF p(x, y);
    Qt::MouseButton b = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent e(type, p, v->mapToGlobal(p), b, held, Qt::NoModifier);
    QCoreApplication::sendEvent(v, &e);
  };
  mouse(QEvent::MouseMove, x1, y1);
  mouse(QEvent::MouseButtonPress, x1, y1);
  mouse(QEvent::MouseMove, x2, y2);
  mouse(QEvent::MouseButtonRelease, x2, y2);
  ASSERT_TRUE(v->OnCmdMsg(33231));  // Draw/None keeps the line
  {
    kv_lock guard(g_chart_lock);
    chart_rec* c = v->GetDocument()->m_chart;
    ASSERT_EQ(c->header.ext_count, 1);
    line_record l;
    line_record_decode(c->extensions->block, &l);
    EXPECT_EQ(l.color, 0x0000FFu);
    EXPECT_EQ(l.style, 5);
    EXPECT_EQ(l.width, 2);
  }
  g_annot_draw = {0, 255, 0, 0, 0, 0};
}

}  // namespace
