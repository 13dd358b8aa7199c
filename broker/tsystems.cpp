// The built-in trading systems and their table.  Each system only decides;
// orders, fills and the report are the driver's (broker/xsystems.h).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "broker/orders.h"
#include "broker/xsystems.h"
#include "data/chart.h"
#include "data/statmsg.h"
#include "platform/locks.h"
#include "quotes/mqt_record.h"
#include "studies/study.h"

// ---------------------------------------------------------------------------
// Shared steps.

static double value_at(const StudyDef* st, int index) {
  if (!st || !st->outputs || index < 0 || index >= st->output_len) return MISSING_VALUE;
  return st->outputs[index];
}

static int missing(double v) {
  return study_is_missing(v);
}

// The digit at `pos` of the account name in use, or `fallback`.
static int variant_digit(const strategy_ctx* s, int pos, int fallback) {
  if ((int)strlen(s->account) > pos && s->account[pos] >= '0' && s->account[pos] <= '9')
    return s->account[pos] - '0';
  return fallback;
}

static void defaults(strategy_ctx* s, double tick, double slippage, int multiplier,
                     double balance) {
  if (tick > 0 && s->tick_size == 0) s->tick_size = tick;
  if (slippage > 0 && s->slippage == 0) s->slippage = slippage;
  if (multiplier > 0 && s->multiplier == 0) s->multiplier = multiplier;
  if (balance > 0 && s->beginning_balance == 0) s->beginning_balance = balance;
}

static void default_arg(strategy_ctx* s, int n, double v) {
  if (s->args[n - 1] == 0) s->args[n - 1] = v;
}

static int entry_index(const char* name);

static void option_labels(strategy_ctx* s, const char* entry_name) {
  int e = entry_index(entry_name);
  for (int i = 0; i < 4; i++)
    if (s->flags & (STRATEGY_OPTION1 << i))
      fprintf(s->report, "%s\n", g_trading_systems[e].labels[i]);
}

static int option(const strategy_ctx* s, int n) {
  return (s->flags & (STRATEGY_OPTION1 << (n - 1))) != 0;
}

static const char* mode_extra(const strategy_ctx* s) {
  return (s->flags & STRATEGY_INVERT) ? "Inverted playback" : "";
}

// Attach, init, describe and start; the account name on success.
static int start_system(chart_rec* chart, strategy_ctx* s, size_t priv, const char* name,
                        strategy_init_fn init, strategy_run_fn run, void (*describe)(strategy_ctx*),
                        int first_candle) {
  s->init = init;
  s->run = run;
  s->term = detach_trading_system;
  if (s->lot_size < 1) s->lot_size = 1;
  if (s->max_lots == 0) s->max_lots = 1;
  if (!strategy_attach(chart, s, priv, name)) return 0;
  if (s->init && !s->init(s)) {
    statmsg(__FILE__, __LINE__, "Can't create the studies of the system", s->account,
            STATMSG_ERROR);
    detach_trading_system(s);
    return 0;
  }
  if (describe) describe(s);
  fprintf(s->report, "\n");
  strategy_start(s, first_candle);
  return 1;
}

// Cancels lot 0's entry once it waited more than `bars` bars.
static void cancel_stale_entry(strategy_ctx* s, int new_bar, int signal_bar, int bars) {
  if (new_bar && s->lots[0].entry && s->bar - signal_bar > bars) strategy_cancel_entry(s, 0);
}

// ---------------------------------------------------------------------------
// MACD

struct macd_priv {
  StudyDef* macd;
  StudyDef* signal;
  StudyDef* ema10;
  StudyDef* sar;
  int signal_bar;
  int rule;
};

static int macd_init(strategy_ctx* s) {
  if (!strategy_add_plots(s)) return 0;
  macd_priv* p = (macd_priv*)s->priv;
  p->rule = variant_digit(s, 4, 2);
  p->signal_bar = -1000;
  int fast = (int)s->args[1], slow = (int)s->args[0], sig = (int)s->args[2];
  p->macd = find_or_create_study(s->chart, STUDY_MACD, fast, (double)slow, 4);
  p->signal = find_or_create_study(s->chart, STUDY_MACD_SIGNAL, fast, (double)slow, 4, (double)sig);
  p->ema10 = find_or_create_study(s->chart, STUDY_EMA, 10, 4, 1.0);
  // The parabolic stop of the shipped library is drawn when it is there;
  // the rules never read it.
  p->sar =
      find_or_create_study(s->chart, STUDY_LIBRARY, "ferlume1", 10, 0, 0, -1, 0.02, 0.02, 0.2, 0.0);
  return p->macd && p->signal;
}

