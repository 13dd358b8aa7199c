// The contract of a live-quote record, read from its symbol text:
//
//   ESZ3                      future as root + month letter + year digit
//   S_IBM, SN_IBM             prefix "_" symbol: type letter, exchange letter
//   STKISLAND_IBM             longer prefix: type, then exchange name
//   C_EUR_USD                 cash: symbol and currency
//   FE_ZB_200312              future: symbol and expiry
//   O_IBM_200401_85C          option: symbol, expiry, strike and right
//   A~, M~, R~, S~            account, midpoint, ratio spread, spread
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "data/alias.h"
#include "data/markets.h"
#include "platform/locks.h"
#include "quotes/mqt.h"
#include "quotes/mqt_flags.h"

static const char month_letters[] = " FGHJKMNQUVXZ";  // F = 1 ... Z = 12

struct future_root {
  const char* root;
  double tick;
  int multiplier;
};
static const future_root future_roots[] = {
    {"ES", 0.25, 50},          {"NQ", 0.25, 20},
    {"EMD", 0.1, 100},         {"ER2", 0.1, 100},
    {"AUD", 0.0001, 100000},   {"CAD", 0.0001, 100000},
    {"CHF", 0.0001, 125000},   {"EUR", 0.0001, 125000},
    {"GBP", 0.0001, 62500},    {"JPY", 0.000001, 12500000},
    {"MXP", 0.000025, 500000},
};

static const char* const grain_roots[] = {"YC", "ZC", "YK", "ZK", "YW", "ZW",
                                          "ZO", "ZR", "ZS", "ZM", "ZL"};

// Exchanges by the second letter of a prefix; null keeps what is set, ""
// marks the default of the column.
struct exchange_letter {
  char letter;
  const char* future;
  const char* index;
  const char* stock;
  int stock_lot_one;
};
static const exchange_letter exchange_letters[] = {
    {'A', "NYBOT", "AMEX", "AMEX", 0},         {'B', "BELFOX", "BELOFOX", "AEB", 1},
    {'C', "CFE", "CBOE", nullptr, 0},          {'D', "DTB", "DTB", nullptr, 0},
    {'E', "ECBOT", "ECBOT", "EBS", 1},         {'F', "FTA", "FTA", nullptr, 0},
    {'H', "HKFE", nullptr, nullptr, 0},        {'I', "SGX", "SGX", "ISLAND", 0},
    {'J', "OSE.JPN", "OSE.JPN", nullptr, 0},   {'K', "CDE", "CDE", nullptr, 0},
    {'L', "LIFFE", "LIFFE", "LSE", 1},         {'M', "MEFF", "MEFF", nullptr, 0},
    {'N', "NYMEX", "NYSE", "NYSE", 0},         {'O', "ONE", nullptr, nullptr, 0},
    {'P', nullptr, "PHLX", nullptr, 0},        {'Q', nullptr, "NASDAQ", "NASDAQ", 0},
    {'S', "SOFFEX", "SOFFEX", "SWS", 1},       {'T', "TSE.JPN", "TSE.JPN", "TSE", 1},
    {'U', "EUREXUS", nullptr, "VENTURE", 1},   {'V', nullptr, nullptr, "VIRTX", 1},
    {'W', nullptr, nullptr, "WINTERFLOOD", 1}, {'X', "NQLX", nullptr, "IBIS", 1},
    {'Y', "SNFE", "SNFE", nullptr, 0},         {'Z', nullptr, nullptr, "ASX", 1},
};

static const exchange_letter* find_exchange_letter(char c) {
  for (const exchange_letter& e : exchange_letters)
    if (e.letter == c) return &e;
  return nullptr;
}

static void copy_text(char* dst, size_t size, const char* src, size_t n) {
  if (n > size - 1) n = size - 1;
  memcpy(dst, src, n);
  dst[n] = 0;
}

static void set_type(mqt* r, const char* type, uint32_t code) {
  copy_text(r->sec_type, sizeof r->sec_type, type, strlen(type));
  r->sec_code = code;
}

static uint32_t code_of_type(const char* type) {
  static const struct {
    const char* name;
    uint32_t code;
  } codes[] = {
      {"STK", 1}, {"FUT", 2}, {"OPT", 4}, {"FOP", 8}, {"IND", 16}, {"CASH", 32}, {"BAG", 64},
  };
  for (const auto& c : codes)
    if (strcmp(type, c.name) == 0) return c.code;
  return 0;
}

