// E1.31 (sACN) packets, byte for byte: the data packet that carries one
// universe, and the synchronisation packet after which receivers show the
// universes they hold.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "output/component_id.h"

namespace lumora::output {

// Root, framing and DMP layers up to and including the start code; the
// universe's slots follow.
inline constexpr std::size_t kSacnDataHeaderSize = 126;
inline constexpr std::size_t kSacnSyncPacketSize = 49;
inline constexpr std::size_t kSacnSequenceOffset = 111;
inline constexpr std::size_t kSacnOptionsOffset = 112;
// The options bit by which a source says it stops sending the universe.
inline constexpr std::uint8_t kSacnStreamTerminated = 0x40;
// Packets a stopping source sends with it.
inline constexpr int kSacnTerminationPackets = 3;
inline constexpr std::size_t kSacnMaxSlots = 512;

struct TSacnSource {
  TComponentId Cid{};
  // UTF-8, cut to 63 bytes.
  std::string_view Name;
  std::uint8_t Priority = 100;
  // 0 when the source sends no synchronisation packets.
  std::uint16_t SyncUniverse = 0;
};

// The header of a data packet of slotCount slots (at most 512) for universe,
// with sequence number 0; SetSacnSequence changes it in place.
void WriteSacnDataHeader(std::span<std::uint8_t, kSacnDataHeaderSize> out, const TSacnSource& source,
                         std::uint16_t universe, std::size_t slotCount);

inline void SetSacnSequence(std::span<std::uint8_t, kSacnDataHeaderSize> header, std::uint8_t sequence) {
  header[kSacnSequenceOffset] = sequence;
}

inline void SetSacnStreamTerminated(std::span<std::uint8_t, kSacnDataHeaderSize> header, bool terminated) {
  header[kSacnOptionsOffset] = terminated ? kSacnStreamTerminated : std::uint8_t{0};
}

std::array<std::uint8_t, kSacnSyncPacketSize> SacnSyncPacket(const TComponentId& cid, std::uint8_t sequence,
                                                              std::uint16_t syncUniverse);

}  // namespace lumora::output
