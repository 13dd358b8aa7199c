// srcdata.cfg lookups.
#include "data/srcdata.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <strings.h>

#include "data/statmsg.h"
#include "data/tokenfile.h"
#include "settings/settings.h"

static std::recursive_mutex srcdata_mutex;
static config_file_once srcdata_file;
static token_list &srcdata = srcdata_file.list;  // pairs: key, value
const char srcdata_missing_cfg[] = "________.cfg";
static const char *source_names[SRCDATA_MAX_NAMES + 1];
// A missing or empty file is reported once per reading of it, not at each
// of the many lookups the quote cycle makes; a time unit the file has no
// class for is reported each time.
static bool srcdata_error_said;

static int pair_count(void);

static void report_srcdata_error(const char *detail) {
  if (pair_count() == 0) {
    if (srcdata_error_said) return;
    srcdata_error_said = true;
  }
  statmsg(__FILE__, __LINE__, "error in srcdata.cfg file", nullptr, STATMSG_ERROR);
  if (detail) statmsg(__FILE__, __LINE__, detail, nullptr, STATMSG_ERROR);
}

void read_srcdata_cfg(void) {
  std::lock_guard<std::recursive_mutex> guard(srcdata_mutex);
  read_config_once(&srcdata_file, "srcdata.cfg", 2);
}

void free_srcdata_cfg(void) {
  std::lock_guard<std::recursive_mutex> guard(srcdata_mutex);
  drop_config_once(&srcdata_file);
  srcdata_error_said = false;
}

static int pair_count(void) {
  return srcdata.tokens ? srcdata.count / 2 : 0;
}
static const char *pair_key(int i) {
  return srcdata.tokens[2 * i];
}
static const char *pair_value(int i) {
  return srcdata.tokens[2 * i + 1];
}

int find_srcdata_item(const char *key, char *value, size_t size) {
  std::lock_guard<std::recursive_mutex> guard(srcdata_mutex);
  read_srcdata_cfg();
  if (key) {
    for (int i = 0; i < pair_count(); i++) {
      if (strcasecmp(pair_key(i), key) != 0) continue;
      if (value && size) {
        strncpy(value, pair_value(i), size - 1);
        value[size - 1] = 0;
      }
      return 2 * i;
    }
  }
  statmsg(__FILE__, __LINE__, "Unable to find srcdata item:", key ? key : "", STATMSG_ERROR);
  return -1;
}

// Class name and selected source index of a time unit; "" for no class.
static const char *timeunit_class(int unit, int *index) {
  *index = 0;
  if (unit >= 1 && unit <= 78) return "HISTORIC_INTRADAY";
  if (unit == 390 || (unit >= 392 && unit <= 395) || unit == 400 || unit == 410) {
    *index = g_settings.DailySource;
    return "HISTORIC_DAILY";
  }
  if (unit == 2730) {
    *index = g_settings.WeeklySource;
    return "HISTORIC_WEEKLY";
  }
  if (unit == 11700) {
    *index = g_settings.MonthlySource;
    return "HISTORIC_MONTHLY";
  }
  if (unit == 100000) {
    *index = g_settings.MultiQuoteSource;
    return "MULTIQUOTE";
  }
  return "";
}

// Finds the class of a unit: its pair index and source count; -1 when missing.
static int find_class(int unit, int *index, int *n) {
  const char *name = timeunit_class(unit, index);
  *n = 0;
  if (!*name) return -1;
  for (int i = 0; i < pair_count(); i++) {
    if (strcasecmp(pair_key(i), name) == 0) {
      *n = atoi(pair_value(i));
      return i;
    }
  }
  return -1;
}

const char *srcdata_for_timeunit(int timeunit) {
  std::lock_guard<std::recursive_mutex> guard(srcdata_mutex);
  read_srcdata_cfg();
  int index, n;
  int cls = find_class(timeunit, &index, &n);
  if (cls < 0) {
    report_srcdata_error(nullptr);
    return srcdata_missing_cfg;
  }
  if (index < 0 || n <= 0) return nullptr;
  if (index >= n) index = 0;
  int line = cls + 1 + index;
  if (line >= pair_count()) return nullptr;  // the count runs past the file
  return pair_value(line);
}

const char *const *srcdata_source_names(int timeunit) {
  std::lock_guard<std::recursive_mutex> guard(srcdata_mutex);
  read_srcdata_cfg();
  int index, n;
  int cls = find_class(timeunit, &index, &n);
  int k = 0;
  if (cls < 0) {
    report_srcdata_error("bad timeunit");
  } else {
    if (n > SRCDATA_MAX_NAMES) n = SRCDATA_MAX_NAMES;
    for (int i = cls + 1; k < n && i < pair_count(); i++) source_names[k++] = pair_key(i);
  }
  source_names[k] = nullptr;
  return source_names;
}
