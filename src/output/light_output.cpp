#include "output/light_output.h"

#include "output/output_kinds_p.h"

namespace lumora::output {

std::string UniverseRangeText(const char* noun, std::uint32_t first, std::uint32_t count) {
  if (count == 1) return std::string(noun) + " " + std::to_string(first);
  return std::string(noun) + "s " + std::to_string(first) + "–" + std::to_string(first + count - 1);
}

std::span<const std::uint8_t> OutputChannels(const TOutputRoute& route, std::span<const std::uint8_t> frame) {
  if (std::uint64_t{route.First} + route.Count > frame.size()) return {};
  return frame.subspan(route.First, route.Count);
}

std::unique_ptr<TLightOutput> MakeLightOutput(const TOutputRoute& route, const TComponentId& cid) {
  switch (route.Protocol) {
    case TProtocol::Sacn:
      return MakeSacnOutput(route, cid);
    case TProtocol::ArtNet:
      return MakeArtNetOutput(route);
    case TProtocol::Ddp:
      return MakeDdpOutput(route);
    case TProtocol::Ola:
      return MakeOlaOutput(route);
  }
  return nullptr;
}

}  // namespace lumora::output
