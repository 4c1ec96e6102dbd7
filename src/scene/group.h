// TGroup: a graphic that holds other graphics. It draws nothing of its own;
// drawing, targeting, masking, setters and most queries go to its children
// in order, and its placement is composed into every child's.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "scene/graphic_base.h"
#include "scene/layer.h"

namespace lumora {

// The deepest nesting of groups a movie may hold.
inline constexpr std::int32_t kMaxGroupDepth = 64;

class TGroup : public TGraphicBase {
 public:
  explicit TGroup(TView* view);
  std::string ClassName() const override { return "TGroup"; }

  // Ignored for none; otherwise the child takes the group's view and is
  // appended.
  void AddChild(std::unique_ptr<TGraphicBase> child);
  std::int32_t ChildCount() const { return fChildren.Count(); }
  TGraphicBase& Child(std::int32_t i) const { return fChildren.Items(i); }
  const TGraphicBaseList& Children() const { return fChildren; }

  // The common setter, then the same value on every child.
  void SetBlueColor(TWinColor c) override;
  void SetGridColumn(std::int32_t v) override;
  void SetGridRow(std::int32_t v) override;
  void SetFillColor(TWinColor c) override;
  void SetEditMode(bool b) override;
  void SetFilled(bool b) override;
  void SetGreenColor(TWinColor c) override;
  void SetGridLayer(std::uint16_t v) override;
  void SetChannelMode(std::uint8_t v) override;
  void SetLineColor(TWinColor c) override;
  void SetLineWidth(TFixed w) override;
  void SetRedColor(TWinColor c) override;
  void SetUseView(bool b) override;
  void SetDeformer(TAffineTransformation* t) override;

  // True at the first child that reports a hit.
  bool HitTest(std::int32_t x, std::int32_t y) override;
  void SetCoverageFrozen(bool flag, TBitmap32& bitmap) override;
  void SetTarget(TBitmap32* bitmap, TWinColor colour) override;
  void SetTargetBitmap(TBitmap32* bitmap) override;
  std::unique_ptr<TGraphicBase> Clone() override;
  void PaintToCanvas(TCanvas& canvas) override;
  void DrawInColor(TBitmap32& bitmap, TWinColor colour) override;
  void ApplyMask(TBitmap32& maskBitmap) override;
  // Unions of the children's boxes; all zero without children.
  void GetBounds(TFixedRect& rect) override;
  void GetRegionBounds(TRect& rect) override;
  TGdiRegion CreateRegion() override;
  void GridLayerRemoved(std::int32_t index) override;
  // The children and the selection markers; the group's own effect is not
  // used, here nor in DrawFrame.
  void Draw(TBitmap32& bitmap) override;
  void DrawFrame(TFrameDataLayers& gridLayers, std::int32_t frame, TBitmap32& bitmap) override;
  bool IntersectsRect(const TRect& rect) override;
  // Every child's outline as separate closed contours.
  void AddToPolygon(TPolygon32& polygon) override;
  // The common record, then the children in the current encoding.
  void ReadBody(TStreamReader& stream, TObjectBuilder& builder) override;
  // The children in the legacy encoding; the group's frame is then placed
  // around them.
  void ReadLegacyBody(TStreamReader& stream, TObjectBuilder& builder) override;
  void WriteBody(TStreamWriter& stream) override;
  void WriteExport(TStreamWriter& stream) override;
  // Places the group's frame around its children again and moves the
  // children into it, leaving the group's placement plain.
  void OutlineChanged() override;
  // A group with an effect of its own masks the layer as a whole; a plain
  // group offers the layer to its children.
  void AttachMaskToLayer(TLayer& layer) override;
  // The group's placement becomes every child's user matrix; a group with a
  // view applies it whatever its UseView.
  void UpdateTransform() override;
  // For a group source: its view and a clone of each child, then the
  // common part.
  void Assign(TGraphicBase& source) override;

 private:
  template <class TValue>
  void passOn(void (TGraphicBase::*setter)(TValue), TValue v) {
    for (const auto& child : fChildren) (child.get()->*setter)(v);
  }
  void readChildren(TStreamReader& stream, TObjectBuilder& builder, bool currentEncoding);
  void moveChildrenIntoFrame();

  TGraphicBaseList fChildren;
};

}  // namespace lumora
