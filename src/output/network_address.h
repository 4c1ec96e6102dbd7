// IPv4 addresses of the light outputs: host names resolved once when a patch
// loads, the multicast group of an sACN universe, and their printed form.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace lumora::output {

// An IPv4 address and UDP port in host byte order.
struct TEndpoint {
  std::uint32_t Address = 0;
  std::uint16_t Port = 0;
  friend bool operator==(const TEndpoint&, const TEndpoint&) = default;
};

inline constexpr std::uint32_t kLoopbackAddress = 0x7F000001;
// 255.255.255.255: every host of the local segment, whatever its addressing.
inline constexpr std::uint32_t kLimitedBroadcast = 0xFFFFFFFF;

// The IPv4 address of a host name or dotted address; on failure nullopt and
// the resolver's reason in error.
std::optional<std::uint32_t> ResolveIpv4(const std::string& host, std::string& error);

// 239.255.hi.lo: the group receivers of a universe join.
inline constexpr std::uint32_t SacnMulticastAddress(std::uint16_t universe) { return 0xEFFF0000u | universe; }

// "10.0.0.5", and "10.0.0.5:5568" with the port.
std::string FormatIpv4(std::uint32_t address);
std::string FormatEndpoint(const TEndpoint& endpoint);

}  // namespace lumora::output
