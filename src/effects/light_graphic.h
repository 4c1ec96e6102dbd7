// TLightGraphic: a swinging light, a stored ARGB picture that turns back and
// forth between two angles, one step per hold period, on its own clock.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "render/bitmap32.h"
#include "render/mask_maps.h"
#include "scene/graphic_base.h"

namespace lumora {

inline constexpr std::uint8_t kTypeCodeLight = 14;
// The anchor of the box's centre, which every unknown anchor also gives.
inline constexpr std::uint32_t kPivotAnchorCentre = 4;

class TLightGraphic : public TGraphicBase {
 public:
  explicit TLightGraphic(TView* view);
  std::string ClassName() const override { return "TLightGraphic"; }

  TBitmap32& Image() { return fImage; }
  const TBitmap32& Image() const { return fImage; }
  const TByteMap* MaskMap() const { return fMaskMap.get(); }

  float StartAngle = 0;
  float EndAngle = 180;
  std::int32_t StepCount = 200;
  std::int32_t StepHold = 1;

  std::uint32_t PivotAnchor() const { return fPivotAnchor; }
  // Stores the anchor without moving the rotation centre, as a body read does.
  void SetPivotAnchorValue(std::uint32_t anchor) { fPivotAnchor = anchor; }
  // Stores the anchor and moves the rotation centre to it: column k mod 3
  // and row k div 3 of the Size box in halves; other values give the centre.
  void ApplyPivotAnchor(std::uint32_t anchor);

  // The swing's run-time state.
  std::int32_t StepIndex() const { return fStepIndex; }
  bool StepsUp() const { return fStepDirection != 0; }
  // The angle step between two swing steps; 0 without steps.
  float StepDelta() const;
  // The centre of the image where the last frame drew it.
  const TPoint& ShownCentre() const { return fShownCentre; }

  void ReadBody(TStreamReader& stream, TObjectBuilder& builder) override;
  void WriteBody(TStreamWriter& stream) override;
  void DrawInColor(TBitmap32& bitmap, TWinColor colour) override;
  // One swing step: the light is drawn at StartAngle + step × delta on top
  // of its own Angle, which is then put back.
  void DrawFrame(TFrameDataLayers& gridLayers, std::int32_t frame, TBitmap32& bitmap) override;
  void ApplyMask(TBitmap32& maskBitmap) override;
  void SetCoverageFrozen(bool flag, TBitmap32& bitmap) override;
  void Assign(TGraphicBase& source) override;
  std::unique_ptr<TGraphicBase> Clone() override;
  bool HitTest(std::int32_t x, std::int32_t y) override;
  void DrawToCanvas(TCanvas& canvas) override;
  void GetBounds(TFixedRect& rect) override;

 private:
  void advanceStep();
  void readImage(TStreamReader& stream);

  TBitmap32 fImage;
  std::uint8_t fStepDirection = 0;
  std::int32_t fStepIndex = 0;
  std::uint32_t fPivotAnchor = 0;
  std::int32_t fHoldCounter = 0;
  std::unique_ptr<TByteMap> fMaskMap;
  TPoint fShownCentre;
};

}  // namespace lumora
