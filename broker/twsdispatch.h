// Incoming messages: the message id is read, and the message is handed to
// the handler of its id, which reads the rest of its fields.  An id without
// a handler cannot be skipped (messages carry no length), so it ends the
// stream; so does a message whose fields could not be read whole.
#pragma once

enum { TWS_MSG_HANDLERS = 64 };  // ids 0..63

// Reads the fields of one message after its id.
typedef void (*tws_msg_handler)(int msg_id);

// Handlers by message id; null: unknown.  Message 4 (error) is handled from
// the start by tws_error_message (broker/twserrors.h).
extern tws_msg_handler g_tws_msg_handlers[TWS_MSG_HANDLERS];

// 0 when not connected or no message id could be read, else 1.
int tws_process_message();
