#include "output/ddp_packet.h"

#include "output/byte_order_p.h"

namespace lumora::output {

namespace {

constexpr std::uint8_t kVersion1 = 0x40;
constexpr std::uint8_t kPush = 0x01;
// Type RGB (001) in bits 3–5, 8 bits a component (011) in bits 0–2.
constexpr std::uint8_t kRgb8 = 0x0B;
constexpr std::uint8_t kDefaultOutputDevice = 1;

}  // namespace

std::array<std::uint8_t, kDdpHeaderSize> DdpHeader(std::uint8_t sequence, bool push, std::uint32_t offset,
                                                   std::uint16_t length) {
  std::array<std::uint8_t, kDdpHeaderSize> header{};
  header[0] = push ? kVersion1 | kPush : kVersion1;
  header[1] = sequence & 0x0F;
  header[2] = kRgb8;
  header[3] = kDefaultOutputDevice;
  PutBig32(header.data() + 4, offset);
  PutBig16(header.data() + 8, length);
  return header;
}

}  // namespace lumora::output
