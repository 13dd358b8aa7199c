#include "tools/tindral_cmd.h"

#include "platform/files.h"
#include "tools/symindex_build.h"

#include <cstdio>
#include <string>

static const char SYMINDEX_FILE[] = "symnames.six";

static void print_usage() {
  std::printf(
      "tindral Version 1.03\n"
      "Syntax:\n"
      "  tindral infile1 [infile2..]\n"
      "Action:\n"
      "  processes one or more symbol files in the exchange's pipe-separated symbol directory "
      "format\n"
      " into compressed symbol index file: symnames.six used by Korvane\n"
      "Example:\n"
      "  tindral nasdaq.txt cqssym.txt\n"
      "  creates output file symnames.six in current directory\n"
      "  move this file to the ./CONFIG subdirectory under Korvane\n");
}

// Reads one directory file into the table. Returns 0 when done, else the
// exit code after printing why. A file whose reading fails (a folder
// among them) counts as one that cannot be opened: its symbols would
// otherwise be missing from an index reported as complete.
static int extract_symbols(sym_table* t, const char* path) {
  FILE* f = std::fopen(path, "r");
  if (!f) {
    std::printf("can't open: %s\n", path);
    return 2;
  }
  char line[SYMINDEX_LINE_MAX + 1];
  int extracted = 0;
  int rc = 0;
  if (read_symdir_line(f, line)) {  // the header line
    while (rc == 0 && read_symdir_line(f, line)) {
      switch (sym_table_add_line(t, line)) {
        case SYM_ADDED:
          extracted++;
          break;
        case SYM_SKIPPED:
          break;
        case SYM_TABLE_FULL:
          std::printf("Symbol table overflow, symbol cnt = %d\n", t->count);
          rc = 1;
          break;
        case SYM_POOL_FULL:
          std::printf("Memory allocation exceeded\n");
          rc = 2;
          break;
      }
    }
  }
  if (rc == 0 && std::ferror(f)) {
    std::printf("can't open: %s\n", path);
    rc = 2;
  }
  std::fclose(f);
  if (rc == 0) std::printf("extracted %d symbols from %s\n", extracted, path);
  return rc;
}

int tindral_main(int argc, char** argv) {
  if (argc < 2) {
    print_usage();
    return -1;
  }
  sym_table t;
  if (!sym_table_init(&t)) {
    std::printf("Can't malloc memory\n");
    return 1;
  }
  for (int i = 1; i < argc; i++) {
    int rc = extract_symbols(&t, argv[i]);
    if (rc != 0) {
      sym_table_free(&t);
      return rc;
    }
  }
  sym_table_sort(&t);
  std::string image = symbol_index_image(&t);
  int count = t.count;
  sym_table_free(&t);

  // Written in one piece: an old index stays whole unless the new one is.
  if (!kv_write_file_atomic(SYMINDEX_FILE, image.data(), image.size(), nullptr)) {
    std::printf("can't open: symnames.six output file\n");
    return 3;
  }
  std::printf("Wrote %d symbols to output file: %s\n", count, SYMINDEX_FILE);
  std::printf("Operation completed successfully,\n");
  return 0;
}
