// MACD and its signal line, stochastics, RSI, CCI and VHF.
#include <algorithm>

#include "studies/study_internal.h"

namespace {

struct macd_state {
  int32_t index;
  int32_t pad;
  double fast, slow, signal;
};

// The %K running value.
struct stoch_run {
  double s;  // smoothed %K
};

struct stoch_k_state {
  int32_t index;
  int32_t pad;
  stoch_run k;
};

struct stoch_d_state {
  int32_t index;
  int32_t pad;
  stoch_run k;
  ma_run r;  // %D average over the %K series
};

struct rsi_state {
  int32_t index;
  int32_t pad;
  double up, down;
};

struct cci_state {
  int32_t index;
  int32_t pad;
  double sum;
};

struct vhf_state {
  int32_t index;
  int32_t pad;
  double dsum;
};

// %K parameters: smoothing factor 2/c and the first slot with a value.
struct stoch_params {
  int n;
  int price_type;
  int median;  // p1 negative: median of the last three prices
  double f;    // 2 / c
  int first;
};

}  // namespace

int compute_macd(chart_rec *chart, StudyDef *s, int restart) {
  int count = study_bar_count(chart, s);
  int n = study_period(s), slow_n = study_param_int(s->p2);
  macd_state st;
  int start = study_start(s, restart, slow_n, count, n >= 1 && slow_n >= 1, 1, &st);
  if (start < 0) return 1;
  float *out = study_series(s, 0);
  double a = 2.0 / (n + 1), b = 2.0 / (slow_n + 1);
  with_price_type(chart->bars, s->price_type, [&](auto price) {
    study_run(s, start, count, st, [&](int i, macd_state &st) {
      double p = price(i);
      if (i == 0) {
        st.fast = st.slow = p;
      } else {
        st.fast = a * p + (1 - a) * st.fast;
        st.slow = b * p + (1 - b) * st.slow;
      }
      out[i] = i < slow_n - 1 ? MISSING_VALUE : study_out(st.fast - st.slow);
    });
  });
  return 1;
}

int compute_macd_signal(chart_rec *chart, StudyDef *s, int restart) {
  int count = study_bar_count(chart, s);
  int n = study_period(s), slow_n = study_param_int(s->p2), sig_n = study_param_int(s->p3);
  macd_state st;
  int start = study_start(s, restart, slow_n, count, n >= 1 && slow_n >= 1 && sig_n >= 1, 1, &st);
  if (start < 0) return 1;
  float *out = study_series(s, 0);
  double a = 2.0 / (n + 1), b = 2.0 / (slow_n + 1), c = 2.0 / (sig_n + 1);
  with_price_type(chart->bars, s->price_type, [&](auto price) {
    study_run(s, start, count, st, [&](int i, macd_state &st) {
      double p = price(i);
      if (i == 0) {
        st.fast = st.slow = p;
      } else {
        st.fast = a * p + (1 - a) * st.fast;
        st.slow = b * p + (1 - b) * st.slow;
      }
      double m = st.fast - st.slow;
      if (i == slow_n - 1)
        st.signal = m;
      else if (i > slow_n - 1)
        st.signal = c * m + (1 - c) * st.signal;
      out[i] = i < sig_n + slow_n - 2 ? MISSING_VALUE : study_out(st.signal);
    });
  });
  return 1;
}

static stoch_params stoch_setup(const StudyDef *s) {
  stoch_params sp;
  double p1 = std::isfinite(s->p1) ? s->p1 : 0;
  double c = std::fabs(p1) + 1;
  if (c < 2) c = 2;
  int ip = study_param_int(std::fabs(p1));
  sp.n = study_period(s);
  sp.price_type = s->price_type;
  sp.median = p1 < 0;
  sp.f = 2 / c;
  sp.first = (ip > 1 ? ip : 1) + sp.n - 2;
  return sp;
}

static inline double median3(double a, double b, double c) {
  if (a > b) std::swap(a, b);
  if (b > c) std::swap(b, c);
  return a > b ? a : b;
}

