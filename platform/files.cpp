// Files and folders: paths, case-tolerant lookup, atomic replace, copy,
// move, listing, and file errors that keep their cause.
#include "platform/files.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

// ---- errors -----------------------------------------------------------------

const char *kv_file_cause_name(int cause) {
  static const char *const names[] = {
      "none",         "generic",          "fileNotFound",     "badPath",       "tooManyOpenFiles",
      "accessDenied", "invalidFile",      "removeCurrentDir", "directoryFull", "badSeek",
      "hardIO",       "sharingViolation", "lockViolation",    "diskFull",      "endOfFile"};
  if (cause < 0 || cause >= (int)(sizeof names / sizeof names[0])) return "unknown";
  return names[cause];
}

int kv_file_cause_from_errno(int err) {
  switch (err) {
    case 0:
      return KV_FE_NONE;
    case ENOENT:
      return KV_FE_FILE_NOT_FOUND;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
    case EINVAL:
      return KV_FE_BAD_PATH;
    case EMFILE:
    case ENFILE:
      return KV_FE_TOO_MANY_OPEN_FILES;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case EEXIST:
      return KV_FE_ACCESS_DENIED;
    case EBADF:
      return KV_FE_INVALID_FILE;
    case EBUSY:
    case ETXTBSY:
      return KV_FE_SHARING_VIOLATION;
    case ENOTEMPTY:
      return KV_FE_DIRECTORY_FULL;
    case ESPIPE:
      return KV_FE_BAD_SEEK;
    case EIO:
      return KV_FE_HARD_IO;
    case EDEADLK:
    case ENOLCK:
      return KV_FE_LOCK_VIOLATION;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return KV_FE_DISK_FULL;
    default:
      return KV_FE_GENERIC;
  }
}

void kv_file_error_set(kv_file_error *err, int e, const char *file) {
  if (!err) return;
  err->cause = kv_file_cause_from_errno(e);
  err->os_error = e;
  snprintf(err->file, sizeof err->file, "%s", file ? file : "");
}

void kv_format_file_error(char *buf, size_t size, const kv_file_error *err) {
  snprintf(buf, size, "CFileException::%s(%d) for %s", kv_file_cause_name(err->cause), err->cause,
           err->file);
}

// ---- paths ------------------------------------------------------------------

void kv_path_normalize(char *path) {
  for (char *p = path; *p; p++)
    if (*p == '\\') *p = '/';
}

std::string kv_path_normalized(const char *path) {
  std::string s = path ? path : "";
  std::replace(s.begin(), s.end(), '\\', '/');
  return s;
}

std::string kv_path_join(const std::string &a, const std::string &b) {
  std::string bb = kv_path_normalized(b.c_str());
  if (a.empty()) return bb;
  std::string aa = kv_path_normalized(a.c_str());
  while (aa.size() > 1 && aa.back() == '/') aa.pop_back();
  size_t i = 0;
  while (i < bb.size() && bb[i] == '/') i++;
  if (aa == "/") return aa + bb.substr(i);
  return aa + "/" + bb.substr(i);
}

int kv_path_join(char *out, size_t size, const char *a, const char *b) {
  std::string s = kv_path_join(std::string(a ? a : ""), std::string(b ? b : ""));
  if (s.size() + 1 > size) {
    if (size) out[0] = 0;
    return 0;
  }
  memcpy(out, s.c_str(), s.size() + 1);
  return 1;
}

const char *kv_path_base_name(const char *path) {
  const char *b = path;
  for (const char *p = path; *p; p++)
    if (*p == '/' || *p == '\\') b = p + 1;
  return b;
}

std::string kv_path_dir_name(const char *path) {
  const char *b = kv_path_base_name(path);
  if (b == path) return "";
  std::string d(path, b - path - 1);
  if (d.empty()) return "/";
  return kv_path_normalized(d.c_str());
}

int kv_symbol_file_name_ok(const char *symbol) {
  if (!symbol || !*symbol) return 0;
  if (!strcmp(symbol, ".") || !strcmp(symbol, "..")) return 0;
  for (const unsigned char *p = (const unsigned char *)symbol; *p; p++)
    if (*p < 0x20 || *p == 0x7F || *p == '/' || *p == '\\') return 0;
  return 1;
}

// ---- existence and case ------------------------------------------------------