static void macd_describe(strategy_ctx* s) {
  macd_priv* p = (macd_priv*)s->priv;
  if (p->rule == 1) fprintf(s->report, "Entry: When MACD crosses signal line\n");
  if (p->rule == 2) fprintf(s->report, "Entry: When MACD changes direction\n");
  fprintf(s->report, "MACD(%d,%d,%d)  Hysteresis = %0.2f\n", (int)s->args[1], (int)s->args[0],
          (int)s->args[2], s->args[3]);
}

static int macd_run(strategy_ctx* s) {
  int bar, new_bar;
  if (!strategy_bar_step(s, &bar, &new_bar)) return 0;
  macd_priv* p = (macd_priv*)s->priv;
  const chart_bar* b = &s->chart->bars[bar];
  double h = s->args[3], t = s->tick_size;
  int sig = 0;
  if ((s->flags & STRATEGY_CLOSE_STEP) && (s->flags & STRATEGY_TRADE_LONG)) {
    double m = value_at(p->macd, bar), m1 = value_at(p->macd, bar - 1);
    double m2 = value_at(p->macd, bar - 2);
    double g = value_at(p->signal, bar), g1 = value_at(p->signal, bar - 1);
    // A rule acts only once the bars it reads exist.
    if (p->rule == 1 && bar >= 1 && !missing(m) && !missing(m1) && !missing(g) && !missing(g1)) {
      if (m1 < g1 && m > g + h) sig = 1;
      if (m1 > g1 && m < g - h) sig = -1;
    } else if (p->rule == 2 && bar >= 2 && !missing(m) && !missing(m1) && !missing(m2)) {
      if (m1 < m2 && m > m1 + h) sig = 1;
      if (m1 > m2 && m < m1 - h) sig = -1;
    }
    if (sig) p->signal_bar = bar;
  }
  cancel_stale_entry(s, new_bar, p->signal_bar, 5);
  double close = b->close;
  if (s->position + s->pending < 1 && sig == 1) {
    if (s->position < 0) {
      strategy_reverse(s, 0, round_up_to_tick(close * 0.02, t));
    } else {
      double entry = close + 4 * t;
      strategy_open_long(s, 0, s->lot_size, entry, round_down_to_tick(entry * 0.98, t), t);
    }
  }
  if ((s->flags & STRATEGY_TRADE_SHORT) && s->position + s->pending >= 0 && sig == -1) {
    if (s->position == 0) {
      double entry = close - 4 * t;
      strategy_open_short(s, 0, s->lot_size, entry, round_up_to_tick(entry * 1.02, t), t);
    } else {
      strategy_reverse(s, 0, round_up_to_tick(close * 0.02, t));
    }
  }
  return 1;
}

static int macd_start(chart_rec* chart, strategy_ctx* s) {
  default_arg(s, 1, 26);
  default_arg(s, 2, 12);
  default_arg(s, 3, 9);
  return start_system(chart, s, sizeof(macd_priv), "MACD2", macd_init, macd_run, macd_describe, 0);
}

// ---------------------------------------------------------------------------
// DeltaN: closes or reverses against the sign of a difference series.

struct deltan_priv {
  int unused[4];
};

static int deltan_init(strategy_ctx* s) {
  return strategy_add_plots(s);
}

static void maf_describe(strategy_ctx* s);

static int deltan_run(strategy_ctx* s) {
  int bar, new_bar;
  if (!strategy_bar_step(s, &bar, &new_bar)) return 0;
  if (bar >= 2 && s->lots[0].entry) strategy_cancel_entry(s, 0);
  if (s->position == 0) return 1;
  double close = s->chart->bars[bar].close;
  for (int i = 0; i < s->max_lots; i++) {
    int pos = s->lots[i].position;
    int against = (pos < 0 && close > 0) || (pos > 0 && close < 0);
    if (!against) continue;
    if (option(s, 1))
      strategy_close_lot(s, i, 0, 0);
    else if (option(s, 2))
      strategy_reverse(s, i, pos < 0 ? 0.98 * close : 1.02 * close);
  }
  return 1;
}

