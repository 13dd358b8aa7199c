// The user's broker accounts as TWS reports them: the managed accounts of a
// financial advisor with their groups, allocation profiles and aliases, the
// account values (net liquidation, margin, funds, exchange rates), the
// positions with their profit, and the profit figures of the horse race.
//
// Each account has a pseudo-symbol "A~<account>" with a daily chart and a
// live-quote record whose last price is the account's net liquidation
// value; the account holds one use of the record and one reference of the
// chart until tws_accounts_release.  Positions are kept in the account slots of the live-quote
// records (quotes/mqt_record.h), at most MQT_ACCOUNT_SLOTS accounts.
//
// Handlers run on the broker's reader thread; state changes under
// g_chart_lock.  The horse-race window is told by posted messages only.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/window.h"

struct mqt;
struct tws_contract;

enum {
  TWS_ACCOUNTS_MAX = 16,  // one per position slot of a record
  TWS_EXCHANGE_RATES = 10,
  ADVISOR_NONE = -1,
  ADVISOR_GROUP = 1,
  ADVISOR_PROFILE = 2,
  ADVISOR_ACCOUNT = 3,
  PL_MODE_AMOUNTS = 0,
  PL_MODE_MARGIN_PCT = 1,
  PL_MODE_NLV_PCT = 2,
  PL_BY_UNDERLYING = 0x10,
  PL_SELECTION_CHANGED = 0x10000,
  TWS_PORTFOLIO_VALUE_MAX = 999999999,
};

// The horse-race window (0 none): gets WM_ADD_PL_SYMBOL, WM_REMOVE_PL_SYMBOL
// and WM_UPDATE_PL_SYMBOL (lParam a malloc'd copy of the symbol, freed by
// the receiver) and WM_CLEAR_PORTFOLIO.
extern std::atomic<kv_hwnd> g_pl_window;
extern uint32_t g_pl_mode;
extern uint32_t g_advisor_mask;     // selected accounts, bit per index; 1 none
extern int g_advisor_mode;          // ADVISOR_*
extern char g_advisor_account[17];  // the account text put into orders
extern char g_advisor_text[64];
extern char g_advisor_method[64];  // default method of a selected group
extern std::atomic<int> g_acct_updates_on;

// Managed accounts: the comma-separated list; the count kept.
int tws_managed_accounts(const char* list);
int tws_account_count();
// Name and alias of account index i (null outside the range).
const char* tws_account_name(int i);
const char* tws_account_alias(int i);
// Index of an account by name or alias, -1 none.
int managed_account_index(const char* name);
uint32_t advisor_account_mask(const char* name);

// Advisor data of message 16: 1 groups, 2 profiles, 3 aliases.  0 when the
// XML could not be read (nothing kept), else 1.
int tws_receive_fa(int data_type, const char* xml);
// null or "": no target.  1 found, 0 unknown.
int set_advisor_target(const char* text);
// Null-terminated choices: aliases, profiles, groups.
const char* const* build_advisor_list();

void updateAccountValue(const char* key, const char* value, const char* currency,
                        const char* account);
// The exchange rate of a currency, 1 when none is known.
double tws_exchange_rate(const char* currency);
// position, market price, market value, average cost, unrealised, realised.
void updatePortfolio(const tws_contract* c, int position, double market_price, double market_value,
                     double average_cost, double unrealized, double realized, const char* account);
// Position over the selected accounts (or the record's own), with the
// size-weighted average cost and summed profits.
double get_position_totals(mqt* record, double* avg_cost, double* unrealized, double* realized);
// "%s  NLV:%s  AvF:%s [%d%%] TH:%s" or "A~?????" without accounts.
void format_account_status(char* out, int size);
void recalc_portfolio_pl(uint32_t mode);
// The account pseudo-symbols offered in the symbol-list box (only the
// first account), ending with null.
const char* const* get_account_symbols();
mqt* find_account_record(const char* account);
// The reader thread's idle step in advisor mode: the next account's
// updates when their poll interval has passed.
void tws_account_poll();
// Lets every account's daily chart and record go and forgets the accounts.
// Called at exit before the charts and records are torn down; safe after
// that tear-down too (it then finds nothing to let go).
void tws_accounts_release();
// Forgets every account (released as above), advisor entry and rate
// (tests, reconnect).
void tws_accounts_reset();
