// Events, critical sections and mutexes.
//
// kv_event is the auto-reset or manual-reset event: set() wakes the
// waiters; an auto-reset event lets exactly one waiter through per set()
// and resets itself, a manual-reset event stays set until reset().
// kv_critical_section is re-entrant: the thread that holds it may enter
// again and must leave as often.  kv_mutex is a plain mutex whose lock may
// give up after a time-out.  Times are in milliseconds; a negative time-out
// waits for ever.
//
// The lock types satisfy the standard Lockable requirements, so
// std::lock_guard and std::unique_lock work with them; kv_lock is the
// short form used in this code base.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>

enum kv_event_kind { KV_AUTO_RESET = 0, KV_MANUAL_RESET = 1 };

struct kv_event {
  explicit kv_event(kv_event_kind kind = KV_AUTO_RESET, bool initially_set = false);
  kv_event(const kv_event &) = delete;
  kv_event &operator=(const kv_event &) = delete;

  void set();
  void reset();
  // 1 when signalled within timeout_ms, 0 on time-out.  An auto-reset
  // event is reset by the wait that succeeds.
  int wait(int timeout_ms = -1);
  // Current state without waiting or consuming it.
  bool is_set() const;
  // How many threads are blocked in wait() now (tests wait on it to know
  // that their waiters are parked before they set the event).
  int waiters() const;

 private:
  mutable std::mutex m_;
  std::condition_variable cv_;
  bool manual_;
  bool state_;
  int waiters_ = 0;
};

struct kv_critical_section {
  kv_critical_section() = default;
  kv_critical_section(const kv_critical_section &) = delete;
  kv_critical_section &operator=(const kv_critical_section &) = delete;

  void lock();
  void unlock();
  bool try_lock();
  // Whether the calling thread holds it (for assertions).
  bool held_by_current_thread() const;
  // How many times the holder entered; 0 when free (for assertions).
  int depth() const;

 private:
  std::recursive_mutex m_;
  std::atomic<unsigned long> owner_{0};
  int depth_ = 0;
};

struct kv_mutex {
  kv_mutex() = default;
  kv_mutex(const kv_mutex &) = delete;
  kv_mutex &operator=(const kv_mutex &) = delete;

  void lock();
  void unlock();
  bool try_lock();
  // 1 when acquired within timeout_ms, 0 on time-out.
  int lock_for(int timeout_ms);

 private:
  // A held flag under a plain mutex and a condition variable rather than
  // std::timed_mutex: the timed lock of the latter goes through a call the
  // thread checker does not follow, so it would report the data the mutex
  // guards as raced.  Mutex and condition variable it does follow.
  std::mutex m_;
  std::condition_variable cv_;
  bool held_ = false;
};

// Scoped holder: kv_lock guard(g_chart_lock);
template <class L>
struct kv_lock_guard {
  explicit kv_lock_guard(L &l) : l_(l) { l_.lock(); }
  ~kv_lock_guard() { l_.unlock(); }
  kv_lock_guard(const kv_lock_guard &) = delete;
  kv_lock_guard &operator=(const kv_lock_guard &) = delete;

 private:
  L &l_;
};
typedef kv_lock_guard<kv_critical_section> kv_lock;

// One instance per name on this machine and user: claims a lock file named
// after name in the runtime folder (XDG_RUNTIME_DIR, else the temporary
// folder).  Returns a handle (>= 0) while held, -1 when another process
// holds it (or the file cannot be made).  The claim ends with the process
// or with kv_instance_release.  Takes the place of a named event used to
// refuse a second instance.
int kv_instance_claim(const char *name);
void kv_instance_release(int handle);
