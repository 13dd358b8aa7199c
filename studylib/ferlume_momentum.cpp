// Ferlume1 momentum studies: True Strength Index and its signal line,
// Trend Efficiency, the directional indicators with ADX, and Momentum.
#include "studylib/ferlume.h"
#include "studylib/ferlume_block.h"

// ---- Blocks of thirty-two bars ------------------------------------------------------

// The momentum kernels take their blocks thirty-two bars at a time: two
// sixteen-bar blocks (ferlume_block.h) side by side, four vectors of eight
// doubles, vector j holding bars j, 4 + j, .., 28 + j.  Each lane runs its
// own four bars, the eight runs are chained in three doubling steps, so
// that one 512-bit register holds the work of two 256-bit ones.  The plain
// and 256-bit compilations make the same operations on the same vectors
// (the compiler splits them), so that all three give the same values bit
// for bit.
namespace {
typedef double mom_v8d __attribute__((vector_size(64)));
typedef long long mom_v8i __attribute__((vector_size(64)));
typedef float mom_v8f __attribute__((vector_size(32)));
typedef int mom_v8si __attribute__((vector_size(32)));
// Eight floats at any float's address (as study_v4f_at).
typedef float mom_v8f_at __attribute__((vector_size(32), aligned(4)));
typedef mom_v8d block32[4];

#define MOM_V8_SPLAT(d) (mom_v8d{0, 0, 0, 0, 0, 0, 0, 0} + (d))
#define MOM_V8_ABS(v) ((mom_v8d)((mom_v8i)(v) & (mom_v8i{0, 0, 0, 0, 0, 0, 0, 0} + 0x7fffffffffffffffLL)))
// Lanes moved up by k = 1, 2, 4, zeros in: each lane takes only from the
// lanes before it.
#define MOM_V8_SHIFT1(v) __builtin_shufflevector((v), mom_v8d{0, 0, 0, 0, 0, 0, 0, 0}, 8, 0, 1, 2, 3, 4, 5, 6)
#define MOM_V8_SHIFT2(v) __builtin_shufflevector((v), mom_v8d{0, 0, 0, 0, 0, 0, 0, 0}, 8, 9, 0, 1, 2, 3, 4, 5)
#define MOM_V8_SHIFT4(v) __builtin_shufflevector((v), mom_v8d{0, 0, 0, 0, 0, 0, 0, 0}, 8, 9, 10, 11, 0, 1, 2, 3)

// v with lane 0 from `in` and lanes 1-7 from v's lanes 0-6.
[[gnu::always_inline]] inline void mom_shift_in8(mom_v8d &v, double in) {
  v = __builtin_shufflevector(v, MOM_V8_SPLAT(in), 8, 0, 1, 2, 3, 4, 5, 6);
}

// s_l = c s_{l-1} + u_l across the eight lanes (study_decay4 with one
// doubling step more).
struct mom_decay8 {
  double c, c2, c4;
  mom_v8d pw;  // c .. c^8
  explicit mom_decay8(double c_) : c(c_), c2(c_ * c_), c4(c2 * c2) {
    double c3 = c2 * c;
    pw = mom_v8d{c, c2, c3, c4, c4 * c, c4 * c2, c4 * c3, c4 * c4};
  }
  [[gnu::always_inline]] void run(mom_v8d &u, double &s) const {
    u += c * MOM_V8_SHIFT1(u);
    u += c2 * MOM_V8_SHIFT2(u);
    u += c4 * MOM_V8_SHIFT4(u);
    u += pw * s;
    s = u[7];
  }
};

// decay16 over thirty-two bars.
struct decay32 {
  double c;
  mom_decay8 runs;  // from run to run: c^4
  mom_v8d pw[3];    // c, c^2, c^3 in every lane
  explicit decay32(double c_) : c(c_), runs(c_ * c_ * (c_ * c_)) {
    double c2 = c_ * c_;
    pw[0] = MOM_V8_SPLAT(c_);
    pw[1] = MOM_V8_SPLAT(c2);
    pw[2] = pw[1] * c_;
  }
  // u: the block's inputs, then its values; s: the value before the
  // block, then its last bar's.
  [[gnu::always_inline]] void run(block32 &u, double &s) const {
    u[1] += c * u[0];
    u[2] += c * u[1];
    u[3] += c * u[2];
    double before = s;
    runs.run(u[3], s);
    mom_v8d t = u[3];
    mom_shift_in8(t, before);  // the value before each run
    u[0] += pw[0] * t;
    u[1] += pw[1] * t;
    u[2] += pw[2] * t;
  }
};

// sum16 over thirty-two bars.
[[gnu::always_inline]] inline void sum32(block32 &u, double &s) {
  u[1] += u[0];
  u[2] += u[1];
  u[3] += u[2];
  double before = s;
  u[3] += MOM_V8_SHIFT1(u[3]);
  u[3] += MOM_V8_SHIFT2(u[3]);
  u[3] += MOM_V8_SHIFT4(u[3]);
  u[3] += s;
  s = u[3][7];
  mom_v8d t = u[3];
  mom_shift_in8(t, before);  // the sum before each run
  u[0] += t;
  u[1] += t;
  u[2] += t;
}

// Rows j of a block: the bars' prices i + 4l + j (block_hlc), lanes of the
// bars from m on 0.
[[gnu::always_inline]] inline void block32_hlc(const chart_bar *b, int i, int j, int m,
                                               mom_v8d &h, mom_v8d &l, mom_v8d &c) {
  study_v4f r[8];
  for (int k = 0; k < 8; k++) {
    if (4 * k + j < m)
      memcpy(&r[k], &b[i + 4 * k + j].open, sizeof r[k]);
    else
      r[k] = study_v4f{0, 0, 0, 0};
  }
  mom_v8f p[4];  // bars 2k and 2k + 1: o h l c o h l c
  for (int k = 0; k < 4; k++)
    p[k] = __builtin_shufflevector(r[2 * k], r[2 * k + 1], 0, 1, 2, 3, 4, 5, 6, 7);
  mom_v8f hl0 = __builtin_shufflevector(p[0], p[1], 1, 5, 9, 13, 2, 6, 10, 14);  // h0-3 l0-3
  mom_v8f hl1 = __builtin_shufflevector(p[2], p[3], 1, 5, 9, 13, 2, 6, 10, 14);  // h4-7 l4-7
  mom_v8f c0 = __builtin_shufflevector(p[0], p[1], 3, 7, 11, 15, 3, 7, 11, 15);
  mom_v8f c1 = __builtin_shufflevector(p[2], p[3], 3, 7, 11, 15, 3, 7, 11, 15);
  mom_v8f hf = __builtin_shufflevector(hl0, hl1, 0, 1, 2, 3, 8, 9, 10, 11);
  mom_v8f lf = __builtin_shufflevector(hl0, hl1, 4, 5, 6, 7, 12, 13, 14, 15);
  mom_v8f cf = __builtin_shufflevector(c0, c1, 0, 1, 2, 3, 8, 9, 10, 11);
  h = __builtin_convertvector(hf, mom_v8d);
  l = __builtin_convertvector(lf, mom_v8d);
  c = __builtin_convertvector(cf, mom_v8d);
}

// study_out of a block's values (vector j, lane l: bar 4l + j) into
// out[0 .. m - 1], in the bars' order, eight floats to a store.
[[gnu::always_inline]] inline void block32_store(float *out, const block32 &v, int m) {
  const mom_v8si exp = mom_v8si{0, 0, 0, 0, 0, 0, 0, 0} + 0x7f800000;
  const mom_v8f missing = mom_v8f{0, 0, 0, 0, 0, 0, 0, 0} + MISSING_VALUE;
  mom_v8f f[4];
  for (int j = 0; j < 4; j++) {
    f[j] = __builtin_convertvector(v[j], mom_v8f);
    f[j] = ((mom_v8si)f[j] & exp) != exp ? f[j] : missing;
  }
  mom_v8f t0 = __builtin_shufflevector(f[0], f[1], 0, 8, 1, 9, 2, 10, 3, 11);
  mom_v8f t1 = __builtin_shufflevector(f[0], f[1], 4, 12, 5, 13, 6, 14, 7, 15);
  mom_v8f t2 = __builtin_shufflevector(f[2], f[3], 0, 8, 1, 9, 2, 10, 3, 11);
  mom_v8f t3 = __builtin_shufflevector(f[2], f[3], 4, 12, 5, 13, 6, 14, 7, 15);
  mom_v8f r[4] = {__builtin_shufflevector(t0, t2, 0, 1, 8, 9, 2, 3, 10, 11),
                  __builtin_shufflevector(t0, t2, 4, 5, 12, 13, 6, 7, 14, 15),
                  __builtin_shufflevector(t1, t3, 0, 1, 8, 9, 2, 3, 10, 11),
                  __builtin_shufflevector(t1, t3, 4, 5, 12, 13, 6, 7, 14, 15)};
  if (m == 32) {
    for (int k = 0; k < 4; k++) *(mom_v8f_at *)(out + 8 * k) = r[k];
    return;
  }
  for (int q = 0; q < m; q++) out[q] = r[q >> 3][q & 7];
}

// run16 with blocks of thirty-two bars at multiples of 32 from `from`.
enum { CHUNK32 = 8 };

template <class S, class Step, class Blocks>
STUDY_INLINE inline void run32(StudyDef *s, int start, int count, int from, S &st, Step step,
                               Blocks blocks) {
  S run = st;
  int i = study_steps_to(s, start >= from ? start & ~31 : start, from, count, run, step);
  if (i < count) {
    while (count - i > 32) {
      int nb = std::min((int)CHUNK32, (count - i - 1) / 32);
      blocks(i, nb, 32, run);
      i += 32 * nb;
    }
    run.index = count - 1;
    study_save_state(s, run);
    blocks(i, 1, count - i, run);
  }
  st = run;
}

// STUDY_TWO_WAYS and a third compilation for 512-bit registers, chosen
// where the processor has them and the registers are not capped
// (study_register_cap): name_widest.
#if defined(__x86_64__) || defined(__i386__)
inline bool mom_has_512() {
  static const bool has = __builtin_cpu_supports("avx512f") && study_register_cap() >= 512;
  return has;
}
#define MOM_THREE_WAYS(name, params, args)                              \
  STUDY_TWO_WAYS(name, params, args)                                    \
  [[maybe_unused]] __attribute__((target("avx512f"))) static int name##_512 params { \
    return name<2> args;                                                \
  }                                                                     \
  static int name##_widest params {                                     \
    return mom_has_512() ? name##_512 args : name##_either args;        \
  }