// One %K value at bar i from the window's highest high and lowest low.
template <class P>
static inline double stoch_value(const P &price, int i, const stoch_params &sp, double hh,
                                 double ll, stoch_run &k) {
  double v = price(i);
  if (sp.median && i >= 2) v = median3(price(i - 2), price(i - 1), v);
  double raw = hh != ll ? (v - ll) / (hh - ll) * 100 : 50;
  // without smoothing (f = 1) the value is the raw one
  k.s = i == sp.n - 1 || sp.f == 1 ? raw : (1 - sp.f) * k.s + sp.f * raw;
  return k.s;
}

// Raw %K of bars j = 0 .. m - 1 (m a multiple of 4) from each bar's value
// and window extremes: (v - ll) / (hh - ll) x 100, 50 where the window is
// flat.  Four bars to a vector: the division is most of a bar's cost.  The
// same operations as one bar at a time: the values are the same.
[[gnu::always_inline]] static inline void stoch_raw(const double *v, const double *hh,
                                                    const double *ll, int m, double *raw) {
  const study_v4d hundred = {100, 100, 100, 100}, fifty = {50, 50, 50, 50};
  for (int j = 0; j < m; j += 4) {
    study_v4d x, h, l;
    memcpy(&x, v + j, sizeof x);
    memcpy(&h, hh + j, sizeof h);
    memcpy(&l, ll + j, sizeof l);
    study_v4i moved = h != l;
    study_v4d r = (x - l) / (h - l) * hundred;
    r = (study_v4d)(((study_v4i)r & moved) | ((study_v4i)fifty & ~moved));
    memcpy(raw + j, &r, sizeof r);
  }
}

[[gnu::noinline]] STUDY_WIDE static void stoch_raw_wide(const double *v, const double *hh,
                                                        const double *ll, int m, double *raw) {
  stoch_raw(v, hh, ll, m, raw);
}

// %K of bars [from, to) into out, from >= n - 1; slots below `first` are
// set missing by the caller.  The window's extremes come from
// window_extremes (blocks of n bars on long runs, a scan on a live update).
// Long runs take their divisions in blocks (stoch_raw), then the smoothing
// bar by bar.
template <class P>
static void stoch_k_range(const chart_bar *bars, const P &price, const stoch_params &sp, int from,
                          int to, stoch_run &k, float *out) {
  auto high = [bars](int j) { return (double)bars[j].high; };
  auto low = [bars](int j) { return (double)bars[j].low; };
  window_extremes<decltype(high), decltype(low)> w(high, low, sp.n, from, to);
  int i = from;
  if (to - from >= 64 && study_wide()) {
    const int B = 256;
    double v[B], hh[B], ll[B], raw[B];
    stoch_run r = k;
    while (to - i >= 4) {
      int m = std::min(B, (to - i) / 4 * 4);
      for (int j = 0; j < m; j++) {
        w.step(i + j);
        double x = price(i + j);
        if (sp.median && i + j >= 2) x = median3(price(i + j - 2), price(i + j - 1), x);
        v[j] = x;
        hh[j] = w.hi;
        ll[j] = w.lo;
      }
      stoch_raw_wide(v, hh, ll, m, raw);
      for (int j = 0; j < m; j++) {
        r.s = i + j == sp.n - 1 || sp.f == 1 ? raw[j] : (1 - sp.f) * r.s + sp.f * raw[j];
        out[i + j] = study_out(r.s);
      }
      i += m;
    }
    k = r;
  }
  for (; i < to; i++) {
    w.step(i);
    out[i] = study_out(stoch_value(price, i, sp, w.hi, w.lo, k));
  }
}

// The %K series over bars [start, count); *saved gets the running value
// as it was before the last bar.
static void stoch_k_series(const chart_bar *bars, const stoch_params &sp, int start, int count,
                           stoch_run &k, stoch_run *saved, float *out) {
  int from = std::max(start, sp.n - 1);
  study_fill_missing(out, start, std::min(from, count));
  *saved = k;
  if (from >= count) return;
  with_price_type(bars, sp.price_type, [&](auto price) {
    if (from < count - 1) stoch_k_range(bars, price, sp, from, count - 1, k, out);
    *saved = k;
    stoch_k_range(bars, price, sp, std::max(from, count - 1), count, k, out);
  });
  study_fill_missing(out, from, std::min(sp.first, count));
}

