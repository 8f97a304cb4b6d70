// Text output of one document: the font made current by family and style, the colours, draw
// mode and size of text written from now on, writing characters at a matrix into the content
// open for editing, and the width of exactly what such a write shows.
//
// Each write prefers the document's own font (the font of the text record read last) when it
// can show every character; otherwise it uses the selected system font, embedded as a Type0
// subset shared by every write of the document. The subsets are built by FinalizeFonts, which
// the document calls right before it is written.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include "core/color_table.h"
#include "core/content_editor.h"
#include "core/errors.h"
#include "dynapdf_abi.h"
#include "fonts/pdf_font.h"
#include "textout/embedded_font.h"
#include "textout/font_name.h"
#include "textout/sfnt_face.h"
#include "textout/system_fonts.h"

namespace pdfcore {

// Error codes passed with the reports of the text output.
enum TextOutputError : int32_t {
  kErrFontNotFound = -0x301,
  kErrCharacterNotShown = -0x302,
  kErrCharacterSkipped = -0x303,
  kErrBadTextArgument = -0x304,
};

// The content that text is written into: in the library the ContentEditor open for editing.
class TextTarget {
 public:
  virtual ~TextTarget() = default;
  // Text state of the record read last (its font is "the document's own font").
  virtual const TextStateSnapshot& State() const = 0;
  // Adds operators after the content, which starts them in the initial graphics state.
  virtual void Append(const std::string& operators) = 0;
  // Shows one string of glyphs; a content open for editing puts it where the text it stands
  // for was. By default it is appended on its own.
  virtual void Place(const PlacedText& text) { Append(StandaloneOperators(text)); }
  // The page or form whose /Resources get the fonts and colour spaces used.
  virtual QPDFObjectHandle Owner() const = 0;
  // The font dictionary `font` was loaded from, null when it can't be found.
  virtual QPDFObjectHandle FontDictionary(const PdfFont* font) = 0;
};

class TextOutput {
 public:
  explicit TextOutput(QPDF& pdf);
  ~TextOutput();
  TextOutput(const TextOutput&) = delete;
  TextOutput& operator=(const TextOutput&) = delete;

  // pdfSetFontExA: makes the family current in `style` (1 italic, 2 bold). The record's font
  // is kept for writing when it is of that family; the system font of the family (or a
  // metric alias) serves what it can't show. When the family is not installed but the
  // record's font is of it, a system font of the same look stands in. Returns a
  // non-negative font number, or a negative value when the family resolves to nothing.
  int32_t SetFont(std::string_view family, int32_t style, double size, const PdfFont* recordFont,
                  ErrorSink& errors);

  // pdfSetFontA: the fallback after SetFont refused the record font's family: the named
  // family (typically "Arial" or "Courier New"), given the weight, slant and serif look of
  // the record's font when its own family is not installed; the record's font stays preferred
  // for characters it can show.
  int32_t SetFallbackFont(std::string_view family, int32_t style, double size,
                          const PdfFont* recordFont, ErrorSink& errors);

  void SetFillColorSpace(int32_t space) { fill_.space = space; }
  void SetFillColor(uint32_t color) { fill_.color = color; }
  void SetStrokeColorSpace(int32_t space) { stroke_.space = space; }
  void SetStrokeColor(uint32_t color) { stroke_.color = color; }
  bool SetTextDrawMode(int32_t mode);
  bool ChangeFontSize(double size);

  // pdfWriteTextMatrixExW: 0 on success (also when nothing could be shown), negative on bad
  // arguments. Characters no font can show are reported once each and left out.
  int32_t Write(TextTarget& target, const TPDFMatrix& matrix, std::u16string_view text,
                const ColorTable& colors, ErrorSink& errors);

  // pdfGetTextWidthExW: the advance of exactly what Write shows for `text`, in text space.
  // `target` may be null when no content is open (the record's spacing is then 0).
  double Width(TextTarget* target, std::u16string_view text);

  // Builds the embedded subsets of every system font written with; call before writing the
  // document (again after further writes).
  void FinalizeFonts(ErrorSink& errors);

