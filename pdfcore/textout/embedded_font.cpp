#include "textout/embedded_font.h"

#include <cstdio>
#include <set>
#include <string>

#include "dynapdf_abi.h"

namespace pdfcore {
namespace {

std::string Hex4(uint32_t value) {
  char buffer[8];
  std::snprintf(buffer, sizeof(buffer), "%04X", value & 0xFFFFu);
  return buffer;
}

// UTF-16BE of a code point as the hex digits of a CMap destination string.
std::string Utf16Hex(char32_t codePoint) {
  if (codePoint < 0x10000) return Hex4(codePoint);
  char32_t v = codePoint - 0x10000;
  return Hex4(0xD800 + (v >> 10)) + Hex4(0xDC00 + (v & 0x3FF));
}

QPDFObjectHandle Number(double value) { return QPDFObjectHandle::newReal(value, 3, true); }

constexpr int32_t kFlagFixedPitch = 1;
constexpr int32_t kFlagSymbolic = 4;
constexpr int32_t kFlagItalic = 64;

}  // namespace

EmbeddedFont::EmbeddedFont(QPDF& pdf, const SfntFace& face) : pdf_(pdf), face_(face) {
  auto systemInfo = QPDFObjectHandle::newDictionary();
  systemInfo.replaceKey("/Registry", QPDFObjectHandle::newString("Adobe"));
  systemInfo.replaceKey("/Ordering", QPDFObjectHandle::newString("Identity"));
  systemInfo.replaceKey("/Supplement", QPDFObjectHandle::newInteger(0));

  descriptor_ = pdf_.makeIndirectObject(QPDFObjectHandle::newDictionary());
  SetDescriptor(face_.PostScriptName(), {});

  auto cidFont = QPDFObjectHandle::newDictionary();
  cidFont.replaceKey("/Type", QPDFObjectHandle::newName("/Font"));
  cidFont.replaceKey("/Subtype",
                     QPDFObjectHandle::newName(face_.IsCff() ? "/CIDFontType0" : "/CIDFontType2"));
  cidFont.replaceKey("/BaseFont", QPDFObjectHandle::newName("/" + face_.PostScriptName()));
  cidFont.replaceKey("/CIDSystemInfo", systemInfo);
  cidFont.replaceKey("/FontDescriptor", descriptor_);
  if (!face_.IsCff()) cidFont.replaceKey("/CIDToGIDMap", QPDFObjectHandle::newName("/Identity"));
  cidFont_ = pdf_.makeIndirectObject(cidFont);

  auto dict = QPDFObjectHandle::newDictionary();
  dict.replaceKey("/Type", QPDFObjectHandle::newName("/Font"));
  dict.replaceKey("/Subtype", QPDFObjectHandle::newName("/Type0"));
  dict.replaceKey("/BaseFont", QPDFObjectHandle::newName("/" + face_.PostScriptName()));
  dict.replaceKey("/Encoding", QPDFObjectHandle::newName("/Identity-H"));
  dict.replaceKey("/DescendantFonts", QPDFObjectHandle::newArray({cidFont_}));
  type0_ = pdf_.makeIndirectObject(dict);
  SetEditingTables();
}

void EmbeddedFont::SetEditingTables() {
  std::map<uint32_t, char32_t> all;
  for (const auto& [codePoint, glyph] : face_.CharacterMap()) all.emplace(glyph, codePoint);
  for (const auto& entry : glyphs_) all.insert(entry);
  cidFont_.replaceKey("/W", WidthsArray(all));
  type0_.replaceKey("/ToUnicode", ToUnicodeStream(all));
  trimmed_ = false;
}

void EmbeddedFont::UseGlyph(uint32_t glyph, char32_t codePoint) {
  glyphs_.emplace(glyph, codePoint);
  // Written again after the document was written: reading needs the whole tables back.
  if (trimmed_) SetEditingTables();
}

std::string EmbeddedFont::SubsetTag() const {
  // Stable for the same glyphs of the same font, different for different subsets.
  uint64_t hash = 1469598103934665603ull;
  auto mix = [&hash](uint64_t value) {
    hash ^= value;
    hash *= 1099511628211ull;
  };
  for (char c : face_.PostScriptName()) mix(static_cast<unsigned char>(c));
  for (const auto& [glyph, codePoint] : glyphs_) mix(glyph);
  std::string tag;
  for (int i = 0; i < 6; ++i) {
    tag += static_cast<char>('A' + hash % 26);
    hash /= 26;
  }
  return tag;
}

QPDFObjectHandle EmbeddedFont::WidthsArray(const std::map<uint32_t, char32_t>& glyphs) const {
  auto widths = QPDFObjectHandle::newArray();
  QPDFObjectHandle run;
  uint32_t next = 0;
  for (const auto& [glyph, codePoint] : glyphs) {
    if (run.isInitialized() && glyph == next) {
      run.appendItem(QPDFObjectHandle::newInteger(face_.Width1000(glyph)));
    } else {
      if (run.isInitialized()) widths.appendItem(run);
      widths.appendItem(QPDFObjectHandle::newInteger(glyph));
      run = QPDFObjectHandle::newArray();
      run.appendItem(QPDFObjectHandle::newInteger(face_.Width1000(glyph)));
    }
    next = glyph + 1;
  }
  if (run.isInitialized()) widths.appendItem(run);
  return widths;
}

QPDFObjectHandle EmbeddedFont::ToUnicodeStream(const std::map<uint32_t, char32_t>& glyphs) const {
  std::string cmap =
      "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
      "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
      "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
      "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n";
  std::vector<std::pair<uint32_t, char32_t>> entries(glyphs.begin(), glyphs.end());
  constexpr size_t kPerBlock = 100;  // CMap blocks hold at most 100 entries
  for (size_t start = 0; start < entries.size(); start += kPerBlock) {
    size_t end = std::min(entries.size(), start + kPerBlock);
    cmap += std::to_string(end - start) + " beginbfchar\n";
    for (size_t i = start; i < end; ++i) {
      cmap += "<" + Hex4(entries[i].first) + "> <" + Utf16Hex(entries[i].second) + ">\n";
    }
    cmap += "endbfchar\n";
  }
  cmap += "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";
  return QPDFObjectHandle::newStream(&pdf_, cmap);
}

void EmbeddedFont::SetDescriptor(const std::string& baseFont, const std::string& program) {
  const FaceMetrics& m = face_.Metrics();
  int32_t flags = kFlagSymbolic;
  if (m.fixedPitch) flags |= kFlagFixedPitch;
  if (m.italicAngle != 0) flags |= kFlagItalic;

  QPDFObjectHandle& d = descriptor_;
  d.replaceKey("/Type", QPDFObjectHandle::newName("/FontDescriptor"));
  d.replaceKey("/FontName", QPDFObjectHandle::newName("/" + baseFont));
  d.replaceKey("/Flags", QPDFObjectHandle::newInteger(flags));
  d.replaceKey("/FontBBox", QPDFObjectHandle::newArray({Number(m.bbox[0]), Number(m.bbox[1]),
                                                        Number(m.bbox[2]), Number(m.bbox[3])}));
  d.replaceKey("/ItalicAngle", Number(m.italicAngle));
  d.replaceKey("/Ascent", Number(m.ascent));
  d.replaceKey("/Descent", Number(m.descent));
  d.replaceKey("/CapHeight", Number(m.capHeight));
  d.replaceKey("/StemV", QPDFObjectHandle::newInteger(80));
  d.removeKey("/FontFile2");
  d.removeKey("/FontFile3");
  if (program.empty()) return;
  auto file = QPDFObjectHandle::newStream(&pdf_, program);
  if (face_.IsCff()) {
    file.getDict().replaceKey("/Subtype", QPDFObjectHandle::newName("/OpenType"));
    d.replaceKey("/FontFile3", file);
  } else {
    file.getDict().replaceKey("/Length1",
                              QPDFObjectHandle::newInteger(static_cast<long long>(program.size())));
    d.replaceKey("/FontFile2", file);
  }
}

void EmbeddedFont::Build(ErrorSink& errors) {
  std::set<uint32_t> used;
  for (const auto& entry : glyphs_) used.insert(entry.first);
  std::string program = face_.Subset(used);
  std::string baseFont = face_.PostScriptName();
  if (program.empty()) {
    errors.Report(-1, "Cannot subset font " + baseFont + "; it is written without embedding",
                  PDF_E_FONT | PDF_E_WARNING);
  } else {
    baseFont = SubsetTag() + "+" + baseFont;
  }
  SetDescriptor(baseFont, program);
  cidFont_.replaceKey("/BaseFont", QPDFObjectHandle::newName("/" + baseFont));
  cidFont_.replaceKey("/W", WidthsArray(glyphs_));
  type0_.replaceKey("/BaseFont", QPDFObjectHandle::newName("/" + baseFont));
  type0_.replaceKey("/ToUnicode", ToUnicodeStream(glyphs_));
  trimmed_ = true;
}

}  // namespace pdfcore
