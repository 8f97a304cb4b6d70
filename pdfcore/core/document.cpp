// Document operations of an instance: new document, import, pages and templates open for
// editing, links, and the output file.
#include "core/document.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <stdexcept>

#include <qpdf/Pl_Discard.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include "content/content_cache.h"
#include "content/text_content.h"
#include "core/links.h"
#include "textout/text_output.h"

namespace pdfcore {

namespace {

namespace fs = std::filesystem;

constexpr size_t kMaxReportedWarnings = 20;

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

std::string ErrnoText(int error) { return std::strerror(error); }

// The folder a path lies in ("." for a bare file name).
std::string FolderOf(const std::string& path) {
  fs::path parent = fs::path(path).parent_path();
  return parent.empty() ? std::string(".") : parent.string();
}

bool IsFormXObject(QPDFObjectHandle object) {
  return object.isStream() && object.getDict().getKey("/Subtype").isNameAndEquals("/Form");
}

// A file cut short loses its end: PDF requires "%%EOF" within the last bytes of the file, and
// the cross-reference data and trailer stand just before it.
bool EndsWithEofMarker(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  const std::streamoff tail = std::min<std::streamoff>(size, 2048);
  in.seekg(size - tail);
  std::string bytes(static_cast<size_t>(tail), '\0');
  in.read(bytes.data(), tail);
  return bytes.find("%%EOF") != std::string::npos;
}

// Every page's content must be readable; a page whose content can't be decoded would be
// written out empty.
// Decodes every content stream of every page, so that damage shows now rather than halfway
// through a run. A page's content past the size limit is not damage: its reader reports it.
// Each stream is decoded on its own into a bounded sink; QPDF's own page content reader would
// first gather the whole decoded content in memory.
void CheckPagesReadable(QPDF& pdf, const std::string& path) {
  std::vector<QPDFPageObjectHelper> pages = QPDFPageDocumentHelper(pdf).getAllPages();
  if (pages.empty()) {
    throw PdfError(kErrDamaged, "The file " + Quoted(path) + " has no pages",
                   PDF_E_FATAL | PDF_E_FILE);
  }
  for (size_t index = 0; index < pages.size(); ++index) {
    size_t total = 0;
    for (QPDFObjectHandle& stream : pages[index].getPageContents()) {
      content::BoundedContentSink sink(total, nullptr);
      const bool decoded = stream.pipeStreamData(&sink, 0, qpdf_dl_specialized, false);
      if (sink.TooLarge()) break;
      total = sink.Read();
      if (!decoded) {
        throw std::runtime_error("page " + std::to_string(index + 1) +
                                 ": errors while decoding content stream");
      }
    }
  }
}

// Writes the whole document to nowhere: resolves every object and reads every stream, so a
// repaired file shows here whether the repair lost anything.
void ReadEverything(QPDF& pdf) {
  QPDFWriter writer(pdf);
  Pl_Discard discard;
  writer.setOutputPipeline(&discard);
  writer.write();
}

bool IsDamageWarning(const QPDFExc& warning) {
  return warning.getErrorCode() == qpdf_e_damaged_pdf;
}

// The permissions a newly created file gets from the process's umask.
mode_t NewFileMode() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Umask:", 0) == 0) {
      try {
        return static_cast<mode_t>(0666 & ~std::stoul(line.substr(6), nullptr, 8));
      } catch (...) {
        break;
      }
    }
  }
  return 0644;
}

// A temporary file beside the target, removed on scope exit unless committed by renaming it
// over the target.
class TempFileBeside {
 public:
  explicit TempFileBeside(const std::string& target) {
    const fs::path targetPath(target);
    std::string pattern =
        (fs::path(FolderOf(target)) / ("." + targetPath.filename().string() + ".XXXXXX")).string();
    fd_ = mkstemp(pattern.data());
    if (fd_ < 0) {
      throw PdfError(
          kErrOutputPath,
          "Cannot create a file in the folder of " + Quoted(target) + ": " + ErrnoText(errno),
          PDF_E_FATAL | PDF_E_FILE);
    }
    path_ = pattern;
  }
  ~TempFileBeside() {
    if (file_ != nullptr) std::fclose(file_);
    if (fd_ >= 0 && file_ == nullptr) ::close(fd_);
    if (!committed_) ::unlink(path_.c_str());
  }
  TempFileBeside(const TempFileBeside&) = delete;
  TempFileBeside& operator=(const TempFileBeside&) = delete;

