// The chart loader's calls into the study engine: recomputing a chart's
// studies after its bars changed and copying a base chart's studies onto a
// chart compressed from it.  Set once at start-up.
#include "data/chartload.h"
#include "studies/study.h"

void install_study_chart_hooks(void) {
  g_chart_load_hooks.recalc_studies = recalc_studies;
  g_chart_load_hooks.create_study = create_study;
}
