// Broker accounts, advisor allocation and portfolio profit.
#include "broker/twsacct.h"

#include <expat.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "broker/twsconn.h"
#include "broker/twsreq.h"
#include "broker/twsticker.h"
#include "broker/twswire.h"
#include "data/chart.h"
#include "data/chartload.h"
#include "data/debugtrace.h"
#include "data/pricefmt.h"
#include "data/statmsg.h"
#include "data/tokenfile.h"
#include "platform/clock.h"
#include "platform/locks.h"
#include "platform/messages.h"
#include "quotes/mqt.h"
#include "quotes/router.h"
#include "settings/settings.h"

enum {
  PREF_STATUS_DETAILS = 0x2000,
  PREF_REPORT_PROBLEMS = 0x4000,
  PREF1_ADVISOR = 0x800,
  TRACE_ACCOUNT_VALUES = 0x2000,
  NAME_SIZE = 64,
  FA_ENTRIES_MAX = 64,
  ADVISOR_LIST_MAX = 256,
  POLL_SLOW_S = 150,
  POLL_FAST_S = 5,
  SEC_OPT = 0x4,
  SEC_FUT = 0x2,
  SEC_FOP = 0x8,
};

std::atomic<kv_hwnd> g_pl_window{0};
uint32_t g_pl_mode;
uint32_t g_advisor_mask = 1;
int g_advisor_mode = ADVISOR_NONE;
char g_advisor_account[17];
char g_advisor_text[64];
char g_advisor_method[64];
std::atomic<int> g_acct_updates_on{0};
int g_account_index;  // the account cycle of advisor mode

// What an account holds of its pseudo-symbol's chart.
enum { ACCOUNT_CHART_NONE, ACCOUNT_CHART_LOADING, ACCOUNT_CHART_HELD };

// The record and the daily chart of an account are found by its
// pseudo-symbol whenever they are used, never kept as pointers: the exit
// tear-down (free_all_mqts, the chart list's release) may free them first,
// and then the account finds nothing instead of freed memory.
struct account_entry {
  char name[NAME_SIZE];
  char alias[NAME_SIZE];
  char pseudo[MQT_SYMBOL_SIZE];
  int has_record;   // one use of the record taken by get_multiquote
  int chart_state;  // ACCOUNT_CHART_*: one reference of the listed chart
  double nlv, available;
};
struct fa_entry {
  char name[NAME_SIZE];
  uint32_t mask;
  char method[NAME_SIZE];
};
struct rate_entry {
  char currency[9];
  double rate;
};

static account_entry s_accounts[TWS_ACCOUNTS_MAX];
static int s_account_count;
static std::vector<fa_entry> s_groups, s_profiles;
static rate_entry s_rates[TWS_EXCHANGE_RATES];
static int s_rate_count;
static int64_t s_last_value_time;
static int s_poll_interval = POLL_FAST_S;
static double s_nlv_sum;
static double s_option_intrinsic;
static int s_fa_listed;

static int advisor_mode_on() {
  return (g_pref_flags1 & PREF1_ADVISOR) != 0;
}

void tws_accounts_reset() {
  kv_lock guard(g_chart_lock);
  tws_accounts_release();
  s_account_count = 0;
  s_groups.clear();
  s_profiles.clear();
  memset(s_rates, 0, sizeof s_rates);
  s_rate_count = 0;
  s_nlv_sum = 0;
  s_option_intrinsic = 0;
  s_fa_listed = 0;
  g_advisor_mask = 1;
  g_advisor_mode = ADVISOR_NONE;
  g_advisor_account[0] = 0;
  g_advisor_text[0] = 0;
  g_advisor_method[0] = 0;
  g_account_index = 0;
  g_pl_mode = 0;
}

int tws_account_count() {
  return s_account_count;
}

const char* tws_account_name(int i) {
  return i >= 0 && i < s_account_count ? s_accounts[i].name : nullptr;
}

const char* tws_account_alias(int i) {
  return i >= 0 && i < s_account_count ? s_accounts[i].alias : nullptr;
}

int managed_account_index(const char* name) {
  if (!name || !name[0]) return -1;
  for (int i = 0; i < s_account_count; i++)
    if (strcasecmp(s_accounts[i].name, name) == 0 || strcasecmp(s_accounts[i].alias, name) == 0)
      return i;
  return -1;
}

uint32_t advisor_account_mask(const char* name) {
  int i = managed_account_index(name);
  return i < 0 ? 0 : 1u << i;
}

// The live-quote record of an account, null when it has none (or the
// records were torn down).  Under g_chart_lock.
static mqt* account_record(const account_entry* a) {
  return a->has_record ? find_mqt(a->pseudo) : nullptr;
}

// The pseudo-symbol's record with its ticker.  Under g_chart_lock.  The
// daily chart follows outside the lock (load_account_charts).
static void create_account_record(account_entry* a) {
  snprintf(a->pseudo, sizeof a->pseudo, "A~%.*s", (int)sizeof a->pseudo - 3, a->name);
  if (a->has_record) return;
  mqt* r = get_multiquote(a->pseudo);
  if (!r) return;
  r->flags |= MQT_ACCOUNT | MQT_INDEX_OR_ACCOUNT | MQT_NOT_STREAMABLE;
  int id = assign_ticker(a->pseudo);
  if (id) {
    g_symbol_slots[id - 1] = r;
    r->symbol_slot = id;
  }
  a->has_record = 1;
}

