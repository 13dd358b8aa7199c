// Events, critical sections, timed mutexes and the single-instance claim.
#include "platform/sync.h"

#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "platform/thread.h"

kv_event::kv_event(kv_event_kind kind, bool initially_set)
    : manual_(kind == KV_MANUAL_RESET), state_(initially_set) {}

void kv_event::set() {
  std::lock_guard<std::mutex> g(m_);
  state_ = true;
  // An auto-reset event releases one waiter; the one that wakes clears it.
  if (manual_)
    cv_.notify_all();
  else
    cv_.notify_one();
}

void kv_event::reset() {
  std::lock_guard<std::mutex> g(m_);
  state_ = false;
}

int kv_event::wait(int timeout_ms) {
  std::unique_lock<std::mutex> g(m_);
  waiters_++;
  bool got = true;
  if (timeout_ms < 0)
    cv_.wait(g, [this] { return state_; });
  else
    got = cv_.wait_for(g, std::chrono::milliseconds(timeout_ms), [this] { return state_; });
  waiters_--;
  if (!got) return 0;
  if (!manual_) state_ = false;
  return 1;
}

int kv_event::waiters() const {
  std::lock_guard<std::mutex> g(m_);
  return waiters_;
}

bool kv_event::is_set() const {
  std::lock_guard<std::mutex> g(m_);
  return state_;
}

// The owner is the kv_thread_id of the holder; ids start at 1, so 0 means
// free.  depth_ is touched only by the holder.
void kv_critical_section::lock() {
  m_.lock();
  owner_.store(kv_current_thread_id(), std::memory_order_relaxed);
  depth_++;
}

bool kv_critical_section::try_lock() {
  if (!m_.try_lock()) return false;
  owner_.store(kv_current_thread_id(), std::memory_order_relaxed);
  depth_++;
  return true;
}

void kv_critical_section::unlock() {
  if (--depth_ == 0) owner_.store(0, std::memory_order_relaxed);
  m_.unlock();
}

bool kv_critical_section::held_by_current_thread() const {
  return owner_.load(std::memory_order_relaxed) == kv_current_thread_id();
}

int kv_critical_section::depth() const {
  return held_by_current_thread() ? depth_ : 0;
}

void kv_mutex::lock() {
  lock_for(-1);
}

void kv_mutex::unlock() {
  {
    std::lock_guard<std::mutex> g(m_);
    held_ = false;
  }
  cv_.notify_one();
}

bool kv_mutex::try_lock() {
  std::lock_guard<std::mutex> g(m_);
  if (held_) return false;
  held_ = true;
  return true;
}

int kv_mutex::lock_for(int timeout_ms) {
  std::unique_lock<std::mutex> g(m_);
  if (timeout_ms < 0)
    cv_.wait(g, [this] { return !held_; });
  else if (!cv_.wait_for(g, std::chrono::milliseconds(timeout_ms), [this] { return !held_; }))
    return 0;
  held_ = true;
  return 1;
}

int kv_instance_claim(const char *name) {
  // The runtime folder belongs to the user; a shared temporary folder gets
  // the user id in the name so that users do not block each other.
  std::string path;
  const char *dir = getenv("XDG_RUNTIME_DIR");
  if (dir && *dir) {
    path = std::string(dir) + "/korvane-" + name + ".lock";
  } else {
    dir = getenv("TMPDIR");
    if (!dir || !*dir) dir = "/tmp";
    path = std::string(dir) + "/korvane-" + std::to_string(getuid()) + "-" + name + ".lock";
  }
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return -1;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

void kv_instance_release(int handle) {
  if (handle >= 0) close(handle);
}
