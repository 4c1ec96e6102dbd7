// The single running player: a local socket named after the program and
// the user, reachable only by that user. A second start connects, hands
// its path over in a copy-data record and ends.
#pragma once

#include <functional>
#include <string>

#include <QLocalServer>

namespace lumora {

// "lumora_stage-" and the user's name, inside the user's runtime directory
// when there is one.
std::string InstanceServerName();

// A second start: false when no player listens under the name. Otherwise
// the argument goes over when a running player takes it, and in every case
// the running window comes to the front.
bool HandToRunningInstance(const std::string& serverName, const std::string& argument);

class TInstanceServer {
 public:
  // OnPath gets the path of every well-formed record; OnContact is called
  // for every second start.
  std::function<void(const std::string&)> OnPath;
  std::function<void()> OnContact;

  // False when the name cannot be taken; a name left behind by a player
  // that died is taken over.
  bool Listen(const std::string& serverName);

 private:
  void accept();

  QLocalServer fServer;
};

}  // namespace lumora
