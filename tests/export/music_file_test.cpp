// Music as the player and the export open it: sound files of the formats
// taken, and every play list, manifest, script, picture and stream format
// refused from its bytes, before anything it names could be read; every
// step within its time limit.
#include "export/music_file.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "export/export_fixtures.h"
#include "export/music_input_p.h"
#include "render/png_io.h"
#include "support/load_error.h"

namespace lumora {
namespace {

using namespace fixtures;

std::string refusal(const std::string& path) {
  return test::ErrorOf<EMusicFile>([&] { CheckMusicFile(path); });
}

// The local sound a play list names is a real file beside it, so that a
// reader that followed the list would find it.
TEST(MusicFile, OnlySoundFilesOfTheFormatsTakenAreMusic) {
  struct TCase {
    std::string Name;
    std::function<void(const std::string& path, const std::string& secret)> Write;
    std::string Refusal;  // empty: taken
  };
  const auto text = [](std::function<std::string(const std::string& secret)> make) {
    return [=](const std::string& path, const std::string& secret) {
      WriteFileBytes(path, fuzz::TextBytes(make(secret)));
    };
  };
  const auto encoded = [](const char* container, const char* encoder) {
    return [=](const std::string& path, const std::string&) { fuzz::WriteEncodedTone(path, container, encoder); };
  };
  const std::string kText = "it is text (a play list?), not a sound file";
  const std::vector<TCase> cases = {
      {"tone.wav", [](const std::string& p, const std::string&) { WriteWav(p, 44100, 2, 0.2, 440); }, ""},
      {"float.wav",
       [](const std::string& p, const std::string&) {
         WriteFileBytes(p, fuzz::FloatWavBytes(8000, 1, {0.5f, -0.5f}));
       },
       ""},
      {"tone.mp3", encoded("mp3", "libmp3lame"), ""},
      {"tone.flac", encoded("flac", "flac"), ""},
      {"tone.ogg", encoded("ogg", "libvorbis"), ""},
      {"tone.aac", encoded("adts", "aac"), ""},
      {"tone.m4a", encoded("ipod", "aac"), ""},
      {"tone.mka", encoded("matroska", "libopus"), ""},
      {"absolute.m3u8", text([](const std::string& s) { return fuzz::HlsPlaylist(s); }), kText},
      {"relative.m3u8", text([](const std::string&) { return fuzz::HlsPlaylist("../../secret.wav"); }), kText},
      {"live.m3u8", text([](const std::string& s) { return fuzz::HlsPlaylist(s, true); }), kText},
      {"marked.m3u8", text([](const std::string& s) { return "\xEF\xBB\xBF" + fuzz::HlsPlaylist(s); }), kText},
      {"manifest.mpd", text([](const std::string& s) { return fuzz::DashManifest(s); }), kText},
      {"script.ffconcat", text([](const std::string& s) { return fuzz::ConcatScript(s); }), kText},
      {"session.sdp", text([](const std::string&) { return fuzz::SdpSession(); }), kText},
      {"list.pls", text([](const std::string& s) { return fuzz::PlsPlaylist(s); }), kText},
      {"notes.wav", text([](const std::string&) { return std::string("no sound here"); }), kText},
      {"hidden.m3u8", text([](const std::string& s) { return std::string(1, '\0') + fuzz::HlsPlaylist(s); }),
       "it is no sound file FFmpeg knows"},
      {"stream.ts", encoded("mpegts", "aac"), "it is mpegts, not one of wav, w64, aiff, mp3, flac, ogg, aac, mov"},
      {"still.png",
       [](const std::string& p, const std::string&) {
         TBitmap32 b;
         b.Resize(4, 4);
         SavePng(b, p);
       },
       "it is png_pipe, not one of"},
      {"empty.wav", [](const std::string& p, const std::string&) { WriteFileBytes(p, {}); },
       "it is no sound file FFmpeg knows"},
      {"fifo.wav", [](const std::string& p, const std::string&) { ::mkfifo(p.c_str(), 0600); }, "not a regular file"},
      {"missing.wav", [](const std::string&, const std::string&) {}, "No such file or directory"},
  };
  TScratchFolder folder;
  const std::string secret = folder / "secret.wav";
  WriteWav(secret, 44100, 2, 0.5, 440);
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string path = folder / c.Name;
    c.Write(path, secret);
    const std::string refused = refusal(path);
    if (c.Refusal.empty()) {
      EXPECT_EQ(refused, "");
      continue;
    }
    EXPECT_EQ(refused.rfind("cannot read the music " + path, 0), 0u) << refused;
    EXPECT_NE(refused.find(c.Refusal), std::string::npos) << refused;
  }
}

// A clock that moves on a second every time it is read.
TMusicTimeLimits tickingLimits(std::chrono::seconds opening, std::chrono::seconds reading) {
  auto now = std::make_shared<TMusicClock::time_point>();
  return {[now] { return *now += std::chrono::seconds(1); }, opening, reading};
}

// Opening and every packet read after it have their own limits, which
// FFmpeg's reads and its interrupt callback both keep to.
TEST(MusicFile, EveryStepKeepsToItsTimeLimit) {
  TScratchFolder folder;
  const std::string path = folder / "long.wav";
  WriteWav(path, 48000, 2, 2.0, 440);
  EXPECT_NE(test::ErrorOf<EMusicFile>([&] {
              TMusicInput input(path, tickingLimits(std::chrono::seconds(3), std::chrono::hours(1)));
            }).find("(it took too long to read)"),
            std::string::npos);
  TMusicInput input(path, tickingLimits(std::chrono::hours(1), std::chrono::seconds(60)));
  ffmpeg::TPacket packet = ffmpeg::NewPacket();
  EXPECT_EQ(input.ReadPacket(*packet), 0) << "a packet within the limit";
  av_packet_unref(packet.get());
  TMusicInput slow(path, tickingLimits(std::chrono::hours(1), std::chrono::seconds(1)));
  EXPECT_NE(test::ErrorOf<EMusicFile>([&] {
              while (slow.ReadPacket(*packet) >= 0) av_packet_unref(packet.get());
            }).find("(it took too long to read)"),
            std::string::npos);
}

}  // namespace
}  // namespace lumora
