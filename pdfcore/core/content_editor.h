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
  double charSpacing = 0;     // Tc
  double wordSpacing = 0;     // Tw
  double horizontalScale = 1; // Tz / 100
  int32_t renderMode = 0;     // Tr
};

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
