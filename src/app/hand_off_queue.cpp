#include "app/hand_off_queue.h"

#include "app/program_entry.h"

namespace lumora {

std::optional<std::uint64_t> THandOffQueue::Open() {
  if (fReading.size() >= kMaxConnections) return std::nullopt;
  const std::uint64_t connection = fNextConnection++;
  fReading[connection];
  return connection;
}

bool THandOffQueue::Receive(std::uint64_t connection, std::span<const std::uint8_t> bytes) {
  const auto it = fReading.find(connection);
  if (it == fReading.end()) return false;
  if (bytes.size() > kCopyDataHeaderSize + kMaxCopyDataBytes - it->second.size()) {
    fReading.erase(it);
    return false;
  }
  it->second.insert(it->second.end(), bytes.begin(), bytes.end());
  return true;
}

bool THandOffQueue::Close(std::uint64_t connection) {
  const auto it = fReading.find(connection);
  if (it == fReading.end()) return false;
  const std::optional<std::string> path = DecodeCopyData(it->second);
  fReading.erase(it);
  if (!path) return false;
  if (fWaiting.size() >= kMaxWaiting) {
    ++fDropped;
    return false;
  }
  fWaiting.push_back(*path);
  return true;
}

std::optional<std::string> THandOffQueue::Next() {
  if (fWaiting.empty()) return std::nullopt;
  std::string path = std::move(fWaiting.front());
  fWaiting.pop_front();
  return path;
}

}  // namespace lumora
