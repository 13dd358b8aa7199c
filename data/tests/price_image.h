// Price-file images written byte by byte in tests, so that a wrong offset
// in the program's encoder or decoder shows.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "data/chart.h"

inline void put32(std::string& s, size_t off, uint32_t v) {
  for (int i = 0; i < 4; i++) s[off + i] = (char)(v >> (8 * i));
}

inline void putf(std::string& s, size_t off, float f) {
  uint32_t v;
  memcpy(&v, &f, 4);
  put32(s, off, v);
}

inline uint32_t get32(const std::string& s, size_t off) {
  uint32_t v = 0;
  for (int i = 0; i < 4; i++) v |= (uint32_t)(uint8_t)s[off + i] << (8 * i);
  return v;
}

struct test_bar {
  float open, high, low, close;
  int32_t volume, extra;
  uint32_t flags;
  int32_t time;
};

// 2024-03-04 (a Monday) 00:00 as epoch seconds counted without zone.
constexpr int32_t DAY0 = 1709510400;

inline test_bar tbar(int32_t time, float close, uint32_t flags = 0) {
  return {close - 1, close + 1, close - 2, close, 100, 0, flags, time};
}

struct file_image {
  std::string bytes = std::string(256, '\0');
  int ext_count = 0;

  explicit file_image(const char* symbol, int unit, int claimed_bars = 0) {
    put32(bytes, 0, 7u << 16);  // zero word, version 7
    put32(bytes, 4, 0x9AE5E1A5u);
    memcpy(&bytes[8], symbol, strlen(symbol));
    memcpy(&bytes[40], "Test description", 16);
    put32(bytes, 100, (uint32_t)unit);
    put32(bytes, 104, (uint32_t)claimed_bars);
    put32(bytes, 116, 0x4 | 0x80 | 0x800000);  // bits a reader clears, one it keeps
    put32(bytes, 144, 34200);
    put32(bytes, 148, 57600);
  }
  void extension(uint8_t fill) {
    std::string block(128, (char)fill);
    bytes += block;
    put32(bytes, 152, (uint32_t)++ext_count);
  }
  void bar(const test_bar& b) {
    std::string r(32, '\0');
    putf(r, 0, b.open);
    putf(r, 4, b.high);
    putf(r, 8, b.low);
    putf(r, 12, b.close);
    put32(r, 16, (uint32_t)b.volume);
    put32(r, 20, (uint32_t)b.extra);
    put32(r, 24, b.flags);
    put32(r, 28, (uint32_t)b.time);
    bytes += r;
  }
  // Fills in the checksum: the magic plus the 63 words before it.
  std::string sealed() {
    uint32_t sum = 0x9AE5E1A5u;
    for (int off = 0; off <= 248; off += 4) sum += get32(bytes, off);
    put32(bytes, 252, sum);
    return bytes;
  }
};

// Bar times of a price file, decoded by hand.
inline std::vector<int32_t> file_times(const std::string& f) {
  std::vector<int32_t> t;
  size_t pos = 256 + 128 * (size_t)get32(f, 152);
  for (; pos + 32 <= f.size(); pos += 32) t.push_back((int32_t)get32(f, pos + 28));
  return t;
}

// A new chart holding the given bars (times ascending as given).
inline chart_rec* make_chart(const char* symbol, int unit, const std::vector<test_bar>& bars) {
  chart_rec* c = new_chart(symbol, unit);
  if ((int)bars.size() > c->spare) grow_chart_bars(c, (int)bars.size());
  for (const test_bar& t : bars) {
    chart_bar& b = c->bars[c->header.bar_count++];
    b.open = t.open;
    b.high = t.high;
    b.low = t.low;
    b.close = t.close;
    b.volume = t.volume;
    b.extra = t.extra;
    b.flags = t.flags;
    b.time = t.time;
    c->spare--;
  }
  return c;
}
