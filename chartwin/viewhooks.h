// The trading dialogs a chart view opens: Order Setup, Attach Order to
// Study and Strategies. They live with the order windows, which build on
// the chart window, so the view reaches them through this table. Their
// module sets the entries at start-up; an entry left null means that
// dialog is not there and its command stays disabled.
//
// Each entry runs its dialog modally; none is called with g_chart_lock held.
#pragma once

#include <cstdint>

class QWidget;
struct OrderDef;
struct chart_rec;
struct strategy_ctx;

struct chart_view_hooks {
  // Order Setup on a symbol's order definition (tick: the symbol's tick
  // size, for the decimals of the prices shown). 1 on OK: the definition
  // holds the edited values (marked modified); 0 leaves it as it was.
  int (*order_setup)(OrderDef* def, double tick, QWidget* parent);
  // Attach Order to Study for the order with that serial on the chart; the
  // order is looked up under g_chart_lock (one that went meanwhile: none).
  void (*attach_study)(chart_rec* chart, uint32_t order_serial, QWidget* parent);
  // Strategies on the chart and the view's run record: the record is
  // copied back after Run or Close, and Run starts the chosen system.
  void (*select_strategy)(chart_rec* chart, strategy_ctx* run, QWidget* parent);
};
extern chart_view_hooks g_chart_view_hooks;
