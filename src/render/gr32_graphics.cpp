#include "render/gr32_graphics.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <new>
#include <numbers>
#include <stdexcept>

#include "render/gdi_path.h"

namespace lumora {

namespace {

// The flattening buffer shared by every drawing object: the user-interface
// thread only, and not re-entrant. It starts with room for 512 points and
// grows, by at least 512, whenever it is at least half full minus four
// points, which leaves room for the points emitted between two checks.
class TFlattenBuffer {
 public:
  TFlattenBuffer() { fPoints.reserve(fCapacity); }

  void Reset() { fPoints.clear(); }
  void Emit(const TFixedPoint& p) { fPoints.push_back(p); }
  void Emit(const TFixedPoint& b, const TFixedPoint& c, const TFixedPoint& d) {
    Emit(b);
    Emit(c);
    Emit(d);
  }
  // False when the buffer needed to grow and could not, or would pass its
  // cap; the caller then emits the piece unsplit.
  bool EnsureRoom() {
    if (fPoints.size() + 4 < fCapacity / 2) return true;
    // Growing by the capacity itself (never by less than 512 points) keeps
    // the copying linear for curves of millions of points.
    const std::size_t wanted = fCapacity + std::max(kGrowth, fCapacity);
    if (wanted > kMaxPoints) return false;
    try {
      fPoints.reserve(wanted);
    } catch (const std::bad_alloc&) {
      return false;
    }
    fCapacity = wanted;
    return true;
  }
  const std::vector<TFixedPoint>& Points() const { return fPoints; }

 private:
  static constexpr std::size_t kGrowth = 512;
  // 8 MiB of points (8 million pixels of curve at the 8-pixel tolerance):
  // what a file's curve may make before its pieces stay whole.
  static constexpr std::size_t kMaxPoints = std::size_t{1} << 20;
  std::size_t fCapacity = kGrowth;
  std::vector<TFixedPoint> fPoints;
};

TFlattenBuffer& flattenBuffer() {
  static TFlattenBuffer buffer;
  return buffer;
}

// Every halving shortens a piece by about half, so 32 levels end any curve of
// 32-bit coordinates; the cap only guards against a tolerance of zero.
constexpr int kMaxSubdivisionDepth = 32;

// Halves the sum, truncating toward zero.
TFixedPoint mid(const TFixedPoint& a, const TFixedPoint& b) {
  return {static_cast<TFixed>((std::int64_t{a.X} + b.X) / 2), static_cast<TFixed>((std::int64_t{a.Y} + b.Y) / 2)};
}

std::int64_t manhattan(const TFixedPoint& a, const TFixedPoint& b) {
  return std::llabs(std::int64_t{b.X} - a.X) + std::llabs(std::int64_t{b.Y} - a.Y);
}

std::int64_t polyLength(const TFixedPoint& a, const TFixedPoint& b, const TFixedPoint& c, const TFixedPoint& d) {
  return manhattan(a, b) + manhattan(b, c) + manhattan(c, d);
}

class TFlattener {
 public:
  TFlattener(TFlattenBuffer& buffer, TFixed tolerance, const TFixedRect* clip)
      : fBuffer(buffer), fTolerance(tolerance), fClip(clip != nullptr && !(*clip == TFixedRect{}) ? clip : nullptr) {}

  void Subdivide(const TFixedPoint& a, const TFixedPoint& b, const TFixedPoint& c, const TFixedPoint& d,
                 int depth = 0) {
    if ((b == a && c == d) || outsideOneSide(a, b, c, d) || depth >= kMaxSubdivisionDepth ||
        !fBuffer.EnsureRoom()) {
      fBuffer.Emit(b, c, d);
      return;
    }
    const TFixedPoint ab = mid(a, b);
    const TFixedPoint bc = mid(b, c);
    const TFixedPoint cd = mid(c, d);
    const TFixedPoint abc = mid(ab, bc);
    const TFixedPoint bcd = mid(bc, cd);
    const TFixedPoint m = mid(abc, bcd);
    if (polyLength(a, ab, abc, m) > fTolerance) {
      Subdivide(a, ab, abc, m, depth + 1);
    } else {
      fBuffer.Emit(ab, abc, m);
    }
    if (polyLength(m, bcd, cd, d) > fTolerance) {
      Subdivide(m, bcd, cd, d, depth + 1);
    } else {
      fBuffer.Emit(bcd, cd, d);
    }
  }

