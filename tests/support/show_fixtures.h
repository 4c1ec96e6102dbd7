// Fixtures for the tests of the show engine and of what drives it: a host
// that records what it is told, a music player that records its calls, a
// graphic that records what it is asked to draw, and writers of small
// movies, grid movies and a private player directory.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "movie/graphic_factory.h"
#include "movie/movie_file.h"
#include "show/show_engine.h"
#include "support/scoped_env.h"
#include "support/test_graphic.h"
#include "tools/demo_show.h"

namespace lumora::test {

// A host of a room it is given, keeping its messages as (caption, text).
class TRecordingHost : public TShowHost {
 public:
  TPoint RoomSize{1000, 700};
  std::vector<std::pair<std::string, std::string>> Messages;
  std::vector<std::string> MusicNotes;

  TPoint Room() const override { return RoomSize; }
  void ShowMessage(const std::string& caption, const std::string& text, const std::string&) override {
    Messages.emplace_back(caption, text);
  }
  void MovieFitted() override {}
  void FrameResized() override {}
  void ShowCleared() override {}
  void FramesChanged(bool) override {}
  void PlaybackChanged() override {}
  void MusicLeftOut(const std::string& detail) override { MusicNotes.push_back(detail); }
  void FrameLeftOut(const std::string& detail) override { FrameNotes.push_back(detail); }
  std::vector<std::string> FrameNotes;
};

class TFakeMusic : public TMusicPlayer {
 public:
  std::vector<std::string> Calls;
  bool FailOpen = false;
  std::int64_t At = 0;
  std::int64_t Total = 100;

  void Open(const std::string& fileName) override {
    Calls.push_back("open " + fileName);
    if (FailOpen) throw std::runtime_error("no such device");
  }
  void Play() override { Calls.push_back("play"); }
  void Pause() override { Calls.push_back("pause"); }
  void Close() override { Calls.push_back("close"); }
  std::int64_t Position() override { return At; }
  std::int64_t Length() override { return Total; }
  void Rewind() override { Calls.push_back("rewind"); }
  void SetVolume(double volume) override { Calls.push_back("volume " + std::to_string(volume)); }
  void SetMuted(bool muted) override { Calls.push_back(muted ? "mute" : "unmute"); }
};

// What every recording graphic was asked to draw: "payload@frame".
inline std::vector<std::string>& drawLog() {
  static std::vector<std::string> log;
  return log;
}

// A payload whose geometry cannot be drawn: its drawing fails as a region
// past its limits fails.
inline constexpr std::int32_t kFailingPayload = 999;

// A test graphic whose outline is the pixel rectangle (50, 60)-(150, 100)
// and which logs its frame draws.
class TRecordingGraphic : public TTestGraphic {
 public:
  explicit TRecordingGraphic(TView* view) : TTestGraphic(view) {}
  void ReadBody(TStreamReader& stream, TObjectBuilder& builder) override {
    TTestGraphic::ReadBody(stream, builder);
    Bounds = {FixedFromInt(50), FixedFromInt(60), FixedFromInt(150), FixedFromInt(100)};
  }
  void DrawFrame(TFrameDataLayers&, std::int32_t frame, TBitmap32&) override {
    drawLog().push_back(std::to_string(Payload) + "@" + std::to_string(frame));
  }
  void Draw(TBitmap32& bitmap) override {
    failIfUndrawable();
    TTestGraphic::Draw(bitmap);
  }
  void DrawInColor(TBitmap32& bitmap, TWinColor colour) override {
    failIfUndrawable();
    TTestGraphic::DrawInColor(bitmap, colour);
  }

