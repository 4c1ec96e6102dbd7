// Drawing one TBitmap32 onto another: block transfers, stretching with the
// resamplers, and affine transformation.
#include <algorithm>
#include <bit>
#include <utility>
#include <cmath>
#include <vector>

#include "render/band_painter.h"
#include "render/band_steps_p.h"
#include "render/bitmap32.h"
#include "render/wide_math_p.h"

namespace lumora {

namespace {

using wide::ceilDiv;
using wide::floorDiv;
using wide::kOne;
using wide::Wide;
using bands::TPixelRows;
using bands::TSourceRows;
using bands::TTransfer;
using bands::TTransferKind;

// How a source pixel lands on a destination pixel under the settings the
// transfer took from its source; combine is only called in dmCustom.
class PixelCombiner {
 public:
  PixelCombiner(const TTransfer& t, const TPixelCombineEvent* combine)
      : fMode(t.Mode), fCombineMode(t.Combine), fMasterAlpha(t.MasterAlpha), fOuterColor(t.OuterColor), fCombine(combine) {}

  void apply(TColor32 f, TColor32& b) const {
    switch (fMode) {
      case dmOpaque:
        b = f;
        break;
      case dmBlend:
        // An opaque pixel at full master alpha replaces under both modes.
        if (fMasterAlpha == 255 && AlphaComponent(f) == 255) {
          b = f;
        } else {
          b = fCombineMode == cmMerge ? MergeReg(f, b, fMasterAlpha) : BlendReg(f, b, fMasterAlpha);
        }
        break;
      case dmTransparent:
        if (f != fOuterColor) b = f;
        break;
      case dmCustom:
        (*fCombine)(f, b, fMasterAlpha);
        break;
    }
  }

