// The vertical-scale record of one axis: kept per price chart (price or
// percent), per volume axis, per study and per group view.  The scaling
// code writes it; the drawing code reads the minimum, the pixels per unit
// and the label list.  In memory only (512 bytes, never stored).
#pragma once

#include <cstddef>
#include <cstdint>

#define AXIS_SCALE_MAX_LABELS 39

struct axis_label {
  int16_t offset;  // pixels of the label's value above the scale minimum
  char spare;
  char text[9];  // zero-terminated
};

struct axis_scale {
  double minimum;  // scale minimum
  double pixels_per_unit;
  double label_min;  // range the labels were made for
  double label_max;
  int16_t label_count;
  int16_t longest_label;  // in characters
  int16_t kind;           // spare; group axes keep their kind here
  int16_t label_height;   // pane height the labels were made for
  char spare[4];
  axis_label labels[AXIS_SCALE_MAX_LABELS];
};

static_assert(sizeof(axis_label) == 12, "axis_label is 12 bytes");
static_assert(offsetof(axis_scale, label_count) == 32, "axis_scale layout");
static_assert(offsetof(axis_scale, labels) == 44, "axis_scale layout");
static_assert(sizeof(axis_scale) == 512, "axis_scale is 512 bytes");