int compute_stochastic_k(chart_rec *chart, StudyDef *s, int restart) {
  int count = study_bar_count(chart, s);
  stoch_params sp = stoch_setup(s);
  stoch_k_state st;
  int start = study_start(s, restart, sp.n, count, sp.n >= 1, 1, &st);
  if (start < 0 || start >= count) return 1;
  float *out = study_series(s, 0);
  stoch_k_state saved = st;
  saved.index = count - 1;
  stoch_k_series(chart->bars, sp, start, count, st.k, &saved.k, out);
  study_save_state(s, saved);
  return 1;
}

// Series 2 the %K, series 1 its average by the study's method over p2.
// Two passes: the %K over the new bars, then its average.
int compute_stochastic_d(chart_rec *chart, StudyDef *s, int restart) {
  int count = study_bar_count(chart, s);
  stoch_params sp = stoch_setup(s);
  int dn = study_param_int(s->p2), method = s->method;
  stoch_d_state st;
  int start = study_start(s, restart, sp.n, count, sp.n >= 1, 2, &st);
  if (start < 0 || start >= count) return 1;
  float *d_out = study_series(s, 0), *k_out = study_series(s, 1);
  bool d_ok = dn >= 1 && method >= MA_SIMPLE && method <= MA_TRIANGULAR;
  const chart_bar *bars = chart->bars;
  int first = sp.first;
  stoch_d_state saved = st;  // the state before the last bar
  saved.index = count - 1;

  stoch_k_series(bars, sp, start, count, st.k, &saved.k, k_out);

  for (int i = start; i < count && i < first; i++) d_out[i] = MISSING_VALUE;
  int d_from = start > first ? start : first;
  auto x = [k_out, first](int j) { return (double)k_out[first + j]; };
  if (d_ok) {
    with_ma_method(method, [&](auto m) {
      ma_run r = st.r;  // kept in registers through the loop
      auto step = [&](int i) {
        double d = ma_step_m<decltype(m)::value>(r, dn, x, i - first);
        d_out[i] = i < dn + first || study_is_missing(d) ? MISSING_VALUE : study_out(d);
      };
      int i = d_from, full = first + dn + 2;
      for (; i < count - 1 && i < full; i++) step(i);
      for (; i < count - 1; i++) {
        double d = ma_step_full<decltype(m)::value>(r, dn, x, i - first);
        d_out[i] = study_out(d);
      }
      if (i == count - 1) {
        saved.r = r;
        step(i);
      }
      st.r = r;
    });
  } else {
    study_fill_missing(d_out, d_from, count);
  }
  study_save_state(s, saved);
  return 1;
}

// RSI of bars j = 0 .. m - 1 (m a multiple of 4) from the window's summed
// gains and losses (both at least 0): 100 up / (up + down), 50 for a
// window without any change.  Four bars to a vector: the division is most
// of a bar's cost.  The same operations as one bar at a time: the values
// are the same.
[[gnu::always_inline]] static inline void rsi_values(const double *up, const double *down, int m,
                                                     double *v) {
  const study_v4d zero = {0, 0, 0, 0}, hundred = {100, 100, 100, 100}, fifty = {50, 50, 50, 50};
  for (int j = 0; j < m; j += 4) {
    study_v4d u, d;
    memcpy(&u, up + j, sizeof u);
    memcpy(&d, down + j, sizeof d);
    study_v4i moved = u + d > zero;
    study_v4d r = hundred * u / (u + d);
    r = (study_v4d)(((study_v4i)r & moved) | ((study_v4i)fifty & ~moved));
    memcpy(v + j, &r, sizeof r);
  }
}

[[gnu::noinline]] STUDY_WIDE static void rsi_values_wide(const double *up, const double *down,
                                                         int m, double *v) {
  rsi_values(up, down, m, v);
}

