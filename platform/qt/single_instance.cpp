#include "platform/qt/single_instance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QWidget>

KvSingleInstance::KvSingleInstance(const QString& name, const QString& dir) {
  QString folder = dir;
  if (folder.isEmpty()) folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  if (folder.isEmpty()) folder = QDir::tempPath();
  // The socket name is unique per user and per lock folder.
  QByteArray key = (folder + QLatin1Char('/') + name).toUtf8();
  m_server_name = QStringLiteral("korvane-%1-%2")
                      .arg(name, QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex().left(12)));
  m_lock = std::make_unique<QLockFile>(folder + QStringLiteral("/korvane-%1.lock").arg(name));
  m_lock->setStaleLockTime(0);
}

KvSingleInstance::~KvSingleInstance() {
  if (m_server) m_server->close();
}

bool KvSingleInstance::Acquire(bool activate_previous) {
  if (m_lock->tryLock(0)) {
    QLocalServer::removeServer(m_server_name);
    m_server = std::make_unique<QLocalServer>();
    QObject::connect(m_server.get(), &QLocalServer::newConnection, m_server.get(), [this] {
      while (QLocalSocket* s = m_server->nextPendingConnection()) {
        QObject::connect(s, &QLocalSocket::readyRead, s, [this, s] {
          if (s->readAll().contains("activate") && m_on_activate) m_on_activate();
        });
        QObject::connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
      }
    });
    m_server->listen(m_server_name);
    return true;
  }
  if (activate_previous) {
    QLocalSocket s;
    s.connectToServer(m_server_name);
    if (s.waitForConnected(1000)) {
      s.write("activate\n");
      s.waitForBytesWritten(1000);
      s.disconnectFromServer();
    }
  }
  return false;
}

void kv_bring_to_front(QWidget* w) {
  if (!w) return;
  if (w->isMinimized()) w->showNormal();
  w->show();
  w->raise();
  w->activateWindow();
}
