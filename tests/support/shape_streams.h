// Byte helpers for the shape tests: readers over written bytes and the
// little-endian values inside them.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "io/stream.h"
#include "movie/graphic_factory.h"
#include "scene/graphic_base.h"

namespace lumora::test {

// A reader over bytes it keeps alive itself.
class TBytesReader {
 public:
  explicit TBytesReader(std::vector<std::uint8_t> bytes)
      : fBytes(std::move(bytes)), fInput(fBytes), fReader(fInput, "shape") {}
  TStreamReader& Reader() { return fReader; }
  std::uint64_t Position() const { return fReader.Position(); }

 private:
  std::vector<std::uint8_t> fBytes;
  TMemoryInput fInput;
  TStreamReader fReader;
};

inline std::int32_t s32At(const std::vector<std::uint8_t>& b, std::size_t at) {
  return static_cast<std::int32_t>(
      static_cast<std::uint32_t>(b.at(at)) | static_cast<std::uint32_t>(b.at(at + 1)) << 8 |
      static_cast<std::uint32_t>(b.at(at + 2)) << 16 | static_cast<std::uint32_t>(b.at(at + 3)) << 24);
}

// The s32 pairs of a point list that starts with its count at `at`.
inline std::vector<TPoint> pointsAt(const std::vector<std::uint8_t>& b, std::size_t at) {
  std::vector<TPoint> points(static_cast<std::size_t>(s32At(b, at)));
  for (std::size_t i = 0; i < points.size(); ++i) {
    points[i] = {s32At(b, at + 4 + 8 * i), s32At(b, at + 8 + 8 * i)};
  }
  return points;
}

// The graphic the factory builds from bytes that start with a header.
inline std::unique_ptr<TGraphicBase> buildFrom(const std::vector<std::uint8_t>& bytes, bool currentEncoding,
                                               std::uint64_t* consumed = nullptr) {
  TObjectHeader header{};
  for (std::size_t i = 0; i < header.size(); ++i) header[i] = bytes.at(i);
  TBytesReader in({bytes.begin() + static_cast<std::ptrdiff_t>(header.size()), bytes.end()});
  TGraphicBaseFactory factory;
  auto graphic = factory.CreateGraphic(header, in.Reader(), currentEncoding, nullptr);
  if (consumed != nullptr) *consumed = in.Position();
  return graphic;
}

// A graphic's body read through a factory of the movie's classes of its own.
template <class TGraphic>
void readBody(TGraphic&& g, TStreamReader& stream) {
  TGraphicBaseFactory factory;
  g.ReadBody(stream, factory);
}

template <class TGraphic>
void readLegacyBody(TGraphic&& g, TStreamReader& stream) {
  TGraphicBaseFactory factory;
  g.ReadLegacyBody(stream, factory);
}

inline std::vector<std::uint8_t> bodyOf(TGraphicBase& g) {
  TStreamWriter w;
  g.WriteBody(w);
  return w.TakeData();
}

inline std::vector<std::uint8_t> exportOf(TGraphicBase& g) {
  TStreamWriter w;
  g.WriteExport(w);
  return w.TakeData();
}

inline TFixedPoint px(double x, double y) { return {static_cast<TFixed>(x * 65536), static_cast<TFixed>(y * 65536)}; }

inline constexpr TColor32 kBlack = 0xFF000000;

// A surface of w × h opaque black pixels.
inline std::unique_ptr<TBitmap32> blackBitmap(std::int32_t w, std::int32_t h) {
  auto b = std::make_unique<TBitmap32>();
  b->Resize(w, h);
  b->Clear(kBlack);
  return b;
}

inline std::int64_t countPixels(const TBitmap32& b, TColor32 c) {
  std::int64_t n = 0;
  for (std::int32_t y = 0; y < b.Height(); ++y) {
    for (std::int32_t x = 0; x < b.Width(); ++x) n += b.ReadPixel(x, y) == c ? 1 : 0;
  }
  return n;
}

}  // namespace lumora::test