static account_entry* account_by_pseudo(const char* pseudo) {
  for (int i = 0; i < s_account_count; i++)
    if (strcmp(s_accounts[i].pseudo, pseudo) == 0) return &s_accounts[i];
  return nullptr;
}

// The daily chart of an account's pseudo-symbol: the stored one, else a
// new empty one, listed and linked to the account's record so that its
// net liquidation values build its bars.  Null when none could be made.
static chart_rec* open_account_chart(const char* pseudo) {
  chart_rec* c = get_chart_data(pseudo, TU_DAILY, 0, 0, CHART_REQ_NEVER_FETCH, nullptr, nullptr, 0);
  if (c) return c;
  c = new_chart(pseudo, TU_DAILY);
  if (!c) return nullptr;
  kv_lock guard(g_chart_lock);
  // Another thread may have listed one meanwhile: that one is shared.
  if (chart_rec* listed = find_listed_chart(pseudo, TU_DAILY)) {
    destroy_chart(c);
    listed->references++;
    return listed;
  }
  list_chart(c);
  if (link_chart_to_mqt(c) && c->mqt)
    snprintf(c->header.description, sizeof c->header.description, "%s", c->mqt->description);
  return c;
}

// Takes the daily chart of every account that has a record and no chart
// yet.  Reading the file runs outside g_chart_lock; an account released
// meanwhile gets nothing, and the chart's reference is let go again.
static void load_account_charts() {
  char pending[TWS_ACCOUNTS_MAX][MQT_SYMBOL_SIZE];
  int n = 0;
  {
    kv_lock guard(g_chart_lock);
    for (int i = 0; i < s_account_count; i++) {
      account_entry* a = &s_accounts[i];
      if (!a->has_record || a->chart_state != ACCOUNT_CHART_NONE) continue;
      a->chart_state = ACCOUNT_CHART_LOADING;
      snprintf(pending[n++], MQT_SYMBOL_SIZE, "%s", a->pseudo);
    }
  }
  for (int i = 0; i < n; i++) {
    chart_rec* c = open_account_chart(pending[i]);
    kv_lock guard(g_chart_lock);
    account_entry* a = account_by_pseudo(pending[i]);
    if (a && a->chart_state == ACCOUNT_CHART_LOADING) {
      a->chart_state = c ? ACCOUNT_CHART_HELD : ACCOUNT_CHART_NONE;
    } else if (c) {
      free_chart_data(c);
    }
  }
}

void tws_accounts_release() {
  kv_lock guard(g_chart_lock);
  for (int i = 0; i < s_account_count; i++) {
    account_entry* a = &s_accounts[i];
    // The chart first: its release drops its own use of the record.
    if (a->chart_state == ACCOUNT_CHART_HELD)
      if (chart_rec* c = find_listed_chart(a->pseudo, TU_DAILY)) free_chart_data(c);
    if (mqt* r = account_record(a)) {
      int id = r->symbol_slot;
      if (id >= 1 && id <= TWS_TICKER_COUNT && g_symbol_slots[id - 1] == r) {
        g_symbol_slots[id - 1] = nullptr;
        ticker_entry_free(id);
      }
      r->symbol_slot = 0;
      delete_multiquote(r);
    }
  }
  memset(s_accounts, 0, sizeof s_accounts);
  s_account_count = 0;
}

// Adds an account; -1 when the record's slots are all taken.
static int add_account(const char* name) {
  int i = managed_account_index(name);
  if (i >= 0) return i;
  if (s_account_count >= TWS_ACCOUNTS_MAX) return -1;
  account_entry* a = &s_accounts[s_account_count];
  memset(a, 0, sizeof *a);
  snprintf(a->name, sizeof a->name, "%s", name);
  snprintf(a->alias, sizeof a->alias, "%s", name);
  create_account_record(a);
  return s_account_count++;
}

// Adds the accounts of the list; the count of those that found no slot.
static int add_accounts(const char* list) {
  kv_lock guard(g_chart_lock);
  std::string copy(list ? list : "");
  int dropped = 0;
  size_t pos = 0;
  while (pos <= copy.size()) {
    size_t comma = copy.find(',', pos);
    std::string name =
        copy.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
    while (!name.empty() && name.back() == ' ') name.pop_back();
    while (!name.empty() && name.front() == ' ') name.erase(0, 1);
    if (!name.empty() && add_account(name.c_str()) < 0) dropped++;
    if (comma == std::string::npos) break;
    pos = comma + 1;
  }
  return dropped;
}

int tws_managed_accounts(const char* list) {
  int dropped = add_accounts(list);
  if (dropped) {
    char line[96];
    snprintf(line, sizeof line, "Managed accounts beyond %d left out: %d", TWS_ACCOUNTS_MAX,
             dropped);
    statmsg(__FILE__, __LINE__, line, nullptr, STATMSG_ERROR);
  }
  load_account_charts();
  return s_account_count;
}

// ---------------------------------------------------------------------------
// Advisor data (XML).

namespace {
// What one parse collects: items of the wanted element with their
// fields and member names.
struct fa_item {
  std::string name, method, account, alias;
  std::vector<std::string> members;
};
struct fa_parse {
  const char* item;  // "Group", "AllocationProfile", "AccountAlias"
  std::vector<fa_item> items;
  std::vector<std::string> path;
  std::string text;
  int in_item = 0;
};
}  // namespace

