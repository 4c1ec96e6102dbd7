// Art-Net's ArtTimeCode packet, byte for byte: "Art-Net" and a NUL, OpCode
// 0x9700 little-endian, protocol version 14 high byte first, two filler
// bytes (the second is the stream), then frames, seconds, minutes, hours and
// the rate type: 19 bytes.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "sync/timecode.h"

namespace lumora::sync {

inline constexpr std::size_t kArtTimeCodeSize = 19;
inline constexpr std::uint16_t kArtNetPort = 6454;

std::array<std::uint8_t, kArtTimeCodeSize> EncodeArtTimeCode(const TTimecode& timecode, std::uint8_t stream = 0);

struct TArtTimeCode {
  TTimecode Timecode;
  std::uint8_t Stream = 0;
};

// nullopt, with the reason in error, for anything but a well-formed
// ArtTimeCode of protocol 14 or later with every field in range. Longer
// packets are taken, as later protocol versions may add fields.
std::optional<TArtTimeCode> ParseArtTimeCode(std::span<const std::uint8_t> packet, std::string& error);

}  // namespace lumora::sync
