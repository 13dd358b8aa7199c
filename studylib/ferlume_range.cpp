// Ferlume1 studies of the bars' ranges: Ultimate Oscillator, Chaikin
// Volatility, Average True Range, Keltner Channel, Parabolic SAR, Highest
// High and Lowest Low.
#include <type_traits>
#include <vector>

#include "studylib/ferlume.h"

void ferlume_average(float *out, const float *in, int start, int first_valid, int count, int method,
                     int n) {
  if (start >= count) return;
  if (method < MA_SIMPLE || method > MA_TRIANGULAR || n < 1) {
    study_fill_missing(out, start, count);
    return;
  }
  // The engine's window averages take every input of the window as it is,
  // so they start where the window holds valid inputs only.
  int first_out = first_valid + ferlume_ma_window(method, n) - 1;
  study_fill_missing(out, start, first_out < count ? first_out : count);
  int from = start > first_out ? start : first_out;
  if (from < count) g_callbacks->study_moving_average(out, in, from, first_valid, count, method, n);
}

// ---- Ultimate Oscillator -------------------------------------------------------

namespace {
struct uosc_state {
  int32_t index;
  double bp[3], tr[3];  // sums over the short, medium and long windows
};

// The true ranges of bars i .. i + m - 1 (i >= 1, m <= 4): the
// operations of ferlume_true_range, four bars to a vector; l, c and cp
// the bars' lows, closes and the closes before them.
[[gnu::always_inline]] inline void range_true4(const chart_bar *b, int i, int m, study_v4d &tr,
                                               study_v4d &l, study_v4d &c, study_v4d &cp) {
  study_v4d h;
  ferlume_hlc4(b, i, m, h, l, c);
  cp = c;
  study_shift_in4(cp, b[i - 1].close);
  tr = h - l;
  study_v4d up = h - cp, down = cp - l;
  study_v4i k = up > tr;
  tr = (study_v4d)(((study_v4i)up & k) | ((study_v4i)tr & ~k));
  k = down > tr;
  tr = (study_v4d)(((study_v4i)down & k) | ((study_v4i)tr & ~k));
}

// The buying pressures and true ranges of bars i .. i + m - 1 (i >= 1,
// m <= 4): the operations of ferlume_buying_pressure and
// ferlume_true_range, four bars to a vector.
[[gnu::always_inline]] inline void uosc_values4(const chart_bar *b, int i, int m, study_v4d &bp,
                                                study_v4d &tr) {
  study_v4d l, c, cp;
  range_true4(b, i, m, tr, l, c, cp);
  study_v4i low = l < cp;
  bp = c - (study_v4d)(((study_v4i)l & low) | ((study_v4i)cp & ~low));
}

// The three window sums go as running sums: each bar adds the value that
// enters a window less the one that leaves it.  The bars from the first
// whose windows are all full go in groups of four (study_run4): the sums
// over a group as study_prefix4, the divisions four to a vector.
template <int W>
STUDY_INLINE inline int uosc(chart_rec *chart, StudyDef *s, int restart) {
  int count = ferlume_bar_count(chart, s);
  uosc_state st;
  int w[3] = {study_cap(s->period), study_param_int(s->p1), study_param_int(s->p2)};
  int start = study_start(s, restart, 0, count, w[0] >= 1 && w[1] >= 1 && w[2] >= 1, 1, &st);
  if (start < 0) return 1;
  float *out = study_series(s, 0);
  // Every window needs the close before its first bar: the first value is
  // at the longest window, whichever parameter holds it.
  int first = w[0] > w[1] ? w[0] : w[1];
  if (w[2] > first) first = w[2];
  const chart_bar *b = chart ? chart->bars : nullptr;
  // every window of a group's bars is full, and the bars leaving them are
  // bars of the chart
  const int from = (first + 4) & ~3;
  start = study_first4(start, from);
  // Each bar's buying pressure and true range are made once, into a ring
  // that reaches back over the longest window and a group, and read from
  // there when the bar leaves each window (the values are the same either
  // way); the ring's first four slots follow its last, so that a group's
  // leaving bars are four neighbouring slots.  A live update of a bar or
  // two reads the leaving bars directly (its ring writes go to the small
  // buffer and are not read).
  // A long run makes the values of a block of bars ahead of its sums: the
  // ring reaches back over the block as well.
  const int block = 256;
  int reach = first < count ? first : count, size = 8;
  const bool ringed = count - start > reach;
  const bool bulk = ringed && count - from > 64;
  while (ringed && size <= reach + 4 + (bulk ? block : 0)) size <<= 1;
  const int mask = size - 1;
  double small_bp[64 + 4], small_tr[64 + 4];  // the usual windows: no allocation on a live update
  std::vector<double> big_bp, big_tr;
  double *rbp = small_bp, *rtr = small_tr;
  if (size > 64) {
    big_bp.resize(size + 4);
    big_tr.resize(size + 4);
    rbp = big_bp.data();
    rtr = big_tr.data();
  }
  auto put = [&](int k, double bp, double tr) STUDY_INLINE {
    int j = k & mask;
    rbp[j] = bp;
    rtr[j] = tr;
    if (j < 4) {
      rbp[size + j] = bp;
      rtr[size + j] = tr;
    }
  };
  for (int k = start - reach > 1 ? start - reach : 1; ringed && k < start; k++)
    put(k, ferlume_buying_pressure(b, k), ferlume_true_range(b, k));
  auto step = [&](int i, uosc_state &st) STUDY_INLINE {
    if (i == 0) {
      out[i] = MISSING_VALUE;
      return;
    }
    double bp = ferlume_buying_pressure(b, i), tr = ferlume_true_range(b, i);
    put(i, bp, tr);
    // the bar entering a window and the one leaving it, together: one
    // addition to wait on from bar to bar
    for (int k = 0; k < 3; k++) {
      double ob = 0, ot = 0;
      if (i - w[k] >= 1) {
        int j = i - w[k];
        ob = ringed ? rbp[j & mask] : ferlume_buying_pressure(b, j);
        ot = ringed ? rtr[j & mask] : ferlume_true_range(b, j);
      }
      st.bp[k] += bp - ob;
      st.tr[k] += tr - ot;
    }
    out[i] =
        i < first
            ? MISSING_VALUE
            : study_out((4 * st.bp[0] / st.tr[0] + 2 * st.bp[1] / st.tr[1] + st.bp[2] / st.tr[2]) *
                        100 / 7);
  };
  // A group with the window sums as vectors (each lane the sum, in and
  // out): a long run keeps them in registers from group to group.
  auto sums = [&](int i, int m, const study_v4d &bp, const study_v4d &tr, study_v4d *sum,
                  auto ring) STUDY_INLINE {
    study_v4d sb[3], stt[3];
    auto window = [&](int k) STUDY_INLINE {
      study_v4d ob, ot;
      if constexpr (decltype(ring)::value) {
        int q = (i - w[k]) & mask;
        memcpy(&ob, rbp + q, sizeof ob);
        memcpy(&ot, rtr + q, sizeof ot);
      } else {
        study_gather4(ob, [&](int j) STUDY_INLINE { return ferlume_buying_pressure(b, j); },
                      i - w[k], m);
        study_gather4(ot, [&](int j) STUDY_INLINE { return ferlume_true_range(b, j); }, i - w[k],
                      m);
      }
      sb[k] = bp - ob;
      stt[k] = tr - ot;
      study_prefix4(sb[k]);
      study_prefix4(stt[k]);
      sb[k] += sum[k];
      stt[k] += sum[3 + k];
      sum[k] = __builtin_shufflevector(sb[k], sb[k], 3, 3, 3, 3);
      sum[3 + k] = __builtin_shufflevector(stt[k], stt[k], 3, 3, 3, 3);
    };
    window(0);
    window(1);
    window(2);
    study_store4(out + i, (4 * sb[0] / stt[0] + 2 * sb[1] / stt[1] + sb[2] / stt[2]) * 100 / 7, m);
  };
  auto values = [&](int i, int m, study_v4d &bp, study_v4d &tr) STUDY_INLINE {
    uosc_values4(b, i, m, bp, tr);
    int p = i & mask;
    memcpy(rbp + p, &bp, sizeof bp);
    memcpy(rtr + p, &tr, sizeof tr);
    if (p == 0) {
      memcpy(rbp + size, &bp, sizeof bp);
      memcpy(rtr + size, &tr, sizeof tr);
    }
  };
  auto body = [&](int i, int m, study_v4d *sum, auto ring) STUDY_INLINE {
    study_v4d bp, tr;
    values(i, m, bp, tr);
    sums(i, m, bp, tr, sum, ring);
  };
  // (x - 0 is x in every lane, -0 and NaN included)
  auto load = [](const uosc_state &st, study_v4d *sum) STUDY_INLINE {
    const study_v4d zero = {0, 0, 0, 0};
    study_v4d v[6] = {st.bp[0] - zero, st.bp[1] - zero, st.bp[2] - zero,
                      st.tr[0] - zero, st.tr[1] - zero, st.tr[2] - zero};
    memcpy(sum, v, sizeof v);
  };
  auto keep = [](uosc_state &st, const study_v4d *sum) STUDY_INLINE {
    for (int k = 0; k < 3; k++) {
      st.bp[k] = sum[k][0];
      st.tr[k] = sum[3 + k][0];
    }
  };
  auto group = [&](int i, int m, uosc_state &st) STUDY_INLINE {
    study_v4d sum[6];
    load(st, sum);
    if (ringed)
      body(i, m, sum, std::true_type());
    else
      body(i, m, sum, std::false_type());
    keep(st, sum);
  };
  // A long run: the warm-up bar by bar, then the groups but the last in
  // one loop (the last, before which the state is saved, is study_run4's).
  if (bulk) {
    for (; start < from; start++) step(start, st);
    study_v4d sum[6];
    load(st, sum);
    const int groups_end = start + (count - 1 - start) / 4 * 4;
    while (start < groups_end) {
      int end = std::min(start + block, groups_end);
      for (int i = start; i < end; i += 4) {
        study_v4d bp, tr;
        values(i, 4, bp, tr);
      }
      for (int i = start; i < end; i += 4) {
        study_v4d bp, tr;
        memcpy(&bp, rbp + (i & mask), sizeof bp);
        memcpy(&tr, rtr + (i & mask), sizeof tr);
        sums(i, 4, bp, tr, sum, std::true_type());
      }
      start = end;
    }
    keep(st, sum);
  }
  study_run4(s, start, count, from, st, step, group);
  return 1;
}
STUDY_TWO_WAYS(uosc, (chart_rec * chart, StudyDef *s, int restart), (chart, s, restart))
}  // namespace