static void XMLCALL fa_start(void* ud, const XML_Char* el, const XML_Char**) {
  fa_parse* p = (fa_parse*)ud;
  if (strcmp(el, p->item) == 0 && !p->in_item) {
    p->items.push_back(fa_item());
    p->in_item = (int)p->path.size() + 1;
  }
  p->path.push_back(el);
  p->text.clear();
}

static void XMLCALL fa_end(void* ud, const XML_Char* el) {
  fa_parse* p = (fa_parse*)ud;
  if (p->in_item && (int)p->path.size() > p->in_item) {
    fa_item& it = p->items.back();
    std::string t = p->text;
    while (!t.empty() && isspace((unsigned char)t.back())) t.pop_back();
    while (!t.empty() && isspace((unsigned char)t.front())) t.erase(0, 1);
    // Fields of the item itself sit right below it; members deeper.
    int depth = (int)p->path.size() - p->in_item;
    if (depth == 1 && strcmp(el, "name") == 0)
      it.name = t;
    else if (depth == 1 && strcmp(el, "defaultMethod") == 0)
      it.method = t;
    else if (depth == 1 && strcmp(el, "account") == 0)
      it.account = t;
    else if (depth == 1 && strcmp(el, "alias") == 0)
      it.alias = t;
    else if (depth >= 2 && (strcmp(el, "String") == 0 || strcmp(el, "acct") == 0) && !t.empty())
      it.members.push_back(t);
  }
  p->path.pop_back();
  if (p->in_item && (int)p->path.size() < p->in_item) p->in_item = 0;
  p->text.clear();
}

static void XMLCALL fa_text(void* ud, const XML_Char* s, int len) {
  fa_parse* p = (fa_parse*)ud;
  if (p->text.size() < 4096) p->text.append(s, (size_t)len);
}

static int parse_fa(const char* xml, fa_parse* p) {
  XML_Parser parser = XML_ParserCreate(nullptr);
  if (!parser) return 0;
  XML_SetUserData(parser, p);
  XML_SetElementHandler(parser, fa_start, fa_end);
  XML_SetCharacterDataHandler(parser, fa_text);
  int ok = XML_Parse(parser, xml, (int)strnlen(xml, TWS_FIELD_MAX), 1) == XML_STATUS_OK;
  XML_ParserFree(parser);
  return ok;
}

static uint32_t mask_of(const std::vector<std::string>& names) {
  uint32_t m = 0;
  for (const std::string& n : names) m |= advisor_account_mask(n.c_str());
  return m;
}

static void list_fa() {
  std::string line = "Groups: ";
  for (size_t i = 0; i < s_groups.size(); i++) {
    line += s_groups[i].name;
    line += ' ';
    if (i % 8 == 7) {
      debug_trace("%s\n", line.c_str());
      line.clear();
    }
  }
  debug_trace("%s\n", line.c_str());
  line = "Profiles: ";
  for (const fa_entry& p : s_profiles) line += std::string(p.name) + " ";
  debug_trace("%s\n", line.c_str());
  for (int i = 0; i < s_account_count; i++)
    debug_trace("account: %s   alias: %s\n", s_accounts[i].name, s_accounts[i].alias);
}

int tws_receive_fa(int type, const char* xml) {
  static const char* const items[] = {nullptr, "Group", "AllocationProfile", "AccountAlias"};
  if (type < 1 || type > 3) {
    statmsg(__FILE__, __LINE__, "Unknown FA type received by RECEIVE_FA", nullptr, STATMSG_ERROR);
    return 0;
  }
  fa_parse p;
  p.item = items[type];
  if (!xml || !parse_fa(xml, &p)) {
    statmsg(__FILE__, __LINE__, "Advisor data could not be read:", items[type], STATMSG_ERROR);
    return 0;
  }
  kv_lock guard(g_chart_lock);
  if (type == 3) {
    for (const fa_item& it : p.items) {
      int i = managed_account_index(it.account.c_str());
      if (i < 0 || it.alias.empty()) continue;
      snprintf(s_accounts[i].alias, sizeof s_accounts[i].alias, "%s", it.alias.c_str());
      if (mqt* r = account_record(&s_accounts[i]))
        snprintf(r->description, sizeof r->description, "%.31s", it.alias.c_str());
    }
  } else {
    std::vector<fa_entry>& list = type == 1 ? s_groups : s_profiles;
    list.clear();
    for (const fa_item& it : p.items) {
      if (it.name.empty() || list.size() >= FA_ENTRIES_MAX) continue;
      fa_entry e = {};
      snprintf(e.name, sizeof e.name, "%s", it.name.c_str());
      snprintf(e.method, sizeof e.method, "%s", it.method.c_str());
      e.mask = mask_of(it.members);
      list.push_back(e);
    }
  }
  if (!s_fa_listed && type == 1) {
    s_fa_listed = 1;
    list_fa();
  }
  return 1;
}

static void post_pl(unsigned message, const char* symbol) {
  kv_hwnd w = g_pl_window.load();
  if (!w) return;
  char* copy = symbol ? strdup(symbol) : nullptr;
  if (!kv_post_message(w, message, 0, (kv_lparam)copy, copy ? kv_release_free_lparam : nullptr))
    free(copy);
}

