#include "textout/text_output.h"

#include <cmath>
#include <cstdio>
#include <mutex>

#include "base/number_format.h"
#include "textout/resources.h"

namespace pdfcore {
namespace {

constexpr size_t kMaxColorComponents = 32;

std::string CodePointText(char32_t codePoint) {
  char buffer[16];
  std::snprintf(buffer, sizeof(buffer), "U+%04X", static_cast<unsigned>(codePoint));
  return buffer;
}

bool IsControl(char32_t c) {
  return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0xFEFF || (c & 0xFFFE) == 0xFFFE;
}

std::u16string ToUtf16(const std::vector<char32_t>& characters) {
  std::u16string out;
  for (char32_t c : characters) {
    if (c < 0x10000) {
      out += static_cast<char16_t>(c);
    } else {
      char32_t v = c - 0x10000;
      out += static_cast<char16_t>(0xD800 + (v >> 10));
      out += static_cast<char16_t>(0xDC00 + (v & 0x3FF));
    }
  }
  return out;
}

std::string Components(const std::vector<double>& values) {
  std::string out;
  for (size_t i = 0; i < values.size() && i < kMaxColorComponents; ++i) {
    out += FormatNumber(values[i]) + " ";
  }
  return out;
}

// Device colours as g / rg / k; components missing or of the wrong count give the space's
// initial colour (black).
std::string DeviceColorOperators(int32_t space, const ColorEntry* color, bool stroke) {
  static constexpr size_t kCounts[] = {1, 3, 4};
  static constexpr const char* kFill[] = {"g", "rg", "k"};
  static constexpr const char* kStroke[] = {"G", "RG", "K"};
  std::vector<double> values(kCounts[space], 0.0);
  if (space == PDF_CS_DEVICE_CMYK) values[3] = 1.0;
  if (color && color->components.size() == kCounts[space]) values = color->components;
  return Components(values) + (stroke ? kStroke[space] : kFill[space]) + "\n";
}

int32_t DeviceSpaceOfFamily(const std::string& family) {
  if (family == "DeviceGray") return PDF_CS_DEVICE_GRAY;
  if (family == "DeviceRGB") return PDF_CS_DEVICE_RGB;
  if (family == "DeviceCMYK") return PDF_CS_DEVICE_CMYK;
  return -1;
}

QPDFObjectHandle OwnedBy(QPDF& pdf, QPDFObjectHandle object) {
  if (object.isIndirect() && object.getOwningQPDF() != &pdf) return pdf.copyForeignObject(object);
  return object;
}

}  // namespace

TextOutput::TextOutput(QPDF& pdf) : pdf_(pdf) {}
TextOutput::~TextOutput() = default;

// ---- fonts ----

TextOutput::FaceSlot* TextOutput::SlotFor(const SystemFontFile& file) {
  auto key = std::make_pair(file.path, file.index);
  auto found = faces_.find(key);
  if (found != faces_.end()) return found->second ? found->second.get() : nullptr;
  std::unique_ptr<FaceSlot> slot;
  if (auto face = SfntFace::Load(file.path, file.index)) {
    slot = std::make_unique<FaceSlot>();
    slot->face = std::move(face);
  }
  FaceSlot* result = slot.get();
  faces_[key] = std::move(slot);  // failures are remembered too
  return result;
}

TextOutput::FaceSlot* TextOutput::ResolvedSlot(const FamilyRequest& request, const FontLook& look,
                                               bool sameKindToo) {
  std::string key = request.postScriptName + "|" + std::to_string(look.weight) + "|" +
                    std::to_string(look.italic) + std::to_string(look.serif) +
                    std::to_string(look.fixedPitch) + std::to_string(look.widthClass) +
                    std::to_string(sameKindToo);
  for (const std::string& candidate : request.candidates) key += "|" + candidate;
  auto found = resolvedCache_.find(key);
  if (found != resolvedCache_.end()) return found->second;
  FaceSlot* slot = nullptr;
  if (auto file = ResolveFace(request, look, sameKindToo)) slot = SlotFor(*file);
  resolvedCache_[key] = slot;
  return slot;
}

TextOutput::FaceSlot* TextOutput::CharacterSlot(char32_t codePoint) {
  auto key = std::make_tuple(codePoint, selection_.style, selection_.serif, selection_.fixedPitch);
  auto found = characterCache_.find(key);
  if (found != characterCache_.end()) return found->second;
  FaceSlot* slot = nullptr;
  if (auto file = FindSystemFontWithCharacter(codePoint, selection_.style, selection_.serif,
                                              selection_.fixedPitch)) {
    slot = SlotFor(*file);
    if (slot && slot->face->GlyphOf(codePoint) == 0) slot = nullptr;
  }
  characterCache_[key] = slot;
  return slot;
}

namespace {

bool SharesAFamily(const FamilyRequest& a, const FamilyRequest& b) {
  for (const std::string& mine : a.candidates) {
    for (const std::string& wanted : b.candidates) {
      if (NormalizeFamily(mine) == NormalizeFamily(wanted)) return true;
    }
  }
  return false;
}

// The record font's look, with what the caller's style flags add (a bold flag never makes a
// heavier face lighter).
FontLook LookOfRecordFont(const PdfFont& font, int32_t style) {
  FontLook look = LookOfFont(font.Info(), font.StyleFacts());
  if ((style & kStyleBold) && !look.Bold()) look.weight = kWeightBold;
  if (style & kStyleItalic) look.italic = true;
  return look;
}

}  // namespace

int32_t TextOutput::Select(std::string_view family, int32_t style, const PdfFont* recordFont,
                           bool asFallback, ErrorSink& errors) {
  FamilyRequest request = ParseFamilyName(family, style);
  if (request.candidates.empty()) {
    errors.Report(kErrFontNotFound, "Invalid font name", PDF_E_FONT | PDF_E_WARNING);
    return -1;
  }

  // Is the family asked for the record font's own? A font without a name is asked for as the
  // default family; it is still the record's font.
  FamilyRequest own;
  bool ofRecordFont = false;
  if (recordFont) {
    const char* name = recordFont->Info().FontName;
    own = ParseFamilyName(name ? name : "", 0);
    ofRecordFont = !name || !*name || SharesAFamily(own, request);
  }

  FaceSlot* primary = nullptr;
  FontLook look = LookOfRequest(request);
  if (recordFont && (ofRecordFont || asFallback)) {
    // Written in the record's style: its own design, else a face of its kind; the fallback
    // family (typically "Arial" or "Courier New") only when neither is installed.
    look = LookOfRecordFont(*recordFont, style);
    if (!own.candidates.empty()) primary = ResolvedSlot(own, look, true);
    if (!primary && !ofRecordFont) primary = ResolvedSlot(request, look, false);
    if (!primary) primary = ResolvedSlot(request, look, true);
  } else {
    primary = ResolvedSlot(request, look, asFallback);
  }
  if (!primary && !ofRecordFont) {
    errors.Report(kErrFontNotFound, "Font not found: " + std::string(family),
                  PDF_E_FONT | PDF_E_NOTICE);
    return -1;
  }

  selection_.valid = true;
  selection_.documentFont = recordFont && (ofRecordFont || asFallback) ? recordFont : nullptr;
  selection_.primary = primary;
  selection_.style = look.Style();
  selection_.serif = look.serif;
  selection_.fixedPitch = look.fixedPitch;
  int32_t number = 0;
  for (const auto& [key, slot] : faces_) {
    if (slot.get() == primary) break;
    ++number;
  }
  return number;
}

int32_t TextOutput::SetFont(std::string_view family, int32_t style, double size,
                            const PdfFont* recordFont, ErrorSink& errors) {
  int32_t result = Select(family, style, recordFont, false, errors);
  if (result >= 0) ChangeFontSize(size);
  return result;
}

int32_t TextOutput::SetFallbackFont(std::string_view family, int32_t style, double size,
                                    const PdfFont* recordFont, ErrorSink& errors) {
  int32_t result = Select(family, style, recordFont, true, errors);
  if (result >= 0) ChangeFontSize(size);
  return result;
}

bool TextOutput::SetTextDrawMode(int32_t mode) {
  if (mode < 0 || mode > 7) return false;
  drawMode_ = mode;
  return true;
}

bool TextOutput::ChangeFontSize(double size) {
  if (!std::isfinite(size) || std::fabs(size) > 1e6) return false;
  fontSize_ = size;
  return true;
}

// ---- layout ----

void TextOutput::ReportOnce(char32_t codePoint, int32_t code, const std::string& message,
                            ErrorSink* errors) {
  if (!errors || !reported_.insert(codePoint).second) return;
  errors->Report(code, message + " " + CodePointText(codePoint), PDF_E_FONT | PDF_E_NOTICE);
}

std::vector<char32_t> TextOutput::ShowableCharacters(std::u16string_view text, ErrorSink* errors) {
  std::vector<char32_t> out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      ReportOnce(c, kErrCharacterSkipped, "Unpaired surrogate skipped:", errors);
      continue;
    }
    if (IsControl(c)) {
      ReportOnce(c, kErrCharacterSkipped, "Control character skipped:", errors);
      continue;
    }
    out.push_back(c);
  }
  return out;
}

