#include "app/program_entry.h"

#include <sys/socket.h>

#include <filesystem>

#include "app/player_form.h"
#include "render/little_endian.h"

namespace lumora {

// The design handed over .ctl, .tol and .lst alone and dropped the rest
// without a word; the running player now says why a text file or a folder
// does not play, as a first start does. An executable only brings it to
// the front, as the design has it.
bool HandedToRunningInstance(const std::string& argument) {
  return !argument.empty() && ClassifyArgument(argument) != kArgumentExecutable;
}

std::string StartPath(const std::string& argument) {
  if (argument.empty()) return argument;
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(argument, error);
  return error ? argument : absolute.lexically_normal().string();
}

std::vector<std::uint8_t> EncodeCopyData(const std::string& path) {
  std::vector<std::uint8_t> record;
  record.reserve(kCopyDataHeaderSize + path.size() + 1);
  AppendU32(record, 0);
  AppendU32(record, static_cast<std::uint32_t>(path.size() + 1));
  record.insert(record.end(), path.begin(), path.end());
  record.push_back(0);
  return record;
}

std::optional<std::string> DecodeCopyData(std::span<const std::uint8_t> record) {
  if (record.size() < kCopyDataHeaderSize) return std::nullopt;
  const std::uint32_t count = U32At(record, 4);
  if (count == 0 || count > kMaxCopyDataBytes) return std::nullopt;
  if (record.size() - kCopyDataHeaderSize != count || record.back() != 0) return std::nullopt;
  const auto data = record.subspan(kCopyDataHeaderSize, count - 1);
  std::string path(data.begin(), data.end());
  // The path is read as a 0-terminated string.
  path.resize(path.find('\0') == std::string::npos ? path.size() : path.find('\0'));
  return path;
}

std::optional<std::uint32_t> PeerUserId(int socket) {
  ucred peer{};
  socklen_t size = sizeof peer;
  if (::getsockopt(socket, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || size != sizeof peer) return std::nullopt;
  return peer.uid;
}

}  // namespace lumora
