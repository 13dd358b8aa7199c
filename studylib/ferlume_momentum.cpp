// Ferlume1 momentum studies: True Strength Index and its signal line,
// Trend Efficiency, the directional indicators with ADX, and Momentum.
#include "studylib/ferlume.h"
#include "studylib/ferlume_block.h"

// ---- True Strength Index ----------------------------------------------------------

namespace {
struct tsi_state {
  int32_t index;
  double e1, a1;  // first smoothing of the change and of its size
  double e2, a2;  // second smoothing
  double signal;
};

template <int W, bool with_signal>
STUDY_INLINE inline int tsi_run(chart_rec *chart, StudyDef *s, int restart) {
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
  auto step = [&](int i, tsi_state &st) STUDY_INLINE {
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
  };
  // Past the warm-up (all smoothings seeded, values shown) the bars go in
  // blocks of sixteen: the changes four to a vector, each smoothing as
  // decay16 (the same formula, its sums taken in another order), the
  // divisions four to an instruction.
  int from = (std::max(std::max(first, with_signal ? t0 + 1 : r + 1), 2) + 15) & ~15;
  const decay16 d1(1 - k1), d2(1 - k2), dq(1 - kq);
  auto block = [&](int i, int nb, int mlast, tsi_state &st) STUDY_INLINE {
    const study_v4d zero = {0, 0, 0, 0};
    block16 e[CHUNK], a[CHUNK];
    for (int k = 0; k < nb; k++) {
      int at = i + 16 * k, m = k == nb - 1 ? mlast : 16;
      block16 cl;
      for (int j = 0; j < 4; j++) {
        study_v4d h, l;
        block_hlc(b, at, j, m, h, l, cl[j]);
      }
      for (int j = 0; j < 4; j++) {
        study_v4d cq = cl[(j + 3) & 3];
        if (j == 0) study_shift_in4(cq, b[at - 1].close);
        study_v4d d = cl[j] - cq;
        e[k][j] = k1 * d;
        a[k][j] = k1 * STUDY_V4_ABS(d);
      }
    }
    for (int k = 0; k < nb; k++) {
      d1.run(e[k], st.e1);
      d1.run(a[k], st.a1);
      for (int j = 0; j < 4; j++) {
        e[k][j] *= k2;
        a[k][j] *= k2;
      }
    }
    for (int k = 0; k < nb; k++) {
      d2.run(e[k], st.e2);
      d2.run(a[k], st.a2);
    }
    for (int k = 0; k < nb; k++) {
      block16 &v = e[k];
      for (int j = 0; j < 4; j++)
        v[j] = (study_v4d)((study_v4i)(e[k][j] / a[k][j] * 100.0) & (study_v4i)(a[k][j] != zero));
      if constexpr (with_signal) {
        for (int j = 0; j < 4; j++) v[j] *= kq;
      } else {
        block_store(out + i + 16 * k, v, k == nb - 1 ? mlast : 16);
      }
    }
    // the signal line in a pass of its own: it waits on the divisions
    if constexpr (with_signal) {
      for (int k = 0; k < nb; k++) {
        dq.run(e[k], st.signal);
        block_store(out + i + 16 * k, e[k], k == nb - 1 ? mlast : 16);
      }
    }
  };
  run16(s, start, count, from, st, step, block);
  return 1;
}
template <int W>
STUDY_INLINE inline int tsi_line(chart_rec *chart, StudyDef *s, int restart) {
  return tsi_run<W, false>(chart, s, restart);
}
template <int W>
STUDY_INLINE inline int tsi_signal(chart_rec *chart, StudyDef *s, int restart) {
  return tsi_run<W, true>(chart, s, restart);
}
STUDY_TWO_WAYS(tsi_line, (chart_rec * chart, StudyDef *s, int restart), (chart, s, restart))
STUDY_TWO_WAYS(tsi_signal, (chart_rec * chart, StudyDef *s, int restart), (chart, s, restart))
}  // namespace

