#include "effects/led_graphic.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

#include "effects/image_graphic_p.h"
#include "grid/frame_data.h"
#include "io/stream.h"
#include "render/work_budget.h"
#include "scene/effect.h"

namespace lumora {

namespace {

// One side of the image: cells × pitch, 0 when either is not positive. A
// side beyond the largest LED image answers just past it, so that the
// product of a file's cell count and pitch cannot overflow.
std::int64_t imageSide(std::int64_t cells, std::int32_t cell, std::int32_t gap) {
  const std::int64_t pitch = std::int64_t{cell} + gap;
  if (cells <= 0 || pitch <= 0) return 0;
  if (cells > kMaxLEDImagePixels || pitch > kMaxLEDImagePixels) return kMaxLEDImagePixels + 1;
  return cells * pitch;
}

std::int32_t clampTo(std::int64_t v, std::int32_t limit) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, 0, limit));
}

}  // namespace

TLEDGraphic::TLEDGraphic(TView* view) : TGraphicBase(view) {
  SetTypeCode(kTypeCodeLED);
  image_graphic::PrepareImage(fImage);
}

void TLEDGraphic::ResetImage() {
  const std::int64_t w = imageSide(CellRange.ColumnCount(), CellWidth, GapX);
  const std::int64_t h = imageSide(CellRange.RowCount(), CellHeight, GapY);
  if (w > kMaxLEDImagePixels || h > kMaxLEDImagePixels || w * h > kMaxLEDImagePixels) {
    throw std::length_error("an LED image of " + std::to_string(w) + " x " + std::to_string(h) +
                            " pixels is too large");
  }
  fImage.Resize(static_cast<std::int32_t>(w), static_cast<std::int32_t>(h));
  fImage.Clear(kLEDUnpaintedColor);
}

void TLEDGraphic::ReadBody(TStreamReader& stream, TObjectBuilder& builder) {
  TGraphicBase::ReadBody(stream, builder);
  CellRange.Read(stream);
  stream.ReadS32(CellWidth);
  stream.ReadS32(CellHeight);
  stream.ReadS32(GapX);
  stream.ReadS32(GapY);
  stream.ReadU8(ReservedByte);
  stream.ReadBytes(ReservedBlock);
  try {
    ResetImage();
  } catch (const std::length_error& e) {
    stream.Fail(e.what());
  }
  OutlineChanged();
}

void TLEDGraphic::WriteBody(TStreamWriter& stream) {
  TGraphicBase::WriteBody(stream);
  CellRange.Write(stream);
  stream.WriteS32(CellWidth);
  stream.WriteS32(CellHeight);
  stream.WriteS32(GapX);
  stream.WriteS32(GapY);
  stream.WriteU8(ReservedByte);
  stream.WriteBytes(ReservedBlock);
}

void TLEDGraphic::DrawInColor(TBitmap32& bitmap, TWinColor) { drawImage(bitmap); }

// Cells the frame does not hold stay black; the loops run over the cells
// both have, so a huge range costs nothing.
void TLEDGraphic::paintCells(const TFrameData& frame) {
  fImage.Clear(clBlack32);
  const std::int64_t pitchX = std::int64_t{CellWidth} + GapX;
  const std::int64_t pitchY = std::int64_t{CellHeight} + GapY;
  const std::int32_t firstC = std::max(CellRange.FirstColumn, 0);
  const std::int32_t lastC = std::min(CellRange.LastColumn, frame.Columns() - 1);
  const std::int32_t firstR = std::max(CellRange.FirstRow, 0);
  const std::int32_t lastR = std::min(CellRange.LastRow, frame.Rows() - 1);
  for (std::int32_t c = firstC; c <= lastC; ++c) {
    for (std::int32_t r = firstR; r <= lastR; ++r) {
      const TColor32 colour = Color32FromWinColor(Effect().ChannelColor(frame.CellColor(r, c)));
      // The fill starts one pixel in, so that a gap of 0 cuts the last
      // column and row by one pixel at the image's edge.
      const std::int64_t left = (std::int64_t{c} - CellRange.FirstColumn) * pitchX + 1;
      const std::int64_t top = (std::int64_t{r} - CellRange.FirstRow) * pitchY + 1;
      fImage.FillRectClipped(clampTo(left, fImage.Width()), clampTo(top, fImage.Height()),
                             clampTo(left + CellWidth, fImage.Width()), clampTo(top + CellHeight, fImage.Height()),
                             colour);
    }
  }
}

