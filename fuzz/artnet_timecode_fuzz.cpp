// Any datagram on the Art-Net port read as timecode: a packet taken holds a
// valid time, writes back to the same bytes (the filler aside), and its
// seconds lead back to it.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_check.h"
#include "sync/artnet_timecode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lumora::sync;
  using lumora::fuzz::Check;
  std::string error;
  const auto parsed = ParseArtTimeCode({data, size}, error);
  Check(parsed.has_value() == error.empty());
  if (!parsed) return 0;
  Check(IsValidTimecode(parsed->Timecode));
  auto packet = EncodeArtTimeCode(parsed->Timecode, parsed->Stream);
  packet[10] = data[10];
  packet[11] = data[11];
  packet[12] = data[12];
  Check(std::equal(packet.begin(), packet.end(), data));
  Check(TimecodeAt(SecondsOf(parsed->Timecode), parsed->Timecode.Rate) == parsed->Timecode);
  return 0;
}
