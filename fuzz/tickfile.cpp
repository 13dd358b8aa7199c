// Tick files on arbitrary contents: the file is read from a data root in
// the temporary folder (TMPDIR) and played through to its end into a
// live-quote record. Every decoded tick leaves the record with a valid
// time of day, and a file never yields more ticks than it has records.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/files.h"
#include "quotes/mqt.h"
#include "quotes/tickfile.h"
#include "settings/settings.h"

static std::string g_root, g_path;

static void remove_root() {
  kv_remove_tree(g_root.c_str());
}

static void setup_root() {
  const char* tmp = getenv("TMPDIR");
  std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/kv_fuzz_ticks_XXXXXX";
  if (!mkdtemp(&tmpl[0])) abort();
  g_root = tmpl;
  atexit(remove_root);
  snprintf(g_settings.DataRoot, sizeof g_settings.DataRoot, "%s", g_root.c_str());
  kv_make_dirs((g_root + "/HDATA").c_str(), nullptr);
  g_path = g_root + "/HDATA/FZ.tsdata";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (g_root.empty()) setup_root();
  FILE* f = fopen(g_path.c_str(), "wb");  // plain write: no sync needed for a scratch file
  if (!f) return 0;
  size_t put = fwrite(data, 1, size, f);
  if (fclose(f) != 0 || put != size) return 0;
  // The tick size comes with the record: a few of the usual ones.
  static const double sizes[] = {0.25, 0.01, 1.0 / 64, 0.0001};
  tick_state st{};
  if (!load_tick_file("FZ", sizes[size % 4], &st)) return 0;
  if (st.count < 0 || (size_t)st.count * 4 > size) abort();
  static mqt record;  // large: kept out of the stack
  memset(&record, 0, sizeof record);
  int trades = 0;
  while (next_playback_tick(&record, &st)) {
    trades++;
    if (record.quote_time < 0 || record.quote_time >= 86400 || st.index > st.count) abort();
  }
  // A paired word holds two trades; every other record one tick.
  if (st.index != st.count || st.ticks > 2 * st.count || trades > st.ticks) abort();
  free_tick_data(&st);
  return 0;
}
