// TGraphicBase: the base of every drawable object of a movie, with the values
// of its 40-byte object header, its placement transform, the effect that
// decides how it looks in each frame, the drawing interface it draws through,
// and the operations the layers, the scene root, the movie reader and the
// object factory call.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "render/bitmap32.h"
#include "render/color32.h"
#include "render/gdi_path.h"
#include "render/geometry.h"
#include "render/gr32_graphics.h"
#include "render/matrix.h"
#include "render/object.h"
#include "render/polygon32.h"
#include "scene/view.h"

namespace lumora {

class TCustomState;
class TFrameDataLayers;
class TLayer;
class TObjectBuilder;
class TStreamReader;
class TStreamWriter;

inline constexpr std::size_t kObjectHeaderSize = 40;
using TObjectHeader = std::array<std::uint8_t, kObjectHeaderSize>;

// Effect kinds of the byte stored with every graphic.
inline constexpr std::uint8_t kEffectPlain = 0;
inline constexpr std::uint8_t kEffectPolyLineGroup = 1;
inline constexpr std::uint8_t kEffectMask = 2;
inline constexpr std::uint8_t kEffectLightStrip = 3;
inline constexpr std::uint8_t kEffectKindLast = kEffectLightStrip;

// The common body record before the effect's own record: AuxFlag, the base
// matrix, the placement, Size, the four stored extras and the effect kind.
inline constexpr std::size_t kCommonBodySize = 90;

// What one graphic costs beside the memory it charges for itself (surfaces,
// points, stored coverage): the object, its painter, transformation, effect
// and the small lists they keep, charged when a graphic is built from a file
// or by a split.
inline constexpr std::uint64_t kGraphicObjectBytes = 2048;

// Half the side of a selection marker, in pixels.
inline constexpr float kHandleRadius = 3;
inline constexpr TColor32 kHandleColor = 0x00FFFFFF;
// The pen width for regions and rectangle hit tests.
inline constexpr std::int32_t kRegionPenWidth = 2;

class TGraphicBase : public TObject {
 public:
  // The defaults of a new graphic, a plain effect, an identity placement.
  explicit TGraphicBase(TView* view);
  ~TGraphicBase() override;
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

  // State and placement.
  bool EditMode() const { return fEditMode != 0; }
  bool UseView() const { return fUseView != 0; }
  TView* View() const { return fView; }
  // A group hands its view to the children it adopts.
  void SetView(TView* view) { fView = view; }
  TAffineTransformation* Deformer() const { return fDeformer; }
  float Angle() const { return fAngle; }
  const TFloatMatrix& UserMatrix() const { return fUserMatrix; }
  const TFloatPoint& Pivot() const { return fPivot; }
  const TFloatPoint& Position() const { return fPosition; }
  const TFloatPoint& Scale() const { return fScale; }
  const TFloatPoint& Skew() const { return fSkew; }
  const TFloatMatrix& BaseMatrix() const { return fBaseMatrix; }
  void SetBaseMatrix(const TFloatMatrix& m) { fBaseMatrix = m; }
  // Width (X) and height (Y) of the untransformed outline box.
  const TFloatPoint& Size() const { return fSize; }
  void SetSize(const TFloatPoint& s) { fSize = s; }

  virtual void SetEditMode(bool b) { fEditMode = b ? 1 : 0; }
  virtual void SetUseView(bool b) { fUseView = b ? 1 : 0; }
  virtual void SetDeformer(TAffineTransformation* t) { fDeformer = t; }
  virtual void SetAngle(float angle) { fAngle = angle; }
  virtual void SetUserMatrix(const TFloatMatrix& m) { fUserMatrix = m; }
  virtual void SetPivot(const TFloatPoint& p) { fPivot = p; }
  virtual void SetPosition(const TFloatPoint& p) { fPosition = p; }
  virtual void SetScale(const TFloatPoint& s) { fScale = s; }
  virtual void SetSkew(const TFloatPoint& s) { fSkew = s; }

