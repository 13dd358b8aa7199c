// The paper order counter in the "Settings1" section of the profile.
#include "shell/core/paperid.h"

#include "broker/orders.h"
#include "platform/locks.h"
#include "platform/profile.h"
#include "shell/core/settingsio.h"

static const char kValue[] = "SimOrderId";

int32_t next_paper_order_id(int save) {
  // Orders are placed under g_chart_lock; it also keeps two threads from
  // handing out the same id.
  kv_lock guard(g_chart_lock);
  kv_profile* p = kv_profile_open(settings_profile_key());
  int32_t id = p ? kv_profile_get_int(p, SETTINGS_SECTION, kValue, 0) : 0;
  id = id < 0 || id == INT32_MAX ? 1 : id + 1;
  if (p && save) kv_profile_write_int(p, SETTINGS_SECTION, kValue, id);
  if (p) kv_profile_close(p);
  return id;
}

void install_paper_order_counter() {
  g_order_hooks.next_paper_order_id = next_paper_order_id;
}
