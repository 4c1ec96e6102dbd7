#include "sync/endpoint_text.h"

#include <arpa/inet.h>

#include <charconv>

namespace lumora::sync {

std::optional<std::uint16_t> ParsePort(std::string_view text, bool allowZero) {
  unsigned value = 0;
  const auto [end, fault] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (fault != std::errc() || end != text.data() + text.size() || value > 65535 || (value == 0 && !allowZero)) {
    return std::nullopt;
  }
  return static_cast<std::uint16_t>(value);
}

std::optional<std::uint32_t> HostAddress(const std::string& host, bool resolve, const std::string& what,
                                         std::string& error) {
  in_addr numeric{};
  if (inet_pton(AF_INET, host.c_str(), &numeric) == 1) return ntohl(numeric.s_addr);
  if (!resolve) {
    error = what + " \"" + host + "\" is not a numeric IPv4 address";
    return std::nullopt;
  }
  std::string why;
  const auto address = output::ResolveIpv4(host, why);
  if (!address) error = "cannot find " + what + " \"" + host + "\": " + why;
  return address;
}

std::optional<output::TEndpoint> ParseEndpoint(std::string_view text, std::uint16_t defaultPort, bool resolve,
                                               const std::string& what, std::string& error) {
  const std::size_t colon = text.find(':');
  const std::string host(text.substr(0, colon));
  std::uint16_t port = defaultPort;
  if (colon != std::string_view::npos) {
    const auto parsed = ParsePort(text.substr(colon + 1));
    if (!parsed) {
      error = what + " \"" + std::string(text) + "\" has no port from 1 to 65535";
      return std::nullopt;
    }
    port = *parsed;
  }
  if (host.empty()) {
    error = what + " \"" + std::string(text) + "\" has no host";
    return std::nullopt;
  }
  const auto address = HostAddress(host, resolve, what, error);
  if (!address) return std::nullopt;
  return output::TEndpoint{*address, port};
}

}  // namespace lumora::sync
