#include "effects/custom_state.h"

#include "effects/dengdai_state.h"
#include "effects/polyline_group_state.h"
#include "movie/frame_data.h"
#include "movie/stream.h"
#include "scene/graphic_base.h"

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
  const std::uint8_t mode = fOwner->ChannelMode();
  if (mode >= 8) return cell;
  const auto channels = static_cast<std::uint32_t>(cell);
  TWinColor colour = 0;
  if ((mode & 1) != 0) colour |= TGraphicBase::ScaleColor(fOwner->RedColor(), channels & 0xFF);
  if ((mode & 2) != 0) colour |= TGraphicBase::ScaleColor(fOwner->GreenColor(), (channels >> 8) & 0xFF);
  if ((mode & 4) != 0) colour |= TGraphicBase::ScaleColor(fOwner->BlueColor(), (channels >> 16) & 0xFF);
  return colour;
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

std::unique_ptr<TCustomState> CreateEffect(std::uint8_t kind, TGraphicBase* owner) {
  switch (kind) {
    case kEffectPlain:
      return std::make_unique<TCustomState>(owner);
    case kEffectPolyLineGroup:
      return std::make_unique<TPolyLineGroupState>(owner);
    case kEffectMask:
      return std::make_unique<TMaskState>(owner);
    case kEffectLightStrip:
      return std::make_unique<TDengDaiState>(owner);
    default:
      return nullptr;
  }
}

}  // namespace lumora
