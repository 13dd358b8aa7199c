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
  STUDY_INLINE void step(int i) {
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

  // step(i) .. step(i + m - 1) with the results into hs[0 .. m - 1] and
  // ls[...]: a block's bars segment by segment, the running extremes in
  // locals through the loop.
  STUDY_INLINE void steps(int i, int m, double *hs, double *ls) {
    if (!blocked || i - n + 1 < 0) {
      for (int k = 0; k < m; k++) {
        step(i + k);
        hs[k] = hi;
        ls[k] = lo;
      }
      return;
    }
    double px = pmax, pn = pmin;
    int b = block, k = 0;
    while (k < m) {
      if (i + k == b + n) {
        fill_suffix(b);
        b = i + k;
        px = -HUGE_VAL;
        pn = HUGE_VAL;
      }
      int stop = b + n - i < m ? b + n - i : m;
      // bar t's window starts at t - n + 1: entry t - b + 1 of the suffixes
      const double *sx = smax.data() + (i - b + 1), *sn = smin.data() + (i - b + 1);
      for (; k < stop; k++) {
        double h = xh(i + k), l = xl(i + k);
        px = h > px ? h : px;
        pn = l < pn ? l : pn;
        double a = sx[k], c = sn[k];
        hs[k] = a > px ? a : px;
        ls[k] = c < pn ? c : pn;
      }
    }
    pmax = px;
    pmin = pn;
    block = b;
    if (m > 0) {
      hi = hs[m - 1];
      lo = ls[m - 1];
    }
  }
};

// a[k] = max(a[k], a[k - s]) for k = hi - 1 down to lo, in place: going
// down, a[k - s] is still the entry before the step.  32 bytes of entries
// to a vector; each entry is one comparison of the same two values
// whatever the registers.
template <class T>
STUDY_INLINE inline void study_max_shift(T *a, int s, int lo, int hi) {
  typedef T V __attribute__((vector_size(32)));
  constexpr int L = 32 / sizeof(T);
  int k = hi - L;
  for (; k >= lo; k -= L) {
    V x, y;
    memcpy(&x, a + k, sizeof x);
    memcpy(&y, a + k - s, sizeof y);
    x = x > y ? x : y;
    memcpy(a + k, &x, sizeof x);
  }
  for (k += L - 1; k >= lo; k--) a[k] = a[k] > a[k - s] ? a[k] : a[k - s];
}

// The highest values of windows of n bars over an array of len bars, q
// values to a bar (the highs, or a high and a negated low), in place:
// bar k's values become the highest of bars k - n + 1 .. k, for k from
// n - 1 on (the bars below are left partial); a window's lowest is the
// highest of the negated values, negated.  The highest of spans of 2, 4,
// .. P bars (P <= n < 2P), each from two of the span before, in vector
// passes; a window is two spans of P bars that meet or overlap.  Each
// entry depends on its own window alone, so that any block gives a bar
// the same extremes, which are exact.  The passes cost log2 n per bar: for
// windows up to a few hundred bars.
template <class T>
STUDY_INLINE inline void study_window_max(T *a, int q, int n, int len) {
  int p = 1;
  for (; 2 * p <= n; p *= 2) study_max_shift(a, p * q, (2 * p - 1) * q, len * q);
  if (p < n) study_max_shift(a, (n - p) * q, (n - 1) * q, len * q);
}

// The window extremes of a run's groups of four bars, made a block of bars
// ahead (window_extremes::steps) and read four at a time.  Groups come in
// order, from the bar the extremes were set up for.
template <class WE>
struct extremes_ahead {
  WE &w;
  int to;  // bars below it only
  int at = 0, end = 0;
  double hs[256], ls[256];
  extremes_ahead(WE &w_, int to_) : w(w_), to(to_) {}
  STUDY_INLINE void get(int i, int m, study_v4d &h, study_v4d &l) {
    if (i + m > end) {
      at = i;
      end = i + 256 < to ? i + 256 : to;
      w.steps(at, end - at, hs, ls);
    }
    if (m == 4) {
      memcpy(&h, hs + (i - at), sizeof h);
      memcpy(&l, ls + (i - at), sizeof l);
      return;
    }
    h = l = study_v4d{0, 0, 0, 0};
    for (int k = 0; k < m; k++) {
      h[k] = hs[i - at + k];
      l[k] = ls[i - at + k];
    }
  }
};

