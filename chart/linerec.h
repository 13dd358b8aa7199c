// The stored record of one user-drawn chart line: 128 bytes, kept in a
// chart extension block (data/chart.h), little-endian. The chart pane reads
// it to draw stored lines; the line editor writes it.
//
//   4  kind (16-bit, 1 for a line)     6  flags (8-bit, LINE_FLAG_*)
//   8  sequence number (32-bit)        12 time 1 (signed 32-bit)
//  16  price 1 (float)                 20 time 2
//  24  price 2 (float)                 32 channel deviation (float)
//  36  colour (COLORREF)               40 line style 0-9
//  44  line type (ANNOT_*)             48 width
//  52  drawing value (carried)         56 name text (to the end)
// Bytes not named here are carried unchanged by line_record_encode.
#pragma once

#include <cstdint>

enum { LINE_RECORD_SIZE = 128, LINE_NAME_OFFSET = 56, LINE_NAME_SIZE = 72 };
static_assert(LINE_NAME_OFFSET + LINE_NAME_SIZE == LINE_RECORD_SIZE,
              "the name runs to the end of the block");

enum : uint8_t { LINE_FLAG_NEW = 0x01, LINE_FLAG_SELECTED = 0x02, LINE_FLAG_SWAPPED = 0x04 };

// Line types.
enum : int32_t {
  ANNOT_HOR = 1,
  ANNOT_VER = 2,
  ANNOT_INFINITE = 3,
  ANNOT_FINITE = 4,
  ANNOT_RAY = 5,
  ANNOT_FIBONACCI = 6,
  ANNOT_CHANNEL = 7,
  ANNOT_TEXT = 12,
};

struct line_record {
  uint16_t kind;
  uint8_t flags;
  uint32_t seq;
  int32_t time1;
  float price1;
  int32_t time2;
  float price2;
  float channel_dev;
  uint32_t color;
  int32_t style;
  int32_t type;
  int32_t width;
  int32_t draw_value;
  char name[LINE_NAME_SIZE];  // as stored; may fill the field
};

// Reads the named fields of a 128-byte block.
void line_record_decode(const uint8_t* block, line_record* line);
// Writes the named fields into a 128-byte block, leaving its other bytes.
void line_record_encode(const line_record* line, uint8_t* block);
