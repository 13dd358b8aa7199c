// Helpers shared by the built-in compute functions: the window extremes and
// the running moving-average steps, over the study driver of
// studies/study_record.h (every compute function is its kernel run by it).
#pragma once

#include <climits>
#include <cmath>
#include <cstring>
#include <type_traits>
#include <vector>

#include "data/chart.h"
#include "studies/study.h"
#include "studies/study_price.h"
#include "studies/study_record.h"

// Highest of xh and lowest of xl over the n values ending at i, for i = from,
// from + 1, ... in order.  Long runs use blocks of n values: the window is
// the suffix of the previous block and the prefix of the current one, so
// each step costs a few comparisons whatever n; short runs (a live update)
// scan their window.  Both give the same exact extremes.
template <class XH, class XL>
struct window_extremes {
  const XH &xh;
  const XL &xl;
  int n;
  bool blocked;
  int block = 0;              // start of the current block
  double pmax = 0, pmin = 0;  // over [block, i]
  // over [j, block - 1] for the previous block, j = block - n + k at k;
  // entry n (an empty range) is -inf / +inf, so that a window inside the
  // current block needs no test
  std::vector<double> smax, smin;
  double hi = 0, lo = 0;  // result of the last step

  window_extremes(const XH &xh_, const XL &xl_, int n_, int from, int to)
      : xh(xh_), xl(xl_), n(n_), blocked(to - from > 4 * n_) {
    if (!blocked) return;
    smax.assign(n + 1, -HUGE_VAL);
    smin.assign(n + 1, HUGE_VAL);
    block = from / n * n;
    if (block >= n) fill_suffix(block - n);
    pmax = -HUGE_VAL;
    pmin = HUGE_VAL;
    for (int k = block; k < from; k++) {
      double h = xh(k), l = xl(k);
      pmax = h > pmax ? h : pmax;
      pmin = l < pmin ? l : pmin;
    }
  }

  void fill_suffix(int b) {
    double mx = -HUGE_VAL, mn = HUGE_VAL;
    for (int k = b + n - 1; k >= b; k--) {
      double h = xh(k), l = xl(k);
      mx = h > mx ? h : mx;
      mn = l < mn ? l : mn;
      smax[k - b] = mx;
      smin[k - b] = mn;
    }
  }

  // i >= 0; the window is clipped at 0.
  [[gnu::always_inline]] void step(int i) {
    int w = i - n + 1 < 0 ? 0 : i - n + 1;
    if (!blocked) {
      double mx = xh(w), mn = xl(w);
      for (int k = w + 1; k <= i; k++) {
        double h = xh(k), l = xl(k);
        mx = h > mx ? h : mx;
        mn = l < mn ? l : mn;
      }
      hi = mx;
      lo = mn;
      return;
    }
    if (i == block + n) {
      fill_suffix(block);
      block = i;
      pmax = -HUGE_VAL;
      pmin = HUGE_VAL;
    }
    double h = xh(i), l = xl(i);
    pmax = h > pmax ? h : pmax;
    pmin = l < pmin ? l : pmin;
    // w lies in [block - n + 1, block]: entries 1..n
    double a = smax[w - block + n], b = smin[w - block + n];
    hi = a > pmax ? a : pmax;
    lo = b < pmin ? b : pmin;
  }
};

// Running moving average over an input x(j), j = 0, 1, ... (relative to
// the first valid input).  Window sums are kept so that each step costs
// the same whatever the period.
struct ma_run {
  double a, b, c;
};

// One step at j; returns the average or MISSING_VALUE during warm-up.
// M: MA_SIMPLE .. MA_TRIANGULAR; n the period (>= 1).
template <int M, class X>
inline double ma_step_m(ma_run &r, int n, const X &x, int j) {
  double v = x(j);
  if constexpr (M == MA_SIMPLE) {
    const double inv = 1.0 / n;  // loop-invariant: computed once per loop
    // The value leaving the window is chosen before it meets the running
    // sum, so that the sum's chain is two plain additions per step.
    double drop = j >= n - 1 ? x(j - n + 1) : 0.0;
    r.a += v;
    double out = j >= n - 1 ? r.a * inv : (double)MISSING_VALUE;
    r.a -= drop;
    return out;
  } else if constexpr (M == MA_EXPONENTIAL) {
    double k = 2.0 / (n + 1);
    r.a = j == 0 ? v : k * v + (1 - k) * r.a;
    return j >= n - 1 ? r.a : (double)MISSING_VALUE;
  } else if constexpr (M == MA_WEIGHTED) {
    // a: plain sum of the previous window, b: weighted sum
    const double inv = 2.0 / ((double)n * (n + 1));
    double drop = j >= n ? x(j - n) : 0.0;
    r.b += n * v - r.a;
    r.a += v - drop;
    return j >= n - 1 ? r.b * inv : (double)MISSING_VALUE;
  } else {
    int m = (n + 2) / 2;
    const double inv = 1.0 / ((double)m * m);
    // a: sum of the last m inputs, b: sum of the m before them,
    // c: sum of the last m window sums (the triangular weighting)
    double lag = j >= m ? x(j - m) : 0.0, lag2 = j >= 2 * m ? x(j - 2 * m) : 0.0;
    r.a += v - lag;
    r.b += lag - lag2;
    r.c += r.a - r.b;
    return j >= 2 * m - 2 ? r.c * inv : (double)MISSING_VALUE;
  }
}

