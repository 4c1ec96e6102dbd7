// ExportVideo end to end: shows drawn on demand written in every format, then
// decoded back with FFmpeg as a player reads them — container, codec, frame
// count and times, pictures against the frames drawn again, and the sound.
#include "export/video_export.h"

#include <numeric>

#include <gtest/gtest.h>

#include "export/decoded_file.h"
#include "export/export_fixtures.h"

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

}  // namespace
}  // namespace lumora
