#include "scene/group.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "grid/frame_data.h"
#include "io/stream.h"
#include "movie/graphic_factory.h"
#include "scene/effect.h"
#include "scene/layer.h"
#include "support/shape_streams.h"
#include "support/test_graphic.h"

namespace lumora {
namespace {

using test::TBoxGraphic;
using test::TTestGraphic;

TFixedRect pixels(std::int32_t l, std::int32_t t, std::int32_t r, std::int32_t b) {
  return {l * kFixedOne, t * kFixedOne, r * kFixedOne, b * kFixedOne};
}

// A box that answers hit tests from its transformed bounds.
class THitBox : public TBoxGraphic {
 public:
  bool HitTest(std::int32_t x, std::int32_t y) override {
    TFixedRect b;
    GetBounds(b);
    const TFixedPoint p = FixedPoint(TPoint{x, y});
    return p.X >= b.Left && p.X < b.Right && p.Y >= b.Top && p.Y < b.Bottom;
  }
};

std::unique_ptr<THitBox> box(const TFixedRect& r) {
  auto b = std::make_unique<THitBox>();
  b->Box = r;
  return b;
}

TObjectHeader headerWithCode(std::uint8_t code) {
  TObjectHeader h{};
  h[4] = 1;  // LineWidth 1 pixel
  h[36] = code;
  return h;
}

// Reads one graphic the way a layer reader does: its header, then the
// factory with the body behind it.
std::unique_ptr<TGraphicBase> readGraphic(const std::vector<std::uint8_t>& data, bool currentEncoding,
                                          std::uint64_t& consumed) {
  TMemoryInput input(data);
  TStreamReader stream(input, "group.ctl");
  TObjectHeader header{};
  EXPECT_TRUE(stream.ReadBytes(header));
  TGraphicBaseFactory factory;
  std::unique_ptr<TGraphicBase> g = factory.CreateGraphic(header, stream, currentEncoding, nullptr);
  consumed = stream.Position();
  return g;
}

TEST(Group, EmptyGroupsReadNoChildrenAndAreNotNormalised) {
  TGroup written(nullptr);
  TStreamWriter w;
  written.WriteBody(w);
  std::uint64_t consumed = 0;
  auto read = readGraphic(w.Data(), true, consumed);
  ASSERT_NE(read, nullptr);
  auto& group = dynamic_cast<TGroup&>(*read);
  EXPECT_EQ(group.ChildCount(), 0);
  EXPECT_EQ(group.TypeCode(), 9);
  EXPECT_EQ(consumed, w.Data().size());

  TStreamWriter legacy;
  legacy.WriteBytes(headerWithCode(9));
  legacy.WriteS32(0);
  auto old = readGraphic(legacy.Data(), false, consumed);
  ASSERT_NE(old, nullptr);
  EXPECT_EQ(dynamic_cast<TGroup&>(*old).ChildCount(), 0);
  EXPECT_EQ(old->Position().X, 0) << "no normalisation without children";
  EXPECT_EQ(old->Size().X, 0);
  EXPECT_EQ(consumed, 44u);
}

TEST(Group, UnknownChildCodeAddsNothingAndTheNextBytesAreTheNextChild) {
  TStreamWriter legacy;
  legacy.WriteBytes(headerWithCode(9));
  legacy.WriteS32(2);
  legacy.WriteBytes(headerWithCode(13));
  legacy.WriteBytes(headerWithCode(9));
  legacy.WriteS32(0);
  std::uint64_t consumed = 0;
  auto read = readGraphic(legacy.Data(), false, consumed);
  auto& group = dynamic_cast<TGroup&>(*read);
  ASSERT_EQ(group.ChildCount(), 1);
  EXPECT_EQ(group.Child(0).ClassName(), "TGroup");
  EXPECT_EQ(consumed, legacy.Data().size());
}

TEST(Group, NestedGroupsRoundTripThroughTheFactory) {
  TGroup outer(nullptr);
  auto inner = std::make_unique<TGroup>(nullptr);
  inner->AddChild(std::make_unique<TGroup>(nullptr));
  outer.AddChild(std::move(inner));
  outer.AddChild(std::make_unique<TGroup>(nullptr));
  outer.SetPosition({3, 4});
  TStreamWriter w;
  outer.WriteBody(w);
  std::uint64_t consumed = 0;
  auto read = readGraphic(w.Data(), true, consumed);
  auto& group = dynamic_cast<TGroup&>(*read);
  ASSERT_EQ(group.ChildCount(), 2);
  EXPECT_EQ(dynamic_cast<TGroup&>(group.Child(0)).ChildCount(), 1);
  EXPECT_EQ(group.Position().X, 3);
  EXPECT_EQ(consumed, w.Data().size());
}

TEST(Group, HostileBodiesFailClearly) {
  TStreamWriter cut;
  cut.WriteBytes(headerWithCode(9));
  cut.WriteS32(1000000);
  std::uint64_t consumed = 0;
  EXPECT_THROW(readGraphic(cut.Data(), false, consumed), TLoadError) << "a child count beyond the data";

  TStreamWriter deep;
  for (std::int32_t i = 0; i <= kMaxGroupDepth; ++i) {
    deep.WriteBytes(headerWithCode(9));
    deep.WriteS32(1);
  }
  deep.WriteBytes(headerWithCode(9));
  deep.WriteS32(0);
  EXPECT_THROW(readGraphic(deep.Data(), false, consumed), TLoadError) << "nesting beyond the limit";
}

TEST(Group, SettersReachEveryDepth) {
  TGroup outer(nullptr);
  auto inner = std::make_unique<TGroup>(nullptr);
  inner->AddChild(std::make_unique<TTestGraphic>());
  outer.AddChild(std::move(inner));
  outer.AddChild(std::make_unique<TTestGraphic>());
  outer.SetLineColor(0x123456);
  outer.SetGridRow(4);
  outer.SetFilled(true);
  auto& inner2 = dynamic_cast<TGroup&>(outer.Child(0));
  for (TGraphicBase* g : {static_cast<TGraphicBase*>(&outer), &outer.Child(0), &inner2.Child(0), &outer.Child(1)}) {
    EXPECT_EQ(g->LineColor(), 0x123456) << g->ClassName();
    EXPECT_EQ(g->GridRow(), 4) << g->ClassName();
    EXPECT_TRUE(g->Filled()) << g->ClassName();
  }
}

TEST(Group, DrawFrameIgnoresTheGroupsOwnEffect) {
  TGroup group(nullptr);
  group.SetEffect(CreateEffect(kEffectPolyLineGroup));
  group.AddChild(std::make_unique<TTestGraphic>());
  group.AddChild(std::make_unique<TTestGraphic>());
  TFrameDataLayers grid;
  TBitmap32 bitmap;
  bitmap.Resize(4, 4);
  group.DrawFrame(grid, 0, bitmap);
  for (std::int32_t i = 0; i < 2; ++i) {
    EXPECT_EQ(test::asTest(group.Child(i)).Calls, std::vector<std::string>{"DrawFrame"}) << "child " << i;
  }
}

TEST(Group, HitTestsAnswerFromTheChildrenOnly) {
  TGroup group(nullptr);
  group.AddChild(box(pixels(0, 0, 10, 10)));
  group.AddChild(box(pixels(20, 20, 30, 30)));
  group.UpdateTransform();
  TFixedRect bounds;
  group.GetBounds(bounds);
  EXPECT_EQ(bounds, pixels(0, 0, 30, 30));
  EXPECT_FALSE(group.HitTest(15, 15)) << "inside the group's box, outside every child";
  EXPECT_TRUE(group.HitTest(5, 5));
  EXPECT_TRUE(group.HitTest(25, 25));
  EXPECT_FALSE(group.IntersectsRect({12, 12, 18, 18}));
  EXPECT_TRUE(group.IntersectsRect({25, 25, 40, 40}));
}

TEST(Group, MaskAttachmentAsAWholeOrChildByChild) {
  TLayer wholeLayer;
  auto whole = std::make_unique<TGroup>(nullptr);
  whole->AddChild(std::make_unique<TTestGraphic>());
  whole->SetEffect(CreateEffect(kEffectMask));
  TGroup* wholeGroup = whole.get();
  wholeLayer.Add(std::move(whole));
  wholeGroup->AttachMaskToLayer(wholeLayer);
  EXPECT_EQ(wholeLayer.MaskGraphic(), wholeGroup);
  EXPECT_EQ(wholeGroup->EffectKind(), kEffectMask);

  TLayer childLayer;
  auto plain = std::make_unique<TGroup>(nullptr);
  plain->AddChild(std::make_unique<TTestGraphic>());
  plain->AddChild(std::make_unique<TTestGraphic>());
  plain->Child(1).SetEffect(CreateEffect(kEffectMask));
  TGroup* plainGroup = plain.get();
  childLayer.Add(std::move(plain));
  plainGroup->AttachMaskToLayer(childLayer);
  EXPECT_EQ(childLayer.MaskGraphic(), &plainGroup->Child(1));
}

TEST(Group, PlacementIsComposedIntoEveryChild) {
  TGroup outer(nullptr);
  auto inner = std::make_unique<TGroup>(nullptr);
  inner->AddChild(box(pixels(0, 0, 2, 2)));
  inner->SetPosition({1, 2});
  outer.AddChild(std::move(inner));
  outer.SetScale({2, 2});
  outer.SetPosition({10, 20});
  outer.UpdateTransform();
  auto& leaf = dynamic_cast<TGroup&>(outer.Child(0)).Child(0);
  const TFloatPoint origin = leaf.WorkTransform().Transform(TFloatPoint{0, 0});
  EXPECT_FLOAT_EQ(origin.X, 12);
  EXPECT_FLOAT_EQ(origin.Y, 24);
  TFixedRect bounds;
  outer.GetBounds(bounds);
  EXPECT_EQ(bounds, pixels(12, 24, 16, 28));
}

TEST(Group, LegacyReadPlacesTheFrameAroundTheChildren) {
  TGroup group(nullptr);
  // Children are read in the group's own coordinates; a legacy group of two
  // child groups has its frame normalised around their boxes.
  TStreamWriter body;
  body.WriteS32(1);
  body.WriteBytes(headerWithCode(9));
  body.WriteS32(0);
  TMemoryInput input(body.Data());
  TStreamReader stream(input, "legacy.ctl");
  test::readLegacyBody(group, stream);
  ASSERT_EQ(group.ChildCount(), 1);
  EXPECT_EQ(group.Size().X, 0) << "an empty child box gives an empty frame";

  TGroup placed(nullptr);
  placed.AddChild(box(pixels(10, 20, 30, 60)));
  placed.OutlineChanged();
  EXPECT_FLOAT_EQ(placed.Position().X, 10);
  EXPECT_FLOAT_EQ(placed.Position().Y, 20);
  EXPECT_FLOAT_EQ(placed.Size().X, 20);
  EXPECT_FLOAT_EQ(placed.Size().Y, 40);
  EXPECT_FLOAT_EQ(placed.Pivot().X, 10);
  EXPECT_FLOAT_EQ(placed.Child(0).Position().X, -10);
  EXPECT_FLOAT_EQ(placed.Child(0).Position().Y, -20);
  placed.UpdateTransform();
  TFixedRect bounds;
  placed.GetBounds(bounds);
  EXPECT_EQ(bounds, pixels(10, 20, 30, 60)) << "normalising keeps the picture in place";
}

TEST(Group, CloneCopiesTheChildren) {
  TGroup group(nullptr);
  group.AddChild(box(pixels(0, 0, 4, 4)));
  group.SetLineColor(0x00FF00);
  auto copy = group.Clone();
  auto& copied = dynamic_cast<TGroup&>(*copy);
  ASSERT_EQ(copied.ChildCount(), 1);
  EXPECT_NE(&copied.Child(0), &group.Child(0));
  EXPECT_EQ(copied.Child(0).LineColor(), 0x00FF00);
}

}  // namespace
}  // namespace lumora
