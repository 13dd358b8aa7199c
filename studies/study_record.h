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
#include <cstdlib>
#include <cstring>
#include <vector>

#include "data/chart.h"
#include "studies/study_price.h"
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
STUDY_INLINE inline float study_out(double v) {
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

// The widest registers the kernels may take, in bits: 512 unless the
// environment's KV_STUDY_REGISTERS says "avx2" (256) or "plain" (none
// wider than the portable code's), so that the narrower compilations can
// be run, and checked, on a processor that has the wider ones.
inline int study_register_cap() {
  static const int cap = [] {
    const char *e = getenv("KV_STUDY_REGISTERS");
    if (e && strcmp(e, "plain") == 0) return 128;
    if (e && strcmp(e, "avx2") == 0) return 256;
    return 512;
  }();
  return cap;
}

#if defined(__x86_64__) || defined(__i386__)
#define STUDY_WIDE __attribute__((target("avx2")))
inline bool study_wide() {
  static const bool wide = __builtin_cpu_supports("avx2") && study_register_cap() >= 256;
  return wide;
}
#else
#define STUDY_WIDE
inline bool study_wide() {
  return false;
}
#endif

// Eight doubles in one 512-bit register, for the kernels that have a
// third compilation for such registers (STUDY_512): it runs where the
// processor has them and the registers are not capped (study_has_512),
// and makes the same operations as the narrower ones.
typedef double study_v8d __attribute__((vector_size(64)));
typedef long long study_v8i __attribute__((vector_size(64)));
#if defined(__x86_64__) || defined(__i386__)
#define STUDY_512 __attribute__((target("avx512f")))
inline bool study_has_512() {
  static const bool has = __builtin_cpu_supports("avx512f") && study_register_cap() >= 512;
  return has;
}
#else
#define STUDY_512
inline bool study_has_512() {
  return false;
}
#endif

// ---- Four bars at a time ---------------------------------------------------
// Recurrences that carry a value from bar to bar (exponential averages,
// Wilder's smoothing) cost a multiplication and an addition of waiting per
// bar when taken one bar at a time.  Long runs take them four bars to a
// vector: the group's own part in two doubling steps, then the value
// carried in from the bar before the group, so that the chain from group to
// group is one multiplication and one addition for four bars.  The values
// differ from the bar-by-bar evaluation of the same formula by a few units
// in the last place of a double (the sums are taken in another order), far
// below a float output's resolution.
//
// The groups sit at multiples of 4 whatever the run (study_run4): the group
// that holds the last bar is computed again from the state saved before
// it, so that a live update gives what a computation from the first bar
// gives, bit for bit.
typedef float study_v4f __attribute__((vector_size(16)));
typedef int study_v4si __attribute__((vector_size(16)));
// Four floats at any float's address: a store as floats (a memcpy would
// be a store of bytes, which could change any value the loop keeps, so
// that the loop would read them all again after it).
typedef float study_v4f_at __attribute__((vector_size(16), aligned(4)));

// {0, v0, v1, v2} and {0, 0, v0, v1}: each lane takes only from the lanes
// before it, so a group's lanes never depend on the bars after them.
#define STUDY_V4_SHIFT1(v) __builtin_shufflevector((v), study_v4d{0, 0, 0, 0}, 4, 0, 1, 2)
#define STUDY_V4_SHIFT2(v) __builtin_shufflevector((v), study_v4d{0, 0, 0, 0}, 4, 5, 0, 1)

// v = x(i) .. x(i + m - 1) of a group, lanes from m on 0 (never reads past
// the bars a run may read).
template <class X>
[[gnu::always_inline]] inline void study_gather4(study_v4d &v, const X &x, int i, int m) {
  if (m == 4) {
    v = study_v4d{x(i), x(i + 1), x(i + 2), x(i + 3)};
    return;
  }
  v = study_v4d{0, 0, 0, 0};
  for (int j = 0; j < m; j++) v[j] = x(i + j);
}

// study_out of the four lanes (a value not finite as a float is missing)
// into out[0 .. m - 1]; with `stored`, the values stored, as doubles, go
// there too (lanes from m on as if stored), for a kernel that reads its
// own outputs again: it takes them from the registers.
[[gnu::always_inline]] inline void study_store4(float *out, const study_v4d &v, int m,
                                                study_v4d *stored = nullptr) {
  study_v4f f = __builtin_convertvector(v, study_v4f);
  const study_v4si exp = {0x7f800000, 0x7f800000, 0x7f800000, 0x7f800000};
  const study_v4f missing = {MISSING_VALUE, MISSING_VALUE, MISSING_VALUE, MISSING_VALUE};
  study_v4si finite = ((study_v4si)f & exp) != exp;
  f = (study_v4f)(((study_v4si)f & finite) | ((study_v4si)missing & ~finite));
  if (stored) *stored = __builtin_convertvector(f, study_v4d);
  if (m == 4) {
    *(study_v4f_at *)out = f;
    return;
  }
  for (int j = 0; j < m; j++) out[j] = f[j];
}

// The same with the lanes where keep is clear missing.
[[gnu::always_inline]] inline void study_store4_if(float *out, const study_v4d &v,
                                                   const study_v4i &keep, int m) {
  const study_v4d missing = {MISSING_VALUE, MISSING_VALUE, MISSING_VALUE, MISSING_VALUE};
  study_v4d w = (study_v4d)(((study_v4i)v & keep) | ((study_v4i)missing & ~keep));
  study_store4(out, w, m);
}

// |v| of each lane.
#define STUDY_V4_ABS(v)                                                             \
  ((study_v4d)((study_v4i)(v)&study_v4i{0x7fffffffffffffffLL, 0x7fffffffffffffffLL, \
                                        0x7fffffffffffffffLL, 0x7fffffffffffffffLL}))

// Running sums over a group: d_i becomes d_0 + .. + d_i (two doubling
// steps); the sum carried in from the groups before is added by the caller.
[[gnu::always_inline]] inline void study_prefix4(study_v4d &d) {
  d += STUDY_V4_SHIFT1(d);
  d += STUDY_V4_SHIFT2(d);
}

// v with lane 0 from `in` and lanes 1-3 from v's lanes 0-2: the values of
// the bars one before a group's.
[[gnu::always_inline]] inline void study_shift_in4(study_v4d &v, double in) {
  v = __builtin_shufflevector(v, study_v4d{in, in, in, in}, 4, 0, 1, 2);
}

// The two ends of the windows of a group's bars: the bars themselves (p)
// and those n bars back (o), each with the bars one before (pp, oo), for
// the sums of changes that enter and leave a window.
template <class X>
[[gnu::always_inline]] inline void study_window_ends4(const X &x, int i, int n, int m, study_v4d &p,
                                                      study_v4d &pp, study_v4d &o, study_v4d &oo) {
  study_gather4(p, x, i, m);
  study_gather4(o, x, i - n, m);
  pp = p;
  oo = o;
  study_shift_in4(pp, x(i - 1));
  study_shift_in4(oo, x(i - n - 1));
}

// The path length of each window: |x(j) - x(j - 1)| summed over its n bars,
// as a running sum carried in dsum (the sum before the group, then lane
// 3's).
[[gnu::always_inline]] inline void study_path4(study_v4d &sum, const study_v4d &p,
                                               const study_v4d &pp, const study_v4d &o,
                                               const study_v4d &oo, double &dsum) {
  sum = STUDY_V4_ABS(p - pp) - STUDY_V4_ABS(o - oo);
  study_prefix4(sum);
  sum += dsum;
  dsum = sum[3];
}

// Square roots of the four lanes, four to an instruction (the loop over the
// lanes becomes one: the kernels are compiled without errno for roots).
STUDY_INLINE inline void study_sqrt4(study_v4d &v) {
  study_v4d r;
  for (int l = 0; l < 4; l++) r[l] = std::sqrt(v[l]);
  v = r;
}

// s_i = c s_{i-1} + u_i over a group: the exponential average with
// u = k x and c = 1 - k, Wilder's smoothing with u = x / n and c = 1 - 1 / n.
struct study_decay4 {
  double c, cc;  // c, c^2
  study_v4d pw;  // c, c^2, c^3, c^4
  explicit study_decay4(double c_) : c(c_), cc(c_ * c_) { pw = study_v4d{c, cc, cc * c, cc * cc}; }
  // u: the group's inputs, then its values; s: the value before the group,
  // then lane 3's.
  [[gnu::always_inline]] void run(study_v4d &u, double &s) const {
    u += c * STUDY_V4_SHIFT1(u);
    u += cc * STUDY_V4_SHIFT2(u);
    u += pw * s;
    s = u[3];
  }
};

// s_i = c_i s_{i-1} + u_i with a coefficient of its own for each bar (an
// adaptive average): the same doubling steps, the coefficients multiplied
// along.  u: the inputs, then the values; c is used up.
[[gnu::always_inline]] inline void study_vary4(study_v4d &c, study_v4d &u, double &s) {
  const study_v4d one = {1, 1, 1, 1};
  u += c * STUDY_V4_SHIFT1(u);
  c *= __builtin_shufflevector(c, one, 4, 0, 1, 2);
  u += c * STUDY_V4_SHIFT2(u);
  c *= __builtin_shufflevector(c, one, 4, 5, 0, 1);
  u += c * s;
  s = u[3];
}

// The first bar study_run4 computes when it goes on from `start`.
inline int study_first4(int start, int from) {
  return start >= from ? start & ~3 : start;
}

// Runs a kernel over bars start .. count - 1: the bars before `from` (a
// multiple of 4 that depends on the parameters alone) one at a time with
// step(i, st), the rest in groups at multiples of 4 with group(i, m, st),
// m = 4 but for a last group that the chart cuts short.  The state is
// saved, once, before the group (or bar) that holds the last bar, with the
// last bar as its index; a call that goes on from it starts at that
// group's first bar.
// The bars from i up to `from` one at a time with step(i, run), the state
// saved before the last bar when it is among them; returns the first bar
// not taken.  The bar-by-bar part of study_run4 and of kernels that take
// their groups in blocks of their own.
template <class S, class Step>
STUDY_INLINE inline int study_steps_to(StudyDef *s, int i, int from, int count, S &run,
                                       Step &step) {
  for (; i < from && i < count; i++) {
    if (i == count - 1) {
      run.index = i;
      study_save_state(s, run);
    }
    step(i, run);
  }
  return i;
}

template <class S, class Step, class Group>
STUDY_INLINE inline void study_run4(StudyDef *s, int start, int count, int from, S &st, Step step,
                                    Group group) {
  S run = st;
  int i = study_steps_to(s, study_first4(start, from), from, count, run, step);
  if (i < count) {
    for (; count - i > 4; i += 4) group(i, 4, run);
    run.index = count - 1;
    study_save_state(s, run);
    group(i, count - i, run);
  }
  st = run;
}

// study_run4 with the groups a block at a time: the bars before `from`
// one at a time with step(i, st), then block(i, e, st) over bars i .. e - 1
// (i a multiple of 4, e - i at most `len`, e a multiple of 4 but for the
// chart's last group) up to the group that holds the last bar, the state
// saved, and that group by itself.
template <class S, class Step, class Block>
STUDY_INLINE inline void study_run_blocks(StudyDef *s, int start, int count, int from, int len,
                                          S &st, Step &step, Block &block) {
  S run = st;
  int i = study_steps_to(s, study_first4(start, from), from, count, run, step);
  if (i < count) {
    const int last = (count - 1) & ~3;
    for (int e; i < last; i = e) {
      e = last - i > len ? i + len : last;
      block(i, e, run);
    }
    run.index = count - 1;
    study_save_state(s, run);
    block(last, count, run);
  }
  st = run;
}

// name_wide, compiled for 256-bit registers, and name_plain, for the rest:
// each calls its own copy of the kernel name<1> or name<0>, a template over
// an int that is inlined with everything it calls (STUDY_INLINE on the
// kernel, its helpers and its lambdas), so that the whole kernel is made
// for the registers at hand.  The operations are the same either way: so
// are the values.  study_wide() picks one at run time.
#define STUDY_TWO_WAYS(name, params, args)                      \
  [[maybe_unused]] STUDY_WIDE static int name##_wide params {   \
    return name<1> args;                                        \
  }                                                             \
  [[maybe_unused]] static int name##_plain params {             \
    return name<0> args;                                        \
  }                                                             \
  [[maybe_unused]] static int name##_either params {            \
    return study_wide() ? name##_wide args : name##_plain args; \
  }
