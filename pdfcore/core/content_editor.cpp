#include "core/content_editor.h"

#include <exception>

#include "content/text_content.h"
#include "core/color_table.h"
#include "core/font_cache.h"

namespace pdfcore {

namespace {

// Fonts from the document's cache; a missing font is stood in for by Helvetica, so its text is
// still delivered with a best-effort width.
class CachedFonts final : public content::FontSource {
 public:
  CachedFonts(FontCache& cache, ErrorSink& errors) : cache_(cache), errors_(errors) {}

  PdfFont* Font(QPDFObjectHandle fontDict) override {
    try {
      return cache_.Get(fontDict).get();
    } catch (const std::exception& e) {
      substituted_ = true;
      errors_.Report(0, std::string("Font unreadable, a fallback font is used: ") + e.what(),
                     PDF_E_WARNING | PDF_E_FONT);
      return Fallback();
    }
  }

  bool Substituted() const override { return substituted_; }

  PdfFont* Fallback() override {
    if (!fallback_) {
      QPDFObjectHandle dict = QPDFObjectHandle::parse(
          "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>");
      fallback_ = cache_.Get(dict);
    }
    return fallback_.get();
  }

 private:
  FontCache& cache_;
  ErrorSink& errors_;
  std::shared_ptr<PdfFont> fallback_;
  bool substituted_ = false;
};

}  // namespace

struct ContentEditor::Impl {
  Impl(QPDF& pdf, QPDFObjectHandle owner, FontCache& fonts, ColorTable& colors, ErrorSink& errors,
       content::ContentCache* cache)
      : source(fonts, errors), content(pdf, owner, source, colors, errors, cache) {}
  CachedFonts source;
  content::TextContent content;
};

ContentEditor::ContentEditor(QPDF& pdf, QPDFObjectHandle owner, FontCache& fonts,
                             ColorTable& colors, ErrorSink& errors, content::ContentCache* cache)
    : impl_(std::make_unique<Impl>(pdf, owner, fonts, colors, errors, cache)) {}

ContentEditor::~ContentEditor() = default;

bool ContentEditor::Restart(TPDFStack& record) { return impl_->content.Restart(record); }

bool ContentEditor::Next(TPDFStack& record) { return impl_->content.Next(record); }

bool ContentEditor::RemoveText(const TPDFStack& record) {
  return impl_->content.RemoveText(record);
}

const TextStateSnapshot& ContentEditor::LastTextState() const {
  return impl_->content.LastTextState();
}

void ContentEditor::AppendOperators(const std::string& operators) {
  impl_->content.AppendOperators(operators);
}

void ContentEditor::PlaceText(const PlacedText& text) { impl_->content.PlaceText(text); }

bool ContentEditor::Flush() { return impl_->content.Flush(); }

std::vector<QPDFObjectHandle> ContentEditor::UsedTemplates() {
  return impl_->content.UsedTemplates();
}

QPDFObjectHandle ContentEditor::Owner() const { return impl_->content.Owner(); }

}  // namespace pdfcore
