#include "scene/closed_shapes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "movie/graphic_factory.h"
#include "render/bezier.h"
#include "render/gr32_graphics.h"
#include "scene/lines_and_paths.h"
#include "support/shape_streams.h"

namespace lumora {
namespace {

using test::blackBitmap;
using test::buildFrom;
using test::countPixels;
using test::px;
using test::TBytesReader;

using test::kBlack;
constexpr TColor32 kRed = 0xFFFF0000;
constexpr TColor32 kGreen = 0xFF00FF00;

// The older ellipse-and-arc record with identity-like placement, followed by
// m = 2 records of nine bytes.
std::vector<std::uint8_t> legacyArcRecord(std::int32_t width, std::int32_t height, std::int32_t start, std::int32_t end,
                                          const std::array<float, 6>& placement) {
  TStreamWriter w;
  for (const std::int32_t v : {0, 0, width, height, 7, 7, 7, start, end}) w.WriteS32(v);
  for (const float f : placement) w.WriteFloat(f);
  for (int i = 0; i < 3; ++i) w.WriteU8(0);
  w.WriteS32(2);
  for (int i = 0; i < 18; ++i) w.WriteU8(0xAB);
  return w.TakeData();
}

constexpr std::array<float, 6> kIdentityPlacement{1, 0, 0, 1, 0, 0};

TEST(ClosedShapes, EmptyRecords) {
  TRectangle empty(nullptr);
  empty.SetFilled(true);
  const auto rectangle = buildFrom(test::bodyOf(empty), true);
  ASSERT_NE(rectangle, nullptr);
  EXPECT_EQ(rectangle->ClassName(), "TRectangle");
  const auto bOwner = blackBitmap(8, 8);
  TBitmap32& b = *bOwner;
  rectangle->SetEditMode(false);
  rectangle->DrawInColor(b, 255);
  rectangle->SetFilled(false);
  rectangle->DrawInColor(b, 255);
  EXPECT_EQ(countPixels(b, kBlack), 64) << "an empty rectangle draws nothing";

  const auto ellipse = buildFrom(test::bodyOf(*std::make_unique<TEllipse>(nullptr)), true);
  ASSERT_NE(ellipse, nullptr);
  EXPECT_TRUE(dynamic_cast<TEllipse&>(*ellipse).Outline().Points().empty());

  // An ellipse that has points keeps them through a record with n = 0.
  TEllipse withPoints(nullptr);
  withPoints.Outline().SetPoints(EllipseBezier(0, 0, px(10, 0).X, px(10, 0).X));
  const TArrayOfFixedPoint before = withPoints.Outline().Points();
  std::vector<std::uint8_t> record = test::bodyOf(*std::make_unique<TEllipse>(nullptr));
  TBytesReader in({record.begin() + kObjectHeaderSize, record.end()});
  test::readBody(withPoints, in.Reader());
  EXPECT_EQ(withPoints.Outline().Points(), before);
}

TEST(ClosedShapes, FilledEllipseNeedsThreeKPlusOnePoints) {
  TEllipse ellipse(nullptr);
  ellipse.SetFilled(true);
  ellipse.SetEditMode(false);
  TArrayOfFixedPoint points = EllipseBezier(px(2, 0).X, px(0, 2).Y, px(18, 0).X, px(0, 18).Y);
  ellipse.Outline().SetPoints(std::span(points).first(5));
  const auto bOwner = blackBitmap(20, 20);
  TBitmap32& b = *bOwner;
  ellipse.DrawInColor(b, 255);
  EXPECT_EQ(countPixels(b, kBlack), 400) << "five control points fill nothing";

  ellipse.Outline().SetPoints(points);
  ellipse.DrawInColor(b, 255);
  EXPECT_EQ(b.ReadPixel(10, 10), kRed);
  EXPECT_EQ(b.ReadPixel(0, 0), kBlack);
}

TEST(ClosedShapes, DrawingFillsStrokesAndRecoloursFrozenCoverage) {
  TRectangle rectangle(nullptr);
  const TFixedPoint square[] = {px(2, 2), px(12, 2), px(12, 12), px(2, 12), px(2, 2)};
  rectangle.Outline().SetPoints(square);
  rectangle.SetFilled(true);
  rectangle.SetEditMode(false);
  const auto bOwner = blackBitmap(20, 20);
  TBitmap32& b = *bOwner;
  rectangle.DrawInColor(b, 255);
  EXPECT_EQ(b.ReadPixel(5, 5), kRed);
  // The scan converter's sub-samples of the top row cover 7 of its 8 rows
  // of samples: 222 of 255.
  const TColor32 topRow = 0xE3DE0000;
  for (std::int32_t x = 2; x < 12; ++x) EXPECT_EQ(b.ReadPixel(x, 2), topRow) << "x " << x;
  EXPECT_EQ(b.ReadPixel(1, 5), kBlack);
  EXPECT_EQ(b.ReadPixel(12, 11), kBlack) << "the right and bottom edges are exclusive";
  EXPECT_EQ(b.ReadPixel(11, 12), kBlack);
  EXPECT_EQ(countPixels(b, kRed), 90);
  EXPECT_EQ(rectangle.OutlineCache(), (TPoints{{2, 2}, {12, 2}, {12, 12}, {2, 12}, {2, 2}}));

  // Frozen: the outline is not mapped again, only the colour changes.
  rectangle.SetCoverageFrozen(true, b);
  rectangle.SetPosition({5, 5});
  const TFixedPoint elsewhere[] = {px(0, 0), px(1, 0), px(1, 1), px(0, 0)};
  rectangle.Outline().SetPoints(elsewhere);
  rectangle.DrawInColor(b, 0x00FF00);
  EXPECT_EQ(countPixels(b, kGreen), 90);
  EXPECT_EQ(b.ReadPixel(5, 5), kGreen);

  // A stroke of 2 pixels around the square leaves its middle.
  TRectangle outline(nullptr);
  outline.Outline().SetPoints(square);
  outline.SetLineWidth(2 * kFixedOne);
  outline.SetEditMode(false);
  const auto sOwner = blackBitmap(20, 20);
  TBitmap32& s = *sOwner;
  outline.DrawInColor(s, 255);
  EXPECT_EQ(s.ReadPixel(7, 2), kRed);
  EXPECT_EQ(s.ReadPixel(7, 1), topRow);
  EXPECT_EQ(s.ReadPixel(1, 7), kRed);
  EXPECT_EQ(s.ReadPixel(12, 7), kRed);
  EXPECT_EQ(s.ReadPixel(13, 7), kBlack);
  EXPECT_EQ(s.ReadPixel(7, 7), kBlack);
  EXPECT_EQ(s.ReadPixel(7, 4), kBlack);
}

TEST(ClosedShapes, CloneRoundsExceptForRectangles) {
  TPolyStar star(nullptr);
  star.StarPoints = 7;
  star.InnerPercent = 20;
  star.ShapeSize = 90;
  star.SetLineColor(0x123456);
  const TFixedPoint odd[] = {px(10.5, 3.75)};
  star.Outline().SetPoints(odd);
  const auto copy = star.Clone();
  auto& s = dynamic_cast<TPolyStar&>(*copy);
  EXPECT_EQ(s.Outline().Points(), (TArrayOfFixedPoint{px(10, 4)})) << "10.5 goes down, 3.75 up";
  EXPECT_EQ(s.StarPoints, 7);
  EXPECT_EQ(s.InnerPercent, 20);
  EXPECT_EQ(s.ShapeSize, 90);
  EXPECT_EQ(s.LineColor(), 0x123456);
  EXPECT_EQ(s.View(), nullptr);

  TRectangle rectangle(nullptr);
  rectangle.Outline().SetPoints(odd);
  const auto rectangleCopy = rectangle.Clone();
  EXPECT_EQ(dynamic_cast<TRectangle&>(*rectangleCopy).Outline().Points(), (TArrayOfFixedPoint{px(10.5, 3.75)}));

  TArc arc(nullptr);
  arc.ArcValue1 = 1;
  arc.ArcValue2 = 2;
  arc.ArcValue3 = 3;
  arc.ArcValue4 = 4;
  arc.Outline().SetPoints(odd);
  const auto arcCopy = arc.Clone();
  const auto& a = dynamic_cast<TArc&>(*arcCopy);
  EXPECT_EQ((std::array{a.ArcValue1, a.ArcValue2, a.ArcValue3, a.ArcValue4}), (std::array{1, 2, 3, 4}));
  EXPECT_EQ(a.Outline().Points(), (TArrayOfFixedPoint{px(10, 4)}));

  TPolygon polygon(nullptr);
  polygon.Sides = 9;
  polygon.Outline().SetPoints(odd);
  const auto polygonCopy = polygon.Clone();
  EXPECT_EQ(dynamic_cast<TPolygon&>(*polygonCopy).Sides, 9);
  EXPECT_EQ(dynamic_cast<TPolygon&>(*polygonCopy).Outline().Points(), (TArrayOfFixedPoint{px(10, 4)}));
  EXPECT_EQ(dynamic_cast<TEllipse&>(*TEllipse(nullptr).Clone()).ClassName(), "TEllipse");
}

TEST(ClosedShapes, LegacyRectangle) {
  TStreamWriter w;
  w.WriteS32(2);
  for (const std::int32_t v : {300, 449, 0, 0}) w.WriteS32(v);
  const std::vector<std::uint8_t> body = w.TakeData();
  TRectangle r(nullptr);
  r.SetGridLayer(3);
  TBytesReader in(body);
  test::readLegacyBody(r, in.Reader());
  EXPECT_EQ(r.Outline().Points(), (TArrayOfFixedPoint{px(3, 4), px(0, 0)})) << "300, 449 hundredths are (3, 4)";
  EXPECT_EQ(r.Size(), (TFloatPoint{3, 4}));
  EXPECT_EQ(r.Pivot(), (TFloatPoint{1.5f, 2}));
  EXPECT_EQ(r.GridLayer(), 0);

  TStreamWriter w2;
  w2.WriteS32(3);
  for (const std::int32_t v : {1000, 1000, 1300, 1449, 1200, 1000}) w2.WriteS32(v);
  TRectangle moved(nullptr);
  TBytesReader in2(w2.TakeData());
  test::readLegacyBody(moved, in2.Reader());
  EXPECT_EQ(moved.Outline().Points(), (TArrayOfFixedPoint{px(0, 0), px(3, 4), px(2, 0)}));
  EXPECT_EQ(moved.Position(), (TFloatPoint{10, 10}));

  TStreamWriter w3;
  w3.WriteS32(0);
  TRectangle none(nullptr);
  TBytesReader in3(w3.TakeData());
  test::readLegacyBody(none, in3.Reader());
  EXPECT_TRUE(none.Outline().Points().empty());
  EXPECT_EQ(in3.Position(), 4u);
}

TEST(ClosedShapes, LegacyEllipseAndArc) {
  TEllipse ellipse(nullptr);
  TBytesReader in(legacyArcRecord(100, 60, 0, 0, kIdentityPlacement));
  test::readLegacyBody(ellipse, in.Reader());
  EXPECT_EQ(in.Position(), 63u + 4 + 18) << "the trailing records are skipped";
  EXPECT_EQ(ellipse.Outline().Points(), EllipseBezier(0, 0, px(100, 0).X, px(0, 60).Y));
  EXPECT_EQ(ellipse.Size(), (TFloatPoint{100, 60}));
  EXPECT_EQ(ellipse.Pivot(), (TFloatPoint{50, 30}));
  EXPECT_EQ(ellipse.TypeCode(), 6);

  // x' = 2x about the box centre: twice as wide, its left edge at -50.
  TEllipse wide(nullptr);
  TBytesReader in2(legacyArcRecord(100, 60, 0, 0, {2, 0, 0, 1, 0, 0}));
  test::readLegacyBody(wide, in2.Reader());
  EXPECT_EQ(wide.Position(), (TFloatPoint{-50, 0}));
  EXPECT_EQ(wide.Size(), (TFloatPoint{200, 60}));

  // 270 to 90 is read as 90 to 270: the left half, from the top down.
  TPolyBezier swapped(nullptr);
  TBytesReader in3(legacyArcRecord(100, 100, 270, 90, kIdentityPlacement));
  swapped.ReadLegacyArc(in3.Reader());
  TPolyBezier ordered(nullptr);
  TBytesReader in4(legacyArcRecord(100, 100, 90, 270, kIdentityPlacement));
  ordered.ReadLegacyArc(in4.Reader());
  EXPECT_EQ(swapped.Outline().Points(), ordered.Outline().Points());
  const TArrayOfFixedPoint& half = swapped.Outline().Points();
  ASSERT_EQ(half.size(), 7u) << "two pieces of a quarter turn";
  EXPECT_EQ(half.front(), px(50, 0));
  EXPECT_EQ(half[3], px(0, 50));
  EXPECT_EQ(half.back(), px(50, 100));
  EXPECT_EQ(swapped.Size(), (TFloatPoint{50, 100}));
  EXPECT_EQ(swapped.TypeCode(), 6);

  TPolyBezier hostile(nullptr);
  TBytesReader in5(legacyArcRecord(100, 100, 0, 2000000000, kIdentityPlacement));
  EXPECT_THROW(hostile.ReadLegacyArc(in5.Reader()), TLoadError);
  std::vector<std::uint8_t> badCount = legacyArcRecord(10, 10, 0, 0, kIdentityPlacement);
  badCount[63] = badCount[64] = badCount[65] = badCount[66] = 0xFF;
  TBytesReader in6(badCount);
  EXPECT_THROW(test::readLegacyBody(TEllipse(nullptr), in6.Reader()), TLoadError) << "m = -1";
}

TEST(ClosedShapes, ExportTruncatesTowardZero) {
  TEllipse ellipse(nullptr);
  const TFixedPoint p[] = {{-1000, 1000}, {-655, 1310}};
  ellipse.Outline().SetPoints(p);
  const std::vector<std::uint8_t> out = test::exportOf(ellipse);
  EXPECT_EQ(out[36], 6) << "an ellipse is exported as a Bézier path";
  EXPECT_EQ(test::pointsAt(out, kObjectHeaderSize), (std::vector<TPoint>{{-1, 1}, {-1, 2}}));

  ellipse.SetEffect(CreateEffect(kEffectMask));
  EXPECT_EQ(test::exportOf(ellipse).size(), kObjectHeaderSize) << "the mask effect exports no points";
}

TEST(ClosedShapes, BuildFromSize) {
  TRectangle r(nullptr);
  r.SetSize({30, 20.5f});
  r.BuildFromSize();
  EXPECT_EQ(r.Outline().Points(), (TArrayOfFixedPoint{px(0, 0), px(30, 0), px(30, 20.5), px(0, 20.5), px(0, 0)}));
  EXPECT_EQ(r.Pivot(), (TFloatPoint{15, 10.25f}));
}

// Every closed class through WriteBody and the factory's current reader.
TEST(ClosedShapes, CurrentRoundTrips) {
  const TArrayOfFixedPoint curve = EllipseBezier(0, 0, px(40, 0).X, px(0, 20).Y);
  const TArrayOfFixedPoint corners{px(0, 0), px(40.5, 0), px(40.5, 20.25), px(0, 0)};
  std::vector<std::unique_ptr<TGraphicBase>> shapes;
  auto arc = std::make_unique<TArc>(nullptr);
  arc->ArcValue1 = -1;
  arc->ArcValue2 = 2;
  arc->ArcValue3 = 0x7FFFFFFF;
  arc->ArcValue4 = 4;
  arc->Outline().SetPoints(curve);
  auto ellipse = std::make_unique<TEllipse>(nullptr);
  ellipse->Outline().SetPoints(curve);
  auto rectangle = std::make_unique<TRectangle>(nullptr);
  rectangle->Outline().SetPoints(corners);
  auto polygon = std::make_unique<TPolygon>(nullptr);
  polygon->Sides = 6;
  polygon->ShapeSize = 40;
  polygon->Outline().SetPoints(corners);
  auto star = std::make_unique<TPolyStar>(nullptr);
  star->StarPoints = 8;
  star->InnerPercent = 61;
  star->ShapeSize = 33;
  star->Outline().SetPoints(corners);
  shapes.push_back(std::move(arc));
  shapes.push_back(std::move(ellipse));
  shapes.push_back(std::move(rectangle));
  shapes.push_back(std::move(polygon));
  shapes.push_back(std::move(star));

  for (auto& shape : shapes) {
    SCOPED_TRACE(shape->ClassName());
    shape->SetFilled(true);
    shape->SetGridRow(2);
    shape->SetGridColumn(3);
    shape->SetGridLayer(1);
    shape->SetPosition({7.5f, -2});
    shape->SetAngle(30);
    const std::vector<std::uint8_t> body = test::bodyOf(*shape);
    std::uint64_t consumed = 0;
    const auto read = buildFrom(body, true, &consumed);
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->ClassName(), shape->ClassName());
    EXPECT_EQ(consumed + kObjectHeaderSize, body.size()) << "the whole body and nothing more";
    EXPECT_EQ(test::bodyOf(*read), body) << "written back byte for byte";
    EXPECT_EQ(read->HeaderBytes(), shape->HeaderBytes());
    EXPECT_EQ(read->Position(), (TFloatPoint{7.5f, -2}));
    EXPECT_EQ(read->Angle(), 30);
  }
  const auto star2 = buildFrom(test::bodyOf(*shapes[4]), true);
  const auto& s = dynamic_cast<TPolyStar&>(*star2);
  EXPECT_EQ((std::array{s.StarPoints, s.InnerPercent, s.ShapeSize}), (std::array{8, 61, 33}));
  EXPECT_EQ(s.Outline().Points(), corners);
  const auto arc2 = buildFrom(test::bodyOf(*shapes[0]), true);
  EXPECT_EQ(dynamic_cast<TArc&>(*arc2).ArcValue3, 0x7FFFFFFF);
  EXPECT_EQ(dynamic_cast<TArc&>(*arc2).Outline().Points(), curve);
}

// Every closed class through WriteExport and the factory's older readers.
TEST(ClosedShapes, LegacyRoundTrips) {
  const TArrayOfFixedPoint chain{px(0, 0), px(10, 0), px(20, 10), px(30, 10)};
  const TArrayOfFixedPoint corners{px(0, 0), px(10, 0), px(10, 20), px(0, 0)};

  TArc arc(nullptr);
  arc.Outline().SetPoints(chain);
  arc.SetPosition({5, 5});
  arc.SetLineWidth(3 * kFixedOne);
  arc.SetGridLayer(2);
  const auto fromArc = buildFrom(test::exportOf(arc), false);
  ASSERT_NE(fromArc, nullptr);
  EXPECT_EQ(fromArc->ClassName(), "TPolyBezier");
  EXPECT_EQ(dynamic_cast<TPolyBezier&>(*fromArc).Outline().Points(), chain);
  EXPECT_EQ(fromArc->Position(), (TFloatPoint{5, 5}));
  EXPECT_EQ(fromArc->LineWidth(), 3 * kFixedOne);
  EXPECT_EQ(fromArc->GridLayer(), 0);

  TEllipse ellipse(nullptr);
  ellipse.Outline().SetPoints(chain);
  EXPECT_EQ(buildFrom(test::exportOf(ellipse), false)->ClassName(), "TPolyBezier");

  TRectangle rectangle(nullptr);
  rectangle.Outline().SetPoints(corners);
  rectangle.SetPosition({-3, 4});
  const auto fromRectangle = buildFrom(test::exportOf(rectangle), false);
  ASSERT_EQ(fromRectangle->ClassName(), "TRectangle");
  EXPECT_EQ(dynamic_cast<TRectangle&>(*fromRectangle).Outline().Points(), corners);
  EXPECT_EQ(fromRectangle->Position(), (TFloatPoint{-3, 4}));

  std::vector<std::unique_ptr<TOutlineShape<TMetaPolygon>>> exported;
  exported.push_back(std::make_unique<TPolygon>(nullptr));
  exported.push_back(std::make_unique<TPolyStar>(nullptr));
  for (const auto& shape : exported) {
    SCOPED_TRACE(shape->ClassName());
    shape->Outline().SetPoints(corners);
    const std::vector<std::uint8_t> out = test::exportOf(*shape);
    EXPECT_EQ(test::s32At(out, kObjectHeaderSize), 10) << "3 × 4 − 2 control points";
    const auto read = buildFrom(out, false);
    ASSERT_EQ(read->ClassName(), "TPolyBezier");
    const TArrayOfFixedPoint& p = dynamic_cast<TPolyBezier&>(*read).Outline().Points();
    ASSERT_EQ(p.size(), 10u);
    EXPECT_EQ(p[4], px(10, 0));
    EXPECT_EQ(p[6], px(10, 20));
  }
}

}  // namespace
}  // namespace lumora
