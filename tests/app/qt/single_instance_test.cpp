#include "app/qt/single_instance.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstring>
#include <filesystem>

#include "app/program_entry.h"
#include "app/qt/test_application.h"
#include "support/show_fixtures.h"

namespace lumora {
namespace {

// A listening socket at the path, made without Qt so that a child process
// may make it; -1 on failure.
int listenAt(const std::string& path, int backlog) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, backlog) != 0) return -1;
  return fd;
}

// A child that does `work` and ends; the parent waits for it.
template <class TWork>
pid_t child(const TWork& work) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    work();
    ::_exit(0);
  }
  return pid;
}

void reap(pid_t pid) {
  int status = 0;
  ::waitpid(pid, &status, 0);
}

// The lock and the socket live in the user's private directory; the lock
// has one owner at a time and is free again once its owner's process ends.
TEST(SingleInstance, TheLockHasOneOwnerAndGoesWithItsProcess) {
  test::TPlayerDir dir("instance_lock");
  const TInstancePaths paths = InstancePaths();
  EXPECT_EQ(paths.Lock, dir.Private("instance.lock"));
  EXPECT_EQ(paths.Socket, dir.Private("instance"));
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t owner = child([&] {
    const TInstanceLock lock(paths.Lock);
    const char held = lock.Held() ? 'y' : 'n';
    [[maybe_unused]] const auto written = ::write(ready[1], &held, 1);
    ::pause();
  });
  char held = 0;
  ASSERT_EQ(::read(ready[0], &held, 1), 1);
  EXPECT_EQ(held, 'y');
  EXPECT_FALSE(TInstanceLock(paths.Lock).Held()) << "the owner lives";
  ::kill(owner, SIGKILL);
  reap(owner);
  EXPECT_TRUE(TInstanceLock(paths.Lock).Held()) << "the kernel released a dead owner's lock";
  ::close(ready[0]);
  ::close(ready[1]);
}

// A player whose backlog is full is busy, not gone: the second start waits,
// gives up, and leaves the socket where it is.
TEST(SingleInstance, ASecondStartLeavesABusyPlayersSocketAlone) {
  test::application();
  test::TPlayerDir dir("instance_busy");
  const std::string path = dir.Path("busy");
  const int server = listenAt(path, 0);
  ASSERT_GE(server, 0);
  std::vector<int> waiting;
  for (int i = 0; i < 8; ++i) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    waiting.push_back(fd);
  }
  EXPECT_FALSE(HandToRunningInstance(path, "show.ctl", 300));
  EXPECT_TRUE(std::filesystem::exists(path)) << "the socket is not taken for stale";
  for (const int fd : waiting) ::close(fd);
  ::close(server);
}

// A player that holds the lock but does not listen yet is starting: the
// second start tries again until it answers, then hands its path over.
TEST(SingleInstance, ASecondStartWaitsForAPlayerThatIsStarting) {
  test::application();
  test::TPlayerDir dir("instance_late");
  const std::string path = dir.Path("late");
  int received[2];
  ASSERT_EQ(::pipe(received), 0);
  const pid_t late = child([&] {
    ::usleep(300000);
    const int server = listenAt(path, 4);
    const int peer = ::accept(server, nullptr, nullptr);
    char bytes[256];
    ssize_t n = 0;
    while ((n = ::read(peer, bytes, sizeof bytes)) > 0) {
      [[maybe_unused]] const auto written = ::write(received[1], bytes, static_cast<std::size_t>(n));
    }
  });
  EXPECT_TRUE(HandToRunningInstance(path, "late.ctl", 10000));
  reap(late);
  std::vector<std::uint8_t> record(256);
  const ssize_t n = ::read(received[0], record.data(), record.size());
  record.resize(static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
  EXPECT_EQ(DecodeCopyData(record), "late.ctl");
  ::close(received[0]);
  ::close(received[1]);
}

// Both ends check the other's user: the player closes a stranger's
// connection unread, and a second start hands nothing to a stranger.
TEST(SingleInstance, NothingPassesBetweenUsers) {
  test::application();
  test::TPlayerDir dir("instance_users");
  TInstanceServer server;
  server.ExpectedUserId = ::getuid() + 1;
  int contacts = 0;
  server.OnContact = [&] { ++contacts; };
  server.OnPath = [&](const std::string&) { ++contacts; };
  const std::string name = dir.Path("player");
  ASSERT_TRUE(server.Listen(name));
  HandToRunningInstance(name, "show.ctl", 1000);
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < 300) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  EXPECT_EQ(contacts, 0);

  if (::getuid() != 0) GTEST_SKIP() << "a stranger's player needs root to start";
  const std::string strangers = "/tmp/lumora_stranger_" + std::to_string(::getpid());
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t stranger = child([&] {
    if (::setuid(65534) != 0) return;
    const int fd = listenAt(strangers, 4);
    [[maybe_unused]] const auto written = ::write(ready[1], "r", 1);
    while (fd >= 0) ::close(::accept(fd, nullptr, nullptr));
  });
  char byte = 0;
  ASSERT_EQ(::read(ready[0], &byte, 1), 1);
  EXPECT_FALSE(HandToRunningInstance(strangers, "show.ctl", 1000)) << "another user's player is no player of ours";
  ::kill(stranger, SIGKILL);
  reap(stranger);
  std::filesystem::remove(strangers);
  ::close(ready[0]);
  ::close(ready[1]);
}

}  // namespace
}  // namespace lumora
