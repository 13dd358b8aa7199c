// Token-file reader over arbitrary bytes: the first byte picks the mode
// (tokens per line), the rest is the file.  Every token must be a string
// inside the one block, and the list must end with a null entry.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "data/tokenfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  int mode = data[0] % 10;
  int count = 0;
  char **tokens = nullptr;
  if (tokens_from_text((const char *)data + 1, size - 1, "fuzz", mode, &count, &tokens)) {
    size_t total = 0;
    for (int i = 0; i < count; i++) total += strlen(tokens[i]);
    if (count && tokens[count] != nullptr) abort();
    if (total > size) abort();  // tokens never hold more than the text
    free_tokens(tokens);
  }
  return 0;
}
