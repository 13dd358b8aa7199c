// "#!" scrambling: seven substitution tables over the printable characters,
// drawn from the runtime generator with a fixed seed.  Each printable
// character uses the next table in turn; other bytes are left alone and do
// not move the table position.
#include "data/scramble.h"

#include <cstdint>
#include <cstring>

#include "data/statmsg.h"
#include "platform/assert.h"
#include "platform/crand.h"
#include "platform/locks.h"

enum { CODE_TABLES = 7, CODE_FIRST = 32, CODE_LAST = 126, CODE_CHARS = CODE_LAST - CODE_FIRST + 1 };
static const uint32_t CODE_SEED = 0x5C1E7B24u;

static unsigned char code_tables[CODE_TABLES][CODE_CHARS + 1];  // NUL-terminated
static unsigned char code_index[CODE_TABLES][CODE_CHARS];       // char - 32 -> index
static int code_tables_built;
static int code_position;

void build_code_tables() {
  KV_ASSERT_CHART_LOCK_HELD();
  uint32_t state = CODE_SEED;
  for (int t = 0; t < CODE_TABLES; t++) {
    unsigned char pool[CODE_CHARS];
    int left = CODE_CHARS;
    for (int i = 0; i < CODE_CHARS; i++) pool[i] = (unsigned char)(CODE_FIRST + i);
    for (int k = 0; k < CODE_CHARS; k++) {
      int r = kv_rand_next(&state) % left;
      unsigned char c = pool[r];
      memmove(pool + r, pool + r + 1, (size_t)(left - r - 1));
      left--;
      code_tables[t][k] = c;
      code_index[t][c - CODE_FIRST] = (unsigned char)k;
    }
    code_tables[t][CODE_CHARS] = 0;
  }
  code_tables_built = 1;
  code_position = 0;
}

void clear_code_tables() {
  KV_ASSERT_CHART_LOCK_HELD();
  memset(code_tables, 0, sizeof code_tables);
  memset(code_index, 0, sizeof code_index);
  code_tables_built = 0;
  code_position = 0;
}

static int printable(unsigned char c) {
  return c >= CODE_FIRST && c <= CODE_LAST;
}

char *scramble_text(char *text) {
  KV_ASSERT_CHART_LOCK_HELD();
  if (!code_tables_built) {
    statmsg("xfileio", __LINE__, "NULL codetable", nullptr, STATMSG_ERROR);
    return nullptr;
  }
  for (unsigned char *p = (unsigned char *)text; *p; p++) {
    if (!printable(*p)) continue;
    *p = (unsigned char)(CODE_FIRST + code_index[code_position][*p - CODE_FIRST]);
    code_position = (code_position + 1) % CODE_TABLES;
  }
  return text;
}

char *unscramble_text(char *text) {
  KV_ASSERT_CHART_LOCK_HELD();
  if (!code_tables_built) {
    statmsg("xfileio", __LINE__, "NULL codetable", nullptr, STATMSG_ERROR);
    return nullptr;
  }
  for (unsigned char *p = (unsigned char *)text; *p; p++) {
    if (!printable(*p)) continue;
    *p = code_tables[code_position][*p - CODE_FIRST];
    code_position = (code_position + 1) % CODE_TABLES;
  }
  return text;
}

char *scramble_locked(char *text) {
  kv_lock guard(g_chart_lock);
  build_code_tables();
  char *r = scramble_text(text);
  clear_code_tables();
  return r;
}

char *unscramble_locked(char *text) {
  kv_lock guard(g_chart_lock);
  build_code_tables();
  char *r = unscramble_text(text);
  clear_code_tables();
  return r;
}

int unscramble_config_text(char *text) {
  if (!text || text[0] != '#' || text[1] != '!') return 0;
  char *nl = strchr(text, '\n');
  size_t skip = nl ? (size_t)(nl + 1 - text) : strlen(text);
  memmove(text, text + skip, strlen(text + skip) + 1);
  unscramble_locked(text);
  return 1;
}
