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
  std::string Send(std::span<const std::uint8_t> frame, TSendScratch& scratch) override;
  std::string Terminate(std::span<const std::uint8_t> frame, TSendScratch& scratch) override;
  std::vector<TEndpoint> Destinations() const override;

 private:
  TEndpoint destination(std::uint32_t universe) const {
    return {fRoute.Address.value_or(SacnMulticastAddress(static_cast<std::uint16_t>(universe))), fRoute.Port};
  }
  // The universes' packets, with the next sequence numbers.
  void fillUniverses(std::span<const std::uint8_t> channels);
  std::string send(std::span<const TDatagram> datagrams, TSendScratch& scratch);

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
         (route.Address ? FormatEndpoint({*route.Address, route.Port}) : "multicast port " + std::to_string(route.Port));
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

void TSacnOutput::fillUniverses(std::span<const std::uint8_t> channels) {
  for (std::size_t k = 0; k < fHeaders.size(); ++k) {
    SetSacnSequence(fHeaders[k], fSequences[k]++);
    const std::size_t first = k * fRoute.UniverseSize;
    fDatagrams[k].Body = channels.subspan(first, std::min<std::size_t>(fRoute.UniverseSize, channels.size() - first));
  }
}

std::string TSacnOutput::send(std::span<const TDatagram> datagrams, TSendScratch& scratch) {
  std::string error = fSocket.Send(datagrams, scratch);
  if (!error.empty()) fSocket.Close();
  return error;
}

std::string TSacnOutput::Send(std::span<const std::uint8_t> frame, TSendScratch& scratch) {
  const std::span<const std::uint8_t> channels = OutputChannels(fRoute, frame);
  if (channels.empty()) return kShortFrame;
  if (!fSocket.IsOpen()) {
    const std::optional<TEndpoint> host =
        fRoute.Address ? std::optional(TEndpoint{*fRoute.Address, fRoute.Port}) : std::nullopt;
    const std::string error = fSocket.Open(fRoute.Interface, host);
    if (!error.empty()) return error;
  }
  fillUniverses(channels);
  if (fRoute.Sync) fSync = SacnSyncPacket(fCid, fSyncSequence++, fRoute.SyncUniverse);
  return send(fDatagrams, scratch);
}

// Receivers let the source go at once instead of after their time-out; no
// sync packet follows, since receivers ignore the data these carry.
std::string TSacnOutput::Terminate(std::span<const std::uint8_t> frame, TSendScratch& scratch) {
  const std::span<const std::uint8_t> channels = OutputChannels(fRoute, frame);
  if (channels.empty() || !fSocket.IsOpen()) return {};
  for (auto& header : fHeaders) SetSacnStreamTerminated(header, true);
  std::string error;
  for (int i = 0; i < kSacnTerminationPackets && error.empty(); ++i) {
    fillUniverses(channels);
    error = send(std::span(fDatagrams).first(fHeaders.size()), scratch);
  }
  for (auto& header : fHeaders) SetSacnStreamTerminated(header, false);
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
