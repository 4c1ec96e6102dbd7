// TGraphicBitmap: a raster picture placed in the scene. For playback it keeps
// the picture already transformed into target coordinates (the cache), which
// is drawn at a fixed place every frame, may be tinted in one colour and is
// cut by its layer's mask.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "render/bitmap32.h"
#include "render/integer_map.h"
#include "render/mask_maps.h"
#include "scene/graphic_base.h"

namespace lumora {

class TGraphicBitmap : public TGraphicBase {
 public:
  // An empty picture; the graphic is Selected.
  explicit TGraphicBitmap(TView* view);
  std::string ClassName() const override { return "TGraphicBitmap"; }

  // Its draw mode and outer colour are part of the graphic. Every change
  // notification of the picture sets the working transformation's source
  // rectangle to (0, 0, W - 1, H - 1).
  TBitmap32& Picture() { return fPicture; }
  const TBitmap32& Picture() const { return fPicture; }
  // The picture in target coordinates; exists while coverage is frozen.
  const TMemMap* Cache() const { return fCache.get(); }
  std::int32_t CacheLeft() const { return fCacheLeft; }
  std::int32_t CacheTop() const { return fCacheTop; }

  void Assign(TGraphicBase& source) override;
  std::unique_ptr<TGraphicBase> Clone() override;
  // Whether the point maps back into [0, W) × [0, H) of the picture.
  bool HitTest(std::int32_t x, std::int32_t y) override;
  // Building the cache needs a part of the picture inside the target's
  // clipping rectangle; otherwise the cache stays as it was.
  void SetCoverageFrozen(bool flag, TBitmap32& target) override;
  void DrawToCanvas(TCanvas& canvas) override;
  // The cache (tinted in the colour when TintMode is 2), or the picture
  // through the working transformation.
  void DrawInColor(TBitmap32& bitmap, TWinColor colour) override;
  // The cache's alpha scaled by the mask bitmap's; cache pixels outside the
  // mask bitmap are cut away.
  void ApplyMask(TBitmap32& maskBitmap) override;
  void GetBounds(TFixedRect& rect) override;
  void ReadBody(TStreamReader& stream, TObjectBuilder& builder) override;
  void WriteBody(TStreamWriter& stream) override;
  // The placed box and the picture as a Windows bitmap file image.
  void ReadLegacyBody(TStreamReader& stream, TObjectBuilder& builder) override;
  void WriteExport(TStreamWriter& stream) override;

  // The graphic as a layer's mask: map sized to the surface and cleared,
  // then the picture's alpha, without its 3-pixel border, drawn into it
  // through the updated transformation.
  void PrepareMaskMap(TMaskByteMap& map, const TBitmap32& surface);

 private:
  void pictureChanged();
  TFloatRect sourceRect() const;
  TWinColor keyColour() const;
  void setOuterFromKey(std::uint32_t key);
  void drawUncached(TBitmap32& bitmap);

  TBitmap32 fPicture;
  std::unique_ptr<TMemMap> fCache;
  std::int32_t fCacheLeft = 0;
  std::int32_t fCacheTop = 0;
};

}  // namespace lumora
