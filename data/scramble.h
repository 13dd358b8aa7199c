// The "#!" scrambling of configuration and settings texts: seven substitution
// tables over the printable characters 32-126, built from a fixed seed of the
// Windows-compatible generator and walked in turn by every printable
// character.  The tables are process-wide: build, convert and clear them
// while holding g_chart_lock.
#pragma once

void build_code_tables();
void clear_code_tables();
// Both convert in place and return the text; unscramble_text returns null
// (and reports "NULL codetable") when the tables are not built.
char *scramble_text(char *text);
char *unscramble_text(char *text);

// Whole-text helpers that take g_chart_lock and build and clear the tables.
char *scramble_locked(char *text);
char *unscramble_locked(char *text);
// If text begins with "#!", drops that first line and unscrambles the rest
// in place (the text moves to the start of the buffer).  1 when it did.
int unscramble_config_text(char *text);
