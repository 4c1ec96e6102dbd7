// A graphic for the model tests: it records what the layers and readers ask
// of it, and its body is the effect kind followed by one s32 payload.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "movie/graphic_factory.h"
#include "movie/stream.h"
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
  int EffectsCreated = 0;
  TBitmap32* Target = nullptr;

  void SetEffectKind(std::uint8_t kind) override {
    if (kind == EffectKind()) return;
    ++EffectsCreated;
    StoreEffectKind(kind);
  }
  void ReadBody(TStreamReader& stream) override {
    std::uint8_t kind = 0;
    if (stream.ReadU8(kind)) SetEffectKind(kind);
    stream.ReadS32(Payload);
  }
  void WriteBody(TStreamWriter& stream) override {
    SetSelected(false);
    stream.WriteBytes(HeaderBytes());
    stream.WriteU8(EffectKind());
    stream.WriteS32(Payload);
  }
  void ReadLegacyBody(TStreamReader& stream) override { stream.ReadS32(Payload); }
  void WriteExport(TStreamWriter& stream) override {
    TGraphicBase::WriteExport(stream);
    stream.WriteS32(Payload);
  }
  void GetBounds(TFixedRect& rect) const override { rect = Bounds; }
  void GetViewBounds(TFloatRect& rect) const override { rect = FloatRect(Bounds); }
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
  void EffectDraw(TBitmap32&, TWinColor colour) override { Calls.push_back("EffectDraw " + std::to_string(colour)); }
  void EffectSetCoverageFrozen(bool flag, TBitmap32&) override {
    Calls.push_back(std::string("EffectSetCoverageFrozen ") + (flag ? "1" : "0"));
  }
  void ApplyMask(TBitmap32& mask) override { MaskSamples.push_back(mask.ReadPixel(1, 1)); }
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
    if (c.Read == nullptr) c.Read = [](TGraphicBase& g, TStreamReader& s) { g.ReadLegacyBody(s); };
  }
  return table;
}

inline TTestGraphic& asTest(TGraphicBase& g) { return dynamic_cast<TTestGraphic&>(g); }

}  // namespace lumora::test
