#include "fonts/pdf_font.h"

#include <algorithm>
#include <array>
#include <bitset>
#include <cmath>
#include <optional>
#include <stdexcept>
#include <unordered_map>

#include <qpdf/Pipeline.hh>

#include "base/number_format.h"
#include "fonts/cmap_parser.h"
#include "fonts/encodings.h"
#include "fonts/font_program.h"
#include "fonts/glyph_names.h"
#include "fonts/standard_fonts.h"

namespace pdfcore {
namespace {

constexpr int32_t kFontErrorCode = -PDF_E_FONT;
constexpr int32_t kFontWarning = PDF_E_FONT | PDF_E_WARNING;
constexpr size_t kMaxProgramBytes = 64u << 20;
constexpr size_t kMaxCMapBytes = 16u << 20;
constexpr size_t kMaxCidToGidBytes = 2u << 16;  // two bytes for each of 65536 CIDs
constexpr int kMaxDifferencesItems = 4096;
constexpr int kMaxWidthItems = 1 << 18;
constexpr size_t kMaxWidthRanges = 1 << 16;
constexpr uint32_t kMaxCid = 0xFFFF;

// Collects a stream's decoded data and gives up past a limit, so that a compression bomb
// can't take the memory.
class BoundedBuffer final : public Pipeline {
 public:
  explicit BoundedBuffer(size_t limit) : Pipeline("bounded buffer", nullptr), limit_(limit) {}
  void write(unsigned char const* data, size_t len) override {
    if (overflow_ || len > limit_ - data_.size()) {
      overflow_ = true;
      throw std::length_error("stream data too large");
    }
    data_.append(reinterpret_cast<const char*>(data), len);
  }
  void finish() override {}
  bool overflow() const { return overflow_; }
  std::string& data() { return data_; }

 private:
  size_t limit_;
  bool overflow_ = false;
  std::string data_;
};

class Reporter {
 public:
  Reporter(ErrorSink& sink, std::string font) : sink_(sink), font_(std::move(font)) {}
  void Warn(const std::string& message) {
    sink_.Report(kFontErrorCode, "Font " + font_ + ": " + message, kFontWarning);
  }

 private:
  ErrorSink& sink_;
  std::string font_;
};

// Runs one step of loading; a QPDF or other exception only costs that step.
template <class Step>
void Guarded(Reporter& reporter, const char* what, Step&& step) {
  try {
    step();
  } catch (const std::exception& e) {
    reporter.Warn(std::string(what) + ": " + e.what());
  }
}

std::string NameOf(QPDFObjectHandle object) {
  if (!object.isName()) return {};
  std::string name = object.getName();
  return name.empty() ? name : name.substr(1);
}

std::optional<double> NumberOf(QPDFObjectHandle object) { return NumberValue(object); }

QPDFObjectHandle Key(QPDFObjectHandle dict, const char* key) {
  if (!dict.isDictionary()) return QPDFObjectHandle::newNull();
  return dict.getKey(key);
}

std::optional<std::string> ReadStream(QPDFObjectHandle stream, size_t limit, Reporter& reporter,
                                      const char* what) {
  if (!stream.isStream()) return std::nullopt;
  BoundedBuffer buffer(limit);
  bool ok = false;
  try {
    ok = stream.pipeStreamData(&buffer, nullptr, 0, qpdf_dl_all, true, false);
  } catch (const std::exception&) {
    ok = false;
  }
  if (buffer.overflow()) {
    reporter.Warn(std::string(what) + " too large, ignored");
    return std::nullopt;
  }
  if (!ok) {
    reporter.Warn(std::string(what) + " can't be decoded");
    if (buffer.data().empty()) return std::nullopt;
  }
  return std::move(buffer.data());
}

bool IsBlankText(std::u16string_view text) {
  return text == u" " || text == u"\u00A0" || text == u"\t" || text.empty();
}

// Code points of a UTF-16 string, unpaired surrogates as they stand.
std::vector<char32_t> CodePoints(std::u16string_view text) {
  std::vector<char32_t> points;
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t unit = text[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      points.push_back(0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00));
      ++i;
    } else {
      points.push_back(unit);
    }
  }
  return points;
}

std::optional<char32_t> SingleCodePoint(std::u16string_view text) {
  auto points = CodePoints(text);
  if (points.size() != 1) return std::nullopt;
  return points[0];
}

// Text read from glyph names spells ligatures out, as text extractors do, so that a search
// for "office" finds the word set with an "ffi" glyph.
std::u16string DecomposeLigature(std::u16string text) {
  if (text.size() != 1) return text;
  switch (text[0]) {
    case 0xFB00:
      return u"ff";
    case 0xFB01:
      return u"fi";
    case 0xFB02:
      return u"fl";
    case 0xFB03:
      return u"ffi";
    case 0xFB04:
      return u"ffl";
    case 0xFB05:
      return u"\u017Ft";
    case 0xFB06:
      return u"st";
    default:
      return text;
  }
}

enum class ProgramKind { kNone, kType1, kTrueType, kCff, kOpenType };

struct WidthRange {
  uint32_t first = 0;
  uint32_t last = 0;
  double width = 0;  // glyph space units
};

struct EncodedCode {
  uint32_t code = 0;
  uint8_t length = 1;
};

