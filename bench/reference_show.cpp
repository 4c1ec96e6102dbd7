#include "bench/reference_show.h"

#include <cmath>
#include <memory>
#include <numbers>
#include <span>
#include <vector>

#include "effects/led_graphic.h"
#include "effects/light_strip_state.h"
#include "grid/frame_data.h"
#include "movie/graphic_factory.h"
#include "movie/movie_file.h"
#include "render/bezier.h"
#include "render/geometry.h"
#include "render/gr32_graphics.h"
#include "scene/closed_shapes.h"
#include "scene/control_layer.h"
#include "scene/lines_and_paths.h"
#include "tools/demo_show.h"

namespace lumora::bench {

namespace {

constexpr std::uint32_t kSeed = 20240611;
constexpr std::int32_t kCellSize = 16;
// Outline sizes are spread evenly on a log scale, as in shows where small
// ornaments outnumber large figures.
constexpr double kSmallestOutline = 12;
constexpr double kLargestOutline = 120;

// A fixed pseudo-random sequence: std::mt19937's output is the same
// everywhere, and the mapping to ranges is our own, so that every build
// writes the same show.
class TRandom {
 public:
  explicit TRandom(std::uint32_t seed) : fState(seed) {}

  double Uniform(double low, double high) { return low + (high - low) * (next() / 4294967296.0); }
  std::int32_t Below(std::int32_t n) { return static_cast<std::int32_t>(next() % static_cast<std::uint32_t>(n)); }
  bool Chance(double p) { return Uniform(0, 1) < p; }
  double LogUniform(double low, double high) { return low * std::pow(high / low, Uniform(0, 1)); }

 private:
  // xorshift32: small and fully specified.
  std::uint32_t next() {
    fState ^= fState << 13;
    fState ^= fState >> 17;
    fState ^= fState << 5;
    return fState;
  }
  std::uint32_t fState;
};

TFixedPoint at(double x, double y) { return FixedPoint(static_cast<float>(x), static_cast<float>(y)); }

// A channel of a hue wheel at the angle, 0 … 254 (cells keep 7 bits).
std::int32_t channel(double angle) {
  return static_cast<std::int32_t>(std::lround((0.5 + 0.5 * std::cos(angle)) * 127.0)) * 2;
}

TWinColor hue(double angle, double brightness) {
  constexpr double third = 2.0 * std::numbers::pi / 3.0;
  auto scaled = [&](double a) { return static_cast<std::int32_t>(channel(a) * brightness) & 0xFE; };
  return scaled(angle) | scaled(angle - third) << 8 | scaled(angle + third) << 16;
}

// Waves of colour drifting over the grid; every third 50 frames a scatter
// of dark cells lets their outlines fall back to their own colours.
TWinColor cellColour(std::int32_t f, std::int32_t r, std::int32_t c) {
  if ((f / 50) % 3 == 2 && (r * 7 + c * 3 + f) % 10 < 2) return 0;
  const double t = 2.0 * std::numbers::pi * f / kGridFrames;
  const double phase = 0.2 * c + 0.3 * r + 4.0 * t;
  const double brightness = 0.6 + 0.4 * std::sin(0.15 * c - 0.25 * r + 6.0 * t);
  return hue(phase, brightness);
}

// The Bézier outline of the ellipse in the box (0, 0, w, h).
TArrayOfFixedPoint ellipse(double w, double h) {
  return EllipseBezier(0, 0, FixedFromFloat(static_cast<float>(w)),
                                      FixedFromFloat(static_cast<float>(h)));
}

template <class TShape>
std::unique_ptr<TShape> shapeAt(std::span<const TFixedPoint> points, double x, double y) {
  auto shape = std::make_unique<TShape>(nullptr);
  shape->Outline().SetPoints(points);
  shape->SetPosition({static_cast<float>(x), static_cast<float>(y)});
  shape->SetSelected(false);
  return shape;
}

// The rectangle of the show where a layer's outlines are placed.
struct TArea {
  double Left;
  double Top;
  double Right;
  double Bottom;
};

class TShowWriter {
 public:
  explicit TShowWriter(std::int32_t scale) : fScale(scale), fRandom(kSeed) {}

  void AddOutlines(TLayer& layer, std::int32_t count, const TArea& area) {
    for (std::int32_t i = 0; i < count; ++i) layer.Add(outline(area));
  }

  // A filled shape of the mask effect that cuts its layer.
  void AddMask(TLayer& layer, bool star, const TArea& area) {
    const double w = area.Right - area.Left;
    const double h = area.Bottom - area.Top;
    std::unique_ptr<TGraphicBase> mask;
    if (star) {
      mask = shapeAt<TPolyStar>(StarPoints(6, std::min(w, h), 45), area.Left, area.Top);
    } else {
      mask = shapeAt<TEllipse>(ellipse(w, h), area.Left, area.Top);
    }
    mask->SetFilled(true);
    mask->SetEffect(CreateEffect(kEffectMask));
    layer.Add(std::move(mask));
  }

