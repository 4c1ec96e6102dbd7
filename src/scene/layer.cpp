#include "scene/layer.h"

#include <cmath>

#include "scene/control_layer.h"
#include "scene/graphic_bitmap.h"

namespace lumora {

std::string LayerName(std::int32_t number) { return "第" + std::to_string(number) + "层"; }

void TLayer::Remove(std::int32_t index) {
  if (index < 0 || index >= Count()) return;
  if (&Items(index) == fMaskGraphic) fMaskGraphic = nullptr;
  fGraphics.Remove(index);
}

void TLayer::SetMasked(std::uint8_t flag) {
  if (flag == fMasked) return;
  if (flag == 0) {
    fMaskPolygon.reset();
  } else if (!fMaskPolygon) {
    fMaskPolygon = std::make_unique<TPolygon32>();
  }
  fMasked = flag;
}

void TLayer::SetMaskGraphic(TGraphicBase* graphic) {
  if (graphic == nullptr) return;
  fMaskGraphic = graphic;
  SetMasked(1);
  fMaskPolygon->Clear();
}

void TLayer::SetTargets(TBitmap32* bitmap) {
  for (const auto& graphic : fGraphics) graphic->SetTargetBitmap(bitmap);
}

void TLayer::Draw(TBitmap32& bitmap) {
  if (fMasked == 0) {
    for (const auto& graphic : fGraphics) graphic->Draw(bitmap);
    return;
  }
  drawMasked(bitmap);
}

namespace {

TRect outerRect(const TFloatRect& r) {
  return {static_cast<std::int32_t>(std::max(-2.0e9, std::floor(static_cast<double>(r.Left)))),
          static_cast<std::int32_t>(std::max(-2.0e9, std::floor(static_cast<double>(r.Top)))),
          static_cast<std::int32_t>(std::min(2.0e9, std::ceil(static_cast<double>(r.Right)))),
          static_cast<std::int32_t>(std::min(2.0e9, std::ceil(static_cast<double>(r.Bottom))))};
}

}  // namespace

// The layer is drawn into the owner's scratch surface, clipped to the mask
// graphic; the scratch is then blended into the target through the mask
// picture's alpha, or filled into the target as the pattern of the mask
// outline. A layer without a mask graphic shows nothing.
void TLayer::drawMasked(TBitmap32& bitmap) {
  TBitmap32* scratch = Owner != nullptr ? Owner->MaskBitmap : nullptr;
  if (scratch == nullptr || fGraphics.Empty() || fMaskGraphic == nullptr) return;
  scratch->ResetClipRect();
  scratch->Clear(0x00000000);
  scratch->DrawMode = dmBlend;
  TFloatRect viewBounds;
  fMaskGraphic->GetViewBounds(viewBounds);
  scratch->SetClipRect(outerRect(viewBounds));
  auto* bitmapMask = dynamic_cast<TGraphicBitmap*>(fMaskGraphic);
  if (bitmapMask != nullptr) bitmapMask->PrepareMaskMap(Owner->MaskMap(), *scratch);
  for (const auto& graphic : fGraphics) {
    graphic->UpdateTransform();
    if (graphic->EffectKind() != kEffectMask) graphic->Draw(*scratch);
  }
  if (bitmapMask != nullptr) {
    BlendThroughMask(&bitmap, 0, 0, &Owner->MaskMap(), scratch->BoundsRect(), scratch, bitmap.ClipRect());
    return;
  }
  fMaskPolygon->Clear();
  fMaskPolygon->FillMode = pfWinding;
  fMaskPolygon->Antialiased = true;
  fMaskGraphic->UpdateTransform();
  fMaskGraphic->SetTarget(scratch, 255);
  fMaskGraphic->AddToPolygon(*fMaskPolygon);
  TBitmapPolygonFiller filler;
  filler.Pattern = scratch;
  fMaskPolygon->FillWithPattern(bitmap, filler);
}

}  // namespace lumora
