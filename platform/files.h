// Files and folders.
//
// Paths use "/".  Paths stored in settings and data files may hold "\"
// (they were written that way); kv_path_normalize turns them into "/".
// Names may differ in case from what is on disk: kv_resolve_case and the
// kv_open_existing family find an existing file whatever the case of its
// name when the exact name is missing.
//
// Every failing operation fills a kv_file_error when one is given, keeping
// the cause (a code of the fixed list below), the system error number and
// the file name, so that the report "CFileException::%s(%d) for %s" can be
// made.  Functions return 1 on success, 0 on failure unless said
// otherwise.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include <string>
#include <vector>

#define KV_MAX_PATH 260

// Causes of a file error, numbered as the report shows them.
enum kv_file_cause {
  KV_FE_NONE = 0,
  KV_FE_GENERIC = 1,
  KV_FE_FILE_NOT_FOUND = 2,
  KV_FE_BAD_PATH = 3,
  KV_FE_TOO_MANY_OPEN_FILES = 4,
  KV_FE_ACCESS_DENIED = 5,
  KV_FE_INVALID_FILE = 6,
  KV_FE_REMOVE_CURRENT_DIR = 7,
  KV_FE_DIRECTORY_FULL = 8,
  KV_FE_BAD_SEEK = 9,
  KV_FE_HARD_IO = 10,
  KV_FE_SHARING_VIOLATION = 11,
  KV_FE_LOCK_VIOLATION = 12,
  KV_FE_DISK_FULL = 13,
  KV_FE_END_OF_FILE = 14,
};

struct kv_file_error {
  int cause;               // kv_file_cause
  int os_error;            // errno, 0 when none
  char file[KV_MAX_PATH];  // the file the operation was about
};

// "none", "generic", "fileNotFound", ... "endOfFile"; "unknown" otherwise.
const char *kv_file_cause_name(int cause);
// Cause for an errno value.
int kv_file_cause_from_errno(int err);
// Fills err (when not null) from errno value e and the file name.
void kv_file_error_set(kv_file_error *err, int e, const char *file);
// "CFileException::<cause name>(<cause>) for <file>" into buf.
void kv_format_file_error(char *buf, size_t size, const kv_file_error *err);

// ---- paths ----------------------------------------------------------------

// Turns every "\" into "/" in place.
void kv_path_normalize(char *path);
std::string kv_path_normalized(const char *path);
// a + "/" + b (one "/" between them; b's "\" converted).  Returns 0 when
// the result does not fit in size (out then holds "").
int kv_path_join(char *out, size_t size, const char *a, const char *b);
std::string kv_path_join(const std::string &a, const std::string &b);
// Last component, and everything before it ("" when none).
const char *kv_path_base_name(const char *path);
std::string kv_path_dir_name(const char *path);

// A symbol usable as a file name: not empty, not "." or "..", and holding
// no "/", "\", NUL or control character.
int kv_symbol_file_name_ok(const char *symbol);

// ---- existence and case ---------------------------------------------------

int kv_file_exists(const char *path);  // a regular file
int kv_dir_exists(const char *path);
// Finds an existing path that equals path without regard to case, each
// component compared only when the exact one is missing.  Returns 1 and
// the path on disk in out (size bytes), 0 when none exists.
int kv_resolve_case(const char *path, char *out, size_t size);
std::string kv_resolve_case(const char *path);  // "" when none

// open(2) of an existing file whatever the case of its name; -1 on
// failure.  Flags must not hold O_CREAT.
int kv_open_existing(const char *path, int flags, kv_file_error *err);
// fopen of an existing file whatever the case of its name (modes "r",
// "rb", "r+", "r+b"); null on failure.
FILE *kv_fopen_existing(const char *path, const char *mode, kv_file_error *err);

// ---- whole-file operations -------------------------------------------------

// Reads a whole file (case-tolerant).  Returns 1 and the bytes.
int kv_read_file(const char *path, std::string *out, kv_file_error *err);

// Atomic replace: the data go to a temporary file in the same folder,
// which is flushed to disk and renamed over path.  On any failure the old
// file stays as it was and the temporary file is removed.  New files get
// the given permission bits (existing files keep theirs).
int kv_write_file_atomic(const char *path, const void *data, size_t len, kv_file_error *err,
                         unsigned mode = 0644);

// Atomic replace written piece by piece: begin returns a stream to write
// to (null on failure); commit flushes, syncs and renames (1 ok; on
// failure the old file is kept); abort drops the temporary file.  Exactly
// one of commit and abort ends each begin.
struct kv_atomic_file;
kv_atomic_file *kv_atomic_begin(const char *path, kv_file_error *err, unsigned mode = 0644);
FILE *kv_atomic_stream(kv_atomic_file *f);
int kv_atomic_commit(kv_atomic_file *f, kv_file_error *err);
void kv_atomic_abort(kv_atomic_file *f);

// Copies a file (contents and permission bits).  With fail_if_exists an
// existing target is an error.  The target is replaced atomically.
int kv_copy_file(const char *from, const char *to, int fail_if_exists, kv_file_error *err);

// Renames a file, also across file systems (then copied, synced and the
// source removed).  With replace an existing target is replaced, without
// it an existing target is an error.
int kv_move_file(const char *from, const char *to, int replace, kv_file_error *err);

int kv_delete_file(const char *path, kv_file_error *err);
// Makes a folder and its missing parents.
int kv_make_dirs(const char *path, kv_file_error *err);
// Removes a folder and everything in it (for tests and clean-ups).
int kv_remove_tree(const char *path);
// Size in bytes, -1 when missing.
int64_t kv_file_size(const char *path);
// Modification time in seconds since 1970, -1 when missing.
int64_t kv_file_mtime(const char *path);

// ---- folder listing --------------------------------------------------------

struct kv_dir_entry {
  std::string name;  // name within the folder
  bool is_dir;
  int64_t size;
  int64_t mtime;  // seconds since 1970
};

// Lists folder entries matching a wildcard pattern ("*" any run, "?" one
// character, compared without regard to case; "*.*" matches every name,
// with or without a dot).  pattern_path is "<folder>/<pattern>"; its
// folder is found whatever its case.  "." and ".." are never listed.
// Entries come sorted by name.  Returns 1 when the folder could be read.
int kv_list_dir(const char *pattern_path, std::vector<kv_dir_entry> *out, kv_file_error *err);

// The wildcard rule of kv_list_dir: 1 when name matches pattern.
int kv_wildcard_name_match(const char *pattern, const char *name);
