// The rules of program entry and of the hand-off from a second start to the
// running player, free of any toolkit: which arguments each start accepts,
// and the copy-data record that carries a path.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace lumora {

// The running player's name, which a second start looks for.
inline constexpr const char* kInstanceCaption = "lumora_stage";

// The record: u32 data tag (0), u32 byte count (path length + 1), then the
// path's bytes and a 0 byte, little-endian.
inline constexpr std::size_t kCopyDataHeaderSize = 8;
// No path the player opens is longer; a larger count marks a bad record.
inline constexpr std::uint32_t kMaxCopyDataBytes = 1 << 16;

// A second start hands over its argument, unless there is none or it is an
// executable (.exe).
bool HandedToRunningInstance(const std::string& argument);
// The path a start works with: absolute, so that a running player that
// started elsewhere finds the same file. Empty stays empty.
std::string StartPath(const std::string& argument);

std::vector<std::uint8_t> EncodeCopyData(const std::string& path);
// The path of a well-formed record: the whole record arrived, its byte
// count is between 1 and kMaxCopyDataBytes, matches what follows the
// header and ends in a 0 byte. None otherwise. The tag is not consulted.
std::optional<std::string> DecodeCopyData(std::span<const std::uint8_t> record);

// The user id of the process at the other end of a connected local socket
// (as the kernel recorded it when the connection was made), or none when
// it cannot be told. Both ends of a hand-off check it is their own.
std::optional<std::uint32_t> PeerUserId(int socket);

}  // namespace lumora
