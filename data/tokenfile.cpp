// Token files: configuration texts cleaned of comments and blank lines and
// split into blank-separated, double-quote-quoted tokens.
#include "data/tokenfile.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "data/scramble.h"
#include "data/statmsg.h"
#include "platform/files.h"
#include "settings/datadirs.h"
#include "settings/settings.h"

static const char SOURCE[] = "xfileio";
enum { TOKEN_LINE_MAX = 256 };

void strip_cr(char *text) {
  if (!text) return;
  char *w = text;
  for (char *r = text; *r; r++)
    if (*r != '\r') *w++ = *r;
  *w = 0;
}

void clean_config_text(char *text) {
  if (!text) return;
  char *r = text;
  char *w = text;
  while (*r) {
    while (*r == ' ' || *r == '\t') r++;
    char *line = w;
    while (*r && *r != '\n' && *r != '#') *w++ = *r++;
    if (*r == '#') {
      while (w > line && (w[-1] == ' ' || w[-1] == '\t')) w--;
      while (*r && *r != '\n') r++;
    }
    int empty = 1;
    for (char *p = line; p < w; p++)
      if (*p != ' ' && *p != '\t') empty = 0;
    if (empty) {
      w = line;
      if (*r == '\n') r++;
      continue;
    }
    if (*r == '\n') *w++ = *r++;
  }
  *w = 0;
}

char *cfg_read_line(char *buf, int size, char **cursor) {
  if (!buf || size <= 0 || !cursor || !*cursor || !**cursor) return nullptr;
  char *p = *cursor;
  int n = 0;
  while (*p && n < size - 1) {
    char c = *p++;
    buf[n++] = c;
    if (c == '\n') break;
  }
  // A line longer than the buffer is cut; the rest of it is skipped.
  if (n > 0 && buf[n - 1] != '\n') {
    while (*p && *p != '\n') p++;
    if (*p == '\n') p++;
  }
  buf[n] = 0;
  *cursor = p;
  return buf;
}

char *read_file_line(char *buf, int size, FILE *f) {
  if (!buf || size <= 0 || !f) return nullptr;
  int n = 0;
  int c = EOF;
  int got = 0;
  while (n < size - 1 && (c = fgetc(f)) != EOF) {
    got = 1;
    if (c == '\r') continue;
    buf[n++] = (char)c;
    if (c == '\n') break;
  }
  buf[n] = 0;
  return got ? buf : nullptr;
}

char *data_path(char *buf, const char *dir, const char *file) {
  std::string p = g_data_root;
  if (dir && *dir) {
    int folder = data_folder_by_name(dir);
    p = kv_path_join(p, folder >= 0 ? data_folder_name(folder) : dir);
  }
  if (file && *file) p = kv_path_join(p, file);
  if (p.size() >= KV_MAX_PATH) p.resize(KV_MAX_PATH - 1);
  memcpy(buf, p.c_str(), p.size() + 1);
  return buf;
}

// Splits one cleaned line into tokens.  per_line > 0: exactly that many, the
// last one the rest of the line, missing ones empty.
static void tokenize_line(char *line, int per_line, const char *path, int line_no,
                          std::vector<std::string> *out) {
  char *p = line;
  int taken = 0;
  for (;;) {
    if (per_line > 0 && taken == per_line) break;
    while (*p == ' ' || *p == '\t') p++;
    if (!*p) break;
    const char *start = p;
    size_t len;
    int last = per_line > 0 && taken == per_line - 1;
    if (*p == '"') {
      char *close = strchr(p + 1, '"');
      if (close) {
        start = p + 1;
        len = (size_t)(close - start);
        p = close + 1;
      } else {
        char msg[512];
        snprintf(msg, sizeof msg, "Unbalanced \" in file: %s, line %d", path, line_no);
        statmsg(nullptr, 0, msg, nullptr, STATMSG_ALERT);
        start = p + 1;
        p = (char *)start;
        while (*p && *p != ' ' && *p != '\t') p++;
        len = (size_t)(p - start);
      }
    } else if (last) {
      len = strlen(p);
      p += len;
    } else {
      while (*p && *p != ' ' && *p != '\t') p++;
      len = (size_t)(p - start);
    }
    out->emplace_back(start, len);
    taken++;
  }
  if (per_line > 0)
    for (; taken < per_line; taken++) out->emplace_back();
}

