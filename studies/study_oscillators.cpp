// MACD and its signal line, stochastics, RSI, CCI and VHF.  Past their
// warm-up the kernels go four bars at a time (studies/study_record.h):
// window sums as running sums over the group, smoothings as recurrences
// over it, divisions four to an instruction.
#include <algorithm>

#include "studies/study_block16.h"
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

struct stoch_state {
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
  double sum;  // unused: each bar's window is summed again
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

// block_gather and block_store of a block the chart may cut short: a
// short one (a live update's) goes through a local array with the full
// blocks' code rather than a branch per bar (the same values).
template <class X>
STUDY_INLINE static inline void gather16(block16 &v, const X &x, int i, int m) {
  if (m == 16) {
    block_gather(v, x, i, 16);
    return;
  }
  double px[16] = {};
  for (int t = 0; t < m; t++) px[t] = x(i + t);
  block_gather(
      v, [&](int t) STUDY_INLINE { return px[t - i]; }, i, 16);
}

STUDY_INLINE static inline void store16(float *out, const block16 &v, int m) {
  if (m == 16) {
    block_store(out, v, 16);
    return;
  }
  float f[16];
  block_store(f, v, 16);
  memcpy(out, f, sizeof(float) * m);
}

// MACD, and with SIGNAL its signal line: the fast and slow averages seed
// at bar 0, the signal line at slow_n - 1.
template <int, bool SIGNAL>
STUDY_INLINE static inline int macd(chart_rec *chart, StudyDef *s, int restart) {
  int count = study_bar_count(chart, s);
  int n = study_period(s), slow_n = study_param_int(s->p2),
      sig_n = SIGNAL ? study_param_int(s->p3) : 1;
  macd_state st;
  int start = study_start(s, restart, slow_n, count, n >= 1 && slow_n >= 1 && sig_n >= 1, 1, &st);
  if (start < 0) return 1;
  float *out = study_series(s, 0);
  double a = 2.0 / (n + 1), b = 2.0 / (slow_n + 1), c = 2.0 / (sig_n + 1);
  const decay16 fast(1 - a), slow(1 - b), signal(1 - c);
  int first = SIGNAL ? sig_n + slow_n - 2 : slow_n - 1;  // the first value
  // the blocks start past the seeds and the first value
  int from = (std::max(std::max(first, SIGNAL ? slow_n : 1), 1) + 15) & ~15;
  with_price_type(chart->bars, s->price_type, [&](auto price) STUDY_INLINE {
    run16(
        s, start, count, from, st,
        [&](int i, macd_state &st) STUDY_INLINE {
          double p = price(i);
          if (i == 0) {
            st.fast = st.slow = p;
          } else {
            st.fast = a * p + (1 - a) * st.fast;
            st.slow = b * p + (1 - b) * st.slow;
          }
          double m = st.fast - st.slow;
          if constexpr (SIGNAL) {
            if (i == slow_n - 1)
              st.signal = m;
            else if (i > slow_n - 1)
              st.signal = c * m + (1 - c) * st.signal;
            m = st.signal;
          }
          out[i] = i < first ? MISSING_VALUE : study_out(m);
        },
        // a chunk's blocks: each smoothing over all of them in turn, so
        // that neighbouring blocks' chains overlap
        [&](int i, int nb, int mlast, macd_state &st) STUDY_INLINE {
          block16 f[CHUNK], w[CHUNK];
          // the next chunks' bars on their way meanwhile (rows take every
          // fourth bar, which a long chart's prefetching does not follow)
          study_prefetch_bars(chart->bars, i + 32 * CHUNK, 16 * nb, count);
          for (int k = 0; k < nb; k++) {
            block16 p;
            gather16(p, price, i + 16 * k, k == nb - 1 ? mlast : 16);
            for (int j = 0; j < 4; j++) {
              f[k][j] = a * p[j];
              w[k][j] = b * p[j];
            }
          }
          for (int k = 0; k < nb; k++) {
            fast.run(f[k], st.fast);
            slow.run(w[k], st.slow);
            for (int j = 0; j < 4; j++) {
              f[k][j] -= w[k][j];
              if constexpr (SIGNAL) f[k][j] *= c;
            }
          }
          if constexpr (SIGNAL)
            for (int k = 0; k < nb; k++) signal.run(f[k], st.signal);
          for (int k = 0; k < nb; k++) store16(out + i + 16 * k, f[k], k == nb - 1 ? mlast : 16);
        });
  });
  return 1;
}

template <int W>
STUDY_INLINE static inline int macd_line(chart_rec *chart, StudyDef *s, int restart) {
  return macd<W, false>(chart, s, restart);
}
template <int W>
STUDY_INLINE static inline int macd_signal(chart_rec *chart, StudyDef *s, int restart) {
  return macd<W, true>(chart, s, restart);
}
STUDY_TWO_WAYS(macd_line, (chart_rec * chart, StudyDef *s, int restart), (chart, s, restart))
STUDY_TWO_WAYS(macd_signal, (chart_rec * chart, StudyDef *s, int restart), (chart, s, restart))

int compute_macd(chart_rec *chart, StudyDef *s, int restart) {
  return macd_line_either(chart, s, restart);
}

int compute_macd_signal(chart_rec *chart, StudyDef *s, int restart) {
  return macd_signal_either(chart, s, restart);
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

STUDY_INLINE static inline double median3(double a, double b, double c) {
  if (a > b) std::swap(a, b);
  if (b > c) std::swap(b, c);
  return a > b ? a : b;
}

// The price a %K measures at bar i: the price, or the median of the last
// three.
template <class P>
STUDY_INLINE static inline double stoch_price(const P &price, int i, const stoch_params &sp) {
  double v = price(i);
  if (sp.median && i >= 2) v = median3(price(i - 2), price(i - 1), v);
  return v;
}

// %K (with D, series 2) and its average by the study's method over p2
// (series 1): bar by bar through the warm-up, then blocks of bars in
// groups of four, each group's %K first, then its %D from the %K series as
// written.  A block's highs and lows are taken into an array in one pass
// over the bars, its windows' extremes made there, then read four bars at
// a time with the prices.  The bars before the groups take
// window_extremes (a scan on a live update).
template <int, bool D>
STUDY_INLINE static inline int stochastic(chart_rec *chart, StudyDef *s, int restart) {
  int count = study_bar_count(chart, s);
  stoch_params sp = stoch_setup(s);
  const int n = sp.n, first = sp.first;
  int dn = D ? study_param_int(s->p2) : 1, method = s->method;
  bool d_ok = D && dn >= 1 && method >= MA_SIMPLE && method <= MA_TRIANGULAR;
  stoch_state st;
  int start = study_start(s, restart, n, count, n >= 1, D ? 2 : 1, &st);
  if (start < 0 || start >= count) return 1;
  float *k_out = study_series(s, D ? 1 : 0), *d_out = D ? study_series(s, 0) : nullptr;
  const chart_bar *bars = chart->bars;
  // the groups start past the %K's seed at n - 1, the slots it leaves
  // missing and the median's first bars; the %D's past its window's
  // filling (ma_group)
  int from = std::max(std::max(n, first), 2);
  if (d_ok) from = std::max(from, first + dn + 2);
  from = (from + 3) & ~3;
  const double f = sp.f;
  const study_decay4 k_decay(1 - f), d_decay(1 - 2.0 / (dn + 1));
  auto high = [bars](int j) STUDY_INLINE { return (double)bars[j].high; };
  auto low = [bars](int j) STUDY_INLINE { return (double)bars[j].low; };
  window_extremes<decltype(high), decltype(low)> w(
      high, low, n, std::max(study_first4(start, from), n - 1), count);
  auto x = [k_out, first](int j) STUDY_INLINE { return (double)k_out[first + j]; };
  // a block's bars and the windows' first bars before them: each bar's
  // high and negated low, then their windows' highest (study_window_max;
  // window_extremes::steps into hs and ls for windows too long for it),
  // from bar n - 1 on; prices.  The highs and lows are the bars' floats:
  // their extremes are taken as floats, eight to a 256-bit vector.
  constexpr int kBlock = 256, kMax = 256;
  const bool in_block = n <= kMax;
  alignas(64) float bhl[2 * (kBlock + kMax + 8)];
  alignas(64) double bp[kBlock + 8], hs[kBlock], ls[kBlock];
  auto body = [&](auto price, auto mc) STUDY_INLINE {
    constexpr int M = decltype(mc)::value;
    auto step = [&](int i, stoch_state &st) STUDY_INLINE {
      if (D) d_out[i] = MISSING_VALUE;
      if (i < n - 1) {
        k_out[i] = MISSING_VALUE;
        return;
      }
      w.step(i);
      double v = stoch_price(price, i, sp);
      double raw = w.hi != w.lo ? (v - w.lo) / (w.hi - w.lo) * 100 : 50;
      // without smoothing (f = 1) the value is the raw one
      st.k.s = i == n - 1 || f == 1 ? raw : (1 - f) * st.k.s + f * raw;
      k_out[i] = i < first ? MISSING_VALUE : study_out(st.k.s);
      if (d_ok && i >= first) {
        double d = ma_step_m<M>(st.r, dn, x, i - first);
        d_out[i] = i < dn + first || study_is_missing(d) ? MISSING_VALUE : study_out(d);
      }
    };
    // bars i .. e - 1, i a multiple of 4, e too but for the chart's last
    // group; the lanes past e see zeros
    auto block = [&](int i, int e, stoch_state &st) STUDY_INLINE {
      const int len4 = (e - i + 3) & ~3;
      float *hl = bhl + 2 * (n - 1);  // bar i's
      if (in_block) {
        const int base = i - n + 1, len = e - base;
        for (int k = 0; k < len; k++) {
          bhl[2 * k] = bars[base + k].high;
          bhl[2 * k + 1] = -bars[base + k].low;
        }
        study_window_max(bhl, 2, n, len);
      } else {
        hl = bhl;
        w.steps(i, e - i, hs, ls);
        for (int j = 0; j < e - i; j++) {
          hl[2 * j] = (float)hs[j];
          hl[2 * j + 1] = -(float)ls[j];
        }
      }
      for (int j = e - i; j < len4; j++) hl[2 * j] = hl[2 * j + 1] = 0;
      if (sp.median) {
        for (int j = 0; j < e - i; j++) bp[j] = stoch_price(price, i + j, sp);
      } else {
        for (int j = 0; j < e - i; j++) bp[j] = price(i + j);
      }
      for (int j = e - i; j < len4; j++) bp[j] = 0;
      // the group of four bars from j of the block, m of them the chart's
      auto group = [&](int j, int m, stoch_state &st) STUDY_INLINE {
        const study_v4d fifty = {50, 50, 50, 50};
        typedef float v8f __attribute__((vector_size(32)));
        study_v4d v;
        v8f hl8;
        memcpy(&v, bp + j, sizeof v);
        memcpy(&hl8, hl + 2 * j, sizeof hl8);
        study_v4d h4 = __builtin_convertvector(__builtin_shufflevector(hl8, hl8, 0, 2, 4, 6),
                                               study_v4d),
                  l4 = -__builtin_convertvector(__builtin_shufflevector(hl8, hl8, 1, 3, 5, 7),
                                                study_v4d);
        study_v4i moved = h4 != l4;
        study_v4d k = (v - l4) / (h4 - l4) * 100;
        k = (study_v4d)(((study_v4i)k & moved) | ((study_v4i)fifty & ~moved));
        if (f != 1) {
          k *= f;
          k_decay.run(k, st.k.s);
        } else {
          st.k.s = k[3];
        }
        study_store4(k_out + i + j, k, m);
        if constexpr (D) {
          if (!d_ok) study_store4_if(d_out + i + j, k, study_v4i{0, 0, 0, 0}, m);
        }
      };
      // whole groups with the state in locals, then a last one cut short;
      // the %D in a pass of its own over the %K as written, so that its
      // reads of the %K do not wait for the stores just made
      stoch_state r = st;
      int j = 0;
      for (; j + 4 <= e - i; j += 4) group(j, 4, r);
      if (j < e - i) group(j, e - i - j, r);
      if constexpr (D) {
        if (d_ok) {
          for (j = 0; j < e - i; j += 4) {
            int m = e - i - j < 4 ? e - i - j : 4;
            study_v4d d;
            ma_group<M>(r.r, dn, d_decay, x, i + j - first, m, d);
            study_store4(d_out + i + j, d, m);
          }
        }
      }
      st = r;
    };
    study_run_blocks(s, start, count, from, kBlock, st, step, block);
  };
  with_price_type(bars, sp.price_type, [&](auto price) STUDY_INLINE {
    if constexpr (D)
      with_ma_method(d_ok ? method : MA_SIMPLE, [&](auto mc) STUDY_INLINE { body(price, mc); });
    else
      body(price, std::integral_constant<int, MA_SIMPLE>());
  });
  return 1;
}

template <int W>
STUDY_INLINE static inline int stochastic_k(chart_rec *chart, StudyDef *s, int restart) {
  return stochastic<W, false>(chart, s, restart);
}
template <int W>
STUDY_INLINE static inline int stochastic_d(chart_rec *chart, StudyDef *s, int restart) {
  return stochastic<W, true>(chart, s, restart);
}
STUDY_TWO_WAYS(stochastic_k, (chart_rec * chart, StudyDef *s, int restart), (chart, s, restart))
STUDY_TWO_WAYS(stochastic_d, (chart_rec * chart, StudyDef *s, int restart), (chart, s, restart))

int compute_stochastic_k(chart_rec *chart, StudyDef *s, int restart) {
  return stochastic_k_either(chart, s, restart);
}

int compute_stochastic_d(chart_rec *chart, StudyDef *s, int restart) {
  return stochastic_d_either(chart, s, restart);
}

// RSI: the window's summed gains and losses, 100 up / (up + down), 50 for
// a window without any change.
template <int>
STUDY_INLINE static inline int rsi(chart_rec *chart, StudyDef *s, int restart) {
  int count = study_bar_count(chart, s);
  int n = study_period(s);
  rsi_state st;
  int start = study_start(s, restart, n, count, n >= 1, 1, &st);
  if (start < 0) return 1;
  float *out = study_series(s, 0);
  with_price_type(chart->bars, s->price_type, [&](auto price) STUDY_INLINE {
    run16(
        s, start, count, (n + 1 + 15) & ~15, st,
        [&](int i, rsi_state &st) STUDY_INLINE {
          double p = price(i);
          double d = i >= 1 ? p - price(i - 1) : 0;
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
        },
        // a chunk's blocks: the changes entering and leaving each window,
        // their running sums over each block (sum16), the divisions four to
        // an instruction
        [&](int i, int nb, int mlast, rsi_state &st) STUDY_INLINE {
          block16 up[CHUNK], down[CHUNK];
          // the next chunks' bars on their way meanwhile (rows take every
          // fourth bar, which a long chart's prefetching does not follow)
          study_prefetch_bars(chart->bars, i + 32 * CHUNK, 16 * nb, count);
          for (int k = 0; k < nb; k++) {
            int at = i + 16 * k, m = k == nb - 1 ? mlast : 16;
            block16 p, o;
            gather16(p, price, at, m);
            gather16(o, price, at - n, m);
            for (int j = 0; j < 4; j++) {
              // the bars one before row j's
              study_v4d pp = p[(j + 3) & 3], oo = o[(j + 3) & 3];
              if (j == 0) {
                study_shift_in4(pp, price(at - 1));
                study_shift_in4(oo, price(at - n - 1));
              }
              study_v4d d = p[j] - pp, ad = STUDY_V4_ABS(d), dv = o[j] - oo, ao = STUDY_V4_ABS(dv);
              up[k][j] = 0.5 * (ad + d) - 0.5 * (ao + dv);
              down[k][j] = 0.5 * (ad - d) - 0.5 * (ao - dv);
            }
          }
          for (int k = 0; k < nb; k++) {
            sum16(up[k], st.up);
            sum16(down[k], st.down);
          }
          const study_v4d zero = {0, 0, 0, 0}, fifty = {50, 50, 50, 50};
          for (int k = 0; k < nb; k++) {
            block16 v;
            for (int j = 0; j < 4; j++) {
              study_v4d u = up[k][j], w = down[k][j];
              u = (study_v4d)((study_v4i)u & ~(u < zero));
              w = (study_v4d)((study_v4i)w & ~(w < zero));
              study_v4i moved = u + w > zero;
              study_v4d r = 100 * u / (u + w);
              v[j] = (study_v4d)(((study_v4i)r & moved) | ((study_v4i)fifty & ~moved));
            }
            store16(out + i + 16 * k, v, k == nb - 1 ? mlast : 16);
          }
        });
  });
  return 1;
}

STUDY_TWO_WAYS(rsi, (chart_rec * chart, StudyDef *s, int restart), (chart, s, restart))

int compute_rsi(chart_rec *chart, StudyDef *s, int restart) {
  return rsi_either(chart, s, restart);
}

// CCI of bars j = 0 .. m - 1 of a block (m a multiple of 2L, L the lanes
// of V) from the window's prices w (from the first bar of bar 0's window;
// bar j's price is w[j + n - 1]): (price - mean) / (0.015 * mean
// deviation), missing where the window never moved.  Each bar's window is
// summed in the pass (the same loads feed its sum and then its
// deviations), so that no running sum chains bar to bar and a bar's value
// depends on its window alone.  Bar j + 1's window is bar j's a bar later,
// so one load of w feeds L bars and neighbouring bars' passes overlap
// instead of waiting on each other.  Each bar's sums are taken in two
// interleaved sums (even and odd k); they differ from one sum by double
// rounding only.  Every width makes the same operations for each bar.
template <class V, class VI>
[[gnu::always_inline]] static inline void cci_pass(const double *w, int m, int n, double scale,
                                                   double *cci) {
  constexpr int L = sizeof(V) / sizeof(double);
  const V zero = {}, sc = zero + scale, missing = zero + (double)MISSING_VALUE,
          nv = zero + (double)n;
  const VI mask = (VI){} + 0x7fffffffffffffffLL;
  for (int j = 0; j < m; j += 2 * L) {
    V m0, m1, p0, p1, s00 = zero, s01 = zero, s10 = zero, s11 = zero;
    // acc += w for the L bars from lane u of the group at window place k
    // (vectors by reference: by value they would change the calling
    // convention between the compilations)
    auto sum = [&](V &acc, int u, int k) {
      V v;
      memcpy(&v, w + j + u + k, sizeof v);
      acc += v;
    };
    int k = 0;
    for (; k + 2 <= n; k += 2) {
      sum(s00, 0, k);
      sum(s01, L, k);
      sum(s10, 0, k + 1);
      sum(s11, L, k + 1);
    }
    if (k < n) {
      sum(s00, 0, k);
      sum(s01, L, k);
    }
    m0 = (s00 + s10) / nv;
    m1 = (s01 + s11) / nv;
    memcpy(&p0, w + j + n - 1, sizeof p0);
    memcpy(&p1, w + j + n - 1 + L, sizeof p1);
    s00 = s01 = s10 = s11 = zero;
    // acc += |mean - w|
    auto add = [&](V &acc, const V &mv, int u, int k) {
      V v;
      memcpy(&v, w + j + u + k, sizeof v);
      acc += (V)((VI)(mv - v) & mask);
    };
    k = 0;
    for (; k + 2 <= n; k += 2) {
      add(s00, m0, 0, k);
      add(s01, m1, L, k);
      add(s10, m0, 0, k + 1);
      add(s11, m1, L, k + 1);
    }
    if (k < n) {
      add(s00, m0, 0, k);
      add(s01, m1, L, k);
    }
    // (p - mean) / (0.015 * sum / n)
    V sum0 = s00 + s10, sum1 = s01 + s11;
    VI has0 = sum0 > zero, has1 = sum1 > zero;
    V c0 = (p0 - m0) * sc / sum0, c1 = (p1 - m1) * sc / sum1;
    c0 = (V)(((VI)c0 & has0) | ((VI)missing & ~has0));
    c1 = (V)(((VI)c1 & has1) | ((VI)missing & ~has1));
    memcpy(cci + j, &c0, sizeof c0);
    memcpy(cci + j + L, &c1, sizeof c1);
  }
}

#if defined(__x86_64__) || defined(__i386__)
// Sixteen bars to a group in 512-bit registers: half the instructions per
// window element.
[[gnu::noinline]] STUDY_512 static void cci_pass_512(const double *w, int m, int n, double scale,
                                                     double *cci) {
  cci_pass<study_v8d, study_v8i>(w, m, n, scale, cci);
}

#endif

// The same, two bars to a register: for the few bars of a live update, and
// for processors without 256-bit registers (where the vectors above would
// be split through memory).
[[gnu::noinline]] static void cci_pass_pairs(const double *w, int m, int n, double scale,
                                             double *cci) {
  for (int j = 0; j < m; j += 2) {
    const double *p = w + j;
    study_v2d s0 = {0, 0}, s1 = {0, 0};
    int k = 0;
    for (; k + 2 <= n; k += 2) {
      s0 += study_v2_load(p + k);
      s1 += study_v2_load(p + k + 1);
    }
    if (k < n) s0 += study_v2_load(p + k);
    study_v2d mv = (s0 + s1) / study_v2_splat(n);
    s0 = s1 = study_v2d{0, 0};
    k = 0;
    for (; k + 2 <= n; k += 2) {
      s0 += study_v2_abs(mv - study_v2_load(p + k));
      s1 += study_v2_abs(mv - study_v2_load(p + k + 1));
    }
    if (k < n) s0 += study_v2_abs(mv - study_v2_load(p + k));
    study_v2d sum = s0 + s1, pv = study_v2_load(p + n - 1);
    study_v2d c = (pv - mv) * study_v2_splat(scale) / sum;
    for (int u = 0; u < 2; u++) cci[j + u] = sum[u] > 0 ? c[u] : MISSING_VALUE;
  }
}

// The mean moves with every window, so the mean deviation measures every
// price of the window again: the pass is the formula's own cost.  Bars
// are taken in blocks: each price is made once per block (the typical
// price is a sum and a division, four to an instruction in the wide
// compilation), then eight or sixteen bars at a time share each load for
// their window sums and deviations (cci_pass), and the values go out four
// to an instruction.  A bar's value depends on its window alone: a live
// update computes the last bar again from its window (its block is that
// bar; nothing more is allocated).
template <int W>
STUDY_INLINE static inline int cci(chart_rec *chart, StudyDef *s, int restart) {
  int count = study_bar_count(chart, s);
  int n = study_period(s);
  cci_state st;
  int start = study_start(s, restart, n, count, n >= 1, 1, &st);
  if (start < 0) return 1;
  float *out = study_series(s, 0);
  for (int i = start; i < n - 1 && i < count; i++) out[i] = MISSING_VALUE;
  const int first = start > n - 1 ? start : n - 1;
  if (first >= count) {
    study_finish(s, st, count);
    return 1;
  }
  const int B = count - first < 512 ? count - first : 512;
  const int BP = (B + 15) & ~15;  // the block in whole groups of sixteen bars
  // one block of memory for the two buffers, on the stack when small
  size_t total = (size_t)BP + n + 16 + (size_t)BP;
  double small[256];
  std::vector<double> buf(total > 256 ? total : 0);
  double *w = total > 256 ? buf.data() : small, *cci = w + BP + n + 16;
  const double scale = n / 0.015;
#if defined(__x86_64__) || defined(__i386__)
  const bool has512 = W && study_has_512();
#else
  const bool has512 = false;
#endif
  with_price_type(chart->bars, s->price_type, [&](auto price) STUDY_INLINE {
    for (int blk = first; blk < count; blk += B) {
      int m = count - blk < B ? count - blk : B, mp = (m + 15) & ~15;
      int w0 = blk - n + 1, k = 0;
      // the next block's bars on their way while this one's passes run
      study_prefetch_bars(chart->bars, blk + B, m, count);
      for (; k + 4 <= m + n - 1; k += 4) {
        study_v4d v;
        study_gather4(v, price, w0 + k, 4);
        memcpy(w + k, &v, sizeof v);
      }
      for (; k < m + n - 1; k++) w[k] = price(w0 + k);
      // the groups' unused lanes see zeros
      for (k = m + n - 1; k < mp + n - 1; k++) w[k] = 0;
      // whole groups in the widest registers, the rest (a live update's
      // bar or two) two at a time
      int done = 0;
#if defined(__x86_64__) || defined(__i386__)
      if (has512 && m >= 16) {
        done = m & ~15;
        cci_pass_512(w, done, n, scale, cci);
      }
#endif
      if (W && m - done >= 8) {
        int m8 = (m - done) & ~7;
        cci_pass<study_v4d, study_v4i>(w + done, m8, n, scale, cci + done);
        done += m8;
      }
      if (done < m) cci_pass_pairs(w + done, m - done, n, scale, cci + done);
      for (k = 0; k + 4 <= m; k += 4) {
        study_v4d v;
        memcpy(&v, cci + k, sizeof v);
        study_store4(out + blk + k, v, 4);
      }
      for (; k < m; k++) out[blk + k] = study_out(cci[k]);
    }
  });
  study_finish(s, st, count);
  return 1;
}

STUDY_TWO_WAYS(cci, (chart_rec * chart, StudyDef *s, int restart), (chart, s, restart))

int compute_cci(chart_rec *chart, StudyDef *s, int restart) {
  // a live update's last bar or few go two at a time whatever the
  // processor: the plain compilation, which saves the wide one's entry
  // cost (the same values either way)
  cci_state st;
  study_load_state(s, &st);
  int count = study_bar_count(chart, s);
  if (!restart && st.index > 0 && st.index < count && count - st.index < 8)
    return cci_plain(chart, s, restart);
  return cci_either(chart, s, restart);
}

// VHF: |highest - lowest| over the window against the summed size of its
// changes.
template <int>
STUDY_INLINE static inline int vhf(chart_rec *chart, StudyDef *s, int restart) {
  int count = study_bar_count(chart, s);
  int n = study_period(s);
  vhf_state st;
  int start = study_start(s, restart, n, count, n >= 1, 1, &st);
  if (start < 0) return 1;
  float *out = study_series(s, 0);
  const chart_bar *bars = chart->bars;
  const int from = (n + 1 + 3) & ~3;
  with_price_type(bars, s->price_type, [&](auto x) STUDY_INLINE {
    window_extremes<decltype(x), decltype(x)> w(x, x, n, std::max(study_first4(start, from), n),
                                                count);
    extremes_ahead<decltype(w)> ahead(w, count);
    price_ahead<decltype(x)> prices(x, n, count);
    study_run4(
        s, start, count, from, st,
        [&](int i, vhf_state &st) STUDY_INLINE {
          if (i >= 1) st.dsum += std::fabs(x(i) - x(i - 1));
          if (i - n >= 1) st.dsum -= std::fabs(x(i - n) - x(i - n - 1));
          if (i < n) {
            out[i] = MISSING_VALUE;
            return;
          }
          w.step(i);
          out[i] = st.dsum > 0 ? study_out(std::fabs(w.hi - w.lo) / st.dsum) : MISSING_VALUE;
        },
        [&](int i, int m, vhf_state &st) STUDY_INLINE {
          study_v4d p, pp, o, oo, hi, lo, sum;
          prices.ends(i, m, p, pp, o, oo);
          study_path4(sum, p, pp, o, oo, st.dsum);
          ahead.get(i, m, hi, lo);
          const study_v4d zero = {0, 0, 0, 0};
          study_v4d v = STUDY_V4_ABS(hi - lo) / sum;
          study_store4_if(out + i, v, sum > zero, m);
        });
  });
  return 1;
}

STUDY_TWO_WAYS(vhf, (chart_rec * chart, StudyDef *s, int restart), (chart, s, restart))

int compute_vhf(chart_rec *chart, StudyDef *s, int restart) {
  return vhf_either(chart, s, restart);
}
