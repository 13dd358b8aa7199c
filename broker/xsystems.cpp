// The trading-system driver (broker/xsystems.h).
#include "broker/xsystems.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "broker/executions.h"
#include "broker/orders.h"
#include "data/chart.h"
#include "data/chart_flags.h"
#include "data/dates.h"
#include "data/debugtrace.h"
#include "data/pricefmt.h"
#include "data/statmsg.h"
#include "platform/files.h"
#include "platform/locks.h"
#include "platform/messages.h"
#include "platform/window.h"
#include "quotes/mqt.h"
#include "quotes/mqt_flags.h"
#include "quotes/mqt_record.h"
#include "quotes/livechart.h"
#include "quotes/mqt_hooks.h"
#include "quotes/randomfeed.h"
#include "data/markets.h"
#include "quotes/tickfile.h"
#include "settings/datadirs.h"
#include "studies/study.h"

// Counts OCA groups made by runs, so that no two are alike.
static int s_oca_counter;

static void report_error(const char* format, ...) __attribute__((format(printf, 1, 2)));
static void report_error(const char* format, ...) {
  char text[256];
  va_list ap;
  va_start(ap, format);
  vsnprintf(text, sizeof text, format, ap);
  va_end(ap);
  statmsg(__FILE__, __LINE__, text, nullptr, STATMSG_ERROR);
}

// The chart window recomputes and redraws; the message carries no pointer.
static void notify_chart(const strategy_ctx* s) {
  if (s->chart && s->chart->owner_window)
    kv_post_message((kv_hwnd)s->chart->owner_window, WM_UPDATE_FROM_THREAD, 0x20, 0);
}

static int live_mode(const strategy_ctx* s) {
  return s->mode == STRATEGY_SIMULATE || s->mode == STRATEGY_LIVE;
}

// Alert sounds go through the record's hook table: null = no sound module.
static void play(int n) {
  if (g_mqt_hooks.queue_sound) g_mqt_hooks.queue_sound(n);
}

static void sound(const strategy_ctx* s, int n) {
  if (live_mode(s)) play(n);
}

// ---------------------------------------------------------------------------
// Rounding and money.

// price x k, snapped to the whole number it is within 1e-6 of.
static double grid_units(double price, double tick) {
  double k = tick > 0 ? 1.0 / tick : 1.0;
  double u = price * k;
  double whole = std::round(u);
  return std::fabs(u - whole) < 1e-6 ? whole : u;
}

double round_down_to_tick(double price, double tick) {
  double k = tick > 0 ? 1.0 / tick : 1.0;
  return std::floor(grid_units(price, tick)) / k;
}

double round_up_to_tick(double price, double tick) {
  double k = tick > 0 ? 1.0 / tick : 1.0;
  return std::ceil(grid_units(price, tick)) / k;
}

char* strategy_money(char* buf, size_t size, double value) {
  long long cents = std::llround(std::fabs(value) * 100.0);
  char whole[64];
  long long w = cents / 100;
  format_volume(whole, w > 2000000000LL ? 2000000000 : (int)w, 0);
  snprintf(buf, size, "%s%s.%02d", value < 0 && cents ? "-" : "", whole, (int)(cents % 100));
  return buf;
}

int strategy_max_lots(int max_lots) {
  if (max_lots > 3 || max_lots < -3) return 4;
  if (max_lots == 0) return 1;
  return std::abs(max_lots);
}

// Decimals a tick needs as a decimal number, at most 6.
static int price_decimals(double tick) {
  for (int d = 0; d < 6; d++) {
    double p = std::pow(10.0, d) * tick;
    if (std::fabs(p - std::round(p)) < 1e-6) return d;
  }
  return 6;
}

// ---------------------------------------------------------------------------
// Plots.

static StudyDef* plot_study(strategy_ctx* s, int which) {
  return (StudyDef*)(which == 0   ? (void*)s->plot_signal
                     : which == 1 ? (void*)s->plot_prices
                                  : (void*)s->plot_equity);
}

static void plot_store(strategy_ctx* s, int index) {
  if (index < 0) return;
  uint32_t prices = ((uint32_t)s->close_ticks << 16) | s->stop_ticks;
  float equity = (float)s->net_profit;
  float words[3];
  memcpy(&words[0], &s->signal, 4);
  memcpy(&words[1], &prices, 4);
  words[2] = equity;
  for (int k = 0; k < 3; k++) {
    StudyDef* st = plot_study(s, k);
    if (st && st->outputs && index < st->output_len) st->outputs[index] = words[k];
  }
}

int strategy_add_plots(strategy_ctx* s) {
  kv_lock guard(g_chart_lock);
  StudyDef* a = find_or_create_study(s->chart, STUDY_TRADE_SIGNALS);
  StudyDef* b = find_or_create_study(s->chart, STUDY_EQUITY);
  StudyDef* c = find_or_create_study(s->chart, STUDY_ORDER_PRICE);
  // The record keeps the study records; their series move when the chart
  // grows, so they are read through the record each time.
  s->plot_signal = (float*)(void*)a;
  s->plot_equity = (float*)(void*)b;
  s->plot_prices = (float*)(void*)c;
  return a && b && c;
}

static uint16_t price_ticks(const strategy_ctx* s, double price) {
  double t = s->tick_size > 0 ? price / s->tick_size : price;
  if (!(t > 0) || t > 65535) return 0;
  return (uint16_t)std::lround(t);
}

// ---------------------------------------------------------------------------
// Report.

static void unit_text(char* buf, size_t size, int unit) {
  if (is_tick_unit(unit))
    snprintf(buf, size, "%d tick", TU_TICK_BASE - unit);
  else if (is_volume_unit(unit))
    snprintf(buf, size, "%d volume", TU_VOLUME_BASE - unit);
  else if (unit >= 1 && unit <= 389)
    snprintf(buf, size, "%d minute", unit);
  else if (unit == TU_DAILY)
    snprintf(buf, size, "daily");
  else if (unit == TU_WEEKLY)
    snprintf(buf, size, "weekly");
  else
    snprintf(buf, size, "monthly");
}

