// Position summary table and the order preconditions check.
#include "broker/positions.h"

#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "broker/orddef.h"
#include "platform/services.h"
#include "quotes/mqt.h"
#include "quotes/mqt_flags.h"
#include "settings/settings.h"

position_hooks g_position_hooks;
PositionSummaryTable g_position_summary;

enum : uint32_t { PREF1_TRADING_ENABLED = 0x8 };

void position_key(const position_trade *t, char *out, size_t size) {
  if (strcmp(t->sec_type, "STK") == 0) {
    snprintf(out, size, "%s", t->symbol);
    return;
  }
  char expiry[16] = "", strike[48] = "";
  if (t->expiry) snprintf(expiry, sizeof expiry, "%d", (int)t->expiry);
  if (t->strike != 0) {
    int dec = t->decimals < 0 ? 0 : t->decimals > 10 ? 10 : t->decimals;
    snprintf(strike, sizeof strike, "%.*f", dec, t->strike);
  }
  snprintf(out, size, "%s %.4s %s %s %.4s", t->symbol, t->sec_type, expiry, strike, t->right);
}

int PositionSummaryTable::AddTrade(const position_trade *t, const mqt *rec) {
  if (!isfinite(t->price) || !isfinite(t->commission)) return -1;
  char key[sizeof entries_[0].key];
  position_key(t, key, sizeof key);
  int i = 0;
  while (i < count_ && strcmp(entries_[i].key, key) != 0) i++;
  if (i == count_) {
    if (count_ == POSITION_SUMMARY_MAX) return -1;
    PositionSummary &e = entries_[count_++];
    memset(&e, 0, sizeof e);
    snprintf(e.currency, sizeof e.currency, "%.4s", t->currency);
    snprintf(e.sec_type, sizeof e.sec_type, "%.4s", t->sec_type);
    snprintf(e.symbol, sizeof e.symbol, "%.31s", t->symbol);
    snprintf(e.key, sizeof e.key, "%s", key);
    e.multiplier = t->multiplier ? t->multiplier : 1;
    e.last_price = rec ? rec->last : 0;
  }
  PositionSummary &e = entries_[i];
  e.net += t->quantity;
  double value = t->quantity * t->price;
  if (t->quantity > 0) {
    e.bought += t->quantity;
    e.bought_value += value;
  } else if (t->quantity < 0) {
    e.sold += t->quantity;
    e.sold_value += value;
  }
  e.net_value += value;
  if (e.net == 0) e.net_value = 0;
  e.commission += t->commission;
  if (e.net == 0) {
    e.realised_gross = (fabs(e.sold_value) - e.bought_value) * e.multiplier;
    e.realised_net = e.realised_gross - e.commission * 0.001;
  }
  return i;
}

namespace {

struct load_ctx {
  PositionSummaryTable *table;
  mqt *rec;
  int last;  // entry of the last matching trade, -1 none
};

void merge_matching(const position_trade *t, void *p) {
  load_ctx *c = (load_ctx *)p;
  const mqt *r = c->rec;
  if (strcmp(t->symbol, r->symbol) != 0 || strcmp(t->sec_type, r->sec_type) != 0 ||
      t->expiry != atoi(r->expiry) || t->strike != r->strike || strcmp(t->right, r->right) != 0)
    return;
  int i = c->table->AddTrade(t, r);
  if (i >= 0) c->last = i;
}

}  // namespace

void PositionSummaryTable::LoadSymbol(mqt *rec, const OrderDef *def) {
  Clear();
  if (!rec) return;
  load_ctx ctx = {this, rec, -1};
  if (def && g_position_hooks.for_each_account_trade)
    g_position_hooks.for_each_account_trade(def->account, merge_matching, &ctx);
  if (ctx.last >= 0) {
    const PositionSummary &e = entries_[ctx.last];
    rec->paper_avg_price = e.net ? e.net_value / e.net : 0;
    rec->paper_quantity = e.bought + e.sold;
    rec->paper_profit = e.realised_gross;
  } else {
    rec->paper_avg_price = 0;
    rec->paper_quantity = 0;
    rec->paper_profit = 0;
  }
}

static int refuse(const char *text) {
  kv_message_box(text, "Korvane", MB_OK | MB_ICONEXCLAMATION);
  return 0;
}

int check_order_preconditions(const OrderDef *def, const mqt *rec) {
  if (!def || !rec) return 0;
  int real = (def->flags & ORDDEF_MODE_MASK) == ORDDEF_MODE_REAL;
  if (real && !(g_pref_flags1 & PREF1_TRADING_ENABLED))
    return refuse(
        "Enable trading in Preferences Dialog first\ror change mode to Paper in Order Setup "
        "Dialog");
  if (!real && !def->account[0]) return refuse("No account specified in Order Definition Dialog");
  // A lot size of 0 would place an empty order in either mode.
  if (def->lot_size == 0) return refuse("Lotsize is 0 in Order Definition Dialog");
  if (!(rec->flags & MQT_QUOTE_STORED))
    return refuse("Quotes for symbol not yet received, wait awhile");
  return 1;
}
