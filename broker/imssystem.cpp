// The IMS trading system: trades once a day on an imported daily indicator
// series ("%IMS") with the 34- and 55-bar averages of the close.  Three
// daily states (basic, wave, trend) and their sum decide; the account
// name's digits choose the entry, stop, target and add rules.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "broker/orders.h"
#include "broker/xsystems.h"
#include "data/chart.h"
#include "data/dates.h"
#include "quotes/mqt_record.h"
#include "studies/study.h"

namespace {

struct ims_priv {
  StudyDef* ims;
  StudyDef* ma34;
  StudyDef* ma55;
  StudyDef* dev20;
  double margin, initial_loss;
  double stop_ref, pending_price;
  int entry_bar;
  int entry_rule, stop_rule, target_rule, add_rule;
  int last_date;
  int basic, trend, wave;
  int losing_days;
  int sum, sum1, sum2;
  float v, v1, v2;
  double init_stop, target_step;
  int last_size;
};

double at(const StudyDef* st, int i) {
  if (!st || !st->outputs || i < 0 || i >= st->output_len) return MISSING_VALUE;
  return st->outputs[i];
}

int digit(const strategy_ctx* s, int pos) {
  if ((int)strlen(s->account) > pos && s->account[pos] >= '0' && s->account[pos] <= '9')
    return s->account[pos] - '0';
  return 0;
}

int opt(const strategy_ctx* s, int n) {
  return (s->flags & (STRATEGY_OPTION1 << (n - 1))) != 0;
}

// The kind of the last filled order of the run.
char last_fill_kind(const strategy_ctx* s) {
  order_rec o;
  memset(&o, 0, sizeof o);
  decode_order(s->last_orders[1], &o);
  return o.kind;
}

}  // namespace

int strategy_ims_size(strategy_ctx* s) {
  ims_priv* p = (ims_priv*)s->priv;
  if (!(p->margin > 0)) return s->lot_size;
  double money = s->net_profit + s->beginning_balance;
  int size = money > p->margin ? (int)((money - p->margin) / p->margin) + 1 : 1;
  if (size < p->last_size && opt(s, 3)) size = (int)((money - p->margin / 2) / p->margin) + 1;
  if (size < 1) size = 1;
  p->last_size = size;
  return size;
}

void ims_prepare(strategy_ctx* s);

int ims_init(strategy_ctx* s) {
  if (!strategy_add_plots(s)) return 0;
  ims_prepare(s);
  ims_priv* p = (ims_priv*)s->priv;
  chart_rec* c = s->chart;
  p->ims = find_or_create_study(c, STUDY_DATA_FILE, "Import\\IMS.csv", "%IMS", 0);
  p->ma34 = find_or_create_study(c, STUDY_SMA, 34, 4, 1.0);
  p->ma55 = find_or_create_study(c, STUDY_SMA, 55, 4, 1.0);
  p->dev20 = find_or_create_study(c, STUDY_STDDEV, 20, 4, 1.0);
  // A missing series leaves the system idle rather than refusing the run.
  return p->ma34 && p->ma55;
}

void ims_describe(strategy_ctx* s) {
  ims_priv* p = (ims_priv*)s->priv;
  FILE* f = s->report;
  double a2 = s->args[1];
  if (p->margin > 0)
    fprintf(f, "Assume: Margin=%0.0f,  Initial loss=%0.0f,  Cushion=%0.0f\n", s->args[2],
            s->args[3], opt(s, 3) ? p->margin / 2 : 0.0);
  fprintf(f, "Mode:%d  %s\n", s->mode, (s->flags & STRATEGY_INVERT) ? "Inverted playback" : "");
  static const char* const entries[] = {
      nullptr,
      "Entry: xTarget, Enter or reverse at close whenever IMS changes direction.\n",
      "Entry: xBasic system\n",
      "Entry: xWave system\n",
      "Entry: xTrend system\n",
      "Entry: x2of3 system\n",
      "Entry: x2of3 system entering at open\n",
      "Entry: x1of3 system \n"};
  fprintf(
      f, "%s",
      p->entry_rule >= 1 && p->entry_rule <= 7 ? entries[p->entry_rule] : "Undefined entry rule\n");
  fprintf(f, "Stop: Initial intraday stop at %0.2f%%\n", s->args[0] * 100);
  switch (p->stop_rule) {
    case 1:
      break;
    case 2:
      fprintf(f, "      Adjust to break even after %3.2f gain\n", 2 * a2);
      break;
    case 3:
      fprintf(f, "      Trailing stop of %3.2f, after %3.2f gain\n", 2 * a2, 2 * a2);
      break;
    case 4:
      fprintf(f, "      Break Even after %3.2f gain, then ajust stop start of each day by", 2 * a2);
      fprintf(f, "      %0.2f * difference between current stop and yesterdays extreme price\n",
              s->args[4]);
      break;
    default:
      fprintf(f, "Undefined stop rule\n");
  }
  if (p->target_rule == 0) {
    fprintf(f, "Targets: No targets, stay in until reversed or stopped\n");
  } else if (p->target_rule == 1) {
    fprintf(f, "Targets: Lot0 @ %3.2f \n", 2 * a2);
    if (s->max_lots > 1) {
      fprintf(f, "         Lot1 @ %3.2f \n", 3 * a2);
      fprintf(f, "         Lot2 @ %3.2f \n", 4 * a2);
      fprintf(f, "         Lot3 no target \n");
    }
  } else {
    fprintf(f, "Undefined target rule\n");
  }
  if (p->add_rule == 1) fprintf(f, "Add to position: When winning and 2of3 goes from 2 to 3\n");
  for (int i = 0; i < 4; i++)
    if (s->flags & (STRATEGY_OPTION1 << i)) fprintf(f, "%s\n", g_trading_systems[0].labels[i]);
}

