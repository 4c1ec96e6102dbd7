// Groups, text and bitmap graphics through the player's path: the prepare
// pass freezes them, frames recolour them from a grid cell, and a movie made
// by our writer plays back pixel for pixel like the scene it was made from.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "grid/frame_data.h"
#include "movie/movie_file.h"
#include "scene/control_layer.h"
#include "scene/font_graphic.h"
#include "scene/graphic_bitmap.h"
#include "scene/group.h"

namespace lumora {
namespace {

constexpr std::int32_t kWidth = 64;
constexpr std::int32_t kHeight = 48;
constexpr TWinColor kLine = 0x3060F0;
constexpr TWinColor kFill = 0xC0A020;
constexpr std::int32_t kFrames = 4;

// Cell (0, 1) of frame i is cells[i].
void addGrid(TFrameDataLayers& layers, std::initializer_list<TWinColor> cells) {
  auto layer = std::make_unique<TFrameDataLayer>();
  auto section = std::make_unique<TSection>();
  for (const TWinColor cell : cells) {
    auto frame = std::make_unique<TFrameData>(1, 2);
    frame->SetCell(0, 1, cell);
    section->Add(std::move(frame));
  }
  layer->Add(std::move(section));
  layer->RebuildMerged();
  layers.Add(std::move(layer));
}

std::unique_ptr<TFontGraphic> text(std::initializer_list<TPoint> points, std::vector<std::uint8_t> types) {
  auto g = std::make_unique<TFontGraphic>(nullptr);
  g->Points().SetIntPoints(std::vector<TPoint>(points));
  g->SetPointTypes(std::move(types));
  return g;
}

// A rotated, scaled group of a filled square and a nested group holding a
// stroked triangle; a bitmap graphic tinted by its frame colour.
void makeScene(TLayer& layer) {
  auto inner = std::make_unique<TGroup>(nullptr);
  auto triangle = text({{0, 12}, {7, 0}, {14, 12}}, {6, 2, 3});
  triangle->SetPosition({16, 0});
  inner->AddChild(std::move(triangle));
  auto group = std::make_unique<TGroup>(nullptr);
  group->AddChild(text({{0, 0}, {12, 0}, {12, 12}, {0, 12}}, {6, 2, 2, 3}));
  group->AddChild(std::move(inner));
  group->Child(0).SetFilled(true);
  group->Child(1).SetLineWidth(2 * kFixedOne);
  group->SetPosition({6, 4});
  group->SetPivot({15, 6});
  group->SetAngle(20);
  group->SetScale({1.25f, 1.25f});

  auto bitmap = std::make_unique<TGraphicBitmap>(nullptr);
  TBitmap32& picture = bitmap->Picture();
  picture.Resize(12, 12);
  picture.Clear(0xFFFFFFFF);
  picture.FillRectClipped(6, 0, 12, 12, 0x80808080);
  picture.DrawMode = dmBlend;
  bitmap->SetTintMode(2);
  bitmap->SetPosition({44, 28});

  layer.Add(std::move(group));
  layer.Add(std::move(bitmap));
  for (const auto& g : layer.Graphics()) {
    g->SetSelected(false);
    g->SetLineColor(kLine);
    g->SetFillColor(kFill);
    g->SetGridRow(0);
    g->SetGridColumn(1);
    g->SetChannelMode(3);
    g->UpdateTransform();
  }
}

void prepare(TControlLayer& root, TBitmap32& bitmap) {
  bitmap.Resize(kWidth, kHeight);
  root.SetAllEditMode(false);
  root.SetAllUseView(false);
  root.PreparePass(true, bitmap);
}

void drawFrame(const TLayer& layer, TFrameDataLayers& grid, std::int32_t frame, TBitmap32& bitmap) {
  bitmap.Clear(clBlack32);
  for (const auto& g : layer.Graphics()) g->DrawFrame(grid, frame, bitmap);
}

void expectSameImage(const TBitmap32& actual, const TBitmap32& expected, const std::string& what) {
  ASSERT_EQ(actual.Width(), expected.Width()) << what;
  for (std::int32_t y = 0; y < actual.Height(); ++y) {
    for (std::int32_t x = 0; x < actual.Width(); ++x) {
      ASSERT_EQ(actual.ReadPixel(x, y), expected.ReadPixel(x, y)) << what << ": pixel " << x << "," << y;
    }
  }
}

// The device pixel of a point of the group's first child.
TPoint squarePixel(TControlLayer& root, float x, float y) {
  auto& group = dynamic_cast<TGroup&>(root.Layer(0).Items(0));
  const TFloatPoint p = group.Child(0).WorkTransform().Transform(TFloatPoint{x, y});
  return {static_cast<std::int32_t>(p.X), static_cast<std::int32_t>(p.Y)};
}

TEST(GroupBitmapTextPlayback, FramesRecolourTheFrozenScene) {
  TFrameDataLayers grid;
  addGrid(grid, {0x0000FE, 0x000000, 0x00FE00, 0x00FEFE});
  TControlLayer root;
  TLayer& layer = root.AddLayer("");
  makeScene(layer);
  TBitmap32 bitmap;
  prepare(root, bitmap);
  const TPoint centre = squarePixel(root, 6, 6);

  std::vector<std::unique_ptr<TBitmap32>> frames;
  for (std::int32_t frame = 0; frame < kFrames; ++frame) {
    frames.push_back(std::make_unique<TBitmap32>());
    frames.back()->Resize(kWidth, kHeight);
    drawFrame(layer, grid, frame, *frames.back());
  }
  EXPECT_EQ(frames[0]->ReadPixel(centre.X, centre.Y), 0xFFFF0000u) << "the square in red";
  EXPECT_EQ(frames[1]->ReadPixel(centre.X, centre.Y), Color32FromWinColor(kFill)) << "a black cell: static colour";
  EXPECT_EQ(frames[2]->ReadPixel(centre.X, centre.Y), 0xFF00FF00u) << "the square in green";
  EXPECT_EQ(frames[3]->ReadPixel(centre.X, centre.Y), 0xFFFFFF00u) << "the square in yellow";
  EXPECT_EQ(frames[0]->ReadPixel(47, 33), 0xFFFF0000u) << "the opaque half of the tinted bitmap";
  EXPECT_EQ(frames[2]->ReadPixel(47, 33), 0xFF00FF00u);
  EXPECT_EQ(frames[1]->ReadPixel(47, 33), Color32FromWinColor(kLine)) << "tinted in the static line colour";
  const TColor32 half = frames[0]->ReadPixel(53, 33);
  EXPECT_EQ(GreenComponent(half), 0) << "the half-transparent half, tinted red over black";
  EXPECT_GT(RedComponent(half), 0x70);
  EXPECT_LT(RedComponent(half), 0x90);

  // Moving the graphics now must not show: frames only recolour.
  for (const auto& g : layer.Graphics()) g->MoveBy(5, 5);
  TBitmap32 again;
  again.Resize(kWidth, kHeight);
  for (std::int32_t frame = 0; frame < kFrames; ++frame) {
    drawFrame(layer, grid, frame, again);
    expectSameImage(again, *frames[static_cast<std::size_t>(frame)], "frozen frame " + std::to_string(frame));
  }
}

TEST(GroupBitmapTextPlayback, MoviesFromOurWriterPlayBackTheSame) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("lumora_groups_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  TMovieDocument source;
  addGrid(source.Grid, {0x0000FE, 0x000000, 0x00FE00, 0x00FEFE});
  source.File.Width = kWidth;
  source.File.Height = kHeight;
  makeScene(source.Root.AddLayer(""));
  const std::string file = (dir / "groups.ctl").string();
  WriteFileBytes(file, source.File.SaveLayered(nullptr));

  TMovieDocument loaded;
  ASSERT_TRUE(loaded.File.LoadFromFile(file, false));
  ASSERT_EQ(loaded.Root.LayerCount(), 1);
  ASSERT_EQ(loaded.Root.Layer(0).Count(), 2);
  for (std::int32_t i = 0; i < loaded.Grid.Count(); ++i) loaded.Grid.Items(i).RebuildMerged();

  TBitmap32 expected;
  TBitmap32 actual;
  prepare(source.Root, expected);
  prepare(loaded.Root, actual);
  for (std::int32_t frame = 0; frame < kFrames; ++frame) {
    drawFrame(source.Root.Layer(0), source.Grid, frame, expected);
    drawFrame(loaded.Root.Layer(0), loaded.Grid, frame, actual);
    expectSameImage(actual, expected, "frame " + std::to_string(frame));
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace lumora