#else
#define MOM_THREE_WAYS(name, params, args) \
  STUDY_TWO_WAYS(name, params, args)       \
  static int name##_widest params {        \
    return name##_either args;             \
  }
#endif
}  // namespace

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
  // blocks of thirty-two: the changes eight to a vector, each smoothing as
  // decay32 (the same formula, its sums taken in another order), the
  // divisions eight to an instruction.
  int from = (std::max(std::max(first, with_signal ? t0 + 1 : r + 1), 2) + 31) & ~31;
  const decay32 d1(1 - k1), d2(1 - k2), dq(1 - kq);
  auto block = [&](int i, int nb, int mlast, tsi_state &st) STUDY_INLINE {
    const mom_v8d zero = {0, 0, 0, 0, 0, 0, 0, 0};
    block32 e[CHUNK32], a[CHUNK32];
    for (int k = 0; k < nb; k++) {
      int at = i + 32 * k, m = k == nb - 1 ? mlast : 32;
      block32 cl;
      for (int j = 0; j < 4; j++) {
        mom_v8d h, l;
        block32_hlc(b, at, j, m, h, l, cl[j]);
      }
      for (int j = 0; j < 4; j++) {
        mom_v8d cq = cl[(j + 3) & 3];
        if (j == 0) mom_shift_in8(cq, b[at - 1].close);
        mom_v8d d = cl[j] - cq;
        e[k][j] = k1 * d;
        a[k][j] = k1 * MOM_V8_ABS(d);
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
      block32 &v = e[k];
      for (int j = 0; j < 4; j++)
        v[j] = a[k][j] != zero ? e[k][j] / a[k][j] * 100.0 : zero;
      if constexpr (with_signal) {
        for (int j = 0; j < 4; j++) v[j] *= kq;
      } else {
        block32_store(out + i + 32 * k, v, k == nb - 1 ? mlast : 32);
      }
    }
    // the signal line in a pass of its own: it waits on the divisions
    if constexpr (with_signal) {
      for (int k = 0; k < nb; k++) {
        dq.run(e[k], st.signal);
        block32_store(out + i + 32 * k, e[k], k == nb - 1 ? mlast : 32);
      }
    }
  };
  run32(s, start, count, from, st, step, block);
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
MOM_THREE_WAYS(tsi_line, (chart_rec * chart, StudyDef *s, int restart), (chart, s, restart))
MOM_THREE_WAYS(tsi_signal, (chart_rec * chart, StudyDef *s, int restart), (chart, s, restart))
}  // namespace

