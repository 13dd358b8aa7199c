// Ferlume1 regression studies: Time Series Forecast, its band and its
// deviation, and the Modified Moving Average.  Each value comes from its
// own window, so only the index is kept between calls.
#include "studylib/ferlume.h"

namespace {
struct index_state {
  int32_t index;
};

enum { TSF_LINE, TSF_BAND, TSF_DEVIATION };

int tsf_run(chart_rec *chart, StudyDef *s, int restart, int kind) {
  int count = ferlume_bar_count(chart, s);
  index_state st;
  int start = study_begin(s, restart, 0, count, &st);
  float *out = study_series(s, 0);
  int n = study_cap(s->period);
  if (n < 1) {
    study_fill_missing(out, 0, count);
    return 1;
  }
  for (int i = start; i < count; i++) {
    if (i < n - 1) {
      out[i] = MISSING_VALUE;
      continue;
    }
    double slope = 0, max_dev = 0, rms = 0, a;
    if (kind == TSF_LINE)
      a = g_callbacks->study_linear_regression(chart, i - n + 1, i, s->price_type, &slope);
    else
      a = g_callbacks->study_regression_channel(chart, i - n + 1, i, s->price_type, &slope, &max_dev, &rms);
    double v = kind == TSF_DEVIATION ? rms : a + n * slope;
    if (kind == TSF_BAND) v += rms * s->p1;
    out[i] = study_out(v);
  }
  if (count > 0) {
    st.index = count - 1;
    study_save_state(s, st);
  }
  return 1;
}
}  // namespace

int calcTSF(chart_rec *chart, StudyDef *s, int restart) { return tsf_run(chart, s, restart, TSF_LINE); }
int calcTSFB(chart_rec *chart, StudyDef *s, int restart) { return tsf_run(chart, s, restart, TSF_BAND); }
int calcTSFD(chart_rec *chart, StudyDef *s, int restart) { return tsf_run(chart, s, restart, TSF_DEVIATION); }

// The simple average plus the weighted correction that moves it to the
// end of the window's regression line.
int calcMMA(chart_rec *chart, StudyDef *s, int restart) {
  int count = ferlume_bar_count(chart, s);
  index_state st;
  int start = study_begin(s, restart, 0, count, &st);
  float *out = study_series(s, 0);
  int n = study_cap(s->period);
  if (n < 1) {
    study_fill_missing(out, 0, count);
    return 1;
  }
  double scale = 6.0 / ((double)n * (n + 1));
  const chart_bar *b = chart ? chart->bars : nullptr;
  for (int i = start; i < count; i++) {
    if (i < n - 1) {
      out[i] = MISSING_VALUE;
      continue;
    }
    double sum = 0, weighted = 0;
    for (int k = 0; k < n; k++) {
      double p = ferlume_price(b, i - k, s->price_type);
      sum += p;
      weighted += (n - 2.0 * k - 1) / 2 * p;
    }
    out[i] = study_out(sum / n + scale * weighted);
  }
  if (count > 0) {
    st.index = count - 1;
    study_save_state(s, st);
  }
  return 1;
}
