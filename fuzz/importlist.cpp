// Fuzz target: the import-list reader over any bytes.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "shell/core/chartstore.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CChartStore store;
  parse_import_list(data, size, &store);
  int n = 0;
  for (ImportSource* s = store.ImportList().head; s; s = s->next) {
    if (strlen(s->dir) >= sizeof s->dir || strlen(s->pattern) >= sizeof s->pattern)
      __builtin_trap();
    if (s->order != n) __builtin_trap();
    n++;
  }
  if (n != store.ImportList().count) __builtin_trap();
  store.FreeImportList();
  return 0;
}
