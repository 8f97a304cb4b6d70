#include "TPDF.h"

#include <cstdio>
#include <stdexcept>
#include <string>

#include "ProgramFolder.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#ifdef _WIN32
const char* const TPDF::DefaultLibraryName = "dynapdf.dll";
#else
const char* const TPDF::DefaultLibraryName = "libdynapdf.so";
#endif

namespace {

// ---------------------------------------------------------------------------------------------
// The platform loader.

#ifdef _WIN32
using ModuleHandle = HMODULE;

ModuleHandle OpenModuleFile(const std::string& path) { return LoadLibraryA(path.c_str()); }

void CloseModuleFile(ModuleHandle module) { FreeLibrary(module); }

void (*FindExport(ModuleHandle module, const char* name))() {
  if (module == nullptr) {
    return nullptr;
  }
  return reinterpret_cast<void (*)()>(GetProcAddress(module, name));
}

bool IsBareFileName(const std::string& name) {
  return name.find_first_of("/\\:") == std::string::npos;
}
#else
using ModuleHandle = void*;

ModuleHandle OpenModuleFile(const std::string& path) {
  // RTLD_LOCAL keeps the library's symbols out of the global namespace, so two different
  // libraries offering the same exports never interpose on each other.
  return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void CloseModuleFile(ModuleHandle module) { dlclose(module); }

void (*FindExport(ModuleHandle module, const char* name))() {
  if (module == nullptr) {
    return nullptr;  // dlsym would read a null handle as "search every loaded object"
  }
  return reinterpret_cast<void (*)()>(dlsym(module, name));
}

bool IsBareFileName(const std::string& name) { return name.find('/') == std::string::npos; }
#endif

// A bare file name is looked up beside the program first, the way the Windows loader starts
// with the application folder, and then by the loader's own rules. A name with a path is used
// as given.
ModuleHandle OpenModule(const std::string& fileName) {
  if (fileName.empty()) {
    return nullptr;  // the loaders read an empty name as "the program itself"
  }
  if (!IsBareFileName(fileName)) {
    return OpenModuleFile(fileName);
  }
  if (ModuleHandle beside = OpenModuleFile(ProgramFolder() + fileName)) {
    return beside;
  }
  return OpenModuleFile(fileName);
}

// ---------------------------------------------------------------------------------------------
// Process-wide state shared by all binding objects.

ModuleHandle gModule = nullptr;
int32_t gInstanceCount = 0;
// Set when an instance could not be deleted: the library must then stay in memory for the rest
// of the process, because unloading it would pull the code out from under a live instance.
bool gModulePinned = false;
// The outcome of the most recent destruction: its error message, or empty when it went well.
// A destructor must not throw, so this is how the owner learns about a failed release.
std::string gLastDestructionError;

// Gives up the module reference once no object needs it. A pinned module is dropped without
// being unloaded, so a later construction loads the library afresh by the name it is given.
void ReleaseModule() {
  if (gModule != nullptr && !gModulePinned) {
    CloseModuleFile(gModule);
  }
  gModule = nullptr;
  gModulePinned = false;
}

// Holds the module for a construction in progress: when this construction loaded the library
// and then fails, the library is unloaded again, so a failed construction leaves nothing.
class ConstructionLoad {
 public:
  explicit ConstructionLoad(const std::string& fileName) {
    if (gInstanceCount != 0 && gModule != nullptr) {
      return;  // already loaded by a living object: the file name is not used
    }
    ModuleHandle module = OpenModule(fileName);
    if (module == nullptr) {
      throw std::runtime_error("Error: Cannot find dynapdf.dll");
    }
    gModule = module;
    gModulePinned = false;
    loadedHere_ = true;
  }
  ~ConstructionLoad() {
    if (loadedHere_) {
      ReleaseModule();
    }
  }
  ConstructionLoad(const ConstructionLoad&) = delete;
  ConstructionLoad& operator=(const ConstructionLoad&) = delete;

  void Keep() { loadedHere_ = false; }

 private:
  bool loadedHere_ = false;
};

void ReportDestructionError(const char* message) {
  gLastDestructionError = message;
  std::fputs(message, stderr);
  std::fputc('\n', stderr);
}

// The library reads strings up to their terminating zero; an absent 16-bit string is handed
// over as an empty one, never as a null pointer.
const PDF_WCHAR* NonNull(const PDF_WCHAR* text) {
  static const PDF_WCHAR kEmpty[1] = {0};
  return text != nullptr ? text : kEmpty;
}

// The library's 8-bit flag and mode arguments are signed bytes, widened with their sign.
int32_t Widen(int8_t value) { return static_cast<int32_t>(value); }

// Indices of the entry-point slots, one per bound export.
enum EntryPoint : int {
  kChangeFontSize,
  kChangeLinkAnnot,
  kCloseFile,
  kCloseImportFile,
  kCreateNewPDF,
  kEditPage,
  kEditTemplate,
  kEditTemplate2,
  kEndPage,
  kEndTemplate,
  kFlushPageContent,
  kGetFont,
  kGetPageText,
  kGetTemplCount,
  kGetTemplHandle,
  kGetTextWidthEx,
  kHaveOpenDoc,
  kImportPDFFile,
  kInitStack,
  kOpenImportFile,
  kOpenOutputFile,
  kReplacePageText,
  kSetFillColor,
  kSetFillColorSpace,
  kSetFont,
  kSetFontEx,
  kSetImportFlags,
  kSetOnErrorProc,
  kSetStrokeColor,
  kSetStrokeColorSpace,
  kSetTextDrawMode,
  kWriteTextMatrixEx,
  kEntryPointTotal
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// Lifecycle.

TPDF::TPDF(const std::string& libraryFileName) {
  static_assert(kEntryPointCount == kEntryPointTotal, "one slot per bound export");
  ConstructionLoad load(libraryFileName);
  auto newPdf = reinterpret_cast<pfn_pdfNewPDF>(FindExport(gModule, "pdfNewPDF"));
  if (newPdf == nullptr) {
    throw std::runtime_error("Error loading function: pdfNewPDF");
  }
  instance_ = newPdf();
  if (instance_ == nullptr) {
    throw std::runtime_error("Out of memory!");
  }
  load.Keep();
  ++gInstanceCount;
}

TPDF::~TPDF() {
  gLastDestructionError.clear();
  --gInstanceCount;
  auto deletePdf = reinterpret_cast<pfn_pdfDeletePDF>(FindExport(gModule, "pdfDeletePDF"));
  if (deletePdf == nullptr) {
    ReportDestructionError("Error loading function: pdfDeletePDF");
  } else if (deletePdf(instance_) == 0) {
    ReportDestructionError("Cannot delete PDF instance!");
  }
  if (!gLastDestructionError.empty()) {
    gModulePinned = true;
  }
  if (gInstanceCount == 0) {
    ReleaseModule();
  }
}

const std::string& TPDF::LastDestructionError() { return gLastDestructionError; }

TPDF::AnyEntryPoint TPDF::LoadFunction(int index, const char* name) {
  AnyEntryPoint& slot = slots_[index];
  if (slot == nullptr) {
    slot = FindExport(gModule, name);
    if (slot == nullptr) {
      throw std::runtime_error(std::string("Error loading function: \"") + name + "\"");
    }
  }
  return slot;
}

// ---------------------------------------------------------------------------------------------
// Operations.

int32_t TPDF::ChangeFontSize(double size) {
  return Entry<pfn_pdfChangeFontSize>(kChangeFontSize, "pdfChangeFontSize")(instance_, size);
}

int32_t TPDF::ChangeLinkAnnot(int32_t handle, const std::string& newTarget) {
  return Entry<pfn_pdfChangeLinkAnnot>(kChangeLinkAnnot, "pdfChangeLinkAnnot")(instance_, handle,
                                                                               newTarget.c_str());
}

bool TPDF::CloseFile() {
  return Entry<pfn_pdfCloseFile>(kCloseFile, "pdfCloseFile")(instance_) != 0;
}

int32_t TPDF::CloseImportFile() {
  return Entry<pfn_pdfCloseImportFile>(kCloseImportFile, "pdfCloseImportFile")(instance_);
}

int32_t TPDF::CreateNewPDF(const std::string& outputFileName) {
  return Entry<pfn_pdfCreateNewPDFA>(kCreateNewPDF, "pdfCreateNewPDFA")(instance_,
                                                                        outputFileName.c_str());
}

int32_t TPDF::EditPage(int32_t page) {
  return Entry<pfn_pdfEditPage>(kEditPage, "pdfEditPage")(instance_, page);
}

int32_t TPDF::EditTemplate(int32_t index) {
  return Entry<pfn_pdfEditTemplate>(kEditTemplate, "pdfEditTemplate")(instance_, index);
}

int32_t TPDF::EditTemplate2(int32_t handle) {
  return Entry<pfn_pdfEditTemplate2>(kEditTemplate2, "pdfEditTemplate2")(instance_, handle);
}

int32_t TPDF::EndPage() { return Entry<pfn_pdfEndPage>(kEndPage, "pdfEndPage")(instance_); }

int32_t TPDF::EndTemplate() {
  return Entry<pfn_pdfEndTemplate>(kEndTemplate, "pdfEndTemplate")(instance_);
}

int32_t TPDF::FlushPageContent(TPDFStack* stack) {
  return Entry<pfn_pdfFlushPageContent>(kFlushPageContent, "pdfFlushPageContent")(instance_, stack);
}

bool TPDF::GetFont(void* font, TPDFFontInfo* info) {
  // The font export works on the font handle alone, without the instance.
  return Entry<pfn_fntGetFont>(kGetFont, "fntGetFont")(font, info) != 0;
}

int32_t TPDF::GetPageText(TPDFStack* stack) {
  return Entry<pfn_pdfGetPageText>(kGetPageText, "pdfGetPageText")(instance_, stack);
}

int32_t TPDF::GetTemplCount() {
  return Entry<pfn_pdfGetTemplCount>(kGetTemplCount, "pdfGetTemplCount")(instance_);
}

int32_t TPDF::GetTemplHandle() {
  return Entry<pfn_pdfGetTemplHandle>(kGetTemplHandle, "pdfGetTemplHandle")(instance_);
}

double TPDF::GetTextWidthEx(const PDF_WCHAR* text, int32_t length) {
  return Entry<pfn_pdfGetTextWidthExW>(kGetTextWidthEx, "pdfGetTextWidthExW")(
      instance_, NonNull(text), length);
}

int32_t TPDF::HaveOpenDoc() {
  return Entry<pfn_pdfHaveOpenDoc>(kHaveOpenDoc, "pdfHaveOpenDoc")(instance_);
}

int32_t TPDF::ImportPDFFile(int32_t destPage, double scaleX, double scaleY) {
  return Entry<pfn_pdfImportPDFFile>(kImportPDFFile, "pdfImportPDFFile")(instance_, destPage,
                                                                         scaleX, scaleY);
}

int32_t TPDF::InitStack(TPDFStack* stack) {
  return Entry<pfn_pdfInitStack>(kInitStack, "pdfInitStack")(instance_, stack);
}

int32_t TPDF::OpenImportFile(const std::string& fileName, int8_t mode,
                             const std::string& password) {
  return Entry<pfn_pdfOpenImportFileA>(kOpenImportFile, "pdfOpenImportFileA")(
      instance_, fileName.c_str(), Widen(mode), password.c_str());
}

int32_t TPDF::OpenOutputFile(const std::string& fileName) {
  return Entry<pfn_pdfOpenOutputFileA>(kOpenOutputFile, "pdfOpenOutputFileA")(instance_,
                                                                              fileName.c_str());
}

int32_t TPDF::ReplacePageText(const std::string& newText, TPDFStack* stack) {
  return Entry<pfn_pdfReplacePageTextA>(kReplacePageText, "pdfReplacePageTextA")(
      instance_, newText.c_str(), stack);
}

int32_t TPDF::SetFillColor(uint32_t color) {
  return Entry<pfn_pdfSetFillColor>(kSetFillColor, "pdfSetFillColor")(instance_, color);
}

int32_t TPDF::SetFillColorSpace(int32_t colorSpace) {
  return Entry<pfn_pdfSetFillColorSpace>(kSetFillColorSpace, "pdfSetFillColorSpace")(instance_,
                                                                                     colorSpace);
}

int32_t TPDF::SetFont(const std::string& name, int32_t style, double size, bool embed,
                      int8_t codePage) {
  return Entry<pfn_pdfSetFontA>(kSetFont, "pdfSetFontA")(instance_, name.c_str(), style, size,
                                                         embed ? 1 : 0, Widen(codePage));
}

int32_t TPDF::SetFontEx(const std::string& name, int32_t style, double size, bool embed,
                        int32_t codePage) {
  // This export takes its flag as a full-width boolean: true is all bits set.
  return Entry<pfn_pdfSetFontExA>(kSetFontEx, "pdfSetFontExA")(instance_, name.c_str(), style, size,
                                                               embed ? -1 : 0, codePage);
}

int32_t TPDF::SetImportFlags(uint32_t flags) {
  return Entry<pfn_pdfSetImportFlags>(kSetImportFlags, "pdfSetImportFlags")(instance_, flags);
}

int32_t TPDF::SetOnErrorProc(const void* data, TErrorProc proc) {
  return Entry<pfn_pdfSetOnErrorProc>(kSetOnErrorProc, "pdfSetOnErrorProc")(instance_, data, proc);
}

int32_t TPDF::SetStrokeColor(uint32_t color) {
  return Entry<pfn_pdfSetStrokeColor>(kSetStrokeColor, "pdfSetStrokeColor")(instance_, color);
}

int32_t TPDF::SetStrokeColorSpace(int32_t colorSpace) {
  return Entry<pfn_pdfSetStrokeColorSpace>(kSetStrokeColorSpace, "pdfSetStrokeColorSpace")(
      instance_, colorSpace);
}

int32_t TPDF::SetTextDrawMode(int8_t mode) {
  return Entry<pfn_pdfSetTextDrawMode>(kSetTextDrawMode, "pdfSetTextDrawMode")(instance_,
                                                                               Widen(mode));
}

int32_t TPDF::WriteTextMatrixEx(const TPDFMatrix* matrix, const PDF_WCHAR* text, int32_t length) {
  return Entry<pfn_pdfWriteTextMatrixExW>(kWriteTextMatrixEx, "pdfWriteTextMatrixExW")(
      instance_, matrix, NonNull(text), length);
}
