// Windows bitmap file images for TBitmap32: reading the common variants,
// writing 32 bpp bottom-up.
#include <algorithm>
#include <array>
#include <bit>
#include <stdexcept>
#include <string>

#include "render/bitmap32.h"
#include "render/little_endian.h"

namespace lumora {

namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::uint32_t kCoreHeaderSize = 12;
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiRle8 = 1;
constexpr std::uint32_t kBiRle4 = 2;
constexpr std::uint32_t kBiBitfields = 3;

[[noreturn]] void fail(const std::string& what) { throw std::runtime_error("BMP: " + what); }

// Little-endian reads that never pass the end of the data.
class ByteReader {
 public:
  explicit ByteReader(std::span<const std::uint8_t> data) : fData(data) {}

  void seek(std::size_t pos) { fPos = pos; }
  std::uint32_t u8() { return take(1)[0]; }
  std::uint32_t u16() {
    const auto b = take(2);
    return b[0] | (std::uint32_t{b[1]} << 8);
  }
  std::uint32_t u32() {
    const auto b = take(4);
    return b[0] | (std::uint32_t{b[1]} << 8) | (std::uint32_t{b[2]} << 16) | (std::uint32_t{b[3]} << 24);
  }
  std::int32_t i32() { return static_cast<std::int32_t>(u32()); }

 private:
  std::span<const std::uint8_t> take(std::size_t n) {
    if (fPos > fData.size() || fData.size() - fPos < n) fail("truncated header");
    const auto bytes = fData.subspan(fPos, n);
    fPos += n;
    return bytes;
  }

  std::span<const std::uint8_t> fData;
  std::size_t fPos = 0;
};

// One channel stored under a bit mask, scaled to 8 bits.
class ChannelMask {
 public:
  ChannelMask() = default;
  explicit ChannelMask(std::uint32_t mask)
      : fShift(mask == 0 ? 0 : std::countr_zero(mask)), fMax(mask == 0 ? 0 : mask >> fShift), fMask(mask) {}

  bool present() const { return fMask != 0; }
  std::uint32_t extract(std::uint32_t value) const {
    if (fMax == 0) return 0;
    return static_cast<std::uint32_t>(((std::uint64_t{(value & fMask) >> fShift} * 255) + fMax / 2) / fMax);
  }