// The same step once the window is full (j >= n + 2 for every method),
// without the warm-up tests.
template <int M, class X>
inline double ma_step_full(ma_run &r, int n, const X &x, int j) {
  double v = x(j);
  if constexpr (M == MA_SIMPLE) {
    const double inv = 1.0 / n;
    double drop = x(j - n + 1);
    r.a += v;
    double out = r.a * inv;
    r.a -= drop;
    return out;
  } else if constexpr (M == MA_EXPONENTIAL) {
    double k = 2.0 / (n + 1);
    r.a = k * v + (1 - k) * r.a;
    return r.a;
  } else if constexpr (M == MA_WEIGHTED) {
    const double inv = 2.0 / ((double)n * (n + 1));
    double drop = x(j - n);
    r.b += n * v - r.a;
    r.a += v - drop;
    return r.b * inv;
  } else {
    int m = (n + 2) / 2;
    const double inv = 1.0 / ((double)m * m);
    double lag = x(j - m), lag2 = x(j - 2 * m);
    r.a += v - lag;
    r.b += lag - lag2;
    r.c += r.a - r.b;
    return r.c * inv;
  }
}

template <class X>
inline double ma_step(ma_run &r, int method, int n, const X &x, int j) {
  switch (method) {
    case MA_SIMPLE:
      return ma_step_m<MA_SIMPLE>(r, n, x, j);
    case MA_EXPONENTIAL:
      return ma_step_m<MA_EXPONENTIAL>(r, n, x, j);
    case MA_WEIGHTED:
      return ma_step_m<MA_WEIGHTED>(r, n, x, j);
    case MA_TRIANGULAR:
      return ma_step_m<MA_TRIANGULAR>(r, n, x, j);
  }
  return MISSING_VALUE;
}

// Calls f with the method as a compile-time constant.
template <class F>
inline void with_ma_method(int method, F f) {
  switch (method) {
    case MA_SIMPLE:
      f(std::integral_constant<int, MA_SIMPLE>());
      break;
    case MA_EXPONENTIAL:
      f(std::integral_constant<int, MA_EXPONENTIAL>());
      break;
    case MA_WEIGHTED:
      f(std::integral_constant<int, MA_WEIGHTED>());
      break;
    case MA_TRIANGULAR:
      f(std::integral_constant<int, MA_TRIANGULAR>());
      break;
  }
}

// v[j] = |hi[j] - lo[j]| / sum[j] for j < m (m a multiple of 4), missing
// where sum[j] is not above 0; four bars to a vector (study_core.cpp), for
// processors with 256-bit registers only (study_wide).
STUDY_WIDE void study_range_ratios(const double *hi, const double *lo, const double *sum, int m,
                                   double *v);

// Compute functions of the built-in types (one per study).
int compute_moving_average(chart_rec *chart, StudyDef *s, int restart);
int compute_variable_ma(chart_rec *chart, StudyDef *s, int restart);
int compute_std_dev(chart_rec *chart, StudyDef *s, int restart);
int compute_bollinger(chart_rec *chart, StudyDef *s, int restart);
int compute_percent_b(chart_rec *chart, StudyDef *s, int restart);
int compute_bandwidth(chart_rec *chart, StudyDef *s, int restart);
int compute_macd(chart_rec *chart, StudyDef *s, int restart);
int compute_macd_signal(chart_rec *chart, StudyDef *s, int restart);
int compute_stochastic_k(chart_rec *chart, StudyDef *s, int restart);
int compute_stochastic_d(chart_rec *chart, StudyDef *s, int restart);
int compute_rsi(chart_rec *chart, StudyDef *s, int restart);
int compute_cci(chart_rec *chart, StudyDef *s, int restart);
int compute_vhf(chart_rec *chart, StudyDef *s, int restart);
int compute_avg_volume(chart_rec *chart, StudyDef *s, int restart);
int compute_avg_net_volume(chart_rec *chart, StudyDef *s, int restart);
int compute_net_volume_ratio(chart_rec *chart, StudyDef *s, int restart);
int compute_obv(chart_rec *chart, StudyDef *s, int restart);
int compute_pvt(chart_rec *chart, StudyDef *s, int restart);
int compute_ad_line(chart_rec *chart, StudyDef *s, int restart);
int compute_chaikin(chart_rec *chart, StudyDef *s, int restart);
int compute_rel_volume(chart_rec *chart, StudyDef *s, int restart);
int compute_intraday_rel_volume(chart_rec *chart, StudyDef *s, int restart);
int compute_intraday_acc_volume(chart_rec *chart, StudyDef *s, int restart);
int compute_nothing(chart_rec *chart, StudyDef *s, int restart);
int compute_keep_previous(chart_rec *chart, StudyDef *s, int restart);
int compute_daily_line(chart_rec *chart, StudyDef *s, int restart);
int compute_data_file(chart_rec *chart, StudyDef *s, int restart);
