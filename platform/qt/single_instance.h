// One running program per instance name.
//
// The first process takes a lock file named after the instance and listens
// on a local socket of the same name. A second process with the same name
// finds the lock taken; when asked to, it tells the first one through the
// socket to come forward (restored if minimised), and it must then end.
#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QString>
#include <functional>
#include <memory>

class QWidget;

class KvSingleInstance {
 public:
  // dir: where the lock file lives (empty: the user's runtime folder).
  explicit KvSingleInstance(const QString& name, const QString& dir = QString());
  ~KvSingleInstance();

  // true when this process is the instance. Otherwise, with activate set,
  // the running instance is asked to come forward.
  bool Acquire(bool activate_previous);
  // Called in the running instance when a later start asks it to come
  // forward.
  void SetActivateHandler(std::function<void()> fn) { m_on_activate = std::move(fn); }

  QString server_name() const { return m_server_name; }

 private:
  QString m_server_name;
  std::unique_ptr<QLockFile> m_lock;
  std::unique_ptr<QLocalServer> m_server;
  std::function<void()> m_on_activate;
};

// Brings a top-level window forward, restored when minimised.
void kv_bring_to_front(QWidget* w);
