// The order sender: the one worker thread that hands real orders to the
// quote relay (pipe mode) or to TWS (broker-socket mode).
//
// Callers on any thread, under g_chart_lock or not, post an order by its
// serial with a copy of its request; the worker takes g_router_lock for the
// transaction without holding g_chart_lock, and only afterwards takes
// g_chart_lock to find the order again by its serial and store the
// outcome.  Requests go out in the order they were posted.
#pragma once

#include <cstdint>

struct order_rec;

// Each 1 posted, 0 not (no memory or no worker).  Caller holds g_chart_lock.
int order_sender_post_place(const order_rec* o);
int order_sender_post_cancel(const order_rec* o);

// The relay accepted the order with this serial under relay_id.  Takes
// g_chart_lock.
void order_placed(uint32_t serial, int32_t relay_id);