// Opens the report file; 0 when the run can't start.
static int open_report(strategy_ctx* s) {
  mqt* r = s->record;
  if (!(s->tick_size > 0)) s->tick_size = r && r->tick_size > 0 ? r->tick_size : 1;
  if (s->multiplier <= 0) s->multiplier = r && r->multiplier > 0 ? r->multiplier : 1;
  if (!(s->tick_size > 0)) {
    report_error("mintick is zero, turn on quotes or supply value");
    return 0;
  }
  if (r) {
    r->tick_size = s->tick_size;
    r->multiplier = s->multiplier;
  }
  const char* symbol = s->chart->header.symbol;
  if (!account_name_ok(s->account) || !symbol[0] || strpbrk(symbol, "/\\:*?\"<>|") ||
      strstr(symbol, "..")) {
    report_error("can't open report file: %s_%s_Report.txt", s->account, symbol);
    return 0;
  }
  if (!live_mode(s)) reset_account_file(s->account, 1);
  char name[96], path[1024];
  snprintf(name, sizeof name, "%s_%s_Report.txt", s->account, symbol);
  if (!data_folder_path(path, sizeof path, KV_DIR_ACCOUNTS, name)) {
    report_error("can't open report file: %s", name);
    return 0;
  }
  kv_file_error err;
  char folder[1024];
  if (data_folder_path(folder, sizeof folder, KV_DIR_ACCOUNTS, "")) kv_make_dirs(folder, &err);
  s->report_file = kv_atomic_begin(path, &err);
  if (!s->report_file) {
    report_error("can't open report file: %s", path);
    return 0;
  }
  s->report = kv_atomic_stream(s->report_file);
  char unit[32];
  unit_text(unit, sizeof unit, s->chart->header.time_unit);
  const chart_bar* bars = s->chart->bars;
  int n = s->chart->header.bar_count;
  fprintf(s->report, "%s backtest for %s %s chart\n", s->account, symbol, unit);
  fprintf(s->report, "Test data dates: %d to %d\n", n ? seconds_to_date(bars[0].time) : 0,
          n ? seconds_to_date(bars[n - 1].time) : 0);
  fprintf(s->report, "Tick size=%0.2f  Multiplier=%d  Slippage=%0.2f points/contract\n\n",
          s->tick_size, s->multiplier, s->slippage);
  return 1;
}

static void daily_line(strategy_ctx* s) {
  mqt* r = s->record;
  if (!s->report || !r || r->quote_date <= s->last_daily_date) return;
  if ((s->flags & STRATEGY_DAILY_TOTALS) && s->last_daily_date) {
    char money[64];
    fprintf(s->report, "%61s\n", strategy_money(money, sizeof money, s->today_profit));
  }
  s->today_profit = 0;
  s->last_daily_date = r->quote_date;
}

static void fill_line(strategy_ctx* s, int lot, const order_rec* o, int sell, int closed,
                      double profit) {
  if (!s->report) return;
  mqt* r = s->record;
  daily_line(s);
  char date[16], time[16], line[256];
  format_date(r->quote_date, date, 8);
  format_time(r->quote_time, time);
  int d = price_decimals(s->tick_size);
  int n = snprintf(line, sizeof line, "%5d %s %s %s %c%c %3d @ %7.*f  %5.*f", s->bar, date, time,
                   sell ? "SLD" : "BOT", lot ? '0' + lot : ' ',
                   s->kind_override ? s->kind_override : o->kind, o->filled, d, o->last_fill_price,
                   d, (double)s->position);
  if (closed && n > 0 && n < (int)sizeof line) {
    char a[64], b[64];
    snprintf(line + n, sizeof line - n, " %10s %12s", strategy_money(a, sizeof a, profit),
             strategy_money(b, sizeof b, s->net_profit));
  }
  fprintf(s->report, "%s\n", line);
  if (s->flags & STRATEGY_DUMP_ORDERS)
    debug_trace("[%s]%s %d %d\n", line, s->account, r->quote_date, r->quote_time);
}

// ---------------------------------------------------------------------------
// Orders.

static order_rec* new_strategy_order(strategy_ctx* s, int action, int type, int quantity,
                                     char kind) {
  order_rec* o = create_order(s->record);
  if (!o) {
    report_error("create_order failed in strategy");
    return nullptr;
  }
  kv_lock guard(g_chart_lock);
  o->relay.quantity = quantity;
  o->relay.type = order_type_word(action, ORDER_GTC, type) | ORDER_TRANSMIT;
  o->kind = kind;
  snprintf(o->relay.account, sizeof o->relay.account, "%s", s->account);
  if (s->mode <= STRATEGY_PLAYBACK_TICKS) {
    o->relay.type |= ORDER_SIMULATED;
    o->flags |= ORDER_F_SILENT;
  } else if (s->mode == STRATEGY_SIMULATE) {
    o->relay.type |= ORDER_SIMULATED;
    o->flags |= ORDER_F_SYSTEM;
  } else {
    o->relay.account[0] = 0;
    o->flags |= ORDER_F_SYSTEM;
    o->relay.type &= ~ORDER_TRANSMIT;
  }
  return o;
}

// A LIVE order waits for the trader's transmit after every change.
static void live_change(strategy_ctx* s, order_rec* o) {
  if (s->mode == STRATEGY_LIVE) o->relay.type &= ~ORDER_TRANSMIT;
}

static int is_sell_order(const order_rec* o) {
  return order_action(o) != ORDER_BUY;
}

static void close_trade(strategy_ctx* s, int lot, char kind) {
  double p = s->trade_profit;
  s->today_profit += p;
  s->net_profit += p;
  s->lots[lot].total_profit += s->lots[lot].trade_profit;
  s->lots[lot].trade_profit = 0;
  if (s->position_before < 1)
    s->short_profit += p;
  else
    s->long_profit += p;
  switch (kind) {
    case 'C':
      s->condition_profit += p;
      break;
    case 'E':
      s->breakeven_profit += p;
      break;
    case 'T':
      s->trailing_profit += p;
      break;
    default:
      s->initial_stop_profit += p;
      break;
  }
  s->peak = std::max(s->peak, s->net_profit);
  s->drawdown = s->peak - s->net_profit;
  s->max_drawdown = std::max(s->max_drawdown, s->drawdown);
  double base = s->beginning_balance > 0 ? s->beginning_balance : 10000;
  s->drawdown_pct = s->drawdown / (s->peak + base) * 100;
  s->max_drawdown_pct = std::max(s->max_drawdown_pct, s->drawdown_pct);
  if (p > 0) {
    s->winning_trades++;
    s->win_streak++;
    s->longest_losses = std::max(s->longest_losses, s->loss_streak);
    s->loss_streak = 0;
  } else {
    s->losing_trades++;
    s->loss_streak++;
    s->longest_wins = std::max(s->longest_wins, s->win_streak);
    s->win_streak = 0;
  }
  if (live_mode(s)) {
    if (p < 0) play(8);
    if (p > 0) play(9);
    if (p >= 500) play(10);
    if (p >= 1000) play(11);
    if (p >= 2500) play(12);
  }
}

