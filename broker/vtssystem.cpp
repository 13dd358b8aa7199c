// The VTS trading system: volatility of the volume-weighted price against
// the trend of its averages; the account name's digits choose the entry,
// stop, target and add rules.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "broker/orders.h"
#include "broker/xsystems.h"
#include "data/chart.h"
#include "data/debugtrace.h"
#include "studies/study.h"

namespace {

struct vts_priv {
  StudyDef* ema5;
  StudyDef* ema10;
  StudyDef* sma20;
  StudyDef* dev15;
  StudyDef* dev20;
  StudyDef* dev30;
  StudyDef* trend;  // library study 5 of ferlume1
  StudyDef* tmvp;   // library study 5 of ferlume2, when that library exists
  int entry_rule, stop_rule, target_rule, add_rule;
  int signal_bar, entry_bar;
  // Exponential averages of the TMVP series, up to the previous bar.
  int ema_bar;
  double fast, slow;
  // Trailing stop state.
  double level, accel, extreme_high, extreme_low;
};

double at(const StudyDef* st, int i) {
  if (!st || !st->outputs || i < 0 || i >= st->output_len) return MISSING_VALUE;
  return st->outputs[i];
}

int missing(double v) {
  return study_is_missing(v);
}

int digit(const strategy_ctx* s, int pos) {
  if ((int)strlen(s->account) > pos && s->account[pos] >= '0' && s->account[pos] <= '9')
    return s->account[pos] - '0';
  return 0;
}

// The two averages of the TMVP series at `bar`, from its value at bar 29.
int tmvp_cross(strategy_ctx* s, vts_priv* p, int bar, double* fast, double* slow) {
  if (bar < 30 || missing(at(p->tmvp, 29))) return 0;
  double kf = 2.0 / (s->args[4] + 1), ks = 2.0 / (s->args[5] + 1);
  if (p->ema_bar < 29) {
    p->fast = p->slow = at(p->tmvp, 29);
    p->ema_bar = 29;
  }
  for (; p->ema_bar < bar - 1; p->ema_bar++) {
    double v = at(p->tmvp, p->ema_bar + 1);
    if (missing(v)) return 0;
    p->fast += kf * (v - p->fast);
    p->slow += ks * (v - p->slow);
  }
  double v = at(p->tmvp, bar);
  if (missing(v)) return 0;
  *fast = p->fast + kf * (v - p->fast);
  *slow = p->slow + ks * (v - p->slow);
  return 1;
}

}  // namespace

int vts_init(strategy_ctx* s) {
  if (!strategy_add_plots(s)) return 0;
  vts_priv* p = (vts_priv*)s->priv;
  chart_rec* c = s->chart;
  p->entry_rule = digit(s, 3);
  p->stop_rule = digit(s, 4);
  p->target_rule = digit(s, 5);
  p->add_rule = digit(s, 6);
  p->signal_bar = -1000;
  p->ema5 = find_or_create_study(c, STUDY_EMA, 5, 8, 1.0);
  p->ema10 = find_or_create_study(c, STUDY_EMA, 10, 8, 1.0);
  p->sma20 = find_or_create_study(c, STUDY_SMA, 20, 4, 1.0);
  p->dev15 = find_or_create_study(c, STUDY_STDDEV, 15, 8, 1.0);
  p->dev20 = find_or_create_study(c, STUDY_STDDEV, 20, 8, 1.0);
  p->dev30 = find_or_create_study(c, STUDY_STDDEV, 30, 8, 1.0);
  // The library studies read as missing when their library is absent.
  p->trend = find_or_create_study(c, STUDY_LIBRARY, "ferlume1", 5, 5, 4, 0, 9.0, 0.0, 0.0, 0.0);
  p->tmvp = find_or_create_study(c, STUDY_LIBRARY, "ferlume2", 5, 1, 8, 0, 100.0, 200.0, 0.0, 0.0);
  return p->ema5 && p->ema10 && p->sma20 && p->dev15 && p->dev20 && p->dev30;
}

