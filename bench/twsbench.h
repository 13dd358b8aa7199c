// What the broker socket benchmarks share: a loopback TCP connection whose
// far end sends a recorded stream of TWS messages, the broker link taking
// its near end as the connection to TWS, and the baseline that receives
// the same bytes and only finds the field ends.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>

#include "broker/twsconn.h"
#include "broker/twswire.h"

// A loopback TCP connection; fd[0] is read here, fd[1] sends.
struct tws_bench_link {
  int fd[2] = {-1, -1};
  std::thread writer;

  tws_bench_link() {
    int l = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa = {};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof sa;
    if (l < 0 || bind(l, (sockaddr*)&sa, sizeof sa) || listen(l, 1) ||
        getsockname(l, (sockaddr*)&sa, &len))
      abort();
    fd[0] = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (connect(fd[0], (sockaddr*)&sa, sizeof sa)) abort();
    fd[1] = accept(l, nullptr, nullptr);
    close(l);
    if (fd[1] < 0) abort();
  }
  ~tws_bench_link() {
    if (writer.joinable()) writer.join();
    close(fd[0]);
    close(fd[1]);
  }
  tws_bench_link(const tws_bench_link&) = delete;
  tws_bench_link& operator=(const tws_bench_link&) = delete;

  // Sends the stream from the far end while this thread reads.
  void start_sending(const std::string& bytes) {
    writer = std::thread([this, &bytes] {
      size_t off = 0;
      while (off < bytes.size()) {
        ssize_t n = send(fd[1], bytes.data() + off, bytes.size() - off, MSG_NOSIGNAL);
        if (n <= 0) break;
        off += (size_t)n;
      }
    });
  }

  // The broker link reads this connection as its connection to TWS.
  void attach(int server_version) {
    g_tws_socket = fd[0];
    g_tws_server_version = server_version;
    g_tws_peer_error = -1;
    tws_wire_reset();
    g_tws_connected = 1;
  }
  void detach() {
    g_tws_connected = 0;
    g_tws_socket = -1;
  }

  // Baseline: receives size bytes and counts the field ends.
  int64_t receive_fields(size_t size) {
    static char buf[TWS_INPUT_BUF_SIZE];
    size_t got = 0;
    int64_t fields = 0;
    while (got < size) {
      ssize_t n = recv(fd[0], buf, sizeof buf, MSG_DONTWAIT);
      if (n < 0) {
        pollfd p = {fd[0], POLLIN, 0};
        poll(&p, 1, 20);
        continue;
      }
      if (n == 0) break;
      for (const char *c = buf, *end = buf + n; (c = (const char*)memchr(c, 0, (size_t)(end - c)));
           c++)
        fields++;
      got += (size_t)n;
    }
    return fields;
  }
};
