// Kernels sixteen bars at a time: blocks of sixteen bars held as four
// vectors, vector j holding bars j, 4 + j, 8 + j and 12 + j, so that
// recurrences and running sums run four lanes side by side with plain
// vector operations and are chained once a block.  Inline only, over the
// study driver: for the built-in oscillators and the study library's
// momentum and regression studies alike.
#pragma once

#include <algorithm>
#include <cstring>

#include "data/chart.h"
#include "studies/study_record.h"

namespace {

// Recurrences s_j = c s_{j-1} + u_j over blocks of sixteen bars held as
// four vectors, the lanes across the block's four runs of four bars:
// vector j holds bars j, 4 + j, 8 + j and 12 + j.  Each lane runs its own
// four bars from zero with plain multiplications and additions, the ends
// of the four runs are chained (study_decay4 with c^4), and the runs'
// values take the chained value before them times c^(j + 1).  A bar takes
// only from the bars before it (never from lanes after its own), so a
// block the chart cuts short gives its bars what a full one gives.  The
// values differ from the bar-by-bar evaluation by a few units in the last
// place of a double (the sums are taken in another order).
typedef study_v4d block16[4];

struct decay16 {
  double c;
  study_decay4 runs;  // from run to run: c^4
  study_v4d pw[3];    // c, c^2, c^3 in every lane
  explicit decay16(double c_) : c(c_), runs(c_ * c_ * (c_ * c_)) {
    double c2 = c_ * c_;
    pw[0] = study_v4d{c_, c_, c_, c_};
    pw[1] = study_v4d{c2, c2, c2, c2};
    pw[2] = pw[1] * c_;
  }
  // u: the block's inputs, then its values; s: the value before the
  // block, then its last bar's.
  [[gnu::always_inline]] void run(block16 &u, double &s) const {
    u[1] += c * u[0];
    u[2] += c * u[1];
    u[3] += c * u[2];
    double before = s;
    runs.run(u[3], s);
    study_v4d t = u[3];
    study_shift_in4(t, before);  // the value before each run
    u[0] += pw[0] * t;
    u[1] += pw[1] * t;
    u[2] += pw[2] * t;
  }
};

// The running sum s_j = s_{j-1} + u_j the same way (c = 1, no
// multiplications).
[[gnu::always_inline]] inline void sum16(block16 &u, double &s) {
  u[1] += u[0];
  u[2] += u[1];
  u[3] += u[2];
  double before = s;
  study_prefix4(u[3]);
  u[3] += s;
  s = u[3][3];
  study_v4d t = u[3];
  study_shift_in4(t, before);  // the sum before each run
  u[0] += t;
  u[1] += t;
  u[2] += t;
}

// Rows of a block from a price: v[j] lane l = x(i + 4l + j), lanes of
// the bars from m on 0.
template <class X>
[[gnu::always_inline]] inline void block_gather(block16 &v, const X &x, int i, int m) {
  for (int j = 0; j < 4; j++) {
    if (m == 16) {
      v[j] = study_v4d{x(i + j), x(i + 4 + j), x(i + 8 + j), x(i + 12 + j)};
    } else {
      v[j] = study_v4d{0, 0, 0, 0};
      for (int l = 0; 4 * l + j < m; l++) v[j][l] = x(i + 4 * l + j);
    }
  }
}

// Asks for bars from .. from + m - 1 below count ahead of their use, a
// cache line at a time: on long charts the processor's own prefetching
// leaves a block's reads waiting on memory, so a kernel asks for the
// records a chunk before it reads them (none past the chart's end: asking
// for memory that is not there costs a walk of the page tables).
static_assert(sizeof(chart_bar) <= 64, "a cache line holds a bar record");
[[gnu::always_inline]] inline void study_prefetch_bars(const chart_bar *bars, int from, int m,
                                                       int count) {
  if (m > count - from) m = count - from;
  for (int t = 0; t < m; t += 64 / (int)sizeof(chart_bar)) __builtin_prefetch(bars + from + t);
}

// Rows j of a block: the bars' prices i + 4l + j as they stand in memory
// (open, high, low, close), lanes of the bars from m on 0.
[[gnu::always_inline]] inline void block_hlc(const chart_bar *b, int i, int j, int m, study_v4d &h,
                                             study_v4d &l, study_v4d &c) {
  study_v4f r[4];
  for (int k = 0; k < 4; k++) {
    if (4 * k + j < m)
      memcpy(&r[k], &b[i + 4 * k + j].open, sizeof r[k]);
    else
      r[k] = study_v4f{0, 0, 0, 0};
  }
  study_v4f t0 = __builtin_shufflevector(r[0], r[1], 0, 4, 1, 5);  // o0 o1 h0 h1
  study_v4f t1 = __builtin_shufflevector(r[0], r[1], 2, 6, 3, 7);  // l0 l1 c0 c1
  study_v4f t2 = __builtin_shufflevector(r[2], r[3], 0, 4, 1, 5);
  study_v4f t3 = __builtin_shufflevector(r[2], r[3], 2, 6, 3, 7);
  h = __builtin_convertvector(__builtin_shufflevector(t0, t2, 2, 3, 6, 7), study_v4d);
  l = __builtin_convertvector(__builtin_shufflevector(t1, t3, 0, 1, 4, 5), study_v4d);
  c = __builtin_convertvector(__builtin_shufflevector(t1, t3, 2, 3, 6, 7), study_v4d);
}

// study_out of a block's values (vector j, lane l: bar 4l + j) into
// out[0 .. m - 1], in the bars' order.
[[gnu::always_inline]] inline void block_store(float *out, const block16 &v, int m) {
  const study_v4si exp = {0x7f800000, 0x7f800000, 0x7f800000, 0x7f800000};
  const study_v4f missing = {MISSING_VALUE, MISSING_VALUE, MISSING_VALUE, MISSING_VALUE};
  study_v4f f[4];
  for (int j = 0; j < 4; j++) {
    f[j] = __builtin_convertvector(v[j], study_v4f);
    study_v4si finite = ((study_v4si)f[j] & exp) != exp;
    f[j] = (study_v4f)(((study_v4si)f[j] & finite) | ((study_v4si)missing & ~finite));
  }
  study_v4f t0 = __builtin_shufflevector(f[0], f[1], 0, 4, 1, 5);
  study_v4f t1 = __builtin_shufflevector(f[0], f[1], 2, 6, 3, 7);
  study_v4f t2 = __builtin_shufflevector(f[2], f[3], 0, 4, 1, 5);
  study_v4f t3 = __builtin_shufflevector(f[2], f[3], 2, 6, 3, 7);
  study_v4f r[4] = {
      __builtin_shufflevector(t0, t2, 0, 1, 4, 5), __builtin_shufflevector(t0, t2, 2, 3, 6, 7),
      __builtin_shufflevector(t1, t3, 0, 1, 4, 5), __builtin_shufflevector(t1, t3, 2, 3, 6, 7)};
  if (m == 16) {
    for (int k = 0; k < 4; k++) *(study_v4f_at *)(out + 4 * k) = r[k];
    return;
  }
  for (int q = 0; q < m; q++) out[q] = r[q >> 2][q & 3];
}

// study_run4 with blocks of B bars (16 or 32) at multiples of B from
// `from`, taken in chunks of up to C blocks: blocks(i, nb, m, st) runs nb
// blocks from bar i, the last of them m bars long (B but for the one that
// the chart cuts short).  A chunk's passes go over all its blocks in turn,
// so that the work of neighbouring blocks overlaps instead of waiting on
// each block's chain of smoothings.
template <int B, int C, class S, class Step, class Blocks>
STUDY_INLINE inline void run_blocks(StudyDef *s, int start, int count, int from, S &st, Step step,
                                    Blocks blocks) {
  S run = st;
  int i = study_steps_to(s, start >= from ? start & ~(B - 1) : start, from, count, run, step);
  if (i < count) {
    while (count - i > B) {
      int nb = std::min(C, (count - i - 1) / B);
      blocks(i, nb, B, run);
      i += B * nb;
    }
    run.index = count - 1;
    study_save_state(s, run);
    blocks(i, 1, count - i, run);
  }
  st = run;
}

// Sixteen-bar blocks, sixteen to a chunk.
enum { CHUNK = 16 };

template <class S, class Step, class Blocks>
STUDY_INLINE inline void run16(StudyDef *s, int start, int count, int from, S &st, Step step,
                               Blocks blocks) {
  run_blocks<16, CHUNK>(s, start, count, from, st, step, blocks);
}

}  // namespace
