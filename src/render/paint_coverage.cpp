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
#include "render/packed_coverage.h"
#include "render/paint_coverage_p.h"
#include "render/scan_converter.h"

namespace lumora {

namespace {

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

// The pixels of one coverage row that lie inside the surface.
struct TRowSpan {
  TColor32* Pixels = nullptr;
  const std::uint8_t* Coverage = nullptr;
  std::size_t Count = 0;
};

bool visibleSpan(TBitmap32& surface, const TPoint& origin, const std::vector<std::uint8_t>& bytes, TRowSpan& span) {
  if (origin.Y < 0 || origin.Y >= surface.Height()) return false;
  const std::int64_t from = std::max<std::int64_t>(0, -std::int64_t{origin.X});
  const std::int64_t to =
      std::min<std::int64_t>(static_cast<std::int64_t>(bytes.size()), std::int64_t{surface.Width()} - origin.X);
  if (from >= to) return false;
  span = {surface.PixelAddress(static_cast<std::int32_t>(origin.X + from), origin.Y), bytes.data() + from,
          static_cast<std::size_t>(to - from)};
  return true;
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

// Every visible row of a mask through the row painter.
template <class TPaintRow>
[[gnu::always_inline]] inline void paintRows(TBitmap32& surface, const TCoverageMask& mask,
                                             const TPaintRow& paintRow) {
  const TPoints& origins = mask.RowOrigins;
  const TArrayofByteArray& rows = mask.CoverageRows;
  const std::size_t count = std::min(origins.size(), rows.size());
  for (std::size_t k = 0; k < count; ++k) {
    // The rows' places and sizes, further ahead, are what finding a row's
    // pixels waits for first.
    if (k + kPrefetchPlaces < count) {
      __builtin_prefetch(&origins[k + kPrefetchPlaces]);
      __builtin_prefetch(&rows[k + kPrefetchPlaces]);
    }
    TRowSpan ahead;
    const std::size_t next = k + kPrefetchRows;
    if (next < count && visibleSpan(surface, origins[next], rows[next], ahead)) prefetchSpan(ahead);
    TRowSpan span;
    if (visibleSpan(surface, origins[k], rows[k], span)) paintRow(span.Pixels, span.Coverage, span.Count);
  }
}

void paintMaskBytes(TBitmap32& surface, const TCoverageMask& mask, TColor32 colour) {
  paintRows(surface, mask, [colour](TColor32* pixels, const std::uint8_t* coverage, std::size_t count) {
    paintBytes(pixels, coverage, count, colour);
  });
}

// Packed segments [first, end) through the row painter, as far as they lie
// in the band: full ones store the colour, as the painters store it for
// full bytes. The band notes what was written.
template <class TPaintRow>
[[gnu::always_inline]] inline void paintSegments(const bands::TBand& band, const std::uint32_t* words,
                                                 std::size_t first, std::size_t end, TColor32 colour,
                                                 const TPaintRow& paintRow) {
  for (std::size_t i = first; i < end;) {
    const auto x = static_cast<std::int32_t>(words[i]);
    const auto y = static_cast<std::int32_t>(words[i + 1]);
    const bool full = (words[i + 2] & kFullSegment) != 0;
    const std::uint32_t length = words[i + 2] & ~kFullSegment;
    const auto* coverage = reinterpret_cast<const std::uint8_t*>(words + i + kSegmentHeaderWords);
    i += kSegmentHeaderWords + (full ? 0 : (length + 3) / 4);
    if (y < band.Top || y >= band.Bottom) continue;
    const std::int64_t from = std::max<std::int64_t>(0, -std::int64_t{x});
    const std::int64_t to = std::min<std::int64_t>(length, std::int64_t{band.Rows.Width} - x);
    if (from >= to) continue;
    const auto left = static_cast<std::int32_t>(x + from);
    const auto count = static_cast<std::size_t>(to - from);
    TColor32* pixels = band.Rows.Pixel(left, y);
    if (full) {
      std::fill_n(pixels, count, colour);
    } else {
      paintRow(pixels, coverage + from, count);
    }
    band.MarkWritten(y, left, left + static_cast<std::int32_t>(count));
  }
}

void paintSegmentsBytes(const bands::TBand& band, const std::uint32_t* words, std::size_t first, std::size_t end,
                        TColor32 colour) {
  paintSegments(band, words, first, end, colour,
                [colour](TColor32* pixels, const std::uint8_t* coverage, std::size_t count) {
                  paintBytes(pixels, coverage, count, colour);
                });
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

void paintMaskSse2(TBitmap32& surface, const TCoverageMask& mask, TColor32 colour) {
  const TQuadPainter painter(colour);
  paintRows(surface, mask, [&](TColor32* pixels, const std::uint8_t* coverage, std::size_t count) {
    paintQuadRow(painter, pixels, coverage, count, colour);
  });
}

void paintSegmentsSse2(const bands::TBand& band, const std::uint32_t* words, std::size_t first, std::size_t end,
                       TColor32 colour) {
  const TQuadPainter painter(colour);
  paintSegments(band, words, first, end, colour,
                [&](TColor32* pixels, const std::uint8_t* coverage, std::size_t count) {
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
    const __m256i weights = spread(coverage);
    const __m256i target = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pixels));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(pixels), paint(weights, target));
  }

  [[gnu::target("avx2")]] void Fill(TColor32* pixels) const {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(pixels), fColour);
  }

