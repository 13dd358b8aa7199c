// Directory lister used for every file list of the program: the names in a
// folder that match a wildcard pattern, sorted without regard to case.
#pragma once

enum {
  LIST_FILES_DIRS = 1,    // include folders
  LIST_FILES_NO_EXT = 2,  // cut each name at its last "."
};

// pattern_path is "<folder>/<pattern>" ("\" accepted); the pattern follows
// wildcard_match ("*", "?", "[set]", without regard to case).  On success
// *names is one allocation laid out like a token list (the names, a null
// entry, the allocation's address); free it with free_tokens.  Returns 1
// (count 0 and names null when nothing matched), or 0 on failure.
int list_files(const char *pattern_path, int *count, char ***names, int flags);
