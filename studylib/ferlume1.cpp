// Ferlume1: the exported entry points, the default table of the 18
// studies, their names, abbreviations and parameter labels.  The texts are
// the library's own; the program keeps only the pointers.
#include <cstdio>
#include <cstring>

#include "studylib/ferlume.h"

#define FERLUME_EXPORT extern "C" __attribute__((visibility("default")))

StudyCallbackTable *g_callbacks;

namespace {

struct study_row {
  const char *abbrev;
  const char *name;
  int32_t type;
  int16_t outputs;
  int32_t period, price_type, method;
  double p1, p2, p3, p4;
  StudyComputeFn compute;
  uint32_t param_flags;
  uint32_t pane_group;
};

const study_row k_studies[] = {
    {"UOSC", "Ultimate Oscillator", 0x4000380, 1, 7, 0, 0, 14, 28, 0, 0, calcUOSC, 0x133, 4},
    {"CVI", "Chaikin Volatility Indicator", 0x4000780, 2, 10, 4, 0, 0, 0, 0, 0, calcCVI, 0x300, 8},
    {"ATR", "Average True Range", 0x4000280, 2, 20, 0, 0, 0, 0, 0, 0, calcATR, 0x500, 8},
    {"TSI", "True Strength Index (Ergodic osc)", 0x4000280, 1, 60, 4, 0, 20, 0, 0, 0, calcTSI,
     0x211, 4},
    {"TSIsl", "True Strength Index Signal line", 0x4000280, 1, 60, 4, 0, 20, 10, 0, 0, calcTSIsl,
     0x233, 4},
    {"TSF", "Time Series Forcast (mov linear reg.)", 0x4000080, 1, 20, 4, 0, 0, 0, 0, 0, calcTSF,
     0x300, 1},
    {"TSFB", "Time Series Forcast Band", 0x4000080, 1, 20, 4, 0, 1, 0, 0, 0, calcTSFB, 0x310, 1},
    {"TSFD", "Time Series Forcast Std Dev", 0x4000280, 1, 20, 4, 0, 0, 0, 0, 0, calcTSFD, 0x300, 4},
    {"TEF", "Trend Efficiency", 0x4000780, 1, 20, 4, 0, 1, 0, 0, 0, calcTEF, 0x133, 8},
    {"KCH", "Keltner Channel", 0x4000080, 1, 20, 4, 0, 1, 0, 0, 0, calcKCH, 0x710, 1},
    {"SAR", "Parabolic SAR", 0x4000081, 1, 0, 4, 0, 0.02, 0.02, 0.2, 0, calcSAR, 0x70, 1},
    {"+DI", "+DI: Direction Indicator", 0x4000380, 1, 14, 4, 0, 0, 0, 0, 0, calcPlusDI, 0x100, 4},
    {"-DI", "-DI: Direction Indicator", 0x4000380, 1, 14, 4, 0, 0, 0, 0, 0, calcMinusDI, 0x100, 4},
    {"ADX", "ADX: Average Directional Movement", 0x4000380, 1, 14, 4, 0, 9, 0, 0, 0, calcADX, 0x111,
     4},
    {"MMA", "Modified Moving Average", 0x4000080, 1, 20, 4, 0, 0, 0, 0, 0, calcMMA, 0x300, 1},
    {"MOM", "Momentum", 0x4000280, 2, 20, 4, 0, 1, 0, 0, 0, calcMOM, 0x711, 4},
    {"HH", "Highest High", 0x4000080, 1, 20, 0, 0, 0, 0, 0, 0, calcHH, 0x100, 1},
    {"LL", "Lowest Low", 0x4000080, 1, 20, 0, 0, 0, 0, 0, 0, calcLL, 0x100, 1},
};
constexpr int k_count = (int)(sizeof k_studies / sizeof k_studies[0]);
static_assert(k_count == 18, "eighteen studies");

// The exports hand out char ** by the interface; the texts are read-only.
const char *const k_names[k_count] = {
    k_studies[0].name,  k_studies[1].name,  k_studies[2].name,  k_studies[3].name,
    k_studies[4].name,  k_studies[5].name,  k_studies[6].name,  k_studies[7].name,
    k_studies[8].name,  k_studies[9].name,  k_studies[10].name, k_studies[11].name,
    k_studies[12].name, k_studies[13].name, k_studies[14].name, k_studies[15].name,
    k_studies[16].name, k_studies[17].name,
};
const char *const k_abbrevs[k_count] = {
    k_studies[0].abbrev,  k_studies[1].abbrev,  k_studies[2].abbrev,  k_studies[3].abbrev,
    k_studies[4].abbrev,  k_studies[5].abbrev,  k_studies[6].abbrev,  k_studies[7].abbrev,
    k_studies[8].abbrev,  k_studies[9].abbrev,  k_studies[10].abbrev, k_studies[11].abbrev,
    k_studies[12].abbrev, k_studies[13].abbrev, k_studies[14].abbrev, k_studies[15].abbrev,
    k_studies[16].abbrev, k_studies[17].abbrev,
};

// Seven labels a study: period, price, method, parameters 1 to 4.
const char *const k_labels[k_count][7] = {
    {"Period", "", "", "Medium period", "Long period", "", ""},
    {"Period", "Which price", "Method", "", "", "", ""},
    {"Period", "", "Method", "", "", "", ""},
    {"Period", "", "", "Short period", "", "", ""},
    {"Period", "", "", "Short period", "Sig Ln period", "", ""},
    {"Period", "Which price", "", "", "", "", ""},
    {"Period", "Which price", "", "Dev.factor", "", "", ""},
    {"Period", "Which price", "", "", "", "", ""},
    {"Period", "", "", "Smoothing", "Abs Flag", "", ""},
    {"Period", "Which price", "", "Offset", "", "", ""},
    {"", "", "", "Initial AF", "AF incr.", "AF Max.", ""},
    {"Period", "", "", "", "", "", ""},
    {"Period", "", "", "", "", "", ""},
    {"Period", "", "", "Smoothing", "", "", ""},
    {"Period", "Which price", "", "", "", "", ""},
    {"Period", "Which price", "Method", "Smoothing", "", "", ""},
    {"Period", "", "", "", "", "", ""},
    {"Period", "", "", "", "", "", ""},
};

void put_abbrev(StudyDef *rec, const char *abbrev) {
  memset(rec->abbrev, 0, sizeof rec->abbrev);
  memcpy(rec->abbrev, abbrev, strnlen(abbrev, sizeof rec->abbrev));
}

}  // namespace

