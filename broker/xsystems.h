// The trading-system driver: runs one system (data/strategy.h) on one chart.
// It keeps the run's state record, steps the system price by price, turns
// its signals into orders for up to four lots, books every fill as a paper
// trade with slippage, writes the run's report and summary, and keeps the
// run's signals and equity in three plot studies of the chart.
//
// Runs over history (Backtest, Playback1, Playback2) execute on the caller's
// thread; Simulate and LIVE runs are an update callback of the chart's
// live-quote record, called on the thread that stores the quote.  Orders,
// the record's run list and the plots change under g_chart_lock.
//
// The ".ccmdata" file of Playback2 is little-endian: 124 bytes not read, the
// record count (int32) at 124, then from 128 records of 24 bytes: time
// (epoch seconds), open, high, low, close (float32), volume (int32).  The
// count is trusted only as far as the file holds whole records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "data/strategy.h"

struct chart_rec;
struct order_rec;

// Signal word of a bar.
enum : uint32_t {
  SIG_POSITION_MASK = 0x1FFF,
  SIG_OFFSET_SHIFT = 13,  // 9 bits: price minus the bar's open, in ticks
  SIG_OFFSET_MASK = 0x3FE000,
  SIG_SHORT_ENTRY = 0x400000,
  SIG_LONG_CLOSED = 0x800000,
  SIG_LONG_TRAIL = 0x2000000,
  SIG_LONG_BREAKEVEN = 0x3000000,
  SIG_LONG_STOPPED = 0x4000000,
  SIG_LONG_REVERSED = 0x4400000,
  SIG_LONG_ENTRY = 0x8000000,
  SIG_SHORT_CLOSED = 0x10000000,
  SIG_SHORT_TRAIL = 0x40000000,
  SIG_SHORT_BREAKEVEN = 0x60000000,
  SIG_SHORT_STOPPED = 0x80000000,
  SIG_SHORT_REVERSED = 0x88000000,
};

// The driver's own marks on a run's orders.
enum : uint32_t { STRATEGY_ORDER_FILLED = 0x40, STRATEGY_ORDER_DONE = 0x80 };

// Prices on the tick grid: with k = 1 / tick, floor(price x k) / k and
// ceil(price x k) / k, where price x k within 1e-6 of a whole number counts
// as that number (1.1 on a 0.1 grid stays 1.1).
double round_down_to_tick(double price, double tick);
double round_up_to_tick(double price, double tick);

// Money as text: the whole part with one sign, "." and two unsigned cents.
char* strategy_money(char* buf, size_t size, double value);

void* strategy_attach(chart_rec* chart, strategy_ctx* system, size_t priv_size,
                      const char* default_name);
int strategy_add_plots(strategy_ctx* system);
void strategy_start(strategy_ctx* system, int first_candle);
int strategy_bar_step(strategy_ctx* system, int* bar, int* new_bar);
// lot -1: all four.
void strategy_check_orders(strategy_ctx* system, int lot);
void strategy_open_long(strategy_ctx* system, int lot, int quantity, double entry, double stop,
                        double offset);
void strategy_open_short(strategy_ctx* system, int lot, int quantity, double entry, double stop,
                         double offset);
void strategy_close_lot(strategy_ctx* system, int lot, double price, int quantity);
void strategy_exit_lot(strategy_ctx* system, int lot, double price);
void strategy_reverse(strategy_ctx* system, int lot, double distance);
void strategy_set_stop(strategy_ctx* system, int lot, char kind, double price);
void strategy_cancel_entry(strategy_ctx* system, int lot);
void detach_trading_system(strategy_ctx* system);

// Replays the chart's bars from the first candle as price paths (price
// step 0: open, extremes, close; above 0: a walk in steps of that size).
void strategy_replay_bars(strategy_ctx* system, double price_step);

struct cc_record {
  int32_t time;
  float open, high, low, close;
  int32_t volume;
};
// Decodes a whole ".ccmdata" image; 0 when it is too short for its head.
int parse_ccmdata(const uint8_t* data, size_t len, std::vector<cc_record>* out);

// Contracts of the IMS system's next entry, from the margin per contract.
int strategy_ims_size(strategy_ctx* system);

// Lot count and size as a run uses them: Max Lots above 3 or below -3 gives
// 4, 0 gives 1; a lot size below 2 gives 1.
int strategy_max_lots(int max_lots);
