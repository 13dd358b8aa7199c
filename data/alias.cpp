// Symbol aliases: the alias file read into a table of pattern pairs and the
// lookup in either direction.
#include "data/alias.h"

#include <cstring>

#include "data/memtrack.h"
#include "data/statmsg.h"
#include "data/textutil.h"
#include "data/tokenfile.h"
#include "platform/files.h"
#include "platform/locks.h"
#include "settings/datadirs.h"
#include "settings/settings.h"

// Members are matched by a backtracking matcher whose work grows with the
// number of stars and the length of the text, so both are bounded: a pair
// with a longer member or more stars is left out of the table, and a longer
// symbol is never matched.
enum {
  ALIAS_PATTERN_MAX = 63,
  ALIAS_PATTERN_STARS = 4,
  ALIAS_TEXT_MAX = 63,
};

// The pairs as read: member 0 and member 1 of pair i at tokens[2i], [2i+1].
// The token block is one tracked allocation.
static char** alias_tokens;
static int alias_pairs;
static int alias_loaded;

static void drop_table() {
  if (alias_tokens) {
    int count = 0;
    while (alias_tokens[count]) count++;
    free_tracked(alias_tokens[count + 1]);  // the block behind the array
  }
  alias_tokens = nullptr;
  alias_pairs = 0;
}

static int usable_member(const char* member) {
  size_t n = strlen(member);
  if (n == 0 || n > ALIAS_PATTERN_MAX) return 0;
  int stars = 0;
  for (const char* p = member; *p; p++)
    if (*p == '*' && p[1] != '*') stars++;
  return stars <= ALIAS_PATTERN_STARS;
}

// A partner is returned as it is written, so it must be a symbol that can
// name a price file, not a pattern: a pair whose partner in one direction is
// not serves only the other direction.
static int usable_partner(const char* partner) {
  return strlen(partner) <= ALIAS_SYMBOL_MAX && kv_symbol_file_name_ok(partner) &&
         !strpbrk(partner, "*?[");
}

int read_alias_file(const char* name) {
  kv_lock guard(g_chart_lock);
  drop_table();
  alias_loaded = 1;
  if (!name || !*name) return 1;

  // The name comes from the settings; it must stay a file of the ALIAS
  // folder.
  char file[KV_PATH_MAX];
  char path[KV_MAX_PATH];
  if (!kv_symbol_file_name_ok(name) ||
      snprintf(file, sizeof file, "%s.txt", name) >= (int)sizeof file ||
      !data_folder_path(path, sizeof path, KV_DIR_ALIAS, file)) {
    statmsg(__FILE__, __LINE__, "Unable to read file:", name, STATMSG_NOTICE);
    return 0;
  }
  int count = 0;
  char** tokens = nullptr;
  if (!read_token_file(path, &count, &tokens, 2 | TOKEN_FILE_QUIET)) {
    statmsg(__FILE__, __LINE__, "Unable to read file:", path, STATMSG_NOTICE);
    return 0;
  }
  if (!tokens) return 1;
  if (!track_allocation(tokens[count + 1])) {
    free_tokens(tokens);
    statmsg(__FILE__, __LINE__, "Unable to read file:", path, STATMSG_NOTICE);
    return 0;
  }
  // Keep the usable pairs, in file order, at the front of the array.
  int kept = 0;
  for (int i = 0; i + 1 < count; i += 2) {
    char* a = tokens[i];
    char* b = tokens[i + 1];
    if (!usable_member(a) || !usable_member(b)) {
      statmsg(__FILE__, __LINE__, "Alias ignored:", a, STATMSG_NOTICE);
      continue;
    }
    tokens[2 * kept] = a;
    tokens[2 * kept + 1] = b;
    kept++;
  }
  // The array keeps its null end and block address so that it can be freed.
  if (2 * kept < count) {
    void* block = tokens[count + 1];
    tokens[2 * kept] = nullptr;
    tokens[2 * kept + 1] = (char*)block;
  }
  alias_tokens = tokens;
  alias_pairs = kept;
  return 1;
}

const char* lookup_alias(const char* symbol, int direction) {
  static thread_local char partner[ALIAS_SYMBOL_MAX + 1];
  if (!symbol) return nullptr;
  kv_lock guard(g_chart_lock);
  if (!alias_loaded) read_alias_file(g_settings.AliasTitle);
  if (strlen(symbol) > ALIAS_TEXT_MAX) return symbol;
  int from = direction ? 1 : 0;
  for (int i = 0; i < alias_pairs; i++) {
    if (wildcard_match(alias_tokens[2 * i + from], symbol) != 0) continue;
    const char* other = alias_tokens[2 * i + 1 - from];
    if (other[0] == '-') return nullptr;
    if (!usable_partner(other)) continue;
    snprintf(partner, sizeof partner, "%s", other);
    return partner;
  }
  return symbol;
}

void free_alias_table() {
  kv_lock guard(g_chart_lock);
  drop_table();
  alias_loaded = 0;
}
