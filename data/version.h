// The program's version text and build number: the one definition that the
// update check sends to the update server and the About box shows.
#pragma once

// "Korvane Version 2.96", in one static buffer.
const char* get_version_text(void);

// Minutes from 27 October 1997 00:00 to the moment this file was compiled
// (days since then, both ends counted, x 1440 + hours x 60 + minutes);
// computed once.  A later build always has a larger number.
int get_build_number(void);

// The same count for a compiler date text ("Nov 14 2008") and time text
// ("20:46:20"); 0 when either cannot be read.
int build_number_of(const char* date_text, const char* time_text);
