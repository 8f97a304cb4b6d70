// One instance of the core library (the PPDF handle of the C exports): the error callback,
// the document being built, the PDF being imported, the content open for editing and the
// output file.
//
// The exports are thin: each resolves its instance with InstanceFromHandle() and runs inside
// GuardedCall(), which turns every exception into an error report and a failure result, so
// that no C++ exception ever crosses the C boundary.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <typeindex>
#include <typeinfo>
#include <unordered_map>
#include <utility>
#include <vector>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include "core/color_table.h"
#include "core/content_editor.h"
#include "core/errors.h"
#include "core/font_cache.h"
#include "dynapdf_abi.h"

namespace pdfcore {

// Error codes passed to the error callback (the message says what happened; the type flags
// say how bad it is).
enum ErrorCode : int32_t {
  kErrInternal = -1,      // an unexpected exception inside an operation
  kErrNoDocument = -2,    // an operation that needs a document, without one
  kErrNoContent = -3,     // an editing operation without a page or template open
  kErrOpenImport = -4,    // the import file can't be read as a PDF
  kErrPassword = -5,      // the import file is encrypted and the password doesn't open it
  kErrDamaged = -6,       // the import file is damaged beyond a safe repair
  kErrImport = -7,        // importing pages failed
  kErrRange = -8,         // a page number, index or handle out of range
  kErrOutputPath = -9,    // the output file can't be written at that path
  kErrWrite = -10,        // writing the output failed; the previous file is left as it was
  kErrNotLink = -11,      // an annotation handle that is not a link with a URI action
  kErrUnsupported = -12,  // a request the library doesn't carry out
  kErrRepaired = -13,     // a notice or warning: the import file needed repairs
  kErrArgument = -14,     // a null or malformed argument
};

class Instance;

// The live instance behind a handle of the C interface; null for a null handle, a deleted
// instance or any pointer that is not an instance.
Instance* InstanceFromHandle(PPDF handle);

// Thrown inside operations; GuardedCall() reports it with its code.
class PdfError : public std::runtime_error {
 public:
  PdfError(int32_t code, const std::string& message, int32_t type = PDF_E_FATAL)
      : std::runtime_error(message), code_(code), type_(type) {}
  int32_t code() const { return code_; }
  int32_t type() const { return type_; }

 private:
  int32_t code_;
  int32_t type_;
};

class Instance final : public ErrorSink {
 public:
  Instance();
  ~Instance() override;
  Instance(const Instance&) = delete;
  Instance& operator=(const Instance&) = delete;

  // ---- Error reporting -------------------------------------------------------------------
  // Sends the error to the registered callback (nothing happens without one).
  void Report(int32_t code, const std::string& message, int32_t type) override;
  ErrorSink& Errors() { return *this; }
  void SetErrorProc(const void* data, TErrorProc proc);

  // ---- Accessors for the other parts of the library (text output, ...) -------------------
  // All of these throw PdfError (kErrNoDocument) when no document is open.
  bool HaveDocument() const { return document_ != nullptr; }
  QPDF& Document();
  FontCache& Fonts();
  ColorTable& Colors();
  // The content open for editing: the top of the stack (the page opened by EditPage, then
  // the templates opened on top of it); null when nothing is open.
  ContentEditor* OpenContent();
  // Like OpenContent(), but throws PdfError (kErrNoContent) when nothing is open.
  ContentEditor& RequireOpenContent();

  // State that other parts of the library keep per document (the text output's current
  // font, colours and size, fonts it embedded). Created on first use with T's default
  // constructor; dropped whenever the document is replaced or closed.
  template <class T>
  T& DocumentState() {
    RequireDocument();
    auto& slot = documentState_[std::type_index(typeid(T))];
    if (!slot) slot = std::make_shared<T>();
    return *static_cast<T*>(slot.get());
  }

  // ---- Document operations (the exports call these) --------------------------------------
  // Return values follow the C interface: 1 / non-negative success, 0 / negative failure.
  int32_t CreateNewPDF(const std::string& outputPath);
  int32_t SetImportFlags(uint32_t flags);
  uint32_t ImportFlags() const { return importFlags_; }
  int32_t OpenImportFile(const std::string& path, int32_t mode, const std::string& password);
  int32_t ImportPDFFile(int32_t destPage, double scaleX, double scaleY);
  int32_t CloseImportFile();
  int32_t EditPage(int32_t pageNumber);
  int32_t EndPage();
  int32_t HaveOpenDoc() const { return HaveDocument() ? 1 : 0; }
  int32_t OpenOutputFile(const std::string& path);
  int32_t CloseFile();
  int32_t PageCount();

  // ---- Links ---------------------------------------------------------------------------------
  int32_t ChangeLinkAnnot(int32_t handle, const std::string& newTarget);

  // ---- Text records and templates of the open content ----------------------------------------
  int32_t InitStack(TPDFStack& record);
  int32_t GetPageText(TPDFStack& record);
  int32_t ReplacePageText(const std::string& newText, const TPDFStack& record);
  int32_t FlushPageContent();
  int32_t GetTemplCount();
  int32_t EditTemplate(int32_t index);
  int32_t EditTemplate2(int32_t handle);
  int32_t GetTemplHandle();
  int32_t EndTemplate();

 private:
  struct OpenContentEntry {
    std::unique_ptr<ContentEditor> editor;
    QPDFObjectHandle owner;  // page dictionary or form XObject
    bool isTemplate = false;
  };

  void RequireDocument() const;
  void ReplaceDocument(std::shared_ptr<QPDF> pdf);
  void CloseDocument();
  // Closes everything open for editing, storing pending edits; false when one failed.
  bool StoreAndCloseAllContent();
  // Closes everything open for editing, dropping pending edits.
  void CloseAllContent();
  void PopContent(bool store);
  void PushTemplate(QPDFObjectHandle form);
  void ValidateImport(QPDF& pdf, const std::string& path);
  void ReportQpdfWarnings(const std::vector<QPDFExc>& warnings, const std::string& path);
  void CopyImportedPages(int32_t destPage);
  bool DocumentIsEmpty();

  const void* errorData_ = nullptr;
  TErrorProc errorProc_ = nullptr;
  uint32_t importFlags_ = 0;

  std::shared_ptr<QPDF> document_;
  std::unique_ptr<FontCache> fonts_;
  std::unique_ptr<ColorTable> colors_;
  std::unordered_map<std::type_index, std::shared_ptr<void>> documentState_;
  std::vector<OpenContentEntry> contentStack_;
  std::vector<std::unique_ptr<ContentEditor>> retiredContent_;
  std::string outputPath_;

  std::shared_ptr<QPDF> importFile_;
  std::string importPath_;
};

// Runs `body(instance)` for an export: a null or unknown handle gives `failure`; every
// exception is reported to the instance's callback and gives `failure`.
void ReportException(Instance& instance, const char* operation) noexcept;

template <class Result, class Body>
Result GuardedCall(PPDF handle, Result failure, const char* operation, Body&& body) noexcept {
  Instance* instance = InstanceFromHandle(handle);
  if (instance == nullptr) return failure;
  try {
    return std::forward<Body>(body)(*instance);
  } catch (...) {
    ReportException(*instance, operation);
    return failure;
  }
}

}  // namespace pdfcore
