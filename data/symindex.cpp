// Symbol index reader and description lookup.
#include "data/symindex.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "data/statmsg.h"
#include "data/symlist.h"
#include "platform/files.h"
#include "settings/settings.h"

struct six_pair {
  const char *symbol;
  const char *description;
};

static std::mutex six_mutex;
static char *six_text;  // the file's bytes plus a terminator
static std::vector<six_pair> six_pairs;
static bool six_loaded;
static bool six_failed;  // don't retry a missing file every lookup

static inline unsigned char upper_ascii(unsigned char c) {
  return (c >= 'a' && c <= 'z') ? (unsigned char)(c - 'a' + 'A') : c;
}

// Byte order without regard to (ASCII) case.
static int compare_nocase(const char *a, const char *b) {
  const unsigned char *p = (const unsigned char *)a, *q = (const unsigned char *)b;
  for (;; p++, q++) {
    unsigned char x = upper_ascii(*p), y = upper_ascii(*q);
    if (x != y) return x < y ? -1 : 1;
    if (!x) return 0;
  }
}

static void drop_index(void) {
  free(six_text);
  six_text = nullptr;
  six_pairs.clear();
  six_pairs.shrink_to_fit();
  six_loaded = false;
}

// Takes ownership of text (size bytes of file data followed by one NUL).
static int adopt_index(char *text, size_t size) {
  std::vector<six_pair> pairs;
  size_t pos = 0;
  while (pos < size) {
    const char *symbol = text + pos;
    size_t len = strlen(symbol);
    if (len == 0) break;  // the closing empty symbol
    pos += len + 1;
    const char *description = "";
    if (pos < size) {
      description = text + pos;
      pos += strlen(description) + 1;
    }
    pairs.push_back({symbol, description});
  }
  std::stable_sort(pairs.begin(), pairs.end(), [](const six_pair &a, const six_pair &b) {
    return compare_nocase(a.symbol, b.symbol) < 0;
  });
  drop_index();
  six_text = text;
  six_pairs = std::move(pairs);
  six_loaded = true;
  return 1;
}

int load_symnames_buffer(const char *data, size_t size) {
  char *text = (char *)malloc(size + 1);
  if (!text) {
    statmsg(__FILE__, __LINE__, "can't allocate memory", nullptr, STATMSG_ERROR);
    return 0;
  }
  if (size) memcpy(text, data, size);
  text[size] = 0;
  std::lock_guard<std::mutex> guard(six_mutex);
  six_failed = false;
  return adopt_index(text, size);
}

static int read_locked(void) {
  if (six_loaded) return 1;
  char path[KV_PATH_MAX * 2];
  if (!data_folder_path(path, sizeof path, KV_DIR_CONFIG, "symnames.six")) {
    statmsg(__FILE__, __LINE__, "can't open file:", "symnames.six", STATMSG_ERROR);
    return 0;
  }
  FILE *f = kv_fopen_existing(path, "rb", nullptr);
  if (!f) {
    statmsg(__FILE__, __LINE__, "can't open file:", path, STATMSG_ERROR);
    return 0;
  }
  long size = -1;
  if (fseek(f, 0, SEEK_END) == 0) size = ftell(f);
  if (size < 0 || fseek(f, 0, SEEK_SET) != 0) {
    fclose(f);
    statmsg(__FILE__, __LINE__, "can't open file:", path, STATMSG_ERROR);
    return 0;
  }
  char *text = (char *)malloc((size_t)size + 1);
  if (!text) {
    fclose(f);
    statmsg(__FILE__, __LINE__, "can't allocate memory", nullptr, STATMSG_ERROR);
    return 0;
  }
  size_t got = fread(text, 1, (size_t)size, f);
  fclose(f);
  if (got < (size_t)size) statmsg(__FILE__, __LINE__, "Incomplete file read", path, STATMSG_ERROR);
  text[got] = 0;
  return adopt_index(text, got);
}

int read_symnames_six(void) {
  std::lock_guard<std::mutex> guard(six_mutex);
  int ok = read_locked();
  six_failed = !ok;
  return ok;
}

int symnames_count(void) {
  std::lock_guard<std::mutex> guard(six_mutex);
  return (int)six_pairs.size();
}

void free_symnames_six(void) {
  std::lock_guard<std::mutex> guard(six_mutex);
  drop_index();
  six_failed = false;
}

const char *symbol_description(const char *symbol) {
  thread_local char description[SYMBOL_DESCRIPTION_MAX + 1];
  description[0] = 0;
  if (!symbol || !*symbol) return description;
  if (symbol_list_description(symbol, description, sizeof description) && description[0])
    return description;
  description[0] = 0;
  std::lock_guard<std::mutex> guard(six_mutex);
  if (!six_loaded) {
    if (six_failed) return description;
    six_failed = !read_locked();
    if (six_failed) return description;
  }
  auto it = std::lower_bound(
      six_pairs.begin(), six_pairs.end(), symbol,
      [](const six_pair &p, const char *s) { return compare_nocase(p.symbol, s) < 0; });
  if (it != six_pairs.end() && compare_nocase(it->symbol, symbol) == 0) {
    strncpy(description, it->description, SYMBOL_DESCRIPTION_MAX);
    description[SYMBOL_DESCRIPTION_MAX] = 0;
  }
  return description;
}