bool TextOutput::LayOutInDocumentFont(TextTarget* target, const std::vector<char32_t>& characters,
                                      const TextStateSnapshot& state, Layout& layout) {
  const PdfFont* font = selection_.documentFont;
  if (!font) return false;
  if (target && !target->FontDictionary(font).isDictionary()) return false;
  // Measured as the content interpreter will measure the written string.
  auto measure = [&](const std::string& bytes) {
    std::vector<DecodedGlyph> glyphs;
    font->Decode(bytes, glyphs);
    double width = 0;
    for (const DecodedGlyph& glyph : glyphs) {
      width += glyph.advance * fontSize_ + state.charSpacing +
               (glyph.isWordSpace ? state.wordSpacing : 0.0);
    }
    return width * state.horizontalScale;
  };
  std::string bytes;
  if (font->Encode(ToUtf16(characters), bytes, nullptr)) {
    layout.width = measure(bytes);
    layout.pieces.push_back(Piece{nullptr, std::move(bytes), layout.width, 0, {}});
    return true;
  }
  // TeX's subsets hold no space glyph: the words may still be the font's, with the spaces
  // between them written as shifts of a space's width.
  const double space = (font->SpaceAdvance() * fontSize_ + state.charSpacing + state.wordSpacing) *
                       state.horizontalScale;
  double pending = 0;
  std::vector<char32_t> word;
  auto flush = [&]() {
    if (word.empty()) return true;
    std::string wordBytes;
    if (!font->Encode(ToUtf16(word), wordBytes, nullptr)) return false;
    const double width = measure(wordBytes);
    layout.pieces.push_back(Piece{nullptr, std::move(wordBytes), width, pending, {}});
    layout.width += pending + width;
    pending = 0;
    word.clear();
    return true;
  };
  for (char32_t c : characters) {
    if (c != U' ') {
      word.push_back(c);
      continue;
    }
    if (!flush()) break;
    pending += space;
  }
  if (!flush() || !word.empty() || !std::isfinite(space) || space <= 0) {
    layout = Layout{};
    return false;
  }
  layout.width += pending;
  return true;
}