  const std::string& Path() const { return path_; }

  FILE* Stream() {
    if (file_ == nullptr) {
      file_ = fdopen(fd_, "wb");
      if (file_ == nullptr) Fail("Cannot open the temporary file");
    }
    return file_;
  }

  // Flushes the data to disk, closes the file, and renames it over `target`.
  void CommitAs(const std::string& target, mode_t mode) {
    FILE* file = Stream();
    if (std::fflush(file) != 0) Fail("Cannot write the output file");
    if (::fchmod(fd_, mode) != 0) Fail("Cannot set the permissions of the output file");
    if (::fsync(fd_) != 0) Fail("Cannot write the output file");
    file_ = nullptr;
    const int closed = std::fclose(file);
    fd_ = -1;
    if (closed != 0) Fail("Cannot write the output file");
    if (std::rename(path_.c_str(), target.c_str()) != 0) {
      Fail("Cannot replace " + Quoted(target));
    }
    committed_ = true;
  }

 private:
  [[noreturn]] void Fail(const std::string& what) {
    throw PdfError(kErrWrite, what + ": " + ErrnoText(errno), PDF_E_FATAL | PDF_E_FILE);
  }

  std::string path_;
  int fd_ = -1;
  FILE* file_ = nullptr;
  bool committed_ = false;
};

// The target keeps its permissions when it is replaced; a new file gets the umask's.
mode_t OutputMode(const std::string& target) {
  struct stat info {};
  if (::stat(target.c_str(), &info) == 0 && S_ISREG(info.st_mode)) return info.st_mode & 07777;
  return NewFileMode();
}

void WriteAtomically(QPDF& pdf, const std::string& target) {
  const mode_t mode = OutputMode(target);
  TempFileBeside temp(target);
  {
    QPDFWriter writer(pdf);
    writer.setOutputFile(temp.Path().c_str(), temp.Stream(), false);
    writer.setStreamDataMode(qpdf_s_compress);
    writer.setObjectStreamMode(qpdf_o_preserve);
    writer.write();
  }
  temp.CommitAs(target, mode);
}

// Whether a file can be created at `path` (and an existing one replaced), checked by creating
// and removing a probe file in its folder; the file at `path` itself is not touched.
void CheckWritable(const std::string& path) {
  if (path.empty()) {
    throw PdfError(kErrOutputPath, "The output file name is empty", PDF_E_FATAL | PDF_E_FILE);
  }
  std::error_code error;
  if (fs::is_directory(path, error)) {
    throw PdfError(kErrOutputPath, "Cannot write " + Quoted(path) + ": it is a folder",
                   PDF_E_FATAL | PDF_E_FILE);
  }
  const std::string folder = FolderOf(path);
  if (!fs::is_directory(folder, error)) {
    throw PdfError(
        kErrOutputPath,
        "Cannot write " + Quoted(path) + ": the folder " + Quoted(folder) + " does not exist",
        PDF_E_FATAL | PDF_E_FILE);
  }
  if (fs::exists(path, error) && ::access(path.c_str(), W_OK) != 0) {
    throw PdfError(kErrOutputPath, "Cannot write " + Quoted(path) + ": " + ErrnoText(errno),
                   PDF_E_FATAL | PDF_E_FILE);
  }
  TempFileBeside probe(path);  // removed again at once
}

}  // namespace

// ---- Document lifetime --------------------------------------------------------------------

void Instance::ReplaceDocument(std::shared_ptr<QPDF> pdf) {
  CloseDocument();
  document_ = std::move(pdf);
  fonts_ = std::make_unique<FontCache>(Errors());
  colors_ = std::make_unique<ColorTable>();
}

void Instance::CloseDocument() {
  // Editors use the fonts and colours, which use the document: release in that order.
  CloseAllContent();
  retiredContent_.clear();
  documentState_.clear();
  fonts_.reset();
  colors_.reset();
  document_.reset();
  outputPath_.clear();
}

bool Instance::DocumentIsEmpty() {
  return QPDFPageDocumentHelper(*document_).getAllPages().empty();
}

int32_t Instance::CreateNewPDF(const std::string& outputPath) {
  auto pdf = QPDF::create();
  pdf->setSuppressWarnings(true);
  pdf->emptyPDF();
  ReplaceDocument(std::move(pdf));
  if (!outputPath.empty()) {
    CheckWritable(outputPath);
    outputPath_ = outputPath;
  }
  return 1;
}

