// The study-library host: study libraries are shared libraries in the
// FERLUMES data folder, each offering a numbered set of studies through the
// exports of studies/studyapi.h, bound by name.
//
// Libraries are loaded on first use by name into a table of
// STUDY_LIB_SLOTS slots and stay loaded until free_study_dlls at exit; a
// name that failed to load keeps its slot, so it is not tried again during
// the run.  Binding a library study record gives it the library's compute
// function and hands the library the engine's callback table.  Texts a
// library returns stay owned by the library; everything taken from them
// here is copied, bounded and terminated.
//
// The slot table and the loading run under g_chart_lock (re-entrant), so
// the study pages and the chart threads may load libraries at once.
#pragma once

#include <cstddef>

#include "studies/studyapi.h"

struct kv_dynlib;

#define STUDY_LIB_SLOTS 20
#define STUDY_LIB_NAME_SIZE 32  // at most 31 characters and a zero
#define STUDY_LIB_LABELS 7      // period, price, method, parameters 1-4
#define STUDY_LIB_LABEL_SIZE 32

struct study_lib_slot {
  char name[STUDY_LIB_NAME_SIZE];  // without folder and extension; "" = free
  kv_dynlib *lib;                  // null when not loaded
};
extern study_lib_slot g_study_libs[STUDY_LIB_SLOTS];

// The library of that name (compared exactly), loading it into the first
// free slot on first use.  Null when it failed to load now or before, or
// when all slots are taken (no message then).  A failure to load reports
// "Unable to load <path>" to the status messages once.
kv_dynlib *load_study_dll(const char *lib_name);

// Unloads every loaded library (once, at the program's exit).  The names
// stay, so nothing is loaded again afterwards.
void free_study_dlls(void);

// Unloads every library and empties the slots.
void clear_study_dlls(void);

// Binds a library study record to its library: checks the interface
// version, sets the record's compute function and hands the library
// g_study_callbacks.  With report 0 (binding for computation) the record's
// type, pane group, output count, parameter flags, name ("*" and the
// library's name) and abbreviation are taken from the library; its
// period, price type, method and parameters stay.  With report 1 the
// failures are shown in a message box.  Returns 1 or 0.
int bind_user_study_report(StudyDef *study, int report);

// bind_user_study_report(study, 0): the engine's entry (g_bind_user_study).
int bind_user_study(StudyDef *study);

// What a library says of one of its studies, for the study pages.
struct study_lib_info {
  char name[64];
  char abbrev[9];
  char labels[STUDY_LIB_LABELS][STUDY_LIB_LABEL_SIZE];  // "" = not used
  StudyDef defaults;  // getParamValues: type, outputs, period, price,
                      // method, parameters, compute, flags, pane group
};

// The External Studies page's check of a library before it lists the
// library's studies: the library loads, has every export the page uses
// (the first missing one is shown: "getVersion() not defined" ...
// "m_putCallbacks() not defined") and an interface version the program
// knows (else "UserStudy DLL Version = %d, Korvane Version = %d").  1 when
// the library can be used.
int study_lib_check_report(const char *lib_name);

// Number of studies of a library, or -1 when it cannot be loaded or bound.
int study_lib_count(const char *lib_name);
// Fills info for study index of the library; 1, or 0 when the library or
// the index cannot be used.
int study_lib_study(const char *lib_name, int index, study_lib_info *info);
