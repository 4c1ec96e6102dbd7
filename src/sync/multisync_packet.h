// MultiSync control packets, byte for byte: a 7-byte header ('F','P','P','D',
// packet type, 16-bit extra length) and, for a sync packet, sync type, file
// type, frame number, seconds elapsed and the file's name. Multi-byte fields
// are little-endian and packed, as the leaders on the wire send them.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace lumora::sync {

inline constexpr std::uint16_t kMultiSyncPort = 32320;
// 239.70.80.80, "239.F.P.P".
inline constexpr std::uint32_t kMultiSyncMulticastAddress = 0xEF465050;
inline constexpr std::size_t kMultiSyncHeaderSize = 7;
// Sync type, file type, frame and seconds before the name.
inline constexpr std::size_t kSyncFieldsSize = 10;
// The longest file name taken; leaders name files far shorter.
inline constexpr std::size_t kMaxSyncFileName = 255;

enum class TMultiSyncType : std::uint8_t { Sync = 1, Blank = 3, Ping = 4 };
enum class TSyncAction : std::uint8_t { Start = 0, Stop = 1, Sync = 2, Open = 3 };
enum class TSyncFileType : std::uint8_t { Sequence = 0, Media = 1 };

struct TSyncPacket {
  TSyncAction Action = TSyncAction::Sync;
  TSyncFileType FileType = TSyncFileType::Sequence;
  std::uint32_t Frame = 0;
  float Seconds = 0;
  std::string FileName;
  friend bool operator==(const TSyncPacket&, const TSyncPacket&) = default;
};

// A sync packet; the name is cut to kMaxSyncFileName bytes and at a NUL.
std::vector<std::uint8_t> EncodeSyncPacket(const TSyncPacket& packet);
// A blank packet: the followers clear their lamps.
std::vector<std::uint8_t> EncodeBlankPacket();

// What a datagram on the MultiSync port carried.
struct TMultiSyncMessage {
  TMultiSyncType Type = TMultiSyncType::Sync;
  std::optional<TSyncPacket> Sync;
};

// Checks every length and field; a datagram that is not MultiSync, is cut
// short, or carries a type we do not follow gives nullopt and the reason in
// error. Bytes after the declared extra length are ignored; a ping is
// recognised and its contents left alone.
std::optional<TMultiSyncMessage> ParseMultiSync(std::span<const std::uint8_t> datagram, std::string& error);

}  // namespace lumora::sync
