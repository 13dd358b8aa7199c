// The web import running a parse file over the page it fetches, both
// untrusted.  Input: the parse file (header keys, "[MAIN]", directives),
// a NUL, then the page, which a server on 127.0.0.1 sends for every address
// asked; "PORT" in the parse file stands for that server's port.  Every bar
// that comes out must have a valid date, finite prices and sorted times.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "data/chart.h"
#include "data/dates.h"
#include "data/events.h"
#include "data/inet.h"
#include "data/quotecfg.h"
#include "data/srcdata.h"
#include "data/updatechk.h"
#include "data/webimport.h"
#include "fuzz/fuzz_root.h"
#include "fuzz/page_server.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/thread.h"
#include "settings/settings.h"

static int g_port;

static void setup() {
  std::string root = fuzz_temp_root("webpage");
  snprintf(g_settings.DataRoot, sizeof g_settings.DataRoot, "%s", root.c_str());
  kv_make_dirs((root + "/CONFIG").c_str(), nullptr);
  kv_make_dirs((root + "/DATA").c_str(), nullptr);
  kv_write_file_atomic((root + "/CONFIG/srcdata.cfg").c_str(),
                       "HISTORIC_DAILY 1\n  web daily.cfg\n",
                       strlen("HISTORIC_DAILY 1\n  web daily.cfg\n"), nullptr);
  g_port = fuzz_start_page_server();
  g_inet_session = inet_open_session();
  // The first web import of a process starts the update check: it runs
  // here once, against the page server, and is waited for.
  snprintf(g_calendar_server, sizeof g_calendar_server, "http://127.0.0.1:%d", g_port);
  start_updatechk_thread();
  while (!g_updatechk_done.load()) kv_sleep_ms(10);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!g_port) setup();
  std::string in((const char*)data, size);
  size_t nul = in.find('\0');
  if (nul == std::string::npos) return 0;
  std::string parse = in.substr(0, nul);
  for (size_t at; (at = parse.find("PORT")) != std::string::npos;)
    parse.replace(at, 4, std::to_string(g_port));
  { fuzz_set_page(in.substr(nul + 1)); }
  std::string path = std::string(g_settings.DataRoot) + "/CONFIG/daily.cfg";
  if (!kv_write_file_atomic(path.c_str(), parse.data(), parse.size(), nullptr)) return 0;
  free_quote_source_cfgs();
  uint32_t options = parse.size() & 3;  // description wanted, long span
  chart_rec* chart = parse_web_data(TU_DAILY, "FZ", 20070301, 20070331, options, nullptr, nullptr);
  if (chart) {
    const chart_bar* b = chart->bars;
    int n = chart->header.bar_count;
    if (n <= 0 || chart->spare < 0) __builtin_trap();
    for (int i = 0; i < n; i++) {
      if (!std::isfinite(b[i].open) || !std::isfinite(b[i].high) || !std::isfinite(b[i].low) ||
          !std::isfinite(b[i].close))
        __builtin_trap();
      if (!valid_date(seconds_to_date(b[i].time), 0)) __builtin_trap();
      if (i > 0 && b[i - 1].time > b[i].time) __builtin_trap();
    }
    free_chart_data(chart);
  }
  return 0;
}