class LoadedFont final : public PdfFont {
 public:
  // Simple fonts.
  std::array<std::u16string, 256> codeText;    // text from the encoding
  std::array<double, 256> codeAdvance{};       // for font size 1
  std::array<std::u16string, 256> simpleText;  // TextOfCode of every code, made once loaded
  // Composite fonts.
  bool composite = false;
  std::vector<CodespaceRange> codespace;
  bool identityCids = true;
  std::vector<CidRange> cidRanges;  // sorted by low
  std::unordered_map<uint32_t, std::u16string> cidText;
  bool codesAreUnicode = false;       // a Uni...-UCS2 CMap: the code is the text
  std::vector<WidthRange> cidWidths;  // sorted by first
  double defaultWidth = 1000;
  // Both.
  std::unordered_map<uint32_t, std::u16string> toUnicode;
  std::unordered_map<char32_t, EncodedCode> encodable;
  double spaceAdvance = 0.25;
  std::string name;
  TPDFFontInfo info{};
  FontStyleFacts styleFacts;
  double matrix[6] = {0.001, 0, 0, 0.001, 0, 0};

  void Decode(std::string_view bytes, std::vector<DecodedGlyph>& out) const override {
    if (composite) {
      DecodeComposite(bytes, out);
      return;
    }
    out.reserve(out.size() + bytes.size());
    for (unsigned char byte : bytes) {
      DecodedGlyph glyph;
      glyph.code = byte;
      glyph.codeLength = 1;
      glyph.unicode = simpleText[byte];
      glyph.advance = codeAdvance[byte];
      glyph.isWordSpace = byte == 32;
      out.push_back(std::move(glyph));
    }
  }

  // Decoding looks every byte up: one table read instead of a map lookup and a fallback.
  void PrepareSimpleText() {
    if (composite) return;
    for (uint32_t code = 0; code < 256; ++code) simpleText[code] = TextOfCode(code);
  }

  void DecodeText(std::string_view bytes, std::u16string& text,
                  std::vector<GlyphMetrics>& metrics) const override {
    if (composite) {
      PdfFont::DecodeText(bytes, text, metrics);
      return;
    }
    metrics.reserve(metrics.size() + bytes.size());
    text.reserve(text.size() + bytes.size());
    for (unsigned char byte : bytes) {
      const std::u16string& glyphText = simpleText[byte];
      if (glyphText.size() == 1) {
        text.push_back(glyphText[0]);
      } else {
        text += glyphText;
      }
      metrics.push_back(GlyphMetrics{codeAdvance[byte], byte == 32});
    }
  }

  double SpaceAdvance() const override { return spaceAdvance; }
  const TPDFFontInfo& Info() const override { return info; }
  FontStyleFacts StyleFacts() const override { return styleFacts; }
  void FontMatrix(double m[6]) const override { std::copy(matrix, matrix + 6, m); }

  bool Encode(std::u16string_view text, std::string& bytes,
              std::vector<double>* advances) const override {
    bool complete = true;
    for (char32_t point : CodePoints(text)) {
      auto found = encodable.find(point);
      if (found == encodable.end()) {
        complete = false;
        continue;
      }
      const EncodedCode& encoded = found->second;
      for (int shift = (encoded.length - 1) * 8; shift >= 0; shift -= 8) {
        bytes.push_back(static_cast<char>((encoded.code >> shift) & 0xFF));
      }
      if (advances) advances->push_back(AdvanceOfCode(encoded.code));
    }
    return complete;
  }

  std::u16string TextOfCode(uint32_t code) const {
    auto mapped = toUnicode.find(code);
    if (mapped != toUnicode.end()) return mapped->second;
    if (!composite) return code < 256 ? codeText[code] : std::u16string();
    auto byCid = cidText.find(CidOf(code));
    if (byCid != cidText.end()) return byCid->second;
    if (codesAreUnicode && code <= 0xFFFF && (code < 0xD800 || code > 0xDFFF)) {
      return std::u16string(1, static_cast<char16_t>(code));
    }
    return {};
  }

  double AdvanceOfCode(uint32_t code) const {
    if (!composite) return code < 256 ? codeAdvance[code] : 0;
    return WidthOfCid(CidOf(code)) / 1000.0;
  }

  uint32_t CidOf(uint32_t code) const {
    if (identityCids) return code;
    auto after = std::upper_bound(cidRanges.begin(), cidRanges.end(), code,
                                  [](uint32_t c, const CidRange& r) { return c < r.low; });
    // Ranges may nest; look back over the few that start before the code.
    for (int steps = 0; after != cidRanges.begin() && steps < 8; ++steps) {
      --after;
      if (code >= after->low && code <= after->high) return after->cid + (code - after->low);
    }
    return 0;
  }

  // Whether /W gives the CID its width. A producer lists the glyphs it uses; a glyph left out
  // (pdfTeX and LuaTeX leave out the space) would be shown with /DW, often a whole em.
  bool HasListedWidth(uint32_t cid) const {
    if (cidWidths.empty()) return true;
    auto after = std::upper_bound(cidWidths.begin(), cidWidths.end(), cid,
                                  [](uint32_t c, const WidthRange& r) { return c < r.first; });
    return after != cidWidths.begin() && cid <= std::prev(after)->last;
  }

  double WidthOfCid(uint32_t cid) const {
    auto after = std::upper_bound(cidWidths.begin(), cidWidths.end(), cid,
                                  [](uint32_t c, const WidthRange& r) { return c < r.first; });
    if (after != cidWidths.begin()) {
      --after;
      if (cid <= after->last) return after->width;
    }
    return defaultWidth;
  }

