#include "output/udp_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <vector>

namespace lumora::output {

namespace {

// Datagrams handed to the system at once.
constexpr std::size_t kBatch = 64;

sockaddr_in socketAddress(const TEndpoint& endpoint) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(endpoint.Address);
  address.sin_port = htons(endpoint.Port);
  return address;
}

std::string systemError(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

iovec part(std::span<const std::uint8_t> bytes) {
  return {const_cast<std::uint8_t*>(bytes.data()), bytes.size()};
}

}  // namespace

struct TSendScratch::TBatch {
  std::array<mmsghdr, kBatch> Messages{};
  std::array<iovec, 3 * kBatch> Parts{};
  std::array<sockaddr_in, kBatch> Addresses{};
};

TSendScratch::TSendScratch() : fBatch(std::make_unique<TBatch>()) {}

TSendScratch::~TSendScratch() = default;

TUdpSocket::~TUdpSocket() { Close(); }

void TUdpSocket::Close() {
  if (fHandle >= 0) ::close(fHandle);
  fHandle = -1;
  fConnected = false;
}

std::string TUdpSocket::Open(std::uint32_t localAddress, const std::optional<TEndpoint>& peer) {
  Close();
  fHandle = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fHandle < 0) return systemError("cannot open a UDP socket");
  const int on = 1;
  std::string error;
  if (::setsockopt(fHandle, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) error = systemError("cannot allow broadcast");
  if (error.empty() && localAddress != 0) {
    const sockaddr_in local = socketAddress({localAddress, 0});
    const in_addr multicastFrom = local.sin_addr;
    if (::bind(fHandle, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
        ::setsockopt(fHandle, IPPROTO_IP, IP_MULTICAST_IF, &multicastFrom, sizeof multicastFrom) != 0) {
      error = systemError(("cannot send from " + FormatIpv4(localAddress)).c_str());
    }
  }
  if (error.empty() && peer) {
    const sockaddr_in to = socketAddress(*peer);
    if (::connect(fHandle, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
      error = systemError(("cannot reach " + FormatEndpoint(*peer)).c_str());
    }
    fConnected = error.empty();
  }
  if (!error.empty()) Close();
  return error;
}

std::string TUdpSocket::Send(std::span<const TDatagram> datagrams, TSendScratch& scratch) {
  if (fHandle < 0) return "the socket is not open";
  TSendScratch::TBatch& batch = *scratch.fBatch;
  while (!datagrams.empty()) {
    const std::size_t count = std::min(datagrams.size(), kBatch);
    for (std::size_t i = 0; i < count; ++i) {
      const TDatagram& d = datagrams[i];
      iovec* parts = &batch.Parts[3 * i];
      parts[0] = part(d.Head);
      parts[1] = part(d.Body);
      parts[2] = part(d.Tail);
      msghdr& header = batch.Messages[i].msg_hdr;
      header = {};
      header.msg_iov = parts;
      header.msg_iovlen = 3;
      if (!fConnected) {
        batch.Addresses[i] = socketAddress(d.To);
        header.msg_name = &batch.Addresses[i];
        header.msg_namelen = sizeof(sockaddr_in);
      }
    }
    const int sent = ::sendmmsg(fHandle, batch.Messages.data(), static_cast<unsigned>(count), 0);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return systemError("cannot send");
    datagrams = datagrams.subspan(static_cast<std::size_t>(sent));
  }
  return {};
}

}  // namespace lumora::output
