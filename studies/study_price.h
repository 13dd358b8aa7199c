// A bar's value by price-source code, inline, for the built-in studies and
// the study library alike: the kernels read prices without a call per bar,
// and with the common price types fixed at compile time.  Over the bar
// layout and the shared study header only: a library that includes it
// links nothing of the program.
#pragma once

#include "data/chart.h"
#include "studies/studyapi.h"

#define BAR_FLAG_EXTRA_VWAP 0x1000000u

// A kernel and everything it calls (the kernel's lambdas included) are
// inlined into each of its two compilations (STUDY_TWO_WAYS in
// studies/study_record.h).
#define STUDY_INLINE __attribute__((always_inline))

STUDY_INLINE inline double bar_value(const chart_bar *b, int price_type) {
  switch (price_type) {
    case PRICE_OPEN:
      return b->open;
    case PRICE_HIGH:
      return b->high;
    case PRICE_LOW:
      return b->low;
    case PRICE_CLOSE:
      return b->close;
    case PRICE_MEDIAN:
      return ((double)b->high + b->low) / 2;
    case PRICE_TYPICAL:
      return ((double)b->high + b->low + b->close) / 3;
    case PRICE_WEIGHTED:
      return ((double)b->high + b->low + 2.0 * b->close) / 4;
    case PRICE_VWAP:
      if ((b->flags & BAR_FLAG_EXTRA_VWAP) && b->vwap >= b->low && b->vwap <= b->high)
        return b->vwap;
      return ((double)b->high + b->low + b->close) / 3;
    case PRICE_VOLUME:
      return b->volume;
    case PRICE_OPEN_INT:
    case PRICE_OPEN_INT2:
      return b->extra;
    // a bar without volume has no ratio (an infinity would stay in every
    // running sum it enters)
    case PRICE_OI_PER_VOLUME:
      return b->volume ? (double)b->extra / b->volume : 0;
    case PRICE_TRUE_RANGE: {
      double pc = b[-1].close, r = (double)b->high - b->low;
      double up = b->high - pc, down = pc - b->low;
      r = up > r ? up : r;
      return down > r ? down : r;
    }
    default:
      return 0;
  }
}

// price(i) of a bar array: the true range of the first bar is its range.
STUDY_INLINE inline double study_price(const chart_bar *bars, int i, int price_type) {
  if (price_type == PRICE_TRUE_RANGE && i == 0) return (double)bars[0].high - bars[0].low;
  return bar_value(bars + i, price_type);
}

// price(i) of a bar array with the price type fixed at compile time where
// it is one of the common ones (PT 0: chosen at run time).
template <int PT>
struct price_at {
  const chart_bar *bars;
  int pt;
  STUDY_INLINE double operator()(int i) const {
    if constexpr (PT == 0)
      return study_price(bars, i, pt);
    else
      return bar_value(bars + i, PT);
  }
};

// Calls f with a price_at for the price type.
template <class F>
STUDY_INLINE inline void with_price_type(const chart_bar *bars, int pt, F f) {
  switch (pt) {
    case PRICE_OPEN:
      f(price_at<PRICE_OPEN>{bars, pt});
      break;
    case PRICE_HIGH:
      f(price_at<PRICE_HIGH>{bars, pt});
      break;
    case PRICE_LOW:
      f(price_at<PRICE_LOW>{bars, pt});
      break;
    case PRICE_CLOSE:
      f(price_at<PRICE_CLOSE>{bars, pt});
      break;
    case PRICE_MEDIAN:
      f(price_at<PRICE_MEDIAN>{bars, pt});
      break;
    case PRICE_TYPICAL:
      f(price_at<PRICE_TYPICAL>{bars, pt});
      break;
    case PRICE_WEIGHTED:
      f(price_at<PRICE_WEIGHTED>{bars, pt});
      break;
    case PRICE_VOLUME:
      f(price_at<PRICE_VOLUME>{bars, pt});
      break;
    default:
      f(price_at<0>{bars, pt});
      break;
  }
}
