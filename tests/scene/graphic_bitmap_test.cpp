#include "scene/graphic_bitmap.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "io/stream.h"
#include "movie/graphic_factory.h"
#include "scene/control_layer.h"
#include "scene/effect.h"
#include "scene/layer.h"

namespace lumora {
namespace {

std::unique_ptr<TGraphicBitmap> pictureOf(std::int32_t w, std::int32_t h, TColor32 c) {
  auto g = std::make_unique<TGraphicBitmap>(nullptr);
  g->Picture().Resize(w, h);
  g->Picture().Clear(c);
  g->SetSelected(false);
  return g;
}

TObjectHeader bitmapHeader() {
  TObjectHeader h{};
  h[4] = 1;
  h[36] = 7;
  h[38] = 3;  // GridLayer 3
  return h;
}

std::unique_ptr<TGraphicBase> readWithFactory(const std::vector<std::uint8_t>& data, bool currentEncoding) {
  TMemoryInput input(data);
  TStreamReader stream(input, "bitmap.ctl");
  TObjectHeader header{};
  EXPECT_TRUE(stream.ReadBytes(header));
  TGraphicBaseFactory factory;
  auto g = factory.CreateGraphic(header, stream, currentEncoding, nullptr);
  EXPECT_TRUE(stream.AtEnd()) << "the whole body is read";
  return g;
}

TGraphicBitmap& asBitmap(TGraphicBase& g) { return dynamic_cast<TGraphicBitmap&>(g); }

TEST(GraphicBitmap, NewGraphicAndBodyRoundTrip) {
  auto g = pictureOf(3, 2, 0x80102030);
  EXPECT_EQ(TGraphicBitmap(nullptr).TypeCode(), 7);
  EXPECT_TRUE(TGraphicBitmap(nullptr).Selected());
  g->Picture().WritePixel(2, 1, 0xFF00FF00);
  g->Picture().DrawMode = dmCustom;
  g->Picture().OuterColor = 0x00112233;
  TStreamWriter w;
  g->WriteBody(w);
  auto read = readWithFactory(w.Data(), true);
  TBitmap32& picture = asBitmap(*read).Picture();
  ASSERT_EQ(picture.Width(), 3);
  ASSERT_EQ(picture.Height(), 2);
  EXPECT_EQ(picture.DrawMode, dmCustom);
  EXPECT_EQ(picture.OuterColor, 0x00112233u);
  EXPECT_EQ(picture.ReadPixel(2, 1), 0xFF00FF00u) << "colour keying makes every pixel opaque";
  EXPECT_EQ(picture.ReadPixel(0, 0), 0xFF102030u);
  const TFloatRect& src = read->WorkTransform().SrcRect;
  EXPECT_EQ(src.Right, 2);
  EXPECT_EQ(src.Bottom, 1) << "the source rectangle follows the picture";
}

TEST(GraphicBitmap, DrawModeOneClearsTheOuterColourAndKeysNothing) {
  auto g = pictureOf(2, 2, 0x80FFFFFF);
  g->Picture().DrawMode = dmBlend;
  g->Picture().OuterColor = 0x00FFFFFF;
  TStreamWriter w;
  g->WriteBody(w);
  auto read = readWithFactory(w.Data(), true);
  TBitmap32& picture = asBitmap(*read).Picture();
  EXPECT_EQ(picture.DrawMode, dmBlend);
  EXPECT_EQ(picture.OuterColor, 0u);
  EXPECT_EQ(picture.ReadPixel(1, 1), 0x80FFFFFFu) << "no colour keying in blend mode";
}

TEST(GraphicBitmap, LegacyRecordWithTheWhiteKey) {
  TBitmap32 source;
  source.Resize(2, 2);
  source.Clear(0xFFFFFFFF);
  source.WritePixel(1, 0, 0xFFFF0000);
  const std::vector<std::uint8_t> file = source.SaveToBmp();
  TStreamWriter w;
  w.WriteBytes(bitmapHeader());
  for (const std::int32_t v : {5, 6, 2, 2}) w.WriteS32(v);
  w.WriteS32(static_cast<std::int32_t>(file.size()));
  w.WriteBytes(file);
  w.WriteU32(0x00FFFFFF);
  w.WriteU8(1);
  auto read = readWithFactory(w.Data(), false);
  TGraphicBitmap& g = asBitmap(*read);
  EXPECT_EQ(g.Picture().DrawMode, dmTransparent);
  EXPECT_EQ(g.Picture().ReadPixel(0, 0), 0x00FFFFFFu) << "white is fully transparent, colour kept";
  EXPECT_EQ(g.Picture().ReadPixel(1, 1), 0x00FFFFFFu);
  EXPECT_EQ(g.Picture().ReadPixel(1, 0), 0xFFFF0000u);
  EXPECT_EQ(g.Position().X, 5);
  EXPECT_EQ(g.Position().Y, 6);
  EXPECT_EQ(g.Size().X, 2);
  EXPECT_EQ(g.Pivot().X, 1);
  EXPECT_EQ(g.GridLayer(), 0);
}

TEST(GraphicBitmap, HostileRecordsFailClearly) {
  TStreamWriter w;
  w.WriteBytes(bitmapHeader());
  for (const std::int32_t v : {0, 0, 2, 2, 1000}) w.WriteS32(v);
  TMemoryInput input(w.Data());
  TStreamReader stream(input, "bad.ctl");
  TObjectHeader header{};
  stream.ReadBytes(header);
  TGraphicBaseFactory factory;
  EXPECT_THROW(factory.CreateGraphic(header, stream, false, nullptr), TLoadError) << "a picture beyond the data";

  TGraphicBitmap sized(nullptr);
  TStreamWriter body;
  sized.WriteBody(body);
  std::vector<std::uint8_t> data = body.TakeData();
  data.resize(data.size() - 10);  // the empty picture's size fields onwards
  TStreamWriter huge;
  huge.WriteBytes(data);
  huge.WriteS32(65536);
  huge.WriteS32(65536);
  EXPECT_THROW(readWithFactory(huge.Data(), true), TLoadError) << "a picture beyond the largest surface";
}

TEST(GraphicBitmap, PictureOutsideTheClipBuildsNoCacheAndDrawsUncached) {
  auto g = pictureOf(4, 4, 0xFF00FF00);
  g->SetPosition({100, 100});
  TBitmap32 small;
  small.Resize(10, 10);
  g->SetCoverageFrozen(true, small);
  EXPECT_EQ(g->Cache(), nullptr);
  TBitmap32 large;
  large.Resize(120, 120);
  large.Clear(0xFF000000);
  g->DrawInColor(large, 255);
  EXPECT_EQ(large.ReadPixel(101, 101), 0xFF00FF00u) << "drawn through the uncached path";
}

TEST(GraphicBitmap, CacheMaskAndTint) {
  auto g = pictureOf(6, 6, 0xFF204060);
  for (std::int32_t y = 0; y < 6; ++y) {
    for (std::int32_t x = 3; x < 6; ++x) g->Picture().WritePixel(x, y, 0x01204060);
  }
  TBitmap32 frame;
  frame.Resize(20, 20);
  g->SetCoverageFrozen(true, frame);
  ASSERT_NE(g->Cache(), nullptr);
  EXPECT_EQ(g->CacheLeft(), 0);
  EXPECT_EQ(g->CacheTop(), 0);
  const TMemMap& cache = *g->Cache();
  ASSERT_GE(cache.Width(), 5);
  ASSERT_GE(cache.Height(), 3);
  ASSERT_EQ(*cache.PixelAddress(1, 1), 0xFF204060u);
  ASSERT_EQ(*cache.PixelAddress(4, 1), 0x01204060u);

  TBitmap32 mask;
  mask.Resize(20, 20);
  mask.Clear(0x80000000);
  g->ApplyMask(mask);
  EXPECT_EQ(AlphaComponent(*cache.PixelAddress(1, 1)), 128) << "128 over 255";
  EXPECT_EQ(AlphaComponent(*cache.PixelAddress(4, 1)), 1) << "128 over 1 is round(0.502)";

  g->SetTintMode(2);
  TBitmap32 target;
  target.Resize(20, 20);
  target.Clear(0xFF000000);
  g->DrawInColor(target, 0x0000FF);
  EXPECT_EQ(*cache.PixelAddress(1, 1), 0x80FF0000u) << "red, alpha kept";
  EXPECT_EQ(*cache.PixelAddress(4, 1), 0x01FF0000u);
  EXPECT_EQ(RedComponent(target.ReadPixel(1, 1)), 128) << "the tinted cache is blended";

  g->SetCoverageFrozen(false, frame);
  EXPECT_EQ(g->Cache(), nullptr);
}

TEST(GraphicBitmap, CachePixelsOutsideTheMaskBitmapAreCut) {
  auto g = pictureOf(6, 6, 0xFF204060);
  g->SetPosition({4, 4});
  TBitmap32 frame;
  frame.Resize(20, 20);
  g->SetCoverageFrozen(true, frame);
  ASSERT_NE(g->Cache(), nullptr);
  TBitmap32 mask;
  mask.Resize(6, 6);
  mask.Clear(0xFF000000);
  g->ApplyMask(mask);
  const TMemMap& cache = *g->Cache();
  EXPECT_EQ(AlphaComponent(*cache.PixelAddress(6 - g->CacheLeft() - 1, 1)), 255) << "inside the mask bitmap";
  EXPECT_EQ(AlphaComponent(*cache.PixelAddress(6 - g->CacheLeft(), 1)), 0) << "beyond the mask bitmap";
}

TEST(GraphicBitmap, NegativeHorizontalScaleFlipsOnce) {
  auto g = pictureOf(4, 2, 0xFF000000);
  for (std::int32_t x = 0; x < 4; ++x) {
    for (std::int32_t y = 0; y < 2; ++y) g->Picture().WritePixel(x, y, 0xFF000000 | static_cast<TColor32>(x + 1));
  }
  g->SetPivot({2, 1});
  g->SetScale({-1, 1});
  TBitmap32 target;
  target.Resize(8, 8);
  target.Clear(0xFF000000);
  g->DrawInColor(target, 255);
  EXPECT_EQ(g->Scale().X, 1) << "the scale is positive afterwards";
  for (std::int32_t x = 0; x < 4; ++x) {
    EXPECT_EQ(target.ReadPixel(x, 0) & 0xFF, static_cast<TColor32>(4 - x)) << "mirrored column " << x;
  }
  target.Clear(0xFF000000);
  g->DrawInColor(target, 255);
  EXPECT_EQ(target.ReadPixel(0, 0) & 0xFF, 4u) << "the picture is not flipped back";
}

TEST(GraphicBitmap, PartlyClippedPictureIsCutNotSquashed) {
  auto g = pictureOf(4, 4, 0xFF000000);
  for (std::int32_t x = 0; x < 4; ++x) {
    for (std::int32_t y = 0; y < 4; ++y) g->Picture().WritePixel(x, y, 0xFF000000 | static_cast<TColor32>(x + 1));
  }
  g->SetPosition({-2, 0});
  TBitmap32 target;
  target.Resize(8, 8);
  target.Clear(0xFF000000);
  g->DrawInColor(target, 255);
  EXPECT_EQ(target.ReadPixel(0, 1) & 0xFF, 3u) << "the third column lands on the first";
  EXPECT_EQ(target.ReadPixel(1, 1) & 0xFF, 4u);
  EXPECT_EQ(target.ReadPixel(2, 1), 0xFF000000u) << "nothing beyond the picture";
}

TEST(GraphicBitmap, RotatedPictureGoesThroughTheGeneralTransform) {
  auto g = pictureOf(6, 6, 0xFFFF0000);
  g->SetPivot({3, 3});
  g->SetAngle(45);
  g->SetPosition({5, 5});
  TBitmap32 target;
  target.Resize(20, 20);
  target.Clear(0xFF000000);
  g->DrawInColor(target, 255);
  EXPECT_EQ(target.ReadPixel(8, 8), 0xFFFF0000u) << "the centre";
  EXPECT_EQ(target.ReadPixel(7, 7), 0xFFFF0000u);
  EXPECT_EQ(target.ReadPixel(4, 7), 0x00FF0000u) << "the picture's border is made transparent, its colour kept";
  EXPECT_EQ(target.ReadPixel(3, 3), 0xFF000000u) << "outside the rotated square";
  EXPECT_EQ(target.ReadPixel(12, 12), 0xFF000000u) << "outside the rotated square";
  EXPECT_FALSE(g->HitTest(5, 1));
  EXPECT_TRUE(g->HitTest(8, 8));
}

TEST(GraphicBitmap, BitmapGraphicMasksItsLayer) {
  TControlLayer root;
  TBitmap32 scratch;
  scratch.Resize(20, 20);
  root.MaskBitmap = &scratch;
  TLayer& layer = root.AddLayer("");
  layer.Owner = &root;
  auto mask = pictureOf(10, 10, 0xFFFFFFFF);
  mask->SetEffect(CreateEffect(kEffectMask));
  TGraphicBitmap* maskGraphic = mask.get();
  layer.Add(std::move(mask));
  auto content = pictureOf(20, 20, 0xFFFF0000);
  TGraphicBitmap* contentGraphic = content.get();
  layer.Add(std::move(content));
  maskGraphic->AttachMaskToLayer(layer);
  ASSERT_EQ(layer.MaskGraphic(), maskGraphic);

  TBitmap32 frame;
  frame.Resize(20, 20);
  frame.Clear(0xFF000000);
  contentGraphic->SetCoverageFrozen(true, frame);
  root.PrepareMasks();
  EXPECT_EQ(AlphaComponent(scratch.ReadPixel(5, 5)), 255);
  EXPECT_EQ(AlphaComponent(scratch.ReadPixel(15, 15)), 0);
  const TMemMap& cache = *contentGraphic->Cache();
  EXPECT_EQ(AlphaComponent(*cache.PixelAddress(5, 5)), 255);
  EXPECT_EQ(AlphaComponent(*cache.PixelAddress(15, 15)), 0);
}

}  // namespace
}  // namespace lumora
