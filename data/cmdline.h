// Program command line: switch words set g_option_flags and
// g_trace_mask (data/debugtrace.h), the instance letter and the log files
// (data/logfiles.h).
#pragma once

// Letter given with switch x; 0 when none was given.
extern char g_instance_letter;

// Splits text in place into at most max_words words and returns their
// number. White space separates words; a word that starts with a double
// quote runs to the next double quote (quotes dropped); an empty pair ""
// yields the word " " and ends the splitting; other words also end at a
// comma. With rest_mode > 0 the last allowed word takes the rest of the
// text; with rest_mode = -k the k-th word ends only at white space other
// than a blank, or at a comma.
int split_option_words(char* text, char** words, int max_words, int rest_mode);

// Parses the command-line text (null: none). Words beginning with "-" or
// "/" are switches; a "/" word that holds a second "/" is a path and no
// switch.
void ParseProgramOptions(const char* command_line);

// Joins argv[1..argc-1] into one command-line text for
// ParseProgramOptions: words holding white space or commas are put in
// double quotes, empty words are left out. Returns a heap text the caller
// frees.
char* join_command_line(int argc, const char* const* argv);
