// The order records of the relay's stream: open orders (code 15), order
// status (code 22) and executions (code 18) update the order list and the
// account files.  Installed into the input thread's hooks at start-up.
#pragma once

#include <atomic>
#include <cstdint>

// Monotonic time (ms) until which order-status records update orders
// without WM_ORDER_STATUS (an order refresh in progress).
extern std::atomic<int64_t> g_status_posts_quiet_until;

// Also gives the exit its account closing and the quote cycle the broker
// link's closed flag.
void install_relay_order_hooks();
