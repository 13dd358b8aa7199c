// The study-library host: the slot table, loading by name, binding a
// library study record to its library, and unloading at exit.
#include "studies/studylib_host.h"

#include <cstdio>
#include <cstring>

#include "data/statmsg.h"
#include "platform/dynlib.h"
#include "platform/locks.h"
#include "platform/services.h"
#include "settings/datadirs.h"
#include "studies/study.h"

study_lib_slot g_study_libs[STUDY_LIB_SLOTS];

// Output series a library study may ask for; more can only be a fault of
// the library.
#define STUDY_LIB_MAX_OUTPUTS 16

// A name that can name a file in the folder: no path parts, no control
// characters, and short enough for a slot.
static bool lib_name_ok(const char *name) {
  size_t len = strnlen(name, STUDY_LIB_NAME_SIZE);
  if (len == 0 || len >= STUDY_LIB_NAME_SIZE) return false;
  if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0) return false;
  for (size_t i = 0; i < len; i++) {
    unsigned char c = (unsigned char)name[i];
    if (c < 32 || c == 127 || c == '/' || c == '\\') return false;
  }
  return true;
}

static void report_load_failure(const char *name) {
  char folder[1024], path[1200];
  if (!data_folder_path(folder, sizeof folder, KV_DIR_FERLUMES, nullptr)) folder[0] = 0;
  snprintf(path, sizeof path, "%s/%.*s.so", folder, STUDY_LIB_NAME_SIZE - 1, name);
  statmsg(nullptr, 0, "Unable to load", path, STATMSG_ADD);
}

kv_dynlib *load_study_dll(const char *lib_name) {
  if (!lib_name) return nullptr;
  kv_lock guard(g_chart_lock);
  // The name as a slot holds it: a longer one never matches a slot and
  // never loads.
  char name[STUDY_LIB_NAME_SIZE];
  size_t len = strnlen(lib_name, STUDY_LIB_NAME_SIZE);
  if (len >= STUDY_LIB_NAME_SIZE) {
    report_load_failure(lib_name);
    return nullptr;
  }
  memcpy(name, lib_name, len + 1);
  for (study_lib_slot &s : g_study_libs)
    if (s.name[0] && strcmp(s.name, name) == 0) return s.lib;
  study_lib_slot *slot = nullptr;
  for (study_lib_slot &s : g_study_libs)
    if (!s.name[0]) {
      slot = &s;
      break;
    }
  if (!slot) return nullptr;
  memcpy(slot->name, name, len + 1);
  slot->lib = nullptr;
  // Code is loaded only from a folder that does not depend on the
  // current directory.
  char folder[1024];
  if (lib_name_ok(name) && data_folder_path(folder, sizeof folder, KV_DIR_FERLUMES, nullptr) &&
      folder[0] == '/')
    slot->lib = kv_dynlib_open(folder, name);
  if (!slot->lib) report_load_failure(name);
  return slot->lib;
}

void free_study_dlls(void) {
  kv_lock guard(g_chart_lock);
  for (study_lib_slot &s : g_study_libs) {
    kv_dynlib_close(s.lib);
    s.lib = nullptr;
  }
}

void clear_study_dlls(void) {
  kv_lock guard(g_chart_lock);
  free_study_dlls();
  for (study_lib_slot &s : g_study_libs) s.name[0] = 0;
}

// ---- binding -----------------------------------------------------------------

// Copies a text the library returned: at most size - 1 characters, always
// terminated; a null text gives "".
static void copy_lib_text(char *dst, size_t size, const char *src) {
  size_t len = src ? strnlen(src, size - 1) : 0;
  if (len) memcpy(dst, src, len);
  dst[len] = 0;
}

// The text at index of a library's array, or null.
static const char *lib_array_text(char **arr, int index) {
  return arr ? arr[index] : nullptr;
}

struct lib_exports {
  StudyLibGetVersionFn get_version;
  StudyLibGetNumberStudiesFn get_number_studies;
  StudyLibGetNamesFn get_names;
  StudyLibGetAbbreviationsFn get_abbreviations;
  StudyLibGetParamLabelsFn get_param_labels;
  StudyLibGetParamValuesFn get_param_values;
  StudyLibGetPtrValueFn get_ptr_value;
  StudyLibPutCallbacksFn put_callbacks;
};

static void resolve(kv_dynlib *lib, lib_exports *x) {
  x->get_version = (StudyLibGetVersionFn)kv_dynlib_symbol(lib, "getVersion");
  x->get_number_studies = (StudyLibGetNumberStudiesFn)kv_dynlib_symbol(lib, "getNumberStudies");
  x->get_names = (StudyLibGetNamesFn)kv_dynlib_symbol(lib, "getNames");
  x->get_abbreviations = (StudyLibGetAbbreviationsFn)kv_dynlib_symbol(lib, "getAbbreviations");
  x->get_param_labels = (StudyLibGetParamLabelsFn)kv_dynlib_symbol(lib, "getParamLabels");
  x->get_param_values = (StudyLibGetParamValuesFn)kv_dynlib_symbol(lib, "getParamValues");
  x->get_ptr_value = (StudyLibGetPtrValueFn)kv_dynlib_symbol(lib, "getPtrValue");
  x->put_callbacks = (StudyLibPutCallbacksFn)kv_dynlib_symbol(lib, "putCallbacks");
}

static int fail(int report, const char *text) {
  if (report) kv_message_box(text, "Korvane", MB_OK | MB_ICONEXCLAMATION);
  return 0;
}

