#include "text_geometry.h"

#include <cmath>

namespace {
constexpr double kRadiansPerDegree = 0.017453292519943295;
constexpr double kHalfSqrt2 = 0.7071067811865476;
constexpr double kMaxWordGapInTolerances = 6.0;
}  // namespace

TPDFMatrix IdentityMatrix() { return TPDFMatrix{1.0, 0.0, 0.0, 1.0, 0.0, 0.0}; }

TPDFMatrix MulMatrix(const TPDFMatrix& M1, const TPDFMatrix& M2) {
  TPDFMatrix R;
  R.a = M2.a * M1.a + M2.b * M1.c;
  R.b = M2.a * M1.b + M2.b * M1.d;
  R.c = M2.c * M1.a + M2.d * M1.c;
  R.d = M2.c * M1.b + M2.d * M1.d;
  R.e = M2.e * M1.a + M2.f * M1.c + M1.e;
  R.f = M2.e * M1.b + M2.f * M1.d + M1.f;
  return R;
}

TPoint Transform(const TPDFMatrix& M, double x, double y) {
  return TPoint{x * M.a + y * M.c + M.e, x * M.b + y * M.d + M.f};
}

void Translate(TPDFMatrix& M, double t) {
  M.e += t * M.a;
  M.f += t * M.b;
}

bool IsSingular(const TPDFMatrix& M) {
  const double det = M.a * M.d - M.b * M.c;
  return det == 0.0 || !std::isfinite(det) || !std::isfinite(M.e) || !std::isfinite(M.f);
}

bool Invert(TPDFMatrix& M) {
  if (IsSingular(M)) return false;
  const double r = 1.0 / (M.a * M.d - M.b * M.c);
  TPDFMatrix I;
  I.a = M.d * r;
  I.b = -M.b * r;
  I.c = -M.c * r;
  I.d = M.a * r;
  I.e = -M.e * I.a - M.f * I.c;
  I.f = -M.e * I.b - M.f * I.d;
  M = I;
  return true;
}

int32_t CalcAngle(const TPDFMatrix& M) {
  const TPoint p0 = Transform(M, 0.0, 0.0);
  const TPoint p1 = Transform(M, 1.0, 0.0);
  const double scaled = std::atan2(p1.Y - p0.Y, p1.X - p0.X) / kRadiansPerDegree * 256.0;
  // Converting a NaN to an integer is undefined; such a record has no direction.
  if (!std::isfinite(scaled)) return 0;
  return static_cast<int32_t>(scaled);
}

double CalcScale(const TPDFMatrix& M) {
  const double u = kHalfSqrt2 * M.a + kHalfSqrt2 * M.c;
  const double v = kHalfSqrt2 * M.b + kHalfSqrt2 * M.d;
  return std::sqrt(u * u + v * v);
}

double Distance(double x1, double y1, double x2, double y2) {
  const double dx = x2 - x1;
  const double dy = y2 - y1;
  return std::sqrt(dx * dx + dy * dy);
}

double HalfSpaceTolerance(const TPDFMatrix& textRendering, float spaceWidth) {
  return CalcScale(textRendering) * static_cast<double>(spaceWidth) * 0.5;
}

TLineDelta LineDelta(const TPDFMatrix& R, const TPDFMatrix& M, double X, double Y, double lastX,
                     double lastY, int32_t angle) {
  if (angle == 0) return TLineDelta{X - lastX, std::fabs(Y - lastY)};
  return TLineDelta{Distance(lastX, lastY, X, Y), std::fabs(MulMatrix(R, M).f)};
}

TLineRelation ClassifyLineGap(bool sameAngle, double dx, double dy, double tol) {
  // Written as "stays on the line when ..." so that NaN falls to a new line.
  if (!sameAngle || !(dy <= kMaxLineRise)) return TLineRelation::NewLine;
  if (!(dx >= -tol) || !(dx <= kMaxWordGapInTolerances * tol)) return TLineRelation::NewLine;
  if (dx > tol) return TLineRelation::WordSpace;
  return TLineRelation::Adjacent;
}

bool ContinuesWordAcrossKern(double dx, double dy, double em, double maxKernInEm) {
  constexpr double kMaxBaselineShiftInEm = 0.01;
  return em > 0 && dy <= kMaxBaselineShiftInEm * em && dx >= -maxKernInEm * em && dx < 0;
}

bool IsRaisedOrLowered(double dy, double em) {
  constexpr double kMaxRiseInEm = 0.6;
  return em > 0 && dy <= kMaxRiseInEm * em;
}

bool IsKerningGap(float advance, float spaceWidth) {
  const float bound = -spaceWidth / 2.0f;
  return advance < bound;
}
