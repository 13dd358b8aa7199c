// Incoming messages: the message id is read, and the message is handed to
// the handler of its id, which reads the rest of its fields.  A known id
// whose handler is not installed has its fields read and dropped, so that
// the stream stays in step.  An id that is not known is reported (505) and
// the stream goes on: messages carry no length, so what follows is read as
// it comes.  A message whose fields could not be read whole ends the stream.
#pragma once

enum { TWS_MSG_HANDLERS = 64 };  // ids 0..63

// Reads the fields of one message after its id.
typedef void (*tws_msg_handler)(int msg_id);

// Handlers by message id; null: skipped when known, else unknown.  Message
// 4 (error) is handled from the start by tws_error_message
// (broker/twserrors.h).
extern tws_msg_handler g_tws_msg_handlers[TWS_MSG_HANDLERS];

// Reads and drops the open-order attributes of versions 9 and later (after
// the good-till date), as the published API lays them out.
void tws_skip_open_order_tail(int version);
// Contract details after the price magnifier, by message version.
void tws_skip_contract_details_tail(int version);
// An execution after its liquidation field, by message version.
void tws_skip_execution_tail(int version);

// 1 when id is a message TWS sends (its fields can be skipped).
int tws_msg_id_known(int id);

// 0 when not connected or no message id could be read, else 1.
int tws_process_message();
