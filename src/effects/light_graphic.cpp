#include "effects/light_graphic.h"

#include <limits>
#include <string>

#include "effects/image_graphic_p.h"
#include "io/stream.h"
#include "render/work_budget.h"

namespace lumora {

TLightGraphic::TLightGraphic(TView* view) : TGraphicBase(view) {
  SetTypeCode(kTypeCodeLight);
  image_graphic::PrepareImage(fImage);
}

void TLightGraphic::ApplyPivotAnchor(std::uint32_t anchor) {
  fPivotAnchor = anchor;
  const std::uint32_t k = anchor <= 8 ? anchor : kPivotAnchorCentre;
  const auto column = static_cast<float>(k % 3);
  const auto row = static_cast<float>(k / 3);
  SetPivot({column * Size().X / 2, row * Size().Y / 2});
}

float TLightGraphic::StepDelta() const {
  if (StepCount == 0) return 0;
  return (EndAngle - StartAngle) / static_cast<float>(StepCount);
}

// The pixel count is checked against the cap; the image is then charged to
// the memory budget as it is made, and its pixels read straight into it.
void TLightGraphic::readImage(TStreamReader& stream) {
  std::int32_t w = 0;
  std::int32_t h = 0;
  stream.ReadS32(w);
  stream.ReadS32(h);
  if (w <= 0 || h <= 0) {
    fImage.Resize(0, 0);
    return;
  }
  const std::int64_t pixels = std::int64_t{w} * h;
  if (pixels > kMaxSurfacePixels) {
    stream.Fail("a light image of " + std::to_string(w) + " x " + std::to_string(h) + " pixels is too large");
  }
  fImage.Resize(w, h);
  if (!ReadU32Values(stream, fImage.Bits())) stream.Fail("the light image is truncated");
}

void TLightGraphic::ReadBody(TStreamReader& stream, TObjectBuilder& builder) {
  TGraphicBase::ReadBody(stream, builder);
  readImage(stream);
  stream.ReadFloat(StartAngle);
  stream.ReadFloat(EndAngle);
  stream.ReadS32(StepCount);
  stream.ReadS32(StepHold);
  stream.ReadU32(fPivotAnchor);
}

void TLightGraphic::WriteBody(TStreamWriter& stream) {
  TGraphicBase::WriteBody(stream);
  stream.WriteS32(fImage.Width());
  stream.WriteS32(fImage.Height());
  for (const TColor32 p : fImage.Bits()) stream.WriteU32(p);
  stream.WriteFloat(StartAngle);
  stream.WriteFloat(EndAngle);
  stream.WriteS32(StepCount);
  stream.WriteS32(StepHold);
  stream.WriteU32(fPivotAnchor);
}

void TLightGraphic::DrawInColor(TBitmap32& bitmap, TWinColor) {
  image_graphic::TransformImage(*this, fImage, bitmap);
}

// The index turns at one step beyond either end, so the swing covers
// StartAngle − delta to EndAngle + delta; the counters stop at the 32-bit
// limits instead of overflowing on extreme stored values.
void TLightGraphic::advanceStep() {
  if (StepCount < fStepIndex) fStepDirection = 0;
  if (fStepIndex < 0) fStepDirection = 1;
  if (fHoldCounter > StepHold) {
    fHoldCounter = 0;
    if (fStepDirection != 0) {
      if (fStepIndex < std::numeric_limits<std::int32_t>::max()) ++fStepIndex;
    } else if (fStepIndex > std::numeric_limits<std::int32_t>::min()) {
      --fStepIndex;
    }
  }
  if (fHoldCounter < std::numeric_limits<std::int32_t>::max()) ++fHoldCounter;
}

void TLightGraphic::DrawFrame(TFrameDataLayers&, std::int32_t, TBitmap32& bitmap) {
  const float delta = StepDelta();
  advanceStep();
  const float angle = Angle();
  const TFloatPoint scale = Scale();
  SetAngle(angle + StartAngle + static_cast<float>(fStepIndex) * delta);
  const TFloatPoint centre = image_graphic::ImageTransformation(*this, fImage)
                                 .Transform(TFloatPoint{fImage.Width() / 2.0f, fImage.Height() / 2.0f});
  fShownCentre = {RoundToInt(centre.X), RoundToInt(centre.Y)};
  if (fMaskMap) {
    image_graphic::TransformImageThroughMask(*this, fImage, bitmap, *fMaskMap);
  } else {
    DrawInColor(bitmap, 255);
  }
  SetAngle(angle);
  SetScale(scale);
}

void TLightGraphic::ApplyMask(TBitmap32& maskBitmap) {
  if (auto map = image_graphic::MaskMapFrom(maskBitmap)) fMaskMap = std::move(map);
}

void TLightGraphic::SetCoverageFrozen(bool flag, TBitmap32& bitmap) {
  TGraphicBase::SetCoverageFrozen(flag, bitmap);
  fStepIndex = 0;
  if (!flag) {
    fMaskMap.reset();
    return;
  }
  UpdateTransform();
  ChargeFramePixels(image_graphic::SwingPixelsOnSurface(*this, fImage, bitmap), "a swinging light");
}

// StepHold is copied too, so that a copy swings at the same pace.
void TLightGraphic::Assign(TGraphicBase& source) {
  if (auto* light = dynamic_cast<TLightGraphic*>(&source); light != nullptr && light != this) {
    fImage.Assign(light->fImage);
    StartAngle = light->StartAngle;
    EndAngle = light->EndAngle;
    StepCount = light->StepCount;
    StepHold = light->StepHold;
    ApplyPivotAnchor(light->fPivotAnchor);
  }
  TGraphicBase::Assign(source);
}

std::unique_ptr<TGraphicBase> TLightGraphic::Clone() {
  auto copy = std::make_unique<TLightGraphic>(nullptr);
  copy->Assign(*this);
  return copy;
}

bool TLightGraphic::HitTest(std::int32_t x, std::int32_t y) { return image_graphic::HitsImage(*this, fImage, x, y); }

void TLightGraphic::DrawToCanvas(TCanvas& canvas) { image_graphic::ImageToCanvas(*this, fImage, canvas); }

void TLightGraphic::GetBounds(TFixedRect& rect) { rect = FixedRect(fImage.BoundsRect()); }

}  // namespace lumora
