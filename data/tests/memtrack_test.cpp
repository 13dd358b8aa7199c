// Tracked allocations of the data modules.
#include "data/memtrack.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/chart.h"
#include "data/chart_flags.h"
#include "data/chartload.h"
#include "data/inet.h"
#include "data/mainwnd.h"
#include "platform/files.h"
#include "platform/testing/fixture.h"
#include "settings/settings.h"

namespace {

TEST(MemTrack, TableHoldsAHundredBlocksAndClosesGaps) {
  free_tracked_all();
  std::vector<char*> blocks;
  for (int i = 0; i < TRACKED_MAX; i++) {
    char* b = (char*)alloc_tracked(16);
    ASSERT_NE(b, nullptr);
    for (int k = 0; k < 16; k++) EXPECT_EQ(b[k], 0);
    blocks.push_back(b);
  }
  EXPECT_EQ(tracked_count(), TRACKED_MAX);
  // a full table records nothing more
  EXPECT_EQ(alloc_tracked(16), nullptr);
  int extra = 0;
  EXPECT_EQ(track_allocation(&extra), 0);
  EXPECT_EQ(tracked_count(), TRACKED_MAX);

  // freeing from the middle leaves the others tracked, and room for one more
  free_tracked(blocks[50]);
  free_tracked(blocks[0]);
  EXPECT_EQ(tracked_count(), TRACKED_MAX - 2);
  void* own = malloc(8);
  EXPECT_EQ(track_allocation(own), 1);
  EXPECT_EQ(tracked_count(), TRACKED_MAX - 1);
  free_tracked(blocks[99]);
  EXPECT_EQ(tracked_count(), TRACKED_MAX - 2);

  // the exit clean-up frees exactly what is left (the sanitizer sees any double free or leak)
  free_tracked_all();
  EXPECT_EQ(tracked_count(), 0);
}

// At exit: the alerts are saved first, every listed chart goes whatever
// references it still has (a changed one is written), then the live-quote
// records, the tracked blocks and the web session.
class ExitCleanUp : public TempRootTest {
 protected:
  static std::vector<std::string> calls;
  static int save_alerts() {
    calls.push_back(g_chart_list ? "alerts with charts" : "alerts without charts");
    return 1;
  }
  static void free_all_mqts() { calls.push_back(g_chart_list ? "mqts with charts" : "mqts"); }
};
std::vector<std::string> ExitCleanUp::calls;

TEST_F(ExitCleanUp, FreesEveryChartAndWritesTheChangedOnes) {
  AppSettings saved_settings = g_settings;
  chart_load_hooks saved_hooks = g_chart_load_hooks;
  snprintf(g_settings.DataRoot, sizeof g_settings.DataRoot, "%s", root_.path().c_str());
  kv_make_dirs(root_.file("DATA").c_str(), nullptr);
  g_chart_load_hooks.save_alerts = save_alerts;
  g_chart_load_hooks.free_all_mqts = free_all_mqts;

  chart_rec* held = new_chart("HELD", TU_DAILY);
  ASSERT_TRUE(held->spare > 0 || grow_chart_bars(held, 1));
  held->bars[0].close = 5;
  held->bars[0].time = 1709510400;
  held->header.bar_count = 1;
  held->spare--;
  held->header.flags |= CHART_BARS_CHANGED;
  list_chart(held);
  held->references = 3;  // windows that never let go
  list_chart(new_chart("PLAIN", TU_DAILY));
  ASSERT_NE(alloc_tracked(8), nullptr);
  g_inet_session = inet_open_session();

  free_miscellaneous_memory();
  EXPECT_EQ(g_chart_list, nullptr);
  EXPECT_EQ(calls, (std::vector<std::string>{"alerts with charts", "mqts"}));
  EXPECT_TRUE(kv_file_exists(root_.file("DATA/HELD.dyd").c_str()));
  EXPECT_FALSE(kv_file_exists(root_.file("DATA/PLAIN.dyd").c_str()));
  EXPECT_EQ(tracked_count(), 0);
  EXPECT_EQ(g_inet_session, nullptr);
  EXPECT_EQ(g_program_exiting.load(), 1);

  g_program_exiting.store(0);
  g_chart_load_hooks = saved_hooks;
  g_settings = saved_settings;
}

}  // namespace
