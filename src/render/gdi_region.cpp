#include "render/gdi_path.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "render/memory_budget.h"

namespace lumora {
namespace {

// A run of pixels [Left, Right) within one row.
struct TSpan {
  std::int32_t Left;
  std::int32_t Right;
  friend bool operator==(const TSpan&, const TSpan&) = default;
};
using TSpans = std::vector<TSpan>;

// Appends rows of spans from top to bottom and keeps the rectangle list in
// bands, joining a row to the band above when it touches it and holds the
// same spans.
class TBandBuilder {
 public:
  void AddRows(std::int32_t top, std::int32_t bottom, const TSpans& spans) {
    if (spans.empty() || top >= bottom) return;
    if (!fRects.empty() && fRects.back().Bottom == top && spans == fBandSpans) {
      for (std::size_t i = fBandStart; i < fRects.size(); ++i) fRects[i].Bottom = bottom;
      return;
    }
    ChargeMemory(spans.size() * sizeof(TRect), "region rectangles");
    fBandStart = fRects.size();
    fBandSpans = spans;
    for (const TSpan& s : spans) fRects.push_back({s.Left, top, s.Right, bottom});
  }
  TRects Take() { return std::move(fRects); }

 private:
  TRects fRects;
  TSpans fBandSpans;
  std::size_t fBandStart = 0;
};

// A polygon edge ordered from top to bottom; Winding is +1 for an edge that
// runs downwards in the polygon, −1 for one that runs upwards.
struct TEdge {
  std::int64_t X0;
  std::int64_t Y0;
  std::int64_t X1;
  std::int64_t Y1;
  int Winding;
};

struct TCrossing {
  std::int32_t X;
  int Winding;
};

std::int64_t ceilDiv(std::int64_t a, std::int64_t b) {
  const std::int64_t q = a / b;
  return (a % b != 0 && (a < 0) == (b < 0)) ? q + 1 : q;
}

// The first pixel whose centre lies on or right of where the edge meets the
// centre line of row y. In doubled units the centres are odd integers, so the
// crossing 2·x0 + (2y + 1 − 2·y0)·dx / dy is compared with 2·px + 1 exactly.
std::int32_t crossingPixel(const TEdge& e, std::int32_t y) {
  const std::int64_t dy = e.Y1 - e.Y0;
  const std::int64_t numerator = (2 * e.X0 - 1) * dy + (2 * static_cast<std::int64_t>(y) + 1 - 2 * e.Y0) * (e.X1 - e.X0);
  return static_cast<std::int32_t>(ceilDiv(numerator, 2 * dy));
}

class TEdgeList {
 public:
  void AddContour(std::span<const TPoint> points) {
    for (std::size_t i = 0; i < points.size(); ++i) {
      const TPoint& a = points[i];
      const TPoint& b = points[(i + 1) % points.size()];
      checkCoordinate(a);
      extendBox(a);
      if (a.Y == b.Y) continue;
      if (a.Y < b.Y) {
        fEdges.push_back({a.X, a.Y, b.X, b.Y, 1});
      } else {
        fEdges.push_back({b.X, b.Y, a.X, a.Y, -1});
      }
    }
  }
  TRects Scan(TPolyFillMode mode);

 private:
  static void checkCoordinate(const TPoint& p) {
    const auto beyond = [](std::int32_t v) { return v > kMaxRegionCoordinate || v < -kMaxRegionCoordinate; };
    if (beyond(p.X) || beyond(p.Y)) throw std::out_of_range("region coordinate beyond ±2^27");
  }
  void extendBox(const TPoint& p) {
    if (!fHasBox) {
      fBox = {p.X, p.Y, p.X, p.Y};
      fHasBox = true;
      return;
    }
    fBox = {std::min(fBox.Left, p.X), std::min(fBox.Top, p.Y), std::max(fBox.Right, p.X), std::max(fBox.Bottom, p.Y)};
  }
  void checkExtent() const {
    if (fBox.Width() > kMaxRegionExtent || fBox.Height() > kMaxRegionExtent) {
      throw std::out_of_range("region larger than 2^15 pixels in one dimension");
    }
  }

