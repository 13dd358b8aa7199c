// Volume studies, the net-volume placeholder and the trading-system series.
#include "data/chart_flags.h"
#include "platform/clock.h"
#include "studies/study_internal.h"

namespace {

struct sum_state {
  int32_t index;
  int32_t pad;
  double a, b;
};

struct chaikin_state {
  int32_t index;
  int32_t pad;
  double ad, fast, slow;
};

// Intraday relative volume: the live update keeps, for the last bar it
// computed, the summed volume of the earlier days at that bar's time of
// day, so that a quote that changes that bar again needs no search back
// through the days (the earlier days' bars do not change under it).
struct irv_state {
  int32_t index;
  int32_t last;       // bar of the kept sum (above 0), else none
  int32_t last_time;  // its time
  int32_t pad;
  double last_sum;  // same_time_volume_sum of that bar
};

struct acc_state {
  int32_t index;
  int32_t cursor;      // bar of an earlier day at the same time of day
  int32_t days;        // days seen
  int32_t day;         // day number of the previous bar
  int32_t day_start;   // first bar of the previous bar's day
  int32_t prev_start;  // first bar of the day before it
};

}  // namespace

static inline double volume_of(const chart_bar *b) {
  return (double)b->volume;
}

int compute_nothing(chart_rec *, StudyDef *s, int) {
  study_bind_outputs(s);
  return 1;
}

// Carries the last value forward while the chart's window is recomputing.
int compute_keep_previous(chart_rec *chart, StudyDef *s, int) {
  study_bind_outputs(s);
  int count = study_bar_count(chart, s);
  if (count < 2 || !(chart->header.flags & CHART_RECALC)) return 1;
  float *out = study_series(s, 0);
  if ((s->type & 0xFFFF) == STUDY_TRADE_SIGNALS) {
    uint32_t w;
    memcpy(&w, &out[count - 2], 4);
    w &= 0x3FFFFF;
    memcpy(&out[count - 1], &w, 4);
  } else {
    out[count - 1] = out[count - 2];
  }
  return 1;
}

// v with its lanes that are not finite doubles (infinities, NaN) 0.
[[gnu::always_inline]] static inline void finite_or_zero4(study_v4d &v) {
  const study_v4i exp = {0x7ff0000000000000LL, 0x7ff0000000000000LL, 0x7ff0000000000000LL,
                         0x7ff0000000000000LL};
  v = (study_v4d)((study_v4i)v & (((study_v4i)v & exp) != exp));
}

// Fields of bars i .. i + m - 1 as doubles, lanes from m on 0.  A field's
// four values are loaded one by one (the loads and conversions take fewer
// cycles than loading the bars' rows and turning them over with shuffles);
// a group cut short reads its bars one by one, never past them.
struct bars4 {
  study_v4d high, low, close, volume, extra;
};

[[gnu::always_inline]] static inline void load_bars4(const chart_bar *b, int i, int m, bars4 &f) {
  if (m == 4) {
    const chart_bar *p = b + i;
    f.high = study_v4d{p[0].high, p[1].high, p[2].high, p[3].high};
    f.low = study_v4d{p[0].low, p[1].low, p[2].low, p[3].low};
    f.close = study_v4d{p[0].close, p[1].close, p[2].close, p[3].close};
    f.volume = study_v4d{(double)p[0].volume, (double)p[1].volume, (double)p[2].volume,
                         (double)p[3].volume};
    f.extra =
        study_v4d{(double)p[0].extra, (double)p[1].extra, (double)p[2].extra, (double)p[3].extra};
    return;
  }
  f.high = f.low = f.close = f.volume = f.extra = study_v4d{0, 0, 0, 0};
  for (int j = 0; j < m; j++) {
    f.high[j] = b[i + j].high;
    f.low[j] = b[i + j].low;
    f.close[j] = b[i + j].close;
    f.volume[j] = b[i + j].volume;
    f.extra[j] = b[i + j].extra;
  }
}

// ad_contribution of bars i .. i + m - 1, lanes from m on 0: the same
// operations lane by lane, so each bar's value is the bar-by-bar one.
[[gnu::always_inline]] static inline void ad_contribution4(const chart_bar *b, int i, int m,
                                                           study_v4d &c) {
  bars4 f;
  load_bars4(b, i, m, f);
  const study_v4d zero = {0, 0, 0, 0};
  study_v4d range = f.high - f.low;
  c = ((f.close - f.low) - (f.high - f.close)) / range * f.volume;
  finite_or_zero4(c);
  c = (study_v4d)((study_v4i)c & (range != zero));
}

// d += s and s = d[3] (d the group's running sums, s the sum before it),
// s taken as d[3] + s on its own: the chain from group to group is one
// addition, the lanes are made beside it.  The same values as d += s.
[[gnu::always_inline]] static inline void carry_sum4(study_v4d &d, double &s) {
  double s0 = s;
  s = d[3] + s0;
  d += s0;
}

// ---- Eight bars to a vector ------------------------------------------------
// On processors with 512-bit registers the long runs take their full groups
// of four two at a time, eight bars to a vector: each half of a vector
// goes through the operations of a group of four (the running sums within
// the half, the sum carried in from the group before), so that the values
// are those of the four-bar groups bit for bit.  A group's fields are taken
// from the bars' rows as they stand in memory, four loads and a few
// permutations for eight bars.
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
typedef float vol_v16f __attribute__((vector_size(64)));
typedef float vol_v8f __attribute__((vector_size(32)));
typedef int vol_v8si __attribute__((vector_size(32)));
typedef float vol_v8f_at __attribute__((vector_size(32), aligned(4)));

// Words A, B, C, D (as in chart_bar: 1 high, 2 low, 3 close, 4 volume,
// 5 extra) of the eight bars from p, as they stand (floats, or whole
// numbers by their bits).
template <int A, int B, int C, int D>
[[gnu::always_inline]] STUDY_512 static inline void load_words8(const chart_bar *p, vol_v8f &a,
                                                                vol_v8f &b, vol_v8f &c,
                                                                vol_v8f &d) {
  vol_v16f z0, z1, z2, z3;
  memcpy(&z0, p, sizeof z0);
  memcpy(&z1, p + 2, sizeof z1);
  memcpy(&z2, p + 4, sizeof z2);
  memcpy(&z3, p + 6, sizeof z3);
  vol_v16f t0 = __builtin_shufflevector(z0, z1, A, A + 8, A + 16, A + 24, B, B + 8, B + 16, B + 24,
                                        C, C + 8, C + 16, C + 24, D, D + 8, D + 16, D + 24);
  vol_v16f t1 = __builtin_shufflevector(z2, z3, A, A + 8, A + 16, A + 24, B, B + 8, B + 16, B + 24,
                                        C, C + 8, C + 16, C + 24, D, D + 8, D + 16, D + 24);
  vol_v16f ab =
      __builtin_shufflevector(t0, t1, 0, 1, 2, 3, 16, 17, 18, 19, 4, 5, 6, 7, 20, 21, 22, 23);
  vol_v16f cd =
      __builtin_shufflevector(t0, t1, 8, 9, 10, 11, 24, 25, 26, 27, 12, 13, 14, 15, 28, 29, 30, 31);
  a = __builtin_shufflevector(ab, ab, 0, 1, 2, 3, 4, 5, 6, 7);
  b = __builtin_shufflevector(ab, ab, 8, 9, 10, 11, 12, 13, 14, 15);
  c = __builtin_shufflevector(cd, cd, 0, 1, 2, 3, 4, 5, 6, 7);
  d = __builtin_shufflevector(cd, cd, 8, 9, 10, 11, 12, 13, 14, 15);
}

// Floats, and whole numbers by their bits, as doubles (one instruction
// each: g++ makes two halves of a generic conversion).
[[gnu::always_inline]] STUDY_512 static inline void vol_float8(const vol_v8f &f, study_v8d &d) {
  d = (study_v8d)_mm512_maskz_cvtps_pd((__mmask8)-1, (__m256)f);
}

[[gnu::always_inline]] STUDY_512 static inline void vol_whole8(const vol_v8f &f, study_v8d &d) {
  d = (study_v8d)_mm512_maskz_cvtepi32_pd((__mmask8)-1, (__m256i)f);
}

// High, low, close and volume of the eight bars from p as doubles.
struct bars8 {
  study_v8d high, low, close, volume;
};

[[gnu::always_inline]] STUDY_512 static inline void load_bars8(const chart_bar *p, bars8 &f) {
  vol_v8f h, l, c, v;
  load_words8<1, 2, 3, 4>(p, h, l, c, v);
  vol_float8(h, f.high);
  vol_float8(l, f.low);
  vol_float8(c, f.close);
  vol_whole8(v, f.volume);
}

[[gnu::always_inline]] STUDY_512 static inline void finite_or_zero8(study_v8d &v) {
  const study_v8i exp = study_v8i{} + 0x7ff0000000000000LL;
  v = (study_v8d)((study_v8i)v & (((study_v8i)v & exp) != exp));
}

// Each half's lanes from the lanes before them in the half (study_prefix4
// of each half).
[[gnu::always_inline]] STUDY_512 static inline void vol_prefix8(study_v8d &d) {
  const study_v8d zero = {};
  d += __builtin_shufflevector(d, zero, 8, 0, 1, 2, 8, 4, 5, 6);
  d += __builtin_shufflevector(d, zero, 8, 8, 0, 1, 8, 8, 4, 5);
}

