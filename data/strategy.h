// The state record of one trading-system run and the table of built-in
// systems.  The driver (broker/xsystems.h) owns every field of the working
// area; the systems (broker/tsystems.cpp) read it and act only through the
// driver.  The record lives in the chart view that owns the run; the
// Strategies dialog copies it whole, so it holds no owning C++ members.
#pragma once

#include <cstdint>
#include <cstdio>

struct chart_rec;
struct mqt;
struct mqt_listener;
struct order_rec;
struct strategy_ctx;
struct kv_atomic_file;

typedef int (*strategy_start_fn)(chart_rec* chart, strategy_ctx* system);
typedef int (*strategy_init_fn)(strategy_ctx* system);
typedef int (*strategy_run_fn)(strategy_ctx* system);
typedef void (*strategy_term_fn)(strategy_ctx* system);

// One entry of g_trading_systems; a zero entry ends the table.
struct trading_system {
  const char* name;
  strategy_start_fn start;
  strategy_init_fn init;
  strategy_run_fn run;
  strategy_term_fn term;
  const char* labels[12];  // Option1..Option4, then Arg1..Arg8
};

enum { STRATEGY_LOTS = 4, STRATEGY_ACCOUNT_SIZE = 16 };

// Modes of a run.
enum {
  STRATEGY_BACKTEST = 0,
  STRATEGY_PLAYBACK1 = 1,
  STRATEGY_PLAYBACK2 = 2,
  STRATEGY_PLAYBACK_TICKS = 3,
  STRATEGY_SIMULATE = 4,
  STRATEGY_LIVE = 5,
};

// Flags word.
enum : uint32_t {
  STRATEGY_PAY_TAX = 0x1,
  STRATEGY_TAX_QUARTERLY = 0x2,
  STRATEGY_TRADE_LONG = 0x4,
  STRATEGY_TRADE_SHORT = 0x8,
  STRATEGY_ACTIVE = 0x80,
  STRATEGY_STARTED = 0x100,
  STRATEGY_QUICK_TEST = 0x200,
  STRATEGY_DUMP_ORDERS = 0x400,
  STRATEGY_DAILY_TOTALS = 0x800,
  STRATEGY_OPEN_STEP = 0x1000,
  STRATEGY_CLOSE_STEP = 0x2000,
  STRATEGY_INVERT = 0x4000,
  STRATEGY_OPTION1 = 0x8000,  // options 1..4: bits 15..18
};

// One of the four lots of a run.
struct strategy_lot {
  double last_fill_price;
  double entry_slippage;  // fill minus requested price (buy), requested minus fill (sell)
  double exit_slippage;
  double trade_profit;
  double total_profit;
  double stop_price;
  double reverse_distance;
  order_rec* entry;
  order_rec* close;
  order_rec* stop;
  int position;  // signed contracts
  int pending;
};

struct strategy_ctx {
  strategy_ctx* next;  // next run on the same live-quote record
  chart_rec* chart;
  mqt* record;
  strategy_start_fn start;
  strategy_init_fn init;
  strategy_run_fn run;
  strategy_term_fn term;
  void* priv;  // the system's private block, zero-filled at attach
  double tick_size;
  double beginning_balance;
  double tax_rate;  // kept for the dialog; no step of a run reads it
  double slippage;  // points per contract
  double args[8];
  int run_index;
  int multiplier;
  int start_date;  // yyyymmdd, 0 none
  int stop_date;
  int first_candle;
  int max_lots;
  int lot_size;
  int mode;
  int last_bar;
  int bar;
  uint32_t flags;
  char typed_account[STRATEGY_ACCOUNT_SIZE + 1];
  const char* system_name;

  // Working area: cleared by strategy_attach, from `account` to the end.
  char account[STRATEGY_ACCOUNT_SIZE + 1];
  int position_before;
  int position;
  int pending;
  int bars_since_first_trade;
  int bars_in_market;
  double net_profit;
  double short_profit, long_profit;
  double condition_profit, initial_stop_profit, trailing_profit, breakeven_profit;
  double today_profit, trade_profit;
  double peak, drawdown, drawdown_pct, max_drawdown_pct, max_drawdown;
  int last_daily_date;
  int total_contracts;
  int win_streak, loss_streak, longest_wins, longest_losses;
  uint32_t signal;
  uint16_t close_ticks, stop_ticks;  // plotted close-order and stop prices in ticks
  float* plot_signal;
  float* plot_prices;
  float* plot_equity;
  char kind_override;
  int condition_hits, total_trades, short_trades, long_trades;
  int initial_stop_hits, breakeven_hits, trailing_hits, winning_trades, losing_trades;
  kv_atomic_file* report_file;
  FILE* report;
  unsigned char last_orders[2][472];  // open-orders images of the last two fills
  mqt_listener* listener;             // the run's update callback on the record
  int open_sequence;                  // entries placed, for unique OCA texts
  strategy_lot lots[STRATEGY_LOTS];
};

// The seven built-in systems, then a zero entry (broker/tsystems.cpp).
extern const trading_system g_trading_systems[];
// The words of the six modes ("Backtest" .. "LIVE"), by mode index.
extern const char* const g_strategy_mode_names[6];

// Contracts that the run's money buys at `price`: (net profit + beginning
// balance) / (multiplier x price), truncated to an integer.  0 when the
// price or multiplier leave no positive finite size.
int position_size_at_price(const strategy_ctx* system, double price);
