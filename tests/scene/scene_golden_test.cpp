// Golden images of groups, bitmap graphics and text: small movies made by
// our writer, read back and played like the player does, every frame
// compared pixel by pixel with a reference PNG that a person looked at.
// LUMORA_UPDATE_GOLDEN=1 writes the references instead.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>

#include "grid/frame_data.h"
#include "movie/graphic_factory.h"
#include "movie/movie_file.h"
#include "render/png_io.h"
#include "scene/control_layer.h"
#include "scene/font_graphic.h"
#include "scene/graphic_bitmap.h"
#include "scene/group.h"

namespace lumora {
namespace {

constexpr std::int32_t kWidth = 64;
constexpr std::int32_t kHeight = 48;
constexpr std::int32_t kFrames = 3;

const std::filesystem::path kGoldenDir = LUMORA_GOLDEN_DIR;

// Cell (0, 0) red, green, blue in frames 0, 1, 2; cell (0, 1) the reverse.
void addGrid(TFrameDataLayers& layers) {
  auto layer = std::make_unique<TFrameDataLayer>();
  auto section = std::make_unique<TSection>();
  const TWinColor cells[kFrames] = {0x0000FE, 0x00FE00, 0xFE0000};
  for (std::int32_t i = 0; i < kFrames; ++i) {
    auto frame = std::make_unique<TFrameData>(1, 2);
    frame->SetCell(0, 0, cells[i]);
    frame->SetCell(0, 1, cells[kFrames - 1 - i]);
    section->Add(std::move(frame));
  }
  layer->Add(std::move(section));
  layers.Add(std::move(layer));
}

std::unique_ptr<TFontGraphic> text(std::vector<TPoint> points, std::vector<std::uint8_t> types) {
  auto g = std::make_unique<TFontGraphic>(nullptr);
  g->Points().SetIntPoints(points);
  g->SetPointTypes(std::move(types));
  return g;
}

void bind(TGraphicBase& g, std::int32_t column) {
  g.SetGridRow(0);
  g.SetGridColumn(column);
  g.SetChannelMode(8);
}

// A 12 × 12 picture: a horizontal ramp of opaque colours with a white
// square in the middle and a half-transparent bottom row band.
std::unique_ptr<TGraphicBitmap> picture(TDrawMode mode, float x, float y) {
  auto g = std::make_unique<TGraphicBitmap>(nullptr);
  TBitmap32& p = g->Picture();
  p.Resize(12, 12);
  for (std::int32_t py = 0; py < 12; ++py) {
    for (std::int32_t px = 0; px < 12; ++px) {
      const auto ramp = static_cast<TColor32>(px * 20);
      p.WritePixel(px, py, (py >= 9 ? 0x80000000u : 0xFF000000u) | ramp << 16 | 0x40 << 8 | (255 - ramp));
    }
  }
  p.FillRectClipped(4, 3, 8, 7, 0xFFFFFFFF);
  p.DrawMode = mode;
  p.OuterColor = 0x00FFFFFF;
  g->SetPosition({x, y});
  g->SetPivot({6, 6});
  return g;
}

void nestedGroups(TControlLayer& root) {
  auto inner = std::make_unique<TGroup>(nullptr);
  auto triangle = text({{0, 10}, {6, 0}, {12, 10}}, {6, 2, 3});
  triangle->SetFilled(true);
  inner->AddChild(std::move(triangle));
  auto frame = text({{0, 0}, {10, 0}, {10, 10}, {0, 10}}, {6, 2, 2, 3});
  frame->SetPosition({14, 0});
  frame->SetLineWidth(2 * kFixedOne);
  inner->AddChild(std::move(frame));
  inner->SetPosition({0, 14});
  inner->SetPivot({12, 5});
  inner->SetAngle(-30);
  auto outer = std::make_unique<TGroup>(nullptr);
  outer->AddChild(text({{0, 0}, {10, 0}, {10, 10}, {0, 10}}, {6, 2, 2, 3}));
  outer->Child(0).SetFilled(true);
  outer->AddChild(std::move(inner));
  outer->SetPosition({14, 8});
  outer->SetPivot({12, 12});
  outer->SetScale({1.5f, 1});
  outer->SetAngle(15);
  bind(*outer, 0);
  outer->Child(1).SetGridColumn(1);
  root.AddLayer("").Add(std::move(outer));
}

void bitmaps(TControlLayer& root) {
  TLayer& layer = root.AddLayer("");
  layer.Add(picture(dmOpaque, 2, 2));
  layer.Add(picture(dmBlend, 18, 2));
  layer.Add(picture(dmCustom, 34, 2));
  layer.Add(picture(dmTransparent, 50, 2));
  auto rotated = picture(dmBlend, 6, 24);
  rotated->SetAngle(30);
  rotated->SetScale({1.5f, 1.5f});
  layer.Add(std::move(rotated));
  auto tinted = picture(dmBlend, 28, 28);
  tinted->SetTintMode(2);
  bind(*tinted, 0);
  layer.Add(std::move(tinted));

  // A masked layer: a filled text square cut by a picture whose alpha is a
  // disc.
  TLayer& masked = root.AddLayer("");
  masked.SetMasked(1);
  auto mask = std::make_unique<TGraphicBitmap>(nullptr);
  TBitmap32& disc = mask->Picture();
  disc.Resize(20, 20);
  for (std::int32_t y = 0; y < 20; ++y) {
    for (std::int32_t x = 0; x < 20; ++x) {
      const std::int32_t dx = 2 * x - 19;
      const std::int32_t dy = 2 * y - 19;
      disc.WritePixel(x, y, dx * dx + dy * dy <= 324 ? 0xFFFFFFFF : 0x00000000);
    }
  }
  disc.DrawMode = dmBlend;
  mask->SetPosition({42, 24});
  mask->SetEffect(CreateEffect(kEffectMask));
  masked.Add(std::move(mask));
  auto square = text({{0, 0}, {22, 0}, {22, 22}, {0, 22}}, {6, 2, 2, 3});
  square->SetFilled(true);
  square->SetPosition({41, 23});
  bind(*square, 1);
  masked.Add(std::move(square));
}

void lettering(TControlLayer& root) {
  TLayer& layer = root.AddLayer("");
  // An "L" filled, and an "O" of two Bézier halves whose counter winds the
  // other way, as in fonts: stroked, and filled with the counter left open.
  auto l = text({{4, 4}, {10, 4}, {10, 30}, {24, 30}, {24, 36}, {4, 36}}, {6, 2, 2, 2, 2, 3});
  l->SetFilled(true);
  bind(*l, 0);
  const std::vector<TPoint> o = {{10, 0}, {24, 0}, {24, 32}, {10, 32}, {-4, 32}, {-4, 0}, {10, 0},
                                 {10, 8}, {4, 8},  {4, 24},  {10, 24}, {16, 24},  {16, 8}, {10, 8}};
  const std::vector<std::uint8_t> oTypes = {6, 4, 4, 4, 4, 4, 5, 6, 4, 4, 4, 4, 4, 5};
  auto stroked = text(o, oTypes);
  stroked->SetPosition({30, 4});
  stroked->SetLineWidth(kFixedOne * 3 / 2);
  bind(*stroked, 1);
  auto filled = text(o, oTypes);
  filled->SetPosition({50, 24});
  filled->SetScale({0.6f, 0.6f});
  filled->SetFilled(true);
  bind(*filled, 0);
  layer.Add(std::move(l));
  layer.Add(std::move(stroked));
  layer.Add(std::move(filled));
}

// The movie of the scene through our writer and reader, prepared and drawn
// like the player does.
void checkScene(const std::string& name, const std::function<void(TControlLayer&)>& build) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("lumora_golden_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string file = (dir / (name + ".ctl")).string();
  {
    TMovieDocument source;
    source.File.Width = kWidth;
    source.File.Height = kHeight;
    build(source.Root);
    addGrid(source.Grid);
    WriteFileBytes(file, source.File.SaveLayered(nullptr));
  }
  TMovieDocument doc;
  TBitmap32 scratch;
  ASSERT_TRUE(doc.File.LoadFromFile(file, false));
  std::filesystem::remove_all(dir);
  for (std::int32_t i = 0; i < doc.Grid.Count(); ++i) doc.Grid.Items(i).RebuildMerged();
  doc.Frame.Resize(kWidth, kHeight);
  scratch.Resize(kWidth, kHeight);
  doc.Root.MaskBitmap = &scratch;
  for (const auto& layer : doc.Root.Layers()) {
    for (const auto& g : layer->Graphics()) {
      g->UpdateTransform();
      g->SetSelected(false);
    }
  }
  doc.Root.SetAllUseView(false);
  doc.Root.SetAllEditMode(false);
  doc.Root.PreparePass(true, doc.Frame);
  doc.Root.PrepareMasks();
  const bool update = std::getenv("LUMORA_UPDATE_GOLDEN") != nullptr;
  for (std::int32_t n = 0; n < kFrames; ++n) {
    doc.Frame.Clear(clBlack32);
    for (const auto& layer : doc.Root.Layers()) {
      for (const auto& g : layer->Graphics()) g->DrawFrame(doc.Grid, n, doc.Frame);
    }
    const std::string golden = (kGoldenDir / (name + "_" + std::to_string(n) + ".png")).string();
    if (update) {
      SavePng(doc.Frame, golden);
      continue;
    }
    TBitmap32 expected;
    LoadPng(golden, expected);
    ASSERT_EQ(expected.Width(), kWidth) << golden;
    ASSERT_EQ(expected.Height(), kHeight) << golden;
    for (std::int32_t y = 0; y < kHeight; ++y) {
      for (std::int32_t x = 0; x < kWidth; ++x) {
        ASSERT_EQ(doc.Frame.ReadPixel(x, y), expected.ReadPixel(x, y)) << golden << ": pixel " << x << "," << y;
      }
    }
  }
}

TEST(SceneGolden, NestedGroupsTranslatedScaledAndRotated) { checkScene("nested_groups", nestedGroups); }

TEST(SceneGolden, BitmapsInEveryDrawModeRotatedTintedAndAsALayerMask) { checkScene("bitmaps", bitmaps); }

TEST(SceneGolden, TextFilledAndStrokedFromGridCells) { checkScene("lettering", lettering); }

}  // namespace
}  // namespace lumora
