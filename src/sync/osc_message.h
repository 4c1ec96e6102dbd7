// OSC datagrams, picked apart by liblo: a message, or a bundle of them
// (bundles nested at most a few deep, a bounded number of messages), as an
// address and typed arguments that hold no liblo type.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

namespace lumora::sync {

inline constexpr std::size_t kMaxOscMessages = 64;
inline constexpr int kMaxBundleDepth = 4;

// An OSC nil or impulse.
struct TOscNothing {
  friend bool operator==(const TOscNothing&, const TOscNothing&) = default;
};

using TOscArgument = std::variant<std::int64_t, double, std::string, bool, TOscNothing>;

struct TOscMessage {
  std::string Address;
  // The OSC type tag of each argument ('i', 'f', 's', 'T' …), in order.
  std::string Types;
  std::vector<TOscArgument> Arguments;
};

// The messages of one datagram, in order. Nothing that is not well formed
// is returned: error then says what was wrong with the first fault, and
// the messages before it are kept.
std::vector<TOscMessage> ParseOscPacket(std::span<const std::uint8_t> datagram, std::string& error);

// A message's bytes, for status sent back and for tests: arguments of kinds
// int64 ('h' when it does not fit 32 bits, else 'i'), double ('f'), string
// ('s') and bool ('T'/'F').
std::vector<std::uint8_t> EncodeOscMessage(const std::string& address, const std::vector<TOscArgument>& arguments);

}  // namespace lumora::sync
