#include "output/artnet_packet.h"

#include <cstring>

#include "output/byte_order_p.h"

namespace lumora::output {

namespace {

constexpr std::uint8_t kArtNetId[8] = {'A', 'r', 't', '-', 'N', 'e', 't', 0};
constexpr std::uint16_t kOpDmx = 0x5000;
constexpr std::uint16_t kOpSync = 0x5200;
constexpr std::uint8_t kProtocolVersion = 14;

// Identifier, op-code (low byte first) and protocol version (high byte first).
void putHead(std::uint8_t* out, std::uint16_t opCode) {
  std::memcpy(out, kArtNetId, sizeof kArtNetId);
  PutLittle(out + 8, opCode, 2);
  PutBig16(out + 10, kProtocolVersion);
}

}  // namespace

void WriteArtDmxHeader(std::span<std::uint8_t, kArtDmxHeaderSize> out, std::uint16_t portAddress,
                       std::uint16_t length) {
  putHead(out.data(), kOpDmx);
  out[12] = 0;
  out[13] = 0;
  out[14] = static_cast<std::uint8_t>(portAddress & 0xFF);
  out[15] = static_cast<std::uint8_t>((portAddress >> 8) & 0x7F);
  PutBig16(out.data() + 16, length);
}

std::array<std::uint8_t, kArtSyncPacketSize> ArtSyncPacket() {
  std::array<std::uint8_t, kArtSyncPacketSize> packet{};
  putHead(packet.data(), kOpSync);
  return packet;
}

}  // namespace lumora::output
