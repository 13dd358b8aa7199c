// Named threads and their message queues.
#include "platform/thread.h"

#include <pthread.h>
#include <sched.h>
#include <string.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>

namespace {

struct msg_queue {
  std::mutex m;
  std::condition_variable cv;
  std::deque<kv_msg> q;
  bool closed = false;
};

std::mutex g_queues_mutex;
std::unordered_map<kv_thread_id, std::shared_ptr<msg_queue>> g_queues;
std::atomic<kv_thread_id> g_next_thread_id{1};

void drop_messages(std::deque<kv_msg> &msgs) {
  for (const kv_msg &m : msgs)
    if (m.release) m.release(m.message, m.wparam, m.lparam);
}

void close_queue(kv_thread_id id, std::shared_ptr<msg_queue> &q) {
  if (!q) return;
  {
    std::lock_guard<std::mutex> g(g_queues_mutex);
    auto it = g_queues.find(id);
    if (it != g_queues.end() && it->second == q) g_queues.erase(it);
  }
  std::deque<kv_msg> left;
  {
    std::lock_guard<std::mutex> g(q->m);
    q->closed = true;
    left.swap(q->q);
  }
  drop_messages(left);
  q.reset();
}

// Per-thread identity and queue; the queue closes when the thread ends.
struct thread_self {
  kv_thread_id id = 0;
  std::string name;
  std::shared_ptr<msg_queue> queue;
  bool queue_closed = false;
  ~thread_self() { close_queue(id, queue); }
};
thread_local thread_self t_self;

thread_self &self() {
  if (t_self.id == 0) t_self.id = g_next_thread_id.fetch_add(1);
  return t_self;
}

std::shared_ptr<msg_queue> find_queue(kv_thread_id id) {
  std::lock_guard<std::mutex> g(g_queues_mutex);
  auto it = g_queues.find(id);
  return it == g_queues.end() ? nullptr : it->second;
}

bool in_range(unsigned msg, unsigned first, unsigned last) {
  if (msg == WM_QUIT) return true;
  if (first == 0 && last == 0) return true;
  return msg >= first && msg <= last;
}

// Takes the first message in range; caller holds q->m.
bool take_locked(msg_queue &q, kv_msg *out, unsigned first, unsigned last, bool remove) {
  for (auto it = q.q.begin(); it != q.q.end(); ++it) {
    if (!in_range(it->message, first, last)) continue;
    if (out) *out = *it;
    if (remove) q.q.erase(it);
    return true;
  }
  return false;
}

// The calling thread's queue, made on first use; null once closed.
msg_queue *own_queue() {
  thread_self &s = self();
  if (!s.queue && !s.queue_closed) kv_queue_create();
  return s.queue.get();
}

}  // namespace

struct thread_state {
  std::string name;
  kv_thread_id id = 0;
  kv_thread_fn fn = nullptr;
  void *arg = nullptr;
  std::mutex m;
  std::condition_variable cv;
  bool done = false;
  int exit_code = 0;
};

struct kv_thread {
  std::shared_ptr<thread_state> st;
  std::thread t;
};

static void thread_main(std::shared_ptr<thread_state> st) {
  thread_self &s = t_self;
  s.id = st->id;
  s.name = st->name;
  pthread_setname_np(pthread_self(), st->name.substr(0, 15).c_str());
  int rc = st->fn(st->arg);
  close_queue(s.id, s.queue);
  s.queue_closed = true;
  std::lock_guard<std::mutex> g(st->m);
  st->exit_code = rc;
  st->done = true;
  st->cv.notify_all();
}

kv_thread *kv_thread_start(const char *name, kv_thread_fn fn, void *arg) {
  auto st = std::make_shared<thread_state>();
  st->name = name ? name : "";
  st->id = g_next_thread_id.fetch_add(1);
  st->fn = fn;
  st->arg = arg;
  kv_thread *t = new kv_thread;
  t->st = st;
  try {
    t->t = std::thread(thread_main, st);
  } catch (...) {
    delete t;
    return nullptr;
  }
  return t;
}

kv_thread_id kv_thread_get_id(const kv_thread *t) {
  return t ? t->st->id : 0;
}
const char *kv_thread_name(const kv_thread *t) {
  return t ? t->st->name.c_str() : "";
}