  void checkCrossings() const {
    std::int64_t crossings = 0;
    for (const TEdge& e : fEdges) crossings += e.Y1 - e.Y0;
    if (crossings > kMaxRegionCrossings) throw std::out_of_range("region edges cross more than 2^27 rows in all");
  }

  std::vector<TEdge> fEdges;
  TRect fBox;
  bool fHasBox = false;
};

// The spans of one row from its crossings sorted by X: a pixel is inside when
// the rule holds for the count of the crossings at or left of its centre.
TSpans rowSpans(std::vector<TCrossing>& crossings, TPolyFillMode mode) {
  std::sort(crossings.begin(), crossings.end(), [](const TCrossing& a, const TCrossing& b) { return a.X < b.X; });
  TSpans spans;
  int count = 0;
  std::size_t i = 0;
  while (i < crossings.size()) {
    const std::int32_t x = crossings[i].X;
    const bool wasInside = mode == pfWinding ? count != 0 : (count & 1) != 0;
    for (; i < crossings.size() && crossings[i].X == x; ++i) count += crossings[i].Winding;
    const bool isInside = mode == pfWinding ? count != 0 : (count & 1) != 0;
    // Crossings at the same X are taken together, so no span is empty.
    if (!wasInside && isInside) spans.push_back({x, x});
    if (wasInside && !isInside) spans.back().Right = x;
  }
  return spans;
}

TRects TEdgeList::Scan(TPolyFillMode mode) {
  if (fEdges.empty()) return {};
  checkExtent();
  checkCrossings();
  std::sort(fEdges.begin(), fEdges.end(), [](const TEdge& a, const TEdge& b) { return a.Y0 < b.Y0; });
  TBandBuilder builder;
  std::vector<const TEdge*> active;
  std::vector<TCrossing> crossings;
  std::size_t next = 0;
  for (std::int32_t y = fBox.Top; y < fBox.Bottom; ++y) {
    std::erase_if(active, [y](const TEdge* e) { return e->Y1 <= y; });
    for (; next < fEdges.size() && fEdges[next].Y0 <= y; ++next) active.push_back(&fEdges[next]);
    crossings.clear();
    for (const TEdge* e : active) crossings.push_back({crossingPixel(*e, y), e->Winding});
    builder.AddRows(y, y + 1, rowSpans(crossings, mode));
  }
  return builder.Take();
}

struct TBand {
  std::int32_t Top;
  std::int32_t Bottom;
  TSpans Spans;
};

std::vector<TBand> bandsOf(const TRects& rects) {
  std::vector<TBand> bands;
  for (const TRect& r : rects) {
    if (bands.empty() || bands.back().Top != r.Top) bands.push_back({r.Top, r.Bottom, {}});
    bands.back().Spans.push_back({r.Left, r.Right});
  }
  return bands;
}

bool applyOperation(TRegionCombine mode, bool a, bool b) {
  switch (mode) {
    case RGN_AND:
      return a && b;
    case RGN_OR:
      return a || b;
    case RGN_XOR:
      return a != b;
    case RGN_DIFF:
      return a && !b;
    case RGN_COPY:
      return a;
  }
  return false;
}

bool insideSpans(const TSpans& spans, std::size_t& index, std::int32_t x) {
  while (index < spans.size() && spans[index].Right <= x) ++index;
  return index < spans.size() && spans[index].Left <= x;
}

// Two rows of spans combined: the result is constant between consecutive
// span ends of either row.
TSpans combineSpans(const TSpans& a, const TSpans& b, TRegionCombine mode) {
  std::vector<std::int32_t> edges;
  for (const TSpans* spans : {&a, &b}) {
    for (const TSpan& s : *spans) {
      edges.push_back(s.Left);
      edges.push_back(s.Right);
    }
  }
  std::sort(edges.begin(), edges.end());
  edges.erase(std::unique(edges.begin(), edges.end()), edges.end());
  TSpans result;
  std::size_t ia = 0;
  std::size_t ib = 0;
  for (std::size_t i = 0; i + 1 < edges.size(); ++i) {
    const bool inA = insideSpans(a, ia, edges[i]);
    const bool inB = insideSpans(b, ib, edges[i]);
    if (!applyOperation(mode, inA, inB)) continue;
    if (!result.empty() && result.back().Right == edges[i]) {
      result.back().Right = edges[i + 1];
    } else {
      result.push_back({edges[i], edges[i + 1]});
    }
  }
  return result;
}

const TSpans* spansAt(const std::vector<TBand>& bands, std::size_t& index, std::int32_t y) {
  while (index < bands.size() && bands[index].Bottom <= y) ++index;
  if (index < bands.size() && bands[index].Top <= y) return &bands[index].Spans;
  return nullptr;
}

}  // namespace

TGdiRegion TGdiRegion::FromRect(const TRect& r) {
  TGdiRegion region;
  const TRect normal{std::min(r.Left, r.Right), std::min(r.Top, r.Bottom), std::max(r.Left, r.Right),
                     std::max(r.Top, r.Bottom)};
  if (!IsRectEmpty(normal)) region.fRects.push_back(normal);
  return region;
}

TGdiRegion TGdiRegion::FromPolygon(std::span<const TPoint> points, TPolyFillMode mode) {
  TEdgeList edges;
  edges.AddContour(points);
  TGdiRegion region;
  region.fRects = edges.Scan(mode);
  return region;
}

TGdiRegion TGdiRegion::FromPolyPolygon(std::span<const TPoints> polygons, TPolyFillMode mode) {
  TEdgeList edges;
  for (const TPoints& polygon : polygons) edges.AddContour(polygon);
  TGdiRegion region;
  region.fRects = edges.Scan(mode);
  return region;
}

TGdiRegion TGdiRegion::FromPath(const TGdiPath& path, TPolyFillMode mode) {
  const TGdiPath flat = path.Flattened();
  const TPoints& points = flat.Points();
  const std::vector<std::uint8_t>& types = flat.Types();
  TEdgeList edges;
  std::size_t start = 0;
  for (std::size_t i = 1; i <= points.size(); ++i) {
    if (i == points.size() || types[i] == PT_MOVETO) {
      edges.AddContour(std::span(points).subspan(start, i - start));
      start = i;
    }
  }
  TGdiRegion region;
  region.fRects = edges.Scan(mode);
  return region;
}

TGdiRegion TGdiRegion::Combine(const TGdiRegion& other, TRegionCombine mode) const {
  if (mode < RGN_AND || mode > RGN_COPY) throw std::invalid_argument("unknown region combine mode");
  if (mode == RGN_COPY) return *this;
  const std::vector<TBand> a = bandsOf(fRects);
  const std::vector<TBand> b = bandsOf(other.fRects);
  std::vector<std::int32_t> rows;
  for (const std::vector<TBand>* bands : {&a, &b}) {
    for (const TBand& band : *bands) {
      rows.push_back(band.Top);
      rows.push_back(band.Bottom);
    }
  }
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  const TSpans none;
  TBandBuilder builder;
  std::size_t ia = 0;
  std::size_t ib = 0;
  for (std::size_t i = 0; i + 1 < rows.size(); ++i) {
    const TSpans* inA = spansAt(a, ia, rows[i]);
    const TSpans* inB = spansAt(b, ib, rows[i]);
    builder.AddRows(rows[i], rows[i + 1], combineSpans(inA ? *inA : none, inB ? *inB : none, mode));
  }
  TGdiRegion region;
  region.fRects = builder.Take();
  return region;
}

TRect TGdiRegion::Box() const {
  if (fRects.empty()) return {};
  TRect box{fRects.front().Left, fRects.front().Top, fRects.front().Right, fRects.back().Bottom};
  for (const TRect& r : fRects) {
    box.Left = std::min(box.Left, r.Left);
    box.Right = std::max(box.Right, r.Right);
  }
  return box;
}

bool TGdiRegion::Contains(const TPoint& p) const {
  auto it = std::upper_bound(fRects.begin(), fRects.end(), p.Y,
                             [](std::int32_t y, const TRect& r) { return y < r.Bottom; });
  for (; it != fRects.end() && it->Top <= p.Y; ++it) {
    if (p.X < it->Left) return false;
    if (p.X < it->Right) return true;
  }
  return false;
}

}  // namespace lumora