int calcTSI(chart_rec *chart, StudyDef *s, int restart) {
  return tsi_line_widest(chart, s, restart);
}
int calcTSIsl(chart_rec *chart, StudyDef *s, int restart) {
  return tsi_signal_widest(chart, s, restart);
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
// the smoothing seeded, values shown) the bars go in blocks of
// thirty-two: the window sums as running sums over the block (sum32), the
// divisions eight to an instruction, the smoothing as decay32 (the same
// formulas, the sums taken in another order).
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
  const decay32 smooth(1 - f);
  auto blocks = [&](int i, int nb, int mlast, tef_state &st) STUDY_INLINE {
    const mom_v8d zero = {0, 0, 0, 0, 0, 0, 0, 0};
    const double shift = st.reg.shift, nd = n;
    block32 range[CHUNK32], old_range[CHUNK32], sy[CHUNK32], sxy[CHUNK32], dq[CHUNK32];
    for (int q = 0; q < nb; q++) {
      int at = i + 32 * q, m = q == nb - 1 ? mlast : 32;
      for (int j = 0; j < 4; j++) {
        mom_v8d h, l, c, oh, ol, oc;
        block32_hlc(b, at, j, m, h, l, c);
        block32_hlc(b, at - n + 1, j, m, oh, ol, oc);
        mom_v8d v = c - shift;
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
      sum32(range[q], st.range);
      sum32(sy[q], st.reg.sy);
      for (int j = 0; j < 4; j++) {
        range[q][j] += old_range[q][j];
        sy[q][j] += dq[q][j];
        sxy[q][j] -= sy[q][j];
      }
    }
    for (int q = 0; q < nb; q++) {
      sum32(sxy[q], st.reg.sxy);
      block32 &e = dq[q];
      for (int j = 0; j < 4; j++) {
        mom_v8d y = sy[q][j], xy = sxy[q][j] + y;
        mom_v8d t = nd * ((xy - rs.mean_x * y) * rs.inv_den);
        if (absolute) t = MOM_V8_ABS(t);
        e[j] = (range[q][j] != zero ? t / range[q][j] * 100.0 : zero) * f;
      }
    }
    // the smoothing in a pass of its own: it waits on the divisions
    for (int q = 0; q < nb; q++) {
      smooth.run(dq[q], st.smoothed);
      block32_store(out + i + 32 * q, dq[q], q == nb - 1 ? mlast : 32);
    }
  };
  run32(s, start, count, (std::max(n, n + k - 2) + 31) & ~31, st, step, blocks);
  return 1;
}
MOM_THREE_WAYS(tef, (chart_rec * chart, StudyDef *s, int restart), (chart, s, restart))
}  // namespace

