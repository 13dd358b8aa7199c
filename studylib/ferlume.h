// Ferlume1 internals: the compute functions of the 18 studies and the
// helpers they share.  The library reaches the program only through the
// callback table handed to putCallbacks; every working value of a study
// lives in its study record.
//
// Every compute function follows one pattern: study_begin() decides
// where to start (bar 0 with cleared state, or the saved index with the
// saved state); the loop saves its state just before it computes the last
// bar, so that the next call computes that bar again from the state it
// had before it.  A last bar changed by a live quote thus gives what a
// computation from the first bar gives.
#pragma once

#include <cmath>
#include <cstring>

#include "data/chart.h"
#include "studies/study_record.h"
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

// Bars a compute function may read and write; none before the callbacks
// are known.
inline int ferlume_bar_count(const chart_rec *chart, const StudyDef *s) {
  return g_callbacks ? study_bar_count(chart, s) : 0;
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
