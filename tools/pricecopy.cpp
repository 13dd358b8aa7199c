#include "tools/pricecopy.h"

#include "data/chart.h"
#include "data/chartheader.h"

#include <algorithm>
#include <cctype>
#include <cfloat>
#include <cstddef>
#include <cmath>
#include <cstdlib>
#include <cstring>

static const size_t SYMBOL_AT = offsetof(chart_file_header, symbol);
static const size_t BAR_COUNT_AT = offsetof(chart_file_header, bar_count);
static const size_t EXT_COUNT_AT = offsetof(chart_file_header, ext_count);
static const size_t CHECKSUM_AT = offsetof(chart_file_header, checksum);

static const char* base_name(const char* path) {
  const char* base = path;
  for (const char* p = path; *p; p++)
    if (*p == '/' || *p == '\\') base = p + 1;
  return base;
}

const char* file_extension(const char* path) {
  return std::strrchr(base_name(path), '.');
}

std::string symbol_from_file_name(const char* path) {
  std::string symbol;
  for (const char* p = base_name(path); *p && *p != '.'; p++) {
    if (symbol.size() == CHART_SYMBOL_SIZE - 1) break;
    symbol.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(*p))));
  }
  return symbol;
}

int parse_price_adjustment(const char* text, double* value) {
  const char* p = text;
  if (*p == '+' || *p == '-') p++;
  int digits = 0;
  while (std::isdigit(static_cast<unsigned char>(*p))) {
    p++;
    digits++;
  }
  if (*p == '.') {
    p++;
    while (std::isdigit(static_cast<unsigned char>(*p))) {
      p++;
      digits++;
    }
  }
  if (digits == 0) return 0;
  if (*p == 'e' || *p == 'E') {
    p++;
    if (*p == '+' || *p == '-') p++;
    if (!std::isdigit(static_cast<unsigned char>(*p))) return 0;
    while (std::isdigit(static_cast<unsigned char>(*p))) p++;
  }
  if (*p) return 0;
  // Prices are floats: a shift beyond their range would turn every
  // price into infinity.
  double v = std::strtod(text, nullptr);
  if (!std::isfinite(v) || std::fabs(v) > FLT_MAX) return 0;
  *value = v;
  return 1;
}

int price_image_complete(const uint8_t* image, size_t size) {
  if (size < CHART_HEADER_SIZE) return 0;
  // Counts are read unsigned so that a negative count can never fit.
  uint64_t ext_count = get_le32(image + EXT_COUNT_AT);
  uint64_t bar_count = get_le32(image + BAR_COUNT_AT);
  uint64_t need = CHART_HEADER_SIZE + CHART_EXTENSION_SIZE * ext_count + CHART_BAR_SIZE * bar_count;
  return need <= size;
}

int price_image_checksum_ok(const uint8_t* image) {
  return chart_header_checksum(image) == get_le32(image + CHECKSUM_AT);
}

void set_price_image_symbol(uint8_t* image, const std::string& symbol) {
  std::memset(image + SYMBOL_AT, 0, CHART_SYMBOL_SIZE);
  std::memcpy(image + SYMBOL_AT, symbol.data(),
              std::min<size_t>(symbol.size(), CHART_SYMBOL_SIZE - 1));
  put_le32(image + CHECKSUM_AT, chart_header_checksum(image));
}

// A float field plus the adjustment, worked out in double as the
// adjustment is read.
static float shifted(float price, double adjustment) {
  return static_cast<float>(price + adjustment);
}

void adjust_price_image(uint8_t* image, double adjustment) {
  uint32_t ext_count = get_le32(image + EXT_COUNT_AT);
  uint32_t bar_count = get_le32(image + BAR_COUNT_AT);
  uint8_t* bars = image + CHART_HEADER_SIZE + static_cast<size_t>(CHART_EXTENSION_SIZE) * ext_count;
  for (uint32_t i = 0; i < bar_count; i++) {
    uint8_t* p = bars + static_cast<size_t>(CHART_BAR_SIZE) * i;
    chart_bar bar;
    decode_chart_bar(p, &bar);
    bar.open = shifted(bar.open, adjustment);
    bar.high = shifted(bar.high, adjustment);
    bar.low = shifted(bar.low, adjustment);
    bar.close = shifted(bar.close, adjustment);
    if (bar.flags & BAR_EXTRA_VWAP) {
      float vwap;
      std::memcpy(&vwap, &bar.extra, sizeof vwap);
      vwap = shifted(vwap, adjustment);
      std::memcpy(&bar.extra, &vwap, sizeof vwap);
    }
    encode_chart_bar(&bar, p);
  }
}
