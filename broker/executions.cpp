// Executions, the open-account table and the account trade files.
#include "broker/executions.h"

#include <errno.h>
#include <fcntl.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "broker/positions.h"
#include "data/chartheader.h"
#include "data/dates.h"
#include "data/lefield.h"
#include "data/debugtrace.h"
#include "data/pricefmt.h"
#include "data/statmsg.h"
#include "platform/files.h"
#include "platform/locks.h"
#include "platform/messages.h"
#include "quotes/mqt.h"
#include "settings/datadirs.h"

int (*g_account_slot_hook)(const char* account);

namespace {

// Offsets of the execution record; a trade keeps bytes 8..127 at the same
// offsets behind its commission.
enum {
  E_CODE = 0,
  E_ERROR = 1,
  E_SYMBOL = 2,
  E_UNNAMED4 = 4,
  E_PRICE = 8,
  E_PERM = 16,
  E_QUANTITY = 20,
  E_QUOTE_TIME = 24,
  E_EXEC_TIME = 28,
  E_EXPIRY = 32,
  E_MULTIPLIER = 36,
  E_STRIKE = 40,
  E_SIDE = 44,
  E_CURRENCY = 48,
  E_ACCOUNT = 52,
  E_EXCHANGE = 62,
  E_SYMBOL_TEXT = 72,
  E_LOCAL_SYMBOL = 80,
  E_SEC_TYPE = 88,
  E_RIGHT = 92,
  E_EXEC_ID = 96,
  E_FLAGS = 124,
  E_UNNAMED125 = 125,
  E_UNNAMED128 = 128,
  T_COMMISSION = 0,
};
static_assert(E_EXEC_ID + 28 == E_FLAGS, "execution id is 28 characters");
static_assert((int)E_UNNAMED128 == (int)TRADE_SIZE && (int)E_UNNAMED128 + 16 == (int)EXECUTION_SIZE,
              "record sizes");

account_rec s_accounts[ACCOUNT_TABLE_SIZE];

// Bytes 8..127 of the record at p (an execution or a trade).
void encode_fields(const execution_fields* f, uint8_t* p) {
  put_led(p + E_PRICE, f->price);
  put_le32(p + E_PERM, (uint32_t)f->perm_id);
  put_le32(p + E_QUANTITY, (uint32_t)f->quantity);
  put_le32(p + E_QUOTE_TIME, (uint32_t)f->quote_time);
  put_le32(p + E_EXEC_TIME, (uint32_t)f->exec_time);
  put_le32(p + E_EXPIRY, (uint32_t)f->expiry);
  put_le32(p + E_MULTIPLIER, (uint32_t)f->multiplier);
  put_lef(p + E_STRIKE, f->strike);
  put_text_field(p + E_SIDE, f->side, 4);
  put_text_field(p + E_CURRENCY, f->currency, 4);
  put_text_field(p + E_ACCOUNT, f->account, 10);
  put_text_field(p + E_EXCHANGE, f->exchange, 10);
  put_text_field(p + E_SYMBOL_TEXT, f->symbol, 8);
  put_text_field(p + E_LOCAL_SYMBOL, f->local_symbol, 8);
  put_text_field(p + E_SEC_TYPE, f->sec_type, 4);
  put_text_field(p + E_RIGHT, f->right, 4);
  put_text_field(p + E_EXEC_ID, f->exec_id, 28);
  p[E_FLAGS] = f->flags;
  memcpy(p + E_UNNAMED125, f->unnamed125, sizeof f->unnamed125);
}

void decode_fields(const uint8_t* p, execution_fields* f) {
  f->price = get_led(p + E_PRICE);
  f->perm_id = (int32_t)get_le32(p + E_PERM);
  f->quantity = (int32_t)get_le32(p + E_QUANTITY);
  f->quote_time = (int32_t)get_le32(p + E_QUOTE_TIME);
  f->exec_time = (int32_t)get_le32(p + E_EXEC_TIME);
  f->expiry = (int32_t)get_le32(p + E_EXPIRY);
  f->multiplier = (int32_t)get_le32(p + E_MULTIPLIER);
  f->strike = get_lef(p + E_STRIKE);
  get_text_field(p + E_SIDE, f->side, 4);
  get_text_field(p + E_CURRENCY, f->currency, 4);
  get_text_field(p + E_ACCOUNT, f->account, 10);
  get_text_field(p + E_EXCHANGE, f->exchange, 10);
  get_text_field(p + E_SYMBOL_TEXT, f->symbol, 8);
  get_text_field(p + E_LOCAL_SYMBOL, f->local_symbol, 8);
  get_text_field(p + E_SEC_TYPE, f->sec_type, 4);
  get_text_field(p + E_RIGHT, f->right, 4);
  get_text_field(p + E_EXEC_ID, f->exec_id, 28);
  f->flags = p[E_FLAGS];
  memcpy(f->unnamed125, p + E_UNNAMED125, sizeof f->unnamed125);
}

void report(const char* text, const char* argument) {
  statmsg(__FILE__, __LINE__, text, argument, STATMSG_ERROR);
}

account_rec* find_open(const char* name) {
  for (account_rec& a : s_accounts)
    if (a.name[0] && strncasecmp(a.name, name, ACCOUNT_NAME_SIZE) == 0) return &a;
  return nullptr;
}

void clear_entry(account_rec* a) {
  free(a->trades);
  memset(a, 0, sizeof *a);
}

// Writes all of buf to fd; 1 whole, 0 cut short.
int write_all(int fd, const uint8_t* buf, size_t len) {
  while (len) {
    ssize_t n = write(fd, buf, len);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return 0;
    buf += n;
    len -= (size_t)n;
  }
  return 1;
}

}  // namespace

