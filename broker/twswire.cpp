// Writing and reading the fields of the broker socket.
#include "broker/twswire.h"

#include <errno.h>
#include <limits.h>
#include <math.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>

#include "broker/twserrors.h"
#include "data/debugtrace.h"
#include "data/statmsg.h"
#include "platform/clock.h"

std::atomic<int> g_tws_socket{-1};
char g_tws_field[TWS_FIELD_MAX];
char g_tws_trace_ring[TWS_TRACE_RING_SIZE];
int g_tws_trace_pos;
int g_tws_read_failed;
std::atomic<int> g_tws_peer_error{-1};

// Input received but not yet taken.  Only the reader touches it (the input
// thread, or the connect during its handshake before that thread runs).
static char s_input[TWS_INPUT_BUF_SIZE];
static int s_input_pos;
static int s_input_len;
static std::atomic<int> s_send_failed{0};

int tws_socket_error(int err) {
  if (err == EAGAIN || err == EWOULDBLOCK) return TWS_EWOULDBLOCK;
  if (err == ECONNRESET || err == EPIPE) return TWS_ECONNRESET;
  if (err == ECONNREFUSED) return TWS_ECONNREFUSED;
  return err;
}

// The peer is gone when the stream ended or a receive failed for good.
static void note_peer_gone(int err) {
  int none = -1;
  g_tws_peer_error.compare_exchange_strong(none, err);
}

void tws_wire_reset() {
  s_input_pos = s_input_len = 0;
  s_send_failed = 0;
}

int tws_take_send_failure() {
  return s_send_failed.exchange(0);
}

// ---------------------------------------------------------------------------
// Writing.  A send that stops half-way (the socket's send time-out) would
// leave a torn message; the rest is sent while the socket takes it.

static void send_all(const char* data, size_t len) {
  int fd = g_tws_socket.load();
  if (fd < 0) return;
  // After a failed send the stream is torn: nothing more goes out.
  if (g_tws_peer_error.load() != -1) return;
  while (len > 0) {
    ssize_t n = send(fd, data, len, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      // TWS took nothing within the send time-out, or the connection
      // failed: a message cut short would garble all that follows.
      note_peer_gone(tws_socket_error(n < 0 ? errno : EPIPE));
      s_send_failed = 1;
      return;
    }
    data += n;
    len -= (size_t)n;
  }
}

void tws_send_text(const char* text) {
  if (!text) text = "";
  send_all(text, strlen(text) + 1);
}

void tws_send_int(int value) {
  char buf[TWS_NUM_BUF];
  snprintf(buf, sizeof buf, "%i", value);
  send_all(buf, strlen(buf) + 1);
}

void tws_send_double(double value) {
  char buf[TWS_NUM_BUF];
  // "%f" of a huge value needs more than the buffer: snprintf cuts it,
  // which sends a wrong number but never overruns.
  snprintf(buf, sizeof buf, "%f", value);
  send_all(buf, strlen(buf) + 1);
}

// ---------------------------------------------------------------------------
// Reading.

static void trace_put(char c) {
  g_tws_trace_ring[g_tws_trace_pos] = c;
  g_tws_trace_pos = g_tws_trace_pos >= TWS_TRACE_RING_SIZE - 1 ? 0 : g_tws_trace_pos + 1;
}

static void trace_write(const char* s, int n) {
  while (n > 0) {
    int room = TWS_TRACE_RING_SIZE - g_tws_trace_pos;
    int k = n < room ? n : room;
    memcpy(g_tws_trace_ring + g_tws_trace_pos, s, (size_t)k);
    g_tws_trace_pos = (g_tws_trace_pos + k) % TWS_TRACE_RING_SIZE;
    s += k;
    n -= k;
  }
}

// Refills the empty input buffer.  Waits in poll() until deadline (a
// monotonic time; 0: no wait).  1 input taken, 0 the peer closed, -1 error
// (*err the broker-link number; TWS_EWOULDBLOCK when nothing came in time).
static int fill_input(int64_t deadline, int* err) {
  int fd = g_tws_socket.load();
  if (fd < 0) {
    *err = EBADF;
    return -1;
  }
  for (;;) {
    ssize_t n = recv(fd, s_input, sizeof s_input, MSG_DONTWAIT);
    if (n > 0) {
      s_input_pos = 0;
      s_input_len = (int)n;
      return 1;
    }
    if (n == 0) return 0;
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) {
      *err = tws_socket_error(errno);
      return -1;
    }
    int64_t left = deadline - kv_monotonic_ms();
    if (deadline == 0 || left <= 0) {
      *err = TWS_EWOULDBLOCK;
      return -1;
    }
    pollfd p = {fd, POLLIN, 0};
    if (poll(&p, 1, (int)left) < 0 && errno != EINTR) {
      *err = tws_socket_error(errno);
      return -1;
    }
  }
}

int tws_wait_input(int ms) {
  if (s_input_pos < s_input_len) return 1;
  int fd = g_tws_socket.load();
  if (fd < 0) return 0;
  pollfd p = {fd, POLLIN, 0};
  return poll(&p, 1, ms) > 0;
}

// The connection was closed by this side (the socket is gone): what the
// reader then meets is no news.
static int closed_here() {
  return g_tws_socket.load() < 0;
}