  // Bytes of the next code: the codespace range whose bytes all fit, shortest first.
  size_t CodeLengthAt(std::string_view bytes, size_t pos) const {
    size_t remaining = bytes.size() - pos;
    for (size_t length = 1; length <= 4 && length <= remaining; ++length) {
      for (const auto& range : codespace) {
        if (range.bytes != length) continue;
        bool inside = true;
        for (size_t i = 0; i < length && inside; ++i) {
          int shift = static_cast<int>((length - 1 - i) * 8);
          unsigned byte = static_cast<unsigned char>(bytes[pos + i]);
          inside = byte >= ((range.low >> shift) & 0xFF) && byte <= ((range.high >> shift) & 0xFF);
        }
        if (inside) return length;
      }
    }
    size_t shortest = 4;
    for (const auto& range : codespace) shortest = std::min<size_t>(shortest, range.bytes);
    if (codespace.empty()) shortest = 2;
    return std::min(shortest, remaining);
  }

  void DecodeComposite(std::string_view bytes, std::vector<DecodedGlyph>& out) const {
    size_t pos = 0;
    while (pos < bytes.size()) {
      size_t length = std::max<size_t>(1, CodeLengthAt(bytes, pos));
      uint32_t code = 0;
      for (size_t i = 0; i < length; ++i)
        code = (code << 8) | static_cast<unsigned char>(bytes[pos + i]);
      DecodedGlyph glyph;
      glyph.code = code;
      glyph.codeLength = static_cast<uint8_t>(length);
      glyph.unicode = TextOfCode(code);
      glyph.advance = WidthOfCid(CidOf(code)) / 1000.0;
      glyph.isWordSpace = length == 1 && code == 32;
      out.push_back(std::move(glyph));
      pos += length;
    }
  }
};

class FontLoader {
 public:
  FontLoader(QPDFObjectHandle dict, ErrorSink& errors)
      : dict_(dict), reporter_(errors, DescribeFont(dict)), font_(std::make_shared<LoadedFont>()) {}

  std::shared_ptr<LoadedFont> Load() {
    if (!dict_.isDictionary()) {
      reporter_.Warn("not a font dictionary");
      FinishWithoutData();
      font_->PrepareSimpleText();
      return font_;
    }
    Guarded(reporter_, "font type", [&] { ReadKindAndName(); });
    if (subtype_ == "Type0") {
      font_->composite = true;
      Guarded(reporter_, "descendant font", [&] { descendant_ = DescendantFont(); });
    }
    Guarded(reporter_, "font descriptor", [&] { ReadDescriptor(); });
    Guarded(reporter_, "font program", [&] { OpenProgram(); });
    Guarded(reporter_, "ToUnicode", [&] { ReadToUnicode(); });
    if (font_->composite) {
      LoadComposite();
    } else {
      LoadSimple();
    }
    Guarded(reporter_, "space width", [&] { ComputeSpaceAdvance(); });
    font_->info.FontName = font_->name.empty() ? nullptr : font_->name.c_str();
    font_->PrepareSimpleText();
    return font_;
  }

 private:
  static std::string DescribeFont(QPDFObjectHandle dict) {
    try {
      std::string name = NameOf(Key(dict, "/BaseFont"));
      if (!name.empty()) return name;
      if (dict.isIndirect()) return "object " + std::to_string(dict.getObjectID());
    } catch (const std::exception&) {
    }
    return "(unnamed)";
  }

  void FinishWithoutData() {
    font_->codeAdvance.fill(0.5);
    for (int code = 0; code < 256; ++code) {
      if (const char* glyph = encodings::kStandardEncoding[code]) {
        font_->codeText[code] = GlyphNameToUnicode(glyph);
      }
    }
    font_->spaceAdvance = 0.25;
  }

  void ReadKindAndName() {
    subtype_ = NameOf(Key(dict_, "/Subtype"));
    font_->name = NameOf(Key(dict_, "/BaseFont"));
    if (font_->name.empty() && subtype_ == "Type3") font_->name = NameOf(Key(dict_, "/Name"));
    if (subtype_ == "Type1" || subtype_ == "MMType1") {
      font_->info.FontType = PDF_FT_TYPE1;
    } else if (subtype_ == "TrueType") {
      font_->info.FontType = PDF_FT_TRUETYPE;
    } else if (subtype_ == "Type0") {
      font_->info.FontType = PDF_FT_TYPE0;
    } else if (subtype_ == "Type3") {
      font_->info.FontType = PDF_FT_TYPE3;
    } else {
      reporter_.Warn("unknown font subtype '" + subtype_ + "', read as a simple font");
      font_->info.FontType = PDF_FT_UNKNOWN;
    }
  }

  QPDFObjectHandle DescendantFont() {
    QPDFObjectHandle descendants = Key(dict_, "/DescendantFonts");
    QPDFObjectHandle first;
    if (descendants.isArray() && descendants.getArrayNItems() > 0) {
      first = descendants.getArrayItem(0);
    } else if (descendants.isDictionary()) {
      first = descendants;
    }
    if (!first.isInitialized() || !first.isDictionary()) {
      reporter_.Warn("Type0 font without a descendant font");
      return QPDFObjectHandle::newNull();
    }
    cidSubtype_ = NameOf(Key(first, "/Subtype"));
    return first;
  }

