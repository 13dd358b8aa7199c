// Position summary: the trades of a paper account merged into one line per
// contract, and the check that a chart order may be placed.
#pragma once

#include <stddef.h>
#include <stdint.h>

struct mqt;
struct OrderDef;

enum { POSITION_SUMMARY_MAX = 100 };

// The fields of an account trade that the summary uses.
struct position_trade {
  char currency[5];
  char sec_type[5];
  char symbol[32];
  int32_t expiry;  // yyyymmdd, 0 none
  double strike;   // 0 none
  char right[8];
  int32_t decimals;  // price decimals of the strike text
  int32_t multiplier;
  int32_t quantity;  // signed: positive bought, negative sold
  double price;
  double commission;  // thousandths of the currency unit
  // Where the trade came from: its date (yyyymmdd, 0 none) and the local
  // symbol of its contract (for traces).
  int32_t date;
  char local_symbol[9];
};

struct PositionSummary {
  char currency[5];
  char sec_type[5];
  char symbol[32];
  char key[96];
  int32_t multiplier;
  int32_t net;
  int32_t bought;
  int32_t sold;  // sum of negative quantities
  double bought_value;
  double sold_value;  // negative
  double net_value;   // 0 whenever flat
  double commission;  // thousandths
  double realised_net;
  double realised_gross;
  double last_price;
};

// Key of a trade's contract: the symbol for "STK", otherwise
// "%s %.4s %s %s %.4s" of symbol, security type, expiry, strike and right.
void position_key(const position_trade *t, char *out, size_t size);

// Reads the trades of a paper account, calling fn for each; 0 when the
// account cannot be opened.  Set by the account trade files.
struct position_hooks {
  int (*for_each_account_trade)(const char *account, void (*fn)(const position_trade *, void *),
                                void *ctx);
};
extern position_hooks g_position_hooks;

class PositionSummaryTable {
 public:
  PositionSummaryTable() = default;
  virtual ~PositionSummaryTable() = default;

  // Merges a trade into its contract's entry; the entry index, or -1 when
  // the table is full or the trade's numbers are not finite.
  int AddTrade(const position_trade *t, const mqt *rec);
  // Rebuilds the table from the definition's paper account for one symbol
  // and copies the position into the record's paper fields.
  void LoadSymbol(mqt *rec, const OrderDef *def);
  void Clear() { count_ = 0; }

  int count() const { return count_; }
  const PositionSummary &entry(int i) const { return entries_[i]; }

 private:
  PositionSummary entries_[POSITION_SUMMARY_MAX];
  int count_ = 0;
};

extern PositionSummaryTable g_position_summary;

// 1 when a chart order may be placed with the definition on the record;
// 0 refused (with a message box, except for a missing definition).
int check_order_preconditions(const OrderDef *def, const mqt *rec);
