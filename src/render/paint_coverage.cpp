// Repainting stored coverage in a colour: what every frame does for every
// outline, so it is written for speed. Fully covered pixels take the colour
// as it is; partly covered ones move towards its RGB by their coverage, alpha
// included (BlendPixel with the coverage as alpha, at full weight); empty
// ones, at weight 0, stay as they are.
#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

#include "render/band_steps_p.h"
#include "render/paint_coverage_p.h"
#include "render/scan_converter.h"

namespace lumora {

namespace {

using bands::TBand;

TColor32 paintedPixel(TColor32 pixel, std::uint8_t a, TColor32 colour) {
  const TColor32 blended = BlendByWeight((TColor32{a} << 24) | (colour & 0x00FFFFFF), pixel, a);
  return a == 255 ? colour : blended;
}

// Bytes one at a time: the plain rule, and the ends of rows.
void paintBytes(TColor32* pixels, const std::uint8_t* coverage, std::size_t count, TColor32 colour) {
  for (std::size_t i = 0; i < count; ++i) {
    if (coverage[i] != 0) pixels[i] = paintedPixel(pixels[i], coverage[i], colour);
  }
}

// The pixels of one coverage row that lie inside the band, from column X.
struct TRowSpan {
  TColor32* Pixels = nullptr;
  const std::uint8_t* Coverage = nullptr;
  std::size_t Count = 0;
  std::int32_t X = 0;
};

bool visibleSpan(const TBand& band, const TPoint& origin, const std::vector<std::uint8_t>& bytes, TRowSpan& span) {
  if (origin.Y < band.Top || origin.Y >= band.Bottom) return false;
  const std::int64_t from = std::max<std::int64_t>(0, -std::int64_t{origin.X});
  const std::int64_t to =
      std::min<std::int64_t>(static_cast<std::int64_t>(bytes.size()), std::int64_t{band.Rows.Width} - origin.X);
  if (from >= to) return false;
  const auto x = static_cast<std::int32_t>(origin.X + from);
  span = {band.Rows.Pixel(x, origin.Y), bytes.data() + from, static_cast<std::size_t>(to - from), x};
  return true;
}

// The whole surface as one band.
TBand wholeSurface(TBitmap32& surface) {
  const std::span<TColor32> bits = surface.Bits();
  return {{bits.data(), surface.Width(), surface.Height()}, 0, surface.Height(), nullptr};
}

// Consecutive rows lie a whole surface row apart, a stride the processor
// does not foresee; asking early for the pixels at both ends of a row a few
// rows ahead, where its edges are, hides much of the wait for them.
constexpr std::size_t kPrefetchRows = 2;
constexpr std::size_t kPrefetchPlaces = 8;

void prefetchSpan(const TRowSpan& span) {
  __builtin_prefetch(span.Pixels, 1);
  __builtin_prefetch(span.Pixels + span.Count - 1, 1);
  __builtin_prefetch(span.Coverage);
}

// Rows [first, end) of a mask, as far as they lie in the band, through the
// row painter; the band's extents widen by what was painted.
template <class TPaintRow>
[[gnu::always_inline]] inline void paintRows(const TBand& band, const TCoverageMask& mask, std::size_t first,
                                             std::size_t end, const TPaintRow& paintRow) {
  const TPoints& origins = mask.RowOrigins;
  const TArrayofByteArray& rows = mask.CoverageRows;
  const std::size_t count = std::min({origins.size(), rows.size(), end});
  for (std::size_t k = first; k < count; ++k) {
    // The rows' places and sizes, further ahead, are what finding a row's
    // pixels waits for first.
    if (k + kPrefetchPlaces < count) {
      __builtin_prefetch(&origins[k + kPrefetchPlaces]);
      __builtin_prefetch(&rows[k + kPrefetchPlaces]);
    }
    TRowSpan ahead;
    const std::size_t next = k + kPrefetchRows;
    if (next < count && visibleSpan(band, origins[next], rows[next], ahead)) prefetchSpan(ahead);
    TRowSpan span;
    if (!visibleSpan(band, origins[k], rows[k], span)) continue;
    paintRow(span.Pixels, span.Coverage, span.Count);
    if (band.Extents != nullptr) {
      band.Extents[origins[k].Y].Widen(span.X, span.X + static_cast<std::int32_t>(span.Count));
    }
  }
}

void paintBandBytes(const TBand& band, const TCoverageMask& mask, std::size_t first, std::size_t end,
                    TColor32 colour) {
  paintRows(band, mask, first, end, [colour](TColor32* pixels, const std::uint8_t* coverage, std::size_t count) {
    paintBytes(pixels, coverage, count, colour);
  });
}

template <paint::TBandPaint paintBand>
void paintMask(TBitmap32& surface, const TCoverageMask& mask, TColor32 colour) {
  paintBand(wholeSurface(surface), mask, 0, mask.RowOrigins.size(), colour);
}

#if defined(__SSE2__)

// Four pixels at once, without branches: the edges of outlines hold bytes
// of every kind in no order that a branch could foresee. The channels are
// widened to 16 bits, where F × W + B × (256 − W) + 128 stays below 65536.
class TQuadPainter {
 public:
  explicit TQuadPainter(TColor32 colour)
      : fColour(_mm_set1_epi32(static_cast<int>(colour))),
        fRgb(_mm_set1_epi32(static_cast<int>(colour & 0x00FFFFFF))),
        fAlpha(_mm_set1_epi32(static_cast<int>(0xFF000000))),
        fFull(_mm_set1_epi32(-1)),
        f256(_mm_set1_epi16(256)),
        fHalf(_mm_set1_epi16(128)) {}

