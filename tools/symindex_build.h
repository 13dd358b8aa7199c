// Building the symbol index symnames.six from exchange symbol-directory
// text files: one header line, then one security a line, fields separated
// by "|", the symbol first and the security name second.
//
// symnames.six holds, for each symbol in ascending unsigned byte order, the
// symbol text and a NUL, the security name and a NUL; one more NUL (an
// empty symbol) ends it.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

enum {
  SYMINDEX_POOL_BYTES = 5000000,  // text pool for symbols and names
  SYMINDEX_MAX_PAIRS = 200000,    // capacity of the pair table
  SYMINDEX_LINE_MAX = 511,        // characters kept of one input line
};

struct sym_pair {
  const char* symbol;
  const char* name;
};

// Working memory: the text pool and the pair table.
struct sym_table {
  char* pool;
  size_t pool_used;
  sym_pair* pairs;
  int count;
};

// Result of taking one line into the table.
enum sym_add_result {
  SYM_ADDED = 0,
  SYM_SKIPPED,     // no symbol, no name, or a symbol with "$"
  SYM_TABLE_FULL,  // the pair table holds SYMINDEX_MAX_PAIRS already
  SYM_POOL_FULL,   // the pool has no room for this pair
};

// Allocates the pool and the table; 0 when memory is short.
int sym_table_init(sym_table* t);
void sym_table_free(sym_table* t);

// Reads one line of at most SYMINDEX_LINE_MAX characters into buf (which
// holds SYMINDEX_LINE_MAX + 1 bytes). The rest of a longer line, the line
// end and a CR just before it are dropped; a NUL byte ends the line's text.
// Returns 0 at the end of the file.
int read_symdir_line(FILE* f, char* buf);

// Splits one directory line at "|" and stores its symbol and name.
sym_add_result sym_table_add_line(sym_table* t, const char* line);

// Sorts the pairs by symbol in unsigned byte order; equal symbols keep
// the order they were read in.
void sym_table_sort(sym_table* t);

// The index image: the pairs in table order, then the closing NUL.
std::string symbol_index_image(const sym_table* t);