int calcTSI(chart_rec *chart, StudyDef *s, int restart) {
  return tsi_line_either(chart, s, restart);
}
int calcTSIsl(chart_rec *chart, StudyDef *s, int restart) {
  return tsi_signal_either(chart, s, restart);
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
// its summed ranges, smoothed over k.  Past the warm-up (a full window,
// the smoothing seeded, values shown) the bars go in blocks of sixteen:
// the window sums as running sums over the block (sum16), the divisions
// four to an instruction, the smoothing as decay16 (the same formulas,
// the sums taken in another order).
namespace {
template <int>
STUDY_INLINE inline int tef(chart_rec *chart, StudyDef *s, int restart) {
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
  const regression_sums rs(n);
  auto close = [b](int j) STUDY_INLINE { return (double)b[j].close; };
  auto step = [&](int i, tef_state &st) STUDY_INLINE {
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
  };
  const decay16 smooth(1 - f);
  auto blocks = [&](int i, int nb, int mlast, tef_state &st) STUDY_INLINE {
    const study_v4d zero = {0, 0, 0, 0};
    const double shift = st.reg.shift, nd = n;
    block16 range[CHUNK], old_range[CHUNK], sy[CHUNK], sxy[CHUNK], dq[CHUNK];
    for (int q = 0; q < nb; q++) {
      int at = i + 16 * q, m = q == nb - 1 ? mlast : 16;
      for (int j = 0; j < 4; j++) {
        study_v4d h, l, c, oh, ol, oc;
        block_hlc(b, at, j, m, h, l, c);
        block_hlc(b, at - n + 1, j, m, oh, ol, oc);
        study_v4d v = c - shift;
        dq[q][j] = oc - shift;
        old_range[q][j] = oh - ol;
        range[q][j] = (h - l) - old_range[q][j];
        sy[q][j] = v - dq[q][j];
        sxy[q][j] = nd * v;
      }
    }
    // the sums after each bar (less the value that leaves), then the full
    // window's
    for (int q = 0; q < nb; q++) {
      sum16(range[q], st.range);
      sum16(sy[q], st.reg.sy);
      for (int j = 0; j < 4; j++) {
        range[q][j] += old_range[q][j];
        sy[q][j] += dq[q][j];
        sxy[q][j] -= sy[q][j];
      }
    }
    for (int q = 0; q < nb; q++) {
      sum16(sxy[q], st.reg.sxy);
      block16 &e = dq[q];
      for (int j = 0; j < 4; j++) {
        study_v4d y = sy[q][j], xy = sxy[q][j] + y;
        study_v4d t = nd * ((xy - rs.mean_x * y) * rs.inv_den);
        if (absolute) t = STUDY_V4_ABS(t);
        study_v4i ranged = range[q][j] != zero;
        e[j] = (study_v4d)((study_v4i)(t / range[q][j] * 100.0) & ranged) * f;
      }
    }
    // the smoothing in a pass of its own: it waits on the divisions
    for (int q = 0; q < nb; q++) {
      smooth.run(dq[q], st.smoothed);
      block_store(out + i + 16 * q, dq[q], q == nb - 1 ? mlast : 16);
    }
  };
  run16(s, start, count, (std::max(n, n + k - 2) + 15) & ~15, st, step, blocks);
  return 1;
}
STUDY_TWO_WAYS(tef, (chart_rec * chart, StudyDef *s, int restart), (chart, s, restart))
}  // namespace

int calcTEF(chart_rec *chart, StudyDef *s, int restart) {
  return tef_either(chart, s, restart);
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

// r = x > r ? x : r in each lane (the rule of ferlume_true_range).
STUDY_INLINE inline void dmi_raise(study_v4d &r, const study_v4d &x) {
  study_v4i m = x > r;
  r = (study_v4d)(((study_v4i)x & m) | ((study_v4i)r & ~m));
}

// The line is chosen at compile time: each one smooths and divides only
// for itself.  After the warm-up the bars go in blocks of sixteen: the
// moves and ranges four to a vector, Wilder's smoothing and the ADX's as
// decay16 (the same formula, its sums taken in another order), the
// divisions four to an instruction.
template <int W, int which>
STUDY_INLINE inline int dmi(chart_rec *chart, StudyDef *s, int restart) {
  int count = ferlume_bar_count(chart, s);
  dmi_state st;
  int n = study_cap(s->period), f = which == DMI_ADX ? study_param_int(s->p1) : 1;
  int start = study_start(s, restart, 0, count, n >= 1 && f >= 1, 1, &st);
  if (start < 0) return 1;
  float *out = study_series(s, 0);
  double a = 1.0 / n, c = 1.0 / f;
  int first = which == DMI_ADX ? f + n - 1 : n;
  // the groups start past the seeds (bar 1, and bar n for the ADX) and the
  // first value
  int from = (std::max(std::max(first, which == DMI_ADX ? n + 1 : 2), 2) + 15) & ~15;
  const decay16 wilder(1 - a), smooth(1 - c);
  const chart_bar *b = chart ? chart->bars : nullptr;
  auto step = [&](int i, dmi_state &st) STUDY_INLINE {
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
  auto block = [&](int i, int nb, int mlast, dmi_state &st) STUDY_INLINE {
    const study_v4d zero = {0, 0, 0, 0};
    block16 tr[CHUNK], pdm[CHUNK], mdm[CHUNK];
    for (int k = 0; k < nb; k++) {
      int at = i + 16 * k, m = k == nb - 1 ? mlast : 16;
      block16 h, l, cp;
      for (int j = 0; j < 4; j++) block_hlc(b, at, j, m, h[j], l[j], cp[j]);
      for (int j = 0; j < 4; j++) {
        // the bars before: the row before, or for the first row the last
        // row's lanes moved up with the bar before the block
        study_v4d hp = h[(j + 3) & 3], lp = l[(j + 3) & 3], cq = cp[(j + 3) & 3];
        if (j == 0) {
          study_shift_in4(hp, b[at - 1].high);
          study_shift_in4(lp, b[at - 1].low);
          study_shift_in4(cq, b[at - 1].close);
        }
        // the moves (dmi_moves) and the true range (ferlume_true_range)
        study_v4d up = h[j] - hp, down = lp - l[j];
        study_v4d r = h[j] - l[j], tu = h[j] - cq, td = cq - l[j];
        dmi_raise(r, tu);
        dmi_raise(r, td);
        tr[k][j] = r * a;
        if constexpr (which != DMI_MINUS)
          pdm[k][j] = (study_v4d)((study_v4i)up & ((up > down) & (up > zero))) * a;
        else
          pdm[k][j] = zero;
        if constexpr (which != DMI_PLUS)
          mdm[k][j] = (study_v4d)((study_v4i)down & ((down > up) & (down > zero))) * a;
        else
          mdm[k][j] = zero;
      }
    }
    for (int k = 0; k < nb; k++) {
      wilder.run(tr[k], st.tr);
      if constexpr (which != DMI_MINUS) wilder.run(pdm[k], st.plus_dm);
      if constexpr (which != DMI_PLUS) wilder.run(mdm[k], st.minus_dm);
    }
    for (int k = 0; k < nb; k++) {
      block16 &v = tr[k];
      for (int j = 0; j < 4; j++) {
        study_v4i live = tr[k][j] != zero;
        if constexpr (which == DMI_ADX) {
          // |+DI - -DI| / (+DI + -DI) with the common factor 100 / tr
          // taken out: one division instead of three
          study_v4d sum = pdm[k][j] + mdm[k][j], diff = STUDY_V4_ABS(pdm[k][j] - mdm[k][j]);
          v[j] = (study_v4d)((study_v4i)(diff / sum) & ((study_v4i)(sum != zero) & live)) * c;
        } else {
          study_v4d dm = which == DMI_PLUS ? pdm[k][j] : mdm[k][j];
          v[j] = (study_v4d)((study_v4i)(dm / tr[k][j] * 100.0) & live);
        }
      }
      if constexpr (which != DMI_ADX) block_store(out + i + 16 * k, v, k == nb - 1 ? mlast : 16);
    }
    // the ADX's smoothing in a pass of its own: it waits on the divisions
    if constexpr (which == DMI_ADX) {
      for (int k = 0; k < nb; k++) {
        smooth.run(tr[k], st.adx);
        for (int j = 0; j < 4; j++) tr[k][j] *= 100.0;
        block_store(out + i + 16 * k, tr[k], k == nb - 1 ? mlast : 16);
      }
    }
  };
  run16(s, start, count, from, st, step, block);
  return 1;
}

template <int W>
STUDY_INLINE inline int dmi_plus(chart_rec *chart, StudyDef *s, int restart) {
  return dmi<W, DMI_PLUS>(chart, s, restart);
}
template <int W>
STUDY_INLINE inline int dmi_minus(chart_rec *chart, StudyDef *s, int restart) {
  return dmi<W, DMI_MINUS>(chart, s, restart);
}
template <int W>
STUDY_INLINE inline int dmi_adx(chart_rec *chart, StudyDef *s, int restart) {
  return dmi<W, DMI_ADX>(chart, s, restart);
}
STUDY_TWO_WAYS(dmi_plus, (chart_rec * chart, StudyDef *s, int restart), (chart, s, restart))
STUDY_TWO_WAYS(dmi_minus, (chart_rec * chart, StudyDef *s, int restart), (chart, s, restart))
STUDY_TWO_WAYS(dmi_adx, (chart_rec * chart, StudyDef *s, int restart), (chart, s, restart))
}  // namespace

int calcPlusDI(chart_rec *chart, StudyDef *s, int restart) {
  return dmi_plus_either(chart, s, restart);
}
int calcMinusDI(chart_rec *chart, StudyDef *s, int restart) {
  return dmi_minus_either(chart, s, restart);
}
int calcADX(chart_rec *chart, StudyDef *s, int restart) {
  return dmi_adx_either(chart, s, restart);
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
