#include "textout/font_name.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace pdfcore {
namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

bool Contains(std::string_view lowerText, std::string_view lowerWord) {
  return lowerText.find(lowerWord) != std::string_view::npos;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

bool EndsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
    text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
    text.remove_suffix(1);
  return text;
}

// "ABCDEF+" in front of the name of an embedded subset.
std::string_view WithoutSubsetPrefix(std::string_view name) {
  if (name.size() > 7 && name[6] == '+' && std::all_of(name.begin(), name.begin() + 6, [](char c) {
        return std::isupper(static_cast<unsigned char>(c));
      })) {
    name.remove_prefix(7);
  }
  return name;
}

int32_t StyleOfWords(std::string_view text) {
  std::string lower = Lower(text);
  int32_t style = 0;
  for (std::string_view word : {"bold", "black", "heavy", "demi", "semibold", "extrabold"}) {
    if (Contains(lower, word)) style |= kStyleBold;
  }
  for (std::string_view word : {"italic", "oblique", "slanted", "inclined", "kursiv"}) {
    if (Contains(lower, word)) style |= kStyleItalic;
  }
  return style;
}

bool IsStyleWord(std::string_view word) {
  static constexpr std::array<std::string_view, 16> kWords = {
      "bold",  "italic", "oblique",  "regular",  "roman",     "book",   "black", "heavy",
      "light", "medium", "semibold", "demibold", "extrabold", "normal", "plain", "demi"};
  std::string lower = Lower(word);
  return std::find(kWords.begin(), kWords.end(), lower) != kWords.end();
}

// "Arial Bold Italic" -> "Arial" and the style of the words cut off.
std::string_view WithoutTrailingStyleWords(std::string_view family, int32_t& style) {
  for (;;) {
    size_t blank = family.rfind(' ');
    if (blank == std::string_view::npos) return family;
    std::string_view word = family.substr(blank + 1);
    if (!IsStyleWord(word)) return family;
    style |= StyleOfWords(word);
    family = Trim(family.substr(0, blank));
  }
}

std::string_view WithoutPostScriptTail(std::string_view family) {
  for (std::string_view tail : {"PSMT", "MT", "PS"}) {
    if (family.size() > tail.size() + 1 && EndsWith(family, tail)) {
      return family.substr(0, family.size() - tail.size());
    }
  }
  return family;
}

// "TimesNewRoman" -> "Times New Roman"; names that already have blanks stay as they are.
std::string SplitCamelCase(std::string_view family) {
  std::string out;
  if (family.find(' ') != std::string_view::npos) return std::string(family);
  for (size_t i = 0; i < family.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(family[i]);
    if (i > 0 && std::isupper(c) && std::islower(static_cast<unsigned char>(family[i - 1]))) {
      out += ' ';
    }
    out += family[i];
  }
  return out;
}

void AddCandidate(std::vector<std::string>& candidates, std::string_view family) {
  family = Trim(family);
  if (family.empty()) return;
  for (const std::string& known : candidates) {
    if (known == family) return;
  }
  candidates.emplace_back(family);
}

// Families that stand in for each other with the same metrics, as fontconfig's metric
// aliases pair them. Normalized spelling.
const std::vector<std::vector<std::string_view>>& MetricAliasGroups() {
  static const std::vector<std::vector<std::string_view>> kGroups = {
      {"arial", "helvetica", "arimo", "liberationsans", "nimbussans", "albany", "helveticaneue"},
      {"timesnewroman", "times", "timesroman", "tinos", "liberationserif", "nimbusroman",
       "thorndale"},
      {"couriernew", "courier", "cousine", "liberationmono", "nimbusmonops", "cumberland"},
      {"calibri", "carlito"},
      {"cambria", "caladea"},
      {"arialnarrow", "helveticanarrow", "liberationsansnarrow", "nimbussansnarrow"},
      {"palatino", "palatinolinotype", "bookantiqua", "p052", "texgyrepagella"},
      {"bookman", "itcbookman", "bookmanoldstyle", "urwbookman", "texgyrebonum"},
      {"avantgarde", "itcavantgardegothic", "centurygothic", "urwgothic", "texgyreadventor"},
      {"newcenturyschoolbook", "centuryschoolbook", "c059", "texgyreschola"},
      {"zapfchancery", "itczapfchancery", "z003", "texgyrechorus"},
      {"symbol", "standardsymbolsps"},
      {"zapfdingbats", "itczapfdingbats", "d050000l", "dingbats"},
  };
  return kGroups;
}

}  // namespace

