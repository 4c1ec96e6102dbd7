#include "scene/inter_points.h"

#include <gtest/gtest.h>

#include <limits>

#include "render/bezier.h"
#include "render/gr32_graphics.h"
#include "scene/closed_shapes.h"
#include "scene/lines_and_paths.h"
#include "support/load_error.h"
#include "support/shape_streams.h"

namespace lumora {
namespace {

using test::px;
using test::TBytesReader;

std::vector<std::uint8_t> pointRecord(std::int32_t n, const std::vector<TFixedPoint>& points) {
  TStreamWriter w;
  w.WriteS32(n);
  for (const TFixedPoint& p : points) {
    w.WriteS32(p.X);
    w.WriteS32(p.Y);
  }
  return w.TakeData();
}

// The 63-byte older shape record.
std::vector<std::uint8_t> legacyShapeRecord(const std::array<std::int32_t, 9>& values,
                                            const std::array<float, 6>& placement) {
  TStreamWriter w;
  for (const std::int32_t v : values) w.WriteS32(v);
  for (const float f : placement) w.WriteFloat(f);
  for (int i = 0; i < 3; ++i) w.WriteU8(0xEE);
  return w.TakeData();
}

constexpr std::array<float, 6> kIdentityPlacement{1, 0, 0, 1, 0, 0};

TEST(InterPoints, ReadingEmptyRecordsKeepsOrEmpties) {
  const std::vector<TFixedPoint> three{px(1, 2), px(3, 4), px(5, 6)};
  TPolyBezier bezier(nullptr);
  TPolyLine polyline(nullptr);
  TBytesReader full(pointRecord(3, three));
  bezier.Outline().ReadPoints(full.Reader());
  TBytesReader full2(pointRecord(3, three));
  polyline.Outline().ReadPoints(full2.Reader());
  ASSERT_EQ(bezier.Outline().Points(), three);
  ASSERT_EQ(polyline.Outline().Points(), three);

  TBytesReader empty(pointRecord(0, {}));
  bezier.Outline().ReadPoints(empty.Reader());
  EXPECT_EQ(bezier.Outline().Points(), three) << "a Bézier list keeps its points for n = 0";
  TBytesReader negative(pointRecord(-4, {}));
  bezier.Outline().ReadPoints(negative.Reader());
  EXPECT_EQ(bezier.Outline().Points(), three) << "and for a negative n";

  TBytesReader empty2(pointRecord(0, {}));
  polyline.Outline().ReadPoints(empty2.Reader());
  EXPECT_TRUE(polyline.Outline().Points().empty()) << "a polygon list is emptied by n = 0";
}

TEST(InterPoints, HostileCountsFailCleanly) {
  TPolyLine polyline(nullptr);
  TBytesReader negative(pointRecord(-1, {}));
  EXPECT_THROW(polyline.Outline().ReadPoints(negative.Reader()), TLoadError);
  TBytesReader cut(pointRecord(3, {px(1, 1)}));
  EXPECT_THROW(polyline.Outline().ReadPoints(cut.Reader()), TLoadError) << "three points promised, one follows";
  TBytesReader huge(pointRecord(0x7FFFFFFF, {}));
  EXPECT_THROW(polyline.Outline().ReadPoints(huge.Reader()), TLoadError);
  TPolyBezier bezier(nullptr);
  TBytesReader huge2(pointRecord(0x40000000, {}));
  EXPECT_THROW(bezier.Outline().ReadPoints(huge2.Reader()), TLoadError);
  TBytesReader noCount({1, 2});
  EXPECT_THROW(bezier.Outline().ReadPoints(noCount.Reader()), TLoadError);
}

// The largest outline reads whole; one point more is refused even though
// every point follows.
TEST(InterPoints, AnOutlineHoldsAtMost4194304Points) {
  std::vector<TFixedPoint> points(static_cast<std::size_t>(kMaxOutlinePoints) + 1, px(1, 2));
  TPolyLine polyline(nullptr);
  TBytesReader past(pointRecord(static_cast<std::int32_t>(points.size()), points));
  EXPECT_EQ(test::LoadErrorOf([&] { polyline.Outline().ReadPoints(past.Reader()); }),
            "shape: an outline of 4194305 points, more than 4194304");
  points.pop_back();
  TBytesReader at(pointRecord(static_cast<std::int32_t>(points.size()), points));
  polyline.Outline().ReadPoints(at.Reader());
  EXPECT_EQ(polyline.Outline().Points().size(), 4194304u);
}

TEST(InterPoints, WriteReadAndConversions) {
  TPolyLine polyline(nullptr);
  const TPoint ints[] = {{1, -2}, {300, 4}};
  polyline.Outline().SetIntPoints(ints);
  EXPECT_EQ(polyline.Outline().Points(), (TArrayOfFixedPoint{px(1, -2), px(300, 4)}));
  TStreamWriter w;
  polyline.Outline().WritePoints(w);
  EXPECT_EQ(w.Data(), pointRecord(2, {px(1, -2), px(300, 4)}));

  const TFixedPoint halves[] = {{0x8000, -0x8000}, {0x18000, 0x17FFF}};
  polyline.Outline().SetPoints(halves);
  EXPECT_EQ(polyline.Outline().IntPoints(), (TPoints{{0, -1}, {1, 1}})) << "exact halves go down";
}

TEST(InterPoints, PolygonExportIsAStraightBezierChain) {
  TPolygon polygon(nullptr);
  const TFixedPoint corners[] = {{0, 0}, {65536, 0}, {65536, 65536}};
  polygon.Outline().SetPoints(corners);
  TStreamWriter w;
  polygon.Outline().WriteExport(w);
  EXPECT_EQ(test::pointsAt(w.Data(), 0),
            (std::vector<TPoint>{{0, 0}, {0, 0}, {100, 0}, {100, 0}, {100, 0}, {100, 100}, {100, 100}}));
  EXPECT_EQ(w.Data().size(), 4u + 7 * 8);

  const TFixedPoint one[] = {px(2, 3)};
  polygon.Outline().SetPoints(one);
  TStreamWriter single;
  polygon.Outline().WriteExport(single);
  EXPECT_EQ(test::pointsAt(single.Data(), 0), (std::vector<TPoint>{{200, 300}})) << "a single vertex once";

  polygon.Outline().SetPoints({});
  TStreamWriter none;
  polygon.Outline().WriteExport(none);
  EXPECT_TRUE(none.Data().empty()) << "no vertices, nothing written";

  // The placement applies: Position (1, 0) moves every vertex.
  polygon.Outline().SetPoints(corners);
  polygon.SetPosition({1, 0});
  TStreamWriter moved;
  polygon.Outline().WriteExport(moved);
  EXPECT_EQ(test::pointsAt(moved.Data(), 0)[2], (TPoint{200, 0}));
}

TEST(InterPoints, HitTests) {
  TPolyBezier straight(nullptr);
  const TFixedPoint line[] = {px(0, 0), px(10, 0), px(20, 0), px(30, 0)};
  straight.Outline().SetPoints(line);
  EXPECT_TRUE(straight.HitTest(15, 0)) << "a straight chain is hit on its widened line";
  EXPECT_TRUE(straight.HitTest(0, 0));
  EXPECT_FALSE(straight.HitTest(15, 5));

  TEllipse ellipse(nullptr);
  ellipse.Outline().SetPoints(EllipseBezier(0, 0, px(40, 0).X, px(20, 0).X));
  EXPECT_TRUE(ellipse.HitTest(20, 10)) << "inside the closed curve";
  EXPECT_FALSE(ellipse.HitTest(1, 1)) << "in the box's corner, outside the curve";

  TPolygon square(nullptr);
  const TFixedPoint corners[] = {px(0, 0), px(10, 0), px(10, 10), px(0, 10), px(0, 0)};
  square.Outline().SetPoints(corners);
  EXPECT_TRUE(square.HitTest(5, 5));
  EXPECT_FALSE(square.HitTest(15, 5));
  // The point goes back through the placement first.
  square.SetPosition({100, 0});
  square.UpdateTransform();
  EXPECT_TRUE(square.HitTest(105, 5));
  EXPECT_FALSE(square.HitTest(5, 5));

  TPolygon empty(nullptr);
  EXPECT_FALSE(empty.HitTest(0, 0));
}

TEST(InterPoints, BoundsAndOutlines) {
  TPolyLine polyline(nullptr);
  const TFixedPoint flat[] = {px(2, 5), px(12, 5)};
  polyline.Outline().SetPoints(flat);
  polyline.SetPosition({1, 1});
  TFixedRect r;
  polyline.GetBounds(r);
  EXPECT_EQ(r, (TFixedRect{px(3, 0).X, px(0, 6).Y, px(13, 0).X, px(0, 7).Y})) << "a flat box is one pixel high";
  TRect ir;
  polyline.GetRegionBounds(ir);
  EXPECT_EQ(ir, (TRect{3, 6, 13, 6}));

  TArrayOfFixedPoint outline;
  polyline.GetFixedOutline(outline);
  EXPECT_EQ(outline, (TArrayOfFixedPoint{px(3, 6), px(13, 6)}));
  TPolygon32 polygon;
  polyline.AddToPolygon(polygon);
  ASSERT_EQ(polygon.Points().size(), 2u);
  EXPECT_EQ(polygon.Points()[1], outline);

  TEllipse ellipse(nullptr);
  ellipse.Outline().SetPoints(EllipseBezier(0, 0, px(40, 0).X, px(20, 0).X));
  ellipse.GetBounds(r);
  EXPECT_EQ(r, (TFixedRect{0, 0, px(40, 0).X, px(0, 20).Y})) << "the curve's box, not beyond";
  ellipse.GetFixedOutline(outline);
  EXPECT_GT(outline.size(), 5u) << "flattened";
  EXPECT_EQ(outline.front(), px(0, 10));
  EXPECT_EQ(outline.back(), px(0, 10));

  TEllipse none(nullptr);
  none.GetBounds(r);
  EXPECT_EQ(r, (TFixedRect{0, 0, 65536, 65536})) << "an empty outline has a one-pixel box";
  TPolygon32 untouched;
  none.AddToPolygon(untouched);
  EXPECT_EQ(untouched.Points().size(), 1u) << "an empty outline adds no contour";
}

TEST(InterPoints, BakeFoldsTheDeformer) {
  TPolyLine polyline(nullptr);
  const TFixedPoint points[] = {px(0, 0), px(10, 0), px(10, 10)};
  polyline.Outline().SetPoints(points);
  polyline.SetPosition({5, 5});
  polyline.Outline().Bake();
  EXPECT_EQ(polyline.Outline().Points()[1], px(10, 0)) << "no Deformer, nothing baked";

  TAffineTransformation deformer;
  deformer.Scale(2, 2);
  polyline.SetDeformer(&deformer);
  polyline.SetAngle(0);
  polyline.OutlineChanged();
  EXPECT_EQ(polyline.Outline().Points(), (TArrayOfFixedPoint{px(0, 0), px(20, 0), px(20, 20)}));
  EXPECT_EQ(polyline.Position(), (TFloatPoint{10, 10}));
  EXPECT_EQ(polyline.Size(), (TFloatPoint{20, 20}));
  EXPECT_EQ(polyline.Pivot(), (TFloatPoint{10, 10}));
  EXPECT_EQ(polyline.Scale(), (TFloatPoint{1, 1}));
}

class TScaleView : public TView {
 public:
  TFloatPoint ViewScale() const override { return {2, 2}; }
  TFloatPoint ViewOffset() const override { return {1, 0}; }
  TCanvas& Canvas() override { return fCanvas; }

