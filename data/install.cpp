// Installation set-up: env.txt, the first-run copies of the default files,
// and moving the data of one data root into another.
#include "data/install.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <strings.h>

#include "data/listfiles.h"
#include "data/tokenfile.h"
#include "platform/files.h"
#include "settings/datadirs.h"
#include "settings/settings.h"

// The default files an installation brings in its USR folder, and the
// folder each goes to.  An existing file is never replaced.
static const struct {
  const char *name;
  const char *folder;
} default_files[] = {
    {"pages.kvc", "CONFIG"}, {"sounds.cfg", "CONFIG"},       {"INTC.dyd", "DATA"},
    {"INTC.1min", "DATA"},   {"DEFAULT_STK.orddef", "DATA"}, {"DEFAULT_FUT.orddef", "DATA"},
};

// The folders and patterns a data root is moved by, in order.
static const struct {
  const char *folder;
  const char *pattern;
} moved_files[] = {
    {"ACCOUNTS", "*.*"}, {"ALIAS", "*.*"},         {"CONFIG", "*.kvc"},
    {"CONFIG", "*.d*"},  {"CONFIG", "sounds.cfg"}, {"DATA", "*.*"},
    {"HDATA", "*.*"},    {"FAVORITE", "*.*"},      {"SLF", "*.*"},
};

// An environment variable as one line of env.txt: empty when unset, cut at
// the first control character so that each variable stays on its line.
static std::string env_value(const char *name) {
  const char *v = getenv(name);
  std::string s = v ? v : "";
  for (size_t i = 0; i < s.size(); i++)
    if ((unsigned char)s[i] < 32) {
      s.resize(i);
      break;
    }
  return s;
}

// A folder of root as it is on disk (an existing folder whose name differs
// only in case serves), made when missing.
static std::string folder_of(const std::string &root, const char *name) {
  std::string path = kv_path_join(root, std::string(name));
  if (kv_dir_exists(path.c_str())) return path;
  std::string found = kv_resolve_case(path.c_str());
  if (!found.empty() && kv_dir_exists(found.c_str())) return found;
  kv_make_dirs(path.c_str(), nullptr);
  return path;
}

static void write_env_file(const std::string &install_dir) {
  std::string text = "KORVANE_INSTALLDIR=" + env_value("KORVANE_INSTALLDIR") +
                     "\nKORVANE_SHORTCUTDIR=" + env_value("KORVANE_SHORTCUTDIR") + "\n";
  kv_make_dirs(install_dir.c_str(), nullptr);
  std::string path = kv_path_join(install_dir, std::string("env.txt"));
  kv_write_file_atomic(path.c_str(), text.data(), text.size(), nullptr);
}

static void copy_default_files(const std::string &install_dir) {
  std::string usr = kv_path_join(install_dir, std::string("USR"));
  for (const auto &f : default_files) {
    std::string from = kv_resolve_case(kv_path_join(usr, std::string(f.name)).c_str());
    if (from.empty()) continue;
    std::string to = kv_path_join(folder_of(install_dir, f.folder), std::string(f.name));
    if (kv_file_exists(to.c_str()) || !kv_resolve_case(to.c_str()).empty()) continue;
    kv_copy_file(from.c_str(), to.c_str(), 1, nullptr);
  }
}

int PrepareInstallation(void) {
  // MigratePreviousVersion moves an old data root through this hook.
  g_move_data_directories = move_data_directories;
  char root[KV_PATH_MAX];
  if (!default_data_root(root, sizeof root)) return 0;
  std::string install_dir = root;
  write_env_file(install_dir);
  // The marker's removal is what makes this the one first run.
  std::string marker = kv_path_join(install_dir, std::string("INSTALL.VER"));
  if (!kv_delete_file(marker.c_str(), nullptr)) return 0;
  copy_default_files(install_dir);
  return 1;
}

int move_matching_files(const char *source_dir, const char *pattern, const char *dest_dir) {
  if (!source_dir || !pattern || !dest_dir) return 0;
  std::string src = kv_path_normalized(source_dir), dst = kv_path_normalized(dest_dir);
  while (src.size() > 1 && src.back() == '/') src.pop_back();
  while (dst.size() > 1 && dst.back() == '/') dst.pop_back();
  // "*.*" names every file, also one without an extension.
  if (strcmp(pattern, "*.*") == 0) pattern = "*";
  int count = 0;
  char **names = nullptr;
  if (!list_files(kv_path_join(src, std::string(pattern)).c_str(), &count, &names, 0) || !names)
    return 0;
  kv_make_dirs(dst.c_str(), nullptr);
  int moved = 0;
  for (int i = 0; i < count; i++) {
    std::string from = kv_path_join(src, std::string(names[i]));
    std::string to = kv_path_join(dst, std::string(names[i]));
    moved += kv_move_file(from.c_str(), to.c_str(), 1, nullptr);
  }
  free_tokens(names);
  return moved;
}

// 1 when both paths name the same folder (also through links or a
// different spelling).
static int same_folder(const char *a, const char *b) {
  char ra[PATH_MAX], rb[PATH_MAX];
  if (realpath(a, ra) && realpath(b, rb)) return strcmp(ra, rb) == 0;
  std::string x = kv_path_normalized(a), y = kv_path_normalized(b);
  while (x.size() > 1 && x.back() == '/') x.pop_back();
  while (y.size() > 1 && y.back() == '/') y.pop_back();
  return x == y;
}

int move_data_directories(const char *old_root, const char *new_root) {
  if (!old_root || !new_root || !*old_root || !*new_root) return 0;
  // Moving a root onto itself would only shuffle files in place.
  if (same_folder(old_root, new_root)) return 0;
  std::string from_root = kv_path_normalized(old_root), to_root = kv_path_normalized(new_root);
  int moved = 0;
  for (const auto &m : moved_files) {
    std::string from = kv_path_join(from_root, std::string(m.folder));
    std::string found = kv_resolve_case(from.c_str());
    if (found.empty() || !kv_dir_exists(found.c_str())) continue;
    moved += move_matching_files(found.c_str(), m.pattern, folder_of(to_root, m.folder).c_str());
  }
  return moved;
}