int32_t Instance::PageCount() {
  RequireDocument();
  const size_t count = QPDFPageDocumentHelper(*document_).getAllPages().size();
  return static_cast<int32_t>(std::min<size_t>(count, std::numeric_limits<int32_t>::max()));
}

// ---- Import -------------------------------------------------------------------------------

int32_t Instance::SetImportFlags(uint32_t flags) {
  importFlags_ = flags;
  return 1;
}

void Instance::ReportQpdfWarnings(const std::vector<QPDFExc>& warnings, const std::string& path) {
  size_t reported = 0;
  for (const QPDFExc& warning : warnings) {
    if (reported == kMaxReportedWarnings) {
      Report(kErrRepaired,
             "The file " + Quoted(path) + " needed " + std::to_string(warnings.size() - reported) +
                 " more repairs",
             PDF_E_WARNING | PDF_E_NOTICE);
      return;
    }
    Report(kErrRepaired, "Repaired " + Quoted(path) + ": " + warning.what(),
           PDF_E_WARNING | PDF_E_NOTICE);
    ++reported;
  }
}

int32_t Instance::OpenImportFile(const std::string& path, int32_t /*mode*/,
                                 const std::string& password) {
  CloseImportFile();
  std::error_code error;
  if (!fs::is_regular_file(path, error)) {
    throw PdfError(kErrOpenImport, "Cannot open " + Quoted(path) + ": no such file",
                   PDF_E_FATAL | PDF_E_FILE);
  }
  auto pdf = QPDF::create();
  pdf->setSuppressWarnings(true);
  try {
    pdf->processFile(path.c_str(), password.empty() ? nullptr : password.c_str());
  } catch (const QPDFExc& e) {
    if (e.getErrorCode() == qpdf_e_password) {
      throw PdfError(kErrPassword,
                     "The file " + Quoted(path) + " is encrypted and needs a password",
                     PDF_E_FATAL | PDF_E_FILE);
    }
    throw PdfError(kErrOpenImport, "Cannot read " + Quoted(path) + " as a PDF file: " + e.what(),
                   PDF_E_FATAL | PDF_E_FILE);
  }
  ValidateImport(*pdf, path);
  importFile_ = std::move(pdf);
  importPath_ = path;
  return 0;
}

// A file that opened cleanly is taken as it is. One that needed repairs is read through once
// more: if that meets further damage, or the file was cut short, importing it would silently
// lose content, so it is refused.
void Instance::ValidateImport(QPDF& pdf, const std::string& path) {
  auto refuse = [&](const std::string& why) {
    throw PdfError(kErrDamaged, "The file " + Quoted(path) + " is damaged: " + why,
                   PDF_E_FATAL | PDF_E_FILE);
  };
  try {
    CheckPagesReadable(pdf, path);
  } catch (const PdfError&) {
    throw;
  } catch (const std::exception& e) {
    refuse(e.what());
  }
  std::vector<QPDFExc> warnings = pdf.getWarnings();
  if (warnings.empty()) return;

  const bool repairedStructure = std::any_of(warnings.begin(), warnings.end(), IsDamageWarning);
  if (repairedStructure && !EndsWithEofMarker(path)) refuse("the file is truncated");
  try {
    ReadEverything(pdf);
  } catch (const std::exception& e) {
    refuse(e.what());
  }
  std::vector<QPDFExc> more = pdf.getWarnings();
  if (!more.empty()) refuse(more.front().what());
  ReportQpdfWarnings(warnings, path);
}

int32_t Instance::ImportPDFFile(int32_t destPage, double scaleX, double scaleY) {
  RequireDocument();
  if (!importFile_) throw PdfError(kErrImport, "No import file is open", PDF_E_FATAL);
  if (scaleX != 1.0 || scaleY != 1.0) {
    throw PdfError(kErrUnsupported, "Importing pages with a scale other than 1 is not supported",
                   PDF_E_FATAL);
  }
  if (destPage < 1) destPage = 1;
  const int32_t imported =
      static_cast<int32_t>(QPDFPageDocumentHelper(*importFile_).getAllPages().size());

  // Taking the imported document as the document itself keeps everything it has: outlines,
  // named destinations, links, metadata, page labels, forms, attachments, structure.
  if (destPage == 1 && DocumentIsEmpty()) {
    const std::string outputPath = outputPath_;  // an output named at creation stays named
    ReplaceDocument(importFile_);
    outputPath_ = outputPath;
    return imported;
  }
  CopyImportedPages(destPage);
  return imported;
}

