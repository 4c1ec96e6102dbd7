#include "scene/graphic_base.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "effects/light_strip_state.h"
#include "grid/frame_data.h"
#include "io/stream.h"
#include "movie/graphic_factory.h"
#include "scene/effect.h"
#include "support/shape_streams.h"
#include "support/test_graphic.h"

namespace lumora {
namespace {

using test::TBoxGraphic;
using test::TTestGraphic;

class TFakeView : public TView {
 public:
  TFloatPoint ScaleBy{2, 3};
  TFloatPoint OffsetBy{10, 20};
  TCanvas ViewCanvas;
  TFloatPoint ViewScale() const override { return ScaleBy; }
  TFloatPoint ViewOffset() const override { return OffsetBy; }
  TCanvas& Canvas() override { return ViewCanvas; }
};

// The record the effect writes behind its kind byte.
std::vector<std::uint8_t> effectRecord(TCustomState& effect) {
  TStreamWriter writer;
  effect.WriteBody(writer);
  return writer.Data();
}

TFixedRect pixels(std::int32_t l, std::int32_t t, std::int32_t r, std::int32_t b) {
  return {l * kFixedOne, t * kFixedOne, r * kFixedOne, b * kFixedOne};
}

TFloatMatrix translation(float dx, float dy) {
  TFloatMatrix m = IdentityMatrix;
  m[2][0] = dx;
  m[2][1] = dy;
  return m;
}

void expectMatrixNear(const TFloatMatrix& actual, const TFloatMatrix& expected, const char* what) {
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) EXPECT_NEAR(actual[i][j], expected[i][j], 1e-4) << what << " at " << i << "," << j;
  }
}

TEST(GraphicBase, DefaultsOfANewGraphic) {
  TBoxGraphic g;
  EXPECT_EQ(g.LineColor(), 255);
  EXPECT_EQ(g.LineWidth(), 65536);
  EXPECT_EQ(g.FillColor(), 0);
  EXPECT_EQ(g.RedColor(), 255);
  EXPECT_EQ(g.GreenColor(), 0xFF00);
  EXPECT_EQ(g.BlueColor(), 0xFF0000);
  EXPECT_TRUE(g.Selected());
  EXPECT_FALSE(g.Filled());
  EXPECT_EQ(g.GridRow(), -1);
  EXPECT_EQ(g.GridColumn(), -1);
  EXPECT_EQ(g.ChannelMode(), 7);
  EXPECT_EQ(g.GridLayer(), 0);
  EXPECT_EQ(g.AuxPercent(), 100);
  EXPECT_TRUE(g.EditMode());
  EXPECT_TRUE(g.UseView());
  EXPECT_EQ(g.Scale(), (TFloatPoint{1, 1}));
  EXPECT_EQ(g.BaseMatrix(), IdentityMatrix);
  EXPECT_EQ(g.UserMatrix(), IdentityMatrix);
  EXPECT_EQ(g.EffectKind(), kEffectPlain);
  EXPECT_EQ(g.Effect().ClassName(), "TCustomState");
  EXPECT_EQ(g.Effect().Owner(), &g);
  EXPECT_TRUE(g.OutlineCache().empty());
  EXPECT_EQ(g.Deformer(), nullptr);
}

TEST(GraphicBase, HeaderLineWidthInPixelsBecomesFixed) {
  TBoxGraphic g;
  TObjectHeader h = g.HeaderBytes();
  h[4] = 3;
  h[5] = h[6] = h[7] = 0;
  g.LoadHeader(h);
  EXPECT_EQ(g.LineWidth(), 196608) << "3 whole pixels";
  h[4] = 0;
  h[6] = 2;
  g.LoadHeader(h);
  EXPECT_EQ(g.LineWidth(), 131072) << "2.0 already in 16.16";
}

TEST(GraphicBase, ComposeMatrixWithoutScaleSkewOrAngleIsPositionAfterBase) {
  TBoxGraphic g;
  TFloatMatrix base = IdentityMatrix;
  base[0][0] = 2;
  base[1][0] = 0.5f;
  base[2][0] = 7;
  base[2][1] = -3;
  g.SetBaseMatrix(base);
  g.SetPivot({7.5f, -2.25f});
  g.SetPosition({3.25f, 10.5f});
  g.ComposeMatrix();
  EXPECT_EQ(g.WorkTransform().Matrix(), MatrixMult(translation(3.25f, 10.5f), base))
      << "the pivot translations cancel";

  // Rotation by 90 degrees about the pivot, then the position.
  TBoxGraphic r;
  r.SetPivot({5, 5});
  r.SetAngle(90);
  r.SetPosition({100, 0});
  r.ComposeMatrix();
  const TFloatPoint p = r.WorkTransform().Transform(TFloatPoint{10, 5});
  EXPECT_NEAR(p.X, 105, 1e-4);
  EXPECT_NEAR(p.Y, 0, 1e-4) << "(10, 5) is 5 right of the pivot; rotated it is 5 above";
}

