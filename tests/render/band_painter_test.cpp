// The band painter against painting every step at once: seeded random
// frames of stored coverage, transfers of every kind and draw mode, and
// direct drawing, reads and source changes in between, painted over
// several frames on one surface with several thread counts and band
// heights. Every pixel, and every pixel read during a frame, must agree.
#include "render/band_painter.h"

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "render/band_queue_p.h"
#include "render/gr32_graphics.h"

namespace lumora {
namespace {

constexpr std::int32_t kWidth = 61;
constexpr std::int32_t kHeight = 47;

// Rows as the scan converter and the mask cut leave them, and worse: empty
// rows at (0, 0), rows out of order, on no row of the surface or reaching
// past its sides.
TCoverageMask randomMask(std::mt19937& random) {
  TCoverageMask mask;
  const std::int32_t top = static_cast<std::int32_t>(random() % 70) - 12;
  const std::int32_t rows = static_cast<std::int32_t>(random() % 30);
  const bool shuffled = random() % 4 == 0;
  for (std::int32_t k = 0; k < rows; ++k) {
    const std::int32_t y = shuffled ? static_cast<std::int32_t>(random() % 70) - 12 : top + k;
    std::vector<std::uint8_t> bytes(random() % 5 == 0 ? 0 : random() % 80);
    for (std::uint8_t& b : bytes) b = random() % 3 == 0 ? 255 : static_cast<std::uint8_t>(random());
    mask.RowOrigins.push_back(bytes.empty() ? TPoint{} : TPoint{static_cast<std::int32_t>(random() % 90) - 20, y});
    mask.CoverageRows.push_back(std::move(bytes));
  }
  return mask;
}

void fillRandom(TBitmap32& bitmap, std::mt19937& random) {
  for (TColor32& p : bitmap.Bits()) p = random() % 4 == 0 ? 0 : random();
}

// What one frame draws on: the frame, sources and graphics with frozen
// masks, all made alike from the same seed.
struct TWorld {
  TBitmap32 Frame;
  std::vector<std::unique_ptr<TBitmap32>> Sources;
  std::vector<std::unique_ptr<TGR32Graphics>> Outlines;
  std::vector<TColor32> Reads;

