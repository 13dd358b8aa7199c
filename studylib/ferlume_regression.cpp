// Ferlume1 regression studies: Time Series Forecast, its band and its
// deviation, and the Modified Moving Average.  The window's regression line
// comes from running sums (regression_sums), so the line costs the same
// per bar whatever the period; the band and the deviation measure each
// bar of the window against the line, which moves with every window.
#include "studies/study_block16.h"
#include "studylib/ferlume.h"

namespace {
struct tsf_state {
  int32_t index;
  regression_run reg;
};

enum { TSF_LINE, TSF_BAND, TSF_DEVIATION };

// Sum of d * d over the window of each bar j = 0 .. m - 1 (m a multiple of
// 8), d = |line - mid| + half at x = 1 .. n, the line a[j] + x b[j]; mids
// and halves run from the first bar of bar 0's window.  Each bar's sum is
// taken in two interleaved sums (even and odd x), added at the end.
[[gnu::always_inline]] inline void band_squares(const double *mids, const double *halves,
                                                const double *la, const double *ls, int m, int n,
                                                double *sq) {
  const study_v4d one = {1, 1, 1, 1};
  const study_v4i mask = {0x7fffffffffffffffLL, 0x7fffffffffffffffLL, 0x7fffffffffffffffLL,
                          0x7fffffffffffffffLL};
  for (int j = 0; j < m; j += 8) {
    study_v4d a0, a1, b0, b1, x = one, d0, d1, d2, d3;
    // d of the four bars from lane u of the group at window place k (x = k + 1);
    // the vectors go by reference (by value they would change the calling
    // convention between the two compilations)
    auto dev = [&](study_v4d &d, int u, int k, const study_v4d &a, const study_v4d &b) {
      study_v4d mv, hv;
      memcpy(&mv, mids + j + u + k, sizeof mv);
      memcpy(&hv, halves + j + u + k, sizeof hv);
      study_v4d e = a + x * b - mv;
      d = (study_v4d)((study_v4i)e & mask) + hv;
    };
    study_v4d s00 = {}, s01 = {}, s10 = {}, s11 = {};
    memcpy(&a0, la + j, sizeof a0);
    memcpy(&a1, la + j + 4, sizeof a1);
    memcpy(&b0, ls + j, sizeof b0);
    memcpy(&b1, ls + j + 4, sizeof b1);
    int k = 0;
    for (; k + 2 <= n; k += 2) {
      dev(d0, 0, k, a0, b0);
      dev(d1, 4, k, a1, b1);
      x += one;
      dev(d2, 0, k + 1, a0, b0);
      dev(d3, 4, k + 1, a1, b1);
      x += one;
      s00 += d0 * d0;
      s01 += d1 * d1;
      s10 += d2 * d2;
      s11 += d3 * d3;
    }
    if (k < n) {
      dev(d0, 0, k, a0, b0);
      dev(d1, 4, k, a1, b1);
      s00 += d0 * d0;
      s01 += d1 * d1;
    }
    study_v4d t0 = s00 + s10, t1 = s01 + s11;
    memcpy(sq + j, &t0, sizeof t0);
    memcpy(sq + j + 4, &t1, sizeof t1);
  }
}

[[gnu::noinline]] STUDY_WIDE void band_squares_wide(const double *mids, const double *halves,
                                                    const double *la, const double *ls, int m,
                                                    int n, double *sq) {
  band_squares(mids, halves, la, ls, m, n, sq);
}

// The same, two bars to a register: for the few bars of a live update, and
// for processors without 256-bit registers (where the vectors above would
// be split through memory).
[[gnu::noinline]] void band_squares_pairs(const double *mids, const double *halves,
                                          const double *la, const double *ls, int m, int n,
                                          double *sq) {
  const study_v2d one = study_v2_splat(1);
  for (int j = 0; j < m; j += 2) {
    study_v2d av = {la[j], la[j + 1]}, sv = {ls[j], ls[j + 1]}, x = one;
    study_v2d sq0 = {0, 0}, sq1 = {0, 0};
    const double *mp = mids + j, *hp = halves + j;
    int k = 0;
    for (; k + 2 <= n; k += 2) {
      study_v2d d0 = study_v2_abs(av + x * sv - study_v2_load(mp + k)) + study_v2_load(hp + k);
      x += one;
      study_v2d d1 =
          study_v2_abs(av + x * sv - study_v2_load(mp + k + 1)) + study_v2_load(hp + k + 1);
      x += one;
      sq0 += d0 * d0;
      sq1 += d1 * d1;
    }
    if (k < n) {
      study_v2d d0 = study_v2_abs(av + x * sv - study_v2_load(mp + k)) + study_v2_load(hp + k);
      sq0 += d0 * d0;
    }
    study_v2d t = sq0 + sq1;
    sq[j] = t[0];
    sq[j + 1] = t[1];
  }
}

// The line alone: bar by bar through the warm-up, then sixteen bars at a
// time, the window sums as running sums over the block (sum16; the sums
// are the same, taken in another order).  Between bars the sums
// hold the window less its oldest value: at bar i, sxy gains n v(i) and sy
// v(i); then sxy loses sy and sy loses v(i - n + 1).
template <int>
STUDY_INLINE inline int tsf_line(chart_rec *chart, StudyDef *s, int restart) {
  int count = ferlume_bar_count(chart, s);
  tsf_state st;
  int n = study_cap(s->period);
  int start = study_start(s, restart, 0, count, n >= 1, 1, &st);
  if (start < 0) return 1;
  float *out = study_series(s, 0);
  const chart_bar *b = chart ? chart->bars : nullptr;
  const regression_sums rs(n);
  // The line's end a + n b with b = (sxy - sx sy / n) / (sxx - sx sx / n)
  // and a = (sy - b sx) / n, x = 1 .. n: (6 sxy / (n + 1) - 2 sy) / n, two
  // multiplications a bar (one value: the line is flat through it, and
  // 3 sxy - 2 sy is that value)
  const double kxy = 6.0 / ((double)n * (n + 1)), ky = 2.0 / n;
  with_price_type(b, s->price_type, [&](auto price) STUDY_INLINE {
    auto step = [&](int i, tsf_state &st) STUDY_INLINE {
      rs.add(st.reg, price, i);
      if (i < n - 1) {
        out[i] = MISSING_VALUE;
        return;
      }
      out[i] = study_out(kxy * st.reg.sxy - ky * st.reg.sy + st.reg.shift);
      rs.drop(st.reg, price, i);
    };
    // the blocks' windows are full and the shift is known
    auto blocks = [&](int i, int nb, int mlast, tsf_state &st) STUDY_INLINE {
      const double shift = st.reg.shift, nd = n;
      block16 sy[CHUNK], sxy[CHUNK];
      // sy after each bar (less its oldest value), then the full window's
      for (int k = 0; k < nb; k++) {
        int at = i + 16 * k, m = k == nb - 1 ? mlast : 16;
        block16 v, dq;
        study_prefetch_bars(b, at + 16 * CHUNK, 16, count);
        block_gather(v, price, at, m);
        block_gather(dq, price, at - n + 1, m);
        for (int j = 0; j < 4; j++) {
          v[j] -= shift;
          dq[j] -= shift;
          sy[k][j] = v[j] - dq[j];
          sxy[k][j] = nd * v[j];
        }
        sum16(sy[k], st.reg.sy);
        for (int j = 0; j < 4; j++) {
          sy[k][j] += dq[j];
          sxy[k][j] -= sy[k][j];
        }
      }
      // sxy after each bar (less the window's sy), then the full window's
      for (int k = 0; k < nb; k++) {
        sum16(sxy[k], st.reg.sxy);
        block16 line;
        for (int j = 0; j < 4; j++) {
          study_v4d y = sy[k][j], xy = sxy[k][j] + y;
          line[j] = kxy * xy - ky * y + shift;
        }
        block_store(out + i + 16 * k, line, k == nb - 1 ? mlast : 16);
      }
    };
    run16(s, start, count, (n + 15) & ~15, st, step, blocks);
  });
  return 1;
}
STUDY_TWO_WAYS(tsf_line, (chart_rec * chart, StudyDef *s, int restart), (chart, s, restart))

int tsf_run(chart_rec *chart, StudyDef *s, int restart, int kind) {
  int count = ferlume_bar_count(chart, s);
  tsf_state st;
  int n = study_cap(s->period);
  int start = study_start(s, restart, 0, count, n >= 1, 1, &st);
  if (start < 0) return 1;
  float *out = study_series(s, 0);
  const chart_bar *b = chart ? chart->bars : nullptr;
  regression_sums rs(n);
  double band = s->p1;
  int first = start > n - 1 ? start : n - 1;
  if (first >= count) {
    with_price_type(b, s->price_type, [&](auto price) {
      study_run(s, start, count, st, [&](int i, tsf_state &st) {
        rs.add(st.reg, price, i);
        if (i < n - 1) {
          out[i] = MISSING_VALUE;
          return;
        }
        double slope = rs.slope(st.reg), a = rs.intercept(st.reg, slope);
        out[i] = study_out(a + n * slope);
        rs.drop(st.reg, price, i);
      });
    });
    return 1;
  }
  // The band and the deviation measure each bar's farther extreme from the
  // line: max(|line - high|, |line - low|) = |line - mid| + half, with mid
  // the middle of the bar's range and half its half-width.  The line moves
  // with every window, so every bar of the window is measured again: the
  // pass is the formula's own cost.  Bars are taken in blocks: the running
  // sums give each bar's line, then eight bars at a time share each load
  // (bar j + 1's window is bar j's a bar later) and neighbouring bars'
  // passes overlap instead of waiting on each other (band_squares).
  // (a live update's block is its few bars: nothing more is allocated)
  const int B = count - first < 512 ? count - first : 512;
  const int BP = (B + 7) & ~7;  // the block in whole groups of eight bars
  // one block of memory for the five buffers, on the stack when small
  size_t total = 2 * ((size_t)BP + n) + 3 * (size_t)BP;
  double small[256];
  std::vector<double> buf(total > 256 ? total : 0);
  double *mids = total > 256 ? buf.data() : small, *halves = mids + BP + n, *la = halves + BP + n,
         *ls = la + BP, *sq = ls + BP;
  int blk = first;  // first bar of the block being collected
  auto flush = [&](int last) {
    int m = last - blk + 1, mp = (m + 7) & ~7;
    for (int k = 0; k < m + n - 1; k++) {
      const chart_bar &r = b[blk - n + 1 + k];
      mids[k] = 0.5 * ((double)r.high + r.low);
      halves[k] = 0.5 * std::fabs((double)r.high - r.low);
    }
    // the group's unused lanes see zeros
    for (int k = m + n - 1; k < mp + n - 1; k++) mids[k] = halves[k] = 0;
    for (int j = m; j < mp; j++) la[j] = ls[j] = 0;
    // whole groups of eight in the wide registers, the rest (a live
    // update's bar or two) two at a time
    int m8 = study_wide() ? m & ~7 : 0;
    if (m8 > 0) band_squares_wide(mids, halves, la, ls, m8, n, sq);
    if (m8 < m) band_squares_pairs(mids + m8, halves + m8, la + m8, ls + m8, m - m8, n, sq + m8);
    for (int j = 0; j < m; j++) {
      double rms = std::sqrt(sq[j] * rs.inv_n);
      double line = la[j] + n * ls[j];
      out[blk + j] = study_out(kind == TSF_DEVIATION ? rms : line + rms * band);
    }
    blk = last + 1;
  };
  with_price_type(b, s->price_type, [&](auto price) {
    study_run(s, start, count, st, [&](int i, tsf_state &st) {
      rs.add(st.reg, price, i);
      if (i < n - 1) {
        out[i] = MISSING_VALUE;
        return;
      }
      double slope = rs.slope(st.reg);
      la[i - blk] = rs.intercept(st.reg, slope);
      ls[i - blk] = slope;
      if (i - blk == B - 1 || i == count - 1) flush(i);
      rs.drop(st.reg, price, i);
    });
  });
  return 1;
}
}  // namespace

int calcTSF(chart_rec *chart, StudyDef *s, int restart) {
  return tsf_line_either(chart, s, restart);
}
int calcTSFB(chart_rec *chart, StudyDef *s, int restart) {
  return tsf_run(chart, s, restart, TSF_BAND);
}
int calcTSFD(chart_rec *chart, StudyDef *s, int restart) {
  return tsf_run(chart, s, restart, TSF_DEVIATION);
}

// The Modified Moving Average, the simple average plus a weighted
// correction,
//   sum / n + 6 / (n (n + 1)) * sum over k of (n - 2k - 1) / 2 * p(i - k),
// gives each price of the window the weight the regression line's end
// gives it, (4n - 2 - 6k) / (n (n + 1)) for p(i - k): it is the forecast
// line, and is computed as the line.
int calcMMA(chart_rec *chart, StudyDef *s, int restart) {
  return tsf_line_either(chart, s, restart);
}