 private:
  int fShift = 0;
  std::uint32_t fMax = 0;
  std::uint32_t fMask = 0;
};

struct BmpHeader {
  std::uint32_t dataOffset = 0;
  std::uint32_t headerSize = 0;
  std::int64_t width = 0;
  std::int64_t height = 0;  // rows, positive
  bool topDown = false;
  std::uint32_t bitCount = 0;
  std::uint32_t compression = kBiRgb;
  std::uint32_t colorsUsed = 0;
  ChannelMask red, green, blue, alpha;
};

void readCoreFields(ByteReader& in, BmpHeader& h) {
  h.width = in.u16();
  h.height = in.u16();
  in.u16();  // planes
  h.bitCount = in.u16();
}

void readInfoFields(ByteReader& in, BmpHeader& h) {
  h.width = in.i32();
  const std::int64_t height = in.i32();
  h.topDown = height < 0;
  h.height = height < 0 ? -height : height;
  in.u16();  // planes
  h.bitCount = in.u16();
  h.compression = in.u32();
  in.u32();  // image size, often 0 for BI_RGB
  in.u32();  // horizontal resolution
  in.u32();  // vertical resolution
  h.colorsUsed = in.u32();
  in.u32();  // important colours
}

// The masks of BI_BITFIELDS follow a 40-byte header and are part of the
// later ones; 16 and 32 bpp without them have fixed layouts.
void readMasks(ByteReader& in, BmpHeader& h) {
  if (h.compression == kBiBitfields) {
    h.red = ChannelMask(in.u32());
    h.green = ChannelMask(in.u32());
    h.blue = ChannelMask(in.u32());
    if (h.headerSize >= 56) h.alpha = ChannelMask(in.u32());
  } else if (h.bitCount == 16) {
    h.red = ChannelMask(0x7C00);
    h.green = ChannelMask(0x03E0);
    h.blue = ChannelMask(0x001F);
  } else if (h.bitCount == 32) {
    h.red = ChannelMask(0x00FF0000);
    h.green = ChannelMask(0x0000FF00);
    h.blue = ChannelMask(0x000000FF);
    h.alpha = ChannelMask(0xFF000000);
  }
}

void checkFormat(const BmpHeader& h) {
  if (h.compression == kBiRle8 || h.compression == kBiRle4) fail("RLE compression is not supported");
  if (h.compression != kBiRgb && h.compression != kBiBitfields) {
    fail("unsupported compression " + std::to_string(h.compression));
  }
  const std::uint32_t bpp = h.bitCount;
  const bool paletted = bpp == 1 || bpp == 4 || bpp == 8;
  if (!paletted && bpp != 16 && bpp != 24 && bpp != 32) fail("unsupported bit count " + std::to_string(bpp));
  if (h.compression == kBiBitfields && bpp != 16 && bpp != 32) fail("bit fields need 16 or 32 bits per pixel");
  if (h.width < 0) fail("negative width");
  if (h.width * h.height > kMaxSurfacePixels) fail("image too large");
}

BmpHeader readHeader(ByteReader& in) {
  BmpHeader h;
  if (in.u8() != 'B' || in.u8() != 'M') fail("not a bitmap file (no 'BM' signature)");
  in.u32();  // file size, not trusted
  in.u32();  // reserved
  h.dataOffset = in.u32();
  h.headerSize = in.u32();
  switch (h.headerSize) {
    case kCoreHeaderSize:
      readCoreFields(in, h);
      break;
    case kInfoHeaderSize:
    case 52:
    case 56:
    case 108:
    case 124:
      readInfoFields(in, h);
      break;
    default:
      fail("unsupported header size " + std::to_string(h.headerSize));
  }
  readMasks(in, h);
  checkFormat(h);
  return h;
}

// The palette follows the headers (and a 40-byte header's masks); the core
// header stores three bytes per entry, the others four.
std::array<TColor32, 256> readPalette(std::span<const std::uint8_t> data, const BmpHeader& h) {
  std::array<TColor32, 256> palette;
  palette.fill(clBlack32);
  const std::size_t maxEntries = std::size_t{1} << h.bitCount;
  const std::size_t entries =
      h.colorsUsed == 0 || h.colorsUsed > maxEntries ? maxEntries : static_cast<std::size_t>(h.colorsUsed);
  const std::size_t entrySize = h.headerSize == kCoreHeaderSize ? 3 : 4;
  std::size_t pos = kFileHeaderSize + h.headerSize;
  if (h.headerSize == kInfoHeaderSize && h.compression == kBiBitfields) pos += 12;
  if (pos > data.size() || (data.size() - pos) / entrySize < entries) fail("truncated palette");
  for (std::size_t i = 0; i < entries; ++i, pos += entrySize) {
    palette[i] = Color32(255, data[pos + 2], data[pos + 1], data[pos]);
  }
  return palette;
}

std::uint32_t littleEndian(const std::uint8_t* p, std::uint32_t bytes) {
  std::uint32_t v = 0;
  for (std::uint32_t i = 0; i < bytes; ++i) v |= std::uint32_t{p[i]} << (8 * i);
  return v;
}

class RowDecoder {
 public:
  RowDecoder(std::span<const std::uint8_t> data, const BmpHeader& h) : fHeader(h) {
    if (h.bitCount <= 8) fPalette = readPalette(data, h);
  }

  void decode(const std::uint8_t* row, TColor32* out) const {
    const std::uint32_t bpp = fHeader.bitCount;
    for (std::int64_t x = 0; x < fHeader.width; ++x) {
      if (bpp <= 8) {
        const std::int64_t bit = x * bpp;
        const std::uint32_t shift = 8 - bpp - static_cast<std::uint32_t>(bit % 8);
        out[x] = fPalette[(row[bit / 8] >> shift) & ((1u << bpp) - 1)];
      } else if (bpp == 24) {
        out[x] = Color32(255, row[x * 3 + 2], row[x * 3 + 1], row[x * 3]);
      } else {
        out[x] = fromMasks(littleEndian(row + x * (bpp / 8), bpp / 8));
      }
    }
  }

