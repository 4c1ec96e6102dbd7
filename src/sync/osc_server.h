// The OSC edge: a UDP socket bound to the configured address (127.0.0.1
// unless told otherwise) whose datagrams are parsed and mapped to commands,
// timecode positions or errors; and the optional status sent back to one
// configured client. The server never touches the show: its caller posts
// the commands to the bus.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "output/network_address.h"
#include "output/udp_socket.h"
#include "sync/command_table.h"
#include "sync/osc_mapping.h"
#include "sync/udp_receiver.h"

namespace lumora::sync {

inline constexpr std::uint16_t kDefaultOscPort = 9000;

class TOscServer {
 public:
  // The table must outlive the server.
  explicit TOscServer(const ICommandTable& commands, std::string prefix = kOscPrefix);

  // Empty on success, else why not.
  std::string Open(std::uint32_t address, std::uint16_t port);
  std::uint16_t Port() const { return fSocket.Port(); }

  struct TInput {
    TOscInput Input;
    output::TEndpoint From;
  };
  // Waits up to timeoutMs for one datagram and returns what its messages
  // ask, in order (a malformed datagram gives one error).
  std::vector<TInput> Receive(int timeoutMs);

 private:
  const ICommandTable& fCommands;
  std::string fPrefix;
  TUdpReceiver fSocket;
  std::vector<std::uint8_t> fBuffer;
};

// What the status feedback tells a client.
struct TOscStatus {
  std::string State;
  std::string File;
  std::int64_t Frame = 0;
  std::int64_t Entry = 0;
  std::int64_t Entries = 0;
  friend bool operator==(const TOscStatus&, const TOscStatus&) = default;
};

// Sends "/lumora/status/frame i" on every call, and ".../state s",
// ".../file s" and ".../entry i i" (index, count) when they changed.
class TOscFeedback {
 public:
  explicit TOscFeedback(output::TEndpoint client, std::string prefix = kOscPrefix);

  // Empty on success, else why not (the next call tries again).
  std::string Send(const TOscStatus& status);

 private:
  std::string send(const std::string& path, const std::vector<TOscArgument>& arguments);

  output::TEndpoint fClient;
  std::string fPrefix;
  output::TUdpSocket fSocket;
  output::TSendScratch fScratch;
  std::optional<TOscStatus> fLast;
};

}  // namespace lumora::sync
