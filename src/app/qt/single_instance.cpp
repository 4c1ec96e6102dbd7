#include "app/qt/single_instance.h"

#include <pwd.h>
#include <unistd.h>

#include <QLocalSocket>
#include <QPointer>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <vector>

#include "app/program_entry.h"

namespace lumora {

namespace {

constexpr int kConnectTimeoutMs = 1000;
constexpr int kWriteTimeoutMs = 3000;

}  // namespace

// In the user's private runtime directory when there is one, so that no
// other user can take the name first; else in the shared temporary
// directory, where the socket itself is reachable only by the user.
std::string InstanceServerName() {
  const passwd* user = ::getpwuid(::getuid());
  const std::string name = std::string(kInstanceCaption) + "-" +
                           (user != nullptr && user->pw_name != nullptr ? user->pw_name : std::to_string(::getuid()));
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  std::error_code error;
  if (runtime != nullptr && *runtime == '/' && std::filesystem::is_directory(runtime, error)) {
    return (std::filesystem::path(runtime) / name).string();
  }
  return name;
}

bool HandToRunningInstance(const std::string& serverName, const std::string& argument) {
  QLocalSocket socket;
  socket.connectToServer(QString::fromStdString(serverName));
  if (!socket.waitForConnected(kConnectTimeoutMs)) return false;
  if (HandedToRunningInstance(argument)) {
    const std::vector<std::uint8_t> record = EncodeCopyData(argument);
    socket.write(reinterpret_cast<const char*>(record.data()), static_cast<qint64>(record.size()));
    socket.waitForBytesWritten(kWriteTimeoutMs);
  }
  socket.disconnectFromServer();
  if (socket.state() != QLocalSocket::UnconnectedState) socket.waitForDisconnected(kWriteTimeoutMs);
  return true;
}

bool TInstanceServer::Listen(const std::string& serverName) {
  const QString name = QString::fromStdString(serverName);
  fServer.setSocketOptions(QLocalServer::UserAccessOption);
  QObject::connect(&fServer, &QLocalServer::newConnection, &fServer, [this] { accept(); });
  if (fServer.listen(name)) return true;
  // Nobody answered under the name (the caller tried), so it is stale.
  QLocalServer::removeServer(name);
  return fServer.listen(name);
}

// The record is taken when the sender hangs up; one that grows beyond the
// largest record closes the connection and is dropped.
void TInstanceServer::accept() {
  while (QLocalSocket* socket = fServer.nextPendingConnection()) {
    auto buffer = std::make_shared<QByteArray>();
    QObject::connect(socket, &QLocalSocket::readyRead, socket, [socket, buffer] {
      buffer->append(socket->readAll());
      if (static_cast<std::size_t>(buffer->size()) > kCopyDataHeaderSize + kMaxCopyDataBytes) {
        buffer->clear();
        socket->abort();
      }
    });
    QObject::connect(socket, &QLocalSocket::disconnected, socket, [this, socket, buffer] {
      buffer->append(socket->readAll());
      socket->deleteLater();
      if (OnContact) OnContact();
      const auto* bytes = reinterpret_cast<const std::uint8_t*>(buffer->constData());
      const auto path = DecodeCopyData({bytes, static_cast<std::size_t>(buffer->size())});
      if (path && OnPath) OnPath(*path);
    });
  }
}

}  // namespace lumora
