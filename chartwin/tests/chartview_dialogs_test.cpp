// The chart view's dialog commands routed on a real chart window: Setup
// Chart reloads through the document only when the load changes, the
// colours recolour studies that would vanish, the custom alignment sets the
// alignment mode.
#include <gtest/gtest.h>

#include <cstring>

#include "chartwin/aligndatadlg.h"
#include "chartwin/chartcolordlg.h"
#include "chartwin/chartdoc.h"
#include "chartwin/chartsetupdlg.h"
#include "chartwin/chartview.h"
#include "chartwin/favoritesdlg.h"
#include "chartwin/tests/chartwin_fixture.h"
#include "data/chart.h"
#include "data/chart_flags.h"
#include "data/chartload.h"
#include "data/chartsettings.h"
#include "platform/qt/controls.h"
#include "platform/qt/dialog.h"
#include "platform/qt/test_harness.h"
#include "quotes/playbackdata.h"
#include "quotes/playthread.h"
#include "settings/datadirs.h"
#include "settings/settings.h"
#include "shell/core/chartstore.h"
#include "shell/playbackdlg.h"
#include "shell/app.h"
#include "studies/study.h"
#include "studies/studyapi.h"

namespace {

enum : unsigned {
  ID_SETUP = 32784,
  ID_COLOR = 32786,
  ID_ALIGN_CUSTOM = 33324,
  ID_PLAYBACK_SETUP = 33254,
  ID_APPLY_FAVORITE = 33333,
};

class ChartDialogCmdsTest : public ChartWinTest {
 protected:
  CKvChartDoc* open_intc() {
    write_price_file("INTC", TU_DAILY, wave_bars(200));
    CKvChartDoc* doc = new_chart();
    if (doc) type_symbol(view_of(doc), "INTC");
    return doc;
  }
  // Routes a command whose dialog drive() answers.
  static bool route(CKvChartView* v, unsigned id, std::function<void(QWidget*)> drive) {
    kv_when_modal(std::move(drive));
    return v->OnCmdMsg(id);
  }
  static std::string chart_symbol(const CKvChartDoc* doc) {
    return doc->m_chart ? std::string(doc->m_chart->header.symbol) : std::string();
  }
};

TEST_F(ChartDialogCmdsTest, SetupChartReloadsOnlyWhenTheLoadChanges) {
  write_price_file("MSFT", TU_DAILY, wave_bars(150));
  CKvChartDoc* doc = open_intc();
  CKvChartView* v = view_of(doc);
  ASSERT_TRUE(doc && doc->m_chart);
  ChartSettings& s = doc->Settings();
  chart_rec* first = doc->m_chart;

  // Cancel and an unchanged OK keep the chart and the main symbol.
  for (int button : {IDCANCEL, IDOK}) {
    ASSERT_TRUE(route(v, ID_SETUP, [button](QWidget* w) { kv_click(w, button); }));
    EXPECT_EQ(doc->m_chart, first);
    EXPECT_STREQ(s.symbol, "INTC");
    EXPECT_EQ(s.changed, 0);
  }

  // The chart type alone is applied without a reload.
  route(v, ID_SETUP, [](QWidget* w) {
    kv_choose(w, IDC_SETUP_CHARTTYPE, 2);
    kv_click(w, IDOK);
  });
  EXPECT_EQ(doc->m_chart, first);
  EXPECT_NE(s.chart_type, 0);
  EXPECT_EQ(s.changed, 0);

  // A symbol typed in the dialog loads through the document; with percent
  // scaling the bid/ask bar goes.
  s.percent = 1;
  s.display_flags |= CS_SHOW_BIDASK;
  route(v, ID_SETUP, [](QWidget* w) {
    kv_type(w, IDC_SETUP_SYMBOL, QStringLiteral("msft"));
    kv_click(w, IDOK);
  });
  EXPECT_EQ(chart_symbol(doc), "MSFT");
  EXPECT_EQ(doc->GetBarCount(), 150);
  EXPECT_STREQ(s.symbol, "MSFT");
  EXPECT_EQ(s.changed, 0);
  EXPECT_FALSE(s.display_flags & CS_SHOW_BIDASK);
  EXPECT_FALSE(doc->m_chart->header.flags & CHART_BIDASK_SHOWN);

  // A load that fails keeps the chart and the bar length it was loaded with.
  int unit = s.time_unit;
  route(v, ID_SETUP, [](QWidget* w) {
    kv_type(w, IDC_SETUP_SYMBOL, QStringLiteral("NOSUCH"));
    kv_choose(w, IDC_SETUP_TIMESPAN, 15);  // 1 Week
    kv_click(w, IDOK);
  });
  EXPECT_EQ(chart_symbol(doc), "MSFT");
  EXPECT_STREQ(s.symbol, "MSFT");
  EXPECT_EQ(s.time_unit, unit);
}

TEST_F(ChartDialogCmdsTest, ChartColorGivesStudiesInTheBackgroundColourTheOpposite) {
  CKvChartDoc* doc = open_intc();
  CKvChartView* v = view_of(doc);
  ASSERT_TRUE(doc && doc->m_chart);
  ChartSettings& s = doc->Settings();
  StudyDef* black = find_or_create_study(doc->m_chart, 0x80001, 20, 4, 1.0);
  StudyDef* red = find_or_create_study(doc->m_chart, 0x80001, 50, 4, 1.0);
  ASSERT_TRUE(black && red && black != red);
  black->color = 0;
  red->color = 0x0000FF;
  s.bg_color = 0xFFFFFF;
  auto saved = CChartColorDlg::s_choose_color;
  CChartColorDlg::s_choose_color = [](uint32_t* c) {
    *c = 0;
    return true;
  };
  auto pick_black_background = [](int button) {
    return [button](QWidget* w) {
      kv_choose(w, IDC_COLOR_LIST, 0);
      kv_click(w, IDC_COLOR_PICK);
      kv_click(w, button);
    };
  };
  route(v, ID_COLOR, pick_black_background(IDCANCEL));
  EXPECT_EQ(s.bg_color, 0xFFFFFFu);
  EXPECT_EQ(black->color, 0u);
  ASSERT_TRUE(route(v, ID_COLOR, pick_black_background(IDOK)));
  CChartColorDlg::s_choose_color = saved;
  EXPECT_EQ(s.bg_color, 0u);
  EXPECT_EQ(black->color, 0xFFFFFFu);
  EXPECT_EQ(red->color, 0x0000FFu);
}

TEST_F(ChartDialogCmdsTest, AlignCustomSetsTheModeOnOkOnlyWithPercentScaling) {
  CKvChartDoc* doc = open_intc();
  CKvChartView* v = view_of(doc);
  ASSERT_TRUE(doc && doc->m_chart);
  ChartSettings& s = doc->Settings();
  s.percent = 0;
  KvCmdUI ui;
  ui.id = ID_ALIGN_CUSTOM;
  ASSERT_TRUE(v->OnUpdateCmdUI(ui));
  EXPECT_FALSE(ui.enabled);

  s.percent = 1;
  s.display_flags = (s.display_flags & ~CS_PERCENT_BASE_MASK) | 0x10;  // previous close
  route(v, ID_ALIGN_CUSTOM, [](QWidget* w) {
    kv_set_check(w, IDC_ALIGN_DAYS_RADIO, true);
    kv_type(w, IDC_ALIGN_DAYS_BACK, QStringLiteral("30"));
    kv_click(w, IDCANCEL);
  });
  EXPECT_EQ(s.display_flags & CS_PERCENT_BASE_MASK, 0x10u);
  EXPECT_EQ(s.use_days_back, 0);

  ASSERT_TRUE(route(v, ID_ALIGN_CUSTOM, [](QWidget* w) {
    kv_set_check(w, IDC_ALIGN_DAYS_RADIO, true);
    kv_type(w, IDC_ALIGN_DAYS_BACK, QStringLiteral("30"));
    kv_click(w, IDOK);
  }));
  EXPECT_EQ(s.display_flags & CS_PERCENT_BASE_MASK, 0x28u);
  EXPECT_EQ(s.use_days_back, 1);
  EXPECT_EQ(s.days_back, 30);
  ui = KvCmdUI{};
  ui.id = ID_ALIGN_CUSTOM;
  v->OnUpdateCmdUI(ui);
  EXPECT_TRUE(ui.enabled);
  EXPECT_EQ(ui.check, 1);
}

// Playback Setup: Cancel keeps the stored record; OK stores the copy, sets
// the playback up from it, takes the rate only when it was changed, and
// marks whether this chart shows the playback symbol.
TEST_F(ChartDialogCmdsTest, PlaybackSetupStoresTheCopyAndTakesAChangedRate) {
  CKvChartDoc* doc = open_intc();
  CKvChartView* v = view_of(doc);
  ASSERT_TRUE(doc && doc->m_chart);
  PlaybackData d{};
  snprintf(d.name, sizeof d.name, "INTC");
  d.flags = PLAYBACK_PREPARED;
  d.start = 86400 * 19000 + 9 * 3600;
  d.rate = 5;
  for (int i = 0; i < PLAYBACK_SESSIONS; i++) d.range_start[i] = d.range_stop[i] = -1;
  playback_data_encode(&d, g_settings.PlaybackData);
  uint8_t stored[PBD_SIZE];
  memcpy(stored, g_settings.PlaybackData, PBD_SIZE);
  g_playback = playback_settings{};
  g_playback.speed = 7;
  g_playback_state = 0;

  ASSERT_TRUE(route(v, ID_PLAYBACK_SETUP, [](QWidget* w) {
    kv_type(w, IDC_PB_RATE, QStringLiteral("20"));
    kv_click(w, IDCANCEL);
  }));
  EXPECT_EQ(memcmp(stored, g_settings.PlaybackData, PBD_SIZE), 0);
  EXPECT_EQ(g_playback.speed, 7);

  route(v, ID_PLAYBACK_SETUP, [](QWidget* w) {
    kv_type(w, IDC_PB_RANGE_FIRST, QStringLiteral("09:30"));
    kv_type(w, IDC_PB_RANGE_FIRST + 1, QStringLiteral("16:00"));
    kv_click(w, IDOK);
  });
  EXPECT_STREQ(g_playback.symbol, "INTC");
  EXPECT_EQ(g_playback.speed, 7);  // the rate was not changed
  EXPECT_EQ(g_playback.sessions[0][0], 9 * 3600 + 30 * 60);
  EXPECT_EQ(g_playback.sessions[3][1], -1);
  EXPECT_TRUE(g_playback_state.load() & PLAYBACK_CHART_SHOWN);

  route(v, ID_PLAYBACK_SETUP, [](QWidget* w) {
    kv_type(w, IDC_PB_RATE, QStringLiteral("20"));
    kv_type(w, IDC_PB_FILE, QStringLiteral("ES"));
    kv_click(w, IDOK);
  });
  EXPECT_EQ(g_playback.speed, 20);
  PlaybackData back;
  playback_data_decode(g_settings.PlaybackData, &back);
  EXPECT_EQ(back.rate, 20);
  EXPECT_STREQ(back.name, "ES");
  EXPECT_EQ(back.flags & (PLAYBACK_NEW_RATE | PLAYBACK_PREPARED), 0u);
  EXPECT_FALSE(g_playback_state.load() & PLAYBACK_CHART_SHOWN);
  // Accelerate returns to the stored rate after Realtime.
  ASSERT_TRUE(v->OnCmdMsg(33281));
  EXPECT_EQ(playback_speed(), 1);
  ASSERT_TRUE(v->OnCmdMsg(33282));
  EXPECT_EQ(playback_speed(), 20);
  g_playback = playback_settings{};
  g_playback_state = 0;
}

// Apply Favorite: the pick's colours, chart type, name, percent switch,
// line width, panes and studies replace the chart's; the symbol, time unit
// and dates stay. Cancel, and a chart whose studies carry an order, keep
// the chart as it is.
TEST_F(ChartDialogCmdsTest, ApplyFavoriteTakesTheLookAndStudiesAndKeepsTheSymbol) {
  // The favourite: an MSFT chart drawn as a line, on a percent axis, with
  // a 20-bar average.
  write_price_file("MSFT", TU_DAILY, wave_bars(150));
  CKvChartDoc* source = new_chart();
  ASSERT_TRUE(source);
  type_symbol(view_of(source), "MSFT");
  ASSERT_TRUE(source->m_chart);
  ChartSettings look = source->Settings();
  look.bg_color = 0x102030;
  look.up_color = 0x0000FF;
  look.alert_colors[1] = 0x123456;
  look.position_colors[0] = 0x654321;
  look.chart_type = 5;
  look.line_width = 3;
  look.percent = 1;
  look.pane_count = 2;
  look.pane_shown[1] = 1;
  look.pane_content[1] = 0x4;
  look.splits[0] = 0.6f;
  snprintf(look.favorite_name, sizeof look.favorite_name, "look");
  look.favorite_named = 1;
  ASSERT_TRUE(find_or_create_study(source->m_chart, 0x80001, 20, 4, 1.0));
  char path[1024];
  data_folder_path(path, sizeof path, KV_DIR_FAVORITE, "look.fav");
  ASSERT_EQ(g_chart_store.SaveFavorite(&look, path, source->m_chart), 1);

  CKvChartDoc* doc = open_intc();
  CKvChartView* v = view_of(doc);
  ASSERT_TRUE(doc && doc->m_chart);
  ChartSettings& s = doc->Settings();
  StudyDef* own = find_or_create_study(doc->m_chart, 0x80001, 50, 4, 1.0);
  ASSERT_TRUE(own);
  s.display_flags |= CS_SHOW_GRTRADE | CS_SHOW_BIDASK;
  const ChartSettings before = s;
  auto unchanged = [&] {
    return s.bg_color == before.bg_color && s.chart_type == before.chart_type &&
           s.percent == before.percent && s.display_flags == before.display_flags &&
           !strcmp(s.favorite_name, before.favorite_name) && doc->m_chart->studies == own;
  };
  auto pick = [](QWidget* w) {
    EXPECT_FALSE(kv_find_control(w, IDOK)->isEnabled());  // only a pick ends it
    kv_choose(w, IDC_FAV_LIST, 0);
    kv_click(w, IDC_FAV_CREATE);
  };

  route(v, ID_APPLY_FAVORITE, [](QWidget* w) { kv_click(w, IDCANCEL); });
  EXPECT_TRUE(unchanged());

  own->attached_order = 77;
  size_t boxes = services_.boxes.size();
  route(v, ID_APPLY_FAVORITE, pick);
  ASSERT_EQ(services_.boxes.size(), boxes + 1);
  EXPECT_EQ(services_.boxes.back().text,
            "Can't apply a favorite while orders are attached to studies\n");
  EXPECT_TRUE(unchanged());
  own->attached_order = 0;

  route(v, ID_APPLY_FAVORITE, pick);
  EXPECT_EQ(s.bg_color, 0x102030u);
  EXPECT_EQ(s.up_color, 0x0000FFu);
  EXPECT_EQ(s.alert_colors[1], 0x123456u);
  EXPECT_EQ(s.position_colors[0], 0x654321u);
  EXPECT_EQ(s.chart_type, 5);
  EXPECT_EQ(s.line_width, 3);
  EXPECT_EQ(s.pane_count, 2);
  EXPECT_EQ(s.pane_content[1], 0x4);
  EXPECT_FLOAT_EQ(s.splits[0], 0.6f);
  EXPECT_STREQ(s.favorite_name, "look");
  EXPECT_EQ(doc->m_favorite_name.toStdString(), "look");
  // The percent axis takes graphical trading and the bid/ask bar away.
  EXPECT_EQ(s.percent, 1);
  EXPECT_FALSE(s.display_flags & (CS_SHOW_GRTRADE | CS_SHOW_BIDASK));
  // What the chart shows stays.
  EXPECT_STREQ(s.symbol, "INTC");
  EXPECT_EQ(s.time_unit, before.time_unit);
  EXPECT_EQ(memcmp(s.start_dates, before.start_dates, sizeof s.start_dates), 0);
  EXPECT_EQ(chart_symbol(doc), "INTC");
  std::vector<int> periods;
  for (StudyDef* st = doc->m_chart->studies; st; st = st->next) periods.push_back(st->period);
  EXPECT_EQ(periods, std::vector<int>{20});

  // Without a chart there is nothing to apply to.
  KvCmdUI ui;
  ui.id = ID_APPLY_FAVORITE;
  CKvChartDoc* empty = new_chart();
  ASSERT_TRUE(empty);
  view_of(empty)->OnUpdateCmdUI(ui);
  EXPECT_FALSE(ui.enabled);
}

}  // namespace
