#include "textout/system_fonts.h"

#include <dlfcn.h>

#include <fontconfig/fontconfig.h>

#include <memory>

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

PatternPtr StylePattern(int32_t style) {
  PatternPtr pattern(FcPatternCreate());
  if (!pattern) return pattern;
  FcPatternAddInteger(pattern.get(), FC_WEIGHT,
                      (style & kStyleBold) ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pattern.get(), FC_SLANT,
                      (style & kStyleItalic) ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  return pattern;
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
  FcChar8* file = nullptr;
  if (FcPatternGetString(font, FC_FILE, 0, &file) != FcResultMatch || !file) return std::nullopt;
  int index = 0;
  FcPatternGetInteger(font, FC_INDEX, 0, &index);
  return SystemFontFile{reinterpret_cast<const char*>(file), index, std::move(family)};
}

// The family name of `font` (it may have several, e.g. localised ones) that is `requested`
// or a metric alias of it.
std::optional<std::string> AcceptedFamily(FcPattern* font, std::string_view requested) {
  FcChar8* family = nullptr;
  for (int i = 0; FcPatternGetString(font, FC_FAMILY, i, &family) == FcResultMatch; ++i) {
    std::string name(reinterpret_cast<const char*>(family));
    if (IsSameOrMetricAlias(requested, name)) return name;
  }
  return std::nullopt;
}

std::string FirstFamily(FcPattern* font) {
  FcChar8* family = nullptr;
  if (FcPatternGetString(font, FC_FAMILY, 0, &family) != FcResultMatch || !family) return {};
  return reinterpret_cast<const char*>(family);
}

}  // namespace

std::optional<SystemFontFile> FindSystemFamily(std::string_view family, int32_t style) {
  if (family.empty() || family.size() > kMaxFontNameLength || !EnsureFontconfig()) {
    return std::nullopt;
  }
  PatternPtr pattern = StylePattern(style);
  if (!pattern) return std::nullopt;
  std::string name(family);
  FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(name.c_str()));
  FontSetPtr fonts = SortedFonts(pattern.get());
  if (!fonts) return std::nullopt;
  for (int i = 0; i < fonts->nfont; ++i) {
    FcPattern* font = fonts->fonts[i];
    if (!IsEmbeddableFormat(font)) continue;
    if (auto accepted = AcceptedFamily(font, family)) return FileOf(font, *accepted);
  }
  return std::nullopt;
}

std::optional<SystemFontFile> FindSystemFontWithCharacter(char32_t codePoint, int32_t style,
                                                          bool serif) {
  if (!EnsureFontconfig()) return std::nullopt;
  PatternPtr pattern = StylePattern(style);
  CharSetPtr wanted(FcCharSetCreate());
  if (!pattern || !wanted || !FcCharSetAddChar(wanted.get(), codePoint)) return std::nullopt;
  FcPatternAddCharSet(pattern.get(), FC_CHARSET, wanted.get());
  FcPatternAddString(pattern.get(), FC_FAMILY,
                     reinterpret_cast<const FcChar8*>(serif ? "serif" : "sans-serif"));
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

}  // namespace pdfcore
