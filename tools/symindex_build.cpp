#include "tools/symindex_build.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

int sym_table_init(sym_table* t) {
  t->pool = static_cast<char*>(std::malloc(SYMINDEX_POOL_BYTES));
  t->pairs = static_cast<sym_pair*>(std::malloc(sizeof(sym_pair) * SYMINDEX_MAX_PAIRS));
  t->pool_used = 0;
  t->count = 0;
  if (!t->pool || !t->pairs) {
    sym_table_free(t);
    return 0;
  }
  return 1;
}

void sym_table_free(sym_table* t) {
  std::free(t->pool);
  std::free(t->pairs);
  t->pool = nullptr;
  t->pairs = nullptr;
  t->pool_used = 0;
  t->count = 0;
}

int read_symdir_line(FILE* f, char* buf) {
  int c = std::getc(f);
  if (c == EOF) return 0;
  size_t len = 0;
  bool text_ended = false;  // a NUL byte or the length limit was reached
  for (; c != EOF && c != '\n'; c = std::getc(f)) {
    if (text_ended) continue;
    if (c == 0 || len == SYMINDEX_LINE_MAX) {
      text_ended = true;
      continue;
    }
    buf[len++] = static_cast<char>(c);
  }
  // A CR of a CR LF line end is not part of the text.
  if (!text_ended && len > 0 && buf[len - 1] == '\r') len--;
  buf[len] = 0;
  return 1;
}

sym_add_result sym_table_add_line(sym_table* t, const char* line) {
  const char* bar = std::strchr(line, '|');
  if (!bar) return SYM_SKIPPED;
  size_t sym_len = static_cast<size_t>(bar - line);
  const char* name = bar + 1;
  const char* name_end = std::strchr(name, '|');
  size_t name_len = name_end ? static_cast<size_t>(name_end - name) : std::strlen(name);
  if (sym_len == 0 || name_len == 0) return SYM_SKIPPED;
  if (std::memchr(line, '$', sym_len)) return SYM_SKIPPED;

  if (t->count >= SYMINDEX_MAX_PAIRS) return SYM_TABLE_FULL;
  size_t need = sym_len + 1 + name_len + 1;
  if (need > SYMINDEX_POOL_BYTES - t->pool_used) return SYM_POOL_FULL;

  char* sym = t->pool + t->pool_used;
  std::memcpy(sym, line, sym_len);
  sym[sym_len] = 0;
  char* nm = sym + sym_len + 1;
  std::memcpy(nm, name, name_len);
  nm[name_len] = 0;
  t->pool_used += need;
  t->pairs[t->count].symbol = sym;
  t->pairs[t->count].name = nm;
  t->count++;
  return SYM_ADDED;
}

void sym_table_sort(sym_table* t) {
  // strcmp compares as unsigned char, which is the index's order.
  std::stable_sort(t->pairs, t->pairs + t->count, [](const sym_pair& a, const sym_pair& b) {
    return std::strcmp(a.symbol, b.symbol) < 0;
  });
}

std::string symbol_index_image(const sym_table* t) {
  std::string image;
  image.reserve(t->pool_used + 1);
  for (int i = 0; i < t->count; i++) {
    image.append(t->pairs[i].symbol);
    image.push_back('\0');
    image.append(t->pairs[i].name);
    image.push_back('\0');
  }
  image.push_back('\0');
  return image;
}