TEST(GraphicBase, UserMatrixDifferingOnlyByNegativeZeroIsApplied) {
  TBoxGraphic g;
  g.ComposeMatrix();
  const unsigned identitySteps = g.WorkTransform().ChangeCount();
  g.ComposeMatrix();
  const unsigned perCompose = g.WorkTransform().ChangeCount() - identitySteps;
  TFloatMatrix user = IdentityMatrix;
  user[2][0] = -0.0f;
  g.SetUserMatrix(user);
  const unsigned before = g.WorkTransform().ChangeCount();
  g.ComposeMatrix();
  EXPECT_EQ(g.WorkTransform().ChangeCount() - before, perCompose + 1) << "-0.0 differs byte for byte";

  user[2][0] = 4;
  g.SetUserMatrix(user);
  g.SetPosition({1, 2});
  g.ComposeMatrix();
  EXPECT_EQ(g.WorkTransform().Matrix(), translation(5, 2)) << "the user matrix comes after the placement";
}

TEST(GraphicBase, ViewScaleAndOffsetFollowThePlacement) {
  TFakeView view;
  TBoxGraphic g(&view);
  g.SetPosition({1, 1});
  g.UpdateTransform();
  EXPECT_EQ(g.WorkTransform().Transform(TFloatPoint{1, 1}), (TFloatPoint{14, 26})) << "(2, 2) scaled by (2, 3), moved";
  g.SetUseView(false);
  g.UpdateTransform();
  EXPECT_EQ(g.WorkTransform().Transform(TFloatPoint{1, 1}), (TFloatPoint{2, 2}));

  g.SetUseView(true);
  g.Box = pixels(0, 0, 4, 2);
  TFloatRect viewBounds;
  g.GetViewBounds(viewBounds);
  EXPECT_EQ(viewBounds, (TFloatRect{12, 23, 20, 29})) << "bounds (1, 1, 5, 3) through the view alone";
  TBoxGraphic plain;
  plain.Box = pixels(0, 0, 4, 2);
  plain.GetViewBounds(viewBounds);
  EXPECT_EQ(viewBounds, (TFloatRect{0, 0, 4, 2})) << "no view: the bounds in singles";
}

TEST(GraphicBase, IntBoundsRoundExactHalvesDown) {
  TBoxGraphic g;
  g.Box = {kFixedHalf, 3 * kFixedHalf, 5 * kFixedHalf + 1, -kFixedHalf};
  TRect r;
  g.GetIntBounds(r);
  EXPECT_EQ(r, (TRect{0, -1, 3, 1})) << "0.5 -> 0, -0.5 -> -1, 1.5 -> 1, 2.5 + 1/65536 -> 3";
}

TEST(GraphicBase, GridLayerRemoved) {
  TBoxGraphic g;
  g.SetGridLayer(2);
  g.SetGridRow(4);
  g.SetGridColumn(5);
  g.GridLayerRemoved(3);
  EXPECT_EQ(g.GridLayer(), 2) << "a larger index changes nothing";
  EXPECT_EQ(g.GridRow(), 4);
  g.GridLayerRemoved(2);
  EXPECT_EQ(g.GridLayer(), 2) << "the own layer keeps its index";
  EXPECT_EQ(g.GridRow(), -1);
  EXPECT_EQ(g.GridColumn(), -1);
  g.GridLayerRemoved(0);
  EXPECT_EQ(g.GridLayer(), 1) << "a smaller index moves the index down";
  g.SetGridLayer(0);
  g.GridLayerRemoved(-1);
  EXPECT_EQ(g.GridLayer(), 0) << "a negative index does not wrap the index round";

  // A polyline group forgets its cell range instead, and keeps its cell.
  TBoxGraphic group;
  group.SetEffect(CreateEffect(kEffectPolyLineGroup));
  group.SetGridRow(4);
  std::vector<std::uint8_t> record(kPolyLineGroupRecordSize);
  for (std::size_t i = 0; i < record.size(); ++i) record[i] = static_cast<std::uint8_t>(i + 1);
  TMemoryInput input(record);
  TStreamReader reader(input, "record");
  group.Effect().ReadBody(reader);
  group.GridLayerRemoved(0);
  const std::vector<std::uint8_t> kept = effectRecord(group.Effect());
  for (std::size_t i = 0; i < 16; ++i) EXPECT_EQ(kept[i], 0) << "cell range byte " << i;
  EXPECT_EQ(kept[16], 17) << "the segment style stays";
  EXPECT_EQ(group.GridRow(), 4);
}

