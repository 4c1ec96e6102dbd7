#include "scene/font_graphic.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "io/stream.h"
#include "movie/graphic_factory.h"
#include "support/shape_streams.h"

namespace lumora {
namespace {

const std::vector<std::uint8_t> kSquareTypes = {6, 2, 2, 3};

std::unique_ptr<TFontGraphic> square(std::int32_t side) {
  auto g = std::make_unique<TFontGraphic>(nullptr);
  const TPoint corners[] = {{0, 0}, {side, 0}, {side, side}, {0, side}};
  g->Points().SetIntPoints(corners);
  g->SetPointTypes(kSquareTypes);
  g->SetSelected(false);
  return g;
}

std::unique_ptr<TGraphicBase> readWithFactory(const TObjectHeader& header, std::span<const std::uint8_t> body,
                                              bool currentEncoding) {
  TMemoryInput input(body);
  TStreamReader stream(input, "text.ctl");
  TGraphicBaseFactory factory;
  auto g = factory.CreateGraphic(header, stream, currentEncoding, nullptr);
  EXPECT_TRUE(stream.AtEnd()) << "the whole body is read";
  return g;
}

// The body of a graphic as its writer stores it, without the header.
std::vector<std::uint8_t> bodyOf(TGraphicBase& g) {
  TStreamWriter w;
  g.WriteBody(w);
  std::vector<std::uint8_t> data = w.TakeData();
  data.erase(data.begin(), data.begin() + kObjectHeaderSize);
  return data;
}

TObjectHeader headerWithCode(std::uint8_t code) {
  TObjectHeader h{};
  h[4] = 1;
  h[36] = code;
  return h;
}

TEST(FontGraphic, HeaderBytesBuildATextGraphic) {
  const TObjectHeader header = {0xFF, 0, 0, 0, 1, 0, 0, 0, 0xFF, 0, 0, 0, 0xFF, 0, 0, 0, 0,    0xFF, 0, 0,
                                0,    0, 0xFF, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0,    0, 0, 0, 0x0A, 7,    0, 0};
  auto written = square(10);
  auto read = readWithFactory(header, bodyOf(*written), true);
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(read->ClassName(), "TFontGraphic");
  EXPECT_EQ(read->LineColor(), 255);
  EXPECT_EQ(read->LineWidth(), 65536);
  EXPECT_EQ(read->FillColor(), 255);
  EXPECT_TRUE(read->Filled());
  EXPECT_EQ(read->GridRow(), 0);
  EXPECT_EQ(read->GridColumn(), 0);
  EXPECT_EQ(read->ChannelMode(), 7);
  EXPECT_EQ(read->GridLayer(), 0);
  auto& text = dynamic_cast<TFontGraphic&>(*read);
  EXPECT_EQ(text.PointTypes(), kSquareTypes);
  ASSERT_EQ(text.Points().Count(), 4u);
  EXPECT_EQ(text.Points().Points()[2], (TFixedPoint{10 * kFixedOne, 10 * kFixedOne}));
}

TEST(FontGraphic, BodyWithoutTypesKeepsAnEmptyTypeArray) {
  auto g = square(4);
  g->SetPointTypes({});
  auto read = readWithFactory(headerWithCode(10), bodyOf(*g), true);
  auto& text = dynamic_cast<TFontGraphic&>(*read);
  EXPECT_TRUE(text.PointTypes().empty());
  EXPECT_EQ(text.Points().Count(), 4u);
  TBitmap32 bitmap;
  bitmap.Resize(8, 8);
  bitmap.Clear(0xFF000000);
  text.DrawInColor(bitmap, 0x0000FF);
  for (const TColor32 pixel : bitmap.Bits()) ASSERT_EQ(pixel, 0xFF000000u) << "a path without types draws nothing";
}

TEST(FontGraphic, ClosedSquareFilledAndStroked) {
  auto g = square(10);
  g->SetPosition({5, 5});
  g->SetFilled(true);
  TBitmap32 bitmap;
  bitmap.Resize(20, 20);
  bitmap.Clear(0xFF000000);
  g->DrawInColor(bitmap, 0x0000FF);
  EXPECT_EQ(bitmap.ReadPixel(10, 10), 0xFFFF0000u) << "the interior";
  EXPECT_EQ(bitmap.ReadPixel(6, 6), 0xFFFF0000u) << "next to the corner";
  EXPECT_EQ(bitmap.ReadPixel(2, 2), 0xFF000000u) << "outside";
  EXPECT_EQ(bitmap.ReadPixel(15, 15), 0xFF000000u) << "outside, beyond the far corner";

  auto stroked = square(10);
  stroked->SetPosition({5, 5});
  bitmap.Clear(0xFF000000);
  stroked->DrawInColor(bitmap, 0x0000FF);
  EXPECT_EQ(bitmap.ReadPixel(10, 10), 0xFF000000u) << "the interior stays";
  for (const TPoint side : {TPoint{10, 5}, TPoint{15, 10}, TPoint{10, 15}, TPoint{5, 10}}) {
    const TPoint before{side.X == 10 ? 10 : side.X - 1, side.Y == 10 ? 10 : side.Y - 1};
    const std::uint32_t red = RedComponent(bitmap.ReadPixel(side.X, side.Y)) +
                              RedComponent(bitmap.ReadPixel(before.X, before.Y));
    EXPECT_GT(red, 0u) << "the side at " << side.X << "," << side.Y;
  }
}

TEST(FontGraphic, RegionBoxesAndHitTests) {
  auto g = square(10);
  g->SetPosition({5, 5});
  g->UpdateTransform();
  TFixedRect bounds;
  g->GetBounds(bounds);
  EXPECT_EQ(bounds.Left, 5 * kFixedOne);
  EXPECT_EQ(bounds.Top, 5 * kFixedOne);
  EXPECT_EQ(bounds.Right, 15 * kFixedOne);
  EXPECT_EQ(bounds.Bottom, 15 * kFixedOne);
  EXPECT_TRUE(g->HitTest(10, 10));
  EXPECT_TRUE(g->HitTest(5, 5));
  EXPECT_FALSE(g->HitTest(2, 2));
  EXPECT_FALSE(g->HitTest(16, 10));
}

TEST(FontGraphic, OlderRecordsMoveThePathIntoItsBox) {
  TStreamWriter older;
  older.WriteS32(4);
  for (const std::int32_t v : {1000, 2000, 3000, 2000, 3000, 4000, 1000, 4000}) older.WriteS32(v);
  older.WriteS32(4);
  older.WriteBytes(kSquareTypes);
  older.WriteS32(3);
  older.WriteBytes(std::vector<std::uint8_t>{'a', 'b', 'c'});
  auto read = readWithFactory(headerWithCode(10), older.Data(), false);
  auto& text = dynamic_cast<TFontGraphic&>(*read);
  EXPECT_EQ(text.Position().X, 10);
  EXPECT_EQ(text.Position().Y, 20);
  EXPECT_EQ(text.Size().X, 20);
  EXPECT_EQ(text.Size().Y, 20);
  EXPECT_EQ(text.Pivot().X, 10);
  EXPECT_EQ(text.Points().Points()[0], (TFixedPoint{0, 0}));
  EXPECT_EQ(text.Points().Points()[2], (TFixedPoint{20 * kFixedOne, 20 * kFixedOne}));

  TStreamWriter oldest;
  oldest.WriteBytes(std::vector<std::uint8_t>(63, 'x'));
  oldest.WriteS32(4);
  for (const std::int32_t v : {10, 20, 30, 20, 30, 40, 10, 40}) oldest.WriteS32(v);
  oldest.WriteBytes(kSquareTypes);
  auto oldestRead = readWithFactory(headerWithCode(8), oldest.Data(), false);
  ASSERT_NE(oldestRead, nullptr);
  EXPECT_EQ(oldestRead->TypeCode(), 10);
  EXPECT_EQ(oldestRead->Position().X, 10);
  EXPECT_EQ(oldestRead->Position().Y, 20);
  EXPECT_EQ(dynamic_cast<TFontGraphic&>(*oldestRead).Points().Points()[1], (TFixedPoint{20 * kFixedOne, 0}));

  TStreamWriter current;
  EXPECT_EQ(readWithFactory(headerWithCode(8), current.Data(), true), nullptr) << "code 8 builds nothing now";
}

TEST(FontGraphic, HostileRecordsFailClearly) {
  TStreamWriter w;
  w.WriteS32(0);
  w.WriteS32(-1);
  w.WriteS32(0);
  TMemoryInput input(w.Data());
  TStreamReader stream(input, "bad.ctl");
  TFontGraphic g(nullptr);
  EXPECT_THROW(test::readLegacyBody(g, stream), TLoadError) << "a negative type count";

  TStreamWriter cut;
  cut.WriteBytes(std::vector<std::uint8_t>(63, 'x'));
  cut.WriteS32(1000);
  TMemoryInput cutInput(cut.Data());
  TStreamReader cutStream(cutInput, "cut.ctl");
  EXPECT_THROW(g.ReadLegacyText(cutStream), TLoadError) << "points beyond the data";
}

}  // namespace
}  // namespace lumora
