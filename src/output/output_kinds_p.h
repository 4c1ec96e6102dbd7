// The outputs of each protocol, made by MakeLightOutput.
#pragma once

#include <memory>
#include <span>
#include <string>

#include "output/light_output.h"

namespace lumora::output {

std::unique_ptr<TLightOutput> MakeSacnOutput(const TOutputRoute& route, const TComponentId& cid);
std::unique_ptr<TLightOutput> MakeArtNetOutput(const TOutputRoute& route);
std::unique_ptr<TLightOutput> MakeDdpOutput(const TOutputRoute& route);
std::unique_ptr<TLightOutput> MakeOlaOutput(const TOutputRoute& route);

// "universes 1–13" or "universe 1", with the noun given.
std::string UniverseRangeText(const char* noun, std::uint32_t first, std::uint32_t count);

// The output's range of a frame; empty when the frame is shorter than the
// patch said, which the caller reports.
std::span<const std::uint8_t> OutputChannels(const TOutputRoute& route, std::span<const std::uint8_t> frame);

inline constexpr const char* kShortFrame = "the frame has fewer channels than the patch sends";

}  // namespace lumora::output