// A body whose effect kind is the effect's own keeps the effect object and
// lets it read its record; another kind replaces it.
TEST(GraphicBase, ReadBodyKeepsTheEffectOfTheSameKind) {
  TBoxGraphic g;
  g.SetEffect(CreateEffect(kEffectLightStrip));
  auto& strip = dynamic_cast<TDengDaiState&>(g.Effect());
  strip.LampSize = 9;
  const std::vector<std::uint8_t> stripBody = bodyOf(g);
  TMemoryInput stripInput(stripBody);
  TStreamReader stripReader(stripInput, "strip.ctl");
  stripReader.Skip(kObjectHeaderSize);
  test::readBody(g, stripReader);
  EXPECT_EQ(&g.Effect(), &strip);
  EXPECT_EQ(strip.LampSize, 9);

  TBoxGraphic mask;
  mask.SetEffect(CreateEffect(kEffectMask));
  const std::vector<std::uint8_t> maskBody = bodyOf(mask);
  TMemoryInput maskInput(maskBody);
  TStreamReader maskReader(maskInput, "mask.ctl");
  maskReader.Skip(kObjectHeaderSize);
  test::readBody(g, maskReader);
  EXPECT_EQ(g.Effect().ClassName(), "TMaskState");
  EXPECT_EQ(g.Effect().Owner(), &g);
  EXPECT_EQ(g.EffectKind(), kEffectMask);

  EXPECT_THROW(g.SetEffect(nullptr), std::invalid_argument);
  EXPECT_EQ(g.Effect().ClassName(), "TMaskState") << "no effect keeps the effect";
}

TEST(GraphicBase, BakeTransformClampsSizeAndKeepsTheMapping) {
  TBoxGraphic zeroWidth;
  zeroWidth.Box = {0, 0, 0, 3 * kFixedOne};
  zeroWidth.BakeTransform();
  EXPECT_EQ(zeroWidth.Size(), (TFloatPoint{1, 3}));

  TBoxGraphic halves;
  halves.Box = {0, 0, kFixedHalf, kFixedHalf};
  halves.BakeTransform();
  EXPECT_EQ(halves.Size(), (TFloatPoint{0.5f, 1})) << "a width of 0.5 stays, a height of 0.5 becomes 1";
  EXPECT_EQ(halves.Pivot(), (TFloatPoint{0.25f, 0.5f}));

  TBoxGraphic g;
  g.Box = pixels(0, 0, 10, 4);
  g.SetPivot({5, 2});
  g.SetScale({2, 1});
  g.SetSkew({0.25f, 0});
  g.SetAngle(30);
  g.SetPosition({40, 7});
  TFloatMatrix user = IdentityMatrix;
  user[2][1] = 3;
  g.SetUserMatrix(user);
  g.ComposeMatrix();
  const TFloatMatrix before = g.WorkTransform().Matrix();
  TFixedRect bounds;
  g.GetBounds(bounds);
  g.BakeTransform();
  EXPECT_EQ(g.Scale(), (TFloatPoint{1, 1}));
  EXPECT_EQ(g.Skew(), (TFloatPoint{0, 0}));
  EXPECT_EQ(g.Angle(), 0);
  EXPECT_EQ(g.UserMatrix(), IdentityMatrix);
  EXPECT_EQ(g.Position(),
            (TFloatPoint{static_cast<float>(bounds.Left / 65536.0), static_cast<float>(bounds.Top / 65536.0)}));
  g.ComposeMatrix();
  expectMatrixNear(g.WorkTransform().Matrix(), before, "baked mapping");
}

TEST(GraphicBase, ClampSizeTestsWidthAboveZeroAndHeightFromOne) {
  TBoxGraphic g;
  g.SetSize({0, 0.999f});
  g.ClampSize();
  EXPECT_EQ(g.Size(), (TFloatPoint{1, 1}));
  g.SetSize({0.001f, 1});
  g.ClampSize();
  EXPECT_EQ(g.Size(), (TFloatPoint{0.001f, 1}));
  g.SetSize({std::numeric_limits<float>::quiet_NaN(), -5});
  g.ClampSize();
  EXPECT_EQ(g.Size(), (TFloatPoint{1, 1})) << "NaN counts as not above 0";
}

