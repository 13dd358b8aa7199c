// Ferlume1 internals: the compute functions of the 18 studies and the
// helpers they share.  The library reaches the program only through the
// callback table handed to putCallbacks; every working value of a study
// lives in its study record.
//
// Every compute function follows one pattern: ferlume_begin() decides
// where to start (bar 0 with cleared state, or the saved index with the
// saved state); the loop saves its state just before it computes the last
// bar, so that the next call computes that bar again from the state it
// had before it.  A last bar changed by a live quote thus gives what a
// computation from the first bar gives.
#pragma once

#include <cmath>
#include <cstring>

#include "data/chart.h"
#include "studies/studyapi.h"

// The engine's functions, set once by putCallbacks.
extern StudyCallbackTable *g_callbacks;

int calcUOSC(chart_rec *chart, StudyDef *s, int restart);
int calcCVI(chart_rec *chart, StudyDef *s, int restart);
int calcATR(chart_rec *chart, StudyDef *s, int restart);
int calcTSI(chart_rec *chart, StudyDef *s, int restart);
int calcTSIsl(chart_rec *chart, StudyDef *s, int restart);
int calcTSF(chart_rec *chart, StudyDef *s, int restart);
int calcTSFB(chart_rec *chart, StudyDef *s, int restart);
int calcTSFD(chart_rec *chart, StudyDef *s, int restart);
int calcTEF(chart_rec *chart, StudyDef *s, int restart);
int calcKCH(chart_rec *chart, StudyDef *s, int restart);
int calcSAR(chart_rec *chart, StudyDef *s, int restart);
int calcPlusDI(chart_rec *chart, StudyDef *s, int restart);
int calcMinusDI(chart_rec *chart, StudyDef *s, int restart);
int calcADX(chart_rec *chart, StudyDef *s, int restart);
int calcMMA(chart_rec *chart, StudyDef *s, int restart);
int calcMOM(chart_rec *chart, StudyDef *s, int restart);
int calcHH(chart_rec *chart, StudyDef *s, int restart);
int calcLL(chart_rec *chart, StudyDef *s, int restart);

// Periods are capped far above any chart's length, so that sums of a few
// of them cannot overflow.
#define FERLUME_MAX_PERIOD (1 << 28)

inline int ferlume_cap(int v) {
  if (v > FERLUME_MAX_PERIOD) return FERLUME_MAX_PERIOD;
  return v < -FERLUME_MAX_PERIOD ? -FERLUME_MAX_PERIOD : v;
}

// An integer parameter taken from a double; NaN is 0.
inline int ferlume_param_int(double d) {
  if (!(d > -1e9 && d < 1e9)) return d > 0 ? FERLUME_MAX_PERIOD : d < 0 ? -FERLUME_MAX_PERIOD : 0;
  return ferlume_cap((int)d);
}

inline float *ferlume_series(StudyDef *s, int k) { return s->outputs + (size_t)k * (size_t)s->output_len; }

// Bars a compute function may read and write: the chart's bars, never
// more than the study has slots for; none before the callbacks are known.
inline int ferlume_bar_count(const chart_rec *chart, const StudyDef *s) {
  if (!chart || !chart->bars || !g_callbacks) return 0;
  int n = chart->header.bar_count;
  if (n > s->output_len) n = s->output_len;
  return n < 0 ? 0 : n;
}

inline void ferlume_missing(float *out, int from, int to) {
  for (int i = from; i < to; i++) out[i] = MISSING_VALUE;
}

// A float output: anything not finite is missing.
inline float ferlume_out(double v) {
  float f = (float)v;
  return std::isfinite(f) ? f : MISSING_VALUE;
}

template <class S>
inline void ferlume_save(StudyDef *s, const S &st) {
  static_assert(sizeof(S) <= sizeof(StudyDef::work), "running state fits the work area");
  memcpy(s->work, &st, sizeof(S));
}

// Binds the outputs and returns the first bar to compute; *st is either
// the saved state or cleared.  S starts with the int32 `index`, the next
// bar to compute.
template <class S>
inline int ferlume_begin(StudyDef *s, int restart, int count, S *st) {
  static_assert(sizeof(S) <= sizeof(StudyDef::work), "running state fits the work area");
  s->outputs = reinterpret_cast<float *>(s + 1);
  memcpy(st, s->work, sizeof(S));
  if (restart || st->index <= 0 || st->index >= count) {
    *st = S{};
    ferlume_save(s, *st);
    return 0;
  }
  return st->index;
}

// price(i) by price type through the engine; the true range of the first
// bar is its range (there is no bar before it).
inline double ferlume_price(const chart_bar *bars, int i, int price_type) {
  if (price_type == PRICE_TRUE_RANGE && i == 0) return (double)bars[0].high - bars[0].low;
  return g_callbacks->bar_price_value(bars + i, price_type);
}

// True range and buying pressure of bar i (i >= 1) against the close
// before it.
inline double ferlume_true_range(const chart_bar *b, int i) {
  double cp = b[i - 1].close, r = (double)b[i].high - b[i].low;
  if (b[i].high - cp > r) r = b[i].high - cp;
  if (cp - b[i].low > r) r = cp - b[i].low;
  return r;
}

inline double ferlume_buying_pressure(const chart_bar *b, int i) {
  double cp = b[i - 1].close, tl = b[i].low < cp ? (double)b[i].low : cp;
  return b[i].close - tl;
}

// Window of a moving average of the engine: the triangular one spans
// 2m - 1 inputs, m = (n + 2) / 2.
inline int ferlume_ma_window(int method, int n) { return method == MA_TRIANGULAR ? 2 * ((n + 2) / 2) - 1 : n; }

// out[start..count-1] = the engine's moving average of in[] by method over
// n inputs, the first valid input at first_valid; slots before its first
// value are missing.  A bad method or period gives missing slots.
void ferlume_average(float *out, const float *in, int start, int first_valid, int count, int method, int n);
