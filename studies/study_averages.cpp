// Moving averages, the variable moving average, standard deviation,
// Bollinger bands, %B and bandwidth.
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

// Moving average of the price by method, times mult, into series 1: bar
// by bar through the warm-up, then four bars at a time (ma_group).
template <int>
STUDY_INLINE static inline int price_ma(chart_rec *chart, StudyDef *s, int restart, int method,
                                        int price_type, double mult) {
  int count = study_bar_count(chart, s);
  int n = study_period(s);
  ma_state st;
  int start = study_start(s, restart, n, count, n >= 1, 1, &st);
  if (start < 0) return 1;
  float *out = study_series(s, 0);
  const chart_bar *bars = chart->bars;
  const study_decay4 decay(1 - 2.0 / (n + 1));
  with_price_type(bars, price_type, [&](auto x) STUDY_INLINE {
    with_ma_method(method, [&](auto m) STUDY_INLINE {
      constexpr int M = decltype(m)::value;
      // the groups start past the first value and, for the exponential
      // average, its seed at bar 0; for the window averages past the
      // window's filling (ma_step_full)
      int from = M == MA_EXPONENTIAL ? ((n - 1 > 1 ? n - 1 : 1) + 3) & ~3 : (n + 2 + 3) & ~3;
      study_run4(
          s, start, count, from, st,
          [&](int j, ma_state &st) STUDY_INLINE {
            double v = ma_step_m<M>(st.r, n, x, j);
            out[j] = study_is_missing(v) ? MISSING_VALUE : study_out(v * mult);
          },
          [&](int j, int k, ma_state &st) STUDY_INLINE {
            study_v4d v;
            ma_group<M>(st.r, n, decay, x, j, k, v);
            v *= mult;
            study_store4(out + j, v, k);
          });
    });
  });
  return 1;
}

STUDY_TWO_WAYS(price_ma,
               (chart_rec * chart, StudyDef *s, int restart, int method, int price_type,
                double mult),
               (chart, s, restart, method, price_type, mult))