TEST(GraphicBase, ScaleByMovesAlongTheRotatedAxes) {
  TBoxGraphic g;
  g.SetSize({10, 20});
  g.SetPosition({100, 50});
  g.ScaleBy(0.5f, 0.25f);
  EXPECT_EQ(g.Scale(), (TFloatPoint{1.5f, 1.25f}));
  EXPECT_EQ(g.Position(), (TFloatPoint{102.5f, 52.5f})) << "e = 2.5, f = 2.5 at angle 0";

  TBoxGraphic r;
  r.SetSize({10, 20});
  r.SetAngle(90);
  r.ScaleBy(0.5f, 0);
  EXPECT_NEAR(r.Position().X, 0, 1e-5);
  EXPECT_NEAR(r.Position().Y, -2.5, 1e-5) << "-sin a · e";
}

TEST(GraphicBase, FlipsNegateScaleSkewAndAngle) {
  TBoxGraphic g;
  g.SetScale({2, 3});
  g.SetSkew({0.5f, 0.25f});
  g.SetAngle(30);
  g.FlipHorizontal();
  EXPECT_EQ(g.Scale(), (TFloatPoint{-2, 3}));
  EXPECT_EQ(g.Skew(), (TFloatPoint{-0.5f, 0.25f}));
  EXPECT_EQ(g.Angle(), -30);
  g.FlipVertical();
  EXPECT_EQ(g.Scale(), (TFloatPoint{-2, -3}));
  EXPECT_EQ(g.Skew(), (TFloatPoint{0.5f, 0.25f})) << "the vertical flip negates the horizontal skew as well";
  EXPECT_EQ(g.Angle(), 30);
  g.MoveBy(1, 2);
  g.RotateBy(15);
  EXPECT_EQ(g.Position(), (TFloatPoint{1, 2}));
  EXPECT_EQ(g.Angle(), 45);
}

TEST(GraphicBase, SetTargetPreparesThePainter) {
  TBoxGraphic g;
  g.SetLineWidth(3 * kFixedOne + 5);
  TBitmap32 bitmap;
  g.SetTarget(&bitmap, 0x0000FF);
  EXPECT_EQ(g.Painter().PenColor, 0xFFFF0000u) << "red in the low byte becomes ARGB red";
  EXPECT_EQ(g.Painter().BrushColor, 0xFFFF0000u);
  EXPECT_EQ(g.Painter().PenWidth, 3 * kFixedOne + 5);
  EXPECT_TRUE(g.Painter().Antialias);
  EXPECT_EQ(g.Painter().Bitmap, &bitmap);
  g.SetTarget(&bitmap, static_cast<TWinColor>(0x80000005));
  EXPECT_EQ(g.Painter().PenColor, Color32FromWinColor(GetSysColor(5))) << "a system colour";
  g.SetTargetBitmap(nullptr);
  EXPECT_EQ(g.Painter().Bitmap, nullptr);
}

TEST(GraphicBase, ScaleColorAndColorKey) {
  EXPECT_EQ(ScaleColor(0x0000FF, 254), 0x0000FF);
  EXPECT_EQ(ScaleColor(0x0000FF, 100), 0x000064) << "round(255 × 100 / 254) = 100";
  EXPECT_EQ(ScaleColor(0x7F80FF, 127), 0x404080) << "63.5 -> 64, 64 -> 64, 127.5 -> 128";
  EXPECT_EQ(ScaleColor(0x010101, 127), 0) << "0.5 rounds to even";
  EXPECT_EQ(ScaleColor(static_cast<TWinColor>(0xFF123456), 254), 0x123456) << "top byte dropped";
  EXPECT_EQ(ScaleColor(0x0000FF, 508), 0x0000FE) << "510 kept to 8 bits";

  TBitmap32 b;
  b.Resize(2, 2);
  b.WritePixel(0, 0, 0x00123456);
  b.WritePixel(1, 0, 0x80123456);
  b.WritePixel(0, 1, 0x00123457);
  b.WritePixel(1, 1, 0xFFFFFFFF);
  TGraphicBase::ApplyColorKey(b, 0xFF123456);
  EXPECT_EQ(b.ReadPixel(0, 0), 0x00123456u);
  EXPECT_EQ(b.ReadPixel(1, 0), 0x00123456u);
  EXPECT_EQ(b.ReadPixel(0, 1), 0xFF123457u);
  EXPECT_EQ(b.ReadPixel(1, 1), 0xFFFFFFFFu);
}

