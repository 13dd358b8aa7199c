// Ferlume1 regression studies: Time Series Forecast, its band and its
// deviation, and the Modified Moving Average.  The window's regression line
// comes from running sums (regression_sums), so the line costs the same
// per bar whatever the period; the band and the deviation measure each
// bar of the window against the line, which moves with every window.
#include "studylib/ferlume.h"

namespace {
struct tsf_state {
  int32_t index;
  regression_run reg;
};

enum { TSF_LINE, TSF_BAND, TSF_DEVIATION };

int tsf_run(chart_rec *chart, StudyDef *s, int restart, int kind) {
  int count = ferlume_bar_count(chart, s);
  tsf_state st;
  int n = study_cap(s->period);
  int start = study_start(s, restart, 0, count, n >= 1, 1, &st);
  if (start < 0) return 1;
  float *out = study_series(s, 0);
  const chart_bar *b = chart ? chart->bars : nullptr;
  regression_sums rs(n);
  double band = s->p1;
  // The band and the deviation measure each bar's farther extreme from the
  // line: max(|line - high|, |line - low|) = |line - mid| + half, with mid
  // the middle of the bar's range and half its half-width, both made once
  // per bar and read by the n windows the bar is in.
  int first = start > n - 1 ? start : n - 1;
  study_window_values mids(n, first, kind == TSF_LINE ? 0 : count),
      halves(n, first, kind == TSF_LINE ? 0 : count);
  with_price_type(b, s->price_type, [&](auto price) {
    study_run(s, start, count, st, [&](int i, tsf_state &st) {
      rs.add(st.reg, price, i);
      if (i < n - 1) {
        out[i] = MISSING_VALUE;
        return;
      }
      double slope = rs.slope(st.reg), a = rs.intercept(st.reg, slope);
      double v = a + n * slope;
      if (kind != TSF_LINE) {
        // root mean square of each bar's farther extreme from the line, in
        // four independent sums.  The line moves with every window, so
        // every bar of the window is measured again: the pass is the
        // formula's own cost.  The line's x runs as exact whole doubles.
        const double *m =
            mids.window(i, [b](int k) { return 0.5 * ((double)b[k].high + b[k].low); });
        const double *hw =
            halves.window(i, [b](int k) { return 0.5 * std::fabs((double)b[k].high - b[k].low); });
        double sq[4] = {0, 0, 0, 0}, x[4] = {1, 2, 3, 4};
        int k = 0;
        for (; k + 4 <= n; k += 4)
          for (int u = 0; u < 4; u++) {
            double d = std::fabs(a + x[u] * slope - m[k + u]) + hw[k + u];
            sq[u] += d * d;
            x[u] += 4;
          }
        for (; k < n; k++) {
          double d = std::fabs(a + (k + 1) * slope - m[k]) + hw[k];
          sq[0] += d * d;
        }
        double rms = std::sqrt(((sq[0] + sq[1]) + (sq[2] + sq[3])) / n);
        v = kind == TSF_DEVIATION ? rms : v + rms * band;
      }
      out[i] = study_out(v);
      rs.drop(st.reg, price, i);
    });
  });
  return 1;
}
}  // namespace

int calcTSF(chart_rec *chart, StudyDef *s, int restart) {
  return tsf_run(chart, s, restart, TSF_LINE);
}
int calcTSFB(chart_rec *chart, StudyDef *s, int restart) {
  return tsf_run(chart, s, restart, TSF_BAND);
}
int calcTSFD(chart_rec *chart, StudyDef *s, int restart) {
  return tsf_run(chart, s, restart, TSF_DEVIATION);
}

namespace {
struct mma_state {
  int32_t index;
  double shift;   // the first price: keeps the sums small
  double sum;     // window sum of price - shift
  double lagged;  // window sum of k (price - shift), k = 0 for the newest
};
}  // namespace

// The simple average plus the weighted correction that moves it to the
// end of the window's regression line:
//   sum / n + 6 / (n (n + 1)) * sum over k of (n - 2k - 1) / 2 * p(i - k),
// the correction being ((n - 1) / 2 * sum - lagged) with running sums (its
// weights add up to zero, so the shift drops out of it).
int calcMMA(chart_rec *chart, StudyDef *s, int restart) {
  int count = ferlume_bar_count(chart, s);
  mma_state st;
  int n = study_cap(s->period);
  int start = study_start(s, restart, 0, count, n >= 1, 1, &st);
  if (start < 0) return 1;
  float *out = study_series(s, 0);
  double scale = 6.0 / ((double)n * (n + 1)), half = (n - 1) / 2.0;
  const chart_bar *b = chart ? chart->bars : nullptr;
  with_price_type(b, s->price_type, [&](auto price) {
    study_run(s, start, count, st, [&](int i, mma_state &st) {
      if (i == 0) st.shift = price(0);
      double p = price(i) - st.shift;
      // every value already in the window moves one step back
      st.lagged += st.sum;
      st.sum += p;
      if (i < n - 1) {
        out[i] = MISSING_VALUE;
        return;
      }
      out[i] = study_out(st.sum / n + st.shift + scale * (half * st.sum - st.lagged));
      double q = price(i - n + 1) - st.shift;
      st.sum -= q;
      st.lagged -= (n - 1) * q;
    });
  });
  return 1;
}
