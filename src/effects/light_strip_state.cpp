#include "effects/light_strip_state.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "io/stream.h"
#include "render/gr32_graphics.h"
#include "render/memory_budget.h"
#include "render/work_budget.h"
#include "scene/graphic_base.h"

namespace lumora {

namespace {

// Graphics without a usable outline: pictures, lettering, groups, LED
// matrices and the unused codes 8 and 13.
bool hasLampOutline(std::uint8_t typeCode) {
  switch (typeCode) {
    case 7: case 8: case 9: case 10: case 12: case 13: return false;
    default: return true;
  }
}

TDoublePoint doublePoint(const TPoint& p) { return {static_cast<double>(p.X), static_cast<double>(p.Y)}; }

// p + distance along the angle, rounded to whole pixels.
TPoint stepFrom(const TDoublePoint& p, double distance, double angle) {
  return RoundPoint(PolarOffset(p, distance, angle));
}

// key mod 4 for the four-lamp pattern's phases 0 to 3.
bool fourLampLit(std::int64_t key, std::int32_t phase) {
  const std::int64_t k = key % 4;
  switch (phase) {
    case 0: return k == 0 || k == 3;
    case 1: return k == 0 || k == 1;
    case 2: return k == 1 || k == 2;
    case 3: return k == 2 || k == 3;
    default: return false;
  }
}

// The part of a stamp of width × height placed at (left, top) that lies on
// the surface, in stamp coordinates; empty when none does.
TRect stampOnSurface(std::int64_t left, std::int64_t top, std::int32_t width, std::int32_t height,
                     const TBitmap32& surface) {
  const auto part = [](std::int64_t origin, std::int32_t size, std::int32_t room, std::int32_t& from,
                       std::int32_t& to) {
    from = static_cast<std::int32_t>(std::clamp<std::int64_t>(-origin, 0, size));
    to = static_cast<std::int32_t>(std::clamp<std::int64_t>(std::int64_t{room} - origin, from, size));
  };
  TRect r;
  part(left, width, surface.Width(), r.Left, r.Right);
  part(top, height, surface.Height(), r.Top, r.Bottom);
  return r;
}

}  // namespace

void TDengDaiState::AssignFrom(const TCustomState& source) {
  const auto* other = dynamic_cast<const TDengDaiState*>(&source);
  if (other == nullptr) return;
  PatternLength = other->PatternLength;
  SpacingFactor = other->SpacingFactor;
  LampSize = other->LampSize;
  DirectionMode = other->DirectionMode;
  LampColor = other->LampColor;
}

void TDengDaiState::SetCoverageFrozen(bool flag, TBitmap32& bitmap) {
  TCustomState::SetCoverageFrozen(flag, bitmap);
  if (!flag) fLampMasks.clear();
}

// The lamps are charged to the work budget before the first is drawn.
void TDengDaiState::Draw(TBitmap32& bitmap, TWinColor) {
  RebuildLamps();
  ChargeFramePixels(lampPixels(bitmap), "the lamps of a light strip");
  if (PatternLength == 3 || PatternLength == 4) drawPhase(bitmap, 0, PatternLength == 4);
}

// Every lamp's stamp where it lies on the surface, as if all were lit.
std::uint64_t TDengDaiState::lampPixels(const TBitmap32& bitmap) const {
  if (fLampStamp.IsEmpty()) return 0;
  const std::int32_t h = LampSize / 2;
  std::uint64_t pixels = 0;
  for (const TPoint& p : fLamps) {
    const TRect part = stampOnSurface(std::int64_t{p.X} - h, std::int64_t{p.Y} - h, fLampStamp.Width(),
                                      fLampStamp.Height(), bitmap);
    pixels += static_cast<std::uint64_t>(part.Right - part.Left) * static_cast<std::uint64_t>(part.Bottom - part.Top);
  }
  return pixels;
}

void TDengDaiState::ReadBody(TStreamReader& stream) {
  stream.ReadS32(LampColor);
  stream.ReadS32(LampSize);
  stream.ReadU8(DirectionMode);
  stream.ReadS32(PatternLength);
  stream.ReadS32(SpacingFactor);
  stream.ReadS32(HoldFrames);
}

void TDengDaiState::WriteBody(TStreamWriter& stream) {
  stream.WriteS32(LampColor);
  stream.WriteS32(LampSize);
  stream.WriteU8(DirectionMode);
  stream.WriteS32(PatternLength);
  stream.WriteS32(SpacingFactor);
  stream.WriteS32(HoldFrames);
}

TPoints TDengDaiState::PlaceLamps(const TPoints& outline, std::int64_t d) {
  TPoints lamps;
  if (outline.size() < 2 || d <= 0) return lamps;
  lamps.push_back(outline[0]);
  const auto spacing = static_cast<double>(d);
  double q = 0;
  for (std::size_t k = 1; k < outline.size() && lamps.size() < kMaxLamps; ++k) {
    const TDoublePoint a = doublePoint(outline[k - 1]);
    const TDoublePoint b = doublePoint(outline[k]);
    const double c = DistanceBetween(a, b);
    if (spacing - c - q >= 0) {
      q += c;
      continue;
    }
    const TDoublePoint s = PolarOffset(a, spacing - q, AngleBetween(a, b));
    const TDoublePoint start = doublePoint(RoundPoint(s));
    const std::int64_t m = RoundToInt(DistanceBetween(start, b)) / d;
    const double angle = AngleBetween(start, b);
    for (std::int64_t i = 0; i <= m && lamps.size() < kMaxLamps; ++i) {
      lamps.push_back(stepFrom(start, static_cast<double>(i) * spacing, angle));
    }
    q = DistanceBetween(s, b) - static_cast<double>(m) * spacing;
  }
  if (q >= 1 && lamps.size() < kMaxLamps) lamps.push_back(outline.back());
  return lamps;
}

void TDengDaiState::RebuildLamps() {
  fLamps.clear();
  if (SpacingFactor <= 0) SpacingFactor = 1;
  const bool drawable = LampSize > 0 && LampSize <= kMaxLampSize;
  if (drawable && hasLampOutline(Owner()->TypeCode())) {
    TPoints outline;
    Owner()->GetFlatPath(outline);
    fLamps = PlaceLamps(outline, std::int64_t{LampSize} * SpacingFactor);
    ChargePoints(fLamps.size(), "lamp positions");
    ChargeMemory(fLamps.size() * sizeof(TPoint), "lamp positions");
  }
  fLampStamp.Resize(drawable ? LampSize : 0, drawable ? LampSize : 0);
  if (drawable) renderStamp();
  fLampStamp.DrawMode = dmBlend;
}

// A large disc resampled down gives a smoothly edged lamp of any size.
void TDengDaiState::renderStamp() {
  const TColor32 colour = Color32FromWinColor(LampColor);
  if (LampSize < 2) {
    fLampStamp.WritePixel(0, 0, colour);
    return;
  }
  TBitmap32 disc;
  disc.Resize(kLampDiscSize, kLampDiscSize);
  disc.Clear(0);
  const TFixed half = FixedFromInt(kLampDiscSize / 2);
  TGR32Graphics::DrawDot(disc, {half, half}, half, colour);
  disc.SetResampler(kLinearResampler);
  disc.StretchDrawToSurface(fLampStamp, fLampStamp.BoundsRect(), disc.BoundsRect());
}

void TDengDaiState::DrawFrame(TFrameDataLayers&, std::int32_t, TBitmap32& bitmap) {
  if (Owner()->GridRow() >= 0 || Owner()->GridColumn() >= 0) return;
  advance();
  drawPhase(bitmap, fPhase, PatternLength != 3);
}

// Phase 0 is shown HoldFrames times at the start, every later phase
// HoldFrames + 1 times; alternating chases flip every 101 calls.
void TDengDaiState::advance() {
  const std::int64_t lastPhase = std::int64_t{PatternLength} - 1;
  if (fPhase > lastPhase) fPhase = 0;
  if (fHold < HoldFrames) {
    ++fHold;
  } else {
    ++fPhase;
    if (fPhase > lastPhase) fPhase = 0;
    fHold = 0;
  }
  if (fAlternation < std::numeric_limits<std::int32_t>::max()) ++fAlternation;
  if (DirectionMode == 2) {
    if (fAlternation > 100) {
      fForward = fForward != 0 ? 0 : 1;
      fAlternation = 0;
    }
  } else {
    fForward = DirectionMode == 0 ? 1 : 0;
  }
}

std::vector<std::size_t> TDengDaiState::LitLamps(std::int32_t phase, bool fourLamps) const {
  std::vector<std::size_t> lit;
  const std::size_t n = fLamps.size();
  const bool forward = fForward != 0;
  for (std::size_t j = 0; j < n; ++j) {
    // Backward three-lamp chases are drawn from the last lamp to the first.
    const std::size_t i = !forward && !fourLamps ? n - 1 - j : j;
    const auto key = static_cast<std::int64_t>(forward ? i : n - i);
    const bool on = fourLamps ? fourLampLit(key, phase) : key % 3 == phase;
    if (on) lit.push_back(i);
  }
  return lit;
}

void TDengDaiState::drawPhase(TBitmap32& bitmap, std::int32_t phase, bool fourLamps) const {
  if (fLampStamp.IsEmpty()) return;
  for (const std::size_t i : LitLamps(phase, fourLamps)) drawLamp(bitmap, i);
}

void TDengDaiState::drawLamp(TBitmap32& bitmap, std::size_t i) const {
  const std::int32_t h = LampSize / 2;
  const TPoint& p = fLamps[i];
  const std::int64_t left = std::int64_t{p.X} - h;
  const std::int64_t top = std::int64_t{p.Y} - h;
  if (fLampMasks.empty()) {
    if (left < std::numeric_limits<std::int32_t>::min() || top < std::numeric_limits<std::int32_t>::min()) return;
    fLampStamp.DrawToSurface(bitmap, static_cast<std::int32_t>(left), static_cast<std::int32_t>(top));
    return;
  }
  const TByteMap& map = *fLampMasks[i];
  const TColor32 rgb = Color32FromWinColor(LampColor) & 0x00FFFFFF;
  const TRect part = stampOnSurface(left, top, map.Width(), map.Height(), bitmap);
  for (std::int32_t v = part.Top; v < part.Bottom; ++v) {
    const auto y = static_cast<std::int32_t>(top + v);
    for (std::int32_t u = part.Left; u < part.Right; ++u) {
      const std::uint8_t a = map.Value(u, v);
      if (a == 0) continue;
      TColor32* pixel = bitmap.PixelAddress(static_cast<std::int32_t>(left + u), y);
      *pixel = BlendReg((TColor32{a} << 24) | rgb, *pixel, 255);
    }
  }
}

// Mask pixels outside the mask bitmap count as transparent, so a lamp
// wholly outside it keeps an empty map.
void TDengDaiState::ApplyMask(TBitmap32& maskBitmap) {
  if (maskBitmap.IsEmpty() || fLamps.empty()) return;
  const std::int32_t h = LampSize / 2;
  std::vector<std::unique_ptr<TByteMap>> masks;
  masks.reserve(fLamps.size());
  for (const TPoint& p : fLamps) {
    const std::int64_t left = std::int64_t{p.X} - h;
    const std::int64_t top = std::int64_t{p.Y} - h;
    const TRect part = stampOnSurface(left, top, fLampStamp.Width(), fLampStamp.Height(), maskBitmap);
    auto map = std::make_unique<TByteMap>();
    if (!IsRectEmpty(part)) {
      map->SetSize(fLampStamp.Width(), fLampStamp.Height());
      map->Clear(0);
    }
    for (std::int32_t v = part.Top; v < part.Bottom; ++v) {
      for (std::int32_t u = part.Left; u < part.Right; ++u) {
        const std::uint32_t stamp = AlphaComponent(fLampStamp.ReadPixel(u, v));
        const std::uint32_t mask = AlphaComponent(
            maskBitmap.ReadPixel(static_cast<std::int32_t>(left + u), static_cast<std::int32_t>(top + v)));
        map->SetValue(u, v, static_cast<std::uint8_t>(RoundToInt(stamp * mask / 256.0)));
      }
    }
    masks.push_back(std::move(map));
  }
  fLampMasks = std::move(masks);
}

}  // namespace lumora
