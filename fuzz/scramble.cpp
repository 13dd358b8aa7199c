// Scrambling decoder over arbitrary bytes: unscrambling any text must stay
// in place, keep every non-printable byte, and scrambling the result must
// give the input back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "data/scramble.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string in((const char *)data, size);
  in = in.c_str();  // the functions work on NUL-terminated text
  std::string text = in;
  unscramble_locked(text.data());
  if (text.size() != in.size()) abort();
  for (size_t i = 0; i < in.size(); i++) {
    unsigned char a = (unsigned char)in[i], b = (unsigned char)text[i];
    bool printable = a >= 32 && a <= 126;
    if (!printable && a != b) abort();
    if (printable && (b < 32 || b > 126)) abort();
  }
  scramble_locked(text.data());
  if (text != in) abort();

  std::string cfg = "#!" + in;
  unscramble_config_text(cfg.data());
  return 0;
}
