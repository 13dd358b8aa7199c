// The log files named on the command line: the error log (switch E), the
// log file (switch L) and the trace file (switch I) that the web session
// writes its trace lines to.
#pragma once

#include <cstdint>
#include <cstdio>

struct log_file {
  uint16_t on;  // the switch was given (also when the file could not be opened)
  char* name;   // heap copy of the file name, freed by free_log_names
  FILE* file;   // open file, null when closed
};

extern log_file g_error_log_file;
extern log_file g_log_file;
extern log_file g_trace_file;

// Turns the log on with a copy of name, opens the file with mode ("a" or
// "w"), writes header_format with the time of asctime_now and flushes.
// Returns 1 when the file is open, 0 when it could not be opened (the log
// then stays on but closed).
int open_log_file(log_file* log, const char* name, const char* mode, const char* header_format);

// The local time in the form "Mon Dec 07 22:40:27 2026" (day of month
// always two digits), as a new heap text the caller frees.
char* asctime_now();

// Frees the three file-name texts.
void free_log_names();
