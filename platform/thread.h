// Named threads and per-thread message queues.
//
// A thread is started by name and may be joined.  Every thread, including
// ones not started here (the user-interface thread), has a small numeric
// id.  A thread gets a message queue only when it asks for one
// (kv_queue_create); until then posts to it fail, which is how a starter
// learns that the thread is ready (it retries every 20 ms).  The queue is
// closed when its thread ends or calls kv_queue_close: a closed queue
// refuses posts, and the messages still in it are dropped with their
// release functions run.
#pragma once

#include <stdint.h>

#include "platform/messages.h"

typedef uint32_t kv_thread_id;  // 0 = no thread

struct kv_thread;  // handle of a thread started by kv_thread_start

typedef int (*kv_thread_fn)(void *arg);

// Starts fn(arg) on a new thread named name (at most 15 characters are
// shown to debuggers).  Returns null when the thread cannot be started.
kv_thread *kv_thread_start(const char *name, kv_thread_fn fn, void *arg);

kv_thread_id kv_thread_get_id(const kv_thread *t);
const char *kv_thread_name(const kv_thread *t);

// 1 while the thread function has not returned.
int kv_thread_running(const kv_thread *t);

// Waits for the thread to end: timeout_ms < 0 waits for ever.  Returns 1
// when it has ended (exit code stored when exit_code is not null), 0 on
// time-out.
int kv_thread_join(kv_thread *t, int timeout_ms, int *exit_code);

// Releases the handle.  A thread still running is detached and runs on.
void kv_thread_free(kv_thread *t);

kv_thread_id kv_current_thread_id(void);
// Name given at start, or "" for threads not started here.
const char *kv_current_thread_name(void);
void kv_sleep_ms(int ms);
void kv_thread_yield(void);

// ---- message queue of the calling thread ----------------------------------

// Creates the calling thread's queue (no effect when it exists).  From now
// on posts to this thread succeed.
void kv_queue_create(void);

// Closes the calling thread's queue: later posts fail, queued messages are
// dropped and their release functions run.  Also done when a thread
// started by kv_thread_start returns.
void kv_queue_close(void);

// Posts a message to a thread's queue.  Returns 1 when queued; 0 when the
// thread has no queue yet, its queue is closed or the thread is gone; in
// that case nothing was taken and the poster frees the payload.  release,
// when given, runs if the message is later dropped undelivered.  Any
// thread may post.
int kv_post_thread_message(kv_thread_id to, unsigned message, kv_wparam wparam, kv_lparam lparam,
                           kv_release_fn release = nullptr);

// Message filters: first = last = 0 takes every message; otherwise only
// messages numbered first..last (inclusive) are taken and the others stay
// queued in order.  WM_QUIT passes every filter.

// Waits for a message in the range and removes it.  Returns 1 for a
// message, 0 for WM_QUIT (the message is still stored in out), -1 when the
// calling thread's queue was closed.  The thread's queue is created first
// when it has none.
int kv_get_message(kv_msg *out, unsigned first, unsigned last);

// As kv_get_message, waiting at most timeout_ms (< 0: for ever).  Returns
// 1 message, 0 WM_QUIT, -1 time-out or closed queue.
int kv_get_message_timeout(kv_msg *out, unsigned first, unsigned last, int timeout_ms);

// Looks for a message in the range without waiting.  remove 1 takes it
// out of the queue.  Returns 1 found (copied to out when not null), 0 none.
// Creates the calling thread's queue when it has none (so a peek is the
// way a thread announces it is ready, as the workers do at start).
int kv_peek_message(kv_msg *out, unsigned first, unsigned last, int remove);

// Waits until the calling thread's queue holds any message or timeout_ms
// passed (< 0: for ever).  Returns 1 when a message is waiting, 0 on
// time-out.  Removes nothing.
int kv_wait_message(int timeout_ms);

// Number of messages waiting for a thread (0 without a queue).  For tests
// and traces.
int kv_queue_length(kv_thread_id thread);

// Posts WM_QUIT with exit code wparam to a thread (kv_post_thread_message
// with WM_QUIT).
int kv_post_quit(kv_thread_id to, int exit_code);

// Windows-style name for callers that read better with it.
inline int PostThreadMessage(kv_thread_id to, unsigned message, kv_wparam wparam, kv_lparam lparam,
                             kv_release_fn release = nullptr) {
  return kv_post_thread_message(to, message, wparam, lparam, release);
}
