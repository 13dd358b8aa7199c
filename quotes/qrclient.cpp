// Finding, starting and talking to the quote relay over its sockets.
#include "quotes/qrclient.h"
#include "quotes/mqtthread.h"

#include <errno.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "data/debugtrace.h"
#include "data/mainwnd.h"
#include "data/quotecfg.h"
#include "data/statmsg.h"
#include "platform/clock.h"
#include "platform/locks.h"
#include "platform/services.h"
#include "platform/thread.h"
#include "quotes/mqt.h"
#include "quotes/router.h"
#include "settings/settings.h"

qr_hooks g_qr_hooks;
int g_qr_reply_error;
int g_qr_last_error;

static std::atomic<int> s_request_fd{-1};
static std::atomic<int> s_data_fd{-1};
static std::atomic<int> s_connected{0};
static int s_ring_ready;

// Waits of one step and the number of empty steps after which a
// transaction is given up (six five-second steps, 30 s).
enum {
  WAIT_STEP_MS = 5000,
  WAIT_GIVE_UP_SECONDS = 25,
  DATA_SOCKET_WAIT_MS = 5000,
  START_WAIT_MS = 200
};

uint32_t has_router_capability(uint32_t bits) {
  quote_source_cfg* cfg = read_quote_source_cfg(MULTIQUOTE_TIMEUNIT);
  return cfg ? cfg->router_capabilities & bits : 0;
}

char* qr_run_folder(char* buf, size_t size) {
  const char* dir = getenv("XDG_RUNTIME_DIR");
  int n;
  if (dir && *dir) {
    n = snprintf(buf, size, "%s/korvane-relay", dir);
  } else {
    dir = getenv("TMPDIR");
    n = snprintf(buf, size, "%s/korvane-relay-%u", dir && *dir ? dir : "/tmp", (unsigned)getuid());
  }
  return n > 0 && (size_t)n < size ? buf : nullptr;
}

// A name that stays inside its folder.
static int plain_name(const char* name) {
  return name && name[0] && !strchr(name, '/') && strcmp(name, ".") != 0 && strcmp(name, "..") != 0;
}

char* qr_socket_path(char* buf, size_t size, const char* host, const char* name) {
  char run[256];
  if (!plain_name(name) || !qr_run_folder(run, sizeof run)) return nullptr;
  int n;
  if (!host || !host[0] || qr_host_is_local(host))
    n = snprintf(buf, size, "%s/%s", run, name);
  else if (plain_name(host))
    n = snprintf(buf, size, "%s/%s/%s", run, host, name);
  else
    return nullptr;
  return n > 0 && (size_t)n < size ? buf : nullptr;
}

int qr_host_is_local(const char* host) {
  if (!host) return 0;
  char me[256];
  kv_computer_name(me, sizeof me);
  return strcasecmp(host, me) == 0 || strcmp(host, "127.0.0.1") == 0;
}

int qr_is_connected() {
  return s_connected.load();
}

int qr_relay_connected() {
  return s_connected.load() || (g_qr_hooks.tws_connected && g_qr_hooks.tws_connected());
}

int qr_data_socket() {
  return s_data_fd.load();
}

static void close_socket(int fd) {
  if (fd < 0) return;
  shutdown(fd, SHUT_RDWR);
  close(fd);
}

void qr_close() {
  // A thread that cannot have the router lock (the input thread, under
  // g_chart_lock) only shuts the sockets: a transaction in flight may
  // still be using the descriptors, which are closed by the next
  // connect under the lock.
  if (!g_router_lock.try_lock()) {
    for (int fd : {s_request_fd.load(), s_data_fd.load()})
      if (fd >= 0) shutdown(fd, SHUT_RDWR);
    s_connected = 0;
  } else {
    close_socket(s_request_fd.exchange(-1));
    close_socket(s_data_fd.exchange(-1));
    s_connected = 0;
    g_router_lock.unlock();
  }
  // The numbers were the closed connection's: the next one hands out new ones.
  kv_lock guard(g_chart_lock);
  memset(g_symbol_slots, 0, sizeof g_symbol_slots);
}

// Connects a SEQPACKET socket to path: the socket or -1 (errno set).
static int connect_socket(const char* path, int nonblocking) {
  sockaddr_un addr;
  memset(&addr, 0, sizeof addr);
  addr.sun_family = AF_UNIX;
  if (strlen(path) >= sizeof addr.sun_path) {
    errno = ENAMETOOLONG;
    return -1;
  }
  strcpy(addr.sun_path, path);
  int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | (nonblocking ? SOCK_NONBLOCK : 0), 0);
  if (fd < 0) return -1;
  if (connect(fd, (sockaddr*)&addr, sizeof addr) != 0) {
    int e = errno;
    close(fd);
    errno = e;
    return -1;
  }
  return fd;
}

