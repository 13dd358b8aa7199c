// Order definitions store: file record, paths and the loaded list.
#include "broker/orddef.h"
#include "broker/orders.h"

#include <math.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "data/lefield.h"
#include "platform/files.h"
#include "platform/services.h"
#include "quotes/mqt.h"
#include "settings/datadirs.h"

COrderDefStore g_orddef_store;

// The fields follow one another without gaps up to the zero tail.
static_assert(ORDDEF_OFF_PATH == ORDDEF_OFF_NEXT + 4, "path after link");
static_assert(ORDDEF_OFF_KEY == ORDDEF_OFF_PATH + ORDDEF_PATH_SIZE, "key after path");
static_assert(ORDDEF_OFF_ACCOUNT == ORDDEF_OFF_KEY + ORDDEF_KEY_SIZE, "account after key");
static_assert(ORDDEF_OFF_FLAGS == ORDDEF_OFF_ACCOUNT + ORDDEF_ACCOUNT_SIZE, "flags after account");
static_assert(ORDDEF_OFF_TICK_SIZE == ORDDEF_OFF_INCREMENT + 4, "doubles after increment");
static_assert(ORDDEF_OFF_HOTKEY_SELL == ORDDEF_OFF_TICK_SIZE + 6 * 8, "seven doubles");
static_assert(ORDDEF_OFF_COMMISSION1 == ORDDEF_OFF_HOTKEY_SELL + 8, "floats after doubles");
static_assert(ORDDEF_OFF_ZERO == ORDDEF_OFF_COMMISSION2 + 4, "zero tail after floats");
static_assert(ORDDEF_SIZE - ORDDEF_OFF_ZERO == 120, "120 bytes of zero");
static_assert(ORDDEF_OLD_SIZE == ORDDEF_SIZE - 96, "old form is 404 bytes after its version");

namespace {

// Copies a text field, always terminated within the field.
void get_text(char *dst, const uint8_t *src, size_t size) {
  memcpy(dst, src, size - 1);
  dst[size - 1] = 0;
}
void put_text(uint8_t *dst, const char *src, size_t size) {
  size_t n = strnlen(src, size - 1);
  memcpy(dst, src, n);
}

void show_file_error(const kv_file_error *err) {
  char text[512];
  kv_format_file_error(text, sizeof text, err);
  kv_message_box(text, "Korvane", MB_OK | MB_ICONEXCLAMATION);
}

}  // namespace

uint32_t orddef_convert_old_flags(uint32_t f) {
  return (f & 0x7) | ((f >> 7) & 1) << 12 | ((f >> 8) & 0xF) << 13 | ((f >> 12) & 1) << 17 |
         ((f >> 13) & 1) << 18 | ((f >> 14) & 1) << 19;
}

void orddef_encode(const OrderDef *d, uint8_t out[ORDDEF_SIZE]) {
  memset(out, 0, ORDDEF_SIZE);
  put_le32(out + ORDDEF_OFF_VERSION, 1);
  put_text(out + ORDDEF_OFF_PATH, d->path, ORDDEF_PATH_SIZE);
  put_text(out + ORDDEF_OFF_KEY, d->key, ORDDEF_KEY_SIZE);
  put_text(out + ORDDEF_OFF_ACCOUNT, d->account, ORDDEF_ACCOUNT_SIZE);
  put_le32(out + ORDDEF_OFF_FLAGS, d->flags);
  put_le32(out + ORDDEF_OFF_LOT, (uint32_t)d->lot_size);
  put_le32(out + ORDDEF_OFF_INCREMENT, (uint32_t)d->increment);
  put_led(out + ORDDEF_OFF_TICK_SIZE, d->tick_size);
  put_led(out + ORDDEF_OFF_STOP_LIMIT, d->stop_limit_offset);
  put_led(out + ORDDEF_OFF_STOP, d->stop_offset);
  put_led(out + ORDDEF_OFF_TRAIL, d->trail_offset);
  put_led(out + ORDDEF_OFF_TARGET, d->target_offset);
  put_led(out + ORDDEF_OFF_HOTKEY_BUY, d->hotkey_buy_offset);
  put_led(out + ORDDEF_OFF_HOTKEY_SELL, d->hotkey_sell_offset);
  put_lef(out + ORDDEF_OFF_COMMISSION1, d->commission1);
  put_lef(out + ORDDEF_OFF_COMMISSION2, d->commission2);
}

