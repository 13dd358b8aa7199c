// A temporary data root and an empty live-quote list for each test; every
// record left over is freed at the end so that leak checks see the test's
// own mistakes only.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "data/chart.h"
#include "data/alias.h"
#include "data/chartload.h"
#include "data/mainwnd.h"
#include "data/spread.h"
#include "data/statmsg.h"
#include "platform/testing/fixture.h"
#include "platform/window.h"
#include "quotes/mqt.h"
#include "quotes/mqt_flags.h"
#include "quotes/mqt_hooks.h"
#include "quotes/router.h"
#include "settings/settings.h"

class QuotesTest : public TempRootTest {
 protected:
  void SetUp() override {
    TempRootTest::SetUp();
    snprintf(g_settings.DataRoot, sizeof g_settings.DataRoot, "%s", root_.path().c_str());
    g_mqt_hooks = {};
    // A chart let go releases its record and drops its streams through the
    // list, as at start-up; the loader's other calls into the list stay off.
    saved_load_hooks_ = g_chart_load_hooks;
    g_chart_load_hooks.delete_multiquote = delete_multiquote;
    g_chart_load_hooks.router_post_stream = router_post_stream;
    free_spread_cache();
    free_alias_table();
    g_newest_quote_time = g_newest_quote_date = 0;
    g_open_close_day[0] = g_open_close_day[1] = 0;
    g_max_high_pct = g_min_low_pct = 0;
  }
  void TearDown() override {
    free_all_mqts();
    free_spread_cache();
    free_alias_table();
    for (int i = 0; i < 32; i++) free_view_bit(1u << i);
    g_mqt_hooks = {};
    g_chart_load_hooks = saved_load_hooks_;
    g_cont_update = 0;
    TempRootTest::TearDown();
  }

  chart_load_hooks saved_load_hooks_;
};

// Stands in for a window and keeps the messages posted to it.
struct MessageSink {
  struct msg {
    unsigned message;
    kv_wparam wparam;
    kv_lparam lparam;
  };
  std::vector<msg> got;
  kv_hwnd wnd;
  MessageSink() {
    kv_dispatch_posted(-1);
    wnd = kv_window_create(&MessageSink::handler, this);
  }
  // Status texts it received are its own to free.
  ~MessageSink() {
    kv_dispatch_posted(-1);
    kv_window_destroy(wnd);
    for (const msg &m : got)
      if (m.message == WM_STATUS_MSG) statmsg_free_text((void *)m.lparam);
  }
  int count(unsigned message) {
    kv_dispatch_posted(-1);
    int n = 0;
    for (const msg &m : got) n += m.message == message;
    return n;
  }
  static kv_lresult handler(void *ctx, kv_hwnd, unsigned message, kv_wparam w, kv_lparam l) {
    ((MessageSink *)ctx)->got.push_back({message, w, l});
    return 0;
  }
};

inline int list_length() {
  int n = 0;
  for (mqt *r = g_mqt_list; r; r = r->next) n++;
  return n;
}
