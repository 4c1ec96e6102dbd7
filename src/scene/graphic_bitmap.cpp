#include "scene/graphic_bitmap.h"

#include <algorithm>
#include <vector>

#include "io/stream.h"
#include "render/memory_budget.h"
#include "render/work_budget.h"
#include "scene/frame_work.h"

namespace lumora {

namespace {

constexpr std::uint8_t kTypeCodeBitmap = 7;
constexpr std::uint32_t kTintMode = 2;

// Key colours are stored red in the low byte; the outer colour keeps only
// red, green and blue.
TColor32 argbFromKey(std::uint32_t key) {
  return (key & 0xFF) << 16 | (key & 0xFF00) | (key >> 16 & 0xFF);
}

std::uint32_t keyFromArgb(TColor32 c) { return (c >> 16 & 0xFF) | (c & 0xFF00) | (c & 0xFF) << 16; }

bool intersect(TRect& result, const TRect& a, const TRect& b) {
  result = {std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right),
            std::min(a.Bottom, b.Bottom)};
  return result.Left < result.Right && result.Top < result.Bottom;
}

// Width and height checked against the cap; the picture is then charged
// to the memory budget as it is made, before its pixels are read.
void readPictureSize(TStreamReader& stream, std::int32_t& width, std::int32_t& height) {
  if (!stream.ReadS32(width) || !stream.ReadS32(height)) stream.Fail("a bitmap record is cut short");
  if (width < 0 || height < 0) stream.Fail("a bitmap with a negative size");
  const std::int64_t pixels = std::int64_t{width} * height;
  if (pixels > kMaxSurfacePixels) stream.Fail("a bitmap larger than the largest surface");
}

}  // namespace

TGraphicBitmap::TGraphicBitmap(TView* view) : TGraphicBase(view) {
  SetTypeCode(kTypeCodeBitmap);
  SetSelected(true);
  fPicture.OnResize = [this] { pictureChanged(); };
  fPicture.OnAreaChanged = [this](const TRect&) { pictureChanged(); };
}

TFloatRect TGraphicBitmap::sourceRect() const {
  return {0, 0, static_cast<float>(fPicture.Width() - 1), static_cast<float>(fPicture.Height() - 1)};
}

void TGraphicBitmap::pictureChanged() { WorkTransform().SrcRect = sourceRect(); }

TWinColor TGraphicBitmap::keyColour() const { return static_cast<TWinColor>(keyFromArgb(fPicture.OuterColor)); }

void TGraphicBitmap::setOuterFromKey(std::uint32_t key) { fPicture.OuterColor = argbFromKey(key); }

void TGraphicBitmap::Assign(TGraphicBase& source) {
  if (auto* bitmap = dynamic_cast<TGraphicBitmap*>(&source); bitmap != nullptr && bitmap != this) {
    fPicture.Assign(bitmap->fPicture);
  }
  TGraphicBase::Assign(source);
}

std::unique_ptr<TGraphicBase> TGraphicBitmap::Clone() {
  auto copy = std::make_unique<TGraphicBitmap>(nullptr);
  copy->Assign(*this);
  return copy;
}

bool TGraphicBitmap::HitTest(std::int32_t x, std::int32_t y) {
  const TFloatPoint p = WorkTransform().ReverseTransform(FloatPoint(TPoint{x, y}));
  return p.X >= 0 && p.X < fPicture.Width() && p.Y >= 0 && p.Y < fPicture.Height();
}

void TGraphicBitmap::SetCoverageFrozen(bool flag, TBitmap32& target) {
  TGraphicBase::SetCoverageFrozen(flag, target);
  if (!flag) {
    fCache.reset();
    return;
  }
  ComposeMatrix();
  WorkTransform().SrcRect = sourceRect();
  TRect r;
  if (fPicture.IsEmpty() || !intersect(r, WorkTransform().TransformedBounds(), target.ClipRect())) return;
  if (!fCache) fCache = std::make_unique<TMemMap>();
  TBitmap32 transformed;
  transformed.Resize(r.Right - r.Left, r.Bottom - r.Top);
  // What the rotated picture leaves uncovered stays transparent.
  transformed.Clear(0x00000000);
  fCacheLeft = r.Left;
  fCacheTop = r.Top;
  WorkTransform().Translate(static_cast<float>(-r.Left), static_cast<float>(-r.Top));
  transformed.DrawMode = fPicture.DrawMode;
  const TDrawMode drawMode = fPicture.DrawMode;
  fPicture.DrawMode = dmOpaque;
  fPicture.SetResampler(kDraftResampler);
  TransformTo(transformed, fPicture, WorkTransform());
  fPicture.DrawMode = drawMode;
  transformed.OuterColor = fPicture.OuterColor;
  fCache->Assign(transformed);
  fCache->DrawMode = dmBlend;
  // Each frame blends the cache, and a tinted one is recoloured first.
  const std::uint64_t cached = PixelsOnSurface(r, target);
  ChargeFramePixels(TintMode() == kTintMode ? 2 * cached : cached, "a picture");
}

