// ExportVideo end to end: shows drawn on demand written in every format, then
// decoded back with FFmpeg as a player reads them — container, codec, frame
// count and times, pictures against the frames drawn again, and the sound.
#include "export/video_export.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "export/decoded_file.h"
#include "export/export_fixtures.h"
#include "export/frame_fitter_p.h"
#include "export/gif_timeline_p.h"
#include "export/music_encoder_p.h"
#include "export/video_encoder_p.h"
#include "render/png_io.h"

namespace lumora {
namespace {

using namespace fixtures;

constexpr double kExact = 99;

class TQuietFfmpeg : public ::testing::Environment {
 public:
  void SetUp() override { av_log_set_level(AV_LOG_ERROR); }
};
const auto* const kQuiet = ::testing::AddGlobalTestEnvironment(new TQuietFfmpeg);

struct TFormatCase {
  std::string Extension;
  std::string Container;  // libavformat's reader
  std::string Codec;
  TDrawFrame Draw;
  double MinPsnr;          // kExact: every pixel
  std::string SoundCodec;  // empty: the format carries none
  int Passes;
};

const std::vector<TFormatCase>& formatCases() {
  static const std::vector<TFormatCase> cases = {
      {".mp4", "mp4", "h264", DrawGlowFrame, 38, "aac", 1},
      {".mkv", "matroska", "h264", DrawGlowFrame, 38, "aac", 1},
      {".webm", "matroska", "vp9", DrawGlowFrame, 33, "opus", 1},
      {".gif", "gif", "gif", DrawFlatFrame, kExact, "", 2},
      {".apng", "apng", "apng", DrawGlowFrame, kExact, "", 1},
  };
  return cases;
}

// What a player shows as the video's length: the container's own figure,
// or else where its last frame ends.
double lengthSeconds(const TDecodedFile& file) {
  return file.ContainerSeconds >= 0 ? file.ContainerSeconds : double(file.VideoEndMs) / 1000;
}

std::string failureOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const EVideoExport& error) {
    return error.what();
  }
  return "no error";
}

// Where each loud click is heard, in milliseconds of the video.
std::vector<double> clicksMs(const TDecodedFile& file) {
  std::vector<double> found;
  for (std::size_t i = 0; i < file.Sound.size(); ++i) {
    if (std::fabs(file.Sound[i]) < 0.6) continue;
    found.push_back(double(file.SoundStart + std::int64_t(i)) / 48);
    i += 48000 / 2;
  }
  return found;
}

// 240 frames of 30 ms last exactly 7.2 s in every format; the one-second
// music loops to the end, every click of it on time, and stops there.
TEST(ExportVideo, EveryFormatKeepsFramesTimesPicturesAndSound) {
  for (const TFormatCase& format : formatCases()) {
    SCOPED_TRACE(format.Extension);
    TScratchFolder folder;
    WriteWav(folder / "music.wav", 44100, 2, 1.0, 440, 0.5);
    TTestShow show(std::vector<std::int32_t>(240, 30), 160, 120, format.Draw);
    std::vector<std::int64_t> progress;
    TExportOptions options;
    options.MusicPath = folder / "music.wav";
    options.OnProgress = [&](std::int64_t done, std::int64_t total) {
      progress.push_back(done);
      EXPECT_EQ(total, 240 * format.Passes);
    };
    ExportVideo(show, folder / ("show" + format.Extension), options);
    EXPECT_EQ(show.Rewinds, format.Passes);
    ASSERT_EQ(progress.size(), std::size_t(240 * format.Passes));
    EXPECT_EQ(progress.back(), 240 * format.Passes);

    const TDecodedFile file = DecodeFile(folder / ("show" + format.Extension));
    EXPECT_NE(file.Container.find(format.Container), std::string::npos) << file.Container;
    EXPECT_EQ(file.VideoCodec, format.Codec);
    ASSERT_EQ(file.Frames.size(), 240u);
    EXPECT_NEAR(lengthSeconds(file), 7.2, 0.0005);
    TBitmap32 expected;
    expected.Resize(160, 120);
    for (std::size_t i = 0; i < file.Frames.size(); ++i) {
      EXPECT_EQ(file.StartsMs[i], std::int64_t(30 * i)) << "frame " << i;
      format.Draw(expected, static_cast<std::int64_t>(i));
      ASSERT_GE(Psnr(*file.Frames[i], expected), format.MinPsnr) << "frame " << i;
    }
    EXPECT_EQ(file.AudioCodec, format.SoundCodec);
    if (format.SoundCodec.empty()) continue;
    EXPECT_NEAR(double(file.SoundStart + std::int64_t(file.Sound.size())) / 48000, 7.2, 0.022);
    const std::vector<double> clicks = clicksMs(file);
    ASSERT_EQ(clicks.size(), 7u) << "the music did not loop to the end";
    for (std::size_t k = 0; k < clicks.size(); ++k) EXPECT_NEAR(clicks[k], 500 + 1000.0 * k, 1.0) << "click " << k;
  }
}

