// THandOffQueue: what second starts hand the running player, collected
// connection by connection and given to the window one path at a time from
// its event loop, so that a flood of second starts can neither nest one
// hand-off inside another nor take memory without bound.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace lumora {

class THandOffQueue {
 public:
  // Connections read at once; further ones are refused until one ends.
  static constexpr std::size_t kMaxConnections = 16;
  // Paths waiting for the window; further ones are dropped.
  static constexpr std::size_t kMaxWaiting = 32;

  // A new connection, or none when kMaxConnections are being read.
  std::optional<std::uint64_t> Open();
  // Bytes that arrived on a connection. False when the connection is not
  // open or its record grew past the largest record; it is then forgotten
  // and should be closed.
  bool Receive(std::uint64_t connection, std::span<const std::uint8_t> bytes);
  // The connection ended: a well-formed record's path joins the queue when
  // there is room. Answers whether it did.
  bool Close(std::uint64_t connection);

  // The oldest waiting path, taken off the queue.
  std::optional<std::string> Next();
  std::size_t Waiting() const { return fWaiting.size(); }
  std::size_t Reading() const { return fReading.size(); }
  // Paths that found the queue full.
  std::uint64_t Dropped() const { return fDropped; }

 private:
  std::map<std::uint64_t, std::vector<std::uint8_t>> fReading;
  std::deque<std::string> fWaiting;
  std::uint64_t fNextConnection = 1;
  std::uint64_t fDropped = 0;
};

}  // namespace lumora
