// The alert overlay on a real pane container: picking and setting alerts,
// the price box, percent axes, hidden markers, Delete and the alert file.
#include "chart/tests/annot_fixture.h"

#include <cstring>

#include "platform/files.h"
#include "platform/locks.h"
#include "quotes/alerts.h"
#include "quotes/mqt_record.h"
#include "res/resource.h"

namespace {

class Alerts : public ChartFixture {
 protected:
  void SetUp() override {
    ChartFixture::SetUp();
    snprintf(g_settings.DataRoot, sizeof g_settings.DataRoot, "%s", root_.path().c_str());
    kv_make_dirs(root_.file("CONFIG").c_str(), nullptr);
    free_alerts();
    ASSERT_EQ(load_alerts(), 1);
    alert = find_or_add_alert("IBM");
    ASSERT_NE(alert, nullptr);
    g_alerts_changed = 0;
    g_pref_flags = 0x1;  // alerts shown
    quote = std::make_unique<mqt>();
    quote->tick_size = 0.25;
    s.alert_colors[0] = 0x0000FF, s.alert_colors[1] = 0xFF0000;
    overlay.view_flags = &view_flags;
    overlay.alert = alert;
    overlay.quote = quote.get();
    overlay.backing = &image;
    paint();
  }
  void TearDown() override {
    free_alerts();
    ChartFixture::TearDown();
  }
  // The view's paint and layout steps.
  void paint() {
    paint_panes();
    overlay.TakeScale(pane);
    overlay.tick_size = 0.25;
    KvRect data, marks;
    pane.getChartDataRect(1, &data);
    pane.getActiveAlertsRect(1, &marks);
    KvDC dc(&image);
    overlay.DrawLines(dc, data, marks, s.alert_colors[0], s.alert_colors[1]);
    overlay.DrawButtons(dc, KvRect(0, 0, image.width(), image.height()));
  }
  void click_button(int which) {
    int x = overlay.ButtonRect().left + 7 + (which == 2 ? 15 : 0), y = overlay.ButtonRect().top + 7;
    EXPECT_EQ(overlay.OnMouseMove(x, y), which);
    EXPECT_EQ(overlay.OnLButtonDown(x, y), 1);
    EXPECT_EQ(overlay.OnLButtonUp(x, y), 1);
  }
  int bitmap_mismatches(int id, int x, int y) {
    QImage bmp = kv_res_bitmap(id);
    int bad = 0;
    for (int r = 0; r < bmp.height(); r++)
      for (int c = 0; c < bmp.width() && x + c < image.width(); c++)
        bad += px(x + c, y + r) != kv_colorref_from_rgb(bmp.pixel(c, r));
    return bad;
  }
  std::vector<alert_rec> saved_file() {
    std::string f = root_.read("CONFIG/alerts.dat");
    std::vector<alert_rec> out;
    for (size_t off = ALERTS_HEADER_SIZE; off + ALERT_REC_SIZE <= f.size(); off += ALERT_REC_SIZE) {
      alert_rec a;
      decode_alert_rec((const uint8_t*)f.data() + off, &a);
      out.push_back(a);
    }
    return out;
  }