static void book(strategy_ctx* s, int lot, order_rec* o) {
  mqt* r = s->record;
  strategy_lot* L = &s->lots[lot];
  memmove(s->last_orders[0], s->last_orders[1], sizeof s->last_orders[1]);
  encode_order(o, s->last_orders[1]);
  int sell = is_sell_order(o);
  int q = o->filled;
  double price = o->last_fill_price;
  L->last_fill_price = price;
  s->total_contracts += q;
  double cash =
      (sell ? 1 : -1) * q * (double)s->multiplier * price - q * (double)s->multiplier * s->slippage;
  int reversal = 0;
  switch (o->kind) {
    case 'O':
      if (sell)
        s->short_trades++;
      else
        s->long_trades++;
      s->total_trades++;
      L->entry_slippage = sell ? o->requested_price - price : price - o->requested_price;
      L->pending -= sell ? -q : q;
      s->pending -= sell ? -q : q;
      break;
    case 'C':
      s->condition_hits++;
      s->signal |= sell ? SIG_LONG_CLOSED : SIG_SHORT_CLOSED;
      break;
    case 'S':
      s->initial_stop_hits++;
      s->signal |= sell ? SIG_LONG_STOPPED : SIG_SHORT_STOPPED;
      break;
    case 'T':
      s->trailing_hits++;
      s->signal |= sell ? SIG_LONG_TRAIL : SIG_SHORT_TRAIL;
      break;
    case 'E':
      s->breakeven_hits++;
      s->signal |= sell ? SIG_LONG_BREAKEVEN : SIG_SHORT_BREAKEVEN;
      break;
    case 'R':
      s->initial_stop_hits++;
      s->total_trades++;
      if (sell)
        s->short_trades++;
      else
        s->long_trades++;
      s->signal |= sell ? SIG_LONG_REVERSED : SIG_SHORT_REVERSED;
      reversal = 1;
      break;
  }
  if (o->kind != 'O')
    L->exit_slippage = sell ? o->requested_price - price : price - o->requested_price;
  const chart_rec* c = s->chart;
  int n = c->header.bar_count;
  if (n > 0) {
    long off = std::lround((price - c->bars[n - 1].open) / (s->tick_size > 0 ? s->tick_size : 1));
    s->signal =
        (s->signal & ~SIG_OFFSET_MASK) | (((uint32_t)off << SIG_OFFSET_SHIFT) & SIG_OFFSET_MASK);
  }
  int signed_q = sell ? -q : q;
  s->position_before = s->position;
  if (reversal) {
    // Half closes the old trade, the other half opens the new one; the
    // line shows the closed trade and the position after the whole fill.
    int half = signed_q / 2;
    double closing = cash / 2;
    s->trade_profit += closing;
    L->trade_profit += closing;
    s->position += half;
    L->position += half;
    double closed_profit = s->trade_profit;
    // Other lots may keep the run in the market: then no trade closed here.
    int closed = s->position == 0;
    if (closed) {
      close_trade(s, lot, 'R');
      s->trade_profit = 0;
    }
    s->trade_profit += cash - closing;
    L->trade_profit += cash - closing;
    s->position += signed_q - half;
    L->position += signed_q - half;
    fill_line(s, lot, o, sell, closed, closed_profit);
  } else {
    s->trade_profit += cash;
    L->trade_profit += cash;
    s->position += signed_q;
    L->position += signed_q;
    if (s->position == 0) {
      double closed_profit = s->trade_profit;
      close_trade(s, lot, o->kind);
      s->trade_profit = 0;
      fill_line(s, lot, o, sell, 1, closed_profit);
    } else {
      fill_line(s, lot, o, sell, 0, 0);
    }
  }
  s->signal = (s->signal & ~SIG_POSITION_MASK) | ((uint32_t)s->position & SIG_POSITION_MASK);
  (void)r;
}

// Books an order's new event; 1 when it filled now.
static int book_fill(strategy_ctx* s, int lot, order_rec* o) {
  if (!o || !(o->flags & ORDER_F_CHANGED) || (o->flags & STRATEGY_ORDER_DONE)) return 0;
  o->flags &= ~ORDER_F_CHANGED;
  if (o->status == ORDER_CANCELLED) {
    o->flags |= STRATEGY_ORDER_DONE;
    o->fill_time = (uint32_t)s->record->quote_epoch;
    return 0;
  }
  if (o->status != ORDER_FILLED) return 0;
  o->flags |= STRATEGY_ORDER_FILLED | STRATEGY_ORDER_DONE;
  o->fill_time = (uint32_t)s->record->quote_epoch;
  book(s, lot, o);
  return 1;
}

static void oca_text(strategy_ctx* s, int lot, char* out) {
  // Bounded, with separators; the counter comes first so that a cut at the
  // stored width only ever shortens the symbol, and alone keeps it unique.
  if (s_oca_counter == INT32_MAX) s_oca_counter = 0;
  snprintf(out, ORDER_TEXT_OCA + 1, "%d:%d:%d:%s", ++s_oca_counter, lot, s->run_index,
           s->chart->header.symbol);
}

static void place_stop_order(strategy_ctx* s, int lot, order_rec* o, char kind, double price) {
  int sell = is_sell_order(o);
  o->kind = kind;
  o->requested_price = price;
  o->relay.aux = price;
  o->relay.limit = sell ? price - 15 : price + 15;
  set_order_type(o, ORDER_STPLMT);
  o->relay.type |= 0x800000;
  live_change(s, o);
  s->lots[lot].stop_price = price;
  s->stop_ticks = price_ticks(s, price);
  place_order(o);
}

