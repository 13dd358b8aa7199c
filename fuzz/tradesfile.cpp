// The account trade file reader on arbitrary file contents: every whole
// record loads, written back it reads the same, and an execution recorded on
// top of it lands as one more record.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "broker/executions.h"
#include "platform/files.h"
#include "platform/locks.h"
#include "settings/settings.h"

static std::string g_path;

static void setup_root() {
  char tmpl[] = "/tmp/kv_fuzz_trades_XXXXXX";
  std::string root = mkdtemp(tmpl);
  snprintf(g_settings.DataRoot, sizeof g_settings.DataRoot, "%s", root.c_str());
  kv_make_dirs((root + "/ACCOUNTS").c_str(), nullptr);
  g_path = root + "/ACCOUNTS/FZ.trades";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (g_path.empty()) setup_root();
  FILE* f = fopen(g_path.c_str(), "wb");
  if (!f) return 0;
  size_t put = fwrite(data, 1, size, f);
  if (fclose(f) != 0 || put != size) return 0;
  close_all_accounts();
  int count;
  {
    kv_lock guard(g_chart_lock);
    account_rec* a = get_account("FZ");
    if (!a || a->count != (int)(size / TRADE_SIZE) || a->capacity < a->count + ACCOUNT_GROWTH)
      abort();
    count = a->count;
    for (int i = 0; i < a->count; i++) {
      // Each record encodes to bytes that decode to the same record.
      uint8_t once[TRADE_SIZE], twice[TRADE_SIZE];
      trade_rec back;
      encode_trade(&a->trades[i], once);
      decode_trade(once, &back);
      encode_trade(&back, twice);
      if (memcmp(once, twice, TRADE_SIZE) != 0) abort();
    }
  }
  // A new execution is appended after the whole records (a cut-off tail
  // stays where it was: the file's size then is no multiple of 128).
  execution_rec e;
  memset(&e, 0, sizeof e);
  e.code = 18;
  e.f.quantity = 1;
  e.f.exec_time = 0x7FFFFFFF;
  strcpy(e.f.account, "FZ");
  strcpy(e.f.exec_id, "fuzz-new-execution-id");
  int recorded = record_execution(&e);
  close_all_accounts();
  kv_lock guard(g_chart_lock);
  account_rec* a = get_account("FZ");
  if (!a) abort();
  if (recorded && size % TRADE_SIZE == 0 && a->count != count + 1) abort();
  if (!recorded && a->count != count) abort();
  close_all_accounts();
  return 0;
}