int set_advisor_target(const char* text) {
  int found = 1;
  {
    kv_lock guard(g_chart_lock);
    g_advisor_account[0] = 0;
    g_advisor_method[0] = 0;
    if (!text || !text[0]) {
      g_advisor_mode = ADVISOR_NONE;
      g_advisor_mask = 1;
      g_advisor_text[0] = 0;
    } else {
      int i = managed_account_index(text);
      const fa_entry* hit = nullptr;
      if (i >= 0) {
        g_advisor_mode = ADVISOR_ACCOUNT;
        g_advisor_mask = 1u << i;
        snprintf(g_advisor_account, sizeof g_advisor_account, "%.*s",
                 (int)sizeof g_advisor_account - 1, s_accounts[i].name);
      } else {
        for (const fa_entry& e : s_profiles)
          if (!hit && strcasecmp(e.name, text) == 0) hit = &e, g_advisor_mode = ADVISOR_PROFILE;
        for (const fa_entry& e : s_groups)
          if (!hit && strcasecmp(e.name, text) == 0) hit = &e, g_advisor_mode = ADVISOR_GROUP;
        if (hit) {
          g_advisor_mask = hit->mask ? hit->mask : 1;
          if (g_advisor_mode == ADVISOR_GROUP)
            snprintf(g_advisor_method, sizeof g_advisor_method, "%s", hit->method);
        } else {
          found = 0;
        }
      }
      if (found) snprintf(g_advisor_text, sizeof g_advisor_text, "%s", text);
    }
  }
  if (!found) {
    statmsg(__FILE__, __LINE__, "Unknown advisor string:", text, STATMSG_ERROR);
    return 0;
  }
  // The race drops every cell on the clear: each record of the new
  // selection is to be listed again by the recalculation that follows.
  // One hold of the lock from the flags to the recalculation: a portfolio
  // update of the reader thread in between would list its record before
  // the clear, which would drop it for good.
  kv_lock guard(g_chart_lock);
  for (mqt* r = g_mqt_list; r; r = r->next) r->pl_listed = 0;
  post_pl(WM_CLEAR_PORTFOLIO, nullptr);
  recalc_portfolio_pl((g_pl_mode & 0xFFFF) | PL_SELECTION_CHANGED);
  return 1;
}

const char* const* build_advisor_list() {
  static std::vector<std::string> texts;
  static const char* list[ADVISOR_LIST_MAX + 1];
  kv_lock guard(g_chart_lock);
  texts.clear();
  for (int i = 0; i < s_account_count; i++) texts.push_back(s_accounts[i].alias);
  for (const fa_entry& e : s_profiles) texts.push_back(e.name);
  for (const fa_entry& e : s_groups) texts.push_back(e.name);
  size_t n = std::min(texts.size(), (size_t)ADVISOR_LIST_MAX);
  for (size_t i = 0; i < n; i++) list[i] = texts[i].c_str();
  list[n] = nullptr;
  return list;
}

const char* const* get_account_symbols() {
  static char first[MQT_SYMBOL_SIZE];
  static const char* list[2];
  kv_lock guard(g_chart_lock);
  list[0] = list[1] = nullptr;
  if (s_account_count > 0) {
    snprintf(first, sizeof first, "%s", s_accounts[0].pseudo);
    list[0] = first;
  }
  return list;
}

mqt* find_account_record(const char* account) {
  kv_lock guard(g_chart_lock);
  int i = managed_account_index(account);
  if (i < 0 && s_account_count) i = 0;
  return i >= 0 ? account_record(&s_accounts[i]) : nullptr;
}

// ---------------------------------------------------------------------------
// Account values.

double tws_exchange_rate(const char* currency) {
  for (int i = 0; i < s_rate_count; i++)
    if (currency && strcasecmp(s_rates[i].currency, currency) == 0) return s_rates[i].rate;
  return 1;
}

static void store_rate(const char* currency, double rate) {
  for (int i = 0; i < s_rate_count; i++)
    if (strcasecmp(s_rates[i].currency, currency) == 0) {
      s_rates[i].rate = rate;
      return;
    }
  if (s_rate_count >= TWS_EXCHANGE_RATES) {
    statmsg(__FILE__, __LINE__, "exchange rate table overflow", currency, STATMSG_ERROR);
    debug_trace("exchange rate table overflow\n");
    return;
  }
  snprintf(s_rates[s_rate_count].currency, sizeof s_rates[0].currency, "%s", currency);
  s_rates[s_rate_count++].rate = rate;
}

// The ticker of an account's record.  A reset of the connection voids
// every record's relay number; the account then takes its ticker again,
// so that its values keep reaching the record and its chart.
static int account_ticker(const account_entry* a, mqt* r) {
  int t = r->symbol_slot;
  if (t >= 1 && t <= TWS_TICKER_COUNT && g_symbol_slots[t - 1] == r) return t;
  t = assign_ticker(a->pseudo);
  if (t) {
    g_symbol_slots[t - 1] = r;
    r->symbol_slot = t;
  }
  return t;
}

