// The C exports of the core library: instance, document, import/output, pages, templates,
// text records and links. Each one runs inside GuardedCall so no exception leaves the library.
#include <new>
#include <string>

#include "core/document.h"
#include "dynapdf_abi.h"
#include "fonts/pdf_font.h"

using pdfcore::GuardedCall;
using pdfcore::Instance;

namespace {

// C strings from callers may be null; a null string reads as empty.
std::string Text(const char* text) { return text != nullptr ? std::string(text) : std::string(); }

// Record arguments must be present; a null record is reported like any other bad argument.
TPDFStack& RequireRecord(TPDFStack* record) {
  if (record == nullptr) {
    throw pdfcore::PdfError(pdfcore::kErrArgument, "The content-parsing record is null",
                            PDF_E_VALUE);
  }
  return *record;
}

}  // namespace

extern "C" {

PDF_EXPORT PPDF PDF_CALL pdfNewPDF(void) {
  try {
    return new Instance();
  } catch (...) {
    return nullptr;
  }
}

PDF_EXPORT int32_t PDF_CALL pdfDeletePDF(PPDF pdf) {
  Instance* instance = pdfcore::InstanceFromHandle(pdf);
  if (instance == nullptr) return 0;
  delete instance;
  return 1;
}

PDF_EXPORT int32_t PDF_CALL pdfSetOnErrorProc(PPDF pdf, const void* data, TErrorProc proc) {
  return GuardedCall(pdf, 0, "pdfSetOnErrorProc", [&](Instance& instance) {
    instance.SetErrorProc(data, proc);
    return 1;
  });
}

PDF_EXPORT int32_t PDF_CALL pdfCreateNewPDFA(PPDF pdf, const char* outputFileName) {
  return GuardedCall(pdf, 0, "pdfCreateNewPDFA", [&](Instance& instance) {
    return instance.CreateNewPDF(Text(outputFileName));
  });
}

PDF_EXPORT int32_t PDF_CALL pdfSetImportFlags(PPDF pdf, uint32_t flags) {
  return GuardedCall(pdf, 0, "pdfSetImportFlags",
                     [&](Instance& instance) { return instance.SetImportFlags(flags); });
}

PDF_EXPORT int32_t PDF_CALL pdfOpenImportFileA(PPDF pdf, const char* fileName, int32_t mode,
                                               const char* password) {
  return GuardedCall(pdf, -1, "pdfOpenImportFileA", [&](Instance& instance) {
    return instance.OpenImportFile(Text(fileName), mode, Text(password));
  });
}

PDF_EXPORT int32_t PDF_CALL pdfImportPDFFile(PPDF pdf, int32_t destPage, double scaleX,
                                             double scaleY) {
  return GuardedCall(pdf, -1, "pdfImportPDFFile", [&](Instance& instance) {
    return instance.ImportPDFFile(destPage, scaleX, scaleY);
  });
}

PDF_EXPORT int32_t PDF_CALL pdfCloseImportFile(PPDF pdf) {
  return GuardedCall(pdf, 0, "pdfCloseImportFile",
                     [&](Instance& instance) { return instance.CloseImportFile(); });
}

PDF_EXPORT int32_t PDF_CALL pdfEditPage(PPDF pdf, int32_t pageNumber) {
  return GuardedCall(pdf, 0, "pdfEditPage",
                     [&](Instance& instance) { return instance.EditPage(pageNumber); });
}

PDF_EXPORT int32_t PDF_CALL pdfEndPage(PPDF pdf) {
  return GuardedCall(pdf, 0, "pdfEndPage", [&](Instance& instance) { return instance.EndPage(); });
}

PDF_EXPORT int32_t PDF_CALL pdfHaveOpenDoc(PPDF pdf) {
  return GuardedCall(pdf, 0, "pdfHaveOpenDoc",
                     [&](Instance& instance) { return instance.HaveOpenDoc(); });
}

PDF_EXPORT int32_t PDF_CALL pdfOpenOutputFileA(PPDF pdf, const char* fileName) {
  return GuardedCall(pdf, 0, "pdfOpenOutputFileA",
                     [&](Instance& instance) { return instance.OpenOutputFile(Text(fileName)); });
}

PDF_EXPORT int32_t PDF_CALL pdfCloseFile(PPDF pdf) {
  return GuardedCall(pdf, 0, "pdfCloseFile",
                     [&](Instance& instance) { return instance.CloseFile(); });
}

PDF_EXPORT int32_t PDF_CALL pdfChangeLinkAnnot(PPDF pdf, int32_t handle, const char* newTarget) {
  return GuardedCall(pdf, -1, "pdfChangeLinkAnnot", [&](Instance& instance) {
    return instance.ChangeLinkAnnot(handle, Text(newTarget));
  });
}

PDF_EXPORT int32_t PDF_CALL pdfInitStack(PPDF pdf, TPDFStack* stack) {
  return GuardedCall(pdf, 0, "pdfInitStack",
                     [&](Instance& instance) { return instance.InitStack(RequireRecord(stack)); });
}

PDF_EXPORT int32_t PDF_CALL pdfGetPageText(PPDF pdf, TPDFStack* stack) {
  return GuardedCall(pdf, 0, "pdfGetPageText", [&](Instance& instance) {
    return instance.GetPageText(RequireRecord(stack));
  });
}

PDF_EXPORT int32_t PDF_CALL pdfReplacePageTextA(PPDF pdf, const char* newText, TPDFStack* stack) {
  return GuardedCall(pdf, 0, "pdfReplacePageTextA", [&](Instance& instance) {
    return instance.ReplacePageText(Text(newText), RequireRecord(stack));
  });
}

PDF_EXPORT int32_t PDF_CALL pdfFlushPageContent(PPDF pdf, TPDFStack* /*stack*/) {
  return GuardedCall(pdf, 0, "pdfFlushPageContent",
                     [&](Instance& instance) { return instance.FlushPageContent(); });
}

PDF_EXPORT int32_t PDF_CALL pdfGetTemplCount(PPDF pdf) {
  return GuardedCall(pdf, -1, "pdfGetTemplCount",
                     [&](Instance& instance) { return instance.GetTemplCount(); });
}

PDF_EXPORT int32_t PDF_CALL pdfEditTemplate(PPDF pdf, int32_t index) {
  return GuardedCall(pdf, 0, "pdfEditTemplate",
                     [&](Instance& instance) { return instance.EditTemplate(index); });
}

PDF_EXPORT int32_t PDF_CALL pdfEditTemplate2(PPDF pdf, int32_t handle) {
  return GuardedCall(pdf, 0, "pdfEditTemplate2",
                     [&](Instance& instance) { return instance.EditTemplate2(handle); });
}

// 0 is never an object number, so it cannot be mistaken for a template.
PDF_EXPORT int32_t PDF_CALL pdfGetTemplHandle(PPDF pdf) {
  return GuardedCall(pdf, 0, "pdfGetTemplHandle",
                     [&](Instance& instance) { return instance.GetTemplHandle(); });
}

PDF_EXPORT int32_t PDF_CALL pdfEndTemplate(PPDF pdf) {
  return GuardedCall(pdf, 0, "pdfEndTemplate",
                     [&](Instance& instance) { return instance.EndTemplate(); });
}

// The font handle is the PdfFont* of the record; there is no instance to report to.
PDF_EXPORT int32_t PDF_CALL fntGetFont(void* font, TPDFFontInfo* info) {
  if (font == nullptr || info == nullptr) return 0;
  try {
    *info = static_cast<const pdfcore::PdfFont*>(font)->Info();
    return 1;
  } catch (...) {
    return 0;
  }
}

}  // extern "C"
