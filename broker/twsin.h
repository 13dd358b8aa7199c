// Incoming messages of TWS: the handlers of g_tws_msg_handlers
// (broker/twsdispatch.h) for market data, orders, executions, depth,
// history, accounts and the clock.  Market data, order and execution
// messages become relay records in the quote ring, so that the record
// handlers of the quote relay process them; the others update the
// live-quote records, the accounts or the chart being back-filled.
#pragma once

#include <cstdint>

struct mqt;

// Registers the handlers in g_tws_msg_handlers.
void install_tws_msg_handlers();

void tws_tick_price(int id, int type, double price);
void tws_tick_size(int id, int type, int size);
// Fields of an order status message.
struct tws_order_status_msg {
  int order_id;
  char status[32];
  int filled, remaining;
  double avg_fill_price;
  int perm_id, parent_id;
  double last_fill_price;
  int client_id;
};
void tws_order_status(const tws_order_status_msg* m);
// Status code of a status text (0 unknown).
int tws_status_code(const char* text);
void updateMktDepth(int id, int position, int operation, int side, double price, int size);
// One bar of a history reply.
void historicalData(int request_id, const char* date, double open, double high, double low,
                    double close, int volume, double average, int has_gaps);
// Sets the system clock to TWS's time unless Flags bit 0x8000000 says not to.
void tws_set_clock(int64_t utc_seconds);
void tws_last_timestamp(int id, int64_t utc_seconds);