static void check_lot(strategy_ctx* s, int i) {
  strategy_lot* L = &s->lots[i];
  if (order_rec* e = L->entry) {
    book_fill(s, i, e);
    if ((e->flags & STRATEGY_ORDER_FILLED) && L->stop && L->stop->status == 0) {
      double slip = L->entry_slippage;
      double p = is_sell_order(e) ? round_down_to_tick(L->stop_price - slip, s->tick_size)
                                  : round_up_to_tick(L->stop_price + slip, s->tick_size);
      strategy_set_stop(s, i, 'S', p);
    }
    if (e->flags & STRATEGY_ORDER_DONE) {
      if (!(e->flags & STRATEGY_ORDER_FILLED)) {
        int q = is_sell_order(e) ? -e->relay.quantity : e->relay.quantity;
        (void)q;
        s->pending -= L->pending;
        L->pending = 0;
        if (L->stop && L->stop->status == 0) {
          delete_order(L->stop);
          L->stop = nullptr;
        }
      }
      delete_order(e);
      L->entry = nullptr;
    }
  }
  if (order_rec* st = L->stop) {
    book_fill(s, i, st);
    if (st->flags & STRATEGY_ORDER_DONE) {
      if (st->kind == 'R' && (st->flags & STRATEGY_ORDER_FILLED) && L->position != 0) {
        double fill = st->last_fill_price;
        int sell = is_sell_order(st);
        st->relay.order_id = 0;
        st->perm_id = 0;
        oca_text(s, i, st->relay.oca);
        st->relay.quantity = std::abs(L->position);
        st->relay.type = (st->relay.type & ~ORDER_ACTION_MASK) | (sell ? ORDER_BUY : ORDER_SELL);
        st->filled = 0;
        st->remaining = 0;
        st->last_fill_price = st->avg_fill_price = 0;
        st->flags &= ~(STRATEGY_ORDER_FILLED | STRATEGY_ORDER_DONE | ORDER_F_CHANGED |
                       ORDER_F_ACCEPTED | ORDER_F_PARTLY_FILLED);
        st->status = 0;
        double p = L->position > 0 ? round_down_to_tick(fill - L->reverse_distance, s->tick_size)
                                   : round_up_to_tick(fill + L->reverse_distance, s->tick_size);
        place_stop_order(s, i, st, 'S', p);
      } else {
        delete_order(st);
        L->stop = nullptr;
        s->stop_ticks = 0;
      }
    }
  }
  if (order_rec* c = L->close) {
    book_fill(s, i, c);
    if (c->flags & STRATEGY_ORDER_DONE) {
      delete_order(c);
      L->close = nullptr;
      s->close_ticks = 0;
    }
  }
}

void strategy_check_orders(strategy_ctx* s, int lot) {
  if (!s->record) return;
  kv_lock guard(g_chart_lock);
  update_orders_on_quote(s->record);
  for (int i = 0; i < STRATEGY_LOTS; i++)
    if (lot < 0 || lot == i) check_lot(s, i);
}

static void open_lot(strategy_ctx* s, int lot, int quantity, double entry, double stop,
                     double offset, int sell) {
  if (lot < 0 || lot >= STRATEGY_LOTS || quantity <= 0) return;
  kv_lock guard(g_chart_lock);
  strategy_lot* L = &s->lots[lot];
  strategy_check_orders(s, lot);
  if (L->entry || L->stop) {
    report_error(
        sell ? "Lot %d in use, can't open short[%d]" : "Lot %d in use, can't open long[%d]", lot,
        s->bar);
    return;
  }
  order_rec* e = new_strategy_order(s, sell ? ORDER_SELL : ORDER_BUY, ORDER_LMT, quantity, 'O');
  if (!e) return;
  order_rec* st = new_strategy_order(s, sell ? ORDER_BUY : ORDER_SELL, ORDER_STPLMT, quantity, 'S');
  if (!st) {
    delete_order(e);
    return;
  }
  e->requested_price = entry;
  e->relay.limit = sell ? entry - offset : entry + offset;
  s->signal |= sell ? SIG_SHORT_ENTRY : SIG_LONG_ENTRY;
  int n = s->chart->header.bar_count;
  if (n > 0) {
    long off =
        std::lround((entry - s->chart->bars[n - 1].open) / (s->tick_size > 0 ? s->tick_size : 1));
    s->signal =
        (s->signal & ~SIG_OFFSET_MASK) | (((uint32_t)off << SIG_OFFSET_SHIFT) & SIG_OFFSET_MASK);
  }
  st->relay.type |= 0x800000;
  st->requested_price = stop;
  st->relay.aux = stop;
  st->relay.limit = sell ? stop + 15 : stop - 15;
  oca_text(s, lot, st->relay.oca);
  if (s->flags & STRATEGY_DUMP_ORDERS)
    debug_trace(sell ? "Open Short %d[%5d SELL %d L%d @%7.2f -%4.2f SP=%7.2f]%s %d %d\n"
                     : "Open Long  %d[%5d  BUY %d L%d @%7.2f +%4.2f SP=%7.2f]%s %d %d\n",
                s->mode, s->bar, quantity, lot, entry, offset, stop, s->account,
                s->record->quote_date, s->record->quote_time);
  if (!place_order(e)) {
    // An entry that was never sent must not hold the lot or count as
    // pending: the next signal may open it again.
    report_error("place_order failed in strategy [L%d %s]", lot, s->account);
    delete_order(st);
    delete_order(e);
    return;
  }
  L->stop_price = stop;
  L->entry = e;
  L->stop = st;
  // The quantity is pending only once its entry order is placed; a paper
  // fill during the placing is booked by the next order check.
  int signed_q = sell ? -quantity : quantity;
  L->pending += signed_q;
  s->pending += signed_q;
  sound(s, 5);
}

void strategy_open_long(strategy_ctx* s, int lot, int quantity, double entry, double stop,
                        double offset) {
  open_lot(s, lot, quantity, entry, stop, offset, 0);
}

void strategy_open_short(strategy_ctx* s, int lot, int quantity, double entry, double stop,
                         double offset) {
  open_lot(s, lot, quantity, entry, stop, offset, 1);
}

