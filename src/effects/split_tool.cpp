#include "effects/split_tool.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "render/bezier.h"
#include "render/gr32_graphics.h"
#include "render/memory_budget.h"
#include "render/work_budget.h"
#include "scene/closed_shapes.h"
#include "scene/graphic_base.h"
#include "scene/lines_and_paths.h"

namespace lumora {

namespace {

using TRun = std::vector<TFixedPoint>;

// Through single precision, as every point of the tool is turned back.
TFixed toFixed(double v) { return RoundToInt(static_cast<float>(v) * 65536.0f); }
TFixedPoint toFixedPoint(const TDoublePoint& p) { return {toFixed(p.X), toFixed(p.Y)}; }
TDoublePoint toDouble(const TFixedPoint& p) { return {p.X / 65536.0, p.Y / 65536.0}; }

// Whole pitches that fit into the length; 0 for anything not positive.
std::int64_t wholePitches(double length, double pitch) {
  const double m = std::trunc(length / pitch);
  return m > 0 ? static_cast<std::int64_t>(std::min(m, static_cast<double>(kMaxSplitPieces))) : 0;
}

double outlineLength(const std::vector<TDoublePoint>& outline) {
  double length = 0;
  for (std::size_t k = 1; k < outline.size(); ++k) length += DistanceBetween(outline[k - 1], outline[k]);
  return length;
}

// Appends p to the current run unless the run already ends within one
// 16.16 unit of it.
void addPoint(std::vector<TRun>& runs, const TFixedPoint& p) {
  TRun& run = runs.back();
  if (!run.empty() && std::llabs(std::int64_t{run.back().X} - p.X) <= 1 &&
      std::llabs(std::int64_t{run.back().Y} - p.Y) <= 1) {
    return;
  }
  run.push_back(p);
}

TFixedPoint movedAway(const TFixedPoint& p, const TFixedPoint& from) {
  const TDoublePoint a = toDouble(p);
  return toFixedPoint(PolarOffset(a, kPieceOverlap, AngleBetween(toDouble(from), a)));
}

// Arcs, ellipses and Bézier paths mark their polyline pieces.
bool isCurved(std::uint8_t typeCode) { return typeCode == 0 || typeCode == 3 || typeCode == 6; }

}  // namespace

std::vector<TDoublePoint> TFengeTool::DotCentres(const std::vector<TDoublePoint>& outline, double pitch) {
  std::vector<TDoublePoint> centres;
  if (outline.size() < 2 || !(pitch > 0)) return centres;
  centres.push_back(outline[0]);
  double q = 0;
  for (std::size_t k = 1; k < outline.size() && centres.size() <= kMaxSplitPieces; ++k) {
    const TDoublePoint& a = outline[k - 1];
    const TDoublePoint& b = outline[k];
    const double c = DistanceBetween(a, b);
    if (pitch - c - q >= 0) {
      q += c;
      continue;
    }
    const TDoublePoint s = toDouble(toFixedPoint(PolarOffset(a, pitch - q, AngleBetween(a, b))));
    const double rest = DistanceBetween(s, b);
    const std::int64_t m = wholePitches(rest, pitch);
    const double angle = AngleBetween(s, b);
    for (std::int64_t i = 0; i <= m; ++i) centres.push_back(PolarOffset(s, static_cast<double>(i) * pitch, angle));
    q = rest - static_cast<double>(m) * pitch;
  }
  centres.push_back(outline.back());
  return centres;
}

// Every segment adds its start point, so that a corner right after a cut
// stays in its piece (the duplicate test drops the starts already there).
std::vector<TRun> TFengeTool::PieceRuns(const std::vector<TDoublePoint>& outline, double pitch) {
  std::vector<TRun> runs(1);
  if (outline.size() < 2 || !(pitch > 0)) return runs;
  double q = 0;
  for (std::size_t k = 1; k < outline.size() && static_cast<std::int64_t>(runs.size()) <= kMaxSplitPieces; ++k) {
    const TDoublePoint& a = outline[k - 1];
    const TDoublePoint& b = outline[k];
    const double c = DistanceBetween(a, b);
    addPoint(runs, toFixedPoint(a));
    if (pitch - c - q >= 0) {
      q += c;
      addPoint(runs, toFixedPoint(b));
      continue;
    }
    const TDoublePoint s = PolarOffset(a, pitch - q, AngleBetween(a, b));
    addPoint(runs, toFixedPoint(s));
    runs.emplace_back();
    const double rest = DistanceBetween(s, b);
    const std::int64_t m = wholePitches(rest, pitch);
    const double angle = AngleBetween(s, b);
    TFixedPoint previous = toFixedPoint(s);
    for (std::int64_t j = 1; j <= m; ++j) {
      const TFixedPoint next = toFixedPoint(PolarOffset(s, static_cast<double>(j) * pitch, angle));
      runs.back() = {previous, next};
      runs.emplace_back();
      previous = next;
    }
    q = rest - static_cast<double>(m) * pitch;
    addPoint(runs, toFixedPoint(PolarOffset(s, static_cast<double>(m) * pitch, angle)));
  }
  if (q > 2 && !runs.back().empty()) {
    const TFixedPoint last = runs.back().back();
    runs.push_back({last, toFixedPoint(outline.back())});
  }
  return runs;
}

void TFengeTool::addDots(TGraphicBaseList& list, const std::vector<TDoublePoint>& outline, double pitch, bool round,
                         TFixed lineWidth, TWinColor colour) const {
  const TFixed h = lineWidth / 2;
  const float side = FixedToFloat(WrapAdd(h, h));
  for (const TDoublePoint& centre : DotCentres(outline, pitch)) {
    const TFixedPoint c = toFixedPoint(centre);
    const TFloatPoint corner{FixedToFloat(WrapSub(c.X, h)), FixedToFloat(WrapSub(c.Y, h))};
    if (round) {
      auto dot = std::make_unique<TEllipse>(fSource.View());
      dot->Outline().SetPoints(EllipseBezier(0, 0, WrapAdd(h, h), WrapAdd(h, h)));
      dot->SetPosition(corner);
      dot->SetScale({1, 1});
      dot->SetSize({side, side});
      dot->SetPivot({side / 2, side / 2});
      dot->SetFillColor(colour);
      dot->SetFilled(true);
      list.Add(std::move(dot));
    } else {
      auto dot = std::make_unique<TRectangle>(fSource.View());
      dot->SetSize({side, side});
      dot->SetPosition(corner);
      dot->BuildFromSize();
      dot->SetLineColor(colour);
      dot->SetFillColor(colour);
      dot->SetFilled(true);
      dot->UpdateTransform();
      list.Add(std::move(dot));
    }
  }
}

void TFengeTool::addPieces(TGraphicBaseList& list, const std::vector<TDoublePoint>& outline, double pitch) const {
  const std::vector<TRun> runs = PieceRuns(outline, pitch);
  if (runs.size() < 2) return;
  for (TRun run : runs) {
    if (run.size() < 2) continue;
    const TFixedPoint first = movedAway(run.front(), run[1]);
    run.back() = movedAway(run.back(), run[run.size() - 2]);
    run.front() = first;
    if (run.size() == 2) {
      auto line = std::make_unique<TLine>(fSource.View());
      line->SetLineColor(fSource.LineColor());
      line->SetLineWidth(fSource.LineWidth());
      line->SetSelected(false);
      line->SetEndpoints(run[0], run[1]);
      list.Add(std::move(line));
      continue;
    }
    auto poly = std::make_unique<TPolyLine>(fSource.View());
    poly->Outline().SetPoints(run);
    poly->Outline().MoveToOrigin(PointsBounds(run));
    poly->SetLineColor(fSource.LineColor());
    poly->SetLineWidth(fSource.LineWidth());
    poly->SetSelected(false);
    poly->UpdateTransform();
    if (isCurved(fSource.TypeCode())) poly->FromSplit = 1;
    list.Add(std::move(poly));
  }
}

std::unique_ptr<TGraphicBaseList> TFengeTool::Split(std::int32_t style, std::int64_t count, TFixed lineWidth,
                                                     TWinColor colour) {
  auto list = std::make_unique<TGraphicBaseList>();
  const bool known = style == ssRoundDots || style == ssSquareDots || style == ssLinePieces;
  if (!known || count <= 0 || count > kMaxSplitPieces) return list;
  // Every piece is a graphic of the show, charged before any is made.
  ChargeGraphics(static_cast<std::uint64_t>(count), "pieces of a split");
  ChargeMemory(static_cast<std::uint64_t>(count) * kGraphicObjectBytes, "pieces of a split");
  fSource.UpdateTransform();
  TArrayOfFixedPoint fixed;
  fSource.GetFixedOutline(fixed);
  std::vector<TDoublePoint> outline;
  outline.reserve(fixed.size());
  for (const TFixedPoint& p : fixed) outline.push_back(toDouble(p));
  const bool dots = style != ssLinePieces;
  const std::int64_t divisor = dots && count > 1 ? count - 1 : count;
  const double pitch = static_cast<float>(outlineLength(outline) / static_cast<double>(divisor));
  if (!(pitch > 0) || !std::isfinite(pitch)) return list;
  if (dots) {
    addDots(*list, outline, pitch, style == ssRoundDots, lineWidth, colour);
  } else {
    addPieces(*list, outline, pitch);
  }
  if (list->Count() > count) {
    list->DeleteRange(list->Count() - 1, 1, true);
  } else if (list->Count() < count && !list->Empty()) {
    if (std::unique_ptr<TGraphicBase> copy = list->Last().Clone()) list->Add(std::move(copy));
  }
  return list;
}

}  // namespace lumora
