// A price chart laid out by a real pane container into an offscreen image,
// with the line editor and the alert overlay attached as a chart view
// attaches them, and the desktop services recorded.
#pragma once

// The chart fixture names a variable "slots", which Qt's headers define away.
#include "studies/tests/study_fixture.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "chart/alertoverlay.h"
#include "chart/annotview.h"
#include "chart/basicchart.h"
#include "chart/chartui.h"
#include "chart/pane.h"
#include "data/axis_scale.h"
#include "data/chartsettings.h"
#include "platform/qt/canvas.h"
#include "platform/qt/color.h"
#include "platform/qt/test_harness.h"
#include "platform/testing/fixture.h"
#include "settings/settings.h"
#include "settings/testing/settings_saver.h"

struct recorded_ui {
  static std::vector<std::string>& notices() {
    static std::vector<std::string> v;
    return v;
  }
  static std::vector<int>& moves() {
    static std::vector<int> v;
    return v;
  }
  static void notice(const char* t) { notices().push_back(t); }
  static void move(int dy) { moves().push_back(dy); }
};

class ChartViewOwner : public KvCanvasView {
 public:
  void OnDraw(KvDC&) override {}
};

class ChartFixture : public TempRootTest {
 protected:
  static constexpr COLORREF BG = 0xFFFFFF;
  // The editors made by the tests draw their bitmaps when constructed.
  ChartFixture() { kv_test_app(); }
  void SetUp() override {
    TempRootTest::SetUp();
    kv_test_app();
    recorded_ui::notices().clear();
    recorded_ui::moves().clear();
    saved_ui = chart_ui_install({recorded_ui::notice, recorded_ui::move});
    owner = std::make_unique<ChartViewOwner>();
    default_chart_settings(&s, 20261210);
    s.window_kind = WINDOW_KIND_CHART;
    s.candle_size = 1;  // pitch 7, centre 3
    s.bg_color = BG, s.up_color = 0x00C000, s.down_color = 0xC00000, s.wick_color = 0x808000;
    s.outline_color = 0;
    s.flags &= ~(CS_FLAG_TIME_COLOURS | CS_FLAG_HIDE_LABELS);
    s.display_flags = 0;
    s.percent = 0;
    g_pref_flags = 0, g_pref_flags2 = 0, g_price_lab_left = 0, g_show_gridlines = 0;
    image = QImage(600, 400, QImage::Format_RGB32);
    image.fill(Qt::black);
    pane.SetChartData(&chart_ptr, &n_overlays, overlay_list);
    pane.AttachWindow(&s, &view_flags, owner.get());
    for (int i = 0; i < 60; i++)
      chart.add(20 + i * 0.5f, 22 + i * 0.5f, 18 + i * 0.5f, 21 + i * 0.5f, 1000);
    show({CONTENT_PRICE});
  }
  void TearDown() override {
    chart_ui_install(saved_ui);
    free(chart.rec.axis_marks);
    chart.rec.axis_marks = nullptr;
    free_linked_blocks(chart.rec.extensions);
    chart.rec.extensions = nullptr;
    owner.reset();
    TempRootTest::TearDown();
  }
  void show(std::initializer_list<int> contents) {
    int k = 0;
    for (int c : contents) {
      s.pane_shown[k] = c != 0;
      s.pane_content[k] = c;
      k++;
    }
    for (; k < 4; k++) s.pane_shown[k] = 0, s.pane_content[k] = 0;
    KvScrollInfo si;
    si.min = 0, si.max = chart_ptr->header.bar_count - 1, si.page = chart_ptr->header.bar_count;
    si.pos = 0;
    owner->SetScrollInfo(si, false);
  }
  // The panes as the view paints them.
  void paint_panes() {
    KvDC dc(&image);
    pane.CalcPaneRects(KvRect(0, 0, image.width(), image.height()), 1, 0);
    pane.CalcLayouts(&dc);
    pane.Draw(&dc);
  }
  CBasicChart& p(int slot = 0) { return pane.panes[slot]; }
  COLORREF px(int x, int y) const { return kv_colorref_from_rgb(image.pixel(x, y)); }
  int x_of(int bar) const {
    const CBasicChart& b = pane.panes[0];
    return b.data_rect.left + (bar - s.m_nFirst) * candle_pitch(b.candle_def) +
           candle_centre(b.candle_def);
  }
  int y_of(double price) { return p().PriceRow(price); }

  SettingsSaver settings_saver;
  chart_ui_services saved_ui{};
  ChartSettings s{};
  std::unique_ptr<ChartViewOwner> owner;
  test_chart chart{120, TU_DAILY};
  chart_rec* chart_ptr = chart.chart();
  int n_overlays = 0;
  chart_rec* overlay_list[24] = {};
  uint32_t view_flags = 0;
  CPane pane;
  QImage image;
};
