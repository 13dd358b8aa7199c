#include "windows/accountvalue.h"

#include <cstring>
#include <string>

#include "broker/positions.h"
#include "data/listfiles.h"
#include "data/debugtrace.h"
#include "data/tokenfile.h"
#include "broker/executions.h"
#include "quotes/mqt.h"
#include "settings/settings.h"

namespace {

struct add_ctx {
  PositionSummaryTable* table;
  const char* account;
  const char* symbol;
  int index;  // of the trade in its account
};

void add_one(const position_trade* t, void* p) {
  add_ctx* c = static_cast<add_ctx*>(p);
  debug_trace("%s[%d]: date=%d l=%s u=%s\n", c->account, c->index++, t->date, t->local_symbol,
              t->symbol);
  if (c->symbol && strcmp(t->symbol, c->symbol) != 0) return;
  // A stock's live record is kept under its symbol; other contracts have no
  // record found this way and are valued at cost.  The caller holds
  // g_chart_lock (for_each_account_trade takes it).
  const mqt* rec = strcmp(t->sec_type, "STK") == 0 ? find_mqt(t->symbol) : nullptr;
  c->table->AddTrade(t, rec);
}

// Column of a security type: the trade records keep "OPT" for stock options
// and "FOP" for futures options.
int type_column(const char* type) {
  if (strcmp(type, "STK") == 0) return AV_STOCKS;
  if (strcmp(type, "OPT") == 0) return AV_STOCK_OPTIONS;
  if (strcmp(type, "FUT") == 0) return AV_FUTURES;
  if (strcmp(type, "FOP") == 0) return AV_FUTURE_OPTIONS;
  return -1;
}

}  // namespace

int add_account_trades(PositionSummaryTable* table, const char* account, const char* symbol) {
  add_ctx c{table, account, symbol, 0};
  return for_each_account_trade(account, add_one, &c);
}

std::vector<account_value_row> account_value_rows(const PositionSummaryTable& table) {
  std::vector<account_value_row> rows;
  for (int i = 0; i < table.count(); i++) {
    const PositionSummary& e = table.entry(i);
    size_t r = 0;
    while (r < rows.size() && strcmp(rows[r].currency, e.currency) != 0) r++;
    if (r == rows.size()) {
      if (rows.size() >= ACCOUNT_VALUE_ROWS) continue;  // an eleventh currency is dropped
      account_value_row row{};
      snprintf(row.currency, sizeof row.currency, "%s", e.currency);
      rows.push_back(row);
    }
    account_value_row& row = rows[r];
    double value = e.last_price != 0 ? (double)e.net * e.last_price : e.net_value;
    int col = type_column(e.sec_type);
    if (col >= 0) row.v[col] += value;
    if (e.net != 0) row.v[AV_UNREALISED] += value - e.net_value;
    if (e.bought + e.sold == 0) {
      row.v[AV_REALISED] += e.realised_net;
      row.v[AV_CASH] += e.realised_net;
    }
    debug_trace("MktVal[%d] %s %s %.2f %.2f %.2f %.2f %.2f %.2f %.2f\n", i, row.currency,
                e.sec_type, row.v[AV_CASH], row.v[AV_STOCKS], row.v[AV_STOCK_OPTIONS],
                row.v[AV_FUTURES], row.v[AV_FUTURE_OPTIONS], row.v[AV_UNREALISED],
                row.v[AV_REALISED]);
  }
  return rows;
}

std::vector<std::string> list_paper_accounts() {
  std::vector<std::string> out;
  std::string pattern = std::string(g_accounts_dir) + "/*.trades";
  int count = 0;
  char** names = nullptr;
  if (!list_files(pattern.c_str(), &count, &names, LIST_FILES_NO_EXT) || !names) return out;
  for (int i = 0; i < count; i++) out.emplace_back(names[i]);
  free_tokens(names);
  return out;
}