void strategy_close_lot(strategy_ctx* s, int lot, double price, int quantity) {
  if (lot < 0 || lot >= STRATEGY_LOTS) return;
  kv_lock guard(g_chart_lock);
  strategy_lot* L = &s->lots[lot];
  strategy_check_orders(s, lot);
  int q = quantity ? quantity : L->position;
  if (q == 0) return;
  int buy = q < 0;
  int market = price == 0;
  // A close at market takes over a working close order (a target, say), so
  // that it is not lost behind it; a priced close leaves a working one be.
  order_rec* c = L->close;
  if (c && !market) return;
  if (c) {
    c->relay.quantity = std::abs(q);
    c->relay.type = (c->relay.type & ~ORDER_ACTION_MASK) | (buy ? ORDER_BUY : ORDER_SELL);
    live_change(s, c);
  } else {
    c = new_strategy_order(s, buy ? ORDER_BUY : ORDER_SELL, ORDER_LMT, std::abs(q), 'C');
  }
  if (!c) return;
  if (market) {
    double last = s->record->last;
    price = buy ? last + 5 : last - 5;
    s->signal |= buy ? SIG_SHORT_CLOSED : SIG_LONG_CLOSED;
    c->requested_price = last;
  } else {
    c->requested_price = price;
  }
  c->relay.limit = price;
  if (L->stop) memcpy(c->relay.oca, L->stop->relay.oca, sizeof c->relay.oca);
  L->close = c;
  s->close_ticks = price_ticks(s, price);
  if ((s->flags & STRATEGY_DUMP_ORDERS) && market)
    debug_trace("Close  %d[%5d %s %d L%d @%7.2f %s]%s %d %d\n", s->mode, s->bar,
                buy ? "BUY MKT" : "SELL MKT", std::abs(q), lot, c->requested_price,
                buy ? "+5.00" : "-5.00", s->account, s->record->quote_date, s->record->quote_time);
  else if (s->flags & STRATEGY_DUMP_ORDERS)
    debug_trace("Close  %d[%5d %s %d L%d @%7.2f]%s %d %d\n", s->mode, s->bar,
                buy ? "BUY LMT" : "SELL LMT", std::abs(q), lot, price, s->account,
                s->record->quote_date, s->record->quote_time);
  place_order(c);
  sound(s, market ? 6 : 13);
}

void strategy_exit_lot(strategy_ctx* s, int lot, double price) {
  strategy_close_lot(s, lot, price, 0);
}

void strategy_reverse(strategy_ctx* s, int lot, double distance) {
  if (lot < 0 || lot >= STRATEGY_LOTS) return;
  kv_lock guard(g_chart_lock);
  strategy_lot* L = &s->lots[lot];
  strategy_check_orders(s, lot);
  if (L->position == 0) {
    report_error("No position to reverse [L%d %s]", lot, s->account);
    return;
  }
  if (!L->stop) {
    report_error("%d:No stop order to reverse [L%d %s]", s->bar, lot, s->account);
    return;
  }
  order_rec* st = L->stop;
  L->reverse_distance = distance;
  double last = s->record->last;
  int long_lot = L->position > 0;
  st->kind = 'R';
  st->relay.quantity = 2 * std::abs(L->position);
  st->remaining = 0;
  st->relay.type = (st->relay.type & ~ORDER_ACTION_MASK) | (long_lot ? ORDER_SELL : ORDER_BUY);
  set_order_type(st, ORDER_STP);
  st->relay.type &= ~0x800000u;
  st->requested_price = last;
  st->relay.limit = last;
  st->relay.aux = long_lot ? last + 5 : last - 5;
  s->signal |= long_lot ? SIG_LONG_REVERSED : SIG_SHORT_REVERSED;
  live_change(s, st);
  if (s->flags & STRATEGY_DUMP_ORDERS)
    debug_trace("SAR %d[%5d %s %d L%d @%7.2f %s]%s %d %d\n", s->mode, s->bar,
                long_lot ? "SELL" : "BUY", st->relay.quantity, lot, last,
                long_lot ? "+5.00" : "-5.00", s->account, s->record->quote_date,
                s->record->quote_time);
  place_order(st);
  sound(s, 6);
  sound(s, 5);
}

void strategy_set_stop(strategy_ctx* s, int lot, char kind, double price) {
  if (lot < 0 || lot >= STRATEGY_LOTS) return;
  kv_lock guard(g_chart_lock);
  order_rec* st = s->lots[lot].stop;
  if (!st) {
    report_error("Tried to change non-existing stop order");
    return;
  }
  if (s->flags & STRATEGY_DUMP_ORDERS)
    debug_trace("Set Stop %c %d[%5d %s %d L%d STP-LMT L=%7.2f AP=%7.2f]%s %d %d\n", kind, s->mode,
                s->bar, is_sell_order(st) ? "SELL" : " BUY", st->relay.quantity, lot,
                is_sell_order(st) ? price - 15 : price + 15, price, s->account,
                s->record->quote_date, s->record->quote_time);
  place_stop_order(s, lot, st, kind, price);
  if ((kind == 'T' || kind == 'E') && !(st->flags & ORDER_F_SILENT)) play(7);
}

void strategy_cancel_entry(strategy_ctx* s, int lot) {
  if (lot < 0 || lot >= STRATEGY_LOTS) return;
  kv_lock guard(g_chart_lock);
  if (order_rec* e = s->lots[lot].entry) cancel_order(e);
}

// ---------------------------------------------------------------------------
// Attach, start, step, detach.

static void playback2(strategy_ctx* s);
static void playback_ticks(strategy_ctx* s);

static void run_callback(mqt_listener* l) {
  strategy_ctx* s = (strategy_ctx*)l->user;
  if ((s->flags & STRATEGY_ACTIVE) && s->run) s->run(s);
}

void* strategy_attach(chart_rec* chart, strategy_ctx* s, size_t priv_size,
                      const char* default_name) {
  if (!chart) return nullptr;
  memset(s->account, 0, sizeof(strategy_ctx) - offsetof(strategy_ctx, account));
  s->chart = chart;
  s->record = chart->mqt;
  s->max_lots = strategy_max_lots(s->max_lots);
  if (s->lot_size < 2) s->lot_size = 1;
  void* priv = calloc(1, priv_size ? priv_size : 1);
  if (!priv) return nullptr;
  s->priv = priv;
  if (s->typed_account[0])
    snprintf(s->account, sizeof s->account, "%s", s->typed_account);
  else
    snprintf(s->account, sizeof s->account, "%.10s", default_name);
  s->last_bar = -1;
  if (!open_report(s)) {
    free(priv);
    s->priv = nullptr;
    return nullptr;
  }
  kv_lock guard(g_chart_lock);
  chart->header.flags |= CHART_SYSTEM_RUNNING;
  chart->strategy = s;
  return priv;
}

