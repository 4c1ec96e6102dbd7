// ExportVideo end to end: shows drawn on demand written in every format, then
// decoded back with FFmpeg as a player reads them — container, codec, frame
// count and times, pictures against the frames drawn again, and the sound.
#include "export/video_export.h"

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

// Music of any rate, channel count and format FFmpeg reads plays to the end
// of the video in a loop; an option leaves it out.
TEST(ExportVideo, MusicOfAnyFormatLoopsUnderTheVideo) {
  struct TCase {
    std::string Music;
    std::function<void(const std::string& path)> Write;
    std::string Extension;
    std::string SoundCodec;
  };
  const auto wav = [](int rate, int channels) {
    return [=](const std::string& path) { WriteWav(path, rate, channels, 0.7, 330); };
  };
  // The tone of a WAV file encoded again by the exporter's own sound stream.
  const auto encoded = [](const char* container, const char* encoder) {
    return [=](const std::string& path) {
      WriteWav(path + ".wav", 44100, 2, 0.7, 330);
      TMuxer muxer(container, path);
      TMusicEncoder sound(muxer, encoder, 128000, path + ".wav", false);
      muxer.Start();
      sound.Finish(700);
      muxer.Finish();
    };
  };
  const std::vector<TCase> cases = {
      {"mono.wav", wav(22050, 1), ".mp4", "aac"},
      {"stereo.wav", wav(48000, 2), ".webm", "opus"},
      {"six.wav", wav(44100, 6), ".mkv", "aac"},
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
    ExportVideo(show, folder / ("show" + c.Extension), options);
    const TDecodedFile file = DecodeFile(folder / ("show" + c.Extension));
    EXPECT_EQ(file.AudioCodec, c.SoundCodec);
    if (c.SoundCodec.empty()) continue;
    EXPECT_NEAR(double(file.SoundStart + std::int64_t(file.Sound.size())) / 48000, 3.0, 0.022);
    for (const double t : {0.1, 0.8, 1.5, 2.2, 2.8}) EXPECT_TRUE(soundBetween(file, t, t + 0.15)) << "at " << t << " s";
  }
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
  const auto music = [](const std::string& name, std::function<void(const std::string&)> write) -> TSetUp {
    return [=](TTestShow&, TExportOptions& options, const TScratchFolder& folder) {
      if (write) write(folder / name);
      options.MusicPath = folder / name;
    };
  };
  const auto text = [](const std::string& contents) {
    return [=](const std::string& path) { std::ofstream(path) << contents; };
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
      {"show.mp4", music("gone.ogg", nullptr), {"cannot read the music", "gone.ogg (No such file or directory)"}},
      {"show.webm", music("notes.wav", text("no sound here")), {"cannot read the music", "notes.wav (Invalid data"}},
      {"show.mkv",
       music("still.png",
             [](const std::string& p) {
               TBitmap32 b;
               b.Resize(4, 4);
               SavePng(b, p);
             }),
       {"the music", "still.png holds no sound"}},
      // A path is never taken for another protocol's address (here standard input).
      {"show.mp4", [](TTestShow&, TExportOptions& o, const TScratchFolder&) { o.MusicPath = "pipe:0"; },
       {"cannot read the music pipe:0 (No such file or directory)"}},
      {"show.mp4", music("slow.wav", [](const std::string& p) { WriteWavSamples(p, 1, 2, {1, 2, 3, 4}); }),
       {"the music", "slow.wav has no usable sample rate (1 Hz)"}},
      {"show.mp4",
       music("empty.wav", [](const std::string& p) { WriteWavSamples(p, 48000, 2, {}); }),
       {"cannot decode the music", "empty.wav (no sound in it)"}},
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
       [](TTestShow& s, TExportOptions&, const TScratchFolder&) { s.Width = kMaxVideoSide + 1; },
       {"a picture of 16385x24 pixels is larger than a video can be (16384 a side)"}},
      {"show.mp4",
       [](TTestShow&, TExportOptions& o, const TScratchFolder&) { o.Width = 0, o.Height = 100; },
       {"a video cannot be 0x100 pixels (1 to 16384 a side)"}},
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

std::string failureOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const EVideoExport& error) {
    return error.what();
  }
  return "no error";
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
