// One running program per instance name.
//
// The first process claims the instance name (kv_instance_claim, a lock
// file in the user's runtime folder) and listens on a local socket named
// after it. A second process with the same name
// finds the lock taken; when asked to, it tells the first one through the
// socket to come forward (restored if minimised), and it must then end.
#pragma once

#include <QLocalServer>
#include <QString>
#include <functional>
#include <memory>

class QWidget;

class KvSingleInstance {
 public:
  explicit KvSingleInstance(const QString& name);
  ~KvSingleInstance();

  // true when this process is the instance. Otherwise, with activate set,
  // the running instance is asked to come forward.
  bool Acquire(bool activate_previous);
  // Called in the running instance when a later start asks it to come
  // forward.
  void SetActivateHandler(std::function<void()> fn) { m_on_activate = std::move(fn); }

  QString server_name() const { return m_server_name; }

 private:
  QString m_name;
  QString m_server_name;
  int m_claim = -1;
  std::unique_ptr<QLocalServer> m_server;
  std::function<void()> m_on_activate;
};

// Brings a top-level window forward, restored when minimised.
void kv_bring_to_front(QWidget* w);
