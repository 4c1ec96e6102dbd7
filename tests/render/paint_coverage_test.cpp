// PaintCoverage and its row painters against the byte-by-byte rule: full
// coverage stores the colour, anything else blends the colour's RGB with the
// coverage as alpha (BlendPixel at full weight), on seeded random rows.
#include <algorithm>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "render/packed_coverage.h"
#include "render/paint_coverage_p.h"
#include "render/scan_converter.h"

namespace lumora {
namespace {

TColor32 byRule(TColor32 pixel, std::uint8_t a, TColor32 colour) {
  return a == 255 ? colour : BlendPixel((TColor32{a} << 24) | (colour & 0x00FFFFFF), pixel, 255);
}

// Runs of empty, full and partial bytes, as the edges and middles of
// outlines hold them.
std::vector<std::uint8_t> randomRow(std::mt19937& random, std::size_t length) {
  std::vector<std::uint8_t> bytes;
  while (bytes.size() < length) {
    const std::uint32_t kind = random() % 3;
    const std::uint32_t run = 1 + random() % 20;
    for (std::uint32_t i = 0; i < run && bytes.size() < length; ++i) {
      bytes.push_back(kind == 0 ? 0 : kind == 1 ? 255 : static_cast<std::uint8_t>(random()));
    }
  }
  return bytes;
}

TEST(PaintCoverage, EveryRowPainterFollowsTheByteRule) {
  std::mt19937 random(99);
  const std::vector<paint::TRowPainter>& painters = paint::RowPainters();
  ASSERT_FALSE(painters.empty());
  for (const paint::TRowPainter& painter : painters) {
    for (std::size_t length = 0; length < 100; ++length) {
      for (int round = 0; round < 20; ++round) {
        const std::vector<std::uint8_t> row = randomRow(random, length);
        std::vector<TColor32> pixels(length);
        for (TColor32& p : pixels) p = random();
        std::vector<TColor32> expected = pixels;
        const TColor32 colour = random();
        for (std::size_t i = 0; i < length; ++i) expected[i] = byRule(expected[i], row[i], colour);
        painter.Paint(pixels.data(), row.data(), length, colour);
        ASSERT_EQ(pixels, expected) << painter.Name << ", " << length << " bytes";
      }
    }
  }
}

// Whole masks over a small surface, some rows reaching off it on any side:
// the pixels under the rows follow the rule, all others stay, with every
// painter and with the one PaintCoverage chose.
TEST(PaintCoverage, MasksAreCutToTheSurface) {
  std::mt19937 random(2024);
  auto below = [&](std::uint32_t n) { return static_cast<std::int32_t>(random() % n); };
  std::vector<std::pair<std::string, paint::TMaskPaint>> painters = {{"PaintCoverage", PaintCoverage}};
  for (const paint::TRowPainter& painter : paint::RowPainters()) painters.emplace_back(painter.Name, painter.PaintMask);
  for (int round = 0; round < 600; ++round) {
    const auto& [name, paintMask] = painters[static_cast<std::size_t>(round) % painters.size()];
    TBitmap32 painted;
    painted.Resize(64, 16);
    for (TColor32& p : painted.Bits()) p = random();
    TBitmap32 expected;
    expected.Assign(painted);
    TCoverageMask mask;
    TPoints& origins = mask.RowOrigins;
    TArrayofByteArray& rows = mask.CoverageRows;
    for (int k = 0; k < 24; ++k) {
      origins.push_back({below(90) - 16, below(20) - 2});
      rows.push_back(randomRow(random, static_cast<std::size_t>(below(80))));
    }
    const TColor32 colour = random();
    paintMask(painted, mask, colour);
    for (std::size_t k = 0; k < rows.size(); ++k) {
      for (std::size_t i = 0; i < rows[k].size(); ++i) {
        const std::int64_t x = origins[k].X + static_cast<std::int64_t>(i);
        const std::int32_t y = origins[k].Y;
        if (x < 0 || x >= expected.Width() || y < 0 || y >= expected.Height()) continue;
        TColor32& pixel = *expected.PixelAddress(static_cast<std::int32_t>(x), y);
        pixel = byRule(pixel, rows[k][i], colour);
      }
    }
    ASSERT_TRUE(std::equal(painted.Bits().begin(), painted.Bits().end(), expected.Bits().begin()))
        << name << ", round " << round;
  }
}

// Packed segments paint exactly what their mask's rows paint, band by band
// (a band takes the rows inside it, from any segment range holding them),
// with every painter; the band notes every block of columns it changed.
TEST(PaintCoverage, PackedSegmentsPaintAsTheirRows) {
  std::mt19937 random(7);
  for (const paint::TRowPainter& painter : paint::RowPainters()) {
    for (int round = 0; round < 200; ++round) {
      TBitmap32 expected;
      expected.Resize(64, 16);
      for (TColor32& p : expected.Bits()) p = random();
      TCoverageMask mask;
      for (int k = 0; k < 24; ++k) {
        mask.RowOrigins.push_back({static_cast<std::int32_t>(random() % 90) - 16,
                                   static_cast<std::int32_t>(random() % 20) - 2});
        mask.CoverageRows.push_back(randomRow(random, random() % 80));
      }
      TBitmap32 painted;
      painted.Assign(expected);
      const std::vector<TColor32> before(painted.Bits().begin(), painted.Bits().end());
      const TColor32 colour = random();
      PaintCoverage(expected, mask, colour);
      TPackedCoverage packed;
      packed.Pack(mask);
      ASSERT_TRUE(packed.Matches(mask));
      std::vector<std::uint64_t> written(16, 0);
      const std::span<TColor32> bits = painted.Bits();
      for (std::int32_t top = 0; top < 16; top += 5) {
        // Blocks of 2 columns.
        const bands::TBand band{{bits.data(), 64, 16}, top, std::min(top + 5, 16), written.data(), 1};
        painter.PaintSegments(band, packed.Words().data(), 0, packed.Words().size(), colour);
      }
      ASSERT_TRUE(std::equal(bits.begin(), bits.end(), expected.Bits().begin()))
          << painter.Name << ", round " << round;
      for (std::size_t i = 0; i < bits.size(); ++i) {
        if (bits[i] == before[i]) continue;
        ASSERT_NE(written[i / 64] & (std::uint64_t{1} << (i % 64 / 2)), 0u) << painter.Name << ", round " << round;
      }
    }
  }
}

}  // namespace
}  // namespace lumora
