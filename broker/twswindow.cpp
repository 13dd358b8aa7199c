// TWS's windows through the installed backend; the null backend.
#include "broker/twswindow.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <string.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/services.h"
#include "settings/settings.h"

enum { PROBE_TIMEOUT_MS = 1000 };

int tws_port_answers(const char* host, int port, int timeout_ms) {
  if (!host || !host[0] || port <= 0 || port > 65535) return 0;
  sockaddr_in sa;
  memset(&sa, 0, sizeof sa);
  sa.sin_family = AF_INET;
  sa.sin_port = htons((uint16_t)port);
  if (inet_pton(AF_INET, host, &sa.sin_addr) != 1) {
    addrinfo hints;
    memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* res = nullptr;
    if (getaddrinfo(host, nullptr, &hints, &res) != 0 || !res) return 0;
    sa.sin_addr = ((sockaddr_in*)res->ai_addr)->sin_addr;
    freeaddrinfo(res);
  }
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return 0;
  int ok = 0;
  if (connect(fd, (sockaddr*)&sa, sizeof sa) == 0) {
    ok = 1;
  } else if (errno == EINPROGRESS) {
    pollfd p = {fd, POLLOUT, 0};
    int err = 0;
    socklen_t len = sizeof err;
    ok = poll(&p, 1, timeout_ms) == 1 && getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 &&
         err == 0;
  }
  close(fd);
  return ok;
}

// Without windows, TWS counts as running when its API port answers.
static int null_is_running(void) {
  return tws_port_answers(g_qr_hostname, g_qr_port_num, PROBE_TIMEOUT_MS);
}

static int null_login(const char*, const char*) {
  return 0;
}

static int null_launch(void) {
  return 0;
}

static void null_confirm_dialogs(void) {}

const tws_window_backend g_tws_null_window_backend = {
    null_is_running,
    null_login,
    null_launch,
    null_confirm_dialogs,
};
tws_window_backend g_tws_window_backend = g_tws_null_window_backend;

int tws_is_running() {
  return g_tws_window_backend.is_running ? g_tws_window_backend.is_running() : 0;
}

int tws_login(const char* user, const char* password) {
  return g_tws_window_backend.login ? g_tws_window_backend.login(user, password) : 0;
}

int tws_launch() {
  return g_tws_window_backend.launch ? g_tws_window_backend.launch() : 0;
}

void tws_confirm_dialogs() {
  if (g_tws_window_backend.confirm_dialogs) g_tws_window_backend.confirm_dialogs();
}

int tws_host_is_local() {
  if (strcmp(g_qr_hostname, "127.0.0.1") == 0) return 1;
  char name[65] = "";
  kv_computer_name(name, sizeof name);
  return name[0] && strcasecmp(g_qr_hostname, name) == 0;
}
