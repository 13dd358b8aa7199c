// The study record and the study-library interface.
//
// Shared by the program's study engine and by study libraries: a library
// is built against this header (and data/chart.h for reading bars) and
// reaches the program only through the StudyCallbackTable it is handed by
// putCallbacks.  Nothing here needs linking.
//
// A live study is one zero-filled block: the StudyDef record followed by
// its output series, each output_len floats; `outputs` points at the first
// series inside the block.  Slots without a value hold MISSING_VALUE; any
// input below -1e19 counts as missing.
#pragma once

#include <cstddef>
#include <cstdint>

#include "data/axis_scale.h"

struct chart_rec;
struct chart_bar;
struct StudyDef;

// Float bits 0xE09C2007.
#define MISSING_VALUE (-9e19f)
#define MISSING_LIMIT (-1e19)

inline bool study_is_missing(double v) {
  return v < MISSING_LIMIT;
}

// The interface version this header describes; the program refuses a
// library that reports a higher one.
#define STUDY_LIB_VERSION 7

// StudyTypeCode: bits 0-7 the study number, 8-15 the pane slot, bit 16 a
// daily reference line (one value, no series), bits 17-27 the family.
// Bit 31 is only an argument flag of find_or_create_study: create hidden.
enum StudyTypeCode : int32_t {
  STUDY_NUMBER_MASK = 0xFF,
  STUDY_SLOT_MASK = 0xFF00,
  STUDY_SLOT_SHIFT = 8,
  STUDY_DAILY_LINE = 0x10000,
  STUDY_FAMILY_MASK = 0x0FFE0000,

  STUDY_FAM_STOCHASTIC = 0x20000,
  STUDY_FAM_BOLLINGER = 0x40000,
  STUDY_FAM_AVERAGE = 0x80000,
  STUDY_FAM_MACD = 0x100000,
  STUDY_FAM_VOLUME = 0x200000,
  STUDY_FAM_OTHER = 0x400000,
  STUDY_FAM_RSI = 0x800000,
  STUDY_FAM_VHF = 0x1000000,
  STUDY_FAM_CCI = 0x2000000,
  STUDY_FAM_LIBRARY = 0x4000000,
  STUDY_FAM_DAILY = 0x8000000,

  STUDY_STOCH_K = 0x2030B,
  STUDY_STOCH_D = 0x2030C,
  STUDY_BB_UPPER = 0x4001D,
  STUDY_BB_MID = 0x4001E,
  STUDY_BB_LOWER = 0x4001F,
  STUDY_BB_PERCENT = 0x40707,
  STUDY_BB_WIDTH = 0x40B08,
  STUDY_SMA = 0x80001,
  STUDY_EMA = 0x80002,
  STUDY_WMA = 0x80003,
  STUDY_TMA = 0x80004,
  STUDY_VMA = 0x80005,
  STUDY_STDDEV = 0x80225,
  STUDY_MACD = 0x100209,
  STUDY_MACD_SIGNAL = 0x10020A,
  STUDY_AVG_VOLUME = 0x200120,
  STUDY_OBV = 0x20040D,
  STUDY_PVT = 0x20040E,
  STUDY_REL_VOLUME = 0x20071A,
  STUDY_INTRADAY_REL_VOLUME = 0x20071B,
  STUDY_INTRADAY_ACC_VOLUME = 0x20071C,
  STUDY_NET_VOLUME_RATIO = 0x200724,
  STUDY_AVG_NET_VOLUME = 0x200823,
  STUDY_NET_VOLUME = 0x210822,
  STUDY_AD_LINE = 0x400410,
  STUDY_CHAIKIN = 0x400511,
  STUDY_RSI = 0x80030F,
  STUDY_VHF = 0x1000612,
  STUDY_CCI = 0x2000721,

  STUDY_PREV_CLOSE = 0x8010013,
  STUDY_DAY_HIGH = 0x8010014,
  STUDY_DAY_MID = 0x8010015,
  STUDY_DAY_LOW = 0x8010016,
  STUDY_DAY_OPEN = 0x8010017,
  STUDY_PIVOT = 0x8010029,
  STUDY_SUPPORT1 = 0x801002A,
  STUDY_SUPPORT2 = 0x801002B,
  STUDY_RESIST1 = 0x801002C,
  STUDY_RESIST2 = 0x801002D,
  STUDY_PREV_HIGH = 0x801002E,
  STUDY_PREV_LOW = 0x801002F,
  STUDY_DAY_VWAP = 0x8010030,

  STUDY_TRADE_SIGNALS = 0x926,
  STUDY_ORDER_PRICE = 0x928,
  STUDY_EQUITY = 0xA27,
  STUDY_EXTERNAL_A = 0x18,
  STUDY_EXTERNAL_B = 0x19,
  STUDY_DATA_FILE = 0x31,
  STUDY_FILLED_OUTSIDE = 0x32,
  STUDY_LIBRARY = 0x80,  // 0x80-0x82, with STUDY_FAM_LIBRARY and a slot
};

#define STUDY_CREATE_HIDDEN ((int32_t)0x80000000)

