#include "scene/group.h"

#include <algorithm>

#include "io/stream.h"
#include "scene/effect.h"
#include "scene/object_builder.h"

namespace lumora {

namespace {

// Children are read recursively; a hostile file must not nest deeply enough
// to exhaust the stack.
thread_local std::int32_t gReadDepth = 0;

class TReadDepthGuard {
 public:
  explicit TReadDepthGuard(TStreamReader& stream) {
    if (gReadDepth >= kMaxGroupDepth) {
      stream.Fail("groups are nested more than " + std::to_string(kMaxGroupDepth) + " deep");
    }
    ++gReadDepth;
  }
  ~TReadDepthGuard() { --gReadDepth; }
  TReadDepthGuard(const TReadDepthGuard&) = delete;
  TReadDepthGuard& operator=(const TReadDepthGuard&) = delete;
};

bool intersects(const TFixedRect& a, const TFixedRect& b) {
  return std::max(a.Left, b.Left) < std::min(a.Right, b.Right) && std::max(a.Top, b.Top) < std::min(a.Bottom, b.Bottom);
}

TFloatPoint fixedSize(const TFixedRect& r) {
  return {static_cast<float>((std::int64_t{r.Right} - r.Left) / 65536.0),
          static_cast<float>((std::int64_t{r.Bottom} - r.Top) / 65536.0)};
}

TFloatPoint fixedTopLeft(const TFixedRect& r) {
  return {static_cast<float>(r.Left / 65536.0), static_cast<float>(r.Top / 65536.0)};
}

}  // namespace

TGroup::TGroup(TView* view) : TGraphicBase(view) { SetTypeCode(9); }

void TGroup::AddChild(std::unique_ptr<TGraphicBase> child) {
  if (!child) return;
  child->SetView(View());
  fChildren.Add(std::move(child));
}

void TGroup::SetBlueColor(TWinColor v) {
  TGraphicBase::SetBlueColor(v);
  passOn(&TGraphicBase::SetBlueColor, v);
}

void TGroup::SetGridColumn(std::int32_t v) {
  TGraphicBase::SetGridColumn(v);
  passOn(&TGraphicBase::SetGridColumn, v);
}

void TGroup::SetGridRow(std::int32_t v) {
  TGraphicBase::SetGridRow(v);
  passOn(&TGraphicBase::SetGridRow, v);
}

void TGroup::SetFillColor(TWinColor v) {
  TGraphicBase::SetFillColor(v);
  passOn(&TGraphicBase::SetFillColor, v);
}

void TGroup::SetEditMode(bool v) {
  TGraphicBase::SetEditMode(v);
  passOn(&TGraphicBase::SetEditMode, v);
}

void TGroup::SetFilled(bool v) {
  TGraphicBase::SetFilled(v);
  passOn(&TGraphicBase::SetFilled, v);
}

void TGroup::SetGreenColor(TWinColor v) {
  TGraphicBase::SetGreenColor(v);
  passOn(&TGraphicBase::SetGreenColor, v);
}

void TGroup::SetGridLayer(std::uint16_t v) {
  TGraphicBase::SetGridLayer(v);
  passOn(&TGraphicBase::SetGridLayer, v);
}

void TGroup::SetChannelMode(std::uint8_t v) {
  TGraphicBase::SetChannelMode(v);
  passOn(&TGraphicBase::SetChannelMode, v);
}

void TGroup::SetLineColor(TWinColor v) {
  TGraphicBase::SetLineColor(v);
  passOn(&TGraphicBase::SetLineColor, v);
}

void TGroup::SetLineWidth(TFixed v) {
  TGraphicBase::SetLineWidth(v);
  passOn(&TGraphicBase::SetLineWidth, v);
}

void TGroup::SetRedColor(TWinColor v) {
  TGraphicBase::SetRedColor(v);
  passOn(&TGraphicBase::SetRedColor, v);
}

void TGroup::SetUseView(bool v) {
  TGraphicBase::SetUseView(v);
  passOn(&TGraphicBase::SetUseView, v);
}

void TGroup::SetDeformer(TAffineTransformation* v) {
  TGraphicBase::SetDeformer(v);
  passOn(&TGraphicBase::SetDeformer, v);
}

bool TGroup::HitTest(std::int32_t x, std::int32_t y) {
  return std::any_of(fChildren.begin(), fChildren.end(), [&](const auto& child) { return child->HitTest(x, y); });
}

void TGroup::SetCoverageFrozen(bool flag, TBitmap32& bitmap) {
  TGraphicBase::SetCoverageFrozen(flag, bitmap);
  for (const auto& child : fChildren) {
    child->Effect().Draw(bitmap, 255);
    child->Effect().SetCoverageFrozen(flag, bitmap);
  }
}

void TGroup::SetTarget(TBitmap32* bitmap, TWinColor colour) {
  TGraphicBase::SetTarget(bitmap, colour);
  for (const auto& child : fChildren) child->SetTarget(bitmap, colour);
}

void TGroup::SetTargetBitmap(TBitmap32* bitmap) {
  TGraphicBase::SetTargetBitmap(bitmap);
  for (const auto& child : fChildren) child->SetTargetBitmap(bitmap);
}

std::unique_ptr<TGraphicBase> TGroup::Clone() {
  auto copy = std::make_unique<TGroup>(nullptr);
  copy->Assign(*this);
  return copy;
}

void TGroup::PaintToCanvas(TCanvas& canvas) {
  TGraphicBase::PaintToCanvas(canvas);
  UpdateTransform();
  for (const auto& child : fChildren) child->PaintToCanvas(canvas);
}

void TGroup::DrawInColor(TBitmap32& bitmap, TWinColor colour) {
  for (const auto& child : fChildren) child->DrawInColor(bitmap, colour);
}

void TGroup::ApplyMask(TBitmap32& maskBitmap) {
  TGraphicBase::ApplyMask(maskBitmap);
  for (const auto& child : fChildren) child->ApplyMask(maskBitmap);
}

void TGroup::GetBounds(TFixedRect& rect) {
  rect = {};
  for (const auto& child : fChildren) {
    TFixedRect r;
    child->GetBounds(r);
    UniteBounds(rect, r);
  }
}

void TGroup::GetRegionBounds(TRect& rect) {
  rect = {};
  for (const auto& child : fChildren) {
    TRect r;
    child->GetRegionBounds(r);
    UniteBounds(rect, r);
  }
}

TGdiRegion TGroup::CreateRegion() {
  TGdiRegion region;
  for (const auto& child : fChildren) region = region.Combine(child->CreateRegion(), RGN_OR);
  return region;
}

void TGroup::GridLayerRemoved(std::int32_t index) {
  for (const auto& child : fChildren) child->GridLayerRemoved(index);
}

void TGroup::Draw(TBitmap32& bitmap) {
  UpdateTransform();
  for (const auto& child : fChildren) child->Draw(bitmap);
  if (Selected()) DrawHandles(bitmap);
}

void TGroup::DrawFrame(TFrameDataLayers& gridLayers, std::int32_t frame, TBitmap32& bitmap) {
  for (const auto& child : fChildren) child->DrawFrame(gridLayers, frame, bitmap);
}

// Only the children from the first one whose box meets the rectangle are
// asked for their regions.
bool TGroup::IntersectsRect(const TRect& rect) {
  const TFixedRect fixedRect = FixedRect(rect);
  auto first = std::find_if(fChildren.begin(), fChildren.end(), [&](const auto& child) {
    TFixedRect b;
    child->GetBounds(b);
    return intersects(b, fixedRect);
  });
  const TGdiRegion box = TGdiRegion::FromRect(rect);
  return std::any_of(first, fChildren.end(),
                     [&](const auto& child) { return !box.Combine(child->CreateRegion(), RGN_AND).IsEmpty(); });
}

void TGroup::AddToPolygon(TPolygon32& polygon) {
  polygon.Clear();
  TPolygon32 childPolygon;
  for (const auto& child : fChildren) {
    childPolygon.Clear();
    child->AddToPolygon(childPolygon);
    for (const TArrayOfFixedPoint& contour : childPolygon.Points()) {
      polygon.AddPoints(contour);
      polygon.NewContour();
    }
  }
}

void TGroup::readChildren(TStreamReader& stream, TObjectBuilder& builder, bool currentEncoding) {
  TReadDepthGuard depth(stream);
  std::int32_t count = 0;
  if (!stream.ReadS32(count)) stream.Fail("a group's child count is cut short");
  for (std::int32_t i = 0; i < count; ++i) {
    TObjectHeader header{};
    if (!stream.ReadBytes(header)) stream.Fail("a group's child header is cut short");
    AddChild(builder.CreateGraphic(header, stream, currentEncoding, View()));
  }
}

void TGroup::ReadBody(TStreamReader& stream, TObjectBuilder& builder) {
  TGraphicBase::ReadBody(stream, builder);
  readChildren(stream, builder, true);
}

void TGroup::ReadLegacyBody(TStreamReader& stream, TObjectBuilder& builder) {
  readChildren(stream, builder, false);
  if (fChildren.Empty()) return;
  TFixedRect r;
  GetBounds(r);
  SetPosition(fixedTopLeft(r));
  SetSize(fixedSize(r));
  SetPivot({Size().X / 2, Size().Y / 2});
  moveChildrenIntoFrame();
  UpdateTransform();
}

void TGroup::moveChildrenIntoFrame() {
  for (const auto& child : fChildren) {
    child->SetPosition({child->Position().X - Position().X, child->Position().Y - Position().Y});
  }
}

void TGroup::WriteBody(TStreamWriter& stream) {
  TGraphicBase::WriteBody(stream);
  stream.WriteS32(ChildCount());
  for (const auto& child : fChildren) child->WriteBody(stream);
}

void TGroup::WriteExport(TStreamWriter& stream) {
  TGraphicBase::WriteExport(stream);
  stream.WriteS32(ChildCount());
  for (const auto& child : fChildren) child->WriteExport(stream);
}

void TGroup::OutlineChanged() {
  TGraphicBase::OutlineChanged();
  TFixedRect r;
  GetBounds(r);
  for (const auto& child : fChildren) {
    child->OutlineChanged();
    child->SetUserMatrix(IdentityMatrix);
  }
  SetSize(fixedSize(r));
  SetPosition(fixedTopLeft(r));
  for (const auto& child : fChildren) {
    child->SetPosition({child->Position().X - Position().X, child->Position().Y - Position().Y});
    child->UpdateTransform();
  }
  SetPivot({Size().X / 2, Size().Y / 2});
  SetScale({1, 1});
  SetAngle(0);
  SetSkew({0, 0});
  SetBaseMatrix(IdentityMatrix);
  SetUserMatrix(IdentityMatrix);
}

void TGroup::AttachMaskToLayer(TLayer& layer) {
  if (EffectKind() != kEffectPlain) {
    TGraphicBase::AttachMaskToLayer(layer);
    return;
  }
  for (const auto& child : fChildren) child->AttachMaskToLayer(layer);
}

void TGroup::UpdateTransform() {
  ComposeMatrix();
  for (const auto& child : fChildren) {
    child->SetUserMatrix(WorkTransform().Matrix());
    child->UpdateTransform();
  }
  if (TView* view = View()) {
    const TFloatPoint scale = view->ViewScale();
    WorkTransform().Scale(scale.X, scale.Y);
    const TFloatPoint offset = view->ViewOffset();
    WorkTransform().Translate(offset.X, offset.Y);
  }
}

void TGroup::Assign(TGraphicBase& source) {
  if (auto* group = dynamic_cast<TGroup*>(&source); group != nullptr && group != this) {
    fChildren.FreeAll();
    SetView(group->View());
    for (const auto& child : group->fChildren) AddChild(child->Clone());
  }
  TGraphicBase::Assign(source);
}

}  // namespace lumora
