// The profile store: one text file per key, sections of typed values.
//
// File layout, one entry per line ("#" lines are comments):
//   section "Settings1"
//   int "Flags" 1234
//   string "\\PrefDrawDef" "text"
//   binary "Placement" 2c000000...
// Names and strings are quoted with C escapes (\\ \" \n \r \t \xHH), so
// any byte can be stored; binary values are hexadecimal.
#include "platform/profile.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>

#include "platform/files.h"

namespace {

struct pvalue {
  std::string name;
  int type;
  int32_t i;
  std::string data;  // string text or binary bytes
};

struct psection {
  std::string name;
  std::vector<pvalue> values;
};

bool same_name(const std::string &a, const char *b) {
  return strcasecmp(a.c_str(), b) == 0;
}

void quote(std::string &out, const std::string &s) {
  static const char hex[] = "0123456789abcdef";
  out += '"';
  for (unsigned char c : s) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '"':
        out += "\\\"";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20 || c == 0x7F) {
          out += "\\x";
          out += hex[c >> 4];
          out += hex[c & 15];
        } else {
          out += (char)c;
        }
    }
  }
  out += '"';
}

int hexval(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void skip_blanks(const char *&p) {
  while (*p == ' ' || *p == '\t') p++;
}

bool read_word(const char *&p, std::string *out) {
  skip_blanks(p);
  const char *b = p;
  while (*p && *p != ' ' && *p != '\t') p++;
  out->assign(b, p);
  return !out->empty();
}

bool read_quoted(const char *&p, std::string *out) {
  skip_blanks(p);
  if (*p != '"') return false;
  p++;
  out->clear();
  while (*p && *p != '"') {
    if (*p != '\\') {
      *out += *p++;
      continue;
    }
    p++;
    switch (*p) {
      case '\\':
        *out += '\\';
        break;
      case '"':
        *out += '"';
        break;
      case 'n':
        *out += '\n';
        break;
      case 'r':
        *out += '\r';
        break;
      case 't':
        *out += '\t';
        break;
      case 'x': {
        int h = hexval(p[1]), l = h < 0 ? -1 : hexval(p[2]);
        if (l < 0) return false;
        *out += (char)(h * 16 + l);
        p += 2;
        break;
      }
      default:
        return false;
    }
    p++;
  }
  if (*p != '"') return false;
  p++;
  return true;
}

}  // namespace

// One change made through a profile object since its last write.
enum { CHANGE_SET, CHANGE_DELETE_VALUE, CHANGE_DELETE_SECTION };
struct pchange {
  int op;
  std::string section;
  pvalue value;  // the value set, or just the name deleted
};

struct kv_profile {
  std::string key;
  std::string file;
  std::vector<psection> sections;
  // Changes not yet in the file.  A write replays them onto the file as it
  // is on disk then, so two objects open on one key each keep the other's
  // values, as separate writes to one registry key do.
  std::vector<pchange> changes;
  bool held = false;
};

static psection *find_section(std::vector<psection> &sections, const char *section) {
  for (psection &s : sections)
    if (same_name(s.name, section)) return &s;
  return nullptr;
}

static psection *find_section(const kv_profile *p, const char *section) {
  return find_section(const_cast<kv_profile *>(p)->sections, section);
}

static void apply_change(std::vector<psection> &sections, const pchange &c) {
  psection *s = find_section(sections, c.section.c_str());
  if (c.op == CHANGE_DELETE_SECTION) {
    if (s) sections.erase(sections.begin() + (s - sections.data()));
    return;
  }
  if (!s) {
    if (c.op == CHANGE_DELETE_VALUE) return;
    sections.push_back(psection{c.section, {}});
    s = &sections.back();
  }
  for (auto it = s->values.begin(); it != s->values.end(); ++it)
    if (same_name(it->name, c.value.name.c_str())) {
      if (c.op == CHANGE_DELETE_VALUE) {
        s->values.erase(it);
      } else {
        std::string spelling = it->name;  // a name keeps its first spelling
        *it = c.value;
        it->name = spelling;
      }
      return;
    }
  if (c.op == CHANGE_SET) s->values.push_back(c.value);
}

static pvalue *find_value(const kv_profile *p, const char *section, const char *name) {
  psection *s = find_section(p, section);
  if (!s) return nullptr;
  for (pvalue &v : s->values)
    if (same_name(v.name, name)) return &v;
  return nullptr;
}