void TextOutput::LayOutInSystemFonts(const std::vector<char32_t>& characters,
                                     const TextStateSnapshot& state, Layout& layout,
                                     ErrorSink* errors) {
  double width = 0;
  for (char32_t c : characters) {
    FaceSlot* slot = selection_.primary;
    uint32_t glyph = slot ? slot->face->GlyphOf(c) : 0;
    if (glyph == 0) {
      slot = CharacterSlot(c);
      glyph = slot ? slot->face->GlyphOf(c) : 0;
    }
    if (glyph == 0) {
      ReportOnce(c, kErrCharacterNotShown, "No font can show the character", errors);
      continue;
    }
    if (layout.pieces.empty() || layout.pieces.back().slot != slot) {
      layout.pieces.push_back(Piece{slot, {}, 0, 0, {}});
    }
    Piece& piece = layout.pieces.back();
    piece.bytes += static_cast<char>((glyph >> 8) & 0xFF);
    piece.bytes += static_cast<char>(glyph & 0xFF);
    piece.glyphs.emplace_back(glyph, c);
    // As a viewer measures it: the /W entry of the glyph. Two-byte codes: word spacing never
    // applies.
    const double advance = (slot->face->Width1000(glyph) / 1000.0 * fontSize_ + state.charSpacing) *
                           state.horizontalScale;
    piece.width += advance;
    width += advance;
  }
  layout.width = width;
}

TextOutput::Layout TextOutput::Arrange(TextTarget* target, std::u16string_view text,
                                       ErrorSink* errors) {
  static const TextStateSnapshot kInitialState;
  const TextStateSnapshot& state = target ? target->State() : kInitialState;
  Layout layout;
  std::vector<char32_t> characters = ShowableCharacters(text, errors);
  if (characters.empty()) return layout;
  if (!LayOutInDocumentFont(target, characters, state, layout)) {
    LayOutInSystemFonts(characters, state, layout, errors);
  }
  return layout;
}

double TextOutput::Width(TextTarget* target, std::u16string_view text) {
  return Arrange(target, text, nullptr).width;
}

// ---- writing ----