void TGraphicBitmap::DrawToCanvas(TCanvas& canvas) {
  const TPoint corners[] = {{0, 0}, {fPicture.Width(), 0}, {fPicture.Width(), fPicture.Height()},
                            {0, fPicture.Height()}, {0, 0}};
  canvas.Path.Polygon(TransformPointsInt(corners));
}

void TGraphicBitmap::DrawInColor(TBitmap32& bitmap, TWinColor colour) {
  if (!fCache) {
    drawUncached(bitmap);
    return;
  }
  if (TintMode() == kTintMode) {
    const TColor32 rgb = Color32FromWinColor(colour) & 0x00FFFFFF;
    for (TColor32& pixel : fCache->Bits()) pixel = (pixel & 0xFF000000) | rgb;
  }
  fCache->DrawMapTo(&bitmap, fCacheLeft, fCacheTop);
}

// Rotated or skewed pictures go through the general transform; axis-aligned
// ones are stretched, mirrored pictures flipped once so that the scale
// becomes positive.
void TGraphicBitmap::drawUncached(TBitmap32& bitmap) {
  UpdateTransform();
  WorkTransform().SrcRect = sourceRect();
  if (fPicture.IsEmpty()) return;
  SetBorderTransparent(fPicture, fPicture.BoundsRect());
  const TFloatMatrix& m = WorkTransform().Matrix();
  if (m[1][0] != 0 || m[0][1] != 0) {
    TransformTo(bitmap, fPicture, WorkTransform());
    return;
  }
  if (Scale().X < 0) {
    fPicture.FlipHorizontal();
    SetScale({-Scale().X, Scale().Y});
  }
  if (Scale().Y < 0) {
    fPicture.FlipVertical();
    SetScale({Scale().X, -Scale().Y});
  }
  const TRect destination = WorkTransform().TransformedBounds(sourceRect());
  TRect clipped;
  if (!intersect(clipped, destination, bitmap.ClipRect())) return;
  StretchTransfer(bitmap, destination, clipped, fPicture, fPicture.BoundsRect(), fPicture.Resampler(),
                  fPicture.DrawMode, fPicture.OnPixelCombine);
}

void TGraphicBitmap::ApplyMask(TBitmap32& maskBitmap) {
  if (!fCache) return;
  for (std::int32_t i = 0; i < fCache->Height(); ++i) {
    for (std::int32_t j = 0; j < fCache->Width(); ++j) {
      const std::int64_t x = std::int64_t{fCacheLeft} + j;
      const std::int64_t y = std::int64_t{fCacheTop} + i;
      const bool inside = x >= 0 && x < maskBitmap.Width() && y >= 0 && y < maskBitmap.Height();
      const std::uint32_t a =
          inside ? AlphaComponent(maskBitmap.ReadPixel(static_cast<std::int32_t>(x), static_cast<std::int32_t>(y)))
                 : 0;
      TColor32& pixel = *fCache->PixelAddress(j, i);
      const std::int32_t alpha = std::min(255, RoundToInt(AlphaComponent(pixel) * a / 255.0));
      pixel = (pixel & 0x00FFFFFF) | static_cast<TColor32>(alpha) << 24;
    }
  }
}

void TGraphicBitmap::PrepareMaskMap(TMaskByteMap& map, const TBitmap32& surface) {
  map.SetSize(surface.Width(), surface.Height());
  map.Clear(0);
  map.ResetValidRect();
  TMaskByteMap alpha;
  alpha.SetSize(fPicture.Width(), fPicture.Height());
  alpha.ReadFrom(fPicture, mcAlpha);
  alpha.CropToContent();
  UpdateTransform();
  map.TransformFrom(alpha, WorkTransform(), true, false);
}

