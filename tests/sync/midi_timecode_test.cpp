// MIDI timecode as bytes: full frames and quarter frames against messages
// written from the MIDI timecode layout, a sender running through a
// minute of drop-frame with a decoder reading it back, jumps, and hostile
// byte streams.
#include <gtest/gtest.h>

#include <vector>

#include "sync/alsa_midi.h"
#include "sync/midi_timecode.h"

namespace lumora::sync {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr auto kDf = TTimecodeRate::DropFrame2997;

template <std::size_t N>
Bytes bytes(const std::array<std::uint8_t, N>& a) {
  return {a.begin(), a.end()};
}

TEST(MidiTimecode, Messages) {
  // 21:34:56;28 at 29.97: hh = 0 10 10101.
  const TTimecode t{21, 34, 56, 28, kDf};
  EXPECT_EQ(bytes(MtcFullFrame(t)), (Bytes{0xF0, 0x7F, 0x7F, 0x01, 0x01, 0x55, 34, 56, 28, 0xF7}));
  EXPECT_EQ(bytes(MtcFullFrame({1, 2, 3, 4, TTimecodeRate::Film24})), (Bytes{0xF0, 0x7F, 0x7F, 1, 1, 0x01, 2, 3, 4, 0xF7}));
  EXPECT_EQ(bytes(MtcFullFrame({0, 0, 0, 0, TTimecodeRate::Smpte30})), (Bytes{0xF0, 0x7F, 0x7F, 1, 1, 0x60, 0, 0, 0, 0xF7}));
  // Frames 28 = 0x1C, seconds 56 = 0x38, minutes 34 = 0x22, hours 21 = 0x15.
  const Bytes pieces[] = {{0xF1, 0x0C}, {0xF1, 0x11}, {0xF1, 0x28}, {0xF1, 0x33},
                          {0xF1, 0x42}, {0xF1, 0x52}, {0xF1, 0x65}, {0xF1, 0x75}};
  for (int piece = 0; piece < 8; ++piece) EXPECT_EQ(bytes(MtcQuarterFrame(t, piece)), pieces[piece]) << piece;
  EXPECT_EQ(bytes(MtcQuarterFrame({0, 0, 0, 0, TTimecodeRate::Ebu25}, 7)), (Bytes{0xF1, 0x72}));
}

TEST(MidiTimecode, SenderAndDecoderAgreeForAMinute) {
  for (const TTimecodeRate rate : {TTimecodeRate::Film24, TTimecodeRate::Ebu25, kDf, TTimecodeRate::Smpte30}) {
    TMtcSender sender(rate);
    TMtcDecoder decoder;
    const double start = 59.5;
    const auto begun = decoder.Feed(sender.Start(start));
    ASSERT_EQ(begun.size(), 2u);
    EXPECT_EQ(begun[0].Kind, TMtcEvent::TKind::Start);
    EXPECT_EQ(begun[1].Timecode, TimecodeAt(start, rate));
    int cycles = 0;
    for (double s = start; s < start + 60; s += 0.001) {
      for (const TMtcEvent& e : decoder.Feed(sender.Advance(s))) {
        ++cycles;
        // The frame field comes from pieces 0 and 1 of one cycle: the whole
        // cycle names the even frame it began on, 1.75 frames ago.
        ASSERT_EQ(FrameCountFromTimecode(e.Timecode) % 2, 0) << FormatTimecode(e.Timecode);
        ASSERT_NEAR(e.Seconds, s, 0.26 / FramesPerSecond(rate)) << FormatTimecode(e.Timecode);
      }
    }
    EXPECT_NEAR(cycles, 60 * FramesPerSecond(rate) / 2, 2) << static_cast<int>(rate);
    const auto stopped = decoder.Feed(sender.Stop());
    ASSERT_EQ(stopped.size(), 1u);
    EXPECT_EQ(stopped[0].Kind, TMtcEvent::TKind::Stop);
    EXPECT_TRUE(sender.Advance(200).empty());
  }
}

TEST(MidiTimecode, FixedHourAndJumps) {
  TMtcSender sender(TTimecodeRate::Ebu25, 10);
  TMtcDecoder decoder(10);
  EXPECT_EQ(decoder.Feed(sender.Start(0))[1].Seconds, 0);
  std::vector<TMtcEvent> events;
  for (double s = 0; s < 1; s += 0.01) {
    for (const TMtcEvent& e : decoder.Feed(sender.Advance(s))) events.push_back(e);
  }
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(FormatTimecode(events.front().Timecode), "10:00:00:00");
  EXPECT_DOUBLE_EQ(events.front().Seconds, 1.75 / 25);
  // Back, or more than two cycles on, is a jump: one full frame.
  for (const double to : {0.2, 30.0}) {
    const Bytes jump = sender.Advance(to);
    ASSERT_EQ(jump.size(), kMtcFullFrameSize) << to;
    EXPECT_EQ(decoder.Feed(jump)[0].Timecode, TimecodeAt(to, TTimecodeRate::Ebu25, 10)) << to;
    // The quarter frames go on from the next cycle start, piece 0 first.
    const Bytes next = sender.Advance(to + 0.08 + 0.001);
    ASSERT_FALSE(next.empty());
    EXPECT_EQ(next[1] >> 4, 0) << to;
  }
}

TEST(MidiTimecode, DecoderTakesOnlyWholeCycles) {
  const TTimecode t{1, 2, 3, 4, TTimecodeRate::Ebu25};
  Bytes cycle;
  for (int piece = 0; piece < 8; ++piece) {
    const auto m = MtcQuarterFrame(t, piece);
    cycle.insert(cycle.end(), m.begin(), m.end());
  }
  const auto part = [&](std::size_t from, std::size_t to) {
    return Bytes(cycle.begin() + static_cast<std::ptrdiff_t>(from), cycle.begin() + static_cast<std::ptrdiff_t>(to));
  };
  const auto join = [](std::initializer_list<Bytes> pieces) {
    Bytes out;
    for (const Bytes& p : pieces) out.insert(out.end(), p.begin(), p.end());
    return out;
  };
  const struct {
    const char* What;
    Bytes Stream;
    std::size_t Events;
  } cases[] = {
      {"a whole cycle", cycle, 1},
      {"a cycle with a clock byte inside", join({part(0, 5), {0xF8}, part(5, 16)}), 1},
      {"a cycle cut by a note", join({part(0, 6), {0x90, 0x40, 0x7F}, part(6, 16)}), 0},
      {"the second half only", part(8, 16), 0},
      {"a missing piece", join({part(0, 4), part(6, 16)}), 0},
      {"a half cycle, then a whole one", join({part(0, 8), cycle}), 1},
      {"a full frame too long", {0xF0, 0x7F, 0x7F, 1, 1, 0, 0, 0, 0, 0, 0xF7}, 0},
      {"a full frame too short", {0xF0, 0x7F, 0x7F, 1, 1, 0, 0, 0, 0xF7}, 0},
      {"another SysEx", {0xF0, 0x7E, 0x7F, 1, 1, 0, 0, 0, 0, 0xF7}, 0},
      {"an impossible full frame", {0xF0, 0x7F, 0x7F, 1, 1, 0x40, 1, 0, 0, 0xF7}, 0},
      {"a SysEx without end", Bytes(1000, 0x01), 0},
  };
  for (const auto& c : cases) {
    TMtcDecoder decoder;
    const auto events = decoder.Feed(c.Stream);
    EXPECT_EQ(events.size(), c.Events) << c.What;
    if (!events.empty()) {
      EXPECT_EQ(events[0].Timecode, t) << c.What;
    }
  }
  // Fed byte by byte, the same.
  TMtcDecoder decoder;
  std::size_t events = 0;
  for (const std::uint8_t b : cycle) events += decoder.Feed({&b, 1}).size();
  EXPECT_EQ(events, 1u);
}

// Without a sequencer (as on a machine without sound), the port says so.
TEST(MidiTimecode, AlsaPortWithoutASequencer) {
  if (TAlsaMidiPort::Available()) GTEST_SKIP() << "this machine has an ALSA sequencer";
  TAlsaMidiPort port;
  EXPECT_EQ(port.Open("lumora"), "no ALSA sequencer (/dev/snd/seq)");
  EXPECT_EQ(port.Send(MtcFullFrame({})), "the ALSA port is not open");
  std::string error;
  EXPECT_TRUE(port.Receive(0, error).empty());
  EXPECT_EQ(error, "the ALSA port is not open");
}

}  // namespace
}  // namespace lumora::sync
