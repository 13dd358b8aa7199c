// Installation set-up run first at start-up, and moving a data root.
//
// The locks and the event that the data modules share are static objects
// (platform/locks.h) and need no creation step here.
//
// The install directory is the data root of a fresh installation
// (default_data_root: KORVANE_INSTALLDIR when set, else the user's data
// folder).  The installer leaves the marker file "INSTALL.VER" there and
// the default files in its "USR" folder; the first start after it finds
// the marker, removes it and copies the defaults into place.
#pragma once

// Writes "env.txt" in the install directory with the installer's two
// variables, sets g_move_data_directories, and on the first run after an
// installation copies the default files.  1 when the first-run steps ran,
// 0 otherwise.  The caller offers to take over a previous installation
// (MigratePreviousVersion) when this returns 1.
int PrepareInstallation(void);

// Moves the data of old_root into new_root, folder by folder (ACCOUNTS,
// ALIAS, the layouts and dumps and sounds.cfg of CONFIG, DATA, HDATA,
// FAVORITE, SLF); files of the same name in new_root are replaced.
// Returns the number of files moved (0 when both name the same folder).
int move_data_directories(const char *old_root, const char *new_root);

// Moves the files of source_dir that match pattern (wildcards as
// list_files; "*.*" names every file) into dest_dir, which is made when
// missing.  Returns how many moves succeeded.
int move_matching_files(const char *source_dir, const char *pattern, const char *dest_dir);
