// Prices, dates and counts out of imported texts.
#include "data/priceparse.h"

#include <cctype>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "data/dates.h"
#include "data/statmsg.h"

static long read_long(const char **p) {
  char *end;
  long v = strtol(*p, &end, 10);
  *p = end;
  return v;
}

// 32nds: "101'16" = 101.5; three or more digits are tenths of 32nds.
static double parse_32nds(const char *s) {
  double sign = 1;
  if (*s == '-') {
    sign = -1;
    s++;
  }
  double whole = fabs((double)read_long(&s));
  if (*s != '\'') return sign * whole;
  s++;
  size_t digits = strspn(s, "0123456789");
  double n = (double)read_long(&s);
  return sign * (whole + (digits < 3 ? n / 32 : n * 0.003125));
}

static double parse_fraction(const char *s) {
  double sign = 1;
  if (*s == '+' || *s == '-') {
    if (*s == '-') sign = -1;
    s++;
  }
  double whole = fabs((double)read_long(&s));
  while (*s == ' ' || *s == '\t') s++;
  double num;
  if (*s == '/') {
    num = whole;
    whole = 0;
  } else {
    num = (double)read_long(&s);
  }
  while (*s && !isdigit((unsigned char)*s)) s++;
  double den = (double)read_long(&s);
  if (num == 0 || den == 0) return sign * whole;
  return sign * (whole + num / den);
}

double parse_price(const char *text, int method) {
  if (!text) return 0;
  while (*text == ' ' || *text == '\t' || *text == '$') text++;
  switch (method) {
    case 0:
      return atof(text);
    case 1:
      return parse_fraction(text);
    case 2:
      return parse_32nds(text);
    default:
      statmsg("xfileio", __LINE__, "unknown price method in parse file", nullptr, STATMSG_ERROR);
      return 0;
  }
}

double parse_price_text(const char *text) {
  if (!text) return 0;
  return parse_price(text, strchr(text, '\'') ? 2 : strchr(text, '/') ? 1 : 0);
}

static const char *const month_names[11][13] = {
    {},
    {},
    {"", "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"},
    {"", "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"},
    {"", "Januar", "Februar", "Marz", "April", "Mai", "Juni", "Juli", "August", "September",
     "Oktober", "November", "Dezember"},
    {"", "Janvier", "F\xe9vrier", "Mars", "Avril", "Mai", "Juin", "Juillet", "Ao\xfbt", "Septembre",
     "Octobre", "Novembre", "Decembre"},
    {"", "Gennaio", "Febbraio", "Marzo", "Aprile", "Maggio", "Giugno", "Luglio", "Agosto",
     "Settembre", "Ottobre", "Novembre", "Dicembre"},
    {"", "Enero", "Febrero", "Marzo", "Abril", "Mayo", "Junio", "Julio", "Agosto", "Septembre",
     "Octubre", "Noviembre", "Diciembre"},
    {"", "Januari", "Februari", "Mars", "April", "Maj", "Juni", "Juli", "Augusti", "September",
     "Oktober", "November", "December"},
    {"", "Januar", "Februar", "Mars", "April", "Mai", "Juni", "Juli", "August", "September",
     "Oktober", "November", "Desember"},
    {"", "Januar", "Februar", "Marts", "April", "Maj", "Juni", "Juli", "August", "September",
     "Oktober", "November", "December"},
};

static int month_in_table(int style, const char *name) {
  for (int m = 1; m <= 12; m++)
    if (strcasecmp(name, month_names[style][m]) == 0) return m;
  return 13;
}

static int year_of(int y) {
  return y >= 0 && y < 100 ? expand_two_digit_year(y) : y;
}

int parse_date_style(const char *text, int style) {
  if (!text) return 0;
  if (style == 0) return parse_mdy_date(text);
  if (style == 1) {
    long n = strtol(text, nullptr, 10);
    if (n >= 0 && n <= 991231)
      n += (long)(expand_two_digit_year((int)(n / 10000)) - n / 10000) * 10000;
    return n > INT_MAX || n < INT_MIN ? 0 : (int)n;
  }
  if (style == 3) {
    char mon[4] = {0};
    strncpy(mon, text, 3);
    int m = month_in_table(3, mon);
    long y = strlen(text) > 4 ? strtol(text + 4, nullptr, 10) : 0;
    if (y > 200000 || y < 0) return 0;
    return year_of((int)y) * 10000 + m * 100;
  }
  if (style < 2 || style > 10) return 0;
  const char *s = text;
  long day = read_long(&s);
  if (*s) s++;  // the separator
  char name[32];
  size_t n = strcspn(s, "-");
  if (n >= sizeof name) n = sizeof name - 1;
  memcpy(name, s, n);
  name[n] = 0;
  s += strcspn(s, "-");
  if (*s == '-') s++;
  int month = month_in_table(style, name);
  long year = strtol(s, nullptr, 10);
  if (year > 200000 || year < 0 || day > 99 || day < 0) return 0;
  return year_of((int)year) * 10000 + month * 100 + (int)day;
}

int parse_count(const char *text, int multiplier) {
  if (!text) return 0;
  char buf[64];
  strncpy(buf, text, sizeof buf - 1);
  buf[sizeof buf - 1] = 0;
  char *w = buf;
  for (char *r = buf; *r; r++)
    if (*r != ',') *w++ = *r;
  *w = 0;
  long long v = strtoll(buf, nullptr, 10);
  if (v < 0 && *buf) {
    buf[strlen(buf) - 1] = 0;
    v = strtoll(buf, nullptr, 10);
  }
  if (v > INT_MAX) v = INT_MAX;
  if (v < INT_MIN) v = INT_MIN;
  if (multiplier) v *= multiplier;
  if (v > INT_MAX) v = INT_MAX;
  if (v < INT_MIN) v = INT_MIN;
  return (int)v;
}
