// DDP (Distributed Display Protocol) packet headers, byte for byte: the
// channels of a frame as a run of packets at byte offsets, the last one
// flagged PUSH so that the receiver shows the frame whole.
#pragma once

#include <array>
#include <cstdint>

namespace lumora::output {

inline constexpr std::size_t kDdpHeaderSize = 10;
inline constexpr std::size_t kDdpMaxData = 1440;

// A header for length data bytes at offset; sequence 1–15 (0: none).
std::array<std::uint8_t, kDdpHeaderSize> DdpHeader(std::uint8_t sequence, bool push, std::uint32_t offset,
                                                   std::uint16_t length);

}  // namespace lumora::output
