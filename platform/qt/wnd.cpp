#include "platform/qt/wnd.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <atomic>

namespace {

// How many messages one turn of the event loop delivers before it lets
// input and painting through again.
constexpr int kBatch = 200;

class Dispatcher : public QObject {
 public:
  static constexpr QEvent::Type kType = QEvent::Type(QEvent::User + 0x4B);
  std::atomic<bool> pending{false};

  void schedule() {
    if (!pending.exchange(true)) QCoreApplication::postEvent(this, new QEvent(kType));
  }

 protected:
  bool event(QEvent* e) override {
    if (e->type() != kType) return QObject::event(e);
    pending = false;
    for (int n = 0; n < kBatch && kv_posted_count(0) > 0; n++) {
      // Any handler may run a modal loop (a message box, a dialog): the
      // messages behind this one must be able to arrive inside it.
      if (kv_posted_count(0) > 1) schedule();
      kv_dispatch_posted(1);
    }
    if (kv_posted_count(0) > 0) schedule();
    return true;
  }
};

Dispatcher* g_dispatcher = nullptr;

void wakeup(void*) {
  if (g_dispatcher) g_dispatcher->schedule();
}

}  // namespace

void kv_install_qt_dispatcher() {
  if (g_dispatcher) return;
  g_dispatcher = new Dispatcher;  // lives on the calling thread for the life of the process
  kv_set_post_wakeup(&wakeup, nullptr);
  if (kv_posted_count(0) > 0) g_dispatcher->schedule();
}

void kv_flush_posted() {
  if (g_dispatcher) g_dispatcher->pending = false;
  kv_dispatch_posted(-1);
}

KvWnd::KvWnd() {
  m_hwnd = kv_window_create(&KvWnd::handler, this);
}

KvWnd::~KvWnd() {
  DestroyWindowId();
}

// Timers are deleted later: KillTimer may run inside the timer's own signal.
static void drop_timer(std::unique_ptr<QTimer>& t) {
  t->stop();
  t.release()->deleteLater();
}

void KvWnd::DestroyWindowId() {
  for (auto& [id, t] : m_timers) drop_timer(t);
  m_timers.clear();
  if (m_hwnd) kv_window_destroy(m_hwnd);
  m_hwnd = 0;
}

kv_lresult KvWnd::handler(void* ctx, kv_hwnd, unsigned message, kv_wparam wparam,
                          kv_lparam lparam) {
  return static_cast<KvWnd*>(ctx)->WindowProc(message, wparam, lparam);
}

kv_lresult KvWnd::WindowProc(unsigned message, kv_wparam wparam, kv_lparam lparam) {
  switch (message) {
    case WM_COMMAND:
      return OnCommandMessage(unsigned(wparam & 0xFFFF));
    case WM_TIMER:
      OnTimer(unsigned(wparam));
      return 0;
    default:
      return 0;
  }
}

unsigned KvWnd::SetTimer(unsigned id, unsigned elapse_ms) {
  if (id == 0) return 0;
  auto& t = m_timers[id];
  if (!t) {
    t = std::make_unique<QTimer>();
    kv_hwnd wnd = m_hwnd;
    QObject::connect(t.get(), &QTimer::timeout, [wnd, id] {
      // Timer messages go through the handler like any other message, but
      // are not queued: the window system merges them the same way.
      kv_send_message(wnd, WM_TIMER, id, 0);
    });
  }
  t->start(int(elapse_ms));
  return id;
}

int KvWnd::KillTimer(unsigned id) {
  auto it = m_timers.find(id);
  if (it == m_timers.end()) return 0;
  drop_timer(it->second);
  m_timers.erase(it);
  return 1;
}