static void set_exchange(mqt* r, const char* name) {
  copy_text(r->exchange, sizeof r->exchange, name, strlen(name));
}

// The futures exchange of a prefix letter (0 for none).
static void set_future_exchange(mqt* r, char letter) {
  const exchange_letter* e = find_exchange_letter(letter);
  set_exchange(r, e && e->future ? e->future : "GLOBEX");
  if (e && e->letter == 'O') {
    r->sec_code |= 0x100;
    r->flags |= MQT_ONE_FUTURE;
  }
  r->lot_size = 1;
}

static void parse_prefix(mqt* r, const char* prefix, size_t len) {
  if (len <= 2) {
    char letter = len == 2 ? prefix[1] : 0;
    const exchange_letter* e = find_exchange_letter(letter);
    switch (prefix[0]) {
      case 'C':
        set_type(r, "CASH", 32);
        r->lot_size = 1;
        if (letter == 'I')
          set_exchange(r, "IDEAL");
        else if (letter == 'P')
          set_exchange(r, "IDEALPRO");
        break;
      case 'F':
        set_type(r, "FUT", 2);
        set_future_exchange(r, letter);
        break;
      case 'Q':
        set_type(r, "FOP", 8);
        set_future_exchange(r, letter);
        break;
      case 'I':
        set_type(r, "IND", 16);
        r->flags |= MQT_INDEX_OR_ACCOUNT;
        set_exchange(r, e && e->index ? e->index : "AMEX");
        break;
      case 'O':
        set_type(r, "OPT", 4);
        r->lot_size = 1;
        break;
      case 'S':
        set_type(r, "STK", 1);
        if (e && e->stock) {
          set_exchange(r, e->stock);
          if (e->stock_lot_one) r->lot_size = 1;
        }
        break;
      default:
        set_type(r, "STK", 1);
        break;
    }
    return;
  }
  size_t type_len = strncmp(prefix, "CASH", 4) == 0 ? 4 : 3;
  char type[5];
  copy_text(type, sizeof type, prefix, type_len);
  set_type(r, type, code_of_type(type));
  copy_text(r->exchange, 8, prefix + type_len, len - type_len);  // at most 7
  if (r->sec_code == 2 || r->sec_code == 8 || r->sec_code == 32 || r->sec_code == 4)
    r->lot_size = 1;
}

// ESZ3: a known root, a month letter and a year digit.
static int parse_month_future(mqt* r, const char* sym) {
  size_t n = strlen(sym);
  if (n < 4 || !isdigit((unsigned char)sym[n - 1])) return 0;
  const char* m = strchr(month_letters + 1, sym[n - 2]);
  if (!m || !sym[n - 2]) return 0;
  size_t root_len = n - 2;
  for (const future_root& f : future_roots) {
    if (strlen(f.root) != root_len || strncmp(sym, f.root, root_len) != 0) continue;
    set_exchange(r, "GLOBEX");
    set_type(r, "FUT", 2);
    r->lot_size = 1;
    r->flags |= MQT_NOT_STREAMABLE;
    copy_text(r->local_symbol, sizeof r->local_symbol, sym, n);
    copy_text(r->contract_root, sizeof r->contract_root, sym, n);
    r->tick_size = f.tick;
    r->multiplier = f.multiplier;
    return 1;
  }
  return 0;
}

static void find_record_market(mqt* r) {
  market_rec* m = find_market(r->exchange);
  if (!m && g_markets[0].name[0]) m = &g_markets[0];
  r->market = m;
}

