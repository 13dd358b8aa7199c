// import.cfg and field lists.
#include "data/importfmt.h"

#include <cstring>
#include <mutex>

#include "data/statmsg.h"
#include "data/tokenfile.h"
#include "settings/settings.h"

static std::mutex import_mutex;
static config_file_once import_file;
static token_list &import_cfg = import_file.list;

int read_import_cfg(const char *const **entries) {
  std::lock_guard<std::mutex> guard(import_mutex);
  read_config_once(&import_file, "import.cfg", 2);
  if (!import_cfg.tokens || import_cfg.count < 3) {
    if (entries) *entries = nullptr;
    return 0;
  }
  if (entries) *entries = import_cfg.tokens + 2;
  return import_cfg.count - 2;
}

void free_import_cfg(void) {
  std::lock_guard<std::mutex> guard(import_mutex);
  drop_config_once(&import_file);
}

// Field names and their codes.  Code 0 skips the field; '*' and '\\' are
// markers written in place of a field.
struct field_code {
  const char *name;
  char code;
};

static const field_code field_codes[] = {
    {"timespan", 'p'},
    {"ts", 'p'},
    {"open", 'o'},
    {"o", 'o'},
    {"first", 'o'},
    {"f", 'o'},
    {"high", 'h'},
    {"h", 'h'},
    {"low", 'l'},
    {"l", 'l'},
    {"close", 'c'},
    {"c", 'c'},
    {"last", 'c'},
    {"nav", 'c'},
    {"volume", 'v'},
    {"v", 'v'},
    {"vol", 'v'},
    {"open interest", 'i'},
    {"openinterest", 'i'},
    {"oi", 'i'},
    {"name", 'n'},
    {"n", 'n'},
    {"symbol", 's'},
    {"s", 's'},
    {"ticker", 's'},
    {"skip", 0},
    {"x", 0},
    {"adj. close*", 'j'},
    {"adj close", 'j'},
    {"date", 'd'},
    {"d", 'd'},
    {"week of", 'd'},
    {"time", 't'},
    {"t", 't'},
    {"bid", 'b'},
    {"b", 'b'},
    {"ask", 'a'},
    {"a", 'a'},
    {"use_file_header", '*'},
    {"header", '*'},
    {"*", '*'},
    {"skipline", '\\'},
    {"\\", '\\'},
};

// Appends text to out at *len; 0 when it does not fit.
static int put(char *out, size_t size, size_t *len, const char *text) {
  size_t n = strlen(text);
  if (*len + n >= size) return 0;
  memcpy(out + *len, text, n + 1);
  *len += n;
  return 1;
}

int dataspec_to_format(const char *fields, char *out, size_t size, const char *date_pattern) {
  if (!out || size == 0) return 0;
  out[0] = 0;
  if (!fields) {
    statmsg(__FILE__, __LINE__, "Null dataspec", nullptr, STATMSG_ERROR);
    return 0;
  }
  size_t n = strlen(fields);
  if (n > DATASPEC_MAX) {
    statmsg(__FILE__, __LINE__, "buffer overflow", nullptr, STATMSG_ERROR);
    return 0;
  }
  if (!date_pattern) date_pattern = "";
  char text[DATASPEC_MAX + 1];
  for (size_t i = 0; i <= n; i++) {
    char c = fields[i];
    text[i] = (c >= 'A' && c <= 'Z') ? (char)(c - 'A' + 'a') : c;
  }
  while (n && text[n - 1] == '\n') text[--n] = 0;
  while (n && text[n - 1] == '\t') text[--n] = 0;
  while (n && text[n - 1] == ' ') text[--n] = 0;

  char delim = 0;
  const char *d = strpbrk(text, ",;");
  if (d) delim = *d;
  if (d == text) {
    statmsg(__FILE__, __LINE__, "Invalid delimeter in dataspec", nullptr, STATMSG_ERROR);
    return 0;
  }
  const char delim_text[2] = {delim, 0};
  size_t len = 0;
  char *field = text;
  for (;;) {
    char *end = delim ? strchr(field, delim) : nullptr;
    if (end) *end = 0;
    const field_code *fc = nullptr;
    for (const field_code &f : field_codes)
      if (strcmp(f.name, field) == 0) {
        fc = &f;
        break;
      }
    int ok;
    if (fc && (fc->code == '*' || fc->code == '\\')) {
      const char marker[2] = {fc->code, 0};
      ok = put(out, size, &len, marker);
    } else if (fc) {
      const char code[3] = {'%', fc->code, 0};
      ok = put(out, size, &len, code);
      if (ok && fc->code == 'd') ok = put(out, size, &len, date_pattern);
    } else if (strstr(field, "yy")) {
      ok = put(out, size, &len, "%d") && put(out, size, &len, field);
    } else {
      return 0;  // unknown field: the output ends here
    }
    if (!ok) {
      statmsg(__FILE__, __LINE__, "buffer overflow", nullptr, STATMSG_ERROR);
      return 0;
    }
    if (!end) return 1;
    if (!(fc && (fc->code == '*' || fc->code == '\\')) && !put(out, size, &len, delim_text)) {
      statmsg(__FILE__, __LINE__, "buffer overflow", nullptr, STATMSG_ERROR);
      return 0;
    }
    field = end + 1;
  }
}
