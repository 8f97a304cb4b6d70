// Font names as PDF producers write them, turned into families a system font can be looked
// up by, and the look of a document font (weight, slant, width, serif, fixed pitch) read from
// its name, descriptor and embedded program.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "dynapdf_abi.h"
#include "fonts/pdf_font.h"

namespace pdfcore {

enum TextStyle : int32_t { kStyleItalic = 1, kStyleBold = 2 };

inline constexpr int kWeightRegular = 400;
inline constexpr int kWeightBold = 700;
inline constexpr int kWidthNormal = 5;  // OS/2 width classes 1 (ultra-condensed) .. 9

// Longest family or font name we look at; longer names are refused rather than guessed at.
inline constexpr size_t kMaxFontNameLength = 255;

struct FamilyRequest {
  // Families to try, best first: the name as given, then forms without a style suffix, a
  // PostScript tail ("MT", "PSMT") or camel case ("TimesNewRoman" -> "Times New Roman"),
  // then the families Debian installs the same design under ("NimbusRomNo9L" -> "Nimbus
  // Roman", "CMBX12" -> "LM Roman 12").
  std::vector<std::string> candidates;
  // The PostScript name of the face (subset prefix and comma style cut off), which may name
  // one installed face exactly ("LinBiolinumOB", "Roboto-Medium").
  std::string postScriptName;
  int32_t style = 0;   // the style flags asked for, plus what the name itself says
  int weight = 0;      // 100..900 when the name states a weight ("Medium", "Medi", "BX"), else 0
  int widthClass = 0;  // 1..9 when the name states a width ("Cond", "Narrow"), else 0
  int serif = -1;      // 1 / 0 when the name tells serif from sans (TeX codes, "Sans"), else -1
  bool fixedPitch = false;  // the name says monospaced ("Mono", "Courier", TeX's TT)
};

// Empty candidates when the name is empty or too long to be a font name.
FamilyRequest ParseFamilyName(std::string_view name, int32_t style);

// Case, blanks, hyphens and underscores ignored, as fontconfig compares families.
std::string NormalizeFamily(std::string_view family);

// True when `matched` is `requested` or one of its metric-compatible stand-ins
// (Arial / Helvetica / Liberation Sans / Nimbus Sans, Calibri / Carlito, ...).
bool IsSameOrMetricAlias(std::string_view requested, std::string_view matched);

struct FontLook {
  int weight = kWeightRegular;  // 100..900, as OS/2 and CSS count
  bool italic = false;
  bool serif = false;
  bool fixedPitch = false;
  int widthClass = kWidthNormal;
  bool Bold() const { return weight >= 600; }
  int32_t Style() const { return (Bold() ? kStyleBold : 0) | (italic ? kStyleItalic : 0); }
};

// What a document font looks like, from its descriptor flags, italic angle and name
// (CMBX10 and Times-Bold are bold, Helvetica-Oblique is slanted, Times is serif), and from
// what its descriptor and program say (/FontWeight, OS/2 weight class, PANOSE). A weight the
// name states wins over the program's: producers name the face they used.
FontLook LookOfFont(const TPDFFontInfo& info, const FontStyleFacts& facts = {});

// The look asked for by a family name and style flags alone.
FontLook LookOfRequest(const FamilyRequest& request);

// Installed families of the same kind (serif, sans, monospaced) for a font whose own design
// is missing, metric-compatible ones first, then families with many weights.
std::vector<std::string> LookAlikeFamilies(const FontLook& look);

}  // namespace pdfcore
