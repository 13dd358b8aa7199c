// Order definitions: per symbol, how chart trading builds orders (paper or
// real, paper account, lot and increment sizes, order kinds and offsets).
//
// A definition is stored in "<DATA>/<name>.orddef" as a 504-byte
// little-endian record, the name being the key cut before its second "_".
// Keys that differ only after that point (expiries of one contract, such as
// FE_ZB_200312 and FE_ZB_200403) share a file: it then holds one record per
// key, one after another.  A file whose version word is 0 is one record of
// the old form.  Templates "<DATA>/DEFAULT_<security type>.orddef" seed new
// definitions.  COrderDefStore keeps the loaded definitions in a list linked
// through `next`.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <vector>

struct mqt;

constexpr int ORDDEF_SIZE = 504;      // current form (version word 1)
constexpr int ORDDEF_OLD_SIZE = 408;  // old form (version word 0)
constexpr int ORDDEF_PATH_SIZE = 260;
constexpr int ORDDEF_KEY_SIZE = 32;
constexpr int ORDDEF_ACCOUNT_SIZE = 8;

// Byte offsets of the fields in the file.
constexpr int ORDDEF_OFF_VERSION = 0;
constexpr int ORDDEF_OFF_NEXT = 4;  // list link in memory; zero on disk
constexpr int ORDDEF_OFF_PATH = 8;
constexpr int ORDDEF_OFF_KEY = 268;
constexpr int ORDDEF_OFF_ACCOUNT = 300;
constexpr int ORDDEF_OFF_FLAGS = 308;
constexpr int ORDDEF_OFF_LOT = 312;
constexpr int ORDDEF_OFF_INCREMENT = 316;
constexpr int ORDDEF_OFF_TICK_SIZE = 320;
constexpr int ORDDEF_OFF_STOP_LIMIT = 328;
constexpr int ORDDEF_OFF_STOP = 336;
constexpr int ORDDEF_OFF_TRAIL = 344;
constexpr int ORDDEF_OFF_TARGET = 352;
constexpr int ORDDEF_OFF_HOTKEY_BUY = 360;
constexpr int ORDDEF_OFF_HOTKEY_SELL = 368;
constexpr int ORDDEF_OFF_COMMISSION1 = 376;
constexpr int ORDDEF_OFF_COMMISSION2 = 380;
constexpr int ORDDEF_OFF_ZERO = 384;  // 120 bytes of zero to the end

// Flag word fields.
enum : uint32_t {
  ORDDEF_MODE_MASK = 0x7,  // 0 paper, 1 real
  ORDDEF_MODE_PAPER = 0,
  ORDDEF_MODE_REAL = 1,
  ORDDEF_OPEN_SHIFT = 3,      // 0 LMT, 1 STP, 2 MIT
  ORDDEF_STOP_SHIFT = 6,      // 0 none, 1 STP, 2 TRAIL
  ORDDEF_TARGET_SHIFT = 9,    // 0 none, 1 LMT, 2 MIT
  ORDDEF_KIND_MASK = 0x7,     // width of the three order-kind fields
  ORDDEF_GTC = 1u << 12,      // time in force GTC (else DAY)
  ORDDEF_TRIGGER_SHIFT = 13,  // 0 default, 1 double bid/ask, 2 last, 3 double last
  ORDDEF_TRIGGER_MASK = 0xF,
  ORDDEF_OUTSIDE_RTH = 1u << 17,
  ORDDEF_SWEEP = 1u << 18,
  ORDDEF_MODIFIED = 1u << 19,
  // With bit 12 the time in force is IOC (12 clear) or DTC (12 set).
  // Files written before it have it clear and read as DAY or GTC.
  ORDDEF_TIF_EXTENDED = 1u << 20,
};

struct OrderDef {
  int32_t version;  // 1
  OrderDef *next;
  char path[ORDDEF_PATH_SIZE];  // file of the definition; "" until used
  char key[ORDDEF_KEY_SIZE];    // symbol, or "O_" and the symbol for options
  char account[ORDDEF_ACCOUNT_SIZE];
  uint32_t flags;
  int32_t lot_size;
  int32_t increment;
  double tick_size;  // 0 = the symbol's own
  double stop_limit_offset;
  double stop_offset;
  double trail_offset;
  double target_offset;
  double hotkey_buy_offset;
  double hotkey_sell_offset;
  float commission1;
  float commission2;
};

// The definition's time in force as an order_tif code: DAY, GTC, IOC or
// DTC from bits 12 and 20.
int orddef_tif(const OrderDef *def);
// Sets bits 12 and 20 for an order_tif code (DAY, GTC, IOC, DTC).
void orddef_set_tif(OrderDef *def, int tif);

// Old-form flag word to the current one: bits 0-2 stay, 7 -> 12,
// 8-11 -> 13-16, 12 -> 17, 13 -> 18, 14 -> 19; the order kinds start at 0.
uint32_t orddef_convert_old_flags(uint32_t old_flags);

// The record as its 504 file bytes (path written as in memory, link zero).
void orddef_encode(const OrderDef *def, uint8_t out[ORDDEF_SIZE]);

// A record from file bytes: a non-zero version word needs 504 bytes, zero
// needs 408 (old form, converted).  Strings are cut to their fields, the
// path is cleared, the modified flag removed and the link zeroed.  Returns
// 0 for a short record or a non-finite offset or commission.
int orddef_decode(const uint8_t *data, size_t len, OrderDef *out);

// Every record of a file image: one old-form record, or current-form
// records one after another.  Stops at the first record that does not
// decode; returns the count kept (0 when the first fails).
int orddef_decode_file(const uint8_t *data, size_t len, std::vector<OrderDef> *out);

// The definition key of a record: its symbol, "O_" and the symbol for an
// option.  Returns 0 when it does not fit.
int orddef_key(const mqt *rec, char *out, size_t size);

// "<DATA>/<key>.orddef", the key cut before its second "_".  Returns 0 when
// the name holds path characters or the path does not fit.
int orddef_path(const char *key, char *out, size_t size);
// "<DATA>/DEFAULT_<security type>.orddef"; 0 as above.
int default_orddef_path(const char *sec_type, char *out, size_t size);

class COrderDefStore {
 public:
  COrderDefStore() = default;
  ~COrderDefStore() { FreeAll(); }
  COrderDefStore(const COrderDefStore &) = delete;
  COrderDefStore &operator=(const COrderDefStore &) = delete;

  // Reads every "*.orddef" of the data folder.
  void LoadAll();
  // Reads and links the definitions of one file; returns the first one
  // linked, null when the file is unreadable, malformed or all its keys
  // are already loaded.  File errors other than a missing file are shown.
  OrderDef *Read(const char *path);
  // The definition of the record's key, made from a template or zero when
  // none is loaded.  Null only when the record has no usable key.
  OrderDef *GetForSymbol(const mqt *rec);
  // The loaded definition of the record's key, or null.
  OrderDef *Find(const mqt *rec);
  OrderDef *FindKey(const char *key);
  // Writes the definition to path by atomic replace, together with every
  // other definition of that file: the loaded ones as they are in memory,
  // the others as they were on file.  On success clears the modified flag
  // of those written and returns 1, else shows the error and returns 0.
  int Write(OrderDef *def, const char *path);
  // Writes every modified definition that has a path.
  void SaveModified();
  void FreeAll();

  OrderDef *head() const { return head_; }

 private:
  int Link(OrderDef *def);  // 0 when the key is already present

  OrderDef *head_ = nullptr;
};

extern COrderDefStore g_orddef_store;