 private:
  TDrawMode fMode;
  TCombineMode fCombineMode;
  std::uint8_t fMasterAlpha;
  TColor32 fOuterColor;
  const TPixelCombineEvent* fCombine;
};

// A transfer from src in the mode, with the source's combine settings.
TTransfer transferFrom(const TBitmap32& src, TDrawMode mode, TTransferKind kind) {
  TTransfer t;
  t.Kind = kind;
  t.Source = &src;
  t.Mode = mode;
  t.Combine = src.CombineMode;
  t.MasterAlpha = src.MasterAlpha;
  t.OuterColor = src.OuterColor;
  return t;
}

// The two combines the frames use most, spelled out for the loops that
// run them per pixel: they give what PixelCombiner gives in their cases.
struct TCopyPixel {
  void operator()(TColor32 f, TColor32& b) const { b = f; }
};
struct TBlendPixel {
  void operator()(TColor32 f, TColor32& b) const { b = AlphaComponent(f) == 255 ? f : BlendReg(f, b, 255); }
};

// Calls body with the combine of the transfer's settings.
template <class TBody>
void withCombine(const TTransfer& t, const PixelCombiner& combiner, const TBody& body) {
  if (t.Mode == dmOpaque) {
    body(TCopyPixel{});
  } else if (t.Mode == dmBlend && t.MasterAlpha == 255 && t.Combine == cmBlend) {
    body(TBlendPixel{});
  } else {
    body([&combiner](TColor32 f, TColor32& b) { combiner.apply(f, b); });
  }
}

bool drawsNothing(const TTransfer& t, const TPixelCombineEvent& combine) {
  return (t.Mode == dmBlend && t.MasterAlpha == 0) || (t.Mode == dmCustom && !combine);
}

// The source pixels one destination pixel takes along one axis: count pixels
// from first, the first weighted firstWeight and the others restWeight. No
// pixels (count 0) leaves the destination pixel untouched.
struct Taps {
  std::int64_t first = 0;
  std::int64_t count = 0;
  std::uint64_t firstWeight = 1;
  std::uint64_t restWeight = 1;
  std::uint64_t total() const { return firstWeight + static_cast<std::uint64_t>(count - 1) * restWeight; }
};

// u is the sampling position in 16.16 where pixel i spans [i, i + 1); the
// source pixels lie in [lo, hi).
Taps nearestTaps(std::int64_t u, std::int64_t lo, std::int64_t hi) {
  const std::int64_t i = u >> 16;
  if (i < lo || i >= hi) return {};
  return {i, 1, 1, 1};
}

// Bilinear between the pixel centres around u, clamped to the edge pixels.
Taps linearTaps(std::int64_t u, std::int64_t lo, std::int64_t hi) {
  const std::int64_t s = std::clamp(u - kFixedHalf, lo * kOne, (hi - 1) * kOne);
  std::int64_t i = s >> 16;
  std::uint64_t w = ((s & 0xFFFF) + 128) >> 8;
  if (w == 256) {
    ++i;
    w = 0;
  }
  if (w == 0) return {i, 1, 1, 1};
  return {i, 2, 256 - w, w};
}

// The plain average of the pixels whose centres lie in [uLo, uHi); when the
// edge cuts them all away, the edge pixel nearest to uLo.
Taps boxTaps(std::int64_t uLo, std::int64_t uHi, std::int64_t lo, std::int64_t hi) {
  const std::int64_t first = std::max(ceilDiv(uLo - kFixedHalf, kOne), lo);
  const std::int64_t end = std::min(ceilDiv(uHi - kFixedHalf, kOne), hi);
  if (first < end) return {first, end - first, 1, 1};
  return {std::clamp(uLo >> 16, lo, hi - 1), 1, 1, 1};
}

// The weighted average of the source pixels named by the taps of both axes.
bool sampleTaps(const TSourceRows& src, const Taps& tx, const Taps& ty, TColor32& out) {
  if (tx.count == 0 || ty.count == 0) return false;
  const auto x0 = static_cast<std::int32_t>(tx.first);
  const auto y0 = static_cast<std::int32_t>(ty.first);
  if (tx.count == 1 && ty.count == 1) {
    out = *src.Pixel(x0, y0);
    return true;
  }
  std::uint64_t sums[4] = {};
  for (std::int64_t j = 0; j < ty.count; ++j) {
    const std::uint64_t wy = j == 0 ? ty.firstWeight : ty.restWeight;
    const TColor32* row = src.Pixel(x0, static_cast<std::int32_t>(ty.first + j));
    for (std::int64_t i = 0; i < tx.count; ++i) {
      const std::uint64_t w = (i == 0 ? tx.firstWeight : tx.restWeight) * wy;
      const TColor32 p = row[i];
      for (int c = 0; c < 4; ++c) sums[c] += ((p >> (8 * c)) & 0xFF) * w;
    }
  }
  const std::uint64_t total = tx.total() * ty.total();
  out = 0;
  // Bilinear weights total a power of two, where a shift rounds as the
  // division does at a fraction of its cost.
  if ((total & (total - 1)) == 0) {
    const int shift = std::countr_zero(total);
    for (int c = 0; c < 4; ++c) out |= static_cast<TColor32>((sums[c] + total / 2) >> shift) << (8 * c);
    return true;
  }
  for (int c = 0; c < 4; ++c) out |= static_cast<TColor32>((sums[c] + total / 2) / total) << (8 * c);
  return true;
}

// A tap of the linear resampler with both pixels spelled out, a lone pixel
// as weights 256 and 0: every sample then totals 65536, and since the taps
// total 1 or 256 along each axis, rounding comes out as sampleTaps rounds.
struct TLinearTap {
  std::int32_t First = 0;
  std::int32_t Second = 0;
  std::uint64_t FirstWeight = 256;
  std::uint64_t SecondWeight = 0;
};

TLinearTap linearTap(const Taps& t) {
  const auto first = static_cast<std::int32_t>(t.first);
  if (t.count == 1) return {first, first, 256, 0};
  return {first, first + 1, t.firstWeight, t.restWeight};
}

// The channels of a pixel two to a 64-bit word, each in 32 bits where a
// weighted sum of 65536 stays exact: blue and red, green and alpha.
std::uint64_t blueRed(TColor32 p) { return (p & 0xFF) | (std::uint64_t{p & 0xFF0000} << 16); }
std::uint64_t greenAlpha(TColor32 p) { return ((p >> 8) & 0xFF) | (std::uint64_t{p & 0xFF000000} << 8); }

// The sample from the channel sums of its four taps, which total 65536.
TColor32 packLinear(std::uint64_t blueRedSum, std::uint64_t greenAlphaSum) {
  constexpr std::uint64_t kHalf = 0x0000800000008000;
  constexpr std::uint64_t kBytes = 0x000000FF000000FF;
  const std::uint64_t br = ((blueRedSum + kHalf) >> 16) & kBytes;
  const std::uint64_t ga = ((greenAlphaSum + kHalf) >> 16) & kBytes;
  return static_cast<TColor32>(br | (br >> 16) | (ga << 8) | (ga >> 8));
}

enum class ResamplerKind { Nearest, Linear, Draft };

ResamplerKind resamplerKind(const std::string& name) {
  if (name == kLinearResampler) return ResamplerKind::Linear;
  if (name == kDraftResampler) return ResamplerKind::Draft;
  return ResamplerKind::Nearest;
}

// One axis of a stretch: dstLen destination pixels take srcLen source pixels
// from srcStart, the available ones lying in [lo, hi).
struct StretchAxis {
  std::int64_t dstStart, dstLen, srcStart, srcLen, lo, hi;

