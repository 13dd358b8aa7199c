// Ferlume1 momentum studies: True Strength Index and its signal line,
// Trend Efficiency, the directional indicators with ADX, and Momentum.
#include "studylib/ferlume.h"

// ---- True Strength Index ----------------------------------------------------------

namespace {
struct tsi_state {
  int32_t index;
  double e1, a1;  // first smoothing of the change and of its size
  double e2, a2;  // second smoothing
  double signal;
};

int tsi_run(chart_rec *chart, StudyDef *s, int restart, bool with_signal) {
  int count = ferlume_bar_count(chart, s);
  tsi_state st;
  int r = study_cap(s->period), sm = study_param_int(s->p1),
      q = with_signal ? study_param_int(s->p2) : 1;
  int start = study_start(s, restart, 0, count, r >= 1 && sm >= 1 && q >= 1, 1, &st);
  if (start < 0) return 1;
  float *out = study_series(s, 0);
  double k1 = 2.0 / (r + 1), k2 = 2.0 / (sm + 1), kq = 2.0 / (q + 1);
  int t0 = r + sm - 1;                        // first index value
  int first = with_signal ? t0 + q - 1 : t0;  // first output
  const chart_bar *b = chart ? chart->bars : nullptr;
  study_run(s, start, count, st, [&](int i, tsi_state &st) {
    if (i == 0) {
      out[i] = MISSING_VALUE;
      return;
    }
    double m = (double)b[i].close - b[i - 1].close, am = std::fabs(m);
    if (i == 1) {
      st.e1 = m;
      st.a1 = am;
    } else {
      st.e1 = k1 * m + (1 - k1) * st.e1;
      st.a1 = k1 * am + (1 - k1) * st.a1;
    }
    if (i == r) {
      st.e2 = st.e1;
      st.a2 = st.a1;
    } else if (i > r) {
      st.e2 = k2 * st.e1 + (1 - k2) * st.e2;
      st.a2 = k2 * st.a1 + (1 - k2) * st.a2;
    }
    // Prices that never moved have no strength either way.
    double tsi = st.a2 != 0 ? st.e2 / st.a2 * 100 : 0;
    if (with_signal) {
      if (i == t0)
        st.signal = tsi;
      else if (i > t0)
        st.signal = kq * tsi + (1 - kq) * st.signal;
      out[i] = i < first ? MISSING_VALUE : study_out(st.signal);
    } else {
      out[i] = i < first ? MISSING_VALUE : study_out(tsi);
    }
  });
  return 1;
}
}  // namespace

int calcTSI(chart_rec *chart, StudyDef *s, int restart) {
  return tsi_run(chart, s, restart, false);
}
int calcTSIsl(chart_rec *chart, StudyDef *s, int restart) {
  return tsi_run(chart, s, restart, true);
}

// ---- Trend Efficiency -----------------------------------------------------------------

namespace {
struct tef_state {
  int32_t index;
  double smoothed;
  double range;        // window sum of high - low
  regression_run reg;  // of the closes
};
}  // namespace

// n times the slope of the window's regression line of the closes against
// its summed ranges, smoothed over k.
int calcTEF(chart_rec *chart, StudyDef *s, int restart) {
  int count = ferlume_bar_count(chart, s);
  tef_state st;
  int n = study_cap(s->period), k = study_param_int(s->p1);
  if (k < 1) k = 1;
  int start = study_start(s, restart, 0, count, n >= 1, 1, &st);
  if (start < 0) return 1;
  float *out = study_series(s, 0);
  double f = 2.0 / (k + 1);
  bool absolute = s->p2 != 0;
  const chart_bar *b = chart ? chart->bars : nullptr;
  regression_sums rs(n);
  auto close = [b](int j) { return (double)b[j].close; };
  study_run(s, start, count, st, [&](int i, tef_state &st) {
    st.range += (double)b[i].high - b[i].low;
    rs.add(st.reg, close, i);
    if (i < n - 1) {
      out[i] = MISSING_VALUE;
      return;
    }
    double t = n * rs.slope(st.reg);
    if (absolute) t = std::fabs(t);
    // bars without a range measure no efficiency
    double e = st.range != 0 ? t / st.range * 100 : 0;
    st.smoothed = i == n - 1 ? e : f * e + (1 - f) * st.smoothed;
    out[i] = i < n + k - 2 ? MISSING_VALUE : study_out(st.smoothed);
    st.range -= (double)b[i - n + 1].high - b[i - n + 1].low;
    rs.drop(st.reg, close, i);
  });
  return 1;
}

