// Moving averages, the variable moving average, standard deviation,
// Bollinger bands, %B and bandwidth.
#include <immintrin.h>

#include <algorithm>

#include "studies/study_internal.h"

namespace {

struct ma_state {
  int32_t index;
  int32_t pad;
  ma_run r;
};

struct vma_state {
  int32_t index;
  int32_t pad;
  double s;     // smoothed value
  double dsum;  // sum of |price change| over the window
};

struct dev_state {
  int32_t index;
  int32_t smoothing;  // %B: the smoothed value exists
  double sum;         // window sum of prices
  double ssum, ssq;   // window sums of (price - shift) and its square
  double shift;       // first price, keeps the squares small
  double smooth;      // %B: smoothed value
};

}  // namespace

// Moving average of the price by method, times mult, into series 1.
static int run_price_ma(chart_rec *chart, StudyDef *s, int restart, int method, int price_type,
                        double mult) {
  int count = study_bar_count(chart, s);
  int n = study_period(s);
  ma_state st;
  int start = study_start(s, restart, n, count, n >= 1, 1, &st);
  if (start < 0) return 1;
  float *out = study_series(s, 0);
  const chart_bar *bars = chart->bars;
  with_price_type(bars, price_type, [&](auto x) {
    with_ma_method(method, [&](auto m) {
      constexpr int M = decltype(m)::value;
      // the warm-up bars (never the last one) take the tests of the
      // window's filling; the rest go without them
      int full = n + 2 < count - 1 ? n + 2 : count - 1, i = start;
      for (; i < full; i++) {
        double v = ma_step_m<M>(st.r, n, x, i);
        out[i] = study_is_missing(v) ? MISSING_VALUE : study_out(v * mult);
      }
      study_run(s, i, count, st, [&](int j, ma_state &st) {
        double v = j < n + 2 ? ma_step_m<M>(st.r, n, x, j) : ma_step_full<M>(st.r, n, x, j);
        out[j] = study_is_missing(v) ? MISSING_VALUE : study_out(v * mult);
      });
    });
  });
  return 1;
}

int compute_moving_average(chart_rec *chart, StudyDef *s, int restart) {
  int method = (s->type & STUDY_NUMBER_MASK) - (STUDY_SMA & STUDY_NUMBER_MASK);
  return run_price_ma(chart, s, restart, method, s->price_type, s->p2);
}

int compute_avg_volume(chart_rec *chart, StudyDef *s, int restart) {
  s->p2 = 1.0;
  s->price_type = PRICE_VOLUME;
  if (s->method < MA_SIMPLE || s->method > MA_TRIANGULAR) return 1;
  return run_price_ma(chart, s, restart, s->method, PRICE_VOLUME, 1.0);
}

int compute_avg_net_volume(chart_rec *chart, StudyDef *s, int restart) {
  s->p2 = 1.0;
  s->price_type = PRICE_OPEN_INT;
  if (s->method < MA_SIMPLE || s->method > MA_TRIANGULAR) return 1;
  return run_price_ma(chart, s, restart, s->method, PRICE_OPEN_INT, 1.0);
}

// Series 1 the adaptive average, series 2 the efficiency ratio
// |highest - lowest| / sum |change| over the window.
int compute_variable_ma(chart_rec *chart, StudyDef *s, int restart) {
  int count = study_bar_count(chart, s);
  int n = study_period(s);
  vma_state st;
  int start = study_start(s, restart, n, count, n >= 1, 2, &st);
  if (start < 0) return 1;
  float *out = study_series(s, 0), *er_out = study_series(s, 1);
  const chart_bar *bars = chart->bars;
  double a0 = 2.0 / (n + 1), mult = s->p2;
  with_price_type(bars, s->price_type, [&](auto x) {
    window_extremes<decltype(x), decltype(x)> ext(x, x, n, start, count);
    auto step = [&](int i, vma_state &st) {
      double p = x(i);
      if (i >= 1) st.dsum += std::fabs(p - x(i - 1));
      if (i - n >= 1) st.dsum -= std::fabs(x(i - n) - x(i - n - 1));
      ext.step(i);
      double er = MISSING_VALUE, a = a0;
      if (i >= n && st.dsum > 0) {
        er = std::fabs(ext.hi - ext.lo) / st.dsum;
        if (er > 0) a *= er;
      }
      st.s = i == 0 ? p : a * p + (1 - a) * st.s;
      out[i] = i < n ? MISSING_VALUE : study_out(st.s * mult);
      er_out[i] = i < n || study_is_missing(er) ? MISSING_VALUE : study_out(er);
    };
    // A long run takes the full windows in blocks: the sums and extremes
    // bar by bar, the ratios four bars at a time (study_range_ratios), then
    // the average bar by bar alongside the next block's sums (the two wait
    // on themselves only, so they run side by side); the rest goes bar by
    // bar.
    int i = start;
    int bulk = std::max(start, n + 1);
    if (count - 1 - bulk >= 64 && study_wide()) {
      for (; i < bulk; i++) step(i, st);
      const int B = 256;
      double pb[2][B], hi[B], lo[B], sum[B], er[2][B];
      double dsum = st.dsum, sm = st.s;
      int prev = i, prev_m = 0;  // the block whose average is to come
      for (int cur = 0;; cur ^= 1) {
        int m = std::min(B, (count - 1 - i) / 4 * 4);
        const double *pp = pb[cur ^ 1], *ep = er[cur ^ 1];
        double *pc = pb[cur];
        for (int j = 0; j < m || j < prev_m; j++) {
          if (j < m) {
            int t = i + j;
            double p = x(t);
            dsum += std::fabs(p - x(t - 1));
            dsum -= std::fabs(x(t - n) - x(t - n - 1));
            ext.step(t);
            pc[j] = p;
            hi[j] = ext.hi;
            lo[j] = ext.lo;
            sum[j] = dsum;
          }
          if (j < prev_m) {
            double a = ep[j] > 0 ? a0 * ep[j] : a0;
            sm = a * pp[j] + (1 - a) * sm;
            out[prev + j] = study_out(sm * mult);
            er_out[prev + j] = study_is_missing(ep[j]) ? MISSING_VALUE : study_out(ep[j]);
          }
        }
        if (m == 0) break;
        study_range_ratios(hi, lo, sum, m, er[cur]);
        prev = i;
        prev_m = m;
        i += m;
      }
      st.dsum = dsum;
      st.s = sm;
    }
    study_run(s, i, count, st, step);
  });
  return 1;
}

