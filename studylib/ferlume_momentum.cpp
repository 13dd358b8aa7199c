// Ferlume1 momentum studies: True Strength Index and its signal line,
// Trend Efficiency, the directional indicators with ADX, and Momentum.
#include "studies/study_block16.h"
#include "studylib/ferlume.h"

#include <type_traits>

// ---- Blocks of thirty-two bars ------------------------------------------------------

// The momentum kernels take their blocks thirty-two bars at a time: two
// sixteen-bar blocks (studies/study_block16.h) side by side, four vectors of eight
// doubles, vector j holding bars j, 4 + j, .., 28 + j.  Each lane runs its
// own four bars, the eight runs are chained in three doubling steps, so
// that one 512-bit register holds the work of two 256-bit ones.  The plain
// and 256-bit compilations make the same operations lane by lane on two
// vectors of four (mom_lanes), so that all three give the same values bit
// for bit.
namespace {
typedef float mom_v8f __attribute__((vector_size(32)));
typedef int mom_v8si __attribute__((vector_size(32)));
// Eight floats at any float's address (as study_v4f_at).
typedef float mom_v8f_at __attribute__((vector_size(32), aligned(4)));

// Eight doubles: one 512-bit vector in the 512-bit compilation (W = 2),
// two of four in the narrower ones, whose registers would not hold an
// eight-lane vector (g++ would keep it in memory).  Lanes 0-3 are the
// first piece's either way, and every operation is taken lane by lane in
// the same order: the values are the same bit for bit.
template <int W>
struct mom_lanes {
  enum { N = W == 2 ? 1 : 2 };
  typedef typename std::conditional<W == 2, study_v8d, study_v4d>::type piece;
  piece p[N];
};
#define MOM_LANES_OP(op)                                                                    \
  template <int W>                                                                          \
  [[gnu::always_inline]] inline mom_lanes<W> operator op(const mom_lanes<W> &x,             \
                                                         const mom_lanes<W> &y) {           \
    mom_lanes<W> r;                                                                         \
    for (int k = 0; k < mom_lanes<W>::N; k++) r.p[k] = x.p[k] op y.p[k];                    \
    return r;                                                                               \
  }                                                                                         \
  template <int W>                                                                          \
  [[gnu::always_inline]] inline mom_lanes<W> operator op(const mom_lanes<W> &x, double y) { \
    mom_lanes<W> r;                                                                         \
    for (int k = 0; k < mom_lanes<W>::N; k++) r.p[k] = x.p[k] op y;                         \
    return r;                                                                               \
  }                                                                                         \
  template <int W>                                                                          \
  [[gnu::always_inline]] inline mom_lanes<W> operator op(double x, const mom_lanes<W> &y) { \
    mom_lanes<W> r;                                                                         \
    for (int k = 0; k < mom_lanes<W>::N; k++) r.p[k] = x op y.p[k];                         \
    return r;                                                                               \
  }                                                                                         \
  template <int W, class Y>                                                                 \
  [[gnu::always_inline]] inline mom_lanes<W> &operator op##=(mom_lanes<W> &x, const Y &y) { \
    x = x op y;                                                                             \
    return x;                                                                               \
  }
MOM_LANES_OP(+)
MOM_LANES_OP(-)
MOM_LANES_OP(*)
MOM_LANES_OP(/)
#undef MOM_LANES_OP

template <int W>
[[gnu::always_inline]] inline mom_lanes<W> mom_splat(double d) {
  mom_lanes<W> r;
  const typename mom_lanes<W>::piece zero = {};
  for (int k = 0; k < mom_lanes<W>::N; k++) r.p[k] = zero + d;
  return r;
}

// Lane 7.
template <int W>
[[gnu::always_inline]] inline double mom_last(const mom_lanes<W> &v) {
  return v.p[mom_lanes<W>::N - 1][W == 2 ? 7 : 3];
}

// |v| of each lane.
template <int W>
[[gnu::always_inline]] inline mom_lanes<W> mom_abs(const mom_lanes<W> &v) {
  mom_lanes<W> r;
  for (int k = 0; k < mom_lanes<W>::N; k++) {
    auto bits = (decltype(v.p[k] < v.p[k]))v.p[k];
    r.p[k] = (typename mom_lanes<W>::piece)(bits & 0x7fffffffffffffffLL);
  }
  return r;
}