void vts_describe(strategy_ctx* s) {
  vts_priv* p = (vts_priv*)s->priv;
  FILE* f = s->report;
  fprintf(f, "Mode:%d  %s\n", s->mode, (s->flags & STRATEGY_INVERT) ? "Inverted playback" : "");
  switch (p->entry_rule) {
    case 1:
      fprintf(f, "Entry: Volitility Breakout\n");
      break;
    case 2:
      fprintf(f, "Entry: High Volitility, trend following\n");
      break;
    case 3:
      fprintf(f, "Entry: TMVP %0.0f ema cross over %0.0f ema\n", s->args[4], s->args[5]);
      break;
    case 4:
      fprintf(f, "Entry: SAR whenever VWAP crosses ema10\n");
      break;
    default:
      fprintf(f, "Undefined entry rule\n");
  }
  if (p->stop_rule == 0)
    fprintf(f, "Stop: no stops\n");
  else if (p->stop_rule == 1)
    fprintf(f, "Stop: Initial stop at %0.2f 2.0 * StdDev[20]\n", s->args[0]);
  else
    fprintf(f, "Undefined stop rule\n");
  if (p->target_rule == 0)
    fprintf(f, "Targets: No targets, stay in until reversed or stopped\n");
  else
    fprintf(f, "Undefined target rule\n");
  if (p->add_rule == 1) fprintf(f, "Add to position: When winning and 2of3 goes from 2 to 3\n");
  for (int i = 0; i < 4; i++)
    if (s->flags & (STRATEGY_OPTION1 << i)) fprintf(f, "%s\n", g_trading_systems[0].labels[i]);
}

static void trail(strategy_ctx* s, vts_priv* p, int bar) {
  const chart_bar* b = s->chart->bars;
  double t = s->tick_size;
  if (bar < 2) return;
  const chart_bar& prev = b[bar - 1];
  if (s->lots[0].position > 0) {
    double lv = p->level + (prev.high - p->level) * p->accel;
    double floor2 = std::min(b[bar - 1].low, b[bar - 2].low);
    p->level = lv >= floor2 ? round_down_to_tick(floor2, t) : lv;
    if (prev.high > p->extreme_high) {
      p->accel = std::min(0.2, p->accel + 0.02);
      p->extreme_high = prev.high;
    }
  } else if (s->lots[0].position < 0) {
    double lv = p->level - (p->level - prev.low) * p->accel;
    double ceil2 = std::max(b[bar - 1].high, b[bar - 2].high);
    p->level = !(lv > ceil2) ? round_up_to_tick(ceil2, t) : lv;
    if (prev.low < p->extreme_low) {
      p->accel = std::min(0.2, p->accel + 0.02);
      p->extreme_low = prev.low;
    }
  }
}

