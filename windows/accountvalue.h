// Market value of paper accounts by currency: the trades of one account, of
// every account or of one symbol merged into a position summary of their
// own, then added up per currency into at most ACCOUNT_VALUE_ROWS rows.
#pragma once

#include <string>
#include <vector>

class PositionSummaryTable;

enum { ACCOUNT_VALUE_ROWS = 10 };

enum account_value_column {
  AV_CASH,
  AV_STOCKS,
  AV_STOCK_OPTIONS,
  AV_FUTURES,
  AV_FUTURE_OPTIONS,
  AV_UNREALISED,
  AV_REALISED,
  AV_COLUMNS
};

struct account_value_row {
  char currency[5];
  double v[AV_COLUMNS];
};

// Adds the account's trades (symbol: only that symbol's, null all) to the
// table; 0 when the account cannot be opened.
int add_account_trades(PositionSummaryTable* table, const char* account, const char* symbol);

// The rows of the table's entries.  An entry's market value is its net
// quantity times its last price; without a last price (no live record) it
// is valued at its cost, the entry's net value.
std::vector<account_value_row> account_value_rows(const PositionSummaryTable& table);

// The paper accounts: "<accounts folder>/*.trades" without the extension,
// sorted as list_files sorts.
std::vector<std::string> list_paper_accounts();
