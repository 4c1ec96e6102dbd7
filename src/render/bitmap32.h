// TBitmap32: the 32-bit ARGB raster surface every frame, layer picture,
// bitmap object and lamp sprite lives in.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "render/color32.h"
#include "render/geometry.h"
#include "render/matrix.h"
#include "render/object.h"

namespace lumora {

class TBandPainter;

enum TDrawMode : std::uint8_t { dmOpaque = 0, dmBlend = 1, dmCustom = 2, dmTransparent = 3 };
enum TCombineMode : std::uint8_t { cmBlend = 0, cmMerge = 1 };
// 0 even-odd (alternate), 1 non-zero (winding).
enum TPolyFillMode : std::uint8_t { pfAlternate = 0, pfWinding = 1 };

// Per-pixel combine callback of dmCustom: combines F into B with master alpha M.
using TPixelCombineEvent = std::function<void(TColor32 f, TColor32& b, std::uint8_t m)>;

// The resamplers a surface can be given, by their class names.
inline constexpr const char* kNearestResampler = "TNearestResampler";
inline constexpr const char* kLinearResampler = "TLinearResampler";
inline constexpr const char* kDraftResampler = "TDraftResampler";

class TBitmap32 : public TObject {
 public:
  TBitmap32() = default;
  // Paints still waiting to use the surface land first.
  ~TBitmap32() override { settle(); }
  std::string ClassName() const override { return "TBitmap32"; }
  TBitmap32(const TBitmap32&) = delete;
  TBitmap32& operator=(const TBitmap32&) = delete;

  // Negative sizes count as 0; a new size gets a new, uninitialised pixel
  // store and the clip rectangle reset to the bounds.
  void Resize(std::int32_t width, std::int32_t height);
  // The same size, pixels, draw settings and resampler as another surface.
  void Assign(const TBitmap32& source);
  bool IsEmpty() const { return fBits.empty(); }
  std::int32_t Width() const { return fWidth; }
  std::int32_t Height() const { return fHeight; }
  TRect BoundsRect() const { return {0, 0, fWidth, fHeight}; }

  const TRect& ClipRect() const { return fClipRect; }
  TFixedRect FixedClipRect() const { return FixedRect(fClipRect); }
  // The clip rectangle in 1/256 pixel units.
  TRect ClipRect256() const;
  void SetClipRect(const TRect& r);
  void ResetClipRect() { SetClipRect(BoundsRect()); }

  void Clear(TColor32 c = clBlack32);
  void SetAlphaAll(std::uint8_t alpha);

  // Unchecked access; the caller keeps (x, y) inside the surface. Any
  // access first lets the paints that wait on the surface land; mutable
  // access forgets what was known of the pixels (one colour throughout,
  // or what a band painter last left).
  TColor32* PixelAddress(std::int32_t x, std::int32_t y) {
    settle();
    forget();
    return fBits.data() + static_cast<std::size_t>(y) * fWidth + x;
  }
  const TColor32* PixelAddress(std::int32_t x, std::int32_t y) const {
    settle();
    return fBits.data() + static_cast<std::size_t>(y) * fWidth + x;
  }
  TColor32 ReadPixel(std::int32_t x, std::int32_t y) const { return *PixelAddress(x, y); }
  void WritePixel(std::int32_t x, std::int32_t y, TColor32 c) { *PixelAddress(x, y) = c; }
  std::span<TColor32> Bits() {
    settle();
    forget();
    return fBits;
  }
  std::span<const TColor32> Bits() const {
    settle();
    return fBits;
  }

  // The band painter recording into this surface, or none: drawing calls
  // that can wait hand it their work instead of painting (band_painter.h).
  TBandPainter* Recorder() const { return fRecorder; }

  void WritePixelClipped(std::int32_t x, std::int32_t y, TColor32 c);
  // Bilinear sample at a 16.16 position; OuterColor outside the clip rectangle.
  TColor32 SampleFixed(TFixed x, TFixed y) const;

  void FillRectClipped(std::int32_t l, std::int32_t t, std::int32_t r, std::int32_t b, TColor32 c);
  void FillRectUnclipped(std::int32_t l, std::int32_t t, std::int32_t r, std::int32_t b, TColor32 c);
  void FrameRectClipped(std::int32_t l, std::int32_t t, std::int32_t r, std::int32_t b, TColor32 c);

  // One-pixel lines between integer ends, clipped, the last point not drawn.
  void LineOpaque(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2, TColor32 c);
  void LineBlend(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2, TColor32 c);
  void LineSmooth(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2, TColor32 c);
  // Anti-aliased line with sub-pixel ends, clipped to the fixed clip rectangle
  // widened by one pixel at the left and top.
  void LineSmoothFixed(TFixed x1, TFixed y1, TFixed x2, TFixed y2, TColor32 c);