// The account's net liquidation value as its ticker's trade.
static void send_nlv(account_entry* a, double value) {
  mqt* r = account_record(a);
  int t = r ? account_ticker(a, r) : 0;
  if (t < 1 || t > TWS_TICKER_COUNT) return;
  tws_ticker* e = &g_ticker_table[t];
  e->last_price = (float)value;
  e->last_size = 0;
  e->trade_pending = 1;
  ticker_flush(t);
}

void updateAccountValue(const char* key, const char* value, const char* currency,
                        const char* account) {
  if (g_trace_mask & TRACE_ACCOUNT_VALUES)
    debug_trace("updateAccountValue[%s] %s , %s , %s , %s\n", account, key, value, currency,
                account);
  s_last_value_time = kv_now_utc_seconds();
  double v = atof(value);
  if (!isfinite(v)) v = 0;
  if (strcmp(key, "ExchangeRate") == 0) {
    kv_lock guard(g_chart_lock);
    store_rate(currency, v);
    return;
  }
  int added = 0;
  {
    kv_lock guard(g_chart_lock);
    if (!advisor_mode_on() && s_account_count == 0 && account && account[0])
      added = add_account(account) >= 0;
  }
  if (added) {
    if (g_pref_flags & PREF_STATUS_DETAILS) statmsg(nullptr, 0, "Account", account, STATMSG_NOTICE);
    load_account_charts();
  }
  kv_lock guard(g_chart_lock);
  int i = managed_account_index(account);
  if (i < 0 && !advisor_mode_on() && s_account_count) i = 0;
  if (i < 0) return;
  account_entry* a = &s_accounts[i];
  mqt* r = account_record(a);
  if (strcmp(key, "NetLiquidation") == 0) {
    a->nlv = v;
    if (r) {
      snprintf(r->description, sizeof r->description, "%.*s", (int)sizeof r->description - 1,
               a->alias);
      if (r->nlv_base == 0) r->nlv_base = v;
      r->reference_price = (float)r->nlv_base;
      r->view_low[0] = (float)(0.995 * r->nlv_base);
      r->view_high[0] = (float)(1.005 * r->nlv_base);
    }
    send_nlv(a, v);
    if (advisor_mode_on() && g_acct_updates_on.load() && s_account_count) {
      g_account_index = (g_account_index + 1) % s_account_count;
      s_poll_interval = s_account_count == 1 || g_account_index == 2 ? POLL_SLOW_S : POLL_FAST_S;
    }
    return;
  }
  if (!r) return;
  if (strcmp(key, "InitMarginReq") == 0) {
    r->init_margin = v;
  } else if (strcmp(key, "AvailableFunds") == 0) {
    a->available = v;
    r->available_funds = v;
    r->available_pct = a->nlv > 0 ? v * 100 / a->nlv : 0;
  } else if (strcmp(key, "UnrealizedPnL") == 0) {
    r->unrealized_pnl = v;
  } else if (strcmp(key, "EquityWithLoanValue") == 0) {
    r->equity_with_loan = v;
  } else if (strcmp(key, "GrossPositionValue") == 0) {
    r->gross_position_value = v;
  }
}

void tws_account_poll() {
  if (!advisor_mode_on() || !g_acct_updates_on.load()) return;
  if (kv_now_utc_seconds() > s_last_value_time + s_poll_interval) {
    s_last_value_time = kv_now_utc_seconds();
    ReqAccountUpdatesNext();
  }
}

// ---------------------------------------------------------------------------
// Portfolio.

static int is_derivative(const char* sec_type) {
  return strcasecmp(sec_type, "STK") != 0 && strcasecmp(sec_type, "CASH") != 0 &&
         strcasecmp(sec_type, "IND") != 0;
}

static int same_contract(const mqt* r, const tws_contract* c) {
  const char* root = r->contract_root[0] ? r->contract_root : r->symbol;
  if (strcasecmp(root, c->symbol) != 0 || strcasecmp(r->sec_type, c->sec_type) != 0) return 0;
  if (r->broker_local_symbol[0] && c->local_symbol[0] &&
      strcasecmp(r->broker_local_symbol, c->local_symbol) != 0)
    return 0;
  if (strncmp(r->expiry, c->expiry, 6) != 0) return 0;
  if (strcasecmp(r->right, c->right) != 0) return 0;
  return fabs(r->strike - c->strike) < 1e-6;
}

static int account_selected(int slot) {
  if (!advisor_mode_on()) return 1;
  return g_advisor_mode == ADVISOR_NONE ? slot == 0 : ((g_advisor_mask >> slot) & 1) != 0;
}

static void add_plsymbol(mqt* r) {
  if (r->pl_listed) return;
  r->pl_listed = 1;
  debug_trace("add_plsymbol: %s\n", r->symbol);
  post_pl(WM_ADD_PL_SYMBOL, r->symbol);
}

static void remove_plsymbol(mqt* r) {
  if (!r->pl_listed) return;
  r->pl_listed = 0;
  post_pl(WM_REMOVE_PL_SYMBOL, r->symbol);
}