 private:
  bool outsideOneSide(const TFixedPoint& a, const TFixedPoint& b, const TFixedPoint& c, const TFixedPoint& d) const {
    if (fClip == nullptr) return false;
    const std::int32_t code = TGR32Graphics::OutCode(a, *fClip);
    return code != 4 && TGR32Graphics::OutCode(b, *fClip) == code && TGR32Graphics::OutCode(c, *fClip) == code &&
           TGR32Graphics::OutCode(d, *fClip) == code;
  }

  TFlattenBuffer& fBuffer;
  TFixed fTolerance;
  const TFixedRect* fClip;
};

// 3k + 1 points with k ≥ 1.
bool isBezierCount(std::size_t n) { return n >= 4 && (n - 1) % 3 == 0; }

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

TFixed clampToFixed(std::int64_t v) {
  return static_cast<TFixed>(
      std::clamp<std::int64_t>(v, std::numeric_limits<TFixed>::min(), std::numeric_limits<TFixed>::max()));
}

// Angles from files are whole degrees; more than 512 turns is not an arc.
constexpr double kMaxArcAngle = 1024 * std::numbers::pi;

class TArcBuilder {
 public:
  TArcBuilder(TFixed rx, TFixed ry) : fRx(rx), fRy(ry) {}

  void ArcSegment(double a0, double a1) {
    const double delta = a1 - a0;
    if (100 > std::abs(delta) * (static_cast<double>(fRx) + fRy)) return;
    if (std::abs(delta) >= std::numbers::pi) {
      ArcSegment(a0, a0 + delta / 2);
      ArcSegment(a0 + delta / 2, a1);
      return;
    }
    const double k = (1 - std::cos(delta / 2)) * 4 / 3 / std::sin(delta / 2);
    const double c0 = std::cos(a0);
    const double s0 = std::sin(a0);
    const double c1 = std::cos(a1);
    const double s1 = std::sin(a1);
    if (fPoints.empty()) add(c0, s0);
    add(c0 - s0 * k, s0 + c0 * k);
    add(c1 + s1 * k, s1 - c1 * k);
    add(c1, s1);
  }

  TArrayOfFixedPoint Take() { return std::move(fPoints); }

 private:
  // Y is subtracted, so growing angles run counter-clockwise on screen.
  void add(double cosine, double sine) {
    fPoints.push_back({WrapAdd(fRx, RoundToInt(fRx * cosine)), WrapSub(fRy, RoundToInt(fRy * sine))});
  }