// STUDY_V4_SHIFT1 of each half.
[[gnu::always_inline]] STUDY_512 static inline study_v8d vol_shift8(const study_v8d &d) {
  return __builtin_shufflevector(d, study_v8d{}, 8, 0, 1, 2, 8, 4, 5, 6);
}

// The sums carried into each half: s before the first, the first half's
// last running sum added to it before the second (carry_sum4 twice); s
// becomes the second half's carried on.  s is held in every lane, so that
// the sums are made lane by lane without moving them out of the vector
// and back (the same additions).
[[gnu::always_inline]] STUDY_512 static inline study_v8d vol_carry8(const study_v8d &d,
                                                                    study_v8d &s) {
  study_v8d s1 = __builtin_shufflevector(d, d, 3, 3, 3, 3, 3, 3, 3, 3) + s;
  study_v8d c = (study_v8d)_mm512_mask_blend_pd((__mmask8)0xF0, (__m512d)s, (__m512d)s1);
  s = __builtin_shufflevector(d, d, 7, 7, 7, 7, 7, 7, 7, 7) + s1;
  return c;
}

// The eight-bar kernels take their bars a block at a time: first what
// each bar needs without the sums carried from bar to bar (fields, terms,
// divisions, the running sums within each half) into the block, then the
// carried sums, so that the chain from vector to vector waits on nothing
// else.  Bars to a block (a multiple of 8).
enum { VOL_BLOCK = 128 };

// study_store4 of eight lanes.
[[gnu::always_inline]] STUDY_512 static inline void vol_store8(float *out, const study_v8d &v) {
  vol_v8f f = __builtin_convertvector(v, vol_v8f);
  const vol_v8si exp = vol_v8si{} + 0x7f800000;
  vol_v8si finite = ((vol_v8si)f & exp) != exp;
  f = (vol_v8f)(((vol_v8si)f & finite) | ((vol_v8si)(vol_v8f{} + MISSING_VALUE) & ~finite));
  *(vol_v8f_at *)out = f;
}

// study_store4_if of eight lanes.
[[gnu::always_inline]] STUDY_512 static inline void vol_store8_if(float *out, const study_v8d &v,
                                                                  const study_v8i &keep) {
  const study_v8d missing = study_v8d{} + MISSING_VALUE;
  vol_store8(out, (study_v8d)(((study_v8i)v & keep) | ((study_v8i)missing & ~keep)));
}
#else
#endif

// study_run4 with its full groups before the one that holds the last bar
// handed, as many as make whole pairs, to pairs(i, e, st) (bars [i, e),
// e - i a multiple of 8) when `eight`.
template <class S, class Step, class Group, class Pairs>
STUDY_INLINE static inline void run4_pairs(StudyDef *s, int start, int count, int from, S &st,
                                           bool eight, Step step, Group group, Pairs pairs) {
  S run = st;
  int i = study_steps_to(s, study_first4(start, from), from, count, run, step);
  if (i < count) {
    int last = (count - 1) & ~3;
    if (eight && last - i >= 8) {
      int e = i + ((last - i) & ~7);
      pairs(i, e, run);
      i = e;
    }
    for (; count - i > 4; i += 4) group(i, 4, run);
    run.index = count - 1;
    study_save_state(s, run);
    group(i, count - i, run);
  }
  st = run;
}

#ifdef STUDY_512
// net_volume_ratio's groups over bars [i, e), eight bars to a vector; a, b
// the sums before them, then after.
[[gnu::noinline]] STUDY_512 static void net_volume_ratio_512(const chart_bar *bars, float *out,
                                                             int i, int e, int n, double &sa,
                                                             double &sb) {
  study_v8d ra = study_v8d{} + sa, rb = study_v8d{} + sb;
  study_v8d bx[VOL_BLOCK / 8], bv[VOL_BLOCK / 8], bda[VOL_BLOCK / 8], bdb[VOL_BLOCK / 8];
  for (int m; i < e; i += m) {
    m = e - i < VOL_BLOCK ? e - i : VOL_BLOCK;
    for (int j = 0; j < m; j += 8) {
      vol_v8f fv, fe, gv, ge;
      load_words8<4, 5, 4, 5>(bars + i + j, fv, fe, fv, fe);
      load_words8<4, 5, 4, 5>(bars + i + j - n + 1, gv, ge, gv, ge);
      study_v8d fx, fvol, gx, gvol;
      vol_whole8(fe, fx);
      vol_whole8(fv, fvol);
      vol_whole8(ge, gx);
      vol_whole8(gv, gvol);
      study_v8d da = fx - gx, db = fvol - gvol;
      vol_prefix8(da);
      vol_prefix8(db);
      bx[j / 8] = fx;
      bv[j / 8] = fvol;
      bda[j / 8] = da;
      bdb[j / 8] = db;
    }
    for (int j = 0; j < m; j += 8) {
      study_v8d da = bda[j / 8], db = bdb[j / 8];
      study_v8d a = (vol_shift8(da) + vol_carry8(da, ra)) + bx[j / 8];
      study_v8d b = (vol_shift8(db) + vol_carry8(db, rb)) + bv[j / 8];
      study_v8d r = a / b * 100;
      vol_store8_if(out + i + j, r, b != study_v8d{});
    }
  }
  sa = ra[0];
  sb = rb[0];
}
#endif

// Sum of the extra word over the sum of the volume in the window, x 100.
// Bar by bar until the window is full, then four bars at a time: the
// window sums as running sums over the group (whole numbers: exact in any
// order), the ratios four to a division.
template <int W>
STUDY_INLINE static inline int net_volume_ratio(chart_rec *chart, StudyDef *s, int restart) {
  int count = study_bar_count(chart, s);
  int n = study_period(s);
  sum_state st;
  int start = study_start(s, restart, n, count, n >= 1, 1, &st);
  if (start < 0) return 1;
  float *out = study_series(s, 0);
  const chart_bar *bars = chart->bars;
  run4_pairs(
      s, start, count, (n + 2) & ~3, st, W && study_has_512(),
      [&](int i, sum_state &st) STUDY_INLINE {
        st.a += bars[i].extra;
        st.b += volume_of(&bars[i]);
        if (i < n - 1) {
          out[i] = MISSING_VALUE;
          return;
        }
        out[i] = st.b != 0 ? study_out(st.a / st.b * 100) : MISSING_VALUE;
        st.a -= bars[i - n + 1].extra;
        st.b -= volume_of(&bars[i - n + 1]);
      },
      [&](int i, int m, sum_state &st) STUDY_INLINE {
        bars4 f, g;
        load_bars4(bars, i, m, f);
        load_bars4(bars, i - n + 1, m, g);
        study_v4d da = f.extra - g.extra, db = f.volume - g.volume;
        study_prefix4(da);
        study_prefix4(db);
        // the sums hold the window less its oldest bar between bars
        study_v4d a = STUDY_V4_SHIFT1(da) + st.a + f.extra;
        study_v4d b = STUDY_V4_SHIFT1(db) + st.b + f.volume;
        st.a += da[3];
        st.b += db[3];
        const study_v4d zero = {0, 0, 0, 0};
        study_v4d r = a / b * 100;
        study_store4_if(out + i, r, b != zero, m);
      },
      [&](int i, int e, sum_state &st) STUDY_INLINE {
#ifdef STUDY_512
        net_volume_ratio_512(bars, out, i, e, n, st.a, st.b);
#endif
      });
  return 1;
}

STUDY_TWO_WAYS(net_volume_ratio, (chart_rec * chart, StudyDef *s, int restart), (chart, s, restart))

int compute_net_volume_ratio(chart_rec *chart, StudyDef *s, int restart) {
  return net_volume_ratio_either(chart, s, restart);
}

// The two sums of contributions over a window (run_contribution_sum).
enum { TERM_OBV, TERM_PVT };

#ifdef STUDY_512
// The contributions of the eight bars from p (the group of the sum K).
template <int K>
[[gnu::always_inline]] STUDY_512 static inline void term8(const chart_bar *p, study_v8d &v) {
  bars8 f;
  load_bars8(p, f);
  study_v8d pc =
      __builtin_shufflevector(f.close, study_v8d{} + (double)p[-1].close, 8, 0, 1, 2, 3, 4, 5, 6);
  if constexpr (K == TERM_OBV) {
    study_v8i up = f.close > pc, down = f.close < pc;
    v = (study_v8d)((study_v8i)f.volume & up) - (study_v8d)((study_v8i)f.volume & down);
  } else {
    v = (f.close - pc) / pc * f.volume;
    finite_or_zero8(v);
    v = (study_v8d)((study_v8i)v & (pc != study_v8d{}));
  }
}

// run_contribution_sum's groups over bars [i, e), eight bars to a vector;
// the ring as there (mask 0: none), s the sum before them, then after.
template <int K>
[[gnu::noinline]] STUDY_512 static void contribution_sum_512(const chart_bar *bars, float *out,
                                                             int i, int e, int n, double *r,
                                                             int mask, double &s) {
  study_v8d run = study_v8d{} + s;
  study_v8d bv[VOL_BLOCK / 8], bd[VOL_BLOCK / 8];
  for (int m; i < e; i += m) {
    m = e - i < VOL_BLOCK ? e - i : VOL_BLOCK;
    for (int j = 0; j < m; j += 8) {
      int k = i + j;
      study_v8d v, drop;
      term8<K>(bars + k, v);
      if (mask) {
        study_v4d lo = __builtin_shufflevector(v, v, 0, 1, 2, 3);
        study_v4d hi = __builtin_shufflevector(v, v, 4, 5, 6, 7);
        int p = k & mask, q = (k + 4) & mask;
        memcpy(r + p, &lo, sizeof lo);
        memcpy(r + p + mask + 1, &lo, sizeof lo);
        memcpy(r + q, &hi, sizeof hi);
        memcpy(r + q + mask + 1, &hi, sizeof hi);
        memcpy(&drop, r + ((k - n + 1) & mask), sizeof drop);
      } else {
        term8<K>(bars + k - n + 1, drop);
      }
      study_v8d d = v - drop;
      vol_prefix8(d);
      bv[j / 8] = v;
      bd[j / 8] = d;
    }
    for (int j = 0; j < m; j += 8) {
      study_v8d d = bd[j / 8];
      study_v8d a = vol_shift8(d);
      a = (a + vol_carry8(d, run)) + bv[j / 8];
      vol_store8(out + i + j, a);
    }
  }
  s = run[0];
}
#endif

