// The loaded symbol list (".slf" file): one process-wide list of symbols with
// descriptions that the user steps through.
//
// A list file holds one symbol per line, optionally followed by its
// description.  Symbols are upper-cased at load; a symbol that cannot name a
// price file (longer than 31 characters, holding "/", "\" or control
// characters, or "." or "..") is left out.
#pragma once

#include <cstddef>

enum { SYMLIST_SYMBOL_MAX = 31, SYMLIST_DESCRIPTION_MAX = 255 };

enum {
  SYMLIST_FIRST = 1,
  SYMLIST_PREVIOUS = 2,
  SYMLIST_NEXT = 3,
  SYMLIST_LAST = 4,
  SYMLIST_CURRENT = 0
};

// Frees the previous list and loads path; the position goes to the first
// symbol.  Returns the number of symbols (0 when the file cannot be read).
int load_symbol_list(const char *path);

// Moves the position (first, previous, next, last; any other value stays)
// and returns that symbol, or null when no list is loaded.  Next from the
// last symbol wraps to the first, previous from the first to the last.
// The text stays valid until the list is loaded again or freed.
const char *symbol_list_step(int how);

void free_symbol_list(void);

// Number of symbols in the loaded list (0 when none).
int symbol_list_count(void);

// The list as tokens, two per symbol (symbol, description): token index i,
// null past the end.  Valid until the list is loaded again or freed.
const char *symbol_list_token(int index);

// When the loaded list holds symbol (compared without regard to case),
// copies its description (possibly empty) into out and returns 1; else 0.
int symbol_list_description(const char *symbol, char *out, size_t size);
