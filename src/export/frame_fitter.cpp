#include "export/frame_fitter_p.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace lumora {

namespace {

// TBitmap32's pixels in memory: 0xAARRGGBB words, alpha ignored.
constexpr AVPixelFormat kBitmapFormat = AV_PIX_FMT_0RGB32;
constexpr TColor32 kOpaque = 0xFF000000;
// Full chroma on both sides: show outlines are thin coloured lines, which
// half-resolution chroma would smear while scaling.
constexpr int kFullChroma = SWS_FULL_CHR_H_INT | SWS_FULL_CHR_H_INP | SWS_ACCURATE_RND;
// Converting at the same size averages each pair of pixels into the
// chroma, which swscale does on its vector path: a tenth of an export's
// time less than reading full chroma first.
constexpr int kConvertFlags = SWS_BICUBIC;

ffmpeg::TFrame pictureFrame(std::int32_t width, std::int32_t height, AVPixelFormat format) {
  ffmpeg::TFrame frame = ffmpeg::NewFrame();
  frame->width = width;
  frame->height = height;
  frame->format = format;
  ffmpeg::Check(av_frame_get_buffer(frame.get(), 0), "out of memory for a picture");
  return frame;
}

const std::uint8_t* bytesOf(const TBitmap32& bitmap) {
  return reinterpret_cast<const std::uint8_t*>(bitmap.Bits().data());
}

int strideOf(const TBitmap32& bitmap) { return bitmap.Width() * static_cast<int>(sizeof(TColor32)); }

bool isYuv(AVPixelFormat format) {
  const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
  return descriptor != nullptr && (descriptor->flags & AV_PIX_FMT_FLAG_RGB) == 0;
}

// RGB to BT.709 limited-range YUV, the colours HD players assume and the
// encoders tag.
void useBt709(SwsContext& converter) {
  const int* coefficients = sws_getCoefficients(SWS_CS_ITU709);
  ffmpeg::Check(sws_setColorspaceDetails(&converter, coefficients, 1, coefficients, 0, 0, 1 << 16, 1 << 16),
                "cannot set up the colour conversion");
}

void copyOpaque(const std::uint8_t* pixels, int stride, AVFrame& out) {
  for (int y = 0; y < out.height; ++y) {
    const auto* from = reinterpret_cast<const TColor32*>(pixels + static_cast<std::ptrdiff_t>(y) * stride);
    auto* to = reinterpret_cast<TColor32*>(out.data[0] + static_cast<std::ptrdiff_t>(y) * out.linesize[0]);
    for (int x = 0; x < out.width; ++x) to[x] = from[x] | kOpaque;
  }
}

}  // namespace

TRect FitIntoBox(std::int32_t width, std::int32_t height, std::int32_t boxWidth, std::int32_t boxHeight) {
  const std::int64_t w = std::max(width, 1);
  const std::int64_t h = std::max(height, 1);
  std::int64_t fitWidth = boxWidth;
  std::int64_t fitHeight = boxHeight;
  // Rounded to the nearest pixel along the side that does not fill the box.
  if (w * boxHeight <= h * boxWidth) {
    fitWidth = (2 * w * boxHeight + h) / (2 * h);
  } else {
    fitHeight = (2 * h * boxWidth + w) / (2 * w);
  }
  const auto fw = static_cast<std::int32_t>(std::clamp<std::int64_t>(fitWidth, 1, boxWidth));
  const auto fh = static_cast<std::int32_t>(std::clamp<std::int64_t>(fitHeight, 1, boxHeight));
  const std::int32_t left = (boxWidth - fw) / 2;
  const std::int32_t top = (boxHeight - fh) / 2;
  return {left, top, left + fw, top + fh};
}

