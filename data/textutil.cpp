// Text helpers: tokenizers over a caller's cursor, symbol-expression words,
// bounded copies, wildcard matching and XML element search.
#include "data/textutil.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

char *next_token(char **cursor, const char *delims) {
  if (!cursor || !*cursor) return nullptr;
  char *p = *cursor;
  p += strspn(p, delims);
  if (!*p) {
    *cursor = p;
    return nullptr;
  }
  char *tok = p;
  p += strcspn(p, delims);
  if (*p) *p++ = 0;
  *cursor = p;
  return tok;
}

int next_token_int(char **cursor, const char *delims) {
  char *tok = next_token(cursor, delims);
  return tok ? atoi(tok) : 0;
}

char *next_token_until(char **cursor, char quote) {
  if (!cursor || !*cursor || !**cursor) return nullptr;
  char *p = *cursor;
  char *eol = p + strcspn(p, "\r\n");
  char *open = nullptr;
  for (char *q = p; q < eol; q++)
    if (*q == quote) {
      open = q;
      break;
    }
  if (!open) return next_token(cursor, " \t\n");
  char *tok = open + 1;
  char *close = tok;
  while (close < eol && *close != quote) close++;
  if (close < eol) {
    *close = 0;
    *cursor = close + 1;
  } else if (*eol) {
    *eol = 0;
    *cursor = eol + 1;
  } else {
    *cursor = eol;
  }
  return tok;
}

char *next_quoted_token(char **cursor, const char *delim) {
  if (!cursor || !*cursor) return nullptr;
  char *p = *cursor;
  while (*p == ' ' || *p == '\t') p++;
  char *tok = p;
  char *search = p;
  if (*p == '"') {
    tok = p + 1;
    char *close = strchr(tok, '"');
    if (close) {
      *close = 0;
      search = close + 1;
    } else {
      search = tok + strlen(tok);
    }
  }
  char *end = nullptr;
  if (delim && *delim) end = strstr(search, delim);
  if (end) {
    *end = 0;
    *cursor = end + strlen(delim);
  } else {
    *cursor = search + strlen(search);
  }
  while (*tok == ' ' || *tok == '\t' || *tok == '<') tok++;
  size_t n = strlen(tok);
  while (n > 0 && (tok[n - 1] == ' ' || tok[n - 1] == '\t' || tok[n - 1] == '>')) tok[--n] = 0;
  return tok;
}

int split_words(const char *text, char **words, int max) {
  static char buf[512];
  int count = 0;
  size_t used = 0;
  const char *p = text ? text : "";
  while (*p && count <= max) {
    while (*p == ' ' || *p == '\t') p++;
    if (!*p) break;
    const char *start = p;
    size_t len;
    if (*p == '"') {
      start = ++p;
      while (*p && *p != '"') p++;
      len = (size_t)(p - start);
      if (*p == '"') p++;
    } else if (*p == '+' || (*p == '-' && count == 0)) {
      len = 1;
      p++;
    } else {
      while (*p && *p != ' ' && *p != '\t' && *p != '"' && *p != '+') p++;
      len = (size_t)(p - start);
    }
    if (used + len + 1 > sizeof buf) break;
    memcpy(buf + used, start, len);
    buf[used + len] = 0;
    words[count++] = buf + used;
    used += len + 1;
  }
  return count;
}

void copy_string_n(char *dst, const char *src, int n) {
  if (n < 0) n = 0;
  int i = 0;
  for (; i < n && src[i]; i++) dst[i] = src[i];
  for (; i <= n; i++) dst[i] = 0;
}

void strip_commas(char *text) {
  char *w = text;
  for (char *r = text; *r; r++)
    if (*r != ',') *w++ = *r;
  *w = 0;
}

int match_char_set(const char **pattern, char c) {
  const char *p = *pattern;
  int negate = 0;
  int found = 0;
  int lc = tolower((unsigned char)c);
  if (*p == '!') {
    negate = 1;
    p++;
  }
  while (*p && *p != ']') {
    int lo = tolower((unsigned char)*p);
    if (p[1] == '-' && p[2] && p[2] != ']') {
      int hi = tolower((unsigned char)p[2]);
      if (lc >= lo && lc <= hi) found = 1;
      p += 3;
    } else {
      if (lc == lo) found = 1;
      p++;
    }
  }
  if (*p == ']') p++;
  *pattern = p;
  return found != negate;
}

int wildcard_match(const char *pattern, const char *text) {
  const char *p = pattern;
  const char *t = text;
  while (*p) {
    if (*p == '*') {
      while (*p == '*') p++;
      if (!*p) return 0;
      for (;;) {
        int r = wildcard_match(p, t);
        if (r == 0) return 0;
        if (!*t) return r;
        t++;
      }
    }
    if (!*t) return 1;
    if (*p == '[') {
      p++;
      if (!match_char_set(&p, *t)) return -1;
      t++;
      continue;
    }
    if (*p != '?' && tolower((unsigned char)*p) != tolower((unsigned char)*t)) return -1;
    p++;
    t++;
  }
  return *t ? -1 : 0;
}

char *find_xml_element(char *text, char **rest, const char *name) {
  if (rest) *rest = nullptr;
  if (!text || !name) return nullptr;
  size_t nlen = strlen(name);
  char *open = text;
  for (;;) {
    open = strchr(open, '<');
    if (!open) return nullptr;
    if (strncmp(open + 1, name, nlen) == 0) break;
    open++;
  }
  char *gt = strchr(open + 1 + nlen, '>');
  if (!gt) return nullptr;
  char *content = gt + 1;
  char *close = content;
  for (;;) {
    close = strstr(close, "</");
    if (!close) return content;  // no closing tag: the content runs to the end
    if (strncmp(close + 2, name, nlen) == 0 && close[2 + nlen] == '>') break;
    close += 2;
  }
  *close = 0;
  char *after = close + 3 + nlen;
  if (rest) *rest = *after ? after : nullptr;
  return content;
}
