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
#include "platform/files.h"

// Layout of the allocation: the names packed one after the other, then, at a
// 16-byte boundary, the pointer array, a null entry and the allocation's own
// address (so that the list is freed through its last entry, like a token
// list).
int list_files(const char *pattern_path, int *count, char ***names, int flags) {
  if (count) *count = 0;
  if (names) *names = nullptr;
  if (!pattern_path || !count || !names) return 0;
  std::string path = kv_path_normalized(pattern_path);
  size_t slash = path.rfind('/');
  std::string dir = slash == std::string::npos ? "." : path.substr(0, slash);
  std::string pattern = slash == std::string::npos ? path : path.substr(slash + 1);
  std::vector<kv_dir_entry> entries;
  if (!kv_list_dir((dir + "/*").c_str(), &entries, nullptr)) return 1;   // nothing found
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
  std::stable_sort(found.begin(), found.end(),
                   [](const std::string &a, const std::string &b) { return strcasecmp(a.c_str(), b.c_str()) < 0; });
  size_t text = 0;
  for (const std::string &s : found) text += s.size() + 1;
  size_t array_at = (text + 15) & ~(size_t)15;
  size_t total = array_at + (found.size() + 2) * sizeof(char *);
  char *block = (char *)malloc(total);
  if (!block) {
    statmsg(__FILE__, __LINE__, "Can't malloc", nullptr, STATMSG_ERROR);
    return 0;
  }
  char **array = (char **)(block + array_at);
  char *p = block;
  for (size_t i = 0; i < found.size(); i++) {
    memcpy(p, found[i].c_str(), found[i].size() + 1);
    array[i] = p;
    p += found[i].size() + 1;
  }
  array[found.size()] = nullptr;
  array[found.size() + 1] = block;
  *count = (int)found.size();
  *names = array;
  return 1;
}
