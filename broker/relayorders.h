// The order records of the relay's stream: open orders (code 15), order
// status (code 22) and executions (code 18) update the order list and the
// account files.  Installed into the input thread's hooks at start-up.
#pragma once

// Also gives the exit its account closing and the quote cycle the broker
// link's closed flag.
void install_relay_order_hooks();
