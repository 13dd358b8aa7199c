// The update-check thread, run once per process: it sets the computer's
// clock from a daytime time server, asks the update server whether a newer
// program or configuration exists (and tells the main window), then
// refreshes the events file.
#pragma once

#include <atomic>
#include <cstdint>

// 1 while no update check runs (initially 1).
extern std::atomic<int> g_updatechk_done;

// Starts updatechk_thread unless one was started before in this process;
// clears g_updatechk_done first.  The web import and the live-quote thread
// call it.
void start_updatechk_thread(void);

// The thread's body: clock, version check, events file; sets
// g_updatechk_done at its end.
void updatechk_thread(void);

// Reads a daytime answer line: one holding "UTC", whose second
// blank-separated field onwards reads "yy-mm-dd hh:mm:ss" (the year taken
// as 2000 + yy).  1 and the time in seconds since 1970 (UTC) when the line
// holds a valid date and time, else 0.
int parse_daytime_line(const char *line, int64_t *utc_seconds);
