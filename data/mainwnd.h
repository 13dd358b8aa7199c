// The main frame's window id, to which worker threads post their
// notifications (status lines, quote cycles, thread ends). Set by the main
// frame when it is created and cleared when its final close begins; 0
// while there is no main window, and then nothing is posted to it.
#pragma once

#include <atomic>

#include "platform/window.h"

extern std::atomic<kv_hwnd> hmainwnd;

// Set by the main frame's first close: worker threads stop their loops.
extern std::atomic<int> g_program_exiting;
