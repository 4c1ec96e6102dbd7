// TGraphicBase: the base of every drawable object of a movie, with the values
// of its 40-byte object header and the operations the layers, the scene root,
// the movie reader and the object factory call.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "render/bitmap32.h"
#include "render/color32.h"
#include "render/geometry.h"
#include "render/object.h"
#include "render/polygon32.h"

namespace lumora {

class TFrameDataLayers;
class TLayer;
class TStreamReader;
class TStreamWriter;
// The editor's view (zoom, scroll, canvas); the player draws without one.
class TView;

inline constexpr std::size_t kObjectHeaderSize = 40;
using TObjectHeader = std::array<std::uint8_t, kObjectHeaderSize>;

// Effect kinds of the byte stored with every graphic.
inline constexpr std::uint8_t kEffectPlain = 0;
inline constexpr std::uint8_t kEffectPolyLineGroup = 1;
inline constexpr std::uint8_t kEffectMask = 2;
inline constexpr std::uint8_t kEffectLightStrip = 3;

class TGraphicBase : public TObject {
 public:
  explicit TGraphicBase(TView* view) : fView(view) {}
  TGraphicBase(const TGraphicBase&) = delete;
  TGraphicBase& operator=(const TGraphicBase&) = delete;

  // Header values: getters return the field as held (LineWidth in 16.16);
  // setters assign only when the value differs and notify nobody.
  TWinColor LineColor() const { return fLineColor; }
  TFixed LineWidth() const { return fLineWidth; }
  TWinColor FillColor() const { return fFillColor; }
  TWinColor RedColor() const { return fRedColor; }
  TWinColor GreenColor() const { return fGreenColor; }
  TWinColor BlueColor() const { return fBlueColor; }
  bool Selected() const { return fSelected != 0; }
  bool Filled() const { return fFilled != 0; }
  std::int32_t GridRow() const { return fGridRow; }
  std::int32_t GridColumn() const { return fGridColumn; }
  std::uint8_t TypeCode() const { return fTypeCode; }
  std::uint8_t ChannelMode() const { return fChannelMode; }
  std::uint16_t GridLayer() const { return fGridLayer; }

  virtual void SetLineColor(TWinColor c) { fLineColor = c; }
  virtual void SetLineWidth(TFixed w) { fLineWidth = w; }
  virtual void SetFillColor(TWinColor c) { fFillColor = c; }
  virtual void SetRedColor(TWinColor c) { fRedColor = c; }
  virtual void SetGreenColor(TWinColor c) { fGreenColor = c; }
  virtual void SetBlueColor(TWinColor c) { fBlueColor = c; }
  virtual void SetSelected(bool b) { fSelected = b ? 1 : 0; }
  virtual void SetFilled(bool b) { fFilled = b ? 1 : 0; }
  virtual void SetGridRow(std::int32_t v) { fGridRow = v; }
  virtual void SetGridColumn(std::int32_t v) { fGridColumn = v; }
  virtual void SetChannelMode(std::uint8_t v) { fChannelMode = v; }
  virtual void SetGridLayer(std::uint16_t v) { fGridLayer = v; }

  // Copies the 40 header bytes over the header values at once; a LineWidth
  // below 65536 is whole pixels and becomes 16.16.
  void LoadHeader(const TObjectHeader& header);
  // The 40 header bytes as held in memory (LineWidth in 16.16).
  TObjectHeader HeaderBytes() const;

  bool EditMode() const { return fEditMode != 0; }
  bool UseView() const { return fUseView != 0; }
  TView* View() const { return fView; }
  std::uint8_t EffectKind() const { return fEffectKind; }
  const TFloatPoint& Position() const { return fPosition; }

  virtual void SetEditMode(bool b) { fEditMode = b ? 1 : 0; }
  virtual void SetUseView(bool b) { fUseView = b ? 1 : 0; }
  virtual void SetPosition(const TFloatPoint& p) { fPosition = p; }
  virtual void MoveBy(float dx, float dy);

  // Replaces the effect by one of the kind (0 plain, 1 polyline group,
  // 2 mask, 3 light strip) when the kind differs.
  virtual void SetEffectKind(std::uint8_t kind) = 0;

  // The current encoding's body: the common record, the effect's record,
  // then the class's own data. WriteBody clears Selected and writes the
  // header too.
  virtual void ReadBody(TStreamReader& stream) = 0;
  virtual void WriteBody(TStreamWriter& stream) = 0;
  // The legacy body; the base has none.
  virtual void ReadLegacyBody(TStreamReader& stream);
  // The legacy header: LineWidth in whole pixels, Selected and GridLayer 0,
  // the type code as legacy readers know it. Outline classes append points.
  virtual void WriteExport(TStreamWriter& stream);

  // Transformed bounds in 16.16; the base has none.
  virtual void GetBounds(TFixedRect& rect) const;
  // GetBounds with every coordinate rounded as (v + 32767) sar 16.
  void GetIntBounds(TRect& rect) const;
  // GetBounds in singles, mapped through the view.
  virtual void GetViewBounds(TFloatRect& rect) const = 0;
  virtual void UpdateTransform() = 0;

  // The drawing interface draws into the bitmap.
  virtual void SetTargetBitmap(TBitmap32* bitmap) = 0;
  // The drawing interface draws into the bitmap with pen and brush in the
  // colour and the pen as wide as LineWidth, anti-aliased.
  virtual void SetTarget(TBitmap32* bitmap, TWinColor colour) = 0;
  // Appends the transformed outline; the base has none.
  virtual void AddToPolygon(TPolygon32& polygon);

  // Static drawing in the graphic's own colour, through its effect.
  virtual void Draw(TBitmap32& bitmap) = 0;
  // Frame drawing through the effect (or the graphic's own for lamps).
  virtual void DrawFrame(TFrameDataLayers& gridLayers, std::int32_t frame, TBitmap32& bitmap) = 0;
  // The effect's static draw in a colour and its coverage freeze: the two
  // steps of the scene root's prepare pass.
  virtual void EffectDraw(TBitmap32& bitmap, TWinColor colour) = 0;
  virtual void EffectSetCoverageFrozen(bool flag, TBitmap32& bitmap) = 0;
  // Cuts the frozen coverage by the mask bitmap's alpha, through the effect.
  virtual void ApplyMask(TBitmap32& maskBitmap) = 0;

  // A graphic with the mask effect becomes the layer's mask graphic and ends
  // with a fresh mask effect; other kinds do nothing.
  virtual void AttachMaskToLayer(TLayer& layer);

 protected:
  // For the constructors of the classes and for their SetEffectKind.
  void SetTypeCode(std::uint8_t code) { fTypeCode = code; }
  void StoreEffectKind(std::uint8_t kind) { fEffectKind = kind; }

 private:
  TWinColor fLineColor = 255;
  TFixed fLineWidth = kFixedOne;
  TWinColor fFillColor = 0;
  TWinColor fRedColor = 0x0000FF;
  TWinColor fGreenColor = 0x00FF00;
  TWinColor fBlueColor = 0xFF0000;
  std::uint8_t fSelected = 1;
  std::uint8_t fFilled = 0;
  std::array<std::uint8_t, 2> fReserved{};
  std::int32_t fGridRow = -1;
  std::int32_t fGridColumn = -1;
  std::uint8_t fTypeCode = 0;
  std::uint8_t fChannelMode = 7;
  std::uint16_t fGridLayer = 0;

  std::uint8_t fEditMode = 1;
  std::uint8_t fUseView = 1;
  std::uint8_t fEffectKind = kEffectPlain;
  TView* fView = nullptr;
  TFloatPoint fPosition;
};

}  // namespace lumora
