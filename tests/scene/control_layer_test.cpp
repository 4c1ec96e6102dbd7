#include "scene/control_layer.h"

#include <gtest/gtest.h>

#include "grid/frame_data.h"
#include "movie/graphic_factory.h"
#include "support/test_graphic.h"

namespace lumora {
namespace {

using test::asTest;
using test::TTestGraphic;

TTestGraphic& addGraphic(TLayer& layer, TFixedRect bounds = {}, std::uint8_t effectKind = kEffectPlain) {
  auto g = std::make_unique<TTestGraphic>();
  g->Bounds = bounds;
  g->SetEffect(CreateEffect(effectKind));
  TTestGraphic& ref = *g;
  layer.Add(std::move(g));
  return ref;
}

TFixedRect pixels(std::int32_t l, std::int32_t t, std::int32_t r, std::int32_t b) {
  return {l * kFixedOne, t * kFixedOne, r * kFixedOne, b * kFixedOne};
}

TEST(ObjectList, ItemsRangesAndDeleteRange) {
  TCustomObjectList<int> list;
  for (int i = 0; i < 5; ++i) EXPECT_EQ(list.Add(std::make_unique<int>(i)), i);
  EXPECT_EQ(list.Last(), 4);
  EXPECT_THROW(list.Items(5), std::out_of_range);
  EXPECT_THROW(list.Items(-1), std::out_of_range);
  EXPECT_TRUE(list.DeleteRange(4, 2, true).empty()) << "index + count beyond the end";
  EXPECT_TRUE(list.DeleteRange(5, 0, true).empty()) << "index = count";
  EXPECT_TRUE(list.DeleteRange(-1, 1, true).empty());
  EXPECT_EQ(list.Count(), 5);
  auto taken = list.DeleteRange(1, 2, false);
  ASSERT_EQ(taken.size(), 2u);
  EXPECT_EQ(*taken[0], 1);
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(list.Items(1), 3);
  list.DeleteRange(0, 1, true);
  EXPECT_EQ(list.Items(0), 3);
  auto all = list.Clear();
  EXPECT_EQ(all.size(), 2u) << "Clear hands the items over instead of freeing them";
  EXPECT_EQ(list.Count(), 0);
}

TEST(ControlLayer, AddLayerNumbersAndNames) {
  TControlLayer root;
  EXPECT_EQ(root.AddLayer("").Name, "第1层");
  root.Layer(0).Number = 1;
  root.AddLayer("x").Number = 5;
  root.AddLayer("y").Number = 2;
  TLayer& added = root.AddLayer("");
  EXPECT_EQ(added.Name, "第6层");
  EXPECT_EQ(added.Number, 6);
  EXPECT_EQ(root.Layer(1).Name, "x");
  for (int i = 0; i < 3; ++i) EXPECT_EQ(root.Layer(i).Current, 0) << "layer " << i;
  EXPECT_EQ(root.CurrentLayer(), &added);
  added.Current = 0;
  EXPECT_EQ(root.CurrentLayer(), nullptr) << "no current layer in a non-empty root";
  EXPECT_EQ(LayerName(12), "第12层");
}

TEST(ControlLayer, CurrentLayerOnAnEmptyRootCreatesOne) {
  TControlLayer root;
  TLayer* layer = root.CurrentLayer();
  ASSERT_NE(layer, nullptr);
  EXPECT_EQ(root.LayerCount(), 1);
  EXPECT_EQ(layer->Name, "");
  EXPECT_EQ(layer->Number, 0);
  EXPECT_EQ(layer->Current, 1);
  EXPECT_EQ(layer->Visible, 1);
  EXPECT_EQ(layer->Masked(), 0);
  EXPECT_EQ(layer->MaskPolygon(), nullptr);
}

TEST(ControlLayer, GetBoundsUnitesNonEmptyRectangles) {
  TControlLayer root;
  TRect r{1, 2, 3, 4};
  root.GetBounds(r);
  EXPECT_EQ(r, TRect{});
  TLayer& a = root.AddLayer("");
  addGraphic(a, pixels(5, 5, 5, 9));  // empty
  root.GetBounds(r);
  EXPECT_EQ(r, TRect{}) << "graphics with empty rectangles only";
  addGraphic(a, pixels(10, 20, 30, 40));
  TLayer& b = root.AddLayer("");
  addGraphic(b, pixels(-5, 25, 12, 50));
  addGraphic(b, pixels(100, 100, 100, 200));  // empty: leaves the union
  // 16.16 values round as (v + 32767) sar 16: 0.5 goes down, 0.50002 up.
  addGraphic(b, {kFixedHalf, kFixedHalf, 40 * kFixedOne + kFixedHalf + 1, kFixedOne});
  root.GetBounds(r);
  EXPECT_EQ(r, (TRect{-5, 0, 41, 50}));
}

TEST(ControlLayer, PassesReachEveryGraphicInOrder) {
  TControlLayer root;
  TTestGraphic& g1 = addGraphic(root.AddLayer(""));
  TLayer& masked = root.AddLayer("");
  masked.SetMasked(1);
  TTestGraphic& g2 = addGraphic(masked);
  root.OffsetAll(3, -4);
  EXPECT_EQ(g2.Position(), (TFloatPoint{3, -4}));
  root.SetAllEditMode(false);
  EXPECT_FALSE(g1.EditMode());
  root.SetAllUseView(false);
  EXPECT_FALSE(g2.UseView());
  TBitmap32 bitmap;
  root.PreparePass(true, bitmap);
  for (TTestGraphic* g : {&g1, &g2}) {
    EXPECT_EQ(g->Calls, (std::vector<std::string>{"UpdateTransform", "DrawInColor 255", "SetCoverageFrozen 1"}));
  }
  masked.SetTargets(&bitmap);
  EXPECT_EQ(g2.Target, &bitmap);
  EXPECT_EQ(g1.Target, nullptr);
}

TEST(ControlLayer, DrawFrameClearsAndDrawsVisibleLayersInsideOneBracket) {
  TControlLayer root;
  TTestGraphic& shown = addGraphic(root.AddLayer(""));
  TLayer& hidden = root.AddLayer("");
  TTestGraphic& notShown = addGraphic(hidden);
  hidden.Visible = 0;
  TBitmap32 bitmap;
  bitmap.Resize(4, 4);
  bitmap.Clear(0xFF102030);
  TFrameDataLayers grid;
  root.DrawFrame(grid, 2, bitmap);
  EXPECT_EQ(bitmap.UpdateCount(), 0) << "the bracket is closed";
  EXPECT_EQ(bitmap.ReadPixel(3, 3), 0xFF000000u) << "cleared to opaque black";
  EXPECT_EQ(shown.Calls, std::vector<std::string>{"DrawFrame"});
  EXPECT_TRUE(notShown.Calls.empty());
}

TEST(Layer, MaskPolygonLivesExactlyWhileMasked) {
  TLayer layer;
  layer.SetMasked(1);
  TPolygon32* polygon = layer.MaskPolygon();
  ASSERT_NE(polygon, nullptr);
  layer.SetMasked(1);
  EXPECT_EQ(layer.MaskPolygon(), polygon) << "SetMasked(1) twice creates it once";
  layer.SetMasked(0);
  EXPECT_EQ(layer.MaskPolygon(), nullptr);
  layer.SetMaskGraphic(nullptr);
  EXPECT_EQ(layer.Masked(), 0) << "none is ignored";
  TTestGraphic& g = addGraphic(layer);
  layer.SetMaskGraphic(&g);
  EXPECT_EQ(layer.Masked(), 1);
  EXPECT_EQ(layer.MaskGraphic(), &g);
  layer.Remove(0);
  EXPECT_EQ(layer.MaskGraphic(), nullptr) << "a removed mask graphic is forgotten";
  layer.Remove(3);
  EXPECT_EQ(layer.Count(), 0);
}

TEST(Layer, TheLaterOfTwoMaskGraphicsMasksTheLayer) {
  TLayer layer;
  layer.SetMasked(1);
  TTestGraphic& first = addGraphic(layer, {}, kEffectMask);
  TTestGraphic& plain = addGraphic(layer);
  TTestGraphic& second = addGraphic(layer, {}, kEffectMask);
  for (const auto& g : layer.Graphics()) g->AttachMaskToLayer(layer);
  EXPECT_EQ(layer.MaskGraphic(), &second);
  EXPECT_EQ(first.EffectKind(), kEffectMask);
  EXPECT_EQ(second.EffectKind(), kEffectMask);
  EXPECT_EQ(first.Effect().ClassName(), "TMaskState");
  EXPECT_EQ(first.Effect().Owner(), &first);
  EXPECT_EQ(plain.Effect().ClassName(), "TCustomState");
  TBitmap32 bitmap;
  TControlLayer root;
  TBitmap32 scratch;
  scratch.Resize(4, 4);
  scratch.Clear(0xFFFFFFFF);
  root.MaskBitmap = &scratch;
  layer.Owner = &root;
  TFrameDataLayers grid;
  layer.DrawFrame(grid, 0, bitmap);
  EXPECT_EQ(plain.Calls, std::vector<std::string>{"DrawFrame"});
  EXPECT_EQ(first.Calls, std::vector<std::string>{"DrawFrame"}) << "the earlier mask graphic draws as any";
  EXPECT_TRUE(second.Calls.empty()) << "the layer's mask graphic does not draw";
  EXPECT_EQ(scratch.ReadPixel(0, 0), 0u) << "the scratch is cleared for the layer";
}

TEST(ControlLayer, TwoMaskedLayersShareTheMaskBitmap) {
  TControlLayer root;
  TBitmap32 maskBitmap;
  maskBitmap.Resize(8, 8);
  root.MaskBitmap = &maskBitmap;
  TLayer& first = root.AddLayer("");
  first.SetMasked(1);
  TTestGraphic& firstMask = addGraphic(first, pixels(0, 0, 4, 4), kEffectMask);
  TTestGraphic& firstShape = addGraphic(first, pixels(0, 0, 8, 8));
  TLayer& second = root.AddLayer("");
  second.SetMasked(1);
  TTestGraphic& secondMask = addGraphic(second, pixels(4, 4, 8, 8), kEffectMask);
  TTestGraphic& secondShape = addGraphic(second, pixels(0, 0, 8, 8));
  addGraphic(root.AddLayer(""));  // a plain layer takes no mask
  for (TLayer* layer : {&first, &second}) {
    for (const auto& g : layer->Graphics()) g->AttachMaskToLayer(*layer);
  }
  root.PrepareMasks();
  // Pixel (1, 1) lies inside the first mask only.
  ASSERT_EQ(firstShape.MaskSamples.size(), 1u);
  EXPECT_EQ(firstShape.MaskSamples[0], 0xFFFF0000u) << "the earlier layer is cut by its own mask";
  EXPECT_EQ(firstMask.MaskSamples, firstShape.MaskSamples);
  ASSERT_EQ(secondShape.MaskSamples.size(), 1u);
  EXPECT_EQ(secondShape.MaskSamples[0], 0u);
  EXPECT_EQ(secondMask.MaskSamples.size(), 1u);
  EXPECT_EQ(maskBitmap.ReadPixel(1, 1), 0u) << "the shared bitmap holds the later mask only";
  EXPECT_EQ(maskBitmap.ReadPixel(6, 6), 0xFFFF0000u);
}

}  // namespace
}  // namespace lumora
