// Order-definition files on arbitrary contents, in both forms (one old-form
// record, or current-form records one after another): every record read
// has terminated texts and finite numbers and encodes back to itself, and
// adding a definition for a new key to the same file loses none of the
// definitions the file held.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "broker/orddef.h"
#include "platform/files.h"
#include "quotes/mqt.h"
#include "settings/settings.h"

static std::string g_root;
static std::string g_path;

static void remove_root() {
  kv_remove_tree(g_root.c_str());
}

// A data root of its own below TMPDIR, removed at exit.
static void setup_root() {
  const char* tmp = getenv("TMPDIR");
  std::string tmpl = std::string(tmp && tmp[0] ? tmp : "/tmp") + "/kv_fuzz_orddef_XXXXXX";
  if (!mkdtemp(&tmpl[0])) abort();
  g_root = tmpl;
  snprintf(g_settings.DataRoot, sizeof g_settings.DataRoot, "%s", g_root.c_str());
  kv_make_dirs((g_root + "/DATA").c_str(), nullptr);
  g_path = g_root + "/DATA/FE_ZB.orddef";
  atexit(remove_root);
}

static void check_record(const OrderDef& d) {
  if (!memchr(d.key, 0, sizeof d.key) || !memchr(d.account, 0, sizeof d.account) ||
      (d.flags & ORDDEF_MODIFIED))
    abort();
  const double values[] = {d.tick_size,          d.stop_limit_offset, d.stop_offset,
                           d.trail_offset,       d.target_offset,     d.hotkey_buy_offset,
                           d.hotkey_sell_offset, d.commission1,       d.commission2};
  for (double v : values)
    if (!std::isfinite(v)) abort();
  uint8_t bytes[ORDDEF_SIZE];
  orddef_encode(&d, bytes);
  OrderDef back;
  if (!orddef_decode(bytes, sizeof bytes, &back) || strcmp(back.key, d.key) != 0 ||
      strcmp(back.account, d.account) != 0 || back.flags != d.flags ||
      back.lot_size != d.lot_size || memcmp(&back.tick_size, &d.tick_size, sizeof d.tick_size) != 0)
    abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (g_root.empty()) setup_root();
  std::vector<OrderDef> defs;
  orddef_decode_file(data, size, &defs);
  for (const OrderDef& d : defs) check_record(d);
  // The store's part writes files: only for contents that hold records.
  if (defs.empty()) return 0;

  kv_delete_file(g_path.c_str(), nullptr);
  if (!kv_write_file_atomic(g_path.c_str(), data, size, nullptr)) return 0;
  COrderDefStore store;
  store.Read(g_path.c_str());
  std::vector<std::pair<std::string, int>> held;
  for (OrderDef* d = store.head(); d; d = d->next) held.push_back({d->key, d->lot_size});
  mqt rec;
  memset(&rec, 0, sizeof rec);
  strcpy(rec.symbol, "FE_ZB_209912");
  strcpy(rec.sec_type, "FUT");
  if (!store.GetForSymbol(&rec)) abort();
  COrderDefStore again;
  again.Read(g_path.c_str());
  for (const auto& h : held) {
    OrderDef* d = again.FindKey(h.first.c_str());
    if (!d || d->lot_size != h.second) abort();
  }
  if (!again.FindKey("FE_ZB_209912")) abort();
  return 0;
}