  // The first count (1 to 7) of eight pixels, by masked loads and stores
  // that touch no other pixel. The eight coverage bytes must be readable;
  // those past count only feed lanes that are not stored.
  [[gnu::target("avx2")]] void PaintPart(TColor32* pixels, const std::uint8_t* coverage, std::size_t count) const {
    const __m256i lanes =
        _mm256_cmpgt_epi32(_mm256_set1_epi32(static_cast<int>(count)), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
    const __m256i weights = spread(coverage);
    const __m256i target = _mm256_maskload_epi32(reinterpret_cast<const int*>(pixels), lanes);
    _mm256_maskstore_epi32(reinterpret_cast<int*>(pixels), lanes, paint(weights, target));
  }

 private:
  // Each of eight pixels' coverage in all four of its bytes: the eight bytes
  // in both halves, then each half takes its four bytes four times.
  [[gnu::target("avx2")]] static __m256i spread(const std::uint8_t* coverage) {
    const __m256i eight = _mm256_broadcastq_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(coverage)));
    const __m256i fourTimes = _mm256_setr_epi8(0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5,
                                               6, 6, 6, 6, 7, 7, 7, 7);
    return _mm256_shuffle_epi8(eight, fourTimes);
  }

  [[gnu::target("avx2")]] __m256i paint(__m256i weights, __m256i target) const {
    const __m256i source = _mm256_or_si256(_mm256_and_si256(weights, fAlpha), fRgb);
    const __m256i zero = _mm256_setzero_si256();
    const __m256i low = blend16(_mm256_unpacklo_epi8(source, zero), _mm256_unpacklo_epi8(target, zero),
                                _mm256_unpacklo_epi8(weights, zero));
    const __m256i high = blend16(_mm256_unpackhi_epi8(source, zero), _mm256_unpackhi_epi8(target, zero),
                                 _mm256_unpackhi_epi8(weights, zero));
    const __m256i blended = _mm256_packus_epi16(low, high);
    return _mm256_blendv_epi8(blended, fColour, _mm256_cmpeq_epi8(weights, fFull));
  }

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

[[gnu::target("avx2")]] void paintMaskAvx2(TBitmap32& surface, const TCoverageMask& mask,
                                          TColor32 colour) {
  paintRows(surface, mask, TAvx2Painters(colour));
}

// Segments are short, mostly the few partly covered pixels where a row
// crosses an outline: eight pixels at a time, the last ones masked.
struct TAvx2SegmentPainter {
  [[gnu::target("avx2")]] explicit TAvx2SegmentPainter(TColor32 colour) : Octs(colour) {}

  [[gnu::target("avx2")]] void operator()(TColor32* pixels, const std::uint8_t* coverage, std::size_t count) const {
    std::size_t i = 0;
    for (; i + 8 <= count; i += 8) Octs.Paint(pixels + i, coverage + i);
    if (i < count) Octs.PaintPart(pixels + i, coverage + i, count - i);
  }

  TOctPainter Octs;
};

[[gnu::target("avx2")]] void paintSegmentsAvx2(const bands::TBand& band, const std::uint32_t* words,
                                              std::size_t first, std::size_t end, TColor32 colour) {
  paintSegments(band, words, first, end, colour, TAvx2SegmentPainter(colour));
}

std::vector<paint::TRowPainter> availablePainters() {
  std::vector<paint::TRowPainter> painters = {{"bytes", paintBytes, paintMaskBytes, paintSegmentsBytes},
                                              {"SSE2", paintRowSse2, paintMaskSse2, paintSegmentsSse2}};
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2")) {
    painters.push_back({"AVX2", paintRowAvx2, paintMaskAvx2, paintSegmentsAvx2});
  }
  return painters;
}

#else

std::vector<paint::TRowPainter> availablePainters() {
  return {{"bytes", paintBytes, paintMaskBytes, paintSegmentsBytes}};
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

void bands::PaintSegments(const TBand& band, const std::uint32_t* words, std::size_t first, std::size_t end,
                          TColor32 colour) {
  static const paint::TSegmentPaint paint = paint::RowPainters().back().PaintSegments;
  paint(band, words, first, end, colour);
}

}  // namespace lumora
