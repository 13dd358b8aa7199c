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
  study_run(s, start, count, st, [&](int i, dmi_state &st) {
    if (i == 0) {
      out[i] = MISSING_VALUE;
      return;
    }
    double up = (double)b[i].high - b[i - 1].high, down = (double)b[i - 1].low - b[i].low;
    // the larger move counts if it is a rise, the other is none: a move
    // counts when it exceeds both the other and zero.  Without branches
    // (which move is larger is a coin toss): the value is kept or cleared
    // by a mask.
    double pdm = ferlume_keep_if((up > down) & (up > 0), up);
    double mdm = ferlume_keep_if((down > up) & (down > 0), down);
    double tr = ferlume_true_range(b, i);
    if (i == 1) {
      st.plus_dm = pdm;
      st.minus_dm = mdm;
      st.tr = tr;
    } else {
      st.plus_dm = (1 - a) * st.plus_dm + a * pdm;
      st.minus_dm = (1 - a) * st.minus_dm + a * mdm;
      st.tr = (1 - a) * st.tr + a * tr;
    }
    double pdi = 0, mdi = 0, dx = 0;
    if (st.tr != 0) {
      if constexpr (which != DMI_MINUS) pdi = st.plus_dm / st.tr * 100;
      if constexpr (which != DMI_PLUS) mdi = st.minus_dm / st.tr * 100;
      if constexpr (which == DMI_ADX)
        if (pdi + mdi != 0) dx = std::fabs(pdi - mdi) / (pdi + mdi);
    }
    if constexpr (which == DMI_ADX) {
      if (i == n)
        st.adx = dx;
      else if (i > n)
        st.adx = (1 - c) * st.adx + c * dx;
    }
    double v = which == DMI_PLUS ? pdi : which == DMI_MINUS ? mdi : st.adx * 100;
    out[i] = i < first ? MISSING_VALUE : study_out(v);
  });
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
