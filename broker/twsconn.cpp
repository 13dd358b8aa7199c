// Connecting to TWS, the connected state, closing, and the reader and
// confirmation threads.
#include "broker/twsconn.h"

#include "broker/twsacct.h"

#include <arpa/inet.h>
#include <errno.h>
#include <netdb.h>
#include <netinet/in.h>
#include <stdio.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include "broker/twsdispatch.h"
#include "broker/twserrors.h"
#include "broker/twsreq.h"
#include "broker/twsticker.h"
#include "broker/twswindow.h"
#include "broker/twswire.h"
#include "data/debugtrace.h"
#include "data/mainwnd.h"
#include "data/statmsg.h"
#include "platform/clock.h"
#include "platform/locks.h"
#include "platform/thread.h"
#include "quotes/mqt.h"
#include "quotes/mqt_hooks.h"
#include "settings/settings.h"

const int32_t g_tws_client_version = TWS_CLIENT_VERSION;
const int32_t g_tws_min_server_version = TWS_MIN_SERVER_VERSION;
std::atomic<int> g_tws_connected{0};
std::atomic<int32_t> g_tws_server_version{0};
std::atomic<int> g_tws_socket_errors{0};
std::atomic<int> g_tws_launch_state{TWS_LAUNCH_IDLE};
kv_event g_tws_connect_event(KV_AUTO_RESET);
std::atomic<int> g_tws_closed{0};
uint32_t g_tws_msg_count;
int g_tws_prev_msg_id;
char g_tws_connect_time[TWS_CONNECT_TIME_MAX];

enum {
  PREF_STATUS_DETAILS = 0x2000,  // Flags: connection details to the status messages
  PREF1_AUTO_START = 0x4,        // Flags1: start TWS when it is not running
  PREF1_ADVISOR = 0x800,         // Flags1: financial-advisor mode
  SEND_TIMEOUT_MS = 10000,       // a connect or send that TWS does not take
  THREAD_JOIN_MS = 10000,
  DRAIN_MAX = 1 << 20,  // bytes read at most while closing
};

static std::atomic<kv_hwnd> s_tws_window{0};
static kv_thread* s_input_thread;    // under g_tws_socket_lock
static kv_thread* s_confirm_thread;  // under g_tws_socket_lock

// ---------------------------------------------------------------------------
// Threads.

int TWS_confirm_thread(void*) {
  while (!g_tws_connect_event.wait(250)) tws_confirm_dialogs();
  debug_trace("exiting TWS_confirm_thread\n");
  return 0;
}

int start_tws_confirm_thread() {
  kv_lock guard(g_tws_socket_lock);
  if (s_confirm_thread && kv_thread_running(s_confirm_thread)) return 1;
  if (s_confirm_thread) {
    kv_thread_join(s_confirm_thread, THREAD_JOIN_MS, nullptr);
    kv_thread_free(s_confirm_thread);
  }
  g_tws_connect_event.reset();
  s_confirm_thread = kv_thread_start("TWS_confirm", TWS_confirm_thread, nullptr);
  if (!s_confirm_thread) {
    debug_trace("Unable to start TWS confirm thread: errno %d, doserrno %d\n", errno, 0);
    return 0;
  }
  debug_trace("Started TWS auto-confirm thread %0x\n", kv_thread_get_id(s_confirm_thread));
  return 1;
}

void stop_tws_confirm_thread() {
  kv_thread* t;
  {
    kv_lock guard(g_tws_socket_lock);
    t = s_confirm_thread;
    s_confirm_thread = nullptr;
  }
  if (!t) return;
  if (kv_thread_running(t)) g_tws_connect_event.set();
  kv_thread_join(t, THREAD_JOIN_MS, nullptr);
  kv_thread_free(t);
  g_tws_connect_event.reset();
}

// Has the connection closed through its window, or closes it here when the
// window is gone (nobody else would).
static void notify_closed() {
  if (!kv_post_message(s_tws_window.load(), WM_TWS_SOCKET, 0, TWS_FD_CLOSE)) tws_disconnect();
}

int socket_input_thread(void*) {
  while (g_tws_connected.load()) {
    if (g_tws_peer_error.load() != -1) {
      notify_closed();
      break;
    }
    if (!tws_process_message() && g_tws_peer_error.load() == -1) tws_wait_input(20);
    tws_account_poll();
  }
  debug_trace("exiting socket_input_thread\n");
  return 0;
}

