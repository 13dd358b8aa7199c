// Prices, volumes and percentages as text.  format_price with tick_decimals
// is the one way prices become text.  A null buffer means a static buffer of
// the function (user-interface thread only); buffers hold 64 bytes.
#pragma once

enum {
  PRICE_CODE_32NDS = 32,
  PRICE_CODE_64THS = 64,
  FORMAT_PRICE_DECIMAL = 0x1,  // never the fraction form
  FORMAT_PRICE_COMMAS = 0x2,   // thousands separators above 4 integer digits
  FORMAT_VOLUME_PERCENT = 0x100,
};

char *format_price(double price, char *buf, int code, int flags);
int tick_decimals(double tick);
char *format_fraction(double value, int column);
// Style (low byte of flags): 1 separators, 2 short (K/M/B), 3 percentage.
char *format_volume(char *buf, int value, int flags);
char *format_volume_real(char *buf, double value, int flags);