  TFixed fRx;  // the radii, which are also the centre relative to the box
  TFixed fRy;
  TArrayOfFixedPoint fPoints;
};

}  // namespace

TGR32Graphics::TGR32Graphics() : WorkPolygon(std::make_unique<TPolygon32>()) {}

void TGR32Graphics::clearMask() {
  RowOrigins.clear();
  CoverageRows.clear();
}

void TGR32Graphics::paintMask(TColor32 colour) { PaintCoverage(*this, RowOrigins, CoverageRows, colour); }

void TGR32Graphics::computeWorkPolygonCoverage() {
  ComputeCoveragePoly(*this, *Bitmap, WorkPolygon->Points(), nullptr, kGraphicsAntialiasLevel, true, BrushColor);
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
    clearMask();
    WorkPolygon->Clear();
    WorkPolygon->AddPoint(p1);
    WorkPolygon->AddPoint(p2);
    WidenWorkPolygon(false);
    if (!WorkPolygon->Points().empty()) {
      ComputeCoverage(*this, *Bitmap, WorkPolygon->Points().front(), nullptr, kGraphicsAntialiasLevel, true, nullptr,
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
    DrawOutlinePoints(RowOrigins, PenColor);
  }
}

void TGR32Graphics::WidenLineByGdi(const TPoint& p1, const TPoint& p2) {
  RowOrigins.clear();
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
    RowOrigins = widened.Points();
    RowOrigins.push_back(RowOrigins.front());
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
    clearMask();
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
    clearMask();
    ComputeCoverage(*this, *Bitmap, points, nullptr, kGraphicsAntialiasLevel, true, nullptr, BrushColor);
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
  if (!isBezierCount(points.size()) || !FlattenBezierVisible(points, *Bitmap, flattened)) return;
  clearMask();
  ComputeCoverage(*this, *Bitmap, flattened, nullptr, kGraphicsAntialiasLevel, false, nullptr, BrushColor);
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
  if (isBezierCount(points.size()) && FlattenBezierVisible(points, *Bitmap, flattened)) {
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
    clearMask();
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
    RowOrigins.clear();
    CoverageRows.clear();
    RegionRects.clear();
    TGdiPath path;
    path.PolyBezier(points);
    const TGdiPath flattened = path.Flattened();
    const std::int32_t w = FixedRound(PenWidth);
    if (w > 1) {
      RegionRects = TGdiRegion::FromPath(flattened.Widened(w), pfWinding).Rects();
    } else {
      RowOrigins = flattened.Points();
    }
  }
  TUpdateBracket bracket(*Bitmap);
  FillRegionRects(RegionRects, PenColor);
  DrawOutlinePoints(RowOrigins, PenColor);
}

void TGR32Graphics::FillGlyphPath(std::span<const TPoint> points, std::span<const std::uint8_t> types) {
  if (Bitmap == nullptr) return;
  if (!ReuseMask) {
    clearMask();
    WorkPolygon->Clear();
    PathToPolygon(points, types, *WorkPolygon);
    computeWorkPolygonCoverage();
  }
  paintMask(BrushColor);
}

void TGR32Graphics::StrokeGlyphPath(std::span<const TPoint> points, std::span<const std::uint8_t> types) {
  if (Bitmap == nullptr) return;
  if (!ReuseMask) {
    clearMask();
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
  if (surface.IsEmpty() || RowOrigins.empty() || CoverageRows.empty()) return;
  const std::size_t count = std::min(RowOrigins.size(), CoverageRows.size());
  TPoints origins;
  TArrayofByteArray rows;
  for (std::size_t k = 0; k < count; ++k) {
    TPoint origin = RowOrigins[k];
    std::vector<std::uint8_t>& bytes = CoverageRows[k];
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
  RowOrigins = std::move(origins);
  CoverageRows = std::move(rows);
}

TArrayOfFixedPoint TGR32Graphics::EllipseBezier(TFixed l, TFixed t, TFixed r, TFixed b) {
  const auto cx = static_cast<TFixed>((std::int64_t{l} + r) / 2);
  const auto cy = static_cast<TFixed>((std::int64_t{t} + b) / 2);
  const TFixed dx = clampToFixed(static_cast<std::int64_t>((std::int64_t{r} - l) * EllipseFactor));
  const TFixed dy = clampToFixed(static_cast<std::int64_t>((std::int64_t{b} - t) * EllipseFactor));
  return {{l, cy},
          {l, WrapSub(cy, dy)},
          {WrapSub(cx, dx), t},
          {cx, t},
          {WrapAdd(cx, dx), t},
          {r, WrapSub(cy, dy)},
          {r, cy},
          {r, WrapAdd(cy, dy)},
          {WrapAdd(cx, dx), b},
          {cx, b},
          {WrapSub(cx, dx), b},
          {l, WrapAdd(cy, dy)},
          {l, cy}};
}

TArrayOfFixedPoint TGR32Graphics::EllipseBezier(const TPoint& topLeft, const TPoint& bottomRight) {
  return EllipseBezier(FixedFromInt(topLeft.X), FixedFromInt(topLeft.Y), FixedFromInt(bottomRight.X),
                       FixedFromInt(bottomRight.Y));
}

TArrayOfFixedPoint TGR32Graphics::ArcBezier(const TPoint& p1, const TPoint& p2, double startAngle, double endAngle) {
  if (!(std::abs(startAngle) <= kMaxArcAngle && std::abs(endAngle) <= kMaxArcAngle)) {
    throw std::invalid_argument("Arc angles out of range");
  }
  const TFixed rx = FixedFromFloat(static_cast<float>((static_cast<double>(p2.X) - p1.X) / 2));
  const TFixed ry = FixedFromFloat(static_cast<float>((static_cast<double>(p2.Y) - p1.Y) / 2));
  TArcBuilder arc(rx, ry);
  if (endAngle > startAngle) {
    arc.ArcSegment(startAngle, endAngle);
  } else {
    arc.ArcSegment(startAngle, 2 * std::numbers::pi);
    arc.ArcSegment(0, endAngle);
  }
  return arc.Take();
}

TFixedRect TGR32Graphics::PointsBounds(std::span<const TFixedPoint> points) {
  if (points.empty()) return {};
  TFixedRect r{points[0].X, points[0].Y, points[0].X, points[0].Y};
  for (const TFixedPoint& p : points) {
    r.Left = std::min(r.Left, p.X);
    r.Top = std::min(r.Top, p.Y);
    r.Right = std::max(r.Right, p.X);
    r.Bottom = std::max(r.Bottom, p.Y);
  }
  return r;
}

TFixedRect TGR32Graphics::BezierBounds(std::span<const TFixedPoint> points) {
  if (isBezierCount(points.size())) return PointsBounds(FlattenBezier(points));
  return PointsBounds(points);
}

TArrayOfFixedPoint TGR32Graphics::FlattenBezier(std::span<const TFixedPoint> points, TFixed tolerance,
                                                const TFixedRect* clip) {
  TFlattenBuffer& buffer = flattenBuffer();
  buffer.Reset();
  if (points.empty()) return {};
  buffer.Emit(points[0]);
  TFlattener flattener(buffer, tolerance, clip);
  for (std::size_t j = 0; 3 * j + 3 < points.size(); ++j) {
    flattener.Subdivide(points[3 * j], points[3 * j + 1], points[3 * j + 2], points[3 * j + 3]);
  }
  // The buffer holds the start followed by point triples whose last points
  // are the on-curve ends.
  const std::vector<TFixedPoint>& emitted = buffer.Points();
  TArrayOfFixedPoint result;
  result.reserve((emitted.size() - 1) / 3 + 1);
  for (std::size_t i = 0; i < emitted.size(); i += 3) result.push_back(emitted[i]);
  return result;
}

bool TGR32Graphics::FlattenBezierVisible(std::span<const TFixedPoint> points, const TBitmap32& surface,
                                         TArrayOfFixedPoint& output) {
  const TFixedRect r{0, 0, clampToFixed(std::int64_t{surface.Width()} << 16),
                     clampToFixed(std::int64_t{surface.Height()} << 16)};
  if (points.empty()) return false;
  const std::int32_t code = OutCode(points[0], r);
  if (code != 4 &&
      std::all_of(points.begin(), points.end(), [&](const TFixedPoint& p) { return OutCode(p, r) == code; })) {
    return false;
  }
  output = FlattenBezier(points, FlattenTolerance, &r);
  return true;
}

std::int32_t TGR32Graphics::OutCode(const TFixedPoint& p, const TFixedRect& r) {
  if (p.X > r.Right) return 1;
  if (p.Y > r.Bottom) return 3;
  if (p.X < r.Left) return 0;
  if (p.Y < r.Top) return 2;
  return 4;
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
