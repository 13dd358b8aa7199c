// The quote threads: mqt_thread runs the quote cycle (collection switched
// by market hours, the quote source polled, missing streams asked for,
// heartbeats and order refreshes for a trading relay, alerts saved, the
// main window told when a cycle is done); router_request_thread sends the
// requests (quotes/router.h).  program_exit ends them, and every other
// worker, in order, and then posts WM_THREAD_IS_DEAD to the main window.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/thread.h"
#include "settings/settings.h"

enum {
  MARKET_DAY_AUTO = 0x1,  // g_market_days bit 0: switch collection by market hours
  MARKET_HOURS_MINUTES = 1440,
  MARKET_HOURS_DAYS = 7,
  QUOTE_START_WAIT_MS = 5000,
  HEARTBEAT_MS = 5000,
};

// Quote collection on or off ("ContUpdate"): a word the user-interface
// thread, the quote threads and the relay's threads all read and write.
inline int cont_update() {
  return __atomic_load_n(&g_cont_update, __ATOMIC_RELAXED);
}
inline void set_cont_update(int on) {
  __atomic_store_n(&g_cont_update, on, __ATOMIC_RELAXED);
}

// Weekday x minute of day, 1 = collect.
extern uint8_t g_market_hours_map[MARKET_HOURS_DAYS * MARKET_HOURS_MINUTES];
extern int g_last_hours_index;
extern std::atomic<int> g_manual_override;

// The enable bit of weekday 0 (Sunday) .. 6 (Saturday); 0 for other days.
int market_day_enabled(int day);
// Session times T1, T2, T3 (seconds of day) of a weekday from the settings.
void session_times(int day, int32_t out[3]);
void build_market_hours_map();
void market_hours_check();
void stop_quote_collection();
void request_streams(int mode);
void rerequest_market_data();

int mqt_thread(void* arg);
// Starts both quote threads (no effect when mqt_thread runs).
void start_quote_threads();
// Asks the quote threads to end and starts the exit thread.
void program_exit();
int program_exit_thread(void* arg);
// Waits for the exit thread (timeout_ms < 0 for ever); 1 ended.
int wait_program_exit(int timeout_ms);
// The id of mqt_thread while it runs, else 0.
kv_thread_id mqt_thread_id();

// What the exit needs of higher modules: null entries are skipped.
struct quote_thread_hooks {
  void (*close_paper_accounts)();
  // The update-check thread: started once collection is on; 1 while it runs.
  void (*start_update_check)();
  int (*update_check_running)();
  // 1 when the broker connection just closed; clears that flag.
  int (*take_broker_closed)();
  // Asks the relay or broker for the open orders and executions again.
  int (*refresh_orders)();
};
extern quote_thread_hooks g_quote_thread_hooks;

// Sets the input thread's hooks, the update check and the order refresh
// (the shell sets its own entries to start_quote_threads and program_exit).
void install_quote_thread_hooks();