int start_socket_input_thread() {
  if (!g_tws_connected.load()) return 0;  // checked first: a connect in progress holds the lock
  kv_lock guard(g_tws_socket_lock);
  if (!g_tws_connected.load()) return 0;
  if (s_input_thread && kv_thread_running(s_input_thread)) return 1;
  if (s_input_thread) {
    kv_thread_join(s_input_thread, THREAD_JOIN_MS, nullptr);
    kv_thread_free(s_input_thread);
  }
  s_input_thread = kv_thread_start("socket_input", socket_input_thread, nullptr);
  return s_input_thread != nullptr;
}

void tws_on_socket_read() {
  tws_process_message();
  if (g_tws_connected.load() && g_tws_peer_error.load() != -1) notify_closed();
}

void tws_close_bad_stream(const char* why) {
  statmsg(__FILE__, __LINE__, "Closing the connection to TWS:", why, STATMSG_ERROR);
  kv_lock guard(g_tws_socket_lock);
  int none = -1;
  g_tws_peer_error.compare_exchange_strong(none, 0);
  int fd = g_tws_socket.load();
  if (fd >= 0) shutdown(fd, SHUT_RDWR);
}

// ---------------------------------------------------------------------------
// Connecting.

// Closes a socket that never became a connection; under the lock.
static void drop_socket() {
  int fd = g_tws_socket.exchange(-1);
  if (fd >= 0) close(fd);
}

// The end of a connect that failed after the launch steps: live collection
// goes off and the main window is told.
static int connect_failed() {
  g_cont_update = 0;
  if (g_mqt_hooks.queue_sound) g_mqt_hooks.queue_sound(TWS_SOUND_DISCONNECTED);
  kv_hwnd main = hmainwnd.load();
  if (main) kv_post_message(main, WM_CONT_UPDATE_STATUS, 0, 0);
  return 0;
}

// Resolves host to an IPv4 address; 0 with the report when it cannot.
static int resolve_host(const char* host, in_addr* out) {
  if (inet_pton(AF_INET, host, out) == 1) return 1;
  addrinfo hints;
  memset(&hints, 0, sizeof hints);
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* res = nullptr;
  int rc = getaddrinfo(host, nullptr, &hints, &res);
  if (rc != 0 || !res) {
    char text[200];
    snprintf(text, sizeof text, "Unable to resolve host name <%.100s>: %u\n", host, (unsigned)rc);
    statmsg(__FILE__, __LINE__, text, nullptr, STATMSG_ERROR);
    return 0;
  }
  *out = ((sockaddr_in*)res->ai_addr)->sin_addr;
  freeaddrinfo(res);
  return 1;
}

// Version handshake on the connected socket, under the lock.  1 done; 0
// with the socket closed.
static int handshake(int client_id) {
  g_tws_read_failed = TWS_READ_OK;
  tws_send_int(g_tws_client_version);
  int version = tws_read_int();
  if (g_tws_read_failed) {
    drop_socket();
    return 0;
  }
  g_tws_server_version = version;
  if (g_pref_flags & PREF_STATUS_DETAILS) {
    char text[64];
    snprintf(text, sizeof text, "TWS Server version %d", version);
    statmsg(nullptr, 0, text, nullptr, STATMSG_NOTICE);
    snprintf(text, sizeof text, "Korvane Client version %d", g_tws_client_version);
    statmsg(nullptr, 0, text, nullptr, STATMSG_NOTICE);
  }
  if (version < g_tws_min_server_version) {
    tws_error(1, version, "503 TWS is out of date and must be upgraded", 0);
    // Not yet connected, so the socket is closed here: a close request
    // would find no connection and leave it open.
    drop_socket();
    return 0;
  }
  g_tws_connect_time[0] = 0;
  if (version >= 20) {
    snprintf(g_tws_connect_time, sizeof g_tws_connect_time, "%s", tws_read_text());
    if (g_tws_read_failed) {
      drop_socket();
      return 0;
    }
  }
  if (version >= 3) tws_send_int(client_id);
  statmsg(nullptr, 0, "IB connection established:", g_tws_connect_time, STATMSG_NOTICE);
  int launching = TWS_LAUNCH_RUNNING;
  g_tws_launch_state.compare_exchange_strong(launching, TWS_LAUNCH_IDLE);
  return 1;
}

