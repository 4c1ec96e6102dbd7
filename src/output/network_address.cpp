#include "output/network_address.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>

#include <memory>

namespace lumora::output {

std::optional<std::uint32_t> ResolveIpv4(const std::string& host, std::string& error) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  const int status = getaddrinfo(host.c_str(), nullptr, &hints, &found);
  const std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> owner(found, freeaddrinfo);
  if (status != 0 || found == nullptr) {
    error = status != 0 ? gai_strerror(status) : "no IPv4 address";
    return std::nullopt;
  }
  return ntohl(reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr);
}

std::string FormatIpv4(std::uint32_t address) {
  return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xFF) + "." +
         std::to_string((address >> 8) & 0xFF) + "." + std::to_string(address & 0xFF);
}

std::string FormatEndpoint(const TEndpoint& endpoint) {
  return FormatIpv4(endpoint.Address) + ":" + std::to_string(endpoint.Port);
}

}  // namespace lumora::output
