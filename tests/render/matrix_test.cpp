#include "render/matrix.h"

#include <gtest/gtest.h>

namespace lumora {
namespace {

TEST(Matrix, MultAppliesTheRightOperandFirst) {
  TFloatMatrix scale = IdentityMatrix;
  scale[0][0] = 2;
  scale[1][1] = 3;
  TFloatMatrix shift = IdentityMatrix;
  shift[2][0] = 10;
  shift[2][1] = 20;
  // Through shift first, then scale: (1, 1) → (11, 21) → (22, 63).
  const TFloatMatrix m = MatrixMult(scale, shift);
  EXPECT_FLOAT_EQ(m[2][0], 20);
  EXPECT_FLOAT_EQ(m[2][1], 60);
  TAffineTransformation t;
  t.SetMatrix(m);
  EXPECT_EQ(t.Transform(TFloatPoint{1, 1}), (TFloatPoint{22, 63}));
}

TEST(Matrix, InvertAndItsThreshold) {
  TFloatMatrix tiny = IdentityMatrix;
  tiny[0][0] = 0.000001f;
  EXPECT_EQ(MatrixInvert(tiny), IdentityMatrix) << "determinant 0.000001 is below 1e-5";

  TFloatMatrix m = IdentityMatrix;
  m[0][0] = 2;
  m[1][1] = 4;
  m[2][0] = 6;
  m[2][1] = -8;
  const TFloatMatrix inverse = MatrixInvert(m);
  EXPECT_FLOAT_EQ(inverse[0][0], 0.5f);
  EXPECT_FLOAT_EQ(inverse[1][1], 0.25f);
  EXPECT_FLOAT_EQ(inverse[2][0], -3);
  EXPECT_FLOAT_EQ(inverse[2][1], 2);
  EXPECT_FLOAT_EQ(MatrixDeterminant(m), 8);
}

TEST(AffineTransformation, StepsApplyAfterWhatIsThere) {
  TAffineTransformation t;
  t.Translate(10, 0);
  t.Scale(2, 3);
  // (1, 1) → (11, 1) → (22, 3).
  EXPECT_EQ(t.Transform(TFloatPoint{1, 1}), (TFloatPoint{22, 3}));
  t.Clear();
  EXPECT_EQ(t.Matrix(), IdentityMatrix);
  t.Skew(0.5f, 0.25f);
  // X' = X + 0.5 Y, Y' = 0.25 X + Y.
  EXPECT_EQ(t.Transform(TFloatPoint{4, 2}), (TFloatPoint{5, 3}));
}

TEST(AffineTransformation, RotationTurnsCounterClockwiseOnScreen) {
  TAffineTransformation t;
  t.Rotate(0, 0, 90);
  const TFloatPoint p = t.Transform(TFloatPoint{1, 0});
  EXPECT_NEAR(p.X, 0, 1e-6);
  EXPECT_NEAR(p.Y, -1, 1e-6) << "right turns to up, Y growing downwards";

  TAffineTransformation around;
  around.Rotate(5, 5, 180);
  const TFloatPoint q = around.Transform(TFloatPoint{6, 5});
  EXPECT_NEAR(q.X, 4, 1e-5);
  EXPECT_NEAR(q.Y, 5, 1e-5);
}

TEST(AffineTransformation, FixedAndReverseMappings) {
  TAffineTransformation t;
  t.Scale(2, 0.5f);
  t.Translate(3, -1);
  // Fixed: each product (a × b) sar 16 of the 64-bit product.
  EXPECT_EQ(t.Transform(TFixedPoint{0x18000, 0x40000}), (TFixedPoint{0x60000, 0x10000}));
  EXPECT_EQ(t.ReverseTransform(TFixedPoint{0x60000, 0x10000}), (TFixedPoint{0x18000, 0x40000}));
  EXPECT_EQ(t.ReverseTransform(TFloatPoint{6, 1}), (TFloatPoint{1.5f, 4}));
  // Integer reverse mapping rounds the fixed result: (4 − 3) / 2 = 0.5 → 1.
  EXPECT_EQ(t.ReverseTransform(TPoint{4, 0}), (TPoint{1, 2}));
  // Large coordinates keep the 64-bit products exact.
  TAffineTransformation big;
  big.Scale(4, 4);
  EXPECT_EQ(big.Transform(TFixedPoint{0x10000000, -0x10000000}), (TFixedPoint{0x40000000, -0x40000000}));

  // The inverse is prepared again after every change.
  const unsigned before = t.ChangeCount();
  t.Translate(1, 1);
  EXPECT_GT(t.ChangeCount(), before);
  EXPECT_EQ(t.ReverseTransform(TFloatPoint{7, 2}), (TFloatPoint{1.5f, 4}));
}

TEST(AffineTransformation, TransformedBoundsRoundOutwardsByHalfAPixel) {
  TAffineTransformation t;
  t.Translate(0.25f, 0.5f);
  // Corners (0.25, 0.5) and (10.25, 5.5): round(−0.25) = 0, round(0) = 0,
  // round(10.75) = 11, round(6) = 6.
  EXPECT_EQ(t.TransformedBounds(TFloatRect{0, 0, 10, 5}), (TRect{0, 0, 11, 6}));
  t.Clear();
  // Ties go to even: round(1.5) = 2 on the left, round(2.5) = 2 on the right.
  EXPECT_EQ(t.TransformedBounds(TFloatRect{2, 2, 2, 2}), (TRect{2, 2, 2, 2}));
  t.Scale(-1, 1);
  t.SrcRect = {0, 0, 4, 2};
  // X in [−4, 0]: round(−4.5) = −4, round(0.5) = 0; Y: round(−0.5) = 0, round(2.5) = 2.
  EXPECT_EQ(t.TransformedBounds(), (TRect{-4, 0, 0, 2}));
}

}  // namespace
}  // namespace lumora