int orddef_decode(const uint8_t *p, size_t len, OrderDef *out) {
  if (len < 4) return 0;
  uint32_t version = get_le32(p + ORDDEF_OFF_VERSION);
  if (len < (version ? (size_t)ORDDEF_SIZE : (size_t)ORDDEF_OLD_SIZE)) return 0;
  OrderDef d;
  memset(&d, 0, sizeof d);
  d.version = 1;
  get_text(d.key, p + ORDDEF_OFF_KEY, ORDDEF_KEY_SIZE);
  get_text(d.account, p + ORDDEF_OFF_ACCOUNT, ORDDEF_ACCOUNT_SIZE);
  uint32_t flags = get_le32(p + ORDDEF_OFF_FLAGS);
  d.flags = (version ? flags : orddef_convert_old_flags(flags)) & ~ORDDEF_MODIFIED;
  d.lot_size = (int32_t)get_le32(p + ORDDEF_OFF_LOT);
  d.increment = (int32_t)get_le32(p + ORDDEF_OFF_INCREMENT);
  d.tick_size = get_led(p + ORDDEF_OFF_TICK_SIZE);
  d.stop_limit_offset = get_led(p + ORDDEF_OFF_STOP_LIMIT);
  d.stop_offset = get_led(p + ORDDEF_OFF_STOP);
  d.trail_offset = get_led(p + ORDDEF_OFF_TRAIL);
  d.target_offset = get_led(p + ORDDEF_OFF_TARGET);
  d.hotkey_buy_offset = get_led(p + ORDDEF_OFF_HOTKEY_BUY);
  d.hotkey_sell_offset = get_led(p + ORDDEF_OFF_HOTKEY_SELL);
  d.commission1 = get_lef(p + ORDDEF_OFF_COMMISSION1);
  d.commission2 = get_lef(p + ORDDEF_OFF_COMMISSION2);
  const double values[] = {d.tick_size,          d.stop_limit_offset, d.stop_offset,
                           d.trail_offset,       d.target_offset,     d.hotkey_buy_offset,
                           d.hotkey_sell_offset, d.commission1,       d.commission2};
  for (double v : values)
    if (!isfinite(v)) return 0;
  *out = d;
  return 1;
}

int orddef_decode_file(const uint8_t *p, size_t len, std::vector<OrderDef> *out) {
  OrderDef d;
  if (!orddef_decode(p, len, &d)) return 0;
  out->push_back(d);
  if (get_le32(p + ORDDEF_OFF_VERSION) == 0) return 1;  // the old form holds one record
  int count = 1;
  for (size_t off = ORDDEF_SIZE; len - off >= (size_t)ORDDEF_SIZE; off += ORDDEF_SIZE) {
    if (get_le32(p + off + ORDDEF_OFF_VERSION) == 0 || !orddef_decode(p + off, ORDDEF_SIZE, &d))
      break;
    out->push_back(d);
    count++;
  }
  return count;
}

int orddef_key(const mqt *rec, char *out, size_t size) {
  if (!rec || !rec->symbol[0]) return 0;
  const char *prefix = strcmp(rec->sec_type, "OPT") == 0 ? "O_" : "";
  int n = snprintf(out, size, "%s%.*s", prefix, (int)sizeof rec->symbol - 1, rec->symbol);
  return n > 0 && (size_t)n < size && (size_t)n < ORDDEF_KEY_SIZE;
}

// base + ".orddef" in the data folder, when base is a plain file name.
static int data_file(const std::string &base, char *out, size_t size) {
  if (!kv_symbol_file_name_ok(base.c_str())) return 0;
  return data_folder_path(out, size, KV_DIR_DATA, (base + ".orddef").c_str()) != nullptr;
}

int orddef_path(const char *key, char *out, size_t size) {
  if (!key) return 0;
  std::string name = key;
  size_t first = name.find('_');
  if (first != std::string::npos) {
    size_t second = name.find('_', first + 1);
    if (second != std::string::npos) name.resize(second);
  }
  return data_file(name, out, size);
}

int default_orddef_path(const char *sec_type, char *out, size_t size) {
  if (!sec_type || !sec_type[0]) return 0;
  return data_file(std::string("DEFAULT_") + sec_type, out, size);
}

// ---- the store -------------------------------------------------------------

int COrderDefStore::Link(OrderDef *def) {
  OrderDef **tail = &head_;
  for (; *tail; tail = &(*tail)->next)
    if (strcmp((*tail)->key, def->key) == 0) return 0;
  def->next = nullptr;
  *tail = def;
  return 1;
}

OrderDef *COrderDefStore::FindKey(const char *key) {
  for (OrderDef *d = head_; d; d = d->next)
    if (strcmp(d->key, key) == 0) return d;
  return nullptr;
}

OrderDef *COrderDefStore::Find(const mqt *rec) {
  char key[ORDDEF_KEY_SIZE];
  return orddef_key(rec, key, sizeof key) ? FindKey(key) : nullptr;
}

OrderDef *COrderDefStore::Read(const char *path) {
  std::string bytes;
  kv_file_error err;
  if (!kv_read_file(path, &bytes, &err)) {
    if (err.cause != KV_FE_FILE_NOT_FOUND) show_file_error(&err);
    return nullptr;
  }
  std::vector<OrderDef> defs;
  orddef_decode_file((const uint8_t *)bytes.data(), bytes.size(), &defs);
  OrderDef *first = nullptr;
  for (const OrderDef &one : defs) {
    OrderDef *d = new OrderDef(one);
    if (!Link(d)) {
      delete d;
      continue;
    }
    if (!first) first = d;
  }
  return first;
}

