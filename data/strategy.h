// The state record of one trading-system run, as far as the data modules
// read it: the money that sizes a new position.  The run's own state (its
// position, lots, orders and totals) joins these fields once trading
// systems run on charts.
#pragma once

struct strategy_ctx {
  double net_profit;         // closed trades' profit so far
  double beginning_balance;  // the account's money at the start of the run
  double multiplier;         // money per point of the traded instrument
};

// Contracts that the run's money buys at `price`: (net profit + beginning
// balance) / (multiplier x price), truncated to an integer.  0 when the
// price or multiplier leave no positive finite size.
int position_size_at_price(const strategy_ctx* system, double price);