int compute_rsi(chart_rec *chart, StudyDef *s, int restart) {
  int count = study_bar_count(chart, s);
  int n = study_period(s);
  rsi_state st;
  int start = study_start(s, restart, n, count, n >= 1, 1, &st);
  if (start < 0) return 1;
  float *out = study_series(s, 0);
  with_price_type(chart->bars, s->price_type, [&](auto price) {
    double prev = start > 0 ? price(start - 1) : 0;
    auto step = [&](int i, rsi_state &st) {
      double p = price(i);
      double d = i >= 1 ? p - prev : 0;
      prev = p;
      // gain and loss without a branch on the direction (exact: halves of 2d)
      double ad = std::fabs(d), gain = 0.5 * (ad + d), loss = 0.5 * (ad - d);
      if (i < n) {
        st.up += gain;
        st.down += loss;
        out[i] = MISSING_VALUE;
        return;
      }
      // the change entering the window and the one leaving it, together
      double d_out = i - n >= 1 ? price(i - n) - price(i - n - 1) : 0;
      double ao = std::fabs(d_out);
      st.up += gain - 0.5 * (ao + d_out);
      st.down += loss - 0.5 * (ao - d_out);
      double up = std::max(st.up, 0.0), down = std::max(st.down, 0.0);
      // 100 - 100 / (average gain / average loss + 1); a window without
      // any change is neutral
      double v = up + down > 0 ? 100 * up / (up + down) : 50;
      out[i] = study_out(v);
    };
    // A long run takes the full windows in blocks: the sums bar by bar,
    // the divisions four bars at a time (rsi_values); the rest goes bar by
    // bar.
    int i = start;
    int bulk = std::max(start, n + 1);
    if (count - 1 - bulk >= 64 && study_wide()) {
      for (; i < bulk; i++) step(i, st);
      const int B = 256;
      double ups[B], downs[B], v[B];
      double su = st.up, sd = st.down;
      while (count - 1 - i >= 4) {
        int m = std::min(B, (count - 1 - i) / 4 * 4);
        for (int j = 0; j < m; j++) {
          int t = i + j;
          double p = price(t);
          double d = p - prev;
          prev = p;
          double ad = std::fabs(d), gain = 0.5 * (ad + d), loss = 0.5 * (ad - d);
          double d_out = price(t - n) - price(t - n - 1);
          double ao = std::fabs(d_out);
          su += gain - 0.5 * (ao + d_out);
          sd += loss - 0.5 * (ao - d_out);
          ups[j] = std::max(su, 0.0);
          downs[j] = std::max(sd, 0.0);
        }
        rsi_values_wide(ups, downs, m, v);
        for (int j = 0; j < m; j++) out[i + j] = study_out(v[j]);
        i += m;
      }
      st.up = su;
      st.down = sd;
    }
    study_run(s, i, count, st, step);
  });
  return 1;
}

