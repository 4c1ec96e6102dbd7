// The single running player. Ownership is a lock on a file in the user's
// private directory, which the kernel releases when the owner dies; the
// owner listens on a local socket beside it. A second start that finds the
// lock taken connects, hands its path over in a copy-data record and ends;
// both ends check that the other runs as the same user.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include <QLocalServer>
#include <QTimer>

#include "app/hand_off_queue.h"

namespace lumora {

// How long a second start waits for a busy player to take its path.
inline constexpr int kHandOffWaitMs = 15000;

// The lock file and the socket, in the user's private directory (see
// io/private_directory.h), which is made when missing. Raises TLoadError
// when there is no such directory to be had.
struct TInstancePaths {
  std::string Lock;
  std::string Socket;
};
TInstancePaths InstancePaths();

// An exclusive lock on the file, tried once without waiting; held until the
// object goes or the process ends.
class TInstanceLock {
 public:
  explicit TInstanceLock(const std::string& path);
  ~TInstanceLock();
  TInstanceLock(const TInstanceLock&) = delete;
  TInstanceLock& operator=(const TInstanceLock&) = delete;
  bool Held() const { return fFd >= 0; }

 private:
  int fFd = -1;
};

// A second start, while another process holds the lock. Tries for up to
// waitMs to reach a player of the same user under the name, which may be
// starting or busy; false when none answered. A player found takes the
// argument when it is one to hand over, and comes to the front in every
// case.
bool HandToRunningInstance(const std::string& serverName, const std::string& argument,
                           int waitMs = kHandOffWaitMs);

class TInstanceServer {
 public:
  TInstanceServer();

  // OnPath gets the path of every well-formed record, one at a time from
  // the event loop (never inside another call of its own); OnContact is
  // called for every second start.
  std::function<void(const std::string&)> OnPath;
  std::function<void()> OnContact;
  // Connections from another user are closed unread; tests change it.
  std::uint32_t ExpectedUserId;

  // False when the name cannot be taken. The caller holds the instance
  // lock, so a socket left under the name belongs to a player that is gone
  // and is removed first.
  bool Listen(const std::string& serverName);
  const THandOffQueue& Queue() const { return fQueue; }

 private:
  void accept();
  void deliverNext();

  QLocalServer fServer;
  THandOffQueue fQueue;
  QTimer fDelivery;
  bool fDelivering = false;
};

}  // namespace lumora
