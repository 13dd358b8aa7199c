// The numeric core shared by the built-in studies and by study libraries:
// bar values by price-source code, moving averages over float series and
// least-squares regression lines.  No allocation, no locking: callers hold
// g_chart_lock.
#include <cmath>

#include "data/statmsg.h"
#include "platform/assert.h"
#include "studies/study_internal.h"

double bar_price_value(const chart_bar *bar, int price_type) {
  return bar_value(bar, price_type);
}

double study_source_value(chart_rec *chart, StudyDef *study, int index, int price_type) {
  KV_ASSERT_CHART_LOCK_HELD();
  if (price_type == PRICE_STUDY) {
    if (!study || !study->outputs || index < 0 || index >= study->output_len) return MISSING_VALUE;
    return study->outputs[index];
  }
  if (!chart || !chart->bars || index < 0 || index >= chart->header.bar_count + chart->spare)
    return 0;
  return study_price(chart->bars, index, price_type);
}

int study_moving_average(float *out, const float *in, int start, int first_valid, int count,
                         int method, int period) {
  if (count < 1) return 1;
  if (method < MA_SIMPLE || method > MA_TRIANGULAR) {
    statmsg(__FILE__, __LINE__, "Bad average method", nullptr, STATMSG_ERROR);
    return 0;
  }
  if (start < 0) start = 0;
  if (first_valid < 0) first_valid = 0;
  while (start < count - 1 && study_is_missing(in[start])) out[start++] = MISSING_VALUE;
  int n = study_cap(period);
  if (n < 1) {
    study_fill_missing(out, start, count);
    return 1;
  }
  if (method == MA_EXPONENTIAL) {
    double k = 2.0 / (n + 1), s;
    int i = start;
    if (start == first_valid + n || start <= first_valid || study_is_missing(out[start - 1])) {
      s = in[first_valid];
      i = first_valid;
    } else {
      s = out[start - 1];
    }
    for (; i < count; i++) {
      s = k * in[i] + (1 - k) * s;
      out[i] = i < first_valid + n - 1 ? MISSING_VALUE : study_out(s);
    }
    return 1;
  }
  // Window averages: the value at i depends on in[i - w + 1 .. i] only, so
  // the running sums are built over the window before `start`.
  // Inputs before first_valid are missing values: summing them in would
  // give a huge negative value and, once dropped again, leave the running
  // sum without precision, so the windows start at first_valid.
  int w = method == MA_TRIANGULAR ? 2 * ((n + 2) / 2) - 1 : n;
  int j0 = start - w + 1 < first_valid ? first_valid : start - w + 1;
  for (int i = start; i < j0 && i < count; i++) out[i] = MISSING_VALUE;
  // The method is fixed for the loop; once the window is full (n + 2 inputs
  // for every method, past the first output) the steps go without the
  // warm-up tests.
  const float *base = in + j0;
  auto x = [base](int j) -> double { return base[j]; };
  with_ma_method(method, [&](auto m) {
    constexpr int M = decltype(m)::value;
    ma_run r = {};
    int i = j0, full = j0 + n + 2 < count ? j0 + n + 2 : count;
    for (; i < full; i++) {
      double v = ma_step_m<M>(r, n, x, i - j0);
      if (i >= start)
        out[i] = i < first_valid + w - 1 || study_is_missing(v) ? MISSING_VALUE : study_out(v);
    }
    for (; i < start; i++) ma_step_full<M>(r, n, x, i - j0);
    for (; i < count; i++) {
      double v = ma_step_full<M>(r, n, x, i - j0);
      out[i] = study_is_missing(v) ? MISSING_VALUE : study_out(v);
    }
  });
  return 1;
}

// |hi - lo| / sum of bars j = 0 .. m - 1 (m a multiple of 4), missing
// where the sum is not above 0: the efficiency ratios of VHF and the
// variable average.  Four bars to a vector: the division is most of a
// bar's cost.  The same operations as one bar at a time: the values are
// the same.
[[gnu::always_inline]] static inline void range_ratios(const double *hi, const double *lo,
                                                       const double *sum, int m, double *v) {
  const study_v4d zero = {0, 0, 0, 0},
                  missing = {MISSING_VALUE, MISSING_VALUE, MISSING_VALUE, MISSING_VALUE};
  const study_v4i mask = {0x7fffffffffffffffLL, 0x7fffffffffffffffLL, 0x7fffffffffffffffLL,
                          0x7fffffffffffffffLL};
  for (int j = 0; j < m; j += 4) {
    study_v4d h, l, d;
    memcpy(&h, hi + j, sizeof h);
    memcpy(&l, lo + j, sizeof l);
    memcpy(&d, sum + j, sizeof d);
    study_v4i moved = d > zero;
    study_v4d r = (study_v4d)((study_v4i)(h - l) & mask) / d;
    r = (study_v4d)(((study_v4i)r & moved) | ((study_v4i)missing & ~moved));
    memcpy(v + j, &r, sizeof r);
  }
}

STUDY_WIDE void study_range_ratios(const double *hi, const double *lo, const double *sum, int m,
                                   double *v) {
  range_ratios(hi, lo, sum, m, v);
}

// Least-squares line of the price over bars first..last, x = 1..n.
static double regression(const chart_bar *bars, int first, int last, int price_type,
                         double *slope) {
  int n = last - first + 1;
  double sx = n * (n + 1) / 2.0, sy = 0, sxy = 0, sxx = 0;
  for (int k = 0; k < n; k++) {
    double x = k + 1, y = study_price(bars, first + k, price_type);
    sy += y;
    sxy += x * y;
    sxx += x * x;
  }
  // One bar has no slope: the line is flat through it.
  double b = n > 1 ? (sxy - sx * sy / n) / (sxx - sx * sx / n) : 0;
  if (slope) *slope = b;
  return sy / n - b * sx / n;
}

static int regression_span_ok(chart_rec *chart, int first, int last) {
  return chart && chart->bars && first >= 0 && last >= first && last < chart->header.bar_count;
}

double study_linear_regression(chart_rec *chart, int first, int last, int price_type,
                               double *slope) {
  KV_ASSERT_CHART_LOCK_HELD();
  if (!regression_span_ok(chart, first, last)) {
    if (slope) *slope = 0;
    return 0;
  }
  return regression(chart->bars, first, last, price_type, slope);
}

double study_regression_channel(chart_rec *chart, int first, int last, int price_type,
                                double *slope, double *max_dev, double *rms_dev) {
  KV_ASSERT_CHART_LOCK_HELD();
  int lo = first < last ? first : last, hi = first < last ? last : first;
  double b = 0, a = 0, mx = 0, sq = 0;
  if (regression_span_ok(chart, lo, hi)) {
    a = regression(chart->bars, first <= last ? first : last, first <= last ? last : first,
                   price_type, &b);
    for (int i = lo; i <= hi; i++) {
      double line = a + (i - lo + 1) * b;
      double d = std::fabs(line - chart->bars[i].high);
      double d2 = std::fabs(line - chart->bars[i].low);
      if (d2 > d) d = d2;
      if (d > mx) mx = d;
      sq += d * d;
    }
    sq = std::sqrt(sq / (hi - lo + 1));
  }
  if (slope) *slope = b;
  if (max_dev) *max_dev = mx;
  if (rms_dev) *rms_dev = sq;
  return a;
}

StudyCallbackTable g_study_callbacks = {
    bar_price_value,         study_source_value,       study_moving_average,
    study_linear_regression, study_regression_channel, find_or_create_study,
};
