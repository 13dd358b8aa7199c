// Reading one incoming message and handing it to the handler of its id.
#include "broker/twsdispatch.h"

#include <string.h>

#include "broker/twsconn.h"
#include "broker/twserrors.h"
#include "broker/twswire.h"
#include "data/debugtrace.h"

tws_msg_handler g_tws_msg_handlers[TWS_MSG_HANDLERS] = {
    nullptr, nullptr, nullptr, nullptr, tws_error_message,
};

// ---------------------------------------------------------------------------
// Skipping the fields of messages without a handler.  Each reads the fields
// after the version in the order TWS sends them for that version.

static void skip(int fields) {
  for (int i = 0; i < fields && !g_tws_read_failed; i++) tws_read_text();
}

static int read_is_empty() {
  return tws_read_text()[0] == 0;
}

// Open order: the contract and the order attributes, by message version.
static void skip_open_order(int v) {
  skip(1 + (v >= 17));   // order id; contract id
  skip(7 + (v >= 2));    // symbol .. currency; local symbol
  skip(11);              // action .. order reference
  skip(v >= 3);          // client id
  skip(v >= 4 ? 4 : 0);  // perm id, outside hours, hidden, discretionary
  skip(v >= 5);          // good-after time
  skip(v >= 6);          // shares allocation
  skip(v >= 7 ? 4 : 0);  // advisor group, method, percentage, profile
  skip(v >= 8);          // good-till date
  tws_skip_open_order_tail(v);
}

void tws_skip_open_order_tail(int v) {
  int server = g_tws_server_version.load();
  if (v >= 9) {
    skip(5);                        // rule 80A .. designated location
    skip(server == 51 || v >= 23);  // exempt code
    skip(6 + (v < 18) + 9);         // auction .. range upper; display size; rth;
                                    // block .. NBBO price cap
  }
  skip(v >= 10 ? 2 : 0);  // parent id, trigger method
  if (v >= 11) {
    skip(2);  // volatility and its type
    if (v == 11) {
      skip(1);
    } else {
      int empty = read_is_empty();  // delta-neutral order type
      skip(1);                      // its auxiliary price
      if (v >= 27 && !empty) skip(4);
      if (v >= 31 && !empty) skip(4);
    }
    skip(1);  // continuous update
    skip(server == 26 ? 2 : 0);
    skip(1);  // reference price type
  }
  skip(v >= 13);  // trail stop price
  skip(v >= 30);  // trailing percent
  if (v >= 14) {
    skip(3);  // basis points, type, combo legs text
  }
  if (v >= 29) {
    int legs = tws_read_int();
    for (int i = 0; i < legs && !g_tws_read_failed; i++) skip(8);
    int prices = tws_read_int();
    for (int i = 0; i < prices && !g_tws_read_failed; i++) skip(1);
  }
  if (v >= 26) {
    int params = tws_read_int();
    for (int i = 0; i < params && !g_tws_read_failed; i++) skip(2);
  }
  double increment = 0;
  if (v >= 15) {
    skip(2);  // scale levels
    increment = tws_read_double();
  }
  if (v >= 28 && increment > 0) skip(7);
  if (v >= 24 && !read_is_empty()) skip(1);  // hedge parameter
  skip(v >= 25);                             // opt out of smart routing
  skip(v >= 19 ? 2 : 0);                     // clearing account and intent
  skip(v >= 22);                             // not held
  if (v >= 20 && tws_read_int()) skip(3);    // delta-neutral contract
  if (v >= 21 && !read_is_empty()) {
    int params = tws_read_int();  // algorithm parameters
    for (int i = 0; i < params && !g_tws_read_failed; i++) skip(2);
  }
  skip(v >= 16 ? 10 : 0);  // what-if and the order state
}

void tws_skip_contract_details_tail(int v) {
  skip(v >= 4);          // underlying contract id
  skip(v >= 5 ? 2 : 0);  // long name, primary exchange
  skip(v >= 6 ? 7 : 0);  // contract month .. liquid hours
  skip(v >= 8 ? 2 : 0);  // economic value rule and multiplier
  if (v >= 7) {
    int ids = tws_read_int();  // security ids: tag and value each
    for (int i = 0; i < ids && !g_tws_read_failed; i++) skip(2);
  }
}

void tws_skip_execution_tail(int v) {
  skip(v >= 6 ? 2 : 0);  // cumulative quantity, average price
  skip(v >= 8);          // order reference
  skip(v >= 9 ? 2 : 0);  // economic value rule and multiplier
}