// The folder of the running program.
static void program_folder(char* buf, size_t size) {
  ssize_t n = readlink("/proc/self/exe", buf, size - 1);
  if (n <= 0) {
    snprintf(buf, size, ".");
    return;
  }
  buf[n] = 0;
  char* slash = strrchr(buf, '/');
  if (slash && slash != buf) *slash = 0;
}

// Starts the relay when it is not running and the preferences ask for it.
// 0 when it should have been started and could not be.
static int start_relay_if_needed(const char* relay_name) {
  char claim[96];
  snprintf(claim, sizeof claim, "%s_IDevt", relay_name);
  int held = kv_instance_claim(claim);
  if (held < 0) return 1;  // the relay holds its claim: running
  kv_instance_release(held);
  if (!(g_pref_flags & PREF_START_RELAY)) {
    statmsg(__FILE__, __LINE__, "Router is apparently not running", nullptr, STATMSG_ERROR);
    return 1;
  }
  char folder[1024], program[1200];
  program_folder(folder, sizeof folder);
  snprintf(program, sizeof program, "%s/%s", folder, relay_name);
  kv_launch_options opt{folder, 0, 1};
  if (kv_launch(program, nullptr, &opt) <= 0) {
    statmsg(__FILE__, __LINE__, "Unable to start ", relay_name, STATMSG_ERROR);
    return 0;
  }
  kv_sleep_ms(kv_scaled_ms(START_WAIT_MS));
  return 1;
}

int qr_open_pipes(const char* host, const char* relay_name, const char* client_name) {
  char path[256];
  if (!plain_name(relay_name)) {
    debug_trace("bad relay name: %s\n", relay_name ? relay_name : "");
    return QR_OPEN_NO_REQUEST;
  }
  if (!host || !host[0]) host = "127.0.0.1";
  if (qr_host_is_local(host) && !start_relay_if_needed(relay_name)) return QR_OPEN_NO_REQUEST;
  if (!qr_socket_path(path, sizeof path, host, relay_name)) {
    debug_trace("%d can't open file:%s\n", ENAMETOOLONG, relay_name);
    return QR_OPEN_NO_REQUEST;
  }
  int fd = connect_socket(path, 1);
  if (fd < 0) {
    debug_trace("%d can't open file:%s\n", errno, path);
    return QR_OPEN_NO_REQUEST;
  }
  close_socket(s_request_fd.exchange(fd));
  debug_trace("Opened request pipe\n");

  char computer[64];
  kv_computer_name(computer, sizeof computer);
  qr_request req;
  qr_build_connect(&req, computer, client_name);
  if (!qr_transact(req.bytes, req.size)) {
    debug_trace("TransactNamedPipe returns %d  line#%d\n", g_qr_last_error, __LINE__);
    qr_close();
    return QR_OPEN_NO_REQUEST;
  }
  // The data socket's name: text from offset 4, within the reply.
  char name[128] = "";
  int n = g_qr_reply.length - QR_OFF_FIELDS;
  if (n > 0) {
    if (n > (int)sizeof name - 1) n = (int)sizeof name - 1;
    memcpy(name, g_qr_reply.bytes + QR_OFF_FIELDS, (size_t)n);
    name[n] = 0;
  }
  debug_trace("Spigotname request returned: %s\n", name);
  if (!qr_socket_path(path, sizeof path, host, name)) {
    debug_trace("%d can't open file:%s\n", EINVAL, name);
    qr_close();
    return QR_OPEN_NO_DATA;
  }
  struct stat st;
  int64_t until = kv_monotonic_ms() + kv_scaled_ms(DATA_SOCKET_WAIT_MS);
  while (stat(path, &st) != 0 || !S_ISSOCK(st.st_mode)) {
    if (kv_monotonic_ms() >= until) {
      debug_trace("Error %d on WaitNamedPipe\n", errno);
      break;
    }
    kv_sleep_ms(5);
  }
  fd = connect_socket(path, 0);
  if (fd < 0) {
    debug_trace("%d can't open file:%s\n", errno, path);
    qr_close();
    return QR_OPEN_NO_DATA;
  }
  close_socket(s_data_fd.exchange(fd));
  debug_trace("Connected to %s\n", path);
  s_connected = 1;
  return QR_OPEN_OK;
}

// A broken connection: closed so that the next request connects again.
static int fail_closed(int err) {
  g_qr_last_error = err;
  qr_close();
  return 0;
}

static int broken(int err) {
  return err == EPIPE || err == ECONNRESET || err == ENOTCONN || err == ECONNREFUSED ||
         err == EBADF || err == EMSGSIZE;
}

