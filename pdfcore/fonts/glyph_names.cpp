#include "fonts/glyph_names.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace pdfcore {
namespace {

const glyphs::GlyphListEntry* FindInGlyphList(std::string_view name) {
  const auto* begin = glyphs::kGlyphList;
  const auto* end = glyphs::kGlyphList + glyphs::kGlyphListSize;
  const auto* found = std::lower_bound(
      begin, end, name,
      [](const auto& entry, std::string_view key) { return std::string_view(entry.name) < key; });
  if (found != end && std::string_view(found->name) == name) return found;
  return nullptr;
}

std::optional<uint32_t> ParseHex(std::string_view digits) {
  if (digits.empty() || digits.size() > 8) return std::nullopt;
  uint32_t value = 0;
  for (char c : digits) {
    uint32_t d;
    if (c >= '0' && c <= '9') {
      d = c - '0';
    } else if (c >= 'A' && c <= 'F') {
      d = c - 'A' + 10;
    } else if (c >= 'a' && c <= 'f') {
      // The glyph list rules ask for upper case, but producers write both.
      d = c - 'a' + 10;
    } else {
      return std::nullopt;
    }
    value = value * 16 + d;
  }
  return value;
}

bool IsScalarValue(uint32_t cp) { return cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF); }

// "uni" followed by one or more groups of four hex digits, each a BMP character.
bool AppendUniName(std::string_view rest, std::u16string& out) {
  if (rest.empty() || rest.size() % 4 != 0) return false;
  std::u16string text;
  for (size_t i = 0; i < rest.size(); i += 4) {
    auto value = ParseHex(rest.substr(i, 4));
    if (!value || !IsScalarValue(*value)) return false;
    text.push_back(static_cast<char16_t>(*value));
  }
  out += text;
  return true;
}

// "u" followed by four to six hex digits.
bool AppendUName(std::string_view rest, std::u16string& out) {
  if (rest.size() < 4 || rest.size() > 6) return false;
  auto value = ParseHex(rest);
  if (!value || !IsScalarValue(*value)) return false;
  AppendCodePoint(out, *value);
  return true;
}

void AppendComponent(std::string_view component, std::u16string& out) {
  if (const auto* entry = FindInGlyphList(component)) {
    for (char16_t unit : entry->units) {
      if (unit == 0) break;
      out.push_back(unit);
    }
    return;
  }
  if (component.starts_with("uni") && AppendUniName(component.substr(3), out)) return;
  if (component.starts_with("u") && AppendUName(component.substr(1), out)) return;
}

}  // namespace

void AppendCodePoint(std::u16string& out, char32_t cp) {
  if (!IsScalarValue(cp)) return;
  if (cp < 0x10000) {
    out.push_back(static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  }
}

std::u16string GlyphNameToUnicode(std::string_view name) {
  std::u16string out;
  if (name.empty() || name.size() > 256) return out;
  // A name that is listed whole wins over its split form ("f_f" style names are listed too).
  if (FindInGlyphList(name)) {
    AppendComponent(name, out);
    return out;
  }
  auto dot = name.find('.');
  std::string_view base = name.substr(0, dot);
  while (!base.empty()) {
    auto underscore = base.find('_');
    AppendComponent(base.substr(0, underscore), out);
    if (underscore == std::string_view::npos) break;
    base.remove_prefix(underscore + 1);
  }
  return out;
}

}  // namespace pdfcore