// Loads the library and checks the exports every use needs and the
// interface version; the number of studies goes to *count.
static int open_library(const char *lib_name, int report, lib_exports *x, int *count) {
  kv_dynlib *lib = load_study_dll(lib_name);
  if (!lib) return 0;
  resolve(lib, x);
  if (!x->get_version) return fail(report, "getVersion() not defined");
  if (!x->get_number_studies) return fail(report, "getNumberStudies() not defined");
  int version = x->get_version();
  if (version > STUDY_LIB_VERSION) {
    char text[128];
    snprintf(text, sizeof text, "UserStudy DLL Version = %d, Korvane Version = %d\n", version,
             STUDY_LIB_VERSION);
    return fail(report, text);
  }
  *count = x->get_number_studies();
  return 1;
}

// The library's defaults for one study, checked: a library study type and
// a sane number of series, since the engine sizes the study's block from
// them and the library's function fills that many series.
static int lib_defaults(const lib_exports *x, int index, StudyDef *out) {
  memset(out, 0, sizeof *out);
  x->get_param_values(index, out);
  out->next = nullptr;
  out->outputs = nullptr;
  int num = out->type & STUDY_NUMBER_MASK;
  if (num < 0x80 || num > 0x82 || !(out->type & STUDY_FAM_LIBRARY) ||
      (out->type & STUDY_DAILY_LINE))
    return 0;
  return out->output_count >= 1 && out->output_count <= STUDY_LIB_MAX_OUTPUTS;
}

int bind_user_study_report(StudyDef *study, int report) {
  if (!study) return 0;
  char lib_name[STUDY_LIB_NAME_SIZE];
  copy_lib_text(lib_name, sizeof lib_name, study->lib_name);
  if (!lib_name[0]) return 0;
  kv_lock guard(g_chart_lock);
  lib_exports x;
  int count = 0;
  if (!open_library(lib_name, report, &x, &count)) return 0;
  int index = study->lib_index;
  // The index comes from stored layouts: one the library does not have
  // would read past its tables.
  if (index < 0 || index >= count) return 0;
  // The number of series sizes the study's block and the library's
  // function fills them, so it always comes from the library, also for a
  // record read back from a layout.
  if (!x.get_param_values) return fail(report, "getParamValues() not defined");
  StudyDef defaults;
  if (!lib_defaults(&x, index, &defaults)) return 0;
  study->output_count = defaults.output_count;
  study->type = defaults.type;
  if (!report) {
    if (!x.get_names || !x.get_abbreviations) return 0;
    study->pane_group = defaults.pane_group;
    study->param_flags = defaults.param_flags;
    char name[sizeof study->name - 1];
    copy_lib_text(name, sizeof name, lib_array_text(x.get_names(), index));
    snprintf(study->name, sizeof study->name, "*%s", name);
    char abbrev[sizeof study->abbrev + 1];
    copy_lib_text(abbrev, sizeof abbrev, lib_array_text(x.get_abbreviations(), index));
    memset(study->abbrev, 0, sizeof study->abbrev);
    memcpy(study->abbrev, abbrev, strlen(abbrev));
  }
  if (!x.get_ptr_value) return fail(report, "getPtrValue() not defined");
  study->compute = nullptr;
  x.get_ptr_value(index, study);
  if (!study->compute) return 0;
  if (!x.put_callbacks) return fail(report, "putCallbacks() not defined");
  x.put_callbacks(&g_study_callbacks);
  return 1;
}

int bind_user_study(StudyDef *study) {
  return bind_user_study_report(study, 0);
}

// ---- what a library offers ---------------------------------------------------

int study_lib_check_report(const char *lib_name) {
  if (!lib_name) return 0;
  kv_lock guard(g_chart_lock);
  kv_dynlib *lib = load_study_dll(lib_name);
  if (!lib) return 0;
  lib_exports x;
  resolve(lib, &x);
  const struct {
    const void *fn;
    const char *missing;
  } uses[] = {{(const void *)x.get_version, "getVersion() not defined"},
              {(const void *)x.get_number_studies, "getNumberStudies() not defined"},
              {(const void *)x.get_names, "getNames() not defined"},
              {(const void *)x.get_abbreviations, "getAbbreviations() not defined"},
              {(const void *)x.get_param_labels, "getParamLabels() not defined"},
              {(const void *)x.get_param_values, "getParamValues() not defined"},
              {(const void *)x.put_callbacks, "m_putCallbacks() not defined"}};
  for (const auto &u : uses)
    if (!u.fn) return fail(1, u.missing);
  int count = 0;
  return open_library(lib_name, 1, &x, &count);
}

int study_lib_count(const char *lib_name) {
  if (!lib_name) return -1;
  kv_lock guard(g_chart_lock);
  lib_exports x;
  int count = 0;
  if (!open_library(lib_name, 0, &x, &count)) return -1;
  return count < 0 ? 0 : count;
}

int study_lib_study(const char *lib_name, int index, study_lib_info *info) {
  if (!lib_name || !info) return 0;
  memset(info, 0, sizeof *info);
  kv_lock guard(g_chart_lock);
  lib_exports x;
  int count = 0;
  if (!open_library(lib_name, 0, &x, &count) || index < 0 || index >= count) return 0;
  if (!x.get_param_values || !lib_defaults(&x, index, &info->defaults)) return 0;
  if (x.get_names)
    copy_lib_text(info->name, sizeof info->name, lib_array_text(x.get_names(), index));
  if (x.get_abbreviations)
    copy_lib_text(info->abbrev, sizeof info->abbrev, lib_array_text(x.get_abbreviations(), index));
  if (char **labels = x.get_param_labels ? x.get_param_labels(index) : nullptr)
    for (int k = 0; k < STUDY_LIB_LABELS; k++)
      copy_lib_text(info->labels[k], sizeof info->labels[k], labels[k]);
  return 1;
}
