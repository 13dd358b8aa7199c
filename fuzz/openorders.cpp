// The open-orders reader on arbitrary file contents: every order created has
// a status of 1..7, finite prices and terminated texts, a second read
// creates nothing, and what is written at exit reads back order for order.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "broker/openorders.h"
#include "broker/orders.h"
#include "platform/files.h"
#include "platform/locks.h"
#include "quotes/mqt.h"
#include "settings/settings.h"

static std::string g_path;

static void setup_root() {
  char tmpl[] = "/tmp/kv_fuzz_openorders_XXXXXX";
  std::string root = mkdtemp(tmpl);
  snprintf(g_settings.DataRoot, sizeof g_settings.DataRoot, "%s", root.c_str());
  kv_make_dirs((root + "/CONFIG").c_str(), nullptr);
  g_path = root + "/CONFIG/openorders.dump";
  install_order_hooks();
}

static int check_orders() {
  kv_lock guard(g_chart_lock);
  int n = 0;
  for (mqt* r = g_mqt_list; r; r = r->next)
    for (order_rec* o = r->orders; o; o = o->next, n++) {
      if (o->status < ORDER_PENDING_SUBMIT || o->status > ORDER_INACTIVE || o->record != r ||
          !std::isfinite(o->relay.limit) || !std::isfinite(o->relay.aux) ||
          !std::isfinite(o->trail_stop) || !memchr(o->relay.oca, 0, sizeof o->relay.oca) ||
          !memchr(o->symbol, 0, sizeof o->symbol) ||
          !memchr(o->advisor_string, 0, sizeof o->advisor_string))
        abort();
    }
  return n;
}

static int saved_orders() {
  kv_lock guard(g_chart_lock);
  int n = 0;
  for (mqt* r = g_mqt_list; r; r = r->next)
    for (order_rec* o = r->orders; o; o = o->next) n += o->relay.quantity != 0;
  return n;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (g_path.empty()) setup_root();
  FILE* f = fopen(g_path.c_str(), "wb");
  if (!f) return 0;
  size_t put = fwrite(data, 1, size, f);
  if (fclose(f) != 0 || put != size) return 0;
  int n = read_open_orders();
  if (check_orders() != n || read_open_orders() != 0) abort();
  int saved = saved_orders();
  if (write_open_orders()) {
    free_all_mqts();
    if (read_open_orders() != saved || check_orders() != saved) abort();
  }
  free_all_mqts();
  return 0;
}