// v = x > y ? v : 0 (above) or x != y ? v : 0 in each lane; r = x > r ? x
// : r (the rule of ferlume_true_range).
template <int W, bool above>
[[gnu::always_inline]] inline void mom_keep_if(mom_lanes<W> &v, const mom_lanes<W> &x,
                                               const mom_lanes<W> &y) {
  const typename mom_lanes<W>::piece zero = {};
  for (int k = 0; k < mom_lanes<W>::N; k++)
    v.p[k] = (above ? x.p[k] > y.p[k] : x.p[k] != y.p[k]) ? v.p[k] : zero;
}
template <int W>
[[gnu::always_inline]] inline void mom_raise(mom_lanes<W> &r, const mom_lanes<W> &x) {
  for (int k = 0; k < mom_lanes<W>::N; k++) r.p[k] = x.p[k] > r.p[k] ? x.p[k] : r.p[k];
}

// r = v with its lanes moved up by k (1, 2 or 4), lanes 0 .. k - 1 from
// `in`: each lane takes only from the lanes before it.
template <int W, int k>
[[gnu::always_inline]] inline void mom_up(mom_lanes<W> &r, const mom_lanes<W> &v, double in) {
  if constexpr (W == 2) {
    study_v8d f = mom_splat<W>(in).p[0], x = v.p[0];
    if constexpr (k == 1) r.p[0] = __builtin_shufflevector(x, f, 8, 0, 1, 2, 3, 4, 5, 6);
    if constexpr (k == 2) r.p[0] = __builtin_shufflevector(x, f, 8, 9, 0, 1, 2, 3, 4, 5);
    if constexpr (k == 4) r.p[0] = __builtin_shufflevector(x, f, 8, 9, 10, 11, 0, 1, 2, 3);
  } else {
    study_v4d f = {in, in, in, in}, p0 = v.p[0], p1 = v.p[1];
    if constexpr (k == 1) {
      r.p[0] = __builtin_shufflevector(p0, f, 4, 0, 1, 2);
      r.p[1] = __builtin_shufflevector(p0, p1, 3, 4, 5, 6);
    }
    if constexpr (k == 2) {
      r.p[0] = __builtin_shufflevector(p0, f, 4, 5, 0, 1);
      r.p[1] = __builtin_shufflevector(p0, p1, 2, 3, 4, 5);
    }
    if constexpr (k == 4) {
      r.p[0] = f;
      r.p[1] = p0;
    }
  }
}

// v with lane 0 from `in` and lanes 1-7 from v's lanes 0-6.
template <int W>
[[gnu::always_inline]] inline void mom_shift_in8(mom_lanes<W> &v, double in) {
  mom_up<W, 1>(v, v, in);
}

// Blocks of thirty-two bars: vector j, lane l holds bar 4l + j.
template <int W>
using block32 = mom_lanes<W>[4];

// s_l = c s_{l-1} + u_l across the eight lanes (study_decay4 with one
// doubling step more).
template <int W>
struct mom_decay8 {
  double c, c2, c4;
  mom_lanes<W> pw;  // c .. c^8
  explicit mom_decay8(double c_) : c(c_), c2(c_ * c_), c4(c2 * c2) {
    double c3 = c2 * c, p[8] = {c, c2, c3, c4, c4 * c, c4 * c2, c4 * c3, c4 * c4};
    pw = mom_splat<W>(0);
    for (int l = 0; l < 8; l++) pw.p[l / (8 / mom_lanes<W>::N)][l % (8 / mom_lanes<W>::N)] = p[l];
  }
  [[gnu::always_inline]] void run(mom_lanes<W> &u, double &s) const {
    mom_lanes<W> t;
    mom_up<W, 1>(t, u, 0);
    u += c * t;
    mom_up<W, 2>(t, u, 0);
    u += c2 * t;
    mom_up<W, 4>(t, u, 0);
    u += c4 * t;
    u += pw * s;
    s = mom_last(u);
  }
};

