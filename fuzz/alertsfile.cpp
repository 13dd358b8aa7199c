// The alert file reader on arbitrary file contents: every loaded alert has a
// terminated symbol and numbers for prices, and the alerts in use that are saved load again.
// Its seeds (fuzz/seeds/alertsfile) are files of 2,044 + 144 x k bytes, so
// that the records are reached at once.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/files.h"
#include "quotes/alerts.h"
#include "settings/settings.h"

static std::string g_root, g_path;

static void remove_root() {
  kv_remove_tree(g_root.c_str());
}

// A data root in the temporary folder (TMPDIR), removed at exit.
static void setup_root() {
  const char* tmp = getenv("TMPDIR");
  std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/kv_fuzz_alerts_XXXXXX";
  if (!mkdtemp(&tmpl[0])) abort();
  g_root = tmpl;
  atexit(remove_root);
  snprintf(g_settings.DataRoot, sizeof g_settings.DataRoot, "%s", g_root.c_str());
  kv_make_dirs((g_root + "/CONFIG").c_str(), nullptr);
  g_path = g_root + "/CONFIG/alerts.dat";
}

static int check_table() {
  int n = 0, in_use = 0;
  for (alert_rec* a; (a = alert_from_id(n + 1)); n++) {
    if (!memchr(a->symbol, 0, sizeof a->symbol) || !std::isfinite(a->high_price) ||
        !std::isfinite(a->low_price))
      abort();
    in_use += a->symbol[0] && (a->flags & ALERT_IN_USE);
  }
  return in_use;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (g_path.empty()) setup_root();
  if (!kv_write_file_atomic(g_path.c_str(), data, size, nullptr)) return 0;
  free_alerts();
  if (!load_alerts()) return 0;
  int in_use = check_table();
  alert_rec* a = find_or_add_alert("FZ");
  if (a && !(a->flags & ALERT_IN_USE)) {
    a->flags |= ALERT_IN_USE;
    in_use++;
  }
  if (save_alerts()) {
    free_alerts();
    if (!load_alerts() || check_table() != in_use) abort();
  }
  free_alerts();
  return 0;
}