int calcUOSC(chart_rec *chart, StudyDef *s, int restart) {
  return uosc_either(chart, s, restart);
}

// ---- Chaikin Volatility ----------------------------------------------------------

namespace {
struct cvi_state {
  int32_t index;
  double ema;  // smoothed high - low
};

// The bars from the first whose oscillator can have a value go in groups
// of four (study_run4): the average of the ranges as study_decay4, the
// oscillator's divisions four to a vector from the averages as stored.
template <int W>
STUDY_INLINE inline int cvi(chart_rec *chart, StudyDef *s, int restart) {
  int count = ferlume_bar_count(chart, s);
  cvi_state st;
  int n = study_cap(s->period);
  int start = study_start(s, restart, 0, count, n >= 1, 2, &st);
  if (start < 0) return 1;
  float *out = study_series(s, 0), *ema = study_series(s, 1);
  double k = 2.0 / (n + 1);
  const study_decay4 decay(1 - k);
  const chart_bar *b = chart ? chart->bars : nullptr;
  auto step = [&](int i, cvi_state &st) STUDY_INLINE {
    double range = (double)b[i].high - b[i].low;
    st.ema = i == 0 ? range : k * range + (1 - k) * st.ema;
    ema[i] = i < n - 1 ? MISSING_VALUE : study_out(st.ema);
    if (i < 2 * n - 1 || ema[i] == MISSING_VALUE || ema[i - n] == MISSING_VALUE)
      out[i] = MISSING_VALUE;
    else
      out[i] = study_out(((double)ema[i] - ema[i - n]) / ema[i - n] * 100);
  };
  // every bar from `from` on is past both warm-ups
  const int from = (2 * n + 3) & ~3;
  auto group = [&](int i, int m, cvi_state &st) STUDY_INLINE {
    study_v4d h, l, c;
    ferlume_hlc4(b, i, m, h, l, c);
    study_v4d u = k * (h - l);
    decay.run(u, st.ema);
    study_store4(ema + i, u, m, &u);
    study_v4d cur = u, prev;
    study_gather4(prev, [&](int j) STUDY_INLINE -> double { return ema[j]; }, i - n, m);
    const study_v4d missing = {MISSING_VALUE, MISSING_VALUE, MISSING_VALUE, MISSING_VALUE};
    study_v4i keep = (cur != missing) & (prev != missing);
    study_store4_if(out + i, (cur - prev) / prev * 100, keep, m);
  };
  // A long run: the warm-up bar by bar, then the groups but the last (the
  // one before which the state is saved, study_run4's) in blocks: first
  // the block's averages, their value carried from group to group in a
  // vector, then the oscillator from the averages stored (its loads wait
  // on no store just made).  The operations are the group's.
  start = study_first4(start, from);
  if (count - from > 64) {
    for (; start < from; start++) step(start, st);
    const int groups_end = start + (count - 1 - start) / 4 * 4;
    study_v4d carry = st.ema - study_v4d{0, 0, 0, 0};  // x - 0 is x, -0 and NaN included
    while (start < groups_end) {
      int end = std::min(start + 256, groups_end);
      for (int i = start; i < end; i += 4) {
        study_v4d h, l, c;
        ferlume_hlc4(b, i, 4, h, l, c);
        study_v4d u = k * (h - l);
        u += decay.c * STUDY_V4_SHIFT1(u);
        u += decay.cc * STUDY_V4_SHIFT2(u);
        u += decay.pw * carry;
        carry = __builtin_shufflevector(u, u, 3, 3, 3, 3);
        study_store4(ema + i, u, 4);
      }
      for (int i = start; i < end; i += 4) {
        study_v4f fc, fp;
        memcpy(&fc, ema + i, sizeof fc);
        memcpy(&fp, ema + i - n, sizeof fp);
        study_v4d cur = __builtin_convertvector(fc, study_v4d),
                  prev = __builtin_convertvector(fp, study_v4d);
        const study_v4d missing = {MISSING_VALUE, MISSING_VALUE, MISSING_VALUE, MISSING_VALUE};
        study_v4i keep = (cur != missing) & (prev != missing);
        study_store4_if(out + i, (cur - prev) / prev * 100, keep, 4);
      }
      start = end;
    }
    st.ema = carry[0];
  }
  study_run4(s, start, count, from, st, step, group);
  return 1;
}
STUDY_TWO_WAYS(cvi, (chart_rec * chart, StudyDef *s, int restart), (chart, s, restart))
}  // namespace