TEST(GraphicBase, PointConversions) {
  EXPECT_TRUE(TGraphicBase::FixedToInt({}).empty());
  EXPECT_TRUE(TGraphicBase::IntToFixed({}).empty());
  const TArrayOfFixedPoint fixed = {{kFixedHalf, 3 * kFixedHalf}, {-kFixedHalf, kFixedHalf + 1}};
  EXPECT_EQ(TGraphicBase::FixedToInt(fixed), (TPoints{{0, 1}, {-1, 1}})) << "(v + 32767) sar 16";
  EXPECT_EQ(TGraphicBase::IntToFixed(TPoints{{2, -3}}), (TArrayOfFixedPoint{{2 * kFixedOne, -3 * kFixedOne}}));

  TBoxGraphic g;
  g.SetPosition({10, 20});
  g.ComposeMatrix();
  EXPECT_TRUE(g.TransformOutlineFixed({}).empty());
  EXPECT_TRUE(g.TransformOutlineInt({}).empty());
  EXPECT_TRUE(g.TransformPointsInt({}).empty());
  EXPECT_TRUE(g.TransformOutlineFloat({}).empty());
  EXPECT_EQ(g.TransformOutlineFixed(fixed)[0], (TFixedPoint{10 * kFixedOne + kFixedHalf, 21 * kFixedOne + kFixedHalf}));
  EXPECT_EQ(g.TransformOutlineInt(fixed), (TPoints{{10, 21}, {9, 21}}));
  EXPECT_EQ(g.TransformPointsInt(TPoints{{1, 2}}), (TPoints{{11, 22}}));
  g.SetScale({0.5f, 0.5f});
  g.ComposeMatrix();
  EXPECT_EQ(g.TransformOutlineFloat(TPoints{{3, 1}}), (TArrayOfFixedPoint{{753664, 1343488}})) << "(11.5, 20.5)";
}

TEST(GraphicBase, BodyRecordRoundTripsAtItsOffsets) {
  TBoxGraphic g;
  TFloatMatrix base = IdentityMatrix;
  base[0][1] = 0.5f;
  base[2][2] = 2;
  g.SetBaseMatrix(base);
  g.SetAuxFlag(9);
  g.SetPosition({1.5f, -2});
  g.SetPivot({3, 4});
  g.SetScale({2, 0.5f});
  g.SetSkew({0.25f, -0.25f});
  g.SetAngle(33);
  g.SetSize({12, 13});
  g.SetAuxPercent(55);
  g.SetTintMode(2);
  g.SetAuxWord(-300);
  g.SetAuxValue(123456789);
  g.SetEffect(CreateEffect(kEffectMask));
  g.SetLineWidth(2 * kFixedOne);
  const std::vector<std::uint8_t> body = bodyOf(g);
  ASSERT_EQ(body.size(), kObjectHeaderSize + kCommonBodySize) << "the mask effect has no record";
  EXPECT_FALSE(g.Selected()) << "WriteBody clears Selected";
  EXPECT_EQ(body[24], 0);
  EXPECT_EQ(body[6], 2) << "LineWidth as 16.16";
  EXPECT_EQ(body[40], 9) << "AuxFlag";
  EXPECT_EQ(body[40 + 81], 55) << "AuxPercent";
  EXPECT_EQ(body[40 + 82], 2) << "TintMode";
  EXPECT_EQ(body[40 + 89], kEffectMask);

  TMemoryInput input(body);
  TStreamReader reader(input, "body.ctl");
  TObjectHeader header;
  ASSERT_TRUE(reader.ReadBytes(header));
  TBoxGraphic copy;
  copy.LoadHeader(header);
  test::readBody(copy, reader);
  EXPECT_TRUE(reader.AtEnd());
  EXPECT_EQ(copy.BaseMatrix(), base);
  EXPECT_EQ(copy.AuxFlag(), 9);
  EXPECT_EQ(copy.Position(), (TFloatPoint{1.5f, -2}));
  EXPECT_EQ(copy.Pivot(), (TFloatPoint{3, 4}));
  EXPECT_EQ(copy.Scale(), (TFloatPoint{2, 0.5f}));
  EXPECT_EQ(copy.Skew(), (TFloatPoint{0.25f, -0.25f}));
  EXPECT_EQ(copy.Angle(), 33);
  EXPECT_EQ(copy.Size(), (TFloatPoint{12, 13}));
  EXPECT_EQ(copy.AuxPercent(), 55);
  EXPECT_EQ(copy.TintMode(), 2);
  EXPECT_EQ(copy.AuxWord(), -300);
  EXPECT_EQ(copy.AuxValue(), 123456789);
  EXPECT_EQ(copy.EffectKind(), kEffectMask);
  EXPECT_EQ(copy.Effect().ClassName(), "TMaskState");
  EXPECT_EQ(bodyOf(copy), body);
}

