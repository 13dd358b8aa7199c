#include "platform/qt/test_harness.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMetaObject>
#include <QPixmap>
#include <QTimer>
#include <cstdlib>

#include "platform/qt/app.h"
#include "platform/qt/controls.h"
#include "platform/qt/dialog.h"

KvApp* kv_test_app() {
  static KvApp* app = nullptr;
  if (!app) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "korvane-test";
    static char* argv[] = {name, nullptr};
    // Message boxes and file dialogs stay with the services the test set up.
    app = new KvApp(argc, argv, false);
  }
  return app;
}

void kv_pump_events(int ms) {
  QElapsedTimer t;
  t.start();
  do {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  } while (t.elapsed() < ms);
}

bool kv_wait_until(const std::function<bool()>& pred, int timeout_ms) {
  QElapsedTimer t;
  t.start();
  while (!pred()) {
    if (t.elapsed() > timeout_ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  return true;
}

bool kv_click(QWidget* root, int id) {
  auto* b = qobject_cast<QAbstractButton*>(kv_find_control(root, id));
  if (!b || !b->isEnabled()) return false;
  b->click();
  return true;
}

static void send_key(QWidget* w, int key, const QString& text,
                     Qt::KeyboardModifiers mods = Qt::NoModifier) {
  QKeyEvent press(QEvent::KeyPress, key, mods, text);
  QCoreApplication::sendEvent(w, &press);
  QKeyEvent release(QEvent::KeyRelease, key, mods, text);
  QCoreApplication::sendEvent(w, &release);
}

bool kv_type(QWidget* root, int id, const QString& text) {
  QWidget* w = kv_find_control(root, id);
  QLineEdit* edit = qobject_cast<QLineEdit*>(w);
  if (auto* c = qobject_cast<QComboBox*>(w)) edit = c->lineEdit();
  if (!edit || !edit->isEnabled()) return false;
  edit->setFocus();
  send_key(edit, Qt::Key_A, QString(), Qt::ControlModifier);
  send_key(edit, Qt::Key_Delete, QString());
  for (QChar ch : text) send_key(edit, 0, QString(ch));
  return edit->text() == text;
}

bool kv_choose(QWidget* root, int id, int index) {
  QWidget* w = kv_find_control(root, id);
  if (auto* c = qobject_cast<QComboBox*>(w)) {
    if (index < 0 || index >= c->count()) return false;
    c->setCurrentIndex(index);
    emit c->activated(index);
    if (auto* kc = dynamic_cast<KvComboBox*>(c)) emit kc->closedUp();
    return true;
  }
  if (auto* l = qobject_cast<QListWidget*>(w)) {
    if (index < 0 || index >= l->count()) return false;
    l->setCurrentRow(index);
    return true;
  }
  return false;
}

bool kv_set_check(QWidget* root, int id, bool checked) {
  auto* b = qobject_cast<QAbstractButton*>(kv_find_control(root, id));
  if (!b) return false;
  if (b->isChecked() != checked) b->click();
  return b->isChecked() == checked;
}

void kv_when_modal(std::function<void(QWidget*)> fn) {
  auto* timer = new QTimer;
  timer->setInterval(5);
  QObject::connect(timer, &QTimer::timeout, [timer, fn] {
    QWidget* m = QApplication::activeModalWidget();
    if (!m) return;
    timer->stop();
    timer->deleteLater();
    fn(m);
  });
  timer->start();
}

bool kv_grab_png(QWidget* w, const QString& path) {
  return w && w->grab().save(path, "PNG");
}

bool kv_save_png(const QImage& image, const QString& path) {
  return image.save(path, "PNG");
}