 private:
  TCanvas fCanvas;
};

TEST(InterPoints, EditModeDrawingGoesThroughDeformerAndView) {
  const TFixedPoint corners[] = {px(0, 0), px(4, 0), px(4, 2), px(0, 0)};
  TScaleView view;
  TPolygon polygon(&view);
  polygon.Outline().SetPoints(corners);
  polygon.SetPosition({1, 1});
  TBitmap32 b;
  b.Resize(32, 32);
  polygon.DrawInColor(b, 255);
  EXPECT_EQ(polygon.OutlineCache(), (TPoints{{3, 2}, {11, 2}, {11, 6}, {3, 2}})) << "placement, then the view";

  TAffineTransformation deformer;
  deformer.Translate(0, 10);
  polygon.SetDeformer(&deformer);
  polygon.DrawInColor(b, 255);
  EXPECT_EQ(polygon.OutlineCache(), (TPoints{{3, 22}, {11, 22}, {11, 26}, {3, 22}}))
      << "placement, Deformer, then the view alone";

  // In playback the Deformer and the view play no part.
  polygon.SetEditMode(false);
  polygon.SetUseView(false);
  polygon.DrawInColor(b, 255);
  EXPECT_EQ(polygon.OutlineCache(), (TPoints{{1, 1}, {5, 1}, {5, 3}, {1, 1}}));
}

TEST(InterPoints, CanvasPathsAndRegions) {
  TPolygon polygon(nullptr);
  const TFixedPoint corners[] = {px(0, 0), px(10, 0), px(10, 10), px(0, 10), px(0, 0)};
  polygon.Outline().SetPoints(corners);
  polygon.SetPosition({2, 3});
  TCanvas canvas;
  polygon.PaintToCanvas(canvas);
  EXPECT_EQ(canvas.Path.Points(), (TPoints{{2, 3}, {12, 3}, {12, 13}, {2, 13}, {2, 3}}));
  EXPECT_EQ(canvas.Path.Types().back() & PT_CLOSEFIGURE, PT_CLOSEFIGURE) << "a closed figure";
  EXPECT_EQ(polygon.CreateRegion().Box(), (TRect{2, 3, 12, 13}));
  EXPECT_TRUE(polygon.IntersectsRect({11, 12, 20, 20}));
  EXPECT_FALSE(polygon.IntersectsRect({20, 20, 30, 30}));

  TEllipse ellipse(nullptr);
  ellipse.Outline().SetPoints(EllipseBezier(0, 0, px(20, 0).X, px(10, 0).X));
  TCanvas curve;
  ellipse.PaintToCanvas(curve);
  ASSERT_EQ(curve.Path.Points().size(), 13u) << "one Bézier chain of the control points";
  EXPECT_EQ(curve.Path.Types()[1], PT_BEZIERTO);
  TPoints flat;
  ellipse.GetFlatPath(flat);
  EXPECT_GT(flat.size(), 8u);
  EXPECT_EQ(flat.front(), (TPoint{0, 5}));
}

TEST(InterPoints, LegacyPolygonAndStar) {
  TPolyLine polygon(nullptr);
  polygon.SetGridLayer(4);
  TBytesReader in(legacyShapeRecord({10, 20, 100, 100, 0, 4, 0, 0, 0}, kIdentityPlacement));
  polygon.ReadLegacyPolygon(in.Reader());
  EXPECT_EQ(in.Position(), 63u);
  EXPECT_EQ(polygon.Outline().Points(),
            (TArrayOfFixedPoint{px(50, 0), px(100, 50), px(50, 100), px(0, 50), px(50, 0)}));
  EXPECT_EQ(polygon.Position(), (TFloatPoint{10, 20}));
  EXPECT_EQ(polygon.Size(), (TFloatPoint{100, 100}));
  EXPECT_EQ(polygon.Pivot(), (TFloatPoint{50, 50}));
  EXPECT_EQ(polygon.TypeCode(), 11);
  EXPECT_EQ(polygon.GridLayer(), 0);

  // The placement x' = 2x stretches the square about the box centre.
  TPolyLine wide(nullptr);
  TBytesReader in2(legacyShapeRecord({10, 20, 100, 100, 0, 4, 0, 0, 0}, {2, 0, 0, 1, 0, 0}));
  wide.ReadLegacyPolygon(in2.Reader());
  EXPECT_EQ(wide.Position(), (TFloatPoint{-40, 20}));
  EXPECT_EQ(wide.Size(), (TFloatPoint{200, 100}));

  TPolyLine star(nullptr);
  TBytesReader in3(legacyShapeRecord({0, 0, 100, 100, 0, 5, 50, 0, 0}, kIdentityPlacement));
  star.ReadLegacyStar(in3.Reader());
  ASSERT_EQ(star.Outline().Count(), 11u);
  EXPECT_EQ(star.Outline().Points()[0].Y, 0) << "the top tip";
  EXPECT_EQ(star.Outline().Points()[0], star.Outline().Points()[10]);
  // Tips on radius 50: the box is 2 × 50 sin 72° wide and 50 + 50 cos 36° high.
  EXPECT_NEAR(star.Size().X, 95.106, 0.001);
  EXPECT_NEAR(star.Size().Y, 90.451, 0.001);
  EXPECT_NEAR(FixedToFloat(star.Outline().Points()[0].X), star.Size().X / 2, 0.001);

  TPolyLine hostile(nullptr);
  TBytesReader in4(legacyShapeRecord({0, 0, 100, 100, 0, 0x7FFFFFFF, 50, 0, 0}, kIdentityPlacement));
  EXPECT_THROW(hostile.ReadLegacyStar(in4.Reader()), TLoadError) << "no allocation of 2^32 points";
  // Extreme sizes and a placement of NaN and infinities give some outline,
  // never a fault.
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  for (const std::int32_t extreme :
       {std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()}) {
    TPolyLine p(nullptr);
    TBytesReader e(legacyShapeRecord({extreme, extreme, extreme, extreme, 0, 7, 50, 0, 0}, {nan, inf, -inf, 1, 0, 0}));
    p.ReadLegacyStar(e.Reader());
    EXPECT_EQ(p.Outline().Count(), 15u);
    TPolyBezier b(nullptr);
    std::vector<std::uint8_t> arc =
        legacyShapeRecord({extreme, extreme, extreme, extreme, 0, 0, 0, -180000, 180000}, {1, 0, 0, nan, inf, 0});
    arc.insert(arc.end(), 4, 0);  // no records to skip
    TBytesReader e2(arc);
    b.ReadLegacyArc(e2.Reader());
  }
  TBytesReader cut(std::vector<std::uint8_t>(62, 0));
  EXPECT_THROW(hostile.ReadLegacyPolygon(cut.Reader()), TLoadError);
}

}  // namespace
}  // namespace lumora
