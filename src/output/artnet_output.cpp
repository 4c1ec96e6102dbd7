#include <algorithm>
#include <array>
#include <vector>

#include "output/artnet_packet.h"
#include "output/network_address.h"
#include "output/output_kinds_p.h"
#include "output/udp_socket.h"

namespace lumora::output {

namespace {

using THeader = std::array<std::uint8_t, kArtDmxHeaderSize>;

// ArtDmx lengths are even: an odd universe is sent with one more slot of 0.
constexpr std::array<std::uint8_t, 1> kPadSlot = {0};

// Every port-address to one node, or broadcast to all.
class TArtNetOutput final : public TLightOutput {
 public:
  explicit TArtNetOutput(const TOutputRoute& route);
  std::string Send(std::span<const std::uint8_t> frame, TSendScratch& scratch) override;
  std::vector<TEndpoint> Destinations() const override {
    return std::vector<TEndpoint>(fDatagrams.size(), fDestination);
  }

 private:
  TOutputRoute fRoute;
  TEndpoint fDestination;
  std::vector<THeader> fHeaders;
  // 1–255, then 1 again; 0 would tell nodes to ignore the order.
  std::vector<std::uint8_t> fSequences;
  std::array<std::uint8_t, kArtSyncPacketSize> fSync = ArtSyncPacket();
  std::vector<TDatagram> fDatagrams;
  TUdpSocket fSocket;
};

TEndpoint destinationOf(const TOutputRoute& route) {
  return {route.Address.value_or(kLimitedBroadcast), route.Port};
}

std::string describe(const TOutputRoute& route) {
  return "Art-Net " + UniverseRangeText("port-address", route.Universe, route.UniverseCount()) + " to " +
         FormatEndpoint(destinationOf(route));
}

TArtNetOutput::TArtNetOutput(const TOutputRoute& route)
    : TLightOutput(describe(route)), fRoute(route), fDestination(destinationOf(route)), fHeaders(route.UniverseCount()),
      fSequences(route.UniverseCount(), 0) {
  for (std::uint32_t k = 0; k < fHeaders.size(); ++k) {
    const std::uint32_t slots = std::min(route.UniverseSize, route.Count - k * route.UniverseSize);
    const bool odd = slots % 2 == 1;
    WriteArtDmxHeader(fHeaders[k], static_cast<std::uint16_t>(route.Universe + k), static_cast<std::uint16_t>(slots + odd));
    const std::span<const std::uint8_t> pad = odd ? std::span<const std::uint8_t>(kPadSlot) : std::span<const std::uint8_t>();
    fDatagrams.push_back({fHeaders[k], {}, pad, fDestination});
  }
  if (route.Sync) fDatagrams.push_back({fSync, {}, {}, fDestination});
}

std::string TArtNetOutput::Send(std::span<const std::uint8_t> frame, TSendScratch& scratch) {
  const std::span<const std::uint8_t> channels = OutputChannels(fRoute, frame);
  if (channels.empty()) return kShortFrame;
  if (!fSocket.IsOpen()) {
    const std::string error = fSocket.Open(fRoute.Interface, fDestination);
    if (!error.empty()) return error;
  }
  for (std::size_t k = 0; k < fHeaders.size(); ++k) {
    fSequences[k] = fSequences[k] == 255 ? 1 : fSequences[k] + 1;
    SetArtDmxSequence(fHeaders[k], fSequences[k]);
    const std::size_t first = k * fRoute.UniverseSize;
    fDatagrams[k].Body = channels.subspan(first, std::min<std::size_t>(fRoute.UniverseSize, channels.size() - first));
  }
  std::string error = fSocket.Send(fDatagrams, scratch);
  if (!error.empty()) fSocket.Close();
  return error;
}

}  // namespace

std::unique_ptr<TLightOutput> MakeArtNetOutput(const TOutputRoute& route) {
  return std::make_unique<TArtNetOutput>(route);
}

}  // namespace lumora::output
