// A page server on 127.0.0.1 for the fuzz targets that fetch web pages: it
// answers every request with the page last set, one connection at a time
// (an import reads a page whole before it asks for the next).
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

struct fuzz_page_server {
  std::mutex lock;
  std::string page;
  int port = 0;
};

inline fuzz_page_server& fuzz_pages() {
  static fuzz_page_server server;
  return server;
}

inline void fuzz_set_page(const std::string& page) {
  std::lock_guard<std::mutex> hold(fuzz_pages().lock);
  fuzz_pages().page = page;
}

inline void fuzz_serve_pages(int listener) {
  for (;;) {
    int fd = accept(listener, nullptr, nullptr);
    if (fd < 0) continue;
    std::string head;
    char buf[2048];
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
      ssize_t n = read(fd, buf, sizeof buf);
      if (n <= 0) break;
      head.append(buf, (size_t)n);
    }
    std::string reply;
    {
      std::lock_guard<std::mutex> hold(fuzz_pages().lock);
      reply = "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(fuzz_pages().page.size()) +
              "\r\nConnection: close\r\n\r\n" + fuzz_pages().page;
    }
    for (size_t sent = 0; sent < reply.size();) {
      ssize_t n = write(fd, reply.data() + sent, reply.size() - sent);
      if (n <= 0) break;
      sent += (size_t)n;
    }
    close(fd);
  }
}

// Starts the server on a port of the system's choosing and returns it;
// aborts when no socket can be had.
inline int fuzz_start_page_server() {
  int listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (listener < 0 || bind(listener, (sockaddr*)&a, sizeof a) != 0 || listen(listener, 16) != 0 ||
      getsockname(listener, (sockaddr*)&a, &len) != 0)
    abort();
  fuzz_pages().port = ntohs(a.sin_port);
  std::thread(fuzz_serve_pages, listener).detach();
  return fuzz_pages().port;
}