  alert_rec* alert = nullptr;
  std::unique_ptr<mqt> quote;
  CAlertLinesOverlay overlay;
};

TEST_F(Alerts, HighButtonThenPressSetsTheAlertAndDeleteRemovesTheOther) {
  {
    kv_lock guard(g_chart_lock);
    alert->enabled = ALERT_LOW, alert->armed = ALERT_LOW, alert->low_price = 25;
    alert->flags = ALERT_IN_USE;
  }
  paint();
  ASSERT_FALSE(overlay.LowMarker().IsRectEmpty());
  EXPECT_EQ(
      bitmap_mismatches(IDB_ALERT_HIGH_OFF, overlay.ButtonRect().left, overlay.ButtonRect().top),
      0);
  click_button(1);
  EXPECT_TRUE(view_flags & VIEW_ALERT_PICKED);
  EXPECT_TRUE(view_flags & VIEW_HIGH_PICKED);
  QImage before = image.copy();
  int x = x_of(20), y = y_of(31.25);
  EXPECT_EQ(overlay.OnChartPress(pane, 0, x, y), 1);
  EXPECT_TRUE(view_flags & VIEW_PRICE_BOX);
  EXPECT_NE(image, before);
  overlay.OnMouseMove(x + 5, y - 3);  // the box follows
  EXPECT_EQ(overlay.OnLButtonUp(x + 5, y - 3), 1);
  EXPECT_EQ(image, before);  // the box is gone
  EXPECT_FALSE(view_flags & (VIEW_PRICE_BOX | VIEW_PLACING_ALERT | VIEW_HIGH_PICKED));
  EXPECT_FLOAT_EQ(alert->high_price, 31.25f);
  EXPECT_EQ(alert->enabled, (uint32_t)(ALERT_HIGH | ALERT_LOW));
  EXPECT_TRUE(alert->armed & ALERT_HIGH);
  EXPECT_FALSE(alert->fired & ALERT_HIGH);
  EXPECT_EQ(alert->high_word, 1u);
  EXPECT_EQ(g_alerts_changed.load(), 1);
  paint();
  EXPECT_EQ(
      bitmap_mismatches(IDB_ALERT_HIGH_ON, overlay.ButtonRect().left, overlay.ButtonRect().top), 0);
  EXPECT_EQ(px(p().data_rect.left + 5, y_of(31.25)), 0x0000FFu);
  KvRect hm = overlay.HighMarker();
  EXPECT_EQ(bitmap_mismatches(IDB_ALERT_HIGH_ON, hm.left, hm.top), 0);

  // Delete over the low marker; the change is saved.
  ASSERT_EQ(save_alerts(), 1);
  KvRect lm = overlay.LowMarker();
  EXPECT_EQ(overlay.OnMouseMove(lm.left + 3, lm.top + 3), 2);
  overlay.CancelDrag();
  EXPECT_EQ(alert->low_price, 0.0f);
  EXPECT_EQ(alert->enabled, (uint32_t)ALERT_HIGH);
  EXPECT_EQ(g_alerts_changed.load(), 1);
  EXPECT_TRUE(overlay.LowMarker().IsRectEmpty());
  ASSERT_EQ(save_alerts(), 1);
  std::vector<alert_rec> f = saved_file();
  ASSERT_EQ(f.size(), 1u);
  EXPECT_STREQ(f[0].symbol, "IBM");
  EXPECT_FLOAT_EQ(f[0].high_price, 31.25f);
  EXPECT_EQ(f[0].enabled, (uint32_t)ALERT_HIGH);
  EXPECT_EQ(f[0].low_price, 0.0f);
  EXPECT_FALSE(f[0].armed & ALERT_LOW);
}

TEST_F(Alerts, PriceBoxStaysInsideTheClientAndFlipsLeftInTheRightHalf) {
  KvRect client(0, 0, image.width(), image.height());
  struct {
    int x, y;
  } corners[] = {{1, 1}, {597, 1}, {1, 398}, {597, 380}, {300, 200}, {310, 200}};
  for (const auto& c : corners) {
    SCOPED_TRACE(testing::Message() << c.x << "," << c.y);
    click_button(1);
    ASSERT_EQ(overlay.OnChartPress(pane, 0, c.x, c.y), 1);
    KvRect b = overlay.BoxRect();
    ASSERT_FALSE(b.IsRectEmpty());
    EXPECT_GE(b.left, client.left);
    EXPECT_GE(b.top, client.top);
    EXPECT_LE(b.right, client.right);
    EXPECT_LE(b.bottom, client.bottom);
    if (c.x >= 300 && c.y > 30 && c.x < 590) {
      EXPECT_EQ(b.right, c.x);
    } else if (c.x < 300 && c.y > 30) {
      EXPECT_EQ(b.left, c.x);
    }
    overlay.OnLButtonUp(c.x, c.y);
  }
}

TEST_F(Alerts, PercentAxisDrawsAtThePercentAndSetsThePrice) {
  s.percent = 1;
  {
    kv_lock guard(g_chart_lock);
    alert->enabled = ALERT_HIGH, alert->high_price = 22;  // base 20: 10 %
  }
  paint();
  ASSERT_DOUBLE_EQ(p().own_percent_base, 20.0);
  int y =
      p().data_rect.bottom - (int)((10.0 - p().own_price.minimum) * p().own_price.pixels_per_unit);
  EXPECT_EQ(px(p().data_rect.left + 5, y), 0x0000FFu);
  EXPECT_EQ(px(p().data_rect.left + 5, y - 3), BG);
  // A press on the 25 % row sets 25.00, not 25.
  click_button(1);
  int y25 =
      p().data_rect.bottom - (int)((25.0 - p().own_price.minimum) * p().own_price.pixels_per_unit);
  overlay.OnChartPress(pane, 0, x_of(30), y25);
  overlay.OnLButtonUp(x_of(30), y25);
  EXPECT_NEAR(alert->high_price, 25.0f, 0.26f);
}

TEST_F(Alerts, APressInAPaneWithoutPricesSetsNothing) {
  show({CONTENT_PRICE, CONTENT_VOLUME});
  paint();
  click_button(2);
  int y = pane.panes[1].data_rect.top + 20;
  overlay.OnChartPress(pane, 1, x_of(20), y);
  overlay.OnLButtonUp(x_of(20), y);
  EXPECT_EQ(alert->enabled, 0u);
  EXPECT_EQ(alert->low_price, 0.0f);
  EXPECT_EQ(g_alerts_changed.load(), 0);
}

TEST_F(Alerts, AnAlertOffTheScaleHasNoMarkerAndDeleteLeavesIt) {
  {
    kv_lock guard(g_chart_lock);
    alert->enabled = ALERT_HIGH, alert->high_price = 35;
  }
  paint();
  KvRect was = overlay.HighMarker();
  ASSERT_FALSE(was.IsRectEmpty());
  alert->high_price = 1000;  // above the data area now
  paint();
  EXPECT_TRUE(overlay.HighMarker().IsRectEmpty());
  EXPECT_EQ(overlay.OnMouseMove(was.left + 3, was.top + 3), -1);
  overlay.CancelDrag();
  EXPECT_EQ(alert->enabled, (uint32_t)ALERT_HIGH);
  EXPECT_EQ(alert->high_price, 1000.0f);
}

TEST_F(Alerts, DeleteAfterARepaintHidTheMarkerLeavesTheAlert) {
  {
    kv_lock guard(g_chart_lock);
    alert->enabled = ALERT_HIGH, alert->high_price = 35;
  }
  paint();
  KvRect was = overlay.HighMarker();
  ASSERT_FALSE(was.IsRectEmpty());
  ASSERT_EQ(overlay.OnMouseMove(was.left + 3, was.top + 3), 1);
  // The pointer rests on the marker while a repaint moves the line off the
  // data area; Delete comes before any further move.
  {
    kv_lock guard(g_chart_lock);
    alert->high_price = 1000;
  }
  paint();
  overlay.CancelDrag();
  EXPECT_EQ(alert->enabled, (uint32_t)ALERT_HIGH);
  EXPECT_EQ(alert->high_price, 1000.0f);
  EXPECT_EQ(g_alerts_changed.load(), 0);
  // Still on screen: Delete removes it.
  {
    kv_lock guard(g_chart_lock);
    alert->high_price = 35;
  }
  paint();
  overlay.CancelDrag();
  EXPECT_EQ(alert->enabled, 0u);
  EXPECT_EQ(alert->high_price, 0.0f);
  EXPECT_EQ(g_alerts_changed.load(), 1);
}

TEST_F(Alerts, BothPickedTheLastPriceDecides) {
  quote->last = 35;
  struct {
    double price;
    bool high;
  } cases[] = {{30, false}, {40, true}, {35, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.price);
    alert->high_price = alert->low_price = 0;
    click_button(1);
    click_button(2);
    int y = y_of(c.price);
    overlay.OnChartPress(pane, 0, x_of(20), y);
    overlay.OnLButtonUp(x_of(20), y);
    EXPECT_NEAR(c.high ? alert->high_price : alert->low_price, c.price, 0.26);
    EXPECT_EQ(c.high ? alert->low_price : alert->high_price, 0.0f);
  }
  // Without a last price: the high one.
  quote->last = 0;
  alert->high_price = alert->low_price = 0;
  click_button(1);
  click_button(2);
  overlay.OnChartPress(pane, 0, x_of(20), y_of(30));
  overlay.OnLButtonUp(x_of(20), y_of(30));
  EXPECT_NEAR(alert->high_price, 30, 0.26);
}

TEST_F(Alerts, SwitchedOffNothingIsDrawnAndNothingIsHit) {
  CAlertLinesOverlay fresh;
  fresh.view_flags = &view_flags;
  fresh.alert = alert;
  fresh.backing = &image;
  EXPECT_EQ(fresh.HitTest(590, 392), -1);  // before any drawing
  g_pref_flags = 0;
  alert->enabled = ALERT_HIGH, alert->high_price = 35;
  paint_panes();
  QImage before = image.copy();
  {
    KvDC dc(&image);
    fresh.axis_min = p().own_price.minimum;
    fresh.pixels_per_unit = p().own_price.pixels_per_unit;
    fresh.DrawLines(dc, p().data_rect, p().data_rect, 0x0000FF, 0xFF0000);
    fresh.DrawButtons(dc, KvRect(0, 0, image.width(), image.height()));
  }
  EXPECT_EQ(image, before);
  EXPECT_EQ(fresh.HitTest(590, 392), -1);
  // Shown, then switched off: the buttons drawn before take no clicks.
  g_pref_flags = 0x1;
  {
    KvDC dc(&image);
    fresh.DrawButtons(dc, KvRect(0, 0, image.width(), image.height()));
  }
  EXPECT_EQ(fresh.HitTest(590, 392), 2);
  g_pref_flags = 0;
  {
    KvDC dc(&image);
    fresh.DrawButtons(dc, KvRect(0, 0, image.width(), image.height()));
  }
  EXPECT_EQ(fresh.HitTest(590, 392), -1);
  fresh.alert = nullptr;
  EXPECT_EQ(fresh.OnLButtonDown(10, 10), 0);
  EXPECT_EQ(fresh.HitTest(10, 10), 0);
}

}  // namespace
