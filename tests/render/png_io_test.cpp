#include "render/png_io.h"

#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace lumora {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::vector<TColor32> pixelsOf(const TBitmap32& b) { return {b.Bits().begin(), b.Bits().end()}; }

void putBigEndian(Bytes& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}

std::uint32_t crc32(const std::uint8_t* data, std::size_t n) {
  std::uint32_t crc = 0xFFFFFFFF;
  for (std::size_t i = 0; i < n; ++i) {
    crc ^= data[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320 & (0u - (crc & 1)));
  }
  return ~crc;
}

void putChunk(Bytes& out, const char* type, const Bytes& body) {
  putBigEndian(out, static_cast<std::uint32_t>(body.size()));
  const std::size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), body.begin(), body.end());
  putBigEndian(out, crc32(out.data() + start, out.size() - start));
}

// A PNG of the given colour type and depth whose image data is one stored
// (uncompressed) deflate block of the raw rows, filter bytes included.
Bytes handMadePng(std::uint32_t width, std::uint32_t height, std::uint8_t depth, std::uint8_t colourType,
                  const Bytes& rows) {
  Bytes out{137, 'P', 'N', 'G', 13, 10, 26, 10};
  Bytes header;
  putBigEndian(header, width);
  putBigEndian(header, height);
  header.insert(header.end(), {depth, colourType, 0, 0, 0});
  putChunk(out, "IHDR", header);
  Bytes zlib{0x78, 0x01, 0x01};
  const auto n = static_cast<std::uint16_t>(rows.size());
  zlib.insert(zlib.end(), {static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8),
                           static_cast<std::uint8_t>(~n), static_cast<std::uint8_t>(~n >> 8)});
  zlib.insert(zlib.end(), rows.begin(), rows.end());
  std::uint32_t a = 1, b = 0;
  for (std::uint8_t byte : rows) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  putBigEndian(zlib, (b << 16) | a);
  putChunk(out, "IDAT", zlib);
  putChunk(out, "IEND", {});
  return out;
}

std::string errorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "";
}

TEST(PngIo, EncodeDecodeRoundTrip) {
  TBitmap32 b;
  b.Resize(3, 2);
  const std::vector<TColor32> pixels{0xFF102030, 0x80405060, 0x00708090, 0x01020304, 0xFFFFFFFF, 0x7F000000};
  std::copy(pixels.begin(), pixels.end(), b.Bits().begin());
  const Bytes png = EncodePng(b);
  ASSERT_GE(png.size(), 8u);
  EXPECT_EQ(Bytes(png.begin(), png.begin() + 4), (Bytes{137, 'P', 'N', 'G'}));

  TBitmap32 back;
  int changes = 0;
  back.OnAreaChanged = [&](const TRect&) { ++changes; };
  DecodePng(png, back);
  EXPECT_EQ(back.Width(), 3);
  EXPECT_EQ(back.Height(), 2);
  EXPECT_EQ(pixelsOf(back), pixels) << "straight alpha, colours of transparent pixels kept";
  EXPECT_GT(changes, 0);

  const std::string path = testing::TempDir() + "lumora_png_io_test.png";
  SavePng(b, path);
  TBitmap32 fromFile;
  LoadPng(path, fromFile);
  EXPECT_EQ(pixelsOf(fromFile), pixels);
  std::filesystem::remove(path);
}

TEST(PngIo, OtherFormatsBecomeRgba) {
  // 8-bit grey, two pixels.
  TBitmap32 b;
  DecodePng(handMadePng(2, 1, 8, 0, {0, 10, 200}), b);
  EXPECT_EQ(pixelsOf(b), (std::vector<TColor32>{0xFF0A0A0A, 0xFFC8C8C8}));
  // 16-bit RGB without gamma information: 0x8080 is 128 × 257.
  DecodePng(handMadePng(1, 2, 16, 2, {0, 0xFF, 0xFF, 0x80, 0x80, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF}), b);
  EXPECT_EQ(b.Width(), 1);
  EXPECT_EQ(pixelsOf(b), (std::vector<TColor32>{0xFFFF8000, 0xFF0000FF}));
}

TEST(PngIo, ErrorsNameTheFile) {
  TBitmap32 b;
  b.Resize(2, 2);
  b.Clear(0x11223344);
  const Bytes garbage{1, 2, 3, 4, 5};
  const std::string decodeError = errorOf([&] { DecodePng(garbage, b); });
  EXPECT_EQ(decodeError.rfind("PNG: ", 0), 0u) << decodeError;
  EXPECT_EQ(pixelsOf(b), std::vector<TColor32>(4, 0x11223344)) << "a failed decode keeps the surface";

  Bytes truncated = EncodePng(b);
  truncated.resize(truncated.size() / 2);
  EXPECT_EQ(errorOf([&] { DecodePng(truncated, b); }).rfind("PNG: ", 0), 0u);
  // A header announcing 65536 × 65536 pixels is refused before any allocation.
  const std::string huge = errorOf([&] { DecodePng(handMadePng(65536, 65536, 8, 0, {0}), b); });
  EXPECT_EQ(huge.rfind("PNG: ", 0), 0u) << huge;

  const std::string missing = testing::TempDir() + "no_such_dir/none.png";
  EXPECT_NE(errorOf([&] { LoadPng(missing, b); }).find(missing), std::string::npos);
  EXPECT_NE(errorOf([&] { SavePng(b, missing); }).find(missing), std::string::npos);
  TBitmap32 empty;
  EXPECT_NE(errorOf([&] { EncodePng(empty); }), "");
}

}  // namespace
}  // namespace lumora
