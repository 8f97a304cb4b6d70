#include "textout/font_name.h"

#include <algorithm>
#include <array>
#include <optional>
#include <span>

#include "base/ascii.h"
#include "fonts/font_program.h"

namespace pdfcore {
namespace {

bool Contains(std::string_view lowerText, std::string_view lowerWord) {
  return lowerText.find(lowerWord) != std::string_view::npos;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

bool EndsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// "ABCDEF+" in front of the name of an embedded subset.
std::string_view WithoutSubsetPrefix(std::string_view name) {
  if (name.size() > 7 && name[6] == '+' &&
      std::all_of(name.begin(), name.begin() + 6, ascii::IsUpper)) {
    name.remove_prefix(7);
  }
  return name;
}

// ---- style words ----

// Words of a style as producers spell them: "BoldItalicMT" -> bold, italic, mt; "MediItal" ->
// medi, ital; "Semi Bold" -> semi, bold. Cut at blanks and punctuation, where a lower-case
// letter meets an upper-case one, and where letters meet digits.
std::vector<std::string> StyleTokens(std::string_view text) {
  std::vector<std::string> tokens;
  std::string current;
  auto flush = [&] {
    if (!current.empty()) tokens.push_back(ascii::Lower(current));
    current.clear();
  };
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (!ascii::IsAlnum(c)) {
      flush();
      continue;
    }
    if (!current.empty()) {
      char previous = current.back();
      bool caseStep = ascii::IsLower(previous) && ascii::IsUpper(c);
      bool digitStep = ascii::IsDigit(previous) != ascii::IsDigit(c);
      if (caseStep || digitStep) flush();
    }
    current += c;
  }
  flush();
  return tokens;
}

struct StyleWord {
  std::string_view word;
  int weight;  // 0: says nothing of the weight
  bool italic;
  int widthClass;  // 0: says nothing of the width
};

// The words are compared whole; "medi" is URW's abbreviation of its bold ("NimbusRomNo9L-Medi"
// is Times Bold), "medium" the weight between regular and semibold.
constexpr StyleWord kStyleWords[] = {
    {"thin", 100, false, 0},
    {"hairline", 100, false, 0},
    {"extralight", 200, false, 0},
    {"ultralight", 200, false, 0},
    {"light", 300, false, 0},
    {"ligh", 300, false, 0},
    {"lt", 300, false, 0},
    {"book", 400, false, 0},
    {"regular", 400, false, 0},
    {"regu", 400, false, 0},
    {"reg", 400, false, 0},
    {"normal", 400, false, 0},
    {"roman", 400, false, 0},
    {"plain", 400, false, 0},
    {"medium", 500, false, 0},
    {"med", 500, false, 0},
    {"medi", 700, false, 0},
    {"semibold", 600, false, 0},
    {"semibd", 600, false, 0},
    {"demibold", 600, false, 0},
    {"demi", 600, false, 0},
    {"sb", 600, false, 0},
    {"bold", 700, false, 0},
    {"bd", 700, false, 0},
    {"extrabold", 800, false, 0},
    {"ultrabold", 800, false, 0},
    {"heavy", 800, false, 0},
    {"black", 900, false, 0},
    {"blac", 900, false, 0},
    {"ultrablack", 900, false, 0},
    {"italic", 0, true, 0},
    {"ital", 0, true, 0},
    {"it", 0, true, 0},
    {"oblique", 0, true, 0},
    {"obli", 0, true, 0},
    {"obl", 0, true, 0},
    {"slanted", 0, true, 0},
    {"slant", 0, true, 0},
    {"inclined", 0, true, 0},
    {"kursiv", 0, true, 0},
    {"condensed", 0, false, 3},
    {"cond", 0, false, 3},
    {"cn", 0, false, 3},
    {"narrow", 0, false, 3},
    {"compressed", 0, false, 2},
    {"semicondensed", 0, false, 4},
    {"extended", 0, false, 7},
    {"expanded", 0, false, 7},
    {"wide", 0, false, 7},
};

// PostScript and foundry tails that say nothing of the style.
bool IsNeutralTail(std::string_view token) {
  return token == "mt" || token == "ps" || token == "psmt" || token == "std" || token == "pro" ||
         token == "lf" || token == "osf";
}

// "semi" / "demi" / "extra" / "ultra" before a weight or width word, as in "Semi Bold".
std::optional<std::string> JoinedWithModifier(const std::vector<std::string>& tokens, size_t& i) {
  static constexpr std::string_view kModifiers[] = {"semi", "demi", "extra", "ultra"};
  if (i + 1 >= tokens.size()) return std::nullopt;
  if (std::find(std::begin(kModifiers), std::end(kModifiers), tokens[i]) == std::end(kModifiers)) {
    return std::nullopt;
  }
  std::string joined = tokens[i] + tokens[i + 1];
  for (const StyleWord& w : kStyleWords) {
    if (w.word == joined) {
      ++i;
      return joined;
    }
  }
  return std::nullopt;
}

const StyleWord* FindStyleWord(std::string_view token) {
  for (const StyleWord& w : kStyleWords) {
    if (w.word == token) return &w;
  }
  return nullptr;
}

void Apply(const StyleWord& word, FamilyRequest& request) {
  if (word.weight != 0) request.weight = std::max(request.weight, word.weight);
  if (word.italic) request.style |= kStyleItalic;
  if (word.widthClass != 0) request.widthClass = word.widthClass;
}

// Reads every style word of `text` into the request; true when `text` held nothing else.
bool ApplyStyleText(std::string_view text, FamilyRequest& request) {
  std::vector<std::string> tokens = StyleTokens(text);
  bool onlyStyle = true;
  for (size_t i = 0; i < tokens.size(); ++i) {
    std::string token = tokens[i];
    if (auto joined = JoinedWithModifier(tokens, i)) token = *joined;
    if (const StyleWord* word = FindStyleWord(token)) {
      Apply(*word, request);
    } else if (!IsNeutralTail(token)) {
      onlyStyle = false;
    }
  }
  return onlyStyle;
}

// "Arial Bold Italic" -> "Arial", "ArialBold" -> "Arial", reading the words cut off. Words
// run together with the family are cut only when they carry a style: "TimesNewRoman" keeps
// its "Roman".
std::string_view WithoutTrailingStyleWords(std::string_view family, FamilyRequest& request) {
  for (;;) {
    size_t blank = family.find_last_of(' ');
    std::string_view word;
    if (blank != std::string_view::npos) {
      word = family.substr(blank + 1);
      const StyleWord* style = FindStyleWord(ascii::Lower(word));
      if (!style && !IsNeutralTail(ascii::Lower(word))) return family;
      if (style) Apply(*style, request);
      family = ascii::Trim(family.substr(0, blank));
      continue;
    }
    // Run together: the last upper-case word ("Bold" in "ArialBold").
    size_t start = family.size();
    while (start > 0 && !ascii::IsUpper(family[start - 1])) --start;
    if (start <= 1 || start == family.size()) return family;
    --start;
    word = family.substr(start);
    const StyleWord* style = FindStyleWord(ascii::Lower(word));
    bool marked = style && (style->weight != kWeightRegular || style->italic || style->widthClass);
    if (!marked) return family;
    Apply(*style, request);
    family = family.substr(0, start);
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
    if (i > 0 && ascii::IsUpper(family[i]) && ascii::IsLower(family[i - 1])) out += ' ';
    out += family[i];
  }
  return out;
}

void AddCandidate(std::vector<std::string>& candidates, std::string_view family) {
  family = ascii::Trim(family);
  if (family.empty()) return;
  for (const std::string& known : candidates) {
    if (known == family) return;
  }
  candidates.emplace_back(family);
}

// ---- renamed designs ----

// URW's 2000-era names for the PostScript standard fonts, as pdfTeX's `times`, `helvet`,
// `palatino` and Ghostscript embed them, and what Debian installs them as today (the
// fonts-urw-base35 family, then the TeX Gyre one).
struct Rename {
  std::string_view normalized;
  std::array<std::string_view, 2> families;
  int serif;
  bool fixedPitch;
};
constexpr Rename kUrwRenames[] = {
    {"nimbusromno9l", {"Nimbus Roman", "TeX Gyre Termes"}, 1, false},
    {"nimbussanl", {"Nimbus Sans", "TeX Gyre Heros"}, 0, false},
    {"nimbusmonl", {"Nimbus Mono PS", "TeX Gyre Cursor"}, 0, true},
    {"urwpalladiol", {"P052", "TeX Gyre Pagella"}, 1, false},
    {"urwbookmanl", {"URW Bookman", "TeX Gyre Bonum"}, 1, false},
    {"centuryschl", {"C059", "TeX Gyre Schola"}, 1, false},
    {"urwchanceryl", {"Z003", "TeX Gyre Chorus"}, 1, false},
    {"urwgothicl", {"URW Gothic", "TeX Gyre Adventor"}, 0, false},
    {"standardsyml", {"Standard Symbols PS", ""}, -1, false},
    {"dingbats", {"D050000L", ""}, -1, false},
};

bool AddUrwRenames(const std::string& normalized, FamilyRequest& request) {
  for (const Rename& rename : kUrwRenames) {
    if (normalized != rename.normalized) continue;
    // "NimbusSanL-ReguCond": Helvetica Narrow.
    if (rename.normalized == "nimbussanl" && request.widthClass != 0 && request.widthClass < 5) {
      AddCandidate(request.candidates, "Nimbus Sans Narrow");
    }
    for (std::string_view family : rename.families) AddCandidate(request.candidates, family);
    if (request.serif < 0) request.serif = rename.serif;
    request.fixedPitch = request.fixedPitch || rename.fixedPitch;
    return true;
  }
  return false;
}

// TeX's Computer Modern (CMR10, CMBX12, CMTI10) and its T1 forms (EC and cm-super's SFRM1000):
// Latin Modern is the same design, in the same optical sizes.
struct TexCode {
  std::string_view code;
  std::string_view design;  // the Latin Modern family without its size
  int weight;
  bool italic;
};
constexpr TexCode kComputerModern[] = {
    {"rm", "Roman", 400, false},
    {"r", "Roman", 400, false},
    {"bx", "Roman", 700, false},
    {"b", "Roman", 700, false},
    {"ti", "Roman", 400, true},
    {"bxti", "Roman", 700, true},
    {"mi", "Roman", 400, true},
    {"mib", "Roman", 700, true},
    {"sl", "Roman Slanted", 400, true},
    {"bxsl", "Roman Slanted", 700, true},
    {"csc", "Roman Caps", 400, false},
    {"u", "Roman Unslanted", 400, false},
    {"dunh", "Roman Dunhill", 400, false},
    {"ss", "Sans", 400, false},
    {"ssbx", "Sans", 700, false},
    {"ssi", "Sans", 400, true},
    {"sssl", "Sans", 400, true},
    {"ssdc", "Sans Demi Cond", 600, false},
    {"tt", "Mono", 400, false},
    {"sltt", "Mono Slanted", 400, true},
    {"itt", "Mono", 400, true},
    {"tcsc", "Mono Caps", 400, false},
    {"vtt", "Mono Prop", 400, false},
};
constexpr TexCode kEuropeanModern[] = {
    {"rm", "Roman", 400, false},
    {"bx", "Roman", 700, false},
    {"rb", "Roman", 700, false},
    {"ti", "Roman", 400, true},
    {"bi", "Roman", 700, true},
    {"sl", "Roman Slanted", 400, true},
    {"bl", "Roman Slanted", 700, true},
    {"cc", "Roman Caps", 400, false},
    {"ui", "Roman Unslanted", 400, false},
    {"ss", "Sans", 400, false},
    {"sx", "Sans", 700, false},
    {"si", "Sans", 400, true},
    {"sz", "Sans", 700, true},
    {"tt", "Mono", 400, false},
    {"st", "Mono Slanted", 400, true},
    {"it", "Mono", 400, true},
    {"tc", "Mono Caps", 400, false},
};

bool AddTexRenames(const std::string& normalized, FamilyRequest& request) {
  std::string_view name = normalized;
  bool european = StartsWith(name, "sf") || StartsWith(name, "ec") || StartsWith(name, "tc");
  if (!european && !StartsWith(name, "cm")) return false;
  name.remove_prefix(2);
  size_t digits = name.size();
  while (digits > 0 && ascii::IsDigit(name[digits - 1])) --digits;
  std::string_view code = name.substr(0, digits);
  std::string_view sizeText = name.substr(digits);
  if (sizeText.empty() || sizeText.size() > 4) return false;
  int size = 0;
  for (char c : sizeText) size = size * 10 + (c - '0');
  if (european) size = (size + 50) / 100;  // "1000" is 10 points

  std::span<const TexCode> codes = european ? std::span<const TexCode>(kEuropeanModern)
                                            : std::span<const TexCode>(kComputerModern);
  const TexCode* found = nullptr;
  for (const TexCode& tex : codes) {
    if (tex.code == code) found = &tex;
  }
  if (!found) return false;
  std::string design(found->design);
  AddCandidate(request.candidates, "LM " + design + " " + std::to_string(size));
  std::string general = design.substr(0, design.find(' '));  // Roman, Sans or Mono
  AddCandidate(request.candidates, "Latin Modern " + general);
  request.weight = std::max(request.weight, found->weight);
  if (found->italic) request.style |= kStyleItalic;
  if (general == "Mono") {
    request.fixedPitch = true;
    request.serif = 0;
  } else {
    request.serif = general == "Roman" ? 1 : 0;
  }
  return true;
}

// Linux Libertine and Biolinum name their faces by letters after the family and an "O"
// (OpenType) or "T" (TeX Type 1): LinLibertineOB is bold, LinBiolinumTI italic, Z semibold.
bool AddLibertineRenames(const std::string& normalized, FamilyRequest& request) {
  std::string_view name = normalized;
  std::string family;
  if (StartsWith(name, "linlibertine")) {
    family = "Linux Libertine";
    name.remove_prefix(12);
    request.serif = 1;
  } else if (StartsWith(name, "linbiolinum")) {
    family = "Linux Biolinum";
    name.remove_prefix(11);
    request.serif = 0;
  } else {
    return false;
  }
  if (StartsWith(name, "display")) {
    AddCandidate(request.candidates, family + " Display O");
  } else if (name == "mo" || name == "mt") {
    AddCandidate(request.candidates, family + " Mono O");
    request.fixedPitch = true;
  } else if (StartsWith(name, "ok") || StartsWith(name, "tk")) {
    AddCandidate(request.candidates, family + " Keyboard O");
  } else if (!name.empty() && (name[0] == 'o' || name[0] == 't')) {
    for (char c : name.substr(1)) {
      if (c == 'b') request.weight = std::max(request.weight, 700);
      if (c == 'z') request.weight = std::max(request.weight, 600);
      if (c == 'i' || c == 'o') request.style |= kStyleItalic;
    }
  }
  AddCandidate(request.candidates, family + " O");
  AddCandidate(request.candidates, family);
  return true;
}

// "LMRoman10", "LMSans12", "LMMono10": Latin Modern under its PostScript names.
bool AddLatinModernRenames(const std::string& normalized, FamilyRequest& request) {
  static constexpr std::pair<std::string_view, std::string_view> kDesigns[] = {
      {"lmromanslant", "Roman Slanted"},
      {"lmromancaps", "Roman Caps"},
      {"lmromandemi", "Roman Demi"},
      {"lmromanunsl", "Roman Unslanted"},
      {"lmromandunh", "Roman Dunhill"},
      {"lmroman", "Roman"},
      {"lmsansdemicond", "Sans Demi Cond"},
      {"lmsans", "Sans"},
      {"lmmonoslant", "Mono Slanted"},
      {"lmmonocaps", "Mono Caps"},
      {"lmmonoprop", "Mono Prop"},
      {"lmmonolt", "Mono Light"},
      {"lmmono", "Mono"}};
  for (const auto& [prefix, design] : kDesigns) {
    if (!StartsWith(normalized, prefix)) continue;
    std::string_view size = std::string_view(normalized).substr(prefix.size());
    if (size.empty() || !std::all_of(size.begin(), size.end(), ascii::IsDigit)) return false;
    std::string designName(design);
    AddCandidate(request.candidates, "LM " + designName + " " + std::string(size));
    std::string general = designName.substr(0, designName.find(' '));
    AddCandidate(request.candidates, "Latin Modern " + general);
    if (Contains(designName, "Slanted")) request.style |= kStyleItalic;
    request.fixedPitch = request.fixedPitch || general == "Mono";
    request.serif = general == "Roman" ? 1 : 0;
    return true;
  }
  return false;
}

void AddInstalledRenames(std::string_view family, FamilyRequest& request) {
  std::string normalized = NormalizeFamily(family);
  if (AddUrwRenames(normalized, request)) return;
  if (AddTexRenames(normalized, request)) return;
  if (AddLibertineRenames(normalized, request)) return;
  AddLatinModernRenames(normalized, request);
}

// ---- kind of face ----

void ReadKindFromWords(std::string_view name, FamilyRequest& request) {
  std::string lower = ascii::Lower(name);
  // The foundry Monotype ("MonotypeCorsiva") says nothing of the spacing.
  std::string spacing = lower;
  for (size_t at; (at = spacing.find("monotype")) != std::string::npos;) spacing.erase(at, 8);
  for (std::string_view word :
       {"courier", "mono", "consolas", "typewriter", "fixed", "inconsolata", "menlo"}) {
    if (Contains(spacing, word)) request.fixedPitch = true;
  }
  if (request.serif >= 0) return;
  for (std::string_view word :
       {"times",   "roman",   "serif",       "georgia", "garamond", "palatino",   "cambria",
        "minion",  "century", "baskerville", "bookman", "caslon",   "didot",      "bodoni",
        "caladea", "antiqua", "libertine",   "charter", "utopia",   "schoolbook", "termes",
        "pagella", "bonum",   "schola",      "p052",    "c059"}) {
    if (Contains(lower, word)) request.serif = 1;
  }
  for (std::string_view word :
       {"sans", "arial", "helvetica", "verdana", "calibri", "gothic", "roboto", "lato", "tahoma",
        "segoe", "frutiger", "futura", "biolinum", "heros", "adventor", "carlito", "grotesk"}) {
    if (Contains(lower, word)) request.serif = 0;
  }
}

// Families that stand in for each other with the same metrics, as fontconfig's metric
// aliases pair them. Normalized spelling.
const std::vector<std::vector<std::string_view>>& MetricAliasGroups() {
  static const std::vector<std::vector<std::string_view>> kGroups = {
      {"arial", "helvetica", "arimo", "liberationsans", "nimbussans", "albany", "helveticaneue",
       "texgyreheros"},
      {"timesnewroman", "times", "timesroman", "tinos", "liberationserif", "nimbusroman",
       "thorndale", "texgyretermes"},
      {"couriernew", "courier", "cousine", "liberationmono", "nimbusmonops", "cumberland",
       "texgyrecursor"},
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
    out += ascii::ToLower(c);
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

  std::string_view family = ascii::Trim(WithoutSubsetPrefix(name));
  size_t comma = family.find(',');
  if (comma != std::string_view::npos) {
    ApplyStyleText(family.substr(comma + 1), request);
    family = ascii::Trim(family.substr(0, comma));
  }
  if (family.find(' ') == std::string_view::npos) request.postScriptName = std::string(family);

  // "Times-Roman", "Arial-BoldMT": a family and its style; a hyphen followed by anything else
  // may be part of the family's own name, which is then tried first.
  std::string_view base = family;
  size_t hyphen = family.find('-');
  bool styleSuffix = false;
  if (hyphen != std::string_view::npos && hyphen > 0) {
    styleSuffix = ApplyStyleText(family.substr(hyphen + 1), request);
    base = family.substr(0, hyphen);
  }
  if (!styleSuffix) AddCandidate(request.candidates, family);
  AddCandidate(request.candidates, base);
  AddCandidate(request.candidates, family);
  base = WithoutTrailingStyleWords(base, request);
  AddCandidate(request.candidates, base);
  std::string_view untailed = WithoutPostScriptTail(base);
  AddCandidate(request.candidates, untailed);
  AddCandidate(request.candidates, SplitCamelCase(untailed));
  AddInstalledRenames(untailed, request);
  ReadKindFromWords(family, request);

  if (request.weight >= 600) request.style |= kStyleBold;
  return request;
}

FontLook LookOfFont(const TPDFFontInfo& info, const FontStyleFacts& facts) {
  FontLook look;
  std::string_view name = info.FontName ? std::string_view(info.FontName) : std::string_view();
  if (name.size() > kMaxFontNameLength) name = name.substr(0, kMaxFontNameLength);
  FamilyRequest fromName = ParseFamilyName(name, 0);

  look.weight = fromName.weight != 0 ? fromName.weight
                : facts.weight != 0  ? facts.weight
                                     : kWeightRegular;
  bool saysBold = (info.Flags & PDF_FF_FORCE_BOLD) != 0 || facts.bold;
  if (saysBold && fromName.weight == 0 && !look.Bold()) look.weight = kWeightBold;

  look.italic = (info.Flags & PDF_FF_ITALIC) != 0 || info.ItalicAngle != 0 || facts.italic ||
                (fromName.style & kStyleItalic) != 0;
  look.widthClass = fromName.widthClass != 0 ? fromName.widthClass
                    : facts.widthClass != 0  ? facts.widthClass
                                             : kWidthNormal;
  look.fixedPitch =
      (info.Flags & PDF_FF_FIXED_PITCH) != 0 || facts.monospaced || fromName.fixedPitch;
  constexpr int32_t kSerifFlag = 0x2;
  look.serif = fromName.serif >= 0 ? fromName.serif == 1
               : facts.serif >= 0  ? facts.serif == 1
                                   : (info.Flags & kSerifFlag) != 0;
  if (look.fixedPitch && fromName.serif < 0) look.serif = false;
  return look;
}

FontLook LookOfRequest(const FamilyRequest& request) {
  FontLook look;
  look.weight = request.weight != 0 ? request.weight : kWeightRegular;
  if ((request.style & kStyleBold) && !look.Bold()) look.weight = kWeightBold;
  look.italic = (request.style & kStyleItalic) != 0;
  look.widthClass = request.widthClass != 0 ? request.widthClass : kWidthNormal;
  look.fixedPitch = request.fixedPitch;
  look.serif = request.serif == 1;
  return look;
}

std::vector<std::string> LookAlikeFamilies(const FontLook& look) {
  if (look.fixedPitch) {
    return {"Liberation Mono", "Nimbus Mono PS", "DejaVu Sans Mono", "Noto Sans Mono"};
  }
  if (look.serif) return {"Liberation Serif", "Nimbus Roman", "Noto Serif", "DejaVu Serif"};
  std::vector<std::string> sans;
  if (look.widthClass < kWidthNormal) sans = {"Liberation Sans Narrow", "Nimbus Sans Narrow"};
  for (const char* family : {"Liberation Sans", "Nimbus Sans", "Noto Sans", "DejaVu Sans"}) {
    sans.emplace_back(family);
  }
  return sans;
}

}  // namespace pdfcore
