// The show engine's frames as the light outputs read them: the shape of the
// movie a patch is checked against, the grid cells and lamp centres of the
// frame drawn, and a sink that sends every frame the engine draws.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "output/frame_input.h"
#include "output/live_output.h"
#include "show/show_engine.h"

namespace lumora::output {

// What a patch may name in the show the engine holds. Lamp graphics are
// counted by their place in their layer as the show plays them (lumora-info
// lists them so): every lamp of a light strip, every cell of an LED matrix,
// one lamp for each swinging light.
TMovieShape MovieShapeOf(const TShowEngine& engine);

// What a patch may name in every show the engine plays: the show loaded
// now, and for a play list each later entry, loaded in turn (the engine is
// left on the last). An entry that fails to load is left out; one named
// twice counts once.
std::vector<TMovieShape> PlayListShapes(TShowEngine& engine);

// The grid cells and lamp centres of the frame the engine drew last.
class TShowFrameView : public TGridCells, public TLampCentres {
 public:
  explicit TShowFrameView(const TShowEngine& engine) : fEngine(engine) {}

  // The frame the next reads describe.
  void SetFrame(std::int32_t frame) { fFrame = frame; }
  TFrameView View(const TDrawnFrame& drawn);

  std::int32_t Rows(std::int32_t layer) const override;
  std::int32_t Columns(std::int32_t layer) const override;
  TWinColor CellColor(std::int32_t layer, std::int32_t row, std::int32_t column) const override;
  void LampCentres(std::int32_t layer, std::int32_t graphic, TPoints& centres) const override;

 private:
  const TShowEngine& fEngine;
  std::int32_t fFrame = 0;
};

// Lights real lamps with every frame the engine draws, through a patch read
// once: each show the engine loads is bound to it as it starts to play, in
// memory. A show the patch cannot drive is reported once and leaves the
// lamps dark until the next one.
class TLightSink : public TFrameSink {
 public:
  TLightSink(TShowEngine& engine, TPatchDefinition patch, TLiveSettings settings);
  ~TLightSink() override;
  TLightSink(const TLightSink&) = delete;
  TLightSink& operator=(const TLightSink&) = delete;

  // Binds the patch to the show loaded now, if it is not bound yet; why it
  // cannot drive it ("show.ctl: lights.json: fixtures[0]…"), or empty.
  std::string CheckShow();
  void FrameDrawn(const TDrawnFrame& frame) override;
  // Playback stopped: a blackout when the patch asks for one.
  void Stop() { fLive->Stop(); }
  void Flush() { fLive->Flush(); }
  std::vector<std::string> OutputNames() const { return fLive->OutputNames(); }
  // The live output itself, for the show's controls.
  TLiveOutput& Live() { return *fLive; }
  const TLiveOutput& Live() const { return *fLive; }

 private:
  TShowEngine& fEngine;
  TOutputReport fReport;
  std::unique_ptr<TLiveOutput> fLive;
  TShowFrameView fView;
  std::uint64_t fBoundShow = 0;
  std::string fShowError;
  // What was reported, so that a play list going round says it once.
  std::set<std::string> fReported;
};

}  // namespace lumora::output
