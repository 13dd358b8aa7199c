// Vertical axis scaling: given the bars visible in a pane and the pane's
// height, choose the value range, the pixels per unit and the labels of a
// scale block (data/axis_scale.h) for the percent and price axes of a price
// pane, the volume axis, the study panes and the group views of the market
// windows. A block whose range and height are unchanged keeps its labels.
//
// Every stored minimum and pixels-per-unit value is finite, and pixels per
// unit is above 0; axis_pixels converts through a block and saturates.
#pragma once

#include <cstdint>

struct axis_scale;
struct chart_rec;
struct StudyDef;

// Scale flags: bit 0 leaves the price-pane studies out of the range; any
// of bits 1-15 skips bars before the session start.
enum : int { SCALE_NO_STUDIES = 0x1, SCALE_SESSION_ONLY = 0xFFFE };

// 1 scale made or unchanged, 0 failure ("scaling err: ..." reaches the
// status log when no step fits).
int scale_percent_axis(chart_rec* chart, chart_rec** overlays, int overlay_count, int first,
                       int last, int height, int label_height, int flags, int overlay_first);
int scale_price_axis(chart_rec* chart, int first, int last, int height, int label_height, int flags,
                     int shift, double fixed_range);
int scale_volume_axis(chart_rec* chart, int first, int last, int height, int min_tick_height);
// The number of pane slots found among the studies of pane_groups; the first
// study of the first and second slot are returned. Takes g_chart_lock.
int calc_study_scale(chart_rec* chart, int pane_groups, int first, int last, int height,
                     int label_height, StudyDef** first_study, StudyDef** second_study);
// What the group axes need of the market windows and the broker, set at
// start-up: the view bit of the profit-and-loss race (0 none) and the
// profit-and-loss display mode (null: mode 0).
struct group_scale_hooks {
  uint32_t pl_group;
  int (*get_pl_mode)();
};
extern group_scale_hooks g_group_scale_hooks;

// kind 0 price, 1 studies, 2 volume of the group view; null when the view
// has no block or no step fits.
axis_scale* calc_group_scale(uint32_t view_bit, int kind, int height, int label_height);

// The bar of other with the same time as bar index of chart, or -1.
int match_bar_index(const chart_rec* chart, int index, const chart_rec* other);
// Characters after the last "." of the value's price text, 0 without one.
int price_text_decimals(double value, int code);

// trunc((value - minimum) x pixels per unit), kept within int range.
int axis_pixels(const axis_scale* s, double value);
// The label text of a group axis for value: "%0.2f%%" without its leading
// zero for fractions (".50%", "-.50%"), "%0.0f%%" for whole values.
void group_label_text(double value, int money, char* out, int size);

// Test hook: the step table of price and percent axes.
extern const double g_price_steps[32];