// The daily states from today's value; 0 while the earlier value is missing.
static int daily_update(strategy_ctx* s, ims_priv* p, int bar, double today, double* low5,
                        double* high5) {
  const chart_bar* b = s->chart->bars;
  double close = b[bar].close;
  p->v2 = p->v1;
  p->v1 = p->v;
  p->v = (float)today;
  p->last_date = seconds_to_date(b[bar].time);
  *low5 = b[bar].low;
  *high5 = b[bar].high;
  for (int i = std::max(0, bar - 4); i <= bar; i++) {
    *low5 = std::min<double>(*low5, b[i].low);
    *high5 = std::max<double>(*high5, b[i].high);
  }
  if (study_is_missing(p->v2)) return 0;
  double v = p->v, v1 = p->v1;
  int nb = p->basic, nw = p->wave, nt = p->trend;
  if (p->basic == 1 && v < v1) nb = 0;
  if (p->basic == -1 && v > v1) nb = 0;
  if (v1 <= 30 && v > v1) nb = 1;
  if (v1 >= 70 && v < v1) nb = -1;
  double m34 = at(p->ma34, bar), m55 = at(p->ma55, bar);
  double diff = study_is_missing(m34) || study_is_missing(m55) ? 0 : m34 - m55;
  if (v1 <= 35 && v > v1) {
    nw = 1;
    if (p->wave != 1) p->stop_ref = 0.99 * close;
    if (diff > 0) {
      nt = 1;
      p->pending_price = 0;
    } else {
      nt = 0;
      p->pending_price = close;
    }
  } else if (v1 >= 65 && v < v1) {
    nw = -1;
    if (p->wave != -1) p->stop_ref = 1.01 * close;
    if (diff >= 0) {
      nt = 0;
      p->pending_price = close;
    } else {
      nt = -1;
      p->pending_price = 0;
    }
  }
  if ((nt == 1 && close <= p->stop_ref) || (nt == -1 && close >= p->stop_ref)) {
    nt = 0;
    if (p->entry_rule == 4) s->kind_override = 'X';
    p->pending_price = close;
  }
  if (nw == 1 && close <= p->stop_ref) {
    nw = -1;
    p->stop_ref = 1.01 * close;
    if (p->entry_rule == 3) s->kind_override = 'X';
  } else if (nw == -1 && close >= p->stop_ref) {
    nw = 1;
    p->stop_ref = 0.99 * close;
    if (p->entry_rule == 3) s->kind_override = 'X';
  }
  if (p->pending_price > 0 && nt == 0) {
    if (diff >= 0 && close >= 1.01 * p->pending_price) nt = 1;
    if (diff < 0 && close <= 0.99 * p->pending_price) nt = -1;
    if (nt && p->entry_rule == 4) s->kind_override = 'A';
  }
  p->basic = nb;
  p->wave = nw;
  p->trend = nt;
  p->sum2 = p->sum1;
  p->sum1 = p->sum;
  p->sum = nt + nb + nw;
  double fill = s->lots[0].last_fill_price;
  if ((s->position > 0 && close < fill) || (s->position < 0 && close > fill)) p->losing_days++;
  return 1;
}

