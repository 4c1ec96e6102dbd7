// What the export tests share: shows drawn on demand, scratch folders, the
// PSNR of two pictures, and the sound files our own writers make.
#pragma once

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <numbers>
#include <string>
#include <vector>

#include "export/frame_source.h"
#include "fuzz/music_files.h"

namespace lumora::fixtures {

namespace fs = std::filesystem;

using TDrawFrame = std::function<void(TBitmap32& into, std::int64_t index)>;

// Neon-like frames: translucent glows and bright cores moving over black.
inline void DrawGlowFrame(TBitmap32& into, std::int64_t index) {
  into.Clear(clBlack32);
  for (int shape = 0; shape < 3; ++shape) {
    const double cx = into.Width() * (0.25 + 0.25 * shape) + 6 * std::sin(0.2 * index + shape);
    const double cy = into.Height() * 0.5 + 5 * std::cos(0.15 * index + 2 * shape);
    const TColor32 colours[] = {0x40FF3080, 0x4030FF60, 0x403080FF};
    for (const double radius : {12.0, 8.0, 4.0}) {
      TArrayOfFixedPoint ring;
      for (int k = 0; k < 24; ++k) {
        ring.push_back({static_cast<TFixed>((cx + radius * std::cos(k * std::numbers::pi / 12)) * kFixedOne),
                        static_cast<TFixed>((cy + radius * std::sin(k * std::numbers::pi / 12)) * kFixedOne)});
      }
      into.PolygonFillSmooth(ring, radius < 5 ? colours[shape] | 0xFF000000 : colours[shape], pfWinding);
    }
  }
}

// Few flat colours (at most 8 in a whole show), for pixel-exact formats.
inline void DrawFlatFrame(TBitmap32& into, std::int64_t index) {
  const TColor32 colours[] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFF00, 0xFF00FFFF, 0xFFFF00FF, 0xFFFFFFFF};
  into.Clear(clBlack32);
  for (int k = 0; k < 7; ++k) {
    const std::int32_t x = static_cast<std::int32_t>((index * (k + 1) + 11 * k) % into.Width());
    into.FillRectClipped(x, 7 * k % into.Height(), x + 9, 7 * k % into.Height() + 8, colours[k]);
  }
}

// A show drawn one frame at a time into one surface, as the player does.
class TTestShow : public TFrameSource {
 public:
  TTestShow(std::vector<std::int32_t> durations, std::int32_t width, std::int32_t height, TDrawFrame draw)
      : Durations(std::move(durations)), Width(width), Height(height), Draw(std::move(draw)) {}

  std::int64_t FrameCount() const override { return static_cast<std::int64_t>(Durations.size()); }
  void Rewind() override {
    fNext = 0;
    ++Rewinds;
    if (OnRewind) OnRewind(*this);
  }
  TSourceFrame NextFrame() override {
    const std::int64_t index = fNext++;
    const bool narrow = NarrowEvery > 0 && index % NarrowEvery == NarrowEvery - 1;
    fSurface.Resize(index == BlankFrame ? 0 : narrow ? Width / 2 : Width, Height);
    if (!fSurface.IsEmpty()) Draw(fSurface, index);
    return {&fSurface, Durations[static_cast<std::size_t>(index)]};
  }

  std::vector<std::int32_t> Durations;
  std::int32_t Width;
  std::int32_t Height;
  TDrawFrame Draw;
  // Every n-th frame is half as wide, as a play list's entries can differ.
  std::int64_t NarrowEvery = 0;
  std::int64_t BlankFrame = -1;
  int Rewinds = 0;
  std::function<void(TTestShow&)> OnRewind;

 private:
  TBitmap32 fSurface;
  std::int64_t fNext = 0;
};

// A folder of its own for one test, removed with everything in it.
class TScratchFolder {
 public:
  TScratchFolder()
      : fPath(fs::temp_directory_path() /
              ("lumora-export-" + std::to_string(::getpid()) + "-" + std::to_string(fCount++))) {
    fs::remove_all(fPath);
    fs::create_directories(fPath);
  }
  ~TScratchFolder() { fs::remove_all(fPath); }
  std::string operator/(const std::string& name) const { return (fPath / name).string(); }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(fPath)) names.push_back(entry.path().filename().string());
    return names;
  }

 private:
  static inline int fCount = 0;
  fs::path fPath;
};

inline double Psnr(const TBitmap32& a, const TBitmap32& b) {
  double squares = 0;
  for (std::int32_t y = 0; y < a.Height(); ++y) {
    for (std::int32_t x = 0; x < a.Width(); ++x) {
      const TColor32 p = a.ReadPixel(x, y);
      const TColor32 q = b.ReadPixel(x, y);
      for (const int shift : {0, 8, 16}) {
        const double d = double((p >> shift) & 0xFF) - double((q >> shift) & 0xFF);
        squares += d * d;
      }
    }
  }
  const double mse = squares / (3.0 * a.Width() * a.Height());
  return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

// The sound files of the fuzz seeds.
using fuzz::WriteWav;
using fuzz::WriteWavSamples;

}  // namespace lumora::fixtures
