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
  int first = start > n - 1 ? start : n - 1;
  if (kind == TSF_LINE || first >= count) {
    with_price_type(b, s->price_type, [&](auto price) {
      study_run(s, start, count, st, [&](int i, tsf_state &st) {
        rs.add(st.reg, price, i);
        if (i < n - 1) {
          out[i] = MISSING_VALUE;
          return;
        }
        double slope = rs.slope(st.reg), a = rs.intercept(st.reg, slope);
        out[i] = study_out(a + n * slope);
        rs.drop(st.reg, price, i);
      });
    });
    return 1;
  }
  // The band and the deviation measure each bar's farther extreme from the
  // line: max(|line - high|, |line - low|) = |line - mid| + half, with mid
  // the middle of the bar's range and half its half-width.  The line moves
  // with every window, so every bar of the window is measured again: the
  // pass is the formula's own cost.  Bars are taken in blocks: the running
  // sums give each bar's line, then two bars at a time share one register
  // (bar j + 1's window is bar j's a bar later, so one load feeds both),
  // and neighbouring bars' passes overlap instead of waiting on each other.
  // (a live update's block is its few bars: nothing more is allocated)
  const int B = count - first < 512 ? count - first : 512;
  // one block of memory for the four buffers, on the stack when small
  size_t total = 2 * ((size_t)B + n) + 2 * ((size_t)B + 1);
  double small[256];
  std::vector<double> buf(total > 256 ? total : 0);
  double *mids = total > 256 ? buf.data() : small, *halves = mids + B + n, *la = halves + B + n,
         *ls = la + B + 1;
  int blk = first;  // first bar of the block being collected
  auto flush = [&](int last) {
    int m = last - blk + 1;
    for (int k = 0; k < m + n - 1; k++) {
      const chart_bar &r = b[blk - n + 1 + k];
      mids[k] = 0.5 * ((double)r.high + r.low);
      halves[k] = 0.5 * std::fabs((double)r.high - r.low);
    }
    mids[m + n - 1] = halves[m + n - 1] = 0;
    la[m] = ls[m] = 0;
    const study_v2d one = study_v2_splat(1);
    for (int j = 0; j < m; j += 2) {
      study_v2d av = {la[j], la[j + 1]}, sv = {ls[j], ls[j + 1]}, x = one;
      study_v2d sq0 = {0, 0}, sq1 = {0, 0};
      const double *mp = mids + j, *hp = halves + j;
      int k = 0;
      for (; k + 2 <= n; k += 2) {
        study_v2d d0 = study_v2_abs(av + x * sv - study_v2_load(mp + k)) + study_v2_load(hp + k);
        x += one;
        study_v2d d1 =
            study_v2_abs(av + x * sv - study_v2_load(mp + k + 1)) + study_v2_load(hp + k + 1);
        x += one;
        sq0 += d0 * d0;
        sq1 += d1 * d1;
      }
      if (k < n) {
        study_v2d d0 = study_v2_abs(av + x * sv - study_v2_load(mp + k)) + study_v2_load(hp + k);
        sq0 += d0 * d0;
      }
      study_v2d ms = (sq0 + sq1) * study_v2_splat(rs.inv_n);
      for (int u = 0; u < 2 && j + u < m; u++) {
        double rms = std::sqrt(ms[u]);
        double line = la[j + u] + n * ls[j + u];
        out[blk + j + u] = study_out(kind == TSF_DEVIATION ? rms : line + rms * band);
      }
    }
    blk = last + 1;
  };
  with_price_type(b, s->price_type, [&](auto price) {
    study_run(s, start, count, st, [&](int i, tsf_state &st) {
      rs.add(st.reg, price, i);
      if (i < n - 1) {
        out[i] = MISSING_VALUE;
        return;
      }
      double slope = rs.slope(st.reg);
      la[i - blk] = rs.intercept(st.reg, slope);
      ls[i - blk] = slope;
      if (i - blk == B - 1 || i == count - 1) flush(i);
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