  void ReadDescriptor() {
    QPDFObjectHandle owner = font_->composite ? descendant_ : dict_;
    descriptor_ = Key(owner, "/FontDescriptor");
    if (!descriptor_.isDictionary()) {
      descriptor_ = QPDFObjectHandle::newNull();
      standard_ = font_->composite ? nullptr : standard::Find(font_->name);
      if (standard_) {
        // A standard font carries its facts in its metrics, not in a descriptor.
        font_->info.ItalicAngle = static_cast<float>(standard_->italicAngle);
        int32_t flags = standard_->fixedPitch ? PDF_FF_FIXED_PITCH : 0;
        flags |= (standard::IsSymbol(*standard_) || standard::IsZapfDingbats(*standard_)) ? 4 : 32;
        if (standard_->italicAngle != 0) flags |= PDF_FF_ITALIC;
        if (std::string_view(standard_->name).starts_with("Times")) flags |= 2;
        font_->info.Flags = flags;
      }
      return;
    }
    if (auto flags = NumberOf(Key(descriptor_, "/Flags"))) {
      font_->info.Flags = static_cast<int32_t>(static_cast<int64_t>(*flags) & 0x7FFFFFFF);
    }
    if (auto angle = NumberOf(Key(descriptor_, "/ItalicAngle"))) {
      font_->info.ItalicAngle = static_cast<float>(std::clamp(*angle, -360.0, 360.0));
    }
    if (auto missing = NumberOf(Key(descriptor_, "/MissingWidth"))) missingWidth_ = *missing;
    ReadDescriptorStyle();
    // A non-embedded standard font may still come with a descriptor.
    if (!font_->composite && !HasEmbeddedProgram()) standard_ = standard::Find(font_->name);
  }

  // /FontWeight, /FontStretch and a CID font's /Style /Panose: what the producer says of the
  // look; the program, when embedded, says it with more authority.
  void ReadDescriptorStyle() {
    FontStyleFacts& facts = font_->styleFacts;
    if (auto weight = NumberOf(Key(descriptor_, "/FontWeight")); weight && *weight >= 100) {
      facts.weight = static_cast<int>(std::clamp(*weight, 100.0, 900.0));
    }
    static constexpr std::pair<std::string_view, int> kStretches[] = {
        {"UltraCondensed", 1}, {"ExtraCondensed", 2}, {"Condensed", 3},
        {"SemiCondensed", 4},  {"Normal", 5},         {"SemiExpanded", 6},
        {"Expanded", 7},       {"ExtraExpanded", 8},  {"UltraExpanded", 9}};
    std::string stretch = NameOf(Key(descriptor_, "/FontStretch"));
    for (const auto& [name, widthClass] : kStretches) {
      if (stretch == name) facts.widthClass = widthClass;
    }
    QPDFObjectHandle style = Key(descriptor_, "/Style");
    QPDFObjectHandle panose = style.isDictionary() ? Key(style, "/Panose") : style;
    if (panose.isString()) {
      // Two bytes of sFamilyClass, then the ten PANOSE bytes.
      std::string bytes = panose.getStringValue();
      if (bytes.size() >= 12 && bytes[2] == 2) {
        auto serifStyle = static_cast<unsigned char>(bytes[3]);
        if (serifStyle >= 2 && serifStyle <= 10) facts.serif = 1;
        if (serifStyle >= 11 && serifStyle <= 15) facts.serif = 0;
        facts.monospaced = bytes[5] == 9;
      }
    }
  }

  void TakeProgramStyle() {
    ProgramStyle style = program_->Style();
    FontStyleFacts& facts = font_->styleFacts;
    if (style.weight != 0) facts.weight = style.weight;
    if (style.widthClass != 0) facts.widthClass = style.widthClass;
    facts.italic = style.italic;
    facts.bold = style.bold;
    if (style.serif >= 0) facts.serif = style.serif;
    facts.monospaced = facts.monospaced || style.monospaced;
  }

  bool HasEmbeddedProgram() const {
    return Key(descriptor_, "/FontFile").isStream() || Key(descriptor_, "/FontFile2").isStream() ||
           Key(descriptor_, "/FontFile3").isStream();
  }

  bool Symbolic() const { return (font_->info.Flags & 4) != 0; }

  void OpenProgram() {
    if (!descriptor_.isDictionary()) return;
    QPDFObjectHandle stream;
    if ((stream = Key(descriptor_, "/FontFile")).isStream()) {
      programKind_ = ProgramKind::kType1;
    } else if ((stream = Key(descriptor_, "/FontFile2")).isStream()) {
      programKind_ = ProgramKind::kTrueType;
    } else if ((stream = Key(descriptor_, "/FontFile3")).isStream()) {
      std::string kind = NameOf(Key(stream.getDict(), "/Subtype"));
      programKind_ = kind == "OpenType" ? ProgramKind::kOpenType : ProgramKind::kCff;
      if (!font_->composite && kind != "OpenType") font_->info.FontType = PDF_FT_TYPE1;
    } else {
      return;
    }
    auto data = ReadStream(stream, kMaxProgramBytes, reporter_, "font program");
    if (!data) return;
    program_ = FontProgram::Open(std::move(*data));
    if (program_) TakeProgramStyle();
    if (!program_) {
      reporter_.Warn("embedded font program can't be read");
      programKind_ = ProgramKind::kNone;
    } else if (programKind_ == ProgramKind::kOpenType) {
      programKind_ = program_->HasCmap(3, 1) || program_->IsTrueType() ? ProgramKind::kTrueType
                                                                       : ProgramKind::kCff;
    }
  }

  void ReadToUnicode() {
    QPDFObjectHandle stream = Key(dict_, "/ToUnicode");
    if (stream.isNull()) return;
    if (!stream.isStream()) {
      if (!stream.isName()) reporter_.Warn("ToUnicode is not a stream");
      return;
    }
    auto data = ReadStream(stream, kMaxCMapBytes, reporter_, "ToUnicode CMap");
    if (!data) return;
    ParsedCMap cmap = ParseCMap(*data);
    for (const auto& problem : cmap.problems) reporter_.Warn("ToUnicode: " + problem);
    if (cmap.unicode.empty()) reporter_.Warn("ToUnicode CMap maps nothing");
    font_->toUnicode = std::move(cmap.unicode);
  }

  // ---- simple fonts ---------------------------------------------------------------------

