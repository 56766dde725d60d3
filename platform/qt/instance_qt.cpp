#include "platform/qt/instance_qt.h"

#include <unistd.h>

#include <QLocalServer>
#include <QLocalSocket>
#include <cstdlib>

#include "platform/os/os_services.h"

namespace {

constexpr int kConnectTimeoutMs = 1000;
constexpr qsizetype kMaxSocketPath = 100;  // a Unix socket path holds 108 bytes
const char kRaiseRequest[] = "raise\n";

// The folder of the lock file, so that the socket lives beside it.
QString RuntimeFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && *runtime) return QString::fromLocal8Bit(runtime);
  return QString::fromLocal8Bit(os::ConfigDirectory().c_str());
}

std::string LockName(const char* name) { return std::string("talverine-") + (name ? name : ""); }

}  // namespace

SingleInstance::SingleInstance(std::function<void()> raise) : raise_(std::move(raise)) {}

SingleInstance::~SingleInstance() { Release(); }

QString SingleInstance::ServerName(const char* name) {
  const QString base = QStringLiteral("talverine-%1-%2").arg(QString::fromUtf8(name ? name : "")).arg(getuid());
  const QString path = RuntimeFolder() + QLatin1Char('/') + base + QStringLiteral(".socket");
  return path.size() <= kMaxSocketPath ? path : base;
}

bool SingleInstance::Acquire(const char* name) {
  if (locked_) return true;
  const QString serverName = ServerName(name);
  if (!os::LockSingleInstance(LockName(name))) {
    QLocalSocket socket;
    socket.connectToServer(serverName);
    if (socket.waitForConnected(kConnectTimeoutMs)) {
      socket.write(kRaiseRequest);
      socket.waitForBytesWritten(kConnectTimeoutMs);
      socket.disconnectFromServer();
    }
    return false;
  }
  locked_ = true;
  // Holding the lock, any socket left at that name is a crashed run's.
  QLocalServer::removeServer(serverName);
  server_ = std::make_unique<QLocalServer>();
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  QObject::connect(server_.get(), &QLocalServer::newConnection, server_.get(), [this] { OnConnection(); });
  // Without the socket the program still runs; a later start just cannot
  // raise this window.
  server_->listen(serverName);
  return true;
}

void SingleInstance::OnConnection() {
  while (QLocalSocket* socket = server_->nextPendingConnection()) {
    auto handle = [this, socket] {
      if (socket->readAll().contains("raise") && raise_) raise_();
    };
    QObject::connect(socket, &QLocalSocket::readyRead, socket, handle);
    QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    if (socket->bytesAvailable() > 0) handle();
  }
}

void SingleInstance::Release() {
  if (server_) {
    server_->close();
    server_.reset();
  }
  if (locked_) os::UnlockSingleInstance();
  locked_ = false;
}