// What a deviation study makes of a window's price, mean and deviation.
enum dev_kind { DEV_SD, DEV_BAND, DEV_PERCENT_B, DEV_WIDTH };

// The deviations of bars j = 0 .. m - 1 (m a multiple of 4) from their
// variances: the root, 0 unless the variance is above 0.  Four roots in
// one instruction where the processor has 256-bit registers (a root costs
// as much as the rest of a bar), two otherwise; exact either way.
[[gnu::noinline]] STUDY_WIDE static void dev_roots_wide(const double *var, int m, double *sd) {
  const __m256d zero = _mm256_setzero_pd();
  for (int j = 0; j < m; j += 4) {
    __m256d v = _mm256_loadu_pd(var + j);
    __m256d r = _mm256_and_pd(_mm256_sqrt_pd(v), _mm256_cmp_pd(v, zero, _CMP_GT_OQ));
    _mm256_storeu_pd(sd + j, r);
  }
}

// Values of bars j = 0 .. m - 1 (m a multiple of 4) by kind from each
// bar's price, window mean and deviation: sd; mean + k sd; %B before its
// smoothing, with ok[j] 0 for a band of no width; the bandwidth (missing
// for a zero mean).  Four bars to a vector: the divisions are a large part
// of a bar's cost.  The same operations as one bar at a time: the values
// are the same.
[[gnu::always_inline]] static inline void dev_values(int kind, double k, const double *p,
                                                     const double *mean, const double *sd, int m,
                                                     double *val, double *ok) {
  const study_v4d zero = {0, 0, 0, 0}, one = {1, 1, 1, 1}, hundred = {100, 100, 100, 100},
                  kv = {k, k, k, k},
                  missing = {MISSING_VALUE, MISSING_VALUE, MISSING_VALUE, MISSING_VALUE};
  for (int j = 0; j < m; j += 4) {
    study_v4d pv, mv, sv, r, f = one;
    memcpy(&pv, p + j, sizeof pv);
    memcpy(&mv, mean + j, sizeof mv);
    memcpy(&sv, sd + j, sizeof sv);
    if (kind == DEV_PERCENT_B) {
      study_v4d upper = mv + kv * sv, lower = mv - kv * sv;
      r = (pv - lower) / (upper - lower) * hundred;
      f = (study_v4d)((study_v4i)one & (study_v4i)((upper - lower) != zero));
    } else {
      study_v4i has = mv != zero;
      r = ((mv + kv * sv) - (mv - kv * sv)) / mv * hundred;
      r = (study_v4d)(((study_v4i)r & has) | ((study_v4i)missing & ~has));
    }
    memcpy(val + j, &r, sizeof r);
    memcpy(ok + j, &f, sizeof f);
  }
}

[[gnu::noinline]] STUDY_WIDE static void dev_values_wide(int kind, double k, const double *p,
                                                         const double *mean, const double *sd,
                                                         int m, double *val, double *ok) {
  dev_values(kind, k, p, mean, sd, m, val, ok);
}

