// Moving averages, the variable moving average, standard deviation,
// Bollinger bands, %B and bandwidth.
#include <algorithm>
#include <vector>

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
  double ssum, ssq;   // window sums of (price - shift) and its square
  double shift;       // first price, keeps the squares small
  double smooth;      // %B: smoothed value
};

}  // namespace

// Bars a block kernel takes in one block (a multiple of 8).
#define AVG_BLOCK 512

// The prices a block of bars reads, each taken from the bar records once:
// w[k] is the price of bar i - hist + k for the block from bar i, with 8
// zeros after the block's last bar.  A block that follows the one before
// moves that block's last hist prices to the front instead of reading
// them again; a short run that follows none (a live update) reads only
// the bars `taps` back from its own (each tap 0 .. hist).  Windows longer
// than the buffer on the stack take one from the heap, but only when the
// chart is longer than the window: blocks start past a full window, so a
// window as long as the chart (a period of millions) never reaches them
// and must not cost a buffer of its length.
struct avg_prices {
  static constexpr int kHist = 512;
  int hist, next = -1, len = 0;
  double *w;
  std::vector<double> heap;
  alignas(64) double local[kHist + AVG_BLOCK + 16];
  avg_prices(int hist_, int count) : hist(hist_) {
    w = local;
    if (hist > kHist && hist < count) {
      heap.resize((size_t)hist + AVG_BLOCK + 16);
      w = heap.data();
    }
  }
  template <class X, int T>
  STUDY_INLINE void fill(const X &x, int i, int e, const int (&taps)[T]) {
    int m = e - i, k = 0;
    if (i != next && hist > T * m) {
      // the lanes past each tap's bars 0 too (then the bars, where taps
      // lie close)
      for (int t : taps)
        for (int j = m; j < m + 8; j++) w[hist - t + j] = 0;
      for (int t : taps)
        for (int j = 0; j < m; j++) w[hist - t + j] = x(i - t + j);
      next = -1;
    } else {
      if (i == next) {
        memmove(w, w + len - hist, sizeof(double) * hist);
        k = hist;
      }
      for (; k < hist + m; k++) w[k] = x(i - hist + k);
      next = e;
      len = hist + m;
    }
    for (int j = 0; j < 8; j++) w[hist + m + j] = 0;
  }
};

