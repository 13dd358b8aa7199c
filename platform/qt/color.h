// Colour words as the program stores them: 0x00BBGGRR, red in the low byte.
// Every conversion between such a word and a Qt colour goes through the two
// functions below.
#pragma once

#include <QColor>
#include <cstdint>

typedef std::uint32_t COLORREF;

constexpr COLORREF RGB(int r, int g, int b) {
  return COLORREF(r & 0xFF) | (COLORREF(g & 0xFF) << 8) | (COLORREF(b & 0xFF) << 16);
}
constexpr int GetRValue(COLORREF c) {
  return int(c & 0xFF);
}
constexpr int GetGValue(COLORREF c) {
  return int((c >> 8) & 0xFF);
}
constexpr int GetBValue(COLORREF c) {
  return int((c >> 16) & 0xFF);
}

inline QColor kv_qcolor(COLORREF c) {
  return QColor(GetRValue(c), GetGValue(c), GetBValue(c));
}
inline COLORREF kv_colorref(const QColor& c) {
  return RGB(c.red(), c.green(), c.blue());
}
// The same for a raw pixel of a 32-bit image (0xAARRGGBB).
inline COLORREF kv_colorref_from_rgb(std::uint32_t argb) {
  return RGB(int((argb >> 16) & 0xFF), int((argb >> 8) & 0xFF), int(argb & 0xFF));
}
inline std::uint32_t kv_rgb_from_colorref(COLORREF c) {
  return 0xFF000000u | (std::uint32_t(GetRValue(c)) << 16) | (std::uint32_t(GetGValue(c)) << 8) |
         std::uint32_t(GetBValue(c));
}