// Waits for the next block of the reply in flight. until: a deadline of
// the monotonic clock that ends the wait early (the rest of a reply being
// read out), 0 for none; a wait that reaches it closes the connection as a
// reply that never came does.
static int wait_block(int64_t until) {
  int fd = s_request_fd.load();
  if (fd < 0) {
    g_qr_last_error = ENOTCONN;
    return 0;
  }
  int seconds = 0;
  for (;;) {
    int step = kv_scaled_ms(WAIT_STEP_MS);
    if (until) {
      int64_t left = until - kv_monotonic_ms();
      if (left <= 0) {
        debug_trace("send_kvqr_request, canceling I/O\n");
        return fail_closed(ECANCELED);
      }
      if (left < step) step = (int)left;
    }
    pollfd p{fd, POLLIN, 0};
    int r = poll(&p, 1, step);
    if (r < 0) {
      if (errno == EINTR) continue;
      return fail_closed(errno);
    }
    if (r == 0) {
      if (until) continue;  // the deadline decides
      if (seconds >= WAIT_GIVE_UP_SECONDS) {
        debug_trace("send_kvqr_request, canceling I/O\n");
        // A late reply would be taken for the next request's: the
        // connection goes, and the next request opens a new one.
        return fail_closed(ECANCELED);
      }
      seconds += 5;
      debug_trace("send_kvqr_request, no response in %d seconds\n", seconds);
      continue;
    }
    ssize_t n = recv(fd, g_qr_reply.bytes, QR_REPLY_SIZE, MSG_DONTWAIT | MSG_TRUNC);
    if (n < 0) {
      if (errno == EAGAIN || errno == EINTR) continue;
      if (broken(errno)) return fail_closed(errno);
      debug_trace("waitstatus=%d  ,err=%d, %s:%d\n", (int)n, errno, __FILE__, __LINE__);
      g_qr_last_error = errno;
      return 0;
    }
    if (n == 0) return fail_closed(EPIPE);  // the relay closed its end
    if (n > QR_REPLY_SIZE) {
      // The part beyond the buffer is gone; the blocks after it would
      // be read out of step.
      debug_trace("waitstatus=%d  ,err=%d, %s:%d\n", (int)n, EMSGSIZE, __FILE__, __LINE__);
      return fail_closed(EMSGSIZE);
    }
    g_qr_reply.length = (int)n;
    return 1;
  }
}

int qr_wait_io() {
  return wait_block(0);
}

int qr_transact(const uint8_t* request, int size) {
  g_qr_reply.request_code = request[0];
  g_qr_reply.length = 0;
  int fd = s_request_fd.load();
  if (fd < 0) {
    g_qr_last_error = ENOTCONN;
    return 0;
  }
  // Every reply is read to its last record (qr_finish_reply), so nothing
  // may be waiting here; anything that is was sent unasked and would be
  // taken for this request's reply.
  uint8_t scrap[QR_REPLY_SIZE];
  for (;;) {
    ssize_t n = recv(fd, scrap, sizeof scrap, MSG_DONTWAIT);
    if (n > 0) continue;
    if (n == 0) return fail_closed(EPIPE);
    if (errno == EINTR) continue;
    if (errno != EAGAIN && broken(errno)) return fail_closed(errno);
    break;
  }
  int64_t until = kv_monotonic_ms() + kv_scaled_ms(WAIT_STEP_MS * 6);
  for (;;) {
    ssize_t n = send(fd, request, (size_t)size, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n == size) break;
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) {
      int left = (int)(until - kv_monotonic_ms());
      pollfd p{fd, POLLOUT, 0};
      if (left <= 0 || poll(&p, 1, left) == 0) {
        debug_trace("send_kvqr_request, canceling I/O\n");
        return fail_closed(ECANCELED);
      }
      continue;
    }
    return fail_closed(n < 0 ? errno : EPIPE);
  }
  return qr_wait_io();
}

int qr_read_more() {
  g_qr_reply.length = 0;
  return qr_wait_io();
}