  explicit TWorld(std::uint32_t seed) {
    std::mt19937 random(seed);
    Frame.Resize(kWidth, kHeight);
    fillRandom(Frame, random);
    const TDrawMode modes[] = {dmOpaque, dmBlend, dmTransparent, dmCustom};
    const char* resamplers[] = {kNearestResampler, kLinearResampler, kDraftResampler};
    for (int i = 0; i < 6; ++i) {
      auto source = std::make_unique<TBitmap32>();
      source->Resize(5 + static_cast<std::int32_t>(random() % 30), 5 + static_cast<std::int32_t>(random() % 30));
      fillRandom(*source, random);
      source->DrawMode = modes[i % 4];
      source->MasterAlpha = i == 1 ? 200 : 255;
      source->OuterColor = source->ReadPixel(0, 0);
      source->SetResampler(resamplers[i % 3]);
      if (source->DrawMode == dmCustom) {
        source->OnPixelCombine = [](TColor32 f, TColor32& b, std::uint8_t) { b ^= f; };
      }
      Sources.push_back(std::move(source));
    }
    for (int i = 0; i < 12; ++i) {
      auto outline = std::make_unique<TGR32Graphics>();
      outline->Coverage = randomMask(random);
      outline->ReuseMask = true;
      outline->Bitmap = &Frame;
      Outlines.push_back(std::move(outline));
    }
  }
};

TRect randomRect(std::mt19937& random) {
  const std::int32_t left = static_cast<std::int32_t>(random() % 80) - 15;
  const std::int32_t top = static_cast<std::int32_t>(random() % 60) - 10;
  return {left, top, left + static_cast<std::int32_t>(random() % 50), top + static_cast<std::int32_t>(random() % 50)};
}

TAffineTransformation randomTurn(std::mt19937& random, const TBitmap32& source) {
  TAffineTransformation t;
  t.SrcRect = FloatRect(source.BoundsRect());
  t.Rotate(source.Width() / 2.0f, source.Height() / 2.0f, static_cast<float>(random() % 360));
  t.Translate(static_cast<float>(random() % 60), static_cast<float>(random() % 40));
  return t;
}

// One drawing call chosen by the seeded sequence.
void drawOne(TWorld& w, std::mt19937& random) {
  TBitmap32& frame = w.Frame;
  TBitmap32& source = *w.Sources[random() % w.Sources.size()];
  const TRect r = randomRect(random);
  switch (random() % 10) {
    case 0:
    case 1:
    case 2: {
      TGR32Graphics& outline = *w.Outlines[random() % w.Outlines.size()];
      outline.BrushColor = random();
      outline.FillPolygon({});
      break;
    }
    case 3:
      source.DrawToSurface(frame, r.Left, r.Top);
      break;
    case 4:
      source.StretchDrawToSurface(frame, r, source.BoundsRect());
      break;
    case 5:
      TransformTo(frame, source, randomTurn(random, source));
      break;
    case 6:
      frame.LineBlend(r.Left, r.Top, r.Right, r.Bottom, random());
      break;
    case 7:
      w.Reads.push_back(frame.ReadPixel(static_cast<std::int32_t>(random() % kWidth),
                                        static_cast<std::int32_t>(random() % kHeight)));
      break;
    case 8:
      // A source changed after a transfer from it was kept.
      source.FillRectClipped(r.Left, r.Top, r.Right, r.Bottom, random());
      break;
    default: {
      TBitmap32 passing;
      passing.Resize(9, 7);
      fillRandom(passing, random);
      passing.DrawMode = dmBlend;
      passing.DrawToSurface(frame, r.Left, r.Top);
      break;
    }
  }
}

// A frame as the frame pass draws one; now and then something else writes
// the surface between frames, or clears it in another colour or only in
// part.
void drawFrame(TWorld& w, std::mt19937& random, TBandPainter* painter) {
  if (random() % 5 == 0) {
    w.Frame.WritePixel(static_cast<std::int32_t>(random() % kWidth), static_cast<std::int32_t>(random() % kHeight), 1);
  }
  std::unique_ptr<TBandRecording> recording;
  if (painter != nullptr) recording = std::make_unique<TBandRecording>(*painter, w.Frame);
  const std::uint32_t kind = random() % 8;
  if (kind == 0) w.Frame.SetClipRect(randomRect(random));
  w.Frame.Clear(kind == 1 ? 0xFF102030 : 0xFF000000);
  w.Frame.ResetClipRect();
  const std::uint32_t calls = random() % 40;
  for (std::uint32_t i = 0; i < calls; ++i) drawOne(w, random);
}

struct TSetting {
  std::int32_t Threads;
  std::int32_t BandHeight;
};

TEST(BandPainter, PaintsWhatPaintingAtOnceDoes) {
  const TSetting settings[] = {{1, kAutomaticBands}, {1, 1}, {2, 3}, {3, 8}, {8, 5}, {2, 64}, {1, kNoBands}};
  for (const TSetting& setting : settings) {
    for (std::uint32_t seed = 1; seed <= 40; ++seed) {
      TWorld direct(seed);
      TWorld banded(seed);
      TBandPainter painter;
      painter.SetThreadCount(setting.Threads);
      painter.SetBandHeight(setting.BandHeight);
      std::mt19937 directRandom(seed);
      std::mt19937 bandedRandom(seed);
      for (int frame = 0; frame < 6; ++frame) {
        drawFrame(direct, directRandom, nullptr);
        drawFrame(banded, bandedRandom, &painter);
        const std::string where = std::to_string(setting.Threads) + " threads, bands of " +
                                  std::to_string(setting.BandHeight) + ", seed " + std::to_string(seed) +
                                  ", frame " + std::to_string(frame);
        ASSERT_EQ(banded.Reads, direct.Reads) << where;
        ASSERT_TRUE(std::equal(banded.Frame.Bits().begin(), banded.Frame.Bits().end(), direct.Frame.Bits().begin()))
            << where;
      }
    }
  }
}

// A frame of more steps than the painter hands to the threads at once
// (bands of one row, thousands of outlines): the steps land on their own in
// between, and the pixels stay those of painting at once.
TEST(BandPainter, FramesOfManyStepsLandInTurns) {
  for (const std::int32_t threads : {1, 3}) {
    TWorld direct(7);
    TWorld banded(7);
    TBandPainter painter;
    painter.SetThreadCount(threads);
    painter.SetBandHeight(1);
    std::mt19937 random(7);
    {
      const TBandRecording recording(painter, banded.Frame);
      for (int i = 0; i < 20000; ++i) {
        const std::size_t k = random() % direct.Outlines.size();
        const TColor32 colour = random();
        for (TWorld* w : {&direct, &banded}) {
          w->Outlines[k]->BrushColor = colour;
          w->Outlines[k]->FillPolygon({});
        }
      }
    }
    ASSERT_TRUE(std::equal(banded.Frame.Bits().begin(), banded.Frame.Bits().end(), direct.Frame.Bits().begin()))
        << threads << " threads";
  }
}

// Chunks handed over one by one while earlier ones are painted: every band
// paints every chunk exactly once and in order, whatever the thread count,
// work after work on the same threads.
TEST(BandQueue, PaintsEveryChunkOfEveryBandOnceInOrder) {
  for (const std::int32_t threads : {1, 2, 3, 8}) {
    bands::TBandQueue queue(threads);
    EXPECT_EQ(queue.Threads(), threads);
    for (const std::int32_t bands : {0, 1, 2, 7, 40}) {
      for (int work = 0; work < 10; ++work) {
        std::vector<std::vector<std::int32_t>> painted(static_cast<std::size_t>(bands));
        const bands::TBandQueue::TPaint paint = [&](std::int32_t chunk, std::int32_t band) {
          painted[static_cast<std::size_t>(band)].push_back(chunk);
        };
        queue.Start(bands, &paint);
        const std::int32_t chunks = work % 4;
        for (std::int32_t c = 1; c <= chunks; ++c) queue.Submit(c);
        queue.Finish();
        std::vector<std::int32_t> expected(static_cast<std::size_t>(chunks));
        for (std::int32_t c = 0; c < chunks; ++c) expected[static_cast<std::size_t>(c)] = c;
        for (std::int32_t b = 0; b < bands; ++b) {
          ASSERT_EQ(painted[static_cast<std::size_t>(b)], expected) << threads << " threads, band " << b << " of " << bands;
        }
      }
    }
  }
}

}  // namespace
}  // namespace lumora
