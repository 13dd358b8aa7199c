// A small HTTP server on 127.0.0.1 for the web fetcher's tests: it listens
// on a port the system picks, serves canned replies per path from a thread
// per connection, and records the requests it received.
#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct canned_reply {
  int status = 200;
  std::string body;
  std::string headers;     // extra header lines, each ending in "\r\n"
  int delay_ms = 0;        // wait before anything is sent
  int stall_after_ms = 0;  // with `stall`, wait this long after the first half
  bool stall = false;      // send half the body, then wait stall_after_ms
  bool truncate = false;   // announce the full length, send half, close
  bool raw = false;        // send the body alone, no status line (daytime)
};

class http_test_server {
 public:
  http_test_server();
  ~http_test_server();
  http_test_server(const http_test_server &) = delete;
  http_test_server &operator=(const http_test_server &) = delete;

  int port() const { return port_; }
  // "http://127.0.0.1:<port>" + path.
  std::string url(const std::string &path) const;
  // Reply for a path (query included when the request has one; a path
  // without a reply of its own is tried without its query).
  void on(const std::string &path, const canned_reply &reply);
  // Every connection gets this reply, whatever it asks (daytime).
  void on_any(const canned_reply &reply);
  std::vector<std::string> requests();  // raw request heads received

 private:
  void accept_loop();
  void serve(int fd);
  bool wait_stop(int ms);

  int listen_fd_ = -1;
  int port_ = 0;
  int stop_pipe_[2] = {-1, -1};
  std::atomic<bool> stopping_{false};
  std::thread acceptor_;
  std::mutex mutex_;
  std::vector<std::thread> workers_;
  std::map<std::string, canned_reply> replies_;
  bool any_set_ = false;
  canned_reply any_;
  std::vector<std::string> requests_;
};