int kv_file_exists(const char *path) {
  struct stat st;
  return stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

int kv_dir_exists(const char *path) {
  struct stat st;
  return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

static bool path_exists(const std::string &p) {
  struct stat st;
  return lstat(p.c_str(), &st) == 0;
}

static std::string child(const std::string &dir, const std::string &name) {
  if (dir.empty()) return name;
  if (dir == "/") return "/" + name;
  return dir + "/" + name;
}

// Resolves comps[k..] below dir.  Where the exact name is missing, every
// entry equal without regard to case is tried in turn, so "DATA" finds
// "Data/ibm.dyd" even when a folder "data" exists beside it.
static std::string resolve_from(const std::string &dir, const std::vector<std::string> &comps,
                                size_t k) {
  if (k == comps.size()) return dir.empty() ? "." : dir;
  const std::string &c = comps[k];
  std::string exact = child(dir, c);
  if (c == "." || c == ".." || path_exists(exact)) {
    std::string r = resolve_from(exact, comps, k + 1);
    if (!r.empty() || c == "." || c == "..") return r;
  }
  std::vector<std::string> candidates;
  if (DIR *d = opendir(dir.empty() ? "." : dir.c_str())) {
    while (struct dirent *e = readdir(d))
      if (strcasecmp(e->d_name, c.c_str()) == 0 && c != e->d_name) candidates.push_back(e->d_name);
    closedir(d);
  }
  std::sort(candidates.begin(), candidates.end());
  for (const std::string &n : candidates) {
    std::string r = resolve_from(child(dir, n), comps, k + 1);
    if (!r.empty()) return r;
  }
  return "";
}

std::string kv_resolve_case(const char *path) {
  std::string p = kv_path_normalized(path);
  if (p.empty()) return "";
  if (path_exists(p)) return p;
  std::vector<std::string> comps;
  size_t i = 0;
  while (i < p.size()) {
    size_t j = p.find('/', i);
    if (j == std::string::npos) j = p.size();
    if (j > i) comps.push_back(p.substr(i, j - i));
    i = j + 1;
  }
  return resolve_from(p[0] == '/' ? "/" : "", comps, 0);
}

int kv_resolve_case(const char *path, char *out, size_t size) {
  std::string s = kv_resolve_case(path);
  if (s.empty() || s.size() + 1 > size) {
    if (size) out[0] = 0;
    return 0;
  }
  memcpy(out, s.c_str(), s.size() + 1);
  return 1;
}

int kv_open_existing(const char *path, int flags, kv_file_error *err) {
  std::string p = kv_path_normalized(path);
  int fd = open(p.c_str(), (flags & ~O_CREAT) | O_CLOEXEC);
  if (fd >= 0) return fd;
  int e = errno;
  if (e == ENOENT) {
    std::string r = kv_resolve_case(p.c_str());
    if (!r.empty()) {
      fd = open(r.c_str(), (flags & ~O_CREAT) | O_CLOEXEC);
      if (fd >= 0) return fd;
      e = errno;
    }
  }
  kv_file_error_set(err, e, p.c_str());
  return -1;
}

FILE *kv_fopen_existing(const char *path, const char *mode, kv_file_error *err) {
  std::string p = kv_path_normalized(path);
  FILE *f = fopen(p.c_str(), mode);
  if (f) return f;
  int e = errno;
  if (e == ENOENT) {
    std::string r = kv_resolve_case(p.c_str());
    if (!r.empty()) {
      f = fopen(r.c_str(), mode);
      if (f) return f;
      e = errno;
    }
  }
  kv_file_error_set(err, e, p.c_str());
  return nullptr;
}

// ---- whole files ------------------------------------------------------------

int kv_read_file(const char *path, std::string *out, kv_file_error *err) {
  int fd = kv_open_existing(path, O_RDONLY, err);
  if (fd < 0) return 0;
  out->clear();
  char buf[65536];
  for (;;) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      kv_file_error_set(err, errno, path);
      close(fd);
      return 0;
    }
    if (n == 0) break;
    out->append(buf, (size_t)n);
  }
  close(fd);
  return 1;
}

struct kv_atomic_file {
  std::string path;  // final name
  std::string tmp;   // temporary file beside it
  FILE *f;
};

// The target: the existing file whatever its case, so that a replace
// never leaves two files whose names differ only in case.
static std::string replace_target(const char *path) {
  std::string p = kv_path_normalized(path);
  if (!path_exists(p)) {
    std::string r = kv_resolve_case(p.c_str());
    if (!r.empty()) return r;
  }
  return p;
}

