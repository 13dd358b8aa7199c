// Log files named on the command line.
#include "data/logfiles.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "platform/clock.h"

log_file g_error_log_file;
log_file g_log_file;
log_file g_trace_file;

char* asctime_now() {
  static const char* const days[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const months[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  kv_datetime t;
  kv_split_seconds(kv_now_local_seconds(), &t);
  char buf[64];
  snprintf(buf, sizeof buf, "%s %s %02d %02d:%02d:%02d %d", days[t.weekday], months[t.month - 1],
           t.day, t.hour, t.minute, t.second, t.year);
  return strdup(buf);
}

int open_log_file(log_file* log, const char* name, const char* mode, const char* header_format) {
  log->on = 1;
  log->name = strdup(name);
  log->file = fopen(name, mode);
  if (!log->file) return 0;
  char* now = asctime_now();
  fprintf(log->file, header_format, now ? now : "");
  fflush(log->file);
  free(now);
  return 1;
}

void free_log_names() {
  for (log_file* log : {&g_error_log_file, &g_log_file, &g_trace_file}) {
    free(log->name);
    log->name = nullptr;
  }
}