static bool parse_profile(kv_profile *p, const std::string &text) {
  psection *cur = nullptr;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t eol = text.find('\n', pos);
    if (eol == std::string::npos) eol = text.size();
    std::string line = text.substr(pos, eol - pos);
    pos = eol + 1;
    const char *q = line.c_str();
    skip_blanks(q);
    if (!*q || *q == '#') continue;
    std::string kw, name, val;
    if (!read_word(q, &kw) || !read_quoted(q, &name)) return false;
    if (kw == "section") {
      cur = find_section(p, name.c_str());
      if (!cur) {
        p->sections.push_back(psection{name, {}});
        cur = &p->sections.back();
      }
      continue;
    }
    if (!cur) return false;
    pvalue v{name, KV_PROFILE_NONE, 0, ""};
    if (kw == "int") {
      if (!read_word(q, &val)) return false;
      char *end;
      long long n = strtoll(val.c_str(), &end, 10);
      if (*end) return false;
      v.type = KV_PROFILE_INT;
      v.i = (int32_t)n;
    } else if (kw == "string") {
      if (!read_quoted(q, &v.data)) return false;
      v.type = KV_PROFILE_STRING;
    } else if (kw == "binary") {
      read_word(q, &val);
      if (val.size() % 2) return false;
      for (size_t i = 0; i < val.size(); i += 2) {
        int h = hexval(val[i]), l = hexval(val[i + 1]);
        if (h < 0 || l < 0) return false;
        v.data += (char)(h * 16 + l);
      }
      v.type = KV_PROFILE_BINARY;
    } else {
      return false;
    }
    bool replaced = false;
    for (pvalue &old : cur->values)
      if (same_name(old.name, name.c_str())) {
        old = v;
        replaced = true;
      }
    if (!replaced) cur->values.push_back(v);
  }
  return true;
}

static std::string format_profile(const kv_profile *p) {
  static const char hex[] = "0123456789abcdef";
  std::string out = "# settings of ";
  out += p->key;
  out += '\n';
  for (const psection &s : p->sections) {
    out += "section ";
    quote(out, s.name);
    out += '\n';
    for (const pvalue &v : s.values) {
      if (v.type == KV_PROFILE_INT) {
        out += "int ";
        quote(out, v.name);
        out += ' ';
        out += std::to_string(v.i);
      } else if (v.type == KV_PROFILE_STRING) {
        out += "string ";
        quote(out, v.name);
        out += ' ';
        quote(out, v.data);
      } else {
        out += "binary ";
        quote(out, v.name);
        out += ' ';
        for (unsigned char c : v.data) {
          out += hex[c >> 4];
          out += hex[c & 15];
        }
      }
      out += '\n';
    }
  }
  return out;
}

std::string kv_profile_path(const char *key) {
  std::string k = kv_path_normalized(key);
  if (strncasecmp(k.c_str(), "Software/", 9) == 0) k = k.substr(9);
  while (!k.empty() && k[0] == '/') k.erase(0, 1);
  while (!k.empty() && k.back() == '/') k.pop_back();
  if (k.empty()) return "";
  // Every component must be a plain name.
  size_t i = 0;
  while (i <= k.size()) {
    size_t j = k.find('/', i);
    if (j == std::string::npos) j = k.size();
    std::string c = k.substr(i, j - i);
    if (c.empty() || c == "." || c == "..") return "";
    i = j + 1;
  }
  std::string base;
  const char *x = getenv("XDG_CONFIG_HOME");
  if (x && *x) {
    base = x;
  } else {
    const char *h = getenv("HOME");
    base = std::string(h && *h ? h : ".") + "/.config";
  }
  return base + "/" + k + ".profile";
}

kv_profile *kv_profile_open(const char *key) {
  std::string file = kv_profile_path(key);
  if (file.empty()) return nullptr;
  kv_profile *p = new kv_profile;
  p->key = key;
  p->file = file;
  std::string text;
  kv_file_error err;
  if (kv_read_file(file.c_str(), &text, &err)) {
    if (!parse_profile(p, text)) {
      delete p;
      errno = EINVAL;
      return nullptr;
    }
  } else if (err.os_error != ENOENT) {
    delete p;
    errno = err.os_error;
    return nullptr;
  }
  return p;
}

const char *kv_profile_file(const kv_profile *p) {
  return p->file.c_str();
}

