// The study engine: a chart's study list and the numeric core that the
// built-in studies and study libraries share.  Study creation, deletion and
// recomputation take g_chart_lock themselves.
#pragma once

#include <cstdint>

#include "studies/studyapi.h"

// Run-wide counter of study ids, 1 at start; never reused within a run.
extern int g_next_study_id;
// The table handed to study libraries.
extern StudyCallbackTable g_study_callbacks;

// Hooks to neighbouring subsystems, null until those are linked in.
// Keeps an order attached to a study line on the line; returns 1 when the
// order moved.  Installed by the order bookkeeping.
extern int (*g_reprice_study_order)(chart_rec *chart, StudyDef *study);
// Binds a library study record to its library (type, pane group, output
// count, flags, name, abbreviation, compute function); 1 on success.
// The study-library host's bind_user_study (studies/studylib_host.h).
extern int (*g_bind_user_study)(StudyDef *study);

// Gives the chart loader (data/chartload.h) the recomputation of a chart's
// studies and the copying of a study onto another chart
// (studies/chart_hooks.cpp).  Called once at start-up.
void install_study_chart_hooks(void);

// ---- study list -------------------------------------------------------
StudyDef *create_study(chart_rec *chart, const StudyDef *templ);
StudyDef *find_equal_study(chart_rec *chart, const StudyDef *templ);
StudyDef *find_or_create_study(chart_rec *chart, int type, ...);
void recalc_studies(chart_rec *chart, int restart);
int delete_study(chart_rec *chart, StudyDef *study);
int copy_studies(chart_rec *dst, chart_rec *src);
int transfer_studies(chart_rec *new_chart, chart_rec *old_chart);
int study_output_count(const StudyDef *study);
int count_study_panes(chart_rec *chart, int pane_groups);
// Frees a whole study list (the chart's records go with their chart).
void free_study_list(StudyDef *head);
// Gives every study of the chart new_len slots per series, keeping the
// values of the existing slots; new slots hold MISSING_VALUE.  Returns 0
// when memory ran out (the studies that could not grow stay as they were).
int resize_chart_studies(chart_rec *chart, int new_len);

// ---- stored form ----------------------------------------------------------
// Page layouts and favourites keep each study as these 224 bytes (the
// record from `type` up to `compute`), little-endian.
#define STUDY_STORED_SIZE 224
void study_to_stored(const StudyDef *study, unsigned char out[STUDY_STORED_SIZE]);
// Fills a template from its stored form: id and attached order cleared,
// no compute function, no outputs.
void study_from_stored(StudyDef *templ, const unsigned char in[STUDY_STORED_SIZE]);

// ---- numeric core (slots 0-4 of the callback table) ------------------------
double bar_price_value(const chart_bar *bar, int price_type);
double study_source_value(chart_rec *chart, StudyDef *study, int index, int price_type);
int study_moving_average(float *out, const float *in, int start, int first_valid, int count,
                         int method, int period);
double study_linear_regression(chart_rec *chart, int first, int last, int price_type,
                               double *slope);
double study_regression_channel(chart_rec *chart, int first, int last, int price_type,
                                double *slope, double *max_dev, double *rms_dev);

// ---- day statistics --------------------------------------------------------
int update_day_stats(chart_rec *chart, int force);
void update_prev_day_stats(chart_rec *chart);

// Compute function bound to a type by the type table, or null.
StudyComputeFn study_compute_for_type(int type);
