#include "effects/polyline_group_state.h"

#include "effects/split_tool.h"
#include "grid/frame_data.h"
#include "io/stream.h"
#include "scene/graphic_base.h"

namespace lumora {

void TPolyLineGroupState::AssignFrom(const TCustomState& source) {
  const auto* other = dynamic_cast<const TPolyLineGroupState*>(&source);
  if (other == nullptr) return;
  CellRange = other->CellRange;
  Reserved = other->Reserved;
  SegmentStyle = other->SegmentStyle;
  Order = other->Order;
}

std::unique_ptr<TGraphicBaseList> TPolyLineGroupState::BuildPieces() {
  const std::int64_t cells = CellRange.CellCount();
  if (cells == 1) {
    Owner()->SetGridRow(CellRange.FirstRow);
    Owner()->SetGridColumn(CellRange.FirstColumn);
    return std::make_unique<TGraphicBaseList>();
  }
  TFengeTool tool(*Owner());
  return tool.Split(SegmentStyle, cells, Owner()->LineWidth(), Owner()->LineColor());
}

// Pieces go from the last to the first, as they were stacked.
void TPolyLineGroupState::freePieces() {
  if (!fPieces) return;
  while (!fPieces->Empty()) fPieces->DeleteRange(fPieces->Count() - 1, 1, true);
  fPieces.reset();
}

void TPolyLineGroupState::SetCoverageFrozen(bool flag, TBitmap32& bitmap) {
  TCustomState::SetCoverageFrozen(flag, bitmap);
  if (!flag) {
    freePieces();
    return;
  }
  freePieces();
  fPieces = BuildPieces();
  for (std::int32_t i = 0; i < fPieces->Count(); ++i) {
    TGraphicBase& piece = fPieces->Items(i);
    piece.SetEditMode(false);
    piece.SetUseView(false);
    piece.DrawInColor(bitmap, 255);
    piece.SetCoverageFrozen(flag, bitmap);
  }
}

// The dots are drawn from a list of their own, so that a static draw
// between a freeze and its release leaves the frozen pieces alone.
void TPolyLineGroupState::Draw(TBitmap32& bitmap, TWinColor colour) {
  if (SegmentStyle == ssLinePieces) {
    Owner()->DrawInColor(bitmap, colour);
    return;
  }
  const std::unique_ptr<TGraphicBaseList> pieces = BuildPieces();
  for (std::int32_t i = 0; i < pieces->Count(); ++i) pieces->Items(i).DrawInColor(bitmap, colour);
}

void TPolyLineGroupState::ReadBody(TStreamReader& stream) {
  CellRange.Read(stream);
  stream.ReadS32(SegmentStyle);
  stream.ReadS32(Reserved);
  stream.ReadU8(Order);
}

void TPolyLineGroupState::WriteBody(TStreamWriter& stream) {
  CellRange.Write(stream);
  stream.WriteS32(SegmentStyle);
  stream.WriteS32(Reserved);
  stream.WriteU8(Order);
}

// Piece i is bound to cell i, counted column by column.
void TPolyLineGroupState::WriteExport(TStreamWriter& stream) {
  const std::unique_ptr<TGraphicBaseList> pieces = BuildPieces();
  stream.WriteS32(pieces->Count());
  std::int32_t i = 0;
  for (std::int64_t c = CellRange.FirstColumn; c <= CellRange.LastColumn && i < pieces->Count(); ++c) {
    for (std::int64_t r = CellRange.FirstRow; r <= CellRange.LastRow && i < pieces->Count(); ++r, ++i) {
      pieces->Items(i).SetGridRow(static_cast<std::int32_t>(r));
      pieces->Items(i).SetGridColumn(static_cast<std::int32_t>(c));
    }
  }
  for (std::int32_t k = 0; k < pieces->Count(); ++k) pieces->Items(k).WriteExport(stream);
}

// A dark cell leaves its piece undrawn; cells beyond the pieces, and so
// beyond any sensible range, are not visited.
void TPolyLineGroupState::DrawFrame(TFrameDataLayers& gridLayers, std::int32_t frame, TBitmap32& bitmap) {
  if (!HasOwnerGridLayer(*Owner(), gridLayers)) {
    drawStatic(bitmap);
    return;
  }
  const TFrameData* data = OwnerGridFrame(*Owner(), gridLayers, frame);
  if (data == nullptr || !fPieces) return;
  const std::int32_t count = fPieces->Count();
  std::int32_t i = 0;
  for (std::int64_t c = CellRange.FirstColumn; c <= CellRange.LastColumn && i < count; ++c) {
    for (std::int64_t r = CellRange.FirstRow; r <= CellRange.LastRow && i < count; ++r, ++i) {
      const TWinColor cell = data->CellColor(static_cast<std::int32_t>(r), static_cast<std::int32_t>(c));
      const TWinColor colour = ChannelColor(cell);
      if (colour != 0) fPieces->Items(Order != 0 ? i : count - 1 - i).DrawInColor(bitmap, colour);
    }
  }
}

// Without a grid layer the group shows its static draw every frame. Frozen
// dots repaint what the freeze stored: cutting and drawing them anew would
// cost every frame what preparing the show did.
void TPolyLineGroupState::drawStatic(TBitmap32& bitmap) {
  TGraphicBase& owner = *Owner();
  if (SegmentStyle == ssLinePieces || !fPieces) {
    owner.Draw(bitmap);
    return;
  }
  const TWinColor colour = owner.Filled() ? owner.FillColor() : owner.LineColor();
  for (std::int32_t i = 0; i < fPieces->Count(); ++i) fPieces->Items(i).DrawInColor(bitmap, colour);
}

void TPolyLineGroupState::ApplyMask(TBitmap32& maskBitmap) {
  if (!fPieces) return;
  for (std::int32_t i = 0; i < fPieces->Count(); ++i) fPieces->Items(i).ApplyMask(maskBitmap);
}

}  // namespace lumora