kv_atomic_file *kv_atomic_begin(const char *path, kv_file_error *err, unsigned mode) {
  std::string target = replace_target(path);
  std::string dir = kv_path_dir_name(target.c_str());
  std::string tmpl = kv_path_join(dir.empty() ? std::string(".") : dir,
                                  std::string(".") + kv_path_base_name(target.c_str()) + ".XXXXXX");
  std::vector<char> name(tmpl.begin(), tmpl.end());
  name.push_back(0);
  int fd = mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) {
    kv_file_error_set(err, errno, target.c_str());
    return nullptr;
  }
  struct stat st;
  mode_t m = stat(target.c_str(), &st) == 0 ? (st.st_mode & 07777) : (mode_t)mode;
  fchmod(fd, m);
  FILE *f = fdopen(fd, "wb");
  if (!f) {
    kv_file_error_set(err, errno, target.c_str());
    close(fd);
    unlink(name.data());
    return nullptr;
  }
  return new kv_atomic_file{target, name.data(), f};
}

FILE *kv_atomic_stream(kv_atomic_file *f) {
  return f ? f->f : nullptr;
}

static void sync_dir_of(const std::string &path) {
  std::string dir = kv_path_dir_name(path.c_str());
  int fd = open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    fsync(fd);
    close(fd);
  }
}

int kv_atomic_commit(kv_atomic_file *f, kv_file_error *err) {
  if (!f) return 0;
  int e = 0;
  if (fflush(f->f) != 0 || ferror(f->f)) e = errno ? errno : EIO;
  if (!e && fsync(fileno(f->f)) != 0) e = errno;
  if (fclose(f->f) != 0 && !e) e = errno;
  if (!e && rename(f->tmp.c_str(), f->path.c_str()) != 0) e = errno;
  if (e) {
    unlink(f->tmp.c_str());
    kv_file_error_set(err, e, f->path.c_str());
    delete f;
    return 0;
  }
  sync_dir_of(f->path);
  delete f;
  return 1;
}

void kv_atomic_abort(kv_atomic_file *f) {
  if (!f) return;
  fclose(f->f);
  unlink(f->tmp.c_str());
  delete f;
}

int kv_write_file_atomic(const char *path, const void *data, size_t len, kv_file_error *err,
                         unsigned mode) {
  kv_atomic_file *f = kv_atomic_begin(path, err, mode);
  if (!f) return 0;
  errno = 0;
  if (len && fwrite(data, 1, len, f->f) != len) {
    int e = errno ? errno : EIO;
    kv_file_error_set(err, e, f->path.c_str());
    kv_atomic_abort(f);
    return 0;
  }
  return kv_atomic_commit(f, err);
}

int kv_copy_file(const char *from, const char *to, int fail_if_exists, kv_file_error *err) {
  if (fail_if_exists && !kv_resolve_case(to).empty()) {
    kv_file_error_set(err, EEXIST, to);
    return 0;
  }
  int in = kv_open_existing(from, O_RDONLY, err);
  if (in < 0) return 0;
  struct stat st;
  unsigned mode = fstat(in, &st) == 0 ? (st.st_mode & 07777) : 0644;
  kv_atomic_file *f = kv_atomic_begin(to, err, mode);
  if (!f) {
    close(in);
    return 0;
  }
  fchmod(fileno(f->f), mode);
  char buf[65536];
  for (;;) {
    ssize_t n = read(in, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      kv_file_error_set(err, errno, from);
      kv_atomic_abort(f);
      close(in);
      return 0;
    }
    if (n == 0) break;
    errno = 0;
    if (fwrite(buf, 1, (size_t)n, f->f) != (size_t)n) {
      kv_file_error_set(err, errno ? errno : EIO, f->path.c_str());
      kv_atomic_abort(f);
      close(in);
      return 0;
    }
  }
  close(in);
  return kv_atomic_commit(f, err);
}

int kv_move_file(const char *from, const char *to, int replace, kv_file_error *err) {
  std::string src = kv_resolve_case(from);
  if (src.empty()) {
    kv_file_error_set(err, ENOENT, from);
    return 0;
  }
  std::string dst = replace_target(to);
  if (!replace && path_exists(dst)) {
    kv_file_error_set(err, EEXIST, dst.c_str());
    return 0;
  }
  if (rename(src.c_str(), dst.c_str()) == 0) {
    sync_dir_of(dst);
    return 1;
  }
  if (errno != EXDEV) {
    kv_file_error_set(err, errno, src.c_str());
    return 0;
  }
  // Another file system: copy (synced) then remove the source.
  if (!kv_copy_file(src.c_str(), dst.c_str(), 0, err)) return 0;
  if (unlink(src.c_str()) != 0) {
    kv_file_error_set(err, errno, src.c_str());
    return 0;
  }
  return 1;
}