 private:
  void failIfUndrawable() const {
    if (Payload == kFailingPayload) throw std::out_of_range("region larger than 2^15 pixels in one dimension");
  }
};

inline TGraphicClassTable recordingClasses() {
  TGraphicClassTable table = testClasses({2}, true);
  table[2].Current.Construct = [](TView* view) -> std::unique_ptr<TGraphicBase> {
    return std::make_unique<TRecordingGraphic>(view);
  };
  return table;
}

// A layer of the movies the tests write: the graphics' payloads, and
// whether it is masked (its first graphic then carries the mask effect).
struct TLayerPlan {
  std::vector<std::int32_t> Payloads;
  bool Masked = false;
};

// A version-6 movie of test graphics whose one grid layer has the frames.
inline std::vector<std::uint8_t> movieBytes(const std::vector<TLayerPlan>& layers, std::int32_t frames,
                                            const TMusicData* music = nullptr, std::int32_t width = 640,
                                            std::int32_t height = 480) {
  TMovieDocument source;
  source.File.Width = width;
  source.File.Height = height;
  for (const TLayerPlan& plan : layers) {
    TLayer& layer = source.Root.AddLayer("");
    layer.SetMasked(plan.Masked ? 1 : 0);
    for (std::size_t i = 0; i < plan.Payloads.size(); ++i) {
      auto g = std::make_unique<TTestGraphic>();
      g->Payload = plan.Payloads[i];
      if (plan.Masked && i == 0) g->SetEffect(CreateEffect(kEffectMask));
      layer.Add(std::move(g));
    }
  }
  auto gridLayer = std::make_unique<TFrameDataLayer>();
  gridLayer->SetRows(1);
  gridLayer->SetColumns(1);
  auto section = std::make_unique<TSection>();
  for (std::int32_t i = 0; i < frames; ++i) section->Add(std::make_unique<TFrameData>(1, 1));
  gridLayer->Add(std::move(section));
  source.Grid.Add(std::move(gridLayer));
  return source.File.SaveLayered(music);
}

// A grid movie file of frames whose cell (r, c) in frame f has the colour
// colour(f, r, c).
template <class TColourOf>
std::vector<std::uint8_t> tolBytes(std::int32_t rows, std::int32_t columns, std::int32_t cellWidth,
                                   std::int32_t cellHeight, std::int32_t frames, TColourOf colour) {
  return GridAnimation(colour, rows, columns, frames, cellWidth, cellHeight)->SaveToTol();
}

inline std::vector<std::uint8_t> tolBytes(std::int32_t rows, std::int32_t columns, std::int32_t cellWidth,
                                          std::int32_t cellHeight, std::int32_t frames) {
  return tolBytes(rows, columns, cellWidth, cellHeight, frames,
                  [](std::int32_t f, std::int32_t, std::int32_t) { return TWinColor{2 * f}; });
}

// A private directory holding the "executable" and, as the system's
// temporary directory without a runtime directory, the player's private
// directory with the extracted music.
class TPlayerDir {
 public:
  explicit TPlayerDir(const std::string& tag)
      : fDir(std::filesystem::temp_directory_path() / ("lumora_" + tag + "_" + std::to_string(::getpid()))),
        fTmp("TMPDIR", (fDir / "tmp").c_str()),
        fRuntime("XDG_RUNTIME_DIR", nullptr) {
    std::filesystem::remove_all(fDir);
    std::filesystem::create_directories(fDir / "tmp");
  }
  ~TPlayerDir() {
    std::error_code error;
    std::filesystem::remove_all(fDir, error);
  }
  TPlayerDir(const TPlayerDir&) = delete;
  TPlayerDir& operator=(const TPlayerDir&) = delete;

  std::string Path(const std::string& name) const { return (fDir / name).string(); }
  std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
    WriteFileBytes(Path(name), bytes);
    return Path(name);
  }
  std::string WriteText(const std::string& name, const std::string& text) const {
    return Write(name, std::vector<std::uint8_t>(text.begin(), text.end()));
  }
  // The player's executable lives in this directory.
  std::string Executable() const { return Path("lumora"); }
  // A FIFO of the name, which no one writes to.
  std::string Fifo(const std::string& name) const {
    if (::mkfifo(Path(name).c_str(), 0600) != 0) throw std::runtime_error("cannot make a FIFO");
    return Path(name);
  }
  // A file in the player's private directory.
  std::string Private(const std::string& name) const {
    return Path("tmp/lumora-" + std::to_string(::getuid()) + "/" + name);
  }

 private:
  std::filesystem::path fDir;
  TScopedEnv fTmp;
  TScopedEnv fRuntime;
};

}  // namespace lumora::test
