// Data folders under the data root.
//
// Every data path is the data root, a folder and a file name joined with "/".
// Folder names are upper case; a file that already exists is found whatever
// the case of its name.  The functions here build full paths from
// `g_settings.DataRoot`, so worker threads never depend on the current
// directory.
#pragma once

#include <cstddef>

enum kv_folder {
  KV_DIR_DATA,      // "DATA"      price files
  KV_DIR_HDATA,     // "HDATA"     history data
  KV_DIR_SLF,       // "SLF"       symbol list files
  KV_DIR_ALIAS,     // "ALIAS"     alias data
  KV_DIR_CONFIG,    // "CONFIG"    configuration files, pages file, import list
  KV_DIR_IMPORT,    // "IMPORT"    import files
  KV_DIR_EXPORT,    // "EXPORT"    export files
  KV_DIR_SOUNDS,    // "SOUNDS"    alert sounds
  KV_DIR_FAVORITE,  // "FAVORITE"  chart favourites
  KV_DIR_HELP,      // "HELP"      help pages, ReadMe files
  KV_DIR_ACCOUNTS,  // "ACCOUNTS"  paper-trading account files
  KV_DIR_FERLUMES,  // "FERLUMES"  study libraries
  KV_DIR_COUNT
};

// Upper-case name of a folder ("DATA", ...); "" for an unknown folder.
const char *data_folder_name(int folder);

// Folder by name without regard to case ("config", "Accounts"); -1 if none.
int data_folder_by_name(const char *name);

// Full path of a folder, or of a file in it when name is given (root/FOLDER
// or root/FOLDER/name).  When the exact file is missing but one whose name
// differs only in case exists, that file's path is given.  "\" in name is
// taken as "/".  Returns buf, or null when the path does not fit.
char *data_folder_path(char *buf, size_t size, int folder, const char *name);

// The data root of this run when no stored one is used: KORVANE_INSTALLDIR
// when set, else $XDG_DATA_HOME/korvane, else ~/.local/share/korvane.  Never
// the home folder itself.  Returns buf, or null when none can be had.
char *default_data_root(char *buf, size_t size);

// 1 when path names the user's home folder itself.
int is_home_folder(const char *path);
