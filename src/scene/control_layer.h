// TControlLayer: the scene root, owning the layers of a movie in display
// order and applying the player's passes to every graphic of every layer:
// the preparation for playback, the masks, and the frame pass that draws
// frame N.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "render/band_painter.h"
#include "render/bitmap32.h"
#include "render/mask_maps.h"
#include "render/object_list.h"
#include "scene/layer.h"

namespace lumora {

class TControlLayer : public TObject {
 public:
  TControlLayer() = default;
  TControlLayer(const TControlLayer&) = delete;
  TControlLayer& operator=(const TControlLayer&) = delete;
  std::string ClassName() const override { return "TControlLayer"; }

  // Scratch surface for masked layers; not owned.
  TBitmap32* MaskBitmap = nullptr;
  // Stored by the movie body; playback does not read it.
  std::uint8_t Setting = 1;

  TMaskByteMap& MaskMap() { return fMaskMap; }

  // Frees every layer and so every graphic.
  void Clear() { fLayers.FreeAll(); }
  std::int32_t Add(std::unique_ptr<TLayer> layer) { return fLayers.Add(std::move(layer)); }
  // A new current layer numbered one above the highest number, named
  // "第%d层" after that number when name is empty.
  TLayer& AddLayer(const std::string& name);
  // The first layer whose Current is set, or none; an empty root gets a
  // default layer first.
  TLayer* CurrentLayer();
  std::int32_t LayerCount() const { return fLayers.Count(); }
  TLayer& Layer(std::int32_t i) const { return fLayers.Items(i); }
  const TCustomObjectList<TLayer>& Layers() const { return fLayers; }

  // Union of the integer bounds of every graphic; (0, 0, 0, 0) when none
  // has any.
  void GetBounds(TRect& rect) const;
  void OffsetAll(std::int32_t dx, std::int32_t dy);
  void SetAllEditMode(bool flag);
  void SetAllUseView(bool flag);
  // Every graphic, masked or not: its effect's static draw in colour 255,
  // then its effect's coverage freeze. This decides what the show can
  // draw: a graphic whose geometry cannot be drawn (a region or path past
  // its limits) is taken out of its layer and listed in Dropped, so that
  // the frame pass never meets it. A memory or work budget that runs out
  // refuses the show instead.
  void PreparePass(bool flag, TBitmap32& bitmap);
  // Builds each masked layer's mask in MaskBitmap and cuts the layer's
  // graphics by it.
  void PrepareMasks();
  // The frame pass: inside one update bracket the bitmap is cleared to
  // opaque black and every visible layer draws frame n of its graphics.
  // The graphics run in their order; what they paint lands band by band
  // through the band painter, with the same pixels.
  void DrawFrame(TFrameDataLayers& gridLayers, std::int32_t frame, TBitmap32& bitmap);
  // How frames are painted: threads and band height.
  TBandPainter& BandPainter() { return fBandPainter; }
  const TBandPainter& BandPainter() const { return fBandPainter; }

  // A graphic the prepare pass took out of the show, and why.
  struct TDroppedGraphic {
    std::int32_t Layer = 0;
    // Its place in the layer as the movie held it.
    std::int32_t Index = 0;
    std::string ClassName;
    std::string Reason;
  };
  const std::vector<TDroppedGraphic>& Dropped() const { return fDropped; }

 private:
  void prepareMask(TLayer& layer);
  void prepareLayer(std::int32_t layerIndex, bool flag, TBitmap32& bitmap);

  TCustomObjectList<TLayer> fLayers;
  TMaskByteMap fMaskMap;
  std::vector<TDroppedGraphic> fDropped;
  TBandPainter fBandPainter;
};

}  // namespace lumora
