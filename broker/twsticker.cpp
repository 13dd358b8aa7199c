// The ticker table and the naming of TWS contracts.
#include "broker/twsticker.h"

#include <stdio.h>
#include <string.h>
#include <strings.h>

#include "data/lefield.h"
#include "platform/locks.h"
#include "quotes/mqt.h"
#include "quotes/qrecord.h"
#include "quotes/router.h"
#include "quotes/spigot.h"

tws_ticker g_ticker_table[TWS_TICKER_COUNT + 1];

int tws_fold_id(int id) {
  // Ids of 0 or below have no entry (the fold would land outside it).
  if (id <= 0) return 0;
  return (id - 1) % TWS_TICKER_COUNT + 1;
}

mqt* tws_id_record(int id) {
  int t = tws_fold_id(id);
  return t ? g_symbol_slots[t - 1] : nullptr;
}

int ticker_entry_init(int id, const char* symbol) {
  if (id < 1 || id > TWS_TICKER_COUNT || !symbol || !symbol[0]) return 0;
  tws_ticker* e = &g_ticker_table[id];
  if (e->symbol[0]) return 0;
  memset(e, 0, sizeof *e);
  snprintf(e->symbol, sizeof e->symbol, "%s", symbol);
  return id;
}

int find_ticker(const char* symbol) {
  if (!symbol || !symbol[0]) return 0;
  for (int i = 1; i <= TWS_TICKER_COUNT; i++)
    if (strcasecmp(g_ticker_table[i].symbol, symbol) == 0) return i;
  return 0;
}

// Account and spread pseudo-symbols: "A" or "S" right before the last "~".
static int takes_top_id(const char* symbol) {
  const char* t = strrchr(symbol, '~');
  return t && t > symbol && (t[-1] == 'A' || t[-1] == 'S');
}

int assign_ticker(const char* symbol) {
  if (!symbol || !symbol[0]) return 0;
  kv_lock guard(g_chart_lock);
  int id = find_ticker(symbol);
  if (id) return id;
  if (takes_top_id(symbol)) {
    for (int i = TWS_TICKER_COUNT; i >= 1; i--)
      if (ticker_entry_init(i, symbol)) return i;
  } else {
    for (int i = 1; i <= TWS_TICKER_COUNT; i++)
      if (ticker_entry_init(i, symbol)) return i;
  }
  return 0;
}

void ticker_entry_free(int id) {
  if (id >= 1 && id <= TWS_TICKER_COUNT) memset(&g_ticker_table[id], 0, sizeof g_ticker_table[id]);
}

void ticker_table_clear() {
  memset(g_ticker_table, 0, sizeof g_ticker_table);
}

// ---------------------------------------------------------------------------
// Records into the quote ring (code 4: byte 7 the kind, i32 time at 8).

static void record_head(uint8_t* rec, int id, int kind) {
  memset(rec, 0, QR_RECORD_SIZE);
  rec[QR_OFF_CODE] = QR_TICK;
  put_le16(rec + QR_OFF_SYMBOL, (uint16_t)id);
  rec[7] = (uint8_t)kind;
}

static uint16_t size16(int32_t v) {
  return (uint16_t)(v < 0 ? 0 : v > 0xFFFF ? 0xFFFF : v);
}

static void put_quote(int id) {
  tws_ticker* e = &g_ticker_table[id];
  uint8_t rec[QR_RECORD_SIZE];
  record_head(rec, id, 1);
  put_le32(rec + 8, (uint32_t)-1);
  put_le32(rec + 12, (uint32_t)--e->quote_counter);
  put_lef(rec + 16, e->bid);
  put_lef(rec + 20, e->ask);
  put_le16(rec + 24, size16(e->bid_size));
  put_le16(rec + 26, size16(e->ask_size));
  rec[28] = e->quote_pending;
  rec[29] = e->size_multiplier;
  e->quote_pending = 0;
  ticker_put_record(QR_RECORD_SIZE, rec);
}

void ticker_put_summary(int id) {
  tws_ticker* e = &g_ticker_table[id];
  uint8_t rec[QR_RECORD_SIZE];
  record_head(rec, id, 2);
  put_lef(rec + 8, e->high);
  put_lef(rec + 12, e->low);
  put_lef(rec + 16, e->prev_close);
  put_le32(rec + 20, (uint32_t)e->volume);
  ticker_put_record(QR_RECORD_SIZE, rec);
}

void ticker_flush(int id) {
  if (id < 1 || id > TWS_TICKER_COUNT) return;
  tws_ticker* e = &g_ticker_table[id];
  if (e->quote_pending >= TWS_QUOTE_SIZE) {
    put_quote(id);
    return;
  }
  if (!e->trade_pending || e->last_price == 0) return;
  if (e->quote_pending) put_quote(id);
  e->trade_count++;
  e->accum_volume += e->last_size;
  uint8_t rec[QR_RECORD_SIZE];
  record_head(rec, id, 0);
  put_le32(rec + 8, (uint32_t)-1);
  put_le32(rec + 12, (uint32_t)e->trade_count);
  put_lef(rec + 16, e->last_price);
  put_le32(rec + 20, (uint32_t)e->last_size);
  e->trade_pending = 0;
  ticker_put_record(QR_RECORD_SIZE, rec);
}

// ---------------------------------------------------------------------------
// Contract naming.

