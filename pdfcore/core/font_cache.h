// The fonts of one document, each loaded once. A record's font handle is the PdfFont*
// kept here, valid for as long as the document is open.
#pragma once

#include <map>
#include <memory>

#include <qpdf/QPDFObjGen.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include "core/errors.h"
#include "fonts/pdf_font.h"

namespace pdfcore {

class FontCache {
public:
  explicit FontCache(ErrorSink& errors) : errors_(errors) {}

  // The font of a font dictionary; direct (unnumbered) dictionaries are loaded every time
  // they are met, so callers keep what they got. Never null.
  std::shared_ptr<PdfFont> Get(QPDFObjectHandle fontDict) {
    if (fontDict.isIndirect()) {
      auto found = byObject_.find(fontDict.getObjGen());
      if (found != byObject_.end()) return found->second;
    }
    auto font = PdfFont::Load(fontDict, errors_);
    if (fontDict.isIndirect()) {
      byObject_[fontDict.getObjGen()] = font;
    } else {
      direct_.push_back(font);
    }
    return font;
  }

private:
  ErrorSink& errors_;
  std::map<QPDFObjGen, std::shared_ptr<PdfFont>> byObject_;
  std::vector<std::shared_ptr<PdfFont>> direct_;  // keeps handles of direct fonts alive
};

}  // namespace pdfcore
