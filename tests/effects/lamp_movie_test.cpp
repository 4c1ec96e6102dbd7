#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <unistd.h>

#include "effects/led_graphic.h"
#include "effects/light_graphic.h"
#include "effects/light_strip_state.h"
#include "effects/polyline_group_state.h"
#include "movie/graphic_factory.h"
#include "movie/movie_file.h"
#include "scene/control_layer.h"
#include "scene/lines_and_paths.h"
#include "support/lamp_fixtures.h"

namespace lumora {
namespace {

// One layer with an LED matrix, a swinging light, a light strip and a
// polyline group, and one grid layer of two frames.
void fillLampScene(TMovieDocument& s) {
  s.File.Width = 120;
  s.File.Height = 40;
  TLayer& layer = s.Root.AddLayer("");
  layer.Add(test::ledMatrix({0, 0, 1, 1}, 3, 2, 1, 0, 8));
  auto light = std::make_unique<TLightGraphic>(nullptr);
  light->Image().Resize(3, 2);
  light->Image().Clear(0x80FFFFFF);
  light->StepCount = 20;
  light->SetPivotAnchorValue(6);
  layer.Add(std::move(light));
  auto strip = std::make_unique<TLine>(nullptr);
  strip->SetEndpoints({0, 20 * kFixedOne}, {60 * kFixedOne, 20 * kFixedOne});
  strip->SetEffect(CreateEffect(kEffectLightStrip));
  dynamic_cast<TDengDaiState&>(strip->Effect()).LampSize = 5;
  layer.Add(std::move(strip));
  auto group = std::make_unique<TLine>(nullptr);
  group->SetEndpoints({0, 30 * kFixedOne}, {60 * kFixedOne, 30 * kFixedOne});
  group->SetEffect(CreateEffect(kEffectPolyLineGroup));
  dynamic_cast<TPolyLineGroupState&>(group->Effect()).CellRange = {0, 0, 1, 1};
  layer.Add(std::move(group));
  std::vector<std::unique_ptr<TFrameData>> frames;
  for (int i = 0; i < 2; ++i) {
    frames.push_back(std::make_unique<TFrameData>(2, 2));
    frames.back()->SetCell(1, i, 0x00FE8040);
  }
  test::addGridLayer(s.Grid, std::move(frames));
}

TEST(LampMovie, WriterAndReaderKeepTheLamps) {
  const std::filesystem::path file =
      std::filesystem::temp_directory_path() / ("lumora_lamps_" + std::to_string(::getpid()) + ".ctl");
  TMovieDocument source;
  fillLampScene(source);
  WriteFileBytes(file.string(), source.File.SaveLayered(nullptr));

  TMovieDocument read;
  read.File.WriteMusic = false;
  ASSERT_TRUE(read.File.LoadFromFile(file.string(), false));
  std::filesystem::remove(file);
  ASSERT_EQ(read.Root.LayerCount(), 1);
  const TLayer& layer = read.Root.Layer(0);
  ASSERT_EQ(layer.Count(), 4);
  auto* led = dynamic_cast<TLEDGraphic*>(&layer.Items(0));
  ASSERT_NE(led, nullptr);
  EXPECT_EQ(led->Image().Width(), 8);
  EXPECT_EQ(led->Image().Height(), 4);
  auto* light = dynamic_cast<TLightGraphic*>(&layer.Items(1));
  ASSERT_NE(light, nullptr);
  EXPECT_EQ(light->Image().ReadPixel(2, 1), 0x80FFFFFFu);
  EXPECT_EQ(light->StepCount, 20);
  EXPECT_EQ(light->PivotAnchor(), 6u);
  auto* strip = dynamic_cast<TDengDaiState*>(&layer.Items(2).Effect());
  ASSERT_NE(strip, nullptr);
  EXPECT_EQ(strip->LampSize, 5);
  auto* group = dynamic_cast<TPolyLineGroupState*>(&layer.Items(3).Effect());
  ASSERT_NE(group, nullptr);
  EXPECT_EQ(group->CellRange, (TCellRange{0, 0, 1, 1}));

  read.Grid.MergeFrames();
  read.Frame.Resize(120, 40);
  read.Root.PreparePass(true, read.Frame);
  EXPECT_EQ(strip->Lamps().size(), 13u) << "every 5 pixels of 60, ends included";
  ASSERT_NE(group->Pieces(), nullptr);
  EXPECT_EQ(group->Pieces()->Count(), 4);
  for (std::int32_t frame = 0; frame < 2; ++frame) {
    read.Frame.Clear(clBlack32);
    for (std::int32_t i = 0; i < layer.Count(); ++i) layer.Items(i).DrawFrame(read.Grid, frame, read.Frame);
    EXPECT_EQ(led->Image().ReadPixel(1 + frame * 4, 3), 0xFF4080FEu) << "frame " << frame;
  }
  read.Root.PreparePass(false, read.Frame);
  EXPECT_EQ(group->Pieces(), nullptr);
}

}  // namespace
}  // namespace lumora
