// Moving averages, the variable moving average, standard deviation,
// Bollinger bands, %B and bandwidth.
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
    study_run(s, start, count, st, [&](int i, vma_state &st) {
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
    });
  });
  return 1;
}

// Window mean and population deviation of the price; emit(i, price, mean,
// sd, state) gives slot i from n - 1 on.
template <class Emit>
static int run_deviation(chart_rec *chart, StudyDef *s, int restart, Emit emit) {
  int count = study_bar_count(chart, s);
  int n = study_period(s);
  dev_state st;
  int start = study_start(s, restart, n, count, n >= 2, 1, &st);
  if (start < 0) return 1;
  float *out = study_series(s, 0);
  const chart_bar *bars = chart->bars;
  double inv_n = 1.0 / n;
  with_price_type(bars, s->price_type, [&](auto price) {
    study_run(s, start, count, st, [&](int i, dev_state &st) {
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
    });
  });
  return 1;
}

int compute_std_dev(chart_rec *chart, StudyDef *s, int restart) {
  return run_deviation(chart, s, restart,
                       [](double, double, double sd, dev_state &) { return study_out(sd); });
}

int compute_bollinger(chart_rec *chart, StudyDef *s, int restart) {
  double k = s->p2;
  return run_deviation(chart, s, restart, [k](double, double mean, double sd, dev_state &) {
    return study_out(mean + k * sd);
  });
}

int compute_percent_b(chart_rec *chart, StudyDef *s, int restart) {
  double k = std::fabs(s->p2), p1 = s->p1;
  double c = 2.0 / (p1 + 1);
  return run_deviation(chart, s, restart,
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
                       });
}

int compute_bandwidth(chart_rec *chart, StudyDef *s, int restart) {
  double k = std::fabs(s->p2);
  return run_deviation(chart, s, restart, [k](double, double mean, double sd, dev_state &) {
    if (mean == 0) return MISSING_VALUE;
    return study_out(((mean + k * sd) - (mean - k * sd)) / mean * 100);
  });
}
