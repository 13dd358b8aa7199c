// The default desktop services of the line editor and the alert overlay.
#include "chart/chartui.h"

#include <QCoreApplication>
#include <QCursor>
#include <QMetaObject>
#include <string>

#include "platform/services.h"

namespace {

void default_post_notice(const char* text) {
  QCoreApplication* app = QCoreApplication::instance();
  std::string copy = text ? text : "";
  if (!app) {
    kv_message_box(copy.c_str(), "Korvane", MB_OK | MB_ICONEXCLAMATION);
    return;
  }
  QMetaObject::invokeMethod(
      app, [copy] { kv_message_box(copy.c_str(), "Korvane", MB_OK | MB_ICONEXCLAMATION); },
      Qt::QueuedConnection);
}

void default_move_pointer(int dy) {
  QPoint p = QCursor::pos();
  QCursor::setPos(p.x(), p.y() + dy);
}

chart_ui_services g_ui = {default_post_notice, default_move_pointer};

}  // namespace

chart_ui_services chart_ui_install(const chart_ui_services& s) {
  chart_ui_services old = g_ui;
  g_ui.post_notice = s.post_notice ? s.post_notice : default_post_notice;
  g_ui.move_pointer = s.move_pointer ? s.move_pointer : default_move_pointer;
  return old;
}

void chart_post_notice(const char* text) {
  g_ui.post_notice(text);
}

void chart_move_pointer(int dy) {
  g_ui.move_pointer(dy);
}
