// The C runtime's pseudo-random generator, with the exact sequence of the
// Windows runtime (the configuration scrambling tables depend on it; the
// GNU C library's rand differs):
//   state = state * 214013 + 2531011;  result = (state >> 16) & 0x7FFF
// The state belongs to the calling thread and starts at 1, as there.
#pragma once

#include <stdint.h>

#define KV_RAND_MAX 0x7FFF

void kv_srand(unsigned seed);
int kv_rand(void);

// The same step over a caller-held state.
int kv_rand_next(uint32_t *state);
