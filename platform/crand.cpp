// The Windows runtime's rand sequence.
#include "platform/crand.h"

static thread_local uint32_t t_rand_state = 1;

int kv_rand_next(uint32_t *state) {
  *state = *state * 214013u + 2531011u;
  return (int)((*state >> 16) & 0x7FFF);
}

void kv_srand(unsigned seed) {
  t_rand_state = seed;
}
int kv_rand(void) {
  return kv_rand_next(&t_rand_state);
}
