#include "render/gr32_graphics.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <new>
#include <numbers>
#include <stdexcept>

#include "render/bezier.h"
#include "render/gdi_path.h"

namespace lumora {

namespace {

TPoints roundedPoints(std::span<const TFixedPoint> points) {
  TPoints result;
  result.reserve(points.size());
  for (const TFixedPoint& p : points) result.push_back(PointFromFixed(p));
  return result;
}

TArrayOfFixedPoint fixedPoints(std::span<const TPoint> points) {
  TArrayOfFixedPoint result;
  result.reserve(points.size());
  for (const TPoint& p : points) result.push_back(FixedPoint(p));
  return result;
}

// Five points tracing a rectangle with axis-parallel sides.
bool isAxisRectangle(std::span<const TFixedPoint> p) {
  return p.size() == 5 && p[0].Y == p[1].Y && p[1].X == p[2].X && p[2].Y == p[3].Y && p[4].X == p[0].X;
}

}  // namespace

TGR32Graphics::TGR32Graphics() : WorkPolygon(std::make_unique<TPolygon32>()) {}

// A frozen mask is repainted from its packed segments, which stay as they
// are until the frame's steps are painted: packing it again lets the steps
// that may read the old ones land first.
void TGR32Graphics::paintMask(TColor32 colour) {
  if (Bitmap == nullptr) return;
  TBandPainter* recorder = Bitmap->Recorder();
  if (!ReuseMask || recorder == nullptr) {
    PaintCoverage(*Bitmap, Coverage, colour);
    return;
  }
  if (!fPacked.Matches(Coverage)) {
    recorder->Settle();
    fPacked.Pack(Coverage);
  }
  recorder->AddCoverage(fPacked, colour, fPacked.Runs(recorder->BandHeight()));
}

void TGR32Graphics::clearCoverage() {
  Coverage.Clear();
  fPacked.Forget();
}

void TGR32Graphics::computeWorkPolygonCoverage() {
  ComputeCoveragePoly(Coverage, *Bitmap, WorkPolygon->Points(), nullptr, kGraphicsAntialiasLevel, true, BrushColor);
}

void TGR32Graphics::DrawLine(const TFixedPoint& p1, const TFixedPoint& p2) {
  if (Bitmap == nullptr) return;
  if (PenWidth <= kFixedOne) {
    Bitmap->LineSmoothFixed(p1.X, p1.Y, p2.X, p2.Y, PenColor);
  } else if (PenWidth % kFixedOne != 0) {
    DrawLineWideFixed(p1, p2);
  } else {
    DrawLinePixels(PointFromFixed(p1), PointFromFixed(p2));
  }
}

void TGR32Graphics::DrawLineWideFixed(const TFixedPoint& p1, const TFixedPoint& p2) {
  if (Bitmap == nullptr) return;
  if (PenWidth <= 0) {
    Bitmap->LineSmoothFixed(p1.X, p1.Y, p2.X, p2.Y, PenColor);
    return;
  }
  if (!ReuseMask) {
    clearCoverage();
    WorkPolygon->Clear();
    WorkPolygon->AddPoint(p1);
    WorkPolygon->AddPoint(p2);
    WidenWorkPolygon(false);
    if (!WorkPolygon->Points().empty()) {
      ComputeCoverage(Coverage, *Bitmap, WorkPolygon->Points().front(), nullptr, kGraphicsAntialiasLevel, true, nullptr,
                      BrushColor);
    }
  }
  paintMask(PenColor);
}

void TGR32Graphics::DrawLinePixels(const TPoint& p1, const TPoint& p2) {
  if (Bitmap == nullptr) return;
  const std::int32_t w = PenWidth / kFixedOne;
  if (PenWidth <= kFixedOne) {
    if (Antialias) {
      Bitmap->LineSmooth(p1.X, p1.Y, p2.X, p2.Y, PenColor);
    } else {
      Bitmap->LineOpaque(p1.X, p1.Y, p2.X, p2.Y, PenColor);
    }
  } else if (p1.X == p2.X || p1.Y == p2.Y) {
    // The band grows to the right and downwards from the line, not around it.
    Bitmap->FillRectClipped(std::min(p1.X, p2.X), std::min(p1.Y, p2.Y), WrapAdd(std::max(p1.X, p2.X), w),
                            WrapAdd(std::max(p1.Y, p2.Y), w), PenColor);
  } else {
    if (!ReuseMask) WidenLineByGdi(p1, p2);
    TUpdateBracket bracket(*Bitmap);
    FillRegionRects(RegionRects, PenColor);
    DrawOutlinePoints(OutlinePoints, PenColor);
  }
}

void TGR32Graphics::WidenLineByGdi(const TPoint& p1, const TPoint& p2) {
  OutlinePoints.clear();
  RegionRects.clear();
  std::int32_t w = PenWidth / kFixedOne;
  if (w <= 1) return;
  // The anti-aliased outline adds about a pixel of its own.
  if (Antialias) --w;
  TGdiPath path;
  path.MoveTo(p1);
  path.LineTo(p2);
  const TGdiPath widened = path.Widened(w);
  if (Antialias && !widened.IsEmpty()) {
    OutlinePoints = widened.Points();
    OutlinePoints.push_back(OutlinePoints.front());
  }
  // A 2-pixel anti-aliased line is its outline alone, without interior.
  if (!Antialias || w > 1) RegionRects = TGdiRegion::FromPath(widened, pfWinding).Rects();
}

void TGR32Graphics::DrawOutlinePoints(const TPoints& points, TColor32 c) {
  if (Bitmap == nullptr || points.empty()) return;
  if (points.size() == 1) {
    Bitmap->WritePixelClipped(points[0].X, points[0].Y, c);
    return;
  }
  for (std::size_t i = 1; i < points.size(); ++i) {
    const TPoint& a = points[i - 1];
    const TPoint& b = points[i];
    if (Antialias) {
      Bitmap->LineSmooth(a.X, a.Y, b.X, b.Y, c);
    } else {
      Bitmap->LineBlend(a.X, a.Y, b.X, b.Y, c);
    }
  }
}

void TGR32Graphics::FillRegionRects(const TRects& rects, TColor32 c) {
  if (Bitmap == nullptr) return;
  for (const TRect& r : rects) Bitmap->FillRectClipped(r.Left, r.Top, r.Right, r.Bottom, c);
}

void TGR32Graphics::DrawPolyline(std::span<const TFixedPoint> points) {
  if (Bitmap == nullptr) return;
  if (PenWidth > kFixedOne) {
    DrawPolylineWide(points);
  } else {
    Bitmap->PolylineSmoothFixed(points, PenColor, false);
  }
}

void TGR32Graphics::DrawPolylineWide(std::span<const TFixedPoint> points) {
  if (Bitmap == nullptr) return;
  if (PenWidth <= 0) {
    Bitmap->PolylineSmoothFixed(points, PenColor, false);
    return;
  }
  if (!ReuseMask) {
    clearCoverage();
    const bool closed = points.size() > 1 && points.back() == points.front();
    WorkPolygon->Clear();
    WorkPolygon->AddPoints(closed ? points.first(points.size() - 1) : points);
    WidenWorkPolygon(closed);
    computeWorkPolygonCoverage();
  }
  paintMask(PenColor);
}

void TGR32Graphics::FillPolygon(std::span<const TFixedPoint> points) {
  if (Bitmap == nullptr) return;
  if (!ReuseMask) {
    clearCoverage();
    ComputeCoverage(Coverage, *Bitmap, points, nullptr, kGraphicsAntialiasLevel, true, nullptr, BrushColor);
  }
  paintMask(BrushColor);
}

void TGR32Graphics::FillPolygonWithOutline(std::span<const TFixedPoint> points) {
  if (Bitmap == nullptr || points.size() < 2) return;
  TUpdateBracket bracket(*Bitmap);
  if (isAxisRectangle(points)) {
    const TFixedRect r{std::min(points[0].X, points[2].X), std::min(points[0].Y, points[2].Y),
                       std::max(points[0].X, points[2].X), std::max(points[0].Y, points[2].Y)};
    const TRect inner = RectFromFixedRect(r, RoundInside);
    Bitmap->FillRectClipped(inner.Left, inner.Top, inner.Right, inner.Bottom, BrushColor);
    Bitmap->LineSmoothFixed(r.Left, r.Top, r.Right, r.Top, BrushColor);
    Bitmap->LineSmoothFixed(r.Left, r.Top, r.Left, r.Bottom, BrushColor);
    Bitmap->LineSmoothFixed(r.Left, r.Bottom, r.Right, r.Bottom, BrushColor);
    Bitmap->LineSmoothFixed(r.Right, r.Top, r.Right, r.Bottom, BrushColor);
    return;
  }
  if (!ReuseMask) RegionRects = TGdiRegion::FromPolygon(roundedPoints(points), pfAlternate).Rects();
  FillRegionRects(RegionRects, BrushColor);
  // The outline is closed only when the last point repeats the first.
  Bitmap->PenColor = BrushColor;
  Bitmap->MoveToFixed(points[0]);
  for (std::size_t i = 1; i < points.size(); ++i) Bitmap->LineToFixed(points[i]);
}

void TGR32Graphics::FillBezierPath(std::span<const TFixedPoint> points) {
  if (Bitmap == nullptr) return;
  if (ReuseMask) {
    paintMask(BrushColor);
    return;
  }
  TArrayOfFixedPoint flattened;
  if (!IsBezierCount(points.size()) || !FlattenBezierVisible(points, *Bitmap, flattened)) return;
  Coverage.Clear();
  ComputeCoverage(Coverage, *Bitmap, flattened, nullptr, kGraphicsAntialiasLevel, false, nullptr, BrushColor);
  paintMask(BrushColor);
}

void TGR32Graphics::FillBezierPathGdi(std::span<const TFixedPoint> points) {
  if (Bitmap == nullptr || points.size() < 2) return;
  TUpdateBracket bracket(*Bitmap);
  if (!ReuseMask) {
    TGdiPath path;
    path.PolyBezier(roundedPoints(points));
    RegionRects = TGdiRegion::FromPath(path, pfAlternate).Rects();
  }
  FillRegionRects(RegionRects, BrushColor);
  TArrayOfFixedPoint flattened;
  if (IsBezierCount(points.size()) && FlattenBezierVisible(points, *Bitmap, flattened)) {
    Bitmap->PolylineSmoothFixed(flattened, BrushColor, false);
  }
}

void TGR32Graphics::DrawBezierWide(std::span<const TPoint> points) {
  if (Bitmap == nullptr) return;
  if (!Antialias) {
    drawBezierPixels(points);
    return;
  }
  if (!ReuseMask) {
    clearCoverage();
    TArrayOfFixedPoint flattened;
    if (FlattenBezierVisible(fixedPoints(points), *Bitmap, flattened) && !flattened.empty()) {
      const bool closed = flattened.size() > 1 && flattened.back() == flattened.front();
      if (closed) flattened.pop_back();
      WorkPolygon->Clear();
      WorkPolygon->AddPoints(flattened);
      WidenWorkPolygon(closed);
      computeWorkPolygonCoverage();
    }
  }
  paintMask(BrushColor);
}

// Without anti-aliasing the curve is stroked in whole pixels: PenWidth
// rounded to pixels, the widened curve filled as a region, or a thin curve
// drawn as its flattened line. The results stay for ReuseMask like those of
// DrawLinePixels.
void TGR32Graphics::drawBezierPixels(std::span<const TPoint> points) {
  if (!ReuseMask) {
    clearCoverage();
    OutlinePoints.clear();
    RegionRects.clear();
    TGdiPath path;
    path.PolyBezier(points);
    const TGdiPath flattened = path.Flattened();
    const std::int32_t w = FixedRound(PenWidth);
    if (w > 1) {
      RegionRects = TGdiRegion::FromPath(flattened.Widened(w), pfWinding).Rects();
    } else {
      OutlinePoints = flattened.Points();
    }
  }
  TUpdateBracket bracket(*Bitmap);
  FillRegionRects(RegionRects, PenColor);
  DrawOutlinePoints(OutlinePoints, PenColor);
}

void TGR32Graphics::FillGlyphPath(std::span<const TPoint> points, std::span<const std::uint8_t> types) {
  if (Bitmap == nullptr) return;
  if (!ReuseMask) {
    clearCoverage();
    WorkPolygon->Clear();
    PathToPolygon(points, types, *WorkPolygon);
    computeWorkPolygonCoverage();
  }
  paintMask(BrushColor);
}

void TGR32Graphics::StrokeGlyphPath(std::span<const TPoint> points, std::span<const std::uint8_t> types) {
  if (Bitmap == nullptr) return;
  if (!ReuseMask) {
    clearCoverage();
    WorkPolygon->Clear();
    PathToPolygon(points, types, *WorkPolygon);
    WidenWorkPolygon(true);
    computeWorkPolygonCoverage();
  }
  paintMask(BrushColor);
}

void TGR32Graphics::PathToPolygon(std::span<const TPoint> points, std::span<const std::uint8_t> types,
                                  TPolygon32& polygon) const {
  const std::size_t n = std::min(points.size(), types.size());
  TFixedPoint start;
  TFixedPoint current;
  for (std::size_t i = 0; i < n; ++i) {
    const TFixedPoint p = FixedPoint(points[i]);
    switch (types[i]) {
      case PT_MOVETO:
        polygon.NewContour();
        start = current = p;
        polygon.AddPoint(p);
        break;
      case PT_LINETO:
      case PT_LINETO | PT_CLOSEFIGURE:
        current = p;
        polygon.AddPoint(p);
        if (types[i] & PT_CLOSEFIGURE) polygon.AddPoint(start);
        break;
      case PT_BEZIERTO:
      case PT_BEZIERTO | PT_CLOSEFIGURE: {
        if (i + 2 >= n) return;  // a truncated curve ends the path
        const TFixedPoint end = FixedPoint(points[i + 2]);
        const TFixedPoint curve[4] = {current, p, FixedPoint(points[i + 1]), end};
        TArrayOfFixedPoint flattened;
        bool visible = true;
        if (Bitmap != nullptr) {
          visible = FlattenBezierVisible(curve, *Bitmap, flattened);
        } else {
          flattened = FlattenBezier(curve);
        }
        // A curve wholly outside one side still ends where it ends: its chord
        // lies outside that side too, so the line to its end point keeps the
        // next edge where it belongs.
        if (visible) {
          polygon.AddPoints(flattened);
        } else {
          polygon.AddPoint(end);
        }
        if (types[i + 2] == (PT_BEZIERTO | PT_CLOSEFIGURE)) polygon.AddPoint(start);
        if (types[i] & PT_CLOSEFIGURE) polygon.AddPoint(start);
        current = end;
        i += 2;
        break;
      }
      default:
        break;
    }
  }
}

void TGR32Graphics::WidenWorkPolygon(bool closed) {
  WorkPolygon->Closed = closed;
  const std::unique_ptr<TPolygon32> outline = WorkPolygon->Outline();
  const TFixed width = PenWidth <= 0xFFFF ? kMinWidenedStroke : PenWidth;
  std::unique_ptr<TPolygon32> grown = outline->Grow(width / 2, kWidenSharpness);
  grown->FillMode = pfWinding;
  grown->Closed = false;
  grown->Antialiased = true;
  WorkPolygon = std::move(grown);
}

void TGR32Graphics::MaskCoverageByAlpha(const TBitmap32& surface) {
  if (surface.IsEmpty() || Coverage.RowOrigins.empty() || Coverage.CoverageRows.empty()) return;
  const std::size_t count = std::min(Coverage.RowOrigins.size(), Coverage.CoverageRows.size());
  TPoints origins;
  TArrayofByteArray rows;
  for (std::size_t k = 0; k < count; ++k) {
    TPoint origin = Coverage.RowOrigins[k];
    std::vector<std::uint8_t>& bytes = Coverage.CoverageRows[k];
    for (std::size_t j = 0; j < bytes.size(); ++j) {
      // A pixel off the surface has no alpha to keep coverage with.
      const std::int64_t x = std::int64_t{origin.X} + static_cast<std::int64_t>(j);
      const bool inside = x >= 0 && x < surface.Width() && origin.Y >= 0 && origin.Y < surface.Height();
      const std::uint32_t a = inside ? AlphaComponent(surface.ReadPixel(static_cast<std::int32_t>(x), origin.Y)) : 0;
      bytes[j] = static_cast<std::uint8_t>((bytes[j] * a + 127) / 255);
    }
    const auto first = std::find_if(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b != 0; });
    if (first == bytes.end()) {
      if (bytes.size() > 1) bytes.clear();
    } else {
      const auto last = std::find_if(bytes.rbegin(), bytes.rend(), [](std::uint8_t b) { return b != 0; }).base();
      origin.X = WrapAdd(origin.X, static_cast<std::int32_t>(first - bytes.begin()));
      bytes = std::vector<std::uint8_t>(first, last);
    }
    if (bytes.empty()) continue;
    origins.push_back(origin);
    rows.push_back(std::move(bytes));
  }
  Coverage.RowOrigins = std::move(origins);
  Coverage.CoverageRows = std::move(rows);
  fPacked.Forget();
}

void TGR32Graphics::DrawDot(TBitmap32& surface, const TFixedPoint& centre, TFixed radius, TColor32 colour) {
  const TArrayOfFixedPoint controls = EllipseBezier(WrapSub(centre.X, radius), WrapSub(centre.Y, radius),
                                                    WrapAdd(centre.X, radius), WrapAdd(centre.Y, radius));
  TArrayOfFixedPoint flattened;
  if (FlattenBezierVisible(controls, surface, flattened) && !flattened.empty()) {
    surface.PolygonFillSmooth(flattened, colour, pfAlternate, kGraphicsAntialiasLevel);
  }
}

}  // namespace lumora
