#include <algorithm>
#include <array>
#include <cmath>

#include "effects/image_graphic_p.h"
#include "scene/frame_work.h"
#include "scene/view.h"

namespace lumora::image_graphic {

namespace {

std::array<TFloatPoint, 4> mappedCorners(const TGraphicBase& graphic, const TBitmap32& image) {
  const auto w = static_cast<float>(image.Width());
  const auto h = static_cast<float>(image.Height());
  const TAffineTransformation& t = graphic.WorkTransform();
  return {t.Transform(TFloatPoint{0, 0}), t.Transform(TFloatPoint{w, 0}), t.Transform(TFloatPoint{w, h}),
          t.Transform(TFloatPoint{0, h})};
}

}  // namespace

void PrepareImage(TBitmap32& image) {
  image.SetResampler(kLinearResampler);
  image.DrawMode = dmBlend;
}

TAffineTransformation ImageTransformation(TGraphicBase& graphic, const TBitmap32& image) {
  graphic.UpdateTransform();
  TAffineTransformation t = graphic.WorkTransform();
  t.SrcRect = FloatRect(image.BoundsRect());
  return t;
}

void TransformImage(TGraphicBase& graphic, TBitmap32& image, TBitmap32& bitmap) {
  if (image.IsEmpty()) return;
  TransformTo(bitmap, image, ImageTransformation(graphic, image));
}

void TransformImageThroughMask(TGraphicBase& graphic, TBitmap32& image, TBitmap32& bitmap, const TByteMap& mask) {
  if (image.IsEmpty()) return;
  TAffineTransformation t = ImageTransformation(graphic, image);
  TransformThroughMask(bitmap, image, t, mask);
}

std::unique_ptr<TByteMap> MaskMapFrom(const TBitmap32& maskBitmap) {
  if (maskBitmap.IsEmpty()) return nullptr;
  auto map = std::make_unique<TByteMap>();
  map->ReadFrom(maskBitmap, mcAlpha);
  return map;
}

bool HitsImage(const TGraphicBase& graphic, const TBitmap32& image, std::int32_t x, std::int32_t y) {
  const TFloatPoint p = graphic.WorkTransform().ReverseTransform(
      TFloatPoint{static_cast<float>(x), static_cast<float>(y)});
  return p.X >= 0 && p.Y >= 0 && p.X < static_cast<float>(image.Width()) && p.Y < static_cast<float>(image.Height());
}

void ImageToCanvas(const TGraphicBase& graphic, const TBitmap32& image, TCanvas& canvas) {
  const std::array<TFloatPoint, 4> c = mappedCorners(graphic, image);
  const std::array<TPoint, 4> points = {{{RoundToInt(c[0].X), RoundToInt(c[0].Y)},
                                         {RoundToInt(c[1].X), RoundToInt(c[1].Y)},
                                         {RoundToInt(c[2].X), RoundToInt(c[2].Y)},
                                         {RoundToInt(c[3].X), RoundToInt(c[3].Y)}}};
  canvas.Path.Polygon(points);
}

TFixedRect TransformedImageBounds(const TGraphicBase& graphic, const TBitmap32& image) {
  return FixedRect(PointsBounds(mappedCorners(graphic, image)));
}

std::uint64_t ImagePixelsOnSurface(const TGraphicBase& graphic, const TBitmap32& image, const TBitmap32& surface) {
  if (image.IsEmpty()) return 0;
  return PixelsOnSurface(RectFromFixedRect(TransformedImageBounds(graphic, image), RoundOutside), surface);
}

std::uint64_t SwingPixelsOnSurface(const TGraphicBase& graphic, const TBitmap32& image, const TBitmap32& surface) {
  if (image.IsEmpty()) return 0;
  const TFloatPoint pivot = graphic.WorkTransform().Transform(graphic.Pivot());
  double reach = 0;
  for (const TFloatPoint& c : mappedCorners(graphic, image)) {
    reach = std::max(reach, std::hypot(static_cast<double>(c.X) - pivot.X, static_cast<double>(c.Y) - pivot.Y));
  }
  const auto clamped = [](double v) { return static_cast<std::int32_t>(std::clamp(v, -2e9, 2e9)); };
  const TRect square{clamped(std::floor(pivot.X - reach)), clamped(std::floor(pivot.Y - reach)),
                     clamped(std::ceil(pivot.X + reach)), clamped(std::ceil(pivot.Y + reach))};
  return PixelsOnSurface(square, surface);
}

}  // namespace lumora::image_graphic
