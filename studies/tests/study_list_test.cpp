// A chart's study list: create, find equal, find-or-create by type with its
// names and refusals, delete, copy and transfer, recompute with attached
// orders, pane counting, growth of the series.
#include <gtest/gtest.h>

#include <string>

#include "data/chart_flags.h"
#include "data/tests/status_capture.h"
#include "study_fixture.h"

namespace {

StudyDef sma(int period) {
  return study_template(STUDY_SMA, period, PRICE_CLOSE, 0, 0, 1);
}

int list_length(const chart_rec *c) {
  int n = 0;
  for (StudyDef *s = c->studies; s; s = s->next) n++;
  return n;
}

}  // namespace

TEST(StudyList, CreateComputesAndAppends) {
  test_chart c(20);
  for (int i = 0; i < 5; i++) c.add_close((float)i);
  StudyDef t = sma(2);
  StudyDef *s = create_study(c.chart(), &t);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(c.rec.studies, s);
  EXPECT_EQ(s->output_len, 20);  // 5 bars and 15 spare slots
  EXPECT_EQ(s->outputs, reinterpret_cast<float *>(s + 1));
  EXPECT_EQ(s->compute, &compute_moving_average);
  EXPECT_TRUE(study_is_missing(s->outputs[0]));
  EXPECT_FLOAT_EQ(s->outputs[4], 3.5f);
  for (int i = 5; i < 20; i++) EXPECT_TRUE(study_is_missing(s->outputs[i])) << i;

  // equal: refused silently, list unchanged; another period: appended
  StatusCapture cap;
  EXPECT_EQ(create_study(c.chart(), &t), nullptr);
  EXPECT_TRUE(cap.take().empty());
  StudyDef t3 = sma(3);
  StudyDef *s3 = create_study(c.chart(), &t3);
  ASSERT_NE(s3, nullptr);
  EXPECT_EQ(s->next, s3);
  EXPECT_EQ(s3->id, s->id + 1);
  EXPECT_EQ(list_length(c.chart()), 2);
}

TEST(StudyList, EmptyChartGivesSpareSlotsOfMissingValues) {
  test_chart c(6);
  StudyDef t = study_template(STUDY_STOCH_D, 5, 4, 0, 1, 3);
  StudyDef *s = create_study(c.chart(), &t);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->output_len, 6);
  for (int k = 0; k < 2; k++)
    for (int i = 0; i < 6; i++) EXPECT_TRUE(study_is_missing(study_series(s, k)[i]));
}

// A layout read back may carry any output count: a built-in type keeps the
// series its computation writes.
TEST(StudyList, BuiltInTypesKeepTheirSeriesCount) {
  test_chart c(20);
  for (int i = 0; i < 12; i++) c.add(10.f + i, 12.f + i, 9.f + i, 11.f + i, 100 + i);
  const int types[] = {STUDY_STOCH_D, STUDY_VMA, STUDY_REL_VOLUME, STUDY_SMA};
  for (int type : types) {
    StudyDef t = study_template(type, 3, 4, 0, 1, 3);
    t.output_count = 1;
    StudyDef *s = create_study(c.chart(), &t);
    ASSERT_NE(s, nullptr) << std::hex << type;
    EXPECT_EQ(study_output_count(s), type == STUDY_SMA ? 1 : 2) << std::hex << type;
  }
  ASSERT_EQ(resize_chart_studies(c.chart(), 24), 1);
  recalc_studies(c.chart(), 1);
}

TEST(StudyList, DailyLinesAreOnePerChart) {
  test_chart c(4);
  StudyDef a = study_template(STUDY_PIVOT), b = study_template(STUDY_PIVOT, 9, 2, 1, 5);
  ASSERT_NE(create_study(c.chart(), &a), nullptr);
  EXPECT_EQ(create_study(c.chart(), &b), nullptr);
  EXPECT_EQ(find_or_create_study(c.chart(), STUDY_PIVOT), c.rec.studies);
  // a template marked unique is never equal
  StudyDef u = sma(4);
  u.state = STUDY_STATE_UNIQUE;
  ASSERT_NE(create_study(c.chart(), &u), nullptr);
  ASSERT_NE(create_study(c.chart(), &u), nullptr);
}

