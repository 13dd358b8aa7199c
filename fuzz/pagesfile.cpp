// Fuzz target: the pages-file reader over any bytes; what it accepts is
// written back and must read again to the same image.
#include <cstddef>
#include <cstdint>
#include <string>

#include "shell/core/pagefile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  page_list l;
  if (parse_pages_file(data, size, &l) == PAGE_READ_OK) {
    std::string image;
    build_pages_file(&l, &image);
    page_list again;
    if (parse_pages_file((const uint8_t*)image.data(), image.size(), &again) != PAGE_READ_OK ||
        again.count != l.count)
      __builtin_trap();
    page_list_free(&again);
  }
  page_list_free(&l);
  return 0;
}
