// What the LED matrix and the swinging light share: an image drawn through
// the graphic's transformation, its rectangle as outline, and the mask map.
#pragma once

#include <memory>

#include "render/bitmap32.h"
#include "render/mask_maps.h"
#include "scene/graphic_base.h"

namespace lumora::image_graphic {

// A new image surface: linear resampling and blending, so that turned and
// scaled copies are smooth and keep their transparency.
void PrepareImage(TBitmap32& image);
// The graphic's working transformation with the image as source rectangle;
// the transformation is brought up to date first.
TAffineTransformation ImageTransformation(TGraphicBase& graphic, const TBitmap32& image);
// The general affine transfer of the image; an empty image draws nothing.
void TransformImage(TGraphicBase& graphic, TBitmap32& image, TBitmap32& bitmap);
// Through the mask map's weights; an empty image draws nothing.
void TransformImageThroughMask(TGraphicBase& graphic, TBitmap32& image, TBitmap32& bitmap, const TByteMap& mask);
// The alpha of every pixel of the mask bitmap, or none for an empty one.
std::unique_ptr<TByteMap> MaskMapFrom(const TBitmap32& maskBitmap);
// Whether (x, y) mapped back through the transformation lies in the image.
bool HitsImage(const TGraphicBase& graphic, const TBitmap32& image, std::int32_t x, std::int32_t y);
// The image rectangle's corners through the transformation, closed.
void ImageToCanvas(const TGraphicBase& graphic, const TBitmap32& image, TCanvas& canvas);
// The corners' box through the transformation.
TFixedRect TransformedImageBounds(const TGraphicBase& graphic, const TBitmap32& image);
// The pixels of the surface the image covers through the transformation.
std::uint64_t ImagePixelsOnSurface(const TGraphicBase& graphic, const TBitmap32& image, const TBitmap32& surface);
// The pixels of the surface the image may cover when turned to any angle
// about the graphic's pivot: the square around the pivot that holds its
// farthest corner.
std::uint64_t SwingPixelsOnSurface(const TGraphicBase& graphic, const TBitmap32& image, const TBitmap32& surface);

}  // namespace lumora::image_graphic