  void MoveToInt(std::int32_t x, std::int32_t y) { fPenPos = {x, y}; }
  void MoveToFixed(TFixed x, TFixed y) { fPenPosFixed = {x, y}; }
  void MoveToFixed(const TFixedPoint& p) { fPenPosFixed = p; }
  void LineToFixed(TFixed x, TFixed y);
  void LineToFixed(const TFixedPoint& p) { LineToFixed(p.X, p.Y); }
  TPoint PenPos() const { return fPenPos; }
  TFixedPoint PenPosFixed() const { return fPenPosFixed; }
  TColor32 PenColor = clWhite32;

  void PolylineBlend(std::span<const TFixedPoint> points, TColor32 c, bool closed);
  void PolylineSmooth(std::span<const TFixedPoint> points, TColor32 c, bool closed);
  void PolylineSmoothFixed(std::span<const TFixedPoint> points, TColor32 c, bool closed);

  // Area fill of one closed contour under the fill rule: pixels whose centres
  // lie inside, or (smooth) coverage from the scan converter at level 0 … 4.
  void PolygonFill(std::span<const TFixedPoint> points, TColor32 c, TPolyFillMode mode);
  void PolygonFillSmooth(std::span<const TFixedPoint> points, TColor32 c, TPolyFillMode mode,
                         std::int32_t level = 2);

  // Draw and combine settings used when this surface is drawn onto another.
  TDrawMode DrawMode = dmOpaque;
  TCombineMode CombineMode = cmBlend;
  std::uint8_t MasterAlpha = 255;
  TColor32 OuterColor = 0;
  TPixelCombineEvent OnPixelCombine;

  const std::string& Resampler() const { return fResampler; }
  // Selects a resampler by class name; an unknown name raises an error.
  void SetResampler(const std::string& className);

  void DrawToSurface(TBitmap32& dst, std::int32_t x, std::int32_t y) const;
  void StretchDrawToSurface(TBitmap32& dst, const TRect& dstRect, const TRect& srcRect) const;

  void FlipHorizontal();
  void FlipVertical();

  // Windows bitmap file images (BITMAPFILEHEADER onwards).
  void LoadFromBmp(std::span<const std::uint8_t> data);
  std::vector<std::uint8_t> SaveToBmp() const;

  // Change notification: suppressed while an update bracket is open.
  void BeginUpdate() { ++fUpdateCount; }
  void EndUpdate();
  int UpdateCount() const { return fUpdateCount; }
  void Changed(const TRect& area);
  void Changed() { Changed(BoundsRect()); }
  std::function<void(const TRect& area)> OnAreaChanged;
  std::function<void()> OnResize;

 private:
  friend class TBandPainter;

  void settle() const {
    if (fPending != nullptr) [[unlikely]] settlePending();
  }
  void settlePending() const;
  void forget() {
    fUniform = false;
    fTracked = false;
  }

  std::vector<TColor32> fBits;
  std::int32_t fWidth = 0;
  std::int32_t fHeight = 0;
  TRect fClipRect;
  TPoint fPenPos;
  TFixedPoint fPenPosFixed;
  std::string fResampler = kNearestResampler;
  int fUpdateCount = 0;
  // Set when a Clear filled the whole store and no mutable access came
  // since: clearing again to the same colour, as a scratch surface nothing
  // drew on is cleared every frame, then has nothing to write.
  bool fUniform = false;
  TColor32 fUniformColour = 0;
  // Set by a band painter that knows which pixels its last frame left
  // apart from its clear colour; any mutable access since clears it.
  bool fTracked = false;
  TBandPainter* fRecorder = nullptr;
  // The band painter with paints waiting that read or write this surface.
  mutable TBandPainter* fPending = nullptr;
};

// Keeps a surface's update bracket balanced on every path, errors included.
class TUpdateBracket {
 public:
  explicit TUpdateBracket(TBitmap32& surface) : fSurface(surface) { fSurface.BeginUpdate(); }
  ~TUpdateBracket() { fSurface.EndUpdate(); }
  TUpdateBracket(const TUpdateBracket&) = delete;
  TUpdateBracket& operator=(const TUpdateBracket&) = delete;

 private:
  TBitmap32& fSurface;
};

// Resamples srcRect of src into dstRect of dst, cut to dstClip, with the named
// resampler and the draw mode; equal sizes are a plain block transfer.
void StretchTransfer(TBitmap32& dst, const TRect& dstRect, const TRect& dstClip, const TBitmap32& src,
                     const TRect& srcRect, const std::string& resampler, TDrawMode drawMode,
                     const TPixelCombineEvent& combine);

// Every destination pixel inside the transformed bounds of the
// transformation's source rectangle takes the source sampled through the
// inverse transformation, combined under the source's draw mode.
void TransformTo(TBitmap32& dst, const TBitmap32& src, const TAffineTransformation& transformation);

// Alpha of the outermost rows and columns of r (cut to the bounds) set to 0.
void SetBorderTransparent(TBitmap32& surface, const TRect& r);

// Fills a buffer of 32-bit words with one value.
void FillWords(std::span<TColor32> buffer, TColor32 value);

// The largest surface a file or caller may ask for, in pixels (1 GiB of pixels).
inline constexpr std::int64_t kMaxSurfacePixels = std::int64_t{1} << 28;

}  // namespace lumora
