// The shared locks of the data, quote and broker modules.
#include "platform/locks.h"

kv_critical_section g_chart_lock;
kv_critical_section g_router_lock;
kv_critical_section g_sounds_lock;
kv_critical_section g_tws_socket_lock;
kv_critical_section g_hmds_lock;
kv_event g_hmds_event(KV_AUTO_RESET, false);
