// The request thread of the quote relay: the one thread that sends stream
// subscriptions, to the relay over the request socket or, in broker-socket
// mode, to the broker.  Other threads post it WM_STREAM_REQUEST with a
// stream_code and, for codes of one record, the live-quote record whose
// pending_streams the poster raised (router_post_stream); the record stays
// in the list until the thread has served that request.
//
// The thread serves nothing before its first WM_REQUEST_REFRESH (and
// WM_PROGRAM_EXIT, so that the program can always end).
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/thread.h"
#include "quotes/mqt_flags.h"

struct mqt;

// Records by relay symbol number (number n in slot n-1), under g_chart_lock.
extern mqt* g_symbol_slots[300];

// The request thread's id while it serves requests, 0 before and after.
extern std::atomic<kv_thread_id> g_router_thread_id;

// (symbol, record or null, stream_code) -> 1 or 0.  Takes g_router_lock.
int kvqr_stream_request(const char* symbol, mqt* record, uint32_t stream_code);

int router_request_thread(void* arg);
// Starts the thread, waits up to 5 s for its queue and installs the
// live-quote list's relay hooks.  1 started.
int start_router_request_thread();
// Asks the thread to end and waits up to 30 x 100 ms for it.  1 ended.
int stop_router_request_thread();

// Posts WM_STREAM_REQUEST for a record, raising its pending_streams first
// (lowered again when the post fails).  record null: an all-records code.
// 1 posted.
int router_post_stream(uint32_t stream_code, mqt* record);

// Broker-socket subscription of one record.
void router_stream_change(mqt* record, uint32_t stream_code);
