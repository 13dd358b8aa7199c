// Spread charts: a spread symbol names a definition in CONFIG/spreads.cfg and
// is charted as the combination of two leg charts, r1 x p1 + r2 x p2, or for
// symbols beginning "R~" the ratio r1 x p1 / (r2 x p2).
//
// spreads.cfg holds one definition per line: name, leg 1, leg 2, ratio 1,
// ratio 2.  Its tokens are cached process-wide under g_chart_lock; saving or
// deleting a definition rewrites the file and drops the cache.
#pragma once

#include "data/chart.h"

struct spread_def {
  char name[32];  // the chart symbol ("R~" prefix for a ratio spread)
  char leg1[32];
  char leg2[32];
  double ratio1;
  double ratio2;
};

enum { SPREAD_TOKENS = 5 };  // tokens per definition in spreads.cfg

// The definitions as a token array of the caller's own (5 per definition),
// freed with free_tokens.  Returns the token count (0 when there is none).
int get_spread_definitions(char*** tokens);

// 1 and *def filled when a definition of that name exists (case-insensitive)
// and its legs and ratios are usable, else 0.
int find_spread_definition(const char* name, spread_def* def);

// Adds the definition, or replaces the one of the same name in place.
// 1, or 0 when the definition is unusable (names that cannot be symbols,
// ratios that are 0 or not finite) or the file cannot be written (the file
// and the cache are then as they were).
int save_spread_definition(const spread_def* def);

// Removes the named definition.  1, or 0 when the file cannot be written.
int delete_spread_definition(const char* name);

// Ratios that give both legs the same money value, the second negative.
// 1, or 0 when any input is not above 0 (outputs untouched).
int balance_spread_legs(double price1, double ratio1, double price2, double ratio2,
                        double* out_ratio1, double* out_ratio2);

// A new unlisted chart of the spread symbol at the unit, built from its legs
// by build_spread_chart; null when no record can be had.
chart_rec* new_spread_chart(const char* symbol, int time_unit);

// Recomputes the chart's bars from its legs: 1-minute legs for units 1-389,
// the stored daily, weekly or monthly legs for 390, 2730 and 11700.  The
// chart is left as it was when the definition or a leg is missing.
void build_spread_chart(chart_rec* chart);

// Drops the cached definitions (exit, tests).
void free_spread_cache();
