#include <limits>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "render/bitmap32.h"

namespace lumora {
namespace {

using Bytes = std::vector<std::uint8_t>;

void put16(Bytes& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void put32(Bytes& out, std::uint32_t v) {
  put16(out, v & 0xFFFF);
  put16(out, v >> 16);
}

// The fields of a hand-built bitmap file; rows are given as stored.
struct BmpFields {
  std::uint32_t headerSize = 40;
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::uint32_t bitCount = 32;
  std::uint32_t compression = 0;
  std::uint32_t colorsUsed = 0;
  std::vector<std::uint32_t> masks{};  // after a 40-byte header, else inside the header
  Bytes palette{};
  Bytes pixels{};
};

Bytes makeBmp(const BmpFields& s) {
  Bytes header;
  put32(header, s.headerSize);
  if (s.headerSize == 12) {
    put16(header, static_cast<std::uint32_t>(s.width));
    put16(header, static_cast<std::uint32_t>(s.height));
    put16(header, 1);
    put16(header, s.bitCount);
  } else {
    put32(header, static_cast<std::uint32_t>(s.width));
    put32(header, static_cast<std::uint32_t>(s.height));
    put16(header, 1);
    put16(header, s.bitCount);
    put32(header, s.compression);
    put32(header, static_cast<std::uint32_t>(s.pixels.size()));
    put32(header, 2835);
    put32(header, 2835);
    put32(header, s.colorsUsed);
    put32(header, 0);
    for (std::uint32_t m : s.masks) put32(header, m);
    if (s.headerSize > 40) header.resize(s.headerSize, 0);
  }
  Bytes out{'B', 'M'};
  const auto offset = static_cast<std::uint32_t>(14 + header.size() + s.palette.size());
  put32(out, offset + static_cast<std::uint32_t>(s.pixels.size()));
  put32(out, 0);
  put32(out, offset);
  out.insert(out.end(), header.begin(), header.end());
  out.insert(out.end(), s.palette.begin(), s.palette.end());
  out.insert(out.end(), s.pixels.begin(), s.pixels.end());
  return out;
}

std::vector<TColor32> pixelsOf(const TBitmap32& b) { return {b.Bits().begin(), b.Bits().end()}; }

std::vector<TColor32> load(const Bytes& file) {
  TBitmap32 b;
  b.LoadFromBmp(file);
  return pixelsOf(b);
}

// The message of the error a load raises, or "" when it succeeds.
std::string loadError(const Bytes& file) {
  TBitmap32 b;
  try {
    b.LoadFromBmp(file);
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "";
}

TEST(BmpIo, SaveAndLoadRoundTrip) {
  TBitmap32 b;
  b.Resize(3, 2);
  const std::vector<TColor32> pixels{0xFF102030, 0x80405060, 0x00708090, 0x01020304, 0xFFFFFFFF, 0x7F000000};
  std::copy(pixels.begin(), pixels.end(), b.Bits().begin());
  const Bytes file = b.SaveToBmp();
  ASSERT_EQ(file.size(), 54u + 24u);
  EXPECT_EQ(file[0], 'B');
  EXPECT_EQ(file[2], 78);   // file size
  EXPECT_EQ(file[10], 54);  // pixel offset
  EXPECT_EQ(file[14], 40);  // header size
  EXPECT_EQ(file[22], 2);   // height, positive: bottom-up
  EXPECT_EQ(file[28], 32);  // bits per pixel
  EXPECT_EQ(file[30], 0);   // BI_RGB
  // The first stored row is the bottom one: 0x01020304 as B, G, R, A.
  EXPECT_EQ((Bytes{file[54], file[55], file[56], file[57]}), (Bytes{4, 3, 2, 1}));

  TBitmap32 back;
  back.LoadFromBmp(file);
  EXPECT_EQ(back.Width(), 3);
  EXPECT_EQ(back.Height(), 2);
  EXPECT_EQ(pixelsOf(back), pixels) << "alpha survives the round trip";

  TBitmap32 empty;
  back.LoadFromBmp(empty.SaveToBmp());
  EXPECT_TRUE(back.IsEmpty());
}

TEST(BmpIo, PalettedFiles) {
  // 1 bpp, bottom-up: top row 1 0 1, bottom row 0 1 0; palette entries are
  // B, G, R, reserved.
  BmpFields one{.width = 3, .height = 2, .bitCount = 1};
  one.palette = {1, 2, 3, 0, 10, 20, 30, 0};
  one.pixels = {0x40, 0, 0, 0, 0xA0, 0, 0, 0};
  const TColor32 c0 = 0xFF030201, c1 = 0xFF1E140A;
  EXPECT_EQ(load(makeBmp(one)), (std::vector<TColor32>{c1, c0, c1, c0, c1, c0}));

  // 4 bpp, top-down, three palette entries in use; an index past them is black.
  BmpFields four{.width = 4, .height = -1, .bitCount = 4, .colorsUsed = 3};
  four.palette = {0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0};
  four.pixels = {0x12, 0x09, 0, 0};
  EXPECT_EQ(load(makeBmp(four)), (std::vector<TColor32>{0xFF00FF00, 0xFF0000FF, 0xFFFF0000, clBlack32}));

  // 8 bpp behind the old 12-byte header: 3-byte palette entries, all 256.
  BmpFields eight{.headerSize = 12, .width = 2, .height = 2, .bitCount = 8};
  eight.palette.resize(256 * 3);
  eight.palette[3 * 7] = 0x11;      // entry 7: blue
  eight.palette[3 * 200 + 2] = 0x22;  // entry 200: red
  eight.pixels = {7, 200, 0, 0, 200, 7, 0, 0};
  EXPECT_EQ(load(makeBmp(eight)), (std::vector<TColor32>{0xFF220000, 0xFF000011, 0xFF000011, 0xFF220000}));
}

TEST(BmpIo, TrueColourFiles) {
  // 24 bpp, rows of 6 bytes padded to 8, bottom-up.
  BmpFields rgb{.width = 2, .height = 2, .bitCount = 24};
  rgb.pixels = {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0};
  EXPECT_EQ(load(makeBmp(rgb)), (std::vector<TColor32>{0xFF090807, 0xFF0C0B0A, 0xFF030201, 0xFF060504}));
  // The last row may lack its padding.
  rgb.pixels.resize(14);
  EXPECT_EQ(load(makeBmp(rgb)).size(), 4u);

  // 32 bpp keeps alpha, but all-zero alpha bytes mean an opaque image.
  BmpFields argb{.width = 2, .height = -1, .bitCount = 32};
  argb.pixels = {1, 2, 3, 0x80, 4, 5, 6, 0};
  EXPECT_EQ(load(makeBmp(argb)), (std::vector<TColor32>{0x80030201, 0x00060504}));
  argb.pixels = {1, 2, 3, 0, 4, 5, 6, 0};
  EXPECT_EQ(load(makeBmp(argb)), (std::vector<TColor32>{0xFF030201, 0xFF060504}));
  argb.headerSize = 124;
  EXPECT_EQ(load(makeBmp(argb)), (std::vector<TColor32>{0xFF030201, 0xFF060504})) << "a version 5 header";
}

TEST(BmpIo, BitFields) {
  // 16 bpp 5-6-5 behind a 40-byte header: 16 of 31 is (16 × 255 + 15) / 31
  // = 132, 32 of 63 is (32 × 255 + 31) / 63 = 130.
  BmpFields rgb565{.width = 4, .height = 1, .bitCount = 16, .compression = 3, .masks = {0xF800, 0x07E0, 0x001F}};
  rgb565.pixels = {0x00, 0xF8, 0xE0, 0x07, 0x1F, 0x00, 0x10, 0x84};
  EXPECT_EQ(load(makeBmp(rgb565)), (std::vector<TColor32>{0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFF848284}));

  // 16 bpp without masks is 5-5-5.
  BmpFields rgb555{.width = 1, .height = 1, .bitCount = 16};
  rgb555.pixels = {0x00, 0x7C, 0, 0};
  EXPECT_EQ(load(makeBmp(rgb555)), (std::vector<TColor32>{0xFFFF0000}));

  // 32 bpp with the channels in R, G, B, A byte order and an alpha mask.
  BmpFields rgba{.headerSize = 56, .width = 1, .height = 1, .bitCount = 32, .compression = 3,
               .masks = {0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000}};
  rgba.pixels = {0x11, 0x22, 0x33, 0x44};
  EXPECT_EQ(load(makeBmp(rgba)), (std::vector<TColor32>{0x44112233}));
  rgba.masks.pop_back();
  rgba.headerSize = 52;
  EXPECT_EQ(load(makeBmp(rgba)), (std::vector<TColor32>{0xFF112233})) << "no alpha mask: opaque";
}

TEST(BmpIo, BadFilesRaiseErrors) {
  BmpFields good{.width = 2, .height = 2, .bitCount = 24};
  good.pixels.resize(16);
  const Bytes file = makeBmp(good);
  ASSERT_EQ(loadError(file), "");

  EXPECT_EQ(loadError({}), "BMP: truncated header");
  EXPECT_EQ(loadError(Bytes(file.begin(), file.begin() + 20)), "BMP: truncated header");
  Bytes notBmp = file;
  notBmp[0] = 'P';
  EXPECT_EQ(loadError(notBmp), "BMP: not a bitmap file (no 'BM' signature)");
  EXPECT_EQ(loadError(Bytes(file.begin(), file.end() - 3)), "BMP: truncated pixel data");

  auto variant = [&](auto change) {
    BmpFields s = good;
    change(s);
    return loadError(makeBmp(s));
  };
  EXPECT_EQ(variant([](BmpFields& s) { s.headerSize = 64; }), "BMP: unsupported header size 64");
  EXPECT_EQ(variant([](BmpFields& s) { s.compression = 1; }), "BMP: RLE compression is not supported");
  EXPECT_EQ(variant([](BmpFields& s) { s.compression = 2; }), "BMP: RLE compression is not supported");
  EXPECT_EQ(variant([](BmpFields& s) { s.compression = 4; }), "BMP: unsupported compression 4");
  EXPECT_EQ(variant([](BmpFields& s) { s.compression = 3; }), "BMP: bit fields need 16 or 32 bits per pixel");
  EXPECT_EQ(variant([](BmpFields& s) { s.bitCount = 7; }), "BMP: unsupported bit count 7");
  EXPECT_EQ(variant([](BmpFields& s) { s.width = -2; }), "BMP: negative width");
  EXPECT_EQ(variant([](BmpFields& s) { s.width = 1 << 16, s.height = 1 << 13; }), "BMP: image too large");
  EXPECT_EQ(variant([](BmpFields& s) { s.width = 0x7FFFFFFF, s.height = std::numeric_limits<std::int32_t>::min(); }),
            "BMP: image too large");
  EXPECT_EQ(variant([](BmpFields& s) { s.height = 3; }), "BMP: truncated pixel data");
  EXPECT_EQ(variant([](BmpFields& s) {
              s.bitCount = 8;
              s.pixels.resize(8);
            }),
            "BMP: truncated palette");
  Bytes badOffset = file;
  badOffset[10] = 200;
  EXPECT_EQ(loadError(badOffset), "BMP: pixel data offset out of range");
  badOffset[10] = 20;
  EXPECT_EQ(loadError(badOffset), "BMP: pixel data offset out of range");

  // A failed load leaves the surface as it was.
  TBitmap32 b;
  b.Resize(1, 1);
  b.Clear(0x12345678);
  EXPECT_THROW(b.LoadFromBmp(notBmp), std::runtime_error);
  EXPECT_EQ(pixelsOf(b), (std::vector<TColor32>{0x12345678}));
}

TEST(BmpIo, MangledFilesNeverCrash) {
  BmpFields eight{.width = 5, .height = -3, .bitCount = 8, .colorsUsed = 4};
  eight.palette.resize(16, 0x40);
  eight.pixels.resize(24, 3);
  const Bytes files[] = {makeBmp(eight), makeBmp({.width = 3, .height = 2, .bitCount = 32, .pixels = Bytes(24, 9)})};
  std::mt19937 random(20240607);
  int loaded = 0;
  for (const Bytes& original : files) {
    for (int round = 0; round < 3000; ++round) {
      Bytes file = original;
      const int changes = 1 + static_cast<int>(random() % 4);
      for (int i = 0; i < changes; ++i) file[random() % file.size()] = static_cast<std::uint8_t>(random());
      if (round % 5 == 0) file.resize(random() % file.size());
      TBitmap32 b;
      try {
        b.LoadFromBmp(file);
        ++loaded;
        EXPECT_EQ(b.Bits().size(), static_cast<std::size_t>(b.Width()) * b.Height());
      } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()).rfind("BMP: ", 0), 0u) << e.what();
      }
    }
  }
  EXPECT_GT(loaded, 0);
}

}  // namespace
}  // namespace lumora