// decay16 over thirty-two bars.
template <int W>
struct decay32 {
  double c;
  mom_decay8<W> runs;  // from run to run: c^4
  double pw[3];        // c, c^2, c^3
  explicit decay32(double c_) : c(c_), runs(c_ * c_ * (c_ * c_)) {
    pw[0] = c_;
    pw[1] = c_ * c_;
    pw[2] = pw[1] * c_;
  }
  // u: the block's inputs, then its values; s: the value before the
  // block, then its last bar's.
  [[gnu::always_inline]] void run(block32<W> &u, double &s) const {
    u[1] += c * u[0];
    u[2] += c * u[1];
    u[3] += c * u[2];
    double before = s;
    runs.run(u[3], s);
    mom_lanes<W> t = u[3];
    mom_shift_in8<W>(t, before);  // the value before each run
    u[0] += pw[0] * t;
    u[1] += pw[1] * t;
    u[2] += pw[2] * t;
  }
};

// sum16 over thirty-two bars.
template <int W>
[[gnu::always_inline]] inline void sum32(block32<W> &u, double &s) {
  u[1] += u[0];
  u[2] += u[1];
  u[3] += u[2];
  double before = s;
  mom_lanes<W> t;
  mom_up<W, 1>(t, u[3], 0);
  u[3] += t;
  mom_up<W, 2>(t, u[3], 0);
  u[3] += t;
  mom_up<W, 4>(t, u[3], 0);
  u[3] += t;
  u[3] += s;
  s = mom_last(u[3]);
  t = u[3];
  mom_shift_in8<W>(t, before);  // the sum before each run
  u[0] += t;
  u[1] += t;
  u[2] += t;
}

// Rows j of a block: the bars' prices i + 4l + j (block_hlc, sixteen bars
// at a time), lanes of the bars from m on 0.
template <int W>
[[gnu::always_inline]] inline void block32_hlc(const chart_bar *b, int i, int j, int m,
                                               mom_lanes<W> &h, mom_lanes<W> &l, mom_lanes<W> &c) {
  study_v4d hp[2], lp[2], cp[2];
  block_hlc(b, i, j, std::min(m, 16), hp[0], lp[0], cp[0]);
  block_hlc(b, i + 16, j, std::max(m - 16, 0), hp[1], lp[1], cp[1]);
  if constexpr (W == 2) {
    h.p[0] = __builtin_shufflevector(hp[0], hp[1], 0, 1, 2, 3, 4, 5, 6, 7);
    l.p[0] = __builtin_shufflevector(lp[0], lp[1], 0, 1, 2, 3, 4, 5, 6, 7);
    c.p[0] = __builtin_shufflevector(cp[0], cp[1], 0, 1, 2, 3, 4, 5, 6, 7);
  } else {
    for (int k = 0; k < 2; k++) {
      h.p[k] = hp[k];
      l.p[k] = lp[k];
      c.p[k] = cp[k];
    }
  }
}

