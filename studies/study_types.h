// The table of study types: for each type code what it is, its compute
// function, its number of output series, the parameters find_or_create_study
// reads after the type (in order), the defaults and name it gives a new
// study, and the smallest period it accepts.  Data-file studies (low byte
// 0x31), studies filled from outside and the external ones are not in it;
// the library rows (0x80-0x82) take their compute function and series from
// the library.
#pragma once

#include <cstdint>

#include "studies/studyapi.h"

// A parameter find_or_create_study reads: int period, price type and
// method, double p1-p4, an int stored into p1, the library's name and
// study index.
enum study_arg : uint8_t {
  ARG_END,
  ARG_PERIOD,
  ARG_PRICE,
  ARG_METHOD,
  ARG_P1,
  ARG_P2,
  ARG_P3,
  ARG_P4,
  ARG_P1_FROM_INT,
  ARG_LIB_NAME,
  ARG_LIB_INDEX,
};

// A value put into the study's name, one per conversion of its format.
enum study_name_arg : uint8_t {
  NAME_PERIOD,  // %d
  NAME_P2,      // %f
  NAME_P1_INT,  // %d of p1, p2, p3 as whole numbers
  NAME_P2_INT,
  NAME_P3_INT,
  NAME_LIB_NAME,   // %s
  NAME_LIB_INDEX,  // %d
};

enum study_type_flag : uint8_t {
  STUDY_TYPE_CREATABLE = 1,  // find_or_create_study makes it
  STUDY_TYPE_LIBRARY = 2,    // a study of a study library
};

struct study_type_entry {
  int32_t type;
  const char *what;
  StudyComputeFn compute;
  int series;
  uint8_t flags;
  uint8_t args[10];            // ARG_END-terminated
  const char *name = nullptr;  // name format (printf), or null
  uint8_t name_args[3] = {};
  double p1 = 0;       // default p1
  uint32_t color = 0;  // line colour (0x808080 unless given)
  const char *abbrev = nullptr;
  int min_period = 0;  // refused below it (0: any)
};

extern const study_type_entry g_study_types[];
extern const int g_study_type_count;

// The row of a type code, or null.
const study_type_entry *study_type_of(int type);
