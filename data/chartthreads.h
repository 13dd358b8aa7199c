// The two chart-loading threads.  Chart windows never wait for a chart:
// they queue a request, a loading thread runs get_chart_data and posts the
// loaded chart to the window as WM_GET_CHART_COMPLETE (wParam the chart with
// one reference for the window, or 0 when the load failed).
//
// chart_update_thread serves every request in turn from a ring of 200;
// chart_refresh_thread serves foreground intraday requests from a ring of 20
// first, so that an intraday chart is shown at once from what is stored
// while the update thread fetches the missing history in the background.
#pragma once

#include <atomic>
#include <cstdint>

#include "data/chart.h"
#include "platform/window.h"

enum {
  CHART_UPDATE_RING_SLOTS = 200,
  CHART_REFRESH_RING_SLOTS = 20,
};

// Requests waiting in each ring, raised by queue_chart_request and lowered
// by the threads.  Background loads wait while refresh requests are pending.
extern std::atomic<int> g_update_pending;
extern std::atomic<int> g_refresh_pending;

// (window to answer or 0, symbol, time unit, first date, last date,
// CHART_REQ_* flags, source or null, parse file or null, density)
// -> 1 queued, 0 refused (ring full).  The texts are copied into the ring
// slot.  Starts the threads on the first call.  User-interface thread only.
int queue_chart_request(kv_hwnd window, const char* symbol, int time_unit, int first_date,
                        int last_date, uint32_t flags, const char* source, const char* parse_file,
                        int density);

// Ends both threads and waits for them (program exit, tests).  Requests
// still queued are dropped; a later queue_chart_request starts them again.
void stop_chart_threads(void);
