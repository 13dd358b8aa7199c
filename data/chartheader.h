// Byte images of the price file: the 256-byte header, the 32-byte bar and
// the 128-byte extension block, encoded and decoded field by field
// (little-endian). The program and the console tools both use these, so
// that they agree on the format byte for byte.
#pragma once

#include <cstdint>

#include "data/chart.h"

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

// Little-endian field access.
inline uint32_t get_le32(const uint8_t* p)
{
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    uint32_t v;
    __builtin_memcpy(&v, p, 4);
    return v;
#else
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
#endif
}
inline uint16_t get_le16(const uint8_t* p) { return (uint16_t)(p[0] | p[1] << 8); }
inline void put_le32(uint8_t* p, uint32_t v)
{
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    __builtin_memcpy(p, &v, 4);
#else
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
    p[2] = (uint8_t)(v >> 16);
    p[3] = (uint8_t)(v >> 24);
#endif
}
inline void put_le16(uint8_t* p, uint16_t v)
{
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
}

inline float get_lef(const uint8_t* p)
{
    uint32_t v = get_le32(p);
    float f;
    __builtin_memcpy(&f, &v, 4);
    return f;
}

inline void put_lef(uint8_t* p, float f)
{
    uint32_t v;
    __builtin_memcpy(&v, &f, 4);
    put_le32(p, v);
}

inline double get_led(const uint8_t* p)
{
    uint64_t v = (uint64_t)get_le32(p) | (uint64_t)get_le32(p + 4) << 32;
    double d;
    __builtin_memcpy(&d, &v, 8);
    return d;
}

inline void put_led(uint8_t* p, double d)
{
    uint64_t v;
    __builtin_memcpy(&v, &d, 8);
    put_le32(p, (uint32_t)v);
    put_le32(p + 4, (uint32_t)(v >> 32));
}

inline void encode_chart_bar(const chart_bar* b, uint8_t* p)
{
    put_lef(p + 0, b->open);
    put_lef(p + 4, b->high);
    put_lef(p + 8, b->low);
    put_lef(p + 12, b->close);
    put_le32(p + 16, (uint32_t)b->volume);
    put_le32(p + 20, (uint32_t)b->extra);
    put_le32(p + 24, b->flags);
    put_le32(p + 28, (uint32_t)b->time);
}

inline void decode_chart_bar(const uint8_t* p, chart_bar* b)
{
    b->open = get_lef(p + 0);
    b->high = get_lef(p + 4);
    b->low = get_lef(p + 8);
    b->close = get_lef(p + 12);
    b->volume = (int32_t)get_le32(p + 16);
    b->extra = (int32_t)get_le32(p + 20);
    b->flags = get_le32(p + 24);
    b->time = (int32_t)get_le32(p + 28);
}