// Takes bytes into buf (size bytes, terminator included) up to the NUL,
// waiting for the rest of the field up to its deadline.  Returns the
// length; on failure sets g_tws_read_failed and *err.
static int read_field_bytes(char* buf, int size, int* err) {
  int n = 0;
  int64_t deadline = 0;  // set at the first wait
  *err = 0;
  for (;;) {
    if (s_input_pos < s_input_len) {
      const char* from = s_input + s_input_pos;
      int avail = s_input_len - s_input_pos;
      const char* nul = (const char*)memchr(from, 0, (size_t)avail);
      int take = nul ? (int)(nul - from) : avail;
      int room = size - 1 - n;
      if (take > room) {
        // Too long: what fits is kept, and the message is given up.
        trace_write(from, room + 1);
        memcpy(buf + n, from, (size_t)room);
        n += room;
        s_input_pos += room + 1;
        g_tws_read_failed = TWS_READ_TOO_LONG;
        break;
      }
      memcpy(buf + n, from, (size_t)take);
      n += take;
      trace_write(from, nul ? take + 1 : take);
      s_input_pos += nul ? take + 1 : take;
      if (nul) break;
      continue;
    }
    if (!deadline) deadline = kv_monotonic_ms() + TWS_FIELD_WAIT_MS;
    int r = fill_input(deadline, err);
    if (r == 1) continue;
    if (r < 0 && *err == TWS_EWOULDBLOCK) {
      g_tws_read_failed = TWS_READ_TIMEOUT;
    } else {
      if (r == 0) *err = 0;
      note_peer_gone(*err);
      g_tws_read_failed = TWS_READ_GONE;
    }
    break;
  }
  buf[n] = 0;
  return n;
}

int tws_read_msg_id() {
  int err = 0;
  int r = s_input_pos < s_input_len ? 1 : fill_input(0, &err);
  if (r < 0) {
    if (err == TWS_EWOULDBLOCK) return -1;
    note_peer_gone(err);
    if (closed_here()) return -1;
    tws_error(1, TWS_ERR_SOCKET, "Error reading msg type", err);
    return -1;
  }
  if (r == 0) {
    note_peer_gone(0);
    if (closed_here()) return -1;
    tws_error(1, 0, "506 Unexplained zero bytes read.", 0);
    return -1;
  }
  char c = s_input[s_input_pos++];
  if (c == 0) {
    tws_error(1, 0, "507 Null string read when expecting integer", 0);
    return -1;
  }
  // The mark goes in only for a message: polls that find nothing would
  // otherwise wipe the ring within seconds.
  trace_write("\r\n[", 3);
  char buf[TWS_MSG_ID_MAX];
  buf[0] = c;
  trace_put(c);
  read_field_bytes(buf + 1, TWS_MSG_ID_MAX - 1, &err);
  trace_put(']');
  if (g_tws_read_failed) {
    if (g_tws_read_failed != TWS_READ_TOO_LONG && !closed_here())
      statmsg(__FILE__, __LINE__, "Timeout reading socket", nullptr, STATMSG_ERROR);
    return -1;
  }
  long v = strtol(buf, nullptr, 10);
  if (v > INT_MAX || v < 0) return INT_MAX;  // no message has such an id
  return (int)v;
}

const char* tws_read_text() {
  if (g_tws_read_failed) {
    g_tws_field[0] = 0;
    return g_tws_field;
  }
  int err = 0;
  read_field_bytes(g_tws_field, TWS_FIELD_MAX, &err);
  trace_put(';');
  if ((g_tws_read_failed == TWS_READ_TIMEOUT || g_tws_read_failed == TWS_READ_GONE) &&
      !closed_here()) {
    tws_error(1, err, "508 Error: No bytes read or no null terminator found", 0);
    statmsg(__FILE__, __LINE__, "Timeout reading socket", nullptr, STATMSG_ERROR);
  }
  return g_tws_field;
}

int tws_read_int() {
  long long v = strtoll(tws_read_text(), nullptr, 10);
  if (v > INT_MAX) return INT_MAX;
  if (v < INT_MIN) return INT_MIN;
  return (int)v;
}

double tws_read_double() {
  // "nan", "inf" or a number beyond the double range would reach prices
  // and sizes as values no chart can draw: they read as an empty field.
  double v = strtod(tws_read_text(), nullptr);
  return std::isfinite(v) ? v : 0.0;
}

// ---------------------------------------------------------------------------
// Trace of raw input.

void tws_format_trace(char* out, int size) {
  // Back from the write position until the second "[" has been passed.
  int pos = g_tws_trace_pos;
  int back = 0;
  int brackets = 0;
  while (back < TWS_TRACE_RING_SIZE) {
    int p = (pos - 1 - back + TWS_TRACE_RING_SIZE) % TWS_TRACE_RING_SIZE;
    back++;
    if (g_tws_trace_ring[p] == '[' && ++brackets == 2) break;
  }
  int n = 0;
  int line = 0;
  for (int i = back; i > 0 && n < size - 3; i--) {
    char c = g_tws_trace_ring[(pos - i + TWS_TRACE_RING_SIZE) % TWS_TRACE_RING_SIZE];
    if (c == 0) continue;  // slots never written
    out[n++] = c;
    line = (c == '\n') ? 0 : line + 1;
    if (c == ';' && line > 78) {
      out[n++] = '\r';
      out[n++] = '\n';
      line = 0;
    }
  }
  out[n] = 0;
}

void tws_dump_trace() {
  char buf[2 * TWS_TRACE_RING_SIZE + 8];
  tws_format_trace(buf, sizeof buf);
  debug_trace("%s\n", buf);
}
