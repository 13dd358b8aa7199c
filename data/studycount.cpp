// Number of studies on a chart.
#include "data/studycount.h"

#include "data/chart.h"
#include "platform/locks.h"
#include "studies/studyapi.h"

int chart_study_count(const chart_rec *chart) {
  if (!chart) return 0;
  kv_lock guard(g_chart_lock);
  int n = 0;
  for (const StudyDef *s = chart->studies; s; s = s->next) n++;
  return n;
}