std::string TextOutput::ColorOperators(const ColorState& state, bool stroke,
                                       const ColorTable& colors, QPDFObjectHandle resources) {
  const ColorEntry* color = colors.Color(state.color);
  int32_t device = state.space >= 0 && state.space <= PDF_CS_DEVICE_CMYK ? state.space : -1;
  const ColorSpaceEntry* space = colors.Space(state.space);
  QPDFObjectHandle spaceObject = space ? space->object : QPDFObjectHandle();
  if (device < 0 && space && (!spaceObject.isInitialized() || spaceObject.isNull())) {
    device = DeviceSpaceOfFamily(space->family);
  }
  if (device >= 0) return DeviceColorOperators(device, color, stroke);
  if (!space) return {};  // unknown token: the initial colour, black

  QPDFObjectHandle object = OwnedBy(pdf_, spaceObject);
  std::string spaceName = object.isName() && object.getName() == "/Pattern"
                              ? "/Pattern"
                              : ResourceName(resources, "/ColorSpace", object, "CvCS");
  std::string out = spaceName + (stroke ? " CS\n" : " cs\n");
  if (!color) return out;  // the space's initial colour
  out += Components(color->components);
  QPDFObjectHandle pattern = color->pattern;
  if (pattern.isInitialized() && !pattern.isNull()) {
    out += ResourceName(resources, "/Pattern", OwnedBy(pdf_, pattern), "CvP") + " ";
  } else if (color->components.empty()) {
    return out;
  }
  return out + (stroke ? "SCN\n" : "scn\n");
}

std::string TextOutput::FontOperand(TextTarget& target, QPDFObjectHandle resources, Piece& piece) {
  QPDFObjectHandle font;
  if (!piece.slot) {
    font = target.FontDictionary(selection_.documentFont);
  } else {
    if (!piece.slot->embedded) {
      piece.slot->embedded = std::make_unique<EmbeddedFont>(pdf_, *piece.slot->face);
    }
    for (const auto& [glyph, codePoint] : piece.glyphs) {
      piece.slot->embedded->UseGlyph(glyph, codePoint);
    }
    font = piece.slot->embedded->FontObject();
  }
  return ResourceName(resources, "/Font", OwnedBy(pdf_, font), "CvF");
}

int32_t TextOutput::Write(TextTarget& target, const TPDFMatrix& m, std::u16string_view text,
                          const ColorTable& colors, ErrorSink& errors) {
  for (double v : {m.a, m.b, m.c, m.d, m.e, m.f}) {
    if (!std::isfinite(v)) {
      errors.Report(kErrBadTextArgument, "Invalid text matrix", PDF_E_VALUE | PDF_E_WARNING);
      return -1;
    }
  }
  Layout layout = Arrange(&target, text, &errors);
  if (layout.pieces.empty()) return 0;

  const TextStateSnapshot& state = target.State();
  QPDFObjectHandle resources = EditableResources(target.Owner());
  PlacedText placed;
  placed.matrix = m;
  placed.fillColor = ColorOperators(fill_, false, colors, resources);
  placed.strokeColor = ColorOperators(stroke_, true, colors, resources);
  placed.charSpacing = state.charSpacing;
  placed.wordSpacing = state.wordSpacing;
  placed.horizontalScale = state.horizontalScale;
  placed.renderMode = drawMode_;
  placed.fontSize = fontSize_;
  for (Piece& piece : layout.pieces) {
    placed.matrix.e += piece.shiftBefore * placed.matrix.a;
    placed.matrix.f += piece.shiftBefore * placed.matrix.b;
    placed.fontName = FontOperand(target, resources, piece);
    placed.bytes = piece.bytes;
    placed.width = piece.width;
    target.Place(placed);
    // The next piece starts where this one ends.
    placed.matrix.e += piece.width * placed.matrix.a;
    placed.matrix.f += piece.width * placed.matrix.b;
  }
  return 0;
}

void TextOutput::FinalizeFonts(ErrorSink& errors) {
  for (auto& [key, slot] : faces_) {
    if (slot && slot->embedded && slot->embedded->HasGlyphs()) slot->embedded->Build(errors);
  }
}

// ---- per document ----

namespace {

struct Registry {
  std::mutex mutex;
  std::map<unsigned long long, std::unique_ptr<TextOutput>> outputs;
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

}  // namespace

TextOutput& TextOutputOf(QPDF& pdf) {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  auto& output = registry.outputs[pdf.getUniqueId()];
  if (!output) output = std::make_unique<TextOutput>(pdf);
  return *output;
}

void FinalizeFonts(QPDF& pdf, ErrorSink& errors) {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  auto found = registry.outputs.find(pdf.getUniqueId());
  if (found != registry.outputs.end()) found->second->FinalizeFonts(errors);
}

void ForgetTextOutput(unsigned long long documentId) {
  Registry& registry = TheRegistry();
  std::unique_ptr<TextOutput> dropped;  // destroyed outside the lock
  std::lock_guard lock(registry.mutex);
  auto found = registry.outputs.find(documentId);
  if (found == registry.outputs.end()) return;
  dropped = std::move(found->second);
  registry.outputs.erase(found);
}

}  // namespace pdfcore
