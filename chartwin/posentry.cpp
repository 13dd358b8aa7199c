// Typed position entry.
#include "chartwin/posentry.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "broker/twsacct.h"
#include "platform/locks.h"
#include "quotes/mqt_record.h"
#include "settings/settings.h"

namespace {
enum : uint32_t { PREF1_ADVISOR_BAR = 0x800 };
}

void parse_qty_at_price(mqt* record, const char* text) {
  if (!text || !*text) return;
  std::string entry(text);
  double price = 0;
  size_t at = entry.find('@');
  if (at != std::string::npos) {
    price = strtod(entry.c_str() + at + 1, nullptr);
    entry.resize(at);
  }
  // A price that reads as "nan" or "inf" would poison every value made
  // from the position.
  if (!std::isfinite(price)) return;
  long quantity = entry.size() > 1 ? strtol(entry.c_str() + 1, nullptr, 10) : 0;
  if (!record) return;
  kv_lock guard(g_chart_lock);
  record->account_positions[0].avg_price = price;
  record->account_positions[0].quantity = (double)quantity;
  if (g_pref_flags1 & PREF1_ADVISOR_BAR) {
    int slot = managed_account_index(g_advisor_account);
    if (slot < 0 || slot >= MQT_ACCOUNT_SLOTS) slot = 0;
    record->account_positions[slot].avg_price = price;
    record->account_positions[slot].quantity = (double)quantity;
  }
}