  bool hasAlpha() const { return fHeader.alpha.present(); }

 private:
  TColor32 fromMasks(std::uint32_t v) const {
    const std::uint32_t a = fHeader.alpha.present() ? fHeader.alpha.extract(v) : 255;
    return (a << 24) | (fHeader.red.extract(v) << 16) | (fHeader.green.extract(v) << 8) | fHeader.blue.extract(v);
  }

  const BmpHeader& fHeader;
  std::array<TColor32, 256> fPalette{};
};

}  // namespace

void TBitmap32::LoadFromBmp(std::span<const std::uint8_t> data) {
  ByteReader in(data);
  const BmpHeader h = readHeader(in);
  const auto size = static_cast<std::int64_t>(data.size());
  if (h.dataOffset < kFileHeaderSize + h.headerSize || h.dataOffset > size) fail("pixel data offset out of range");
  const std::int64_t stride = (h.width * h.bitCount + 31) / 32 * 4;
  // The last row may come without its padding.
  const std::int64_t lastRow = (h.width * h.bitCount + 7) / 8;
  const std::int64_t available = size - h.dataOffset;
  if (h.width > 0 && (available < lastRow || (available - lastRow) / stride < h.height - 1)) {
    fail("truncated pixel data");
  }

  if (h.width == 0 || h.height == 0) {
    Resize(0, 0);
    return;
  }
  const RowDecoder decoder(data, h);
  const auto width = static_cast<std::int32_t>(h.width);
  const auto height = static_cast<std::int32_t>(h.height);
  std::vector<TColor32> pixels(static_cast<std::size_t>(h.width * h.height));
  for (std::int32_t y = 0; y < height; ++y) {
    const std::int64_t fileRow = h.topDown ? y : height - 1 - y;
    decoder.decode(data.data() + h.dataOffset + fileRow * stride, pixels.data() + std::int64_t{y} * width);
  }
  // Writers that ignore alpha leave 0 in every alpha byte.
  const bool allTransparent =
      std::all_of(pixels.begin(), pixels.end(), [](TColor32 p) { return AlphaComponent(p) == 0; });
  if (decoder.hasAlpha() && allTransparent) {
    for (TColor32& p : pixels) p |= 0xFF000000;
  }
  Resize(width, height);
  std::copy(pixels.begin(), pixels.end(), Bits().begin());
  Changed();
}

std::vector<std::uint8_t> TBitmap32::SaveToBmp() const {
  const auto imageSize = static_cast<std::uint32_t>(fBits.size() * 4);
  const std::uint32_t offset = kFileHeaderSize + kInfoHeaderSize;
  std::vector<std::uint8_t> out;
  out.reserve(offset + imageSize);
  out.push_back('B');
  out.push_back('M');
  AppendU32(out, offset + imageSize);
  AppendU32(out, 0);
  AppendU32(out, offset);
  AppendU32(out, kInfoHeaderSize);
  AppendU32(out, static_cast<std::uint32_t>(fWidth));
  AppendU32(out, static_cast<std::uint32_t>(fHeight));
  AppendU16(out, 1);   // planes
  AppendU16(out, 32);  // bits per pixel
  AppendU32(out, kBiRgb);
  AppendU32(out, imageSize);
  AppendU32(out, 0);  // horizontal resolution
  AppendU32(out, 0);  // vertical resolution
  AppendU32(out, 0);  // palette entries
  AppendU32(out, 0);  // important colours
  for (std::int32_t y = fHeight - 1; y >= 0; --y) {
    for (std::int32_t x = 0; x < fWidth; ++x) AppendU32(out, ReadPixel(x, y));
  }
  return out;
}

}  // namespace lumora
