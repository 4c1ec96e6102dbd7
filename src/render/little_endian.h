// Little-endian integers in byte buffers, for the fixed-layout records that
// are built or picked apart in memory (file headers, object headers, the
// hand-off record).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace lumora {

// The caller checks that four bytes follow `at`.
inline std::uint32_t U32At(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
         static_cast<std::uint32_t>(bytes[at + 2]) << 16 | static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

inline std::int32_t S32At(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::int32_t>(U32At(bytes, at));
}

// Overwrites four bytes from `at` on.
inline void PutU32(std::span<std::uint8_t> bytes, std::size_t at, std::uint32_t v) {
  for (std::size_t i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

inline void AppendU16(std::vector<std::uint8_t>& bytes, std::uint32_t v) {
  bytes.push_back(static_cast<std::uint8_t>(v));
  bytes.push_back(static_cast<std::uint8_t>(v >> 8));
}

inline void AppendU32(std::vector<std::uint8_t>& bytes, std::uint32_t v) {
  AppendU16(bytes, v & 0xFFFF);
  AppendU16(bytes, v >> 16);
}

}  // namespace lumora