  void LoadSimple() {
    Guarded(reporter_, "font matrix", [&] { ReadFontMatrix(); });
    Guarded(reporter_, "encoding", [&] { BuildEncoding(); });
    Guarded(reporter_, "glyph names", [&] { ResolveEncodingText(); });
    Guarded(reporter_, "widths", [&] { ReadSimpleWidths(); });
    Guarded(reporter_, "character set", [&] { BuildSimpleEncodable(); });
  }

  void ReadFontMatrix() {
    if (subtype_ != "Type3") return;
    QPDFObjectHandle matrix = Key(dict_, "/FontMatrix");
    if (!matrix.isArray() || matrix.getArrayNItems() != 6) {
      reporter_.Warn("Type3 font without a valid FontMatrix");
      return;
    }
    double values[6];
    for (int i = 0; i < 6; ++i) {
      auto value = NumberOf(matrix.getArrayItem(i));
      if (!value) {
        reporter_.Warn("Type3 FontMatrix holds a non-number");
        return;
      }
      values[i] = *value;
    }
    std::copy(values, values + 6, font_->matrix);
  }

  void UseTable(const char* const* table) {
    for (int code = 0; code < 256; ++code) names_[code] = table[code] ? table[code] : "";
  }

  // The encoding the font has without /Encoding, or under a /Differences without a base.
  void UseBuiltinEncoding() {
    if (standard_ && standard::IsSymbol(*standard_) && !program_) {
      UseTable(encodings::kSymbolEncoding);
    } else if (standard_ && standard::IsZapfDingbats(*standard_) && !program_) {
      UseTable(encodings::kZapfDingbatsEncoding);
    } else if (program_ &&
               (programKind_ == ProgramKind::kType1 || programKind_ == ProgramKind::kCff)) {
      names_ = program_->BuiltinEncoding();
      bool any = std::any_of(names_.begin(), names_.end(), [](auto& n) { return !n.empty(); });
      if (!any) UseTable(encodings::kStandardEncoding);
    } else if (subtype_ == "Type3") {
      // Type3 fonts have no encoding beyond their Differences.
    } else if (programKind_ == ProgramKind::kTrueType && Symbolic()) {
      // Symbolic TrueType fonts reach their glyphs through the font's cmap; no names.
    } else {
      UseTable(encodings::kStandardEncoding);
    }
  }

  void BuildEncoding() {
    QPDFObjectHandle encoding = Key(dict_, "/Encoding");
    if (encoding.isName()) {
      hasEncoding_ = true;
      if (const char* const* table = encodings::ByName(NameOf(encoding))) {
        UseTable(table);
      } else {
        reporter_.Warn("unknown encoding '" + NameOf(encoding) + "'");
        UseBuiltinEncoding();
      }
      return;
    }
    if (!encoding.isDictionary()) {
      if (!encoding.isNull()) reporter_.Warn("Encoding is neither a name nor a dictionary");
      UseBuiltinEncoding();
      return;
    }
    hasEncoding_ = true;
    QPDFObjectHandle base = Key(encoding, "/BaseEncoding");
    const char* const* table = base.isName() ? encodings::ByName(NameOf(base)) : nullptr;
    if (table) {
      UseTable(table);
    } else {
      if (!base.isNull()) reporter_.Warn("unknown BaseEncoding");
      UseBuiltinEncoding();
    }
    ApplyDifferences(Key(encoding, "/Differences"));
  }

  void ApplyDifferences(QPDFObjectHandle differences) {
    if (differences.isNull()) return;
    if (!differences.isArray()) {
      reporter_.Warn("Differences is not an array");
      return;
    }
    int items = differences.getArrayNItems();
    if (items > kMaxDifferencesItems) {
      reporter_.Warn("Differences too long, cut");
      items = kMaxDifferencesItems;
    }
    int64_t code = -1;
    for (int i = 0; i < items; ++i) {
      QPDFObjectHandle item = differences.getArrayItem(i);
      if (item.isInteger()) {
        code = item.getIntValue();
      } else if (item.isName()) {
        if (code >= 0 && code < 256) {
          names_[code] = NameOf(item);
          namedByDifferences_[code] = true;
        }
        if (code >= 0) ++code;
      }
    }
  }

  void ResolveEncodingText() {
    std::unordered_map<uint32_t, char32_t> unicodeByGlyph;
    bool symbolicTrueType = programKind_ == ProgramKind::kTrueType && program_;
    if (symbolicTrueType) unicodeByGlyph = program_->UnicodeByGlyph();
    for (int code = 0; code < 256; ++code) {
      std::u16string text = GlyphNameToUnicode(names_[code]);
      if (text.empty() && program_) text = TextFromProgram(code, unicodeByGlyph);
      // Type3 glyph names are the producer's own ("square", "g7"): the code stands for itself.
      if (text.empty() && subtype_ == "Type3" && !names_[code].empty() && code >= 32 &&
          code != 127) {
        AppendCodePoint(text, static_cast<char32_t>(code));
      }
      font_->codeText[code] = DecomposeLigature(std::move(text));
    }
  }

  // For glyphs the encoding doesn't name usefully: the program's own glyph name or cmap.
  std::u16string TextFromProgram(int code, const std::unordered_map<uint32_t, char32_t>& byGlyph) {
    uint32_t gid = GlyphOfCode(code);
    if (gid == 0) return {};
    std::u16string text;
    auto mapped = byGlyph.find(gid);
    if (mapped != byGlyph.end()) {
      AppendCodePoint(text, mapped->second);
      return text;
    }
    text = GlyphNameToUnicode(program_->GlyphName(gid));
    if (!text.empty()) return text;
    // A symbolic TrueType font reached through its (3,0) cmap: the code stands for itself.
    if (programKind_ == ProgramKind::kTrueType && names_[code].empty() && code >= 32) {
      AppendCodePoint(text, static_cast<char32_t>(code));
    }
    return text;
  }

