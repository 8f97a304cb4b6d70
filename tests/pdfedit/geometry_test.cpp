#include <cmath>
#include <cstring>
#include <limits>

#include <gtest/gtest.h>

#include "text_geometry.h"

namespace {

TPDFMatrix M(double a, double b, double c, double d, double e = 0, double f = 0) {
  return TPDFMatrix{a, b, c, d, e, f};
}

TPDFMatrix Rotation(double degrees) {
  const double r = degrees * 0.017453292519943295;
  return M(std::cos(r), std::sin(r), -std::sin(r), std::cos(r));
}

struct AngleScaleCase {
  const char* name;
  TPDFMatrix matrix;
  int32_t angle;
  double scale;
};

class AngleAndScale : public ::testing::TestWithParam<AngleScaleCase> {};

TEST_P(AngleAndScale, MatchesTheDirectionAndDiagonalLength) {
  const AngleScaleCase& c = GetParam();
  EXPECT_EQ(CalcAngle(c.matrix), c.angle);
  EXPECT_NEAR(CalcScale(c.matrix), c.scale, 1e-12);
}

INSTANTIATE_TEST_SUITE_P(
    Matrices, AngleAndScale,
    ::testing::Values(AngleScaleCase{"identity", M(1, 0, 0, 1), 0, 1.0},
                      AngleScaleCase{"quarter_turn", M(0, 1, -1, 0), 23040, 1.0},
                      AngleScaleCase{"half_turn", M(-1, 0, 0, -1), 46080, 1.0},
                      AngleScaleCase{"quarter_turn_back", M(0, -1, 1, 0), -23040, 1.0},
                      AngleScaleCase{"scaled_twice", M(2, 0, 0, 2, 7, 9), 0, 2.0},
                      AngleScaleCase{"y_flipped", M(1, 0, 0, -1), 0, 1.0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Geometry, AngleIgnoresTranslationAndTruncatesTowardZero) {
  EXPECT_EQ(CalcAngle(M(1, 0, 0, 1, 500, -300)), 0);
  // 10.5/256 degree is 10.5 units: truncated to 10, and -10.5 to -10.
  EXPECT_EQ(CalcAngle(Rotation(10.5 / 256)), 10);
  EXPECT_EQ(CalcAngle(Rotation(-10.5 / 256)), -10);
}

TEST(Geometry, DirectionsOneUnitApartAreDifferentLines) {
  const int32_t first = CalcAngle(Rotation(30.5 / 256));
  const int32_t second = CalcAngle(Rotation(31.5 / 256));
  EXPECT_EQ(second - first, 1);
  EXPECT_EQ(ClassifyLineGap(first == second, 0.0, 0.0, 1.0), TLineRelation::NewLine);
}

TEST(Geometry, AngleOfAMatrixWithoutDirectionIsZero) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(CalcAngle(M(nan, 0, 0, 1)), 0);
  EXPECT_EQ(CalcAngle(M(0, 0, 0, 0)), 0);
}

TEST(Geometry, MulMatrixAppliesTheSecondMatrixFirst) {
  const TPDFMatrix moveBy5 = M(1, 0, 0, 1, 5, 0);
  const TPDFMatrix moveBy3 = M(1, 0, 0, 1, 3, 0);
  const TPDFMatrix scale2 = M(2, 0, 0, 2);
  EXPECT_DOUBLE_EQ(MulMatrix(moveBy5, moveBy3).e, 8.0);
  EXPECT_DOUBLE_EQ(MulMatrix(scale2, moveBy3).e, 6.0);  // the translation is scaled
  EXPECT_DOUBLE_EQ(MulMatrix(moveBy3, scale2).e, 3.0);

  const TPDFMatrix rotate = M(0, 1, -1, 0, 10, 20);
  const TPDFMatrix text = M(2, 0, 0, 2, 1, 0);
  const TPoint direct = Transform(MulMatrix(rotate, text), 1, 1);
  const TPoint inner = Transform(text, 1, 1);
  const TPoint stepwise = Transform(rotate, inner.X, inner.Y);
  EXPECT_DOUBLE_EQ(direct.X, stepwise.X);
  EXPECT_DOUBLE_EQ(direct.Y, stepwise.Y);
}

TEST(Geometry, TranslateMovesAlongTheMatrixOwnXAxis) {
  TPDFMatrix m = M(0, 2, -2, 0, 10, 20);
  Translate(m, 3);
  const TPDFMatrix viaMul = MulMatrix(M(0, 2, -2, 0, 10, 20), M(1, 0, 0, 1, 3, 0));
  EXPECT_DOUBLE_EQ(m.e, viaMul.e);
  EXPECT_DOUBLE_EQ(m.f, viaMul.f);
  EXPECT_DOUBLE_EQ(m.e, 10.0);
  EXPECT_DOUBLE_EQ(m.f, 26.0);
}

TEST(Geometry, InvertUndoesTheMatrix) {
  TPDFMatrix m = M(2, 1, -1, 3, 7, -4);
  TPDFMatrix inverse = m;
  ASSERT_TRUE(Invert(inverse));
  const TPDFMatrix product = MulMatrix(inverse, m);
  EXPECT_NEAR(product.a, 1, 1e-12);
  EXPECT_NEAR(product.b, 0, 1e-12);
  EXPECT_NEAR(product.c, 0, 1e-12);
  EXPECT_NEAR(product.d, 1, 1e-12);
  EXPECT_NEAR(product.e, 0, 1e-12);
  EXPECT_NEAR(product.f, 0, 1e-12);
}

TEST(Geometry, SingularMatrixIsLeftUnchangedAndReported) {
  const double inf = std::numeric_limits<double>::infinity();
  for (const TPDFMatrix& singular : {M(0, 0, 0, 0, 5, 6), M(1, 2, 2, 4, 1, 1), M(inf, 0, 0, 1)}) {
    TPDFMatrix m = singular;
    EXPECT_TRUE(IsSingular(m));
    EXPECT_FALSE(Invert(m));
    EXPECT_EQ(std::memcmp(&m, &singular, sizeof m), 0);
  }
  EXPECT_FALSE(IsSingular(M(1, 0, 0, -1, 3, 4)));
}

TEST(Geometry, DistanceAndTolerance) {
  EXPECT_DOUBLE_EQ(Distance(1, 1, 4, 5), 5.0);
  // Half a space of width 0.5 at scale 2 is 0.5 device units.
  EXPECT_DOUBLE_EQ(HalfSpaceTolerance(M(2, 0, 0, 2), 0.5f), 0.5);
}

TEST(Geometry, LineDeltaHorizontalIsSignedAlongAndAbsoluteAcross) {
  const TPDFMatrix unused = M(1, 0, 0, 1);
  const TLineDelta back = LineDelta(unused, unused, 8, 97, 10, 100, 0);
  EXPECT_DOUBLE_EQ(back.dx, -2.0);
  EXPECT_DOUBLE_EQ(back.dy, 3.0);
}

TEST(Geometry, LineDeltaRotatedMeasuresAcrossTheReferenceBaseline) {
  // Reference line running up the page from (100, 0); the record starts 5
  // units further along it and 1.5 units to its left.
  TPDFMatrix reference = M(0, 1, -1, 0, 100, 0);
  ASSERT_TRUE(Invert(reference));
  const TPDFMatrix record = M(0, 1, -1, 0, 98.5, 5);
  const TLineDelta delta = LineDelta(reference, record, 98.5, 5, 100, 2, 23040);
  EXPECT_DOUBLE_EQ(delta.dx, Distance(100, 2, 98.5, 5));
  EXPECT_DOUBLE_EQ(delta.dy, 1.5);
}

struct GapCase {
  const char* name;
  bool sameAngle;
  double dx;
  double dy;
  TLineRelation expected;
};

class LineTestWithUnitTolerance : public ::testing::TestWithParam<GapCase> {};

TEST_P(LineTestWithUnitTolerance, ClassifiesTheGap) {
  const GapCase& c = GetParam();
  EXPECT_EQ(ClassifyLineGap(c.sameAngle, c.dx, c.dy, 1.0), c.expected);
}

const double kAbove2 = std::nextafter(2.0, 3.0);
const double kAbove1 = std::nextafter(1.0, 2.0);
const double kAbove6 = std::nextafter(6.0, 7.0);
const double kBelowMinus1 = std::nextafter(-1.0, -2.0);
const double kNaN = std::numeric_limits<double>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(
    Bounds, LineTestWithUnitTolerance,
    ::testing::Values(GapCase{"rise_2_continues", true, 0.0, 2.0, TLineRelation::Adjacent},
                      GapCase{"rise_above_2_breaks", true, 0.0, kAbove2, TLineRelation::NewLine},
                      GapCase{"dx_1_adjacent", true, 1.0, 0.0, TLineRelation::Adjacent},
                      GapCase{"dx_above_1_space", true, kAbove1, 0.0, TLineRelation::WordSpace},
                      GapCase{"dx_6_space", true, 6.0, 0.0, TLineRelation::WordSpace},
                      GapCase{"dx_above_6_breaks", true, kAbove6, 0.0, TLineRelation::NewLine},
                      GapCase{"dx_minus_1_adjacent", true, -1.0, 0.0, TLineRelation::Adjacent},
                      GapCase{"dx_below_minus_1_breaks", true, kBelowMinus1, 0.0,
                              TLineRelation::NewLine},
                      GapCase{"other_direction_breaks", false, 0.0, 0.0, TLineRelation::NewLine},
                      GapCase{"nan_dx_breaks", true, kNaN, 0.0, TLineRelation::NewLine},
                      GapCase{"nan_dy_breaks", true, 0.0, kNaN, TLineRelation::NewLine}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Geometry, KerningGapBoundIsHalfASpaceExclusive) {
  EXPECT_FALSE(IsKerningGap(-0.125f, 0.25f));
  EXPECT_TRUE(IsKerningGap(-0.126f, 0.25f));
  EXPECT_FALSE(IsKerningGap(0.3f, 0.25f));
}

}  // namespace