// A new run starts on empty plots: nothing of an earlier run stays drawn.
static void clear_plots(strategy_ctx* s) {
  kv_lock guard(g_chart_lock);
  for (int k = 0; k < 3; k++) {
    StudyDef* st = plot_study(s, k);
    if (st && st->outputs && st->output_len > 0)
      memset(st->outputs, 0, (size_t)st->output_len * sizeof *st->outputs);
  }
}

void strategy_start(strategy_ctx* s, int first_candle) {
  if (s->report) {
    fprintf(s->report,
            "Candle   Date   Time   Dir  -----Order-----     Pos     P&L         Total\n");
    fprintf(s->report, "%s\n", std::string(73, '=').c_str());
  }
  clear_plots(s);
  mqt* r = s->record;
  if (!r) {
    report_error("No mqt");
    return;
  }
  {
    kv_lock guard(g_chart_lock);
    mqt_listener* l = (mqt_listener*)calloc(1, sizeof *l);
    if (!l) return;
    l->flags = 0x80;
    l->callback = run_callback;
    l->user = s;
    int index = 0;
    mqt_listener** link = &r->update_callbacks;
    while (*link) {
      link = &(*link)->next;
      index++;
    }
    *link = l;
    s->listener = l;
    s->run_index = index;
    memset(s->lots, 0, sizeof s->lots);
    s->first_candle = first_candle;
    s->flags |= STRATEGY_ACTIVE;
    if (s->mode <= STRATEGY_PLAYBACK_TICKS) {
      r->flags |= MQT_PLAYBACK;
      s->chart->header.flags |= CHART_BACKTEST_FED;
    }
  }
  switch (s->mode) {
    case STRATEGY_BACKTEST:
      strategy_replay_bars(s, 0);
      if (s->term) s->term(s);
      break;
    case STRATEGY_PLAYBACK1:
      strategy_replay_bars(s, s->tick_size);
      if (s->term) s->term(s);
      break;
    case STRATEGY_PLAYBACK_TICKS: {
      kv_lock guard(g_chart_lock);
      playback_ticks(s);
      if (s->term) s->term(s);
      break;
    }
    case STRATEGY_PLAYBACK2: {
      kv_lock guard(g_chart_lock);
      playback2(s);
      if (s->term) s->term(s);
      break;
    }
    default:
      break;
  }
  notify_chart(s);
}

int strategy_bar_step(strategy_ctx* s, int* bar, int* new_bar) {
  chart_rec* c = s->chart;
  int index = c->header.bar_count - 1;
  s->bar = index;
  if (bar) *bar = index;
  if (new_bar) *new_bar = 0;
  if (index < 0) return 0;
  int date = seconds_to_date(c->bars[index].time);
  if ((s->start_date && date < s->start_date) || (s->stop_date && date > s->stop_date) ||
      index < s->first_candle)
    return 0;
  if (index != s->last_bar) {
    plot_store(s, s->last_bar);
    s->last_bar = index;
    s->signal &= 0xFFFF;
    if (new_bar) *new_bar = 1;
    if (s->total_trades) s->bars_since_first_trade++;
    if (s->position) s->bars_in_market++;
  }
  strategy_check_orders(s, -1);
  plot_store(s, index);
  return 1;
}

static void summary(strategy_ctx* s) {
  FILE* f = s->report;
  char m[64];
  auto money = [&](double v) {
    strategy_money(m, sizeof m, v);
    return m;
  };
  // Fills already paid their slippage: the summary shows it, never twice.
  double paid = (double)s->total_contracts * s->multiplier * s->slippage;
  fprintf(f, "Gross Profit.....................%s\n", money(s->net_profit + paid));
  fprintf(f, "Commissions & Slippage...........%s\n", money(-paid));
  fprintf(f, "Net Profit ......................%s\n", money(s->net_profit));
  fprintf(f, "Total contracts......%4d\n", s->total_contracts);
  fprintf(f, "Total trades.........%4d\n", s->total_trades);
  auto pct = [&](int n) { return s->total_trades ? n * 100.0 / s->total_trades : 0.0; };
  fprintf(f, "Long trades..........%4d   %3.0f%% %s\n", s->long_trades, pct(s->long_trades),
          money(s->long_profit));
  fprintf(f, "Short trades.........%4d   %3.0f%% %s\n", s->short_trades, pct(s->short_trades),
          money(s->short_profit));
  fprintf(f, "Exit condition hits..%4d   %3.0f%% %s\n", s->condition_hits, pct(s->condition_hits),
          money(s->condition_profit));
  fprintf(f, "Breakeven stop hits..%4d   %3.0f%% %s\n", s->breakeven_hits, pct(s->breakeven_hits),
          money(s->breakeven_profit));
  fprintf(f, "Trailing stop hits...%4d   %3.0f%% %s\n", s->trailing_hits, pct(s->trailing_hits),
          money(s->trailing_profit));
  fprintf(f, "Initial stop hits....%4d   %3.0f%% %s\n", s->initial_stop_hits,
          pct(s->initial_stop_hits), money(s->initial_stop_profit));
  for (int i = 0; i < s->max_lots && i < STRATEGY_LOTS; i++)
    fprintf(f, "Lot %d profit.................... %s\n", i, money(s->lots[i].total_profit));
  fprintf(f, "Winning trades.......%4d   %3.0f%%\n", s->winning_trades, pct(s->winning_trades));
  fprintf(f, "Losing trades........%4d   %3.0f%%\n", s->losing_trades, pct(s->losing_trades));
  fprintf(f, "Max consecutive wins.%4d\n", std::max(s->longest_wins, s->win_streak));
  fprintf(f, "Max consec.losses....%4d\n", std::max(s->longest_losses, s->loss_streak));
  fprintf(f, "Max drawdown ........%4.2f\n", s->max_drawdown);
  fprintf(f, "Max drawdown pct.....%4.2f%%\n", s->max_drawdown_pct);
  if (s->bars_since_first_trade)
    fprintf(f, "Percent in market....%4.2f%%\n",
            s->bars_in_market * 100.0 / s->bars_since_first_trade);
}

