// TUdpReceiver: a UDP socket bound to one address and port that waits for
// datagrams with a timeout and answers from the same port, for the
// MultiSync leader and follower, timecode in and the OSC server. The only
// receiving socket code of the sync layer.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "output/network_address.h"

namespace lumora::sync {

// The largest datagram taken whole; longer ones arrive cut to this length.
inline constexpr std::size_t kMaxDatagram = 65536;

struct TReceived {
  std::size_t Size = 0;
  output::TEndpoint From;
  // The datagram was longer than the buffer and was cut.
  bool Truncated = false;
};

class TUdpReceiver {
 public:
  TUdpReceiver() = default;
  ~TUdpReceiver();
  TUdpReceiver(const TUdpReceiver&) = delete;
  TUdpReceiver& operator=(const TUdpReceiver&) = delete;

  // Binds address (0: every local address) and port (0: a free one).
  // Empty on success, else why not.
  std::string Open(std::uint32_t address, std::uint16_t port);
  bool IsOpen() const { return fHandle >= 0; }
  void Close();
  // The bound port, once open.
  std::uint16_t Port() const { return fPort; }

  // Waits up to timeoutMs (0: returns at once) for one datagram into buffer;
  // nullopt when none came (or the socket failed: error says why).
  std::optional<TReceived> Receive(std::span<std::uint8_t> buffer, int timeoutMs, std::string& error);
  // Sends one datagram from the bound port without waiting; one thread may
  // send while another receives. Empty on success, else why not.
  std::string SendTo(std::span<const std::uint8_t> datagram, const output::TEndpoint& to);

 private:
  int fHandle = -1;
  std::uint16_t fPort = 0;
};

}  // namespace lumora::sync
