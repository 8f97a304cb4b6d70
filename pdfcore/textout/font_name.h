// Font names as PDF producers write them, turned into families a system font can be looked
// up by, and the look of a document font (weight, slant, serif, fixed pitch) read from its
// name and descriptor.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "dynapdf_abi.h"

namespace pdfcore {

enum TextStyle : int32_t { kStyleItalic = 1, kStyleBold = 2 };

// Longest family or font name we look at; longer names are refused rather than guessed at.
inline constexpr size_t kMaxFontNameLength = 255;

struct FamilyRequest {
  // Families to try, best first: the name as given, then forms without a style suffix,
  // a PostScript tail ("MT", "PSMT") or camel case ("TimesNewRoman" -> "Times New Roman").
  std::vector<std::string> candidates;
  int32_t style = 0;  // the style flags asked for, plus what the name itself says
};

// Empty candidates when the name is empty or too long to be a font name.
FamilyRequest ParseFamilyName(std::string_view name, int32_t style);

// Case, blanks, hyphens and underscores ignored, as fontconfig compares families.
std::string NormalizeFamily(std::string_view family);

// True when `matched` is `requested` or one of its metric-compatible stand-ins
// (Arial / Helvetica / Liberation Sans / Nimbus Sans, Calibri / Carlito, ...).
bool IsSameOrMetricAlias(std::string_view requested, std::string_view matched);

struct FontLook {
  bool bold = false;
  bool italic = false;
  bool serif = false;
  bool fixedPitch = false;
  int32_t Style() const { return (bold ? kStyleBold : 0) | (italic ? kStyleItalic : 0); }
};

// What a document font looks like, from its descriptor flags, italic angle and name
// (CMBX10 and Times-Bold are bold, Helvetica-Oblique is slanted, Times is serif).
FontLook LookOfFont(const TPDFFontInfo& info);

// The installed family closest in look when a font's own family is missing.
std::string LookAlikeFamily(const FontLook& look);

}  // namespace pdfcore