  // Stored, copied and written back; only TintMode 2 means something (the
  // bitmap graphic recolours its pixels).
  std::uint8_t AuxFlag() const { return fAuxFlag; }
  std::uint8_t AuxPercent() const { return fAuxPercent; }
  std::uint8_t TintMode() const { return fTintMode; }
  std::int16_t AuxWord() const { return fAuxWord; }
  std::int32_t AuxValue() const { return fAuxValue; }
  void SetAuxFlag(std::uint8_t v) { fAuxFlag = v; }
  void SetAuxPercent(std::uint8_t v) { fAuxPercent = v; }
  void SetTintMode(std::uint8_t v) { fTintMode = v; }
  void SetAuxWord(std::int16_t v) { fAuxWord = v; }
  void SetAuxValue(std::int32_t v) { fAuxValue = v; }

  // The owned parts.
  TGR32Graphics& Painter() const { return *fPainter; }
  TAffineTransformation& WorkTransform() const { return *fWorkTransform; }
  TCustomState& Effect() const { return *fEffect; }
  // The device-space outline kept while the Painter's ReuseMask is set.
  TPoints& OutlineCache() { return fOutlineCache; }
  const TPoints& OutlineCache() const { return fOutlineCache; }

  // 0 plain, 1 polyline group, 2 mask, 3 light strip: the kind of Effect.
  std::uint8_t EffectKind() const { return fEffectKind; }
  // Takes the effect over and becomes its owner; none raises
  // std::invalid_argument and keeps the effect.
  void SetEffect(std::unique_ptr<TCustomState> effect);

  // Placement: WorkTransform := BaseMatrix, then the placement about the
  // pivot, then UserMatrix when it is not identity byte for byte.
  void ComposeMatrix();
  // With UseView and a view: the view's scale, then its offset, after what
  // the transformation does.
  void ApplyView(TAffineTransformation& transformation) const;
  // ComposeMatrix, then ApplyView on WorkTransform.
  virtual void UpdateTransform();
  virtual void MoveBy(float dx, float dy);
  virtual void RotateBy(float delta) { SetAngle(fAngle + delta); }
  // Grows Scale by the deltas, moving Position so that the box grows about
  // its centre along the rotated axes.
  virtual void ScaleBy(float dsx, float dsy);
  virtual void FlipHorizontal();
  virtual void FlipVertical();
  // Folds the placement into BaseMatrix, keeping the composed mapping.
  virtual void BakeTransform();
  // A width not above 0 becomes 1, a height below 1 becomes 1.
  void ClampSize();
  // The outline changed; outline classes rebuild what derives from it.
  virtual void OutlineChanged() {}

  // Bodies. ReadBody reads the common record, takes a new effect from the
  // builder when the stored kind differs from the effect's, and lets the
  // effect read its record; classes call it first and then read their own
  // data (groups build their children through the builder). A kind no
  // effect exists for raises TLoadError. WriteBody clears Selected and
  // writes the header, the common record and the effect's record.
  virtual void ReadBody(TStreamReader& stream, TObjectBuilder& builder);
  virtual void WriteBody(TStreamWriter& stream);
  // The legacy body; the base has none.
  virtual void ReadLegacyBody(TStreamReader& stream, TObjectBuilder& builder);
  // The legacy header: LineWidth in whole pixels, Selected and GridLayer 0,
  // the type code as legacy readers know it. Outline classes append points.
  virtual void WriteExport(TStreamWriter& stream);

  // Outline queries; the base has no outline.
  virtual void GetBounds(TFixedRect& rect);
  // GetBounds with every coordinate rounded as (v + 32767) sar 16.
  void GetIntBounds(TRect& rect);
  // GetBounds in singles, mapped through the view alone.
  void GetViewBounds(TFloatRect& rect);
  virtual void GetFixedOutline(TArrayOfFixedPoint& points);
  // Appends the transformed outline; the base has none.
  virtual void AddToPolygon(TPolygon32& polygon);
  // The outline as path calls on the canvas; the base emits none.
  virtual void DrawToCanvas(TCanvas&) {}
  // UpdateTransform, then DrawToCanvas.
  virtual void PaintToCanvas(TCanvas& canvas);
  // The outline of PaintToCanvas, curves flattened, in drawing order.
  virtual void GetFlatPath(TPoints& points);
  // The area the outline of DrawToCanvas (without the view) encloses.
  virtual TGdiRegion CreateRegion();
  virtual void GetRegionBounds(TRect& rect);
  // Whether the outline widened by kRegionPenWidth meets the rectangle.
  virtual bool IntersectsRect(const TRect& rect);
  virtual bool HitTest(std::int32_t, std::int32_t) { return false; }