// Window mean and population deviation of the price; emit(i, price, mean,
// sd, state) gives slot i from n - 1 on.  A long run takes the full
// windows in blocks: the sums bar by bar, the roots and divisions four
// bars at a time (dev_roots, dev_values), then each slot's value by kind
// (k the band's factor, p1 the %B smoothing) as emit gives it; the rest
// goes bar by bar.
template <class Emit>
static int run_deviation(chart_rec *chart, StudyDef *s, int restart, Emit emit, int kind, double k,
                         double p1) {
  int count = study_bar_count(chart, s);
  int n = study_period(s);
  dev_state st;
  int start = study_start(s, restart, n, count, n >= 2, 1, &st);
  if (start < 0) return 1;
  float *out = study_series(s, 0);
  const chart_bar *bars = chart->bars;
  double inv_n = 1.0 / n;
  with_price_type(bars, s->price_type, [&](auto price) {
    auto step = [&](int i, dev_state &st) {
      double p = price(i);
      if (i == 0) st.shift = p;
      double d = p - st.shift;
      // the price leaving the window is read before the sums take this one
      double q = i >= n - 1 ? price(i - n + 1) : 0.0, dq = i >= n - 1 ? q - st.shift : 0.0;
      st.sum += p;
      st.ssum += d;
      st.ssq += d * d;
      if (i < n - 1) {
        out[i] = MISSING_VALUE;
        return;
      }
      double mean = st.sum * inv_n, md = st.ssum * inv_n;
      double var = st.ssq * inv_n - md * md;
      double sd = var > 0 ? std::sqrt(var) : 0;
      out[i] = emit(p, mean, sd, st);
      st.sum -= q;
      st.ssum -= dq;
      st.ssq -= dq * dq;
    };
    int i = start;
    int bulk = std::max(start, n);  // i >= 1: the shift is known
    if (count - 1 - bulk >= 64 && study_wide()) {
      for (; i < bulk; i++) step(i, st);
      const int B = 256;
      double pb[B], mb[B], vb[B], sb[B], val[B], ok[B];
      double sum = st.sum, ssum = st.ssum, ssq = st.ssq, shift = st.shift;
      const double c = 2.0 / (p1 + 1);
      while (count - 1 - i >= 4) {
        int m = std::min(B, (count - 1 - i) / 4 * 4);
        for (int j = 0; j < m; j++) {
          int t = i + j;
          double p = price(t);
          double d = p - shift;
          double q = price(t - n + 1), dq = q - shift;
          sum += p;
          ssum += d;
          ssq += d * d;
          double md = ssum * inv_n;
          pb[j] = p;
          mb[j] = sum * inv_n;
          vb[j] = ssq * inv_n - md * md;
          sum -= q;
          ssum -= dq;
          ssq -= dq * dq;
        }
        dev_roots_wide(vb, m, sb);
        if (kind == DEV_SD) {
          for (int j = 0; j < m; j++) out[i + j] = study_out(sb[j]);
        } else if (kind == DEV_BAND) {
          for (int j = 0; j < m; j++) out[i + j] = study_out(mb[j] + k * sb[j]);
        } else {
          dev_values_wide(kind, k, pb, mb, sb, m, val, ok);
          if (kind == DEV_WIDTH || !(p1 > 1)) {
            for (int j = 0; j < m; j++) out[i + j] = ok[j] != 0 ? study_out(val[j]) : MISSING_VALUE;
          } else {
            // the smoothing in locals (kept in registers through the loop)
            double smooth = st.smooth;
            int smoothing = st.smoothing;
            for (int j = 0; j < m; j++) {
              if (ok[j] == 0) {
                out[i + j] = MISSING_VALUE;
                continue;
              }
              if (!smoothing) {
                smooth = val[j];
                smoothing = 1;
              } else {
                smooth = c * val[j] + (1 - c) * smooth;
              }
              out[i + j] = study_out(smooth);
            }
            st.smooth = smooth;
            st.smoothing = smoothing;
          }
        }
        i += m;
      }
      st.sum = sum;
      st.ssum = ssum;
      st.ssq = ssq;
    }
    study_run(s, i, count, st, step);
  });
  return 1;
}

int compute_std_dev(chart_rec *chart, StudyDef *s, int restart) {
  return run_deviation(
      chart, s, restart, [](double, double, double sd, dev_state &) { return study_out(sd); },
      DEV_SD, 0, 0);
}

int compute_bollinger(chart_rec *chart, StudyDef *s, int restart) {
  double k = s->p2;
  return run_deviation(
      chart, s, restart,
      [k](double, double mean, double sd, dev_state &) { return study_out(mean + k * sd); },
      DEV_BAND, k, 0);
}

int compute_percent_b(chart_rec *chart, StudyDef *s, int restart) {
  double k = std::fabs(s->p2), p1 = s->p1;
  double c = 2.0 / (p1 + 1);
  return run_deviation(
      chart, s, restart,
      [k, p1, c](double p, double mean, double sd, dev_state &st) {
        double upper = mean + k * sd, lower = mean - k * sd;
        if (!(upper - lower != 0)) return MISSING_VALUE;
        double b = (p - lower) / (upper - lower) * 100;
        if (!(p1 > 1)) return study_out(b);
        if (!st.smoothing) {
          st.smooth = b;
          st.smoothing = 1;
        } else {
          st.smooth = c * b + (1 - c) * st.smooth;
        }
        return study_out(st.smooth);
      },
      DEV_PERCENT_B, k, p1);
}

int compute_bandwidth(chart_rec *chart, StudyDef *s, int restart) {
  double k = std::fabs(s->p2);
  return run_deviation(
      chart, s, restart,
      [k](double, double mean, double sd, dev_state &) {
        if (mean == 0) return MISSING_VALUE;
        return study_out(((mean + k * sd) - (mean - k * sd)) / mean * 100);
      },
      DEV_WIDTH, k, 0);
}