int vts_run(strategy_ctx* s) {
  int bar, new_bar;
  if (!strategy_bar_step(s, &bar, &new_bar)) return 0;
  vts_priv* p = (vts_priv*)s->priv;
  const chart_bar* b = s->chart->bars;
  double t = s->tick_size, close = b[bar].close;
  double d15 = at(p->dev15, bar), d20 = at(p->dev20, bar), d30 = at(p->dev30, bar);
  double d15p = at(p->dev15, bar - 1), d20p = at(p->dev20, bar - 1);
  double e5 = at(p->ema5, bar), e5p = at(p->ema5, bar - 1), e10 = at(p->ema10, bar);
  double tr = at(p->trend, bar);
  if (missing(d15) || missing(d20) || missing(d30) || missing(e5) || missing(e10)) return 1;
  int low_vol = d15 < s->args[2] && d20 < s->args[2] && d30 < s->args[2];
  int high_vol = d15 > s->args[3] && d20 > s->args[3] && d30 > s->args[3];
  int rising = !missing(d15p) && !missing(d20p) && d15 > d15p && d20 > d20p;
  int falling = !missing(d15p) && !missing(d20p) && d15 < d15p && d20 < d20p;
  int up = !missing(tr) && tr > e5 && e5 > e10;
  int down = !missing(tr) && tr < e5 && e5 < e10;
  // Rule 3 waits while the TMVP value the slow average reaches back to is
  // missing: its series may not exist at all.
  if (p->entry_rule == 3 && missing(at(p->tmvp, bar - (int)s->args[5]))) return 1;
  int sig = 0;
  if (s->flags & STRATEGY_TRADE_LONG) {
    switch (p->entry_rule) {
      case 1:
        sig = low_vol && rising && up ? 1 : low_vol && falling && down ? -1 : 0;
        break;
      case 2:
        sig = high_vol && up ? 1 : low_vol && down ? -1 : 0;
        break;
      case 3: {
        double fast, slow;
        if (tmvp_cross(s, p, bar, &fast, &slow)) sig = fast > slow ? 1 : fast < slow ? -1 : 0;
        break;
      }
      case 4: {
        double e10p = at(p->ema10, bar - 1);
        if (bar >= 1 && !missing(e10p)) {
          double vw = bar_price_value(&b[bar - 1], 8);
          sig = vw > e10p ? 1 : vw < e10p ? -1 : 0;
        }
        break;
      }
    }
  }
  if (new_bar && s->lots[0].entry && bar - p->signal_bar > 5) strategy_cancel_entry(s, 0);
  if (sig && s->position == 0 && s->pending == 0 && !missing(e5p)) {
    const char* words[6] = {low_vol ? "Low Volitility," : "",
                            high_vol ? "High Volitility," : "",
                            rising ? "Volitility Rising," : "",
                            falling ? "Volitility Falling," : "",
                            up ? "Uptrend" : "",
                            down ? "Downtrend" : ""};
    if (sig > 0) {
      double entry = round_up_to_tick(2 * e5 - e5p, t);
      double stop = round_down_to_tick(entry - s->args[0] * d20, t);
      debug_trace("%s: %s %s %s %s %s %s\n", "BUY", words[0], words[1], words[2], words[3],
                  words[4], words[5]);
      p->signal_bar = p->entry_bar = bar;
      strategy_open_long(s, 0, 1, entry, stop, 0);
    } else if (s->flags & STRATEGY_TRADE_SHORT) {
      double entry = round_down_to_tick(e5p, t);
      double stop = round_down_to_tick(entry + s->args[0] * d20, t);
      debug_trace("%s: %s %s %s %s %s %s\n", "SELL", words[0], words[1], words[2], words[3],
                  words[4], words[5]);
      p->signal_bar = p->entry_bar = bar;
      strategy_open_short(s, 0, s->lot_size, entry, stop, 0);
      if (s->max_lots >= 2)
        strategy_open_short(s, 1, s->lot_size, entry, round_up_to_tick(entry + s->args[1], t), 0);
    }
    return 1;
  }
  if (s->position == 0 || p->stop_rule != 1 || !new_bar) return 1;
  int moved = 0;
  for (int i = 0; i < s->max_lots; i++) {
    strategy_lot* L = &s->lots[i];
    if (!L->stop || !L->position) continue;
    if (L->stop->kind == 'S') {
      double d15e = at(p->dev15, p->entry_bar), d20e = at(p->dev20, p->entry_bar);
      int hit = L->position > 0 ? !missing(d15e) && close >= L->last_fill_price + s->args[0] * d15e
                                : !missing(d20e) && close <= L->last_fill_price - s->args[0] * d20e;
      if (hit) {
        strategy_set_stop(s, i, 'E',
                          L->position > 0 ? round_up_to_tick(L->last_fill_price, t)
                                          : round_down_to_tick(L->last_fill_price, t));
        p->level = L->last_fill_price;
        p->accel = 0.02;
        p->extreme_high = b[p->entry_bar].high;
        p->extreme_low = b[p->entry_bar].low;
      }
    } else if (bar > p->entry_bar) {
      if (!moved++) trail(s, p, bar);
      if (L->position > 0 && round_down_to_tick(p->level, t) > L->stop_price)
        strategy_set_stop(s, i, 'T', round_down_to_tick(p->level, t));
      if (L->position < 0 && round_up_to_tick(p->level, t) < L->stop_price)
        strategy_set_stop(s, i, 'T', round_up_to_tick(p->level, t));
    }
  }
  return 1;
}

size_t vts_priv_size() {
  return sizeof(vts_priv);
}