  uint32_t TrueTypeGlyph(int code) const {
    const std::string& name = names_[code];
    if (hasEncoding_ && !name.empty() && program_->HasCmap(3, 1)) {
      auto text = GlyphNameToUnicode(name);
      if (auto point = SingleCodePoint(text)) {
        if (uint32_t gid = program_->GlyphByCmap(3, 1, *point)) return gid;
      }
    }
    if (program_->HasCmap(3, 0)) {
      for (uint32_t prefix : {0u, 0xF000u, 0xF100u, 0xF200u}) {
        if (uint32_t gid = program_->GlyphByCmap(3, 0, prefix + code)) return gid;
      }
    }
    if (program_->HasCmap(1, 0)) {
      if (uint32_t gid = program_->GlyphByCmap(1, 0, code)) return gid;
    }
    if (!name.empty()) {
      if (uint32_t gid = program_->GlyphByName(name)) return gid;
      auto text = GlyphNameToUnicode(name);
      if (auto point = SingleCodePoint(text)) {
        if (uint32_t gid = program_->GlyphByCmap(3, 1, *point)) return gid;
      }
    }
    if (!program_->HasCmap(3, 0) && !program_->HasCmap(1, 0) && !program_->HasCmap(3, 1)) {
      return static_cast<uint32_t>(code);
    }
    return 0;
  }

  uint32_t GlyphOfCode(int code) const {
    if (!program_) return 0;
    if (programKind_ == ProgramKind::kTrueType) return TrueTypeGlyph(code);
    if (!names_[code].empty()) return program_->GlyphByName(names_[code]);
    return 0;
  }

  double WidthFromFallbacks(int code) const {
    if (standard_) {
      int width = standard::WidthOf(*standard_, names_[code]);
      if (width >= 0) return width;
    }
    if (program_) {
      if (uint32_t gid = GlyphOfCode(code)) {
        if (auto width = program_->AdvanceWidth(gid)) return *width;
      }
    }
    return missingWidth_;
  }

  void ReadSimpleWidths() {
    double scale = subtype_ == "Type3" ? font_->matrix[0] : 0.001;
    std::array<std::optional<double>, 256> widths;
    QPDFObjectHandle array = Key(dict_, "/Widths");
    if (array.isArray()) {
      auto first = NumberOf(Key(dict_, "/FirstChar"));
      int64_t firstChar = first ? static_cast<int64_t>(*first) : 0;
      if (!first) reporter_.Warn("Widths without FirstChar");
      int items = array.getArrayNItems();
      if (items > 256) reporter_.Warn("Widths longer than 256 entries, cut");
      for (int i = 0; i < std::min(items, 256); ++i) {
        int64_t code = firstChar + i;
        if (code < 0 || code > 255) continue;
        widths[code] = NumberOf(array.getArrayItem(i));
      }
    } else if (!standard_ || subtype_ == "Type3") {
      reporter_.Warn(array.isNull() ? "font without widths" : "Widths is not an array");
    }
    for (int code = 0; code < 256; ++code) {
      double width = widths[code] ? *widths[code] : WidthFromFallbacks(code);
      if (!std::isfinite(width) || std::fabs(width) > 1e6) width = 0;
      font_->codeAdvance[code] = width * scale;
    }
  }

  bool SimpleCodeShowable(int code) const {
    if (subtype_ == "Type3") {
      QPDFObjectHandle procs = Key(dict_, "/CharProcs");
      return !names_[code].empty() && procs.isDictionary() && procs.hasKey("/" + names_[code]);
    }
    if (!program_) return !font_->codeText[code].empty() || font_->toUnicode.contains(code);
    bool blank = IsBlankText(font_->TextOfCode(code));
    return program_->HasRealGlyph(GlyphOfCode(code), blank);
  }

  // When several codes show one character, new text uses the best of them: the code equal
  // to the character (word spacing widens only a space at 32, and producers keep letters at
  // their usual codes), then a code the PDF itself maps (ToUnicode or Differences), then one
  // only the font program's built-in encoding knows, whose width is often a placeholder.
  // Lowest code first within each rank.
  void BuildSimpleEncodable() {
    constexpr int kRanks = 3;
    for (int rank = 0; rank < kRanks; ++rank) {
      for (int code = 0; code < 256; ++code) {
        auto point = SingleCodePoint(font_->TextOfCode(code));
        if (!point || font_->encodable.contains(*point) || EncodingRank(code, *point) != rank) {
          continue;
        }
        if (SimpleCodeShowable(code)) font_->encodable[*point] = {static_cast<uint32_t>(code), 1};
      }
    }
  }

  int EncodingRank(int code, char32_t point) const {
    if (point == static_cast<char32_t>(code)) return 0;
    if (font_->toUnicode.contains(code) || namedByDifferences_[code]) return 1;
    return 2;
  }

  // ---- composite fonts ------------------------------------------------------------------

  void LoadComposite() {
    font_->codespace = {{0, 0xFFFF, 2}};
    Guarded(reporter_, "CMap", [&] { ReadEncodingCMap(); });
    Guarded(reporter_, "widths", [&] { ReadCidWidths(); });
    Guarded(reporter_, "CIDToGIDMap", [&] { ReadCidToGid(); });
    Guarded(reporter_, "glyph names", [&] { DeriveCidText(); });
    Guarded(reporter_, "character set", [&] { BuildCompositeEncodable(); });
  }

