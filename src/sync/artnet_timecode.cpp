#include "sync/artnet_timecode.h"

#include <algorithm>

namespace lumora::sync {

namespace {

constexpr std::uint8_t kId[8] = {'A', 'r', 't', '-', 'N', 'e', 't', 0};
constexpr std::uint16_t kOpTimeCode = 0x9700;
constexpr std::uint16_t kProtocolVersion = 14;

// Offsets after the 12-byte header.
constexpr std::size_t kStreamAt = 13;
constexpr std::size_t kFramesAt = 14;
constexpr std::size_t kTypeAt = 18;

}  // namespace

std::array<std::uint8_t, kArtTimeCodeSize> EncodeArtTimeCode(const TTimecode& t, std::uint8_t stream) {
  std::array<std::uint8_t, kArtTimeCodeSize> out{};
  std::copy(std::begin(kId), std::end(kId), out.begin());
  out[8] = kOpTimeCode & 0xFF;
  out[9] = kOpTimeCode >> 8;
  out[10] = kProtocolVersion >> 8;
  out[11] = kProtocolVersion & 0xFF;
  out[kStreamAt] = stream;
  out[kFramesAt] = t.Frames;
  out[kFramesAt + 1] = t.Seconds;
  out[kFramesAt + 2] = t.Minutes;
  out[kFramesAt + 3] = t.Hours;
  out[kTypeAt] = static_cast<std::uint8_t>(t.Rate);
  return out;
}

std::optional<TArtTimeCode> ParseArtTimeCode(std::span<const std::uint8_t> packet, std::string& error) {
  if (packet.size() < 10 || !std::equal(std::begin(kId), std::end(kId), packet.begin())) {
    error = "not an Art-Net packet";
    return std::nullopt;
  }
  if ((packet[8] | packet[9] << 8) != kOpTimeCode) {
    error = "an Art-Net packet that is not timecode";
    return std::nullopt;
  }
  if (packet.size() < kArtTimeCodeSize) {
    error = "an ArtTimeCode packet of " + std::to_string(packet.size()) + " bytes is too short";
    return std::nullopt;
  }
  if ((packet[10] << 8 | packet[11]) < kProtocolVersion) {
    error = "an ArtTimeCode packet of protocol " + std::to_string(packet[10] << 8 | packet[11]) + " is too old";
    return std::nullopt;
  }
  if (packet[kTypeAt] > static_cast<std::uint8_t>(TTimecodeRate::Smpte30)) {
    error = "an ArtTimeCode packet has the unknown type " + std::to_string(packet[kTypeAt]);
    return std::nullopt;
  }
  TArtTimeCode out;
  out.Stream = packet[kStreamAt];
  out.Timecode = {packet[kFramesAt + 3], packet[kFramesAt + 2], packet[kFramesAt + 1], packet[kFramesAt],
                  static_cast<TTimecodeRate>(packet[kTypeAt])};
  if (!IsValidTimecode(out.Timecode)) {
    error = "an ArtTimeCode packet carries the impossible time " + FormatTimecode(out.Timecode);
    return std::nullopt;
  }
  return out;
}

}  // namespace lumora::sync
