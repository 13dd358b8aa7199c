// The ".ccmdata" reader on arbitrary file contents: it never reads past the
// image, takes no more records than the file holds whole, and each record
// decodes to the bytes it came from.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "broker/xsystems.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> copy(data, data + size);  // exact bounds for the sanitizer
  std::vector<cc_record> out;
  int ok = parse_ccmdata(copy.data(), copy.size(), &out);
  if (!ok) {
    if (size >= 128 || !out.empty()) abort();
    return 0;
  }
  if (out.size() > (size - 128) / 24) abort();
  for (size_t i = 0; i < out.size(); i++) {
    int32_t t;
    memcpy(&t, &copy[128 + i * 24], 4);  // the build is little-endian
    if (t != out[i].time) abort();
  }
  return 0;
}
