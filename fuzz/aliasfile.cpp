// The alias file and spreads.cfg as a user may write them: lookups of
// symbols taken from the input, and definitions that, once found, save and
// read back unchanged.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "data/alias.h"
#include "data/spread.h"
#include "fuzz/fuzz_root.h"
#include "platform/files.h"
#include "settings/settings.h"

static std::string g_root;

static void setup_root() {
  g_root = fuzz_temp_root("alias");
  snprintf(g_settings.DataRoot, sizeof g_settings.DataRoot, "%s", g_root.c_str());
  kv_make_dirs((g_root + "/ALIAS").c_str(), nullptr);
  kv_make_dirs((g_root + "/CONFIG").c_str(), nullptr);
}

static void write(const std::string& path, const char* data, size_t size) {
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) abort();
  fwrite(data, 1, size, f);
  fclose(f);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  if (g_root.empty()) setup_root();
  // Input: alias file, NUL, spreads.cfg, NUL, symbols separated by NUL.
  std::string in((const char*)bytes, size);
  size_t a = in.find('\0');
  if (a == std::string::npos) return 0;
  size_t b = in.find('\0', a + 1);
  if (b == std::string::npos) b = in.size();
  write(g_root + "/ALIAS/fz.txt", in.data(), a);
  write(g_root + "/CONFIG/spreads.cfg", in.data() + a + 1, b - a - 1);
  free_alias_table();
  free_spread_cache();
  read_alias_file("fz");
  for (size_t p = b + 1; p < in.size();) {
    size_t e = in.find('\0', p);
    if (e == std::string::npos) e = in.size();
    std::string symbol = in.substr(p, e - p);
    p = e + 1;
    for (int direction = 0; direction < 2; direction++) {
      const char* r = lookup_alias(symbol.c_str(), direction);
      if (r && r != symbol.c_str() && (strlen(r) > ALIAS_SYMBOL_MAX || !kv_symbol_file_name_ok(r)))
        abort();
    }
    spread_def d;
    if (find_spread_definition(symbol.c_str(), &d)) {
      if (!std::isfinite(d.ratio1) || !std::isfinite(d.ratio2) || d.ratio1 == 0 || d.ratio2 == 0)
        abort();
      if (!save_spread_definition(&d)) abort();
      spread_def again;
      if (!find_spread_definition(d.name, &again) || strcmp(again.leg1, d.leg1) != 0 ||
          strcmp(again.leg2, d.leg2) != 0)
        abort();
    }
  }
  return 0;
}
