// A stand-in for the quote relay program: it listens on the request and
// data sockets of the run folder, holds the relay's running claim, answers
// the connect request with the data socket's name and every other request
// as the test's answer function says, with real 36-byte records.
//
// The relay runs on its own thread: what it shares with the test (the
// requests it took, the answer function and whatever that reads, the
// spigot name it gives) is read and written under mu.
#pragma once

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/sync.h"
#include "platform/clock.h"
#include "platform/thread.h"
#include "quotes/qrclient.h"
#include "quotes/qrecord.h"

struct FakeRelay {
  // What to do with one request: packets to send back (none: stay silent);
  // set close_after to hang up after answering; pause_ms: the relay's own
  // pause before each packet after the first (a relay that sends a long
  // reply as its blocks become ready).
  struct answer {
    std::vector<std::vector<uint8_t>> packets;
    bool close_after = false;
    int pause_ms = 0;
  };
  // Called under mu.
  std::function<answer(const std::vector<uint8_t>& request)> respond;

  std::string name, host, spigot = "spigot-1";
  std::mutex mu;
  std::string spigot_reply;  // under mu; when set, the name given in the connect reply
  std::atomic<int> data_clients{0};

  FakeRelay(const char* relay_name, const char* relay_host = nullptr)
      : name(relay_name), host(relay_host ? relay_host : "") {}
  ~FakeRelay() { stop(); }

  // Connect requests taken so far (copies).
  std::vector<std::vector<uint8_t>> connects_taken() {
    std::lock_guard<std::mutex> g(mu);
    return connects_;
  }

  // A stream reply: code 10, last-record bit, symbol number n.
  static std::vector<uint8_t> stream_reply(int n, int code = QR_STREAM, int error = 0) {
    std::vector<uint8_t> r(QR_RECORD_SIZE, 0);
    r[0] = (uint8_t)(code | QR_LAST_RECORD);
    r[1] = (uint8_t)error;
    put_le16(r.data() + 2, (uint16_t)n);
    return r;
  }

  bool start() {
    char path[256];
    if (host.empty()) {
      claim_ = kv_instance_claim((name + "_IDevt").c_str());
      if (claim_ < 0) return false;
    }
    char folder[256];
    qr_run_folder(folder, sizeof folder);
    mkdir(folder, 0700);
    if (!host.empty()) mkdir((std::string(folder) + "/" + host).c_str(), 0700);
    const char* h = host.empty() ? nullptr : host.c_str();
    if (!qr_socket_path(path, sizeof path, h, name.c_str())) return false;
    request_path_ = path;
    listen_ = listen_at(path);
    qr_socket_path(path, sizeof path, h, spigot.c_str());
    data_path_ = path;
    data_listen_ = listen_at(path);
    if (listen_ < 0 || data_listen_ < 0) return false;
    running_ = true;
    thread_ = std::thread([this] { run(); });
    return true;
  }

  void stop() {
    if (!running_.exchange(false)) return;
    thread_.join();
    for (int fd : {listen_, data_listen_, client_, data_client_})
      if (fd >= 0) close(fd);
    listen_ = data_listen_ = client_ = data_client_ = -1;
    unlink(request_path_.c_str());
    unlink(data_path_.c_str());
    if (claim_ >= 0) kv_instance_release(claim_);
    claim_ = -1;
  }

  // Waits (up to 5 s of real time) until n requests arrived.
  bool wait_requests(size_t n) {
    // Its own loop: test programs of windows wait with the window layer's
    // kv_wait_until, which must not meet the plain one here.
    const int64_t end = kv_monotonic_ms() + 5000;
    for (;;) {
      {
        std::lock_guard<std::mutex> g(mu);
        if (requests_.size() >= n) return true;
      }
      if (kv_monotonic_ms() > end) return false;
      kv_sleep_ms(1);
    }
  }
  std::vector<std::vector<uint8_t>> taken() {
    std::lock_guard<std::mutex> g(mu);
    return requests_;
  }
  // Sends a record down the data socket.
  bool push(const std::vector<uint8_t>& rec) {
    std::lock_guard<std::mutex> g(mu);
    return data_client_ >= 0 &&
           send(data_client_, rec.data(), rec.size(), MSG_NOSIGNAL) == (ssize_t)rec.size();
  }

 private:
  int claim_ = -1, listen_ = -1, data_listen_ = -1, client_ = -1, data_client_ = -1;
  std::string request_path_, data_path_;
  std::atomic<bool> running_{false};
  std::thread thread_;
  std::vector<std::vector<uint8_t>> requests_;  // every request but connects
  std::vector<std::vector<uint8_t>> connects_;

  static int listen_at(const char* path) {
    unlink(path);
    int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    sockaddr_un a;
    memset(&a, 0, sizeof a);
    a.sun_family = AF_UNIX;
    snprintf(a.sun_path, sizeof a.sun_path, "%s", path);
    if (fd < 0 || bind(fd, (sockaddr*)&a, sizeof a) != 0 || listen(fd, 4) != 0) {
      if (fd >= 0) close(fd);
      return -1;
    }
    return fd;
  }

  void run() {
    while (running_) {
      pollfd p[3] = {{listen_, POLLIN, 0}, {data_listen_, POLLIN, 0}, {client_, POLLIN, 0}};
      if (poll(p, client_ >= 0 ? 3 : 2, 10) <= 0) continue;
      if (p[0].revents & POLLIN) {
        if (client_ >= 0) close(client_);
        client_ = accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
        continue;
      }
      if (p[1].revents & POLLIN) {
        int fd = accept4(data_listen_, nullptr, nullptr, SOCK_CLOEXEC);
        {
          std::lock_guard<std::mutex> g(mu);  // push sends on it from the test's thread
          if (data_client_ >= 0) close(data_client_);
          data_client_ = fd;
        }
        data_clients++;
      }
      if (client_ >= 0 && (p[2].revents & (POLLIN | POLLHUP))) {
        uint8_t buf[256];
        ssize_t n = recv(client_, buf, sizeof buf, 0);
        if (n <= 0) {
          close(client_);
          client_ = -1;
          continue;
        }
        std::vector<uint8_t> req(buf, buf + n);
        if (buf[0] == QR_REQ_CONNECT) {
          std::string given;
          {
            std::lock_guard<std::mutex> g(mu);
            connects_.push_back(req);
            given = spigot_reply.empty() ? spigot : spigot_reply;
          }
          std::vector<uint8_t> r(4, 0);
          r[0] = (uint8_t)(QR_REQ_CONNECT | 0x80);
          r.insert(r.end(), given.begin(), given.end());
          r.push_back(0);
          send(client_, r.data(), r.size(), MSG_NOSIGNAL);
          continue;
        }
        answer a;
        {
          std::lock_guard<std::mutex> g(mu);
          requests_.push_back(req);
          if (respond) a = respond(req);
        }
        for (size_t i = 0; i < a.packets.size(); i++) {
          if (i && a.pause_ms) std::this_thread::sleep_for(std::chrono::milliseconds(a.pause_ms));
          send(client_, a.packets[i].data(), a.packets[i].size(), MSG_NOSIGNAL);
        }
        if (a.close_after) {
          close(client_);
          client_ = -1;
        }
      }
    }
  }
};
