#include "effects/led_graphic.h"

#include <gtest/gtest.h>

#include "io/stream.h"
#include "support/lamp_fixtures.h"

namespace lumora {
namespace {

using test::addGridLayer;
using test::readBack;

constexpr TWinColor kCell = 0x00FE8040;
constexpr TColor32 kCellArgb = 0xFF4080FE;

// Columns 0 to 1, rows 0 to 2, LEDs of 4 x 3 with gaps of 1.
std::unique_ptr<TLEDGraphic> sampleLED() {
  auto led = test::ledMatrix({0, 0, 1, 2}, 4, 3, 1, 1);
  led->SetSelected(false);
  return led;
}

// One frame of 3 rows and 2 columns with only cell (1, 1) lit.
void addSampleGrid(TFrameDataLayers& layers) {
  std::vector<std::unique_ptr<TFrameData>> frames;
  frames.push_back(std::make_unique<TFrameData>(3, 2));
  frames.back()->SetCell(1, 1, kCell);
  addGridLayer(layers, std::move(frames));
}

TEST(LEDGraphic, ImageLayoutAndRepaint) {
  auto led = sampleLED();
  ASSERT_EQ(led->Image().Width(), 10);
  ASSERT_EQ(led->Image().Height(), 12);
  EXPECT_EQ(led->Image().ReadPixel(0, 0), kLEDUnpaintedColor) << "red until the first frame";

  TFrameDataLayers layers;
  addSampleGrid(layers);
  led->SetChannelMode(8);
  TBitmap32 bitmap;
  bitmap.Resize(10, 12);
  bitmap.Clear(0);
  led->DrawFrame(layers, 0, bitmap);
  for (std::int32_t y = 0; y < 12; ++y) {
    for (std::int32_t x = 0; x < 10; ++x) {
      const bool inCell = x >= 6 && x < 10 && y >= 5 && y < 8;
      ASSERT_EQ(led->Image().ReadPixel(x, y), inCell ? kCellArgb : clBlack32) << "image at " << x << ", " << y;
      ASSERT_EQ(bitmap.ReadPixel(x, y), led->Image().ReadPixel(x, y)) << "drawn at " << x << ", " << y;
    }
  }
}

TEST(LEDGraphic, StaticDrawsAndDarkModes) {
  auto led = sampleLED();
  TFrameDataLayers layers;
  addSampleGrid(layers);
  TBitmap32 bitmap;
  bitmap.Resize(10, 12);

  // Past the grid layers the image stays as it was: here still unpainted.
  led->SetGridLayer(3);
  led->DrawFrame(layers, 0, bitmap);
  EXPECT_EQ(led->Image().ReadPixel(7, 6), kLEDUnpaintedColor);
  EXPECT_EQ(bitmap.ReadPixel(7, 6), kLEDUnpaintedColor) << "the static draw shows the image";

  led->SetGridLayer(0);
  led->SetChannelMode(8);
  led->DrawFrame(layers, 0, bitmap);
  led->SetGridLayer(1);
  led->DrawFrame(layers, 0, bitmap);
  EXPECT_EQ(led->Image().ReadPixel(7, 6), kCellArgb) << "the last frame's image is kept";

  led->SetGridLayer(0);
  led->SetChannelMode(0);
  led->DrawFrame(layers, 0, bitmap);
  for (const TColor32 p : led->Image().Bits()) ASSERT_EQ(p, clBlack32) << "ChannelMode 0 paints every LED black";
}

TEST(LEDGraphic, CellsOutsideTheFrameAndHugeRanges) {
  auto led = sampleLED();
  led->CellRange = {1, 2, 2, 3};
  led->ResetImage();
  TFrameDataLayers layers;
  std::vector<std::unique_ptr<TFrameData>> frames;
  frames.push_back(std::make_unique<TFrameData>(3, 2));
  frames.back()->SetCell(2, 1, kCell);
  addGridLayer(layers, std::move(frames));
  led->SetChannelMode(8);
  TBitmap32 bitmap;
  bitmap.Resize(20, 20);
  led->DrawFrame(layers, 0, bitmap);
  EXPECT_EQ(led->Image().ReadPixel(1, 1), kCellArgb) << "cell (2, 1) is the range's first";
  EXPECT_EQ(led->Image().ReadPixel(6, 1), clBlack32) << "column 2 is outside the frame";
  EXPECT_EQ(led->Image().ReadPixel(1, 5), clBlack32) << "row 3 is outside the frame";

  led->CellRange = {-2000000000, 0, 2000000000, 0};
  EXPECT_THROW(led->ResetImage(), std::length_error);
  // A huge range times a huge pitch must not overflow on the way to the check.
  led->CellWidth = 2000000000;
  led->GapX = 2000000000;
  EXPECT_THROW(led->ResetImage(), std::length_error);
  led->CellWidth = 4;
  led->GapX = 1;
  // A one-row bar 16,777,220 pixels wide: a few bytes of record, refused
  // before a gigabyte of image is allocated.
  led->CellRange = {0, 0, (1 << 24) / 5, 0};
  EXPECT_THROW(led->ResetImage(), std::length_error);
  // The largest image, 4096 x 4096 pixels, and one column more.
  led->CellWidth = 3;
  led->CellHeight = 3;
  led->GapY = 1;
  led->CellRange = {0, 0, 1023, 1023};
  led->ResetImage();
  EXPECT_EQ(led->Image().Width(), 4096);
  EXPECT_EQ(led->Image().Height(), 4096);
  led->CellRange = {0, 0, 1024, 1023};
  EXPECT_THROW(led->ResetImage(), std::length_error);
  led->CellRange = {0, 0, 1, 1};
  led->CellWidth = -5;
  led->ResetImage();
  EXPECT_TRUE(led->Image().IsEmpty()) << "a negative pitch gives no image";
  led->DrawFrame(layers, 0, bitmap);
}

TEST(LEDGraphic, FlippedPlacementMirrorsAndKeepsTheImage) {
  auto led = sampleLED();
  TFrameDataLayers layers;
  addSampleGrid(layers);
  led->SetChannelMode(8);
  led->SetPivot({5, 6});
  led->SetScale({-1, 1});
  TBitmap32 bitmap;
  bitmap.Resize(10, 12);
  bitmap.Clear(0);
  led->DrawFrame(layers, 0, bitmap);
  for (std::int32_t y = 0; y < 12; ++y) {
    for (std::int32_t x = 0; x < 10; ++x) {
      ASSERT_EQ(bitmap.ReadPixel(x, y), led->Image().ReadPixel(9 - x, y)) << "at " << x << ", " << y;
    }
  }
  EXPECT_EQ(led->Scale(), (TFloatPoint{-1, 1})) << "Scale restored";
  EXPECT_EQ(led->Image().ReadPixel(7, 6), kCellArgb) << "image not left flipped";
}

TEST(LEDGraphic, BodyMaskAndCopies) {
  auto led = sampleLED();
  led->ReservedByte = 7;
  led->ReservedBlock[31] = 9;
  led->SetPosition({3, 4});
  auto back = readBack(*led);
  auto* read = dynamic_cast<TLEDGraphic*>(back.get());
  ASSERT_NE(read, nullptr) << "code 12 builds an LED graphic";
  EXPECT_EQ(read->CellRange, led->CellRange);
  EXPECT_EQ(read->CellWidth, 4);
  EXPECT_EQ(read->CellHeight, 3);
  EXPECT_EQ(read->GapX, 1);
  EXPECT_EQ(read->GapY, 1);
  EXPECT_EQ(read->ReservedByte, 7);
  EXPECT_EQ(read->ReservedBlock[31], 9);
  EXPECT_EQ(read->Image().Width(), 10);
  EXPECT_EQ(read->Image().ReadPixel(0, 0), kLEDUnpaintedColor);
  EXPECT_EQ(read->Position(), (TFloatPoint{3, 4}));

  auto clone = led->Clone();
  auto* copy = dynamic_cast<TLEDGraphic*>(clone.get());
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->CellRange, led->CellRange);
  EXPECT_EQ(copy->Image().Height(), 12);
  EXPECT_EQ(copy->Image().Resampler(), kLinearResampler);

