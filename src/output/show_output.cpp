#include "output/show_output.h"

#include <filesystem>

#include "effects/led_graphic.h"
#include "effects/light_graphic.h"
#include "effects/light_strip_state.h"
#include "output/channel_patch.h"

namespace lumora::output {

namespace {

const TGraphicBase* graphicAt(const TShowEngine& engine, std::int32_t layer, std::int32_t graphic) {
  const TControlLayer& root = engine.SceneRoot();
  if (layer < 0 || layer >= root.LayerCount()) return nullptr;
  const TLayer& l = root.Layer(layer);
  if (graphic < 0 || graphic >= l.Count()) return nullptr;
  return &l.Items(graphic);
}

const TDengDaiState* lightStripOf(const TGraphicBase& g) {
  return g.EffectKind() == kEffectLightStrip ? dynamic_cast<const TDengDaiState*>(&g.Effect()) : nullptr;
}

struct TLamps {
  std::int64_t Count = 0;
  TLampKind Kind = TLampKind::LightStrip;
};

TLamps lampsOf(const TGraphicBase& g) {
  if (const TDengDaiState* strip = lightStripOf(g)) {
    return {static_cast<std::int64_t>(strip->Lamps().size()), TLampKind::LightStrip};
  }
  if (const auto* led = dynamic_cast<const TLEDGraphic*>(&g)) return {led->CellRange.CellCount(), TLampKind::LedMatrix};
  if (dynamic_cast<const TLightGraphic*>(&g) != nullptr) return {1, TLampKind::SwingingLight};
  return {};
}

// Every cell of the matrix row by row, at its centre in the image, through
// the placement the matrix was last drawn with.
void ledCentres(const TLEDGraphic& led, TPoints& centres) {
  const TCellRange& r = led.CellRange;
  const TAffineTransformation& t = led.WorkTransform();
  const double pitchX = static_cast<double>(led.CellWidth) + led.GapX;
  const double pitchY = static_cast<double>(led.CellHeight) + led.GapY;
  for (std::int64_t row = 0; row < r.RowCount(); ++row) {
    for (std::int64_t column = 0; column < r.ColumnCount(); ++column) {
      const TFloatPoint inImage{static_cast<float>(column * pitchX + 1 + led.CellWidth / 2.0),
                                static_cast<float>(row * pitchY + 1 + led.CellHeight / 2.0)};
      const TFloatPoint p = t.Transform(inImage);
      centres.push_back({RoundToInt(p.X), RoundToInt(p.Y)});
    }
  }
}

}  // namespace

TMovieShape MovieShapeOf(const TShowEngine& engine) {
  TMovieShape shape;
  for (const auto& grid : engine.GridLayers()) shape.GridLayers.push_back({grid->Rows(), grid->Columns()});
  const TControlLayer& root = engine.SceneRoot();
  for (std::int32_t i = 0; i < root.LayerCount(); ++i) {
    const TLayer& layer = root.Layer(i);
    for (std::int32_t k = 0; k < layer.Count(); ++k) {
      const TLamps lamps = lampsOf(layer.Items(k));
      if (lamps.Count <= 0 || lamps.Count > INT32_MAX) continue;
      shape.LampGraphics.push_back({i, k, layer.Items(k).ClassName(), static_cast<std::int32_t>(lamps.Count), lamps.Kind});
    }
  }
  const TPoint size = engine.VectorMode() ? engine.MovieSize()
                                          : TPoint{engine.FrameBitmap().Width(), engine.FrameBitmap().Height()};
  shape.Width = size.X;
  shape.Height = size.Y;
  shape.File = std::filesystem::path(engine.ShowFile()).filename().string();
  return shape;
}

std::vector<TMovieShape> PlayListShapes(TShowEngine& engine) {
  std::vector<TMovieShape> shapes{MovieShapeOf(engine)};
  if (!engine.PlayListActive()) return shapes;
  std::set<std::string> seen{engine.ShowFile()};
  const std::size_t entries = engine.PlayList().size();
  for (std::size_t i = 1; i < entries; ++i) {
    const std::uint64_t before = engine.ShowNumber();
    engine.PlayNext();
    const bool loaded = engine.ShowNumber() != before && !engine.ShowFile().empty();
    if (loaded && seen.insert(engine.ShowFile()).second) shapes.push_back(MovieShapeOf(engine));
  }
  return shapes;
}

TFrameView TShowFrameView::View(const TDrawnFrame& drawn) {
  fFrame = drawn.Frame;
  return {this, &drawn.Bitmap, drawn.SceneOffset, this};
}

std::int32_t TShowFrameView::Rows(std::int32_t layer) const {
  const TFrameData* cells = fEngine.GridLayerFrame(layer, fFrame);
  return cells != nullptr ? cells->Rows() : 0;
}

std::int32_t TShowFrameView::Columns(std::int32_t layer) const {
  const TFrameData* cells = fEngine.GridLayerFrame(layer, fFrame);
  return cells != nullptr ? cells->Columns() : 0;
}

TWinColor TShowFrameView::CellColor(std::int32_t layer, std::int32_t row, std::int32_t column) const {
  const TFrameData* cells = fEngine.GridLayerFrame(layer, fFrame);
  return cells != nullptr ? cells->CellColor(row, column) : 0;
}

void TShowFrameView::LampCentres(std::int32_t layer, std::int32_t graphic, TPoints& centres) const {
  centres.clear();
  const TGraphicBase* g = graphicAt(fEngine, layer, graphic);
  if (g == nullptr) return;
  if (const TDengDaiState* strip = lightStripOf(*g)) {
    centres = strip->Lamps();
  } else if (const auto* led = dynamic_cast<const TLEDGraphic*>(g)) {
    ledCentres(*led, centres);
  } else if (const auto* light = dynamic_cast<const TLightGraphic*>(g)) {
    centres.push_back(light->ShownCentre());
  }
}

TLightSink::TLightSink(TShowEngine& engine, TPatchDefinition patch, TLiveSettings settings)
    : fEngine(engine), fReport(settings.Report), fView(engine) {
  fLive = std::make_unique<TLiveOutput>(std::move(patch), std::move(settings));
  fEngine.AddSink(*this);
}

TLightSink::~TLightSink() { fEngine.RemoveSink(*this); }

// A patch written for one show of a play list may not fit the next.
std::string TLightSink::CheckShow() {
  if (fBoundShow == fEngine.ShowNumber()) return fShowError;
  fBoundShow = fEngine.ShowNumber();
  fShowError.clear();
  try {
    fLive->BindShow(MovieShapeOf(fEngine));
  } catch (const EPatchError& error) {
    fShowError = std::filesystem::path(fEngine.ShowFile()).filename().string() + ": " + error.what();
    if (fReport && fReported.insert(fShowError).second) fReport(fShowError + "; the lamps stay dark while it plays");
  }
  return fShowError;
}

void TLightSink::FrameDrawn(const TDrawnFrame& frame) {
  CheckShow();
  fLive->ShowFrame(fView.View(frame));
}

}  // namespace lumora::output