static const struct {
  const char* name;
  char code;
} k_exchange_codes[] = {
    {"GLOBEX", 'G'}, {"ECBOT", 'E'},       {"HKFE", 'H'},   {"SNFE", 'Y'},    {"CFE", 'C'},
    {"DTB", 'D'},    {"BELFOX", 'B'},      {"LIFFE", 'L'},  {"NYMEX", 'N'},   {"ONE", 'O'},
    {"SOFFEX", 'S'}, {"EUREXUS", 'U'},     {"NQLX", 'X'},   {"AMEX", 'A'},    {"CBOE", 'C'},
    {"NYSE", 'N'},   {"PHLX", 'P'},        {"NASDAQ", 'Q'}, {"VIRTX", 'V'},   {"EBS", 'E'},
    {"FTA", 'F'},    {"IBIS", 'X'},        {"IDEM", 'I'},   {"OSE.JPN", 'J'}, {"LSE", 'L'},
    {"SGX", 'I'},    {"TSE.JPN", 'T'},     {"TSE", 'T'},    {"MEFF", 'M'},    {"ISLAND", 'I'},
    {"SWS", 'S'},    {"WINTERFLOOD", 'W'}, {"AEB", 'B'},    {"IDEAL", 'I'},   {"IDEALPRO", 'P'},
};
static_assert(sizeof k_exchange_codes / sizeof k_exchange_codes[0] == 35, "35 exchange codes");

char tws_exchange_code(const char* exchange) {
  for (const auto& x : k_exchange_codes)
    if (strcasecmp(x.name, exchange) == 0) return x.code;
  return 0;
}

// "%f" without trailing zeros and point; empty when not positive.
static void strike_text(double strike, char* out, size_t size) {
  out[0] = 0;
  if (!(strike > 0)) return;
  snprintf(out, size, "%f", strike);
  char* end = out + strlen(out);
  while (end > out && end[-1] == '0') *--end = 0;
  if (end > out && end[-1] == '.') *--end = 0;
}

static void name_contract(const tws_contract* c, const char* expiry, tws_contract_name* out) {
  char strike[40];
  strike_text(c->strike, strike, sizeof strike);
  char right = (strcmp(c->right, "C") == 0 || strcmp(c->right, "P") == 0) ? c->right[0] : 0;
  char opt[48] = "";
  if (right) snprintf(opt, sizeof opt, "_%s%c", strike, right);

  if (expiry[0])
    snprintf(out->long_name, sizeof out->long_name, "M~%s%s_%s_%s%s", c->sec_type, c->exchange,
             c->symbol, expiry, opt);
  else
    snprintf(out->long_name, sizeof out->long_name, "M~%s%s_%s%s", c->sec_type, c->exchange,
             c->symbol, opt);

  char type = strcasecmp(c->sec_type, "FOP") == 0 ? 'Q' : c->sec_type[0];
  if (strcasecmp(c->sec_type, "STK") == 0 &&
      (strcasecmp(c->exchange, "SMART") == 0 || strcasecmp(c->exchange, "NYSE") == 0)) {
    snprintf(out->short_name, sizeof out->short_name, "M~%s", c->symbol);
    return;
  }
  char code = tws_exchange_code(c->exchange);
  if (!code) {
    if (type == 'F' && strstr(c->local_symbol, "1C")) code = 'O';
    if (type == 'Q' && strcmp(c->symbol, "YM") == 0) code = 'E';
  }
  char codes[2] = {code, 0};
  int is_option = type == 'O' || type == 'Q';
  const char* oopt = is_option ? opt : "";
  if (type == 'O' && !expiry[0] && c->local_symbol[0])
    snprintf(out->short_name, sizeof out->short_name, "%s", c->local_symbol);
  else if (expiry[0])
    snprintf(out->short_name, sizeof out->short_name, "M~%c%s_%s_%s%s", type, codes, c->symbol,
             expiry, oopt);
  else if (type == 'C')
    snprintf(out->short_name, sizeof out->short_name, "M~%c%s_%s_%s%s", type, codes, c->symbol,
             c->currency, oopt);
  else
    snprintf(out->short_name, sizeof out->short_name, "M~%c%s_%s%s", type, codes, c->symbol, oopt);
}

static const char* without_prefix(const char* name) {
  return strncmp(name, "M~", 2) == 0 ? name + 2 : name;
}

static int lookup_names(tws_contract_name* out) {
  int id = find_ticker(out->short_name);
  if (!id) id = find_ticker(without_prefix(out->short_name));
  if (!id) id = find_ticker(without_prefix(out->long_name));
  if (!id) {
    const char* s = without_prefix(out->short_name);
    if (strncmp(s, "S_", 2) == 0) id = find_ticker(s + 2);
  }
  if (!id) id = find_ticker(out->long_name);
  return id;
}

int contract_symbol(const tws_contract* c, tws_contract_name* out) {
  memset(out, 0, sizeof *out);
  size_t n = strlen(c->expiry);
  char expiry[12] = "";
  if (n >= 6) snprintf(expiry, sizeof expiry, "%.6s", c->expiry);
  name_contract(c, expiry, out);
  out->ticker = lookup_names(out);
  if (!out->ticker && strcasecmp(c->sec_type, "OPT") == 0 && n > 6) {
    tws_contract_name full;
    memset(&full, 0, sizeof full);
    name_contract(c, c->expiry, &full);
    full.ticker = lookup_names(&full);
    if (full.ticker) *out = full;
  }
  return out->ticker;
}