// CCI of bars j = 0 .. m - 1 of a block (m a multiple of 8) from the
// window's prices w (from the first bar of bar 0's window), each bar's
// mean and price: (price - mean) / (0.015 * mean deviation), missing where
// the window never moved.  Bar j + 1's window is bar j's a bar later, so
// one load of w feeds four bars and neighbouring bars' passes overlap
// instead of waiting on each other.  Each bar's sum is taken in two
// interleaved sums (even and odd k); they differ from one sum by double
// rounding only.
[[gnu::always_inline]] static inline void cci_pass(const double *w, const double *means,
                                                   const double *prices, int m, int n, double scale,
                                                   double *cci) {
  const study_v4i mask = {0x7fffffffffffffffLL, 0x7fffffffffffffffLL, 0x7fffffffffffffffLL,
                          0x7fffffffffffffffLL};
  const study_v4d zero = {0, 0, 0, 0}, sc = {scale, scale, scale, scale},
                  missing = {MISSING_VALUE, MISSING_VALUE, MISSING_VALUE, MISSING_VALUE};
  for (int j = 0; j < m; j += 8) {
    study_v4d m0, m1, p0, p1, s00 = zero, s01 = zero, s10 = zero, s11 = zero;
    memcpy(&m0, means + j, sizeof m0);
    memcpy(&m1, means + j + 4, sizeof m1);
    memcpy(&p0, prices + j, sizeof p0);
    memcpy(&p1, prices + j + 4, sizeof p1);
    // acc += |mean - w| for the four bars from lane u of the group at window
    // place k (vectors by reference: by value they would change the calling
    // convention between the two compilations)
    auto add = [&](study_v4d &acc, const study_v4d &mv, int u, int k) {
      study_v4d v;
      memcpy(&v, w + j + u + k, sizeof v);
      acc += (study_v4d)((study_v4i)(mv - v) & mask);
    };
    int k = 0;
    for (; k + 2 <= n; k += 2) {
      add(s00, m0, 0, k);
      add(s01, m1, 4, k);
      add(s10, m0, 0, k + 1);
      add(s11, m1, 4, k + 1);
    }
    if (k < n) {
      add(s00, m0, 0, k);
      add(s01, m1, 4, k);
    }
    // (p - mean) / (0.015 * sum / n)
    study_v4d sum0 = s00 + s10, sum1 = s01 + s11;
    study_v4i has0 = sum0 > zero, has1 = sum1 > zero;
    study_v4d c0 = (p0 - m0) * sc / sum0, c1 = (p1 - m1) * sc / sum1;
    c0 = (study_v4d)(((study_v4i)c0 & has0) | ((study_v4i)missing & ~has0));
    c1 = (study_v4d)(((study_v4i)c1 & has1) | ((study_v4i)missing & ~has1));
    memcpy(cci + j, &c0, sizeof c0);
    memcpy(cci + j + 4, &c1, sizeof c1);
  }
}

[[gnu::noinline]] STUDY_WIDE static void cci_pass_wide(const double *w, const double *means,
                                                       const double *prices, int m, int n,
                                                       double scale, double *cci) {
  cci_pass(w, means, prices, m, n, scale, cci);
}

// The same, two bars to a register: for the few bars of a live update, and
// for processors without 256-bit registers (where the vectors above would
// be split through memory).
[[gnu::noinline]] static void cci_pass_pairs(const double *w, const double *means,
                                             const double *prices, int m, int n, double scale,
                                             double *cci) {
  for (int j = 0; j < m; j += 2) {
    study_v2d mv = {means[j], means[j + 1]}, s0 = {0, 0}, s1 = {0, 0};
    const double *p = w + j;
    int k = 0;
    for (; k + 2 <= n; k += 2) {
      s0 += study_v2_abs(mv - study_v2_load(p + k));
      s1 += study_v2_abs(mv - study_v2_load(p + k + 1));
    }
    if (k < n) s0 += study_v2_abs(mv - study_v2_load(p + k));
    study_v2d sum = s0 + s1, pv = {prices[j], prices[j + 1]};
    study_v2d c = (pv - mv) * study_v2_splat(scale) / sum;
    for (int u = 0; u < 2; u++) cci[j + u] = sum[u] > 0 ? c[u] : MISSING_VALUE;
  }
}

