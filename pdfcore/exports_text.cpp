// The C exports of the text output: font selection, colours, draw mode, size, writing text
// and measuring it. Each one runs inside GuardedCall so no exception leaves the library.
#include <string>
#include <string_view>

#include "core/document.h"
#include "dynapdf_abi.h"
#include "textout/text_output.h"

using pdfcore::GuardedCall;
using pdfcore::Instance;
using pdfcore::TextOutput;

namespace {

// Kept in the instance's per-document state: drops the document's text output when the
// document is replaced or closed.
struct TextOutputLifetime {
  unsigned long long documentId = 0;
  bool bound = false;
  ~TextOutputLifetime() {
    if (bound) pdfcore::ForgetTextOutput(documentId);
  }
};

TextOutput& OutputOf(Instance& instance) {
  QPDF& pdf = instance.Document();
  auto& lifetime = instance.DocumentState<TextOutputLifetime>();
  if (!lifetime.bound) {
    lifetime.documentId = pdf.getUniqueId();
    lifetime.bound = true;
  }
  return pdfcore::TextOutputOf(pdf);
}

const pdfcore::PdfFont* RecordFont(Instance& instance) {
  pdfcore::ContentEditor* content = instance.OpenContent();
  return content ? content->LastTextState().font : nullptr;
}

std::string_view Name(const char* name) {
  return name ? std::string_view(name) : std::string_view();
}

std::u16string_view Characters(const PDF_WCHAR* text, int32_t length) {
  if (text == nullptr || length <= 0) return {};
  return std::u16string_view(reinterpret_cast<const char16_t*>(text), static_cast<size_t>(length));
}

}  // namespace

extern "C" {

PDF_EXPORT int32_t PDF_CALL pdfSetFontExA(PPDF pdf, const char* name, int32_t style, double size,
                                          int32_t /*embed*/, int32_t /*codePage*/) {
  return GuardedCall(pdf, -1, "pdfSetFontExA", [&](Instance& instance) {
    return OutputOf(instance).SetFont(Name(name), style, size, RecordFont(instance),
                                      instance.Errors());
  });
}

PDF_EXPORT int32_t PDF_CALL pdfSetFontA(PPDF pdf, const char* name, int32_t style, double size,
                                        int32_t /*embed*/, int32_t /*codePage*/) {
  return GuardedCall(pdf, -1, "pdfSetFontA", [&](Instance& instance) {
    return OutputOf(instance).SetFallbackFont(Name(name), style, size, RecordFont(instance),
                                              instance.Errors());
  });
}

PDF_EXPORT int32_t PDF_CALL pdfSetFillColorSpace(PPDF pdf, int32_t space) {
  return GuardedCall(pdf, -1, "pdfSetFillColorSpace", [&](Instance& instance) {
    OutputOf(instance).SetFillColorSpace(space);
    return 0;
  });
}

PDF_EXPORT int32_t PDF_CALL pdfSetFillColor(PPDF pdf, uint32_t color) {
  return GuardedCall(pdf, -1, "pdfSetFillColor", [&](Instance& instance) {
    OutputOf(instance).SetFillColor(color);
    return 0;
  });
}

PDF_EXPORT int32_t PDF_CALL pdfSetStrokeColorSpace(PPDF pdf, int32_t space) {
  return GuardedCall(pdf, -1, "pdfSetStrokeColorSpace", [&](Instance& instance) {
    OutputOf(instance).SetStrokeColorSpace(space);
    return 0;
  });
}

PDF_EXPORT int32_t PDF_CALL pdfSetStrokeColor(PPDF pdf, uint32_t color) {
  return GuardedCall(pdf, -1, "pdfSetStrokeColor", [&](Instance& instance) {
    OutputOf(instance).SetStrokeColor(color);
    return 0;
  });
}

PDF_EXPORT int32_t PDF_CALL pdfSetTextDrawMode(PPDF pdf, int32_t mode) {
  return GuardedCall(pdf, -1, "pdfSetTextDrawMode", [&](Instance& instance) {
    return OutputOf(instance).SetTextDrawMode(mode) ? 0 : -1;
  });
}

PDF_EXPORT int32_t PDF_CALL pdfChangeFontSize(PPDF pdf, double size) {
  return GuardedCall(pdf, -1, "pdfChangeFontSize", [&](Instance& instance) {
    return OutputOf(instance).ChangeFontSize(size) ? 0 : -1;
  });
}

PDF_EXPORT int32_t PDF_CALL pdfWriteTextMatrixExW(PPDF pdf, const TPDFMatrix* matrix,
                                                  const PDF_WCHAR* text, int32_t length) {
  return GuardedCall(pdf, -1, "pdfWriteTextMatrixExW", [&](Instance& instance) -> int32_t {
    if (matrix == nullptr || (text == nullptr && length > 0) || length < 0) {
      throw pdfcore::PdfError(pdfcore::kErrArgument, "pdfWriteTextMatrixExW: invalid argument",
                              PDF_E_VALUE);
    }
    pdfcore::EditorTextTarget target(instance.RequireOpenContent(), instance.Fonts());
    return OutputOf(instance).Write(target, *matrix, Characters(text, length), instance.Colors(),
                                    instance.Errors());
  });
}

PDF_EXPORT double PDF_CALL pdfGetTextWidthExW(PPDF pdf, const PDF_WCHAR* text, int32_t length) {
  return GuardedCall(pdf, 0.0, "pdfGetTextWidthExW", [&](Instance& instance) {
    TextOutput& output = OutputOf(instance);
    pdfcore::ContentEditor* content = instance.OpenContent();
    if (content == nullptr) return output.Width(nullptr, Characters(text, length));
    pdfcore::EditorTextTarget target(*content, instance.Fonts());
    return output.Width(&target, Characters(text, length));
  });
}

}  // extern "C"
