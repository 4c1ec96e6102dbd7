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
  TSacnOutput(const TOutputRoute& route, const TComponentId& cid);
  std::string Send(std::span<const std::uint8_t> frame) override;
  std::vector<TEndpoint> Destinations() const override;

 private:
  TEndpoint destination(std::uint32_t universe) const {
    return {fRoute.Address != 0 ? fRoute.Address : SacnMulticastAddress(static_cast<std::uint16_t>(universe)), fRoute.Port};
  }

  TOutputRoute fRoute;
  TComponentId fCid;
  // One header and one sequence number per universe, then the sync packet.
  std::vector<THeader> fHeaders;
  std::vector<std::uint8_t> fSequences;
  std::array<std::uint8_t, kSacnSyncPacketSize> fSync{};
  std::uint8_t fSyncSequence = 0;
  std::vector<TDatagram> fDatagrams;
  TUdpSocket fSocket;
};

std::string describe(const TOutputRoute& route) {
  return "sACN " + UniverseRangeText("universe", route.Universe, route.UniverseCount()) + " to " +
         (route.Address != 0 ? FormatEndpoint({route.Address, route.Port}) : "multicast port " + std::to_string(route.Port));
}

TSacnOutput::TSacnOutput(const TOutputRoute& route, const TComponentId& cid)
    : TLightOutput(describe(route)), fRoute(route), fCid(cid), fHeaders(route.UniverseCount()),
      fSequences(route.UniverseCount(), 0) {
  const TSacnSource source{cid, kSourceName, route.Priority, route.Sync ? route.SyncUniverse : std::uint16_t{0}};
  for (std::uint32_t k = 0; k < fHeaders.size(); ++k) {
    const std::uint32_t slots = std::min(route.UniverseSize, route.Count - k * route.UniverseSize);
    WriteSacnDataHeader(fHeaders[k], source, static_cast<std::uint16_t>(route.Universe + k), slots);
    fDatagrams.push_back({fHeaders[k], {}, {}, destination(route.Universe + k)});
  }
  if (route.Sync) fDatagrams.push_back({fSync, {}, {}, destination(route.SyncUniverse)});
}

std::string TSacnOutput::Send(std::span<const std::uint8_t> frame) {
  const std::span<const std::uint8_t> channels = OutputChannels(fRoute, frame);
  if (channels.empty()) return kShortFrame;
  if (!fSocket.IsOpen()) {
    const std::optional<TEndpoint> host =
        fRoute.Address != 0 ? std::optional(TEndpoint{fRoute.Address, fRoute.Port}) : std::nullopt;
    const std::string error = fSocket.Open(fRoute.Interface, host);
    if (!error.empty()) return error;
  }
  for (std::size_t k = 0; k < fHeaders.size(); ++k) {
    SetSacnSequence(fHeaders[k], fSequences[k]++);
    const std::size_t first = k * fRoute.UniverseSize;
    fDatagrams[k].Body = channels.subspan(first, std::min<std::size_t>(fRoute.UniverseSize, channels.size() - first));
  }
  if (fRoute.Sync) fSync = SacnSyncPacket(fCid, fSyncSequence++, fRoute.SyncUniverse);
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

std::unique_ptr<TLightOutput> MakeSacnOutput(const TOutputRoute& route, const TComponentId& cid) {
  return std::make_unique<TSacnOutput>(route, cid);
}

}  // namespace lumora::output