std::string NormalizeFamily(std::string_view family) {
  std::string out;
  out.reserve(family.size());
  for (char c : family) {
    if (c == ' ' || c == '-' || c == '_') continue;
    out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return out;
}

bool IsSameOrMetricAlias(std::string_view requested, std::string_view matched) {
  std::string want = NormalizeFamily(requested);
  std::string got = NormalizeFamily(matched);
  if (want.empty() || got.empty()) return false;
  if (want == got) return true;
  for (const auto& group : MetricAliasGroups()) {
    bool hasWant = std::find(group.begin(), group.end(), want) != group.end();
    bool hasGot = std::find(group.begin(), group.end(), got) != group.end();
    if (hasWant && hasGot) return true;
  }
  return false;
}

FamilyRequest ParseFamilyName(std::string_view name, int32_t style) {
  FamilyRequest request;
  request.style = style & (kStyleBold | kStyleItalic);
  if (name.empty() || name.size() > kMaxFontNameLength) return request;
  if (name.find('\0') != std::string_view::npos) return request;

  std::string_view family = Trim(WithoutSubsetPrefix(name));
  size_t comma = family.find(',');
  if (comma != std::string_view::npos) {
    request.style |= StyleOfWords(family.substr(comma + 1));
    family = Trim(family.substr(0, comma));
  }
  AddCandidate(request.candidates, family);

  std::string_view base = family;
  size_t hyphen = family.find('-');
  if (hyphen != std::string_view::npos && hyphen > 0) {
    request.style |= StyleOfWords(family.substr(hyphen + 1));
    base = family.substr(0, hyphen);
  }
  base = WithoutTrailingStyleWords(base, request.style);
  AddCandidate(request.candidates, base);
  std::string_view untailed = WithoutPostScriptTail(base);
  AddCandidate(request.candidates, untailed);
  AddCandidate(request.candidates, SplitCamelCase(untailed));
  return request;
}

FontLook LookOfFont(const TPDFFontInfo& info) {
  FontLook look;
  std::string_view name = info.FontName ? std::string_view(info.FontName) : std::string_view();
  if (name.size() > kMaxFontNameLength) name = name.substr(0, kMaxFontNameLength);
  name = WithoutSubsetPrefix(name);
  std::string lower = Lower(name);

  look.fixedPitch = (info.Flags & PDF_FF_FIXED_PITCH) != 0;
  look.italic = (info.Flags & PDF_FF_ITALIC) != 0 || info.ItalicAngle != 0;
  look.bold = (info.Flags & PDF_FF_FORCE_BOLD) != 0;
  look.serif = (info.Flags & 0x2) != 0;  // descriptor flag Serif

  int32_t nameStyle = StyleOfWords(name);
  look.bold = look.bold || (nameStyle & kStyleBold) != 0;
  look.italic = look.italic || (nameStyle & kStyleItalic) != 0;

  // TeX's Computer Modern and its successors carry weight and shape in short name codes.
  bool computerModern = StartsWith(lower, "cm") || StartsWith(lower, "sf") ||
                        StartsWith(lower, "lm") || StartsWith(lower, "ec");
  if (computerModern) {
    std::string_view code = std::string_view(lower).substr(2);
    if (StartsWith(code, "bx") || StartsWith(code, "b")) look.bold = true;
    if (Contains(code, "ti") || Contains(code, "sl") || Contains(code, "it") ||
        StartsWith(code, "mi")) {
      look.italic = true;
    }
    if (StartsWith(code, "tt") || Contains(lower, "mono")) {
      look.fixedPitch = true;
    } else if (!StartsWith(code, "ss") && !Contains(lower, "sans")) {
      look.serif = true;
    }
  }

  for (std::string_view word : {"courier", "mono", "consolas", "typewriter", "fixed"}) {
    if (Contains(lower, word)) look.fixedPitch = true;
  }
  for (std::string_view word :
       {"times", "roman", "serif", "georgia", "garamond", "palatino", "cambria", "minion",
        "century", "baskerville", "bookman", "caslon", "didot", "bodoni", "caladea", "antiqua"}) {
    if (Contains(lower, word)) look.serif = true;
  }
  for (std::string_view word : {"sans", "arial", "helvetica", "verdana", "calibri", "gothic"}) {
    if (Contains(lower, word)) look.serif = false;
  }
  return look;
}

std::string LookAlikeFamily(const FontLook& look) {
  if (look.fixedPitch) return "Liberation Mono";
  if (look.serif) return "Liberation Serif";
  return "Liberation Sans";
}

}  // namespace pdfcore
