// A stand-in study library for the host's tests: two studies whose
// function writes the bar index, texts longer than any field that takes
// them, and, by definition, a missing export, another version or a study
// type that is not a library study.
#include <cstring>

#include "data/chart.h"
#include "studies/studyapi.h"

#ifndef FAKE_VERSION
#define FAKE_VERSION 7
#endif
#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

static StudyCallbackTable *g_table;

static int fake_compute(chart_rec *chart, StudyDef *s, int) {
  s->outputs = reinterpret_cast<float *>(s + 1);
  int n = chart->header.bar_count < s->output_len ? chart->header.bar_count : s->output_len;
  for (int i = 0; i < n; i++) s->outputs[i] = (float)i;
  return 1;
}

// Not terminated within any field it is copied to.
static char g_long_name[100] =
    "A very long study name that goes on well beyond the sixty-three characters of a name";
static char g_long_abbrev[16] = "ABCDEFGHIJKLMNO";
static char *g_names[2] = {g_long_name, nullptr};
static char *g_abbrevs[2] = {g_long_abbrev, nullptr};

#ifndef FAKE_NO_GETVERSION
FAKE_EXPORT int getVersion(void) {
  return FAKE_VERSION;
}
#endif
#ifndef FAKE_NO_GETNUMBERSTUDIES
FAKE_EXPORT int getNumberStudies(void) {
  return 2;
}
#endif
FAKE_EXPORT char **getNames(void) {
  return g_names;
}
FAKE_EXPORT char **getAbbreviations(void) {
  return g_abbrevs;
}
FAKE_EXPORT char **getParamLabels(int) {
  return nullptr;
}
#ifndef FAKE_NO_GETPARAMVALUES
FAKE_EXPORT void getParamValues(int index, StudyDef *rec) {
#ifdef FAKE_BAD_TYPE
  rec->type = 0x2030C;  // a built-in study of two series
#else
  rec->type = 0x4000280;
#endif
  rec->output_count = 1;
  rec->period = 5 + index;
  rec->pane_group = 4;
  rec->param_flags = 0x100;
  rec->compute = fake_compute;
}
#endif
#ifndef FAKE_NO_GETPTRVALUE
FAKE_EXPORT void getPtrValue(int index, StudyDef *rec) {
  rec->compute = index == 0 || index == 1 ? fake_compute : nullptr;
}
#endif
#ifndef FAKE_NO_PUTCALLBACKS
FAKE_EXPORT StudyCallbackTable *putCallbacks(StudyCallbackTable *table) {
  g_table = table;
  return table;
}
#endif
// The table the host handed over.
FAKE_EXPORT StudyCallbackTable *fakeTable(void) {
  return g_table;
}
