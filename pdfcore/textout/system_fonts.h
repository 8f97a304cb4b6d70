// System fonts found through fontconfig: a family in a style (accepting only the family
// itself and its metric-compatible stand-ins, never fontconfig's generic last resort), and a
// font that has a given character for text the chosen font can't show.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pdfcore {

struct SystemFontFile {
  std::string path;
  int index = 0;       // face index inside a collection
  std::string family;  // the family fontconfig reports for it
  bool operator==(const SystemFontFile&) const = default;
};

// Only TrueType and CFF-flavoured OpenType fonts qualify: those are what can be embedded as a
// CIDFontType2 / CIDFontType0 subset.
std::optional<SystemFontFile> FindSystemFamily(std::string_view family, int32_t style);

// A font that has `codePoint`, as close as fontconfig finds it to the style asked for.
std::optional<SystemFontFile> FindSystemFontWithCharacter(char32_t codePoint, int32_t style,
                                                          bool serif);

}  // namespace pdfcore
