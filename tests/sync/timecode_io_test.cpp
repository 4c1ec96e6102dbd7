// Timecode out and in as a running player drives them: Art-Net to a
// receiver on 127.0.0.1 with the show's hour, LTC written to a WAV file as
// the show plays (jumps included) and decoded back, a file's LTC followed
// in real time, Art-Net timecode heard with the hour taken off, and the
// devices this machine lacks refused by name.
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "sync/alsa_midi.h"
#include "sync/artnet_timecode.h"
#include "sync/ltc_audio.h"
#include "sync/timecode_in.h"
#include "sync/timecode_out.h"
#include "sync/udp_receiver.h"
#include "sync/wav_file.h"
#include "temp_folder.h"

namespace lumora::sync {
namespace {

using test::TTempFolder;

TTimecodeOutTarget target(TTimecodeOutKind kind, std::string name = {}, output::TEndpoint to = {}) {
  return {kind, to, std::move(name), TTimecodeRate::Ebu25};
}

std::string message(const std::function<void()>& open) {
  try {
    open();
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "";
}

TEST(TimecodeOut, ArtNetWithTheShowsHour) {
  TUdpReceiver desk;
  ASSERT_EQ(desk.Open(output::kLoopbackAddress, 0), "");
  const auto out = OpenTimecodeOut(target(TTimecodeOutKind::ArtNet, {}, {output::kLoopbackAddress, desk.Port()}));
  for (const TTimecodeProgress& p : std::vector<TTimecodeProgress>{{false, 5, 1}, {true, 0, 2}, {true, 0.03, 2}, {true, 0.06, 2},
                                                                   {true, 0.06, 3}}) {
    ASSERT_EQ(out->Update(p), "");
  }
  std::vector<std::string> got;
  std::vector<std::uint8_t> buffer(kMaxDatagram);
  std::string error;
  while (const auto r = desk.Receive(buffer, 200, error)) {
    const auto packet = ParseArtTimeCode({buffer.data(), r->Size}, error);
    ASSERT_TRUE(packet) << error;
    got.push_back(FormatTimecode(packet->Timecode));
  }
  EXPECT_EQ(got, (std::vector<std::string>{"02:00:00:00", "02:00:00:01", "03:00:00:01"}));
  EXPECT_EQ(out->LastSent(), (TTimecode{3, 0, 0, 1, TTimecodeRate::Ebu25}));
}

TEST(TimecodeOut, LtcToAWavFileAsTheShowPlays) {
  TTempFolder folder("timecode_out");
  const std::string wav = folder.Path("show.wav");
  {
    const auto out = OpenTimecodeOut(target(TTimecodeOutKind::LtcFile, wav));
    for (int frame = 0; frame < 34; ++frame) ASSERT_EQ(out->Update({true, frame * 0.03, 1}), "");
    ASSERT_EQ(out->Update({false, 0, 1}), "") << "a stop writes nothing";
    for (int frame = 0; frame < 10; ++frame) ASSERT_EQ(out->Update({true, 60 + frame * 0.03, 1}), "");
    EXPECT_EQ(out->LastSent(), (TTimecode{1, 1, 0, 6, TTimecodeRate::Ebu25}));
  }
  const std::vector<TLtcFrame> frames = ReadLtcFromWav(wav, TTimecodeRate::Ebu25);
  std::vector<std::string> got;
  for (const TLtcFrame& f : frames) got.push_back(FormatTimecode(f.Timecode));
  // 34 ticks of 30 ms pass 25 frames 00 … 24 of the first second; after the
  // jump, frames 00 … 06 of the minute (the last may stay in the decoder).
  ASSERT_GE(got.size(), 31u);
  EXPECT_EQ(got.front(), "01:00:00:00");
  EXPECT_EQ(got[24], "01:00:00:24");
  EXPECT_EQ(got[25], "01:01:00:00");
  EXPECT_EQ(got[30], "01:01:00:05");
}

TEST(TimecodeOut, DevicesThisMachineLacks) {
  EXPECT_EQ(message([] { OpenTimecodeOut(target(TTimecodeOutKind::LtcFile, "/nonexistent/folder/show.wav")); }),
            "LTC: /nonexistent/folder/show.wav: cannot write the file");
  EXPECT_NE(message([] { OpenTimecodeOut(target(TTimecodeOutKind::LtcAudio, "lumora-no-such-device")); })
                .find("LTC: cannot open the audio output \"lumora-no-such-device\""),
            std::string::npos);
  if (!TAlsaMidiPort::Available()) {
    EXPECT_EQ(message([] { OpenTimecodeOut(target(TTimecodeOutKind::Mtc)); }),
              "MIDI timecode: no ALSA sequencer (/dev/snd/seq)");
  }
  const TTimecodeInSource audio{TTimecodeInKind::LtcAudio, {}, "lumora-no-such-device", TTimecodeRate::Ebu25};
  EXPECT_NE(message([&] { TTimecodeInput(audio, [](const TTimecodeHeard&) {}, [] { return std::nullopt; }, TSyncClock::now); })
                .find("timecode in (ltc audio lumora-no-such-device): cannot open the audio input"),
            std::string::npos);
}

// What a reader hands over, kept for the test's thread.
class THeardLog {
 public:
  TTimecodeSink Sink() {
    return [this](const TTimecodeHeard& heard) {
      const std::lock_guard lock(fLock);
      fHeard.push_back(heard);
      fChanged.notify_all();
    };
  }
  // Waits up to 5 s for a heard position that passes the test.
  std::vector<TTimecodeHeard> Until(const std::function<bool(const TTimecodeHeard&)>& done) {
    std::unique_lock lock(fLock);
    fChanged.wait_for(lock, std::chrono::seconds(5), [&] { return !fHeard.empty() && done(fHeard.back()); });
    return fHeard;
  }

 private:
  std::mutex fLock;
  std::condition_variable fChanged;
  std::vector<TTimecodeHeard> fHeard;
};

TEST(TimecodeIn, ArtNetWithTheHourTakenOff) {
  THeardLog log;
  const TTimecodeInput input({TTimecodeInKind::ArtNet, {output::kLoopbackAddress, 0}, {}, TTimecodeRate::Ebu25},
                             log.Sink(), [] { return std::optional<int>(1); }, TSyncClock::now);
  ASSERT_NE(input.Port(), 0);
  TUdpReceiver sender;
  ASSERT_EQ(sender.Open(output::kLoopbackAddress, 0), "");
  const output::TEndpoint to{output::kLoopbackAddress, input.Port()};
  const std::vector<std::uint8_t> other = {'A', 'r', 't', '-', 'N', 'e', 't', 0, 0x00, 0x50};
  ASSERT_EQ(sender.SendTo(other, to), "") << "other Art-Net packets are passed over";
  const auto packet = EncodeArtTimeCode({1, 0, 10, 5, TTimecodeRate::Ebu25});
  ASSERT_EQ(sender.SendTo(packet, to), "");
  const auto heard = log.Until([](const TTimecodeHeard&) { return true; });
  ASSERT_EQ(heard.size(), 1u);
  EXPECT_DOUBLE_EQ(heard[0].Seconds, 10.2);
  EXPECT_EQ(heard[0].Timecode, (TTimecode{1, 0, 10, 5, TTimecodeRate::Ebu25}));
  EXPECT_FALSE(heard[0].Stopped);
}

// A second of LTC from 00:00:05:00, read at the pace it plays: positions
// rise with it, each a frame and a bit past its label, and the file's end
// stops the timecode.
TEST(TimecodeIn, LtcFileInRealTime) {
  TTempFolder folder("timecode_in");
  const std::string wav = folder.Path("desk.wav");
  WriteWav(wav, LtcSamples(5, 1, TTimecodeRate::Ebu25, kLtcSampleRate), kLtcSampleRate);
  THeardLog log;
  const auto began = TSyncClock::now();
  const TTimecodeInput input({TTimecodeInKind::LtcFile, {}, wav, TTimecodeRate::Ebu25}, log.Sink(),
                             [] { return std::nullopt; }, TSyncClock::now);
  const auto heard = log.Until([](const TTimecodeHeard& h) { return h.Stopped; });
  ASSERT_GE(heard.size(), 20u);
  ASSERT_TRUE(heard.back().Stopped);
  EXPECT_GE(std::chrono::duration<double>(heard.back().At - began).count(), 0.9) << "read in real time";
  for (std::size_t i = 0; i + 1 < heard.size(); ++i) {
    const TTimecodeHeard& h = heard[i];
    const double label = SecondsOf(h.Timecode);
    EXPECT_GE(h.Seconds, label + 0.04 - 1e-9) << FormatTimecode(h.Timecode);
    EXPECT_LE(h.Seconds, label + 0.04 + 0.021) << FormatTimecode(h.Timecode);
    if (i > 0) {
      EXPECT_GT(h.Seconds, heard[i - 1].Seconds);
    }
  }
  EXPECT_EQ(FormatTimecode(heard.front().Timecode), "00:00:05:00");
}

TEST(WavStream, ReadsWholeWhileWritten) {
  TTempFolder folder("wav_stream");
  const std::string path = folder.Path("stream.wav");
  TWavStream stream(path, 8000);
  ASSERT_EQ(stream.Error(), "");
  const std::vector<std::int16_t> first = {0, 1000, -1000, 32767};
  const std::vector<std::int16_t> second = {-32768, 5};
  ASSERT_EQ(stream.Append(first), "");
  stream.Flush();
  EXPECT_EQ(TWavReader(path).Read(100).size(), 4u);
  ASSERT_EQ(stream.Append(second), "");
  stream.Flush();
  TWavReader reader(path);
  ASSERT_EQ(reader.Error(), "");
  EXPECT_EQ(reader.SampleRate(), 8000u);
  const std::vector<float> back = reader.Read(100);
  ASSERT_EQ(back.size(), 6u);
  EXPECT_EQ(back[3], 32767 / 32768.0f);
  EXPECT_EQ(back[4], -1.0f);
}

}  // namespace
}  // namespace lumora::sync