void detach_trading_system(strategy_ctx* s) {
  mqt* r = s->record;
  {
    kv_lock guard(g_chart_lock);
    s->flags &= ~STRATEGY_ACTIVE;
    if (r && s->listener) {
      for (mqt_listener** link = &r->update_callbacks; *link; link = &(*link)->next)
        if (*link == s->listener) {
          *link = s->listener->next;
          break;
        }
      free(s->listener);
      s->listener = nullptr;
    }
    s->chart->header.flags &= ~(CHART_SYSTEM_RUNNING | CHART_BACKTEST_FED);
    if (s->chart->strategy == s) s->chart->strategy = nullptr;
    if (r) r->flags &= ~MQT_PLAYBACK;
    for (strategy_lot& L : s->lots) {
      for (order_rec** o : {&L.entry, &L.close, &L.stop})
        if (*o) {
          delete_order(*o);
          *o = nullptr;
        }
    }
    plot_store(s, s->last_bar);
  }
  {
    kv_lock guard(g_chart_lock);
    if (account_rec* a = get_account(s->account)) append_new_trades(a);
  }
  if (s->report) {
    daily_line(s);
    summary(s);
    kv_file_error err;
    if (!kv_atomic_commit(s->report_file, &err)) report_error("can't write report file");
    s->report = nullptr;
    s->report_file = nullptr;
  }
  notify_chart(s);
  free(s->priv);
  s->priv = nullptr;
}

// ---------------------------------------------------------------------------
// Price paths over history.

static void feed_step(strategy_ctx* s, chart_bar* b, double price, int size, int64_t when,
                      uint32_t step_flag) {
  mqt* r = s->record;
  if (!b) {
    // A stored quote: the record's charts, orders and runs follow it.
    kv_lock guard(g_chart_lock);
    r->last = r->bid = r->ask = (float)price;
    r->last_size = r->bid_size = r->ask_size = size > 0 ? size : 1;
    r->quote_epoch = (int32_t)when;
    r->quote_date = seconds_to_date(when);
    r->quote_time = r->trade_time = (int32_t)(when % 86400);
    r->feed_flags = FEED_DATE | FEED_TRADE_TIME | FEED_LAST | FEED_LAST_SIZE | FEED_BID | FEED_ASK |
                    FEED_BID_SIZE | FEED_ASK_SIZE;
    s->flags |= step_flag;
    save_mqt_data(r, SAVE_MQT_CHARTS | SAVE_MQT_FULL);
    s->flags &= ~(STRATEGY_OPEN_STEP | STRATEGY_CLOSE_STEP);
    return;
  }
  {
    kv_lock guard(g_chart_lock);
    r->last = r->bid = r->ask = (float)price;
    r->last_size = r->bid_size = r->ask_size = size > 0 ? size : 1;
    r->quote_epoch = (int32_t)when;
    r->quote_date = seconds_to_date(when);
    r->quote_time = (int32_t)(when % 86400);
    if (price > b->high) b->high = (float)price;
    if (price < b->low) b->low = (float)price;
    b->close = (float)price;
    recalc_studies(s->chart, 0);
  }
  s->flags |= step_flag;
  update_orders_on_quote(r);
  if (s->run) s->run(s);
  s->flags &= ~(STRATEGY_OPEN_STEP | STRATEGY_CLOSE_STEP);
}

static void walk(strategy_ctx* s, chart_bar* b, double from, double to, double step, int size,
                 int64_t* when) {
  if (step <= 0) return;
  double dir = to >= from ? step : -step;
  int n = (int)std::floor(std::fabs(to - from) / step + 1e-6);
  for (int i = 1; i <= n; i++) feed_step(s, b, from + dir * i, size, (*when)++, 0);
}

// index -1: a one-minute bar of a stored-quote replay, not a chart bar.
static void feed_bar(strategy_ctx* s, const chart_bar& src, int index, double step) {
  chart_rec* c = s->chart;
  chart_bar* b = nullptr;
  if (index >= 0) {
    kv_lock guard(g_chart_lock);
    b = &c->bars[index];
    *b = src;
    b->high = b->low = b->close = src.open;
    c->header.bar_count = index + 1;
    c->spare -= 1;
    // Series read from files are dated values, filled only by a full
    // computation: the new bar gets its value here.
    for (StudyDef* st = c->studies; st; st = st->next)
      if ((st->type & STUDY_NUMBER_MASK) == STUDY_DATA_FILE && st->compute) st->compute(c, st, 1);
  }
  int unit = index >= 0 ? c->header.time_unit : 1;
  int daily = unit >= TU_DAILY;
  int64_t day = src.time - src.time % 86400;
  int64_t start = daily ? day + 34200 : src.time;
  int64_t length = daily ? 23400 : (unit > 0 ? unit * 60 : 60);
  int64_t last_second = start + length - 1;
  int64_t volume = src.volume > 0 ? src.volume : 500000;
  int up = src.close > src.open;
  if (s->flags & STRATEGY_INVERT) up = !up;
  double first = up ? src.low : src.high, second = up ? src.high : src.low;
  if (step <= 0) {
    int q = (int)(volume / 4);
    feed_step(s, b, src.open, q, start, STRATEGY_OPEN_STEP);
    if (s->pending) feed_step(s, b, src.open, q, start, STRATEGY_OPEN_STEP);
    int64_t mid = daily ? day + 45900 : start + length / 2;
    feed_step(s, b, first, q, mid, 0);
    feed_step(s, b, second, q, mid, 0);
    int rest = (int)(volume - 3 * (int64_t)q);
    int64_t end = daily ? day + 57600 : last_second;
    feed_step(s, b, src.close, rest, end, STRATEGY_CLOSE_STEP);
    feed_step(s, b, src.close, rest, end, STRATEGY_CLOSE_STEP);
    return;
  }
  int64_t end = daily ? day + 57600 : last_second;
  if (src.high == src.low) {
    feed_step(s, b, src.close, (int)volume, start, STRATEGY_OPEN_STEP);
    feed_step(s, b, src.close, (int)volume, end, STRATEGY_CLOSE_STEP);
    return;
  }
  int steps = (int)(std::fabs(first - src.open) / step + std::fabs(second - first) / step +
                    std::fabs(src.close - second) / step) +
              3;
  int per = (int)(volume / steps);
  int rem = (int)(volume % steps);
  int64_t t = start;
  feed_step(s, b, src.open, per, t++, STRATEGY_OPEN_STEP);
  walk(s, b, src.open, first, step, per, &t);
  t = daily ? day + 36000 : start + length / 3;
  walk(s, b, first, second, step, per, &t);
  t = daily ? day + 39600 : start + 2 * length / 3;
  walk(s, b, second, src.close, step, per, &t);
  feed_step(s, b, src.close, per, end, STRATEGY_CLOSE_STEP);
  if (rem) feed_step(s, b, src.close, rem, end, STRATEGY_CLOSE_STEP);
}

