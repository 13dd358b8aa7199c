// The relay's record stream on arbitrary blocks: every handler reads only
// inside the block it was given, whatever the codes, lengths, symbol
// numbers and values.
//
// Input: byte 0 sets the options (bit 0 the trade band, bit 1 the report of
// cut records), the rest is one block as the input thread reads it.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/locks.h"
#include "quotes/mqt.h"
#include "quotes/router.h"
#include "quotes/spigot.h"
#include "settings/settings.h"

static void setup() {
  const char* symbols[] = {"IBM", "ES~FU", "$SPX", "M~EUR"};
  for (int i = 0; i < 4; i++) {
    mqt* r = create_multiquote_struct(symbols[i]);
    if (!r) abort();
    kv_lock guard(g_chart_lock);
    r->symbol_slot = i + 1;
    g_symbol_slots[i] = r;
  }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = false;
  if (!ready) {
    setup();
    ready = true;
  }
  if (size < 1) return 0;
  g_pref_flags &= ~(0x0FF00000u | PREF_TRADE_BAND | PREF_GARBLED_REPORT);
  if (data[0] & 1) g_pref_flags |= PREF_TRADE_BAND | (2u << 20);
  if (data[0] & 2) g_pref_flags |= PREF_GARBLED_REPORT;
  // A copy of exactly the block's size, so a read past it is caught.
  std::vector<uint8_t> block(data + 1, data + size);
  kvqr_dispatch_records(block.data(), (int)block.size());
  return 0;
}
