#include "effects/light_graphic.h"

#include <gtest/gtest.h>

#include <vector>

#include "io/stream.h"
#include "support/lamp_fixtures.h"

namespace lumora {
namespace {

using test::readBack;

// Records the angle every swing step draws at.
class TRecordingLight : public TLightGraphic {
 public:
  TRecordingLight() : TLightGraphic(nullptr) {}
  std::vector<float> Angles;
  void SetAngle(float angle) override {
    Angles.push_back(angle);
    TLightGraphic::SetAngle(angle);
  }
  // The angle of each drawn frame: the first of each set-and-restore pair.
  std::vector<float> DrawnAngles(std::int32_t frames) {
    TFrameDataLayers layers;
    TBitmap32 bitmap;
    std::vector<float> drawn;
    for (std::int32_t i = 0; i < frames; ++i) {
      Angles.clear();
      DrawFrame(layers, 0, bitmap);
      drawn.push_back(Angles.at(0));
    }
    return drawn;
  }
};

TEST(LightGraphic, SwingsOneStepEveryTwoFrames) {
  TRecordingLight light;
  light.SetAngle(10);
  const std::vector<float> a = light.DrawnAngles(420);
  EXPECT_EQ(light.Angle(), 10) << "the own Angle is put back";
  const float delta = 0.9f;
  EXPECT_FLOAT_EQ(light.StepDelta(), delta);
  EXPECT_FLOAT_EQ(a[0], 10) << "frames 1 and 2 at StartAngle";
  EXPECT_FLOAT_EQ(a[1], 10);
  EXPECT_FLOAT_EQ(a[2], 10 - delta) << "the first step goes to -0.9";
  EXPECT_FLOAT_EQ(a[3], 10 - delta);
  EXPECT_FLOAT_EQ(a[4], 10);
  EXPECT_FLOAT_EQ(a[6], 10 + delta);
  // Step k (k >= 0, after the turn at -1) shows on frames 5 + 2k and 6 + 2k.
  EXPECT_FLOAT_EQ(a[406], 10 + 201 * delta) << "the top of the swing, 180.9";
  EXPECT_FLOAT_EQ(a[407], 10 + 201 * delta);
  EXPECT_FLOAT_EQ(a[408], 10 + 200 * delta) << "and back";
  EXPECT_FLOAT_EQ(*std::max_element(a.begin(), a.end()), 10 + 201 * delta);
  EXPECT_FLOAT_EQ(*std::min_element(a.begin(), a.end()), 10 - delta);
  EXPECT_EQ(light.StepIndex(), 195);

  TBitmap32 bitmap;
  light.SetCoverageFrozen(true, bitmap);
  EXPECT_EQ(light.StepIndex(), 0) << "the freeze restarts the swing";
}

TEST(LightGraphic, StepCountZeroStaysAtStartAngle) {
  TRecordingLight light;
  light.StepCount = 0;
  light.StartAngle = 30;
  light.EndAngle = 90;
  for (const float angle : light.DrawnAngles(12)) ASSERT_FLOAT_EQ(angle, 30);
}

TEST(LightGraphic, BodiesWithAndWithoutPixels) {
  TLightGraphic light(nullptr);
  light.StartAngle = -10;
  light.EndAngle = 45.5f;
  light.StepCount = 7;
  light.StepHold = 3;
  light.SetPivotAnchorValue(8);
  TStreamWriter empty;
  light.WriteBody(empty);
  EXPECT_EQ(empty.Data().size(), kObjectHeaderSize + kCommonBodySize + 8 + 20)
      << "W = 0: the parameters follow the size directly";
  auto back = readBack(light);
  auto* read = dynamic_cast<TLightGraphic*>(back.get());
  ASSERT_NE(read, nullptr) << "code 14 builds a light";
  EXPECT_TRUE(read->Image().IsEmpty());
  EXPECT_EQ(read->StartAngle, -10);
  EXPECT_EQ(read->EndAngle, 45.5f);
  EXPECT_EQ(read->StepCount, 7);
  EXPECT_EQ(read->StepHold, 3);
  EXPECT_EQ(read->PivotAnchor(), 8u);
  EXPECT_EQ(read->Pivot(), (TFloatPoint{0, 0})) << "reading does not move the centre";

  light.Image().Resize(2, 1);
  light.Image().WritePixel(0, 0, 0x80112233);
  light.Image().WritePixel(1, 0, 0xFF445566);
  back = readBack(light);
  read = dynamic_cast<TLightGraphic*>(back.get());
  ASSERT_NE(read, nullptr);
  ASSERT_EQ(read->Image().Width(), 2);
  EXPECT_EQ(read->Image().ReadPixel(0, 0), 0x80112233u);
  EXPECT_EQ(read->Image().ReadPixel(1, 0), 0xFF445566u);
  EXPECT_EQ(read->StepHold, 3);
  EXPECT_EQ(read->Image().Resampler(), kLinearResampler);
}

TEST(LightGraphic, HostileImageSizes) {
  TLightGraphic light(nullptr);
  light.Image().Resize(2, 2);
  TStreamWriter writer;
  light.WriteBody(writer);
  const std::size_t size = kObjectHeaderSize + kCommonBodySize;
  for (const auto& [w, h] : {std::pair{0x7FFFFFFF, 0x7FFFFFFF}, std::pair{2, 3}}) {
    std::vector<std::uint8_t> body = writer.Data();
    TStreamWriter dims;
    dims.WriteS32(w);
    dims.WriteS32(h);
    std::copy(dims.Data().begin(), dims.Data().end(), body.begin() + static_cast<std::ptrdiff_t>(size));
    body.resize(size + 8 + 4 * 4);
    TMemoryInput input(body);
    TStreamReader reader(input, "light");
    TObjectHeader header{};
    reader.ReadBytes(header);
    TGraphicBaseFactory factory;
    EXPECT_THROW(factory.CreateGraphic(header, reader, true, nullptr), TLoadError) << w << " x " << h;
  }
}

TEST(LightGraphic, PivotAnchorsCopiesAndDrawing) {
  TLightGraphic light(nullptr);
  light.SetSize({10, 20});
  light.ApplyPivotAnchor(8);
  EXPECT_EQ(light.Pivot(), (TFloatPoint{10, 20}));
  light.ApplyPivotAnchor(1);
  EXPECT_EQ(light.Pivot(), (TFloatPoint{5, 0}));
  light.ApplyPivotAnchor(9);
  EXPECT_EQ(light.Pivot(), (TFloatPoint{5, 10})) << "unknown anchors give the centre";
  EXPECT_EQ(light.PivotAnchor(), 9u);

  light.StepHold = 5;
  light.Image().Resize(4, 4);
  light.Image().Clear(0xFFFF0000);
  auto clone = light.Clone();
  auto* copy = dynamic_cast<TLightGraphic*>(clone.get());
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->StepHold, 5);
  EXPECT_EQ(copy->Image().ReadPixel(3, 3), 0xFFFF0000u);
  EXPECT_EQ(copy->Pivot(), light.Pivot());

  light.SetSelected(false);
  light.SetPosition({2, 3});
  TBitmap32 bitmap;
  bitmap.Resize(8, 8);
  bitmap.Clear(clBlack32);
  light.Draw(bitmap);
  EXPECT_EQ(bitmap.ReadPixel(3, 4), 0xFFFF0000u) << "inside the image";
  EXPECT_EQ(bitmap.ReadPixel(7, 7), clBlack32) << "outside the image";
  TFixedRect bounds;
  light.GetBounds(bounds);
  EXPECT_EQ(bounds, (TFixedRect{0, 0, 4 * kFixedOne, 4 * kFixedOne}));
}

}  // namespace
}  // namespace lumora