static int deltan_start(chart_rec* chart, strategy_ctx* s) {
  defaults(s, 1.0, 1.0, 1, 10000);
  return start_system(chart, s, sizeof(deltan_priv), "MAF", deltan_init, deltan_run, maf_describe,
                      (int)s->args[0]);
}

// ---------------------------------------------------------------------------
// MAF: on the close, with the side of a moving average.

struct maf_priv {
  StudyDef* ma1;
  StudyDef* ma3;
  StudyDef* ma4;
  int signal_bar;
};

static int maf_init(strategy_ctx* s) {
  if (!strategy_add_plots(s)) return 0;
  maf_priv* p = (maf_priv*)s->priv;
  int price = option(s, 3) ? 8 : 4;
  p->ma1 = find_or_create_study(s->chart, STUDY_SMA, (int)s->args[0], price, 1.0);
  p->ma3 = find_or_create_study(s->chart, STUDY_SMA, (int)s->args[2], price, 1.0);
  p->ma4 = find_or_create_study(s->chart, STUDY_SMA, (int)s->args[3], price, 1.0);
  p->signal_bar = -1000;
  return p->ma1 && p->ma3 && p->ma4;
}

static void maf_describe(strategy_ctx* s) {
  fprintf(s->report, "Mode:%d  %s\n", s->mode, mode_extra(s));
  fprintf(s->report, "Entry: On close in direction of which side of MA %d we are on\n",
          (int)s->args[0]);
  if (option(s, 1))
    fprintf(s->report, "Stop on %d period extreme against our position\n", (int)s->args[1]);
  if (option(s, 2))
    fprintf(s->report, "SAR on %d period extreme against our position\n", (int)s->args[1]);
  if (option(s, 3)) fprintf(s->report, "Use VWAP close for MA and trade determination\n");
  option_labels(s, "MAF");
}

static int maf_run(strategy_ctx* s) {
  int bar, new_bar;
  if (!strategy_bar_step(s, &bar, &new_bar)) return 0;
  maf_priv* p = (maf_priv*)s->priv;
  const chart_bar* bars = s->chart->bars;
  double t = s->tick_size, close = bars[bar].close;
  int window = (int)s->args[1];
  // The extremes of the Arg2 bars before this one (only bars that exist):
  // a window that held this bar too could never be broken by its close.
  double lowest = bars[bar].low, highest = bars[bar].high;
  if (bar > 0) {
    lowest = bars[bar - 1].low;
    highest = bars[bar - 1].high;
  }
  for (int i = std::max(0, bar - window); i < bar; i++) {
    lowest = std::min<double>(lowest, bars[i].low);
    highest = std::max<double>(highest, bars[i].high);
  }
  cancel_stale_entry(s, new_bar, p->signal_bar, (int)s->args[4]);
  int sig = 0;
  double a1 = value_at(p->ma1, bar), a3 = value_at(p->ma3, bar);
  if ((s->flags & STRATEGY_CLOSE_STEP) && !missing(a1)) {
    if (option(s, 4)) {
      if (!missing(a3)) sig = a1 > a3 ? 1 : a1 < a3 ? -1 : 0;
    } else {
      sig = close >= a1 ? 1 : -1;
    }
  }
  int size = s->lot_size;
  if (sig == 1 && (s->flags & STRATEGY_TRADE_LONG) && s->position + s->pending < 1) {
    p->signal_bar = bar;
    double entry = option(s, 4) ? round_down_to_tick(a3, t) : round_up_to_tick(close, t);
    double stop = round_down_to_tick(entry * 0.98, t);
    for (int i = 0; i < s->max_lots; i++) {
      int pos = s->lots[i].position;
      if (pos == -size) {
        strategy_reverse(s, i, close - stop);
      } else if (pos < 0) {
        strategy_close_lot(s, i, 0, 0);
        strategy_check_orders(s, i);
        strategy_open_long(s, i, size, entry, stop, 5.0);
      } else if (pos == 0) {
        strategy_open_long(s, i, size, entry, stop, 5.0);
      }
    }
  } else if (sig == -1 && (s->flags & STRATEGY_TRADE_SHORT) && s->position + s->pending > -1) {
    p->signal_bar = bar;
    double entry = option(s, 4) ? round_up_to_tick(a3, t) : round_down_to_tick(close, t);
    double stop = round_up_to_tick(entry * 1.02, t);
    for (int i = 0; i < s->max_lots; i++) {
      int pos = s->lots[i].position;
      if (pos == size) {
        strategy_reverse(s, i, stop - close);
      } else if (pos > 0) {
        strategy_close_lot(s, i, 0, 0);
        strategy_check_orders(s, i);
        strategy_open_short(s, i, size, entry, stop, 5.0);
      } else if (pos == 0) {
        strategy_open_short(s, i, size, entry, stop, 5.0);
      }
    }
  } else if (s->position != 0) {
    for (int i = 0; i < s->max_lots; i++) {
      int pos = s->lots[i].position;
      int broken = (pos < 0 && close > highest) || (pos > 0 && close < lowest);
      if (!broken) continue;
      if (option(s, 1))
        strategy_close_lot(s, i, 0, 0);
      else if (option(s, 2))
        strategy_reverse(s, i, pos < 0 ? 0.98 * close : 1.02 * close);
    }
  }
  return 1;
}