// Window sum of per-bar contributions c(k), k >= 1; first value at slot n.
// Bar by bar until the window is past bar 0, then four bars at a time:
// group(b, k, m, v) gives c(k .. k + m - 1), the same operations as c lane
// by lane; the window sums go as running sums over the group.  A long run
// keeps the contributions of the window's bars in a ring (each twice, so
// that eight neighbours are always one load) and takes the bar leaving the
// window from it; a short one makes that bar's contribution again.  The
// values are the same either way, and with 512-bit registers (the groups
// two at a time, W the kernel's compilation, K the sum).
template <int W, int K, class C, class G>
STUDY_INLINE static inline int run_contribution_sum(chart_rec *chart, StudyDef *s, int restart,
                                                    C contribution, G group) {
  int count = study_bar_count(chart, s);
  int n = study_period(s);
  sum_state st;
  int start = study_start(s, restart, n, count, n >= 1, 1, &st);
  if (start < 0) return 1;
  float *out = study_series(s, 0);
  const chart_bar *bars = chart->bars;
  const int from = (n + 3) & ~3;
  std::vector<double> ring;
  int mask = 0;
  if (count - start > 256 && n <= 4096) {
    int r = 8;
    while (r < n + 8) r *= 2;
    ring.resize(2 * (size_t)r);
    mask = r - 1;
  }
  bool filled = false;
  // the window's bars before the first group into the ring
  auto fill = [&](int i) STUDY_INLINE {
    double *r = ring.data();
    for (int k = i - n + 1; k < i; k += 4) {
      study_v4d w;
      group(bars, k, i - k < 4 ? i - k : 4, w);
      for (int l = 0; l < 4 && k + l < i; l++)
        r[(k + l) & mask] = r[((k + l) & mask) + mask + 1] = w[l];
    }
    filled = true;
  };
  run4_pairs(
      s, start, count, from, st, W && study_has_512(),
      [&](int i, sum_state &st) STUDY_INLINE {
        if (i >= 1) st.a += contribution(bars, i);
        if (i < n) {
          out[i] = MISSING_VALUE;
          return;
        }
        out[i] = study_out(st.a);
        st.a -= contribution(bars, i - n + 1);
      },
      [&](int i, int m, sum_state &st) STUDY_INLINE {
        study_v4d v, drop;
        group(bars, i, m, v);
        if (mask && m == 4) {
          double *r = ring.data();
          if (!filled) fill(i);
          int p = i & mask;
          memcpy(r + p, &v, sizeof v);
          memcpy(r + p + mask + 1, &v, sizeof v);
          memcpy(&drop, r + ((i - n + 1) & mask), sizeof drop);
        } else {
          group(bars, i - n + 1, m, drop);
        }
        study_v4d d = v - drop;
        study_prefix4(d);
        study_v4d a = STUDY_V4_SHIFT1(d);
        double s0 = st.a;
        st.a = d[3] + s0;
        a = (a + s0) + v;
        study_store4(out + i, a, m);
      },
      [&](int i, int e, sum_state &st) STUDY_INLINE {
#ifdef STUDY_512
        if (mask && !filled) fill(i);
        contribution_sum_512<K>(bars, out, i, e, n, ring.data(), mask, st.a);
#endif
      });
  return 1;
}

// Closes of bars k - 1 .. k + 2 (the bars before those of f, from k).
[[gnu::always_inline]] static inline void previous_closes4(const chart_bar *b, int k,
                                                           const bars4 &f, study_v4d &pc) {
  pc = __builtin_shufflevector(f.close, study_v4d{0, 0, 0, 0} + (double)b[k - 1].close, 4, 0, 1, 2);
}

template <int W>
STUDY_INLINE static inline int obv(chart_rec *chart, StudyDef *s, int restart) {
  return run_contribution_sum<W, TERM_OBV>(
      chart, s, restart,
      [](const chart_bar *b, int k) STUDY_INLINE {
        int dir = (b[k].close > b[k - 1].close) - (b[k].close < b[k - 1].close);
        return dir * volume_of(&b[k]);
      },
      [](const chart_bar *b, int k, int m, study_v4d &v) STUDY_INLINE {
        bars4 f;
        study_v4d pc;
        load_bars4(b, k, m, f);
        previous_closes4(b, k, f, pc);
        study_v4i up = f.close > pc, down = f.close < pc;
        v = (study_v4d)((study_v4i)f.volume & up) - (study_v4d)((study_v4i)f.volume & down);
      });
}

STUDY_TWO_WAYS(obv, (chart_rec * chart, StudyDef *s, int restart), (chart, s, restart))

int compute_obv(chart_rec *chart, StudyDef *s, int restart) {
  return obv_either(chart, s, restart);
}

// A bar after a zero close has no relative change: it adds nothing.
template <int W>
STUDY_INLINE static inline int pvt(chart_rec *chart, StudyDef *s, int restart) {
  return run_contribution_sum<W, TERM_PVT>(
      chart, s, restart,
      [](const chart_bar *b, int k) STUDY_INLINE {
        double pc = b[k - 1].close;
        if (pc == 0) return 0.0;
        double c = ((double)b[k].close - pc) / pc * volume_of(&b[k]);
        return std::isfinite(c) ? c : 0.0;
      },
      [](const chart_bar *b, int k, int m, study_v4d &v) STUDY_INLINE {
        bars4 f;
        study_v4d pc;
        load_bars4(b, k, m, f);
        previous_closes4(b, k, f, pc);
        const study_v4d zero = {0, 0, 0, 0};
        v = (f.close - pc) / pc * f.volume;
        finite_or_zero4(v);
        v = (study_v4d)((study_v4i)v & (pc != zero));
      });
}

STUDY_TWO_WAYS(pvt, (chart_rec * chart, StudyDef *s, int restart), (chart, s, restart))

int compute_pvt(chart_rec *chart, StudyDef *s, int restart) {
  return pvt_either(chart, s, restart);
}

// Money flow of one bar; a bar whose high equals its low adds nothing.
static inline double ad_contribution(const chart_bar *b) {
  double range = (double)b->high - b->low;
  if (range == 0) return 0;
  double c = (((double)b->close - b->low) - ((double)b->high - b->close)) / range * volume_of(b);
  return std::isfinite(c) ? c : 0;
}

#ifdef STUDY_512
// ad_contribution4 of the eight bars from p.
[[gnu::always_inline]] STUDY_512 static inline void ad_contribution8(const chart_bar *p,
                                                                     study_v8d &c) {
  bars8 f;
  load_bars8(p, f);
  study_v8d range = f.high - f.low;
  c = ((f.close - f.low) - (f.high - f.close)) / range * f.volume;
  finite_or_zero8(c);
  c = (study_v8d)((study_v8i)c & (range != study_v8d{}));
}

// The line's groups over bars [i, e), eight bars to a vector; s the sum
// before them, then after.
[[gnu::noinline]] STUDY_512 static void ad_line_512(const chart_bar *bars, float *out, int i, int e,
                                                    double &s) {
  study_v8d run = study_v8d{} + s;
  study_v8d blk[VOL_BLOCK / 8];
  for (int m; i < e; i += m) {
    m = e - i < VOL_BLOCK ? e - i : VOL_BLOCK;
    for (int j = 0; j < m; j += 8) {
      ad_contribution8(bars + i + j, blk[j / 8]);
      vol_prefix8(blk[j / 8]);
    }
    for (int j = 0; j < m; j += 8) {
      study_v8d c = blk[j / 8];
      c += vol_carry8(c, run);
      vol_store8(out + i + j, c);
    }
  }
  s = run[0];
}
#endif

// The line is a running sum: four bars at a time, the group's own part in
// two doubling steps and the sum carried in from the groups before.
template <int W>
STUDY_INLINE static inline int ad_line(chart_rec *chart, StudyDef *s, int restart) {
  int count = study_bar_count(chart, s);
  sum_state st;
  int start = study_start(s, restart, 0, count, true, 1, &st);
  float *out = study_series(s, 0);
  const chart_bar *bars = chart ? chart->bars : nullptr;
  run4_pairs(
      s, start, count, 0, st, W && study_has_512(),
      [&](int i, sum_state &st) STUDY_INLINE {
        st.a += ad_contribution(&bars[i]);
        out[i] = study_out(st.a);
      },
      [&](int i, int m, sum_state &st) STUDY_INLINE {
        study_v4d c;
        ad_contribution4(bars, i, m, c);
        study_prefix4(c);
        carry_sum4(c, st.a);
        study_store4(out + i, c, m);
      },
      [&](int i, int e, sum_state &st) STUDY_INLINE {
#ifdef STUDY_512
        ad_line_512(bars, out, i, e, st.a);
#endif
      });
  return 1;
}