// ---- Directional movement -------------------------------------------------------------

namespace {
struct dmi_state {
  int32_t index;
  double plus_dm, minus_dm, tr;  // Wilder-smoothed
  double adx;                    // smoothed DX
};

enum { DMI_PLUS, DMI_MINUS, DMI_ADX };

// The directional moves of bar i (i >= 1): the larger move counts if it is
// a rise, the other is none: a move counts when it exceeds both the other
// and zero.  Without branches (which move is larger is a coin toss): the
// value is kept or cleared by a mask.
[[gnu::always_inline]] inline void dmi_moves(const chart_bar *b, int i, double *pdm, double *mdm) {
  double up = (double)b[i].high - b[i - 1].high, down = (double)b[i - 1].low - b[i].low;
  *pdm = ferlume_keep_if((up > down) & (up > 0), up);
  *mdm = ferlume_keep_if((down > up) & (down > 0), down);
}

// DX of bars j = 0 .. m - 1 (m a multiple of 4) from their smoothed moves
// and ranges: |+DI - -DI| / (+DI + -DI), +DI = +DM / TR x 100, 0 where the
// range or the sum is 0.  Four bars to a vector: the three divisions are
// most of a bar's cost.  The same operations as one bar at a time: the
// values are the same.
[[gnu::always_inline]] inline void dmi_dx(const double *pd, const double *md, const double *tr,
                                          int m, double *dx) {
  const study_v4d zero = {0, 0, 0, 0}, hundred = {100, 100, 100, 100};
  const study_v4i mask = {0x7fffffffffffffffLL, 0x7fffffffffffffffLL, 0x7fffffffffffffffLL,
                          0x7fffffffffffffffLL};
  for (int j = 0; j < m; j += 4) {
    study_v4d p, q, t;
    memcpy(&p, pd + j, sizeof p);
    memcpy(&q, md + j, sizeof q);
    memcpy(&t, tr + j, sizeof t);
    study_v4i live = t != zero;
    study_v4d pdi = (study_v4d)((study_v4i)(p / t * hundred) & live);
    study_v4d mdi = (study_v4d)((study_v4i)(q / t * hundred) & live);
    study_v4d sum = pdi + mdi, diff = (study_v4d)((study_v4i)(pdi - mdi) & mask);
    study_v4d d = (study_v4d)((study_v4i)(diff / sum) & (study_v4i)(sum != zero));
    memcpy(dx + j, &d, sizeof d);
  }
}

// +DI (or -DI) of bars j = 0 .. m - 1 (m a multiple of 4) from their
// smoothed move and range: DM / TR x 100, 0 where the range is 0; four
// bars to a vector, as dmi_dx.
[[gnu::always_inline]] inline void dmi_di(const double *dm, const double *tr, int m, double *di) {
  const study_v4d zero = {0, 0, 0, 0}, hundred = {100, 100, 100, 100};
  for (int j = 0; j < m; j += 4) {
    study_v4d p, t;
    memcpy(&p, dm + j, sizeof p);
    memcpy(&t, tr + j, sizeof t);
    study_v4d d = (study_v4d)((study_v4i)(p / t * hundred) & (study_v4i)(t != zero));
    memcpy(di + j, &d, sizeof d);
  }
}

[[gnu::noinline]] STUDY_WIDE void dmi_di_wide(const double *dm, const double *tr, int m,
                                              double *di) {
  dmi_di(dm, tr, m, di);
}

[[gnu::noinline]] STUDY_WIDE void dmi_dx_wide(const double *pd, const double *md, const double *tr,
                                              int m, double *dx) {
  dmi_dx(pd, md, tr, m, dx);
}

// The line is chosen at compile time: each one divides only for itself.
template <int which>
int calcDMI(chart_rec *chart, StudyDef *s, int restart) {
  int count = ferlume_bar_count(chart, s);
  dmi_state st;
  int n = study_cap(s->period), f = which == DMI_ADX ? study_param_int(s->p1) : 1;
  int start = study_start(s, restart, 0, count, n >= 1 && f >= 1, 1, &st);
  if (start < 0) return 1;
  float *out = study_series(s, 0);
  double a = 1.0 / n, c = 1.0 / f;
  int first = which == DMI_ADX ? f + n - 1 : n;
  const chart_bar *b = chart ? chart->bars : nullptr;
  auto step = [&](int i, dmi_state &st) {
    if (i == 0) {
      out[i] = MISSING_VALUE;
      return;
    }
    double pdm, mdm;
    dmi_moves(b, i, &pdm, &mdm);
    double tr = ferlume_true_range(b, i);
    if (i == 1) {
      st.plus_dm = pdm;
      st.minus_dm = mdm;
      st.tr = tr;
    } else {
      if constexpr (which != DMI_MINUS) st.plus_dm = (1 - a) * st.plus_dm + a * pdm;
      if constexpr (which != DMI_PLUS) st.minus_dm = (1 - a) * st.minus_dm + a * mdm;
      st.tr = (1 - a) * st.tr + a * tr;
    }
    double pdi = 0, mdi = 0, dx = 0;
    if (st.tr != 0) {
      if constexpr (which == DMI_ADX) {
        pdi = st.plus_dm / st.tr * 100;
        mdi = st.minus_dm / st.tr * 100;
        if (pdi + mdi != 0) dx = std::fabs(pdi - mdi) / (pdi + mdi);
      } else if constexpr (which == DMI_PLUS) {
        pdi = st.plus_dm / st.tr * 100;
      } else {
        mdi = st.minus_dm / st.tr * 100;
      }
    }
    if constexpr (which == DMI_ADX) {
      if (i == n)
        st.adx = dx;
      else if (i > n)
        st.adx = (1 - c) * st.adx + c * dx;
    }
    double v = which == DMI_PLUS ? pdi : which == DMI_MINUS ? mdi : st.adx * 100;
    out[i] = i < first ? MISSING_VALUE : study_out(v);
  };
  int i = start;
  if constexpr (which == DMI_ADX) {
    // A long run takes the bars after the warm-up in blocks: the smoothed
    // moves bar by bar, the divisions of the block four bars at a time
    // (dmi_dx), then the ADX bar by bar, alongside the next block's moves
    // (the two smoothings wait on themselves only, so they run side by
    // side); the rest goes bar by bar.
    int bulk = std::max(std::max(start, first), n + 1);
    if (count - 1 - bulk >= 64 && study_wide()) {
      for (; i < bulk; i++) step(i, st);
      const int B = 256;
      double pd[B], md[B], tv[B], dx[2][B];
      int prev = i, prev_m = 0;  // the block whose ADX is to come
      // the smoothings in locals (the block's stores could be the state's)
      double sp = st.plus_dm, sm = st.minus_dm, str = st.tr, adx = st.adx;
      for (int cur = 0;; cur ^= 1) {
        int m = std::min(B, (count - 1 - i) / 4 * 4);
        double *dp = dx[cur ^ 1];
        for (int j = 0; j < m || j < prev_m; j++) {
          if (j < m) {
            double pdm, mdm;
            dmi_moves(b, i + j, &pdm, &mdm);
            double tr = ferlume_true_range(b, i + j);
            sp = (1 - a) * sp + a * pdm;
            sm = (1 - a) * sm + a * mdm;
            str = (1 - a) * str + a * tr;
            pd[j] = sp;
            md[j] = sm;
            tv[j] = str;
          }
          if (j < prev_m) {
            adx = (1 - c) * adx + c * dp[j];
            out[prev + j] = study_out(adx * 100);
          }
        }
        if (m == 0) break;
        dmi_dx_wide(pd, md, tv, m, dx[cur]);
        prev = i;
        prev_m = m;
        i += m;
      }
      st.plus_dm = sp;
      st.minus_dm = sm;
      st.tr = str;
      st.adx = adx;
    }
  }
  if constexpr (which != DMI_ADX) {
    // A long run takes the bars after the warm-up in blocks: the smoothed
    // move and range bar by bar, the divisions four bars at a time
    // (dmi_di); the rest goes bar by bar.
    int bulk = std::max(std::max(start, first), n + 1);
    if (count - 1 - bulk >= 64 && study_wide()) {
      for (; i < bulk; i++) step(i, st);
      const int B = 256;
      double dm[B], tv[B], di[B];
      double sdm = which == DMI_PLUS ? st.plus_dm : st.minus_dm, str = st.tr;
      while (count - 1 - i >= 4) {
        int m = std::min(B, (count - 1 - i) / 4 * 4);
        for (int j = 0; j < m; j++) {
          double pdm, mdm;
          dmi_moves(b, i + j, &pdm, &mdm);
          double tr = ferlume_true_range(b, i + j);
          sdm = (1 - a) * sdm + a * (which == DMI_PLUS ? pdm : mdm);
          str = (1 - a) * str + a * tr;
          dm[j] = sdm;
          tv[j] = str;
        }
        dmi_di_wide(dm, tv, m, di);
        for (int j = 0; j < m; j++) out[i + j] = study_out(di[j]);
        i += m;
      }
      (which == DMI_PLUS ? st.plus_dm : st.minus_dm) = sdm;
      st.tr = str;
    }
  }
  study_run(s, i, count, st, step);
  return 1;
}
}  // namespace

