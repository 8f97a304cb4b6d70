#include "textout/system_fonts.h"

#include <dlfcn.h>

#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

#include "base/ascii.h"
#include "textout/font_name.h"

namespace pdfcore {
namespace {

struct PatternDeleter {
  void operator()(FcPattern* p) const { FcPatternDestroy(p); }
};
struct FontSetDeleter {
  void operator()(FcFontSet* s) const { FcFontSetDestroy(s); }
};
struct CharSetDeleter {
  void operator()(FcCharSet* c) const { FcCharSetDestroy(c); }
};
using PatternPtr = std::unique_ptr<FcPattern, PatternDeleter>;
using FontSetPtr = std::unique_ptr<FcFontSet, FontSetDeleter>;
using CharSetPtr = std::unique_ptr<FcCharSet, CharSetDeleter>;

// fontconfig keeps a little state per process that only FcFini frees, and FcFini would take
// the default configuration away from the program. Once used, fontconfig stays loaded, so that
// state stays reachable and is reused by the next load of this library instead of being lost
// at every unload.
void KeepFontconfigLoaded() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&FcInitLoadConfigAndFonts), &info) == 0 ||
      info.dli_fname == nullptr) {
    return;
  }
  if (void* handle = dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE)) {
    dlclose(handle);  // the no-delete mark stays
  }
}

// The library's own fontconfig configuration, not the process-wide default: the program
// that loads the library (a Qt window) may use that one, and the library is loaded and
// unloaded once per run, so its configuration must go with it.
class OwnedConfig {
 public:
  OwnedConfig() : config_(FcInitLoadConfigAndFonts()) { KeepFontconfigLoaded(); }
  ~OwnedConfig() {
    if (config_ != nullptr) FcConfigDestroy(config_);
  }
  OwnedConfig(const OwnedConfig&) = delete;
  OwnedConfig& operator=(const OwnedConfig&) = delete;
  FcConfig* Get() const { return config_; }

 private:
  FcConfig* config_;
};

// Loaded on the first need of a system font only; null when fontconfig can't start.
FcConfig* Fontconfig() {
  static const OwnedConfig config;
  return config.Get();
}

bool EnsureFontconfig() { return Fontconfig() != nullptr; }

int FcWidthOfClass(int widthClass) {
  static constexpr int kWidths[] = {50, 63, 75, 88, 100, 113, 125, 150, 200};
  return kWidths[std::clamp(widthClass, 1, 9) - 1];
}

