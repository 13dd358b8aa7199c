// The market table of the live-quote source's configuration.
#include "data/markets.h"

#include <cstring>
#include <strings.h>

market_rec g_markets[MARKET_COUNT];

void clear_markets() {
  memset(g_markets, 0, sizeof g_markets);
}

market_rec *find_market(const char *name) {
  if (!name || !*name) return nullptr;
  for (market_rec &m : g_markets)
    if (m.name[0] && strncasecmp(m.name, name, MARKET_NAME_MAX) == 0)
      return &m;  // names are kept cut to MARKET_NAME_MAX
  return nullptr;
}

market_rec *add_market(const char *name) {
  if (!name || !*name) return nullptr;
  if (market_rec *m = find_market(name)) return m;
  for (market_rec &m : g_markets)
    if (!m.name[0]) {
      strncpy(m.name, name, MARKET_NAME_MAX);
      m.name[MARKET_NAME_MAX] = 0;
      return &m;
    }
  return nullptr;
}

void mark_market_hours(market_rec *m, int start, int end, int extended) {
  if (!m || start < 0 || end < 0) return;
  int first = start / 60;
  int last = end / 60;
  if (first >= MINUTES_PER_DAY) return;
  // An end of 24:00 closes the day: no minute after the table is touched.
  if (last > MINUTES_PER_DAY) last = MINUTES_PER_DAY;
  if (extended) {
    for (int i = first; i < last; i++) m->minutes[i] |= MINUTE_EXTENDED;
    return;
  }
  m->minutes[first] = MINUTE_OPEN;
  if (last < MINUTES_PER_DAY) m->minutes[last] = MINUTE_CLOSE;
  for (int i = first; i < last; i++) m->minutes[i] |= MINUTE_MAIN;
}
