#include "render/bitmap32.h"

#include <algorithm>
#include <new>
#include <stdexcept>
#include <utility>

#include "render/band_painter.h"
#include "render/memory_budget.h"

namespace lumora {

namespace {

TColor32 lerpColor(TColor32 u, TColor32 v, std::int32_t w) {
  return Color32(LerpByte(AlphaComponent(u), AlphaComponent(v), w), LerpByte(RedComponent(u), RedComponent(v), w),
                 LerpByte(GreenComponent(u), GreenComponent(v), w), LerpByte(BlueComponent(u), BlueComponent(v), w));
}

}  // namespace

void FillWords(std::span<TColor32> buffer, TColor32 value) { std::fill(buffer.begin(), buffer.end(), value); }

void TBitmap32::settlePending() const { fPending->Settle(); }

void TBitmap32::Resize(std::int32_t width, std::int32_t height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  const std::int64_t pixels = std::int64_t{width} * height;
  // Every empty size is (0, 0), so that asking for another one changes nothing.
  if (pixels == 0) {
    width = 0;
    height = 0;
  }
  if (width == fWidth && height == fHeight) return;
  if (pixels > kMaxSurfacePixels) throw std::runtime_error("Can't allocate the DIB handle");
  settle();
  ChargeMemory(static_cast<std::uint64_t>(pixels) * sizeof(TColor32), "a surface");
  std::vector<TColor32> bits;
  try {
    bits.resize(static_cast<std::size_t>(pixels));
  } catch (const std::bad_alloc&) {
    throw std::runtime_error("Can't allocate the DIB handle");
  }
  fBits = std::move(bits);
  forget();
  fWidth = width;
  fHeight = height;
  fClipRect = BoundsRect();
  Changed();
  if (OnResize) OnResize();
}

void TBitmap32::Assign(const TBitmap32& source) {
  if (&source == this) return;
  settle();
  source.settle();
  fBits = source.fBits;
  forget();
  fWidth = source.fWidth;
  fHeight = source.fHeight;
  fClipRect = source.fClipRect;
  DrawMode = source.DrawMode;
  CombineMode = source.CombineMode;
  MasterAlpha = source.MasterAlpha;
  OuterColor = source.OuterColor;
  OnPixelCombine = source.OnPixelCombine;
  fResampler = source.fResampler;
  Changed();
}

TRect TBitmap32::ClipRect256() const {
  return {fClipRect.Left << 8, fClipRect.Top << 8, fClipRect.Right << 8, fClipRect.Bottom << 8};
}

void TBitmap32::SetClipRect(const TRect& r) { IntersectRectInclusive(fClipRect, r, BoundsRect()); }

void TBitmap32::Clear(TColor32 c) {
  if (fClipRect == BoundsRect() && fRecorder != nullptr) {
    fRecorder->AddClear(c);
    Changed();
  } else if (fClipRect == BoundsRect()) {
    settle();
    if (!fUniform || fUniformColour != c) FillWords(fBits, c);
    fTracked = false;
    fUniform = true;
    fUniformColour = c;
    Changed();
  } else {
    FillRectClipped(fClipRect.Left, fClipRect.Top, fClipRect.Right, fClipRect.Bottom, c);
  }
}

void TBitmap32::SetAlphaAll(std::uint8_t alpha) {
  const TColor32 a = TColor32{alpha} << 24;
  for (TColor32& p : Bits()) p = (p & 0x00FFFFFF) | a;
  Changed();
}

void TBitmap32::WritePixelClipped(std::int32_t x, std::int32_t y, TColor32 c) {
  if (PtInRect(fClipRect, {x, y})) WritePixel(x, y, c);
}

TColor32 TBitmap32::SampleFixed(TFixed x, TFixed y) const {
  // 1/256 pixel units.
  const std::int64_t a = (std::int64_t{x} + 127) >> 8;
  const std::int64_t b = (std::int64_t{y} + 127) >> 8;
  const std::int64_t left = std::int64_t{fClipRect.Left} << 8;
  const std::int64_t top = std::int64_t{fClipRect.Top} << 8;
  const std::int64_t lastCol = std::int64_t{fClipRect.Right - 1} << 8;
  const std::int64_t lastRow = std::int64_t{fClipRect.Bottom - 1} << 8;
  if (a < left || b < top || a > lastCol || b > lastRow) return OuterColor;
  const auto px = static_cast<std::int32_t>(a >> 8);
  const auto py = static_cast<std::int32_t>(b >> 8);
  // On the last column or row there is no neighbour to mix with.
  if (a == lastCol || b == lastRow) return ReadPixel(px, py);
  const auto& gamma = GammaTable();
  const std::int32_t wx = gamma[255 - (a & 255)];
  const std::int32_t wy = gamma[255 - (b & 255)];
  const TColor32 upper = lerpColor(ReadPixel(px, py), ReadPixel(px + 1, py), wx);
  const TColor32 lower = lerpColor(ReadPixel(px, py + 1), ReadPixel(px + 1, py + 1), wx);
  return lerpColor(upper, lower, wy);
}

void TBitmap32::FillRectClipped(std::int32_t l, std::int32_t t, std::int32_t r, std::int32_t b, TColor32 c) {
  TRect area;
  if (!IntersectRectInclusive(area, {l, t, r, b}, fClipRect) || IsRectEmpty(area)) return;
  FillRectUnclipped(area.Left, area.Top, area.Right, area.Bottom, c);
}

void TBitmap32::FillRectUnclipped(std::int32_t l, std::int32_t t, std::int32_t r, std::int32_t b, TColor32 c) {
  if (l >= r || t >= b) return;
  for (std::int32_t y = t; y < b; ++y) FillWords({PixelAddress(l, y), static_cast<std::size_t>(r - l)}, c);
  Changed({l, t, r, b});
}

void TBitmap32::FrameRectClipped(std::int32_t l, std::int32_t t, std::int32_t r, std::int32_t b, TColor32 c) {
  if (l >= r || t >= b) return;
  {
    TUpdateBracket bracket(*this);
    FillRectClipped(l, t, r, t + 1, c);
    FillRectClipped(l, b - 1, r, b, c);
    FillRectClipped(l, t + 1, l + 1, b - 1, c);
    FillRectClipped(r - 1, t + 1, r, b - 1, c);
  }
  // The bracket kept the four fills quiet; one notification covers them.
  TRect area;
  if (IntersectRectInclusive(area, {l, t, r, b}, fClipRect) && !IsRectEmpty(area)) Changed(area);
}

void TBitmap32::FlipHorizontal() {
  for (std::int32_t y = 0; y < fHeight; ++y) std::reverse(PixelAddress(0, y), PixelAddress(0, y) + fWidth);
  Changed();
}

void TBitmap32::FlipVertical() {
  for (std::int32_t y = 0; y < fHeight / 2; ++y) {
    std::swap_ranges(PixelAddress(0, y), PixelAddress(0, y) + fWidth, PixelAddress(0, fHeight - 1 - y));
  }
  Changed();
}

void TBitmap32::SetResampler(const std::string& className) {
  if (className != kNearestResampler && className != kLinearResampler && className != kDraftResampler) {
    throw std::invalid_argument("Unknown resampler '" + className + "'");
  }
  fResampler = className;
}

void TBitmap32::EndUpdate() {
  if (fUpdateCount > 0) --fUpdateCount;
}

void TBitmap32::Changed(const TRect& area) {
  if (fUpdateCount == 0 && OnAreaChanged) OnAreaChanged(area);
}

void SetBorderTransparent(TBitmap32& surface, const TRect& r) {
  TRect area;
  if (!IntersectRectInclusive(area, r, surface.BoundsRect()) || IsRectEmpty(area)) return;
  auto clearAlpha = [&surface](std::int32_t x, std::int32_t y) {
    TColor32* p = surface.PixelAddress(x, y);
    *p &= 0x00FFFFFF;
  };
  for (std::int32_t x = area.Left; x < area.Right; ++x) {
    clearAlpha(x, area.Top);
    clearAlpha(x, area.Bottom - 1);
  }
  for (std::int32_t y = area.Top; y < area.Bottom; ++y) {
    clearAlpha(area.Left, y);
    clearAlpha(area.Right - 1, y);
  }
  surface.Changed(area);
}

}  // namespace lumora