TEST(StudyList, RefusalsAreReported) {
  test_chart c(4);
  StatusCapture cap;
  EXPECT_EQ(create_study(nullptr, nullptr), nullptr);
  EXPECT_TRUE(cap.saw("null ptr argument"));
  StudyDef t = study_template(0x4711);
  EXPECT_EQ(create_study(c.chart(), &t), nullptr);
  EXPECT_TRUE(cap.saw("No calculate function for study"));
  EXPECT_EQ(find_or_create_study(c.chart(), STUDY_BB_UPPER, 1, 4, 2.0), nullptr);
  EXPECT_TRUE(cap.saw("can't compute std. deviation for period < 2"));
  EXPECT_EQ(find_or_create_study(c.chart(), STUDY_AVG_VOLUME, 20), nullptr);
  EXPECT_EQ(find_or_create_study(c.chart(), STUDY_PREV_CLOSE), nullptr);
  EXPECT_TRUE(cap.saw("Unknown study type"));
  EXPECT_EQ(
      find_or_create_study(c.chart(), STUDY_LIBRARY, "ferlume1", 2, 14, 0, 0, 0.0, 0.0, 0.0, 0.0),
      nullptr);
  EXPECT_TRUE(cap.saw("Unknown external study"));
  EXPECT_EQ(c.rec.studies, nullptr);
}

TEST(StudyList, FindOrCreateNamesAndFields) {
  test_chart c(40);
  for (int i = 0; i < 30; i++) c.add_close(10.f + (i % 7));
  const struct {
    StudyDef *s;
    const char *name;
  } cases[] = {
      {find_or_create_study(c.chart(), STUDY_SMA, 20, 4, 1.0), "_Simple MA(20)"},
      {find_or_create_study(c.chart(), STUDY_EMA, 9, 4, 1.0), "_Exponental MA(9)"},
      {find_or_create_study(c.chart(), STUDY_TMA, 9, 4, 1.0), "_Triangular MA(9)"},
      {find_or_create_study(c.chart(), STUDY_STDDEV, 20, 4, 1.0), "_StdDev(20)"},
      {find_or_create_study(c.chart(), STUDY_BB_UPPER, 20, 4, 2.0), "Upper Bollinger Band(20,2.0)"},
      {find_or_create_study(c.chart(), STUDY_BB_MID, 20, 4, 0.0), "Bollinger Band Midline(20)"},
      {find_or_create_study(c.chart(), STUDY_BB_LOWER, 20, 4, -2.0),
       "Lower Bollinger Band(20,-2.0)"},
      {find_or_create_study(c.chart(), STUDY_BB_PERCENT, 20, 4, 2.0, 3),
       "Bollinger Band %B(20,2.0,3)"},
      {find_or_create_study(c.chart(), STUDY_BB_WIDTH, 20, 4, 2.0), "Bollinger Band Width(20,2.0)"},
      {find_or_create_study(c.chart(), STUDY_MACD, 12, 26.0, 4), "_MACD(12,26)"},
      {find_or_create_study(c.chart(), STUDY_MACD_SIGNAL, 12, 26.0, 4, 9.0), "_MACDSL(12,26,9)"},
      {find_or_create_study(c.chart(), STUDY_TRADE_SIGNALS), "_Trade signals"},
      {find_or_create_study(c.chart(), STUDY_ORDER_PRICE), "_Order Price"},
      {find_or_create_study(c.chart(), STUDY_EQUITY), "_Equity"},
  };
  for (auto &cs : cases) {
    ASSERT_NE(cs.s, nullptr) << cs.name;
    EXPECT_STREQ(cs.s->name, cs.name);
    EXPECT_EQ(cs.s->color, cs.s->type == STUDY_TRADE_SIGNALS ? 0xFFFF00u
                           : cs.s->type == STUDY_EQUITY      ? 0x00FF00u
                                                             : 0x808080u);
  }
  StudyDef *lower = cases[6].s;
  EXPECT_EQ(memcmp(lower->abbrev, "BB", 3), 0);
  EXPECT_EQ(lower->p1, 1.0);
  EXPECT_EQ(lower->p2, -2.0);
  EXPECT_EQ(cases[7].s->p1, 3.0);
  EXPECT_EQ(cases[10].s->p2, 26.0);
  EXPECT_EQ(cases[10].s->p3, 9.0);
  EXPECT_EQ(cases[11].s->pane_group, 4u);
  EXPECT_EQ(cases[13].s->pane_group, 32u);

  // the same arguments give the same record
  EXPECT_EQ(find_or_create_study(c.chart(), STUDY_SMA, 20, 4, 1.0), cases[0].s);
  EXPECT_EQ(find_or_create_study(c.chart(), STUDY_MACD, 12, 26.0, 4), cases[9].s);
  StudyDef *k = find_or_create_study(c.chart(), STUDY_STOCH_D, 5, 1.0, 3.0, 1, 4);
  ASSERT_NE(k, nullptr);
  EXPECT_EQ(k->period, 5);
  EXPECT_EQ(k->p2, 3.0);
  EXPECT_EQ(k->method, 1);
  EXPECT_EQ(k->price_type, 4);
}