// Contract details: the request id, the contract and its details.
static void skip_contract_details(int v) {
  skip((v >= 3) + 15 + (v > 1));
  tws_skip_contract_details_tail(v);
}

// Execution: the request id, the order, the contract and the execution.
static void skip_execution(int v) {
  skip((v > 6) + 1 + (v >= 5) + 8 + (v >= 9) + (v >= 10) + 9 + (v > 3));
  tws_skip_execution_tail(v);
}

// Historical data: a count of bars of eight fields each.
static void skip_history(int v) {
  skip(1 + (v > 1 ? 2 : 0));  // request id; start and end
  int count = tws_read_int();
  for (int i = 0; i < count && !g_tws_read_failed; i++) skip(8 + (v > 2));
}

// Fields after the version of a known message; -1 for an unknown id.
static int skip_known(int id, int v) {
  int server = g_tws_server_version.load();
  switch (id) {
    case 1:
      return 3 + (v >= 2) + (v >= 3);  // tick price
    case 2:
      return 3;  // tick size
    case 3:
      return 9 + (v > 5);  // order status
    case 4:
      return 3;  // error
    case 6:
      return 3 + (v > 1);  // account value
    case 7:  // portfolio value: contract id; multiplier, primary exchange; trading class
      return 13 + (v >= 6) + (v >= 7 ? 2 : 0) + (v >= 8) + (v > 3) + (v == 6 && server == 39);
    case 8:
      return 1;  // account time
    case 9:
      return 1;  // next valid id
    case 12:
      return 6;  // market depth
    case 13:
      return 7;  // level 2 depth
    case 14:
      return 4;  // news bulletin
    case 15:
      return 1;  // managed accounts
    case 16:
      return 2;  // advisor data
    case 45:
      return 3;  // generic tick
    case 46:
      return 3;  // string tick
    case 49:
      return 1;  // current time
    case 50:
      return 9;  // real-time bar
    case 51:
      return 2;  // fundamental data
    case 52:
    case 55:
      return 1;  // end markers
    case 53:
      return 0;
    case 54:
      return 1;  // account download end
    case 56:
      return 4;  // delta-neutral validation
    default:
      return -1;
  }
}

int tws_msg_id_known(int id) {
  return id == 5 || id == 10 || id == 11 || id == 17 || id == 21 || skip_known(id, 1) >= 0;
}

static void skip_message(int id) {
  int v = tws_read_int();
  if (id == 5) {
    skip_open_order(v);
  } else if (id == 10) {
    skip_contract_details(v);
  } else if (id == 11) {
    skip_execution(v);
  } else if (id == 17) {
    skip_history(v);
  } else if (id == 21) {
    // Option computation: implied volatility and delta; the model's price
    // and dividend (type 13, or any from version 6); greeks and the
    // underlying's price from version 6.
    skip(1);  // ticker id
    int type = tws_read_int();
    skip(2 + (v >= 6 || type == 13 ? 2 : 0) + (v >= 6 ? 4 : 0));
  } else {
    skip(skip_known(id, v));
  }
}

// ---------------------------------------------------------------------------

int tws_process_message() {
  if (!g_tws_connected.load()) return 0;
  g_tws_read_failed = TWS_READ_OK;
  int id = tws_read_msg_id();
  if (g_tws_read_failed) {
    tws_close_bad_stream(g_tws_read_failed == TWS_READ_TOO_LONG ? "message id too long"
                                                                : "message id not read whole");
    return 0;
  }
  if (id < 0) return 0;
  g_tws_msg_count++;
  tws_msg_handler handler = id < TWS_MSG_HANDLERS ? g_tws_msg_handlers[id] : nullptr;
  if (handler) {
    handler(id);
  } else if (tws_msg_id_known(id)) {
    skip_message(id);
  } else {
    debug_trace("msg#:%07d  msgId=%d   previous_msgId=%d\n", (int)g_tws_msg_count, id,
                g_tws_prev_msg_id);
    tws_dump_trace();
    tws_error(1, id, "505 Fatal Error: Unknown message id", 0);
  }
  g_tws_prev_msg_id = id;
  if (g_tws_read_failed == TWS_READ_TOO_LONG)
    tws_close_bad_stream("field too long");
  else if (g_tws_read_failed)
    tws_close_bad_stream("message not read whole");
  return 1;
}