int kv_thread_running(const kv_thread *t) {
  if (!t) return 0;
  std::lock_guard<std::mutex> g(t->st->m);
  return t->st->done ? 0 : 1;
}

int kv_thread_join(kv_thread *t, int timeout_ms, int *exit_code) {
  if (!t) return 1;
  {
    std::unique_lock<std::mutex> g(t->st->m);
    if (timeout_ms < 0)
      t->st->cv.wait(g, [&] { return t->st->done; });
    else if (!t->st->cv.wait_for(g, std::chrono::milliseconds(timeout_ms),
                                 [&] { return t->st->done; }))
      return 0;
    if (exit_code) *exit_code = t->st->exit_code;
  }
  if (t->t.joinable()) t->t.join();
  return 1;
}

void kv_thread_free(kv_thread *t) {
  if (!t) return;
  if (t->t.joinable()) {
    if (kv_thread_running(t))
      t->t.detach();
    else
      t->t.join();
  }
  delete t;
}

kv_thread_id kv_current_thread_id(void) {
  return self().id;
}
const char *kv_current_thread_name(void) {
  return self().name.c_str();
}

void kv_sleep_ms(int ms) {
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void kv_thread_yield(void) {
  sched_yield();
}

void kv_queue_create(void) {
  thread_self &s = self();
  if (s.queue) return;
  s.queue = std::make_shared<msg_queue>();
  s.queue_closed = false;
  std::lock_guard<std::mutex> g(g_queues_mutex);
  g_queues[s.id] = s.queue;
}

void kv_queue_close(void) {
  thread_self &s = self();
  close_queue(s.id, s.queue);
  s.queue_closed = true;
}

int kv_post_thread_message(kv_thread_id to, unsigned message, kv_wparam wparam, kv_lparam lparam,
                           kv_release_fn release) {
  std::shared_ptr<msg_queue> q = find_queue(to);
  if (!q) return 0;
  std::lock_guard<std::mutex> g(q->m);
  if (q->closed) return 0;
  q->q.push_back(kv_msg{message, wparam, lparam, release});
  q->cv.notify_all();
  return 1;
}

int kv_post_quit(kv_thread_id to, int exit_code) {
  return kv_post_thread_message(to, WM_QUIT, (kv_wparam)exit_code, 0);
}

int kv_get_message_timeout(kv_msg *out, unsigned first, unsigned last, int timeout_ms) {
  msg_queue *q = own_queue();
  if (!q) return -1;
  kv_msg m{};
  std::unique_lock<std::mutex> g(q->m);
  auto ready = [&] { return q->closed || take_locked(*q, &m, first, last, true); };
  if (timeout_ms < 0)
    q->cv.wait(g, ready);
  else if (!q->cv.wait_for(g, std::chrono::milliseconds(timeout_ms), ready))
    return -1;
  if (q->closed) return -1;
  if (out) *out = m;
  return m.message == WM_QUIT ? 0 : 1;
}

int kv_get_message(kv_msg *out, unsigned first, unsigned last) {
  return kv_get_message_timeout(out, first, last, -1);
}

int kv_peek_message(kv_msg *out, unsigned first, unsigned last, int remove) {
  msg_queue *q = own_queue();
  if (!q) return 0;
  std::lock_guard<std::mutex> g(q->m);
  return take_locked(*q, out, first, last, remove != 0) ? 1 : 0;
}

int kv_wait_message(int timeout_ms) {
  msg_queue *q = own_queue();
  if (!q) return 0;
  std::unique_lock<std::mutex> g(q->m);
  auto ready = [&] { return !q->q.empty(); };
  if (timeout_ms < 0) {
    q->cv.wait(g, ready);
    return 1;
  }
  return q->cv.wait_for(g, std::chrono::milliseconds(timeout_ms), ready) ? 1 : 0;
}

int kv_queue_length(kv_thread_id thread) {
  std::shared_ptr<msg_queue> q = find_queue(thread);
  if (!q) return 0;
  std::lock_guard<std::mutex> g(q->m);
  return (int)q->q.size();
}
