#include "sync/udp_receiver.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace lumora::sync {

namespace {

std::string systemError(const std::string& what) { return what + ": " + std::strerror(errno); }

}  // namespace

TUdpReceiver::~TUdpReceiver() { Close(); }

void TUdpReceiver::Close() {
  if (fHandle >= 0) ::close(fHandle);
  fHandle = -1;
  fPort = 0;
}

std::string TUdpReceiver::Open(std::uint32_t address, std::uint16_t port) {
  Close();
  const std::string where = output::FormatEndpoint({address, port});
  fHandle = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fHandle < 0) return systemError("cannot open a UDP socket");
  // A leader sends to the broadcast address when told to.
  const int on = 1;
  ::setsockopt(fHandle, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(address);
  local.sin_port = htons(port);
  socklen_t length = sizeof local;
  if (::bind(fHandle, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
      ::getsockname(fHandle, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
    const std::string error = systemError("cannot listen on " + where);
    Close();
    return error;
  }
  fPort = ntohs(local.sin_port);
  return {};
}

std::optional<TReceived> TUdpReceiver::Receive(std::span<std::uint8_t> buffer, int timeoutMs, std::string& error) {
  if (fHandle < 0) {
    error = "the socket is not open";
    return std::nullopt;
  }
  pollfd waiting{fHandle, POLLIN, 0};
  const int ready = ::poll(&waiting, 1, timeoutMs);
  if (ready < 0 && errno != EINTR) error = systemError("cannot wait for a datagram");
  if (ready <= 0) return std::nullopt;
  sockaddr_in from{};
  socklen_t fromLength = sizeof from;
  const ssize_t size = ::recvfrom(fHandle, buffer.data(), buffer.size(), MSG_TRUNC | MSG_DONTWAIT,
                                  reinterpret_cast<sockaddr*>(&from), &fromLength);
  if (size < 0) {
    if (errno != EAGAIN && errno != EINTR) error = systemError("cannot receive a datagram");
    return std::nullopt;
  }
  const std::size_t full = static_cast<std::size_t>(size);
  return TReceived{std::min(full, buffer.size()), {ntohl(from.sin_addr.s_addr), ntohs(from.sin_port)}, full > buffer.size()};
}

std::string TUdpReceiver::SendTo(std::span<const std::uint8_t> datagram, const output::TEndpoint& to) {
  if (fHandle < 0) return "the socket is not open";
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(to.Address);
  address.sin_port = htons(to.Port);
  const ssize_t sent = ::sendto(fHandle, datagram.data(), datagram.size(), MSG_DONTWAIT,
                                reinterpret_cast<const sockaddr*>(&address), sizeof address);
  if (sent < 0) return systemError("cannot send to " + output::FormatEndpoint(to));
  return {};
}

}  // namespace lumora::sync
