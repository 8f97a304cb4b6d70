// The content-stream interpreter and text decoding: fuzzed bytes as the content of a page
// whose resources hold the real fonts of a fixture (simple, Type1 and TrueType embedded) and
// a form XObject, read record by record as the engine does, with an edit and a flush.
#include <cstdlib>
#include <memory>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>

#include "core/color_table.h"
#include "core/content_editor.h"
#include "core/errors.h"
#include "core/font_cache.h"
#include "fuzz_support.h"

namespace {

constexpr int kMaxRecords = 4096;

// The fixture's first page with its fonts, and a form XObject that draws text too.
QPDFObjectHandle FuzzPage(QPDF& pdf) {
  pdf.processFile(CORVELLA_FIXTURES_DIR "/fonts/reportlab_fonts.pdf");
  QPDFObjectHandle page = QPDFPageDocumentHelper(pdf).getAllPages().at(0).getObjectHandle();
  QPDFObjectHandle resources = page.getKey("/Resources");
  if (!resources.isDictionary()) {
    resources = QPDFObjectHandle::newDictionary();
    page.replaceKey("/Resources", resources);
  }
  QPDFObjectHandle form = QPDFObjectHandle::newStream(&pdf, "BT /F1 12 Tf (form) Tj ET");
  form.getDict().replaceKey("/Type", QPDFObjectHandle::newName("/XObject"));
  form.getDict().replaceKey("/Subtype", QPDFObjectHandle::newName("/Form"));
  form.getDict().replaceKey("/BBox", QPDFObjectHandle::parse("[0 0 100 100]"));
  form.getDict().replaceKey("/Resources", resources);
  QPDFObjectHandle xobjects = resources.getKey("/XObject");
  if (!xobjects.isDictionary()) {
    xobjects = QPDFObjectHandle::newDictionary();
    resources.replaceKey("/XObject", xobjects);
  }
  xobjects.replaceKey("/Fm0", form);
  return page;
}

// The document every input is read in. Each input and each flush add stream objects that a
// QPDF keeps until it is destroyed, so the document is made afresh now and then to keep the
// fuzzer's memory flat.
struct FuzzDocument {
  static constexpr int kInputsPerDocument = 256;
  QPDF pdf;
  QPDFObjectHandle page = FuzzPage(pdf);
  pdfcore::NullErrorSink errors;
  pdfcore::FontCache fonts{errors};  // fonts load once, as in a document
  int inputs = 0;
};

FuzzDocument& DocumentForNextInput() {
  // Never destroyed at exit: QPDF's destructor uses a function-local static of its own that
  // was made by the first document dropped here, and is gone by the time this one would go.
  static auto& document = *new std::unique_ptr<FuzzDocument>;
  if (!document || document->inputs >= FuzzDocument::kInputsPerDocument) {
    document.reset();
    document = std::make_unique<FuzzDocument>();
  }
  ++document->inputs;
  return *document;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzDocument& document = DocumentForNextInput();
  QPDF& pdf = document.pdf;
  QPDFObjectHandle& page = document.page;
  pdfcore::ErrorSink& errors = document.errors;
  pdfcore::FontCache& fonts = document.fonts;
  page.replaceKey("/Contents",
                  QPDFObjectHandle::newStream(&pdf, std::string(fuzz::AsText(data, size))));

  pdfcore::ColorTable colors;
  pdfcore::ContentEditor editor(pdf, page, fonts, colors, errors);
  TPDFStack record{};
  if (!editor.Restart(record)) return 0;
  int records = 0;
  bool removed = false;
  while (editor.Next(record)) {
    if (++records > kMaxRecords) break;
    // Remove the second record, from its second piece when it has one.
    if (records == 2) {
      record.DeleteKerningAt = record.KerningCount > 1 ? 1 : 0;
      removed = editor.RemoveText(record);
    }
  }
  editor.UsedTemplates();
  if (removed) {
    editor.AppendOperators("BT /F1 10 Tf 0 0 Td (new) Tj ET");
    editor.Flush();
  }
  return 0;
}
