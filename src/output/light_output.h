// TLightOutput: one destination of a patch, a range of the frame's channels
// sent as sACN, Art-Net or DDP packets or handed to an OLA daemon.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "output/channel_patch.h"
#include "output/component_id.h"
#include "output/network_address.h"
#include "output/udp_socket.h"

namespace lumora::output {

// What receivers see of this player: the sACN source name and CID.
inline constexpr const char* kSourceName = "Lumora Stage";

class TLightOutput {
 public:
  virtual ~TLightOutput() = default;

  // "sACN universes 1–13 to 239.255.0.1 …", for reports.
  const std::string& Name() const { return fName; }
  // Sends this output's range of a frame's channels (the whole frame is
  // given) with the sending thread's scratch; empty on success, else why
  // it failed. Opens what it needs on first use, and again after a failure.
  virtual std::string Send(std::span<const std::uint8_t> frame, TSendScratch& scratch) = 0;
  // The source stops sending: a protocol that announces it does so with the
  // frame given (sACN: three stream-terminated packets a universe). Sends
  // nothing when nothing was sent before.
  virtual std::string Terminate(std::span<const std::uint8_t> /*frame*/, TSendScratch& /*scratch*/) { return {}; }
  // Where each packet of a frame goes, in order, as computed; nothing is
  // sent.
  virtual std::vector<TEndpoint> Destinations() const = 0;

 protected:
  explicit TLightOutput(std::string name) : fName(std::move(name)) {}

 private:
  std::string fName;
};

std::unique_ptr<TLightOutput> MakeLightOutput(const TOutputRoute& route, const TComponentId& cid);

}  // namespace lumora::output