  // LED matrices of 32 x 8 cells, each showing its own block of the grid,
  // in a band along the bottom of the show; every fourth is enlarged.
  void AddLEDs(TLayer& layer) {
    for (std::int32_t i = 0; i < kLEDCount; ++i) {
      auto led = std::make_unique<TLEDGraphic>(nullptr);
      const std::int32_t firstColumn = (i % 2) * kLEDColumns;
      const std::int32_t firstRow = (i / 2) % (kGridRows / kLEDRows) * kLEDRows;
      led->CellRange = {firstColumn, firstRow, firstColumn + kLEDColumns - 1, firstRow + kLEDRows - 1};
      led->CellWidth = 5 * fScale;
      led->CellHeight = 5 * fScale;
      led->GapX = fScale;
      led->GapY = fScale;
      led->SetChannelMode(8);
      led->ResetImage();
      if (i % 4 == 3) led->SetScale({1.5f, 1.5f});
      led->SetPosition({static_cast<float>((40 + (i % 5) * 370) * fScale),
                        static_cast<float>((640 + (i / 5) * 100) * fScale)});
      led->SetSelected(false);
      layer.Add(std::move(led));
    }
  }

  // A marquee of chasing lamps around the whole show and nine strips along
  // ellipses and zigzags.
  void AddStrips(TLayer& layer) {
    const double s = fScale;
    const TFixedPoint frame[] = {at(0, 0), at(1910 * s, 0), at(1910 * s, 1070 * s), at(0, 1070 * s), at(0, 0)};
    layer.Add(strip(shapeAt<TRectangle>(frame, 5 * s, 5 * s), 10 * fScale));
    for (std::int32_t i = 1; i < kStripCount; ++i) {
      const double x = (80 + (i - 1) * 200) * s;
      if (i % 2 == 0) {
        layer.Add(strip(shapeAt<TEllipse>(ellipse(160 * s, 120 * s), x, 60 * s), 8 * fScale));
      } else {
        std::vector<TFixedPoint> zigzag;
        for (std::int32_t k = 0; k <= 6; ++k) zigzag.push_back(at(k * 30 * s, k % 2 == 0 ? 0 : 60 * s));
        layer.Add(strip(shapeAt<TPolyLine>(zigzag, x, 520 * s), 6 * fScale));
      }
    }
  }

 private:
  static std::unique_ptr<TGraphicBase> strip(std::unique_ptr<TGraphicBase> shape, std::int32_t lampSize) {
    shape->SetEffect(CreateEffect(kEffectLightStrip));
    auto& state = dynamic_cast<TDengDaiState&>(shape->Effect());
    state.LampColor = 0x40C0FF;
    state.LampSize = lampSize;
    state.SpacingFactor = 2;
    state.HoldFrames = 2;
    return shape;
  }

  std::unique_ptr<TGraphicBase> outline(const TArea& area) {
    const double size = fRandom.LogUniform(kSmallestOutline, kLargestOutline) * fScale;
    const double x = fRandom.Uniform(area.Left, std::max(area.Left, area.Right - size));
    const double y = fRandom.Uniform(area.Top, std::max(area.Top, area.Bottom - size));
    std::unique_ptr<TGraphicBase> shape = shapeOf(fRandom.Below(20), size, x, y);
    shape->SetLineWidth(FixedFromInt((1 + fRandom.Below(8)) * fScale));
    bind(*shape);
    return shape;
  }

  // Shares out of 20: lines 4, polylines 3, Bézier paths 3, ellipses 4,
  // rectangles 3, stars 3; a fifth of the closed shapes are filled.
  std::unique_ptr<TGraphicBase> shapeOf(std::int32_t kind, double size, double x, double y) {
    if (kind < 4) return line(size, x, y);
    if (kind < 7) return shapeAt<TPolyLine>(walk(size, 3 + fRandom.Below(6)), x, y);
    if (kind < 10) return shapeAt<TPolyBezier>(walk(size, 1 + 3 * (1 + fRandom.Below(3))), x, y);
    std::unique_ptr<TGraphicBase> closed;
    if (kind < 14) {
      const double w = size * fRandom.Uniform(0.6, 1.0);
      const double h = size * fRandom.Uniform(0.6, 1.0);
      closed = shapeAt<TEllipse>(ellipse(w, h), x, y);
    } else if (kind < 17) {
      closed = rectangle(size, x, y);
    } else {
      closed = shapeAt<TPolyStar>(StarPoints(5 + fRandom.Below(4), size, 40), x, y);
    }
    closed->SetFilled(fRandom.Chance(0.2));
    return closed;
  }

