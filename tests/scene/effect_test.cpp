#include "scene/effect.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "grid/frame_data.h"
#include "movie/graphic_factory.h"
#include "scene/control_layer.h"
#include "support/grid_fixtures.h"
#include "support/test_graphic.h"

// The replacement below pairs malloc with free itself; the compiler cannot
// see that when it inlines new and delete into this file.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

// Every allocation of the program is counted while gCountAllocations is set,
// so that a test can show that drawing a frame allocates nothing.
namespace {
bool gCountAllocations = false;
long gAllocations = 0;
}  // namespace

// Every unaligned form is replaced, so that each pair meets malloc and free.
namespace {
void* countedAlloc(std::size_t size) noexcept {
  if (gCountAllocations) ++gAllocations;
  return std::malloc(size == 0 ? 1 : size);
}
void* countedAllocOrThrow(std::size_t size) {
  if (void* p = countedAlloc(size)) return p;
  throw std::bad_alloc();
}
}  // namespace

void* operator new(std::size_t size) { return countedAllocOrThrow(size); }
void* operator new[](std::size_t size) { return countedAllocOrThrow(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return countedAlloc(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return countedAlloc(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace lumora {
namespace {

using test::TBoxGraphic;

constexpr TWinColor kStatic = 0x123456;

TFixedRect pixels(std::int32_t l, std::int32_t t, std::int32_t r, std::int32_t b) {
  return {l * kFixedOne, t * kFixedOne, r * kFixedOne, b * kFixedOne};
}

// count grid layers of one section each; every frame is rows × columns
// with cell (0, 1) of frame i set to cells[i].
void addGridLayers(TFrameDataLayers& layers, int count, std::int32_t rows, std::int32_t columns,
                   std::initializer_list<TWinColor> cells) {
  for (int k = 0; k < count; ++k) test::addGridLayer(layers, test::framesWithCell(rows, columns, cells));
}

// A graphic bound to cell (0, 1) of grid layer 0, shown in kStatic when not
// driven by a cell.
std::unique_ptr<TBoxGraphic> boundGraphic(std::uint8_t channelMode) {
  auto g = std::make_unique<TBoxGraphic>();
  g->SetSelected(false);
  g->SetLineColor(kStatic);
  g->SetGridRow(0);
  g->SetGridColumn(1);
  g->SetChannelMode(channelMode);
  return g;
}

// The colour DrawFrame(frame) hands to DrawInColor.
TWinColor frameColour(TBoxGraphic& g, TFrameDataLayers& layers, std::int32_t frame = 0) {
  TBitmap32 bitmap;
  bitmap.Resize(4, 4);
  g.LastColour = -1;
  g.DrawFrame(layers, frame, bitmap);
  return g.LastColour;
}

TEST(CustomState, GridColouringComposesTheChannels) {
  struct TCase {
    std::uint8_t mode;
    TWinColor cell;
    TWinColor expected;
    const char* what;
  };
  const TCase cases[] = {
      {1, 0x0000FE, 0x0000FF, "red 254 reproduces RedColor"},
      {1, 0x000064, 0x000064, "red 100: round(255 × 100 / 254) = 100"},
      {3, 0x00FEFE, 0x00FFFF, "red and green 254 with mode 3"},
      {8, 0x406080, 0x406080, "mode 8 draws the cell unchanged"},
      {200, 0x020406, 0x020406, "any mode from 8 on"},
      {0, 0xFEFEFE, kStatic, "mode 0 shows the static colour"},
      {7, 0x000000, kStatic, "a black cell shows the static colour, not black"},
      {1, 0xFEFE00, kStatic, "the enabled channel is 0"},
  };
  for (const TCase& c : cases) {
    TFrameDataLayers layers;
    addGridLayers(layers, 1, 2, 3, {c.cell});
    auto g = boundGraphic(c.mode);
    EXPECT_EQ(frameColour(*g, layers), c.expected) << c.what;
  }
}

TEST(CustomState, MissingLayerFrameOrCellFallsBackToTheStaticDraw) {
  TFrameDataLayers two;
  addGridLayers(two, 2, 2, 3, {0x0000FE, 0x000064});
  auto g = boundGraphic(1);
  EXPECT_EQ(frameColour(*g, two, 1), 0x000064) << "frame 1 of layer 0";
  g->SetGridLayer(1);
  EXPECT_EQ(frameColour(*g, two, 0), 0x0000FF) << "layer 1";
  g->SetGridLayer(3);
  EXPECT_EQ(frameColour(*g, two), kStatic) << "GridLayer 3 with two grid layers";
  g->SetGridLayer(0);
  TFrameDataLayers none;
  EXPECT_EQ(frameColour(*g, none), kStatic) << "no grid layers";
  EXPECT_EQ(frameColour(*g, two, 2), kStatic) << "a frame past the end";
  EXPECT_EQ(frameColour(*g, two, -1), kStatic) << "a negative frame";
  g->SetGridRow(-1);
  EXPECT_EQ(frameColour(*g, two), kStatic) << "GridRow -1 with a valid GridColumn";
  g->SetGridRow(2);
  EXPECT_EQ(frameColour(*g, two), kStatic) << "a row below the frame";
  g->SetGridRow(0);
  g->SetGridColumn(3);
  EXPECT_EQ(frameColour(*g, two), kStatic) << "a column right of the frame";
  g->SetGridColumn(-1);
  EXPECT_EQ(frameColour(*g, two), kStatic);
  g->SetFilled(true);
  g->SetFillColor(0x00ABCD);
  EXPECT_EQ(frameColour(*g, two), 0x00ABCD) << "the static colour of a filled graphic";
}

TEST(CustomState, ChannelColorRoundsEachComponent) {
  TBoxGraphic g;
  g.SetBlueColor(0xFF0000);
  g.SetChannelMode(4);
  EXPECT_EQ(g.Effect().ChannelColor(0x7F0000), 0x800000) << "round(255 × 127 / 254) = round(127.5) = 128";
  g.SetRedColor(0x000080);
  g.SetChannelMode(1);
  EXPECT_EQ(g.Effect().ChannelColor(0x00007F), 0x000040) << "round(128 × 127 / 254) = 64";
  g.SetRedColor(0x0000FF);
  g.SetGreenColor(0x00FF00);
  g.SetChannelMode(5);
  EXPECT_EQ(g.Effect().ChannelColor(0xFEFEFE), 0xFF00FF) << "green not enabled";
}

TEST(MaskState, DrawsNothing) {
  TFrameDataLayers layers;
  addGridLayers(layers, 1, 2, 3, {0x0000FE});
  auto g = boundGraphic(1);
  g->Box = pixels(0, 0, 4, 4);
  g->SetFilled(true);
  g->SetEffect(CreateEffect(kEffectMask));
  TBitmap32 bitmap;
  bitmap.Resize(4, 4);
  bitmap.Clear(clBlack32);
  g->Draw(bitmap);
  g->DrawFrame(layers, 0, bitmap);
  g->Effect().Draw(bitmap, 255);
  EXPECT_EQ(g->InColorCalls, 0);
  for (const TColor32 pixel : bitmap.Bits()) EXPECT_EQ(pixel, clBlack32);
  g->Effect().SetCoverageFrozen(true, bitmap);
  EXPECT_TRUE(g->Painter().ReuseMask) << "the mask effect still freezes its owner";
}

// The player's frame: the bitmap cleared to black, then every graphic's
// DrawFrame.
void drawFrame(TControlLayer& root, TFrameDataLayers& layers, std::int32_t frame, TBitmap32& bitmap) {
  bitmap.Clear(clBlack32);
  for (const auto& layer : root.Layers()) {
    for (const auto& graphic : layer->Graphics()) graphic->DrawFrame(layers, frame, bitmap);
  }
}

// What a fresh graphic with the same box draws in the colour on black.
void drawReference(TBitmap32& b, const TFixedRect& box, bool filled, TWinColor colour) {
  b.Resize(16, 12);
  b.Clear(clBlack32);
  TBoxGraphic g;
  g.Box = box;
  g.SetFilled(filled);
  g.SetLineWidth(2 * kFixedOne);
  g.SetEditMode(false);
  g.DrawInColor(b, colour);
}

void expectSameImage(const TBitmap32& actual, const TBitmap32& expected, const std::string& what) {
  ASSERT_EQ(actual.Width(), expected.Width());
  ASSERT_EQ(actual.Height(), expected.Height());
  for (std::int32_t y = 0; y < actual.Height(); ++y) {
    for (std::int32_t x = 0; x < actual.Width(); ++x) {
      ASSERT_EQ(actual.ReadPixel(x, y), expected.ReadPixel(x, y)) << what << ": pixel " << x << "," << y;
    }
  }
}

TEST(CustomState, AfterThePreparePassFramesOnlyRecolourAndAllocateNothing) {
  TFrameDataLayers layers;
  addGridLayers(layers, 1, 1, 2, {0x0000FE, 0x000000, 0x00FE00});
  TControlLayer root;
  TLayer& layer = root.AddLayer("");
  auto fill = boundGraphic(3);
  fill->Box = {2 * kFixedOne + kFixedHalf, 2 * kFixedOne, 9 * kFixedOne, 7 * kFixedOne + 5000};
  fill->SetFilled(true);
  fill->SetFillColor(0x0000FF);
  TBoxGraphic& filled = *fill;
  auto stroke = boundGraphic(3);
  stroke->Box = pixels(10, 3, 14, 9);
  stroke->SetLineWidth(2 * kFixedOne);
  TBoxGraphic& stroked = *stroke;
  layer.Add(std::move(fill));
  layer.Add(std::move(stroke));
  TBitmap32 bitmap;
  bitmap.Resize(16, 12);
  root.SetAllEditMode(false);
  root.SetAllUseView(false);
  root.PreparePass(true, bitmap);
  EXPECT_EQ(filled.LastColour, 255) << "the prepare pass draws in colour 255";
  EXPECT_TRUE(filled.Painter().ReuseMask);
  EXPECT_TRUE(stroked.Painter().ReuseMask);

  // Moving the outlines afterwards must not show: nothing is rasterised
  // again, the stored coverage is only recoloured.
  const TFixedRect filledBox = filled.Box;
  const TFixedRect strokedBox = stroked.Box;
  filled.Box = pixels(0, 0, 16, 12);
  stroked.Box = pixels(1, 1, 3, 3);

  drawFrame(root, layers, 0, bitmap);  // first use of every buffer
  gCountAllocations = true;
  gAllocations = 0;
  EXPECT_NE(std::make_unique<int>(1), nullptr);
  ASSERT_EQ(gAllocations, 1) << "the counter sees allocations";
  gAllocations = 0;
  for (int repeat = 0; repeat < 3; ++repeat) {
    for (std::int32_t frame = 0; frame < 3; ++frame) drawFrame(root, layers, frame, bitmap);
  }
  gCountAllocations = false;
  EXPECT_EQ(gAllocations, 0) << "frames allocate nothing";

  const struct {
    std::int32_t frame;
    TWinColor filledColour;
    TWinColor strokedColour;
  } frames[] = {{0, 0x0000FF, 0x0000FF}, {1, 0x0000FF, kStatic}, {2, 0x00FF00, 0x00FF00}};
  for (const auto& f : frames) {
    drawFrame(root, layers, f.frame, bitmap);
    TBitmap32 expected;
    drawReference(expected, filledBox, true, f.filledColour);
    TBoxGraphic strokedReference;
    strokedReference.Box = strokedBox;
    strokedReference.SetLineWidth(2 * kFixedOne);
    strokedReference.DrawInColor(expected, f.strokedColour);
    expectSameImage(bitmap, expected, "frame " + std::to_string(f.frame));
  }

  root.PreparePass(false, bitmap);
  EXPECT_FALSE(filled.Painter().ReuseMask) << "the second pass releases the freeze";
}

TEST(CustomState, ApplyMaskCutsTheFrozenCoverageByAlpha) {
  TBoxGraphic g;
  g.SetSelected(false);
  g.SetFilled(true);
  g.SetFillColor(0x0000FF);
  g.Box = pixels(0, 0, 8, 4);
  TBitmap32 bitmap;
  bitmap.Resize(8, 4);
  g.Effect().Draw(bitmap, 255);
  g.Effect().SetCoverageFrozen(true, bitmap);
  TBitmap32 mask;
  mask.Resize(8, 4);
  mask.Clear(0x00000000);
  mask.FillRectClipped(0, 0, 4, 4, 0xFFFF0000);
  mask.FillRectClipped(4, 0, 6, 4, 0x80FF0000);
  g.ApplyMask(mask);
  bitmap.Clear(clBlack32);
  TFrameDataLayers none;
  g.DrawFrame(none, 0, bitmap);
  EXPECT_EQ(bitmap.ReadPixel(1, 1), 0xFFFF0000u) << "under opaque mask";
  EXPECT_EQ(bitmap.ReadPixel(7, 2), clBlack32) << "under transparent mask";
  const TColor32 half = bitmap.ReadPixel(5, 2);
  EXPECT_GT(RedComponent(half), 0x70);
  EXPECT_LT(RedComponent(half), 0x90) << "half coverage under half alpha";
}

}  // namespace
}  // namespace lumora
