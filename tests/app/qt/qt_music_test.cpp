#include "app/qt/qt_music.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <limits>

#include "app/qt/test_application.h"
#include "export/music_file.h"
#include "fuzz/music_files.h"
#include "support/show_fixtures.h"

// The PulseAudio client that Qt Multimedia loads keeps a few allocations
// to the end of the process; they are not ours.
extern "C" const char* __lsan_default_suppressions() { return "leak:libpulse.so\n"; }

namespace lumora {
namespace {

// One second of 8-bit mono silence at 8 kHz.
std::vector<std::uint8_t> silentWav() {
  constexpr std::uint32_t kSamples = 8000;
  std::vector<std::uint8_t> wav;
  auto text = [&](const char* s) {
    for (int i = 0; i < 4; ++i) wav.push_back(static_cast<std::uint8_t>(s[i]));
  };
  auto u32 = [&](std::uint32_t v) {
    for (int i = 0; i < 4; ++i) wav.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  };
  auto u16 = [&](std::uint16_t v) {
    wav.push_back(static_cast<std::uint8_t>(v));
    wav.push_back(static_cast<std::uint8_t>(v >> 8));
  };
  text("RIFF");
  u32(36 + kSamples);
  text("WAVE");
  text("fmt ");
  u32(16);
  u16(1);
  u16(1);
  u32(8000);
  u32(8000);
  u16(1);
  u16(8);
  text("data");
  u32(kSamples);
  wav.insert(wav.end(), kSamples, 128);
  return wav;
}

// Needs no audio device: without one the music stays silent or reports a
// failure, and the player goes on either way.
TEST(QtMusicPlayer, OpensPlaysAndClosesWithOrWithoutAudio) {
  test::application();
  test::TPlayerDir dir("qt_music");
  TQtMusicPlayer music;
  EXPECT_EQ(music.Position(), 0);
  EXPECT_EQ(music.Length(), std::numeric_limits<std::int64_t>::max()) << "nothing open never ends";
  EXPECT_THROW(music.Open(dir.Path("missing.wav")), std::runtime_error);
  EXPECT_THROW(music.Open(dir.Fifo("fifo.wav")), std::runtime_error) << "a FIFO is refused, not waited on";
  // A play list or manifest never reaches the media framework, which would
  // fetch what it names.
  const std::string secret = dir.Write("secret.wav", silentWav());
  for (const std::string& list : {fuzz::HlsPlaylist("http://127.0.0.1:9/" + secret), fuzz::HlsPlaylist(secret, true),
                                  fuzz::DashManifest("http://127.0.0.1:9/a.wav")}) {
    EXPECT_THROW(music.Open(dir.Write("music.m3u8", fuzz::TextBytes(list))), EMusicFile) << list;
  }

  bool failed = false;
  music.OnFailed = [&] { failed = true; };
  music.Open(dir.Write("song.wav", silentWav()));
  music.Play();
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < 300) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  EXPECT_GE(music.Length(), music.Position());
  music.Rewind();
  music.Pause();
  music.Close();
  SUCCEED() << (failed ? "reported a failure" : "played");
}

}  // namespace
}  // namespace lumora