  // Drawing. SetTarget prepares the Painter: pen and brush in the colour,
  // pen as wide as LineWidth, anti-aliased, drawing into the bitmap.
  virtual void SetTargetBitmap(TBitmap32* bitmap);
  virtual void SetTarget(TBitmap32* bitmap, TWinColor colour);
  // Fills (Filled) or strokes the outline in the colour; the base draws
  // nothing.
  virtual void DrawInColor(TBitmap32&, TWinColor) {}
  // The effect's static draw in FillColor or LineColor, the selection
  // markers, and the outline cache dropped unless the coverage is frozen.
  virtual void Draw(TBitmap32& bitmap);
  // The effect's frame drawing.
  virtual void DrawFrame(TFrameDataLayers& gridLayers, std::int32_t frame, TBitmap32& bitmap);
  // Sets the Painter's ReuseMask: from now on drawing only recolours. A
  // freeze charges what each frame will repaint to the work budget.
  virtual void SetCoverageFrozen(bool flag, TBitmap32& bitmap);
  // Cuts the frozen coverage by the mask bitmap's alpha, through the effect.
  virtual void ApplyMask(TBitmap32& maskBitmap);
  // Eight markers around the placed Size box, clipped to the bitmap.
  void DrawHandles(TBitmap32& bitmap);

  // Copies the header, the placement, the extras and the effect's kind and
  // parameters, and the Painter's target; not AuxFlag, UseView, Deformer
  // or OutlineCache.
  virtual void Assign(TGraphicBase& source);
  // A new graphic of the same class without a view, assigned from this one;
  // the base has none.
  virtual std::unique_ptr<TGraphicBase> Clone() { return nullptr; }

  // The grid layer at index was removed: unbind from it, or follow the
  // index down.
  virtual void GridLayerRemoved(std::int32_t index);
  // A graphic with the mask effect becomes the layer's mask graphic and ends
  // with a fresh mask effect; other kinds do nothing.
  virtual void AttachMaskToLayer(TLayer& layer);

  // Point conversions of the outline holders; empty input gives empty
  // output.
  TArrayOfFixedPoint TransformOutlineFixed(std::span<const TFixedPoint> points) const;
  TPoints TransformOutlineInt(std::span<const TFixedPoint> points) const;
  TPoints TransformPointsInt(std::span<const TPoint> points) const;
  TArrayOfFixedPoint TransformOutlineFloat(std::span<const TPoint> points) const;
  static TPoints FixedToInt(std::span<const TFixedPoint> points);
  static TArrayOfFixedPoint IntToFixed(std::span<const TPoint> points);

  // Every pixel opaque, except those whose colour equals the key's, which
  // become transparent.
  static void ApplyColorKey(TBitmap32& bitmap, TColor32 key);
  // Replays a path with Windows path point types onto the canvas.
  static void ReplayPath(TCanvas& canvas, std::span<const TPoint> points, std::span<const std::uint8_t> types);

 protected:
  // For the constructors of the classes.
  void SetTypeCode(std::uint8_t code) { fTypeCode = code; }

 private:
  void copyHeader(const TGraphicBase& source);
  void readCommonRecord(TStreamReader& stream);
  void writeCommonRecord(TStreamWriter& stream) const;
  void applyPlacement(TAffineTransformation& t, bool always) const;

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
  std::unique_ptr<TGR32Graphics> fPainter;
  TView* fView = nullptr;
  std::uint8_t fUseView = 1;
  std::uint8_t fEffectKind = kEffectPlain;
  TAffineTransformation* fDeformer = nullptr;
  float fAngle = 0;
  TFloatMatrix fUserMatrix = IdentityMatrix;
  TPoints fOutlineCache;
  TFloatPoint fPivot;
  TFloatPoint fPosition;
  TFloatPoint fScale{1, 1};
  TFloatPoint fSkew;
  std::uint8_t fAuxPercent = 100;
  std::uint8_t fTintMode = 0;
  std::int16_t fAuxWord = 0;
  std::uint8_t fAuxFlag = 0;
  TFloatMatrix fBaseMatrix = IdentityMatrix;
  TFloatPoint fSize;
  std::unique_ptr<TCustomState> fEffect;
  std::unique_ptr<TAffineTransformation> fWorkTransform;
  std::int32_t fAuxValue = 0;
};

}  // namespace lumora