int kv_delete_file(const char *path, kv_file_error *err) {
  std::string p = kv_path_normalized(path);
  if (unlink(p.c_str()) == 0) return 1;
  int e = errno;
  if (e == ENOENT) {
    std::string r = kv_resolve_case(p.c_str());
    if (!r.empty() && unlink(r.c_str()) == 0) return 1;
    if (!r.empty()) e = errno;
  }
  kv_file_error_set(err, e, p.c_str());
  return 0;
}

int kv_make_dirs(const char *path, kv_file_error *err) {
  std::string p = kv_path_normalized(path);
  std::error_code ec;
  std::filesystem::create_directories(p, ec);
  if (ec && !kv_dir_exists(p.c_str())) {
    kv_file_error_set(err, ec.value(), p.c_str());
    return 0;
  }
  if (!kv_dir_exists(p.c_str())) {
    kv_file_error_set(err, ENOTDIR, p.c_str());
    return 0;
  }
  return 1;
}

int kv_remove_tree(const char *path) {
  std::error_code ec;
  std::filesystem::remove_all(kv_path_normalized(path), ec);
  return ec ? 0 : 1;
}

int64_t kv_file_size(const char *path) {
  struct stat st;
  std::string p = kv_resolve_case(path);
  if (p.empty() || stat(p.c_str(), &st) != 0) return -1;
  return (int64_t)st.st_size;
}

int64_t kv_file_mtime(const char *path) {
  struct stat st;
  std::string p = kv_resolve_case(path);
  if (p.empty() || stat(p.c_str(), &st) != 0) return -1;
  return (int64_t)st.st_mtime;
}

// ---- listing ----------------------------------------------------------------

static bool wild_match(const char *p, const char *s) {
  // Iterative match with one backtrack point for the last "*".
  const char *star = nullptr, *resume = nullptr;
  while (*s) {
    if (*p == '*') {
      star = p++;
      resume = s;
    } else if (*p == '?' || (*p && tolower((unsigned char)*p) == tolower((unsigned char)*s))) {
      p++;
      s++;
    } else if (star) {
      p = star + 1;
      s = ++resume;
    } else {
      return false;
    }
  }
  while (*p == '*') p++;
  return *p == 0;
}

int kv_wildcard_name_match(const char *pattern, const char *name) {
  if (!strcmp(pattern, "*.*") || !strcmp(pattern, "*")) return 1;
  if (wild_match(pattern, name)) return 1;
  // "name.*" also matches "name" (no extension), as the folder search did.
  size_t n = strlen(pattern);
  if (n >= 2 && !strcmp(pattern + n - 2, ".*") && !strchr(name, '.')) {
    std::string head(pattern, n - 2);
    return wild_match(head.c_str(), name) ? 1 : 0;
  }
  return 0;
}

int kv_list_dir(const char *pattern_path, std::vector<kv_dir_entry> *out, kv_file_error *err) {
  out->clear();
  std::string pp = kv_path_normalized(pattern_path);
  std::string dir = kv_path_dir_name(pp.c_str());
  std::string pattern = kv_path_base_name(pp.c_str());
  if (pattern.empty()) pattern = "*";
  std::string real_dir = dir.empty() ? std::string(".") : kv_resolve_case(dir.c_str());
  if (real_dir.empty()) {
    kv_file_error_set(err, ENOENT, dir.c_str());
    return 0;
  }
  DIR *d = opendir(real_dir.c_str());
  if (!d) {
    kv_file_error_set(err, errno, real_dir.c_str());
    return 0;
  }
  while (struct dirent *e = readdir(d)) {
    if (!strcmp(e->d_name, ".") || !strcmp(e->d_name, "..")) continue;
    if (!kv_wildcard_name_match(pattern.c_str(), e->d_name)) continue;
    kv_dir_entry ent;
    ent.name = e->d_name;
    struct stat st;
    std::string full = real_dir + "/" + e->d_name;
    if (stat(full.c_str(), &st) == 0) {
      ent.is_dir = S_ISDIR(st.st_mode);
      ent.size = (int64_t)st.st_size;
      ent.mtime = (int64_t)st.st_mtime;
    } else {
      ent.is_dir = false;
      ent.size = 0;
      ent.mtime = 0;
    }
    out->push_back(ent);
  }
  closedir(d);
  std::sort(out->begin(), out->end(), [](const kv_dir_entry &a, const kv_dir_entry &b) {
    int c = strcasecmp(a.name.c_str(), b.name.c_str());
    return c != 0 ? c < 0 : a.name < b.name;
  });
  return 1;
}