void TGraphicBitmap::GetBounds(TFixedRect& rect) {
  ComposeMatrix();
  const TFloatRect whole{0, 0, static_cast<float>(fPicture.Width()), static_cast<float>(fPicture.Height())};
  rect = FixedRect(WorkTransform().TransformedBounds(whole));
}

void TGraphicBitmap::ReadBody(TStreamReader& stream, TObjectBuilder& builder) {
  TGraphicBase::ReadBody(stream, builder);
  std::int32_t width = 0;
  std::int32_t height = 0;
  readPictureSize(stream, width, height);
  fPicture.Resize(width, height);
  if (!ReadU32Values(stream, fPicture.Bits())) stream.Fail("a bitmap's pixels are cut short");
  std::uint32_t key = 0;
  std::uint8_t transparent = 0;
  std::uint8_t drawMode = 0;
  if (!stream.ReadU32(key) || !stream.ReadU8(transparent) || !stream.ReadU8(drawMode)) {
    stream.Fail("a bitmap record is cut short");
  }
  if (drawMode > dmTransparent) stream.Fail("a bitmap with draw mode " + std::to_string(drawMode));
  setOuterFromKey(key);
  fPicture.DrawMode = static_cast<TDrawMode>(drawMode);
  if (fPicture.DrawMode == dmBlend) {
    fPicture.OuterColor = 0;
  } else {
    ApplyColorKey(fPicture, fPicture.OuterColor);
  }
  fPicture.Changed();
}

void TGraphicBitmap::WriteBody(TStreamWriter& stream) {
  TGraphicBase::WriteBody(stream);
  stream.WriteS32(fPicture.Width());
  stream.WriteS32(fPicture.Height());
  for (const TColor32 pixel : fPicture.Bits()) stream.WriteU32(pixel);
  stream.WriteU32(static_cast<std::uint32_t>(keyColour()));
  stream.WriteU8(fPicture.DrawMode == dmTransparent ? 1 : 0);
  stream.WriteU8(fPicture.DrawMode);
}

void TGraphicBitmap::ReadLegacyBody(TStreamReader& stream, TObjectBuilder&) {
  std::int32_t x = 0;
  std::int32_t y = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int32_t length = 0;
  if (!stream.ReadS32(x) || !stream.ReadS32(y) || !stream.ReadS32(width) || !stream.ReadS32(height) ||
      !stream.ReadS32(length)) {
    stream.Fail("an older bitmap record is cut short");
  }
  if (length < 0 || !stream.Has(static_cast<std::uint64_t>(length))) stream.Fail("an older bitmap's picture is cut short");
  SetPosition({static_cast<float>(x), static_cast<float>(y)});
  SetSize({static_cast<float>(width), static_cast<float>(height)});
  SetPivot({Size().X / 2, Size().Y / 2});
  // The file image is held beside the bytes read ahead while it decodes.
  const TMemoryCharge scratch(static_cast<std::uint64_t>(length), "an older bitmap's file");
  std::vector<std::uint8_t> file(static_cast<std::size_t>(length));
  stream.ReadBytes(file);
  try {
    fPicture.LoadFromBmp(file);
  } catch (const std::runtime_error& e) {
    stream.Fail(std::string("an older bitmap's picture: ") + e.what());
  }
  std::uint32_t key = 0;
  std::uint8_t transparent = 0;
  if (!stream.ReadU32(key) || !stream.ReadU8(transparent)) stream.Fail("an older bitmap record is cut short");
  fPicture.DrawMode = transparent == 1 ? dmTransparent : dmOpaque;
  setOuterFromKey(key);
  if (transparent == 1) ApplyColorKey(fPicture, fPicture.OuterColor);
  fPicture.Changed();
  SetGridLayer(0);
}

void TGraphicBitmap::WriteExport(TStreamWriter& stream) {
  TGraphicBase::WriteExport(stream);
  TRect bounds;
  GetIntBounds(bounds);
  stream.WriteS32(bounds.Left);
  stream.WriteS32(bounds.Top);
  stream.WriteS32(WrapSub(bounds.Right, bounds.Left));
  stream.WriteS32(WrapSub(bounds.Bottom, bounds.Top));
  const std::vector<std::uint8_t> file = fPicture.SaveToBmp();
  stream.WriteS32(static_cast<std::int32_t>(file.size()));
  stream.WriteBytes(file);
  stream.WriteU32(static_cast<std::uint32_t>(keyColour()));
  stream.WriteU8(fPicture.DrawMode == dmTransparent ? 1 : 0);
}

}  // namespace lumora