// state bits
#define STUDY_STATE_HIDDEN 0x1
#define STUDY_STATE_DEFAULT 0x2    // fresh default template, name not built
#define STUDY_STATE_DELETED 0x4    // deleted in the Studies sheet
#define STUDY_STATE_UNIQUE 0x8     // never equal to an existing study
#define STUDY_STATE_MODIFIED 0x10  // modified in the Studies sheet

// param_flags bits (library studies): which parameters are shown
#define STUDY_SHOW_P1 0x10
#define STUDY_SHOW_P2 0x20
#define STUDY_SHOW_P3 0x40
#define STUDY_SHOW_P4 0x80
#define STUDY_SHOW_PERIOD 0x100

// price_type codes
enum {
  PRICE_OPEN = 1,
  PRICE_HIGH = 2,
  PRICE_LOW = 3,
  PRICE_CLOSE = 4,
  PRICE_MEDIAN = 5,    // (H+L)/2
  PRICE_TYPICAL = 6,   // (H+L+C)/3
  PRICE_WEIGHTED = 7,  // (H+L+2C)/4
  PRICE_VWAP = 8,      // bar's volume-weighted price
  PRICE_VOLUME = 9,
  PRICE_OPEN_INT = 10,
  PRICE_OI_PER_VOLUME = 11,
  PRICE_OPEN_INT2 = 12,
  PRICE_TRUE_RANGE = 14,
  PRICE_STUDY = 15,  // another study's first output
};

// moving-average methods
enum { MA_SIMPLE = 0, MA_EXPONENTIAL = 1, MA_WEIGHTED = 2, MA_TRIANGULAR = 3 };

// (Re)computes a study's outputs: restart 1 from the first bar, restart 0
// from the bar index the function saved in `work` (the last bar computed is
// computed again).  Returns 1, or 0 where a study refuses.
typedef int (*StudyComputeFn)(chart_rec *chart, StudyDef *study, int restart);

#define STUDY_WORK_SIZE 92

struct StudyDef {
  StudyDef *next;   // next study of the chart's list
  int32_t unused0;  // not read by the engine
  int32_t type;     // StudyTypeCode
  uint32_t color;   // 0x00BBGGRR
  int32_t line_style;
  uint32_t pane_group;  // 1 price, 2 volume, 4/8/16/32 study panes
  int32_t id;           // -1 in templates
  int32_t line_width;
  int32_t output_len;    // slots per output series
  int16_t lib_index;     // study index inside its library
  int16_t output_count;  // series when positive; 0 = by type
  int32_t unused1;       // not read by the engine
  uint32_t param_flags;  // STUDY_SHOW_*
  uint32_t state;        // STUDY_STATE_*
  char lib_name[32];     // library name without extension
  char name[64];         // display name; "*..." is built for display
  int32_t period;
  int32_t price_type;
  int32_t method;
  double p1, p2, p3, p4;
  unsigned char carried[8];
  int32_t attached_order;  // id of the order following this line, 0 none
  // Attachment word: bit 0 round down, bits 1-7 tick multiple, bits 8-15
  // signed offset in ticks; then settings of the attached order.
  uint32_t attach_word;
  unsigned char attach_carried[24];
  StudyComputeFn compute;
  // Running state of the compute function between calls; its layout is
  // private to each compute function.
  alignas(8) unsigned char work[STUDY_WORK_SIZE];
  char abbrev[8];    // not necessarily terminated
  float value;       // current value of a daily reference line
  float *outputs;    // first series; series k at outputs + k*output_len
  axis_scale scale;  // vertical scale of the study's pane
};

static_assert(offsetof(StudyDef, work) % 8 == 0, "work area holds doubles");

// The six engine functions a study library calls, in this order.
struct StudyCallbackTable {
  double (*bar_price_value)(const chart_bar *bar, int price_type);
  double (*study_source_value)(chart_rec *chart, StudyDef *study, int index, int price_type);
  int (*study_moving_average)(float *out, const float *in, int start, int first_valid, int count,
                              int method, int period);
  double (*study_linear_regression)(chart_rec *chart, int first, int last, int price_type,
                                    double *slope);
  double (*study_regression_channel)(chart_rec *chart, int first, int last, int price_type,
                                     double *slope, double *max_dev, double *rms_dev);
  StudyDef *(*find_or_create_study)(chart_rec *chart, int type, ...);
};

// Exports of a study library, bound by these names (plain C).
extern "C" {
typedef int (*StudyLibGetVersionFn)(void);                           // "getVersion"
typedef int (*StudyLibGetNumberStudiesFn)(void);                     // "getNumberStudies"
typedef char **(*StudyLibGetNamesFn)(void);                          // "getNames"
typedef char **(*StudyLibGetAbbreviationsFn)(void);                  // "getAbbreviations"
typedef char **(*StudyLibGetParamLabelsFn)(int index);               // "getParamLabels"
typedef void (*StudyLibGetParamValuesFn)(int index, StudyDef *rec);  // "getParamValues"
typedef void (*StudyLibGetPtrValueFn)(int index, StudyDef *rec);     // "getPtrValue"
typedef StudyCallbackTable *(*StudyLibPutCallbacksFn)(StudyCallbackTable *table);  // "putCallbacks"
}