  void ReadEncodingCMap() {
    QPDFObjectHandle encoding = Key(dict_, "/Encoding");
    if (encoding.isName()) {
      std::string name = NameOf(encoding);
      if (name == "Identity-H" || name == "Identity-V") return;
      // Unicode-keyed CMaps: the code is the text even without the CMap file.
      if (name.starts_with("Uni") &&
          (name.find("UCS2") != std::string::npos || name.find("UTF16") != std::string::npos)) {
        unicodeCodes_ = true;
      }
      reporter_.Warn("predefined CMap '" + name + "' not available, read as two-byte codes");
      return;
    }
    if (!encoding.isStream()) {
      reporter_.Warn("Type0 font without a usable Encoding, read as Identity-H");
      return;
    }
    auto data = ReadStream(encoding, kMaxCMapBytes, reporter_, "CMap");
    if (!data) return;
    ParsedCMap cmap = ParseCMap(*data);
    for (const auto& problem : cmap.problems) reporter_.Warn("CMap: " + problem);
    std::string useCMap = cmap.useCMap;
    if (useCMap.empty()) useCMap = NameOf(Key(encoding.getDict(), "/UseCMap"));
    if (!cmap.codespace.empty()) font_->codespace = cmap.codespace;
    if (!cmap.cids.empty()) {
      font_->identityCids = false;
      font_->cidRanges = std::move(cmap.cids);
      std::stable_sort(font_->cidRanges.begin(), font_->cidRanges.end(),
                       [](const CidRange& a, const CidRange& b) { return a.low < b.low; });
    }
    if (!useCMap.empty() && useCMap != "Identity-H" && useCMap != "Identity-V") {
      reporter_.Warn("CMap uses '" + useCMap + "', which is not available");
    }
  }

  void AddWidthRange(uint32_t first, uint32_t last, std::optional<double> width) {
    if (!width || !std::isfinite(*width) || first > last) return;
    if (font_->cidWidths.size() >= kMaxWidthRanges) {
      widthsCut_ = true;
      return;
    }
    font_->cidWidths.push_back({first, last, *width});
  }

  void ReadCidWidths() {
    if (auto dw = NumberOf(Key(descendant_, "/DW"))) font_->defaultWidth = *dw;
    QPDFObjectHandle w = Key(descendant_, "/W");
    if (w.isNull()) return;
    if (!w.isArray()) {
      reporter_.Warn("W is not an array");
      return;
    }
    int items = w.getArrayNItems();
    if (items > kMaxWidthItems) {
      reporter_.Warn("W too long, cut");
      items = kMaxWidthItems;
    }
    int budget = kMaxWidthItems;  // all entries of all inner arrays together
    for (int i = 0; i < items && budget > 0;) {
      auto first = NumberOf(w.getArrayItem(i));
      if (!first || *first < 0 || *first > kMaxCid) {
        reporter_.Warn("W holds a bad CID");
        break;
      }
      uint32_t cid = static_cast<uint32_t>(*first);
      QPDFObjectHandle next = i + 1 < items ? w.getArrayItem(i + 1) : QPDFObjectHandle::newNull();
      if (next.isArray()) {
        int count = std::min(next.getArrayNItems(), budget);
        budget -= count;
        for (int k = 0; k < count && cid + k <= kMaxCid; ++k) {
          AddWidthRange(cid + k, cid + k, NumberOf(next.getArrayItem(k)));
        }
        i += 2;
      } else if (i + 2 < items) {
        auto last = NumberOf(next);
        if (!last || *last < *first) {
          reporter_.Warn("W holds a bad CID range");
          break;
        }
        AddWidthRange(cid, static_cast<uint32_t>(std::min<double>(*last, kMaxCid)),
                      NumberOf(w.getArrayItem(i + 2)));
        --budget;
        i += 3;
      } else {
        reporter_.Warn("W ends in the middle of an entry");
        break;
      }
    }
    if (widthsCut_) reporter_.Warn("W has too many entries, cut");
    std::stable_sort(font_->cidWidths.begin(), font_->cidWidths.end(),
                     [](const WidthRange& a, const WidthRange& b) { return a.first < b.first; });
  }

  void ReadCidToGid() {
    QPDFObjectHandle map = Key(descendant_, "/CIDToGIDMap");
    if (!map.isStream()) return;
    auto data = ReadStream(map, kMaxCidToGidBytes, reporter_, "CIDToGIDMap");
    if (!data) return;
    cidToGid_.reserve(data->size() / 2);
    for (size_t i = 0; i + 1 < data->size(); i += 2) {
      cidToGid_.push_back(static_cast<uint16_t>((static_cast<unsigned char>((*data)[i]) << 8) |
                                                static_cast<unsigned char>((*data)[i + 1])));
    }
    hasCidToGidStream_ = true;
  }

  uint32_t GlyphOfCid(uint32_t cid) const {
    if (!program_) return 0;
    if (programKind_ == ProgramKind::kTrueType) {
      if (!hasCidToGidStream_) return cid;
      return cid < cidToGid_.size() ? cidToGid_[cid] : 0;
    }
    return program_->GlyphByCid(cid);
  }

