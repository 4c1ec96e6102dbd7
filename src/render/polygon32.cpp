#include "render/polygon32.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace lumora {

namespace {

TFixedPoint add(const TFixedPoint& a, const TFixedPoint& b) { return {WrapAdd(a.X, b.X), WrapAdd(a.Y, b.Y)}; }

TFixedPoint scaleNormal(const TFixedPoint& n, TFixed delta) {
  return {MulDiv(n.X, delta, kFixedOne), MulDiv(n.Y, delta, kFixedOne)};
}

// Unit normal (dy, −dx) / length of the edge a → b, each coordinate divided
// by the length in single precision; a zero-length edge has none. Multiplying
// by the reciprocal instead rounds differently for about one edge in 370.
TFixedPoint edgeNormal(const TFixedPoint& a, const TFixedPoint& b) {
  const float dx = static_cast<float>(WrapSub(b.X, a.X));
  const float dy = static_cast<float>(WrapSub(b.Y, a.Y));
  if (dx == 0 && dy == 0) return {};
  const float length = std::hypot(dx, dy);
  return {FixedFromFloat(dy / length), FixedFromFloat(-dx / length)};
}

TArrayOfFixedPoint contourNormals(const TArrayOfFixedPoint& contour, bool closed) {
  const std::size_t n = contour.size();
  TArrayOfFixedPoint normals(n);
  if (n < 2) return normals;
  for (std::size_t i = 0; i + 1 < n; ++i) normals[i] = edgeNormal(contour[i], contour[i + 1]);
  normals[n - 1] = closed ? edgeNormal(contour[n - 1], contour[0]) : normals[n - 2];
  return normals;
}

// One vertex between the edges with scaled normals p (incoming) and c
// (outgoing): a single mitred point, or two points where the corner is sharp.
void growVertex(TArrayOfFixedPoint& out, const TFixedPoint& vertex, const TFixedPoint& p, const TFixedPoint& c,
                TFixed delta, TFixed threshold) {
  const TFixedPoint s = add(p, c);
  const std::int64_t r = std::int64_t{MulDiv(p.X, s.X, delta)} + MulDiv(p.Y, s.Y, delta);
  if (r > threshold) {
    const auto r32 = static_cast<std::int32_t>(std::clamp<std::int64_t>(r, 1, std::numeric_limits<std::int32_t>::max()));
    out.push_back(add(vertex, {MulDiv(s.X, delta, r32), MulDiv(s.Y, delta, r32)}));
  } else {
    out.push_back(add(vertex, p));
    out.push_back(add(vertex, c));
  }
}

TArrayOfFixedPoint growContour(const TArrayOfFixedPoint& contour, const TArrayOfFixedPoint& normals, bool closed,
                               TFixed delta, TFixed threshold) {
  const std::size_t n = contour.size();
  TArrayOfFixedPoint out;
  out.reserve(n * 2);
  for (std::size_t i = 0; i < n; ++i) {
    const TFixedPoint c = scaleNormal(normals[i], delta);
    const TFixedPoint p = scaleNormal(normals[i == 0 ? n - 1 : i - 1], delta);
    if (!closed && i == 0) {
      out.push_back(add(contour[i], c));
    } else if (!closed && i == n - 1) {
      out.push_back(add(contour[i], p));
    } else {
      growVertex(out, contour[i], p, c, delta, threshold);
    }
  }
  return out;
}

}  // namespace

std::int32_t MulDiv(std::int32_t a, std::int32_t b, std::int32_t c) {
  // Windows' MulDiv answers −1 when the quotient does not exist or overflows.
  if (c == 0) return -1;
  const std::int64_t product = std::int64_t{a} * b;
  const std::int64_t magnitude = std::abs(c);
  std::int64_t quotient = (std::llabs(product) + magnitude / 2) / magnitude;
  if ((product < 0) != (c < 0)) quotient = -quotient;
  if (quotient > std::numeric_limits<std::int32_t>::max() || quotient < std::numeric_limits<std::int32_t>::min()) {
    return -1;
  }
  return static_cast<std::int32_t>(quotient);
}

TPolygon32::TPolygon32() { fPoints.emplace_back(); }

void TPolygon32::Clear() {
  fPoints.clear();
  fPoints.emplace_back();
  fNormals.clear();
}

void TPolygon32::NewContour() {
  fPoints.emplace_back();
  fNormals.clear();
}

void TPolygon32::AddPoint(const TFixedPoint& p) {
  if (fPoints.empty()) fPoints.emplace_back();
  fPoints.back().push_back(p);
  fNormals.clear();
}

void TPolygon32::AddPoints(std::span<const TFixedPoint> points) {
  if (fPoints.empty()) fPoints.emplace_back();
  fPoints.back().insert(fPoints.back().end(), points.begin(), points.end());
  fNormals.clear();
}

void TPolygon32::copySettingsFrom(const TPolygon32& other) {
  Closed = other.Closed;
  FillMode = other.FillMode;
  Antialiased = other.Antialiased;
  AntialiasLevel = other.AntialiasLevel;
}

const TArrayOfArrayOfFixedPoint& TPolygon32::Normals() const {
  if (fNormals.size() != fPoints.size()) {
    fNormals.clear();
    for (const TArrayOfFixedPoint& contour : fPoints) fNormals.push_back(contourNormals(contour, Closed));
  }
  return fNormals;
}

std::unique_ptr<TPolygon32> TPolygon32::Outline() const {
  auto result = std::make_unique<TPolygon32>();
  result->copySettingsFrom(*this);
  TArrayOfArrayOfFixedPoint& contours = result->MutablePoints();
  contours.clear();
  for (const TArrayOfFixedPoint& contour : fPoints) {
    TArrayOfFixedPoint reversed(contour.rbegin(), contour.rend());
    if (Closed) {
      contours.push_back(contour);
      contours.push_back(std::move(reversed));
    } else {
      TArrayOfFixedPoint extended = contour;
      extended.insert(extended.end(), reversed.begin(), reversed.end());
      contours.push_back(std::move(extended));
    }
  }
  return result;
}

std::unique_ptr<TPolygon32> TPolygon32::Grow(TFixed delta, float sharpness) const {
  auto result = std::make_unique<TPolygon32>();
  result->copySettingsFrom(*this);
  TArrayOfArrayOfFixedPoint& contours = result->MutablePoints();
  if (delta == 0) {
    contours = fPoints;
    return result;
  }
  contours.clear();
  sharpness = std::clamp(sharpness, 0.0f, 0.99f);
  const TFixed threshold = RoundToInt(static_cast<double>(1 - sharpness) * delta);
  const TArrayOfArrayOfFixedPoint& normals = Normals();
  for (std::size_t k = 0; k < fPoints.size(); ++k) {
    if (fPoints[k].size() < 2) continue;
    contours.push_back(growContour(fPoints[k], normals[k], Closed, delta, threshold));
  }
  return result;
}

}  // namespace lumora
