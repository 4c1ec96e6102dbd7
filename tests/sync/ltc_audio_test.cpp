// LTC through libltc: timecode encoded to samples and decoded back, frame
// after frame, at every rate and across drop-frame minutes, straight and
// through a WAV file; WAV files the reader refuses.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "io/stream.h"
#include "sync/ltc_audio.h"
#include "sync/wav_file.h"
#include "temp_folder.h"

namespace lumora::sync {
namespace {

namespace fs = std::filesystem;

using test::TTempFolder;

std::vector<float> asFloats(const std::vector<std::int16_t>& samples) {
  std::vector<float> out;
  for (const std::int16_t s : samples) out.push_back(static_cast<float>(s) / 32768.0f);
  return out;
}

// Each frame decoded is the one after the frame before, from the first.
void expectConsecutive(const std::vector<TLtcFrame>& frames, const TTimecode& first, std::size_t atLeast) {
  ASSERT_GE(frames.size(), atLeast) << FormatTimecode(first);
  const std::int64_t start = FrameCountFromTimecode(first);
  for (std::size_t i = 0; i < frames.size(); ++i) {
    ASSERT_EQ(frames[i].Timecode, TimecodeFromFrameCount(start + static_cast<std::int64_t>(i), first.Rate))
        << "frame " << i << " after " << FormatTimecode(first);
    ASSERT_FALSE(frames[i].Reverse);
  }
}

TEST(LtcAudio, RoundTrips) {
  const struct {
    double Seconds;
    TTimecodeRate Rate;
    std::uint32_t SampleRate;
  } cases[] = {
      {0, TTimecodeRate::Film24, 48000},
      {3599, TTimecodeRate::Ebu25, 44100},
      {3599, TTimecodeRate::Smpte30, 48000},
      // Across 00:01:00;00 and 00:10:00;00, which drop-frame skips and keeps.
      {59, TTimecodeRate::DropFrame2997, 48000},
      {599, TTimecodeRate::DropFrame2997, 44100},
  };
  for (const auto& c : cases) {
    const auto samples = LtcSamples(c.Seconds, 2, c.Rate, c.SampleRate);
    EXPECT_NEAR(static_cast<double>(samples.size()), 2 * c.SampleRate, c.SampleRate / 20.0);
    TLtcDecoder decoder(c.SampleRate, c.Rate);
    // A frame is complete once the next one's start is heard, so the last
    // one may stay in the decoder.
    const auto frames = decoder.Feed(asFloats(samples));
    expectConsecutive(frames, TimecodeAt(c.Seconds, c.Rate), static_cast<std::size_t>(2 * FramesPerSecond(c.Rate)) - 1);
  }
}

TEST(LtcAudio, FixedHourThroughAWavFile) {
  TTempFolder folder("ltc");
  const std::string path = folder.Path("timecode.wav");
  const double start = SecondsOf({0, 0, 59, 0, TTimecodeRate::DropFrame2997});
  const auto samples = LtcSamples(start, 1.5, TTimecodeRate::DropFrame2997, 48000, 7);
  WriteWav(path, samples, 48000);
  // Read as 30, the drop-frame flag makes it 29.97.
  const auto frames = ReadLtcFromWav(path, TTimecodeRate::Smpte30);
  expectConsecutive(frames, {7, 0, 59, 0, TTimecodeRate::DropFrame2997}, 43);
  EXPECT_EQ(FormatTimecode(frames[30].Timecode), "07:01:00;02");
  EXPECT_NEAR(SecondsOf(frames[0].Timecode, 7), 59 * 1.001, 1e-9);
}

TEST(LtcAudio, WavFilesRefused) {
  TTempFolder folder("ltc");
  const auto write = [&](const std::string& name, std::vector<std::uint8_t> bytes) {
    WriteFileBytes(folder.Path(name), bytes);
    return folder.Path(name);
  };
  const std::vector<std::int16_t> someSamples(100, 1000);
  WriteWav(folder.Path("good.wav"), someSamples, 48000);
  const auto good = ReadFileBytes(folder.Path("good.wav"));
  auto changed = [&](std::size_t at, std::uint8_t value) {
    auto b = good;
    b[at] = value;
    return b;
  };
  const struct {
    std::string Path;
    std::uint16_t Channel;
    std::string Error;
  } cases[] = {
      {folder.Path("missing.wav"), 0, "cannot open the file"},
      {write("text.wav", {'h', 'e', 'l', 'l', 'o'}), 0, "not a WAV file"},
      {write("compressed.wav", changed(20, 2)), 0, "format 2, 16 bits, 1 channels at 48000 Hz cannot be read"},
      {write("bits.wav", changed(34, 12)), 0, "format 1, 12 bits"},
      {folder.Path("good.wav"), 1, "has no channel 2"},
      {write("rate.wav", changed(26, 0x10)), 0, "at 1096576 Hz cannot be read"},
      {write("nodata.wav", std::vector<std::uint8_t>(good.begin(), good.begin() + 36)), 0, "has no audio data"},
      {write("noformat.wav", changed(12, 'x')), 0, "has no format chunk"},
  };
  for (const auto& c : cases) {
    TWavReader reader(c.Path, c.Channel);
    EXPECT_NE(reader.Error().find(c.Error), std::string::npos) << c.Path << ": " << reader.Error();
    EXPECT_TRUE(reader.Read(100).empty()) << c.Path;
    EXPECT_THROW(ReadLtcFromWav(c.Path, TTimecodeRate::Ebu25, c.Channel), TLoadError) << c.Path;
  }
  // A data chunk longer than the file reads what is there.
  auto longer = good;
  longer[40] = 0xFF;
  longer[41] = 0xFF;
  TWavReader reader(write("longer.wav", longer));
  EXPECT_EQ(reader.Error(), "");
  EXPECT_EQ(reader.Read(1000).size(), 100u);
  EXPECT_TRUE(reader.Read(1000).empty());
}

}  // namespace
}  // namespace lumora::sync