  // Without ToUnicode, the program is the way to the text: glyph names (CFF subsets from
  // Ghostscript) or the TrueType Unicode cmap read backwards.
  void DeriveCidText() {
    font_->codesAreUnicode = unicodeCodes_;
    if (!program_) return;
    std::unordered_map<uint32_t, char32_t> byGlyph = program_->UnicodeByGlyph();
    std::unordered_map<uint32_t, uint32_t> cidOfGlyph;  // only when a map stream reorders
    uint32_t glyphs = std::min<uint32_t>(program_->GlyphCount(), kMaxCid + 1);
    if (programKind_ == ProgramKind::kTrueType && hasCidToGidStream_) {
      for (uint32_t cid = 0; cid < cidToGid_.size(); ++cid) cidOfGlyph.emplace(cidToGid_[cid], cid);
    }
    bool cidKeyed = programKind_ != ProgramKind::kTrueType && program_->IsCidKeyed();
    if (cidKeyed) return;  // CID-keyed CFF has no names; its text needs ToUnicode
    for (uint32_t gid = 1; gid < glyphs; ++gid) {
      std::u16string text;
      auto mapped = byGlyph.find(gid);
      if (mapped != byGlyph.end()) {
        AppendCodePoint(text, mapped->second);
      } else {
        text = GlyphNameToUnicode(program_->GlyphName(gid));
      }
      if (text.empty()) continue;
      text = DecomposeLigature(std::move(text));
      uint32_t cid = gid;
      if (!cidOfGlyph.empty()) {
        auto found = cidOfGlyph.find(gid);
        if (found == cidOfGlyph.end()) continue;
        cid = found->second;
      }
      font_->cidText.emplace(cid, std::move(text));
    }
  }

  uint8_t CodeLengthOf(uint32_t code) const {
    for (const auto& range : font_->codespace) {
      if (code >= range.low && code <= range.high) return range.bytes;
    }
    return 0;
  }

  bool CompositeCodeShowable(uint32_t code, std::u16string_view text) const {
    // A blank glyph can't show that it is missing: only one the producer gave a width is used.
    if (IsBlankText(text) && !font_->HasListedWidth(font_->CidOf(code))) return false;
    if (!program_) return true;
    return program_->HasRealGlyph(GlyphOfCid(font_->CidOf(code)), IsBlankText(text));
  }

  void OfferCode(uint32_t code) {
    uint8_t length = CodeLengthOf(code);
    if (length == 0) return;
    std::u16string text = font_->TextOfCode(code);
    auto point = SingleCodePoint(text);
    if (!point) return;
    auto existing = font_->encodable.find(*point);
    if (existing != font_->encodable.end() && existing->second.code <= code) return;
    if (CompositeCodeShowable(code, text)) font_->encodable[*point] = {code, length};
  }

  void BuildCompositeEncodable() {
    for (const auto& [code, text] : font_->toUnicode) OfferCode(code);
    if (font_->identityCids) {
      for (const auto& [cid, text] : font_->cidText) {
        if (!font_->toUnicode.contains(cid)) OfferCode(cid);
      }
    }
  }

  // ---- both -----------------------------------------------------------------------------

  void ComputeSpaceAdvance() {
    std::optional<double> space;
    if (!font_->composite) {
      if (font_->TextOfCode(32) == u" " && font_->codeAdvance[32] > 0)
        space = font_->codeAdvance[32];
    }
    if (!space) {
      auto found = font_->encodable.find(U' ');
      if (found != font_->encodable.end()) {
        double advance = font_->AdvanceOfCode(found->second.code);
        if (advance > 0) space = advance;
      }
    }
    if (!space && !font_->composite) {
      for (int code = 0; code < 256 && !space; ++code) {
        if (font_->TextOfCode(code) == u" " && font_->codeAdvance[code] > 0) {
          space = font_->codeAdvance[code];
        }
      }
    }
    font_->spaceAdvance = space && std::isfinite(*space) ? *space : EstimatedSpace();
  }

  // Half the average glyph advance, kept within a sensible part of an em.
  double EstimatedSpace() const {
    double sum = 0;
    int count = 0;
    if (font_->composite) {
      for (const auto& range : font_->cidWidths) {
        if (range.width > 0) {
          sum += range.width / 1000.0;
          ++count;
        }
      }
    } else {
      for (double advance : font_->codeAdvance) {
        if (advance > 0) {
          sum += advance;
          ++count;
        }
      }
    }
    double em = subtype_ == "Type3" ? std::fabs(font_->matrix[0]) * 1000.0 : 1.0;
    if (em <= 0 || !std::isfinite(em)) em = 1.0;
    if (count == 0) return 0.25 * em;
    return std::clamp(sum / count * 0.5, 0.15 * em, 0.5 * em);
  }

  QPDFObjectHandle dict_;
  Reporter reporter_;
  std::shared_ptr<LoadedFont> font_;
  std::string subtype_;
  std::string cidSubtype_;
  QPDFObjectHandle descendant_ = QPDFObjectHandle::newNull();
  QPDFObjectHandle descriptor_ = QPDFObjectHandle::newNull();
  const standard::StandardFont* standard_ = nullptr;
  std::unique_ptr<FontProgram> program_;
  ProgramKind programKind_ = ProgramKind::kNone;
  double missingWidth_ = 0;
  std::array<std::string, 256> names_;
  std::bitset<256> namedByDifferences_;
  bool hasEncoding_ = false;
  bool unicodeCodes_ = false;
  bool widthsCut_ = false;
  std::vector<uint16_t> cidToGid_;
  bool hasCidToGidStream_ = false;
};

}  // namespace

std::shared_ptr<PdfFont> PdfFont::Load(QPDFObjectHandle fontDict, ErrorSink& errors) {
  try {
    return FontLoader(fontDict, errors).Load();
  } catch (const std::exception& e) {
    errors.Report(kFontErrorCode, std::string("Font can't be read: ") + e.what(), kFontWarning);
  }
  NullErrorSink quiet;
  return FontLoader(QPDFObjectHandle::newNull(), quiet).Load();
}

}  // namespace pdfcore
