// Ferlume1 internals: the compute functions of the 18 studies and the
// helpers they share.  The library reaches the program only through the
// callback table handed to putCallbacks; every working value of a study
// lives in its study record.
//
// Every compute function is a kernel run by the study driver of
// studies/study_record.h (inline, shared with the program's built-in
// studies): it saves its state just before it computes the last bar, so
// that the next call computes that bar again from the state it had before
// it.  A last bar changed by a live quote thus gives what a computation
// from the first bar gives.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "data/chart.h"
#include "studies/study_price.h"
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

// True range and buying pressure of bar i (i >= 1) against the close
// before it.
// Both without branches: on real prices which extreme wins is a coin toss.
inline double ferlume_true_range(const chart_bar *b, int i) {
  double cp = b[i - 1].close, r = (double)b[i].high - b[i].low;
  double up = b[i].high - cp, down = cp - b[i].low;
  r = up > r ? up : r;
  return down > r ? down : r;
}

inline double ferlume_buying_pressure(const chart_bar *b, int i) {
  double cp = b[i - 1].close, tl = b[i].low < cp ? (double)b[i].low : cp;
  return b[i].close - tl;
}

// The high, low and close of bars i .. i + m - 1 (m <= 4) as doubles, lanes
// from m on 0: a full group as four loads of a bar's prices and a
// transpose (the values are the floats' own, exact as doubles).
[[gnu::always_inline]] inline void ferlume_hlc4(const chart_bar *b, int i, int m, study_v4d &h,
                                                study_v4d &l, study_v4d &c) {
  study_v4f fh, fl, fc;
  if (m == 4) {
    study_v4f r[4];
    for (int k = 0; k < 4; k++) memcpy(&r[k], &b[i + k].open, sizeof r[k]);
    study_v4f t0 = __builtin_shufflevector(r[0], r[1], 0, 4, 1, 5);  // o0 o1 h0 h1
    study_v4f t1 = __builtin_shufflevector(r[0], r[1], 2, 6, 3, 7);  // l0 l1 c0 c1
    study_v4f t2 = __builtin_shufflevector(r[2], r[3], 0, 4, 1, 5);
    study_v4f t3 = __builtin_shufflevector(r[2], r[3], 2, 6, 3, 7);
    fh = __builtin_shufflevector(t0, t2, 2, 3, 6, 7);
    fl = __builtin_shufflevector(t1, t3, 0, 1, 4, 5);
    fc = __builtin_shufflevector(t1, t3, 2, 3, 6, 7);
  } else {
    fh = fl = fc = study_v4f{0, 0, 0, 0};
    for (int k = 0; k < m; k++) {
      fh[k] = b[i + k].high;
      fl[k] = b[i + k].low;
      fc[k] = b[i + k].close;
    }
  }
  h = __builtin_convertvector(fh, study_v4d);
  l = __builtin_convertvector(fl, study_v4d);
  c = __builtin_convertvector(fc, study_v4d);
}

// v when keep holds, else 0, without a branch: for choices that follow
// the prices (a coin toss to the branch predictor).
inline double ferlume_keep_if(bool keep, double v) {
  uint64_t u;
  memcpy(&u, &v, sizeof u);
  u &= -(uint64_t)keep;
  memcpy(&v, &u, sizeof v);
  return v;
}

// a when pick holds, else b, without a branch.
inline double ferlume_select(bool pick, double a, double b) {
  uint64_t ua, ub, m = -(uint64_t)pick;
  memcpy(&ua, &a, sizeof ua);
  memcpy(&ub, &b, sizeof ub);
  ua = (ua & m) | (ub & ~m);
  memcpy(&a, &ua, sizeof a);
  return a;
}

// Window of a moving average of the engine: the triangular one spans
// 2m - 1 inputs, m = (n + 2) / 2.
inline int ferlume_ma_window(int method, int n) {
  return method == MA_TRIANGULAR ? 2 * ((n + 2) / 2) - 1 : n;
}

// out[start..count-1] = the engine's moving average of in[] by method over
// n inputs, the first valid input at first_valid; slots before its first
// value are missing.  A bad method or period gives missing slots.
void ferlume_average(float *out, const float *in, int start, int first_valid, int count, int method,
                     int n);

// Running least-squares line over the last n values y(j), x = 1..n from
// the oldest to the newest: window sums kept as the window slides, so each
// bar costs the same whatever n.  The values are taken less the first one
// (shift), which keeps the sums small and their rounding far below a
// float's.
struct regression_run {
  double shift;
  double sy, sxy;  // of y - shift over the window
};

struct regression_sums {
  int n;
  double sx, sxx;
  // 1 / n, the window's mean x, and 1 / (sxx - sx * sx / n): made once, so
  // that a bar's line costs multiplications only (a division per bar would
  // cost more than the rest of the line).
  double inv_n, mean_x, inv_den;
  // sum of k * k, k = 1..n: exact up to periods far beyond any chart
  explicit regression_sums(int n_)
      : n(n_),
        sx(n_ * ((double)n_ + 1) / 2),
        sxx((double)n_ * ((double)n_ + 1) * (2.0 * n_ + 1) / 6),
        inv_n(n_ > 0 ? 1.0 / n_ : 0),
        mean_x(n_ > 0 ? sx / n_ : 0),
        inv_den(n_ > 1 ? 1.0 / (sxx - sx * sx / n_) : 0) {}
  // y(i) enters the window [i - n + 1, i] as its newest value.
  template <class Y>
  void add(regression_run &r, const Y &y, int i) const {
    if (i == 0) r.shift = y(0);
    double v = y(i) - r.shift;
    r.sxy += (double)(i < n - 1 ? i + 1 : n) * v;
    r.sy += v;
  }
  // After a full window's value: its oldest value y(i - n + 1) leaves and
  // the others move down one x.
  template <class Y>
  void drop(regression_run &r, const Y &y, int i) const {
    r.sxy -= r.sy;
    r.sy -= y(i - n + 1) - r.shift;
  }
  // Slope and the line's value at x = 0 of a full window (one value has no
  // slope: the line is flat through it).
  double slope(const regression_run &r) const { return (r.sxy - mean_x * r.sy) * inv_den; }
  double intercept(const regression_run &r, double b) const {
    return (r.sy - b * sx) * inv_n + r.shift;
  }
};