STUDY_TWO_WAYS(ad_line, (chart_rec * chart, StudyDef *s, int restart), (chart, s, restart))

int compute_ad_line(chart_rec *chart, StudyDef *s, int restart) {
  return ad_line_either(chart, s, restart);
}

// Weights of the Chaikin oscillator over a group of four bars, lane j
// (bar j of the group): mj[m] of contribution m (0 from lane j + 1 on), wa
// of the line before the group, wf and ws of the fast and slow averages
// before it; carry[m] gives contribution m's weight in {line, fast, slow}
// after the group, ca the weight of the line before it there, cw that of
// the two averages themselves.  Worked out once: a live update needs them
// too.
struct chaikin_weights {
  study_v4d mj[4], carry[4], wa, wf, ws, ca, cw;
  chaikin_weights(double k2, double k9) {
    double ff[4], sf[4];  // weight of ad at lane l in fast / slow at lane j
    double fa[4], sa[4], df[4][4], ds[4][4];
    double pf = 1, ps = 1;
    for (int j = 0; j < 4; j++) {
      pf *= 0.5;
      ps *= k9;
      wf[j] = pf;
      ws[j] = ps;
    }
    for (int j = 0; j < 4; j++) {
      // ad_l's weight in fast_j: 0.5 * 0.5^(j - l); in slow_j: k2 k9^(j - l)
      for (int l = 0; l <= j; l++) {
        double ef = 0.5, es = k2;
        for (int t = l; t < j; t++) {
          ef *= 0.5;
          es *= k9;
        }
        ff[l] = ef;
        sf[l] = es;
      }
      fa[j] = sa[j] = 0;
      for (int l = 0; l <= j; l++) {
        fa[j] += ff[l];
        sa[j] += sf[l];
      }
      // contribution m enters ad_l for l >= m
      for (int m = 0; m < 4; m++) {
        df[j][m] = ds[j][m] = 0;
        for (int l = m; l <= j; l++) {
          df[j][m] += ff[l];
          ds[j][m] += sf[l];
        }
      }
      wa[j] = fa[j] - sa[j];
    }
    for (int m = 0; m < 4; m++) {
      for (int j = 0; j < 4; j++) mj[m][j] = df[j][m] - ds[j][m];
      carry[m] = study_v4d{1, df[3][m], ds[3][m], 0};
    }
    ca = study_v4d{0, fa[3], sa[3], 0};
    cw = study_v4d{0, wf[3], ws[3], 0};
  }
};

#ifdef STUDY_512
// The Chaikin oscillator's groups over bars [i, e), two at a time: each
// half of a vector takes its group's weightings (chaikin_weights), the
// line and averages carried from the first group to the second between
// them.  ad, fast, slow: before the groups, then after.
[[gnu::noinline]] STUDY_512 static void chaikin_512(const chart_bar *bars, float *out, int i, int e,
                                                    const chaikin_weights &w, double &ad,
                                                    double &fast, double &slow) {
  study_v8d mj[4], carry[4];
  for (int m = 0; m < 4; m++) {
    mj[m] = __builtin_shufflevector(w.mj[m], w.mj[m], 0, 1, 2, 3, 4, 5, 6, 7);
    carry[m] = __builtin_shufflevector(w.carry[m], w.carry[m], 0, 1, 2, 3, 4, 5, 6, 7);
  }
  const study_v8d wa = __builtin_shufflevector(w.wa, w.wa, 0, 1, 2, 3, 4, 5, 6, 7);
  const study_v8d wf = __builtin_shufflevector(w.wf, w.wf, 0, 1, 2, 3, 4, 5, 6, 7);
  const study_v8d ws = __builtin_shufflevector(w.ws, w.ws, 0, 1, 2, 3, 4, 5, 6, 7);
  const double ca1 = w.ca[1], ca2 = w.ca[2], cw1 = w.cw[1], cw2 = w.cw[2];
  double a0 = ad, f0 = fast, s0 = slow;
  study_v8d bo[VOL_BLOCK / 8], bc[VOL_BLOCK / 8];
  for (int m; i < e; i += m) {
    m = e - i < VOL_BLOCK ? e - i : VOL_BLOCK;
    for (int j = 0; j < m; j += 8) {
      study_v8d d;
      ad_contribution8(bars + i + j, d);
      study_v8d d0 = __builtin_shufflevector(d, d, 0, 0, 0, 0, 4, 4, 4, 4);
      study_v8d d1 = __builtin_shufflevector(d, d, 1, 1, 1, 1, 5, 5, 5, 5);
      study_v8d d2 = __builtin_shufflevector(d, d, 2, 2, 2, 2, 6, 6, 6, 6);
      study_v8d d3 = __builtin_shufflevector(d, d, 3, 3, 3, 3, 7, 7, 7, 7);
      bo[j / 8] = (mj[0] * d0 + mj[1] * d1) + (mj[2] * d2 + mj[3] * d3);
      bc[j / 8] = (carry[0] * d0 + carry[1] * d1) + (carry[2] * d2 + carry[3] * d3);
    }
    for (int j = 0; j < m; j += 8) {
      const study_v8d &c = bc[j / 8];
      // the first group's carries, then the second's, lane by lane as
      // c += ca * a0 and the three sums of the four-bar groups; the line
      // has no weight of its own there (ca[0] is 0, the line is finite:
      // terms of floats over a float range), so a0 + (c[0] + 0 * a0) is
      // a0 + c[0], down to the sign of a zero
      double a1 = a0 + c[0];
      double f1 = cw1 * f0 + (c[1] + ca1 * a0);
      double s1 = cw2 * s0 + (c[2] + ca2 * a0);
      double a2 = a1 + c[4];
      double f2 = cw1 * f1 + (c[5] + ca1 * a1);
      double s2 = cw2 * s1 + (c[6] + ca2 * a1);
      study_v8d av = {a0, a0, a0, a0, a1, a1, a1, a1};
      study_v8d fv = {f0, f0, f0, f0, f1, f1, f1, f1};
      study_v8d sv = {s0, s0, s0, s0, s1, s1, s1, s1};
      study_v8d o = bo[j / 8] + ((wa * av + wf * fv) - ws * sv);
      vol_store8(out + i + j, o);
      a0 = a2;
      f0 = f2;
      s0 = s2;
    }
  }
  ad = a0;
  fast = f0;
  slow = s0;
}
#endif

// The line as in ad_line and its two exponential averages, bar by bar
// through the first values, then four bars at a time.  Over a group each
// bar's oscillator value is a fixed weighting of the group's contributions
// and of the line and the two averages before it (the fast average
// (fast + ad) / 2 is 0.5 fast + 0.5 ad): the weights are worked out once, so
// that a group takes each contribution to all four bars by one broadcast
// and no running sums; the three values carried to the next group are
// weightings of the same broadcasts.
template <int W>
STUDY_INLINE static inline int chaikin(chart_rec *chart, StudyDef *s, int restart) {
  int count = study_bar_count(chart, s);
  chaikin_state st;
  int start = study_start(s, restart || count < 10, 0, count, true, 1, &st);
  float *out = study_series(s, 0);
  const chart_bar *bars = chart ? chart->bars : nullptr;
  // 2/11 and 9/11 as factors: the chain from bar to bar has no division
  const double k2 = 2.0 / 11, k9 = 9.0 / 11;
  static const chaikin_weights cw_(k2, k9);
  const study_v4d *mj = cw_.mj, *carry = cw_.carry;
  const study_v4d &wa = cw_.wa, &wf = cw_.wf, &ws = cw_.ws, &ca = cw_.ca, &cw = cw_.cw;
  run4_pairs(
      s, start, count, 12, st, W && study_has_512(),
      [&](int i, chaikin_state &st) STUDY_INLINE {
        st.ad += ad_contribution(&bars[i]);
        st.fast = (st.fast + st.ad) * 0.5;
        st.slow = st.ad * k2 + st.slow * k9;
        out[i] = i < 9 ? MISSING_VALUE : study_out(st.fast - st.slow);
      },
      [&](int i, int m, chaikin_state &st) STUDY_INLINE {
        study_v4d d;
        ad_contribution4(bars, i, m, d);
        study_v4d d0 = __builtin_shufflevector(d, d, 0, 0, 0, 0);
        study_v4d d1 = __builtin_shufflevector(d, d, 1, 1, 1, 1);
        study_v4d d2 = __builtin_shufflevector(d, d, 2, 2, 2, 2);
        study_v4d d3 = __builtin_shufflevector(d, d, 3, 3, 3, 3);
        study_v4d o = (mj[0] * d0 + mj[1] * d1) + (mj[2] * d2 + mj[3] * d3);
        study_v4d c = (carry[0] * d0 + carry[1] * d1) + (carry[2] * d2 + carry[3] * d3);
        double a0 = st.ad, f0 = st.fast, s0 = st.slow;
        o += (wa * a0 + wf * f0) - ws * s0;
        c += ca * a0;
        st.ad = a0 + c[0];
        st.fast = cw[1] * f0 + c[1];
        st.slow = cw[2] * s0 + c[2];
        study_store4(out + i, o, m);
      },
      [&](int i, int e, chaikin_state &st) STUDY_INLINE {
#ifdef STUDY_512
        chaikin_512(bars, out, i, e, cw_, st.ad, st.fast, st.slow);
#endif
      });
  return 1;
}

STUDY_TWO_WAYS(chaikin, (chart_rec * chart, StudyDef *s, int restart), (chart, s, restart))