TFrameFitter::TFrameFitter(std::int32_t boxWidth, std::int32_t boxHeight, std::int32_t canvasWidth,
                           std::int32_t canvasHeight, AVPixelFormat format, TScaling scaling)
    : fBoxWidth(boxWidth),
      fBoxHeight(boxHeight),
      fScaleFlags((scaling == TScaling::Area ? SWS_AREA : SWS_BICUBIC) | kFullChroma),
      fCanvas(pictureFrame(canvasWidth, canvasHeight, kBitmapFormat)),
      fOutput(pictureFrame(canvasWidth, canvasHeight, format)) {
  if (format == AV_PIX_FMT_RGB32) return;
  fConverter.reset(sws_getContext(canvasWidth, canvasHeight, kBitmapFormat, canvasWidth, canvasHeight, format,
                                  kConvertFlags, nullptr, nullptr, nullptr));
  if (!fConverter) ffmpeg::Fail("cannot convert pictures to the encoder's pixel format");
  if (isYuv(format)) useBt709(*fConverter);
}

AVFrame& TFrameFitter::Fit(const TBitmap32& bitmap) {
  const TRect place = FitIntoBox(bitmap.Width(), bitmap.Height(), fBoxWidth, fBoxHeight);
  const bool fillsCanvas = place == TRect{0, 0, fCanvas->width, fCanvas->height} && bitmap.Width() == fCanvas->width &&
                           bitmap.Height() == fCanvas->height;
  if (fillsCanvas) {
    convert(bytesOf(bitmap), strideOf(bitmap));
  } else {
    placeOnCanvas(bitmap, place);
    convert(fCanvas->data[0], fCanvas->linesize[0]);
  }
  return *fOutput;
}

void TFrameFitter::placeOnCanvas(const TBitmap32& bitmap, const TRect& place) {
  if (place != fPlaced) {
    for (int y = 0; y < fCanvas->height; ++y) {
      auto* row = reinterpret_cast<TColor32*>(fCanvas->data[0] + static_cast<std::ptrdiff_t>(y) * fCanvas->linesize[0]);
      std::fill(row, row + fCanvas->width, kOpaque);
    }
    fPlaced = place;
  }
  if (place.Width() != bitmap.Width() || place.Height() != bitmap.Height()) {
    scaleInto(bitmap, place);
    return;
  }
  for (int y = 0; y < bitmap.Height(); ++y) {
    std::uint8_t* to = fCanvas->data[0] + static_cast<std::ptrdiff_t>(place.Top + y) * fCanvas->linesize[0] +
                       static_cast<std::ptrdiff_t>(place.Left) * sizeof(TColor32);
    std::memcpy(to, bitmap.PixelAddress(0, y), static_cast<std::size_t>(strideOf(bitmap)));
  }
}

void TFrameFitter::scaleInto(const TBitmap32& bitmap, const TRect& place) {
  fScaler.reset(sws_getCachedContext(fScaler.release(), bitmap.Width(), bitmap.Height(), kBitmapFormat, place.Width(),
                                     place.Height(), kBitmapFormat, fScaleFlags, nullptr, nullptr, nullptr));
  if (!fScaler)
    ffmpeg::Fail("cannot scale a frame of " + std::to_string(bitmap.Width()) + "x" + std::to_string(bitmap.Height()) +
                 " pixels");
  const std::uint8_t* source[4] = {bytesOf(bitmap), nullptr, nullptr, nullptr};
  const int sourceStride[4] = {strideOf(bitmap), 0, 0, 0};
  std::uint8_t* target[4] = {fCanvas->data[0] + static_cast<std::ptrdiff_t>(place.Top) * fCanvas->linesize[0] +
                                 static_cast<std::ptrdiff_t>(place.Left) * sizeof(TColor32),
                             nullptr, nullptr, nullptr};
  const int targetStride[4] = {fCanvas->linesize[0], 0, 0, 0};
  ffmpeg::Check(sws_scale(fScaler.get(), source, sourceStride, 0, bitmap.Height(), target, targetStride),
                "cannot scale a frame");
}

void TFrameFitter::convert(const std::uint8_t* pixels, int stride) {
  ffmpeg::Check(av_frame_make_writable(fOutput.get()), "out of memory for a picture");
  if (!fConverter) {
    copyOpaque(pixels, stride, *fOutput);
    return;
  }
  const std::uint8_t* source[4] = {pixels, nullptr, nullptr, nullptr};
  const int sourceStride[4] = {stride, 0, 0, 0};
  ffmpeg::Check(sws_scale(fConverter.get(), source, sourceStride, 0, fCanvas->height, fOutput->data, fOutput->linesize),
                "cannot convert a frame");
}

}  // namespace lumora