static int maf_start(chart_rec* chart, strategy_ctx* s) {
  defaults(s, 1.0, 1.0, 5, 10000);
  default_arg(s, 1, 5);
  default_arg(s, 2, 2);
  default_arg(s, 3, 10);
  default_arg(s, 4, 20);
  default_arg(s, 5, 3);
  return start_system(chart, s, sizeof(maf_priv), "MAF", maf_init, maf_run, maf_describe,
                      (int)s->args[0]);
}

// ---------------------------------------------------------------------------
// BBAND: a pullback after bars beyond the Bollinger band.

struct bband_priv {
  StudyDef* ema10;
  StudyDef* dev20;
  StudyDef* upper20;
  StudyDef* lower20;
  int long_setup, short_setup;
  int signal_bar;
};

static int bband_init(strategy_ctx* s) {
  if (!strategy_add_plots(s)) return 0;
  bband_priv* p = (bband_priv*)s->priv;
  chart_rec* c = s->chart;
  p->signal_bar = -1000;
  p->ema10 = find_or_create_study(c, STUDY_EMA, 10, 4, 1.0);
  find_or_create_study(c, STUDY_SMA, 50, 8, 1.0);
  find_or_create_study(c, STUDY_SMA, 20, 8, 1.0);
  find_or_create_study(c, STUDY_SMA, 200, 4, 1.0);
  p->dev20 = find_or_create_study(c, STUDY_STDDEV, 20, 8, 1.0);
  p->upper20 = find_or_create_study(c, STUDY_BB_UPPER, 20, 8, 2.0);
  p->lower20 = find_or_create_study(c, STUDY_BB_LOWER, 20, 8, -2.0);
  find_or_create_study(c, STUDY_BB_PERCENT, 20, 8, 2.0, 1);
  find_or_create_study(c, STUDY_BB_UPPER, 50, 8, 2.1);
  find_or_create_study(c, STUDY_BB_LOWER, 50, 8, -2.1);
  find_or_create_study(c, STUDY_BB_PERCENT, 50, 8, 2.1, 1);
  return p->ema10 && p->dev20 && p->upper20 && p->lower20;
}

