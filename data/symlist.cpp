// The loaded symbol list.
#include "data/symlist.h"

#include <cstring>
#include <mutex>
#include <string>
#include <strings.h>
#include <sys/stat.h>
#include <vector>

#include "data/statmsg.h"
#include "data/tokenfile.h"
#include "platform/files.h"

struct symlist_entry {
  char symbol[SYMLIST_SYMBOL_MAX + 1];
  char description[SYMLIST_DESCRIPTION_MAX + 1];
};

// Written only by load and free (the user-interface thread); the mutex lets
// symbol_description read it from the loading threads.
static std::mutex symlist_mutex;
static std::vector<symlist_entry> symlist;
static bool symlist_loaded;
static int symlist_pos;

void free_symbol_list(void) {
  std::lock_guard<std::mutex> guard(symlist_mutex);
  symlist.clear();
  symlist.shrink_to_fit();
  symlist_loaded = false;
  symlist_pos = 0;
}

// Makes a read-only list file writable again (the heat-map window saves its
// symbols back into it).
static void clear_read_only(const char *path, const char *base) {
  struct stat st;
  if (stat(path, &st) != 0 || (st.st_mode & S_IWUSR)) return;
  if (chmod(path, (st.st_mode & 07777) | S_IWUSR) != 0)
    statmsg(__FILE__, __LINE__, "File is read only: ", base, STATMSG_NOTICE);
}

int load_symbol_list(const char *path) {
  free_symbol_list();
  if (!path) return 0;
  std::string found = kv_resolve_case(path);
  if (found.empty()) found = path;
  token_list list = {0, nullptr};
  if (!read_token_file(found.c_str(), &list, 2)) return 0;
  std::vector<symlist_entry> entries;
  for (int i = 0; i < list.count; i += 2) {
    const char *sym = list.tokens[i];
    const char *desc = i + 1 < list.count ? list.tokens[i + 1] : "";
    if (!*sym) continue;
    if (strlen(sym) > SYMLIST_SYMBOL_MAX || !kv_symbol_file_name_ok(sym)) {
      statmsg(__FILE__, __LINE__, "Invalid symbol in symbol file:", sym, STATMSG_NOTICE);
      continue;
    }
    symlist_entry e;
    size_t n = strlen(sym);
    for (size_t k = 0; k <= n; k++) {
      char c = sym[k];
      e.symbol[k] = (c >= 'a' && c <= 'z') ? (char)(c - 'a' + 'A') : c;
    }
    strncpy(e.description, desc, SYMLIST_DESCRIPTION_MAX);
    e.description[SYMLIST_DESCRIPTION_MAX] = 0;
    entries.push_back(e);
  }
  free_token_list(&list);
  const char *base = kv_path_base_name(found.c_str());
  statmsg(__FILE__, __LINE__, "Loaded symbol file: ", base, STATMSG_NOTICE);
  clear_read_only(found.c_str(), base);
  std::lock_guard<std::mutex> guard(symlist_mutex);
  symlist = std::move(entries);
  symlist_loaded = true;
  symlist_pos = 0;
  return (int)symlist.size();
}

const char *symbol_list_step(int how) {
  std::lock_guard<std::mutex> guard(symlist_mutex);
  if (!symlist_loaded || symlist.empty()) return nullptr;
  int last = (int)symlist.size() - 1;
  if (symlist_pos > last) symlist_pos = 0;
  switch (how) {
    case SYMLIST_FIRST:
      symlist_pos = 0;
      break;
    case SYMLIST_PREVIOUS:
      symlist_pos = symlist_pos == 0 ? last : symlist_pos - 1;
      break;
    case SYMLIST_NEXT:
      symlist_pos = symlist_pos >= last ? 0 : symlist_pos + 1;
      break;
    case SYMLIST_LAST:
      symlist_pos = last;
      break;
    default:
      break;
  }
  return symlist[symlist_pos].symbol;
}

int symbol_list_count(void) {
  std::lock_guard<std::mutex> guard(symlist_mutex);
  return (int)symlist.size();
}

const char *symbol_list_token(int index) {
  std::lock_guard<std::mutex> guard(symlist_mutex);
  if (index < 0 || index / 2 >= (int)symlist.size()) return nullptr;
  const symlist_entry &e = symlist[index / 2];
  return (index & 1) ? e.description : e.symbol;
}

int symbol_list_description(const char *symbol, char *out, size_t size) {
  std::lock_guard<std::mutex> guard(symlist_mutex);
  if (!symbol || !symlist_loaded) return 0;
  for (const symlist_entry &e : symlist) {
    if (strcasecmp(e.symbol, symbol) != 0) continue;
    if (out && size) {
      strncpy(out, e.description, size - 1);
      out[size - 1] = 0;
    }
    return 1;
  }
  return 0;
}
