#include "render/png_io.h"

#include <png.h>

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace lumora {

namespace {

// "PNG: <source>: <what>", or without the source for data held in memory.
[[noreturn]] void fail(const std::string& source, const std::string& what) {
  throw std::runtime_error("PNG: " + (source.empty() ? what : source + ": " + what));
}

// Releases libpng's state of an image on every path.
class ImageGuard {
 public:
  explicit ImageGuard(png_image& image) : fImage(image) {}
  ~ImageGuard() { png_image_free(&fImage); }
  ImageGuard(const ImageGuard&) = delete;
  ImageGuard& operator=(const ImageGuard&) = delete;

 private:
  png_image& fImage;
};

std::vector<std::uint8_t> encode(const TBitmap32& bitmap, const std::string& source) {
  if (bitmap.IsEmpty()) fail(source, "an empty surface has no image");
  std::vector<std::uint8_t> rgba;
  rgba.reserve(bitmap.Bits().size() * 4);
  for (const TColor32 p : bitmap.Bits()) {
    rgba.insert(rgba.end(), {RedComponent(p), GreenComponent(p), BlueComponent(p), AlphaComponent(p)});
  }
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(bitmap.Width());
  image.height = static_cast<png_uint_32>(bitmap.Height());
  image.format = PNG_FORMAT_RGBA;
  ImageGuard guard(image);
  png_alloc_size_t size = 0;
  if (!png_image_write_to_memory(&image, nullptr, &size, 0, rgba.data(), 0, nullptr)) fail(source, image.message);
  std::vector<std::uint8_t> out(size);
  if (!png_image_write_to_memory(&image, out.data(), &size, 0, rgba.data(), 0, nullptr)) {
    fail(source, image.message);
  }
  out.resize(size);
  return out;
}

void decode(std::span<const std::uint8_t> data, TBitmap32& bitmap, const std::string& source) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  ImageGuard guard(image);
  if (!png_image_begin_read_from_memory(&image, data.data(), data.size())) fail(source, image.message);
  if (std::int64_t{image.width} * image.height > kMaxSurfacePixels) fail(source, "image too large");
  image.format = PNG_FORMAT_RGBA;
  // Sixteen-bit files without gamma information are taken as sRGB like
  // eight-bit ones, so that their values are only scaled.
  image.flags |= PNG_IMAGE_FLAG_16BIT_sRGB;
  std::vector<std::uint8_t> rgba(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr)) fail(source, image.message);

  const auto width = static_cast<std::int32_t>(image.width);
  const auto height = static_cast<std::int32_t>(image.height);
  bitmap.Resize(width, height);
  const auto bits = bitmap.Bits();
  for (std::size_t i = 0; i < bits.size(); ++i) {
    bits[i] = Color32(rgba[4 * i + 3], rgba[4 * i], rgba[4 * i + 1], rgba[4 * i + 2]);
  }
  bitmap.Changed();
}

}  // namespace

std::vector<std::uint8_t> EncodePng(const TBitmap32& bitmap) { return encode(bitmap, {}); }

void SavePng(const TBitmap32& bitmap, const std::string& path) {
  const std::vector<std::uint8_t> png = encode(bitmap, path);
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
  out.close();
  if (!out) fail(path, "cannot write the file");
}

void DecodePng(std::span<const std::uint8_t> data, TBitmap32& bitmap) { decode(data, bitmap, {}); }

void LoadPng(const std::string& path, TBitmap32& bitmap) {
  std::ifstream in(path, std::ios::binary);
  if (!in) fail(path, "cannot open the file");
  const std::vector<std::uint8_t> data{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (in.bad()) fail(path, "cannot read the file");
  decode(data, bitmap, path);
}

}  // namespace lumora