int compute_chaikin(chart_rec *chart, StudyDef *s, int restart) {
  return chaikin_either(chart, s, restart);
}

// Replaces series 1 from the last bar back to `from` by the mean of the
// last p values of series 2 (p = integer part of p1, when above 1).
static void smooth_series(StudyDef *s, int from, int count) {
  int p = study_param_int(s->p1);
  if (p <= 1) return;
  float *out = study_series(s, 0), *raw = study_series(s, 1);
  if (from < p - 1) from = p - 1;
  // In bar order, with the reciprocal of p made once: a division per bar
  // would cost more than the sum.
  double inv_p = 1.0 / p;
  for (int i = from; i < count; i++) {
    double sum = 0;
    int k = i - p + 1;
    for (; k <= i && !study_is_missing(raw[k]); k++) sum += raw[k];
    out[i] = k <= i ? MISSING_VALUE : study_out(sum * inv_p);
  }
}

// smooth_series four bars to a vector: each lane sums its p values in the
// same order, and is missing where any of them is.
STUDY_INLINE static inline void smooth_series4(StudyDef *s, int from, int count) {
  int p = study_param_int(s->p1);
  if (p <= 1) return;
  float *out = study_series(s, 0), *raw = study_series(s, 1);
  if (from < p - 1) from = p - 1;
  double inv_p = 1.0 / p;
  const study_v4d limit = {MISSING_LIMIT, MISSING_LIMIT, MISSING_LIMIT, MISSING_LIMIT};
  int i = from;
  for (; count - i >= 4; i += 4) {
    study_v4d sum = {0, 0, 0, 0};
    study_v4i missing = {0, 0, 0, 0};
    for (const float *r = raw + i - p + 1; r <= raw + i; r++) {
      study_v4f x;
      memcpy(&x, r, sizeof x);
      study_v4d d = __builtin_convertvector(x, study_v4d);
      missing |= d < limit;
      sum += d;
    }
    sum *= inv_p;
    study_store4_if(out + i, sum, ~missing, 4);
  }
  smooth_series(s, i, count);
}

#ifdef STUDY_512
// smooth_series4 of bars [from, to) (from >= p - 1) eight bars to a vector,
// as far as whole vectors go; returns the first bar not smoothed.
[[gnu::noinline]] STUDY_512 static int smooth_series_512(const float *raw, float *out, int from,
                                                         int to, int p) {
  double inv_p = 1.0 / p;
  const study_v8d limit = study_v8d{} + MISSING_LIMIT;
  int i = from;
  for (; to - i >= 8; i += 8) {
    study_v8d sum = {};
    study_v8i missing = {};
    for (const float *r = raw + i - p + 1; r <= raw + i; r++) {
      vol_v8f x;
      study_v8d d;
      memcpy(&x, r, sizeof x);
      vol_float8(x, d);
      missing |= d < limit;
      sum += d;
    }
    sum *= inv_p;
    vol_store8_if(out + i, sum, ~missing);
  }
  return i;
}

// rel_volume's groups over bars [i, e), eight bars to a vector: series 1
// written where `direct`; a the window sum before them, then after.
[[gnu::noinline]] STUDY_512 static void rel_volume_512(const chart_bar *bars, float *raw,
                                                       float *out, int i, int e, int n,
                                                       double scale, bool direct, double &a) {
  study_v8d run = study_v8d{} + a;
  study_v8d bf[VOL_BLOCK / 8], bd[VOL_BLOCK / 8];
  for (int m; i < e; i += m) {
    m = e - i < VOL_BLOCK ? e - i : VOL_BLOCK;
    for (int j = 0; j < m; j += 8) {
      vol_v8f fv, gv;
      load_words8<4, 4, 4, 4>(bars + i + j, fv, fv, fv, fv);
      load_words8<4, 4, 4, 4>(bars + i + j - n + 1, gv, gv, gv, gv);
      study_v8d f, g;
      vol_whole8(fv, f);
      vol_whole8(gv, g);
      study_v8d d = f - g;
      vol_prefix8(d);
      bf[j / 8] = f;
      bd[j / 8] = d;
    }
    for (int j = 0; j < m; j += 8) {
      study_v8d d = bd[j / 8], f = bf[j / 8];
      study_v8d sum = (vol_shift8(d) + vol_carry8(d, run)) + f;
      study_v8d r = f * scale / sum;
      study_v8i keep = sum > study_v8d{};
      vol_store8_if(raw + i + j, r, keep);
      if (direct) vol_store8_if(out + i + j, r, keep);
    }
  }
  a = run[0];
}
#endif

// volume / (sum / n) * 100 with the window sum of the volume: bar by bar
// until the window is full, then four bars at a time (whole numbers: the
// running sums over a group are exact), the ratios four to a division.
template <int W>
STUDY_INLINE static inline int rel_volume(chart_rec *chart, StudyDef *s, int restart) {
  int count = study_bar_count(chart, s);
  int n = study_period(s);
  sum_state st;
  int start = study_start(s, restart, n, count, n >= 1, 2, &st);
  if (start < 0) return 1;
  float *out = study_series(s, 0), *raw = study_series(s, 1);
  const chart_bar *bars = chart->bars;
  const double scale = 100.0 * n;
  const int from = (n + 2) & ~3;
  const int p = study_param_int(s->p1);
  const bool smoothed = p > 1;
  int smoothed_to = study_first4(start, from);  // bars below it smoothed
  const bool eight = W && study_has_512();
  // smooth_series4 from smoothed_to up to bar `to`
  auto smooth = [&](int to) STUDY_INLINE {
#ifdef STUDY_512
    if (eight && to - smoothed_to >= 8) {
      int f = smoothed_to < p - 1 ? p - 1 : smoothed_to;
      if (f < to) smoothed_to = smooth_series_512(raw, out, f, to, p);
    }
#endif
    smooth_series4(s, smoothed_to, to);
    smoothed_to = to;
  };
  run4_pairs(
      s, start, count, from, st, eight,
      [&](int i, sum_state &st) STUDY_INLINE {
        st.a += volume_of(&bars[i]);
        if (i < n - 1) {
          out[i] = raw[i] = MISSING_VALUE;
          return;
        }
        // volume / (sum / n) * 100, one division
        raw[i] = st.a > 0 ? study_out(volume_of(&bars[i]) * scale / st.a) : MISSING_VALUE;
        out[i] = raw[i];
        st.a -= volume_of(&bars[i - n + 1]);
      },
      [&](int i, int m, sum_state &st) STUDY_INLINE {
        bars4 f, g;
        load_bars4(bars, i, m, f);
        load_bars4(bars, i - n + 1, m, g);
        study_v4d d = f.volume - g.volume;
        study_prefix4(d);
        study_v4d a = STUDY_V4_SHIFT1(d) + st.a + f.volume;
        st.a += d[3];
        const study_v4d zero = {0, 0, 0, 0};
        study_v4d r = f.volume * scale / a;
        study_v4i keep = a > zero;
        study_store4_if(raw + i, r, keep, m);
        // the smoothing writes series 1 from bar p - 1 on
        if (!smoothed || i < p - 1) study_store4_if(out + i, r, keep, m);
        // a long run smooths its bars a block behind the groups, while
        // their raw values are at hand
        if (smoothed && i - smoothed_to >= 512) smooth(i - 256);
      },
      [&](int i, int e, sum_state &st) STUDY_INLINE {
#ifdef STUDY_512
        // a block at a time, each smoothed while its raw values are at hand
        for (int b; i < e; i = b) {
          b = e - i > 256 ? i + 256 : e;
          rel_volume_512(bars, raw, out, i, b, n, scale, !smoothed || i < p - 1, st.a);
          if (smoothed) smooth(b);
        }
#endif
      });
  // the smoothing from the first bar the run wrote (a group may begin
  // before start) on
  if (smoothed) smooth(count);
  return 1;
}

STUDY_TWO_WAYS(rel_volume, (chart_rec * chart, StudyDef *s, int restart), (chart, s, restart))

int compute_rel_volume(chart_rec *chart, StudyDef *s, int restart) {
  return rel_volume_either(chart, s, restart);
}

static inline int bar_tod(const chart_bar *b) {
  return kv_time_of_day(b->time);
}

// Last bar in [0, hi) whose time is below t, or -1 (bars are sorted).
// Searched backwards from hi in doubling steps, so that the cost grows
// with the distance (a day's bars), not with the chart's length.
static int last_bar_before(const chart_bar *bars, int hi, int t) {
  int r = hi, l = hi, step = 1;  // bars [r, hi) are at or after t
  for (;;) {
    l = r - step;
    if (l < 0) {
      l = -1;
      break;
    }
    if (bars[l].time < t) break;
    r = l;
    step *= 2;
  }
  int lo = l + 1;
  while (lo < r) {
    int mid = lo + (r - lo) / 2;
    if (bars[mid].time < t)
      lo = mid + 1;
    else
      r = mid;
  }
  return lo - 1;
}

// The summed volume of the n bars of earlier days at bar i's time of day,
// or -1 when fewer than n exist.  Volumes are whole numbers: their double
// sums are exact in any order.
static double same_time_volume_sum(const chart_bar *bars, int i, int n) {
  int tod = bar_tod(&bars[i]);
  int hi = i;  // search bars before this index
  int day_start = bars[i].time - tod;
  int found = 0;
  double sum = 0;
  while (found < n && hi > 0) {
    int j = last_bar_before(bars, hi, day_start);  // last bar of an earlier day
    if (j < 0) break;
    int d_start = bars[j].time - bar_tod(&bars[j]);
    int k = last_bar_before(bars, j + 1, d_start + tod + 1);
    if (k >= 0 && bars[k].time == d_start + tod) {
      sum += volume_of(&bars[k]);
      found++;
    }
    hi = j + 1;
    day_start = d_start;
  }
  return found < n ? -1 : sum;
}