TEST(StudyList, HiddenStudiesCountNoPane) {
  test_chart c(8);
  StudyDef *hidden = find_or_create_study(c.chart(), STUDY_CREATE_HIDDEN | STUDY_SMA, 3, 4, 1.0);
  ASSERT_NE(hidden, nullptr);
  EXPECT_EQ(hidden->type, STUDY_SMA);
  EXPECT_TRUE(hidden->state & STUDY_STATE_HIDDEN);
  hidden->pane_group = 1;
  EXPECT_EQ(count_study_panes(c.chart(), 0x3F), 2);  // price and volume panes only
  StudyDef *rsi = find_or_create_study(c.chart(), STUDY_RSI, 14, 4);
  StudyDef *k = find_or_create_study(c.chart(), STUDY_STOCH_K, 10, 1.0, 4);
  StudyDef *macd = find_or_create_study(c.chart(), STUDY_MACD, 12, 26.0, 4);
  rsi->pane_group = k->pane_group = 8;  // slot 3, shared
  macd->pane_group = 4;                 // slot 2
  EXPECT_EQ(count_study_panes(c.chart(), 8), 1);
  EXPECT_EQ(count_study_panes(c.chart(), 4 | 8), 2);
  EXPECT_EQ(count_study_panes(c.chart(), 1 | 4 | 8), 3);
  EXPECT_EQ(count_study_panes(c.chart(), 16), 0);
}

TEST(StudyList, DeleteUnlinks) {
  test_chart c(8);
  StudyDef *a = find_or_create_study(c.chart(), STUDY_SMA, 3, 4, 1.0);
  StudyDef *b = find_or_create_study(c.chart(), STUDY_SMA, 4, 4, 1.0);
  StudyDef *d = find_or_create_study(c.chart(), STUDY_SMA, 5, 4, 1.0);
  EXPECT_EQ(delete_study(c.chart(), b), 1);
  EXPECT_EQ(a->next, d);
  StudyDef stray = sma(9);
  EXPECT_EQ(delete_study(c.chart(), &stray), 0);
  EXPECT_EQ(list_length(c.chart()), 2);
}

// An equal study already on the destination counts as copied: the studies
// after it still arrive.
TEST(StudyList, CopyGoesOnPastEqualStudies) {
  test_chart src(16), dst(16);
  for (int i = 0; i < 10; i++) {
    src.add_close((float)i);
    dst.add_close((float)i);
  }
  find_or_create_study(src.chart(), STUDY_SMA, 3, 4, 1.0);
  find_or_create_study(src.chart(), STUDY_RSI, 4, 4);
  find_or_create_study(src.chart(), STUDY_MACD, 2, 5.0, 4);
  find_or_create_study(dst.chart(), STUDY_SMA, 3, 4, 1.0);
  EXPECT_EQ(copy_studies(dst.chart(), src.chart()), 1);
  ASSERT_EQ(list_length(dst.chart()), 3);
  EXPECT_EQ(dst.rec.studies->next->type, STUDY_RSI);
  EXPECT_EQ(dst.rec.studies->next->next->type, STUDY_MACD);
  EXPECT_EQ(copy_studies(dst.chart(), dst.chart()), 1);
  EXPECT_EQ(copy_studies(nullptr, src.chart()), 0);
}

