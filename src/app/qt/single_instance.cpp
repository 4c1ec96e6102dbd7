#include "app/qt/single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QLocalSocket>
#include <QThread>

#include <algorithm>
#include <vector>

#include "app/program_entry.h"
#include "io/private_directory.h"

namespace lumora {

namespace {

constexpr int kWriteTimeoutMs = 3000;
// A player that holds the lock but does not listen yet is starting.
constexpr int kRetryMs = 50;

bool connectedToOwnUser(const QLocalSocket& socket) {
  return PeerUserId(static_cast<int>(socket.socketDescriptor())) == ::getuid();
}

// The record goes over only to a player of the same user; the running
// player comes to the front when the connection ends.
bool handOver(QLocalSocket& socket, const std::string& argument) {
  if (!connectedToOwnUser(socket)) return false;
  if (HandedToRunningInstance(argument)) {
    const std::vector<std::uint8_t> record = EncodeCopyData(argument);
    socket.write(reinterpret_cast<const char*>(record.data()), static_cast<qint64>(record.size()));
    socket.waitForBytesWritten(kWriteTimeoutMs);
  }
  socket.disconnectFromServer();
  if (socket.state() != QLocalSocket::UnconnectedState) socket.waitForDisconnected(kWriteTimeoutMs);
  return true;
}

}  // namespace

TInstancePaths InstancePaths() {
  const std::string dir = MakePrivateDirectory();
  return {dir + kInstanceLockName, dir + kInstanceSocketName};
}

TInstanceLock::TInstanceLock(const std::string& path) {
  fFd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, S_IRUSR | S_IWUSR);
  if (fFd >= 0 && ::flock(fFd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fFd);
    fFd = -1;
  }
}

TInstanceLock::~TInstanceLock() {
  if (fFd >= 0) ::close(fFd);
}

// A full backlog keeps the connection waiting, and a name not there yet
// (the player is starting) is tried again, until the time is up.
bool HandToRunningInstance(const std::string& serverName, const std::string& argument, int waitMs) {
  const QString name = QString::fromStdString(serverName);
  QElapsedTimer clock;
  clock.start();
  for (;;) {
    QLocalSocket socket;
    socket.connectToServer(name);
    const int left = static_cast<int>(std::max<qint64>(waitMs - clock.elapsed(), 0));
    if (socket.waitForConnected(left)) return handOver(socket, argument);
    if (clock.elapsed() >= waitMs) return false;
    QThread::msleep(static_cast<unsigned long>(std::min<qint64>(kRetryMs, waitMs - clock.elapsed())));
  }
}

TInstanceServer::TInstanceServer() : ExpectedUserId(::getuid()) {
  fDelivery.setSingleShot(true);
  fDelivery.setInterval(0);
  QObject::connect(&fDelivery, &QTimer::timeout, &fServer, [this] { deliverNext(); });
  QObject::connect(&fServer, &QLocalServer::newConnection, &fServer, [this] { accept(); });
}

bool TInstanceServer::Listen(const std::string& serverName) {
  const QString name = QString::fromStdString(serverName);
  fServer.setSocketOptions(QLocalServer::UserAccessOption);
  if (fServer.listen(name)) return true;
  QLocalServer::removeServer(name);
  return fServer.listen(name);
}

// Connections from another user, and more than the queue reads at once,
// are closed unread; a record that grows past the largest is dropped.
void TInstanceServer::accept() {
  while (QLocalSocket* socket = fServer.nextPendingConnection()) {
    const auto peer = PeerUserId(static_cast<int>(socket->socketDescriptor()));
    const auto connection = peer == ExpectedUserId ? fQueue.Open() : std::nullopt;
    if (!connection) {
      socket->abort();
      socket->deleteLater();
      continue;
    }
    const std::uint64_t id = *connection;
    const auto receive = [this, socket, id] {
      const QByteArray bytes = socket->readAll();
      return fQueue.Receive(id, {reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                 static_cast<std::size_t>(bytes.size())});
    };
    QObject::connect(socket, &QLocalSocket::readyRead, socket, [socket, receive] {
      if (!receive()) socket->abort();
    });
    QObject::connect(socket, &QLocalSocket::disconnected, socket, [this, socket, id, receive] {
      receive();
      socket->deleteLater();
      if (OnContact) OnContact();
      if (fQueue.Close(id) && !fDelivering) fDelivery.start();
    });
  }
}

// One path at a time: the next waits until this one is done, whatever
// event loop its handling runs in the meantime.
void TInstanceServer::deliverNext() {
  const std::optional<std::string> path = fQueue.Next();
  if (!path) return;
  fDelivering = true;
  if (OnPath) OnPath(*path);
  fDelivering = false;
  if (fQueue.Waiting() > 0) fDelivery.start();
}

}  // namespace lumora
