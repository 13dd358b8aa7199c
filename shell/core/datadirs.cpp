// Data folder names and paths under the data root.
#include "shell/core/datadirs.h"

#include <cstdio>
#include <strings.h>

#include "shell/core/settings.h"

static const char *const folder_names[KV_DIR_COUNT] = {
  "DATA", "HDATA", "SLF", "ALIAS", "CONFIG", "IMPORT", "EXPORT",
  "SOUNDS", "FAVORITE", "HELP", "ACCOUNTS", "FERLUMES",
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

char *data_folder_path(char *buf, size_t size, int folder, const char *name) {
  if (!buf || size == 0 || folder < 0 || folder >= KV_DIR_COUNT) return nullptr;
  int n;
  if (name && *name)
    n = snprintf(buf, size, "%s/%s/%s", g_data_root, folder_names[folder], name);
  else
    n = snprintf(buf, size, "%s/%s", g_data_root, folder_names[folder]);
  if (n < 0 || (size_t)n >= size) { buf[0] = 0; return nullptr; }
  for (char *p = buf; *p; p++) if (*p == '\\') *p = '/';
  return buf;
}
