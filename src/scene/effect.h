// TCustomState and TMaskState: the effect every graphic owns, which decides
// how the graphic looks when drawn statically, when drawn for frame N of the
// movie, and when its layer's mask cuts it. The effects that draw on their
// own (the light strip, the polyline group) build on TCustomState one layer
// up; a movie's class table creates them by kind.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "render/bitmap32.h"
#include "render/color32.h"
#include "render/object.h"
#include "scene/graphic_base.h"

namespace lumora {

class TFrameData;
class TFrameDataLayers;
class TStreamReader;
class TStreamWriter;

// The plain effect and the base of every effect: colours its owner from
// one cell of a grid layer on every frame and holds no state between frames.
class TCustomState : public TObject {
 public:
  // The owner is set by the graphic that takes the effect over.
  explicit TCustomState(TGraphicBase* owner = nullptr) : fOwner(owner) {}
  std::string ClassName() const override { return "TCustomState"; }
  // The EffectKind a graphic stores for this effect.
  virtual std::uint8_t Kind() const { return kEffectPlain; }
  // A new effect of this one's class with default parameters and no owner.
  virtual std::unique_ptr<TCustomState> CreateSameKind() const { return std::make_unique<TCustomState>(); }

  // Never outlives its owner; a graphic sets itself here in SetEffect.
  TGraphicBase* Owner() const { return fOwner; }
  void SetOwner(TGraphicBase* owner) { fOwner = owner; }

  // Takes over the parameters of an effect of the same kind; the plain
  // effect has none.
  virtual void AssignFrom(const TCustomState&) {}
  // The owner's coverage freeze.
  virtual void SetCoverageFrozen(bool flag, TBitmap32& bitmap);
  // The static draw: the owner's DrawInColor.
  virtual void Draw(TBitmap32& bitmap, TWinColor colour);
  // The effect's own record behind the effect kind byte; the plain effect
  // has none.
  virtual void ReadBody(TStreamReader&) {}
  virtual void WriteBody(TStreamWriter&) {}
  // What a shape with this effect exports in place of its own points; the
  // plain effect adds nothing.
  virtual void WriteExport(TStreamWriter&) {}
  // Grid colouring: the owner in the colour its bound cell of the frame
  // gives, or its static draw when there is no such cell or the colour is
  // black.
  virtual void DrawFrame(TFrameDataLayers& gridLayers, std::int32_t frame, TBitmap32& bitmap);
  // Every byte of the owner's frozen coverage scaled by the mask's alpha.
  virtual void ApplyMask(TBitmap32& maskBitmap);
  // The owner's grid layer was removed: forget the cells the effect binds
  // beyond the owner's own cell (the polyline group's cell range).
  virtual void UnbindCells() {}

  // The colour the cell gives the owner under its ChannelMode and channel
  // colours (the rule of lumora::ChannelColor).
  TWinColor ChannelColor(TWinColor cell) const;

 private:
  TGraphicBase* fOwner;
};

// The mask effect: its graphic is invisible and only cuts its layer.
class TMaskState : public TCustomState {
 public:
  using TCustomState::TCustomState;
  std::string ClassName() const override { return "TMaskState"; }
  std::uint8_t Kind() const override { return kEffectMask; }
  std::unique_ptr<TCustomState> CreateSameKind() const override { return std::make_unique<TMaskState>(); }

  void Draw(TBitmap32&, TWinColor) override {}
  void DrawFrame(TFrameDataLayers&, std::int32_t, TBitmap32&) override {}
};

// The effect records behind the effect kind byte.
inline constexpr std::size_t kPolyLineGroupRecordSize = 25;
inline constexpr std::size_t kLightStripRecordSize = 21;

// Frame `frame` of the owner's grid layer, or none when the layer or the
// frame does not exist.
const TFrameData* OwnerGridFrame(const TGraphicBase& owner, const TFrameDataLayers& gridLayers, std::int32_t frame);
// Whether the owner's GridLayer names a layer of the list.
bool HasOwnerGridLayer(const TGraphicBase& owner, const TFrameDataLayers& gridLayers);

}  // namespace lumora