TEST(StudyList, TransferReleasesTheOldChart) {
  chart_rec *old_chart = alloc_chart_rec();
  ASSERT_NE(old_chart, nullptr);
  old_chart->owner_window = 77;
  ASSERT_NE(find_or_create_study(old_chart, STUDY_EMA, 5, 4, 1.0), nullptr);
  ASSERT_NE(find_or_create_study(old_chart, STUDY_CCI, 5, 6), nullptr);
  test_chart fresh(16);
  for (int i = 0; i < 8; i++) fresh.add_close((float)i);
  EXPECT_EQ(transfer_studies(fresh.chart(), old_chart), 1);  // old chart freed (sanitizers watch)
  ASSERT_EQ(list_length(fresh.chart()), 2);
  // computed again over the new chart's bars and slots
  test_chart ref(16);
  for (int i = 0; i < 8; i++) ref.add_close((float)i);
  StudyDef *want = find_or_create_study(ref.chart(), STUDY_EMA, 5, 4, 1.0);
  EXPECT_EQ(fresh.rec.studies->output_len, 16);
  EXPECT_EQ(fresh.rec.studies->outputs[7], want->outputs[7]);
  EXPECT_FALSE(study_is_missing(fresh.rec.studies->outputs[7]));
}

TEST(StudyList, TransferKeepsTheOldChartWhenACopyFails) {
  test_chart old_chart(8), fresh(8);
  old_chart.rec.owner_window = 5;
  StudyDef t =
      study_template(0x18);  // its values come from outside: no function, nothing to create
  StudyDef *ext = create_study(old_chart.chart(), &t);
  ASSERT_NE(ext, nullptr);
  StudyDef bad = study_template(0x4711);
  bad.next = nullptr;
  ext->next = (StudyDef *)calloc(1, sizeof(StudyDef));  // a record no table knows
  *ext->next = bad;
  EXPECT_EQ(transfer_studies(fresh.chart(), old_chart.chart()), 0);
  EXPECT_EQ(old_chart.rec.header.flags & 0x6000u, 0x6000u);
  EXPECT_EQ(old_chart.rec.owner_window, 0u);
  EXPECT_EQ(list_length(fresh.chart()), 1);
}

namespace {
int g_reprice_calls;
int g_reprice_result;
int fake_reprice(chart_rec *, StudyDef *s) {
  g_reprice_calls++;
  return s->attached_order == 7 ? g_reprice_result : 0;
}
}  // namespace

TEST(StudyList, RecalcRepricesAttachedOrders) {
  test_chart c(8);
  for (int i = 0; i < 6; i++) c.add_close((float)i);
  StudyDef *a = find_or_create_study(c.chart(), STUDY_SMA, 2, 4, 1.0);
  find_or_create_study(c.chart(), STUDY_SMA, 3, 4, 1.0);
  a->attached_order = 7;
  g_reprice_study_order = fake_reprice;
  g_reprice_calls = 0;
  g_reprice_result = 1;
  c.rec.header.flags |= CHART_STUDIES_STALE;
  recalc_studies(c.chart(), 0);
  EXPECT_EQ(g_reprice_calls, 1);
  EXPECT_TRUE(c.rec.header.flags & CHART_STUDIES_STALE);  // an order moved
  g_reprice_result = 0;
  recalc_studies(c.chart(), 1);
  EXPECT_FALSE(c.rec.header.flags & CHART_STUDIES_STALE);
  g_reprice_study_order = nullptr;
}

