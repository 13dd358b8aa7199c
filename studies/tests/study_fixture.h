// A chart record built in memory for study tests, and a study created on it
// from a template without going through the list.
#pragma once

#include <cstdlib>
#include <cstring>
#include <vector>

#include "data/chart.h"
#include "studies/study.h"
#include "studies/study_internal.h"

struct test_chart {
  chart_rec rec;
  std::vector<chart_bar> storage;

  explicit test_chart(int capacity = 64, int unit = TU_DAILY) {
    memset(&rec, 0, sizeof rec);
    storage.assign(capacity, chart_bar{});
    rec.bars = storage.data();
    rec.spare = capacity;
    rec.header.time_unit = unit;
  }
  ~test_chart() { free_study_list(rec.studies); }

  chart_rec *chart() { return &rec; }
  int count() const { return rec.header.bar_count; }

  // Appends a bar; time defaults to one day after the previous bar.
  chart_bar &add(float open, float high, float low, float close, int volume = 0, int time = -1) {
    int n = rec.header.bar_count;
    if (n >= (int)storage.size()) abort();
    chart_bar &b = storage[n];
    b = chart_bar{};
    b.open = open;
    b.high = high;
    b.low = low;
    b.close = close;
    b.volume = volume;
    b.time = time >= 0 ? time : (n ? storage[n - 1].time + 86400 : 1000 * 86400);
    rec.header.bar_count = n + 1;
    rec.spare = (int)storage.size() - n - 1;
    return b;
  }
  // A bar whose four prices are all the close.
  chart_bar &add_close(float close, int volume = 0) {
    return add(close, close, close, close, volume);
  }
};

// A study record with its outputs, computed directly (no study list).
struct test_study {
  StudyDef *s = nullptr;
  test_study(const StudyDef &t, int slots, StudyComputeFn fn) {
    int series = study_output_count(&t);
    s = (StudyDef *)calloc(
        1, sizeof(StudyDef) + (size_t)slots * series * sizeof(float) + sizeof(float));
    memcpy(s, &t, sizeof t);
    s->next = nullptr;
    s->output_len = slots;
    study_bind_outputs(s);
    for (int k = 0; k < series; k++) study_fill_missing(study_series(s, k), 0, slots);
    s->compute = fn;
  }
  ~test_study() { free(s); }
  float at(int i, int series = 0) const { return study_series(s, series)[i]; }
};

inline StudyDef study_template(int type, int period = 0, int price_type = PRICE_CLOSE,
                               int method = 0, double p1 = 0, double p2 = 0, double p3 = 0,
                               double p4 = 0) {
  StudyDef t;
  memset(&t, 0, sizeof t);
  t.type = type;
  t.period = period;
  t.price_type = price_type;
  t.method = method;
  t.p1 = p1;
  t.p2 = p2;
  t.p3 = p3;
  t.p4 = p4;
  t.line_width = 1;
  t.id = -1;
  return t;
}

#define MISSING MISSING_VALUE
