// The study driver that the built-in compute functions and the study
// library share: reaching a study's series and the chart's bars, keeping
// running state in the work area, deciding where a computation starts,
// running a study's kernel bar by bar, and bounding parameters and
// outputs.  Inline only, over the shared study header and the bar layout:
// a library that includes it links nothing of the program.
//
// Every compute function is the same shell around its kernel:
//   int count = study_bar_count(chart, s);
//   S st;
//   int start = study_start(s, restart, period, count, usable, series, &st);
//   if (start < 0) return 1;             // parameters give no study: padded
//   study_run(s, start, count, st, [&](int i, S &st) { ...bar i... });
// study_start binds the outputs and picks bar 0 with cleared state or the
// saved index with the saved state; study_run saves the state just before
// the last bar, so that the next call computes that bar again from the
// state it had before it: a last bar changed by a live quote gives what a
// computation from the first bar gives.  Kernels that fill whole series at
// once end with study_finish instead.
#pragma once

#include <cmath>
#include <cstring>
#include <vector>

#include "data/chart.h"
#include "studies/studyapi.h"

// Running state of one compute function; `index` is the next bar to
// compute (the bar computed last, again).
struct study_state_base {
  int32_t index;
};

template <class S>
inline void study_load_state(const StudyDef *s, S *st) {
  static_assert(sizeof(S) <= sizeof(StudyDef::work), "running state fits the work area");
  memcpy(st, s->work, sizeof(S));
}

template <class S>
inline void study_save_state(StudyDef *s, const S &st) {
  static_assert(sizeof(S) <= sizeof(StudyDef::work), "running state fits the work area");
  memcpy(s->work, &st, sizeof(S));
}

inline float *study_series(StudyDef *s, int k) {
  return s->outputs + (size_t)k * (size_t)s->output_len;
}

// The outputs follow the record in the same block.
inline void study_bind_outputs(StudyDef *s) {
  s->outputs = reinterpret_cast<float *>(s + 1);
}

// Bars a compute function may read and write: the chart's bars, never more
// than the study has slots for.
inline int study_bar_count(const chart_rec *chart, const StudyDef *s) {
  if (!chart || !chart->bars) return 0;
  int n = chart->header.bar_count;
  if (n > s->output_len) n = s->output_len;
  return n < 0 ? 0 : n;
}

// Periods and counts are capped far above any chart's length, so that
// sums of a few of them cannot overflow; a study's output is the same.
#define STUDY_MAX_PERIOD (1 << 28)

inline int study_cap(int v) {
  if (v > STUDY_MAX_PERIOD) return STUDY_MAX_PERIOD;
  return v < -STUDY_MAX_PERIOD ? -STUDY_MAX_PERIOD : v;
}

inline int study_period(const StudyDef *s) {
  return study_cap(s->period);
}

// An integer parameter taken from a double: NaN becomes 0 (which every
// study treats as "no value"), large values are capped.
inline int study_param_int(double d) {
  if (!(d > -1e9 && d < 1e9)) return d > 0 ? STUDY_MAX_PERIOD : d < 0 ? -STUDY_MAX_PERIOD : 0;
  return study_cap((int)d);
}

// A float output: anything not finite is missing.
inline float study_out(double v) {
  float f = (float)v;
  return std::isfinite(f) ? f : MISSING_VALUE;
}

inline void study_fill_missing(float *out, int from, int to) {
  for (int i = from; i < to; i++) out[i] = MISSING_VALUE;
}

// Decides where a compute function starts.  Returns the first bar to
// compute; *st is either the saved state or cleared.
template <class S>
inline int study_begin(StudyDef *s, int restart, int period, int count, S *st) {
  study_bind_outputs(s);
  study_load_state(s, st);
  if (restart || period >= count || st->index <= 0 || st->index >= count) {
    *st = S{};
    study_save_state(s, *st);
    return 0;
  }
  return st->index;
}

// study_begin, and when the parameters give no study (usable false) the
// first `series` series padded with missing values over [0, count) and -1.
template <class S>
inline int study_start(StudyDef *s, int restart, int period, int count, bool usable, int series,
                       S *st) {
  int start = study_begin(s, restart, period, count, st);
  if (usable) return start;
  for (int k = 0; k < series; k++) study_fill_missing(study_series(s, k), 0, count);
  return -1;
}

// Runs step(i, st) for i = start .. count - 1 and saves st, with its index,
// just before the last bar.  The state is a local through the loop (kept in
// registers) and is written to the work area once; the kernel is inlined
// into both of its calls (flatten), so that neither goes through memory.
template <class S, class Step>
[[gnu::flatten]] inline void study_run(StudyDef *s, int start, int count, S &st, Step step) {
  S run = st;
  int i = start;
  for (; i < count - 1; i++) step(i, run);
  if (i == count - 1) {
    run.index = i;
    study_save_state(s, run);
    step(i, run);
  }
  st = run;
}

// For a kernel that wrote bars up to count - 1 in one go: the next call
// starts again at the last bar.
template <class S>
inline void study_finish(StudyDef *s, S &st, int count) {
  if (count <= 0) return;
  st.index = count - 1;
  study_save_state(s, st);
}

// Two doubles in one SSE register, for the passes over a whole window that
// a bar's value needs: two neighbouring bars share a register, bar j + 1's
// window being bar j's a bar later.
typedef double study_v2d __attribute__((vector_size(16)));
typedef long long study_v2i __attribute__((vector_size(16)));

inline study_v2d study_v2_load(const double *p) {
  study_v2d v;
  memcpy(&v, p, sizeof v);
  return v;
}

inline study_v2d study_v2_splat(double d) {
  return study_v2d{d, d};
}

inline study_v2d study_v2_abs(study_v2d v) {
  const study_v2i mask = {0x7fffffffffffffffLL, 0x7fffffffffffffffLL};
  return (study_v2d)((study_v2i)v & mask);
}

// Four doubles in one vector, for the passes that take four or eight
// neighbouring bars at a time: a window pass where one load feeds several
// bars, or a block's divisions and roots, four bars to an instruction.
// These kernels are compiled for 256-bit registers (STUDY_WIDE) and run
// where the processor has them (study_wide); elsewhere the bar-by-bar or
// two-bar code runs, which makes the same operations in the same order,
// so that both give the same values bit for bit.  Kernels over study_v4d
// take pointers only (a vector passed by value would change the calling
// convention).
typedef double study_v4d __attribute__((vector_size(32)));
typedef long long study_v4i __attribute__((vector_size(32)));

#if defined(__x86_64__) || defined(__i386__)
#define STUDY_WIDE __attribute__((target("avx2")))
inline bool study_wide() {
  static const bool wide = __builtin_cpu_supports("avx2");
  return wide;
}
#else
#define STUDY_WIDE
inline bool study_wide() {
  return false;
}
#endif