// Steps 2-5 of a connect: finds TWS or launches it.  Returns 1 to go on
// (*launched set when this call launched TWS, *confirm when the
// confirmation thread should run), 0 after connect_failed.
static int find_or_launch(int* launched, int* confirm) {
  while (g_tws_launch_state.load() == TWS_LAUNCH_RUNNING) kv_sleep_ms(10);
  *launched = 0;
  *confirm = 1;
  if (tws_is_running()) return 1;
  if ((g_pref_flags1 & PREF1_AUTO_START) && g_tws_launch_state.load() == TWS_LAUNCH_IDLE) {
    statmsg(nullptr, 0, "Attempting to auto start TWS", nullptr, STATMSG_NOTICE);
    g_tws_launch_state = TWS_LAUNCH_RUNNING;
    if (!tws_launch()) {
      statmsg(__FILE__, __LINE__, "Unable to auto start TWS", nullptr, STATMSG_ERROR);
      g_tws_launch_state = TWS_LAUNCH_FAILED;
      return connect_failed();
    }
    kv_sleep_ms(kv_scaled_ms(5000));
    for (int i = 0; i < 120; i++) {
      if (tws_login(g_settings.TWSUsername, g_settings.TWSPassword)) {
        *launched = 1;
        kv_sleep_ms(kv_scaled_ms(30000));
        return 1;
      }
      kv_sleep_ms(kv_scaled_ms(1000));
    }
    statmsg(__FILE__, __LINE__, "Timed out launching TWS", nullptr, STATMSG_ERROR);
    g_tws_launch_state = TWS_LAUNCH_FAILED;
    return connect_failed();
  }
  if (tws_host_is_local()) {
    statmsg(__FILE__, __LINE__, "TWS does not appear to be running!", nullptr, STATMSG_ERROR);
    g_tws_launch_state = TWS_LAUNCH_IDLE;
    return connect_failed();
  }
  *confirm = 0;
  return 1;
}

// Opens the TCP connection, under the lock.  1 connected; 0 with the
// socket closed and *err the broker-link error (-1 when reported already).
static int open_socket(const in_addr& addr, int port, int* err) {
  drop_socket();
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    statmsg(__FILE__, __LINE__, "IB socket creation failed", nullptr, STATMSG_ERROR);
    *err = -1;
    return 0;
  }
  // Bounds a connect or a send that TWS does not take, so that the lock
  // is never held for ever.
  timeval tv = {SEND_TIMEOUT_MS / 1000, 0};
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
  sockaddr_in sa;
  memset(&sa, 0, sizeof sa);
  sa.sin_family = AF_INET;
  sa.sin_port = htons((uint16_t)port);
  sa.sin_addr = addr;
  if (connect(fd, (sockaddr*)&sa, sizeof sa) != 0) {
    *err = tws_socket_error(errno);
    close(fd);
    return 0;
  }
  g_tws_socket = fd;
  return 1;
}

int tws_connect(const char* host, int port, int client_id, kv_hwnd wnd) {
  if (g_tws_connected.load()) {
    tws_error(0, 0, "501 Already connected to TWS", 0);
    return 1;
  }
  int launched, confirm;
  if (!find_or_launch(&launched, &confirm)) return 0;
  if (confirm) start_tws_confirm_thread();

  in_addr addr;
  int failures = 0;
  g_tws_socket_lock.lock();
  g_tws_socket_errors = 0;
  if (!resolve_host(host ? host : "", &addr)) {
    g_tws_socket_lock.unlock();
    stop_tws_confirm_thread();
    return 0;
  }
  for (;;) {
    int err = 0;
    if (open_socket(addr, port, &err)) break;
    if (err == -1) {
      g_tws_socket_lock.unlock();
      stop_tws_confirm_thread();
      return 0;
    }
    if (failures++ == 0) {
      char text[80];
      if (err == TWS_ECONNREFUSED)
        snprintf(text, sizeof text, "IB TWS refused connection (TWS may not be running)");
      else
        snprintf(text, sizeof text, "IB connection failed, error %d", err);
      statmsg(__FILE__, __LINE__, text, nullptr, STATMSG_ERROR);
    }
    g_tws_socket_lock.unlock();
    if (!launched) {
      stop_tws_confirm_thread();
      return 0;
    }
    kv_sleep_ms(kv_scaled_ms(30000));
    if (!g_cont_update) {
      // Abandoned: a later connect may launch again.
      g_tws_launch_state = TWS_LAUNCH_FAILED;
      stop_tws_confirm_thread();
      return 0;
    }
    char text[64];
    snprintf(text, sizeof text, "Retrying connection to TWS, attempt %d", failures + 1);
    statmsg(nullptr, 0, text, nullptr, STATMSG_MISSING);
    g_tws_socket_lock.lock();
  }

  g_tws_peer_error = -1;
  tws_wire_reset();
  if (!handshake(client_id)) {
    g_tws_socket_lock.unlock();
    stop_tws_confirm_thread();
    return 0;
  }
  s_tws_window = wnd;
  g_tws_msg_count = 0;
  g_tws_connected = 1;
  g_tws_socket_lock.unlock();
  stop_tws_confirm_thread();

  ReqIds(1);
  if (client_id == 0) ReqAutoOpenOrders(1);
  if (g_pref_flags1 & PREF1_ADVISOR) {
    ReqManagedAccts();
    RequestFA(3);
    RequestFA(2);
    RequestFA(1);
  }
  ReqCurrentTime();
  return 1;
}

