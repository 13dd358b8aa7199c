// Position sizing of trading-system runs.
#include "data/strategy.h"

#include <climits>
#include <cmath>

int position_size_at_price(const strategy_ctx* system, double price) {
  double per_contract = system->multiplier * price;
  double size = (system->net_profit + system->beginning_balance) / per_contract;
  // A price or multiplier of 0 divides by zero, and a money total that
  // went below zero sizes nothing; neither may become an order.
  if (!(per_contract > 0) || !std::isfinite(size) || size <= 0) return 0;
  return size >= (double)INT_MAX ? INT_MAX : (int)size;
}
