#include "scene/effect.h"

#include "grid/frame_data.h"

namespace lumora {

namespace {

bool cellInside(const TGraphicBase& owner, const TFrameData& frame) {
  return owner.GridRow() >= 0 && owner.GridColumn() >= 0 && owner.GridRow() < frame.Rows() &&
         owner.GridColumn() < frame.Columns();
}

}  // namespace

bool HasOwnerGridLayer(const TGraphicBase& owner, const TFrameDataLayers& gridLayers) {
  return owner.GridLayer() < gridLayers.Count();
}

const TFrameData* OwnerGridFrame(const TGraphicBase& owner, const TFrameDataLayers& gridLayers, std::int32_t frame) {
  if (!HasOwnerGridLayer(owner, gridLayers)) return nullptr;
  const TFrameDataLayer& layer = gridLayers.Items(owner.GridLayer());
  if (frame < 0 || static_cast<std::size_t>(frame) >= layer.Merged.size()) return nullptr;
  return layer.Merged[static_cast<std::size_t>(frame)];
}

void TCustomState::SetCoverageFrozen(bool flag, TBitmap32& bitmap) { fOwner->SetCoverageFrozen(flag, bitmap); }

void TCustomState::Draw(TBitmap32& bitmap, TWinColor colour) { fOwner->DrawInColor(bitmap, colour); }

TWinColor TCustomState::ChannelColor(TWinColor cell) const {
  return lumora::ChannelColor(cell, fOwner->ChannelMode(),
                              {fOwner->RedColor(), fOwner->GreenColor(), fOwner->BlueColor()});
}

// A missing layer, frame or cell, and a black result, all show the static
// colour: a dark cell must not paint the graphic black. The frame index is
// the window's to keep in range; one outside the frames draws statically
// rather than failing in the middle of a frame.
void TCustomState::DrawFrame(TFrameDataLayers& gridLayers, std::int32_t frame, TBitmap32& bitmap) {
  const TFrameData* data = OwnerGridFrame(*fOwner, gridLayers, frame);
  if (data == nullptr || !cellInside(*fOwner, *data)) {
    fOwner->Draw(bitmap);
    return;
  }
  const TWinColor colour = ChannelColor(data->CellColor(fOwner->GridRow(), fOwner->GridColumn()));
  if (colour != 0) {
    fOwner->DrawInColor(bitmap, colour);
  } else {
    fOwner->Draw(bitmap);
  }
}

void TCustomState::ApplyMask(TBitmap32& maskBitmap) { fOwner->Painter().MaskCoverageByAlpha(maskBitmap); }

}  // namespace lumora