#ifdef STUDY_512
// Whether bars b[0 .. len) stand at times base + tod[k], eight bars at a
// time as far as whole vectors go; *done the bars checked.
[[gnu::noinline]] STUDY_512 static bool times_at_512(const chart_bar *b, int64_t base,
                                                     const int32_t *tod, int len, int *done) {
  const __m512i b8 = _mm512_set1_epi64(base);
  __mmask8 bad = 0;
  int k = 0;
  for (; len - k >= 8; k += 8) {
    vol_v8f t;
    load_words8<7, 7, 7, 7>(b + k, t, t, t, t);
    __m256i want;
    memcpy(&want, tod + k, sizeof want);
    __m512i d = _mm512_sub_epi64(_mm512_maskz_cvtepi32_epi64((__mmask8)-1, (__m256i)t), b8);
    bad |= _mm512_cmpneq_epi64_mask(d, _mm512_maskz_cvtepi32_epi64((__mmask8)-1, want));
  }
  *done = k;
  return bad == 0;
}

// sum[k] += add[k].volume - drop[k].volume for k < len, eight bars to a
// vector as far as whole vectors go; returns the bars done.
[[gnu::noinline]] STUDY_512 static int day_sums_512(const chart_bar *add, const chart_bar *drop,
                                                    double *sum, int len) {
  int k = 0;
  for (; len - k >= 8; k += 8) {
    vol_v8f a, d;
    load_words8<4, 4, 4, 4>(add + k, a, a, a, a);
    load_words8<4, 4, 4, 4>(drop + k, d, d, d, d);
    study_v8d av, dv, sv;
    vol_whole8(a, av);
    vol_whole8(d, dv);
    memcpy(&sv, sum + k, sizeof sv);
    sv += av - dv;
    memcpy(sum + k, &sv, sizeof sv);
  }
  return k;
}

// volume * (scale / sum) of bars b[0 .. m) into raw and out, missing where
// the sum is not above 0, eight bars to a vector as far as whole vectors
// go; returns the bars done.
[[gnu::noinline]] STUDY_512 static int same_time_ratios_512(const chart_bar *b, const double *sums,
                                                            int m, double scale, float *raw,
                                                            float *out) {
  int k = 0;
  for (; m - k >= 8; k += 8) {
    vol_v8f v;
    load_words8<4, 4, 4, 4>(b + k, v, v, v, v);
    study_v8d f, sum;
    vol_whole8(v, f);
    memcpy(&sum, sums + k, sizeof sum);
    study_v8d r = f * (scale / sum);
    study_v8i keep = sum > study_v8d{};
    vol_store8_if(raw + k, r, keep);
    vol_store8_if(out + k, r, keep);
  }
  return k;
}
#endif

// emit(first, m, sums) with sums[k] the sum same_time_volume_sum gives for
// bar first + k, for the bars of [from, count) in runs (a day, or up to
// 1024 bars), then unemit(i) for the bars up to the last one whose sum it cannot give
// (fewer than n earlier days; their sums[k] are 0), in one pass over the
// bars in order.  Each time of day that occurs has a slot: the last n
// earlier days' volumes at it (a ring) and their sum, and the current
// day's bar, which joins the ring once a later day reaches that time (a
// day repeating a time keeps its last bar).  Times of day are taken
// against the first second of the bar's day, the division by the day's
// length made only when the day changes; days laid out as the days before
// them skip the slots (below).  Returns 0 when the rings would take more
// memory than the chart (times of day scattered over many days): the
// caller then searches bar by bar.  Inlined into its caller, so that the
// runs are made for the registers at hand.
template <class Emit, class Unemit>
STUDY_INLINE static inline int same_time_means(const chart_bar *bars, int from, int count, int n,
                                               bool eight, Emit emit, Unemit unemit) {
  if (count <= 0) return 1;
  struct slot_state {
    int32_t days;      // earlier days seen
    int32_t day_time;  // the current day's bar: its time (set with the slot)
    int32_t day_volume;
    int32_t at;   // the ring's oldest entry (days % n, kept without a division)
    int64_t sum;  // of the ring (entries not yet written are 0)
  };
  // Each time of day gets its slot when it first occurs, all in the one
  // pass over the bars.  Every bar's sum is handed on as it comes, a run
  // of bars at a time; the bars up to the last one without are made
  // missing again.
  std::vector<int32_t> slot_of(KV_SECONDS_PER_DAY, -1);
  std::vector<slot_state> st;
  std::vector<int32_t> ring;
  size_t limit = (size_t)count + 4096;
  int last_short = from - 1;
  enum { RUN = 1024 };
  double sums[RUN];
  int run_first = from, run_len = 0;
  int64_t day_base = 0;
  // bar j into its slot's ring; the slot, or null when the rings would
  // take more memory than the chart
  auto take = [&](int j) STUDY_INLINE -> slot_state * {
    int64_t t = bars[j].time;
    if (j == 0 || t < day_base || t - day_base >= KV_SECONDS_PER_DAY)
      day_base = kv_day_number(t) * KV_SECONDS_PER_DAY;
    int32_t &q_index = slot_of[t - day_base];
    if (q_index < 0) {
      if ((st.size() + 1) * (size_t)n > limit) return nullptr;
      q_index = (int32_t)st.size();
      st.push_back(slot_state{0, bars[j].time, bars[j].volume, 0, 0});
      ring.resize(ring.size() + (size_t)n);
    }
    slot_state &q = st[q_index];
    if (q.day_time != bars[j].time) {
      int32_t *r = &ring[(size_t)q_index * n];
      q.sum += (int64_t)q.day_volume - r[q.at];
      r[q.at] = q.day_volume;
      q.days++;
      q.at = q.at + 1 == n ? 0 : q.at + 1;
    }
    q.day_time = bars[j].time;
    q.day_volume = bars[j].volume;
    return &q;
  };
  // the times of day scattered over many days: none of this pass's
  // values stand
  auto scattered = [&] {
    for (int k = from; k < run_first; k++) unemit(k);
    return 0;
  };
  // Days laid out as the days before them (the same times of day, one bar
  // at each, in the same order) go without the slots: with L bars a day,
  // bar k of such a day has the earlier days' bars at k - L, k - 2L, ...,
  // so once n + 1 such days have passed, a day's sums are the day before's
  // with one day's volumes added and one day's dropped, a whole day in one
  // pass.  A day that breaks the layout first brings the slots of its
  // times up to date from the last n + 1 days (their rings in day order).
  std::vector<int32_t> layout, day_tods;  // times of day of a day's bars
  std::vector<double> day_sum;
  int same_days = 0;  // days, up to the last one, laid out as `layout`
  int run_days = 0;   // of them, days taken whole since the slots were last brought up to date
  int run_start = 0;  // first bar of the last day taken whole
  auto flush = [&] {
    emit(run_first, run_len, (const double *)sums);
    run_first += run_len;
    run_len = 0;
  };
  // bars j .. j + len - 1 laid out as `layout` against day_base base, and
  // no other bar of that day after them
  auto laid_out = [&](int j, int64_t base, int len) STUDY_INLINE {
    const int32_t *tod = layout.data();
    const chart_bar *b = bars + j;
    int bad = 0, k = 0;
#ifdef STUDY_512
    if (eight && !times_at_512(b, base, tod, len, &k)) return false;
#endif
    for (; k < len; k++) bad |= b[k].time - base != tod[k];
    if (bad) return false;
    if (j + len == count) return true;
    int64_t t = b[len].time;
    return t < base || t - base >= KV_SECONDS_PER_DAY;
  };
  auto bring_up_to_date = [&] {
    int len = (int)layout.size();
    for (int k = 0; k < len; k++) {
      slot_state &q = st[slot_of[layout[k]]];
      int32_t *r = &ring[(size_t)slot_of[layout[k]] * n];
      int64_t sum = 0;
      for (int a = 0; a < n; a++) {
        int32_t v = bars[run_start - (n - a) * len + k].volume;
        r[a] = v;
        sum += v;
      }
      q.sum = sum;
      q.at = 0;
      q.days += run_days;
      q.day_time = bars[run_start + k].time;
      q.day_volume = bars[run_start + k].volume;
    }
    run_days = 0;
  };
  int j = 0;
  while (j < count) {
    int64_t base = kv_day_number(bars[j].time) * KV_SECONDS_PER_DAY;
    int len = (int)layout.size();
    if (same_days > n && count - j >= len && laid_out(j, base, len)) {
      // the sums as doubles (whole numbers: exact), handed on in place
      if (run_days == 0) {
        day_sum.assign(len, 0.0);
        for (int d = 1; d <= n; d++) {
          const chart_bar *b = bars + j - d * len;
          for (int k = 0; k < len; k++) day_sum[k] += (double)b[k].volume;
        }
      } else {
        const chart_bar *add = bars + j - len, *drop = bars + j - (n + 1) * len;
        double *sum = day_sum.data();
        int k = 0;
#ifdef STUDY_512
        if (eight) k = day_sums_512(add, drop, sum, len);
#endif
        for (; k < len; k++) sum[k] += (double)add[k].volume - (double)drop[k].volume;
      }
      int k = from > j ? from - j : 0;
      if (k < len) {
        if (run_len > 0) flush();
        emit(j + k, len - k, (const double *)day_sum.data() + k);
        run_first = j + len;
      }
      run_days++;
      same_days++;
      run_start = j;
      j += len;
      continue;
    }
    if (run_days > 0) bring_up_to_date();
    // the day bar by bar through the slots
    day_base = base;
    day_tods.clear();
    bool rising = true;
    int32_t last_tod = -1;
    for (; j < count; j++) {
      int64_t t = bars[j].time;
      if (t < base || t - base >= KV_SECONDS_PER_DAY) break;
      const slot_state *q = take(j);
      if (!q) return scattered();
      int32_t tod = (int32_t)(t - base);
      rising = rising && tod > last_tod;
      last_tod = tod;
      day_tods.push_back(tod);
      if (j < from) continue;
      bool few = q->days < n;
      last_short = few ? j : last_short;
      sums[run_len++] = few ? 0.0 : (double)q->sum;
      if (run_len == RUN) flush();
    }
    if (!rising) {
      layout.clear();
      same_days = 0;
    } else if (day_tods == layout) {
      same_days++;
    } else {
      layout.swap(day_tods);
      same_days = 1;
    }
  }
  if (run_len > 0) emit(run_first, run_len, (const double *)sums);
  for (int j = from; j <= last_short; j++) unemit(j);
  return 1;
}

