#include "output/sacn_packet.h"

#include <algorithm>
#include <cstring>

#include "output/byte_order_p.h"

namespace lumora::output {

namespace {

constexpr std::uint8_t kAcnPacketIdentifier[12] = {'A', 'S', 'C', '-', 'E', '1', '.', '1', '7', 0, 0, 0};
constexpr std::uint32_t kVectorRootData = 0x00000004;
constexpr std::uint32_t kVectorRootExtended = 0x00000008;
constexpr std::uint32_t kVectorFramingData = 0x00000002;
constexpr std::uint32_t kVectorFramingSync = 0x00000001;
constexpr std::uint8_t kVectorDmpSetProperty = 0x02;
constexpr std::size_t kSourceNameSize = 64;

// A PDU's flags (0x7) and the length from this field to the packet's end.
void putFlagsAndLength(std::uint8_t* out, std::size_t length) {
  PutBig16(out, 0x7000 | static_cast<std::uint32_t>(length));
}

// Preamble, post-amble, identifier, root PDU and CID: the first 38 bytes.
void putRootLayer(std::uint8_t* out, std::size_t packetSize, std::uint32_t vector, const TComponentId& cid) {
  PutBig16(out, 0x0010);
  PutBig16(out + 2, 0x0000);
  std::memcpy(out + 4, kAcnPacketIdentifier, sizeof kAcnPacketIdentifier);
  putFlagsAndLength(out + 16, packetSize - 16);
  PutBig32(out + 18, vector);
  std::memcpy(out + 22, cid.data(), cid.size());
}

}  // namespace

void WriteSacnDataHeader(std::span<std::uint8_t, kSacnDataHeaderSize> out, const TSacnSource& source,
                         std::uint16_t universe, std::size_t slotCount) {
  const std::size_t size = kSacnDataHeaderSize + std::min(slotCount, kSacnMaxSlots);
  std::uint8_t* p = out.data();
  std::fill(out.begin(), out.end(), std::uint8_t{0});
  putRootLayer(p, size, kVectorRootData, source.Cid);
  putFlagsAndLength(p + 38, size - 38);
  PutBig32(p + 40, kVectorFramingData);
  std::memcpy(p + 44, source.Name.data(), std::min(source.Name.size(), kSourceNameSize - 1));
  p[108] = source.Priority;
  PutBig16(p + 109, source.SyncUniverse);
  PutBig16(p + 113, universe);
  putFlagsAndLength(p + 115, size - 115);
  p[117] = kVectorDmpSetProperty;
  p[118] = 0xA1;
  PutBig16(p + 119, 0x0000);
  PutBig16(p + 121, 0x0001);
  PutBig16(p + 123, static_cast<std::uint32_t>(size - 125));
}

std::array<std::uint8_t, kSacnSyncPacketSize> SacnSyncPacket(const TComponentId& cid, std::uint8_t sequence,
                                                              std::uint16_t syncUniverse) {
  std::array<std::uint8_t, kSacnSyncPacketSize> packet{};
  putRootLayer(packet.data(), packet.size(), kVectorRootExtended, cid);
  putFlagsAndLength(packet.data() + 38, packet.size() - 38);
  PutBig32(packet.data() + 40, kVectorFramingSync);
  packet[44] = sequence;
  PutBig16(packet.data() + 45, syncUniverse);
  return packet;
}

}  // namespace lumora::output
