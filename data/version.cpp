// Version text and build number, from the compiler's date and time of this
// file.
#include "data/version.h"

#include <cstdio>
#include <cstring>

#include "data/dates.h"

const char* get_version_text(void) {
  static char text[32];
  if (!text[0]) snprintf(text, sizeof text, "Korvane Version %d.%d", 2, 96);
  return text;
}

int build_number_of(const char* date_text, const char* time_text) {
  static const char months[] = "   JanFebMarAprMayJunJulAugSepOctNovDec";
  char month[4] = {0};
  int day, year, hours, minutes, seconds;
  if (sscanf(date_text, "%3s %d %d", month, &day, &year) != 3 ||
      sscanf(time_text, "%d:%d:%d", &hours, &minutes, &seconds) != 3)
    return 0;
  const char* at = strlen(month) == 3 ? strstr(months + 3, month) : nullptr;
  if (!at || (at - months) % 3 != 0) return 0;
  int date = year * 10000 + (int)(at - months) / 3 * 100 + day;
  return days_between(19971028, date) * 1440 + hours * 60 + minutes;
}

int get_build_number(void) {
  static const int number = build_number_of(__DATE__, __TIME__);
  return number;
}
