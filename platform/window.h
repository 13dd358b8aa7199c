// Window ids and posted window messages.
//
// Every window that receives messages from workers has an id in one
// registry.  Ids are never reused, so a stale id names no window.  Any
// thread may post (message, wParam, lParam) to an id; the messages wait in
// one first-in first-out queue and are delivered, one at a time, by
// kv_dispatch_posted on the thread that runs the windows (the user-interface
// thread), which calls the window's handler.
//
// Payload ownership (see platform/messages.h):
// - post succeeded, message delivered: the handler owns the payload;
// - post failed (window gone or never existed): returns 0, nothing was
//   taken, the poster frees the payload;
// - window destroyed with messages still queued for it: each one's release
//   function runs (on the thread that destroys the window);
// - message delivered to a window without a handler: its release runs.
//
// Delivery without an event loop: tests call kv_dispatch_posted directly.
// The window layer installs a wake-up function with kv_set_post_wakeup and,
// when woken, calls kv_dispatch_posted on its event-loop thread.
#pragma once

#include <stdint.h>

#include "platform/messages.h"

typedef uint32_t kv_hwnd;  // 0 = no window

typedef kv_lresult (*kv_window_handler)(void *ctx, kv_hwnd wnd, unsigned message, kv_wparam wparam,
                                        kv_lparam lparam);

// Registers a window.  handler may be null and set later.  Returns its id
// (never 0).
kv_hwnd kv_window_create(kv_window_handler handler, void *ctx);

// Replaces the handler of a window.  Returns 0 when the window is gone.
int kv_window_set_handler(kv_hwnd wnd, kv_window_handler handler, void *ctx);

// Unregisters a window: later posts to it fail; messages queued for it are
// dropped and their release functions run.  No effect on an unknown id.
void kv_window_destroy(kv_hwnd wnd);

int kv_window_exists(kv_hwnd wnd);
// The ctx given with the handler, null when the window is gone.
void *kv_window_context(kv_hwnd wnd);

// Queues a message for a window, from any thread.  Returns 1 when queued,
// 0 when the window does not exist (the poster keeps the payload).
int kv_post_message(kv_hwnd wnd, unsigned message, kv_wparam wparam, kv_lparam lparam,
                    kv_release_fn release = nullptr);

// Calls the window's handler at once on the calling thread, which must be
// the thread that runs the windows.  Returns the handler's result, 0 when
// the window is gone or has no handler.
kv_lresult kv_send_message(kv_hwnd wnd, unsigned message, kv_wparam wparam, kv_lparam lparam);

// ---- delivery ---------------------------------------------------------------

// Delivers up to max queued messages (max < 0: until the queue is empty,
// including messages posted meanwhile) on the calling thread, in posting
// order.  Returns the number handed to handlers.
int kv_dispatch_posted(int max);

// Messages waiting for wnd (wnd 0: for every window).
int kv_posted_count(kv_hwnd wnd);

// Called on the posting thread, outside every lock of the registry, each
// time the queue turns from empty to non-empty.  The event-loop thread
// then calls kv_dispatch_posted; when it leaves messages queued (a max
// was given), it must schedule itself again (kv_posted_count(0) > 0).
// Null removes the function.
typedef void (*kv_post_wakeup_fn)(void *ctx);
void kv_set_post_wakeup(kv_post_wakeup_fn fn, void *ctx);

// Windows-style names for callers that read better with them.
inline int PostMessage(kv_hwnd wnd, unsigned message, kv_wparam wparam, kv_lparam lparam,
                       kv_release_fn release = nullptr) {
  return kv_post_message(wnd, message, wparam, lparam, release);
}
inline kv_lresult SendMessage(kv_hwnd wnd, unsigned message, kv_wparam wparam, kv_lparam lparam) {
  return kv_send_message(wnd, message, wparam, lparam);
}
inline int IsWindow(kv_hwnd wnd) {
  return kv_window_exists(wnd);
}