// ---------------------------------------------------------------------------
// Closing.

int tws_request_close(kv_hwnd wnd) {
  // A connect in progress holds the lock through its resolve, connect
  // and handshake: there is nothing to close yet, so nobody waits for it.
  if (!g_tws_connected.load()) return 0;
  kv_lock guard(g_tws_socket_lock);
  if (!g_tws_connected.load()) return 0;
  int fd = g_tws_socket.load();
  if (fd >= 0) shutdown(fd, SHUT_WR);
  kv_post_message(wnd, WM_TWS_SOCKET, 0, TWS_FD_CLOSE);
  return 1;
}

// After a reset the relay numbers of every record are void.
static void clear_record_tickers() {
  kv_lock guard(g_chart_lock);
  for (mqt* r = mqt_list_head(); r; r = r->next) {
    if (r->symbol_slot >= 1 && r->symbol_slot <= TWS_TICKER_COUNT)
      ticker_entry_free(r->symbol_slot);
    if (g_mqt_hooks.clear_symbol_slot) g_mqt_hooks.clear_symbol_slot(r);
    r->symbol_slot = 0;
    r->streams_held = 0;
  }
}

int tws_disconnect() {
  if (!g_tws_connected.load()) return 0;
  g_tws_socket_lock.lock();
  if (!g_tws_connected.load()) {
    g_tws_socket_lock.unlock();
    return 0;
  }
  int fd = g_tws_socket.load();
  // What ended the stream: the reader may have seen it already (a reset
  // is reported once; the next receive only finds the end).
  int how = g_tws_peer_error.load();
  if (how != TWS_ECONNRESET) {
    how = 0;
    char buf[4096];
    for (int total = 0; fd >= 0 && total < DRAIN_MAX;) {
      ssize_t n = recv(fd, buf, sizeof buf, MSG_DONTWAIT);
      if (n > 0) {
        total += (int)n;
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        int err = tws_socket_error(errno);
        if (err != TWS_EWOULDBLOCK) how = err;
      }
      break;
    }
  }
  if (fd >= 0) shutdown(fd, SHUT_RDWR);
  g_tws_connected = 0;
  // A connect that follows at once makes a socket of its own; this one
  // is closed below, only once nobody reads it any more.
  g_tws_socket = -1;
  kv_thread* reader = s_input_thread;
  s_input_thread = nullptr;
  g_tws_socket_lock.unlock();

  // The reader sees the shut-down socket at once.
  if (reader) {
    if (kv_thread_get_id(reader) != kv_current_thread_id())
      kv_thread_join(reader, THREAD_JOIN_MS, nullptr);
    kv_thread_free(reader);
  }
  if (fd >= 0) close(fd);

  if (how == 0) {
    statmsg(nullptr, 0, "IB connection closed", nullptr, STATMSG_NOTICE);
    return 1;
  }
  if (how == TWS_ECONNRESET) {
    g_tws_closed = 1;
    if (g_mqt_hooks.queue_sound) g_mqt_hooks.queue_sound(TWS_SOUND_DISCONNECTED);
    statmsg(__FILE__, __LINE__, "TWS reset connection", nullptr, STATMSG_ERROR);
    clear_record_tickers();
    return 1;
  }
  // Any other error: the socket is no use either, so it is closed too.
  char text[48];
  snprintf(text, sizeof text, "Error on IBCloseSocket(%d)", how);
  statmsg(__FILE__, __LINE__, text, nullptr, STATMSG_ERROR);
  return 0;
}