FERLUME_EXPORT int getVersion(void) {
  return STUDY_LIB_VERSION;
}

FERLUME_EXPORT int getNumberStudies(void) {
  return k_count;
}

FERLUME_EXPORT char **getNames(void) {
  return const_cast<char **>(k_names);
}

FERLUME_EXPORT char **getAbbreviations(void) {
  return const_cast<char **>(k_abbrevs);
}

FERLUME_EXPORT char **getParamLabels(int index) {
  fprintf(stderr, "UserStudy:getParamLabels(%d)\n", index);
  if (index < 0 || index >= k_count) return nullptr;
  return const_cast<char **>(k_labels[index]);
}

FERLUME_EXPORT void getParamValues(int index, StudyDef *rec) {
  if (!rec || index < 0 || index >= k_count) return;
  const study_row &r = k_studies[index];
  rec->type = r.type;
  rec->output_count = r.outputs;
  rec->period = r.period;
  rec->price_type = r.price_type;
  rec->method = r.method;
  rec->p1 = r.p1;
  rec->p2 = r.p2;
  rec->p3 = r.p3;
  rec->p4 = r.p4;
  rec->compute = r.compute;
  rec->param_flags = r.param_flags;
  rec->pane_group = r.pane_group;
  put_abbrev(rec, r.abbrev);
}

FERLUME_EXPORT void getPtrValue(int index, StudyDef *rec) {
  if (!rec) return;
  if (index < 0 || index >= k_count) {
    rec->compute = nullptr;
    return;
  }
  rec->compute = k_studies[index].compute;
  put_abbrev(rec, k_studies[index].abbrev);
}

FERLUME_EXPORT StudyCallbackTable *putCallbacks(StudyCallbackTable *table) {
  g_callbacks = table;
  return table;
}
