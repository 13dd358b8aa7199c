// The live-quote dump reader on arbitrary file contents, raw and as the
// records of a live symbol: a restored record keeps its ring index in range
// and numbers in its prices.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "data/chartheader.h"
#include "fuzz/fuzz_root.h"
#include "platform/files.h"
#include "quotes/mqt.h"
#include "quotes/mqtdump.h"
#include "settings/settings.h"

static std::string g_path;

static void setup_root() {
  std::string root = fuzz_temp_root("mqtdump");
  snprintf(g_settings.DataRoot, sizeof g_settings.DataRoot, "%s", root.c_str());
  kv_make_dirs((root + "/CONFIG").c_str(), nullptr);
  g_path = root + "/CONFIG/mqtdata.dump";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (g_path.empty()) setup_root();
  mqt* r = create_multiquote_struct("FZ");
  if (!r) return 0;
  // The input as it is, then as one record of FZ after a good version.
  std::string raw((const char*)data, size);
  std::string shaped(4 + MQT_DUMP_RECORD_SIZE, '\0');
  put_le32((uint8_t*)&shaped[0], MQT_DUMP_VERSION);
  memcpy(&shaped[4], data, size < MQT_DUMP_RECORD_SIZE ? size : MQT_DUMP_RECORD_SIZE);
  memcpy(&shaped[4], "FZ", 3);
  for (const std::string* file : {&raw, &shaped}) {
    if (!kv_write_file_atomic(g_path.c_str(), file->data(), file->size(), nullptr)) break;
    read_mqt_dump();
    if (r->ts_next < 0 || r->ts_next >= MQT_TS_ENTRIES || !std::isfinite(r->last) ||
        !std::isfinite(r->vwap_sum) ||
        !memchr(r->broker_local_symbol, 0, sizeof r->broker_local_symbol))
      abort();
  }
  free_all_mqts();
  return 0;
}
