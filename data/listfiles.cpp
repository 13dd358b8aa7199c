// Directory lister.
#include "data/listfiles.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <strings.h>
#include <vector>

#include "data/statmsg.h"
#include "data/textutil.h"
#include "data/tokenfile.h"
#include "platform/files.h"

// The names are one string block (pack_string_block), freed through its
// last entry like a token list.
int list_files(const char *pattern_path, int *count, char ***names, int flags) {
  if (count) *count = 0;
  if (names) *names = nullptr;
  if (!pattern_path || !count || !names) return 0;
  std::string path = kv_path_normalized(pattern_path);
  size_t slash = path.rfind('/');
  std::string dir = slash == std::string::npos ? "." : path.substr(0, slash);
  std::string pattern = slash == std::string::npos ? path : path.substr(slash + 1);
  std::vector<kv_dir_entry> entries;
  if (!kv_list_dir((dir + "/*").c_str(), &entries, nullptr)) return 1;  // nothing found
  std::vector<std::string> found;
  for (const kv_dir_entry &e : entries) {
    if (e.is_dir && !(flags & LIST_FILES_DIRS)) continue;
    if (wildcard_match(pattern.c_str(), e.name.c_str()) != 0) continue;
    std::string name = e.name;
    if (flags & LIST_FILES_NO_EXT) {
      size_t dot = name.rfind('.');
      if (dot != std::string::npos) name.resize(dot);
    }
    found.push_back(name);
  }
  if (found.empty()) return 1;
  std::stable_sort(found.begin(), found.end(), [](const std::string &a, const std::string &b) {
    return strcasecmp(a.c_str(), b.c_str()) < 0;
  });
  char **array = pack_string_block(found);
  if (!array) {
    statmsg(__FILE__, __LINE__, "Can't malloc", nullptr, STATMSG_ERROR);
    return 0;
  }
  *count = (int)found.size();
  *names = array;
  return 1;
}
