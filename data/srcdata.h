// srcdata.cfg: the data sources of each class of data (intraday, daily,
// weekly and monthly history, live quotes) with the configuration file each
// source uses, and a few named addresses (time servers, update servers).
//
// The file lives in the CONFIG folder and is read once per process in
// two-token lines (key, rest of the line).  A class line holds the class
// name and a count n; the n lines after it each name a source and its value.
#pragma once

#include <cstddef>

enum { SRCDATA_MAX_NAMES = 20 };

// Loads the file once; a failure logs "Unable to read file:" and leaves the
// list empty (and is not retried until free_srcdata_cfg).
void read_srcdata_cfg(void);

// Token index of a named item (key compared without regard to case), its
// value copied into value (at most size - 1 characters) when value is not
// null; -1 with "Unable to find srcdata item:" when missing.
int find_srcdata_item(const char *key, char *value, size_t size);

// Configuration value of the source selected for a time unit: the class by
// unit (1-78 intraday, 390/392-395/400/410 daily, 2730 weekly, 11700
// monthly, 100000 live quotes), the index from the settings.  Null when the
// selected index is -1 (or the class has no such source line); "________.cfg"
// with "error in srcdata.cfg file" when the class is missing.
const char *srcdata_for_timeunit(int timeunit);
// That placeholder name: no file is ever looked for under it.
extern const char srcdata_missing_cfg[];

// The source names of the unit's class, at most 20, ended by a null entry;
// "bad timeunit" and an empty list when the class is missing.  The list is
// static and overwritten by the next call.
const char *const *srcdata_source_names(int timeunit);

// Drops the loaded file (exit, tests); the next use reads it again.
void free_srcdata_cfg(void);
