// Data folder names and paths under the data root.
#include "settings/datadirs.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <pwd.h>
#include <string>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/files.h"
#include "settings/settings.h"

static const char *const folder_names[KV_DIR_COUNT] = {
    "DATA",   "HDATA",  "SLF",      "ALIAS", "CONFIG",   "IMPORT",
    "EXPORT", "SOUNDS", "FAVORITE", "HELP",  "ACCOUNTS", "FERLUMES",
};

const char *data_folder_name(int folder) {
  if (folder < 0 || folder >= KV_DIR_COUNT) return "";
  return folder_names[folder];
}

int data_folder_by_name(const char *name) {
  if (!name) return -1;
  for (int i = 0; i < KV_DIR_COUNT; i++)
    if (strcasecmp(name, folder_names[i]) == 0) return i;
  return -1;
}

// The folder as the settings hold it: a name under the root, or (HELP,
// ACCOUNTS, FERLUMES) a full path.  Empty before the settings are loaded.
static const char *folder_field(int folder) {
  switch (folder) {
    case KV_DIR_DATA:
      return g_settings.DataDir;
    case KV_DIR_HDATA:
      return g_settings.HdataDir;
    case KV_DIR_SLF:
      return g_settings.SlfDir;
    case KV_DIR_ALIAS:
      return g_settings.AliasDir;
    case KV_DIR_CONFIG:
      return g_settings.ConfigDir;
    case KV_DIR_IMPORT:
      return g_settings.ImportDir;
    case KV_DIR_EXPORT:
      return g_settings.ExportDir;
    case KV_DIR_SOUNDS:
      return g_settings.SoundsDir;
    case KV_DIR_FAVORITE:
      return g_settings.FavoriteDir;
    case KV_DIR_HELP:
      return g_settings.HelpDir;
    case KV_DIR_ACCOUNTS:
      return g_settings.AccountsDir;
    case KV_DIR_FERLUMES:
      return g_settings.StudyLibDir;
  }
  return "";
}

char *data_folder_path(char *buf, size_t size, int folder, const char *name) {
  if (!buf || size == 0) return nullptr;
  buf[0] = 0;
  if (folder < 0 || folder >= KV_DIR_COUNT) return nullptr;
  const char *field = folder_field(folder);
  std::string path;
  if (field[0] == '/')
    path = field;
  else
    path = kv_path_join(g_data_root, field[0] ? field : folder_names[folder]);
  if (name && *name) path = kv_path_join(path, name);
  kv_path_normalize(path.data());
  if (name && *name) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
      std::string found = kv_resolve_case(path.c_str());
      if (!found.empty()) path = found;
    }
  }
  if (path.size() >= size) return nullptr;
  memcpy(buf, path.c_str(), path.size() + 1);
  return buf;
}

static std::string home_folder(void) {
  const char *home = getenv("HOME");
  if (home && *home) return home;
  struct passwd *pw = getpwuid(getuid());
  if (pw && pw->pw_dir) return pw->pw_dir;
  return "";
}

// Path without trailing "/" (but "/" stays).
static std::string trimmed(const char *path) {
  std::string s = path ? path : "";
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

int is_home_folder(const char *path) {
  std::string home = trimmed(home_folder().c_str());
  std::string p = trimmed(path);
  if (home.empty() || p.empty()) return 0;
  if (p == home) return 1;
  char a[PATH_MAX], b[PATH_MAX];
  return realpath(p.c_str(), a) && realpath(home.c_str(), b) && strcmp(a, b) == 0;
}

char *default_data_root(char *buf, size_t size) {
  std::string root;
  const char *env = getenv("KORVANE_INSTALLDIR");
  if (env && *env) {
    root = kv_path_normalized(env);
    if (root[0] != '/') {
      char cwd[PATH_MAX];
      if (!getcwd(cwd, sizeof cwd)) return nullptr;
      root = kv_path_join(std::string(cwd), root);
    }
    root = trimmed(root.c_str());
    if (is_home_folder(root.c_str())) root.clear();
  }
  if (root.empty()) {
    const char *xdg = getenv("XDG_DATA_HOME");
    if (xdg && xdg[0] == '/') {
      root = kv_path_join(trimmed(xdg), "korvane");
    } else {
      std::string home = home_folder();
      if (home.empty()) return nullptr;
      root = kv_path_join(trimmed(home.c_str()), ".local/share/korvane");
    }
  }
  if (root.size() >= size) return nullptr;
  memcpy(buf, root.c_str(), root.size() + 1);
  return buf;
}

int MakeDirectory(const char *path) {
  if (!path || !*path) return 0;
  struct stat st;
  if (stat(path, &st) != 0) {
    mkdir(path, 0755);
    if (stat(path, &st) != 0) return 0;
  }
  if (!S_ISDIR(st.st_mode)) return 0;
  // The permission bits that apply to this process.  Root included: a
  // folder without write bits counts as read-only although root could
  // still write into it.
  mode_t w;
  if (st.st_uid == geteuid())
    w = S_IWUSR;
  else if (st.st_gid == getegid())
    w = S_IWGRP;
  else
    w = S_IWOTH;
  return (st.st_mode & w) ? 1 : 0;
}
