#include "platform/qt/single_instance.h"

#include "platform/sync.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalSocket>
#include <unistd.h>
#include <QWidget>

KvSingleInstance::KvSingleInstance(const QString& name) : m_name(name) {
  // The socket name is unique per user and runtime folder, like the claim.
  QString folder = QString::fromLocal8Bit(qgetenv("XDG_RUNTIME_DIR"));
  if (folder.isEmpty()) folder = QDir::tempPath() + QStringLiteral("/uid%1").arg(getuid());
  QByteArray key = (folder + QLatin1Char('/') + name).toUtf8();
  m_server_name =
      QStringLiteral("korvane-%1-%2")
          .arg(name, QString::fromLatin1(
                         QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex().left(12)));
}

KvSingleInstance::~KvSingleInstance() {
  if (m_server) m_server->close();
  kv_instance_release(m_claim);
}

bool KvSingleInstance::Acquire(bool activate_previous) {
  m_claim = kv_instance_claim(m_name.toUtf8().constData());
  if (m_claim >= 0) {
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