void encode_execution(const execution_rec* e, uint8_t* p) {
  p[E_CODE] = e->code;
  p[E_ERROR] = e->error;
  put_le16(p + E_SYMBOL, (uint16_t)e->symbol_number);
  memcpy(p + E_UNNAMED4, e->unnamed4, sizeof e->unnamed4);
  encode_fields(&e->f, p);
  memcpy(p + E_UNNAMED128, e->unnamed128, sizeof e->unnamed128);
}

void decode_execution(const uint8_t* p, execution_rec* e) {
  e->code = p[E_CODE];
  e->error = p[E_ERROR];
  e->symbol_number = (int16_t)get_le16(p + E_SYMBOL);
  memcpy(e->unnamed4, p + E_UNNAMED4, sizeof e->unnamed4);
  decode_fields(p, &e->f);
  memcpy(e->unnamed128, p + E_UNNAMED128, sizeof e->unnamed128);
}

void encode_trade(const trade_rec* t, uint8_t* p) {
  put_le32(p + T_COMMISSION, (uint32_t)t->commission);
  memset(p + 4, 0, 4);
  encode_fields(&t->f, p);
}

void decode_trade(const uint8_t* p, trade_rec* t) {
  t->commission = (int32_t)get_le32(p + T_COMMISSION);
  decode_fields(p, &t->f);
}

int account_name_ok(const char* name) {
  if (!name || !name[0] || strstr(name, "..")) return 0;
  for (const char* c = name; *c; c++)
    if (*c == '/' || *c == '\\' || (unsigned char)*c < 0x20 || *c == 0x7F) return 0;
  return 1;
}

char* account_file_path(char* buf, size_t size, const char* name) {
  if (!account_name_ok(name)) return nullptr;
  char file[ACCOUNT_NAME_SIZE + 16];
  snprintf(file, sizeof file, "%.*s.trades", (int)ACCOUNT_NAME_SIZE, name);
  return data_folder_path(buf, size, KV_DIR_ACCOUNTS, file);
}

