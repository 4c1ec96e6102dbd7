// TPolyLineGroupState: the polyline group effect. One outline drives a
// rectangle of grid cells: it is cut into one piece per cell, and on every
// frame piece i takes the colour of cell i.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "effects/cell_range.h"
#include "scene/effect.h"
#include "scene/layer.h"

namespace lumora {

class TPolyLineGroupState : public TCustomState {
 public:
  using TCustomState::TCustomState;
  std::string ClassName() const override { return "TPolyLineGroupState"; }
  std::uint8_t Kind() const override { return kEffectPolyLineGroup; }
  std::unique_ptr<TCustomState> CreateSameKind() const override { return std::make_unique<TPolyLineGroupState>(); }

  TCellRange CellRange;
  // Stored, copied and written back; not interpreted.
  std::int32_t Reserved = 0;
  // TSegmentStyle: round dots, square dots or line pieces.
  std::int32_t SegmentStyle = 0;
  // Non-zero: cell i drives piece i; 0: the last piece first.
  std::uint8_t Order = 0;

  void AssignFrom(const TCustomState& source) override;
  // Freezing cuts the outline and freezes every piece's coverage; the
  // release frees the pieces.
  void SetCoverageFrozen(bool flag, TBitmap32& bitmap) override;
  // Line pieces draw the whole outline; dots draw a temporary set of dots.
  void Draw(TBitmap32& bitmap, TWinColor colour) override;
  void ReadBody(TStreamReader& stream) override;
  void WriteBody(TStreamWriter& stream) override;
  // The piece count, then every piece's export bound to its cell.
  void WriteExport(TStreamWriter& stream) override;
  void DrawFrame(TFrameDataLayers& gridLayers, std::int32_t frame, TBitmap32& bitmap) override;
  void ApplyMask(TBitmap32& maskBitmap) override;
  void UnbindCells() override { CellRange = {}; }

  // One piece per cell of CellRange; a range of one cell binds the owner to
  // that cell instead and gives no pieces.
  std::unique_ptr<TGraphicBaseList> BuildPieces();
  // The frozen pieces, or none.
  const TGraphicBaseList* Pieces() const { return fPieces.get(); }

 private:
  void freePieces();
  void drawStatic(TBitmap32& bitmap);

  std::unique_ptr<TGraphicBaseList> fPieces;
};

}  // namespace lumora
