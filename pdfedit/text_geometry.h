// Matrix operations and the line and gap tests of the text editing engine.
//
// A matrix maps (x, y) to (x*a + y*c + e, x*b + y*d + f). Three spaces meet
// here: a record's text space, device space, and the text rendering matrix
// (text matrix followed by the current transformation matrix) between them.
#pragma once

#include <cstdint>

#include "dynapdf_abi.h"

struct TPoint {
  double X = 0.0;
  double Y = 0.0;
};

// dx along the reference line and dy across it, as the line test reads them.
struct TLineDelta {
  double dx = 0.0;
  double dy = 0.0;
};

// How a record stands to the record before it.
enum class TLineRelation {
  Adjacent,   // same line, touching (within half a space either way)
  WordSpace,  // same line, separated by a word space
  NewLine,    // a new line begins at the record
};

TPDFMatrix IdentityMatrix();

// M2 followed by M1.
TPDFMatrix MulMatrix(const TPDFMatrix& M1, const TPDFMatrix& M2);

TPoint Transform(const TPDFMatrix& M, double x, double y);

// Moves M by t along its own x axis.
void Translate(TPDFMatrix& M, double t);

// True when M has no usable inverse: determinant 0 or not a finite number.
bool IsSingular(const TPDFMatrix& M);

// Inverts M in place. A singular matrix is left unchanged and false is
// returned, so that no infinity or NaN reaches later comparisons.
bool Invert(TPDFMatrix& M);

// Direction of M's x axis in 1/256 degree, -46080..46080 (0 for a matrix
// whose direction is not a finite number).
int32_t CalcAngle(const TPDFMatrix& M);

// Length of the image of a unit vector on the diagonal.
double CalcScale(const TPDFMatrix& M);

double Distance(double x1, double y1, double x2, double y2);

// Half a space of a record, in device units: the tolerance of the line test
// for the record that follows it.
double HalfSpaceTolerance(const TPDFMatrix& textRendering, float spaceWidth);

// Offset of a record with text rendering matrix M and origin (X, Y) from the
// previous record's end point (lastX, lastY); for a direction other than 0,
// dy is measured against the inverted reference R.
TLineDelta LineDelta(const TPDFMatrix& R, const TPDFMatrix& M, double X, double Y, double lastX,
                     double lastY, int32_t angle);

// Two records whose baselines are further apart than this (in device units) are on different
// lines, but for text raised or lowered within its line.
inline constexpr double kMaxLineRise = 2.0;

// The line test. Any comparison that cannot be made (NaN) ends the line.
TLineRelation ClassifyLineGap(bool sameAngle, double dx, double dy, double tol);

// A step back too large for the line test that still continues the line: two operators that
// a producer cut inside a word at a tight kerning pair (groff and Ghostscript cut "AV", "Wa"),
// on the same baseline, moving back by less than 0.3 em. A new column, a right-aligned cell or
// overprinted text steps back further. TeX's logos kern a raised letter back by 0.36 em.
bool ContinuesWordAcrossKern(double dx, double dy, double em, double maxKernInEm = 0.3);

// Text raised or lowered within its line (a superscript, a footnote mark, TeX's logo): the
// baseline moves by more than the line test allows but by at most 0.6 em of the text before.
bool IsRaisedOrLowered(double dy, double em);

// True when a kerning advance stands for a word space: below -(space width)/2,
// the bound taken as a 32-bit float.
bool IsKerningGap(float advance, float spaceWidth);