  std::unique_ptr<TGraphicBase> line(double size, double x, double y) {
    auto line = std::make_unique<TLine>(nullptr);
    const double angle = fRandom.Uniform(0, 2 * std::numbers::pi);
    const double cx = x + size / 2;
    const double cy = y + size / 2;
    const double dx = size / 2 * std::cos(angle);
    const double dy = size / 2 * std::sin(angle);
    line->SetEndpoints(at(cx - dx, cy - dy), at(cx + dx, cy + dy));
    line->SetSelected(false);
    return line;
  }

  // A third of the rectangles are turned about their centres.
  std::unique_ptr<TGraphicBase> rectangle(double size, double x, double y) {
    const double w = size;
    const double h = size * fRandom.Uniform(0.4, 1.0);
    const TFixedPoint box[] = {at(0, 0), at(w, 0), at(w, h), at(0, h), at(0, 0)};
    auto rectangle = shapeAt<TRectangle>(box, x, y);
    if (fRandom.Chance(1.0 / 3)) {
      rectangle->SetPivot({static_cast<float>(w / 2), static_cast<float>(h / 2)});
      rectangle->SetAngle(static_cast<float>(fRandom.Uniform(-45, 45)));
    }
    return rectangle;
  }

  // Points wandering through a size × size box.
  std::vector<TFixedPoint> walk(double size, std::int32_t count) {
    std::vector<TFixedPoint> points;
    for (std::int32_t i = 0; i < count; ++i) points.push_back(at(fRandom.Uniform(0, size), fRandom.Uniform(0, size)));
    return points;
  }

  // A cell of the grid: most outlines show the cell's colour, the others
  // mix their own three channel colours by its channels.
  void bind(TGraphicBase& shape) {
    shape.SetGridRow(fRandom.Below(kGridRows));
    shape.SetGridColumn(fRandom.Below(kGridColumns));
    shape.SetLineColor(0xF0D0B0);
    shape.SetFillColor(0x6080F0);
    if (fRandom.Chance(0.7)) {
      shape.SetChannelMode(8);
    } else {
      shape.SetChannelMode(7);
      shape.SetRedColor(0x2020F0);
      shape.SetGreenColor(0x20F020);
      shape.SetBlueColor(0xF02020);
    }
  }

  std::int32_t fScale;
  TRandom fRandom;
};

}  // namespace

std::vector<std::uint8_t> ReferenceShow(std::int32_t scale) {
  TControlLayer root;
  TFrameDataLayers grid;
  TBitmap32 frame;
  TMovieFile movie;
  movie.ControlLayer = &root;
  movie.GridLayers = &grid;
  movie.FrameBitmap = &frame;
  movie.Width = kShowWidth * scale;
  movie.Height = kShowHeight * scale;

  TShowWriter writer(scale);
  const double s = scale;
  const TArea whole{10 * s, 10 * s, (kShowWidth - 10.0) * s, (kShowHeight - 10.0) * s};
  constexpr std::int32_t kPlainLayers = 3;
  std::int32_t plainLeft = kOutlineCount - kMaskedLayerCount * kMaskedLayerOutlines;
  for (std::int32_t i = 0; i < kPlainLayers; ++i) {
    const std::int32_t count = plainLeft / (kPlainLayers - i);
    writer.AddOutlines(root.AddLayer(""), count, whole);
    plainLeft -= count;
  }
  // Each masked layer scatters its outlines a little beyond its mask, so
  // that the mask cuts some of them.
  const TArea maskAreas[kMaskedLayerCount] = {{300 * s, 200 * s, 1000 * s, 700 * s},
                                              {1100 * s, 150 * s, 1750 * s, 800 * s}};
  for (std::int32_t i = 0; i < kMaskedLayerCount; ++i) {
    TLayer& masked = root.AddLayer("");
    masked.SetMasked(1);
    writer.AddMask(masked, i == 1, maskAreas[i]);
    const TArea& m = maskAreas[i];
    writer.AddOutlines(masked, kMaskedLayerOutlines,
                       {m.Left - 60 * s, m.Top - 60 * s, m.Right + 60 * s, m.Bottom + 60 * s});
  }
  TLayer& lamps = root.AddLayer("");
  writer.AddLEDs(lamps);
  writer.AddStrips(lamps);

  grid.Add(GridAnimation(cellColour, kGridRows, kGridColumns, kGridFrames, kCellSize, kCellSize));
  return movie.SaveLayered(nullptr);
}

}  // namespace lumora::bench
