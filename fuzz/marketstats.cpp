// A market statistics page of arbitrary text: the table keeps at most its
// 200 entries, each with a terminated, non-empty symbol seen once.
#include <strings.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "quotes/relayhist.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static market_stat table[MARKET_STATS_MAX];
  char page[MARKET_STATS_PAGE];
  memset(page, 0, sizeof page);
  if (size < 2) return 0;
  int scan = data[0] % 16, stored = data[1] % 3 ? 0 : MARKET_STATS_MAX - 2;
  memcpy(page, data + 2, size - 2 < sizeof page ? size - 2 : sizeof page);
  memset(table, 0, sizeof table);
  for (int i = 0; i < stored; i++) snprintf(table[i].symbol, sizeof table[i].symbol, "S%d", i);
  parse_market_stats_page(page, scan, 0, -1e30, table, &stored);
  if (stored > MARKET_STATS_MAX) abort();
  for (int i = 0; i < stored; i++) {
    if (!memchr(table[i].symbol, 0, sizeof table[i].symbol) || !table[i].symbol[0]) abort();
    for (int k = 0; k < i; k++)
      if (!strcasecmp(table[i].symbol, table[k].symbol)) abort();
  }
  return 0;
}
