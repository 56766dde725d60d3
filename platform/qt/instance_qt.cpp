#include "platform/qt/instance_qt.h"

#include <unistd.h>

#include <QLocalServer>
#include <QLocalSocket>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "platform/os/hand_over.h"
#include "platform/os/os_services.h"

namespace {

constexpr int kConnectTimeoutMs = 1000;
// A running instance busy in a box still reads its socket from that box's
// loop; one that does not read in this time is hung.
constexpr int kSendTimeoutMs = 2000;
constexpr qsizetype kMaxSocketPath = 100;  // a Unix socket path holds 108 bytes

// Writes `request` whole and disconnects; the receiver acts on what it has
// read once it sees the disconnect.
void SendRequest(QLocalSocket& socket, const std::string& request) {
  socket.write(request.data(), static_cast<qint64>(request.size()));
  while (socket.bytesToWrite() > 0)
    if (!socket.waitForBytesWritten(kSendTimeoutMs)) break;
  socket.disconnectFromServer();
  if (socket.state() != QLocalSocket::UnconnectedState) socket.waitForDisconnected(kSendTimeoutMs);
}

// The folder of the lock file, so that the socket lives beside it.
QString RuntimeFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && *runtime) return QString::fromLocal8Bit(runtime);
  return QString::fromLocal8Bit(os::ConfigDirectory().c_str());
}

std::string LockName(const char* name) { return std::string("talverine-") + (name ? name : ""); }

}  // namespace

SingleInstance::SingleInstance(std::function<void()> raise, std::function<void(Files)> load)
    : raise_(std::move(raise)), load_(std::move(load)) {}

SingleInstance::~SingleInstance() { Release(); }

QString SingleInstance::ServerName(const char* name) {
  const QString base = QStringLiteral("talverine-%1-%2").arg(QString::fromUtf8(name ? name : "")).arg(getuid());
  const QString path = RuntimeFolder() + QLatin1Char('/') + base + QStringLiteral(".socket");
  return path.size() <= kMaxSocketPath ? path : base;
}

bool SingleInstance::Acquire(const char* name, const Files& files) {
  if (locked_) return true;
  const QString serverName = ServerName(name);
  if (!os::LockSingleInstance(LockName(name))) {
    QLocalSocket socket;
    socket.connectToServer(serverName);
    if (socket.waitForConnected(kConnectTimeoutMs)) SendRequest(socket, os::EncodeHandOver(files));
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
  while (QLocalSocket* socket = server_->nextPendingConnection()) Serve(socket);
}

// Gathers one request, in however many pieces it comes, and acts on it when
// the sender has gone; a request longer than any well-formed one ends the
// connection unread.
void SingleInstance::Serve(QLocalSocket* socket) {
  auto request = std::make_shared<std::string>();
  auto read = [socket, request] {
    const QByteArray piece = socket->readAll();
    if (request->size() + static_cast<size_t>(piece.size()) > os::kMaxHandOverBytes) {
      request->clear();
      socket->abort();
      return;
    }
    request->append(piece.constData(), static_cast<size_t>(piece.size()));
  };
  auto finish = [this, socket, request, read] {
    if (socket->bytesAvailable() > 0) read();
    const std::optional<Files> files = os::DecodeHandOver(*request);
    request->clear();
    socket->deleteLater();
    if (!files) return;
    if (raise_) raise_();
    if (!files->empty() && load_) load_(*files);
  };
  QObject::connect(socket, &QLocalSocket::readyRead, socket, read);
  QObject::connect(socket, &QLocalSocket::disconnected, socket, finish);
  if (socket->bytesAvailable() > 0) read();
}

void SingleInstance::Release() {
  if (server_) {
    server_->close();
    server_.reset();
  }
  if (locked_) os::UnlockSingleInstance();
  locked_ = false;
}
