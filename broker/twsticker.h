// The ticker table of the broker link: which program symbol each of TWS's
// ticker ids 1..300 stands for, and the trade, quote and summary records
// that the tick messages build for it before they go into the quote ring.
// Also the naming of TWS contracts as program symbols ("M~...").
//
// An id from TWS is folded into range as ((id - 1) mod 300) + 1, so that
// history request ids 301..600 fall on the symbol's own ticker; ids of 0 or
// below have no entry.  Entries are assigned and freed under g_chart_lock;
// the records of an entry are written by the reader thread only.
#pragma once

#include <cstdint>

struct mqt;

enum {
  TWS_TICKER_COUNT = 300,
  TWS_TICKER_SYMBOL = 32,
  TWS_HISTORY_ID_BASE = 300,  // history requests use the ticker id plus this
};

struct tws_ticker {
  char symbol[TWS_TICKER_SYMBOL];  // empty: free entry
  int32_t time_offset;             // exchange time offset of the subscription
  int32_t day_volume;
  int32_t accum_volume;  // volume of the trades sent since the last day volume
  // Trade record (code 4, kind 0).
  int32_t trade_count;
  float last_price;
  int32_t last_size;
  uint8_t trade_pending;
  // Quote record (code 4, kind 1).
  int32_t quote_counter;
  float bid, ask;
  int32_t bid_size, ask_size;  // raw sizes; sent as 16 bits with the multiplier
  uint8_t quote_pending;       // TWS_QUOTE_PRICE, TWS_QUOTE_SIZE
  uint8_t size_multiplier;
  // Summary record (code 4, kind 2).
  float high, low, prev_close;
  int32_t volume;
};

enum { TWS_QUOTE_PRICE = 1, TWS_QUOTE_SIZE = 2 };

extern tws_ticker g_ticker_table[TWS_TICKER_COUNT + 1];  // [0] unused

// The ticker of an id from TWS: ((id - 1) mod 300) + 1, 0 for id <= 0.
int tws_fold_id(int id);
// The live-quote record of an id from TWS (folded), or null.  The caller
// holds g_chart_lock.
mqt* tws_id_record(int id);

// The entry of id, when free: takes symbol, presets the records; id or 0.
int ticker_entry_init(int id, const char* symbol);
// The id holding symbol (case-insensitive), else 0.
int find_ticker(const char* symbol);
// The id of symbol, assigned when missing: the lowest free id, or for
// account and spread symbols ("A~", "S~" before the last "~") the highest.
// 0 when all are taken.  Takes g_chart_lock.
int assign_ticker(const char* symbol);
void ticker_entry_free(int id);
void ticker_table_clear();

// Sends what is pending for a ticker into the quote ring.
void ticker_flush(int id);
// Puts the entry's summary record.
void ticker_put_summary(int id);

// A TWS contract as TWS describes it.
struct tws_contract {
  char symbol[32];
  char sec_type[8];
  char expiry[12];
  double strike;
  char right[8];
  char exchange[16];
  char currency[8];
  char local_symbol[32];
};

// The program's names of a contract: the ticker id (0 none found) and the
// short and long "M~" names.
struct tws_contract_name {
  int ticker;
  char short_name[64];
  char long_name[80];
};
int contract_symbol(const tws_contract* c, tws_contract_name* out);
// One-letter code of an exchange name, 0 when the name is not known.
char tws_exchange_code(const char* exchange);