static void enter(strategy_ctx* s, ims_priv* p, int bar, int side) {
  const chart_bar* b = s->chart->bars;
  double t = s->tick_size, close = b[bar].close, a1 = s->args[0], a2 = s->args[1];
  double prev_low = bar > 0 ? b[bar - 1].low : b[bar].low;
  double prev_high = bar > 0 ? b[bar - 1].high : b[bar].high;
  double entry, stop;
  if (side > 0) {
    entry = round_up_to_tick(close, t);
    stop = a1 >= 0 ? round_down_to_tick((1 - a1) * entry, t)
                   : round_down_to_tick(std::min<double>(b[bar].low, prev_low), t);
  } else {
    entry = round_down_to_tick(close, t);
    stop = a1 >= 0 ? round_up_to_tick((1 + a1) * entry, t)
                   : round_up_to_tick(std::max<double>(b[bar].high, prev_high), t);
  }
  p->entry_bar = bar;
  p->losing_days = 0;
  int size = strategy_ims_size(s);
  for (int i = 0; i < s->max_lots; i++) {
    int pos = s->lots[i].position;
    double target = side > 0 ? round_down_to_tick(entry + (i + 2) * a2, t)
                             : round_up_to_tick(entry - (i + 2) * a2, t);
    if (pos == -side * size) {
      strategy_reverse(s, i, side > 0 ? close - stop : stop - close);
    } else if (pos * side < 0) {
      strategy_close_lot(s, i, 0, 0);
      strategy_check_orders(s, i);
      if (side > 0)
        strategy_open_long(s, i, size, entry, stop, 5.0);
      else
        strategy_open_short(s, i, size, entry, stop, 5.0);
    } else if (pos == 0) {
      if (side > 0)
        strategy_open_long(s, i, size, entry, stop, 5.0);
      else
        strategy_open_short(s, i, size, entry, stop, 5.0);
    }
    if (p->target_rule == 1 && i <= 2) strategy_close_lot(s, i, target, side * size);
  }
}

static void manage(strategy_ctx* s, ims_priv* p, int bar, int new_sum_from) {
  const chart_bar* b = s->chart->bars;
  double t = s->tick_size, close = b[bar].close, a2 = s->args[1];
  if (s->args[6] > 0 && p->losing_days >= (int)s->args[6]) strategy_close_lot(s, 0, 0, 0);
  if (p->stop_rule == 3) {
    for (int i = 0; i < s->max_lots; i++) {
      strategy_lot* L = &s->lots[i];
      if (!L->stop) continue;
      if (L->position > 0) {
        double np = round_up_to_tick(close - 2 * a2 * t, t);
        if (np > L->stop_price) strategy_set_stop(s, i, 'T', np);
      } else if (L->position < 0) {
        double np = round_up_to_tick(close + 2 * a2 * t, t);
        if (np < L->stop_price) strategy_set_stop(s, i, 'T', np);
      }
    }
  }
  if (p->stop_rule == 4 && (s->flags & STRATEGY_OPEN_STEP) && bar > 0) {
    for (int i = 0; i < s->max_lots; i++) {
      strategy_lot* L = &s->lots[i];
      if (!L->stop || L->stop->kind == 'S' || p->entry_bar >= bar) continue;
      if (L->position > 0 && L->stop_price < b[bar - 1].low)
        strategy_set_stop(
            s, i, 'T',
            round_down_to_tick(L->stop_price + s->args[4] * (b[bar - 1].low - L->stop_price), t));
      if (L->position < 0 && L->stop_price > b[bar - 1].high)
        strategy_set_stop(
            s, i, 'T',
            round_up_to_tick(L->stop_price - s->args[4] * (L->stop_price - b[bar - 1].high), t));
    }
  }
  if (p->stop_rule == 2 || p->stop_rule == 4) {
    double fill0 = s->lots[0].last_fill_price;
    for (int i = 0; i < s->max_lots; i++) {
      strategy_lot* L = &s->lots[i];
      if (!L->stop || L->stop->kind != 'S') continue;
      if (L->position > 0 && close >= L->last_fill_price + 2 * a2 * t)
        strategy_set_stop(s, i, 'E', round_up_to_tick(fill0, t));
      if (L->position < 0 && close <= L->last_fill_price - 2 * a2 * t)
        strategy_set_stop(s, i, 'E', round_down_to_tick(fill0, t));
    }
  }
  int neutral = (p->entry_rule == 2 && p->basic == 0) || (p->entry_rule == 3 && p->wave == 0) ||
                (p->entry_rule == 4 && p->trend == 0) ||
                (p->entry_rule == 5 && p->sum >= -1 && p->sum <= 1);
  if (neutral)
    for (int i = 0; i < STRATEGY_LOTS; i++)
      if (s->lots[i].position) strategy_close_lot(s, i, 0, 0);
  (void)new_sum_from;
}

