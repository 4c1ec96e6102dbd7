// A graphic for the model tests: it records what the layers and readers ask
// of it, and its body is the effect kind followed by one s32 payload.
#pragma once

#include <algorithm>
#include <array>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "io/stream.h"
#include "movie/graphic_factory.h"
#include "scene/effect.h"
#include "scene/graphic_base.h"
#include "scene/layer.h"

namespace lumora::test {

class TTestGraphic : public TGraphicBase {
 public:
  explicit TTestGraphic(TView* view = nullptr, std::uint8_t typeCode = 2) : TGraphicBase(view) {
    SetTypeCode(typeCode);
  }
  std::string ClassName() const override { return "TTestGraphic"; }

  std::int32_t Payload = 0;
  TFixedRect Bounds;
  // Pixel (1, 1) of every mask bitmap handed to ApplyMask.
  std::vector<TColor32> MaskSamples;
  std::vector<std::string> Calls;
  TBitmap32* Target = nullptr;

  void ReadBody(TStreamReader& stream, TObjectBuilder& builder) override {
    std::uint8_t kind = 0;
    if (stream.ReadU8(kind)) SetEffect(builder.CreateEffect(kind));
    stream.ReadS32(Payload);
  }
  void WriteBody(TStreamWriter& stream) override {
    SetSelected(false);
    stream.WriteBytes(HeaderBytes());
    stream.WriteU8(EffectKind());
    stream.WriteS32(Payload);
  }
  void ReadLegacyBody(TStreamReader& stream, TObjectBuilder&) override { stream.ReadS32(Payload); }
  void WriteExport(TStreamWriter& stream) override {
    TGraphicBase::WriteExport(stream);
    stream.WriteS32(Payload);
  }
  void GetBounds(TFixedRect& rect) override { rect = Bounds; }
  void UpdateTransform() override { Calls.push_back("UpdateTransform"); }
  void SetTargetBitmap(TBitmap32* bitmap) override { Target = bitmap; }
  void SetTarget(TBitmap32* bitmap, TWinColor) override { Target = bitmap; }
  // The bounds as one closed contour.
  void AddToPolygon(TPolygon32& polygon) override {
    polygon.NewContour();
    polygon.AddPoint({Bounds.Left, Bounds.Top});
    polygon.AddPoint({Bounds.Right, Bounds.Top});
    polygon.AddPoint({Bounds.Right, Bounds.Bottom});
    polygon.AddPoint({Bounds.Left, Bounds.Bottom});
  }
  void Draw(TBitmap32&) override { Calls.push_back("Draw"); }
  void DrawFrame(TFrameDataLayers&, std::int32_t, TBitmap32&) override { Calls.push_back("DrawFrame"); }
  void DrawInColor(TBitmap32&, TWinColor colour) override { Calls.push_back("DrawInColor " + std::to_string(colour)); }
  void SetCoverageFrozen(bool flag, TBitmap32&) override {
    Calls.push_back(std::string("SetCoverageFrozen ") + (flag ? "1" : "0"));
  }
  void ApplyMask(TBitmap32& mask) override { MaskSamples.push_back(mask.ReadPixel(1, 1)); }
};

// A concrete outline for the model tests: the box Box through the placement,
// filled (Filled) or stroked through the Painter as the outline shapes do.
// It maps its corners on every drawing, into storage it owns, so that a
// frozen coverage shows whether the Painter rasterised again, and so that
// drawing a frame allocates nothing here.
class TBoxGraphic : public TGraphicBase {
 public:
  explicit TBoxGraphic(TView* view = nullptr) : TGraphicBase(view) { SetTypeCode(2); }
  std::string ClassName() const override { return "TBoxGraphic"; }

  TFixedRect Box;
  int InColorCalls = 0;
  TWinColor LastColour = -1;

  void DrawInColor(TBitmap32& bitmap, TWinColor colour) override {
    ++InColorCalls;
    LastColour = colour;
    UpdateTransform();
    mapCorners();
    SetTarget(&bitmap, colour);
    if (Filled()) {
      Painter().FillPolygon(std::span<const TFixedPoint>(fMapped.data(), 4));
    } else {
      Painter().DrawPolylineWide(fMapped);
    }
  }
  void GetBounds(TFixedRect& rect) override {
    ComposeMatrix();
    mapCorners();
    rect = {fMapped[0].X, fMapped[0].Y, fMapped[0].X, fMapped[0].Y};
    for (const TFixedPoint& p : fMapped) {
      rect.Left = std::min(rect.Left, p.X);
      rect.Top = std::min(rect.Top, p.Y);
      rect.Right = std::max(rect.Right, p.X);
      rect.Bottom = std::max(rect.Bottom, p.Y);
    }
  }
  void GetFixedOutline(TArrayOfFixedPoint& points) override {
    ComposeMatrix();
    mapCorners();
    points.assign(fMapped.begin(), fMapped.begin() + 4);
  }
  void AddToPolygon(TPolygon32& polygon) override {
    polygon.NewContour();
    for (std::size_t i = 0; i < 4; ++i) polygon.AddPoint(fMapped[i]);
  }
  void DrawToCanvas(TCanvas& canvas) override {
    mapCorners();
    const TPoints corners = FixedToInt(std::span<const TFixedPoint>(fMapped.data(), 4));
    canvas.Path.Polygon(corners);
  }
  std::unique_ptr<TGraphicBase> Clone() override {
    auto copy = std::make_unique<TBoxGraphic>();
    copy->Box = Box;
    copy->Assign(*this);
    return copy;
  }

 private:
  // The corners through WorkTransform, closed by the first one again.
  void mapCorners() {
    const TFixedPoint corners[4] = {{Box.Left, Box.Top}, {Box.Right, Box.Top}, {Box.Right, Box.Bottom},
                                    {Box.Left, Box.Bottom}};
    for (std::size_t i = 0; i < 4; ++i) fMapped[i] = WorkTransform().Transform(corners[i]);
    fMapped[4] = fMapped[0];
  }

  std::array<TFixedPoint, 5> fMapped{};
};

inline std::unique_ptr<TGraphicBase> constructTestGraphic(TView* view) {
  return std::make_unique<TTestGraphic>(view);
}

// The model's class table with the test graphic built for the codes given.
inline TGraphicClassTable testClasses(std::initializer_list<std::uint8_t> codes, bool currentEncoding) {
  TGraphicClassTable table = DefaultGraphicClasses();
  for (const std::uint8_t code : codes) {
    TGraphicClass& c = currentEncoding ? table[code].Current : table[code].Legacy;
    c.Construct = constructTestGraphic;
    if (c.Read == nullptr) {
      c.Read = [](TGraphicBase& g, TStreamReader& s, TObjectBuilder& builder) { g.ReadLegacyBody(s, builder); };
    }
  }
  return table;
}

inline TTestGraphic& asTest(TGraphicBase& g) { return dynamic_cast<TTestGraphic&>(g); }

}  // namespace lumora::test
