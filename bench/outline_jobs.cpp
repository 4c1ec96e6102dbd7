#include "bench/outline_jobs.h"

#include "render/bezier.h"
#include "render/gr32_graphics.h"
#include "scene/inter_points.h"
#include "scene/lines_and_paths.h"
#include "scene/outline_shape.h"

namespace lumora::bench {

namespace {

TArrayOfFixedPoint fixedPoints(const TPoints& points) {
  TArrayOfFixedPoint result;
  result.reserve(points.size());
  for (const TPoint& p : points) result.push_back(FixedPoint(p));
  return result;
}

// A stroke's centre line is closed when it ends where it starts; the
// repeated point is then dropped, as the drawing interface drops it.
void setStrokePath(TOutlineJob& job, TArrayOfFixedPoint path) {
  job.Closed = path.size() > 1 && path.back() == path.front();
  if (job.Closed) path.pop_back();
  job.Path = std::move(path);
}

bool polygonJob(TGraphicBase& graphic, TOutlineJob& job) {
  auto* shape = dynamic_cast<TOutlineShape<TMetaPolygon>*>(&graphic);
  if (shape == nullptr) return false;
  shape->GetFixedOutline(job.Input);
  if (graphic.Filled()) {
    job.Kind = TOutlineKind::PolygonFill;
    job.Path = job.Input;
  } else {
    job.Kind = TOutlineKind::PolylineStroke;
    setStrokePath(job, job.Input);
  }
  return true;
}

bool bezierJob(TGraphicBase& graphic, const TBitmap32& frame, TOutlineJob& job) {
  auto* shape = dynamic_cast<TOutlineShape<TMetaPoly>*>(&graphic);
  if (shape == nullptr) return false;
  graphic.ComposeMatrix();
  job.Input = graphic.TransformOutlineFixed(shape->Outline().Points());
  TArrayOfFixedPoint flattened;
  if (graphic.Filled()) {
    job.Kind = TOutlineKind::BezierFill;
    job.NonZero = false;
    FlattenBezierVisible(job.Input, frame, flattened);
    job.Path = std::move(flattened);
  } else {
    job.Kind = TOutlineKind::BezierStroke;
    job.IntInput = graphic.OutlineCache();
    FlattenBezierVisible(fixedPoints(job.IntInput), frame, flattened);
    setStrokePath(job, std::move(flattened));
  }
  return true;
}

bool lineJob(TGraphicBase& graphic, TOutlineJob& job) {
  auto* line = dynamic_cast<TLine*>(&graphic);
  if (line == nullptr) return false;
  line->GetFixedOutline(job.Input);
  job.Kind = TOutlineKind::Line;
  job.Path = job.Input;
  return true;
}

// A colour of its own for every graphic, opaque.
TColor32 colourOf(std::size_t index) {
  const auto h = static_cast<std::uint32_t>(index * 2654435761u);
  return 0xFF000000 | (h & 0x00FFFFFF) | 0x00404040;
}

}  // namespace

std::vector<TOutlineJob> CollectOutlineJobs(TControlLayer& scene, const TBitmap32& frame) {
  std::vector<TOutlineJob> jobs;
  for (const auto& layer : scene.Layers()) {
    for (const auto& graphic : layer->Graphics()) {
      if (graphic->EffectKind() != kEffectPlain) continue;
      TOutlineJob job;
      job.PenWidth = graphic->LineWidth();
      if (lineJob(*graphic, job) || polygonJob(*graphic, job) || bezierJob(*graphic, frame, job)) {
        jobs.push_back(std::move(job));
      }
    }
  }
  return jobs;
}

std::vector<TStoredCoverage> CollectStoredCoverage(const TControlLayer& scene) {
  std::vector<TStoredCoverage> coverages;
  for (const auto& layer : scene.Layers()) {
    for (const auto& graphic : layer->Graphics()) {
      const TGR32Graphics& painter = graphic->Painter();
      if (painter.Coverage.CoverageRows.empty()) continue;
      coverages.push_back({&painter.Coverage, colourOf(coverages.size())});
    }
  }
  return coverages;
}

TCoverageCounts CountCoverage(const std::vector<TStoredCoverage>& coverages) {
  TCoverageCounts counts;
  for (const TStoredCoverage& coverage : coverages) {
    for (const std::vector<std::uint8_t>& row : coverage.Mask->CoverageRows) {
      ++counts.Rows;
      counts.Stored += static_cast<std::int64_t>(row.size());
      for (std::uint8_t b : row) {
        counts.Covered += b != 0 ? 1 : 0;
        counts.Full += b == 255 ? 1 : 0;
      }
    }
  }
  return counts;
}

void DrawJobFresh(TGR32Graphics& painter, const TOutlineJob& job, TColor32 colour) {
  painter.ReuseMask = false;
  painter.PenColor = colour;
  painter.BrushColor = colour;
  painter.PenWidth = job.PenWidth;
  painter.Antialias = true;
  switch (job.Kind) {
    case TOutlineKind::Line: painter.DrawLineWideFixed(job.Input[0], job.Input[1]); break;
    case TOutlineKind::PolygonFill: painter.FillPolygon(job.Input); break;
    case TOutlineKind::PolylineStroke: painter.DrawPolylineWide(job.Input); break;
    case TOutlineKind::BezierFill: painter.FillBezierPath(job.Input); break;
    case TOutlineKind::BezierStroke: painter.DrawBezierWide(job.IntInput); break;
  }
}

void ComputeJobCoverage(TGR32Graphics& painter, TBitmap32& surface, const TOutlineJob& job) {
  painter.Coverage.Clear();
  painter.PenWidth = job.PenWidth;
  if (job.Kind == TOutlineKind::PolygonFill || job.Kind == TOutlineKind::BezierFill) {
    ComputeCoverage(painter.Coverage, surface, job.Path, nullptr, kGraphicsAntialiasLevel, job.NonZero, nullptr, clWhite32);
    return;
  }
  painter.WorkPolygon->Clear();
  painter.WorkPolygon->AddPoints(job.Path);
  painter.WidenWorkPolygon(job.Closed);
  ComputeCoveragePoly(painter.Coverage, surface, painter.WorkPolygon->Points(), nullptr, kGraphicsAntialiasLevel, true,
                      clWhite32);
}

}  // namespace lumora::bench