int ims_run(strategy_ctx* s) {
  ims_priv* p = (ims_priv*)s->priv;
  if (is_intraday_unit(s->chart->header.time_unit)) {
    // The day's decision comes in its last seconds.
    if (s->record && s->record->quote_time >= 57591)
      s->flags |= STRATEGY_CLOSE_STEP;
    else
      s->flags &= ~STRATEGY_CLOSE_STEP;
  }
  s->kind_override = 0;
  int bar, new_bar;
  if (!strategy_bar_step(s, &bar, &new_bar)) return 0;
  uint32_t acting_bit = p->entry_rule == 6 ? STRATEGY_OPEN_STEP : STRATEGY_CLOSE_STEP;
  int acting = (s->flags & acting_bit) != 0;
  if (!p->ims) return 1;
  double today = at(p->ims, bar);
  double low5 = s->chart->bars[bar].low, high5 = s->chart->bars[bar].high;
  int date = seconds_to_date(s->chart->bars[bar].time);
  if (acting && date != p->last_date && !study_is_missing(today))
    daily_update(s, p, bar, today, &low5, &high5);
  else
    for (int i = std::max(0, bar - 4); i <= bar; i++) {
      low5 = std::min<double>(low5, s->chart->bars[i].low);
      high5 = std::max<double>(high5, s->chart->bars[i].high);
    }
  if (study_is_missing(p->v2)) return 1;
  double close = s->chart->bars[bar].close;
  int sig = 0;
  if (acting) {
    switch (p->entry_rule) {
      case 2:
        sig = p->basic;
        break;
      case 3:
        sig = p->wave;
        break;
      case 4:
        sig = p->trend;
        break;
      case 5:
      case 6:
        sig = p->sum >= 2 && p->sum1 < 2 ? 1 : p->sum < -1 && p->sum1 >= -1 ? -1 : 0;
        break;
      case 7:
        sig = p->sum >= 1 && p->sum1 < 1 ? 1 : p->sum < 0 && p->sum1 >= 0 ? -1 : 0;
        break;
      default:
        sig = p->v > p->v1 && p->v1 < p->v2 ? 1 : p->v < p->v1 && p->v1 > p->v2 ? -1 : 0;
        break;
    }
    char k = last_fill_kind(s);
    int after_stop_exit = s->position == 0 && (k == 'T' || k == 'E');
    if (!sig && opt(s, 2) && after_stop_exit) {
      if (p->v > p->v1 && p->v < 100 - s->args[5] && p->sum >= 2) sig = 1;
      if (p->v < p->v1 && p->v > s->args[5] && p->sum < -1) sig = -1;
    }
    if (!sig && opt(s, 4) && after_stop_exit) {
      if (p->sum >= 2 && close < s->lots[0].last_fill_price) sig = 1;
      if (p->sum < -1 && close > s->lots[0].last_fill_price) sig = -1;
    }
    if (!sig && opt(s, 1)) sig = p->sum >= 2 ? 1 : p->sum < -1 ? -1 : 0;
  }
  if (sig > 0 && (s->flags & STRATEGY_TRADE_LONG) && s->position + s->pending < 1)
    enter(s, p, bar, 1);
  else if (sig < 0 && (s->flags & STRATEGY_TRADE_SHORT) && s->position + s->pending > -1)
    enter(s, p, bar, -1);
  else if (s->position != 0)
    manage(s, p, bar, p->sum1);
  if (p->add_rule == 1 && (s->flags & STRATEGY_CLOSE_STEP) && s->lots[1].position == 0 &&
      !s->lots[1].entry) {
    double t = s->tick_size;
    if (p->sum == 3 && p->sum1 < 3 && (s->flags & STRATEGY_TRADE_LONG) && low5 > close - 50)
      strategy_open_long(s, 1, strategy_ims_size(s), round_up_to_tick(close, t),
                         round_down_to_tick(close - 50, t), 5.0);
    if (p->sum == -3 && p->sum1 > -3 && (s->flags & STRATEGY_TRADE_SHORT) && high5 < close + 50)
      strategy_open_short(s, 1, strategy_ims_size(s), round_down_to_tick(close, t),
                          round_up_to_tick(close + 50, t), 5.0);
  }
  return 1;
}

void ims_prepare(strategy_ctx* s) {
  ims_priv* p = (ims_priv*)s->priv;
  p->entry_rule = digit(s, 3);
  p->stop_rule = digit(s, 4);
  p->target_rule = digit(s, 5);
  p->add_rule = digit(s, 6);
  p->margin = s->args[2];
  p->initial_loss = s->args[3];
  p->init_stop = s->args[0];
  p->target_step = s->args[1];
  p->v = p->v1 = p->v2 = MISSING_VALUE;
}

size_t ims_priv_size() {
  return sizeof(ims_priv);
}
