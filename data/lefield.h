// Little-endian field access for the byte layouts of files and wire
// messages: every stored or sent record is encoded field by field through
// these, whatever the byte order of the machine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

inline uint16_t get_le16(const uint8_t* p) {
  return (uint16_t)(p[0] | p[1] << 8);
}

inline uint32_t get_le32(const uint8_t* p) {
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  uint32_t v;
  __builtin_memcpy(&v, p, 4);
  return v;
#else
  return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
#endif
}

inline uint64_t get_le64(const uint8_t* p) {
  return (uint64_t)get_le32(p) | (uint64_t)get_le32(p + 4) << 32;
}

inline void put_le16(uint8_t* p, uint16_t v) {
  p[0] = (uint8_t)v;
  p[1] = (uint8_t)(v >> 8);
}

inline void put_le32(uint8_t* p, uint32_t v) {
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  __builtin_memcpy(p, &v, 4);
#else
  p[0] = (uint8_t)v;
  p[1] = (uint8_t)(v >> 8);
  p[2] = (uint8_t)(v >> 16);
  p[3] = (uint8_t)(v >> 24);
#endif
}

inline void put_le64(uint8_t* p, uint64_t v) {
  put_le32(p, (uint32_t)v);
  put_le32(p + 4, (uint32_t)(v >> 32));
}

// IEEE single and double precision, stored as their bit patterns.
inline float get_lef(const uint8_t* p) {
  uint32_t v = get_le32(p);
  float f;
  __builtin_memcpy(&f, &v, 4);
  return f;
}

inline void put_lef(uint8_t* p, float f) {
  uint32_t v;
  __builtin_memcpy(&v, &f, 4);
  put_le32(p, v);
}

inline double get_led(const uint8_t* p) {
  uint64_t v = get_le64(p);
  double d;
  __builtin_memcpy(&d, &v, 8);
  return d;
}

inline void put_led(uint8_t* p, double d) {
  uint64_t v;
  __builtin_memcpy(&v, &d, 8);
  put_le64(p, v);
}

// A text into a fixed-width field: at most width bytes, the rest zero.
inline void put_text_field(uint8_t* p, const char* s, size_t width) {
  size_t n = strnlen(s, width);
  memcpy(p, s, n);
  memset(p + n, 0, width - n);
}

// A fixed-width field into a text of width + 1 bytes, cut at the field's end.
inline void get_text_field(const uint8_t* p, char* s, size_t width) {
  size_t n = strnlen((const char*)p, width);
  memcpy(s, p, n);
  s[n] = 0;
}
