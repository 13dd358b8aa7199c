#include "data/tests/http_test_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <stdexcept>

http_test_server::http_test_server() {
  // A proxy named in the environment must not take the loopback requests.
  setenv("no_proxy", "127.0.0.1,localhost", 1);
  setenv("NO_PROXY", "127.0.0.1,localhost", 1);
  if (pipe(stop_pipe_) != 0) throw std::runtime_error("pipe");
  listen_fd_ = socket(AF_INET, SOCK_STREAM, 0);
  int one = 1;
  setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr = {};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  if (bind(listen_fd_, (sockaddr *)&addr, sizeof addr) != 0 || listen(listen_fd_, 16) != 0)
    throw std::runtime_error("bind");
  socklen_t len = sizeof addr;
  getsockname(listen_fd_, (sockaddr *)&addr, &len);
  port_ = ntohs(addr.sin_port);
  acceptor_ = std::thread([this] { accept_loop(); });
}

http_test_server::~http_test_server() {
  stopping_ = true;
  (void)!write(stop_pipe_[1], "x", 1);
  acceptor_.join();
  std::vector<std::thread> workers;
  {
    std::lock_guard<std::mutex> hold(mutex_);
    workers.swap(workers_);
  }
  for (std::thread &t : workers) t.join();
  close(listen_fd_);
  close(stop_pipe_[0]);
  close(stop_pipe_[1]);
}

std::string http_test_server::url(const std::string &path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void http_test_server::on(const std::string &path, const canned_reply &reply) {
  std::lock_guard<std::mutex> hold(mutex_);
  replies_[path] = reply;
}

void http_test_server::on_any(const canned_reply &reply) {
  std::lock_guard<std::mutex> hold(mutex_);
  any_set_ = true;
  any_ = reply;
}

std::vector<std::string> http_test_server::requests() {
  std::lock_guard<std::mutex> hold(mutex_);
  return requests_;
}

// True when the server is stopping (the wait is cut short).
bool http_test_server::wait_stop(int ms) {
  pollfd p = {stop_pipe_[0], POLLIN, 0};
  return poll(&p, 1, ms) > 0 || stopping_;
}

void http_test_server::accept_loop() {
  for (;;) {
    pollfd p[2] = {{listen_fd_, POLLIN, 0}, {stop_pipe_[0], POLLIN, 0}};
    if (poll(p, 2, -1) < 0 || stopping_) return;
    if (!(p[0].revents & POLLIN)) continue;
    int fd = accept(listen_fd_, nullptr, nullptr);
    if (fd < 0) continue;
    std::lock_guard<std::mutex> hold(mutex_);
    workers_.emplace_back([this, fd] { serve(fd); });
  }
}

static void send_all(int fd, const std::string &text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return;
    done += (size_t)n;
  }
}

static const char *reason(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 301:
      return "Moved Permanently";
    case 302:
      return "Found";
    case 303:
      return "See Other";
    case 401:
      return "Unauthorized";
    case 404:
      return "Not Found";
    case 500:
      return "Internal Server Error";
    default:
      return "Status";
  }
}

void http_test_server::serve(int fd) {
  canned_reply reply;
  bool raw_any;
  {
    std::lock_guard<std::mutex> hold(mutex_);
    raw_any = any_set_ && any_.raw;
  }
  std::string head;
  if (!raw_any) {
    // Read the request head.
    char buf[4096];
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
      pollfd p[2] = {{fd, POLLIN, 0}, {stop_pipe_[0], POLLIN, 0}};
      if (poll(p, 2, 5000) <= 0 || stopping_) break;
      ssize_t n = recv(fd, buf, sizeof buf, 0);
      if (n <= 0) break;
      head.append(buf, (size_t)n);
    }
  }
  std::string path;
  size_t sp = head.find(' ');
  if (sp != std::string::npos) path = head.substr(sp + 1, head.find(' ', sp + 1) - sp - 1);
  {
    std::lock_guard<std::mutex> hold(mutex_);
    requests_.push_back(head);
    if (any_set_) {
      reply = any_;
    } else if (replies_.count(path)) {
      reply = replies_[path];
    } else if (replies_.count(path.substr(0, path.find('?')))) {
      reply = replies_[path.substr(0, path.find('?'))];
    } else {
      reply.status = 404;
      reply.body = "<html>not here</html>\n";
    }
  }
  if (reply.delay_ms && wait_stop(reply.delay_ms)) {
    close(fd);
    return;
  }
  std::string out;
  if (!reply.raw) {
    out = "HTTP/1.1 " + std::to_string(reply.status) + " " + reason(reply.status) + "\r\n" +
          reply.headers + "Content-Length: " + std::to_string(reply.body.size()) +
          "\r\nConnection: close\r\n\r\n";
  }
  if (reply.truncate || reply.stall) {
    send_all(fd, out + reply.body.substr(0, reply.body.size() / 2));
    if (reply.stall && !wait_stop(reply.stall_after_ms))
      send_all(fd, reply.body.substr(reply.body.size() / 2));
  } else {
    send_all(fd, out + reply.body);
  }
  shutdown(fd, SHUT_WR);
  // Let the client read to the end before the socket goes.
  char sink[256];
  pollfd p = {fd, POLLIN, 0};
  while (poll(&p, 1, 200) > 0 && recv(fd, sink, sizeof sink, 0) > 0) {
  }
  close(fd);
}