int calcCVI(chart_rec *chart, StudyDef *s, int restart) {
  return cvi_either(chart, s, restart);
}

// ---- Average True Range ------------------------------------------------------------

namespace {
// The true ranges, and their average by the engine.  A whole chart's
// simple average goes with its ranges, four bars to a group: a group's
// ranges as floats, then the window sums as running sums over the group
// (study_prefix4) from the ranges that enter and those that leave, which
// the group before has written.  The sums are the engine's, in another
// order.  A range that is missing (prices that are no numbers) leaves the
// average to the engine.
template <int W>
STUDY_INLINE inline int atr(chart_rec *chart, StudyDef *s, int restart) {
  int count = ferlume_bar_count(chart, s);
  study_state_base st;
  int start = study_start(s, restart, 0, count, true, 2, &st);
  float *out = study_series(s, 0), *tr = study_series(s, 1);
  const chart_bar *b = chart ? chart->bars : nullptr;
  const int n = study_cap(s->period), method = s->method;
  // the first group: the range leaving its first bar's window is a bar's
  const int g0 = (n + 4) & ~3;
  int i = start;
  if (i == 0 && method == MA_SIMPLE && n >= 4 && count - g0 >= 64) {
    tr[0] = MISSING_VALUE;
    bool bad = false;
    for (i = 1; i < g0; i++) {
      tr[i] = study_out(ferlume_true_range(b, i));
      bad |= tr[i] == MISSING_VALUE;
    }
    ferlume_average(out, tr, 0, 1, g0, MA_SIMPLE, n);
    double first = 0;
    for (int j = g0 - n; j < g0; j++) first += tr[j];
    study_v4d sum = {first, first, first, first};
    const double inv = 1.0 / n;
    const study_v4d missing = {MISSING_VALUE, MISSING_VALUE, MISSING_VALUE, MISSING_VALUE};
    study_v4i any = {0, 0, 0, 0};
    auto group = [&](int i, int m) STUDY_INLINE {
      study_v4d r, drop, l, c, cp;
      range_true4(b, i, m, r, l, c, cp);
      study_store4(tr + i, r, m, &r);
      study_gather4(drop, [&](int j) STUDY_INLINE -> double { return tr[j]; }, i - n, m);
      any |= r == missing;
      study_v4d d = r - drop;
      study_prefix4(d);
      d += sum;
      sum = __builtin_shufflevector(d, d, 3, 3, 3, 3);
      study_store4(out + i, d * inv, m);
    };
    // blocks of bars: their ranges, then their averages from the ranges
    // stored (no load waits on a store just made)
    const int groups_end = i + (count - 1 - i) / 4 * 4;
    while (i < groups_end) {
      int end = std::min(i + 256, groups_end);
      for (int j = i; j < end; j += 4) {
        study_v4d r, l, c, cp;
        range_true4(b, j, 4, r, l, c, cp);
        study_store4(tr + j, r, 4);
      }
      for (int j = i; j < end; j += 4) {
        study_v4f fv, fd;
        memcpy(&fv, tr + j, sizeof fv);
        memcpy(&fd, tr + j - n, sizeof fd);
        study_v4d v = __builtin_convertvector(fv, study_v4d),
                  d = v - __builtin_convertvector(fd, study_v4d);
        any |= v == missing;
        study_prefix4(d);
        d += sum;
        sum = __builtin_shufflevector(d, d, 3, 3, 3, 3);
        study_store4(out + j, d * inv, 4);
      }
      i = end;
    }
    group(i, count - i);
    bad |= (any[0] | any[1] | any[2] | any[3]) != 0;
    if (bad) ferlume_average(out, tr, 0, 1, count, method, n);
    study_finish(s, st, count);
    return 1;
  }
  if (count - i >= 64) {
    if (i == 0) tr[i++] = MISSING_VALUE;
    for (; count - i >= 4; i += 4) {
      study_v4d r, l, c, cp;
      range_true4(b, i, 4, r, l, c, cp);
      study_store4(tr + i, r, 4);
    }
  }
  for (; i < count; i++) tr[i] = i == 0 ? MISSING_VALUE : study_out(ferlume_true_range(b, i));
  study_finish(s, st, count);
  ferlume_average(out, tr, start, 1, count, method, n);
  return 1;
}
STUDY_TWO_WAYS(atr, (chart_rec * chart, StudyDef *s, int restart), (chart, s, restart))
}  // namespace

