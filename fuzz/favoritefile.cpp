// Fuzz target: the chart favourite reader over any bytes.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "shell/core/chartstore.h"
#include "studies/studyapi.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FavoriteRecord* f = parse_favorite_file(data, size);
  if (f) {
    if (strlen(f->path) != 0 || strlen(f->extra) >= sizeof f->extra) __builtin_trap();
    int n = 0;
    for (StudyDef* s = f->studies; s; s = s->next) n++;
    if (n != f->study_count) __builtin_trap();
    free_descriptor(f);
  }
  return 0;
}
