// Memory services of the data modules: plain frees of their blocks, and a
// process-wide table of tracked blocks that are freed at exit.
#pragma once

#include <cstddef>

constexpr int TRACKED_MAX = 100;

// Frees a block allocated by the data modules (token lists, file lists).
void free_memory(void* block);

// A zeroed block recorded in the tracked table; null when it cannot be
// allocated or the table is full.
void* alloc_tracked(size_t size);

// Records an existing block. Returns 1, or 0 when the table is full (the
// block is then not recorded and stays the caller's to free).
int track_allocation(void* block);

// Frees a block and removes it from the table.
void free_tracked(void* block);

// Frees every tracked block and empties the table (exit clean-up).
void free_tracked_all();

// Number of blocks in the table.
int tracked_count();

// Exit clean-up of the data modules, once, after the windows are gone: saves
// the price alerts, stops the worker loops, releases every listed chart
// (writing those that changed), frees the live-quote records, the symbol
// list, the import formats and the tracked blocks, and closes the web
// session.
void free_miscellaneous_memory(void);
