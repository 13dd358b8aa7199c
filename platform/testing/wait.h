// Waiting in tests: on a condition with a deadline, never on a bare sleep.
//
//   ASSERT_TRUE(kv_wait_until([&] { return relay.taken().size() == 2; }));
//   ASSERT_TRUE(kv_pump_until([&] { return !g_tws_connected.load(); }));
//
// Both look at the condition about every millisecond and give up after the
// deadline (10 s unless told), answering whether it came true.  A test
// that checks that nothing happened does not wait: it drains what is
// pending (kv_dispatch_posted, a message the worker answers in order) and
// checks at once.
#pragma once

#include <functional>

#include "platform/clock.h"
#include "platform/thread.h"
#include "platform/window.h"

constexpr int KV_TEST_WAIT_MS = 10000;

inline bool kv_wait_until(const std::function<bool()> &pred, int timeout_ms = KV_TEST_WAIT_MS) {
  int64_t end = kv_monotonic_ms() + timeout_ms;
  for (;;) {
    if (pred()) return true;
    if (kv_monotonic_ms() > end) return pred();
    kv_sleep_ms(1);
  }
}

// The same, delivering the messages posted to windows in between.
inline bool kv_pump_until(const std::function<bool()> &pred, int timeout_ms = KV_TEST_WAIT_MS) {
  return kv_wait_until(
      [&] {
        kv_dispatch_posted(-1);
        return pred();
      },
      timeout_ms);
}
