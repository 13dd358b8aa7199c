// KV_ASSERT(condition): an invariant checked in debug and sanitizer builds
// (the build defines KV_ASSERTS for them, so every test run checks it).  A
// failing condition prints itself with its file and line and aborts.  In
// other builds the condition is compiled but never evaluated.
//
// KV_ASSERT_CHART_LOCK_HELD() states that the calling thread holds
// g_chart_lock, for functions whose callers must hold it.
#pragma once

#include <stdio.h>
#include <stdlib.h>

#include "platform/locks.h"

#if KV_ASSERTS
[[noreturn]] inline void kv_assert_failed(const char *condition, const char *file, int line) {
  fprintf(stderr, "%s:%d: assertion failed: %s\n", file, line, condition);
  fflush(stderr);
  abort();
}
#define KV_ASSERT(condition) \
  ((condition) ? (void)0 : kv_assert_failed(#condition, __FILE__, __LINE__))
#else
#define KV_ASSERT(condition) ((void)sizeof(!(condition)))
#endif

#define KV_ASSERT_CHART_LOCK_HELD() KV_ASSERT(g_chart_lock.held_by_current_thread())
