// Executions and the account trade files.
//
// An execution arrives as a 144-byte record (relay code 18) from the relay,
// the broker link or a paper fill.  Its bytes 8..127, behind the trade's
// commission (i32, thousandths of the currency unit) and 4 zero bytes, make
// the 128-byte trade record that the account keeps.  An account's trades
// live in memory in the open-account table (32 entries) and in
// "ACCOUNTS/<account>.trades" under the data root: trade records back to
// back, appended a batch at a time.  All numbers are little-endian.
//
// The table and the trade arrays change under g_chart_lock.  An account
// name holding "/", "\", "..", or control characters names no file and no
// account.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/clock.h"
#include "platform/window.h"

struct mqt;

enum {
  EXECUTION_SIZE = 144,
  TRADE_SIZE = 128,
  ACCOUNT_TABLE_SIZE = 32,
  ACCOUNT_NAME_SIZE = 16,
  ACCOUNT_GROWTH = 256,     // records added when an account's array is full
  EXEC_LOCAL = 0x1,         // flags: a paper fill
  EXEC_SILENT = 0x2,        // from a silent order
  EXEC_DECIMALS_SHIFT = 2,  // bits 2-4: price decimals
  EXEC_DECIMALS_MASK = 0x1C,
  EXEC_DUPLICATE_WINDOW = 2 * KV_SECONDS_PER_DAY,  // duplicates are looked for this far back
};

// Bytes 8..127 of an execution: the fields a trade keeps.  Texts are cut
// to their stored width and always terminated here.
struct execution_fields {
  double price;
  int32_t perm_id;
  int32_t quantity;    // negative for a sale
  int32_t quote_time;  // seconds of the day
  int32_t exec_time;   // epoch_seconds
  int32_t expiry;      // contract expiry as a number, 0 none
  int32_t multiplier;
  float strike;
  char side[5];  // "BOT" or "SLD"
  char currency[5];
  char account[11];
  char exchange[11];
  char symbol[9];
  char local_symbol[9];
  char sec_type[5];
  char right[5];
  char exec_id[29];
  uint8_t flags;  // EXEC_*
  uint8_t unnamed125[3];
};

struct execution_rec {
  uint8_t code;  // 18
  uint8_t error;
  int16_t symbol_number;
  uint8_t unnamed4[4];
  execution_fields f;
  uint8_t unnamed128[16];
};

struct trade_rec {
  int32_t commission;  // thousandths of the currency unit
  execution_fields f;
};

struct account_rec {
  int32_t count;    // records in memory
  int32_t written;  // of those, already in the file
  int32_t capacity;
  kv_hwnd window;  // gets WM_ORDER_EXECUTION, 0 none
  trade_rec* trades;
  char name[ACCOUNT_NAME_SIZE + 1];
};

void encode_execution(const execution_rec* e, uint8_t out[EXECUTION_SIZE]);
void decode_execution(const uint8_t in[EXECUTION_SIZE], execution_rec* e);
void encode_trade(const trade_rec* t, uint8_t out[TRADE_SIZE]);
void decode_trade(const uint8_t in[TRADE_SIZE], trade_rec* t);

// 1 when the name may name an account and its file.
int account_name_ok(const char* name);
// Path of the account's file into buf; null when the name is refused or
// the path does not fit.
char* account_file_path(char* buf, size_t size, const char* name);

// The open account of the name, loaded when not yet open; null for an
// empty or refused name, a full table ("Open account table full") or no
// memory.  Takes g_chart_lock; the caller holds it while it uses the
// result, since the array moves when it grows.
account_rec* get_account(const char* name);
// Reads an account file into a fresh array with room for ACCOUNT_GROWTH
// more records.  A trailing part of a record is reported and left out.
// 1 read (a missing file gives none), 0 no memory or unreadable.
int read_account_file(const char* path, trade_rec** trades, int32_t* count, int32_t* capacity);
// 1 recorded (or no account to record in), 0 duplicate.
int record_execution(const execution_rec* e);
// Appends the account's unwritten records to its file.  A write that stops
// short is cut back off the file and the records stay unwritten.  1
// written (or nothing to write), 0 failed.
int append_new_trades(account_rec* a);
// Drops the account's records and deletes its file; create: 1 makes it
// again, empty.  1 done, 0 failed.
int reset_account_file(const char* name, int create);
// Removes the trade with this execution id and time and replaces the file
// with the rest.  1 removed, 0 not found or not written.
int delete_account_trade(const char* name, const char* exec_id, int32_t exec_time);
// Writes and closes every open account; the number closed.
int close_all_accounts();
// Calls fn for each trade of the account; 0 when it cannot be opened.
int for_each_account_trade(const char* account, void (*fn)(const struct position_trade*, void*),
                           void* ctx);

mqt* find_mqt_for_trade(const trade_rec* t);
int32_t trade_commission(const execution_fields* f);

// An execution's booking: the side's sign, record_execution, the record's
// multiplier and price decimals, and, for broker executions, the position
// and average price of the account's slot on the record.  0 when it was a
// duplicate.  record may be null.
int book_execution(execution_rec* e, mqt* record);

// The managed-account slot of an account (0..15), -1 none; null hook: the
// broker's positions are not kept.
extern int (*g_account_slot_hook)(const char* account);

// WM_ORDER_EXECUTION carries a heap copy of the trade (lParam, the
// receiver frees it); this releases one that was not delivered.
void release_execution_message(unsigned message, kv_wparam wparam, kv_lparam lparam);