int kvqr_connect() {
  quote_source_cfg* cfg = read_quote_source_cfg(MULTIQUOTE_TIMEUNIT);
  if (!cfg) return 0;
  uint32_t caps = cfg->router_capabilities;
  char relay_name[sizeof cfg->router_name];
  snprintf(relay_name, sizeof relay_name, "%s", cfg->router_name);
  kv_lock guard(g_router_lock);
  if (caps & QR_CAP_BROKER_SOCKET) {
    if (!s_ring_ready && g_qr_hooks.alloc_quote_ring) {
      g_qr_hooks.alloc_quote_ring();
      s_ring_ready = 1;
    }
    if (g_qr_hooks.tws_connected && g_qr_hooks.tws_connected()) return 1;
    if (!g_qr_hooks.tws_connect ||
        !g_qr_hooks.tws_connect(g_qr_hostname, g_qr_port_num, g_qr_client_id))
      return 0;
    if (g_qr_hooks.start_spigot) {
      if (g_qr_hooks.start_spigot())
        debug_trace("Started spigot input thread\n");
      else
        debug_trace("Unable to start Spigot thread: errno %d, doserrno %d\n", errno, 0);
    }
    if (g_qr_hooks.start_socket_input) {
      if (g_qr_hooks.start_socket_input())
        debug_trace("Started socket input thread\n");
      else
        debug_trace("Unable to start Socket Input thread: errno %d, doserrno %d\n", errno, 0);
    }
    return 1;
  }
  if (s_connected) return 1;
  if (qr_open_pipes(g_qr_hostname, relay_name, "Korvane") != QR_OPEN_OK) {
    statmsg(__FILE__, __LINE__, "Can not connect to quote router:", relay_name, STATMSG_ERROR);
    set_cont_update(0);
    if (kv_hwnd w = hmainwnd.load()) kv_post_message(w, WM_CONT_UPDATE_STATUS, 0, 0);
    return 0;
  }
  debug_trace("Starting spigot input thread\n");
  if (g_qr_hooks.start_spigot && !g_qr_hooks.start_spigot()) {
    debug_trace("Unable to start Input thread: errno %d, doserrno %d\n", errno, 0);
    qr_close();
    return 0;
  }
  return 1;
}

// A bound on the blocks of one reply, so a relay that never marks its last
// record cannot keep the lock for ever.
enum { MAX_REPLY_BLOCKS = 4096 };

int qr_finish_reply(int offset) {
  // The relay sends the rest of a reply whether it is wanted or not; a
  // block read later would be taken for the next request's reply. So the
  // blocks are read out to the last record, within the time a whole
  // transaction may take; a relay that does not finish by then loses the
  // connection, as a late reply does.
  int64_t until = kv_monotonic_ms() + kv_scaled_ms(WAIT_STEP_MS * 6);
  for (int block = 0;; block++) {
    int len = g_qr_reply.length;
    if (len <= 0 || len % QR_RECORD_SIZE != 0 || offset < 0) {
      // Out of step with the relay's records: only a new connection is sure.
      g_qr_last_error = EPROTO;
      qr_close();
      return 0;
    }
    for (int off = offset - offset % QR_RECORD_SIZE; off < len; off += QR_RECORD_SIZE)
      if (qr_record_is_last(g_qr_reply.bytes + off)) return 1;
    offset = 0;
    if (block + 1 >= MAX_REPLY_BLOCKS) {
      g_qr_last_error = EPROTO;
      qr_close();
      return 0;
    }
    g_qr_reply.length = 0;
    if (!wait_block(until)) return 0;
  }
}

int qr_read_records(int (*handle)(const uint8_t* record, void* ctx), void* ctx,
                    const char* argument) {
  int count = 0;
  g_qr_reply_error = 0;
  for (int block = 0;; block++) {
    int len = g_qr_reply.length;
    if (len <= 0 || len % QR_RECORD_SIZE != 0) {
      char text[96];
      snprintf(text, sizeof text, "Response code %d, error_code %d, recsize %d",
               len > 0 ? qr_record_code(g_qr_reply.bytes) : 0,
               len > 1 ? qr_record_error(g_qr_reply.bytes) : 0, len);
      statmsg(__FILE__, __LINE__, text, argument, STATMSG_ERROR);
      qr_finish_reply(-1);  // out of step with the records: closes
      return -1;
    }
    for (int off = 0; off < len; off += QR_RECORD_SIZE) {
      const uint8_t* rec = g_qr_reply.bytes + off;
      if (qr_record_error(rec)) {
        g_qr_reply_error = qr_record_error(rec);
        kvqr_error_text(qr_record_error(rec), argument);
        qr_finish_reply(off);
        return -1;
      }
      count++;
      if (handle && !handle(rec, ctx)) {
        qr_finish_reply(off);
        return count;
      }
      if (qr_record_is_last(rec)) return count;
    }
    int more = 0;
    if (block + 1 >= MAX_REPLY_BLOCKS) {
      g_qr_last_error = EPROTO;
      qr_close();  // a reply without end: its rest would follow the next request
    } else {
      more = qr_read_more();
    }
    if (!more) {
      char text[64];
      snprintf(text, sizeof text, "Error %d returned on router request", g_qr_last_error);
      statmsg(__FILE__, __LINE__, text, argument, STATMSG_ERROR);
      return -1;
    }
  }
}
