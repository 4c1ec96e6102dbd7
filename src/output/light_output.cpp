#include "output/light_output.h"

#include "output/output_kinds_p.h"

namespace lumora::output {

std::string UniverseRangeText(const char* noun, std::uint32_t first, std::uint32_t count) {
  if (count == 1) return std::string(noun) + " " + std::to_string(first);
  return std::string(noun) + "s " + std::to_string(first) + "–" + std::to_string(first + count - 1);
}

std::span<const std::uint8_t> OutputChannels(const TOutputSpec& spec, std::span<const std::uint8_t> frame) {
  if (std::uint64_t{spec.First} + spec.Count > frame.size()) return {};
  return frame.subspan(spec.First, spec.Count);
}

std::unique_ptr<TLightOutput> MakeLightOutput(const TOutputSpec& spec, const TComponentId& cid) {
  switch (spec.Protocol) {
    case TProtocol::Sacn:
      return MakeSacnOutput(spec, cid);
    case TProtocol::ArtNet:
      return MakeArtNetOutput(spec);
    case TProtocol::Ddp:
      return MakeDdpOutput(spec);
    case TProtocol::Ola:
      return MakeOlaOutput(spec);
  }
  return nullptr;
}

}  // namespace lumora::output
