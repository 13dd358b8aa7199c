// Status and error logger: every module, on any thread, reports errors and
// status lines through statmsg. Each line is formatted into the status ring
// and posted to the main window as WM_STATUS_MSG (wParam = level, lParam =
// a heap copy of the text that the receiver frees with statmsg_free_text).
#pragma once

#include <cstddef>

#include "platform/sync.h"

// Level bits (wParam of WM_STATUS_MSG), interpreted by the main frame.
enum {
  STATMSG_SHOW_WINDOW = 1,  // with STATMSG_ADD: also show the Status Messages window
  STATMSG_ADD = 2,          // add to the status messages
  STATMSG_SHOW_BAR = 4,     // make the status bar visible first
  STATMSG_STATUS_BAR = 8,   // show in status-bar pane 0
};

// Levels used by the data modules.
enum {
  STATMSG_ERROR = 3,     // errors of the data modules
  STATMSG_DATA_FOR = 8,  // "data for" report after a fetch
  STATMSG_NOTICE = 10,   // progress and notices
  STATMSG_MISSING = 12,  // missing data the user should see at once
  STATMSG_ALERT = 14,    // errors with the status bar shown
};

// Size of the status ring: texts are written while the cursor is below
// STATMSG_RING_WRAP; one more line of at most STATMSG_LINE_MAX bytes
// (terminator included) always fits behind it.
constexpr int STATMSG_RING_WRAP = 32768;
constexpr int STATMSG_LINE_MAX = 4096;
constexpr int STATMSG_MESSAGE_MAX = 3839;  // longer messages are cut here
constexpr int STATMSG_PIECE_MIN = 90;      // posted pieces are cut after this many characters

// Reports one line. source: the caller's source path (__FILE__) or null;
// line: its line number; message: the text; argument: extra text or null;
// level: the flag word above.
void statmsg(const char* source, int line, const char* message, const char* argument, int level);

// The status ring, its write cursor and the mutex that guards both. Code
// that formats a text into the ring itself (at g_statmsg_ring +
// g_statmsg_cursor, at most STATMSG_LINE_MAX bytes) holds the mutex until
// it has committed the text.
extern char g_statmsg_ring[];
extern size_t g_statmsg_cursor;
extern kv_mutex g_statmsg_mutex;

// The text at the ring cursor; moves the cursor past its terminating zero,
// back to the ring's start once it has passed STATMSG_RING_WRAP bytes.
char* statmsg_ring_commit();

// Frees the text carried in a WM_STATUS_MSG lParam.
void statmsg_free_text(void* text);