TEST(GraphicBase, EffectRecordsOfLaterEffectsAreKeptInStep) {
  TBoxGraphic g;
  g.SetEffect(CreateEffect(kEffectPolyLineGroup));
  std::vector<std::uint8_t> body = bodyOf(g);
  ASSERT_EQ(body.size(), kObjectHeaderSize + kCommonBodySize + kPolyLineGroupRecordSize);
  for (std::size_t i = 0; i < kPolyLineGroupRecordSize; ++i) body[130 + i] = static_cast<std::uint8_t>(0xA0 + i);
  body.push_back(0x5A);  // the class's own data follows the effect record

  TMemoryInput input(body);
  TStreamReader reader(input, "group.ctl");
  reader.Skip(kObjectHeaderSize);
  TBoxGraphic copy;
  test::readBody(copy, reader);
  EXPECT_EQ(copy.EffectKind(), kEffectPolyLineGroup) << "the kind is remembered";
  std::uint8_t next = 0;
  ASSERT_TRUE(reader.ReadU8(next));
  EXPECT_EQ(next, 0x5A) << "the class data is read in step";
  body.pop_back();
  EXPECT_EQ(bodyOf(copy), body) << "the record is written back unchanged";
}

TEST(GraphicBase, UnknownEffectKindMakesTheFileMalformed) {
  TBoxGraphic g;
  std::vector<std::uint8_t> body = bodyOf(g);
  body[kObjectHeaderSize + 89] = 4;
  TMemoryInput input(body);
  TStreamReader reader(input, "bad.ctl");
  reader.Skip(kObjectHeaderSize);
  TBoxGraphic copy;
  try {
    test::readBody(copy, reader);
    FAIL() << "no error";
  } catch (const TLoadError& e) {
    EXPECT_STREQ(e.what(), "bad.ctl: effect kind 4 is not known");
  }
  EXPECT_EQ(copy.EffectKind(), kEffectPlain);
  EXPECT_EQ(copy.Effect().Owner(), &copy);
}

TEST(GraphicBase, TruncatedBodyKeepsTheFieldsItDidNotReach) {
  TBoxGraphic g;
  g.SetPosition({5, 6});
  g.SetAngle(12);
  g.SetEffect(CreateEffect(kEffectMask));
  std::vector<std::uint8_t> body = bodyOf(g);
  body.resize(kObjectHeaderSize + 69 + 2);  // inside Angle
  TMemoryInput input(body);
  TStreamReader reader(input, "cut.ctl");
  reader.Skip(kObjectHeaderSize);
  TBoxGraphic copy;
  copy.SetAngle(7);
  copy.SetSize({3, 4});
  test::readBody(copy, reader);
  EXPECT_EQ(copy.Position(), (TFloatPoint{5, 6}));
  EXPECT_EQ(copy.Angle(), 7);
  EXPECT_EQ(copy.Size(), (TFloatPoint{3, 4}));
  EXPECT_EQ(copy.EffectKind(), kEffectPlain) << "the kind byte is missing too";
}

