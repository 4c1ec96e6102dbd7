#include "scene/lines_and_paths.h"

#include <gtest/gtest.h>

#include "render/gr32_graphics.h"
#include "support/shape_streams.h"

namespace lumora {
namespace {

using test::blackBitmap;
using test::buildFrom;
using test::countPixels;
using test::px;
using test::TBytesReader;

using test::kBlack;
constexpr TColor32 kWhite = 0xFFFFFFFF;

class TFakeView : public TView {
 public:
  TFloatPoint ViewScale() const override { return {1, 1}; }
  TFloatPoint ViewOffset() const override { return {0, 0}; }
  TCanvas& Canvas() override { return fCanvas; }

 private:
  TCanvas fCanvas;
};

TEST(Line, NormaliseAndBounds) {
  TLine line(nullptr);
  EXPECT_EQ(line.TypeCode(), 1);
  EXPECT_EQ(line.Outline().Points(), (TArrayOfFixedPoint{{0, 0}, {0, 0}}));
  line.SetEndpoints(px(10, 20), px(10, 80));
  EXPECT_EQ(line.Size(), (TFloatPoint{1, 60})) << "a zero width becomes 1";
  EXPECT_EQ(line.Position(), (TFloatPoint{10, 20}));
  EXPECT_EQ(line.Outline().Points(), (TArrayOfFixedPoint{px(0, 0), px(0, 60)}));
  TFixedRect r;
  line.GetBounds(r);
  EXPECT_EQ(r, (TFixedRect{px(10, 0).X, px(0, 20).Y, px(11, 0).X, px(0, 80).Y})) << "widened to 1.0";
  TRect ir;
  line.GetRegionBounds(ir);
  EXPECT_EQ(ir, (TRect{10, 20, 11, 80}));
  TArrayOfFixedPoint outline;
  line.GetFixedOutline(outline);
  EXPECT_EQ(outline, (TArrayOfFixedPoint{px(10, 20), px(10, 80)}));
  TPolygon32 polygon;
  line.AddToPolygon(polygon);
  EXPECT_EQ(polygon.Points().size(), 1u) << "a line adds nothing to a layer mask";
}

TEST(Line, LegacyRecord) {
  TStreamWriter w;
  for (const std::int32_t v : {30, 40, 10, 50}) w.WriteS32(v);
  TLine line(nullptr);
  line.SetGridLayer(5);
  TBytesReader in(w.TakeData());
  test::readLegacyBody(line, in.Reader());
  EXPECT_EQ(line.Position(), (TFloatPoint{10, 40}));
  EXPECT_EQ(line.Size(), (TFloatPoint{20, 10}));
  EXPECT_EQ(line.Outline().Points(), (TArrayOfFixedPoint{px(20, 0), px(0, 10)}));
  EXPECT_EQ(line.Pivot(), (TFloatPoint{10, 5}));
  EXPECT_EQ(line.GridLayer(), 0);

  TBytesReader cut(std::vector<std::uint8_t>(15, 0));
  EXPECT_THROW(test::readLegacyBody(TLine(nullptr), cut.Reader()), TLoadError);
}

TEST(Line, SelectedLineDrawsTwoSquaresInLineColour) {
  TLine line(nullptr);
  line.SetEndpoints(px(5, 5), px(25, 5));
  line.SetLineColor(0x00FF00);
  line.SetFillColor(0xFF0000);
  line.SetFilled(true);
  const auto owner = blackBitmap(40, 20);
  TBitmap32& b = *owner;
  line.Draw(b);
  EXPECT_EQ(countPixels(b, kWhite), 72) << "two squares of 6 × 6";
  for (const std::int32_t x : {2, 7, 22, 27}) EXPECT_EQ(b.ReadPixel(x, 2), kWhite) << x;
  EXPECT_EQ(b.ReadPixel(8, 2), kBlack);
  EXPECT_EQ(b.ReadPixel(2, 8), kBlack);
  EXPECT_EQ(b.ReadPixel(12, 2), kBlack) << "no marker at the middle of the top edge";
  EXPECT_EQ(b.ReadPixel(15, 8), kBlack) << "no marker at the middle of the bottom edge";
  EXPECT_EQ(line.EndpointCache(), TPoints()) << "dropped after the draw while not frozen";

  // Filled and FillColor do not matter: the line is green, never blue.
  std::int64_t green = 0;
  for (std::int32_t y = 0; y < b.Height(); ++y) {
    for (std::int32_t x = 0; x < b.Width(); ++x) {
      const TColor32 c = b.ReadPixel(x, y);
      if (c == kWhite) continue;
      EXPECT_EQ(c & 0xFF00FF, 0u) << "red or blue at " << x << ", " << y;
      green += (c & 0xFF00) != 0 ? 1 : 0;
    }
  }
  EXPECT_EQ(green, 14) << "the line between the squares, x = 8 … 21";
}

TEST(Line, PlaybackDrawingKeepsItsEndsWhenFrozen) {
  TLine line(nullptr);
  line.SetEndpoints(px(2, 3), px(12, 3));
  line.SetSelected(false);
  line.SetEditMode(false);
  line.SetLineWidth(0);
  const auto owner = blackBitmap(16, 8);
  TBitmap32& b = *owner;
  line.DrawInColor(b, 255);
  const std::int64_t lit = 16 * 8 - countPixels(b, kBlack);
  EXPECT_GT(lit, 5);
  line.SetCoverageFrozen(true, b);
  b.Clear(kBlack);
  line.DrawInColor(b, 255);
  EXPECT_EQ(16 * 8 - countPixels(b, kBlack), lit) << "a thin frozen line stays where it was";
  EXPECT_EQ(b.ReadPixel(0, 0), kBlack);

  TLine wide(nullptr);
  wide.SetEndpoints(px(2, 3), px(12, 3));
  wide.SetEditMode(false);
  wide.SetLineWidth(3 * kFixedOne);
  wide.DrawInColor(b, 255);
  wide.SetCoverageFrozen(true, b);
  wide.SetPosition({0, 0});
  b.Clear(kBlack);
  wide.DrawInColor(b, 0x00FF00);
  EXPECT_EQ(b.ReadPixel(7, 3), 0xFF00FF00) << "repainted in the new colour where it was";
}

TEST(Line, HitTestNeedsAView) {
  TLine line(nullptr);
  line.SetEndpoints(px(0, 10), px(40, 10));
  EXPECT_FALSE(line.HitTest(20, 10)) << "no view, no canvas";
  TFakeView view;
  TLine seen(&view);
  seen.SetEndpoints(px(0, 10), px(40, 10));
  EXPECT_TRUE(seen.HitTest(20, 10));
  EXPECT_TRUE(seen.HitTest(20, 11)) << "the pen is the line's width plus 4";
  EXPECT_TRUE(seen.HitTest(20, 8));
  EXPECT_FALSE(seen.HitTest(20, 16));
  EXPECT_EQ(view.Canvas().PenWidth, 1);
  EXPECT_TRUE(view.Canvas().Path.IsEmpty());
  EXPECT_FALSE(seen.CreateRegion().IsEmpty()) << "the region of a line is its widened segment";
}

TEST(Line, ExportBakeAndShortLists) {
  TLine line(nullptr);
  line.SetEndpoints(px(3, 4), px(13, 24));
  line.SetPosition({5, 5});
  const std::vector<std::uint8_t> out = test::exportOf(line);
  ASSERT_EQ(out.size(), kObjectHeaderSize + 16) << "two points, no count";
  EXPECT_EQ(out[36], 1);
  EXPECT_EQ(test::s32At(out, 40), 5);
  EXPECT_EQ(test::s32At(out, 44), 5);
  EXPECT_EQ(test::s32At(out, 48), 15);
  EXPECT_EQ(test::s32At(out, 52), 25);
  const auto read = buildFrom(out, false);
  ASSERT_EQ(read->ClassName(), "TLine");
  EXPECT_EQ(read->Position(), (TFloatPoint{5, 5}));
  EXPECT_EQ(dynamic_cast<TLine&>(*read).Outline().Points(), (TArrayOfFixedPoint{px(0, 0), px(10, 20)}));

  // Baking keeps the mapped ends and leaves a neutral placement.
  TLine turned(nullptr);
  turned.SetEndpoints(px(0, 0), px(10, 0));
  turned.SetAngle(90);
  TArrayOfFixedPoint before;
  turned.GetFixedOutline(before);
  turned.BakeTransform();
  TArrayOfFixedPoint after;
  turned.GetFixedOutline(after);
  ASSERT_EQ(after.size(), 2u);
  for (std::size_t i = 0; i < 2; ++i) {
    EXPECT_NEAR(after[i].X, before[i].X, 2) << i;
    EXPECT_NEAR(after[i].Y, before[i].Y, 2) << i;
  }
  EXPECT_EQ(turned.Angle(), 0);
  EXPECT_NEAR(turned.Size().X, 1, 1e-4);
  EXPECT_NEAR(turned.Size().Y, 10, 1e-4);

  // A current record may carry fewer points; the missing ends are (0, 0).
  TLine none(nullptr);
  none.Outline().SetPoints({});
  const auto owner = blackBitmap(4, 4);
  none.SetEditMode(false);
  none.DrawInColor(*owner, 255);
  EXPECT_EQ(test::exportOf(none).size(), kObjectHeaderSize + 16);
  TFixedRect r;
  none.GetBounds(r);
  EXPECT_EQ(r, (TFixedRect{0, 0, 65536, 65536}));
}

TEST(PolyLine, ExportLegacyCodeAndFromSplit) {
  TPolyLine polyline(nullptr);
  EXPECT_EQ(polyline.TypeCode(), 11);
  const TFixedPoint abc[] = {px(1, 2), px(3, 4), px(5, 6)};
  polyline.Outline().SetPoints(abc);
  const std::vector<std::uint8_t> out = test::exportOf(polyline);
  EXPECT_EQ(out[36], 6);
  EXPECT_EQ(test::pointsAt(out, kObjectHeaderSize),
            (std::vector<TPoint>{{100, 200}, {100, 200}, {300, 400}, {300, 400}, {300, 400}, {500, 600}, {500, 600}}));
  polyline.Outline().SetPoints({});
  EXPECT_EQ(test::exportOf(polyline).size(), kObjectHeaderSize) << "no points, nothing after the header";

  // An older object of code 11 reads nothing after its header.
  std::vector<std::uint8_t> record = test::exportOf(polyline);
  record[36] = 11;
  record.insert(record.end(), {1, 2, 3, 4});
  std::uint64_t consumed = 99;
  const auto read = buildFrom(record, false, &consumed);
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(read->ClassName(), "TPolyLine");
  EXPECT_TRUE(dynamic_cast<TPolyLine&>(*read).Outline().Points().empty());
  EXPECT_EQ(consumed, 0u);

  TPolyLine split(nullptr);
  split.FromSplit = 1;
  split.Outline().SetPoints(abc);
  const std::vector<std::uint8_t> body = test::bodyOf(split);
  std::uint64_t used = 0;
  const auto back = buildFrom(body, true, &used);
  const auto& p = dynamic_cast<TPolyLine&>(*back);
  EXPECT_EQ(p.FromSplit, 1);
  EXPECT_EQ(p.Outline().Points(), (TArrayOfFixedPoint{abc[0], abc[1], abc[2]}));
  EXPECT_EQ(used + kObjectHeaderSize, body.size());
  EXPECT_EQ(body.back(), 1) << "FromSplit follows the points";
  EXPECT_EQ(dynamic_cast<TPolyLine&>(*split.Clone()).FromSplit, 1);
}

TEST(PolyLine, HitTestFallsBackToTheWidenedLine) {
  TPolyLine open(nullptr);
  const TFixedPoint points[] = {px(0, 0), px(20, 0), px(20, 20)};
  open.Outline().SetPoints(points);
  EXPECT_TRUE(open.HitTest(15, 5)) << "inside the polygon the points enclose";
  EXPECT_TRUE(open.HitTest(10, -2)) << "on the line widened by 1 + 4 pixels";
  EXPECT_FALSE(open.HitTest(10, -6));
  EXPECT_FALSE(open.HitTest(5, 15));

  TCanvas canvas;
  open.DrawToCanvas(canvas);
  EXPECT_EQ(canvas.Path.Points(), (TPoints{{0, 0}, {20, 0}, {20, 20}})) << "one open polyline";
}

TEST(PolyBezier, LegacyRecordsAndRoundTrips) {
  TStreamWriter w;
  w.WriteS32(4);
  for (const std::int32_t v : {500, 500, 1500, 500, 2500, 1500, 3500, 1500}) w.WriteS32(v);
  TPolyBezier bezier(nullptr);
  bezier.SetGridLayer(7);
  TBytesReader in(w.TakeData());
  test::readLegacyBody(bezier, in.Reader());
  EXPECT_EQ(bezier.Outline().Points(), (TArrayOfFixedPoint{px(0, 0), px(10, 0), px(20, 10), px(30, 10)}));
  EXPECT_EQ(bezier.Position(), (TFloatPoint{5, 5}));
  EXPECT_EQ(bezier.Size(), (TFloatPoint{30, 10}));
  EXPECT_EQ(bezier.Pivot(), (TFloatPoint{15, 5}));
  EXPECT_EQ(bezier.GridLayer(), 0);

  TStreamWriter negative;
  negative.WriteS32(-2);
  TBytesReader in2(negative.TakeData());
  EXPECT_THROW(test::readLegacyBody(TPolyBezier(nullptr), in2.Reader()), TLoadError);

  // Current encoding, byte for byte; an older export becomes the same path.
  bezier.SetPosition({2.5f, 3});
  bezier.SetFilled(true);
  const std::vector<std::uint8_t> body = test::bodyOf(bezier);
  const auto back = buildFrom(body, true);
  ASSERT_EQ(back->ClassName(), "TPolyBezier");
  EXPECT_EQ(test::bodyOf(*back), body);
  bezier.SetPosition({5, 5});
  const auto old = buildFrom(test::exportOf(bezier), false);
  ASSERT_EQ(old->ClassName(), "TPolyBezier");
  EXPECT_EQ(dynamic_cast<TPolyBezier&>(*old).Outline().Points(), bezier.Outline().Points());
  EXPECT_EQ(old->Position(), (TFloatPoint{5, 5}));
  EXPECT_TRUE(old->Filled());

  const TFixedPoint odd[] = {px(1.5, 2.5)};
  bezier.Outline().SetPoints(odd);
  EXPECT_EQ(dynamic_cast<TPolyBezier&>(*bezier.Clone()).Outline().Points(), (TArrayOfFixedPoint{px(1, 2)}));
}

TEST(Line, CurrentRoundTrip) {
  TLine line(nullptr);
  line.SetEndpoints(px(1.5, 2), px(30, -4));
  line.SetLineWidth(5 * kFixedOne / 2);
  const std::vector<std::uint8_t> body = test::bodyOf(line);
  std::uint64_t consumed = 0;
  const auto back = buildFrom(body, true, &consumed);
  ASSERT_EQ(back->ClassName(), "TLine");
  EXPECT_EQ(consumed + kObjectHeaderSize, body.size());
  EXPECT_EQ(test::bodyOf(*back), body);
  EXPECT_EQ(back->LineWidth(), 5 * kFixedOne / 2);
  EXPECT_EQ(dynamic_cast<TLine&>(*line.Clone()).Outline().Points(), (TArrayOfFixedPoint{px(0, 6), px(28, 0)}))
      << "the copy's ends are whole units";
}

}  // namespace
}  // namespace lumora