// A play list's entries tick at different rates: every frame keeps its own
// duration to the millisecond, the longest one allowed included. A GIF puts
// them on its grid of hundredths, each frame it shows lasting at least two.
TEST(ExportVideo, FramesKeepTheirOwnDurations) {
  std::vector<std::int32_t> durations(20, 30);
  durations.insert(durations.end(), 10, 45);
  durations.insert(durations.end(), 13, 17);
  durations.push_back(1000);
  durations.insert(durations.end(), 9, 7);
  durations.push_back(kMaxFrameDurationMs);
  std::vector<std::int64_t> starts{0};
  for (const std::int32_t d : durations) starts.push_back(starts.back() + d);
  const std::int64_t total = starts.back();
  starts.pop_back();
  for (const TFormatCase& format : formatCases()) {
    SCOPED_TRACE(format.Extension);
    TScratchFolder folder;
    TTestShow show(durations, 48, 32, format.Draw);
    ExportVideo(show, folder / ("show" + format.Extension));
    const TDecodedFile file = DecodeFile(folder / ("show" + format.Extension));
    if (format.Extension != ".gif") {
      EXPECT_EQ(file.StartsMs, starts);
      EXPECT_NEAR(lengthSeconds(file), double(total) / 1000, 0.0005);
      continue;
    }
    TGifTimeline timeline(total);
    std::vector<std::int64_t> slots;
    for (std::size_t i = 0; i < starts.size(); ++i) {
      if (timeline.Add(starts[i], durations[i]).OpensSlot) slots.push_back(10 * timeline.SlotStart());
    }
    EXPECT_EQ(file.StartsMs, slots);
    EXPECT_NEAR(lengthSeconds(file), double(total) / 1000, 0.005);
  }
}

// The expected picture: black, with the frame where FitIntoBox puts it —
// copied when it keeps its size, else a scaled solid colour.
void expectedPicture(TBitmap32& into, const TBitmap32& frame, std::int32_t boxWidth, std::int32_t boxHeight) {
  into.Clear(clBlack32);
  const TRect place = FitIntoBox(frame.Width(), frame.Height(), boxWidth, boxHeight);
  for (std::int32_t y = place.Top; y < place.Bottom; ++y) {
    for (std::int32_t x = place.Left; x < place.Right; ++x) {
      const bool kept = place.Width() == frame.Width() && place.Height() == frame.Height();
      into.WritePixel(x, y, kept ? frame.ReadPixel(x - place.Left, y - place.Top) : frame.ReadPixel(0, 0));
    }
  }
}

