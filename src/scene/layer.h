// TGraphicBaseList and TLayer: one layer of a movie, an ordered list of
// graphics that may be cut by one of its own graphics as a mask.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "render/bitmap32.h"
#include "render/object_list.h"
#include "render/polygon32.h"
#include "scene/graphic_base.h"

namespace lumora {

class TControlLayer;

class TGraphicBaseList : public TCustomObjectList<TGraphicBase> {
 public:
  // Frees the graphic at index; other indexes do nothing.
  void Remove(std::int32_t index) { DeleteRange(index, 1, true); }
};

// "第%d层": the name of the layer with that number.
std::string LayerName(std::int32_t number);

class TLayer : public TObject {
 public:
  std::string ClassName() const override { return "TLayer"; }

  std::string Name;
  std::int32_t Number = 0;
  std::uint8_t Current = 1;
  std::uint8_t Visible = 1;
  // Set only for masked layers; the scene root's MaskBitmap is their scratch.
  TControlLayer* Owner = nullptr;

  const TGraphicBaseList& Graphics() const { return fGraphics; }
  std::int32_t Add(std::unique_ptr<TGraphicBase> graphic) { return fGraphics.Add(std::move(graphic)); }
  // Frees the graphic at index (other indexes do nothing); a freed mask
  // graphic leaves the layer without one.
  void Remove(std::int32_t index);
  std::int32_t Count() const { return fGraphics.Count(); }
  TGraphicBase& Items(std::int32_t i) const { return fGraphics.Items(i); }

  std::uint8_t Masked() const { return fMasked; }
  // The mask polygon exists exactly while the layer is masked.
  void SetMasked(std::uint8_t flag);
  TPolygon32* MaskPolygon() const { return fMaskPolygon.get(); }
  // One of the layer's own graphics, or none.
  TGraphicBase* MaskGraphic() const { return fMaskGraphic; }
  // Ignored for none; else masks the layer by the graphic, with an empty
  // mask polygon.
  void SetMaskGraphic(TGraphicBase* graphic);

  // Every graphic draws into the bitmap from now on.
  void SetTargets(TBitmap32* bitmap);
  // Frame n of every graphic in order. The graphics of a masked layer were
  // cut by the mask when the show was prepared, so they draw straight into
  // the bitmap; the mask graphic itself does not draw, and the owner's
  // scratch is cleared for the layer as the design has it.
  void DrawFrame(TFrameDataLayers& gridLayers, std::int32_t frame, TBitmap32& bitmap);

 private:
  void clearScratch();

  TGraphicBaseList fGraphics;
  std::uint8_t fMasked = 0;
  TGraphicBase* fMaskGraphic = nullptr;
  std::unique_ptr<TPolygon32> fMaskPolygon;
};

}  // namespace lumora