// Pages added to a document that already has pages: the pages (with their annotations and
// resources) are copied, inserted before page `destPage` or appended after the last one.
void Instance::CopyImportedPages(int32_t destPage) {
  CloseAllContent();
  QPDFPageDocumentHelper target(*document_);
  std::vector<QPDFPageObjectHelper> existing = target.getAllPages();
  std::vector<QPDFPageObjectHelper> source = QPDFPageDocumentHelper(*importFile_).getAllPages();
  const size_t insertAt = static_cast<size_t>(destPage - 1);
  for (QPDFPageObjectHelper& page : source) {
    QPDFObjectHandle copy = document_->copyForeignObject(page.getObjectHandle());
    if (insertAt < existing.size()) {
      document_->addPageAt(copy, true, existing[insertAt].getObjectHandle());
    } else {
      document_->addPage(copy, false);
    }
  }
}

int32_t Instance::CloseImportFile() {
  importFile_.reset();
  importPath_.clear();
  return 1;
}

// ---- Content open for editing ---------------------------------------------------------------

// Records handed out by a closed editor may still point into its memory until the caller
// refills them, so closed editors are kept until the next page is opened.
void Instance::PopContent(bool store) {
  OpenContentEntry entry = std::move(contentStack_.back());
  contentStack_.pop_back();
  bool stored = true;
  if (store) stored = entry.editor->Flush();
  retiredContent_.push_back(std::move(entry.editor));
  if (!stored) {
    throw PdfError(kErrWrite, "The edited content could not be stored", PDF_E_FATAL);
  }
}

bool Instance::StoreAndCloseAllContent() {
  bool allStored = true;
  while (!contentStack_.empty()) {
    try {
      PopContent(true);
    } catch (const PdfError& e) {
      Report(e.code(), e.what(), e.type());
      allStored = false;
    }
  }
  return allStored;
}

void Instance::CloseAllContent() {
  while (!contentStack_.empty()) {
    retiredContent_.push_back(std::move(contentStack_.back().editor));
    contentStack_.pop_back();
  }
}

int32_t Instance::EditPage(int32_t pageNumber) {
  RequireDocument();
  StoreAndCloseAllContent();
  retiredContent_.clear();
  // QPDF's own page list, built once: no QPDFPageObjectHelper per page at every opening.
  const std::vector<QPDFObjectHandle>& pages = document_->getAllPages();
  if (pageNumber < 1 || static_cast<size_t>(pageNumber) > pages.size()) {
    throw PdfError(kErrRange,
                   "Page " + std::to_string(pageNumber) + " is out of range (the document has " +
                       std::to_string(pages.size()) + " pages)",
                   PDF_E_VALUE);
  }
  QPDFObjectHandle page = pages[static_cast<size_t>(pageNumber - 1)];
  OpenContentEntry entry;
  entry.owner = page;
  entry.editor = std::make_unique<ContentEditor>(*document_, page, *fonts_, *colors_, Errors(),
                                                 &DocumentState<content::ContentCache>());
  contentStack_.push_back(std::move(entry));
  return 1;
}

int32_t Instance::EndPage() {
  if (contentStack_.empty()) return 0;
  return StoreAndCloseAllContent() ? 1 : 0;
}

void Instance::PushTemplate(QPDFObjectHandle form) {
  OpenContentEntry entry;
  entry.owner = form;
  entry.isTemplate = true;
  entry.editor = std::make_unique<ContentEditor>(*document_, form, *fonts_, *colors_, Errors(),
                                                 &DocumentState<content::ContentCache>());
  contentStack_.push_back(std::move(entry));
}

int32_t Instance::GetTemplCount() {
  const size_t count = RequireOpenContent().UsedTemplates().size();
  return static_cast<int32_t>(std::min<size_t>(count, std::numeric_limits<int32_t>::max()));
}

int32_t Instance::EditTemplate(int32_t index) {
  std::vector<QPDFObjectHandle> used = RequireOpenContent().UsedTemplates();
  if (index < 0 || static_cast<size_t>(index) >= used.size()) {
    throw PdfError(kErrRange,
                   "Template index " + std::to_string(index) + " is out of range (" +
                       std::to_string(used.size()) + " templates)",
                   PDF_E_VALUE);
  }
  PushTemplate(used[static_cast<size_t>(index)]);
  return 1;
}

