// Addresses and ports as the sync options write them: "10.0.0.5",
// "10.0.0.5:6454", a host name looked up once where names are allowed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "output/network_address.h"

namespace lumora::sync {

// A port from 1 to 65535, or from 0 when zero is allowed (a free port).
std::optional<std::uint16_t> ParsePort(std::string_view text, bool allowZero = false);

// A numeric IPv4 address, or with resolve a host name looked up now. On a
// fault nullopt, and error says what of `what` ("the follower") is wrong.
std::optional<std::uint32_t> HostAddress(const std::string& host, bool resolve, const std::string& what,
                                         std::string& error);

// "HOST[:PORT]" with the port given when none is; the same faults as above.
std::optional<output::TEndpoint> ParseEndpoint(std::string_view text, std::uint16_t defaultPort, bool resolve,
                                               const std::string& what, std::string& error);

}  // namespace lumora::sync
