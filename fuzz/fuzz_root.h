// A scratch folder for a fuzz target's files: made once under TMPDIR (else
// /tmp) and removed with everything in it when the run ends.
#pragma once

#include <cstdlib>
#include <string>

#include "platform/files.h"

inline std::string& fuzz_root_path() {
  static std::string path;
  return path;
}

inline void fuzz_remove_root() {
  if (!fuzz_root_path().empty()) kv_remove_tree(fuzz_root_path().c_str());
}

// The folder "<TMPDIR>/kv_fuzz_<name>_XXXXXX"; aborts when it cannot be made.
inline const std::string& fuzz_temp_root(const char* name) {
  std::string& path = fuzz_root_path();
  if (path.empty()) {
    const char* tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/kv_fuzz_" + name + "_XXXXXX";
    if (!mkdtemp(pattern.data())) abort();
    path = pattern;
    atexit(fuzz_remove_root);
  }
  return path;
}
