// The 32 view bits that market windows mark the records they use with, and
// each bit's block of scale slots.
#include <cstdlib>

#include "data/statmsg.h"
#include "platform/locks.h"
#include "quotes/mqt.h"

uint32_t g_view_bits;
static void* view_scale_blocks[32];

static int bit_index(uint32_t bit) {
  return __builtin_ctz(bit);
}

uint32_t alloc_view_bit() {
  kv_lock guard(g_chart_lock);
  if (g_view_bits == 0xffffffffu) return 0;
  uint32_t bit = ~g_view_bits & (g_view_bits + 1);  // lowest clear bit
  g_view_bits |= bit;
  return bit;
}

int free_view_bit(uint32_t bit) {
  // One bit only: a mask of several would release windows that still hold theirs.
  if (bit == 0 || (bit & (bit - 1))) return 0;
  kv_lock guard(g_chart_lock);
  if (!(g_view_bits & bit)) return 0;
  g_view_bits &= ~bit;
  int i = bit_index(bit);
  free(view_scale_blocks[i]);
  view_scale_blocks[i] = nullptr;
  return 1;
}

void* view_scale_slot(uint32_t bit, uint32_t n) {
  n &= 0xffffff;
  if (bit == 0 || (bit & (bit - 1)) || n >= VIEW_SCALE_SLOTS) return nullptr;
  kv_lock guard(g_chart_lock);
  int i = bit_index(bit);
  if (!view_scale_blocks[i]) {
    view_scale_blocks[i] = calloc(VIEW_SCALE_SLOTS, VIEW_SCALE_SLOT_SIZE);
    if (!view_scale_blocks[i]) {
      statmsg(__FILE__, __LINE__, "calloc failed", nullptr, STATMSG_ERROR);
      return nullptr;
    }
  }
  return (char*)view_scale_blocks[i] + (size_t)n * VIEW_SCALE_SLOT_SIZE;
}
