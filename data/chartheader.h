// Byte images of the price file: the 256-byte header, the 32-byte bar and
// the 128-byte extension block, encoded and decoded field by field
// (little-endian). The program and the console tools both use these, so
// that they agree on the format byte for byte.
#pragma once

#include <cstdint>

#include "data/chart.h"
#include "data/lefield.h"

// 0x9AE5E1A5 plus the sum, modulo 2^32, of the 63 little-endian words at
// offsets 0 to 248 of a 256-byte header image.
uint32_t chart_header_checksum(const uint8_t* image);

// Magic matches and the checksum equals the word at offset 252.
bool chart_header_valid(const uint8_t* image);

// Writes every field as held (the checksum field too).
void encode_chart_header(const chart_file_header* header, uint8_t* image);
// encode_chart_header, then stores the computed checksum in the image and
// in header->checksum.
void seal_chart_header(chart_file_header* header, uint8_t* image);
// Reads every field; symbol, description and the leg symbols are always
// zero-terminated within their fields, whatever the image holds.
void decode_chart_header(const uint8_t* image, chart_file_header* header);

// Encodes/decodes count consecutive bars.
void encode_chart_bars(const chart_bar* bars, int count, uint8_t* image);
void decode_chart_bars(const uint8_t* image, int count, chart_bar* bars);

inline void encode_chart_bar(const chart_bar* b, uint8_t* p) {
  put_lef(p + 0, b->open);
  put_lef(p + 4, b->high);
  put_lef(p + 8, b->low);
  put_lef(p + 12, b->close);
  put_le32(p + 16, (uint32_t)b->volume);
  put_le32(p + 20, (uint32_t)b->extra);
  put_le32(p + 24, b->flags);
  put_le32(p + 28, (uint32_t)b->time);
}

inline void decode_chart_bar(const uint8_t* p, chart_bar* b) {
  b->open = get_lef(p + 0);
  b->high = get_lef(p + 4);
  b->low = get_lef(p + 8);
  b->close = get_lef(p + 12);
  b->volume = (int32_t)get_le32(p + 16);
  b->extra = (int32_t)get_le32(p + 20);
  b->flags = get_le32(p + 24);
  b->time = (int32_t)get_le32(p + 28);
}