static int run_price_ma(chart_rec *chart, StudyDef *s, int restart, int method, int price_type,
                        double mult) {
  return price_ma_either(chart, s, restart, method, price_type, mult);
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
// |highest - lowest| / sum |change| over the window.  Bar by bar through
// the warm-up, then four bars at a time: the summed changes as running
// sums over the group, the window's extremes a block ahead, the ratios
// four to a division and the average as a recurrence over the group with
// a factor of its own for each bar (study_vary4).
template <int>
STUDY_INLINE static inline int variable_ma(chart_rec *chart, StudyDef *s, int restart) {
  int count = study_bar_count(chart, s);
  int n = study_period(s);
  vma_state st;
  int start = study_start(s, restart, n, count, n >= 1, 2, &st);
  if (start < 0) return 1;
  float *out = study_series(s, 0), *er_out = study_series(s, 1);
  const chart_bar *bars = chart->bars;
  const double a0 = 2.0 / (n + 1), mult = s->p2;
  const int from = (n + 1 + 3) & ~3;
  with_price_type(bars, s->price_type, [&](auto x) STUDY_INLINE {
    window_extremes<decltype(x), decltype(x)> ext(x, x, n, study_first4(start, from), count);
    extremes_ahead<decltype(ext)> ahead(ext, count);
    price_ahead<decltype(x)> prices(x, n, count);
    study_run4(
        s, start, count, from, st,
        [&](int i, vma_state &st) STUDY_INLINE {
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
        },
        [&](int i, int m, vma_state &st) STUDY_INLINE {
          study_v4d p, pp, o, oo, hi, lo, sum;
          prices.ends(i, m, p, pp, o, oo);
          study_path4(sum, p, pp, o, oo, st.dsum);
          ahead.get(i, m, hi, lo);
          const study_v4d zero = {0, 0, 0, 0}, one = {1, 1, 1, 1};
          study_v4i moved = sum > zero;
          study_v4d er = STUDY_V4_ABS(hi - lo) / sum;
          // a window that never moved has no ratio and the plain factor
          study_v4d a = a0 * er;
          a = (study_v4d)(((study_v4i)a & (er > zero) & moved) |
                          ((study_v4i)(zero + a0) & ~((er > zero) & moved)));
          study_v4d c = one - a, u = a * p;
          study_vary4(c, u, st.s);
          u *= mult;
          study_store4(out + i, u, m);
          study_store4_if(er_out + i, er, moved, m);
        });
  });
  return 1;
}

STUDY_TWO_WAYS(variable_ma, (chart_rec * chart, StudyDef *s, int restart), (chart, s, restart))

int compute_variable_ma(chart_rec *chart, StudyDef *s, int restart) {
  return variable_ma_either(chart, s, restart);
}

// What a deviation study makes of a window's price, mean and deviation.
enum dev_kind { DEV_SD, DEV_BAND, DEV_PERCENT_B, DEV_WIDTH };

// Window mean and population deviation of the price, and from them by
// kind: the deviation; mean + k sd; %B, smoothed over p1 when p1 is above
// 1; the bandwidth.  Bar by bar through the warm-up, then four bars at a
// time: the window sums as running sums over the group, the roots and
// divisions four to an instruction, the smoothing as a recurrence over
// the group (study_vary4: a bar without a %B leaves it as it is).
template <int, int K>
STUDY_INLINE static inline int deviation(chart_rec *chart, StudyDef *s, int restart, double k,
                                         double p1) {
  int count = study_bar_count(chart, s);
  int n = study_period(s);
  dev_state st;
  int start = study_start(s, restart, n, count, n >= 2, 1, &st);
  if (start < 0) return 1;
  float *out = study_series(s, 0);
  const chart_bar *bars = chart->bars;
  const double inv_n = 1.0 / n, c = 2.0 / (p1 + 1);
  const bool smoothed = K == DEV_PERCENT_B && p1 > 1;
  // the value of one bar from its price, mean and deviation
  auto value = [&](double p, double mean, double sd, dev_state &st) STUDY_INLINE -> float {
    if constexpr (K == DEV_SD) {
      return study_out(sd);
    } else if constexpr (K == DEV_BAND) {
      return study_out(mean + k * sd);
    } else if constexpr (K == DEV_WIDTH) {
      if (mean == 0) return MISSING_VALUE;
      return study_out(((mean + k * sd) - (mean - k * sd)) / mean * 100);
    } else {
      double upper = mean + k * sd, lower = mean - k * sd;
      if (!(upper - lower != 0)) return MISSING_VALUE;
      double b = (p - lower) / (upper - lower) * 100;
      if (!smoothed) return study_out(b);
      if (!st.smoothing) {
        st.smooth = b;
        st.smoothing = 1;
      } else {
        st.smooth = c * b + (1 - c) * st.smooth;
      }
      return study_out(st.smooth);
    }
  };
  with_price_type(bars, s->price_type, [&](auto price) STUDY_INLINE {
    auto step = [&](int i, dev_state &st) STUDY_INLINE {
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
      out[i] = value(p, mean, sd, st);
      st.sum -= q;
      st.ssum -= dq;
      st.ssq -= dq * dq;
    };
    // the groups' windows are full and the shift is known
    auto group = [&](int i, int m, dev_state &st) STUDY_INLINE {
      study_v4d p, q;
      study_gather4(p, price, i, m);
      study_gather4(q, price, i - n + 1, m);
      study_v4d d = p - st.shift, dq = q - st.shift;
      // the sums hold the window less its oldest price between bars
      study_v4d a1 = p - q, a2 = d - dq, a3 = d * d - dq * dq;
      study_prefix4(a1);
      study_prefix4(a2);
      study_prefix4(a3);
      study_v4d sum = (STUDY_V4_SHIFT1(a1) + st.sum) + p;
      study_v4d ssum = (STUDY_V4_SHIFT1(a2) + st.ssum) + d;
      study_v4d ssq = (STUDY_V4_SHIFT1(a3) + st.ssq) + d * d;
      st.sum += a1[3];
      st.ssum += a2[3];
      st.ssq += a3[3];
      study_v4d mean = sum * inv_n, md = ssum * inv_n;
      study_v4d var = ssq * inv_n - md * md, sd = var;
      study_sqrt4(sd);
      const study_v4d zero = {0, 0, 0, 0};
      sd = (study_v4d)((study_v4i)sd & (var > zero));
      if constexpr (K == DEV_SD) {
        study_store4(out + i, sd, m);
      } else if constexpr (K == DEV_BAND) {
        study_v4d v = mean + k * sd;
        study_store4(out + i, v, m);
      } else if constexpr (K == DEV_WIDTH) {
        study_v4d v = ((mean + k * sd) - (mean - k * sd)) / mean * 100;
        study_store4_if(out + i, v, mean != zero, m);
      } else {
        study_v4d upper = mean + k * sd, lower = mean - k * sd;
        study_v4i ok = (upper - lower) != zero;
        study_v4d b = (p - lower) / (upper - lower) * 100;
        if (smoothed) {
          // a bar without a %B keeps the smoothing (factor 1, input 0); the
          // first %B of all starts it (factor 0)
          const study_v4d one = {1, 1, 1, 1};
          study_v4d f = (study_v4d)(((study_v4i)(one - c) & ok) | ((study_v4i)one & ~ok));
          study_v4d raw = b;
          b = (study_v4d)((study_v4i)(b * c) & ok);
          for (int l = 0; !st.smoothing && l < m; l++)
            if (ok[l]) {
              f[l] = 0;
              b[l] = raw[l];
              st.smoothing = 1;
            }
          study_vary4(f, b, st.smooth);
        }
        study_store4_if(out + i, b, ok, m);
      }
    };
    study_run4(s, start, count, (n + 3) & ~3, st, step, group);
  });
  return 1;
}

template <int W>
STUDY_INLINE static inline int deviation_kind(chart_rec *chart, StudyDef *s, int restart, int kind,
                                              double k, double p1) {
  switch (kind) {
    case DEV_SD:
      return deviation<W, DEV_SD>(chart, s, restart, k, p1);
    case DEV_BAND:
      return deviation<W, DEV_BAND>(chart, s, restart, k, p1);
    case DEV_PERCENT_B:
      return deviation<W, DEV_PERCENT_B>(chart, s, restart, k, p1);
    default:
      return deviation<W, DEV_WIDTH>(chart, s, restart, k, p1);
  }
}

STUDY_TWO_WAYS(deviation_kind,
               (chart_rec * chart, StudyDef *s, int restart, int kind, double k, double p1),
               (chart, s, restart, kind, k, p1))

int compute_std_dev(chart_rec *chart, StudyDef *s, int restart) {
  return deviation_kind_either(chart, s, restart, DEV_SD, 0, 0);
}

int compute_bollinger(chart_rec *chart, StudyDef *s, int restart) {
  return deviation_kind_either(chart, s, restart, DEV_BAND, s->p2, 0);
}

int compute_percent_b(chart_rec *chart, StudyDef *s, int restart) {
  return deviation_kind_either(chart, s, restart, DEV_PERCENT_B, std::fabs(s->p2), s->p1);
}

int compute_bandwidth(chart_rec *chart, StudyDef *s, int restart) {
  return deviation_kind_either(chart, s, restart, DEV_WIDTH, std::fabs(s->p2), 0);
}
