// The trace printer and the option and trace words it depends on.
#include "data/debugtrace.h"

#include <cstdarg>
#include <cstdio>

uint32_t g_option_flags;
uint32_t g_trace_mask;

// The level bits and the instance bit are set on every run or name no
// trace; every other option bit switches on some component's trace.
static bool tracing_on() {
  return (g_option_flags & ~(uint32_t)(OPT_LEVEL_MASK | OPT_INSTANCE)) != 0 || g_trace_mask != 0;
}

int debug_trace(const char* format, ...) {
  // One buffer per thread, so that traces of threads running at the same
  // moment do not overwrite each other's text.
  static thread_local char buf[DEBUG_TRACE_MAX];
  va_list ap;
  va_start(ap, format);
  int n = vsnprintf(buf, sizeof buf, format, ap);
  va_end(ap);
  if (n < 0) {
    buf[0] = 0;
    n = 0;
  } else if (n >= DEBUG_TRACE_MAX) {
    n = DEBUG_TRACE_MAX - 1;
  }
  if (tracing_on() && n > 0) fwrite(buf, 1, (size_t)n, stderr);
  return n;
}
