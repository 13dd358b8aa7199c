// Fuzz target: the symbol list reader over any bytes as a ".slf" file, with
// stepping and description lookups over what it loaded.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "data/symlist.h"

static std::string list_path(void) {
  static std::string path;
  if (path.empty()) {
    const char *tmp = getenv("TMPDIR");
    path = std::string(tmp && *tmp ? tmp : "/tmp") + "/fuzz_symlist_" + std::to_string(getpid()) +
           ".slf";
  }
  return path;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string path = list_path();
  FILE *f = fopen(path.c_str(), "wb");
  if (!f) return 0;
  fwrite(data, 1, size, f);
  fclose(f);
  int n = load_symbol_list(path.c_str());
  if (n != symbol_list_count()) __builtin_trap();
  static const int steps[] = {SYMLIST_FIRST, SYMLIST_PREVIOUS, SYMLIST_NEXT,    SYMLIST_NEXT,
                              SYMLIST_LAST,  SYMLIST_NEXT,     SYMLIST_CURRENT, SYMLIST_PREVIOUS};
  for (int how : steps) {
    const char *s = symbol_list_step(how);
    if ((s == nullptr) != (n == 0)) __builtin_trap();
    if (s) {
      if (strlen(s) > SYMLIST_SYMBOL_MAX) __builtin_trap();
      char d[SYMLIST_DESCRIPTION_MAX + 1];
      if (!symbol_list_description(s, d, sizeof d)) __builtin_trap();
    }
  }
  for (int i = 0; i < 2 * n; i++)
    if (!symbol_list_token(i)) __builtin_trap();
  free_symbol_list();
  unlink(path.c_str());
  return 0;
}