static bool intraday_chart(const chart_rec *chart) {
  return chart && is_intraday_unit(chart->header.time_unit);
}

template <int W>
STUDY_INLINE static inline int intraday_rel_volume(chart_rec *chart, StudyDef *s, int restart) {
  const bool eight = W && study_has_512();
  int count = study_bar_count(chart, s);
  study_bind_outputs(s);
  float *out = study_series(s, 0), *raw = study_series(s, 1);
  irv_state st;
  study_load_state(s, &st);
  int n = study_period(s);
  // A fresh run writes every bar it computes: the slots before are filled
  // here only when nothing will be computed.
  bool fresh = restart || !intraday_chart(chart) || n < 1 || st.index < 0 || st.index >= count;
  if (fresh) {
    int computed = n >= 1 && count > 0 && intraday_chart(chart) ? count : 0;
    study_fill_missing(out, computed, s->output_len);
    study_fill_missing(raw, computed, s->output_len);
    st = irv_state{};
    st.last = -1;
  }
  if (!intraday_chart(chart)) {
    study_save_state(s, st);
    return 0;
  }
  int from = st.index;
  if (n >= 1 && from < count) {
    // A long run takes its sums from one pass through the bars by time
    // of day; a live update searches back for its few bars.  Both give
    // the same sums (whole numbers, exact).  volume / (sum / n) * 100 is
    // taken as volume * (100 n / sum); a long run makes them four bars to
    // a division.
    const double scale = 100.0 * n;
    auto factor = [scale](double sum) { return sum > 0 ? scale / sum : -1.0; };
    auto emit = [&](int i, double f) {
      raw[i] = out[i] = f > 0 ? study_out(volume_of(&chart->bars[i]) * f) : MISSING_VALUE;
    };
    auto emit_run = [&](int first, int m, const double *sums) STUDY_INLINE {
      const study_v4d zero = {0, 0, 0, 0};
      int k = 0;
#ifdef STUDY_512
      if (eight)
        k = same_time_ratios_512(chart->bars + first, sums, m, scale, raw + first, out + first);
#endif
      for (; m - k >= 4; k += 4) {
        bars4 f;
        study_v4d sum;
        load_bars4(chart->bars, first + k, 4, f);
        memcpy(&sum, sums + k, sizeof sum);
        study_v4d r = f.volume * (scale / sum);
        study_v4i keep = sum > zero;
        study_store4_if(raw + first + k, r, keep, 4);
        study_store4_if(out + first + k, r, keep, 4);
      }
      for (; k < m; k++) emit(first + k, factor(sums[k]));
    };
    auto unemit = [&](int i) { raw[i] = out[i] = MISSING_VALUE; };
    if (count - from <= 64 ||
        !same_time_means(chart->bars, from, count, n, eight, emit_run, unemit)) {
      if (fresh) {
        study_fill_missing(out, from, count);
        study_fill_missing(raw, from, count);
      }
      for (int i = count - 1; i >= from; i--) {
        double sum;
        if (i == st.last && i > 0 && chart->bars[i].time == st.last_time) {
          sum = st.last_sum;
        } else {
          sum = same_time_volume_sum(chart->bars, i, n);
          if (i == count - 1) {
            st.last = i;
            st.last_time = chart->bars[i].time;
            st.last_sum = sum;
          }
        }
        // a bar without enough earlier days has no value, also where an
        // earlier update of the bar had one (it stood at another time)
        if (sum < 0) {
          unemit(i);
          break;
        }
        emit(i, factor(sum));
      }
    }
    smooth_series(s, from, count);
  }
  st.index = count > 0 ? count - 1 : 0;
  study_save_state(s, st);
  return 1;
}

STUDY_TWO_WAYS(intraday_rel_volume, (chart_rec * chart, StudyDef *s, int restart),
               (chart, s, restart))

int compute_intraday_rel_volume(chart_rec *chart, StudyDef *s, int restart) {
  return intraday_rel_volume_either(chart, s, restart);
}

#ifdef STUDY_512
// One vector of acc_day_512's day: x the running sums within each half,
// the sum r carried in (then on), the day before's smoothing at pb.
[[gnu::always_inline]] STUDY_512 static inline void acc_group_512(
    study_v8d x, const float *pbase, float *acc, float *smooth, float *ratio, study_v8d &r,
    study_v8i &out_of, const study_v8d &lim, const study_v8d &wa, const study_v8d &wb,
    const study_v8d &missing, const study_v8i &cnt) {
  study_v8d pb;
  vol_v8f pf;
  memcpy(&pf, pbase, sizeof pf);
  vol_float8(pf, pb);
  x += vol_carry8(x, r);
  out_of |= (x > lim) | (x < -lim);
  study_v8i has = pb >= missing;
  study_v8d w = wa * x + wb * pb;
  w = (study_v8d)(((study_v8i)w & has) | ((study_v8i)x & ~has));
  *(vol_v8f_at *)acc = __builtin_convertvector(x, vol_v8f);
  *(vol_v8f_at *)smooth = __builtin_convertvector(w, vol_v8f);
  study_v8d q = x / pb * 100;
  vol_store8_if(ratio, q, cnt & (pb > study_v8d{}));
}

// intraday_acc_volume's pass over a day laid out as the day before it,
// eight bars to a vector as far as whole vectors go: bars b[k] against the
// day before's p[k] (times apart by shift, and rising when `rising`), the
// day's running sums from `run` on into acc, their smoothings with a
// against the day before's (pbase) into smooth and the ratios (where
// `counted`) into ratio.  *bad: the times do not fit; *over: a sum left
// +-2^24.  Returns the bars done.
[[gnu::noinline]] STUDY_512 static int acc_day_512(const chart_bar *b, const chart_bar *p, int len,
                                                   int64_t shift, bool rising, double a,
                                                   bool counted, const float *pbase, float *acc,
                                                   float *smooth, float *ratio, double &run,
                                                   bool *bad, bool *over) {
  const study_v8d zero = {}, lim = zero + 16777216.0, wa = zero + a, wb = zero + (1 - a);
  const study_v8d missing = zero + MISSING_LIMIT;
  const study_v8i cnt = study_v8i{} + (counted ? -1LL : 0LL);
  const __m512i sh = _mm512_set1_epi64(shift);
  __mmask8 wrong = 0;
  study_v8i out_of = {};
  __m512i last = _mm512_set1_epi64((int64_t)b[0].time - 1);
  study_v8d r = study_v8d{} + run;
  study_v8d bx[VOL_BLOCK / 8];
  int k = 0;
  for (int m = 0; len - k >= 8; k += m) {
    m = (len - k) & ~7;
    m = m < VOL_BLOCK ? m : VOL_BLOCK;
    for (int j = 0; j < m; j += 8) {
      vol_v8f t, v, pt;
      load_words8<7, 4, 7, 4>(b + k + j, t, v, t, v);
      load_words8<7, 7, 7, 7>(p + k + j, pt, pt, pt, pt);
      __m512i tl = _mm512_maskz_cvtepi32_epi64((__mmask8)-1, (__m256i)t);
      __m512i pl = _mm512_maskz_cvtepi32_epi64((__mmask8)-1, (__m256i)pt);
      wrong |= _mm512_cmpneq_epi64_mask(_mm512_sub_epi64(tl, pl), sh);
      if (rising) {
        // each time against the one before it
        __m512i before = _mm512_maskz_alignr_epi64((__mmask8)-1, tl, last, 7);
        wrong |= _mm512_cmple_epi64_mask(tl, before);
        last = tl;
      }
      vol_whole8(v, bx[j / 8]);
      vol_prefix8(bx[j / 8]);
    }
    for (int j = 0; j < m; j += 8) {
      acc_group_512(bx[j / 8], pbase + k + j, acc + k + j, smooth + k + j, ratio + k + j, r, out_of,
                    lim, wa, wb, missing, cnt);
    }
  }
  run = r[0];
  *bad = wrong != 0;
  bool o = false;
  for (int l = 0; l < 8; l++) o |= out_of[l] != 0;
  *over = o;
  return k;
}

#endif

