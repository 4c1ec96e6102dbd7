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
  explicit TArtNetOutput(const TOutputSpec& spec);
  std::string Send(std::span<const std::uint8_t> frame) override;
  std::vector<TEndpoint> Destinations() const override {
    return std::vector<TEndpoint>(fDatagrams.size(), fDestination);
  }

 private:
  TOutputSpec fSpec;
  TEndpoint fDestination;
  std::vector<THeader> fHeaders;
  // 1–255, then 1 again; 0 would tell nodes to ignore the order.
  std::vector<std::uint8_t> fSequences;
  std::array<std::uint8_t, kArtSyncPacketSize> fSync = ArtSyncPacket();
  std::vector<TDatagram> fDatagrams;
  TUdpSocket fSocket;
};

TEndpoint destinationOf(const TOutputSpec& spec) {
  return {spec.Address != 0 ? spec.Address : kLimitedBroadcast, spec.Port};
}

std::string describe(const TOutputSpec& spec) {
  return "Art-Net " + UniverseRangeText("port-address", spec.Universe, spec.UniverseCount()) + " to " +
         FormatEndpoint(destinationOf(spec));
}

TArtNetOutput::TArtNetOutput(const TOutputSpec& spec)
    : TLightOutput(describe(spec)), fSpec(spec), fDestination(destinationOf(spec)), fHeaders(spec.UniverseCount()),
      fSequences(spec.UniverseCount(), 0) {
  for (std::uint32_t k = 0; k < fHeaders.size(); ++k) {
    const std::uint32_t slots = std::min(spec.UniverseSize, spec.Count - k * spec.UniverseSize);
    const bool odd = slots % 2 == 1;
    WriteArtDmxHeader(fHeaders[k], static_cast<std::uint16_t>(spec.Universe + k), static_cast<std::uint16_t>(slots + odd));
    const std::span<const std::uint8_t> pad = odd ? std::span<const std::uint8_t>(kPadSlot) : std::span<const std::uint8_t>();
    fDatagrams.push_back({fHeaders[k], {}, pad, fDestination});
  }
  if (spec.Sync) fDatagrams.push_back({fSync, {}, {}, fDestination});
}

std::string TArtNetOutput::Send(std::span<const std::uint8_t> frame) {
  const std::span<const std::uint8_t> channels = OutputChannels(fSpec, frame);
  if (channels.empty()) return kShortFrame;
  if (!fSocket.IsOpen()) {
    const std::string error = fSocket.Open(fSpec.Interface, fDestination);
    if (!error.empty()) return error;
  }
  for (std::size_t k = 0; k < fHeaders.size(); ++k) {
    fSequences[k] = fSequences[k] == 255 ? 1 : fSequences[k] + 1;
    SetArtDmxSequence(fHeaders[k], fSequences[k]);
    const std::size_t first = k * fSpec.UniverseSize;
    fDatagrams[k].Body = channels.subspan(first, std::min<std::size_t>(fSpec.UniverseSize, channels.size() - first));
  }
  std::string error = fSocket.Send(fDatagrams);
  if (!error.empty()) fSocket.Close();
  return error;
}

}  // namespace

std::unique_ptr<TLightOutput> MakeArtNetOutput(const TOutputSpec& spec) {
  return std::make_unique<TArtNetOutput>(spec);
}

}  // namespace lumora::output