static int bband_run(strategy_ctx* s) {
  int bar, new_bar;
  if (!strategy_bar_step(s, &bar, &new_bar)) return 0;
  bband_priv* p = (bband_priv*)s->priv;
  const chart_bar* b = s->chart->bars;
  double t = s->tick_size, close = b[bar].close;
  // The setups read three bars back: only once those bars exist.
  if (new_bar && s->position == 0 && bar >= 3) {
    int above = 1;
    for (int k = 1; k <= 3; k++) {
      double u = value_at(p->upper20, bar - k);
      if (missing(u) || !(b[bar - k].high > u)) above = 0;
    }
    if (above) p->long_setup = 1;
    double l1 = value_at(p->lower20, bar - 1), l2 = value_at(p->lower20, bar - 2),
           l3 = value_at(p->lower20, bar - 3);
    if (!missing(l1) && !missing(l2) && !missing(l3) && b[bar - 1].low < l1 &&
        b[bar - 2].low > l2 && b[bar - 3].low > l3)
      p->short_setup = 1;
  }
  double ema = value_at(p->ema10, bar), dev = value_at(p->dev20, bar);
  if (missing(ema) || missing(dev)) return 1;
  int long_signal = p->long_setup && !(close > ema);
  int short_signal = p->short_setup && close >= ema;
  if (s->flags & STRATEGY_TRADE_LONG) {
    cancel_stale_entry(s, new_bar, p->signal_bar, 5);
    if (s->position == 0 && s->pending == 0 && long_signal) {
      p->long_setup = 0;
      p->signal_bar = bar;
      for (int i = 0; i < s->max_lots; i++)
        strategy_open_long(s, i, s->lot_size, close,
                           round_down_to_tick(close - s->args[0] * dev, t), 4 * t);
    } else {
      for (int i = 0; i < s->max_lots; i++) {
        strategy_lot* L = &s->lots[i];
        if (L->position > 0 && L->stop && L->last_fill_price > L->stop_price &&
            close >= L->last_fill_price + s->args[1] * dev)
          strategy_set_stop(s, i, 'E', L->last_fill_price);
      }
      strategy_lot* L = &s->lots[0];
      double trail = round_down_to_tick(close - 2 * dev, t);
      if (L->position > 0 && L->stop && L->stop->kind != 'S' && trail > L->stop_price)
        strategy_set_stop(s, 0, 'T', trail);
    }
  }
  if (s->flags & STRATEGY_TRADE_SHORT) {
    cancel_stale_entry(s, new_bar && !(s->flags & STRATEGY_TRADE_LONG), p->signal_bar, 5);
    if (s->position == 0 && s->pending == 0 && short_signal) {
      p->short_setup = 0;
      p->signal_bar = bar;
      for (int i = 0; i < s->max_lots; i++)
        strategy_open_short(s, i, s->lot_size, close, round_up_to_tick(close + s->args[0] * dev, t),
                            4 * t);
    } else {
      for (int i = 0; i < s->max_lots; i++) {
        strategy_lot* L = &s->lots[i];
        if (L->position < 0 && L->stop && L->last_fill_price < L->stop_price &&
            close <= L->last_fill_price - s->args[1] * dev)
          strategy_set_stop(s, i, 'E', L->last_fill_price);
      }
      strategy_lot* L = &s->lots[0];
      double trail = round_up_to_tick(close + s->args[0] * dev, t);
      if (L->position < 0 && L->stop && L->stop->kind != 'S' && trail < L->stop_price)
        strategy_set_stop(s, 0, 'T', trail);
    }
  }
  return 1;
}

static int bband_start(chart_rec* chart, strategy_ctx* s) {
  default_arg(s, 1, 2.0);
  default_arg(s, 2, 1.5);
  return start_system(chart, s, sizeof(bband_priv), "BBand", bband_init, bband_run, nullptr, 50);
}

// ---------------------------------------------------------------------------
// IMS (broker/imssystem.cpp).

int ims_init(strategy_ctx* s);
int ims_run(strategy_ctx* s);
void ims_describe(strategy_ctx* s);
size_t ims_priv_size();

static int ims_start(chart_rec* chart, strategy_ctx* s) {
  defaults(s, 0.01, 0.01, 0, 10000);
  default_arg(s, 1, 0.02);
  default_arg(s, 2, 25);
  default_arg(s, 5, 1.0);
  default_arg(s, 6, 20.0);
  if (s->multiplier < 1) s->multiplier = 1;
  s->beginning_balance -= s->args[3];
  return start_system(chart, s, ims_priv_size(), "IMS111", ims_init, ims_run, ims_describe, 5);
}

// ---------------------------------------------------------------------------
// VTS (broker/vtssystem.cpp).

int vts_init(strategy_ctx* s);
int vts_run(strategy_ctx* s);
void vts_describe(strategy_ctx* s);
size_t vts_priv_size();

static int vts_start(chart_rec* chart, strategy_ctx* s) {
  defaults(s, 0.25, 0.25, 50, 10000);
  const double args[6] = {2.0, 25.0, 1.0, 2.0, 3.0, 5.0};
  for (int i = 0; i < 6; i++) default_arg(s, i + 1, args[i]);
  if (s->multiplier < 1) s->multiplier = 1;
  return start_system(chart, s, vts_priv_size(), "VTS110", vts_init, vts_run, vts_describe, 30);
}

// ---------------------------------------------------------------------------
// EOD1: entries beyond the previous bar's 15-bar bands, exits by lot.