int read_account_file(const char* path, trade_rec** trades, int32_t* count, int32_t* capacity) {
  *trades = nullptr;
  *count = *capacity = 0;
  std::vector<uint8_t> bytes;
  if (FILE* f = kv_fopen_existing(path, "rb", nullptr)) {
    uint8_t block[4096];
    size_t n;
    while ((n = fread(block, 1, sizeof block, f)) > 0) bytes.insert(bytes.end(), block, block + n);
    int failed = ferror(f);
    fclose(f);
    if (failed) return 0;
  }
  size_t whole = bytes.size() / TRADE_SIZE;
  if (bytes.size() % TRADE_SIZE)
    report("Partial trade record ignored at the end of account file: ", path);
  if (whole > (size_t)(INT32_MAX - ACCOUNT_GROWTH)) return 0;
  size_t cap = whole + ACCOUNT_GROWTH;
  trade_rec* t = (trade_rec*)calloc(cap, sizeof *t);
  if (!t) return 0;
  for (size_t i = 0; i < whole; i++) decode_trade(&bytes[i * TRADE_SIZE], &t[i]);
  *trades = t;
  *count = (int32_t)whole;
  *capacity = (int32_t)cap;
  return 1;
}

account_rec* get_account(const char* name) {
  if (!name || !name[0] || !account_name_ok(name)) return nullptr;
  kv_lock guard(g_chart_lock);
  if (account_rec* a = find_open(name)) {
    if (a->count >= a->capacity) {
      trade_rec* grown = nullptr;
      if (a->capacity <= INT32_MAX - ACCOUNT_GROWTH)
        grown =
            (trade_rec*)realloc(a->trades, ((size_t)a->capacity + ACCOUNT_GROWTH) * sizeof *grown);
      if (!grown) {
        report("no memory for account expansion", name);
        return a;
      }
      memset(grown + a->capacity, 0, ACCOUNT_GROWTH * sizeof *grown);
      a->trades = grown;
      a->capacity += ACCOUNT_GROWTH;
    }
    return a;
  }
  account_rec* slot = nullptr;
  for (int i = ACCOUNT_TABLE_SIZE - 1; i >= 0 && !slot; i--)
    if (!s_accounts[i].name[0]) slot = &s_accounts[i];
  if (!slot) {
    report("Open account table full", nullptr);
    return nullptr;
  }
  char path[1024];
  if (!account_file_path(path, sizeof path, name)) return nullptr;
  trade_rec* trades;
  int32_t count, capacity;
  if (!read_account_file(path, &trades, &count, &capacity)) {
    report("Can't alloc memory for account", name);
    return nullptr;
  }
  memset(slot, 0, sizeof *slot);
  snprintf(slot->name, sizeof slot->name, "%.*s", (int)ACCOUNT_NAME_SIZE, name);
  slot->trades = trades;
  slot->count = slot->written = count;
  slot->capacity = capacity;
  return slot;
}

int append_new_trades(account_rec* a) {
  kv_lock guard(g_chart_lock);
  if (a->written >= a->count) return 1;
  std::stable_sort(a->trades + a->written, a->trades + a->count,
                   [](const trade_rec& x, const trade_rec& y) {
                     if (x.f.exec_time != y.f.exec_time) return x.f.exec_time < y.f.exec_time;
                     return x.f.quote_time < y.f.quote_time;
                   });
  char path[1024];
  if (!account_file_path(path, sizeof path, a->name)) return 0;
  char folder[1024];
  if (data_folder_path(folder, sizeof folder, KV_DIR_ACCOUNTS, nullptr))
    kv_make_dirs(folder, nullptr);
  int fd = open(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    report("Can't open account file: ", path);
    return 0;
  }
  // Appended after the whole records there are now: a cut-off record at
  // the end (reported when the file was read) is written over, so that
  // the new records stay on record boundaries.  A write cut short (a full
  // disk) is cut back off so that the file keeps whole records only.
  off_t end = lseek(fd, 0, SEEK_END);
  if (end > 0 && end % TRADE_SIZE) {
    end -= end % TRADE_SIZE;
    if (lseek(fd, end, SEEK_SET) != end || ftruncate(fd, end) != 0) end = -1;
  }
  size_t n = (size_t)(a->count - a->written);
  std::vector<uint8_t> buf(n * TRADE_SIZE);
  for (size_t i = 0; i < n; i++) encode_trade(&a->trades[a->written + i], &buf[i * TRADE_SIZE]);
  int ok = end >= 0 && write_all(fd, buf.data(), buf.size());
  if (!ok && end >= 0 && ftruncate(fd, end) != 0)
    debug_trace("account file %s not cut back: errno %d\n", path, errno);
  if (close(fd) != 0) ok = 0;
  if (!ok) {
    report("Can't write account file: ", path);
    return 0;
  }
  a->written = a->count;
  return 1;
}

