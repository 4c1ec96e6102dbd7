// Every outline class through the player's path: the prepare pass freezes
// the coverage, and each frame recolours it from a grid cell, pixel for pixel
// what a fresh shape draws in that colour.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <limits>

#include "grid/frame_data.h"
#include "movie/movie_file.h"
#include "render/bezier.h"
#include "render/gr32_graphics.h"
#include "scene/closed_shapes.h"
#include "scene/control_layer.h"
#include "scene/lines_and_paths.h"
#include "support/grid_fixtures.h"
#include "support/shape_streams.h"

namespace lumora {
namespace {

using test::px;

constexpr std::int32_t kWidth = 64;
constexpr std::int32_t kHeight = 48;
constexpr TWinColor kLine = 0x3060F0;
constexpr TWinColor kFill = 0xC0A020;

// One of each class, bound to cell (0, 1) through red and green.
std::vector<std::unique_ptr<TGraphicBase>> makeShapes() {
  std::vector<std::unique_ptr<TGraphicBase>> shapes;
  auto rectangle = std::make_unique<TRectangle>(nullptr);
  const TFixedPoint box[] = {px(0, 0), px(10, 0), px(10, 8), px(0, 8), px(0, 0)};
  rectangle->Outline().SetPoints(box);
  rectangle->SetPosition({2, 2});
  rectangle->SetFilled(true);
  auto ellipse = std::make_unique<TEllipse>(nullptr);
  ellipse->Outline().SetPoints(EllipseBezier(0, 0, px(14, 0).X, px(0, 10).Y));
  ellipse->SetPosition({16, 2});
  ellipse->SetLineWidth(2 * kFixedOne);
  auto arc = std::make_unique<TArc>(nullptr);
  arc->Outline().SetPoints(ArcBezier({0, 0}, {12, 12}, 0, 3));
  arc->SetPosition({34, 2});
  arc->SetLineWidth(3 * kFixedOne / 2);
  auto polygon = std::make_unique<TPolygon>(nullptr);
  polygon->Outline().SetPoints(RegularPolygonPoints(6, 12));
  polygon->SetPosition({50, 2});
  polygon->SetFilled(true);
  auto star = std::make_unique<TPolyStar>(nullptr);
  star->Outline().SetPoints(StarPoints(5, 14, 40));
  star->SetPosition({2, 20});
  star->SetAngle(15);
  star->SetPivot({7, 7});
  star->SetLineWidth(2 * kFixedOne);
  auto line = std::make_unique<TLine>(nullptr);
  line->SetEndpoints(px(20, 20), px(34, 32));
  line->SetLineWidth(3 * kFixedOne);
  auto polyline = std::make_unique<TPolyLine>(nullptr);
  const TFixedPoint zigzag[] = {px(0, 0), px(6, 10), px(12, 0), px(18, 10)};
  polyline->Outline().SetPoints(zigzag);
  polyline->SetPosition({38, 20});
  polyline->SetLineWidth(2 * kFixedOne);
  auto bezier = std::make_unique<TPolyBezier>(nullptr);
  const TFixedPoint curve[] = {px(0, 10), px(10, -6), px(20, 26), px(30, 10)};
  bezier->Outline().SetPoints(curve);
  bezier->SetPosition({16, 34});
  bezier->SetFilled(true);
  shapes.push_back(std::move(rectangle));
  shapes.push_back(std::move(ellipse));
  shapes.push_back(std::move(arc));
  shapes.push_back(std::move(polygon));
  shapes.push_back(std::move(star));
  shapes.push_back(std::move(line));
  shapes.push_back(std::move(polyline));
  shapes.push_back(std::move(bezier));
  for (const auto& shape : shapes) {
    shape->SetSelected(false);
    shape->SetLineColor(kLine);
    shape->SetFillColor(kFill);
    shape->SetGridRow(0);
    shape->SetGridColumn(1);
    shape->SetChannelMode(3);
    shape->UpdateTransform();
  }
  return shapes;
}

// Fresh shapes drawn in the colour each one gets (the colour of the frame,
// or its own static colour when colour is 0).
void drawReference(TBitmap32& bitmap, TWinColor colour) {
  bitmap.Clear(clBlack32);
  for (const auto& shape : makeShapes()) {
    shape->SetEditMode(false);
    const bool line = shape->TypeCode() == 1;
    const TWinColor own = shape->Filled() && !line ? shape->FillColor() : shape->LineColor();
    shape->DrawInColor(bitmap, colour != 0 ? colour : own);
  }
}

void expectSameImage(const TBitmap32& actual, const TBitmap32& expected, const std::string& what) {
  std::int64_t lit = 0;
  for (std::int32_t y = 0; y < actual.Height(); ++y) {
    for (std::int32_t x = 0; x < actual.Width(); ++x) {
      ASSERT_EQ(actual.ReadPixel(x, y), expected.ReadPixel(x, y)) << what << ": pixel " << x << "," << y;
      lit += actual.ReadPixel(x, y) != clBlack32 ? 1 : 0;
    }
  }
  EXPECT_GT(lit, 400) << what << ": every shape shows";
}

TEST(ShapesPlayback, FramesRecolourTheFrozenCoverage) {
  TFrameDataLayers layers;
  test::addGridLayer(layers, test::framesWithCell(1, 2, {0x0000FE, 0x000000, 0x00FE00, 0x00FEFE}));
  TControlLayer root;
  TLayer& layer = root.AddLayer("");
  for (auto& shape : makeShapes()) layer.Add(std::move(shape));
  TBitmap32 bitmap;
  bitmap.Resize(kWidth, kHeight);
  root.SetAllEditMode(false);
  root.SetAllUseView(false);
  root.PreparePass(true, bitmap);

  // Moving every outline now must not show: frames only recolour.
  for (const auto& graphic : layer.Graphics()) graphic->MoveBy(5, 5);

  TBitmap32 expected;
  expected.Resize(kWidth, kHeight);
  const TWinColor colours[] = {0x0000FF, 0, 0x00FF00, 0x00FFFF};
  for (int repeat = 0; repeat < 2; ++repeat) {
    for (std::int32_t frame = 0; frame < 4; ++frame) {
      bitmap.Clear(clBlack32);
      for (const auto& graphic : layer.Graphics()) graphic->DrawFrame(layers, frame, bitmap);
      drawReference(expected, colours[frame]);
      expectSameImage(bitmap, expected, "frame " + std::to_string(frame));
    }
  }
}

// Extreme coordinates draw, measure and export without faults.
TEST(ShapesPlayback, ExtremeCoordinates) {
  constexpr TFixed kMin = std::numeric_limits<TFixed>::min();
  constexpr TFixed kMax = std::numeric_limits<TFixed>::max();
  const TArrayOfFixedPoint hostile{{kMin, kMin}, {kMax, kMin}, {kMax, kMax}, {kMin, kMax},
                                   {0, 0},       {kMax, 0},    {0, kMin}};
  TBitmap32 bitmap;
  bitmap.Resize(16, 16);
  for (auto& shape : makeShapes()) {
    SCOPED_TRACE(shape->ClassName());
    if (auto* line = dynamic_cast<TLine*>(shape.get())) {
      line->Outline().SetPoints(std::span(hostile).first(2));
    } else if (auto* curve = dynamic_cast<TOutlineShape<TMetaPoly>*>(shape.get())) {
      curve->Outline().SetPoints(hostile);
    } else {
      dynamic_cast<TOutlineShape<TMetaPolygon>&>(*shape).Outline().SetPoints(hostile);
    }
    shape->SetPosition({1e9f, -1e9f});
    shape->SetEditMode(false);
    for (const bool filled : {false, true}) {
      shape->SetFilled(filled);
      shape->DrawInColor(bitmap, 255);
    }
    TFixedRect bounds;
    shape->GetBounds(bounds);
    EXPECT_GE(std::int64_t{bounds.Right} - bounds.Left, 0);
    EXPECT_FALSE(test::exportOf(*shape).empty());
    EXPECT_FALSE(test::bodyOf(*shape).empty());
  }
}

// Every class through the movie writer and reader, in both encodings.
TEST(ShapesMovie, BothEncodingsRoundTrip) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("lumora_shapes_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  TMovieDocument source;
  source.File.Width = kWidth;
  source.File.Height = kHeight;
  TLayer& layer = source.Root.AddLayer("");
  for (auto& shape : makeShapes()) layer.Add(std::move(shape));
  std::vector<std::vector<std::uint8_t>> bodies;
  for (const auto& graphic : layer.Graphics()) bodies.push_back(test::bodyOf(*graphic));
  const std::string current = (dir / "shapes.ctl").string();
  const std::string legacy = (dir / "shapes3.ctl").string();
  WriteFileBytes(current, source.File.SaveLayered(nullptr));
  WriteFileBytes(legacy, source.File.SaveGridProgram(true));

  TMovieDocument currentDoc;
  EXPECT_TRUE(currentDoc.File.LoadFromFile(current, false)) << current;
  const TControlLayer& fromCurrent = currentDoc.Root;
  ASSERT_EQ(fromCurrent.LayerCount(), 1);
  ASSERT_EQ(fromCurrent.Layer(0).Count(), static_cast<std::int32_t>(bodies.size()));
  for (std::size_t i = 0; i < bodies.size(); ++i) {
    TGraphicBase& g = fromCurrent.Layer(0).Items(static_cast<std::int32_t>(i));
    EXPECT_EQ(g.ClassName(), layer.Items(static_cast<std::int32_t>(i)).ClassName());
    EXPECT_EQ(test::bodyOf(g), bodies[i]) << g.ClassName();
  }

  TMovieDocument legacyDoc;
  EXPECT_TRUE(legacyDoc.File.LoadFromFile(legacy, false)) << legacy;
  const TControlLayer& fromLegacy = legacyDoc.Root;
  ASSERT_EQ(fromLegacy.LayerCount(), 1);
  ASSERT_EQ(fromLegacy.Layer(0).Count(), static_cast<std::int32_t>(bodies.size()));
  const char* classes[] = {"TRectangle",  "TPolyBezier", "TPolyBezier", "TPolyBezier",
                           "TPolyBezier", "TLine",       "TPolyBezier", "TPolyBezier"};
  for (std::size_t i = 0; i < bodies.size(); ++i) {
    TGraphicBase& g = fromLegacy.Layer(0).Items(static_cast<std::int32_t>(i));
    EXPECT_EQ(g.ClassName(), classes[i]) << i;
    TFixedRect before;
    TFixedRect after;
    layer.Items(static_cast<std::int32_t>(i)).GetBounds(before);
    g.GetBounds(after);
    EXPECT_NEAR(after.Left, before.Left, kFixedOne) << classes[i];
    EXPECT_NEAR(after.Bottom, before.Bottom, kFixedOne) << classes[i];
  }
  const auto& line = dynamic_cast<TLine&>(fromLegacy.Layer(0).Items(5));
  EXPECT_EQ(line.Position(), (TFloatPoint{20, 20}));
  EXPECT_EQ(line.Outline().Points(), (TArrayOfFixedPoint{px(0, 0), px(14, 12)}));
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace lumora
