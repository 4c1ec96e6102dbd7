#include <algorithm>
#include <array>
#include <vector>

#include "output/ddp_packet.h"
#include "output/network_address.h"
#include "output/output_kinds_p.h"
#include "output/udp_socket.h"

namespace lumora::output {

namespace {

using THeader = std::array<std::uint8_t, kDdpHeaderSize>;

// The range as a run of packets to one controller, the last one pushing.
class TDdpOutput final : public TLightOutput {
 public:
  explicit TDdpOutput(const TOutputRoute& route);
  std::string Send(std::span<const std::uint8_t> frame, TSendScratch& scratch) override;
  std::vector<TEndpoint> Destinations() const override {
    return std::vector<TEndpoint>(fDatagrams.size(), fDestination);
  }

 private:
  TOutputRoute fRoute;
  TEndpoint fDestination;
  std::vector<THeader> fHeaders;
  // 1–15, then 1 again, packet after packet.
  std::uint8_t fSequence = 0;
  std::vector<TDatagram> fDatagrams;
  TUdpSocket fSocket;
};

TDdpOutput::TDdpOutput(const TOutputRoute& route)
    : TLightOutput("DDP channels " + std::to_string(route.First + 1) + "–" + std::to_string(route.First + route.Count) +
                   " to " + FormatEndpoint({route.Address.value_or(0), route.Port})),
      fRoute(route), fDestination{route.Address.value_or(0), route.Port}, fHeaders((route.Count - 1) / kDdpMaxData + 1) {
  for (THeader& header : fHeaders) fDatagrams.push_back({header, {}, {}, fDestination});
}

std::string TDdpOutput::Send(std::span<const std::uint8_t> frame, TSendScratch& scratch) {
  const std::span<const std::uint8_t> channels = OutputChannels(fRoute, frame);
  if (channels.empty()) return kShortFrame;
  if (!fSocket.IsOpen()) {
    const std::string error = fSocket.Open(fRoute.Interface, fDestination);
    if (!error.empty()) return error;
  }
  for (std::size_t k = 0; k < fHeaders.size(); ++k) {
    fSequence = fSequence == 15 ? 1 : fSequence + 1;
    const std::size_t first = k * kDdpMaxData;
    const std::size_t length = std::min(kDdpMaxData, channels.size() - first);
    fHeaders[k] = DdpHeader(fSequence, k + 1 == fHeaders.size(), fRoute.DdpOffset + static_cast<std::uint32_t>(first),
                            static_cast<std::uint16_t>(length));
    fDatagrams[k].Body = channels.subspan(first, length);
  }
  std::string error = fSocket.Send(fDatagrams, scratch);
  if (!error.empty()) fSocket.Close();
  return error;
}

}  // namespace

std::unique_ptr<TLightOutput> MakeDdpOutput(const TOutputRoute& route) { return std::make_unique<TDdpOutput>(route); }

}  // namespace lumora::output