TEST(GraphicBase, DrawOfASelectedGraphicDrawsEightMarkersAfterIt) {
  TBoxGraphic g;
  g.Box = pixels(0, 0, 10, 8);
  g.SetSize({10, 8});
  g.SetPosition({5, 2});
  g.SetFilled(true);
  g.SetFillColor(0x0000FF);
  TBitmap32 actual;
  actual.Resize(14, 12);
  actual.Clear(clBlack32);
  g.Draw(actual);

  TBoxGraphic unselected;
  unselected.Box = g.Box;
  unselected.SetPosition({5, 2});
  unselected.SetFilled(true);
  unselected.SetFillColor(0x0000FF);
  unselected.SetSelected(false);
  TBitmap32 expected;
  expected.Resize(14, 12);
  expected.Clear(clBlack32);
  unselected.Draw(expected);
  // Markers at (5, 2), (15, 2), (15, 10), (5, 10), (10, 2), (15, 6),
  // (10, 10), (5, 6); those at x = 15 lie partly off the bitmap.
  const TPoint centres[8] = {{5, 2}, {15, 2}, {15, 10}, {5, 10}, {10, 2}, {15, 6}, {10, 10}, {5, 6}};
  for (const TPoint& c : centres) expected.FrameRectClipped(c.X - 3, c.Y - 3, c.X + 3, c.Y + 3, 0x00FFFFFF);
  for (std::int32_t y = 0; y < 12; ++y) {
    for (std::int32_t x = 0; x < 14; ++x) {
      ASSERT_EQ(actual.ReadPixel(x, y), expected.ReadPixel(x, y)) << "pixel " << x << "," << y;
    }
  }
  EXPECT_EQ(actual.ReadPixel(7, 0), 0x00FFFFFFu) << "a marker over the graphic";
  EXPECT_EQ(actual.ReadPixel(12, 3), 0x00FFFFFFu) << "the visible part of a clipped marker";
  EXPECT_EQ(actual.ReadPixel(8, 5), 0xFFFF0000u) << "the graphic inside";
}

TEST(GraphicBase, DrawDropsTheOutlineCacheUnlessFrozen) {
  TBoxGraphic g;
  g.SetSelected(false);
  TBitmap32 bitmap;
  bitmap.Resize(4, 4);
  g.OutlineCache() = {{1, 1}};
  g.Draw(bitmap);
  EXPECT_TRUE(g.OutlineCache().empty());
  g.OutlineCache() = {{1, 1}};
  g.SetCoverageFrozen(true, bitmap);
  EXPECT_TRUE(g.Painter().ReuseMask);
  g.Draw(bitmap);
  EXPECT_EQ(g.OutlineCache().size(), 1u);
  EXPECT_EQ(g.LastColour, 255) << "stroked in LineColor";
}

TEST(GraphicBase, AssignAndClone) {
  TFakeView view;
  TBoxGraphic source(&view);
  source.Box = pixels(1, 1, 3, 3);
  source.SetLineColor(0x112233);
  source.SetGridRow(4);
  source.SetPosition({7, 8});
  source.SetAngle(15);
  source.SetSize({2, 2});
  source.SetAuxFlag(5);
  source.SetAuxPercent(42);
  source.SetTintMode(2);
  source.SetUseView(false);
  source.SetEditMode(false);
  source.SetEffect(CreateEffect(kEffectLightStrip));
  std::vector<std::uint8_t> record(kLightStripRecordSize, 3);
  TMemoryInput input(record);
  TStreamReader reader(input, "record");
  source.Effect().ReadBody(reader);
  TBitmap32 target;
  source.SetTargetBitmap(&target);

  std::unique_ptr<TGraphicBase> clone = source.Clone();
  ASSERT_NE(clone, nullptr);
  EXPECT_EQ(clone->HeaderBytes(), source.HeaderBytes());
  EXPECT_EQ(clone->Position(), (TFloatPoint{7, 8}));
  EXPECT_EQ(clone->Angle(), 15);
  EXPECT_EQ(clone->Size(), (TFloatPoint{2, 2}));
  EXPECT_EQ(clone->AuxPercent(), 42);
  EXPECT_EQ(clone->TintMode(), 2);
  EXPECT_EQ(clone->AuxFlag(), 0) << "AuxFlag is not copied";
  EXPECT_TRUE(clone->UseView()) << "UseView is not copied";
  EXPECT_FALSE(clone->EditMode());
  EXPECT_EQ(clone->View(), &view) << "Assign takes the view";
  EXPECT_EQ(clone->EffectKind(), kEffectLightStrip);
  EXPECT_EQ(clone->Effect().Owner(), clone.get());
  // The light strip copies everything but HoldFrames (the last four bytes).
  const std::vector<std::uint8_t> copied = effectRecord(clone->Effect());
  EXPECT_EQ(std::vector(copied.begin(), copied.end() - 4), std::vector(record.begin(), record.end() - 4));
  EXPECT_EQ(clone->Painter().Bitmap, &target);
  EXPECT_EQ(TTestGraphic().Clone(), nullptr) << "the base clones nothing";
}

