// Loading the settings record from the profile at start-up and writing it
// back: the part of the settings that needs the data code (the command
// line's instance letter, scrambled values).  The record itself and the data
// folders are in settings/, below the data code.
#pragma once

#include "settings/settings.h"

// Profile key of the settings: "Software\<company>\Korvane", where company
// is "Ostrelan" followed by the instance letter when one was given.
// Set once at start-up, before the settings are loaded; without it the key
// follows the command line's instance letter.  An empty company clears it.
void set_profile_company(const char *company);
const char *settings_profile_key(void);

// Start-up: fix the data root, make it the current directory, create the data
// folders and load the record from the profile.  first_run and taken_over
// come from the installation set-up and MigratePreviousVersion.
// Returns 1 ready, 0 refuse to start (a message box has been shown).
int LoadStartupSettings(int first_run, int taken_over);

// Write the record back to the profile.  Does nothing and returns 0 unless
// LoadStartupSettings succeeded in this process.  1 on success, 0 when a
// binary value could not be written.
int SaveSettings(void);

// 1 after LoadStartupSettings has succeeded.
int settings_loaded(void);

// First run after an installation: notice a previous installation in another
// directory and offer to take over its data and settings.  1 when there is
// nothing to take over, 0 when one was found (whatever the user answered).
int MigratePreviousVersion(void);