int calcATR(chart_rec *chart, StudyDef *s, int restart) {
  return atr_either(chart, s, restart);
}

// ---- Keltner Channel ------------------------------------------------------------------

namespace {
struct kch_state {
  int32_t index;
  int32_t ma_id, atr_id;  // the sources the values were made from
};

bool listed_after(const StudyDef *self, const StudyDef *other) {
  for (const StudyDef *p = self->next; p; p = p->next)
    if (p == other) return true;
  return false;
}

float source_value(const StudyDef *src, int i) {
  return i < src->output_len ? src->outputs[i] : MISSING_VALUE;
}
}  // namespace

// The average and the average true range are studies of the same chart,
// found (or created) through the engine.
int calcKCH(chart_rec *chart, StudyDef *s, int restart) {
  int count = ferlume_bar_count(chart, s);
  kch_state st;
  int start = study_begin(s, restart, 0, count, &st);
  float *out = study_series(s, 0);
  if (count == 0) return 1;
  static const int ma_types[4] = {STUDY_SMA, STUDY_EMA, STUDY_WMA, STUDY_TMA};
  int ma_type = s->method >= 0 && s->method <= 3 ? ma_types[s->method] : STUDY_SMA;
  StudyDef *ma = g_callbacks->find_or_create_study(chart, ma_type, s->period, s->price_type, 1.0);
  StudyDef *atr = g_callbacks->find_or_create_study(chart, STUDY_LIBRARY, "ferlume1", 2, s->period,
                                                    0, s->method, 0.0, 0.0, 0.0, 0.0);
  if (!ma || !atr || !ma->outputs || !atr->outputs) {
    study_fill_missing(out, 0, count);
    study_save_state(s, kch_state{});
    return 1;
  }
  // Other sources than last time: every value is made again.
  if (start > 0 && (st.ma_id != ma->id || st.atr_id != atr->id)) start = 0;
  // A source listed after the channel is computed after it: bring it up
  // to date first.
  if (listed_after(s, ma) && ma->compute) ma->compute(chart, ma, 0);
  if (listed_after(s, atr) && atr->compute) atr->compute(chart, atr, 0);
  st.index = count - 1;
  st.ma_id = ma->id;
  st.atr_id = atr->id;
  study_save_state(s, st);
  for (int i = start; i < count; i++) {
    float m = source_value(ma, i), a = source_value(atr, i);
    out[i] = study_is_missing(m) || study_is_missing(a) ? MISSING_VALUE : study_out(m + a * s->p1);
  }
  return 1;
}