struct eod1_priv {
  StudyDef* upper;
  StudyDef* lower;
  StudyDef* ema10;
  StudyDef* sar;
  int rise, fall;
  int signal_bar;
  int last_cancel_bar;
};

static int eod1_init(strategy_ctx* s) {
  if (!strategy_add_plots(s)) return 0;
  eod1_priv* p = (eod1_priv*)s->priv;
  chart_rec* c = s->chart;
  p->signal_bar = -1000;
  find_or_create_study(c, STUDY_DATA_FILE, "Import\\IMS.csv", "%IMS", 0);
  p->upper = find_or_create_study(c, STUDY_BB_UPPER, 15, 2, 1.5);
  p->lower = find_or_create_study(c, STUDY_BB_LOWER, 15, 3, -1.5);
  p->ema10 = find_or_create_study(c, STUDY_EMA, 10, 4, 1.0);
  find_or_create_study(c, STUDY_SMA, 20, 4, 1.0);
  find_or_create_study(c, STUDY_SMA, 50, 4, 1.0);
  find_or_create_study(c, STUDY_SMA, 200, 4, 1.0);
  // The parabolic stop of the shipped library; missing without it.
  p->sar = find_or_create_study(c, STUDY_LIBRARY, "ferlume1", 10, 0, 0, -1, 0.02, 0.02, 0.2, 0.0);
  return p->upper && p->lower && p->ema10;
}

// Lot sizes of an entry of `size` contracts over the run's lots.
static void eod1_open(strategy_ctx* s, int side, double entry, double stop) {
  int size = position_size_at_price(s, entry);
  int sizes[3] = {size, 0, 0};
  if (s->max_lots == 2) sizes[0] = sizes[1] = size / 2;
  if (s->max_lots > 2) {
    sizes[0] = size / 2;
    sizes[1] = sizes[2] = size / 4;
  }
  for (int i = 0; i < 3 && i < s->max_lots; i++) {
    if (s->lots[i].position || sizes[i] <= 0) continue;
    if (side > 0)
      strategy_open_long(s, i, sizes[i], entry, stop, 0.01);
    else
      strategy_open_short(s, i, sizes[i], entry, stop, 0.01);
  }
  ((eod1_priv*)s->priv)->signal_bar = s->bar;
}

static int eod1_run(strategy_ctx* s) {
  if (!(s->flags & (STRATEGY_OPEN_STEP | STRATEGY_CLOSE_STEP))) return 0;
  int bar, new_bar;
  if (!strategy_bar_step(s, &bar, &new_bar)) return 0;
  eod1_priv* p = (eod1_priv*)s->priv;
  const chart_bar* b = s->chart->bars;
  if (bar < 1) return 1;
  double t = s->tick_size, close = b[bar].close, open = b[bar].open;
  double up1 = value_at(p->upper, bar - 1), lo1 = value_at(p->lower, bar - 1);
  if (missing(up1) || missing(lo1)) return 1;
  int closing = (s->flags & STRATEGY_CLOSE_STEP) != 0;
  double move = close - b[bar - 1].open, threshold = 0.9 * (up1 - lo1);
  if (move > threshold) p->rise = 3;
  if (move < 0 && -move > threshold) p->fall = 3;
  if (closing) {
    // A count of 0 or more drops by one (0 becomes -1 for one close step);
    // a negative count returns to 0.
    p->rise = p->rise >= 0 ? p->rise - 1 : 0;
    p->fall = p->fall >= 0 ? p->fall - 1 : 0;
  }
  double sar = value_at(p->sar, bar), ema = value_at(p->ema10, bar);
  strategy_lot* L = s->lots;
  int flat = s->position == 0 && s->pending == 0;
  if (s->flags & STRATEGY_TRADE_LONG) {
    if (p->last_cancel_bar != bar && L[0].entry && bar - p->signal_bar > 5) {
      p->last_cancel_bar = bar;
      strategy_cancel_entry(s, 0);
    }
    if (flat && (b[bar - 1].close < lo1 || open < lo1)) {
      eod1_open(s, 1, open, round_down_to_tick(open * 0.98, t));
    } else if (L[0].position > 0) {
      if (closing && (close > L[0].last_fill_price || bar - p->signal_bar >= 20)) {
        double fill0 = L[0].last_fill_price;
        strategy_close_lot(s, 0, close, 0);
        for (int i = 1; i <= 2; i++)
          if (L[i].position) strategy_set_stop(s, i, 'E', 2 * fill0 - close);
      }
    } else if (L[1].position > 0) {
      if (!missing(ema) && close > ema) {
        strategy_close_lot(s, 1, close, 0);
        if (L[2].position > 0)
          strategy_set_stop(s, 2, 'T', !missing(sar) && sar < close ? sar : L[2].last_fill_price);
      }
    } else if (L[2].position > 0 && !missing(sar) && sar < close) {
      strategy_set_stop(s, 2, 'T', sar);
    }
  }
  if (s->flags & STRATEGY_TRADE_SHORT) {
    flat = s->position == 0 && s->pending == 0;
    if (flat && p->rise == 0 && (b[bar - 1].close > up1 || open > up1)) {
      eod1_open(s, -1, close, round_up_to_tick(close * 1.02, t));
      p->rise = 10;
    } else if (L[0].position < 0) {
      if (closing && (close < L[0].last_fill_price || bar - p->signal_bar >= 20)) {
        double fill0 = L[0].last_fill_price;
        strategy_close_lot(s, 0, close, 0);
        for (int i = 1; i <= 2; i++)
          if (L[i].position) strategy_set_stop(s, i, 'E', 2 * fill0 - close);
      }
    } else if (L[1].position < 0) {
      if (!missing(ema) && close < ema) {
        strategy_close_lot(s, 1, close, 0);
        if (L[2].position < 0)
          strategy_set_stop(s, 2, 'T', !missing(sar) && sar > close ? sar : L[2].last_fill_price);
      }
    } else if (L[2].position < 0 && !missing(sar) && sar > close) {
      strategy_set_stop(s, 2, 'T', sar);
    }
  }
  return 1;
}

