// One content open for editing (a page or a form XObject): delivers its text records in
// content order, removes text from them, and stores the edited content.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include "core/errors.h"
#include "dynapdf_abi.h"

namespace pdfcore {

class FontCache;   // fonts of one document, loaded once each (core/font_cache.h)
class ColorTable;  // exact colours behind the record's colour tokens (core/color_table.h)
class PdfFont;
namespace content {
class ContentCache;  // what the document remembers of its contents (content/content_cache.h)
}

// The text state of the record delivered last, beyond what the record itself carries:
// what new text written "in the style of the record" needs.
struct TextStateSnapshot {
  PdfFont* font = nullptr;
  double fontSize = 0;
  double charSpacing = 0;      // Tc
  double wordSpacing = 0;      // Tw
  double horizontalScale = 1;  // Tz / 100
  int32_t renderMode = 0;      // Tr
};

// One string of glyphs written by the text output, with everything needed to show it: the
// content decides where its operators go.
struct PlacedText {
  TPDFMatrix matrix{1, 0, 0, 1, 0, 0};  // maps its text space to the content's own space
  std::string fillColor;                // operators that set the fill colour
  std::string strokeColor;              // and the stroke colour
  double charSpacing = 0;               // Tc
  double wordSpacing = 0;               // Tw
  double horizontalScale = 1;           // Tz / 100
  int32_t renderMode = 0;               // Tr
  std::string fontName;                 // resource name of the font, with its slash
  double fontSize = 0;
  std::string bytes;  // the string operand
  double width = 0;   // advance of the glyphs in text space
};

// Operators that show `text` on their own, from the content's initial graphics state.
std::string StandaloneOperators(const PlacedText& text);

class ContentEditor {
 public:
  // owner: a page dictionary or a form XObject stream of `pdf`. `cache`: the document's, shared
  // by every editor of it, so reopening unchanged content costs no new reading.
  ContentEditor(QPDF& pdf, QPDFObjectHandle owner, FontCache& fonts, ColorTable& colors,
                ErrorSink& errors, content::ContentCache* cache = nullptr);
  ~ContentEditor();
  ContentEditor(const ContentEditor&) = delete;
  ContentEditor& operator=(const ContentEditor&) = delete;

  // pdfInitStack: parsing restarts before the first text record; the record is reset
  // (identity matrices, no text). False on failure (reported to the error sink).
  bool Restart(TPDFStack& record);

  // pdfGetPageText: fills `record` with the next text-showing operator. False: no more.
  bool Next(TPDFStack& record);

  // pdfReplacePageTextA with an empty text: removes the text of the record now delivered in
  // `record`, from piece DeleteKerningAt on when that is above 0, else whole, leaving every
  // later glyph where it was.
  bool RemoveText(const TPDFStack& record);

  // The text state of the record delivered last by Next().
  const TextStateSnapshot& LastTextState() const;

  // Text added to this content (by the text output); written after the original content,
  // which is wrapped in q/Q so the additions start from the initial graphics state.
  void AppendOperators(const std::string& operators);

  // Text written in the place of the record delivered last (which the engine has just removed
  // or cut): it goes into the content right after that record's operator, so a later pass meets
  // it where it shows. Consecutive strings of one style along one baseline become one TJ.
  // Text that can't go there (no record, a singular transformation) is appended instead.
  void PlaceText(const PlacedText& text);

  // pdfFlushPageContent: stores the edited content; unchanged content is not rewritten.
  bool Flush();

  // The form XObjects this content draws with Do, in order of first use, each once.
  std::vector<QPDFObjectHandle> UsedTemplates();

  // The page dictionary or form XObject; new resources (fonts, colour spaces) go into its
  // /Resources.
  QPDFObjectHandle Owner() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace pdfcore