char **pack_string_block(const std::vector<std::string> &toks) {
  size_t text = 0;
  for (const std::string &t : toks) text += t.size() + 1;
  size_t array_at = (text + 15) & ~(size_t)15;
  size_t total = array_at + (toks.size() + 2) * sizeof(char *);
  char *block = (char *)malloc(total);
  if (!block) return nullptr;
  char **ptrs = (char **)(block + array_at);
  char *w = block;
  for (size_t i = 0; i < toks.size(); i++) {
    memcpy(w, toks[i].c_str(), toks[i].size() + 1);
    ptrs[i] = w;
    w += toks[i].size() + 1;
  }
  ptrs[toks.size()] = nullptr;
  ptrs[toks.size() + 1] = block;
  return ptrs;
}

int read_token_file(const char *path, int *count, char ***tokens, int mode) {
  if (count) *count = 0;
  if (tokens) *tokens = nullptr;
  std::string data;
  if (!path || !kv_read_file(path, &data, nullptr)) {
    if (!(mode & TOKEN_FILE_QUIET))
      statmsg(SOURCE, __LINE__, "can't open file:", path ? path : "", STATMSG_ERROR);
    return 0;
  }
  return tokens_from_text(data.data(), data.size(), path, mode, count, tokens);
}

int tokens_from_text(const char *data, size_t size, const char *name, int mode, int *count,
                     char ***tokens) {
  if (count) *count = 0;
  if (tokens) *tokens = nullptr;
  std::vector<char> text(data, data + size);
  text.push_back(0);
  char *t = text.data();
  strip_cr(t);
  unscramble_config_text(t);
  clean_config_text(t);

  int per_line = mode & TOKENS_PER_LINE_MASK;
  std::vector<std::string> toks;
  char line[TOKEN_LINE_MAX];
  char *cursor = t;
  int line_no = 0;
  while (cfg_read_line(line, sizeof line, &cursor)) {
    line_no++;
    if (line[0] == '#') continue;
    line[strcspn(line, "#\n")] = 0;
    size_t n = strlen(line);
    while (n > 0 && (line[n - 1] == ' ' || line[n - 1] == '\t')) line[--n] = 0;
    tokenize_line(line, per_line, name, line_no, &toks);
  }
  if (toks.empty()) return 1;
  char **ptrs = pack_string_block(toks);
  if (!ptrs) {
    statmsg(SOURCE, __LINE__, "can't malloc", nullptr, STATMSG_ERROR);
    return 0;
  }
  if (count) *count = (int)toks.size();
  if (tokens)
    *tokens = ptrs;
  else
    free_tokens(ptrs);
  return 1;
}

int read_token_file(const char *path, token_list *list, int mode) {
  return read_token_file(path, &list->count, &list->tokens, mode);
}

void free_tokens(char **tokens) {
  if (!tokens) return;
  char **p = tokens;
  while (*p) p++;
  free(p[1]);
}

void free_token_list(token_list *list) {
  if (!list) return;
  free_tokens(list->tokens);
  list->tokens = nullptr;
  list->count = 0;
}

void read_config_once(config_file_once *cfg, const char *name, int mode) {
  if (cfg->read) return;
  cfg->read = true;
  char path[KV_PATH_MAX * 2];
  if (!data_folder_path(path, sizeof path, KV_DIR_CONFIG, name) ||
      !read_token_file(path, &cfg->list, mode | TOKEN_FILE_QUIET)) {
    cfg->list.count = 0;
    cfg->list.tokens = nullptr;
    statmsg(__FILE__, __LINE__, "Unable to read file:", path, STATMSG_ERROR);
  }
}

void drop_config_once(config_file_once *cfg) {
  free_token_list(&cfg->list);
  cfg->list.count = 0;
  cfg->list.tokens = nullptr;
  cfg->read = false;
}
