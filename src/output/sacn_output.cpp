#include <algorithm>
#include <array>
#include <vector>

#include "output/network_address.h"
#include "output/output_kinds_p.h"
#include "output/sacn_packet.h"
#include "output/udp_socket.h"

namespace lumora::output {

namespace {

using THeader = std::array<std::uint8_t, kSacnDataHeaderSize>;

// Each universe to its multicast group, or everything to one host.
class TSacnOutput final : public TLightOutput {
 public:
  TSacnOutput(const TOutputSpec& spec, const TComponentId& cid);
  std::string Send(std::span<const std::uint8_t> frame) override;
  std::vector<TEndpoint> Destinations() const override;

 private:
  TEndpoint destination(std::uint32_t universe) const {
    return {fSpec.Address != 0 ? fSpec.Address : SacnMulticastAddress(static_cast<std::uint16_t>(universe)), fSpec.Port};
  }

  TOutputSpec fSpec;
  TComponentId fCid;
  // One header and one sequence number per universe, then the sync packet.
  std::vector<THeader> fHeaders;
  std::vector<std::uint8_t> fSequences;
  std::array<std::uint8_t, kSacnSyncPacketSize> fSync{};
  std::uint8_t fSyncSequence = 0;
  std::vector<TDatagram> fDatagrams;
  TUdpSocket fSocket;
};

std::string describe(const TOutputSpec& spec) {
  return "sACN " + UniverseRangeText("universe", spec.Universe, spec.UniverseCount()) + " to " +
         (spec.Address != 0 ? FormatEndpoint({spec.Address, spec.Port}) : "multicast port " + std::to_string(spec.Port));
}

TSacnOutput::TSacnOutput(const TOutputSpec& spec, const TComponentId& cid)
    : TLightOutput(describe(spec)), fSpec(spec), fCid(cid), fHeaders(spec.UniverseCount()),
      fSequences(spec.UniverseCount(), 0) {
  const TSacnSource source{cid, kSourceName, spec.Priority, spec.Sync ? spec.SyncUniverse : std::uint16_t{0}};
  for (std::uint32_t k = 0; k < fHeaders.size(); ++k) {
    const std::uint32_t slots = std::min(spec.UniverseSize, spec.Count - k * spec.UniverseSize);
    WriteSacnDataHeader(fHeaders[k], source, static_cast<std::uint16_t>(spec.Universe + k), slots);
    fDatagrams.push_back({fHeaders[k], {}, {}, destination(spec.Universe + k)});
  }
  if (spec.Sync) fDatagrams.push_back({fSync, {}, {}, destination(spec.SyncUniverse)});
}

std::string TSacnOutput::Send(std::span<const std::uint8_t> frame) {
  const std::span<const std::uint8_t> channels = OutputChannels(fSpec, frame);
  if (channels.empty()) return kShortFrame;
  if (!fSocket.IsOpen()) {
    const std::optional<TEndpoint> host =
        fSpec.Address != 0 ? std::optional(TEndpoint{fSpec.Address, fSpec.Port}) : std::nullopt;
    const std::string error = fSocket.Open(fSpec.Interface, host);
    if (!error.empty()) return error;
  }
  for (std::size_t k = 0; k < fHeaders.size(); ++k) {
    SetSacnSequence(fHeaders[k], fSequences[k]++);
    const std::size_t first = k * fSpec.UniverseSize;
    fDatagrams[k].Body = channels.subspan(first, std::min<std::size_t>(fSpec.UniverseSize, channels.size() - first));
  }
  if (fSpec.Sync) fSync = SacnSyncPacket(fCid, fSyncSequence++, fSpec.SyncUniverse);
  std::string error = fSocket.Send(fDatagrams);
  if (!error.empty()) fSocket.Close();
  return error;
}

std::vector<TEndpoint> TSacnOutput::Destinations() const {
  std::vector<TEndpoint> endpoints;
  for (const TDatagram& d : fDatagrams) endpoints.push_back(d.To);
  return endpoints;
}

}  // namespace

std::unique_ptr<TLightOutput> MakeSacnOutput(const TOutputSpec& spec, const TComponentId& cid) {
  return std::make_unique<TSacnOutput>(spec, cid);
}

}  // namespace lumora::output
