// Frames of a movie with every lamp graphic and effect, made by our writer,
// read back and played as the player plays it, compared pixel by pixel with
// reference pictures. LUMORA_UPDATE_GOLDEN=1 writes the pictures instead.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "effects/led_graphic.h"
#include "effects/light_graphic.h"
#include "effects/light_strip_state.h"
#include "movie/graphic_factory.h"
#include "movie/movie_file.h"
#include "render/png_io.h"
#include "scene/closed_shapes.h"
#include "scene/control_layer.h"
#include "scene/lines_and_paths.h"
#include "support/lamp_fixtures.h"

namespace lumora {
namespace {

const std::filesystem::path kGoldenDir = LUMORA_GOLDEN_DIR;

std::unique_ptr<TLEDGraphic> matrix(float x, float y) {
  auto led = test::ledMatrix({0, 0, 3, 2}, 5, 5, 1, 1, 8);
  led->SetPosition({x, y});
  return led;
}

// A plain layer with an LED matrix and a swinging light; a masked layer
// whose mask, the left half of the lower part, cuts a light strip and a
// second LED matrix.
std::vector<std::uint8_t> lampMovie() {
  TMovieDocument source;
  source.File.Width = 120;
  source.File.Height = 60;
  TLayer& plain = source.Root.AddLayer("");
  plain.Add(matrix(5, 5));
  auto light = std::make_unique<TLightGraphic>(nullptr);
  light->Image().Resize(20, 6);
  light->Image().Clear(0xC0FFFF80);
  light->SetPosition({70, 10});
  light->SetPivot({0, 3});
  light->StepCount = 20;
  light->StepHold = 0;
  plain.Add(std::move(light));
  TLayer& masked = source.Root.AddLayer("");
  masked.SetMasked(1);
  auto mask = std::make_unique<TRectangle>(nullptr);
  mask->SetSize({60, 30});
  mask->BuildFromSize();
  mask->SetPosition({0, 30});
  mask->SetFilled(true);
  mask->SetEffect(CreateEffect(kEffectMask));
  masked.Add(std::move(mask));
  auto strip = std::make_unique<TLine>(nullptr);
  strip->SetEndpoints({5 * kFixedOne, 45 * kFixedOne}, {115 * kFixedOne, 45 * kFixedOne});
  strip->SetEffect(CreateEffect(kEffectLightStrip));
  auto& lamps = dynamic_cast<TDengDaiState&>(strip->Effect());
  lamps.LampSize = 7;
  lamps.SpacingFactor = 2;
  lamps.DirectionMode = 0;
  lamps.HoldFrames = 0;
  masked.Add(std::move(strip));
  masked.Add(matrix(45, 35));
  std::vector<std::unique_ptr<TFrameData>> frames;
  for (std::int32_t i = 0; i < 4; ++i) {
    frames.push_back(std::make_unique<TFrameData>(3, 4));
    for (std::int32_t r = 0; r < 3; ++r) {
      for (std::int32_t c = 0; c < 4; ++c) {
        frames.back()->SetCell(r, c, ((r + c + i) % 4) * 80 | (c * 60) << 8 | (254 - i * 60) << 16);
      }
    }
  }
  test::addGridLayer(source.Grid, std::move(frames));
  return source.File.SaveLayered(nullptr);
}

// Plays the movie as the player does: load, prepare, then each frame.
class TPlayback {
 public:
  explicit TPlayback(const std::filesystem::path& file) {
    fDoc.File.WriteMusic = false;
    fDoc.File.LoadFromFile(file.string(), false);
    fDoc.Frame.Resize(fDoc.File.Width, fDoc.File.Height);
    fMask.Resize(fDoc.File.Width, fDoc.File.Height);
    fDoc.Root.MaskBitmap = &fMask;
    fDoc.Root.SetAllUseView(false);
    fDoc.Grid.MergeFrames();
    fDoc.Root.SetAllEditMode(false);
    fDoc.Root.PreparePass(true, fDoc.Frame);
    fDoc.Root.PrepareMasks();
  }
  ~TPlayback() { fDoc.Root.PreparePass(false, fDoc.Frame); }

  const TBitmap32& Render(std::int32_t frame) {
    fDoc.Frame.Clear(clBlack32);
    for (const auto& layer : fDoc.Root.Layers()) {
      for (const auto& graphic : layer->Graphics()) {
        if (graphic.get() != layer->MaskGraphic()) graphic->DrawFrame(fDoc.Grid, frame, fDoc.Frame);
      }
    }
    return fDoc.Frame;
  }

 private:
  TMovieDocument fDoc;
  TBitmap32 fMask;
};

TEST(LampGolden, FramesMatchTheReferencePictures) {
  const std::filesystem::path file =
      std::filesystem::temp_directory_path() / ("lumora_golden_" + std::to_string(::getpid()) + ".ctl");
  WriteFileBytes(file.string(), lampMovie());
  TPlayback playback(file);
  std::filesystem::remove(file);
  const bool update = std::getenv("LUMORA_UPDATE_GOLDEN") != nullptr;
  for (std::int32_t frame = 0; frame < 4; ++frame) {
    const TBitmap32& rendered = playback.Render(frame);
    const std::filesystem::path golden = kGoldenDir / ("lamps_" + std::to_string(frame) + ".png");
    if (update) {
      SavePng(rendered, golden.string());
      continue;
    }
    TBitmap32 expected;
    LoadPng(golden.string(), expected);
    ASSERT_EQ(expected.Width(), rendered.Width()) << golden;
    ASSERT_EQ(expected.Height(), rendered.Height()) << golden;
    for (std::int32_t y = 0; y < rendered.Height(); ++y) {
      for (std::int32_t x = 0; x < rendered.Width(); ++x) {
        ASSERT_EQ(rendered.ReadPixel(x, y), expected.ReadPixel(x, y)) << golden << " at " << x << ", " << y;
      }
    }
  }
}

}  // namespace
}  // namespace lumora
