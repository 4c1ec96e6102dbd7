// Art-Net packets, byte for byte: ArtDmx, which carries one port-address,
// and ArtSync, after which nodes show the universes they hold.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace lumora::output {

inline constexpr std::size_t kArtDmxHeaderSize = 18;
inline constexpr std::size_t kArtDmxSequenceOffset = 12;
inline constexpr std::size_t kArtSyncPacketSize = 14;

// The header of an ArtDmx packet of length slots (even, 2–512) for a 15-bit
// port-address, with sequence 0 (none); SetArtDmxSequence changes it.
void WriteArtDmxHeader(std::span<std::uint8_t, kArtDmxHeaderSize> out, std::uint16_t portAddress,
                       std::uint16_t length);

inline void SetArtDmxSequence(std::span<std::uint8_t, kArtDmxHeaderSize> header, std::uint8_t sequence) {
  header[kArtDmxSequenceOffset] = sequence;
}

std::array<std::uint8_t, kArtSyncPacketSize> ArtSyncPacket();

}  // namespace lumora::output
