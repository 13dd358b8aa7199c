// The chart loader's calls into the study engine: recomputing a chart's
// studies after its bars changed, copying a base chart's studies onto a
// chart compressed from it, growing the outputs with the bars and moving
// the trading-system plots with pruned bars.  Set once at start-up.
#include <cstring>

#include "data/chartload.h"
#include "platform/locks.h"
#include "platform/sync.h"
#include "studies/study.h"
#include "studies/studyapi.h"

// The plots a trading-system run writes: nothing recomputes them, so they
// move with the bars.
static int is_plot_type(int32_t type) {
  return type == 0x926 || type == 0xA27 || type == 0x928;
}

static void shift_plot_outputs(chart_rec *chart, int n) {
  if (!chart || n <= 0) return;
  kv_lock guard(g_chart_lock);
  for (StudyDef *s = chart->studies; s; s = s->next) {
    if (!is_plot_type(s->type) || !s->outputs) continue;
    int len = s->output_len, series = study_output_count(s);
    for (int k = 0; k < series; k++) {
      float *out = s->outputs + (size_t)k * (size_t)len;
      if (n >= len) {
        for (int i = 0; i < len; i++) out[i] = MISSING_VALUE;
        continue;
      }
      memmove(out, out + n, sizeof(float) * (size_t)(len - n));
      for (int i = len - n; i < len; i++) out[i] = MISSING_VALUE;
    }
  }
}

void install_study_chart_hooks(void) {
  g_chart_load_hooks.recalc_studies = recalc_studies;
  g_chart_load_hooks.create_study = create_study;
  g_chart_load_hooks.resize_studies = resize_chart_studies;
  g_chart_load_hooks.shift_plot_outputs = shift_plot_outputs;
}