  TBitmap32 mask;
  mask.Resize(4, 2);
  mask.Clear(0x80000000);
  led->ApplyMask(mask);
  ASSERT_NE(led->MaskMap(), nullptr);
  EXPECT_EQ(led->MaskMap()->Value(3, 1), 0x80);
  TBitmap32 bitmap;
  led->SetCoverageFrozen(true, bitmap);
  EXPECT_NE(led->MaskMap(), nullptr);
  led->SetCoverageFrozen(false, bitmap);
  EXPECT_EQ(led->MaskMap(), nullptr) << "released with the coverage";

  led->SetPosition({0, 0});
  led->UpdateTransform();
  EXPECT_TRUE(led->HitTest(9, 11));
  EXPECT_FALSE(led->HitTest(10, 5));
  TFixedRect bounds;
  led->GetBounds(bounds);
  EXPECT_EQ(bounds, (TFixedRect{0, 0, 10 * kFixedOne, 12 * kFixedOne}));
}

TEST(LEDGraphic, HugeCellRangeInAFileIsAFormatError) {
  TLEDGraphic led(nullptr);
  led.CellRange = {0, 0, 1, 1};
  TStreamWriter writer;
  led.WriteBody(writer);
  std::vector<std::uint8_t> body = writer.Data();
  // The last column of the range, behind the 40-byte header and the common
  // record (which ends with the plain effect's kind byte).
  const std::size_t lastColumn = kObjectHeaderSize + kCommonBodySize + 8;
  body[lastColumn + 3] = 0x7F;
  TMemoryInput input(body);
  TStreamReader reader(input, "led");
  TObjectHeader header{};
  reader.ReadBytes(header);
  TGraphicBaseFactory factory;
  EXPECT_THROW(factory.CreateGraphic(header, reader, true, nullptr), TLoadError);
}

}  // namespace
}  // namespace lumora