void parse_contract_symbol(mqt* r) {
  kv_lock guard(g_chart_lock);  // the alias and market tables
  char sym[MQT_SYMBOL_SIZE];
  size_t n = 0;
  for (; r->symbol[n] && n < sizeof sym - 1; n++)
    sym[n] = (char)toupper((unsigned char)r->symbol[n]);
  sym[n] = 0;

  // 1. Defaults.
  if (strcmp(sym, "TEST") == 0) {
    set_exchange(r, "GLOBEX");
    set_type(r, "FUT", 2);
    r->multiplier = 50;
    r->lot_size = 1;
  } else {
    set_exchange(r, "SMART");
    set_type(r, "STK", 1);
    r->multiplier = 1;
    r->lot_size = 100;
  }
  r->tick_size = 0.01;
  r->strike = 0;
  r->expiry[0] = r->right[0] = r->currency[0] = 0;

  // 2. Pseudo-symbols "X~...".
  const char* text = sym;
  if (strchr(sym, '~')) r->flags |= MQT_NOT_STREAMABLE;
  if (sym[1] == '~') {
    switch (sym[0]) {
      case 'A':
        r->flags |= MQT_ACCOUNT | MQT_INDEX_OR_ACCOUNT;
        set_type(r, "FUT", 2);
        break;
      case 'M':
        r->flags &= ~MQT_NOT_STREAMABLE;
        r->flags |= MQT_MIDPOINT;
        text = sym + 2;
        break;
      case 'R':
        r->flags |= MQT_RATIO_SPREAD | MQT_SPREAD | MQT_NEGATIVE_OK | MQT_INDEX_OR_ACCOUNT;
        break;
      case 'S':
        r->flags |= MQT_SPREAD | MQT_NEGATIVE_OK | MQT_INDEX_OR_ACCOUNT;
        break;
    }
  }

  // 3. Market indicators, aliases.
  if (strstr(sym, "AD-") || strstr(sym, "VOL-")) r->flags |= MQT_MARKET_INDICATOR | MQT_NEGATIVE_OK;
  if (strstr(sym, "TICK")) r->flags |= MQT_NEGATIVE_OK;
  const char* alias = lookup_alias(r->symbol, ALIAS_FOR_INTRADAY);
  if (!alias || alias[0] == '~') r->flags |= MQT_NOT_STREAMABLE;
  if (sym[0] == '~') r->flags |= MQT_TILDE;

  // 4. Futures by month letter.
  if (parse_month_future(r, text)) {
    find_record_market(r);
    return;
  }

  // 5. Prefix "_" symbol ["_" expiry-or-currency ["_" strike right]].
  const char* us = strchr(text, '_');
  if (us) {
    parse_prefix(r, text, (size_t)(us - text));
    text = us + 1;
    const char* end = strchr(text, '_');
    size_t len = end ? (size_t)(end - text) : strlen(text);
    copy_text(r->local_symbol, sizeof r->local_symbol, text, len);
    if (end) {
      const char* part = end + 1;
      const char* end2 = strchr(part, '_');
      size_t plen = end2 ? (size_t)(end2 - part) : strlen(part);
      if (r->sec_code == 32 || r->sec_code == 1)
        copy_text(r->currency, sizeof r->currency, part, plen);
      else
        copy_text(r->expiry, sizeof r->expiry, part, plen);
      if (end2) {
        char* rest = nullptr;
        r->strike = strtod(end2 + 1, &rest);
        copy_text(r->right, sizeof r->right, rest, strlen(rest));
      }
    }
  } else {
    if (strchr(text, '.')) copy_text(r->currency, sizeof r->currency, "USD", 3);
    copy_text(r->local_symbol, sizeof r->local_symbol, text, strlen(text));
  }

  // 6. Root; the bond and grain rules of ECBOT.
  memcpy(r->contract_root, r->local_symbol, sizeof r->contract_root);
  if (strcmp(r->exchange, "ECBOT") == 0) {
    if (strcmp(r->contract_root, "ZB") == 0 || strcmp(r->contract_root, "ZN") == 0)
      r->tick_size = 0.015625;
    for (const char* g : grain_roots)
      if (strcmp(r->contract_root, g) == 0) r->flags |= MQT_GRAIN;
  }

  // 7. Local symbols of futures and futures options.
  if (r->sec_code == 2 || r->sec_code == (2 | 0x100)) {
    int month = strlen(r->expiry) >= 5 ? atoi(r->expiry + 4) : 0;
    while (month > 12) month /= 10;
    size_t len = strlen(r->local_symbol);
    if (month >= 1 && len + 2 < sizeof r->local_symbol) {
      r->local_symbol[len] = month_letters[month];
      r->local_symbol[len + 1] = r->expiry[3];
      r->local_symbol[len + 2] = 0;
    }
  } else if ((r->sec_code & 0xff) == 8) {
    char local[sizeof r->contract_root + 2];
    snprintf(local, sizeof local, "*%s", r->contract_root);
    copy_text(r->local_symbol, sizeof r->local_symbol, local, strlen(local));
  }

  // 8. Market.
  find_record_market(r);
}