PatternPtr LookPattern(int weight, bool italic, int widthClass) {
  PatternPtr pattern(FcPatternCreate());
  if (!pattern) return pattern;
  FcPatternAddInteger(pattern.get(), FC_WEIGHT, FcWeightFromOpenType(std::clamp(weight, 1, 1000)));
  FcPatternAddInteger(pattern.get(), FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddInteger(pattern.get(), FC_WIDTH, FcWidthOfClass(widthClass));
  return pattern;
}

PatternPtr StylePattern(int32_t style) {
  return LookPattern((style & kStyleBold) ? kWeightBold : kWeightRegular,
                     (style & kStyleItalic) != 0, kWidthNormal);
}

std::string StringOf(FcPattern* font, const char* object, int index = 0) {
  FcChar8* value = nullptr;
  if (FcPatternGetString(font, object, index, &value) != FcResultMatch || !value) return {};
  return reinterpret_cast<const char*>(value);
}

// The weight of a face on the OpenType scale; nullopt for a variable font's range.
std::optional<int> WeightOf(FcPattern* font) {
  FcValue value;
  if (FcPatternGet(font, FC_WEIGHT, 0, &value) != FcResultMatch) return kWeightRegular;
  if (value.type == FcTypeInteger) return FcWeightToOpenType(value.u.i);
  if (value.type == FcTypeDouble) return static_cast<int>(FcWeightToOpenTypeDouble(value.u.d));
  return std::nullopt;
}

// Italic or oblique by fontconfig's slant, or a slanted design that fontconfig files as upright
// (Latin Modern's "LM Roman Slanted").
bool IsSlanted(FcPattern* font) {
  int slant = FC_SLANT_ROMAN;
  FcPatternGetInteger(font, FC_SLANT, 0, &slant);
  if (slant != FC_SLANT_ROMAN) return true;
  for (const char* object : {FC_FAMILY, FC_STYLE}) {
    std::string lower = ascii::Lower(StringOf(font, object));
    for (std::string_view word : {"slanted", "oblique", "italic"}) {
      if (lower.find(word) != std::string::npos) return true;
    }
  }
  return false;
}

// All installed fonts, best match for `pattern` first.
FontSetPtr SortedFonts(FcPattern* pattern) {
  if (!FcConfigSubstitute(Fontconfig(), pattern, FcMatchPattern)) return nullptr;
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  return FontSetPtr(FcFontSort(Fontconfig(), pattern, FcFalse, nullptr, &result));
}

bool IsEmbeddableFormat(FcPattern* font) {
  FcChar8* format = nullptr;
  if (FcPatternGetString(font, FC_FONTFORMAT, 0, &format) != FcResultMatch || !format) {
    return false;
  }
  std::string_view text(reinterpret_cast<const char*>(format));
  return text == "TrueType" || text == "CFF";
}

std::optional<SystemFontFile> FileOf(FcPattern* font, std::string family) {
  std::string file = StringOf(font, FC_FILE);
  if (file.empty()) return std::nullopt;
  int index = 0;
  FcPatternGetInteger(font, FC_INDEX, 0, &index);
  SystemFontFile result;
  result.path = std::move(file);
  result.index = index;
  result.family = std::move(family);
  result.weight = WeightOf(font).value_or(kWeightRegular);
  result.italic = IsSlanted(font);
  result.postScriptName = StringOf(font, FC_POSTSCRIPT_NAME);
  return result;
}

// Normalized families of fontconfig's configuration, substituted for `family`, best first.
std::vector<std::string> SubstitutedFamilies(const std::string& family) {
  std::vector<std::string> out;
  PatternPtr pattern(FcPatternCreate());
  if (!pattern) return out;
  FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  if (!FcConfigSubstitute(Fontconfig(), pattern.get(), FcMatchPattern)) return out;
  for (int i = 0;; ++i) {
    std::string name = StringOf(pattern.get(), FC_FAMILY, i);
    if (name.empty()) break;
    out.push_back(NormalizeFamily(name));
  }
  return out;
}

// The families fontconfig puts in for any family it has no alias for: the expansions of the
// generic families, which every unknown name ends in.
const std::vector<std::vector<std::string>>& GenericExpansions() {
  static const std::vector<std::vector<std::string>> kExpansions = [] {
    std::vector<std::vector<std::string>> out;
    for (const char* generic : {"serif", "sans-serif", "monospace"}) {
      std::vector<std::string> families = SubstitutedFamilies(generic);
      std::erase(families, NormalizeFamily(generic));
      if (families.size() >= 2) out.push_back(std::move(families));
    }
    return out;
  }();
  return kExpansions;
}

bool StartsGenericExpansion(const std::vector<std::string>& families, size_t at) {
  for (const auto& generic : GenericExpansions()) {
    if (at + 1 < families.size() && families[at] == generic[0] && families[at + 1] == generic[1]) {
      return true;
    }
  }
  return false;
}

// What fontconfig's configuration gives for `family` ahead of the generic fallbacks: its
// renames and metric aliases ("Nimbus Roman No9 L" -> "Nimbus Roman", "Times" -> "TeX Gyre
// Termes"). Empty when the generic part can't be told apart.
std::set<std::string> FontconfigAliases(const std::string& family) {
  static std::mutex mutex;
  static std::map<std::string, std::set<std::string>> cache;
  std::lock_guard lock(mutex);
  std::string key = NormalizeFamily(family);
  if (auto found = cache.find(key); found != cache.end()) return found->second;
  std::vector<std::string> families = SubstitutedFamilies(family);
  std::set<std::string> aliases;
  for (size_t i = 1; i < families.size(); ++i) {
    if (StartsGenericExpansion(families, i)) {
      aliases.insert(families.begin() + 1, families.begin() + static_cast<std::ptrdiff_t>(i));
      break;
    }
  }
  cache[key] = aliases;
  return aliases;
}

// The family name of `font` (it may have several, e.g. localised ones) that is `requested`,
// a metric alias of it or one of fontconfig's aliases for it.
std::optional<std::string> AcceptedFamily(FcPattern* font, std::string_view requested,
                                          const std::set<std::string>& aliases) {
  for (int i = 0;; ++i) {
    std::string name = StringOf(font, FC_FAMILY, i);
    if (name.empty()) break;
    if (IsSameOrMetricAlias(requested, name) || aliases.count(NormalizeFamily(name))) {
      return name;
    }
  }
  return std::nullopt;
}

std::string FirstFamily(FcPattern* font) { return StringOf(font, FC_FAMILY); }

}  // namespace

bool StyleFits(int weight, bool italic, int faceWeight, bool faceItalic, bool exactWeight) {
  if (italic != faceItalic) return false;
  if (exactWeight) return faceWeight > weight - 100 && faceWeight < weight + 100;
  if (weight >= 550) return faceWeight >= 550;                       // semibold and heavier
  if (weight >= 450) return faceWeight >= 450 && faceWeight <= 700;  // medium
  if (weight >= 350) return faceWeight >= 300 && faceWeight < 550;   // regular, book
  return faceWeight < 450;                                           // light and thinner
}