static mqt* record_for_contract(const tws_contract* c) {
  for (mqt* r = g_mqt_list; r; r = r->next)
    if (!(r->flags & MQT_FREE) && same_contract(r, c)) return r;
  tws_contract_name n;
  contract_symbol(c, &n);
  if (n.ticker && g_symbol_slots[n.ticker - 1]) return g_symbol_slots[n.ticker - 1];
  if (strncmp(n.short_name, "F_", 2) == 0 || strncmp(n.short_name, "M~F_", 4) == 0) {
    debug_trace("skipped creating mqt for %s\n", n.short_name);
    return nullptr;
  }
  mqt* r = get_multiquote(n.short_name);
  int id = r ? assign_ticker(n.short_name) : 0;
  if (!r || !id) {
    statmsg(__FILE__, __LINE__, "Unable to add symbol for updatePortfolio:", n.short_name,
            STATMSG_ERROR);
    return nullptr;
  }
  g_symbol_slots[id - 1] = r;
  r->symbol_slot = id;
  return r;
}

void updatePortfolio(const tws_contract* c, int position, double market_price, double market_value,
                     double average_cost, double unrealized, double realized, const char* account) {
  double values[] = {market_price, market_value, average_cost, unrealized, realized};
  for (double v : values)
    if (!isfinite(v) || fabs(v) > (double)TWS_PORTFOLIO_VALUE_MAX) {
      debug_trace("Bad %s %f\n", c->symbol, v);
      return;
    }
  kv_lock guard(g_chart_lock);
  // An advisor's account without a slot (beyond the first 16, or not yet
  // listed) is left out: its position must not land on another account.
  int slot = managed_account_index(account);
  if (slot < 0 && advisor_mode_on() && account && account[0]) {
    debug_trace("updatePortfolio: no slot for account %s\n", account);
    return;
  }
  if (slot < 0) slot = 0;
  mqt* r = record_for_contract(c);
  if (!r) return;
  mqt_position& p = r->account_positions[slot];
  p.update_count++;
  p.update_time = (int32_t)kv_now_utc_seconds();
  int mult = r->multiplier > 0 ? r->multiplier : 1;
  p.avg_price = is_derivative(c->sec_type) ? average_cost / mult : average_cost;
  p.last_price = market_price;
  p.market_value = market_value;
  p.unrealized = unrealized;
  p.realized = realized;
  p.profit = unrealized + realized;
  if (p.update_count == 1 || p.profit > p.pl_high) p.pl_high = p.profit;
  if (p.update_count == 1 || p.profit < p.pl_low) p.pl_low = p.profit;
  p.quantity = position;
  if (account_selected(slot) && (position != 0 || p.profit != 0)) add_plsymbol(r);
  post_to_mqt_charts(r, WM_PORTFOLIO_UPDATE, 0, 0);
  if (is_derivative(c->sec_type) && !find_mqt(c->symbol)) {
    if (!get_multiquote(c->symbol))
      statmsg(__FILE__, __LINE__, "Unable to add underlying for updatePortfolio:", c->symbol,
              STATMSG_ERROR);
  }
}

double get_position_totals(mqt* r, double* avg_cost, double* unrealized, double* realized) {
  kv_lock guard(g_chart_lock);
  double q = 0, cost = 0, u = 0, re = 0;
  int n = advisor_mode_on() ? MQT_ACCOUNT_SLOTS : 1;
  for (int i = 0; i < n; i++) {
    if (advisor_mode_on() && !account_selected(i)) continue;
    const mqt_position& p = r->account_positions[i];
    q += p.quantity;
    cost += fabs(p.quantity) * p.avg_price;
    u += p.unrealized;
    re += p.realized;
  }
  double size = 0;
  for (int i = 0; i < n; i++)
    if (!advisor_mode_on() || account_selected(i)) size += fabs(r->account_positions[i].quantity);
  if (avg_cost) *avg_cost = size > 0 ? cost / size : 0;
  if (unrealized) *unrealized = u;
  if (realized) *realized = re;
  return q;
}

void format_account_status(char* out, int size) {
  kv_lock guard(g_chart_lock);
  if (s_account_count == 0) {
    snprintf(out, size, "A~?????");
    return;
  }
  double nlv = 0, avf = 0;
  for (int i = 0; i < s_account_count; i++) {
    if (advisor_mode_on() && g_advisor_mask != 1 && !((g_advisor_mask >> i) & 1)) continue;
    if (advisor_mode_on() && g_advisor_mask == 1 && i != 0) continue;
    nlv += s_accounts[i].nlv;
    avf += s_accounts[i].available;
  }
  s_nlv_sum = nlv;
  int pct = nlv > 0 ? (int)(avf * 100 / nlv) : 0;
  char a[32], b[32], c[32];
  format_volume_real(a, nlv, 1);
  format_volume_real(b, avf, 1);
  format_volume_real(c, s_option_intrinsic, 1);
  const char* who =
      g_advisor_text[0] && g_advisor_mask != 1 ? g_advisor_text : s_accounts[0].pseudo;
  snprintf(out, size, "%s  NLV:%s  AvF:%s [%d%%] TH:%s", who, a, b, pct, c);
}

// margin.cfg: symbol and margin value pairs, read once.
static config_file_once s_margin;

static double margin_of(const char* symbol) {
  for (int i = 0; i + 1 < s_margin.list.count; i += 2)
    if (strcasecmp(s_margin.list.tokens[i], symbol) == 0) return atof(s_margin.list.tokens[i + 1]);
  return 0;
}

static double underlying_price(const mqt* r) {
  const char* root = r->contract_root[0] ? r->contract_root : r->symbol;
  mqt* u = find_mqt(root);
  return u ? u->last : 0;
}

