#include "scene/control_layer.h"

#include <algorithm>
#include <new>

#include "render/memory_budget.h"
#include "render/work_budget.h"
#include "scene/effect.h"
#include "scene/graphic_bitmap.h"

namespace lumora {

TLayer& TControlLayer::AddLayer(const std::string& name) {
  std::int32_t highest = 0;
  for (const auto& layer : fLayers) highest = std::max(highest, layer->Number);
  const std::int32_t number = WrapAdd(highest, 1);
  auto layer = std::make_unique<TLayer>();
  layer->Name = name.empty() ? LayerName(number) : name;
  for (const auto& other : fLayers) other->Current = 0;
  layer->Number = number;
  layer->Current = 1;
  TLayer& added = *layer;
  fLayers.Add(std::move(layer));
  return added;
}

TLayer* TControlLayer::CurrentLayer() {
  if (fLayers.Empty()) fLayers.Add(std::make_unique<TLayer>());
  for (const auto& layer : fLayers) {
    if (layer->Current != 0) return layer.get();
  }
  return nullptr;
}

void TControlLayer::GetBounds(TRect& rect) const {
  rect = {};
  for (const auto& layer : fLayers) {
    for (const auto& graphic : layer->Graphics()) {
      TRect r;
      graphic->GetIntBounds(r);
      // An empty graphic rectangle never counts, so that a root of empty
      // graphics has the bounds (0, 0, 0, 0).
      UniteBounds(rect, r);
    }
  }
}

void TControlLayer::OffsetAll(std::int32_t dx, std::int32_t dy) {
  for (const auto& layer : fLayers) {
    for (const auto& graphic : layer->Graphics()) graphic->MoveBy(static_cast<float>(dx), static_cast<float>(dy));
  }
}

void TControlLayer::SetAllEditMode(bool flag) {
  for (const auto& layer : fLayers) {
    for (const auto& graphic : layer->Graphics()) graphic->SetEditMode(flag);
  }
}

void TControlLayer::SetAllUseView(bool flag) {
  for (const auto& layer : fLayers) {
    for (const auto& graphic : layer->Graphics()) {
      graphic->SetUseView(flag);
      graphic->UpdateTransform();
    }
  }
}

void TControlLayer::PreparePass(bool flag, TBitmap32& bitmap) {
  fDropped.clear();
  for (std::int32_t i = 0; i < fLayers.Count(); ++i) prepareLayer(i, flag, bitmap);
}

void TControlLayer::prepareLayer(std::int32_t layerIndex, bool flag, TBitmap32& bitmap) {
  TLayer& layer = fLayers.Items(layerIndex);
  std::int32_t stored = 0;
  for (std::int32_t i = 0; i < layer.Count(); ++stored) {
    TGraphicBase& graphic = layer.Items(i);
    try {
      graphic.Effect().Draw(bitmap, 255);
      graphic.Effect().SetCoverageFrozen(flag, bitmap);
      ++i;
    } catch (const EShowBudget&) {
      throw;
    } catch (const std::bad_alloc&) {
      throw;
    } catch (const std::exception& error) {
      fDropped.push_back({layerIndex, stored, graphic.ClassName(), error.what()});
      layer.Remove(i);
    }
  }
}

// Each masked layer clears the mask surface, draws its mask into it and
// cuts its graphics by it: charged for all layers before the first.
void TControlLayer::PrepareMasks() {
  if (MaskBitmap == nullptr) return;
  const auto masked = static_cast<std::uint64_t>(
      std::count_if(fLayers.begin(), fLayers.end(), [](const auto& layer) { return layer->Masked() != 0; }));
  const std::uint64_t surface =
      static_cast<std::uint64_t>(MaskBitmap->Width()) * static_cast<std::uint64_t>(MaskBitmap->Height());
  ChargePreparePixels(3 * masked * surface, "the masks of masked layers");
  for (const auto& layer : fLayers) {
    if (layer->Masked() != 0) prepareMask(*layer);
  }
}

// The mask graphic's picture alpha (a bitmap mask) or its outline filled
// opaque (a vector mask) in the shared MaskBitmap, whose alpha then cuts
// every graphic of the layer. A masked layer without a mask graphic gets an
// empty mask and shows nothing.
void TControlLayer::prepareMask(TLayer& layer) {
  MaskBitmap->ResetClipRect();
  MaskBitmap->Clear(0x00000000);
  if (auto* bitmapMask = dynamic_cast<TGraphicBitmap*>(layer.MaskGraphic())) {
    bitmapMask->PrepareMaskMap(fMaskMap, *MaskBitmap);
    fMaskMap.WriteTo(*MaskBitmap, mcAlpha);
  } else if (TGraphicBase* mask = layer.MaskGraphic()) {
    TPolygon32& polygon = *layer.MaskPolygon();
    polygon.Clear();
    polygon.AntialiasLevel = 2;
    polygon.FillMode = pfWinding;
    mask->SetTarget(MaskBitmap, 255);
    mask->AddToPolygon(polygon);
    polygon.FillOnSurface(*MaskBitmap, 0xFFFF0000);
  }
  for (const auto& graphic : layer.Graphics()) graphic->ApplyMask(*MaskBitmap);
}

void TControlLayer::DrawFrame(TFrameDataLayers& gridLayers, std::int32_t frame, TBitmap32& bitmap) {
  TUpdateBracket bracket(bitmap);
  const TBandRecording recording(fBandPainter, bitmap);
  bitmap.Clear(0xFF000000);
  for (const auto& layer : fLayers) {
    if (layer->Visible != 0) layer->DrawFrame(gridLayers, frame, bitmap);
  }
}

}  // namespace lumora
