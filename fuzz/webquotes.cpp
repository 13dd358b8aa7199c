// The web-page quote source: a parse script (directives and field codes)
// running over the page it asks for, both untrusted, storing quotes into
// three live-quote records whose charts and one-minute rings follow them.
// Input: the script, a NUL, then the page, which a server on 127.0.0.1
// sends for every address asked; "PORT" in the script stands for that
// server's port. After each cycle every record must be held by its one
// user again, its ring within bounds and its prices finite.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "data/inet.h"
#include "data/quotecfg.h"
#include "data/srcdata.h"
#include "fuzz/fuzz_root.h"
#include "fuzz/page_server.h"
#include "platform/files.h"
#include "platform/locks.h"
#include "platform/sync.h"
#include "quotes/livechart.h"
#include "quotes/mqt.h"
#include "quotes/mqt_flags.h"
#include "quotes/webquotes.h"
#include "settings/settings.h"

static int g_port;
static const char* const kSymbols[] = {"A", "B", "C"};

static void setup() {
  std::string root = fuzz_temp_root("webquotes");
  snprintf(g_settings.DataRoot, sizeof g_settings.DataRoot, "%s", root.c_str());
  snprintf(g_data_root, sizeof g_data_root, "%s", root.c_str());
  g_settings.MultiQuoteSource = 0;
  kv_make_dirs((root + "/CONFIG").c_str(), nullptr);
  kv_make_dirs((root + "/DATA").c_str(), nullptr);
  const char srcdata[] = "MULTIQUOTE 1\n  web web.cfg\n";
  kv_write_file_atomic((root + "/CONFIG/srcdata.cfg").c_str(), srcdata, strlen(srcdata), nullptr);
  install_live_chart_hooks();
  g_port = fuzz_start_page_server();
  g_inet_session = inet_open_session();
  kv_lock guard(g_chart_lock);
  for (const char* s : kSymbols) create_multiquote_struct(s);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!g_port) setup();
  std::string in((const char*)data, size);
  size_t nul = in.find('\0');
  if (nul == std::string::npos) return 0;
  std::string script = in.substr(0, nul);
  for (size_t at; (at = script.find("PORT")) != std::string::npos;)
    script.replace(at, 4, std::to_string(g_port));
  { fuzz_set_page(in.substr(nul + 1)); }
  // A non-zero flags word turns polling on.
  std::string cfg = "no_clock_sync\nmaxquotes 10\n[MAIN]\n" + script;
  std::string path = std::string(g_settings.DataRoot) + "/CONFIG/web.cfg";
  if (!kv_write_file_atomic(path.c_str(), cfg.data(), cfg.size(), nullptr)) return 0;
  free_quote_source_cfgs();
  {
    kv_lock guard(g_chart_lock);
    for (const char* s : kSymbols) {
      mqt* r = find_mqt(s);
      r->flags |= MQT_QT_PORTFOLIO;
      r->quote_fail_count = r->quote_skip_cycles = 0;
    }
  }
  poll_web_quotes();
  kv_lock guard(g_chart_lock);
  for (const char* s : kSymbols) {
    mqt* r = find_mqt(s);
    if (!r || r->users != 1) __builtin_trap();
    if (r->recent_count < 0 || r->recent_count > MQT_RECENT_BARS) __builtin_trap();
    if (r->written_count < 0 || r->written_count > r->recent_count) __builtin_trap();
    if (!std::isfinite(r->last) || !std::isfinite(r->close) || !std::isfinite(r->bid) ||
        !std::isfinite(r->ask))
      __builtin_trap();
  }
  if (strlen(web_quote_url()) >= 2048) __builtin_trap();
  return 0;
}