// group(j, m) for the groups of four from 0 of a block's m bars, m = 4 but
// for a last group that the chart cuts short (taken apart, so that the
// others' stores are whole vectors).
template <class Group>
STUDY_INLINE inline void avg_groups(int m, Group group) {
  int j = 0;
  for (; m - j >= 4; j += 4) group(j, 4);
  if (j < m) group(j, m - j);
}

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
  // the prices of the weighted and triangular averages' blocks, one buffer
  // for every price type and method (a frame with one for each would
  // make a live update pay for touching them all)
  avg_prices px(method == MA_WEIGHTED ? n : method == MA_TRIANGULAR ? 2 * ((n + 2) / 2) : 0, count);
  with_price_type(bars, price_type, [&](auto x) STUDY_INLINE {
    with_ma_method(method, [&](auto m) STUDY_INLINE {
      constexpr int M = decltype(m)::value;
      // the groups start past the first value and, for the exponential
      // average, its seed at bar 0; for the window averages past the
      // window's filling (ma_step_full)
      int from = M == MA_EXPONENTIAL ? ((n - 1 > 1 ? n - 1 : 1) + 3) & ~3 : (n + 2 + 3) & ~3;
      auto step = [&](int j, ma_state &st) STUDY_INLINE {
        double v = ma_step_m<M>(st.r, n, x, j);
        out[j] = study_is_missing(v) ? MISSING_VALUE : study_out(v * mult);
      };
      if constexpr (M == MA_WEIGHTED || M == MA_TRIANGULAR) {
        // ma_group's steps a block at a time over prices taken ahead
        // (vector loads, not prices gathered from the bar records), the
        // window sums carried in every lane (the chain from group to group
        // is one addition, not an addition and a lane taken out)
        const int h = (n + 2) / 2;
        auto block = [&](int i, int e, ma_state &st) STUDY_INLINE {
          // (the prices first: a value live across the call would be kept
          // in memory through the loop)
          if constexpr (M == MA_WEIGHTED)
            px.fill(x, i, e, {0, n});
          else
            px.fill(x, i, e, {0, h, 2 * h});
          const double *w = px.w + px.hist;
          const study_v4d zero = {0, 0, 0, 0};
          study_v4d ca = zero + st.r.a, cb = zero + st.r.b, cc = zero + st.r.c;
          if constexpr (M == MA_WEIGHTED) {
            const double inv = 2.0 / ((double)n * (n + 1));
            avg_groups(e - i, [&](int j, int mm) STUDY_INLINE {
              // a: plain sum of the previous window, b: its weighted sum
              study_v4d v, drop;
              memcpy(&v, w + j, sizeof v);
              memcpy(&drop, w + j - n, sizeof drop);
              study_v4d d = v - drop;
              study_prefix4(d);
              study_v4d f = v * (double)n - (STUDY_V4_SHIFT1(d) + ca);
              study_prefix4(f);
              study_v4d r = f + cb;
              ca += __builtin_shufflevector(d, d, 3, 3, 3, 3);
              cb += __builtin_shufflevector(f, f, 3, 3, 3, 3);
              r = r * inv;
              r *= mult;
              study_store4(out + i + j, r, mm);
            });
          } else {
            const double inv = 1.0 / ((double)h * h);
            avg_groups(e - i, [&](int j, int mm) STUDY_INLINE {
              // a: sum of the last h inputs, b: of the h before them, c: of
              // the last h sums a - b
              study_v4d v, lag, lag2;
              memcpy(&v, w + j, sizeof v);
              memcpy(&lag, w + j - h, sizeof lag);
              memcpy(&lag2, w + j - 2 * h, sizeof lag2);
              study_v4d da = v - lag, db = lag - lag2;
              study_prefix4(da);
              study_prefix4(db);
              study_v4d dc = (da + ca) - (db + cb);
              ca += __builtin_shufflevector(da, da, 3, 3, 3, 3);
              cb += __builtin_shufflevector(db, db, 3, 3, 3, 3);
              study_prefix4(dc);
              study_v4d r = dc + cc;
              cc += __builtin_shufflevector(dc, dc, 3, 3, 3, 3);
              r = r * inv;
              r *= mult;
              study_store4(out + i + j, r, mm);
            });
          }
          st.r.a = ca[0];
          st.r.b = cb[0];
          st.r.c = cc[0];
        };
        // (a short run, such as a live update, takes its few groups as
        // below: the same values, without setting up a block)
        if (count - start > 64) {
          study_run_blocks(s, start, count, from, AVG_BLOCK, st, step, block);
          return;
        }
      }
      study_run4(s, start, count, from, st, step, [&](int j, int k, ma_state &st) STUDY_INLINE {
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

// The values of m bars (a multiple of 8) from their window sums of
// (price - shift) and its square and (%B) their prices px: into v, missing
// where a bar has none, and for %B into ok which bars have one.  V is a
// vector of L doubles, VI its integer lanes; each lane goes through the
// same operations whatever L, so that every width gives the same values.
template <int K, class V, class VI, int L>
STUDY_INLINE static inline void dev_values(const double *ssum, const double *ssq, const double *px,
                                           int m, double inv_n, double shift, double k, double *v,
                                           long long *ok) {
  const V zero = {}, missing = zero + (double)MISSING_VALUE;
  for (int j = 0; j < m; j += L) {
    V s1, s2, r;
    memcpy(&s1, ssum + j, sizeof s1);
    memcpy(&s2, ssq + j, sizeof s2);
    V md = s1 * inv_n, mean = md + shift;
    V var = s2 * inv_n - md * md, sd;
    for (int l = 0; l < L; l++) sd[l] = std::sqrt(var[l]);
    sd = (V)((VI)sd & (VI)(var > zero));
    VI keep = (VI)(zero == zero);
    if constexpr (K == DEV_SD) {
      r = sd;
    } else if constexpr (K == DEV_BAND) {
      r = mean + k * sd;
    } else if constexpr (K == DEV_WIDTH) {
      r = ((mean + k * sd) - (mean - k * sd)) / mean * 100;
      keep = (VI)(mean != zero);
    } else {
      V p;
      memcpy(&p, px + j, sizeof p);
      V upper = mean + k * sd, lower = mean - k * sd;
      keep = (VI)((upper - lower) != zero);
      r = (p - lower) / (upper - lower) * 100;
      memcpy(ok + j, &keep, sizeof keep);
    }
    r = (V)(((VI)r & keep) | ((VI)missing & ~keep));
    memcpy(v + j, &r, sizeof r);
  }
}

#if defined(__x86_64__) || defined(__i386__)
// Eight bars to an instruction: the roots and divisions cost the same per
// instruction whatever its width.
template <int K>
[[gnu::noinline]] STUDY_512 static void dev_values_512(const double *ssum, const double *ssq,
                                                       const double *px, int m, double inv_n,
                                                       double shift, double k, double *v,
                                                       long long *ok) {
  dev_values<K, study_v8d, study_v8i, 8>(ssum, ssq, px, m, inv_n, shift, k, v, ok);
}

#endif

// dev_values in the widest registers at hand: W, the kernel's compilation
// (study_record.h), 1 for 256-bit registers.
template <int W, int K>
STUDY_INLINE static inline void dev_values_either(const double *ssum, const double *ssq,
                                                  const double *px, int m, double inv_n,
                                                  double shift, double k, double *v,
                                                  long long *ok) {
#if defined(__x86_64__) || defined(__i386__)
  if (W && m >= 16 && study_has_512()) {
    dev_values_512<K>(ssum, ssq, px, m, inv_n, shift, k, v, ok);
    return;
  }
#endif
  dev_values<K, study_v4d, study_v4i, 4>(ssum, ssq, px, m, inv_n, shift, k, v, ok);
}

// Window mean and population deviation of the price, and from them by
// kind: the deviation; mean + k sd; %B, smoothed over p1 when p1 is above
// 1; the bandwidth.  Bar by bar through the warm-up, then four bars at a
// time: the window sums as running sums over the group, the roots and
// divisions four to an instruction, the smoothing as a recurrence over
// the group (study_vary4: a bar without a %B leaves it as it is).
template <int W, int K>
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
  const study_decay4 decay(1 - c);
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
  // a block's window sums, values and (%B) which bars have one
  // (apart by other than a multiple of 4 KB, which would make every load
  // of one seem to wait for the stores to another), and its prices with
  // those of the n - 1 bars before it (the prices leaving the windows)
  constexpr int stride = AVG_BLOCK + 24;
  alignas(64) double blockbuf[3 * stride];
  alignas(64) long long bok[AVG_BLOCK];
  double *bsum = blockbuf, *bssq = bsum + stride, *bval = bssq + stride;
  avg_prices prices(n - 1, count);
  with_price_type(bars, s->price_type, [&](auto price) STUDY_INLINE {
    auto step = [&](int i, dev_state &st) STUDY_INLINE {
      double p = price(i);
      if (i == 0) st.shift = p;
      double d = p - st.shift;
      // the price leaving the window is read before the sums take this one
      double dq = i >= n - 1 ? price(i - n + 1) - st.shift : 0.0;
      st.ssum += d;
      st.ssq += d * d;
      if (i < n - 1) {
        out[i] = MISSING_VALUE;
        return;
      }
      double md = st.ssum * inv_n, mean = st.shift + md;
      double var = st.ssq * inv_n - md * md;
      double sd = var > 0 ? std::sqrt(var) : 0;
      out[i] = value(p, mean, sd, st);
      st.ssum -= dq;
      st.ssq -= dq * dq;
    };
    // the groups' windows are full and the shift is known: the window sums
    // of the four bars from j of a block, their prices in bpx[j ..] and the
    // prices leaving their windows in bq[j ..] (n - 1 before them), into
    // bsum[j ..], bssq[j ..]
    // c1, c2: the sums carried in, in every lane (the chain from group to
    // group is one addition, not an addition and a lane taken out)
    const double *bq = prices.w, *bpx = bq + (n - 1);
    auto sums = [&](int j, double shift, study_v4d &c1, study_v4d &c2) STUDY_INLINE {
      study_v4d p, q;
      memcpy(&p, bpx + j, sizeof p);
      memcpy(&q, bq + j, sizeof q);
      study_v4d d = p - shift, dq = q - shift;
      // the sums hold the window less its oldest price between bars: after
      // each bar, the running sums of what entered less what left
      study_v4d a1 = d - dq, a2 = d * d - dq * dq;
      study_prefix4(a1);
      study_prefix4(a2);
      study_v4d ssum = (a1 + c1) + dq, ssq = (a2 + c2) + dq * dq;
      c1 += __builtin_shufflevector(a1, a1, 3, 3, 3, 3);
      c2 += __builtin_shufflevector(a2, a2, 3, 3, 3, 3);
      memcpy(bsum + j, &ssum, sizeof ssum);
      memcpy(bssq + j, &ssq, sizeof ssq);
    };
    // The bars of a block in three passes: the window sums (a running sum
    // from group to group), the roots and divisions (nothing carried: they
    // overlap from bar to bar, eight to an instruction where the processor
    // has 512-bit registers), then %B's smoothing and the stores; bars i
    // .. e - 1, i a multiple of 4, e too but for the chart's last group.
    auto block = [&](int i, int e, dev_state &st) STUDY_INLINE {
      // the prices as doubles (past the chart's last bar, prices 0 and
      // prices leaving windows that may not be: that group's carried sums
      // are not used)
      int len = (e - i + 3) & ~3, len8 = (len + 7) & ~7;
      prices.fill(price, i, e, {0, n - 1});
      dev_state r = st;
      study_v4d c1 = study_v4d{0, 0, 0, 0} + r.ssum, c2 = study_v4d{0, 0, 0, 0} + r.ssq;
      for (int j = 0; j < len; j += 4) sums(j, r.shift, c1, c2);
      r.ssum = c1[0];
      r.ssq = c2[0];
      for (int j = len; j < len8; j++) bsum[j] = bssq[j] = 0;
      dev_values_either<W, K>(bsum, bssq, bpx, len8, inv_n, r.shift, k, bval, bok);
      if (!smoothed) {
        int j = i;
        for (; e - j >= 4; j += 4) {
          study_v4d b;
          memcpy(&b, bval + (j - i), sizeof b);
          study_store4(out + j, b, 4);
        }
        if (j < e) {
          study_v4d b;
          memcpy(&b, bval + (j - i), sizeof b);
          study_store4(out + j, b, e - j);
        }
        st = r;
        return;
      }
      // the smoothed value carried in every lane (the chain from group to
      // group is a multiplication and an addition)
      const study_v4d zero4 = {0, 0, 0, 0}, pw3 = zero4 + decay.pw[3];
      study_v4d sm = zero4 + r.smooth;
      for (int j = i; j < e; j += 4) {
        int mm = e - j < 4 ? e - j : 4;
        study_v4d b;
        memcpy(&b, bval + (j - i), sizeof b);
        if constexpr (K == DEV_PERCENT_B) {
          if (smoothed) {
            study_v4i ok;
            memcpy(&ok, bok + (j - i), sizeof ok);
            if (mm == 4 && r.smoothing && (ok[0] & ok[1] & ok[2] & ok[3])) {
              // every bar has its %B: the plain recurrence (the same values
              // as the general case below with all factors 1 - c), its
              // carried value one multiplication and one addition a group
              b *= c;
              b += decay.c * STUDY_V4_SHIFT1(b);
              b += decay.cc * STUDY_V4_SHIFT2(b);
              study_v4d next = __builtin_shufflevector(b, b, 3, 3, 3, 3) + pw3 * sm;
              b += decay.pw * sm;
              sm = next;
              study_store4(out + j, b, 4);
              continue;
            }
            r.smooth = sm[0];
            // a bar without a %B keeps the smoothing (factor 1, input 0);
            // the first %B of all starts it (factor 0)
            const study_v4d one = {1, 1, 1, 1};
            study_v4d f = (study_v4d)(((study_v4i)(one - c) & ok) | ((study_v4i)one & ~ok));
            study_v4d raw = b;
            b = (study_v4d)((study_v4i)(b * c) & ok);
            for (int l = 0; !r.smoothing && l < mm; l++)
              if (ok[l]) {
                f[l] = 0;
                b[l] = raw[l];
                r.smoothing = 1;
              }
            study_vary4(f, b, r.smooth);
            sm = zero4 + r.smooth;
            study_store4_if(out + j, b, ok, mm);
            continue;
          }
        }
        study_store4(out + j, b, mm);
      }
      r.smooth = sm[0];
      st = r;
    };
    // the bars before `from` one at a time, then blocks
    study_run_blocks(s, start, count, (n + 3) & ~3, AVG_BLOCK, st, step, block);
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