int record_execution(const execution_rec* e) {
  kv_lock guard(g_chart_lock);
  account_rec* a = get_account(e->f.account);
  if (!a) return 1;
  int32_t oldest = e->f.exec_time - EXEC_DUPLICATE_WINDOW;
  for (int i = a->count - 1; i >= 0; i--) {
    const trade_rec& t = a->trades[i];
    if (strncmp(t.f.exec_id, e->f.exec_id, 28) == 0) return 0;
    if (t.f.exec_time < oldest) break;
  }
  if (a->count >= a->capacity) return 1;  // no room: reported by get_account
  trade_rec& t = a->trades[a->count++];
  t.commission = trade_commission(&e->f);
  t.f = e->f;
  if (a->window) {
    trade_rec* copy = (trade_rec*)malloc(sizeof *copy);
    if (copy) {
      *copy = t;
      if (!kv_post_message(a->window, WM_ORDER_EXECUTION, (kv_wparam)(a - s_accounts),
                           (kv_lparam)copy, release_execution_message))
        free(copy);
    }
  }
  append_new_trades(a);
  return 1;
}

void release_execution_message(unsigned, kv_wparam, kv_lparam lparam) {
  free((void*)lparam);
}

int reset_account_file(const char* name, int create) {
  char path[1024];
  if (!account_file_path(path, sizeof path, name)) return 0;
  kv_lock guard(g_chart_lock);
  if (account_rec* a = find_open(name)) clear_entry(a);
  unlink(path);
  if (!create) return 1;
  char folder[1024];
  if (data_folder_path(folder, sizeof folder, KV_DIR_ACCOUNTS, nullptr))
    kv_make_dirs(folder, nullptr);
  int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    report("Can't create account file: ", path);
    return 0;
  }
  close(fd);
  return 1;
}

int delete_account_trade(const char* name, const char* exec_id, int32_t exec_time) {
  char path[1024];
  if (!account_file_path(path, sizeof path, name)) return 0;
  kv_lock guard(g_chart_lock);
  account_rec* a = get_account(name);
  if (!a) return 0;
  int k = -1;
  for (int i = 0; i < a->count && k < 0; i++)
    if (a->trades[i].f.exec_time == exec_time && strncmp(a->trades[i].f.exec_id, exec_id, 28) == 0)
      k = i;
  if (k < 0) return 0;
  // The file is replaced whole; the records change only once it is.
  std::vector<uint8_t> buf((size_t)(a->count - 1) * TRADE_SIZE);
  for (int i = 0, j = 0; i < a->count; i++)
    if (i != k) encode_trade(&a->trades[i], &buf[(size_t)j++ * TRADE_SIZE]);
  if (!kv_write_file_atomic(path, buf.data(), buf.size(), nullptr)) {
    report("Can't open account file: ", path);
    return 0;
  }
  memmove(&a->trades[k], &a->trades[k + 1], (size_t)(a->count - k - 1) * sizeof *a->trades);
  a->count--;
  a->written = a->count;
  return 1;
}

int close_all_accounts() {
  statmsg(__FILE__, __LINE__, "Updating account records", nullptr, STATMSG_MISSING);
  kv_lock guard(g_chart_lock);
  int n = 0;
  for (account_rec& a : s_accounts)
    if (a.name[0]) {
      append_new_trades(&a);
      clear_entry(&a);
      n++;
    }
  return n;
}