  void Paint(TColor32* pixels, const std::uint8_t* coverage) const {
    std::uint32_t four;
    std::memcpy(&four, coverage, sizeof four);
    // Each pixel's coverage in all four of its bytes.
    __m128i weights = _mm_cvtsi32_si128(static_cast<int>(four));
    weights = _mm_unpacklo_epi8(weights, weights);
    weights = _mm_unpacklo_epi16(weights, weights);
    const __m128i source = _mm_or_si128(_mm_and_si128(weights, fAlpha), fRgb);
    const __m128i target = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels));
    const __m128i zero = _mm_setzero_si128();
    const __m128i low = blend16(_mm_unpacklo_epi8(source, zero), _mm_unpacklo_epi8(target, zero),
                                _mm_unpacklo_epi8(weights, zero));
    const __m128i high = blend16(_mm_unpackhi_epi8(source, zero), _mm_unpackhi_epi8(target, zero),
                                 _mm_unpackhi_epi8(weights, zero));
    const __m128i blended = _mm_packus_epi16(low, high);
    const __m128i full = _mm_cmpeq_epi8(weights, fFull);
    const __m128i result = _mm_or_si128(_mm_and_si128(full, fColour), _mm_andnot_si128(full, blended));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(pixels), result);
  }

  void Fill(TColor32* pixels) const { _mm_storeu_si128(reinterpret_cast<__m128i*>(pixels), fColour); }

 private:
  __m128i blend16(__m128i f, __m128i b, __m128i w) const {
    const __m128i sum = _mm_add_epi16(_mm_mullo_epi16(f, w), _mm_mullo_epi16(b, _mm_sub_epi16(f256, w)));
    return _mm_srli_epi16(_mm_add_epi16(sum, fHalf), 8);
  }

  __m128i fColour;
  __m128i fRgb;
  __m128i fAlpha;
  __m128i fFull;
  __m128i f256;
  __m128i fHalf;
};

// Sixteen empty bytes leave their pixels untouched, so that the hollow
// middle of a large outline costs no memory traffic, and sixteen full ones
// are plain stores; everything else goes through the quad painter.
bool allEqual(const std::uint8_t* coverage, __m128i value) {
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(coverage));
  return _mm_movemask_epi8(_mm_cmpeq_epi8(bytes, value)) == 0xFFFF;
}

[[gnu::always_inline]] inline void paintQuadRow(const TQuadPainter& painter, TColor32* pixels,
                                                const std::uint8_t* coverage, std::size_t count, TColor32 colour) {
  const __m128i none = _mm_setzero_si128();
  const __m128i all = _mm_set1_epi32(-1);
  std::size_t i = 0;
  for (; i + 16 <= count; i += 16) {
    if (allEqual(coverage + i, none)) continue;
    const bool full = allEqual(coverage + i, all);
    for (std::size_t j = i; j < i + 16; j += 4) {
      if (full) {
        painter.Fill(pixels + j);
      } else {
        painter.Paint(pixels + j, coverage + j);
      }
    }
  }
  for (; i + 4 <= count; i += 4) painter.Paint(pixels + i, coverage + i);
  paintBytes(pixels + i, coverage + i, count - i, colour);
}

void paintRowSse2(TColor32* pixels, const std::uint8_t* coverage, std::size_t count, TColor32 colour) {
  paintQuadRow(TQuadPainter(colour), pixels, coverage, count, colour);
}

void paintBandSse2(const TBand& band, const TCoverageMask& mask, std::size_t first, std::size_t end,
                   TColor32 colour) {
  const TQuadPainter painter(colour);
  paintRows(band, mask, first, end, [&](TColor32* pixels, const std::uint8_t* coverage, std::size_t count) {
    paintQuadRow(painter, pixels, coverage, count, colour);
  });
}

// The quad painter's work on eight pixels at once, where the processor has
// AVX2; rows then go sixteen bytes at a time as above.
class TOctPainter {
 public:
  [[gnu::target("avx2")]] explicit TOctPainter(TColor32 colour)
      : fColour(_mm256_set1_epi32(static_cast<int>(colour))),
        fRgb(_mm256_set1_epi32(static_cast<int>(colour & 0x00FFFFFF))),
        fAlpha(_mm256_set1_epi32(static_cast<int>(0xFF000000))),
        fFull(_mm256_set1_epi32(-1)),
        f256(_mm256_set1_epi16(256)),
        fHalf(_mm256_set1_epi16(128)) {}