namespace {
// A stand-in library: its one study writes the bar index, and the binder
// gives every study of "ferlume1" that function.
int lib_compute_calls;
int lib_compute(chart_rec *chart, StudyDef *s, int) {
  study_bind_outputs(s);
  lib_compute_calls++;
  for (int i = 0; i < chart->header.bar_count; i++) s->outputs[i] = (float)i;
  return 1;
}
int fake_bind(StudyDef *s) {
  if (strcmp(s->lib_name, "ferlume1") != 0) return 0;
  s->type = 0x4000280;
  s->output_count = 2;
  s->compute = lib_compute;
  snprintf(s->name, sizeof s->name, "*Lib %d", s->lib_index);
  return 1;
}
}  // namespace

TEST(StudyList, KeltnerChannelCreatesItsSources) {
  test_chart c(16);
  for (int i = 0; i < 10; i++) c.add_close((float)i);
  StudyDef t = study_template(0x4000080, 20, 4, 1, 1.5);
  strcpy(t.lib_name, "FERLUME1");
  t.lib_index = 9;
  t.compute = lib_compute;

  StatusCapture cap;
  EXPECT_EQ(create_study(c.chart(), &t), nullptr);  // no library host: no ATR
  EXPECT_TRUE(cap.saw("Can't create ATR for Keltner Channel"));

  g_bind_user_study = fake_bind;
  lib_compute_calls = 0;
  StudyDef *k = create_study(c.chart(), &t);
  g_bind_user_study = nullptr;
  ASSERT_NE(k, nullptr);
  // the exponential average (method 1) already stood from the first try,
  // then the library's average true range, then the channel itself
  StudyDef *ma = c.rec.studies;
  ASSERT_NE(ma, nullptr);
  EXPECT_EQ(ma->type, STUDY_EMA);
  EXPECT_EQ(ma->period, 20);
  EXPECT_EQ(ma->p2, 1.0);
  StudyDef *atr = ma->next;
  ASSERT_NE(atr, nullptr);
  EXPECT_EQ(atr->lib_index, 2);
  EXPECT_EQ(atr->price_type, 0);
  EXPECT_EQ(atr->method, 1);
  EXPECT_STREQ(atr->lib_name, "ferlume1");
  EXPECT_EQ(atr->output_count, 2);
  EXPECT_EQ(atr->next, k);
  EXPECT_EQ(lib_compute_calls, 2);
  EXPECT_FLOAT_EQ(k->outputs[9], 9);
}

TEST(StudyList, GrowingKeepsValuesAndAddsMissingSlots) {
  test_chart c(64);
  for (int i = 0; i < 12; i++) c.add(1.f + i, 2.f + i, 0.5f + i, 1.5f + (i % 3));
  c.rec.spare = 0;  // the study gets exactly 12 slots
  StudyDef *d = find_or_create_study(c.chart(), STUDY_STOCH_D, 3, 1.0, 2.0, 0, 4);
  StudyDef *sig = find_or_create_study(c.chart(), STUDY_TRADE_SIGNALS);
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(d->output_len, 12);
  std::vector<float> k_before(study_series(d, 1), study_series(d, 1) + 12);
  std::vector<float> d_before(study_series(d, 0), study_series(d, 0) + 12);
  ASSERT_EQ(resize_chart_studies(c.chart(), 40), 1);
  d = c.rec.studies;
  sig = d->next;
  EXPECT_EQ(d->output_len, 40);
  EXPECT_EQ(d->outputs, reinterpret_cast<float *>(d + 1));
  for (int i = 0; i < 12; i++) {
    EXPECT_EQ(study_series(d, 0)[i], d_before[i]);
    EXPECT_EQ(study_series(d, 1)[i], k_before[i]);
  }
  for (int i = 12; i < 40; i++) {
    EXPECT_TRUE(study_is_missing(study_series(d, 0)[i]));
    EXPECT_TRUE(study_is_missing(study_series(d, 1)[i]));
    uint32_t w;
    memcpy(&w, &sig->outputs[i], 4);
    EXPECT_EQ(w, 0u);  // trade-signal words start empty
  }
  // and the grown study goes on computing
  c.add(20, 21, 19, 20);
  recalc_studies(c.chart(), 0);
  EXPECT_FALSE(study_is_missing(study_series(d, 1)[12]));
}
