// The drawing defaults block ("\PrefDrawDef" in the settings, 224 bytes,
// little-endian): the colours, style and widths the drawing tools start
// with, the channel width and the Fibonacci levels. The preferences page
// edits it, the drawing toolbar takes its first words, and the chart panes
// read the wide line width, the channel width and the levels when they
// draw stored lines.
//
//   0 line colour        4 feedback colour      8 line style
//  12 wide line width   16 channel standard deviations (float)
//  20 use line style    24 use colour
//  28 nine levels of 16 bytes: enabled, fraction (float), colour, line style
// 172 snap word (bits 0-4)
// 176 to the end: carried unchanged
#pragma once

#include <cstdint>

enum { DRAW_DEFS_SIZE = 224, DRAW_LEVEL_COUNT = 9, DRAW_LEVEL_SIZE = 16 };

// Byte offsets of the fields.
enum : int {
  DD_LINE_COLOR = 0,
  DD_FEEDBACK_COLOR = 4,
  DD_LINE_STYLE = 8,
  DD_WIDE_WIDTH = 12,
  DD_CHANNEL_DEVS = 16,
  DD_USE_STYLE = 20,
  DD_USE_COLOR = 24,
  DD_LEVELS = 28,
  DD_SNAP = DD_LEVELS + DRAW_LEVEL_COUNT * DRAW_LEVEL_SIZE,
  DD_END = DD_SNAP + 4,
};
static_assert(DD_LEVELS == DD_USE_COLOR + 4);
static_assert(DD_SNAP == 172);
static_assert(DD_END <= DRAW_DEFS_SIZE);

struct draw_level {
  int32_t enabled;
  float fraction;  // 0.382 for 38.2 %
  uint32_t color;
  int32_t style;  // line style 0-9
};

struct draw_defaults {
  uint32_t line_color;
  uint32_t feedback_color;
  int32_t line_style;
  int32_t wide_width;
  float channel_devs;
  int32_t use_style, use_color;
  draw_level levels[DRAW_LEVEL_COUNT];  // 23.6, 38.2, 50, 61.8, 76.4, 150, 200 %, two custom
  uint32_t snap;
};

void draw_defaults_decode(const uint8_t* block, draw_defaults* d);
// Writes the named fields, leaving the carried bytes of the block.
void draw_defaults_encode(const draw_defaults* d, uint8_t* block);
// The built-in defaults (red lines, wide width 2, one deviation, the
// 38.2, 50 and 61.8 % levels on).
void draw_defaults_builtin(draw_defaults* d);
