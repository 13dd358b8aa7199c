// The table of built-in study types: type code, what it is, its compute
// function and its number of output series.  Data-file studies (low byte
// 0x31), studies filled from outside and library studies are not in it.
#pragma once

#include "studies/studyapi.h"

struct study_type_entry {
  int32_t type;
  const char *what;
  StudyComputeFn compute;
  int series;
};

extern const study_type_entry g_study_types[];
extern const int g_study_type_count;