int compute_cci(chart_rec *chart, StudyDef *s, int restart) {
  int count = study_bar_count(chart, s);
  int n = study_period(s);
  cci_state st;
  int start = study_start(s, restart, n, count, n >= 1, 1, &st);
  if (start < 0) return 1;
  float *out = study_series(s, 0);
  // The mean moves with every window, so the mean deviation measures every
  // price of the window again: the pass is the formula's own cost.  Bars
  // are taken in blocks: each price is made once per block (the typical
  // price is a sum and a division), the running sum gives each bar's mean,
  // then eight bars at a time share each load (cci_pass).
  // (a live update's block is its few bars: nothing more is allocated)
  const int first = start > n - 1 ? start : n - 1;
  const int B = count - first < 512 ? count - first : 512;
  const int BP = (B + 7) & ~7;  // the block in whole groups of eight bars
  // one block of memory for the four buffers, on the stack when small
  size_t total = B > 0 ? (size_t)BP + n + 3 * (size_t)BP : 0;
  double small[256];
  std::vector<double> buf(total > 256 ? total : 0);
  double *w = total > 256 ? buf.data() : small, *means = w + BP + n, *prices = means + BP,
         *cci = prices + BP;
  int blk = -1;  // first bar of the block, -1 before the first
  const double scale = n / 0.015;
  auto flush = [&](int m) {
    int mp = (m + 7) & ~7;
    // the group's unused lanes see zeros
    for (int k = m + n - 1; k < mp + n - 1; k++) w[k] = 0;
    for (int j = m; j < mp; j++) means[j] = prices[j] = 0;
    // whole groups of eight in the wide registers, the rest (a live
    // update's bar or two) two at a time
    int m8 = study_wide() ? m & ~7 : 0;
    if (m8 > 0) cci_pass_wide(w, means, prices, m8, n, scale, cci);
    if (m8 < m) cci_pass_pairs(w + m8, means + m8, prices + m8, m - m8, n, scale, cci + m8);
    for (int j = 0; j < m; j++) out[blk + j] = study_out(cci[j]);
  };
  with_price_type(chart->bars, s->price_type, [&](auto price) {
    study_run(s, start, count, st, [&](int i, cci_state &st) {
      if (i < n - 1) {
        st.sum += price(i);
        out[i] = MISSING_VALUE;
        return;
      }
      if (blk < 0 || i - blk == B) {
        blk = i;
        int end = i + B < count ? i + B : count;
        for (int k = i - n + 1; k < end; k++) w[k - (i - n + 1)] = price(k);
      }
      int j = i - blk;
      double p = w[j + n - 1];
      st.sum += p;
      means[j] = st.sum / n;
      prices[j] = p;
      if (j == B - 1 || i == count - 1) flush(j + 1);
      st.sum -= w[j];
    });
  });
  return 1;
}

int compute_vhf(chart_rec *chart, StudyDef *s, int restart) {
  int count = study_bar_count(chart, s);
  int n = study_period(s);
  vhf_state st;
  int start = study_start(s, restart, n, count, n >= 1, 1, &st);
  if (start < 0) return 1;
  float *out = study_series(s, 0);
  const chart_bar *bars = chart->bars;
  int from = start > n ? start : n;
  with_price_type(bars, s->price_type, [&](auto x) {
    window_extremes<decltype(x), decltype(x)> w(x, x, n, from, count);
    auto step = [&](int i, vhf_state &st) {
      if (i >= 1) st.dsum += std::fabs(x(i) - x(i - 1));
      if (i - n >= 1) st.dsum -= std::fabs(x(i - n) - x(i - n - 1));
      if (i < n) {
        out[i] = MISSING_VALUE;
        return;
      }
      w.step(i);
      out[i] = st.dsum > 0 ? study_out(std::fabs(w.hi - w.lo) / st.dsum) : MISSING_VALUE;
    };
    // A long run takes the full windows in blocks: the sums and extremes
    // bar by bar, the divisions four bars at a time
    // (study_range_ratios); the rest
    // goes bar by bar.
    int i = start;
    int bulk = std::max(start, n + 1);
    if (count - 1 - bulk >= 64 && study_wide()) {
      for (; i < bulk; i++) step(i, st);
      const int B = 256;
      double hi[B], lo[B], sum[B], v[B];
      double dsum = st.dsum;
      while (count - 1 - i >= 4) {
        int m = std::min(B, (count - 1 - i) / 4 * 4);
        for (int j = 0; j < m; j++) {
          int t = i + j;
          dsum += std::fabs(x(t) - x(t - 1));
          dsum -= std::fabs(x(t - n) - x(t - n - 1));
          w.step(t);
          hi[j] = w.hi;
          lo[j] = w.lo;
          sum[j] = dsum;
        }
        study_range_ratios(hi, lo, sum, m, v);
        for (int j = 0; j < m; j++) out[i + j] = study_out(v[j]);
        i += m;
      }
      st.dsum = dsum;
    }
    study_run(s, i, count, st, step);
  });
  return 1;
}
