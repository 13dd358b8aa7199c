// A fake TWS on 127.0.0.1 (port 0) that speaks the broker wire format over a
// real socket: it accepts the client, reads its fields and sends messages as
// NUL-ended fields.  Plain sockets only, so that tests of any layer (the
// broker's own, the windows' in a started application) can use it.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

struct fake_tws_peer {
  int lfd = -1;
  int cfd = -1;
  int port = 0;

  fake_tws_peer() {
    lfd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa = {};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sa.sin_port = 0;
    bind(lfd, (sockaddr *)&sa, sizeof sa);
    listen(lfd, 4);
    socklen_t len = sizeof sa;
    getsockname(lfd, (sockaddr *)&sa, &len);
    port = ntohs(sa.sin_port);
  }
  ~fake_tws_peer() {
    if (cfd >= 0) close(cfd);
    if (lfd >= 0) close(lfd);
  }
  bool accept_client(int timeout_ms = 10000) {
    pollfd p = {lfd, POLLIN, 0};
    if (poll(&p, 1, timeout_ms) != 1) return false;
    cfd = accept(lfd, nullptr, nullptr);
    return cfd >= 0;
  }
  // One byte: 1, 0 at the end of the stream, -1 on time-out.
  int read_byte(char *c, int timeout_ms) {
    pollfd p = {cfd, POLLIN, 0};
    if (poll(&p, 1, timeout_ms) != 1) return -1;
    ssize_t n = recv(cfd, c, 1, 0);
    return n == 1 ? 1 : 0;
  }
  // One field without its NUL; false at the end of the stream or time-out.
  bool read_field(std::string *out, int timeout_ms = 10000) {
    out->clear();
    for (;;) {
      char c;
      if (read_byte(&c, timeout_ms) != 1) return false;
      if (c == 0) return true;
      *out += c;
    }
  }
  std::vector<std::string> read_fields(int n) {
    std::vector<std::string> v;
    std::string f;
    for (int i = 0; i < n && read_field(&f); i++) v.push_back(f);
    return v;
  }
  // True when the client closed its side (nothing more comes).
  bool sees_end(int timeout_ms = 10000) {
    char c;
    for (;;) {
      int r = read_byte(&c, timeout_ms);
      if (r == 0) return true;
      if (r < 0) return false;
    }
  }
  void send_raw(const std::string &bytes) { send(cfd, bytes.data(), bytes.size(), MSG_NOSIGNAL); }
  void send_fields(const std::vector<std::string> &fields) {
    std::string all;
    for (const std::string &f : fields) all += f + std::string(1, '\0');
    send_raw(all);
  }
  // The server's side of the handshake: accepts the client, reads its
  // version, answers with server_version (and a connection time from 20
  // on) and, from min_client_id_version on, reads the client id.  The
  // fields read go to *got; false when the client did not come or stopped.
  bool serve_handshake(int server_version, int min_client_id_version,
                       std::vector<std::string> *got = nullptr) {
    if (!accept_client()) return false;
    std::string f;
    if (!read_field(&f)) return false;
    if (got) got->push_back(f);
    std::vector<std::string> reply = {std::to_string(server_version)};
    if (server_version >= 20) reply.push_back("20261210 14:00:00 EST");
    send_fields(reply);
    if (server_version < min_client_id_version) return true;
    if (!read_field(&f)) return false;
    if (got) got->push_back(f);
    return true;
  }
  // Orderly end of the stream.
  void close_client() {
    close(cfd);
    cfd = -1;
  }
  // Abrupt end: the connection is reset.
  void reset_client() {
    linger l = {1, 0};
    setsockopt(cfd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    close(cfd);
    cfd = -1;
  }
};

inline std::string field_bytes(const std::vector<std::string> &fields) {
  std::string all;
  for (const std::string &f : fields) all += f + std::string(1, '\0');
  return all;
}