// ---- Parabolic SAR -----------------------------------------------------------------------

namespace {
struct sar_state {
  int32_t index;
  int32_t is_long;
  double sar_long, sar_short;  // stop values of the two runs
  double hh, ll;               // extremes of the long and the short run
  double af;
};

// Lane 0 carries the value (lane 1 a copy of it): the stop's values live
// in vector registers from bar to bar, where a choice is a mask and a
// blend, and never pass through the integer registers.
typedef study_v2d sar_v;

STUDY_INLINE inline sar_v sar_at(float x) {
  return study_v2_splat((double)x);
}

// x > y ? a : b
STUDY_INLINE inline sar_v sar_pick_gt(sar_v x, sar_v y, sar_v a, sar_v b) {
  study_v2i m = (study_v2i)(x > y);
  return (sar_v)(((study_v2i)a & m) | ((study_v2i)b & ~m));
}

// x < y ? x : y and x > y ? x : y
STUDY_INLINE inline sar_v sar_min(sar_v x, sar_v y) {
  return sar_pick_gt(y, x, x, y);
}
STUDY_INLINE inline sar_v sar_max(sar_v x, sar_v y) {
  return sar_pick_gt(x, y, x, y);
}

// One bar of the stop (i >= 2) from its state, in the state's own terms.
STUDY_INLINE inline double sar_bar(const chart_bar *b, int i, sar_state &st, double a0, double inc,
                                   double af_max) {
  double hi = b[i].high, lo = b[i].low;
  if (i == 2) {
    st.hh = b[1].high > hi ? b[1].high : hi;
    st.ll = b[1].low < lo ? b[1].low : lo;
    st.sar_long = st.ll;
    st.sar_short = st.hh;
    st.is_long = 1;
    st.af = a0;
  }
  const sar_v vinc = study_v2_splat(inc), vmax = study_v2_splat(af_max);
  sar_v vhi = sar_at(b[i].high), vlo = sar_at(b[i].low), af = study_v2_splat(st.af), t;
  if (st.is_long) {
    sar_v sl = study_v2_splat(st.sar_long), hh = study_v2_splat(st.hh);
    sar_v l2 = sar_min(sar_at(b[i - 1].low), vlo);
    t = sl + af * (sar_at(b[i - 1].high) - sl);
    t = sar_pick_gt(t, l2, sl, t);
    af = sar_min(vmax, sar_pick_gt(vhi, hh, af + vinc, af));
    st.hh = sar_max(vhi, hh)[0];
    st.af = af[0];
    st.sar_long = t[0];
    if (t[0] > lo) {
      st.is_long = 0;
      st.ll = t[0];
      st.sar_short = st.hh;
      st.af = a0;
    }
  } else {
    sar_v ss = study_v2_splat(st.sar_short), ll = study_v2_splat(st.ll);
    sar_v h2 = sar_max(sar_at(b[i - 1].high), vhi);
    t = ss - af * (ss - sar_at(b[i - 1].low));
    t = sar_pick_gt(h2, t, ss, t);
    af = sar_min(vmax, sar_pick_gt(ll, vlo, af + vinc, af));
    st.ll = sar_min(vlo, ll)[0];
    st.af = af[0];
    st.sar_short = t[0];
    if (hi > t[0]) {
      st.is_long = 1;
      st.hh = t[0];
      st.sar_long = st.ll;
      st.af = a0;
    }
  }
  return t[0];
}

// The stop follows its run and turns when the prices cross it.  A long
// run takes the bars between the third and the last in one loop with the
// state in registers: a stop, an extreme and the factor as vectors, the
// run's side as the branch that the loop is in (a turn is one jump to the
// other loop, the only choice the prices make that is a branch).  The
// choices the prices make from bar to bar (a new extreme, a stop held at
// the lows) are masks.  Each bar is what sar_bar makes of it.
template <int W>
STUDY_INLINE inline int sar(chart_rec *chart, StudyDef *s, int restart) {
  int count = ferlume_bar_count(chart, s);
  sar_state st;
  int start = study_start(s, restart, 0, count, true, 1, &st);
  float *out = study_series(s, 0);
  double a0 = s->p1, inc = s->p2, af_max = s->p3;
  const chart_bar *b = chart ? chart->bars : nullptr;
  auto step = [&](int i, sar_state &st) STUDY_INLINE {
    out[i] = i < 2 ? MISSING_VALUE : study_out(sar_bar(b, i, st, a0, inc, af_max));
  };
  int i = start;
  for (; i < 3 && i < count - 1; i++) step(i, st);
  if (i < count - 1) {
    const sar_v vinc = study_v2_splat(inc), vmax = study_v2_splat(af_max),
                va0 = study_v2_splat(a0);
    sar_v sl = study_v2_splat(st.sar_long), ss = study_v2_splat(st.sar_short);
    sar_v hh = study_v2_splat(st.hh), ll = study_v2_splat(st.ll), af = study_v2_splat(st.af);
    sar_v ph = sar_at(b[i - 1].high), pl = sar_at(b[i - 1].low);  // the bar before
    // The stop a bar starts from is either the one the bar before started
    // from (held at the bars' extremes) or the one it moved to: the next
    // stop is made from both side by side and the choice made last, so
    // that a bar's chain is a subtraction, a multiplication, an addition
    // and a blend (the comparison that chooses waits on nobody).  sp and
    // up: the stop the bar before started from and the one it moved to,
    // xp the bar before's extreme of two bars that holds it.  A run starts
    // from one stop: sp = up.
    const int end = count - 1;
    bool is_long = st.is_long != 0;
    sar_v sp = is_long ? sl : ss, up = sp, xp = sp;
    while (i < end) {
      if (is_long) {
        for (; i < end; i++) {
          sar_v vhi = sar_at(b[i].high), vlo = sar_at(b[i].low);
          sar_v l2 = sar_min(pl, vlo);
          sar_v s = sar_pick_gt(up, xp, sp, up);
          sar_v t = sar_pick_gt(up, xp, sp + af * (ph - sp), up + af * (ph - up));
          up = t;
          sp = s;
          xp = l2;
          t = sar_pick_gt(t, l2, s, t);
          af = sar_min(vmax, sar_pick_gt(vhi, hh, af + vinc, af));
          hh = sar_max(vhi, hh);
          ph = vhi;
          pl = vlo;
          out[i] = study_out(t[0]);
          if (t[0] > vlo[0]) {
            ll = t;
            sp = up = hh;
            af = va0;
            is_long = false;
            i++;
            break;
          }
        }
      } else {
        for (; i < end; i++) {
          sar_v vhi = sar_at(b[i].high), vlo = sar_at(b[i].low);
          sar_v h2 = sar_max(ph, vhi);
          sar_v s = sar_pick_gt(xp, up, sp, up);
          sar_v t = sar_pick_gt(xp, up, sp - af * (sp - pl), up - af * (up - pl));
          up = t;
          sp = s;
          xp = h2;
          t = sar_pick_gt(h2, t, s, t);
          af = sar_min(vmax, sar_pick_gt(ll, vlo, af + vinc, af));
          ll = sar_min(vlo, ll);
          ph = vhi;
          pl = vlo;
          out[i] = study_out(t[0]);
          if (vhi[0] > t[0]) {
            hh = t;
            sp = up = ll;
            af = va0;
            is_long = true;
            i++;
            break;
          }
        }
      }
    }
    (is_long ? sl : ss) = is_long ? sar_pick_gt(up, xp, sp, up) : sar_pick_gt(xp, up, sp, up);
    st.is_long = is_long;
    st.sar_long = sl[0];
    st.sar_short = ss[0];
    st.hh = hh[0];
    st.ll = ll[0];
    st.af = af[0];
  }
  study_run(s, i, count, st, step);
  return 1;
}
STUDY_TWO_WAYS(sar, (chart_rec * chart, StudyDef *s, int restart), (chart, s, restart))
}  // namespace

