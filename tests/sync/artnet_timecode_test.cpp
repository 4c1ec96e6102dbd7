// ArtTimeCode against captures written from the Art-Net 4 layout, every
// rate, and refusals of packets that are not one or carry impossible times.
#include <gtest/gtest.h>

#include <vector>

#include "sync/artnet_timecode.h"

namespace lumora::sync {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes capture(std::uint8_t stream, std::uint8_t f, std::uint8_t s, std::uint8_t m, std::uint8_t h, std::uint8_t type) {
  return {'A', 'r', 't', '-', 'N', 'e', 't', 0, 0x00, 0x97, 0, 14, 0, stream, f, s, m, h, type};
}

TEST(ArtTimeCode, MatchesCaptures) {
  const struct {
    TTimecode Timecode;
    std::uint8_t Stream;
    Bytes Capture;
  } cases[] = {
      {{1, 2, 3, 4, TTimecodeRate::Film24}, 0, capture(0, 4, 3, 2, 1, 0)},
      {{23, 59, 59, 24, TTimecodeRate::Ebu25}, 7, capture(7, 24, 59, 59, 23, 1)},
      {{10, 1, 0, 2, TTimecodeRate::DropFrame2997}, 0, capture(0, 2, 0, 1, 10, 2)},
      {{0, 0, 0, 29, TTimecodeRate::Smpte30}, 0, capture(0, 29, 0, 0, 0, 3)},
  };
  for (const auto& c : cases) {
    const auto packet = EncodeArtTimeCode(c.Timecode, c.Stream);
    EXPECT_EQ(Bytes(packet.begin(), packet.end()), c.Capture) << FormatTimecode(c.Timecode);
    std::string error;
    const auto parsed = ParseArtTimeCode(c.Capture, error);
    ASSERT_TRUE(parsed) << error;
    EXPECT_EQ(parsed->Timecode, c.Timecode);
    EXPECT_EQ(parsed->Stream, c.Stream);
  }
  // A longer packet, as a later protocol may send, is taken.
  Bytes longer = capture(0, 1, 2, 3, 4, 1);
  longer.resize(40, 0xEE);
  std::string error;
  EXPECT_TRUE(ParseArtTimeCode(longer, error)) << error;
}

TEST(ArtTimeCode, RefusesWhatIsNotTimecode) {
  Bytes oldProtocol = capture(0, 1, 2, 3, 4, 1);
  oldProtocol[11] = 13;
  Bytes dmx = capture(0, 1, 2, 3, 4, 1);
  dmx[9] = 0x50;
  Bytes cut = capture(0, 1, 2, 3, 4, 1);
  cut.pop_back();
  const struct {
    Bytes Packet;
    std::string Error;
  } cases[] = {
      {{}, "not an Art-Net packet"},
      {{'A', 'r', 't', '-', 'N', 'e', 't', 1, 0, 0x97}, "not an Art-Net packet"},
      {dmx, "not timecode"},
      {cut, "18 bytes is too short"},
      {oldProtocol, "protocol 13 is too old"},
      {capture(0, 1, 2, 3, 4, 4), "unknown type 4"},
      {capture(0, 25, 0, 0, 0, 1), "impossible time 00:00:00:25"},
      {capture(0, 0, 0, 1, 0, 2), "impossible time 00:01:00;00"},
      {capture(0, 0, 0, 0, 24, 3), "impossible time 24:00:00:00"},
      {capture(0, 0, 60, 0, 0, 0), "impossible time 00:00:60:00"},
  };
  for (const auto& c : cases) {
    std::string error;
    EXPECT_FALSE(ParseArtTimeCode(c.Packet, error)) << c.Error;
    EXPECT_NE(error.find(c.Error), std::string::npos) << error;
  }
}

}  // namespace
}  // namespace lumora::sync