// Margin of a short option: 0.2 x underlying less the amount out of the
// money, at least 0.1 x strike and at least 2.5, times quantity and
// multiplier.
static double short_option_margin(const mqt* r, double q, int mult) {
  double under = underlying_price(r);
  double otm = r->right[0] == 'C' ? r->strike - under : under - r->strike;
  if (otm < 0) otm = 0;
  double m = 0.2 * under - otm;
  if (m < 0.1 * r->strike) m = 0.1 * r->strike;
  if (m < 2.5) m = 2.5;
  return m * fabs(q) * mult;
}

// The day's low and high of the profit over the selected accounts (the
// record's own outside advisor mode), as the portfolio updates left them
// in the accounts' slots.  Under g_chart_lock.
static void position_profit_range(const mqt* r, double* low, double* high) {
  double lo = 0, hi = 0;
  int n = advisor_mode_on() ? MQT_ACCOUNT_SLOTS : 1;
  for (int i = 0; i < n; i++) {
    if (advisor_mode_on() && !account_selected(i)) continue;
    lo += r->account_positions[i].pl_low;
    hi += r->account_positions[i].pl_high;
  }
  *low = lo;
  *high = hi;
}

// The amounts of one record, or of an underlying with its derivatives, in
// the account currency: the profit's parts and its day's low and high.
struct pl_amounts {
  double margin, cost, u, re, low, high;
};

// Profit figures of a record in the profit mode: amounts, percent of the
// margin (of the cost when the margin is 0), or percent of the summed net
// liquidation value (nothing while that is 0).  The horse race draws the
// same figures: the profit now between the day's low and high of the
// positions, the margin in its volume pane (in percent only in the net
// liquidation mode) and the unrealised part in its study pane, with its low
// and high since the race was started afresh (fresh: a new mode or
// selection).
static void store_pl(mqt* r, int pl_mode, int fresh, const pl_amounts& a) {
  double profit = a.u + a.re;
  r->pl_margin = a.margin;
  r->pl_unrealized = a.u;
  r->pl_realized = a.re;
  double scale = 1;
  if (pl_mode == PL_MODE_MARGIN_PCT) {
    double base = a.margin > 0 ? a.margin : a.cost;
    scale = base > 0 ? 100 / base : 0;
  } else if (pl_mode == PL_MODE_NLV_PCT) {
    if (!(s_nlv_sum > 0)) return;
    scale = 100 / s_nlv_sum;
  }
  r->pl_profit = profit * scale;
  mqt_race_values& v = r->race;
  float now = (float)r->pl_profit, study = (float)(a.u * scale);
  v.pl_now = now;
  v.pl_low = std::min((float)(a.low * scale), now);
  v.pl_high = std::max((float)(a.high * scale), now);
  if (fresh || !r->pl_listed) v.pl_study_low = v.pl_study_high = study;
  v.pl_study_now = study;
  v.pl_study_low = std::min(v.pl_study_low, study);
  v.pl_study_high = std::max(v.pl_study_high, study);
  v.pl_volume = (float)(pl_mode == PL_MODE_NLV_PCT ? a.margin * scale : a.margin);
}

enum { GROUP_LEGS_MAX = 10 };

struct option_leg {
  mqt* r;
  double q;  // remaining, signed
};

// Derivatives pooled into their underlying: amounts in the account currency.
struct underlying_group {
  mqt* under;
  pl_amounts a;
  option_leg legs[GROUP_LEGS_MAX];
  int leg_count;
  int fop_count;
};

struct pl_figures {
  mqt* r;
  double q;
  pl_amounts a;
};

// Long and short legs of the same right and multiplier pair when the long
// one expires no earlier; each pair is margined by its strike difference.
static double paired_option_margin(underlying_group* g) {
  double margin = 0;
  for (bool paired = true; paired;) {
    paired = false;
    for (int s = 0; s < g->leg_count; s++) {
      option_leg& sh = g->legs[s];
      if (sh.q >= 0) continue;
      for (int l = 0; l < g->leg_count && sh.q < 0; l++) {
        option_leg& lg = g->legs[l];
        if (lg.q <= 0 || lg.r->right[0] != sh.r->right[0] || lg.r->multiplier != sh.r->multiplier ||
            strcmp(lg.r->expiry, sh.r->expiry) < 0)
          continue;
        double n = lg.q < -sh.q ? lg.q : -sh.q;
        int mult = sh.r->multiplier > 0 ? sh.r->multiplier : 1;
        margin += fabs(lg.r->strike - sh.r->strike) * mult * n * tws_exchange_rate(sh.r->currency);
        lg.q -= n;
        sh.q += n;
        paired = true;
      }
    }
  }
  for (int i = 0; i < g->leg_count; i++)
    if (g->legs[i].q < 0) {
      mqt* r = g->legs[i].r;
      int mult = r->multiplier > 0 ? r->multiplier : 1;
      margin += short_option_margin(r, g->legs[i].q, mult) * tws_exchange_rate(r->currency);
    }
  return margin;
}