 private:
  struct FaceSlot {
    std::unique_ptr<SfntFace> face;
    std::unique_ptr<EmbeddedFont> embedded;  // created by the first write with the face
  };
  struct Selection {
    bool valid = false;
    const PdfFont* documentFont = nullptr;
    FaceSlot* primary = nullptr;
    int32_t style = 0;
    bool serif = false;
    bool fixedPitch = false;
  };
  struct ColorState {
    int32_t space = PDF_CS_DEVICE_GRAY;
    uint32_t color = 0;
    bool hasColor = false;
  };
  struct Piece {
    FaceSlot* slot = nullptr;  // null: the document's own font
    std::string bytes;         // the string operand
    double width = 0;          // its advance in text space
    double shiftBefore = 0;    // spaces the font has no glyph for, written as a shift
    std::vector<std::pair<uint32_t, char32_t>> glyphs;  // system fonts: glyph and character
  };
  struct Layout {
    std::vector<Piece> pieces;
    double width = 0;
  };

  int32_t Select(std::string_view family, int32_t style, const PdfFont* recordFont, bool asFallback,
                 ErrorSink& errors);
  FaceSlot* SlotFor(const SystemFontFile& file);
  FaceSlot* ResolvedSlot(const FamilyRequest& request, const FontLook& look, bool sameKindToo);
  FaceSlot* CharacterSlot(char32_t codePoint);
  std::vector<char32_t> ShowableCharacters(std::u16string_view text, ErrorSink* errors);
  bool LayOutInDocumentFont(TextTarget* target, const std::vector<char32_t>& characters,
                            const TextStateSnapshot& state, Layout& layout);
  void LayOutInSystemFonts(const std::vector<char32_t>& characters, const TextStateSnapshot& state,
                           Layout& layout, ErrorSink* errors);
  Layout Arrange(TextTarget* target, std::u16string_view text, ErrorSink* errors);
  void ReportOnce(char32_t codePoint, int32_t code, const std::string& message, ErrorSink* errors);
  std::string ColorOperators(const ColorState& state, bool stroke, const ColorTable& colors,
                             QPDFObjectHandle resources);
  std::string FontOperand(TextTarget& target, QPDFObjectHandle resources, Piece& piece);

  QPDF& pdf_;
  std::map<std::pair<std::string, int>, std::unique_ptr<FaceSlot>> faces_;
  std::map<std::string, FaceSlot*> resolvedCache_;
  std::map<std::tuple<char32_t, int32_t, bool, bool>, FaceSlot*> characterCache_;
  std::set<char32_t> reported_;
  Selection selection_;
  ColorState fill_, stroke_;
  int32_t drawMode_ = 0;
  double fontSize_ = 10;
};

// The text output of a document, created on first use. Documents are told apart by QPDF's
// unique id, so a new document never finds the state of an old one.
TextOutput& TextOutputOf(QPDF& pdf);

// Builds the fonts the text output embedded in `pdf`: the document calls this right before
// writing it with QPDFWriter. Nothing happens when no text was written.
void FinalizeFonts(QPDF& pdf, ErrorSink& errors);

// Drops the text output state of a document that is being closed (by QPDF::getUniqueId(),
// so it can be called after the QPDF object is gone).
void ForgetTextOutput(unsigned long long documentId);

// The content editor as the target of written text; fonts are found in the editor owner's
// resources (and those it inherits) through `fonts`.
class EditorTextTarget final : public TextTarget {
 public:
  EditorTextTarget(ContentEditor& editor, FontCache& fonts) : editor_(editor), fonts_(fonts) {}
  const TextStateSnapshot& State() const override;
  void Append(const std::string& operators) override;
  void Place(const PlacedText& text) override;
  QPDFObjectHandle Owner() const override;
  QPDFObjectHandle FontDictionary(const PdfFont* font) override;

 private:
  ContentEditor& editor_;
  FontCache& fonts_;
};

}  // namespace pdfcore
