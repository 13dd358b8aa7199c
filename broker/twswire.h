// Fields of the broker socket.  Every field, in both directions, is ASCII
// text ended by one NUL byte; a message is a run of fields without a length
// prefix, its first field the message id.  Integers go out with "%i",
// doubles with "%f", text as it stands, an absent value as a lone NUL.
//
// Input is received into a buffer, as much as has arrived, and fields are
// taken from it.  A message id is only read when input is waiting; once a
// message has begun, a field may arrive in pieces, and the reader waits in
// poll() for the rest until TWS_FIELD_WAIT_MS have passed since the field
// began.  Every field is bounded; a field that cannot be read whole (too
// long, timed out, the peer gone) marks the message as failed
// (g_tws_read_failed), after which every further read of that message
// returns an empty field at once, so that one bad message costs at most one
// wait.  A send that fails marks the stream (tws_take_send_failure).  The
// wire only reports: the connection decides to close (broker/twsconn.h).
#pragma once

#include <atomic>

enum {
  TWS_FIELD_MAX = 16384,       // g_tws_field: at most 16,383 characters
  TWS_MSG_ID_MAX = 256,        // message id: at most 255 characters
  TWS_TRACE_RING_SIZE = 2048,  // raw input kept for tws_dump_trace
  TWS_FIELD_WAIT_MS = 4000,    // time allowed for the rest of one field
  TWS_INPUT_BUF_SIZE = 8192,   // bytes taken from the socket at once
  TWS_NUM_BUF = 20,            // formatted integer or double
};

// Socket error numbers as the broker link reports them (the numbers of the
// original socket library, which the error codes of the broker link use);
// other errors keep their system number.
enum {
  TWS_EWOULDBLOCK = 10035,
  TWS_ECONNRESET = 10054,
  TWS_ECONNREFUSED = 10061,
};

// Why the current message failed (g_tws_read_failed).
enum {
  TWS_READ_OK = 0,
  TWS_READ_TIMEOUT = 1,   // the wait budget of a field ran out
  TWS_READ_GONE = 2,      // the peer closed or reset the connection
  TWS_READ_TOO_LONG = 3,  // a field longer than its buffer
};

// The socket (-1 none).  Written under g_tws_socket_lock.
extern std::atomic<int> g_tws_socket;
// The last field read; the next read overwrites it.
extern char g_tws_field[TWS_FIELD_MAX];
extern char g_tws_trace_ring[TWS_TRACE_RING_SIZE];
extern int g_tws_trace_pos;
// TWS_READ_* of the message being read; cleared before each message.
extern int g_tws_read_failed;
// -1 while the peer is there; else the error that ended it (0 when it
// closed in order, TWS_ECONNRESET when it reset the connection).
extern std::atomic<int> g_tws_peer_error;

// The system error of the last socket call as a broker-link number.
int tws_socket_error(int err);

// Writing (the caller holds g_tws_socket_lock for the whole message).
void tws_send_text(const char* text);
void tws_send_int(int value);
void tws_send_double(double value);

// Forgets input buffered from an earlier socket and any send failure; the
// connect calls it before the handshake on a new socket.
void tws_wire_reset();
// Waits up to ms for input (or the end of the stream) on the socket;
// returns at once when buffered input is waiting.  1 input, 0 none.
int tws_wait_input(int ms);
// 1 once after a send failed since the last call (the stream is torn: the
// peer is marked gone and nothing more is sent), else 0.
int tws_take_send_failure();

// Reading.  tws_read_text returns g_tws_field; tws_read_int and
// tws_read_double convert it (an empty field is 0; a number out of the
// 32-bit range is clamped; a double that is not finite reads as 0).  tws_read_msg_id returns the
// message id, or -1 when nothing was waiting, the read failed or the peer is gone.
const char* tws_read_text();
int tws_read_int();
double tws_read_double();
int tws_read_msg_id();

// Prints the last two messages of raw input to the debug trace.
void tws_dump_trace();
// The text tws_dump_trace prints (for tests and traces); buf of at least
// 2 x TWS_TRACE_RING_SIZE bytes.
void tws_format_trace(char* buf, int size);
