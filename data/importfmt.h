// Import formats: the format list of import.cfg and the converter from a
// field list ("Date,Open,High,Low,Close,Volume") to the field format of the
// import reader ("%dyymmdd,%o,%h,%l,%c,%v").
#pragma once

#include <cstddef>

enum { DATASPEC_MAX = 255 };

// Loads CONFIG/import.cfg once (two tokens a line: format name, field list;
// the first line is skipped).  *entries points at the pairs
// after the first line; returns their token count, 0 when the file has fewer
// than 3 tokens or cannot be read ("Unable to read file:").
int read_import_cfg(const char *const **entries);

// Drops the loaded import.cfg (exit, tests).
void free_import_cfg(void);

// Converts a field list (names separated by the first "," or ";" in it) to
// a field format in out (size bytes); date fields become "%d" followed by
// date_pattern.  1 converted, 0 failed
// ("Null dataspec", "buffer overflow", "Invalid delimeter in dataspec", or an
// unknown field, where the output ends).
int dataspec_to_format(const char *fields, char *out, size_t size, const char *date_pattern);
