// Fuzz target: the symbol index reader and the description lookup over any
// bytes as the index file.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "data/symindex.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (!load_symnames_buffer((const char *)data, size)) return 0;
  // Look up a few symbols taken from the input itself and some fixed ones.
  static const char *fixed[] = {"A", "IBM", "zzzz", "^DJI", "_X", "\xff"};
  for (const char *s : fixed) (void)symbol_description(s);
  size_t pos = 0;
  for (int i = 0; i < 8 && pos < size; i++) {
    size_t len = strnlen((const char *)data + pos, size - pos);
    std::string sym((const char *)data + pos, len);
    const char *d = symbol_description(sym.c_str());
    if (strlen(d) > SYMBOL_DESCRIPTION_MAX) __builtin_trap();
    pos += len + 1;
  }
  free_symnames_six();
  return 0;
}
