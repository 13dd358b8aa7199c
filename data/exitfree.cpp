// Exit clean-up of the data modules.
#include "data/chart.h"
#include "data/chartload.h"
#include "data/importfmt.h"
#include "data/inet.h"
#include "data/mainwnd.h"
#include "data/memtrack.h"
#include "data/symlist.h"
#include "platform/locks.h"

void free_miscellaneous_memory(void) {
  if (g_chart_load_hooks.save_alerts) g_chart_load_hooks.save_alerts();
  g_program_exiting.store(1);
  dump_chart_list("free_miscellaneous_memory", nullptr);
  {
    // Every reference goes: a window or thread that still held one is
    // gone by now, and a changed chart is written as it is released.
    kv_lock guard(g_chart_lock);
    while (g_chart_list) {
      chart_rec* chart = g_chart_list;
      chart->references = 1;
      free_chart_data(chart);
    }
  }
  if (g_chart_load_hooks.free_all_mqts) g_chart_load_hooks.free_all_mqts();
  free_symbol_list();
  free_import_cfg();
  free_tracked_all();
  if (g_inet_session) {
    inet_close_session(g_inet_session);
    g_inet_session = nullptr;
  }
}
