// The instance registry, error reporting and the accessors of Instance.
#include "core/document.h"

#include <mutex>
#include <new>
#include <unordered_set>

#include <qpdf/QPDFExc.hh>

namespace pdfcore {

namespace {

// Handles come from C callers; only pointers of live instances are accepted, so a stale or
// foreign pointer is refused instead of being dereferenced.
struct Registry {
  std::mutex mutex;
  std::unordered_set<const Instance*> live;
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

// The callback prints one line per message; keep every message on one line.
std::string OneLine(std::string message) {
  for (char& c : message) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return message;
}

}  // namespace

Instance* InstanceFromHandle(PPDF handle) {
  if (handle == nullptr) return nullptr;
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  auto* candidate = static_cast<const Instance*>(handle);
  return registry.live.count(candidate) != 0 ? static_cast<Instance*>(handle) : nullptr;
}

Instance::Instance() {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  registry.live.insert(this);
}

Instance::~Instance() {
  {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    registry.live.erase(this);
  }
  // Nothing is written on deletion: edits that were never saved with CloseFile are dropped.
  errorProc_ = nullptr;
  try {
    CloseDocument();
  } catch (...) {
  }
  importFile_.reset();
}

void Instance::Report(int32_t code, const std::string& message, int32_t type) {
  if (errorProc_ == nullptr) return;
  const std::string line = OneLine(message);
  errorProc_(errorData_, code, line.c_str(), type);
}

void Instance::SetErrorProc(const void* data, TErrorProc proc) {
  errorData_ = data;
  errorProc_ = proc;
}

void Instance::RequireDocument() const {
  if (!document_) throw PdfError(kErrNoDocument, "No document is open", PDF_E_FATAL);
}

QPDF& Instance::Document() {
  RequireDocument();
  return *document_;
}

FontCache& Instance::Fonts() {
  RequireDocument();
  return *fonts_;
}

ColorTable& Instance::Colors() {
  RequireDocument();
  return *colors_;
}

ContentEditor* Instance::OpenContent() {
  return contentStack_.empty() ? nullptr : contentStack_.back().editor.get();
}

ContentEditor& Instance::RequireOpenContent() {
  ContentEditor* editor = OpenContent();
  if (editor == nullptr) {
    throw PdfError(kErrNoContent, "No page or template is open for editing", PDF_E_FATAL);
  }
  return *editor;
}

void ReportException(Instance& instance, const char* operation) noexcept {
  try {
    const std::string prefix = std::string(operation) + ": ";
    try {
      throw;
    } catch (const PdfError& e) {
      instance.Report(e.code(), prefix + e.what(), e.type());
    } catch (const QPDFExc& e) {
      instance.Report(kErrInternal, prefix + e.what(), PDF_E_FATAL | PDF_E_FILE);
    } catch (const std::bad_alloc&) {
      instance.Report(kErrInternal, prefix + "Out of memory", PDF_E_FATAL);
    } catch (const std::exception& e) {
      instance.Report(kErrInternal, prefix + e.what(), PDF_E_FATAL);
    } catch (...) {
      instance.Report(kErrInternal, prefix + "Unknown error", PDF_E_FATAL);
    }
  } catch (...) {
    // Reporting itself failed (no memory for the message); the failure result remains.
  }
}

}  // namespace pdfcore
