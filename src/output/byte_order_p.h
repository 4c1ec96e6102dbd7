// Integers stored at a byte address in the order a wire format or file
// format fixes, whatever the processor's own order.
#pragma once

#include <cstdint>

namespace lumora::output {

inline void PutBig16(std::uint8_t* out, std::uint32_t v) {
  out[0] = static_cast<std::uint8_t>(v >> 8);
  out[1] = static_cast<std::uint8_t>(v);
}

inline void PutBig32(std::uint8_t* out, std::uint32_t v) {
  PutBig16(out, v >> 16);
  PutBig16(out + 2, v);
}

// The low `bytes` bytes of v, least significant first.
inline void PutLittle(std::uint8_t* out, std::uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace lumora::output
