// The symbol index symnames.six: symbols and their descriptions, built by
// the tindral tool and kept in the CONFIG folder.
//
// The file is a run of zero-terminated texts in pairs, symbol then
// description, ended by an empty symbol.  It is loaded whole on first use;
// the pairs are ordered in memory by the lookup's own comparison (byte order
// without regard to case), so the order of the file does not matter.
#pragma once

#include <cstddef>

enum { SYMBOL_DESCRIPTION_MAX = 511 };

// Loads symnames.six.  1 loaded (or already loaded), 0 on failure ("can't
// open file:", "can't allocate memory").  A short read logs "Incomplete file
// read" and keeps what was read.
int read_symnames_six(void);

// Parses a symbol index held in memory (what read_symnames_six does with the
// file's bytes) and makes it the loaded index.  1 on success.
int load_symnames_buffer(const char *data, size_t size);

// Description of a symbol: from the loaded symbol list when it has a
// non-empty one, else from the symbol index; "" when unknown.  The text is
// a copy that stays valid on the calling thread until its next call.
const char *symbol_description(const char *symbol);

// Number of pairs in the loaded index (0 when none).
int symnames_count(void);

// Drops the loaded index (exit, tests); the next lookup loads it again.
void free_symnames_six(void);
