// The .iext reader on arbitrary file contents.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "data/chart.h"
#include "fuzz/fuzz_root.h"
#include "platform/files.h"
#include "quotes/mqt.h"
#include "settings/settings.h"

static std::string g_path;

static void setup_root() {
  std::string root = fuzz_temp_root("iext");
  snprintf(g_settings.DataRoot, sizeof g_settings.DataRoot, "%s", root.c_str());
  kv_make_dirs((root + "/DATA").c_str(), nullptr);
  g_path = root + "/DATA/FZ.iext";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (g_path.empty()) setup_root();
  FILE* f = fopen(g_path.c_str(), "wb");
  if (!f) return 0;
  if (size) fwrite(data, 1, size, f);
  fclose(f);
  mqt* record = (mqt*)calloc(1, sizeof(mqt));
  strcpy(record->symbol, "FZ");
  int n = read_iext_file(record);
  int count = 0;
  for (chart_extension* e = record->iext_chain; e; e = e->next) count += e->block[0] == 0;
  if (n != record->iext_count || count != n) abort();
  free_linked_blocks(record->iext_chain);
  free(record);
  return 0;
}