static int eod1_start(chart_rec* chart, strategy_ctx* s) {
  defaults(s, 0.01, 0.01, 0, 10000);
  default_arg(s, 1, 8 * s->tick_size);
  default_arg(s, 2, 20 * s->tick_size);
  if (s->multiplier < 1) s->multiplier = 1;
  return start_system(chart, s, sizeof(eod1_priv), "EOD1", eod1_init, eod1_run, nullptr, 200);
}

// ---------------------------------------------------------------------------
// The table.

#define ARGS "Arg1", "Arg2", "Arg3", "Arg4", "Arg5", "Arg6", "Arg7", "Arg8"

const char* const g_strategy_mode_names[6] = {"Backtest",       "Playback1", "Playback2",
                                              "Playback Ticks", "Simulate",  "LIVE"};

const trading_system g_trading_systems[] = {
    {"IMS",
     ims_start,
     ims_init,
     ims_run,
     detach_trading_system,
     {"Reenter after Stop", "Reenter inside threshold", "Use Cushion", "Advantageous reentry",
      ARGS}},
    {"DeltaN",
     deltan_start,
     deltan_init,
     deltan_run,
     detach_trading_system,
     {"Opt1", "Opt2", "Opt3", "Opt4", ARGS}},
    {"MAF",
     maf_start,
     maf_init,
     maf_run,
     detach_trading_system,
     {"Stop on break", "SAR on break", "Use VWAP", "Enter on Pullback", ARGS}},
    {"BBAND",
     bband_start,
     bband_init,
     bband_run,
     detach_trading_system,
     {"Opt1", "Opt2", "Opt3", "Opt4", ARGS}},
    {"EOD1",
     eod1_start,
     eod1_init,
     eod1_run,
     detach_trading_system,
     {"Opt1", "Opt2", "Opt3", "Opt4", ARGS}},
    {"MACD",
     macd_start,
     macd_init,
     macd_run,
     detach_trading_system,
     {"Opt1", "Opt2", "Opt3", "Opt4", ARGS}},
    {"VTS",
     vts_start,
     vts_init,
     vts_run,
     detach_trading_system,
     {"Opt1", "Opt2", "Opt3", "Opt4", ARGS}},
    {nullptr, nullptr, nullptr, nullptr, nullptr, {}},
};

static int entry_index(const char* name) {
  for (int i = 0; g_trading_systems[i].name; i++)
    if (strcmp(g_trading_systems[i].name, name) == 0) return i;
  return 0;
}