// The template handle is the form XObject's object number; its generation is looked up.
int32_t Instance::EditTemplate2(int32_t handle) {
  RequireDocument();
  auto refuse = [&] {
    return PdfError(kErrRange,
                    "Template handle " + std::to_string(handle) + " is not a form XObject",
                    PDF_E_VALUE);
  };
  if (handle <= 0) throw refuse();
  QPDFObjectHandle form = document_->getObject(handle, 0);
  if (!IsFormXObject(form)) {
    form = QPDFObjectHandle();
    for (const auto& [objGen, entry] : document_->getXRefTable()) {
      if (objGen.getObj() != handle) continue;
      QPDFObjectHandle candidate = document_->getObject(objGen);
      if (IsFormXObject(candidate)) form = candidate;
    }
    if (!form.isInitialized()) throw refuse();
  }
  PushTemplate(form);
  return 1;
}

int32_t Instance::GetTemplHandle() {
  if (contentStack_.empty() || !contentStack_.back().isTemplate) {
    throw PdfError(kErrNoContent, "No template is open", PDF_E_FATAL);
  }
  return contentStack_.back().owner.getObjectID();
}

int32_t Instance::EndTemplate() {
  if (contentStack_.empty() || !contentStack_.back().isTemplate) {
    throw PdfError(kErrNoContent, "No template is open", PDF_E_FATAL);
  }
  PopContent(true);
  return 1;
}

// ---- Text records ---------------------------------------------------------------------------

int32_t Instance::InitStack(TPDFStack& record) {
  return RequireOpenContent().Restart(record) ? 1 : 0;
}

int32_t Instance::GetPageText(TPDFStack& record) {
  return RequireOpenContent().Next(record) ? 1 : 0;
}

int32_t Instance::ReplacePageText(const std::string& newText, const TPDFStack& record) {
  ContentEditor& editor = RequireOpenContent();
  if (!newText.empty()) {
    throw PdfError(kErrUnsupported,
                   "Only removal (an empty text) is supported; new text is written with "
                   "pdfWriteTextMatrixExW",
                   PDF_E_FATAL);
  }
  return editor.RemoveText(record) ? 1 : 0;
}

int32_t Instance::FlushPageContent() { return RequireOpenContent().Flush() ? 1 : 0; }

// ---- Links ----------------------------------------------------------------------------------

int32_t Instance::ChangeLinkAnnot(int32_t handle, const std::string& newTarget) {
  RequireDocument();
  std::optional<AnnotationRef> found = FindAnnotation(*document_, handle);
  if (!found) {
    throw PdfError(kErrRange, "Annotation handle " + std::to_string(handle) + " is out of range",
                   PDF_E_VALUE);
  }
  if (!IsUriLink(found->annotation)) {
    throw PdfError(kErrNotLink,
                   "Annotation " + std::to_string(handle) + " (page " +
                       std::to_string(found->pageNumber) + ") is not a link with a URI action",
                   PDF_E_VALUE);
  }
  SetLinkUri(found->annotation, newTarget);
  return 0;
}

// ---- Output ---------------------------------------------------------------------------------

int32_t Instance::OpenOutputFile(const std::string& path) {
  RequireDocument();
  CheckWritable(path);
  outputPath_ = path;
  return 1;
}

int32_t Instance::CloseFile() {
  RequireDocument();
  if (outputPath_.empty()) {
    throw PdfError(kErrOutputPath, "No output file is open", PDF_E_FATAL | PDF_E_FILE);
  }
  if (!StoreAndCloseAllContent()) {
    throw PdfError(kErrWrite, "The document was not written: edited content could not be stored",
                   PDF_E_FATAL);
  }
  try {
    // Fonts of written text are subset only now, when every glyph they must hold is known.
    FinalizeFonts(*document_, Errors());
    WriteAtomically(*document_, outputPath_);
  } catch (const PdfError&) {
    throw;
  } catch (const std::exception& e) {
    throw PdfError(
        kErrWrite,
        "Writing " + Quoted(outputPath_) + " failed; the previous file is unchanged: " + e.what(),
        PDF_E_FATAL | PDF_E_FILE);
  }
  CloseDocument();
  return 1;
}

}  // namespace pdfcore
