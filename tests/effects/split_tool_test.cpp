#include "effects/split_tool.h"

#include <gtest/gtest.h>

#include <cmath>

#include "render/bezier.h"
#include "render/gr32_graphics.h"
#include "scene/closed_shapes.h"
#include "scene/lines_and_paths.h"

namespace lumora {
namespace {

constexpr TWinColor kDotColour = 0x00336699;

std::unique_ptr<TLine> hundredPixelLine() {
  auto line = std::make_unique<TLine>(nullptr);
  line->SetEndpoints({0, 0}, {100 * kFixedOne, 0});
  line->SetLineWidth(2 * kFixedOne);
  line->SetLineColor(0x00112233);
  return line;
}

// The outline ends of a piece, within two 16.16 units of the expected pixels.
void expectOutline(TGraphicBase& piece, std::initializer_list<TFloatPoint> expected, const std::string& what) {
  TArrayOfFixedPoint points;
  piece.UpdateTransform();
  piece.GetFixedOutline(points);
  ASSERT_EQ(points.size(), expected.size()) << what;
  std::size_t i = 0;
  for (const TFloatPoint& e : expected) {
    EXPECT_NEAR(points[i].X, e.X * 65536.0, 2) << what << ", point " << i << " x";
    EXPECT_NEAR(points[i].Y, e.Y * 65536.0, 2) << what << ", point " << i << " y";
    ++i;
  }
}

TEST(FengeTool, RoundDotsOfAHundredPixelLine) {
  const std::vector<TDoublePoint> centres = TFengeTool::DotCentres({{0, 0}, {100, 0}}, 25);
  ASSERT_EQ(centres.size(), 6u) << "the end point comes twice";
  for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(centres[i].X, 25.0 * static_cast<double>(i)) << "centre " << i;
  EXPECT_EQ(centres[5].X, 100);

  auto line = hundredPixelLine();
  TFengeTool tool(*line);
  auto dots = tool.Split(ssRoundDots, 5, 6 * kFixedOne, kDotColour);
  ASSERT_EQ(dots->Count(), 5) << "the sixth centre is dropped";
  for (std::int32_t i = 0; i < 5; ++i) {
    auto* dot = dynamic_cast<TEllipse*>(&dots->Items(i));
    ASSERT_NE(dot, nullptr) << "dot " << i;
    EXPECT_EQ(dot->Position(), (TFloatPoint{25.0f * static_cast<float>(i) - 3, -3})) << "dot " << i;
    EXPECT_EQ(dot->Size(), (TFloatPoint{6, 6})) << "width-6 box";
    EXPECT_EQ(dot->Pivot(), (TFloatPoint{3, 3}));
    EXPECT_EQ(dot->FillColor(), kDotColour);
    EXPECT_TRUE(dot->Filled());
  }
}

TEST(FengeTool, SquareDotsAndEmptyResults) {
  auto line = hundredPixelLine();
  TFengeTool tool(*line);
  auto dots = tool.Split(ssSquareDots, 3, 6 * kFixedOne, kDotColour);
  ASSERT_EQ(dots->Count(), 3);
  for (std::int32_t i = 0; i < 3; ++i) {
    auto* dot = dynamic_cast<TRectangle*>(&dots->Items(i));
    ASSERT_NE(dot, nullptr) << "dot " << i;
    EXPECT_EQ(dot->Position(), (TFloatPoint{50.0f * static_cast<float>(i) - 3, -3})) << "dot " << i;
    EXPECT_EQ(dot->Size(), (TFloatPoint{6, 6}));
    EXPECT_EQ(dot->LineColor(), kDotColour);
    EXPECT_EQ(dot->FillColor(), kDotColour);
    expectOutline(*dot, {{50.0f * static_cast<float>(i) - 3, -3}, {50.0f * static_cast<float>(i) + 3, -3},
                         {50.0f * static_cast<float>(i) + 3, 3}, {50.0f * static_cast<float>(i) - 3, 3},
                         {50.0f * static_cast<float>(i) - 3, -3}},
                  "square " + std::to_string(i));
  }

  EXPECT_TRUE(tool.Split(ssRoundDots, 0, kFixedOne, 0)->Empty()) << "count 0";
  EXPECT_TRUE(tool.Split(ssLinePieces, -3, kFixedOne, 0)->Empty()) << "negative count";
  EXPECT_TRUE(tool.Split(7, 4, kFixedOne, 0)->Empty()) << "unknown style";
  EXPECT_TRUE(tool.Split(ssLinePieces, kMaxSplitPieces + 1, kFixedOne, 0)->Empty()) << "too many";
  TLine point(nullptr);
  point.SetEndpoints({5 * kFixedOne, 5 * kFixedOne}, {5 * kFixedOne, 5 * kFixedOne});
  TFengeTool still(point);
  EXPECT_TRUE(still.Split(ssLinePieces, 1, kFixedOne, 0)->Empty()) << "no length, no pitch";
  EXPECT_TRUE(still.Split(ssRoundDots, 4, kFixedOne, 0)->Empty());
}

TEST(FengeTool, LinePiecesOverlapByAFifth) {
  auto line = hundredPixelLine();
  TFengeTool tool(*line);
  auto pieces = tool.Split(ssLinePieces, 4, kFixedOne, kDotColour);
  ASSERT_EQ(pieces->Count(), 4);
  for (std::int32_t i = 0; i < 4; ++i) {
    auto* piece = dynamic_cast<TLine*>(&pieces->Items(i));
    ASSERT_NE(piece, nullptr) << "piece " << i;
    const float start = 25.0f * static_cast<float>(i);
    expectOutline(*piece, {{start - 0.2f, 0}, {start + 25.2f, 0}}, "piece " + std::to_string(i));
    EXPECT_EQ(piece->LineColor(), 0x00112233) << "the source's colour";
    EXPECT_EQ(piece->LineWidth(), 2 * kFixedOne) << "the source's width";
    EXPECT_FALSE(piece->Selected());
  }
}

// The corner right after a cut stays in its piece: cut at 75, 150 and 225
// of the 300-pixel outline, pieces 1 and 3 turn a corner.
TEST(FengeTool, RectanglePiecesAroundCorners) {
  TRectangle rectangle(nullptr);
  rectangle.SetSize({100, 50});
  rectangle.BuildFromSize();
  const auto runs = TFengeTool::PieceRuns({{0, 0}, {100, 0}, {100, 50}, {0, 50}, {0, 0}}, 75);
  ASSERT_GE(runs.size(), 4u);
  EXPECT_EQ(runs[1], (std::vector<TFixedPoint>{FixedPoint(75, 0), FixedPoint(100, 0), FixedPoint(100, 50)}));
  EXPECT_EQ(runs[3], (std::vector<TFixedPoint>{FixedPoint(25, 50), FixedPoint(0, 50), FixedPoint(0, 0)}));

  TFengeTool tool(rectangle);
  auto pieces = tool.Split(ssLinePieces, 4, kFixedOne, 0);
  ASSERT_EQ(pieces->Count(), 4);
  EXPECT_NE(dynamic_cast<TLine*>(&pieces->Items(0)), nullptr);
  EXPECT_NE(dynamic_cast<TLine*>(&pieces->Items(2)), nullptr);
  auto* corner = dynamic_cast<TPolyLine*>(&pieces->Items(1));
  ASSERT_NE(corner, nullptr) << "the piece over the corner (100, 0) is a polyline";
  ASSERT_NE(dynamic_cast<TPolyLine*>(&pieces->Items(3)), nullptr);
  expectOutline(*corner, {{74.8f, 0}, {100, 0}, {100, 50.2f}}, "corner piece");
  EXPECT_EQ(corner->Position(), (TFloatPoint{74.8f, 0}));
  EXPECT_EQ(corner->FromSplit, 0) << "only curved sources mark their pieces";

  TEllipse ellipse(nullptr);
  ellipse.Outline().SetPoints(EllipseBezier(0, 0, 40 * kFixedOne, 40 * kFixedOne));
  TFengeTool curved(ellipse);
  auto arcs = curved.Split(ssLinePieces, 3, kFixedOne, 0);
  ASSERT_EQ(arcs->Count(), 3);
  auto* arc = dynamic_cast<TPolyLine*>(&arcs->Items(0));
  ASSERT_NE(arc, nullptr);
  EXPECT_EQ(arc->FromSplit, 1);
}

}  // namespace
}  // namespace lumora