void COrderDefStore::LoadAll() {
  char pattern[KV_MAX_PATH];
  if (!data_folder_path(pattern, sizeof pattern, KV_DIR_DATA, "*.orddef")) return;
  std::vector<kv_dir_entry> entries;
  if (!kv_list_dir(pattern, &entries, nullptr)) return;
  std::string dir = kv_path_dir_name(pattern);
  for (const kv_dir_entry &e : entries)
    if (!e.is_dir) Read(kv_path_join(dir, e.name).c_str());
}

OrderDef *COrderDefStore::GetForSymbol(const mqt *rec) {
  char key[ORDDEF_KEY_SIZE];
  if (!orddef_key(rec, key, sizeof key)) return nullptr;
  char path[KV_MAX_PATH];
  int have_path = orddef_path(key, path, sizeof path);
  if (OrderDef *d = FindKey(key)) {
    if (!d->path[0] && have_path) snprintf(d->path, sizeof d->path, "%s", path);
    return d;
  }
  OrderDef *d = new OrderDef;
  memset(d, 0, sizeof *d);
  int from_template = 0;
  char tpath[KV_MAX_PATH];
  std::string bytes;
  if (default_orddef_path(rec->sec_type, tpath, sizeof tpath) && kv_file_exists(tpath) &&
      kv_read_file(tpath, &bytes, nullptr) && bytes.size() >= ORDDEF_SIZE)
    from_template = orddef_decode((const uint8_t *)bytes.data(), bytes.size(), d);
  if (!from_template) memset(d, 0, sizeof *d);
  d->version = 1;
  snprintf(d->key, sizeof d->key, "%s", key);
  if (have_path) snprintf(d->path, sizeof d->path, "%s", path);
  d->flags |= ORDDEF_MODIFIED;
  Link(d);
  if (!from_template && have_path) Write(d, d->path);
  return d;
}

// 1 when the loaded definition d is stored in the file at path.
static int stored_in(const OrderDef *d, const char *path) {
  if (d->path[0]) return strcmp(d->path, path) == 0;
  char own[KV_MAX_PATH];
  return orddef_path(d->key, own, sizeof own) && strcmp(own, path) == 0;
}

int COrderDefStore::Write(OrderDef *def, const char *path) {
  // The file may hold definitions of other keys (see orddef.h): those not
  // loaded are kept as they are on file.
  std::string old_bytes;
  kv_file_error err;
  std::vector<OrderDef> on_file;
  if (kv_read_file(path, &old_bytes, &err)) {
    orddef_decode_file((const uint8_t *)old_bytes.data(), old_bytes.size(), &on_file);
  } else if (err.cause != KV_FE_FILE_NOT_FOUND) {
    show_file_error(&err);  // what the file holds cannot be kept: it stays as it is
    return 0;
  }
  std::vector<OrderDef *> mine;  // loaded definitions of this file, def first
  mine.push_back(def);
  for (OrderDef *d = head_; d; d = d->next)
    if (d != def && stored_in(d, path)) mine.push_back(d);
  std::vector<OrderDef> records;
  std::vector<int> used(mine.size(), 0);
  for (const OrderDef &f : on_file) {
    size_t i = 0;
    while (i < mine.size() && strcmp(mine[i]->key, f.key) != 0) i++;
    if (i < mine.size() && used[i]) continue;  // a key twice on file: kept once
    if (i < mine.size()) used[i] = 1;
    records.push_back(i < mine.size() ? *mine[i] : f);
  }
  for (size_t i = 0; i < mine.size(); i++)
    if (!used[i]) records.push_back(*mine[i]);
  std::string bytes(records.size() * ORDDEF_SIZE, '\0');
  for (size_t i = 0; i < records.size(); i++) {
    records[i].flags &= ~ORDDEF_MODIFIED;
    orddef_encode(&records[i], (uint8_t *)&bytes[i * ORDDEF_SIZE]);
  }
  if (!kv_write_file_atomic(path, bytes.data(), bytes.size(), &err)) {
    show_file_error(&err);
    return 0;
  }
  for (OrderDef *d : mine) d->flags &= ~ORDDEF_MODIFIED;
  return 1;
}

void COrderDefStore::SaveModified() {
  for (OrderDef *d = head_; d; d = d->next)
    if ((d->flags & ORDDEF_MODIFIED) && d->path[0]) Write(d, d->path);
}

void COrderDefStore::FreeAll() {
  while (OrderDef *d = head_) {
    head_ = d->next;
    delete d;
  }
}

int orddef_tif(const OrderDef *def) {
  int gtc = (def->flags & ORDDEF_GTC) != 0;
  if (def->flags & ORDDEF_TIF_EXTENDED) return gtc ? ORDER_DTC : ORDER_IOC;
  return gtc ? ORDER_GTC : ORDER_DAY;
}

void orddef_set_tif(OrderDef *def, int tif) {
  def->flags &= ~(ORDDEF_GTC | ORDDEF_TIF_EXTENDED);
  if (tif == ORDER_GTC || tif == ORDER_DTC) def->flags |= ORDDEF_GTC;
  if (tif == ORDER_IOC || tif == ORDER_DTC) def->flags |= ORDDEF_TIF_EXTENDED;
}
