// TUdpSocket: the light outputs' UDP sending, many datagrams a system call,
// each gathered from a protocol header and a run of the frame's channels
// without copying them. The only file that speaks to the socket interface.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "output/network_address.h"

namespace lumora::output {

struct TDatagram {
  std::span<const std::uint8_t> Head;
  std::span<const std::uint8_t> Body;
  std::span<const std::uint8_t> Tail;
  // Where it goes; a connected socket sends to its peer instead.
  TEndpoint To;
};

class TUdpSocket {
 public:
  TUdpSocket();
  ~TUdpSocket();
  TUdpSocket(const TUdpSocket&) = delete;
  TUdpSocket& operator=(const TUdpSocket&) = delete;

  // Opens a socket sending from localAddress (0: as the system routes),
  // broadcast allowed. With a peer it is connected, so that a closed port
  // there shows as an error of a later send. Empty on success, else why not.
  std::string Open(std::uint32_t localAddress, const std::optional<TEndpoint>& peer);
  bool IsOpen() const { return fHandle >= 0; }
  void Close();

  // Sends the datagrams in order; empty on success, else the reason of the
  // first that failed (those after it are not sent).
  std::string Send(std::span<const TDatagram> datagrams);

 private:
  struct TScratch;

  int fHandle = -1;
  bool fConnected = false;
  std::unique_ptr<TScratch> fScratch;
};

}  // namespace lumora::output