// Odd sizes padded where 4:2:0 needs even ones, a requested size filled with
// black bars, and play-list entries of another size fitted in between bars.
TEST(ExportVideo, FramesAreFittedIntoTheOutputSize) {
  const TDrawFrame solid = [](TBitmap32& into, std::int64_t) { into.Clear(0xFF3080C0); };
  struct TCase {
    std::string Extension;
    std::int32_t Width, Height, NarrowEvery, AskedWidth, AskedHeight, OutWidth, OutHeight;
    TDrawFrame Draw;
    double MinPsnr;
  };
  const std::vector<TCase> cases = {
      {".mp4", 161, 121, 0, 0, 0, 162, 122, DrawGlowFrame, 38},
      {".apng", 161, 121, 0, 0, 0, 161, 121, DrawGlowFrame, kExact},
      {".mkv", 160, 80, 0, 96, 96, 96, 96, solid, 30},
      {".apng", 40, 60, 0, 121, 31, 121, 31, solid, 20},
      {".gif", 80, 60, 2, 0, 0, 80, 60, DrawFlatFrame, kExact},
      {".webm", 80, 60, 3, 0, 0, 80, 60, DrawGlowFrame, 33},
      {".mp4", 1, 1, 0, 0, 0, 2, 2, solid, 0},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Extension + " " + std::to_string(c.Width) + "x" + std::to_string(c.Height));
    TScratchFolder folder;
    TTestShow show(std::vector<std::int32_t>(12, 40), c.Width, c.Height, c.Draw);
    show.NarrowEvery = c.NarrowEvery;
    TExportOptions options;
    options.Width = c.AskedWidth;
    options.Height = c.AskedHeight;
    ExportVideo(show, folder / ("show" + c.Extension), options);
    const TDecodedFile file = DecodeFile(folder / ("show" + c.Extension));
    ASSERT_EQ(file.Frames.size(), 12u);
    const std::int32_t boxWidth = c.AskedWidth > 0 ? c.AskedWidth : c.Width;
    const std::int32_t boxHeight = c.AskedHeight > 0 ? c.AskedHeight : c.Height;
    TBitmap32 frame;
    TBitmap32 expected;
    expected.Resize(c.OutWidth, c.OutHeight);
    for (std::int64_t i = 0; i < 12; ++i) {
      const TBitmap32& decoded = *file.Frames[static_cast<std::size_t>(i)];
      ASSERT_EQ(decoded.Width(), c.OutWidth);
      ASSERT_EQ(decoded.Height(), c.OutHeight);
      const bool narrow = c.NarrowEvery > 0 && i % c.NarrowEvery == c.NarrowEvery - 1;
      frame.Resize(narrow ? c.Width / 2 : c.Width, c.Height);
      c.Draw(frame, i);
      expectedPicture(expected, frame, boxWidth, boxHeight);
      EXPECT_GE(Psnr(decoded, expected), c.MinPsnr) << "frame " << i;
    }
  }
}

// Sound an energy meter would call the music, between two times.
bool soundBetween(const TDecodedFile& file, double fromSeconds, double toSeconds) {
  double sum = 0;
  std::size_t n = 0;
  for (std::size_t i = 0; i < file.Sound.size(); ++i) {
    const double t = double(file.SoundStart + std::int64_t(i)) / 48000;
    if (t < fromSeconds || t >= toSeconds) continue;
    sum += double(file.Sound[i]) * file.Sound[i];
    ++n;
  }
  return n > 0 && std::sqrt(sum / double(n)) > 0.05;
}

