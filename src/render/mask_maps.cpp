#include "render/mask_maps.h"

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <string>

#include "render/memory_budget.h"

namespace lumora {

namespace {

void checkMapSize(std::int32_t width, std::int32_t height) {
  if (width > kMaxMapSide || height > kMaxMapSide || std::int64_t{width} * height > kMaxSurfacePixels) {
    throw std::runtime_error("Map size " + std::to_string(width) + " x " + std::to_string(height) +
                             " exceeds the limit");
  }
}

void checkChannel(TMapChannel channel) {
  if (channel > mcAverage) {
    throw std::invalid_argument("Unknown map channel " + std::to_string(static_cast<int>(channel)));
  }
}

std::uint8_t channelOf(TColor32 c, TMapChannel channel) {
  switch (channel) {
    case mcRed:
      return RedComponent(c);
    case mcGreen:
      return GreenComponent(c);
    case mcBlue:
      return BlueComponent(c);
    case mcAlpha:
      return AlphaComponent(c);
    case mcAverage:
      break;
  }
  return static_cast<std::uint8_t>((RedComponent(c) + GreenComponent(c) + BlueComponent(c)) / 3);
}

TColor32 withChannel(TColor32 c, TMapChannel channel, std::uint8_t v) {
  switch (channel) {
    case mcRed:
      return (c & 0xFF00FFFF) | (TColor32{v} << 16);
    case mcGreen:
      return (c & 0xFFFF00FF) | (TColor32{v} << 8);
    case mcBlue:
      return (c & 0xFFFFFF00) | v;
    case mcAlpha:
      return (c & 0x00FFFFFF) | (TColor32{v} << 24);
    case mcAverage:
      break;
  }
  return (c & 0xFF000000) | (TColor32{v} * 0x010101);
}

// The part of a mask whose bytes count as content.
TRect maskContent(const TByteMap& mask) {
  if (const auto* masked = dynamic_cast<const TMaskByteMap*>(&mask)) return masked->ValidRect();
  return mask.BoundsRect();
}

// Rectangles in 64 bits, so that offsets a caller passes cannot overflow
// before the result is cut to the maps and surfaces.
struct WideRect {
  std::int64_t left = 0;
  std::int64_t top = 0;
  std::int64_t right = 0;
  std::int64_t bottom = 0;
};

WideRect widen(const TRect& r) { return {r.Left, r.Top, r.Right, r.Bottom}; }

WideRect intersect(const WideRect& a, const WideRect& b) {
  return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
}

WideRect offset(const WideRect& r, std::int64_t dx, std::int64_t dy) {
  return {r.left + dx, r.top + dy, r.right + dx, r.bottom + dy};
}

bool isEmpty(const WideRect& r) { return r.left >= r.right || r.top >= r.bottom; }

// Only for rectangles already cut to a map or surface.
TRect narrow(const WideRect& r) {
  return {static_cast<std::int32_t>(r.left), static_cast<std::int32_t>(r.top), static_cast<std::int32_t>(r.right),
          static_cast<std::int32_t>(r.bottom)};
}

// Blends the rows of area (dst and mask coordinates) from src starting at from.
void blendRows(TBitmap32& dst, const TByteMap& mask, const TBitmap32& src, const TRect& area, const TPoint& from) {
  const auto width = static_cast<std::size_t>(area.Width());
  for (std::int32_t row = 0; row < area.Height(); ++row) {
    const std::uint8_t* weights = mask.ByteAddress(area.Left, area.Top + row);
    const TColor32* source = src.PixelAddress(from.X, from.Y + row);
    TColor32* target = dst.PixelAddress(area.Left, area.Top + row);
    for (std::size_t i = 0; i < width; ++i) {
      if (weights[i] != 0) target[i] = BlendPixel(source[i], target[i], weights[i]);
    }
  }
}

}  // namespace

void TCustomMap::SetSize(std::int32_t width, std::int32_t height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  checkMapSize(width, height);
  if (width == fWidth && height == fHeight) return;
  ChangeSize(width, height);
  fWidth = width;
  fHeight = height;
  Changed();
}

void TCustomMap::SetSizeFrom(const TObject* source) {
  if (source == nullptr) {
    SetSize(0, 0);
  } else if (const auto* map = dynamic_cast<const TCustomMap*>(source)) {
    SetSize(map->Width(), map->Height());
  } else if (const std::optional<TPoint> size = source->SizeForMaps()) {
    SetSize(size->X, size->Y);
  } else {
    throw std::runtime_error("Can't set size from '" + source->ClassName() + "'");
  }
}

void TCustomMap::Changed() {
  if (OnChange) OnChange();
}

void TCustomMap::ChangeSize(std::int32_t, std::int32_t) {}

void TByteMap::ChangeSize(std::int32_t width, std::int32_t height) {
  ChargeMemory(std::uint64_t{static_cast<std::uint32_t>(width)} * static_cast<std::uint32_t>(height), "a mask map");
  // A new store, so that a failed allocation keeps the old one.
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  fBytes = std::move(bytes);
}

void TByteMap::Clear(std::uint8_t value) {
  std::fill(fBytes.begin(), fBytes.end(), value);
  Changed();
}

void TByteMap::ReadFrom(const TBitmap32& surface, TMapChannel channel) {
  checkChannel(channel);
  SetSize(surface.Width(), surface.Height());
  const std::span<const TColor32> pixels = surface.Bits();
  std::transform(pixels.begin(), pixels.end(), fBytes.begin(),
                 [channel](TColor32 c) { return channelOf(c, channel); });
  Changed();
}

void TByteMap::WriteTo(TBitmap32& surface, TMapChannel channel) const {
  checkChannel(channel);
  surface.Resize(Width(), Height());
  const std::span<TColor32> pixels = surface.Bits();
  for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = withChannel(pixels[i], channel, fBytes[i]);
  surface.Changed();
}

void TMaskByteMap::SetSize(std::int32_t width, std::int32_t height) {
  TByteMap::SetSize(width, height);
  ResetValidRect();
}

void TMaskByteMap::SetValidRect(const TRect& r) {
  IntersectRectInclusive(fValidRect, r, BoundsRect());
  fValidRect256 = {fValidRect.Left << 8, fValidRect.Top << 8, fValidRect.Right << 8, fValidRect.Bottom << 8};
}

void TMaskByteMap::CropToContent() {
  TRect r = BoundsRect();
  auto rowHasContent = [this, &r](std::int32_t y) {
    const std::uint8_t* row = ByteAddress(r.Left, y);
    return std::any_of(row, row + r.Width(), [](std::uint8_t v) { return v != 0; });
  };
  auto columnHasContent = [this, &r](std::int32_t x) {
    for (std::int32_t y = r.Top; y < r.Bottom; ++y) {
      if (Value(x, y) != 0) return true;
    }
    return false;
  };
  while (r.Bottom > r.Top && !rowHasContent(r.Bottom - 1)) --r.Bottom;
  if (r.Bottom == r.Top) {
    fValidRect = {};
    return;
  }
  // A non-zero byte exists, so the remaining searches all stop.
  while (!rowHasContent(r.Top)) ++r.Top;
  while (!columnHasContent(r.Right - 1)) --r.Right;
  while (!columnHasContent(r.Left)) ++r.Left;
  fValidRect = r;
}

std::uint8_t TMaskByteMap::SampleNearest(std::int32_t x, std::int32_t y) const {
  return PtInRect(fValidRect, {x, y}) ? Value(x, y) : 0;
}

std::uint8_t TMaskByteMap::SampleMaskFixed(TFixed x, TFixed y) const {
  // 1/256 pixel units.
  const std::int64_t a = (std::int64_t{x} + 127) >> 8;
  const std::int64_t b = (std::int64_t{y} + 127) >> 8;
  if (a < fValidRect256.Left || b < fValidRect256.Top) return 0;
  const std::int32_t c = fValidRect.Right - 1;
  const std::int32_t d = fValidRect.Bottom - 1;
  const std::int64_t lastColumn = std::int64_t{c} * 256;
  const std::int64_t lastRow = std::int64_t{d} * 256;
  // ValidRect256 is never negative and ValidRect lies inside the map, so
  // every byte read below is inside the map.
  if (a < lastColumn && b < lastRow) {
    const auto px = static_cast<std::int32_t>(a >> 8);
    const auto py = static_cast<std::int32_t>(b >> 8);
    const auto& gamma = GammaTable();
    const std::int32_t wx = gamma[255 - (a & 255)];
    const std::int32_t wy = gamma[255 - (b & 255)];
    const std::uint8_t top = LerpByte(Value(px, py), Value(px + 1, py), wx);
    const std::uint8_t bottom = LerpByte(Value(px, py + 1), Value(px + 1, py + 1), wx);
    return LerpByte(top, bottom, wy);
  }
  if (a == lastColumn && b <= lastRow) return Value(c, static_cast<std::int32_t>(b >> 8));
  if (b == lastRow && a <= lastColumn) return Value(static_cast<std::int32_t>(a >> 8), d);
  return 0;
}

void TMaskByteMap::TransformFrom(const TMaskByteMap& src, TAffineTransformation& transformation, bool shrink,
                                 bool smooth) {
  TRect from = src.BoundsRect();
  if (shrink) from = InflateRect(from, -3, -3);
  IntersectRectInclusive(from, from, src.ValidRect());
  transformation.SrcRect = FloatRect(from);

  TRect area;
  if (!IntersectRectInclusive(area, transformation.TransformedBounds(), BoundsRect()) ||
      !IntersectRectInclusive(area, area, fValidRect) || IsRectEmpty(area)) {
    return;
  }
  for (std::int32_t y = area.Top; y < area.Bottom; ++y) {
    for (std::int32_t x = area.Left; x < area.Right; ++x) {
      if (smooth) {
        const TFixedPoint p = transformation.ReverseTransform(TFixedPoint{FixedFromInt(x), FixedFromInt(y)});
        SetValue(x, y, src.SampleMaskFixed(p.X, p.Y));
      } else {
        const TPoint p = transformation.ReverseTransform(TPoint{x, y});
        SetValue(x, y, src.SampleNearest(p.X, p.Y));
      }
    }
  }
  Changed();
}

void BlendThroughMask(TBitmap32* dst, std::int32_t x, std::int32_t y, const TByteMap* mask, const TRect& srcRect,
                      const TBitmap32* src, const TRect& maskRect) {
  if (dst == nullptr || src == nullptr || mask == nullptr || dst->IsEmpty() || src->IsEmpty() || mask->IsEmpty()) {
    return;
  }
  // Mask and destination share coordinates; the source rectangle is placed
  // with its top-left corner at (x, y).
  WideRect area = intersect(intersect(widen(maskRect), widen(maskContent(*mask))), widen(dst->BoundsRect()));
  const std::int64_t dx = std::int64_t{x} - srcRect.Left;
  const std::int64_t dy = std::int64_t{y} - srcRect.Top;
  area = intersect(area, offset(intersect(widen(srcRect), widen(src->BoundsRect())), dx, dy));
  if (isEmpty(area)) return;
  const WideRect from = offset(area, -dx, -dy);
  const TRect target = narrow(area);
  blendRows(*dst, *mask, *src, target, {static_cast<std::int32_t>(from.left), static_cast<std::int32_t>(from.top)});
  dst->Changed(target);
}

void TransformThroughMask(TBitmap32& dst, TBitmap32& src, TAffineTransformation& transformation,
                          const TByteMap& mask) {
  transformation.SrcRect = FloatRect(src.BoundsRect());
  SetBorderTransparent(src, src.BoundsRect());

  TRect area;
  if (!IntersectRectInclusive(area, transformation.TransformedBounds(), dst.BoundsRect()) ||
      !IntersectRectInclusive(area, area, maskContent(mask)) || IsRectEmpty(area)) {
    return;
  }
  for (std::int32_t y = area.Top; y < area.Bottom; ++y) {
    for (std::int32_t x = area.Left; x < area.Right; ++x) {
      const std::uint8_t m = mask.Value(x, y);
      if (m == 0) continue;
      const TFixedPoint p = transformation.ReverseTransform(TFixedPoint{FixedFromInt(x), FixedFromInt(y)});
      TColor32* pixel = dst.PixelAddress(x, y);
      *pixel = BlendPixel(src.SampleFixed(p.X, p.Y), *pixel, m);
    }
  }
  dst.Changed(area);
}

}  // namespace lumora