int calcSAR(chart_rec *chart, StudyDef *s, int restart) {
  return sar_either(chart, s, restart);
}

// ---- Highest High and Lowest Low -------------------------------------------------------

namespace {
struct extreme_state {
  int32_t index;
  int32_t window;  // first slot the last call wrote a value to
};

// The extreme of the last n bars goes to each of those bars; the slots
// before them are missing, also those a shorter chart's window wrote
// before.
int extreme_line(chart_rec *chart, StudyDef *s, int restart, bool highest) {
  int count = ferlume_bar_count(chart, s);
  extreme_state st;
  int start = study_begin(s, restart, 0, count, &st);
  float *out = study_series(s, 0);
  int n = study_cap(s->period);
  if (n < 1 || n >= count) {
    // No window fits: every bar is missing, also those an earlier period
    // or a longer chart wrote a line to, which would otherwise stay drawn.
    study_fill_missing(out, 0, count);
    study_save_state(s, extreme_state{});
    return 1;
  }
  int window = count - n;
  int clear_from = start == 0 || st.window < 0 || st.window > window ? 0 : st.window;
  study_fill_missing(out, clear_from, window);
  const chart_bar *b = chart->bars;
  double v = highest ? (double)MISSING_VALUE : 9e30;
  for (int i = window; i < count; i++) {
    double x = highest ? b[i].high : b[i].low;
    if (highest ? x > v : x < v) v = x;
  }
  for (int i = window; i < count; i++) out[i] = study_out(v);
  st.index = count - 1;
  st.window = window;
  study_save_state(s, st);
  return 1;
}
}  // namespace

int calcHH(chart_rec *chart, StudyDef *s, int restart) {
  return extreme_line(chart, s, restart, true);
}
int calcLL(chart_rec *chart, StudyDef *s, int restart) {
  return extreme_line(chart, s, restart, false);
}
