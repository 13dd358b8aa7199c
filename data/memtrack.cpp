// Tracked allocations of the data modules.
#include "data/memtrack.h"

#include <cstdlib>

#include "platform/sync.h"

static void* tracked_blocks[TRACKED_MAX];
static int tracked_blocks_count;
static kv_mutex tracked_mutex;

void free_memory(void* block) {
  free(block);
}

int track_allocation(void* block) {
  kv_lock_guard<kv_mutex> guard(tracked_mutex);
  if (tracked_blocks_count >= TRACKED_MAX) return 0;
  tracked_blocks[tracked_blocks_count++] = block;
  return 1;
}

void* alloc_tracked(size_t size) {
  void* block = calloc(1, size ? size : 1);
  if (block && !track_allocation(block)) {
    free(block);
    return nullptr;
  }
  return block;
}

void free_tracked(void* block) {
  if (!block) return;
  {
    kv_lock_guard<kv_mutex> guard(tracked_mutex);
    for (int i = 0; i < tracked_blocks_count; i++) {
      if (tracked_blocks[i] == block) {
        for (int j = i + 1; j < tracked_blocks_count; j++)
          tracked_blocks[j - 1] = tracked_blocks[j];
        tracked_blocks[--tracked_blocks_count] = nullptr;
        break;
      }
    }
  }
  free(block);
}

void free_tracked_all() {
  kv_lock_guard<kv_mutex> guard(tracked_mutex);
  for (int i = 0; i < tracked_blocks_count; i++) {
    free(tracked_blocks[i]);
    tracked_blocks[i] = nullptr;
  }
  tracked_blocks_count = 0;
}

int tracked_count() {
  kv_lock_guard<kv_mutex> guard(tracked_mutex);
  return tracked_blocks_count;
}
