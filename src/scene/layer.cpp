#include "scene/layer.h"

#include "scene/control_layer.h"

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

void TLayer::DrawFrame(TFrameDataLayers& gridLayers, std::int32_t frame, TBitmap32& bitmap) {
  if (fMasked != 0) {
    if (fGraphics.Empty()) return;
    clearScratch();
  }
  for (const auto& graphic : fGraphics) {
    if (graphic.get() != fMaskGraphic) graphic->DrawFrame(gridLayers, frame, bitmap);
  }
}

void TLayer::clearScratch() {
  TBitmap32* scratch = Owner != nullptr ? Owner->MaskBitmap : nullptr;
  if (scratch == nullptr) return;
  if (scratch->ClipRect() != scratch->BoundsRect()) scratch->ResetClipRect();
  scratch->Clear(0x00000000);
  scratch->DrawMode = dmBlend;
}

}  // namespace lumora