std::optional<SystemFontFile> FindSystemFace(const FaceQuery& query) {
  const std::string& family = query.family;
  if (family.empty() || family.size() > kMaxFontNameLength || !EnsureFontconfig()) {
    return std::nullopt;
  }
  PatternPtr pattern = LookPattern(query.weight, query.italic, query.widthClass);
  if (!pattern) return std::nullopt;
  FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  FontSetPtr fonts = SortedFonts(pattern.get());
  if (!fonts) return std::nullopt;
  const std::set<std::string> aliases = FontconfigAliases(family);
  for (int i = 0; i < fonts->nfont; ++i) {
    FcPattern* font = fonts->fonts[i];
    if (!IsEmbeddableFormat(font)) continue;
    std::optional<int> weight = WeightOf(font);
    if (!weight ||
        !StyleFits(query.weight, query.italic, *weight, IsSlanted(font), query.exactWeight)) {
      continue;
    }
    if (auto accepted = AcceptedFamily(font, family, aliases)) return FileOf(font, *accepted);
  }
  return std::nullopt;
}

std::optional<SystemFontFile> FindPostScriptFace(std::string_view postScriptName, int weight,
                                                 bool italic) {
  if (postScriptName.empty() || postScriptName.size() > kMaxFontNameLength || !EnsureFontconfig()) {
    return std::nullopt;
  }
  std::string name(postScriptName);
  PatternPtr pattern(FcPatternCreate());
  std::unique_ptr<FcObjectSet, decltype(&FcObjectSetDestroy)> objects(
      FcObjectSetBuild(FC_FAMILY, FC_STYLE, FC_FILE, FC_INDEX, FC_WEIGHT, FC_SLANT, FC_FONTFORMAT,
                       FC_POSTSCRIPT_NAME, nullptr),
      FcObjectSetDestroy);
  if (!pattern || !objects) return std::nullopt;
  FcPatternAddString(pattern.get(), FC_POSTSCRIPT_NAME,
                     reinterpret_cast<const FcChar8*>(name.c_str()));
  FontSetPtr fonts(FcFontList(Fontconfig(), pattern.get(), objects.get()));
  if (!fonts) return std::nullopt;
  for (int i = 0; i < fonts->nfont; ++i) {
    FcPattern* font = fonts->fonts[i];
    if (!IsEmbeddableFormat(font) || StringOf(font, FC_POSTSCRIPT_NAME) != name) continue;
    std::optional<int> faceWeight = WeightOf(font);
    if (!faceWeight || !StyleFits(weight, italic, *faceWeight, IsSlanted(font), false)) continue;
    return FileOf(font, FirstFamily(font));
  }
  return std::nullopt;
}

std::optional<SystemFontFile> FindSystemFamily(std::string_view family, int32_t style) {
  FaceQuery query;
  query.family = std::string(family);
  query.weight = (style & kStyleBold) ? kWeightBold : kWeightRegular;
  query.italic = (style & kStyleItalic) != 0;
  return FindSystemFace(query);
}

std::optional<SystemFontFile> FindSystemFontWithCharacter(char32_t codePoint, int32_t style,
                                                          bool serif, bool fixedPitch) {
  if (!EnsureFontconfig()) return std::nullopt;
  PatternPtr pattern = StylePattern(style);
  CharSetPtr wanted(FcCharSetCreate());
  if (!pattern || !wanted || !FcCharSetAddChar(wanted.get(), codePoint)) return std::nullopt;
  FcPatternAddCharSet(pattern.get(), FC_CHARSET, wanted.get());
  FcPatternAddString(pattern.get(), FC_FAMILY,
                     reinterpret_cast<const FcChar8*>(fixedPitch ? "monospace"
                                                      : serif    ? "serif"
                                                                 : "sans-serif"));
  FontSetPtr fonts = SortedFonts(pattern.get());
  if (!fonts) return std::nullopt;
  for (int i = 0; i < fonts->nfont; ++i) {
    FcPattern* font = fonts->fonts[i];
    FcCharSet* has = nullptr;
    if (!IsEmbeddableFormat(font)) continue;
    if (FcPatternGetCharSet(font, FC_CHARSET, 0, &has) != FcResultMatch || !has) continue;
    if (FcCharSetHasChar(has, codePoint)) return FileOf(font, FirstFamily(font));
  }
  return std::nullopt;
}

std::optional<SystemFontFile> ResolveFace(const FamilyRequest& request, const FontLook& look,
                                          bool sameKindToo) {
  if (auto exact = FindPostScriptFace(request.postScriptName, look.weight, look.italic)) {
    return exact;
  }
  FaceQuery query;
  query.weight = look.weight;
  query.italic = look.italic;
  query.widthClass = look.widthClass;
  for (const std::string& candidate : request.candidates) {
    query.family = candidate;
    if (auto face = FindSystemFace(query)) return face;
  }
  if (!sameKindToo) return std::nullopt;
  for (bool exactWeight : {true, false}) {
    query.exactWeight = exactWeight;
    for (const std::string& family : LookAlikeFamilies(look)) {
      query.family = family;
      if (auto face = FindSystemFace(query)) return face;
    }
  }
  return std::nullopt;
}

}  // namespace pdfcore