// Grouping by underlying: the figures of every derivative are added into
// its underlying's record, which joins the horse race.  0 when an
// underlying cannot be made (the pass ends there).
static int group_by_underlying(const std::vector<pl_figures>& figs, int pl_mode, int fresh) {
  std::vector<underlying_group> groups;
  for (const pl_figures& f : figs) {
    mqt* r = f.r;
    if (!(r->sec_code & (SEC_OPT | SEC_FOP | SEC_FUT))) continue;
    const char* root = r->contract_root[0] ? r->contract_root : r->symbol;
    mqt* under = strcasecmp(root, r->symbol) == 0 ? nullptr : get_multiquote(root);
    if (!under) {
      statmsg(__FILE__, __LINE__, "underlying symbol does not exist", root, STATMSG_ERROR);
      return 0;
    }
    underlying_group* g = nullptr;
    for (underlying_group& e : groups)
      if (e.under == under) g = &e;
    if (!g) {
      groups.push_back(underlying_group{});
      g = &groups.back();
      g->under = under;
    }
    g->a.u += f.a.u;
    g->a.re += f.a.re;
    g->a.cost += f.a.cost;
    g->a.low += f.a.low;
    g->a.high += f.a.high;
    double q = f.q;
    if ((r->sec_code & SEC_OPT) && !(r->sec_code & SEC_FOP) && g->leg_count < GROUP_LEGS_MAX) {
      g->legs[g->leg_count++] = option_leg{r, q};
    } else if ((r->sec_code & SEC_FOP) && g->fop_count < GROUP_LEGS_MAX) {
      g->fop_count++;
      g->a.margin += f.a.margin;
    } else {
      // Futures, and legs beyond the table, keep their own margin.
      g->a.margin += f.a.margin;
    }
  }
  for (underlying_group& g : groups) {
    pl_amounts a = g.a;
    a.margin += paired_option_margin(&g);
    for (const pl_figures& f : figs)
      if (f.r == g.under) {
        a.margin += f.a.margin;
        a.cost += f.a.cost;
        a.u += f.a.u;
        a.re += f.a.re;
        a.low += f.a.low;
        a.high += f.a.high;
      }
    add_plsymbol(g.under);
    store_pl(g.under, pl_mode, fresh, a);
  }
  return 1;
}

void recalc_portfolio_pl(uint32_t mode) {
  kv_lock guard(g_chart_lock);
  int advisor = advisor_mode_on();
  // The race's lows and highs start again with a new mode or selection.
  static uint32_t s_race_mode = ~0u;
  int fresh = (mode & PL_SELECTION_CHANGED) || (mode & 0xFFFF) != s_race_mode;
  s_race_mode = mode & 0xFFFF;
  g_pl_mode = mode & ~(uint32_t)PL_SELECTION_CHANGED;
  char status[160];
  format_account_status(status, sizeof status);
  if (!s_margin.read) {
    read_config_once(&s_margin, "margin.cfg", 0);
    if (!s_margin.list.count && (g_pref_flags & PREF_REPORT_PROBLEMS))
      statmsg(nullptr, 0, "Unable to read margin file:", "margin.cfg", STATMSG_NOTICE);
  }
  s_option_intrinsic = 0;
  int pl_mode = (int)(g_pl_mode & 0xF);
  if (pl_mode > PL_MODE_NLV_PCT) {
    statmsg(__FILE__, __LINE__, "Bad PLMODE", nullptr, STATMSG_ERROR);
    return;
  }
  std::vector<pl_figures> figs;
  for (mqt* r = g_mqt_list; r; r = r->next) {
    if (r->flags & (MQT_FREE | MQT_ACCOUNT)) continue;
    double avg, u, re;
    double q = get_position_totals(r, &avg, &u, &re);
    // Outside advisor mode a record is only ever added here again (after
    // the race was cleared); in advisor mode the selection decides.
    if (q != 0 || u != 0 || re != 0)
      add_plsymbol(r);
    else if (advisor)
      remove_plsymbol(r);
    if (q == 0 && u == 0 && re == 0) continue;
    double rate = tws_exchange_rate(r->currency);
    int mult = r->multiplier > 0 ? r->multiplier : 1;
    double price = r->last > 0 ? r->last : r->account_positions[0].last_price;
    double value = fabs(q) * price * rate;
    double margin;
    if (r->sec_code & SEC_FOP) {
      margin = 0.2 * underlying_price(r) * fabs(q) * mult * rate;
    } else if (r->sec_code & SEC_OPT) {
      margin = q > 0 ? fabs(q) * avg * mult * rate : short_option_margin(r, q, mult) * rate;
      double under = underlying_price(r);
      double itm = r->right[0] == 'C' ? under - r->strike : r->strike - under;
      if (itm < 0) itm = 0;
      s_option_intrinsic += (itm * mult - avg) * q;
    } else if (r->sec_code & SEC_FUT) {
      margin = margin_of(r->contract_root[0] ? r->contract_root : r->symbol) * fabs(q) * rate;
    } else {
      margin = (mode & PL_BY_UNDERLYING) ? value / 2 : price > 5 ? value / 4 : value;
    }
    double low, high;
    position_profit_range(r, &low, &high);
    pl_amounts a = {margin, fabs(q) * avg * rate, u * rate, re * rate, low * rate, high * rate};
    store_pl(r, pl_mode, fresh, a);
    figs.push_back(pl_figures{r, q, a});
  }
  if (mode & PL_BY_UNDERLYING) group_by_underlying(figs, pl_mode, fresh);
  post_pl(WM_UPDATE_PL_SYMBOL, nullptr);
}