// The prices of a run's groups taken a block of bars ahead into an array,
// each bar's price made once with the loads one after another, for the
// groups that read a window's two ends and the bars one before each
// (study_window_ends4): vector loads instead of ten prices gathered from
// the bar records.  The same prices either way.  Windows longer than kMax
// bars gather as before.
template <class X>
struct price_ahead {
  static constexpr int kBlock = 512, kMax = 512;
  const X &x;
  int n, to;
  int base = 0, end = 0;  // w[k] is the price of bar base + k, for bars below end
  double w[kBlock + kMax + 8];
  price_ahead(const X &x_, int n_, int to_) : x(x_), n(n_), to(to_) {}
  // p, pp, o, oo of study_window_ends4 for the group at i (i - n - 1 >= 0)
  STUDY_INLINE void ends(int i, int m, study_v4d &p, study_v4d &pp, study_v4d &o, study_v4d &oo) {
    if (n > kMax || m < 4) {
      study_window_ends4(x, i, n, m, p, pp, o, oo);
      return;
    }
    if (i + 4 > end) {
      base = i - n - 1;
      end = i + kBlock < to ? i + kBlock : to;
      for (int k = base; k < end; k++) w[k - base] = x(k);
    }
    const double *q = w + (i - base);
    memcpy(&p, q, sizeof p);
    memcpy(&pp, q - 1, sizeof pp);
    memcpy(&o, q - n, sizeof o);
    memcpy(&oo, q - n - 1, sizeof oo);
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
STUDY_INLINE inline double ma_step_m(ma_run &r, int n, const X &x, int j) {
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
STUDY_INLINE inline double ma_step_full(ma_run &r, int n, const X &x, int j) {
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

// The steps of ma_step_full for bars j .. j + m - 1 of a group (j >= n + 2
// for the window averages, j >= 1 for the exponential one): v gets their
// averages, r the state after bar j + 3 (used only when m is 4).  The
// window sums go as running sums over the group (study_prefix4), the
// exponential average as study_decay4 (made by the caller, c = 1 - k).
template <int M, class X>
[[gnu::always_inline]] inline void ma_group(ma_run &r, int n, const study_decay4 &decay, const X &x,
                                            int j, int m, study_v4d &v) {
  study_gather4(v, x, j, m);
  if constexpr (M == MA_SIMPLE) {
    // a: the last n - 1 inputs before the bar
    study_v4d drop, d;
    study_gather4(drop, x, j - n + 1, m);
    d = v - drop;
    study_prefix4(d);
    v += STUDY_V4_SHIFT1(d) + r.a;
    r.a += d[3];
    v *= 1.0 / n;
  } else if constexpr (M == MA_EXPONENTIAL) {
    v *= 2.0 / (n + 1);
    decay.run(v, r.a);
  } else if constexpr (M == MA_WEIGHTED) {
    // a: plain sum of the previous window, b: its weighted sum
    study_v4d drop, d, e;
    study_gather4(drop, x, j - n, m);
    d = v - drop;
    study_prefix4(d);
    e = v * (double)n - (STUDY_V4_SHIFT1(d) + r.a);
    study_prefix4(e);
    e += r.b;
    r.a += d[3];
    r.b = e[3];
    v = e * (2.0 / ((double)n * (n + 1)));
  } else {
    int h = (n + 2) / 2;
    study_v4d lag, lag2, da, db;
    study_gather4(lag, x, j - h, m);
    study_gather4(lag2, x, j - 2 * h, m);
    da = v - lag;
    db = lag - lag2;
    study_prefix4(da);
    study_prefix4(db);
    da += r.a;
    db += r.b;
    study_v4d dc = da - db;
    study_prefix4(dc);
    dc += r.c;
    r.a = da[3];
    r.b = db[3];
    r.c = dc[3];
    v = dc * (1.0 / ((double)h * h));
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
STUDY_INLINE inline void with_ma_method(int method, F f) {
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
