// 3x3 single matrices and the affine transformation the surfaces use.
#pragma once

#include <array>

#include "render/geometry.h"

namespace lumora {

// M[i][j]: the first index selects the input component (X, Y or the constant
// 1), the second the output component.
using TFloatMatrix = std::array<std::array<float, 3>, 3>;

inline constexpr TFloatMatrix IdentityMatrix{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};

// The product that maps a point through B first and then through A.
TFloatMatrix MatrixMult(const TFloatMatrix& a, const TFloatMatrix& b);
float MatrixDeterminant(const TFloatMatrix& m);
// The inverse, or the identity when the determinant is below 1e-5 in size.
TFloatMatrix MatrixInvert(const TFloatMatrix& m);

class TAffineTransformation {
 public:
  TAffineTransformation() = default;

  const TFloatMatrix& Matrix() const { return fMatrix; }
  void SetMatrix(const TFloatMatrix& m);
  void Clear();

  // The source rectangle whose transformed bounds the surfaces draw into.
  TFloatRect SrcRect;

  // Each step applies after what the matrix already does.
  void Translate(float dx, float dy);
  void Scale(float sx, float sy);
  void Skew(float fx, float fy);
  void Rotate(float cx, float cy, float degrees);

  TFloatPoint Transform(const TFloatPoint& p) const;
  TFixedPoint Transform(const TFixedPoint& p) const;
  TFloatPoint ReverseTransform(const TFloatPoint& p) const;
  TFixedPoint ReverseTransform(const TFixedPoint& p) const;
  TPoint ReverseTransform(const TPoint& p) const;

  TRect TransformedBounds(const TFloatRect& r) const;
  TRect TransformedBounds() const { return TransformedBounds(SrcRect); }

  // Counts every change of the matrix, so that callers can tell whether
  // something derived from it is still current.
  unsigned ChangeCount() const { return fChangeCount; }

 private:
  void applyAfter(const TFloatMatrix& step);
  void changed();
  const TFloatMatrix& inverse() const;

  TFloatMatrix fMatrix = IdentityMatrix;
  mutable TFloatMatrix fInverse = IdentityMatrix;
  mutable bool fInverseValid = true;
  unsigned fChangeCount = 0;
};

}  // namespace lumora
