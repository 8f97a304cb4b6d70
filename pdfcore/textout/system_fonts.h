// System fonts found through fontconfig: a family in a style (accepting only the family
// itself and its metric-compatible stand-ins, never fontconfig's generic last resort), and a
// font that has a given character for text the chosen font can't show.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "textout/font_name.h"

namespace pdfcore {

struct SystemFontFile {
  std::string path;
  int index = 0;        // face index inside a collection
  std::string family;   // the family fontconfig reports for it
  int weight = 400;     // of the face, 100..900
  bool italic = false;  // italic, oblique or a slanted design
  std::string postScriptName;
  bool operator==(const SystemFontFile&) const = default;
};

struct FaceQuery {
  std::string family;
  int weight = 400;  // 100..900
  bool italic = false;
  int widthClass = 5;  // 1..9, 5 normal
  // Only a face within a step of the weight (Medium for Medium); otherwise any face on the
  // same side of regular (Bold or Semibold for Medium, never Regular).
  bool exactWeight = false;
};

// Whether a face of `faceWeight` / `faceItalic` keeps the look of a text of `weight` /
// `italic`: the slant always, and the weight never crosses between regular and bold.
bool StyleFits(int weight, bool italic, int faceWeight, bool faceItalic, bool exactWeight);

// Only TrueType and CFF-flavoured OpenType fonts qualify: those are what can be embedded as a
// CIDFontType2 / CIDFontType0 subset. The face is of the family asked for, one of its metric
// twins, or a family fontconfig's own configuration gives for it ahead of its generic
// fallbacks ("Nimbus Roman No9 L" -> Nimbus Roman), and fits the weight and slant.
std::optional<SystemFontFile> FindSystemFace(const FaceQuery& query);

// The installed face that has this PostScript name ("LinBiolinumOB", "Roboto-Medium"), when
// it fits the weight and slant.
std::optional<SystemFontFile> FindPostScriptFace(std::string_view postScriptName, int weight,
                                                 bool italic);

// The installed face a value is written in when the document's font can't show it, in the
// order that keeps most of the original's look: the very face (by PostScript name), the same
// design under one of its names, and, when `sameKindToo`, a face of the same kind (serif,
// sans, monospaced). Every step keeps the weight and the slant.
std::optional<SystemFontFile> ResolveFace(const FamilyRequest& request, const FontLook& look,
                                          bool sameKindToo);

// FindSystemFace for style flags (1 italic, 2 bold).
std::optional<SystemFontFile> FindSystemFamily(std::string_view family, int32_t style);

// A font that has `codePoint`, as close as fontconfig finds it to the style and kind asked for
// (serif, sans, or monospaced when `fixedPitch`).
std::optional<SystemFontFile> FindSystemFontWithCharacter(char32_t codePoint, int32_t style,
                                                          bool serif, bool fixedPitch = false);

}  // namespace pdfcore
