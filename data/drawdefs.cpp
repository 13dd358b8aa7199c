// Field access of the drawing defaults block.
#include "data/drawdefs.h"

#include "data/lefield.h"

void draw_defaults_decode(const uint8_t* p, draw_defaults* d) {
  d->line_color = get_le32(p + DD_LINE_COLOR);
  d->feedback_color = get_le32(p + DD_FEEDBACK_COLOR);
  d->line_style = (int32_t)get_le32(p + DD_LINE_STYLE);
  d->wide_width = (int32_t)get_le32(p + DD_WIDE_WIDTH);
  d->channel_devs = get_lef(p + DD_CHANNEL_DEVS);
  d->use_style = (int32_t)get_le32(p + DD_USE_STYLE);
  d->use_color = (int32_t)get_le32(p + DD_USE_COLOR);
  for (int k = 0; k < DRAW_LEVEL_COUNT; k++) {
    const uint8_t* l = p + DD_LEVELS + k * DRAW_LEVEL_SIZE;
    d->levels[k].enabled = (int32_t)get_le32(l);
    d->levels[k].fraction = get_lef(l + 4);
    d->levels[k].color = get_le32(l + 8);
    d->levels[k].style = (int32_t)get_le32(l + 12);
  }
  d->snap = get_le32(p + DD_SNAP);
}

void draw_defaults_encode(const draw_defaults* d, uint8_t* p) {
  put_le32(p + DD_LINE_COLOR, d->line_color);
  put_le32(p + DD_FEEDBACK_COLOR, d->feedback_color);
  put_le32(p + DD_LINE_STYLE, (uint32_t)d->line_style);
  put_le32(p + DD_WIDE_WIDTH, (uint32_t)d->wide_width);
  put_lef(p + DD_CHANNEL_DEVS, d->channel_devs);
  put_le32(p + DD_USE_STYLE, (uint32_t)d->use_style);
  put_le32(p + DD_USE_COLOR, (uint32_t)d->use_color);
  for (int k = 0; k < DRAW_LEVEL_COUNT; k++) {
    uint8_t* l = p + DD_LEVELS + k * DRAW_LEVEL_SIZE;
    put_le32(l, (uint32_t)d->levels[k].enabled);
    put_lef(l + 4, d->levels[k].fraction);
    put_le32(l + 8, d->levels[k].color);
    put_le32(l + 12, (uint32_t)d->levels[k].style);
  }
  put_le32(p + DD_SNAP, d->snap);
}

void draw_defaults_builtin(draw_defaults* d) {
  static const draw_level levels[DRAW_LEVEL_COUNT] = {
      {0, 0.236f, 0x0000FF, 2}, {1, 0.382f, 0x0000FF, 2}, {1, 0.5f, 0x0000FF, 1},
      {1, 0.618f, 0x0000FF, 2}, {0, 0.764f, 0x0000FF, 2}, {0, 1.5f, 0x0000FF, 1},
      {0, 2.0f, 0x0000FF, 1},   {0, 0.0f, 0x0000FF, 0},   {0, 0.0f, 0x0000FF, 0}};
  d->line_color = 0x0000FF;
  d->feedback_color = 0xFFFF00;
  d->line_style = 0;
  d->wide_width = 2;
  d->channel_devs = 1.0f;
  d->use_style = 0;
  d->use_color = 0;
  for (int k = 0; k < DRAW_LEVEL_COUNT; k++) d->levels[k] = levels[k];
  d->snap = 0;
}