TEST(GraphicBase, ReplayPathFollowsThePointTypes) {
  TCanvas canvas;
  canvas.Path.MoveTo({1, 1});
  const TPoints points = {{0, 0}, {10, 0}, {10, 10}, {12, 10}, {14, 12}, {16, 10}, {20, 20}, {30, 20}};
  const std::vector<std::uint8_t> types = {6, 2, 3, 4, 4, 5, 6, 2};
  TGraphicBase::ReplayPath(canvas, points, types);
  // move (0,0), line (10,0), line (10,10), line back to (0,0), a Bézier
  // from there, a line back to (0,0), move (20,20), line (30,20).
  const TPoints expectedPoints = {{0, 0},   {10, 0},  {10, 10}, {0, 0},   {12, 10},
                                  {14, 12}, {16, 10}, {0, 0},   {20, 20}, {30, 20}};
  const std::vector<std::uint8_t> expectedTypes = {PT_MOVETO, PT_LINETO, PT_LINETO, PT_LINETO, PT_BEZIERTO,
                                                   PT_BEZIERTO, PT_BEZIERTO, PT_LINETO, PT_MOVETO, PT_LINETO};
  EXPECT_EQ(canvas.Path.Points(), expectedPoints);
  EXPECT_EQ(canvas.Path.Types(), expectedTypes);

  TCanvas cut;
  const std::vector<std::uint8_t> bezierAtEnd = {6, 4, 4};
  TGraphicBase::ReplayPath(cut, std::span(points).first(3), bezierAtEnd);
  EXPECT_EQ(cut.Path.Points(), (TPoints{{0, 0}})) << "a Bézier without its three points is dropped";
  TGraphicBase::ReplayPath(cut, points, std::span(types).first(2));
  EXPECT_EQ(cut.Path.Points().size(), 2u) << "only entries with both a point and a type";
}

TEST(GraphicBase, PathAndRegionQueries) {
  TFakeView view;
  TBoxGraphic g(&view);
  g.Box = pixels(0, 0, 10, 6);
  g.SetPosition({5, 5});
  TRect box;
  g.GetRegionBounds(box);
  EXPECT_EQ(box, (TRect{5, 5, 15, 11})) << "CreateRegion ignores the view";
  EXPECT_TRUE(g.CreateRegion().Contains({6, 6}));
  EXPECT_FALSE(g.CreateRegion().Contains({4, 6}));

  TPoints flat;
  g.GetFlatPath(flat);
  EXPECT_EQ(flat, (TPoints{{20, 35}, {40, 35}, {40, 53}, {20, 53}})) << "PaintToCanvas applies the view";

  g.SetUseView(false);
  EXPECT_TRUE(g.IntersectsRect({4, 4, 6, 6})) << "over a corner";
  EXPECT_TRUE(g.IntersectsRect({14, 0, 20, 20})) << "over the right edge";
  EXPECT_FALSE(g.IntersectsRect({8, 7, 11, 9})) << "inside the outline, away from its stroke";
  EXPECT_FALSE(g.IntersectsRect({20, 20, 30, 30})) << "outside the bounds";
  TBoxGraphic none;
  EXPECT_EQ(none.CreateRegion().Box(), (TRect{})) << "the base outline is empty";
  EXPECT_FALSE(none.HitTest(0, 0));
}

// A quarter-circle-like curve from (0, 0) to (40, 40), placed by Position.
class TCurveGraphic : public TBoxGraphic {
 public:
  void DrawToCanvas(TCanvas& canvas) override {
    const TPoints control = {{0, 0}, {22, 0}, {40, 18}, {40, 40}};
    canvas.Path.PolyBezier(TransformPointsInt(control));
  }
};

TEST(GraphicBase, FlatPathFlattensCurvesInDrawingOrder) {
  TCurveGraphic g;
  g.SetPosition({10, 5});
  TPoints flat;
  g.GetFlatPath(flat);
  ASSERT_GT(flat.size(), 4u) << "the curve becomes several segments";
  EXPECT_EQ(flat.front(), (TPoint{10, 5}));
  EXPECT_EQ(flat.back(), (TPoint{50, 45}));
  for (std::size_t i = 1; i < flat.size(); ++i) {
    EXPECT_GE(flat[i].X, flat[i - 1].X) << "in drawing order, point " << i;
    EXPECT_GE(flat[i].Y, flat[i - 1].Y) << "in drawing order, point " << i;
  }
  TPoints again = {{1, 1}};
  g.GetFlatPath(again);
  EXPECT_EQ(again, flat) << "the output is emptied first";
}

}  // namespace
}  // namespace lumora
