#include "render/matrix.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace lumora {

namespace {

// 16.16 form of a matrix entry for the fixed-point mappings.
TFixed fixedEntry(float v) { return FixedFromFloat(v); }

TFixedPoint mapFixed(const TFloatMatrix& m, const TFixedPoint& p) {
  const TFixed x = WrapAdd(WrapAdd(FixedMul(fixedEntry(m[0][0]), p.X), FixedMul(fixedEntry(m[1][0]), p.Y)),
                           fixedEntry(m[2][0]));
  const TFixed y = WrapAdd(WrapAdd(FixedMul(fixedEntry(m[0][1]), p.X), FixedMul(fixedEntry(m[1][1]), p.Y)),
                           fixedEntry(m[2][1]));
  return {x, y};
}

TFloatPoint mapFloat(const TFloatMatrix& m, const TFloatPoint& p) {
  const double x = p.X;
  const double y = p.Y;
  return {static_cast<float>(m[0][0] * x + m[1][0] * y + m[2][0]),
          static_cast<float>(m[0][1] * x + m[1][1] * y + m[2][1])};
}

}  // namespace

TFloatMatrix MatrixMult(const TFloatMatrix& a, const TFloatMatrix& b) {
  TFloatMatrix r{};
  for (int k = 0; k < 3; ++k) {
    for (int i = 0; i < 3; ++i) {
      double sum = 0;
      for (int j = 0; j < 3; ++j) sum += static_cast<double>(b[k][j]) * a[j][i];
      r[k][i] = static_cast<float>(sum);
    }
  }
  return r;
}

float MatrixDeterminant(const TFloatMatrix& m) {
  const double det = static_cast<double>(m[0][0]) * (static_cast<double>(m[1][1]) * m[2][2] - static_cast<double>(m[2][1]) * m[1][2]) -
                     static_cast<double>(m[0][1]) * (static_cast<double>(m[1][0]) * m[2][2] - static_cast<double>(m[2][0]) * m[1][2]) +
                     static_cast<double>(m[0][2]) * (static_cast<double>(m[1][0]) * m[2][1] - static_cast<double>(m[2][0]) * m[1][1]);
  return static_cast<float>(det);
}

TFloatMatrix MatrixInvert(const TFloatMatrix& m) {
  const float det = MatrixDeterminant(m);
  if (!(std::fabs(det) >= 1e-5f)) return IdentityMatrix;
  // Adjugate: the transposed matrix of cofactors.
  auto cofactor = [&m](int r, int c) {
    const int r0 = r == 0 ? 1 : 0, r1 = r == 2 ? 1 : 2;
    const int c0 = c == 0 ? 1 : 0, c1 = c == 2 ? 1 : 2;
    const double minor = static_cast<double>(m[r0][c0]) * m[r1][c1] - static_cast<double>(m[r0][c1]) * m[r1][c0];
    return (r + c) % 2 == 0 ? minor : -minor;
  };
  TFloatMatrix r{};
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) r[i][j] = static_cast<float>(cofactor(j, i) / det);
  }
  return r;
}

void TAffineTransformation::SetMatrix(const TFloatMatrix& m) {
  fMatrix = m;
  changed();
}

void TAffineTransformation::Clear() { SetMatrix(IdentityMatrix); }

void TAffineTransformation::applyAfter(const TFloatMatrix& step) {
  fMatrix = MatrixMult(step, fMatrix);
  changed();
}

void TAffineTransformation::changed() {
  fInverseValid = false;
  ++fChangeCount;
}

const TFloatMatrix& TAffineTransformation::inverse() const {
  if (!fInverseValid) {
    fInverse = MatrixInvert(fMatrix);
    fInverseValid = true;
  }
  return fInverse;
}

void TAffineTransformation::Translate(float dx, float dy) {
  TFloatMatrix t = IdentityMatrix;
  t[2][0] = dx;
  t[2][1] = dy;
  applyAfter(t);
}

void TAffineTransformation::Scale(float sx, float sy) {
  TFloatMatrix t = IdentityMatrix;
  t[0][0] = sx;
  t[1][1] = sy;
  applyAfter(t);
}

void TAffineTransformation::Skew(float fx, float fy) {
  TFloatMatrix t = IdentityMatrix;
  t[1][0] = fx;
  t[0][1] = fy;
  applyAfter(t);
}

void TAffineTransformation::Rotate(float cx, float cy, float degrees) {
  const bool aroundCentre = cx != 0 || cy != 0;
  if (aroundCentre) Translate(-cx, -cy);
  const double angle = static_cast<double>(degrees) * std::numbers::pi / 180;
  const float c = static_cast<float>(std::cos(angle));
  const float s = static_cast<float>(std::sin(angle));
  TFloatMatrix t = IdentityMatrix;
  t[0][0] = c;
  t[1][0] = s;
  t[0][1] = -s;
  t[1][1] = c;
  applyAfter(t);
  if (aroundCentre) Translate(cx, cy);
}

TFloatPoint TAffineTransformation::Transform(const TFloatPoint& p) const { return mapFloat(fMatrix, p); }
TFixedPoint TAffineTransformation::Transform(const TFixedPoint& p) const { return mapFixed(fMatrix, p); }
TFloatPoint TAffineTransformation::ReverseTransform(const TFloatPoint& p) const { return mapFloat(inverse(), p); }
TFixedPoint TAffineTransformation::ReverseTransform(const TFixedPoint& p) const { return mapFixed(inverse(), p); }

TPoint TAffineTransformation::ReverseTransform(const TPoint& p) const {
  const TFixedPoint mapped = ReverseTransform(FixedPoint(p));
  return {FixedRound(mapped.X), FixedRound(mapped.Y)};
}

TRect TAffineTransformation::TransformedBounds(const TFloatRect& r) const {
  const TFloatPoint corners[4] = {Transform(TFloatPoint{r.Left, r.Top}), Transform(TFloatPoint{r.Right, r.Top}),
                                  Transform(TFloatPoint{r.Right, r.Bottom}), Transform(TFloatPoint{r.Left, r.Bottom})};
  float minX = corners[0].X, maxX = corners[0].X, minY = corners[0].Y, maxY = corners[0].Y;
  for (const TFloatPoint& c : corners) {
    minX = std::min(minX, c.X);
    maxX = std::max(maxX, c.X);
    minY = std::min(minY, c.Y);
    maxY = std::max(maxY, c.Y);
  }
  return {RoundToInt(minX - 0.5), RoundToInt(minY - 0.5), RoundToInt(maxX + 0.5), RoundToInt(maxY + 0.5)};
}

}  // namespace lumora
