// TDengDaiState: the light-strip effect. The outline becomes a row of round
// lamps at a fixed spacing, lit as a chase that runs on its own clock: one
// step per DrawFrame call, whatever the frame index.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "render/bitmap32.h"
#include "render/mask_maps.h"
#include "scene/effect.h"

namespace lumora {

// The most lamps one outline gets, so that a tiny spacing on a huge outline
// cannot exhaust memory.
inline constexpr std::size_t kMaxLamps = std::size_t{1} << 20;
// Larger lamps are not drawn: their stamp would exceed any sensible surface.
inline constexpr std::int32_t kMaxLampSize = 4096;
// The side of the disc that is resampled down to the lamp stamp.
inline constexpr std::int32_t kLampDiscSize = 150;

class TDengDaiState : public TCustomState {
 public:
  using TCustomState::TCustomState;
  std::string ClassName() const override { return "TDengDaiState"; }
  std::uint8_t Kind() const override { return kEffectLightStrip; }
  std::unique_ptr<TCustomState> CreateSameKind() const override { return std::make_unique<TDengDaiState>(); }

  TWinColor LampColor = 0x0000FFFF;
  std::int32_t LampSize = 3;
  std::uint8_t DirectionMode = 2;
  std::int32_t PatternLength = 3;
  std::int32_t SpacingFactor = 1;
  std::int32_t HoldFrames = 1;

  void AssignFrom(const TCustomState& source) override;
  void SetCoverageFrozen(bool flag, TBitmap32& bitmap) override;
  // Rebuilds the lamps and shows phase 0; the colour is not used.
  void Draw(TBitmap32& bitmap, TWinColor colour) override;
  void ReadBody(TStreamReader& stream) override;
  void WriteBody(TStreamWriter& stream) override;
  void DrawFrame(TFrameDataLayers& gridLayers, std::int32_t frame, TBitmap32& bitmap) override;
  // One map per lamp: the stamp's alpha cut by the mask under the lamp.
  void ApplyMask(TBitmap32& maskBitmap) override;

  // The lamp positions along the owner's flattened outline and the stamp.
  void RebuildLamps();
  // Lamps every d pixels of path length from the first outline point, plus
  // the last point when at least one pixel of path is left after the last
  // lamp; none for fewer than two points or d not above 0.
  static TPoints PlaceLamps(const TPoints& outline, std::int64_t d);

  const TPoints& Lamps() const { return fLamps; }
  const TBitmap32& LampStamp() const { return fLampStamp; }
  const std::vector<std::unique_ptr<TByteMap>>& LampMasks() const { return fLampMasks; }
  std::int32_t Phase() const { return fPhase; }
  bool Forward() const { return fForward != 0; }
  // The lamps the phase lights under the pattern, in drawing order.
  std::vector<std::size_t> LitLamps(std::int32_t phase, bool fourLamps) const;

 private:
  void advance();
  void drawPhase(TBitmap32& bitmap, std::int32_t phase, bool fourLamps) const;
  void drawLamp(TBitmap32& bitmap, std::size_t i) const;
  std::uint64_t lampPixels(const TBitmap32& bitmap) const;
  void renderStamp();

  std::int32_t fPhase = 0;
  std::int32_t fHold = 0;
  std::uint8_t fForward = 0;
  std::int32_t fAlternation = 0;
  TBitmap32 fLampStamp;
  TPoints fLamps;
  std::vector<std::unique_ptr<TByteMap>> fLampMasks;
};

}  // namespace lumora
