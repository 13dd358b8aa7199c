// The locks and the event that the data, quote and broker modules share.
// They exist for the whole process (no creation step is needed).
#pragma once

#include "platform/sync.h"

// Chart records, the chart list, the configuration caches and unscrambling
// tables, the live-quote list and records, the quote ring.  Re-entrant:
// studies computed under it may create further studies under it.
extern kv_critical_section g_chart_lock;
// One quote-relay request transaction with its shared reply buffer,
// including every block of a multi-block reply.  Recursive.
extern kv_critical_section g_router_lock;
// The sound table (sounds.cfg).
extern kv_critical_section g_sounds_lock;
// Every send to the broker socket, its connect and its close.
extern kv_critical_section g_tws_socket_lock;
// One broker history transaction of the chart loaders at a time.
extern kv_critical_section g_hmds_lock;
// Auto-reset: a broker history reply or error arrived.
extern kv_event g_hmds_event;
