// Window messages on the Qt event loop.
//
// KvWnd gives a Qt window an id in the platform's window registry
// (platform/window.h) and a message handler, WindowProc. Messages posted to
// the id from any thread are delivered in posting order on the thread that
// runs the Qt event loop, also while a modal dialog runs its own loop. A
// window that closes unregisters its id: later posts to it fail and the
// payloads of messages still queued are released.
//
// Timers by id (SetTimer/KillTimer) deliver WM_TIMER with the id in wParam;
// PostCommand queues WM_COMMAND with the command id in wParam.
#pragma once

#include <map>
#include <memory>

#include "platform/window.h"

class QTimer;

// Connects the registry's delivery to the Qt event loop of the calling
// thread (done by KvApp; tests that build windows without KvApp call it
// once after creating their application object).
void kv_install_qt_dispatcher();
// Delivers every posted message now (tests and shutdown).
void kv_flush_posted();

class KvWnd {
 public:
  KvWnd();
  virtual ~KvWnd();
  KvWnd(const KvWnd&) = delete;
  KvWnd& operator=(const KvWnd&) = delete;

  kv_hwnd GetSafeHwnd() const { return m_hwnd; }

  // The handler of every message to this window. The default handles
  // WM_COMMAND (OnCommandMessage with the low word of wParam) and WM_TIMER
  // (OnTimer); anything else returns 0.
  virtual kv_lresult WindowProc(unsigned message, kv_wparam wparam, kv_lparam lparam);

  int PostMessage(unsigned message, kv_wparam wparam = 0, kv_lparam lparam = 0,
                  kv_release_fn release = nullptr) {
    return kv_post_message(m_hwnd, message, wparam, lparam, release);
  }
  kv_lresult SendMessage(unsigned message, kv_wparam wparam = 0, kv_lparam lparam = 0) {
    return kv_send_message(m_hwnd, message, wparam, lparam);
  }
  // Queues WM_COMMAND for the command id.
  int PostCommand(unsigned id) { return PostMessage(WM_COMMAND, id, 0); }

  // Starts (or restarts) timer id with the interval in milliseconds.
  // Returns id, 0 when id is 0.
  unsigned SetTimer(unsigned id, unsigned elapse_ms);
  // Returns 1 when the timer was running.
  int KillTimer(unsigned id);

 protected:
  virtual void OnTimer(unsigned id) {}
  // A command that reached this window as a message; the default does
  // nothing and returns 0.
  virtual kv_lresult OnCommandMessage(unsigned id) { return 0; }
  // Unregisters the id early (a window that is being torn down and must not
  // receive more messages); the destructor does it otherwise.
  void DestroyWindowId();

 private:
  static kv_lresult handler(void* ctx, kv_hwnd wnd, unsigned message, kv_wparam wparam,
                            kv_lparam lparam);
  kv_hwnd m_hwnd = 0;
  std::map<unsigned, std::unique_ptr<QTimer>> m_timers;
};
