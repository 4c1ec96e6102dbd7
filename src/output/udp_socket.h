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

// The system call's message headers for a batch of datagrams: one for each
// thread that sends, lent to every socket it sends through.
class TSendScratch {
 public:
  TSendScratch();
  ~TSendScratch();
  TSendScratch(const TSendScratch&) = delete;
  TSendScratch& operator=(const TSendScratch&) = delete;

 private:
  friend class TUdpSocket;
  struct TBatch;
  std::unique_ptr<TBatch> fBatch;
};

class TUdpSocket {
 public:
  TUdpSocket() = default;
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
  std::string Send(std::span<const TDatagram> datagrams, TSendScratch& scratch);

 private:
  int fHandle = -1;
  bool fConnected = false;
};

}  // namespace lumora::output