void TLEDGraphic::DrawFrame(TFrameDataLayers& gridLayers, std::int32_t frame, TBitmap32& bitmap) {
  if (!HasOwnerGridLayer(*this, gridLayers)) {
    Draw(bitmap);
    return;
  }
  // A frame the grid layer does not have keeps the last image.
  if (const TFrameData* data = OwnerGridFrame(*this, gridLayers, frame); data != nullptr && !fImage.IsEmpty()) {
    paintCells(*data);
  }
  if (fMaskMap) {
    image_graphic::TransformImageThroughMask(*this, fImage, bitmap, *fMaskMap);
  } else {
    drawImage(bitmap);
  }
}

void TLEDGraphic::drawImage(TBitmap32& bitmap) {
  if (fImage.IsEmpty()) return;
  UpdateTransform();
  const TFloatMatrix& m = WorkTransform().Matrix();
  if (m[0][1] != 0 || m[1][0] != 0) {
    image_graphic::TransformImage(*this, fImage, bitmap);
  } else {
    stretchImage(bitmap);
  }
}

// Negative scales become flips of the image, so that the stretch always
// runs left to right and top to bottom; image and Scale are put back after.
void TLEDGraphic::stretchImage(TBitmap32& bitmap) {
  const TFloatPoint scale = Scale();
  const bool flipX = scale.X < 0;
  const bool flipY = scale.Y < 0;
  if (flipX) fImage.FlipHorizontal();
  if (flipY) fImage.FlipVertical();
  if (flipX || flipY) {
    SetScale({std::fabs(scale.X), std::fabs(scale.Y)});
    UpdateTransform();
  }
  const TFixedRect mapped = image_graphic::TransformedImageBounds(*this, fImage);
  const TFloatRect f = FloatRect(mapped);
  const TRect dstRect{RoundToInt(f.Left), RoundToInt(f.Top), RoundToInt(f.Right), RoundToInt(f.Bottom)};
  TRect clip;
  if (IntersectRectInclusive(clip, dstRect, bitmap.ClipRect()) && !IsRectEmpty(clip)) {
    StretchTransfer(bitmap, dstRect, clip, fImage, fImage.BoundsRect(), fImage.Resampler(), fImage.DrawMode,
                    fImage.OnPixelCombine);
  }
  if (flipX || flipY) {
    SetScale(scale);
    UpdateTransform();
  }
  if (flipX) fImage.FlipHorizontal();
  if (flipY) fImage.FlipVertical();
}

void TLEDGraphic::ApplyMask(TBitmap32& maskBitmap) {
  if (auto map = image_graphic::MaskMapFrom(maskBitmap)) fMaskMap = std::move(map);
}

// Each frame clears and paints the image, then blends it onto the surface.
void TLEDGraphic::SetCoverageFrozen(bool flag, TBitmap32& bitmap) {
  TGraphicBase::SetCoverageFrozen(flag, bitmap);
  if (!flag) {
    fMaskMap.reset();
    return;
  }
  UpdateTransform();
  const auto image = static_cast<std::uint64_t>(fImage.Width()) * static_cast<std::uint64_t>(fImage.Height());
  ChargeFramePixels(2 * image + image_graphic::ImagePixelsOnSurface(*this, fImage, bitmap), "an LED matrix");
}

void TLEDGraphic::Assign(TGraphicBase& source) {
  if (auto* led = dynamic_cast<TLEDGraphic*>(&source); led != nullptr && led != this) {
    fImage.Assign(led->fImage);
    CellRange = led->CellRange;
    CellWidth = led->CellWidth;
    CellHeight = led->CellHeight;
    GapX = led->GapX;
    GapY = led->GapY;
    ReservedByte = led->ReservedByte;
    ReservedBlock = led->ReservedBlock;
  }
  TGraphicBase::Assign(source);
}

std::unique_ptr<TGraphicBase> TLEDGraphic::Clone() {
  auto copy = std::make_unique<TLEDGraphic>(nullptr);
  copy->Assign(*this);
  return copy;
}

bool TLEDGraphic::HitTest(std::int32_t x, std::int32_t y) { return image_graphic::HitsImage(*this, fImage, x, y); }

void TLEDGraphic::DrawToCanvas(TCanvas& canvas) { image_graphic::ImageToCanvas(*this, fImage, canvas); }

void TLEDGraphic::GetBounds(TFixedRect& rect) {
  UpdateTransform();
  rect = image_graphic::TransformedImageBounds(*this, fImage);
}

}  // namespace lumora