  [[gnu::target("avx2")]] void Paint(TColor32* pixels, const std::uint8_t* coverage) const {
    // Each pixel's coverage in all four of its bytes.
    const __m256i each = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(coverage)));
    const __m256i weights = _mm256_mullo_epi32(each, _mm256_set1_epi32(0x01010101));
    const __m256i source = _mm256_or_si256(_mm256_and_si256(weights, fAlpha), fRgb);
    const __m256i target = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pixels));
    const __m256i zero = _mm256_setzero_si256();
    const __m256i low = blend16(_mm256_unpacklo_epi8(source, zero), _mm256_unpacklo_epi8(target, zero),
                                _mm256_unpacklo_epi8(weights, zero));
    const __m256i high = blend16(_mm256_unpackhi_epi8(source, zero), _mm256_unpackhi_epi8(target, zero),
                                 _mm256_unpackhi_epi8(weights, zero));
    const __m256i blended = _mm256_packus_epi16(low, high);
    const __m256i result = _mm256_blendv_epi8(blended, fColour, _mm256_cmpeq_epi8(weights, fFull));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(pixels), result);
  }

  [[gnu::target("avx2")]] void Fill(TColor32* pixels) const {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(pixels), fColour);
  }

 private:
  [[gnu::target("avx2")]] __m256i blend16(__m256i f, __m256i b, __m256i w) const {
    const __m256i sum = _mm256_add_epi16(_mm256_mullo_epi16(f, w), _mm256_mullo_epi16(b, _mm256_sub_epi16(f256, w)));
    return _mm256_srli_epi16(_mm256_add_epi16(sum, fHalf), 8);
  }

  __m256i fColour;
  __m256i fRgb;
  __m256i fAlpha;
  __m256i fFull;
  __m256i f256;
  __m256i fHalf;
};

// Wide rows take the eight-pixel painter, their ends the quad painter.
struct TAvx2Painters {
  [[gnu::target("avx2")]] explicit TAvx2Painters(TColor32 colour) : Octs(colour), Quads(colour), Colour(colour) {}

  [[gnu::target("avx2")]] void PaintRow(TColor32* pixels, const std::uint8_t* coverage, std::size_t count) const {
    const __m128i none = _mm_setzero_si128();
    const __m128i all = _mm_set1_epi32(-1);
    std::size_t i = 0;
    for (; i + 16 <= count; i += 16) {
      if (allEqual(coverage + i, none)) continue;
      if (allEqual(coverage + i, all)) {
        Octs.Fill(pixels + i);
        Octs.Fill(pixels + i + 8);
      } else {
        Octs.Paint(pixels + i, coverage + i);
        Octs.Paint(pixels + i + 8, coverage + i + 8);
      }
    }
    if (i + 8 <= count) {
      Octs.Paint(pixels + i, coverage + i);
      i += 8;
    }
    paintQuadRow(Quads, pixels + i, coverage + i, count - i, Colour);
  }

  [[gnu::target("avx2")]] void operator()(TColor32* pixels, const std::uint8_t* coverage, std::size_t count) const {
    PaintRow(pixels, coverage, count);
  }

  TOctPainter Octs;
  TQuadPainter Quads;
  TColor32 Colour;
};

[[gnu::target("avx2")]] void paintRowAvx2(TColor32* pixels, const std::uint8_t* coverage, std::size_t count,
                                         TColor32 colour) {
  TAvx2Painters(colour).PaintRow(pixels, coverage, count);
}

[[gnu::target("avx2")]] void paintBandAvx2(const TBand& band, const TCoverageMask& mask, std::size_t first,
                                          std::size_t end, TColor32 colour) {
  paintRows(band, mask, first, end, TAvx2Painters(colour));
}

std::vector<paint::TRowPainter> availablePainters() {
  std::vector<paint::TRowPainter> painters = {
      {"bytes", paintBytes, paintMask<paintBandBytes>, paintBandBytes},
      {"SSE2", paintRowSse2, paintMask<paintBandSse2>, paintBandSse2}};
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2")) {
    painters.push_back({"AVX2", paintRowAvx2, paintMask<paintBandAvx2>, paintBandAvx2});
  }
  return painters;
}

#else

std::vector<paint::TRowPainter> availablePainters() {
  return {{"bytes", paintBytes, paintMask<paintBandBytes>, paintBandBytes}};
}

#endif

}  // namespace

namespace paint {

const std::vector<TRowPainter>& RowPainters() {
  static const std::vector<TRowPainter> painters = availablePainters();
  return painters;
}

}  // namespace paint

void PaintCoverage(TBitmap32& surface, const TCoverageMask& mask, TColor32 colour) {
  static const paint::TMaskPaint paintMask = paint::RowPainters().back().PaintMask;
  paintMask(surface, mask, colour);
}

namespace bands {

void PaintCoverageRows(const TBand& band, const TCoverageMask& mask, std::size_t first, std::size_t end,
                       TColor32 colour) {
  static const paint::TBandPaint paintBand = paint::RowPainters().back().PaintBand;
  paintBand(band, mask, first, end, colour);
}

}  // namespace bands

}  // namespace lumora