// Music of any rate, channel count and format taken plays to the end of
// the video in a loop: samples that are not numbers or past full scale,
// 64 channels and rates far below the telephone's are what a player plays
// too. An option leaves it out.
TEST(ExportVideo, MusicOfAnyFormatLoopsUnderTheVideo) {
  struct TCase {
    std::string Music;
    std::function<void(const std::string& path)> Write;
    std::string Extension;
    std::string SoundCodec;
    bool Audible = true;
  };
  const auto wav = [](int rate, int channels) {
    return [=](const std::string& path) { WriteWav(path, rate, channels, 0.7, 330); };
  };
  const auto encoded = [](const char* container, const char* encoder) {
    return [=](const std::string& path) { fuzz::WriteEncodedTone(path, container, encoder); };
  };
  // A tone with every fifth sample not a number, and others infinite or
  // far past full scale.
  const auto damaged = [](const std::string& path) {
    std::vector<float> samples;
    for (int i = 0; i < 30000; ++i) {
      const float tone = 0.5f * static_cast<float>(std::sin(2 * std::numbers::pi * 330 * i / 44100.0));
      const float odd[] = {std::nanf(""), tone, INFINITY, tone, -1e30f};
      samples.push_back(i % 5 == 0 || i % 7 == 0 ? odd[i % 5] : tone);
    }
    WriteFileBytes(path, fuzz::FloatWavBytes(44100, 1, samples));
  };
  const std::vector<TCase> cases = {
      {"mono.wav", wav(22050, 1), ".mp4", "aac"},
      {"stereo.wav", wav(48000, 2), ".webm", "opus"},
      {"six.wav", wav(44100, 6), ".mkv", "aac"},
      {"many.wav", wav(44100, 64), ".mp4", "aac"},
      {"telephone.wav", wav(3000, 2), ".webm", "opus"},
      // Forty seconds of one sample a second, more than the resampler's
      // filter needs before it gives any sound.
      {"slow.wav", [](const std::string& p) { WriteWavSamples(p, 1, 2, std::vector<std::int16_t>(80, 8000)); }, ".mp4",
       "aac", false},
      {"damaged.wav", damaged, ".mkv", "aac"},
      {"tone.flac", encoded("flac", "flac"), ".mkv", "aac"},
      {"tone.mp3", encoded("mp3", "libmp3lame"), ".mp4", "aac"},
      {"tone.ogg", encoded("ogg", "libvorbis"), ".webm", "opus"},
      {"left out.wav", wav(44100, 2), ".mp4", ""},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Music + " in " + c.Extension);
    TScratchFolder folder;
    c.Write(folder / c.Music);
    TTestShow show(std::vector<std::int32_t>(100, 30), 32, 24, DrawGlowFrame);
    TExportOptions options;
    options.MusicPath = folder / c.Music;
    options.WithMusic = !c.SoundCodec.empty();
    options.OnWarning = [](const std::string& text) { ADD_FAILURE() << text; };
    ExportVideo(show, folder / ("show" + c.Extension), options);
    const TDecodedFile file = DecodeFile(folder / ("show" + c.Extension));
    EXPECT_EQ(file.AudioCodec, c.SoundCodec);
    if (c.SoundCodec.empty()) continue;
    EXPECT_NEAR(double(file.SoundStart + std::int64_t(file.Sound.size())) / 48000, 3.0, 0.022);
    EXPECT_TRUE(std::all_of(file.Sound.begin(), file.Sound.end(), [](float v) { return std::isfinite(v); }));
    if (!c.Audible) continue;
    for (const double t : {0.1, 0.8, 1.5, 2.2, 2.8}) EXPECT_TRUE(soundBetween(file, t, t + 0.15)) << "at " << t << " s";
  }
}

// Music that cannot be read, or is no sound file at all (a play list that
// names a local file, a live one that would be waited on for ever, a
// stream format), leaves the video without sound, says why, and fails
// nothing.
TEST(ExportVideo, MusicThatCannotBeReadIsLeftOutWithAWarning) {
  struct TCase {
    std::string Music;
    std::function<void(const std::string& path, const std::string& secret)> Write;
    std::string Cause;
  };
  const auto text = [](std::function<std::string(const std::string& secret)> make) {
    return [=](const std::string& path, const std::string& secret) { WriteFileBytes(path, fuzz::TextBytes(make(secret))); };
  };
  const std::vector<TCase> cases = {
      {"gone.ogg", [](const std::string&, const std::string&) {}, "gone.ogg: cannot open the file (No such file"},
      {"x.m3u8", text([](const std::string& s) { return fuzz::HlsPlaylist(s); }), "it is text (a play list?)"},
      {"live.m3u8", text([](const std::string& s) { return fuzz::HlsPlaylist(s, true); }), "it is text (a play list?)"},
      {"stream.ts", [](const std::string& p, const std::string&) { fuzz::WriteEncodedTone(p, "mpegts", "aac"); },
       "it is mpegts, not one of"},
      {"empty.wav", [](const std::string& p, const std::string&) { WriteWavSamples(p, 48000, 2, {}); },
       "empty.wav (no sound in it)"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Music);
    TScratchFolder folder;
    const std::string secret = folder / "secret.wav";
    WriteWav(secret, 44100, 2, 1.0, 440);
    c.Write(folder / c.Music, secret);
    TTestShow show(std::vector<std::int32_t>(20, 30), 32, 24, DrawGlowFrame);
    TExportOptions options;
    options.MusicPath = folder / c.Music;
    std::vector<std::string> warnings;
    options.OnWarning = [&warnings](const std::string& text) { warnings.push_back(text); };
    ExportVideo(show, folder / "show.mp4", options);
    EXPECT_EQ(DecodeFile(folder / "show.mp4").AudioCodec, "") << "no sound, the secret's least of all";
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("the music " + (folder / c.Music)), std::string::npos) << warnings[0];
    EXPECT_NE(warnings[0].find(c.Cause), std::string::npos) << warnings[0];
    EXPECT_NE(warnings[0].find("; the video is made without sound"), std::string::npos) << warnings[0];
  }
  const std::string pipe = failureOf([] {
    TScratchFolder folder;
    TTestShow show(std::vector<std::int32_t>(3, 30), 32, 24, DrawGlowFrame);
    TExportOptions options;
    options.MusicPath = "pipe:0";
    options.OnWarning = [](const std::string& text) { throw EVideoExport(text); };
    ExportVideo(show, folder / "show.mp4", options);
  });
  EXPECT_NE(pipe.find("cannot read the music pipe:0: cannot open the file (No such file or directory)"),
            std::string::npos)
      << "a path is never taken for another protocol's address (here standard input): " << pipe;
}

