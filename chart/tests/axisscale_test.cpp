// Vertical axis scaling: ranges, steps and labels from hand-worked values.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "chart/axisscale.h"

#include <memory>

#include "quotes/mqt_record.h"
#include "data/tests/status_capture.h"
#include "studies/tests/study_fixture.h"

namespace {

// A study of the chart filled with one value per bar, every series alike.
struct filled_study : test_study {
  filled_study(chart_rec* c, int type, int pane_group, std::initializer_list<float> values)
      : test_study(study_template(type), 64, nullptr) {
    s->pane_group = (uint32_t)pane_group;
    for (int k = 0; k < study_output_count(s); k++) {
      int i = 0;
      for (float v : values) study_series(s, k)[i++] = v;
    }
    s->next = c->studies;
    c->studies = s;
  }
  ~filled_study() { s = nullptr; }  // freed with the chart's list
};

TEST(AxisScale, PercentAxisStepAndLabels) {
  test_chart c(8, TU_DAILY);
  c.add(100, 100.8f, 99.7f, 100);
  c.add(100, 100.5f, 100, 100.2f);
  c.rec.percent_base = 100;
  ASSERT_EQ(scale_percent_axis(c.chart(), nullptr, 0, 0, 1, 300, 12, SCALE_NO_STUDIES, 0), 1);
  const axis_scale& s = c.rec.price_scale;
  // -0.3 .. 0.8 widened by 4%: wanted 1.188 / 16, step 0.1.
  EXPECT_NEAR(s.minimum, -0.344, 1e-4);
  EXPECT_NEAR(s.pixels_per_unit, 300 / 1.188, 0.01);
  EXPECT_STREQ(s.labels[0].text, "-0.30%");
  EXPECT_STREQ(s.labels[1].text, "-0.20%");
  EXPECT_NEAR(s.labels[1].offset - s.labels[0].offset, 25, 1);
  // Unchanged range and height: the block is kept.
  c.rec.price_scale.labels[0].text[0] = 'X';
  EXPECT_EQ(scale_percent_axis(c.chart(), nullptr, 0, 0, 1, 300, 12, SCALE_NO_STUDIES, 0), 1);
  EXPECT_EQ(c.rec.price_scale.labels[0].text[0], 'X');
}

TEST(AxisScale, RangeBeyondTheLargestStepReportsAndFails) {
  StatusCapture status;
  test_chart c(8, TU_DAILY);
  c.add(1, 5e7f, 1, 1);
  c.add(1, 1, 1, 1);
  EXPECT_EQ(scale_price_axis(c.chart(), 0, 1, 300, 12, SCALE_NO_STUDIES, 0, 0), 0);
  EXPECT_TRUE(status.saw("scaling err: minprice="));
}

TEST(AxisScale, LongLabelTextsAreCutToTheirField) {
  // A tick of 0.01 keeps the margin small: steps of cents, "100000.00".
  std::unique_ptr<mqt, decltype(&free)> q(static_cast<mqt*>(calloc(1, sizeof(mqt))), &free);
  q->tick_size = 0.01;
  test_chart c(8, TU_DAILY);
  c.add(100000, 100000.4f, 99999.6f, 100000);
  c.add(100000, 100000.2f, 99999.8f, 100000);
  c.rec.mqt = q.get();
  ASSERT_EQ(scale_price_axis(c.chart(), 0, 1, 300, 12, SCALE_NO_STUDIES, 0, 0), 1);
  int texts = 0;
  for (int i = 0; i < c.rec.price_scale.label_count; i++) {
    const char* t = c.rec.price_scale.labels[i].text;
    EXPECT_LE(strnlen(t, 9), 8u);
    texts += t[0] != 0;
  }
  EXPECT_GT(texts, 0);

  test_chart p(8, TU_DAILY);
  p.add(100, 12434, 1, 100);  // labels "10000.00%" and more
  p.add(100, 200, 50, 100);
  p.rec.percent_base = 100;
  ASSERT_EQ(scale_percent_axis(p.chart(), nullptr, 0, 0, 1, 300, 12, SCALE_NO_STUDIES, 0), 1);
  for (int i = 0; i < p.rec.price_scale.label_count; i++)
    EXPECT_LE(strnlen(p.rec.price_scale.labels[i].text, 9), 8u);
  EXPECT_EQ(p.rec.price_scale.longest_label, 8);
}

TEST(AxisScale, FlatZeroAndNegativePricesGiveAUsableScale) {
  const float prices[] = {0, 5, -5, 1e-7f, 123456};
  for (float p : prices) {
    test_chart c(8, TU_DAILY);
    c.add(p, p, p, p);
    c.add(p, p, p, p);
    memset(&c.rec.price_scale, 0, sizeof c.rec.price_scale);
    scale_price_axis(c.chart(), 0, 1, 200, 12, SCALE_NO_STUDIES, 0, 0);
    const axis_scale& s = c.rec.price_scale;
    EXPECT_TRUE(std::isfinite(s.minimum)) << p;
    EXPECT_TRUE(std::isfinite(s.pixels_per_unit) && s.pixels_per_unit > 0) << p;
    EXPECT_LT(axis_pixels(&s, p), 200) << p;
    EXPECT_GE(axis_pixels(&s, p), 0) << p;
  }
  axis_scale s{};
  s.pixels_per_unit = 1e300;
  EXPECT_EQ(axis_pixels(&s, 1e300), 1000000000);
}

// A bit word as the float slot holds it.
float word(uint32_t w) {
  float f;
  memcpy(&f, &w, 4);
  return f;
}

TEST(AxisScale, StudyPanesKeepTheirFloors) {
  struct Case {
    int type;
    std::initializer_list<float> values;
    double min, max;
  };
  const Case cases[] = {
      {0x80030F, {40, 50, 60}, 0, 100},              // RSI in slot 3: 0..100
      {STUDY_MACD, {-0.4f, 0.2f, 1.0f}, -1.1, 1.1},  // symmetric
      {STUDY_CCI, {-50, 180, 20}, -200, 200},        // rounded up to 50s
      // Trade signals: positions are the low 13 bits of integer words
      // (3 with a buy-open bit, then -2), not float values.
      {STUDY_TRADE_SIGNALS, {word(0x8000003), word(0x1FFE), word(0)}, -3.3, 3.3},
  };
  for (const Case& k : cases) {
    test_chart c(8, TU_DAILY);
    for (int i = 0; i < 3; i++) c.add(10, 11, 9, 10);
    filled_study st(c.chart(), k.type, 4, k.values);
    StudyDef *a = nullptr, *b = nullptr;
    EXPECT_EQ(calc_study_scale(c.chart(), 4, 0, 2, 200, 12, &a, &b), 1) << k.type;
    EXPECT_EQ(a, st.s);
    EXPECT_EQ(b, nullptr);
    EXPECT_NEAR(st.s->scale.label_min, k.min, 1e-5) << k.type;
    EXPECT_NEAR(st.s->scale.label_max, k.max, 1e-5) << k.type;
    EXPECT_GT(st.s->scale.label_count, 1);
  }
}

// Labelled ticks of a study block, their texts in tick order.
std::string study_label_texts(const axis_scale& s) {
  std::string out;
  for (int i = 0; i < s.label_count; i++)
    if (s.labels[i].text[0]) {
      // Volume-style texts of whole numbers come padded on the left.
      const char* t = s.labels[i].text;
      while (*t == ' ') t++;
      out += std::string(out.empty() ? "" : " ") + t;
    }
  return out;
}

TEST(AxisScale, StudyLabelsSitOnTicksWithTheirOwnDecimals) {
  struct Case {
    int type;
    std::initializer_list<float> values;
    int ticks;
    const char* labels;
  };
  const Case cases[] = {
      // -1.1..1.1: ticks every 0.2 from -1.0; 17 pixels is below the label
      // height + 5, so every second tick is labelled, 0 among them.
      {STUDY_MACD, {-0.4f, 0.2f, 1.0f}, 11, "-0.8 -0.4 0 0.4 0.8"},
      // Bandwidth is a percentage: 2..6 in steps of 0.5, one decimal.
      {STUDY_BB_WIDTH, {2, 4, 6}, 9, "2.0% 2.5% 3.0% 3.5% 4.0% 4.5% 5.0% 5.5% 6.0%"},
  };
  for (const Case& k : cases) {
    test_chart c(8, TU_DAILY);
    for (int i = 0; i < 3; i++) c.add(10, 11, 9, 10);
    filled_study st(c.chart(), k.type, 4, k.values);
    ASSERT_EQ(calc_study_scale(c.chart(), 4, 0, 2, 200, 14, nullptr, nullptr), 1) << k.type;
    const axis_scale& s = st.s->scale;
    EXPECT_EQ(s.label_count, k.ticks) << k.type;
    EXPECT_EQ(study_label_texts(s), k.labels) << k.type;
    // Every labelled value sits on its tick: the offsets follow the values.
    for (int i = 1; i < s.label_count; i++) EXPECT_GT(s.labels[i].offset, s.labels[i - 1].offset);
  }
}

TEST(AxisScale, VolumeTicksWiderThanTheLabelStepStillGetLabels) {
  // 1,000,000 in 100 pixels with 25-pixel ticks: the tick step doubles to
  // 400,000 while the label step is 200,000; no tick meets a label value
  // exactly, yet every tick is labelled.
  test_chart c(8, TU_DAILY);
  c.add(1, 1, 1, 1, 1000000);
  c.add(1, 1, 1, 1, 500000);
  ASSERT_EQ(scale_volume_axis(c.chart(), 0, 1, 100, 25), 1);
  const axis_scale& s = c.rec.volume_scale;
  ASSERT_EQ(s.label_count, 2);
  EXPECT_EQ(s.labels[0].offset, 40);
  EXPECT_EQ(s.labels[1].offset, 80);
  EXPECT_NE(s.labels[0].text[0], 0);
  EXPECT_NE(s.labels[1].text[0], 0);
}

TEST(AxisScale, VolumeAxisWithoutVolumeSpansZeroToTen) {
  test_chart c(8, TU_DAILY);
  c.add(1, 1, 1, 1);
  c.add(1, 1, 1, 1);
  ASSERT_EQ(scale_volume_axis(c.chart(), 0, 1, 100, 12), 1);
  EXPECT_EQ(c.rec.volume_scale.minimum, 0);
  EXPECT_DOUBLE_EQ(c.rec.volume_scale.pixels_per_unit, 10.0);
  EXPECT_EQ(c.rec.volume_scale.label_max, 10);
}

TEST(AxisScale, GroupLabelsDropTheLeadingZero) {
  struct Case {
    double v;
    int money;
    const char* text;
  } cases[] = {{0.5, 0, ".50%"},     {-0.5, 0, "-.50%"}, {2, 0, "2%"},
               {-1.25, 0, "-1.25%"}, {1500, 1, "1500"},  {-12345.67, 0, "-12345.6"}};
  for (const Case& c : cases) {
    char out[9];
    group_label_text(c.v, c.money, out, sizeof out);
    EXPECT_STREQ(out, c.text) << c.v;
  }
}

TEST(AxisScale, MatchingBarsByTime) {
  test_chart a(16, TU_DAILY), b(16, TU_DAILY);
  for (int i = 0; i < 10; i++) a.add(1, 1, 1, 1, 0, 86400 * (100 + i));
  for (int i = 0; i < 10; i++)
    if (i != 4) b.add(1, 1, 1, 1, 0, 86400 * (100 + i));
  EXPECT_EQ(match_bar_index(a.chart(), 2, b.chart()), 2);
  EXPECT_EQ(match_bar_index(a.chart(), 4, b.chart()), -1);
  EXPECT_EQ(match_bar_index(a.chart(), 9, b.chart()), 8);
  EXPECT_EQ(match_bar_index(a.chart(), 10, b.chart()), -1);
}

}  // namespace