int calcPlusDI(chart_rec *chart, StudyDef *s, int restart) {
  return calcDMI<DMI_PLUS>(chart, s, restart);
}
int calcMinusDI(chart_rec *chart, StudyDef *s, int restart) {
  return calcDMI<DMI_MINUS>(chart, s, restart);
}
int calcADX(chart_rec *chart, StudyDef *s, int restart) {
  return calcDMI<DMI_ADX>(chart, s, restart);
}

// ---- Momentum ----------------------------------------------------------------------------

// Output 2 is the change over n bars; output 1 its moving average over k,
// which starts with its own warm-up at the first change.  An average over
// one value is the value itself: it is copied.
int calcMOM(chart_rec *chart, StudyDef *s, int restart) {
  int count = ferlume_bar_count(chart, s);
  study_state_base st;
  int n = study_cap(s->period);
  int start = study_start(s, restart, 0, count, n >= 1, 2, &st);
  if (start < 0) return 1;
  float *out = study_series(s, 0), *mom = study_series(s, 1);
  const chart_bar *b = chart ? chart->bars : nullptr;
  int k = study_param_int(s->p1), method = s->method;
  bool copy = k == 1 && method >= MA_SIMPLE && method <= MA_TRIANGULAR;
  with_price_type(b, s->price_type, [&](auto price) {
    int i = start;
    for (; i < count && i < n; i++) mom[i] = out[i] = MISSING_VALUE;
    for (; i < count; i++) {
      float v = study_out(price(i) - price(i - n));
      mom[i] = v;
      if (copy) out[i] = v;
    }
  });
  study_finish(s, st, count);
  if (!copy) ferlume_average(out, mom, start, n, count, method, k);
  return 1;
}