// A frame larger than the default box is fitted into it, however few bytes
// of the movie asked for it.
TEST(ExportVideo, LargeFramesAreFittedIntoTheDefaultBox) {
  TScratchFolder folder;
  const TDrawFrame solid = [](TBitmap32& into, std::int64_t) { into.Clear(0xFF3080C0); };
  TTestShow show(std::vector<std::int32_t>(2, 30), 8000, 200, solid);
  ExportVideo(show, folder / "wide.gif");
  const TDecodedFile file = DecodeFile(folder / "wide.gif");
  ASSERT_EQ(file.Frames.size(), 2u);
  EXPECT_EQ(file.Frames[0]->Width(), kDefaultVideoWidth);
  EXPECT_EQ(file.Frames[0]->Height(), 96);
  EXPECT_EQ(file.Frames[1]->ReadPixel(1000, 50), 0xFF3080C0u);
}

// Every failure is one line naming the file and the cause, and leaves no
// file behind: what stood under the name before is untouched, and no
// temporary file remains beside it.
TEST(ExportVideo, FailuresNameTheFileAndLeaveNothingBehind) {
  using TSetUp = std::function<void(TTestShow&, TExportOptions&, const TScratchFolder&)>;
  struct TCase {
    std::string Name;  // the output, in the scratch folder
    TSetUp SetUp;
    std::vector<std::string> Cause;
    bool Named = true;  // the exporter's own failure, starting with the output's name
  };
  const TSetUp none = [](TTestShow&, TExportOptions&, const TScratchFolder&) {};
  const std::vector<TCase> cases = {
      {"show.avi", none, {"unknown video format (\".avi\"); supported: .mp4, .mkv, .webm, .gif, .apng"}},
      {"show", none, {"unknown video format (no extension)"}},
      {"missing/show.mp4", none, {"cannot write the file (No such file or directory)"}},
      {"folder.mp4",
       [](TTestShow&, TExportOptions&, const TScratchFolder& f) {
         fs::remove(f / "folder.mp4");
         fs::create_directory(f / "folder.mp4");
       },
       {"cannot write the file (it is a folder)"}},
      {"show.mp4",
       [](TTestShow& s, TExportOptions&, const TScratchFolder&) { s.Durations[5] = 0; },
       {"frame 5 lasts 0 ms; a frame lasts 1 to 600000 ms"}},
      {"show.gif",
       [](TTestShow& s, TExportOptions&, const TScratchFolder&) { s.Durations[3] = kMaxFrameDurationMs + 1; },
       {"frame 3 lasts 600001 ms"}},
      {"show.apng",
       [](TTestShow& s, TExportOptions&, const TScratchFolder&) { s.Durations.clear(); },
       {"the show has no frames"}},
      {"show.webm",
       [](TTestShow& s, TExportOptions&, const TScratchFolder&) { s.BlankFrame = 4; },
       {"frame 4 has no picture"}},
      {"show.mp4",
       [](TTestShow&, TExportOptions& o, const TScratchFolder&) { o.Width = 0, o.Height = 100; },
       {"a video cannot be 0x100 pixels (H.264 takes 1 to 16384 a side)"}},
      {"show.mkv",
       [](TTestShow&, TExportOptions& o, const TScratchFolder&) { o.Width = 16385, o.Height = 100; },
       {"a video cannot be 16385x100 pixels (H.264 takes 1 to 16384 a side)"}},
      {"show.gif",
       [](TTestShow&, TExportOptions& o, const TScratchFolder&) { o.Width = 16384, o.Height = 16384; },
       {"a video cannot be 16384x16384 pixels (FFmpeg's pictures hold about 268 million pixels at most)"}},
      {"show.webm",
       [](TTestShow&, TExportOptions& o, const TScratchFolder&) { o.Width = 65536, o.Height = 2; },
       {"a video cannot be 65536x2 pixels (VP9 takes 1 to 65535 a side)"}},
      // What the encoders would hold is refused before any of them opens.
      {"show.webm",
       [](TTestShow& s, TExportOptions& o, const TScratchFolder&) {
         s.Width = 640, s.Height = 480;
         o.MemoryBudget = std::uint64_t{64} << 20;
       },
       {"a video of 640x480 pixels needs about 132 MiB of memory to write, more than the 64 MiB allowed"}},
      {"show.gif",
       [](TTestShow&, TExportOptions& o, const TScratchFolder&) {
         o.Width = 3000, o.Height = 3000;
         o.MemoryBudget = std::uint64_t{128} << 20;
       },
       {"a video of 3000x3000 pixels needs about 185 MiB of memory to write, more than the 128 MiB allowed"}},
      {"show.mkv",
       [](TTestShow&, TExportOptions& o, const TScratchFolder&) { o.Crf = 52; },
       {"CRF 52 is outside 0 to 51"}},
      {"show.mp4",
       [](TTestShow&, TExportOptions& o, const TScratchFolder&) { o.Preset = "warp"; },
       {"unknown preset \"warp\"; x264 has ultrafast, superfast"}},
      {"show.gif",
       [](TTestShow& s, TExportOptions&, const TScratchFolder&) {
         s.OnRewind = [](TTestShow& show) { show.Durations[0] += show.Rewinds; };
       },
       {"the show's frames changed between the GIF's two passes"}},
      {"show.mp4",
       [](TTestShow&, TExportOptions& o, const TScratchFolder&) {
         o.OnProgress = [](std::int64_t done, std::int64_t) {
           if (done == 7) throw std::runtime_error("stopped by the user");
         };
       },
       {"stopped by the user"},
       false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name + ": " + c.Cause.front());
    TScratchFolder folder;
    const std::string path = folder / c.Name;
    std::ofstream(path) << "the file before";
    const std::vector<std::string> before = folder.Names();
    TTestShow show(std::vector<std::int32_t>(12, 30), 32, 24, DrawGlowFrame);
    TExportOptions options;
    c.SetUp(show, options, folder);
    const std::vector<std::string> inputs = folder.Names();
    try {
      ExportVideo(show, path, options);
      ADD_FAILURE() << "no error";
    } catch (const std::exception& error) {
      const std::string message = error.what();
      EXPECT_TRUE(!c.Named || message.rfind(path + ": ", 0) == 0) << message;
      for (const std::string& part : c.Cause) EXPECT_NE(message.find(part), std::string::npos) << message;
      EXPECT_EQ(message.find('\n'), std::string::npos) << message;
    }
    EXPECT_EQ(folder.Names(), inputs);
    if (fs::is_regular_file(path)) {
      std::ifstream in(path);
      EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "the file before");
    }
  }
}

