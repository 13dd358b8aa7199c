// Taking over the data and settings of a previous installation.
#include <cstring>
#include <string>
#include <strings.h>

#include "platform/files.h"
#include "platform/profile.h"
#include "platform/services.h"
#include "shell/core/settingsio.h"

int MigratePreviousVersion(void) {
  char root[KV_PATH_MAX];
  if (!default_data_root(root, sizeof root)) return 1;
  kv_profile *p = kv_profile_open(settings_profile_key());
  if (!p) return 1;
  std::string old =
      kv_path_normalized(kv_profile_get_string(p, INSTALL_SECTION, "Directory", "").c_str());
  while (old.size() > 1 && old.back() == '/') old.pop_back();
  kv_profile_write_string(p, INSTALL_SECTION, "Directory", root);
  if (old.empty() || strcasecmp(old.c_str(), root) == 0) {
    kv_profile_close(p);
    return 1;
  }
  // The recent-file list names files of the old root.
  kv_profile_delete_section(p, RECENT_FILE_SECTION);
  // A previous installation ran the quote relay here (a stored host still wins).
  kv_computer_name(g_settings.QRHostname, sizeof g_settings.QRHostname);
  int answer = kv_message_box(
      "A previous version of Korvane has been detected,do you want keep data and settings from "
      "that version?",
      "Korvane", MB_YESNO | MB_ICONQUESTION);
  if (answer == IDYES) {
    if (g_move_data_directories) g_move_data_directories(old.c_str(), root);
  } else {
    kv_profile_write_string(p, SETTINGS_SECTION, "Pages", "");
    kv_profile_write_string(p, SETTINGS_SECTION, "Import", "");
    kv_profile_write_string(p, SETTINGS_SECTION, "DefaultFavorite", "");
  }
  kv_profile_close(p);
  return 0;
}
