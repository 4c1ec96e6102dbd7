#include "app/program_entry.h"

#include "app/player_form.h"

namespace lumora {

namespace {

void putU32(std::vector<std::uint8_t>& bytes, std::uint32_t v) {
  for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<std::uint8_t>(v >> shift));
}

std::uint32_t u32At(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
         static_cast<std::uint32_t>(bytes[at + 2]) << 16 | static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

}  // namespace

bool HandedToRunningInstance(const std::string& argument) {
  if (argument.empty()) return false;
  for (const char* kind : {".ctl", ".tol", ".cot", ".lst"}) {
    if (ContainsNoCase(argument, kind)) return true;
  }
  return false;
}

bool AcceptedAtFirstStart(const std::string& argument) {
  return argument.empty() || HandedToRunningInstance(argument) || ContainsNoCase(argument, ".exe");
}

std::vector<std::uint8_t> EncodeCopyData(const std::string& path) {
  std::vector<std::uint8_t> record;
  record.reserve(kCopyDataHeaderSize + path.size() + 1);
  putU32(record, 0);
  putU32(record, static_cast<std::uint32_t>(path.size() + 1));
  record.insert(record.end(), path.begin(), path.end());
  record.push_back(0);
  return record;
}

std::optional<std::string> DecodeCopyData(std::span<const std::uint8_t> record) {
  if (record.size() < kCopyDataHeaderSize) return std::nullopt;
  const std::uint32_t count = u32At(record, 4);
  if (count == 0 || count > kMaxCopyDataBytes) return std::nullopt;
  if (record.size() - kCopyDataHeaderSize != count || record.back() != 0) return std::nullopt;
  const auto data = record.subspan(kCopyDataHeaderSize, count - 1);
  std::string path(data.begin(), data.end());
  // The path is read as a 0-terminated string.
  path.resize(path.find('\0') == std::string::npos ? path.size() : path.find('\0'));
  return path;
}

}  // namespace lumora
