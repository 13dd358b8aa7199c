// Prices, volumes and percentages as text.
#include "data/pricefmt.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "settings/settings.h"

enum { FORMAT_BUF = 64 };

static char *copy_out(char *buf, const char *text) {
  snprintf(buf, FORMAT_BUF, "%s", text);
  return buf;
}

int tick_decimals(double tick) {
  if (!(tick > 0)) return 2;  // no tick (or not a number): two decimals
  if (tick == 1.0 / 64) return 64;
  if (tick == 1.0 / 32) return 32;
  if (tick >= 1) return 0;
  if (tick >= 0.001) return 2;
  int d = (int)-log10(tick);
  return d > 9 ? 9 : d;
}

// 32nds ("101'16") and 64ths as tenths of 32nds ("101'165"); the sign goes
// first and the magnitude after it.
static void format_32nds(char *out, size_t size, double price, int code) {
  const char *sign = price < 0 ? "-" : "";
  double a = fabs(price);
  if (a > 2e9) a = 2e9;
  long long whole = (long long)a;
  if (code == PRICE_CODE_32NDS) {
    long long n = (long long)(a * 32) % 32;
    snprintf(out, size, "%s%lld'%02lld", sign, whole, n);
  } else {
    long long r = (long long)((a + 0.001) * 320) % 320;
    snprintf(out, size, "%s%lld'%02lld%lld", sign, whole, r / 10, r % 10);
  }
}

static void insert_commas(char *s, size_t size) {
  char *digits = s + (*s == '-');
  size_t int_len = strcspn(digits, ".");
  if (int_len <= 4) return;
  char tmp[512];
  size_t w = 0;
  for (size_t i = 0; digits[i] && w + 2 < sizeof tmp; i++) {
    if (i < int_len && i > 0 && (int_len - i) % 3 == 0) tmp[w++] = ',';
    tmp[w++] = digits[i];
  }
  tmp[w] = 0;
  snprintf(digits, size - (size_t)(digits - s), "%s", tmp);
}

char *format_price(double price, char *buf, int code, int flags) {
  static char sbuf[FORMAT_BUF];
  if (!buf) buf = sbuf;
  char out[512];
  if (!std::isfinite(price)) return copy_out(buf, "0");
  if (code == PRICE_CODE_32NDS || code == PRICE_CODE_64THS) {
    format_32nds(out, sizeof out, price, code);
    return copy_out(buf, out);
  }
  if (code < 6 && price != 0) {
    int m = (int)ceil(log10(fabs(price)));
    double unit = m > 0 ? pow(10.0, m - 6) : 1e-6;
    double half = price < 0 ? -unit / 2 : unit / 2;
    price = trunc((price + half) / unit) * unit;
  }
  if (g_data_format == 0 || price < 0.0625 || (flags & FORMAT_PRICE_DECIMAL)) {
    int digits = 0;
    for (double w = trunc(fabs(price)); w >= 1 && digits < 400; w = trunc(w / 10)) digits++;
    int k = 6 - digits;
    if (k < 0) k = 0;
    snprintf(out, sizeof out, "%0.*f", k, price);
    char *s = out;
    if (code > 4) {
      if (strncmp(s, "-0.", 3) == 0)
        memmove(s + 1, s + 2, strlen(s + 2) + 1);
      else if (strncmp(s, "0.", 2) == 0)
        memmove(s, s + 1, strlen(s + 1) + 1);
    }
    char *point = strchr(s, '.');
    if (point) {
      int keep = code > 0 ? code : 0;
      char *end = s + strlen(s);
      while (end > point + 1 + keep && end[-1] == '0') *--end = 0;
      if (end == point + 1) *point = 0;
    }
    if (flags & FORMAT_PRICE_COMMAS) insert_commas(s, sizeof out);
    return copy_out(buf, s);
  }
  return copy_out(buf, format_fraction(price, 0));
}