int calcTEF(chart_rec *chart, StudyDef *s, int restart) {
  return tef_widest(chart, s, restart);
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
STUDY_INLINE inline void dmi_raise(mom_v8d &r, const mom_v8d &x) {
  r = x > r ? x : r;
}

// The line is chosen at compile time: each one smooths and divides only
// for itself.  After the warm-up the bars go in blocks of thirty-two: the
// moves and ranges eight to a vector, Wilder's smoothing and the ADX's as
// decay32 (the same formula, its sums taken in another order), the
// divisions eight to an instruction.
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
  int from = (std::max(std::max(first, which == DMI_ADX ? n + 1 : 2), 2) + 31) & ~31;
  const decay32 wilder(1 - a), smooth(1 - c);
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
    const mom_v8d zero = {0, 0, 0, 0, 0, 0, 0, 0};
    block32 tr[CHUNK32], pdm[CHUNK32], mdm[CHUNK32];
    for (int k = 0; k < nb; k++) {
      int at = i + 32 * k, m = k == nb - 1 ? mlast : 32;
      block32 h, l, cp;
      for (int j = 0; j < 4; j++) block32_hlc(b, at, j, m, h[j], l[j], cp[j]);
      for (int j = 0; j < 4; j++) {
        // the bars before: the row before, or for the first row the last
        // row's lanes moved up with the bar before the block
        mom_v8d hp = h[(j + 3) & 3], lp = l[(j + 3) & 3], cq = cp[(j + 3) & 3];
        if (j == 0) {
          mom_shift_in8(hp, b[at - 1].high);
          mom_shift_in8(lp, b[at - 1].low);
          mom_shift_in8(cq, b[at - 1].close);
        }
        // the moves (dmi_moves) and the true range (ferlume_true_range)
        mom_v8d up = h[j] - hp, down = lp - l[j];
        mom_v8d r = h[j] - l[j], tu = h[j] - cq, td = cq - l[j];
        dmi_raise(r, tu);
        dmi_raise(r, td);
        tr[k][j] = r * a;
        // a move that is not the larger one is none; the larger one counts
        // if it is a rise (raised to zero)
        pdm[k][j] = mdm[k][j] = zero;
        if constexpr (which != DMI_MINUS) {
          pdm[k][j] = up > down ? up : zero;
          dmi_raise(pdm[k][j], zero);
          pdm[k][j] *= a;
        }
        if constexpr (which != DMI_PLUS) {
          mdm[k][j] = down > up ? down : zero;
          dmi_raise(mdm[k][j], zero);
          mdm[k][j] *= a;
        }
      }
    }
    for (int k = 0; k < nb; k++) {
      wilder.run(tr[k], st.tr);
      if constexpr (which != DMI_MINUS) wilder.run(pdm[k], st.plus_dm);
      if constexpr (which != DMI_PLUS) wilder.run(mdm[k], st.minus_dm);
    }
    for (int k = 0; k < nb; k++) {
      block32 &v = tr[k];
      for (int j = 0; j < 4; j++) {
        if constexpr (which == DMI_ADX) {
          // |+DI - -DI| / (+DI + -DI) with the common factor 100 / tr
          // taken out: one division instead of three
          mom_v8d sum = pdm[k][j] + mdm[k][j], diff = MOM_V8_ABS(pdm[k][j] - mdm[k][j]);
          sum = tr[k][j] != zero ? sum : zero;
          v[j] = (sum != zero ? diff / sum : zero) * c;
        } else {
          mom_v8d dm = which == DMI_PLUS ? pdm[k][j] : mdm[k][j];
          v[j] = tr[k][j] != zero ? dm / tr[k][j] * 100.0 : zero;
        }
      }
      if constexpr (which != DMI_ADX) block32_store(out + i + 32 * k, v, k == nb - 1 ? mlast : 32);
    }
    // the ADX's smoothing in a pass of its own: it waits on the divisions
    if constexpr (which == DMI_ADX) {
      for (int k = 0; k < nb; k++) {
        smooth.run(tr[k], st.adx);
        for (int j = 0; j < 4; j++) tr[k][j] *= 100.0;
        block32_store(out + i + 32 * k, tr[k], k == nb - 1 ? mlast : 32);
      }
    }
  };
  run32(s, start, count, from, st, step, block);
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
MOM_THREE_WAYS(dmi_plus, (chart_rec * chart, StudyDef *s, int restart), (chart, s, restart))
MOM_THREE_WAYS(dmi_minus, (chart_rec * chart, StudyDef *s, int restart), (chart, s, restart))
MOM_THREE_WAYS(dmi_adx, (chart_rec * chart, StudyDef *s, int restart), (chart, s, restart))
}  // namespace

int calcPlusDI(chart_rec *chart, StudyDef *s, int restart) {
  return dmi_plus_widest(chart, s, restart);
}
int calcMinusDI(chart_rec *chart, StudyDef *s, int restart) {
  return dmi_minus_widest(chart, s, restart);
}
int calcADX(chart_rec *chart, StudyDef *s, int restart) {
  return dmi_adx_widest(chart, s, restart);
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