// The image blocks of a GIF file: where each frame's picture goes and
// whether it has a transparent colour.
struct TGifImage {
  TRect Place;
  bool Transparent = false;
};

std::vector<TGifImage> gifImages(const std::vector<std::uint8_t>& gif) {
  const auto u16 = [&](std::size_t at) { return std::int32_t(gif.at(at) | gif.at(at + 1) << 8); };
  const auto skipSubBlocks = [&](std::size_t at) {
    while (gif.at(at) != 0) at += gif.at(at) + 1u;
    return at + 1;
  };
  std::size_t at = 13;
  if (gif.at(10) & 0x80) at += 3u << ((gif[10] & 7) + 1);
  std::vector<TGifImage> images;
  bool transparent = false;
  while (gif.at(at) != 0x3B) {
    if (gif[at] == 0x21) {
      if (gif.at(at + 1) == 0xF9) transparent = (gif.at(at + 3) & 1) != 0;
      at = skipSubBlocks(at + 2);
      continue;
    }
    const std::int32_t x = u16(at + 1), y = u16(at + 3);
    images.push_back({{x, y, x + u16(at + 5), y + u16(at + 7)}, transparent});
    const std::uint8_t flags = gif.at(at + 9);
    at += 10 + ((flags & 0x80) ? 3u << ((flags & 7) + 1) : 0u);
    at = skipSubBlocks(at + 1);
  }
  return images;
}