  // Where the edge at destination offset k (in 1/2 pixels) maps, in 16.16.
  std::int64_t map(std::int64_t halfPixels) const {
    return srcStart * kOne + floorDiv(Wide{halfPixels} * srcLen * kOne, 2 * dstLen);
  }

  Taps taps(ResamplerKind kind, std::int64_t d) const {
    const std::int64_t k = d - dstStart;
    const std::int64_t centre = map(2 * k + 1);
    switch (kind) {
      case ResamplerKind::Nearest:
        return nearestTaps(centre, lo, hi);
      case ResamplerKind::Draft:
        if (srcLen > dstLen) return boxTaps(map(2 * k), map(2 * k + 2), lo, hi);
        return linearTaps(centre, lo, hi);
      case ResamplerKind::Linear:
        break;
    }
    return linearTaps(centre, lo, hi);
  }
};

// dst pixel (x, y) of area takes source pixel (x + dx, y + dy) where that lies in srcArea.
template <class TCombine>
void blockTransfer(const TPixelRows& dst, const TRect& area, const TSourceRows& src, const TRect& srcArea,
                   std::int64_t dx, std::int64_t dy, const TCombine& combine) {
  const std::int64_t left = std::max<std::int64_t>(area.Left, srcArea.Left - dx);
  const std::int64_t right = std::min<std::int64_t>(area.Right, srcArea.Right - dx);
  const std::int64_t top = std::max<std::int64_t>(area.Top, srcArea.Top - dy);
  const std::int64_t bottom = std::min<std::int64_t>(area.Bottom, srcArea.Bottom - dy);
  for (std::int64_t y = top; y < bottom; ++y) {
    const TColor32* from = src.Pixel(static_cast<std::int32_t>(left + dx), static_cast<std::int32_t>(y + dy));
    TColor32* to = dst.Pixel(static_cast<std::int32_t>(left), static_cast<std::int32_t>(y));
    for (std::int64_t x = left; x < right; ++x) combine(*from++, *to++);
  }
}

// The linear resampler, one axis after the other: each destination row
// first mixes its two source rows over the columns the taps read, exactly
// (the sums are not rounded), then each pixel mixes two of those columns.
template <class TCombine>
void linearTransfer(const TPixelRows& dst, const TRect& area, const TSourceRows& src, const StretchAxis& ax,
                    const StretchAxis& ay, const TCombine& combine) {
  std::vector<TLinearTap> columns;
  columns.reserve(static_cast<std::size_t>(area.Width()));
  for (std::int32_t x = area.Left; x < area.Right; ++x) columns.push_back(linearTap(ax.taps(ResamplerKind::Linear, x)));
  std::int32_t first = columns.front().First;
  std::int32_t last = columns.front().Second;
  for (const TLinearTap& tx : columns) {
    first = std::min(first, tx.First);
    last = std::max(last, tx.Second);
  }
  const auto width = static_cast<std::size_t>(last - first + 1);
  std::vector<std::uint64_t> blueRedMix(width);
  std::vector<std::uint64_t> greenAlphaMix(width);
  for (std::int32_t y = area.Top; y < area.Bottom; ++y) {
    const TLinearTap ty = linearTap(ay.taps(ResamplerKind::Linear, y));
    const TColor32* upper = src.Pixel(first, ty.First);
    const TColor32* lower = src.Pixel(first, ty.Second);
    for (std::size_t i = 0; i < width; ++i) {
      blueRedMix[i] = blueRed(upper[i]) * ty.FirstWeight + blueRed(lower[i]) * ty.SecondWeight;
      greenAlphaMix[i] = greenAlpha(upper[i]) * ty.FirstWeight + greenAlpha(lower[i]) * ty.SecondWeight;
    }
    TColor32* to = dst.Pixel(area.Left, y);
    for (const TLinearTap& tx : columns) {
      const auto a = static_cast<std::size_t>(tx.First - first);
      const auto b = static_cast<std::size_t>(tx.Second - first);
      combine(packLinear(blueRedMix[a] * tx.FirstWeight + blueRedMix[b] * tx.SecondWeight,
                                greenAlphaMix[a] * tx.FirstWeight + greenAlphaMix[b] * tx.SecondWeight),
                     *to++);
    }
  }
}

template <class TCombine>
void resampledTransfer(const TPixelRows& dst, const TRect& area, const TSourceRows& src, const StretchAxis& ax,
                       const StretchAxis& ay, ResamplerKind kind, const TCombine& combine) {
  if (kind == ResamplerKind::Linear) {
    linearTransfer(dst, area, src, ax, ay, combine);
    return;
  }
  std::vector<Taps> columns;
  columns.reserve(static_cast<std::size_t>(area.Width()));
  for (std::int32_t x = area.Left; x < area.Right; ++x) columns.push_back(ax.taps(kind, x));
  for (std::int32_t y = area.Top; y < area.Bottom; ++y) {
    const Taps ty = ay.taps(kind, y);
    TColor32* to = dst.Pixel(area.Left, y);
    for (const Taps& tx : columns) {
      TColor32 f;
      if (sampleTaps(src, tx, ty, f)) combine(f, *to);
      ++to;
    }
  }
}

// The source pixels a transformation may read: its source rectangle rounded
// outwards and cut to the source.
TRect sourcePixels(const TFloatRect& r, const TBitmap32& src) {
  const TRect outer{TruncToInt(std::floor(r.Left)), TruncToInt(std::floor(r.Top)), TruncToInt(std::ceil(r.Right)),
                    TruncToInt(std::ceil(r.Bottom))};
  TRect result;
  IntersectRectInclusive(result, outer, src.BoundsRect());
  return result;
}

// False for NaN as well.
bool insideRect(double left, double top, double right, double bottom, double x, double y) {
  return x >= left && x < right && y >= top && y < bottom;
}

// The taps of one axis of a transformation at source position u (16.16);
// footprint is the source extent of one destination pixel along this axis.
Taps transformTaps(ResamplerKind kind, std::int64_t u, double footprint, std::int64_t lo, std::int64_t hi) {
  switch (kind) {
    case ResamplerKind::Nearest:
      return nearestTaps(u, lo, hi);
    case ResamplerKind::Draft:
      if (footprint > 1) {
        // No box is wider than the largest surface.
        const auto half = static_cast<std::int64_t>(std::min(footprint, double{1 << 30}) * kOne / 2);
        return boxTaps(u - half, u + half, lo, hi);
      }
      return linearTaps(u, lo, hi);
    case ResamplerKind::Linear:
      break;
  }
  return linearTaps(u, lo, hi);
}

// Every destination pixel of area whose centre maps into the source
// rectangle takes the source sampled there.
template <class TCombine>
void transformRows(const TPixelRows& dst, const TRect& area, const TTransfer& t, const TCombine& combine) {
  const TSourceRows& src = t.Pixels;
  const auto kind = static_cast<ResamplerKind>(t.Resampler);
  const TFloatMatrix& inv = t.Inverse;
  const TFloatRect& srcRect = t.SourceRect;
  const TRect& pixels = t.SourceArea;
  const double footprintX = std::fabs(inv[0][0]) + std::fabs(inv[1][0]);
  const double footprintY = std::fabs(inv[0][1]) + std::fabs(inv[1][1]);
  for (std::int32_t y = area.Top; y < area.Bottom; ++y) {
    const double cy = y + 0.5;
    for (std::int32_t x = area.Left; x < area.Right; ++x) {
      const double cx = x + 0.5;
      const double u = inv[0][0] * cx + inv[1][0] * cy + inv[2][0];
      const double v = inv[0][1] * cx + inv[1][1] * cy + inv[2][1];
      if (!insideRect(srcRect.Left, srcRect.Top, srcRect.Right, srcRect.Bottom, u, v) ||
          !insideRect(pixels.Left, pixels.Top, pixels.Right, pixels.Bottom, u, v)) {
        continue;
      }
      const auto fu = static_cast<std::int64_t>(std::floor(u * kOne));
      const auto fv = static_cast<std::int64_t>(std::floor(v * kOne));
      const Taps tx = transformTaps(kind, fu, footprintX, pixels.Left, pixels.Right);
      const Taps ty = transformTaps(kind, fv, footprintY, pixels.Top, pixels.Bottom);
      TColor32 f;
      if (sampleTaps(src, tx, ty, f)) combine(f, *dst.Pixel(x, y));
    }
  }
}

// The rows of area, which lies inside the transfer's own area.
void paintTransfer(const TPixelRows& dst, const TRect& area, const TTransfer& t, const TPixelCombineEvent* combine) {
  const PixelCombiner combiner(t, combine);
  withCombine(t, combiner, [&](const auto& pixelCombine) {
    switch (t.Kind) {
      case TTransferKind::Block:
        blockTransfer(dst, area, t.Pixels, t.SourceArea, t.DX, t.DY, pixelCombine);
        break;
      case TTransferKind::Stretch: {
        const StretchAxis ax{t.DstRect.Left, std::int64_t{t.DstRect.Right} - t.DstRect.Left, t.SrcRect.Left,
                             std::int64_t{t.SrcRect.Right} - t.SrcRect.Left, t.SourceArea.Left, t.SourceArea.Right};
        const StretchAxis ay{t.DstRect.Top, std::int64_t{t.DstRect.Bottom} - t.DstRect.Top, t.SrcRect.Top,
                             std::int64_t{t.SrcRect.Bottom} - t.SrcRect.Top, t.SourceArea.Top, t.SourceArea.Bottom};
        resampledTransfer(dst, area, t.Pixels, ax, ay, static_cast<ResamplerKind>(t.Resampler), pixelCombine);
        break;
      }
      case TTransferKind::Transform:
        transformRows(dst, area, t, pixelCombine);
        break;
    }
  });
}

// A band painter recording into dst keeps the transfer for later when it
// can; otherwise it is painted now.
void transfer(TBitmap32& dst, TTransfer& t, const TPixelCombineEvent& combine) {
  TBandPainter* recorder = dst.Recorder();
  const bool kept = recorder != nullptr && bands::CanWait(t.Mode) && recorder->AddTransfer(t);
  if (!kept) {
    t.Pixels = {std::as_const(*t.Source).Bits().data(), t.Source->Width()};
    const std::span<TColor32> bits = dst.Bits();
    paintTransfer({bits.data(), dst.Width(), dst.Height()}, t.Area, t, &combine);
  }
  dst.Changed(t.Area);
}

}  // namespace

namespace bands {

void PaintTransferRows(const TBand& band, const TTransfer& transfer) {
  TRect area = transfer.Area;
  area.Top = std::max(area.Top, band.Top);
  area.Bottom = std::min(area.Bottom, band.Bottom);
  if (area.Top >= area.Bottom) return;
  paintTransfer(band.Rows, area, transfer, nullptr);
  for (std::int32_t y = area.Top; y < area.Bottom; ++y) band.MarkWritten(y, area.Left, area.Right);
}

}  // namespace bands

void StretchTransfer(TBitmap32& dst, const TRect& dstRect, const TRect& dstClip, const TBitmap32& src,
                     const TRect& srcRect, const std::string& resampler, TDrawMode drawMode,
                     const TPixelCombineEvent& combine) {
  TTransfer t = transferFrom(src, drawMode, TTransferKind::Stretch);
  TRect srcArea;
  if (drawsNothing(t, combine) || IsRectEmpty(dstRect) || IsRectEmpty(srcRect) ||
      !IntersectRectInclusive(t.Area, dstClip, dst.BoundsRect()) || !IntersectRectInclusive(t.Area, t.Area, dstRect) ||
      IsRectEmpty(t.Area) || !IntersectRectInclusive(srcArea, srcRect, src.BoundsRect()) || IsRectEmpty(srcArea)) {
    return;
  }
  t.SourceArea = srcArea;
  t.DstRect = dstRect;
  t.SrcRect = srcRect;
  t.Resampler = static_cast<std::uint8_t>(resamplerKind(resampler));
  if (std::int64_t{dstRect.Right} - dstRect.Left == std::int64_t{srcRect.Right} - srcRect.Left &&
      std::int64_t{dstRect.Bottom} - dstRect.Top == std::int64_t{srcRect.Bottom} - srcRect.Top) {
    t.Kind = TTransferKind::Block;
    t.DX = std::int64_t{srcRect.Left} - dstRect.Left;
    t.DY = std::int64_t{srcRect.Top} - dstRect.Top;
  }
  transfer(dst, t, combine);
}

void TBitmap32::DrawToSurface(TBitmap32& dst, std::int32_t x, std::int32_t y) const {
  TTransfer t = transferFrom(*this, DrawMode, TTransferKind::Block);
  if (drawsNothing(t, OnPixelCombine) || IsEmpty()) return;
  const TRect& clip = dst.ClipRect();
  t.Area = {std::max(clip.Left, x), std::max(clip.Top, y),
            static_cast<std::int32_t>(std::min<std::int64_t>(clip.Right, std::int64_t{x} + fWidth)),
            static_cast<std::int32_t>(std::min<std::int64_t>(clip.Bottom, std::int64_t{y} + fHeight))};
  if (IsRectEmpty(t.Area)) return;
  t.SourceArea = BoundsRect();
  t.DX = -std::int64_t{x};
  t.DY = -std::int64_t{y};
  transfer(dst, t, OnPixelCombine);
}

void TBitmap32::StretchDrawToSurface(TBitmap32& dst, const TRect& dstRect, const TRect& srcRect) const {
  StretchTransfer(dst, dstRect, dst.ClipRect(), *this, srcRect, fResampler, DrawMode, OnPixelCombine);
}

void TransformTo(TBitmap32& dst, const TBitmap32& src, const TAffineTransformation& transformation) {
  TTransfer t = transferFrom(src, src.DrawMode, TTransferKind::Transform);
  t.SourceRect = transformation.SrcRect;
  t.SourceArea = sourcePixels(t.SourceRect, src);
  if (drawsNothing(t, src.OnPixelCombine) || IsRectEmpty(t.SourceArea) ||
      !IntersectRectInclusive(t.Area, transformation.TransformedBounds(), dst.ClipRect()) || IsRectEmpty(t.Area)) {
    return;
  }
  t.Resampler = static_cast<std::uint8_t>(resamplerKind(src.Resampler()));
  t.Inverse = MatrixInvert(transformation.Matrix());
  transfer(dst, t, src.OnPixelCombine);
}

}  // namespace lumora
