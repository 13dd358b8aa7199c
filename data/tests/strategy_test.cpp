// Position sizing from a trading-system run's money.
#include "data/strategy.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>

namespace {

TEST(PositionSize, MoneyOverTheValueOfOneContract) {
  struct row {
    double net_profit, balance, multiplier, price;
    int size;
  } rows[] = {
      {0, 100000, 50, 1000, 2},       // 100000 / 50000
      {2500, 100000, 50, 1000, 2},    // 2.05 truncated
      {-10000, 100000, 1, 30, 3000},  // a loss so far counts against the balance
      {0, 100000, 1, 0.5, 200000},    {0, 1e15, 1, 0.01, INT_MAX},  // beyond an int: the largest
      {0, 100000, 50, 0, 0},           // no price: no size, never a division by zero
      {0, 100000, 0, 1000, 0},         // no multiplier
      {-200000, 100000, 50, 1000, 0},  // money gone: nothing, never a negative order
      {0, 100000, 50, -5, 0},         {0, 100000, 50, NAN, 0},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.price);
    strategy_ctx system{};
    system.net_profit = r.net_profit;
    system.beginning_balance = r.balance;
    system.multiplier = (int)r.multiplier;
    EXPECT_EQ(position_size_at_price(&system, r.price), r.size);
  }
}

}  // namespace