int kv_profile_flush(kv_profile *p) {
  if (p->changes.empty()) return 1;
  kv_file_error err;
  // Start from the file as it is now (another object may have written it
  // since this one was opened); a missing or damaged file leaves this
  // object's own view.
  std::string disk_text;
  if (kv_read_file(p->file.c_str(), &disk_text, &err)) {
    kv_profile disk;
    if (parse_profile(&disk, disk_text)) {
      for (const pchange &c : p->changes) apply_change(disk.sections, c);
      p->sections = std::move(disk.sections);
    }
  } else if (err.os_error == ENOENT && p->sections.empty()) {
    p->changes.clear();  // nothing to store: no file is made for it
    return 1;
  }
  std::string dir = kv_path_dir_name(p->file.c_str());
  if (!kv_make_dirs(dir.c_str(), &err)) {
    errno = err.os_error;
    return 0;
  }
  std::string text = format_profile(p);
  if (!kv_write_file_atomic(p->file.c_str(), text.data(), text.size(), &err, 0600)) {
    errno = err.os_error;
    return 0;
  }
  chmod(p->file.c_str(), 0600);
  p->changes.clear();
  return 1;
}

void kv_profile_close(kv_profile *p) {
  if (!p) return;
  kv_profile_flush(p);
  delete p;
}

int kv_profile_hold(kv_profile *p, int hold) {
  p->held = hold != 0;
  return p->held ? 1 : kv_profile_flush(p);
}

// Applies a change in memory, notes it for the file, and writes the file
// unless the profile is held.
static int change(kv_profile *p, int op, const char *section, const pvalue &v) {
  pchange c{op, section, v};
  apply_change(p->sections, c);
  p->changes.push_back(std::move(c));
  return p->held ? 1 : kv_profile_flush(p);
}

int kv_profile_value_type(const kv_profile *p, const char *section, const char *name) {
  pvalue *v = find_value(p, section, name);
  return v ? v->type : KV_PROFILE_NONE;
}

int32_t kv_profile_get_int(const kv_profile *p, const char *section, const char *name,
                           int32_t def) {
  pvalue *v = find_value(p, section, name);
  return v && v->type == KV_PROFILE_INT ? v->i : def;
}

std::string kv_profile_get_string(const kv_profile *p, const char *section, const char *name,
                                  const char *def) {
  pvalue *v = find_value(p, section, name);
  if (v && v->type == KV_PROFILE_STRING) return v->data;
  return def ? def : "";
}

size_t kv_profile_get_string(const kv_profile *p, const char *section, const char *name,
                             const char *def, char *buf, size_t size) {
  std::string s = kv_profile_get_string(p, section, name, def);
  if (size) {
    size_t n = s.size() < size - 1 ? s.size() : size - 1;
    memcpy(buf, s.data(), n);
    buf[n] = 0;
  }
  return s.size();
}

int kv_profile_get_binary(const kv_profile *p, const char *section, const char *name,
                          std::vector<uint8_t> *out) {
  pvalue *v = find_value(p, section, name);
  if (!v || v->type != KV_PROFILE_BINARY) return 0;
  out->assign(v->data.begin(), v->data.end());
  return 1;
}

int kv_profile_write_int(kv_profile *p, const char *section, const char *name, int32_t value) {
  return change(p, CHANGE_SET, section, pvalue{name, KV_PROFILE_INT, value, ""});
}

int kv_profile_write_string(kv_profile *p, const char *section, const char *name,
                            const char *value) {
  return change(p, CHANGE_SET, section, pvalue{name, KV_PROFILE_STRING, 0, value ? value : ""});
}

int kv_profile_write_binary(kv_profile *p, const char *section, const char *name, const void *data,
                            size_t len) {
  return change(p, CHANGE_SET, section,
                pvalue{name, KV_PROFILE_BINARY, 0, std::string((const char *)data, len)});
}

// Deleting what this object does not see still reaches the file: another
// object may have written it meanwhile.
int kv_profile_delete_value(kv_profile *p, const char *section, const char *name) {
  return change(p, CHANGE_DELETE_VALUE, section, pvalue{name, KV_PROFILE_NONE, 0, ""});
}

int kv_profile_delete_section(kv_profile *p, const char *section) {
  return change(p, CHANGE_DELETE_SECTION, section, pvalue{"", KV_PROFILE_NONE, 0, ""});
}

std::vector<std::string> kv_profile_sections(const kv_profile *p) {
  std::vector<std::string> r;
  for (const psection &s : p->sections) r.push_back(s.name);
  return r;
}

std::vector<std::string> kv_profile_value_names(const kv_profile *p, const char *section) {
  std::vector<std::string> r;
  if (psection *s = find_section(p, section))
    for (const pvalue &v : s->values) r.push_back(v.name);
  return r;
}
