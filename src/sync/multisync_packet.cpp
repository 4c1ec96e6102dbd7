#include "sync/multisync_packet.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "render/little_endian.h"

namespace lumora::sync {

namespace {

constexpr std::uint8_t kMagic[4] = {'F', 'P', 'P', 'D'};

std::vector<std::uint8_t> header(TMultiSyncType type, std::size_t extraLength) {
  std::vector<std::uint8_t> out(std::begin(kMagic), std::end(kMagic));
  out.push_back(static_cast<std::uint8_t>(type));
  AppendU16(out, static_cast<std::uint32_t>(extraLength));
  return out;
}

std::string boundedName(const std::string& name) {
  const std::size_t end = std::min({name.find('\0'), name.size(), kMaxSyncFileName});
  return name.substr(0, end);
}

std::optional<TSyncPacket> parseSync(std::span<const std::uint8_t> extra, std::string& error) {
  if (extra.size() < kSyncFieldsSize) {
    error = "a MultiSync sync packet of " + std::to_string(extra.size()) + " bytes is too short";
    return std::nullopt;
  }
  if (extra[0] > static_cast<std::uint8_t>(TSyncAction::Open) || extra[1] > 1) {
    error = "a MultiSync sync packet has an unknown sync type " + std::to_string(extra[0]) + " or file type " +
            std::to_string(extra[1]);
    return std::nullopt;
  }
  TSyncPacket packet;
  packet.Action = static_cast<TSyncAction>(extra[0]);
  packet.FileType = static_cast<TSyncFileType>(extra[1]);
  packet.Frame = U32At(extra, 2);
  packet.Seconds = std::bit_cast<float>(U32At(extra, 6));
  if (!std::isfinite(packet.Seconds)) packet.Seconds = 0;
  // The name ends at its NUL or at the end of the extra data, whichever comes first.
  const auto name = extra.subspan(kSyncFieldsSize);
  const auto end = std::find(name.begin(), name.end(), std::uint8_t{0});
  if (end - name.begin() > static_cast<std::ptrdiff_t>(kMaxSyncFileName)) {
    error = "a MultiSync file name is longer than " + std::to_string(kMaxSyncFileName) + " bytes";
    return std::nullopt;
  }
  packet.FileName.assign(name.begin(), end);
  return packet;
}

}  // namespace

std::vector<std::uint8_t> EncodeSyncPacket(const TSyncPacket& packet) {
  const std::string name = boundedName(packet.FileName);
  std::vector<std::uint8_t> out = header(TMultiSyncType::Sync, kSyncFieldsSize + name.size() + 1);
  out.push_back(static_cast<std::uint8_t>(packet.Action));
  out.push_back(static_cast<std::uint8_t>(packet.FileType));
  AppendU32(out, packet.Frame);
  AppendU32(out, std::bit_cast<std::uint32_t>(packet.Seconds));
  out.insert(out.end(), name.begin(), name.end());
  out.push_back(0);
  return out;
}

std::vector<std::uint8_t> EncodeBlankPacket() { return header(TMultiSyncType::Blank, 0); }

std::optional<TMultiSyncMessage> ParseMultiSync(std::span<const std::uint8_t> datagram, std::string& error) {
  if (datagram.size() < kMultiSyncHeaderSize || !std::equal(std::begin(kMagic), std::end(kMagic), datagram.begin())) {
    error = "not a MultiSync packet";
    return std::nullopt;
  }
  const std::size_t extraLength = datagram[5] | std::size_t{datagram[6]} << 8;
  if (extraLength > datagram.size() - kMultiSyncHeaderSize) {
    error = "a MultiSync packet declares " + std::to_string(extraLength) + " bytes of data but carries " +
            std::to_string(datagram.size() - kMultiSyncHeaderSize);
    return std::nullopt;
  }
  const auto extra = datagram.subspan(kMultiSyncHeaderSize, extraLength);
  TMultiSyncMessage message;
  switch (datagram[4]) {
    case static_cast<std::uint8_t>(TMultiSyncType::Sync):
      message.Sync = parseSync(extra, error);
      if (!message.Sync) return std::nullopt;
      return message;
    case static_cast<std::uint8_t>(TMultiSyncType::Blank): message.Type = TMultiSyncType::Blank; return message;
    case static_cast<std::uint8_t>(TMultiSyncType::Ping): message.Type = TMultiSyncType::Ping; return message;
    default:
      error = "a MultiSync packet of type " + std::to_string(datagram[4]) + " is not followed";
      return std::nullopt;
  }
}

}  // namespace lumora::sync