char *format_fraction(double value, int column) {
  static char sbuf[FORMAT_BUF];
  if (!std::isfinite(value)) value = 0;
  const char *sign = value < 0 ? "-" : "";
  double a = fabs(value);
  if (a > 2e9) a = 2e9;
  long long whole = (long long)a;
  double frac = a - (double)whole;
  int den = 64;
  for (int d = 2; d <= 64; d *= 2)
    if (frac * d == trunc(frac * d)) {
      den = d;
      break;
    }
  long long num = llround(frac * den);
  if (num >= den) {
    whole++;
    num = 0;
  }
  while (num > 0 && num % 2 == 0 && den > 1) {
    num /= 2;
    den /= 2;
  }
  if (num == 0) {
    snprintf(sbuf, sizeof sbuf, column ? "%s%lld      " : "%s%lld", sign, whole);
  } else if (whole == 0) {
    snprintf(sbuf, sizeof sbuf, column ? "%s%lld/%d " : "%s%lld/%d", sign, num, den);
  } else {
    snprintf(sbuf, sizeof sbuf, column ? "%s%lld %2lld/%d " : "%s%lld %lld/%d", sign, whole, num,
             den);
  }
  return sbuf;
}

static void volume_separators(char *out, size_t size, int64_t v) {
  int64_t a = v < 0 ? -v : v;
  int64_t g[4] = {a / 1000000000, a / 1000000 % 1000, a / 1000 % 1000, a % 1000};
  const char *sign = v < 0 ? "-" : "";
  if (g[0])
    snprintf(out, size, "%s%lld,%03lld,%03lld,%03lld", sign, (long long)g[0], (long long)g[1],
             (long long)g[2], (long long)g[3]);
  else if (g[1])
    snprintf(out, size, "%s%lld,%03lld,%03lld", sign, (long long)g[1], (long long)g[2],
             (long long)g[3]);
  else if (g[2])
    snprintf(out, size, "%s%lld,%03lld", sign, (long long)g[2], (long long)g[3]);
  else
    snprintf(out, size, "%s%lld", sign, (long long)g[3]);
}

// Shared by both volume formats; real carries the value for the real form.
static char *format_volume_any(char *buf, int64_t v, double real, int is_real, int flags) {
  static char sbuf[FORMAT_BUF];
  if (!buf) buf = sbuf;
  char out[FORMAT_BUF];
  int style = flags & 0xFF;
  int64_t a = v < 0 ? -v : v;
  if (style == 1) {
    volume_separators(out, sizeof out, v);
  } else if (style == 2) {
    if (a >= 1000000000) {
      int64_t millions = a / 1000000 % 1000;
      if (millions >= 100 && !(is_real && a / 1000000000 > 9))
        snprintf(out, sizeof out, "%1.1fB", (is_real ? real : (double)v) / 1e9);
      else
        snprintf(out, sizeof out, "%3lldB", (long long)(v / 1000000000));
    } else if (a >= 1000000) {
      int64_t thousands = a / 1000 % 1000;
      if (a > 9000000 || thousands < 100)
        snprintf(out, sizeof out, "%3lldM", (long long)(v / 1000000));
      else
        snprintf(out, sizeof out, "%1.1fM", (is_real ? real : (double)v) / 1e6);
    } else if (a < 10000) {
      snprintf(out, sizeof out, "%4lld", (long long)v);
    } else {
      snprintf(out, sizeof out, "%3lldK", (long long)(v / 1000));
    }
  } else if (style == 3) {
    if (is_real && fabs(real) < 5)
      snprintf(out, sizeof out, "%1.1f%%", real);
    else if (a < 1000)
      snprintf(out, sizeof out, "%lld%%", (long long)v);
    else if (a <= 999999)
      snprintf(out, sizeof out, "%lldx", (long long)(v / 100));
    else
      snprintf(out, sizeof out, v < 0 ? "-9999x" : "9999x");
  } else {
    snprintf(out, sizeof out, "%lld", (long long)v);
  }
  if (flags & FORMAT_VOLUME_PERCENT) strncat(out, "%", sizeof out - strlen(out) - 1);
  return copy_out(buf, out);
}

char *format_volume(char *buf, int value, int flags) {
  return format_volume_any(buf, value, (double)value, 0, flags);
}

char *format_volume_real(char *buf, double value, int flags) {
  if (!std::isfinite(value)) value = 0;
  if (value > 9e15) value = 9e15;
  if (value < -9e15) value = -9e15;
  return format_volume_any(buf, (int64_t)value, value, 1, flags);
}
