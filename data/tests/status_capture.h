// Collects the status lines the data code reports while a test runs: a
// window stands in for the main frame and receives WM_STATUS_MSG.
#pragma once

#include <string>
#include <vector>

#include "data/mainwnd.h"
#include "data/statmsg.h"
#include "platform/window.h"

struct StatusCapture {
  std::vector<std::string> lines;
  std::vector<int> levels;
  kv_hwnd wnd = 0;
  kv_hwnd previous = 0;

  StatusCapture() {
    kv_dispatch_posted(-1);
    wnd = kv_window_create(&StatusCapture::handler, this);
    previous = hmainwnd.exchange(wnd);
  }
  ~StatusCapture() {
    hmainwnd.store(previous);
    kv_window_destroy(wnd);
  }
  // Everything reported so far, one line per report piece.
  const std::vector<std::string> &take() {
    kv_dispatch_posted(-1);
    return lines;
  }
  bool saw(const std::string &part) {
    for (const std::string &l : take())
      if (l.find(part) != std::string::npos) return true;
    return false;
  }

  static kv_lresult handler(void *ctx, kv_hwnd, unsigned message, kv_wparam wparam,
                            kv_lparam lparam) {
    if (message != WM_STATUS_MSG) return 0;
    StatusCapture *self = static_cast<StatusCapture *>(ctx);
    self->lines.emplace_back((const char *)lparam);
    self->levels.push_back((int)wparam);
    statmsg_free_text((void *)lparam);
    return 0;
  }
};