// Series 2 the day's volume so far; series 3 its smoothing across days at
// the same time of day; series 1 today against the typical day, x 100.
//
// The day's volume so far is carried from bar to bar as a double holding
// the float value written (study_out of the sum with the bar's volume):
// while the sum stays within 2^24 it is a whole number the float holds
// exactly, so the rounding is skipped and the chain from bar to bar is one
// addition.  Times of day are taken against the first second of the bar's
// day (and of the day before), the division by the day's length made only
// when the day changes.  The ratios are made in a second pass four to a
// division: the first leaves series 1 the base of each bar that has one.
template <int W>
STUDY_INLINE static inline int intraday_acc_volume(chart_rec *chart, StudyDef *s, int restart) {
  const bool eight = W && study_has_512();
  int count = study_bar_count(chart, s);
  int n = study_period(s);
  acc_state st;
  bool usable = intraday_chart(chart) && count > 1;
  int start = study_start(s, restart || !usable, n, usable && n >= 1 ? count : s->output_len,
                          usable && n >= 1, 3, &st);
  if (start < 0) return usable ? 1 : 0;
  float *ratio = study_series(s, 0), *acc = study_series(s, 1), *smooth = study_series(s, 2);
  const chart_bar *bars = chart->bars;
  double a = 2.0 / (n + 1);
  const double exact = 16777216.0;  // 2^24
  double sum = start > 0 ? acc[start - 1] : 0;
  std::vector<int32_t> vol;  // a whole day's volumes (below)
  int whole = -1;            // first bar of the last day taken whole
  // first seconds of the previous bar's day and of the day before it
  int64_t day_base = (int64_t)st.day * KV_SECONDS_PER_DAY;
  int64_t prev_base = start > 0 && st.prev_start >= 0
                          ? kv_day_number(bars[st.prev_start].time) * KV_SECONDS_PER_DAY
                          : 0;
  auto step = [&](int i, acc_state &st) STUDY_INLINE {
    int64_t t = bars[i].time;
    double v = volume_of(&bars[i]);
    double next;
    if (i == 0 || t < day_base || t - day_base >= KV_SECONDS_PER_DAY) {
      int64_t day = kv_day_number(t);
      prev_base = day_base;
      day_base = day * KV_SECONDS_PER_DAY;
      st.days++;
      st.prev_start = i == 0 ? -1 : st.day_start;
      st.day_start = i;
      st.day = (int)day;
      st.cursor = st.prev_start;
      next = v;
    } else {
      next = sum + v;
    }
    if (__builtin_expect(next >= -exact && next <= exact, 1))
      sum = next;
    else
      sum = study_out(next);
    int tod = (int)(t - day_base);
    acc[i] = (float)sum;
    if (st.prev_start < 0) {
      smooth[i] = (float)sum;
      ratio[i] = MISSING_VALUE;
      return;
    }
    int cursor_tod = (int)(bars[st.cursor].time - prev_base);
    while (st.cursor + 1 < st.day_start) {
      int u = (int)(bars[st.cursor + 1].time - prev_base);
      if (u > tod) break;
      st.cursor++;
      cursor_tod = u;
    }
    double base = smooth[st.cursor];
    if (cursor_tod == tod && !study_is_missing(base))
      smooth[i] = study_out(a * sum + (1 - a) * base);
    else
      smooth[i] = (float)sum;
    ratio[i] = st.days > n && base > 0 ? (float)base : MISSING_VALUE;
  };
  // A day laid out as the day before it (the same times of day, one bar
  // at each, rising) pairs its bar k with the day before's bar k: the
  // day goes in one pass, four bars to a vector, the day's running sums
  // as sums over each group (whole numbers: exact in any order).  It is
  // taken bar by bar when a running sum leaves +-2^24 (its float would
  // round) and when it holds the last bar (whose state is saved).
  // Returns the day's bars, or 0.
  auto whole_day = [&](int i, acc_state &st) STUDY_INLINE -> int {
    int64_t t0 = bars[i].time;
    if (t0 >= day_base && t0 - day_base < KV_SECONDS_PER_DAY) return 0;
    int ps = st.day_start, len = i - ps;
    if (st.days < 1 || len <= 0 || count - 1 - i <= len) return 0;
    int64_t base = kv_day_number(t0) * KV_SECONDS_PER_DAY;
    int64_t after = bars[i + len].time;
    if (after >= base && after - base < KV_SECONDS_PER_DAY) return 0;
    // the times of day against the day before's (a fixed difference of
    // the times), rising; the volumes into the block
    const chart_bar *b = bars + i, *p = bars + ps;
    const int64_t shift = base - day_base;
    if (vol.size() < (size_t)len + 4) vol.resize((size_t)len + 4);
    int32_t *vb = vol.data();
    int bad = 0, k0 = 0;
    double run = 0;
    bool over8 = false;
    const float *pbase = smooth + ps;
#ifdef STUDY_512
    if (eight) {
      bool wrong;
      k0 = acc_day_512(b, p, len, shift, ps != whole, a, st.days + 1 > n, pbase, acc + i,
                       smooth + i, ratio + i, run, &wrong, &over8);
      if (wrong) return 0;
    }
#endif
    if (ps == whole) {
      // the day before was taken whole: its times rose, and so do these
      for (int k = k0; k < len; k++) {
        bad |= b[k].time - p[k].time != shift;
        vb[k] = b[k].volume;
      }
    } else {
      int64_t last = (int64_t)b[k0 > 0 ? k0 - 1 : 0].time - (k0 > 0 ? 0 : 1);
      for (int k = k0; k < len; k++) {
        int64_t t = b[k].time;
        bad |= (t - p[k].time != shift) | (t <= last);
        last = t;
        vb[k] = b[k].volume;
      }
    }
    if (bad) return 0;
    const study_v4d zero = {0, 0, 0, 0}, lim = zero + exact, wa = zero + a, wb = zero + (1 - a);
    const study_v4d missing = zero + MISSING_LIMIT;
    const study_v4i counted = (study_v4i{0, 0, 0, 0} + (st.days + 1 > n ? -1LL : 0LL));
    study_v4i over = {0, 0, 0, 0};
    auto group = [&](int k, int m) STUDY_INLINE {
      study_v4d v, pb;
      if (m == 4) {
        study_v4si vi;
        study_v4f pf;
        memcpy(&vi, vb + k, sizeof vi);
        memcpy(&pf, pbase + k, sizeof pf);
        v = __builtin_convertvector(vi, study_v4d);
        pb = __builtin_convertvector(pf, study_v4d);
      } else {
        study_gather4(
            v, [&](int j) STUDY_INLINE { return (double)vb[j]; }, k, m);
        study_gather4(
            pb, [&](int j) STUDY_INLINE { return (double)pbase[j]; }, k, m);
      }
      study_prefix4(v);
      carry_sum4(v, run);
      over |= (v > lim) | (v < -lim);
      // the sums and their smoothings are finite (sums within 2^24, bases
      // floats): stored as they are
      study_v4i has = pb >= missing;
      study_v4d w = wa * v + wb * pb;
      w = (study_v4d)(((study_v4i)w & has) | ((study_v4i)v & ~has));
      study_v4f vf = __builtin_convertvector(v, study_v4f),
                wf = __builtin_convertvector(w, study_v4f);
      if (m == 4) {
        *(study_v4f_at *)(acc + i + k) = vf;
        *(study_v4f_at *)(smooth + i + k) = wf;
      } else {
        for (int l = 0; l < m; l++) {
          acc[i + k + l] = vf[l];
          smooth[i + k + l] = wf[l];
        }
      }
      // the ratio as the pass after the bars makes it from the base
      study_v4d r = v / pb * 100;
      study_store4_if(ratio + i + k, r, counted & (pb > zero), m);
    };
    int k = k0;
    for (; len - k >= 4; k += 4) group(k, 4);
    if (k < len) group(k, len - k);
    if (over8) return 0;
    for (int l = 0; l < 4; l++)
      if (over[l]) return 0;
    st.days++;
    st.prev_start = ps;
    st.day_start = i;
    st.day = (int)(base / KV_SECONDS_PER_DAY);
    st.cursor = i - 1;
    whole = i;
    prev_base = day_base;
    day_base = base;
    sum = run;
    return len;
  };
  // ratio = sum / base * 100 where a bar by bar stretch left a base
  auto ratios = [&](int i, int end) STUDY_INLINE {
    const study_v4d zero = {0, 0, 0, 0};
    for (; end - i >= 4; i += 4) {
      study_v4f b4, s4;
      memcpy(&b4, ratio + i, sizeof b4);
      memcpy(&s4, acc + i, sizeof s4);
      study_v4d b = __builtin_convertvector(b4, study_v4d);
      study_v4d r = __builtin_convertvector(s4, study_v4d) / b * 100;
      study_store4_if(ratio + i, r, b > zero, 4);
    }
    for (; i < end; i++)
      ratio[i] = ratio[i] > 0 ? study_out((double)acc[i] / ratio[i] * 100) : MISSING_VALUE;
  };
  int stretch = start;  // first bar taken bar by bar since the last whole day
  for (int i = start; i < count;) {
    if (i > 0) {
      int len = whole_day(i, st);
      if (len > 0) {
        ratios(stretch, i);
        i += len;
        stretch = i;
        continue;
      }
    }
    if (i == count - 1) {
      st.index = i;
      study_save_state(s, st);
    }
    step(i, st);
    i++;
  }
  ratios(stretch, count);
  return 1;
}

STUDY_TWO_WAYS(intraday_acc_volume, (chart_rec * chart, StudyDef *s, int restart),
               (chart, s, restart))

int compute_intraday_acc_volume(chart_rec *chart, StudyDef *s, int restart) {
  return intraday_acc_volume_either(chart, s, restart);
}
