// MACD and its signal line, stochastics, RSI, CCI and VHF.
#include "studies/study_internal.h"

namespace {

struct macd_state {
  int32_t index;
  int32_t pad;
  double fast, slow, signal;
};

// The %K running values.
struct stoch_run {
  double s;        // smoothed %K
  int32_t hi, lo;  // indices of the window's highest high and lowest low
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
  int32_t hi, lo;
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
  int n = s->period, slow_n = study_param_int(s->p2);
  macd_state st;
  int start = study_begin(s, restart, slow_n, count, &st);
  float *out = study_series(s, 0);
  if (n < 1 || slow_n < 1) {
    study_fill_missing(out, 0, count);
    return 1;
  }
  const chart_bar *bars = chart->bars;
  int pt = s->price_type;
  double a = 2.0 / (n + 1), b = 2.0 / (slow_n + 1);
  for (int i = start; i < count; i++) {
    if (i == count - 1) {
      st.index = i;
      study_save_state(s, st);
    }
    double p = study_price(bars, i, pt);
    if (i == 0) {
      st.fast = st.slow = p;
    } else {
      st.fast = a * p + (1 - a) * st.fast;
      st.slow = b * p + (1 - b) * st.slow;
    }
    out[i] = i < slow_n - 1 ? MISSING_VALUE : study_out(st.fast - st.slow);
  }
  return 1;
}

int compute_macd_signal(chart_rec *chart, StudyDef *s, int restart) {
  int count = study_bar_count(chart, s);
  int n = s->period, slow_n = study_param_int(s->p2), sig_n = study_param_int(s->p3);
  macd_state st;
  int start = study_begin(s, restart, slow_n, count, &st);
  float *out = study_series(s, 0);
  if (n < 1 || slow_n < 1 || sig_n < 1) {
    study_fill_missing(out, 0, count);
    return 1;
  }
  const chart_bar *bars = chart->bars;
  int pt = s->price_type;
  double a = 2.0 / (n + 1), b = 2.0 / (slow_n + 1), c = 2.0 / (sig_n + 1);
  for (int i = start; i < count; i++) {
    if (i == count - 1) {
      st.index = i;
      study_save_state(s, st);
    }
    double p = study_price(bars, i, pt);
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
  }
  return 1;
}

static stoch_params stoch_setup(const StudyDef *s) {
  stoch_params sp;
  double p1 = std::isfinite(s->p1) ? s->p1 : 0;
  double c = std::fabs(p1) + 1;
  if (c < 2) c = 2;
  int ip = study_param_int(std::fabs(p1));
  sp.n = s->period;
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

// One %K step at bar i >= n - 1; returns the smoothed value.
static inline double stoch_step(const chart_bar *bars, int i, const stoch_params &sp, stoch_run &k) {
  int lo = i - sp.n + 1;
  bool first = i == sp.n - 1;
  auto high = [bars](int j) { return (double)bars[j].high; };
  auto low = [bars](int j) { return (double)bars[j].low; };
  k.hi = window_max_index(high, first ? -1 : k.hi, lo, i);
  k.lo = window_min_index(low, first ? -1 : k.lo, lo, i);
  double hh = bars[k.hi].high, ll = bars[k.lo].low;
  double v = study_price(bars, i, sp.price_type);
  if (sp.median && i >= 2)
    v = median3(study_price(bars, i - 2, sp.price_type), study_price(bars, i - 1, sp.price_type), v);
  double raw = hh != ll ? (v - ll) / (hh - ll) * 100 : 50;
  k.s = first ? raw : (1 - sp.f) * k.s + sp.f * raw;
  return k.s;
}

int compute_stochastic_k(chart_rec *chart, StudyDef *s, int restart) {
  int count = study_bar_count(chart, s);
  stoch_params sp = stoch_setup(s);
  stoch_k_state st;
  int start = study_begin(s, restart, sp.n, count, &st);
  float *out = study_series(s, 0);
  if (sp.n < 1) {
    study_fill_missing(out, 0, count);
    return 1;
  }
  const chart_bar *bars = chart->bars;
  for (int i = start; i < count; i++) {
    if (i == count - 1) {
      st.index = i;
      study_save_state(s, st);
    }
    if (i < sp.n - 1) {
      out[i] = MISSING_VALUE;
      continue;
    }
    double v = stoch_step(bars, i, sp, st.k);
    out[i] = i < sp.first ? MISSING_VALUE : study_out(v);
  }
  return 1;
}

// Series 2 the %K, series 1 its average by the study's method over p2.
int compute_stochastic_d(chart_rec *chart, StudyDef *s, int restart) {
  int count = study_bar_count(chart, s);
  stoch_params sp = stoch_setup(s);
  int dn = study_param_int(s->p2), method = s->method;
  stoch_d_state st;
  int start = study_begin(s, restart, sp.n, count, &st);
  float *d_out = study_series(s, 0), *k_out = study_series(s, 1);
  if (sp.n < 1) {
    study_fill_missing(d_out, 0, count);
    study_fill_missing(k_out, 0, count);
    return 1;
  }
  bool d_ok = dn >= 1 && method >= MA_SIMPLE && method <= MA_TRIANGULAR;
  const chart_bar *bars = chart->bars;
  int first = sp.first;
  auto x = [k_out, first](int j) { return (double)k_out[first + j]; };
  for (int i = start; i < count; i++) {
    if (i == count - 1) {
      st.index = i;
      study_save_state(s, st);
    }
    if (i < sp.n - 1) {
      k_out[i] = d_out[i] = MISSING_VALUE;
      continue;
    }
    double v = stoch_step(bars, i, sp, st.k);
    if (i < first) {
      k_out[i] = d_out[i] = MISSING_VALUE;
      continue;
    }
    k_out[i] = study_out(v);
    double d = d_ok ? ma_step(st.r, method, dn, x, i - first) : (double)MISSING_VALUE;
    d_out[i] = i < dn + first || study_is_missing(d) ? MISSING_VALUE : study_out(d);
  }
  return 1;
}

int compute_rsi(chart_rec *chart, StudyDef *s, int restart) {
  int count = study_bar_count(chart, s);
  int n = s->period;
  rsi_state st;
  int start = study_begin(s, restart, n, count, &st);
  float *out = study_series(s, 0);
  if (n < 1) {
    study_fill_missing(out, 0, count);
    return 1;
  }
  const chart_bar *bars = chart->bars;
  int pt = s->price_type;
  for (int i = start; i < count; i++) {
    if (i == count - 1) {
      st.index = i;
      study_save_state(s, st);
    }
    if (i >= 1) {
      double d = study_price(bars, i, pt) - study_price(bars, i - 1, pt);
      if (d > 0)
        st.up += d;
      else
        st.down -= d;
    }
    if (i < n) {
      out[i] = MISSING_VALUE;
      continue;
    }
    double up = st.up > 0 ? st.up : 0, down = st.down > 0 ? st.down : 0;
    double v;
    if (down == 0)
      v = up == 0 ? 50 : 100;  // a window without any change is neutral
    else
      v = 100 - 100 / ((up / n) / (down / n) + 1);
    out[i] = study_out(v);
    double d = study_price(bars, i - n + 1, pt) - study_price(bars, i - n, pt);
    if (d > 0)
      st.up -= d;
    else
      st.down += d;
  }
  return 1;
}

int compute_cci(chart_rec *chart, StudyDef *s, int restart) {
  int count = study_bar_count(chart, s);
  int n = s->period;
  cci_state st;
  int start = study_begin(s, restart, n, count, &st);
  float *out = study_series(s, 0);
  if (n < 1) {
    study_fill_missing(out, 0, count);
    return 1;
  }
  const chart_bar *bars = chart->bars;
  int pt = s->price_type;
  for (int i = start; i < count; i++) {
    if (i == count - 1) {
      st.index = i;
      study_save_state(s, st);
    }
    double p = study_price(bars, i, pt);
    st.sum += p;
    if (i < n - 1) {
      out[i] = MISSING_VALUE;
      continue;
    }
    double mean = st.sum / n, md = 0;
    for (int k = i - n + 1; k <= i; k++) md += std::fabs(mean - study_price(bars, k, pt));
    md /= n;
    out[i] = md > 0 ? study_out((p - mean) / (0.015 * md)) : MISSING_VALUE;
    st.sum -= study_price(bars, i - n + 1, pt);
  }
  return 1;
}

int compute_vhf(chart_rec *chart, StudyDef *s, int restart) {
  int count = study_bar_count(chart, s);
  int n = s->period;
  vhf_state st;
  int start = study_begin(s, restart, n, count, &st);
  float *out = study_series(s, 0);
  if (n < 1) {
    study_fill_missing(out, 0, count);
    return 1;
  }
  const chart_bar *bars = chart->bars;
  int pt = s->price_type;
  auto x = [bars, pt](int j) { return study_price(bars, j, pt); };
  for (int i = start; i < count; i++) {
    if (i == count - 1) {
      st.index = i;
      study_save_state(s, st);
    }
    if (i >= 1) st.dsum += std::fabs(x(i) - x(i - 1));
    if (i - n >= 1) st.dsum -= std::fabs(x(i - n) - x(i - n - 1));
    int lo = i - n + 1 < 0 ? 0 : i - n + 1;
    st.hi = window_max_index(x, i == 0 ? -1 : st.hi, lo, i);
    st.lo = window_min_index(x, i == 0 ? -1 : st.lo, lo, i);
    if (i < n || !(st.dsum > 0)) {
      out[i] = MISSING_VALUE;
      continue;
    }
    out[i] = study_out(std::fabs(x(st.hi) - x(st.lo)) / st.dsum);
  }
  return 1;
}