void strategy_replay_bars(strategy_ctx* s, double step) {
  chart_rec* c = s->chart;
  std::vector<chart_bar> bars;
  int first;
  {
    kv_lock guard(g_chart_lock);
    int n = c->header.bar_count;
    bars.assign(c->bars, c->bars + n);
    first = std::max(0, std::min(s->first_candle, n));
    if (s->flags & STRATEGY_QUICK_TEST) recalc_studies(c, 1);
    c->spare += n - first;
    c->header.bar_count = first;
    if (!(s->flags & STRATEGY_QUICK_TEST)) recalc_studies(c, 1);
  }
  for (int i = first; i < (int)bars.size(); i++) feed_bar(s, bars[i], i, step);
  kv_lock guard(g_chart_lock);
  // Every bar back as it was stored.
  for (size_t i = 0; i < bars.size(); i++) c->bars[i] = bars[i];
}

// ---------------------------------------------------------------------------
// Recorded ticks: the chart is built from them, then they are replayed
// through the quote path, which runs the system.

// The "TEST" contract has no recorded ticks: the random test feed makes
// them from 9:30 of the start date until 16:15 of the stop date, each
// stored through the quote path like a live quote.
static void playback_random(strategy_ctx* s) {
  mqt* r = s->record;
  int start = s->start_date ? s->start_date : today_date(1);
  int stop = s->stop_date ? s->stop_date : start;
  if (market_rec* m = find_market("GLOBEX")) r->market = m;
  open_random_source(r, 1, (int32_t)date_to_seconds(start, 9 * 3600 + 30 * 60),
                     s->tick_size > 0 ? (float)s->tick_size : 0.25f, 850.0f);
  int64_t end = date_to_seconds(stop, 16 * 3600 + 15 * 60);
  // Every tick moves the trade time on, so the walk ends.
  while (r->trade_epoch < end) random_tick(r, next_random_value());
  close_random_source();
}

static void playback_ticks(strategy_ctx* s) {
  mqt* r = s->record;
  chart_rec* c = s->chart;
  if (strcmp(c->header.symbol, "TEST") == 0) {
    playback_random(s);
    return;
  }
  tick_state st;
  memset(&st, 0, sizeof st);
  if (!load_tick_file(c->header.symbol, s->tick_size, &st)) return;
  s->flags &= ~STRATEGY_ACTIVE;  // building the chart is not trading
  while (next_playback_tick(r, &st)) ichart_update(c, r);
  recalc_studies(c, 1);
  s->flags |= STRATEGY_ACTIVE;
  free_tick_data(&st);
  memset(&st, 0, sizeof st);
  if (!load_tick_file(c->header.symbol, s->tick_size, &st)) return;
  while (next_playback_tick(r, &st)) {
    update_orders_on_quote(r);
    if (g_mqt_hooks.update_mqt_charts) g_mqt_hooks.update_mqt_charts(r);
  }
  free_tick_data(&st);
}

// ---------------------------------------------------------------------------
// ".ccmdata" files.

static int parse_ccmdata_bytes(const uint8_t* data, size_t len, std::vector<cc_record>* out);

static void playback2(strategy_ctx* s) {
  char name[64], path[1024];
  snprintf(name, sizeof name, "%s.ccmdata", s->chart->header.symbol);
  std::string bytes;
  kv_file_error err;
  if (!data_folder_path(path, sizeof path, KV_DIR_HDATA, name) ||
      !kv_read_file(path, &bytes, &err)) {
    statmsg(__FILE__, __LINE__, "Can't open cc data file: ", name, STATMSG_ERROR);
    return;
  }
  std::vector<cc_record> recs;
  if (!parse_ccmdata_bytes((const uint8_t*)bytes.data(), bytes.size(), &recs)) {
    report_error("Error reading cc data");
    return;
  }
  kv_lock guard(g_chart_lock);
  for (const cc_record& r : recs) {
    chart_bar b{};
    b.open = r.open;
    b.high = r.high;
    b.low = r.low;
    b.close = r.close;
    b.volume = r.volume;
    b.time = r.time;
    feed_bar(s, b, -1, s->tick_size);
  }
}

static uint32_t le32(const uint8_t* p) {
  return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}
static float lef(const uint8_t* p) {
  uint32_t u = le32(p);
  float f;
  memcpy(&f, &u, 4);
  return f;
}

int parse_ccmdata(const uint8_t* data, size_t len, std::vector<cc_record>* out) {
  return parse_ccmdata_bytes(data, len, out);
}

static int parse_ccmdata_bytes(const uint8_t* data, size_t len, std::vector<cc_record>* out) {
  out->clear();
  if (len < 128) return 0;
  int32_t count = (int32_t)le32(data + 124);
  size_t held = (len - 128) / 24;
  size_t n = count > 0 ? std::min((size_t)count, held) : 0;
  out->reserve(n);
  for (size_t i = 0; i < n; i++) {
    const uint8_t* p = data + 128 + i * 24;
    cc_record r;
    r.time = (int32_t)le32(p);
    r.open = lef(p + 4);
    r.high = lef(p + 8);
    r.low = lef(p + 12);
    r.close = lef(p + 16);
    r.volume = (int32_t)le32(p + 20);
    out->push_back(r);
  }
  return 1;
}