// Two squares moving along the top and the bottom of a background of more
// colours than a palette holds: each frame after the first is written as
// the rectangle that holds what changed, with transparency, and every pixel
// the squares did not touch keeps its colour, though it lies inside that
// rectangle. (Error diffusion stirred them all, as it stirred every pixel
// of a frame where everything moves.)
TEST(ExportVideo, AGifWritesOnlyWhatChanged) {
  constexpr std::int32_t kSquare = 6;
  const auto squaresAt = [](std::int64_t index) {
    const auto x = static_cast<std::int32_t>(2 + 3 * index);
    return std::array<TRect, 2>{TRect{x, 1, x + kSquare, 1 + kSquare},
                                TRect{60 - x - kSquare, 40, 60 - x, 40 + kSquare}};
  };
  const TDrawFrame draw = [&](TBitmap32& into, std::int64_t index) {
    for (std::int32_t y = 0; y < into.Height(); ++y) {
      for (std::int32_t x = 0; x < into.Width(); ++x) {
        into.WritePixel(x, y, Color32(255, std::uint8_t(4 * x), std::uint8_t(5 * y), std::uint8_t(2 * (x + y))));
      }
    }
    for (const TRect& square : squaresAt(index)) {
      into.FillRectClipped(square.Left, square.Top, square.Right, square.Bottom, clWhite32);
    }
  };
  TScratchFolder folder;
  TTestShow show(std::vector<std::int32_t>(12, 40), 64, 48, draw);
  ExportVideo(show, folder / "moving.gif");
  const TDecodedFile file = DecodeFile(folder / "moving.gif");
  const std::vector<TGifImage> images = gifImages(ReadFileBytes(folder / "moving.gif"));
  ASSERT_EQ(file.Frames.size(), 12u);
  ASSERT_EQ(images.size(), 12u);
  for (std::size_t i = 1; i < images.size(); ++i) {
    SCOPED_TRACE("frame " + std::to_string(i));
    std::vector<TRect> touched;
    for (const std::int64_t k : {std::int64_t(i) - 1, std::int64_t(i)}) {
      for (const TRect& square : squaresAt(k)) touched.push_back(square);
    }
    EXPECT_TRUE(images[i].Transparent);
    EXPECT_GE(images[i].Place.Left, std::min(touched[0].Left, touched[3].Left));
    EXPECT_LE(images[i].Place.Right, std::max(touched[1].Right, touched[2].Right));
    std::int32_t changed = 0;
    for (std::int32_t y = 0; y < 48; ++y) {
      for (std::int32_t x = 0; x < 64; ++x) {
        const bool inSquare =
            std::any_of(touched.begin(), touched.end(), [&](const TRect& r) { return PtInRect(r, {x, y}); });
        changed += !inSquare && file.Frames[i]->ReadPixel(x, y) != file.Frames[i - 1]->ReadPixel(x, y);
      }
    }
    EXPECT_EQ(changed, 0);
  }
}

// A format forced on a name that does not tell it; the extension's case
// does not matter.
TEST(ExportVideo, AFormatCanBeForced) {
  TScratchFolder folder;
  TTestShow show(std::vector<std::int32_t>(3, 30), 32, 24, DrawGlowFrame);
  TExportOptions options;
  options.Format = vfWebM;
  ExportVideo(show, folder / "show.video", options);
  const TDecodedFile file = DecodeFile(folder / "show.video");
  EXPECT_EQ(file.VideoCodec, "vp9");
  EXPECT_EQ(file.Frames.size(), 3u);
  EXPECT_EQ(VideoFormatFromPath("Show.MKV"), vfMatroska);
}

TEST(ExportVideo, AMissingEncoderIsNamed) {
  TScratchFolder folder;
  TMuxer muxer("matroska", folder / "show.mkv");
  TVideoSettings settings;
  settings.Encoder = "lumora-none";
  EXPECT_EQ(failureOf([&] { TVideoEncoder(muxer, settings); }), "FFmpeg has no lumora-none encoder");
  EXPECT_EQ(failureOf([&] { TMusicEncoder(muxer, "lumora-silent", 128000, folder / "music.wav", true); }),
            "FFmpeg has no lumora-silent encoder");
}

}  // namespace
}  // namespace lumora
