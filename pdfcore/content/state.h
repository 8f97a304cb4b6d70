// Graphics and text state of the content interpreter, and the small helpers around it.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include <qpdf/QPDFObjectHandle.hh>

#include "core/errors.h"
#include "dynapdf_abi.h"

namespace pdfcore {
class PdfFont;
}

namespace pdfcore::content {

// A PDF matrix [a b c d e f]; a point (x, y) maps to (x·a + y·c + e, x·b + y·d + f).
struct Matrix {
  double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;
  bool operator==(const Matrix&) const = default;
};

// `first` applied, then `second` (PDF's first × second).
Matrix Concat(const Matrix& first, const Matrix& second);
// The matrix moved by (tx, ty) in its own space: [1 0 0 1 tx ty] × m.
Matrix Translated(const Matrix& m, double tx, double ty);
TPDFMatrix ToAbi(const Matrix& m);
Matrix FromAbi(const TPDFMatrix& m);
// The inverse of `m`; false (and `out` untouched) when `m` is singular or not finite.
bool Inverted(const Matrix& m, Matrix& out);

// Where fonts come from: the document's font cache, or a stand-in in tests.
class FontSource {
 public:
  virtual ~FontSource() = default;
  // The font of a font dictionary; never null.
  virtual PdfFont* Font(QPDFObjectHandle fontDict) = 0;
  // A font for text whose font is missing, so the text is still delivered; never null.
  virtual PdfFont* Fallback() = 0;
  // True once a font could not be had and a stand-in was given in its place.
  virtual bool Substituted() const { return false; }
};

// Reports each kind of problem once per content, so junk repeated a million times costs one
// message and not a million.
class Reporter {
 public:
  explicit Reporter(ErrorSink& sink) : sink_(sink) {}
  void Once(const std::string& key, int32_t code, const std::string& message, int32_t type);
  ErrorSink& Sink() { return sink_; }

 private:
  ErrorSink& sink_;
  std::set<std::string> reported_;
};

// A colour as set by the content: its space token and exact components.
struct ColorValue {
  int32_t space = PDF_CS_DEVICE_GRAY;
  std::vector<double> components{0.0};
  std::string patternName;  // pattern colours: the pattern's resource name
  QPDFObjectHandle pattern;
  bool operator==(const ColorValue& other) const {
    return space == other.space && components == other.components &&
           patternName == other.patternName;
  }
};

struct GraphicsState {
  Matrix ctm;
  ColorValue fill;
  ColorValue stroke;
  // Text state: part of the graphics state, saved and restored by q/Q.
  PdfFont* font = nullptr;
  double fontSize = 0;
  double charSpacing = 0;      // Tc
  double wordSpacing = 0;      // Tw
  double horizontalScale = 1;  // Tz / 100
  double leading = 0;          // TL
  double rise = 0;             // Ts
  int32_t renderMode = 0;      // Tr
};

// Number of components of a colour space family, and the initial colour `cs` selects.
std::vector<double> InitialColor(const std::string& family, QPDFObjectHandle space);

}  // namespace pdfcore::content
