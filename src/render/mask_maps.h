// Byte maps beside the surfaces: the 8-bit mask a masked layer and the lamp
// graphics draw through, and the base every map shares.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "render/bitmap32.h"
#include "render/geometry.h"
#include "render/matrix.h"
#include "render/object.h"

namespace lumora {

// A side in 1/256 pixel units (ValidRect256) must still fit 32 bits.
inline constexpr std::int32_t kMaxMapSide = (1 << 23) - 1;

// Width, Height and a change notification; the derived maps own the store.
class TCustomMap : public TObject {
 public:
  TCustomMap() = default;
  TCustomMap(const TCustomMap&) = delete;
  TCustomMap& operator=(const TCustomMap&) = delete;
  std::string ClassName() const override { return "TCustomMap"; }

  std::int32_t Width() const { return fWidth; }
  std::int32_t Height() const { return fHeight; }
  TRect BoundsRect() const { return {0, 0, fWidth, fHeight}; }
  // True while the map holds no pixels.
  bool IsEmpty() const { return fWidth == 0 || fHeight == 0; }

  // Negative sizes count as 0; a size beyond the caps raises an error and
  // leaves the map as it was; the same size changes nothing.
  virtual void SetSize(std::int32_t width, std::int32_t height);
  // The size of another map, or of an object that reports one (graphics and
  // controls); nullptr gives (0, 0); any other object raises an error.
  void SetSizeFrom(const TObject* source);

  std::function<void()> OnChange;
  void Changed();

 protected:
  // Gives the store of a derived map its new size; called before Width and
  // Height change, so that a failed allocation leaves the map untouched.
  virtual void ChangeSize(std::int32_t width, std::int32_t height);

 private:
  std::int32_t fWidth = 0;
  std::int32_t fHeight = 0;
};

// The channel of a surface pixel that a byte map reads or writes.
enum TMapChannel : std::uint8_t { mcRed = 0, mcGreen = 1, mcBlue = 2, mcAlpha = 3, mcAverage = 4 };

// Width × Height bytes, row after row from the top.
class TByteMap : public TCustomMap {
 public:
  std::string ClassName() const override { return "TByteMap"; }

  std::span<std::uint8_t> Bytes() { return fBytes; }
  std::span<const std::uint8_t> Bytes() const { return fBytes; }
  // Unchecked access; the caller keeps (x, y) inside the map.
  std::uint8_t* ByteAddress(std::int32_t x, std::int32_t y) {
    return fBytes.data() + static_cast<std::size_t>(y) * Width() + x;
  }
  const std::uint8_t* ByteAddress(std::int32_t x, std::int32_t y) const {
    return fBytes.data() + static_cast<std::size_t>(y) * Width() + x;
  }
  std::uint8_t Value(std::int32_t x, std::int32_t y) const { return *ByteAddress(x, y); }
  void SetValue(std::int32_t x, std::int32_t y, std::uint8_t v) { *ByteAddress(x, y) = v; }

  void Clear(std::uint8_t value);
  // Resizes to the surface and copies one channel of every pixel.
  void ReadFrom(const TBitmap32& surface, TMapChannel channel);
  // Resizes the surface to the map and stores every byte into the channel,
  // the other channels kept; mcAverage stores the byte into red, green and
  // blue, so that reading the average back gives the same byte.
  void WriteTo(TBitmap32& surface, TMapChannel channel) const;

 protected:
  void ChangeSize(std::int32_t width, std::int32_t height) override;

 private:
  std::vector<std::uint8_t> fBytes;
};

// A byte mask whose content is the bytes inside ValidRect.
class TMaskByteMap : public TByteMap {
 public:
  std::string ClassName() const override { return "TMaskByteMap"; }

  // Every resize, the same size included, resets the valid rectangle.
  void SetSize(std::int32_t width, std::int32_t height) override;

  const TRect& ValidRect() const { return fValidRect; }
  // ValidRect in 1/256 pixel units, as last set by SetValidRect.
  const TRect& ValidRect256() const { return fValidRect256; }
  void SetValidRect(const TRect& r);
  void ResetValidRect() { SetValidRect(BoundsRect()); }
  // ValidRect becomes the bounding box of the non-zero bytes ((0, 0, 0, 0)
  // when there is none); ValidRect256 keeps its value.
  void CropToContent();

  // 0 outside ValidRect, else the byte.
  std::uint8_t SampleNearest(std::int32_t x, std::int32_t y) const;
  // Bilinear sample at a 16.16 position with the gamma weights.
  std::uint8_t SampleMaskFixed(TFixed x, TFixed y) const;

  // Replaces the bytes of this map that the transformed content of src
  // covers (within this map's ValidRect); the transformation's source
  // rectangle becomes src's content, shrunk by 3 pixels when shrink is set.
  void TransformFrom(const TMaskByteMap& src, TAffineTransformation& transformation, bool shrink, bool smooth);

 private:
  TRect fValidRect;
  TRect fValidRect256;
};

// Blends srcRect of src, placed at (x, y) of dst, into dst weighted by the
// mask bytes (mask and dst share coordinates), within maskRect. Missing or
// empty maps and surfaces draw nothing.
void BlendThroughMask(TBitmap32* dst, std::int32_t x, std::int32_t y, const TByteMap* mask, const TRect& srcRect,
                      const TBitmap32* src, const TRect& maskRect);

// Draws src through the transformation into dst, every pixel blended with the
// weight of its mask byte. The outermost pixels of src lose their alpha, so
// that the bilinear samples fade at the edge.
void TransformThroughMask(TBitmap32& dst, TBitmap32& src, TAffineTransformation& transformation,
                          const TByteMap& mask);

}  // namespace lumora