// study_out of a block's values (vector j, lane l: bar 4l + j) into
// out[0 .. m - 1], in the bars' order: eight floats to a store in the
// 512-bit compilation, sixteen bars at a time (block_store) in the others.
template <int W>
[[gnu::always_inline]] inline void block32_store(float *out, const block32<W> &v, int m) {
  if constexpr (W == 2) {
    const mom_v8si exp = {0x7f800000, 0x7f800000, 0x7f800000, 0x7f800000,
                          0x7f800000, 0x7f800000, 0x7f800000, 0x7f800000};
    const mom_v8f missing = {MISSING_VALUE, MISSING_VALUE, MISSING_VALUE, MISSING_VALUE,
                             MISSING_VALUE, MISSING_VALUE, MISSING_VALUE, MISSING_VALUE};
    mom_v8f f[4];
    for (int j = 0; j < 4; j++) {
      f[j] = __builtin_convertvector(v[j].p[0], mom_v8f);
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
  } else {
    for (int k = 0; k < 2 && 16 * k < m; k++) {
      block16 half = {v[0].p[k], v[1].p[k], v[2].p[k], v[3].p[k]};
      block_store(out + 16 * k, half, std::min(m - 16 * k, 16));
    }
  }
}

// Blocks of thirty-two bars (run_blocks), eight to a chunk.
enum { CHUNK32 = 8 };

// STUDY_TWO_WAYS and a third compilation for 512-bit registers, chosen
// where the processor has them and the registers are not capped
// (study_register_cap): name_widest.
#if defined(__x86_64__) || defined(__i386__)
#define MOM_THREE_WAYS(name, params, args)                         \
  STUDY_TWO_WAYS(name, params, args)                               \
  [[maybe_unused]] STUDY_512 static int name##_512 params {        \
    return name<2> args;                                           \
  }                                                                \
  static int name##_widest params {                                \
    return study_has_512() ? name##_512 args : name##_either args; \
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
  const decay32<W> d1(1 - k1), d2(1 - k2), dq(1 - kq);
  auto block = [&](int i, int nb, int mlast, tsi_state &st) STUDY_INLINE {
    const mom_lanes<W> zero = mom_splat<W>(0);
    block32<W> e[CHUNK32], a[CHUNK32];
    for (int k = 0; k < nb; k++) {
      int at = i + 32 * k, m = k == nb - 1 ? mlast : 32;
      study_prefetch_bars(b, at + 32 * CHUNK32, 32, count);
      block32<W> cl;
      for (int j = 0; j < 4; j++) {
        mom_lanes<W> h, l;
        block32_hlc<W>(b, at, j, m, h, l, cl[j]);
      }
      for (int j = 0; j < 4; j++) {
        mom_lanes<W> cq = cl[(j + 3) & 3];
        if (j == 0) mom_shift_in8<W>(cq, b[at - 1].close);
        mom_lanes<W> d = cl[j] - cq;
        e[k][j] = k1 * d;
        a[k][j] = k1 * mom_abs(d);
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
      block32<W> &v = e[k];
      for (int j = 0; j < 4; j++) {
        v[j] = e[k][j] / a[k][j] * 100.0;
        mom_keep_if<W, false>(v[j], a[k][j], zero);
      }
      if constexpr (with_signal) {
        for (int j = 0; j < 4; j++) v[j] *= kq;
      } else {
        block32_store<W>(out + i + 32 * k, v, k == nb - 1 ? mlast : 32);
      }
    }
    // the signal line in a pass of its own: it waits on the divisions
    if constexpr (with_signal) {
      for (int k = 0; k < nb; k++) {
        dq.run(e[k], st.signal);
        block32_store<W>(out + i + 32 * k, e[k], k == nb - 1 ? mlast : 32);
      }
    }
  };
  run_blocks<32, CHUNK32>(s, start, count, from, st, step, block);
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
template <int W>
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
  const decay32<W> smooth(1 - f);
  auto blocks = [&](int i, int nb, int mlast, tef_state &st) STUDY_INLINE {
    const mom_lanes<W> zero = mom_splat<W>(0);
    const double shift = st.reg.shift, nd = n;
    block32<W> range[CHUNK32], old_range[CHUNK32], sy[CHUNK32], sxy[CHUNK32], dq[CHUNK32];
    for (int q = 0; q < nb; q++) {
      int at = i + 32 * q, m = q == nb - 1 ? mlast : 32;
      study_prefetch_bars(b, at + 32 * CHUNK32, 32, count);
      for (int j = 0; j < 4; j++) {
        mom_lanes<W> h, l, c, oh, ol, oc;
        block32_hlc<W>(b, at, j, m, h, l, c);
        block32_hlc<W>(b, at - n + 1, j, m, oh, ol, oc);
        mom_lanes<W> v = c - shift;
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
      sum32<W>(range[q], st.range);
      sum32<W>(sy[q], st.reg.sy);
      for (int j = 0; j < 4; j++) {
        range[q][j] += old_range[q][j];
        sy[q][j] += dq[q][j];
        sxy[q][j] -= sy[q][j];
      }
    }
    for (int q = 0; q < nb; q++) {
      sum32<W>(sxy[q], st.reg.sxy);
      block32<W> &e = dq[q];
      for (int j = 0; j < 4; j++) {
        mom_lanes<W> y = sy[q][j], xy = sxy[q][j] + y;
        mom_lanes<W> t = nd * ((xy - rs.mean_x * y) * rs.inv_den);
        if (absolute) t = mom_abs(t);
        e[j] = t / range[q][j] * 100.0;
        mom_keep_if<W, false>(e[j], range[q][j], zero);
        e[j] *= f;
      }
    }
    // the smoothing in a pass of its own: it waits on the divisions
    for (int q = 0; q < nb; q++) {
      smooth.run(dq[q], st.smoothed);
      block32_store<W>(out + i + 32 * q, dq[q], q == nb - 1 ? mlast : 32);
    }
  };
  run_blocks<32, CHUNK32>(s, start, count, (std::max(n, n + k - 2) + 31) & ~31, st, step, blocks);
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
  const decay32<W> wilder(1 - a), smooth(1 - c);
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
    const mom_lanes<W> zero = mom_splat<W>(0);
    block32<W> tr[CHUNK32], pdm[CHUNK32], mdm[CHUNK32];
    for (int k = 0; k < nb; k++) {
      int at = i + 32 * k, m = k == nb - 1 ? mlast : 32;
      study_prefetch_bars(b, at + 32 * CHUNK32, 32, count);
      block32<W> h, l, cp;
      for (int j = 0; j < 4; j++) block32_hlc<W>(b, at, j, m, h[j], l[j], cp[j]);
      for (int j = 0; j < 4; j++) {
        // the bars before: the row before, or for the first row the last
        // row's lanes moved up with the bar before the block
        mom_lanes<W> hp = h[(j + 3) & 3], lp = l[(j + 3) & 3], cq = cp[(j + 3) & 3];
        if (j == 0) {
          mom_shift_in8<W>(hp, b[at - 1].high);
          mom_shift_in8<W>(lp, b[at - 1].low);
          mom_shift_in8<W>(cq, b[at - 1].close);
        }
        // the moves (dmi_moves) and the true range (ferlume_true_range)
        mom_lanes<W> up = h[j] - hp, down = lp - l[j];
        mom_lanes<W> r = h[j] - l[j], tu = h[j] - cq, td = cq - l[j];
        mom_raise(r, tu);
        mom_raise(r, td);
        tr[k][j] = r * a;
        // a move that is not the larger one is none; the larger one counts
        // if it is a rise (raised to zero)
        pdm[k][j] = mdm[k][j] = zero;
        if constexpr (which != DMI_MINUS) {
          pdm[k][j] = up;
          mom_keep_if<W, true>(pdm[k][j], up, down);
          mom_raise(pdm[k][j], zero);
          pdm[k][j] *= a;
        }
        if constexpr (which != DMI_PLUS) {
          mdm[k][j] = down;
          mom_keep_if<W, true>(mdm[k][j], down, up);
          mom_raise(mdm[k][j], zero);
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
      block32<W> &v = tr[k];
      for (int j = 0; j < 4; j++) {
        if constexpr (which == DMI_ADX) {
          // |+DI - -DI| / (+DI + -DI) with the common factor 100 / tr
          // taken out: one division instead of three
          mom_lanes<W> sum = pdm[k][j] + mdm[k][j], diff = mom_abs(pdm[k][j] - mdm[k][j]);
          mom_keep_if<W, false>(sum, tr[k][j], zero);
          v[j] = diff / sum;
          mom_keep_if<W, false>(v[j], sum, zero);
          v[j] *= c;
        } else {
          mom_lanes<W> dm = which == DMI_PLUS ? pdm[k][j] : mdm[k][j];
          mom_lanes<W> di = dm / tr[k][j] * 100.0;
          mom_keep_if<W, false>(di, tr[k][j], zero);
          v[j] = di;
        }
      }
      if constexpr (which != DMI_ADX)
        block32_store<W>(out + i + 32 * k, v, k == nb - 1 ? mlast : 32);
    }
    // the ADX's smoothing in a pass of its own: it waits on the divisions
    if constexpr (which == DMI_ADX) {
      for (int k = 0; k < nb; k++) {
        smooth.run(tr[k], st.adx);
        for (int j = 0; j < 4; j++) tr[k][j] *= 100.0;
        block32_store<W>(out + i + 32 * k, tr[k], k == nb - 1 ? mlast : 32);
      }
    }
  };
  run_blocks<32, CHUNK32>(s, start, count, from, st, step, block);
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