int for_each_account_trade(const char* account, void (*fn)(const position_trade*, void*),
                           void* ctx) {
  kv_lock guard(g_chart_lock);
  account_rec* a = get_account(account);
  if (!a) return 0;
  for (int i = 0; i < a->count; i++) {
    const execution_fields& f = a->trades[i].f;
    position_trade t;
    memset(&t, 0, sizeof t);
    snprintf(t.currency, sizeof t.currency, "%s", f.currency);
    snprintf(t.sec_type, sizeof t.sec_type, "%s", f.sec_type);
    snprintf(t.symbol, sizeof t.symbol, "%s", f.symbol);
    t.expiry = f.expiry;
    t.strike = f.strike;
    snprintf(t.right, sizeof t.right, "%s", f.right);
    t.decimals = (f.flags & EXEC_DECIMALS_MASK) >> EXEC_DECIMALS_SHIFT;
    t.multiplier = f.multiplier;
    t.quantity = f.quantity;
    t.price = f.price;
    t.commission = a->trades[i].commission;
    t.date = f.exec_time > 0 ? seconds_to_date(f.exec_time) : 0;
    snprintf(t.local_symbol, sizeof t.local_symbol, "%s", f.local_symbol);
    fn(&t, ctx);
  }
  return 1;
}

mqt* find_mqt_for_trade(const trade_rec* t) {
  kv_lock guard(g_chart_lock);
  const execution_fields& f = t->f;
  int stock = strcmp(f.sec_type, "STK") == 0;
  for (mqt* r = g_mqt_list; r; r = r->next)
    if (strcmp(r->symbol, f.symbol) == 0 && strcmp(r->sec_type, f.sec_type) == 0 &&
        strcasecmp(r->right, f.right) == 0 && r->expiry_number == f.expiry &&
        (float)r->strike == f.strike && (stock || strcmp(r->exchange, f.exchange) == 0))
      return r;
  return nullptr;
}

int32_t trade_commission(const execution_fields* f) {
  int64_t q = llabs((long long)f->quantity);
  int64_t c = 0;
  if (strcmp(f->sec_type, "STK") == 0) {
    c = q <= 500 ? q * 10 : 2500 + q * 5;
  } else if (strcmp(f->sec_type, "FUT") == 0) {
    static const struct {
      const char* exchange;
      int rate;
    } rates[] = {{"NYMEX", 2950}, {"GLOBEX", 2400}, {"ECBOT", 2400}, {"EUREXUS", 2400},
                 {"CFE", 2400},   {"HKFE", 30000},  {"SNFE", 5000}};
    int rate = 1000;
    for (const auto& r : rates)
      if (strcmp(f->exchange, r.exchange) == 0) rate = r.rate;
    c = q * rate;
  } else if (strcmp(f->sec_type, "FOP") == 0) {
    c = q * 1000;
  }
  return (int32_t)std::min<int64_t>(c, INT32_MAX);
}

int book_execution(execution_rec* e, mqt* record) {
  execution_fields& f = e->f;
  if (f.side[0] == 'S' && f.quantity > 0) f.quantity = -f.quantity;
  kv_lock guard(g_chart_lock);
  if (record) {
    f.multiplier = record->multiplier;
    int dec = record->tick_size > 0 ? tick_decimals(record->tick_size) : 0;
    dec = dec < 0 ? 0 : dec > 7 ? 7 : dec;
    f.flags = (uint8_t)((f.flags & ~EXEC_DECIMALS_MASK) | dec << EXEC_DECIMALS_SHIFT);
  }
  if (!record_execution(e)) return 0;
  debug_trace("%s %s %d @ %f %d %s %s\n", f.symbol, f.side, f.quantity, f.price, f.multiplier,
              f.account, f.exec_id);
  if (!record || (f.flags & EXEC_LOCAL) || strcmp(record->sec_type, f.sec_type) != 0 ||
      !g_account_slot_hook)
    return 1;
  int slot = g_account_slot_hook(f.account);
  // An account index past the record's slots is kept in the first slot
  // rather than written past them.
  if (slot < 0 || slot >= MQT_ACCOUNT_SLOTS) slot = 0;
  mqt_position& pos = record->account_positions[slot];
  double q = pos.quantity, n = f.quantity, nq = q + n;
  if (q == 0 || (q > 0) == (n > 0))
    pos.avg_price = nq != 0 ? (q * pos.avg_price + n * f.price) / nq : 0;
  else if (nq != 0 && (nq > 0) != (q > 0))
    pos.avg_price = f.price;  // crossed zero
  pos.quantity = nq;
  if (nq == 0) pos.avg_price = 0;
  return 1;
}
