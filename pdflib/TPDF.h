// TPDF: the program's only path to the PDF core library.
//
// Loads the library at run time, owns one library instance, and resolves each
// export the first time its method is called. Failures of the binding itself
// (library file missing, export missing, no instance) are raised as
// std::runtime_error carrying the message; library results come back unchanged.
#pragma once

#include <cstdint>
#include <string>

#include "dynapdf_abi.h"

class TPDF {
 public:
  // Name of the core library file on this platform, as a run passes it.
  static const char* const DefaultLibraryName;

  explicit TPDF(const std::string& libraryFileName);
  virtual ~TPDF();
  TPDF(const TPDF&) = delete;
  TPDF& operator=(const TPDF&) = delete;

  int32_t ChangeFontSize(double size);
  int32_t ChangeLinkAnnot(int32_t handle, const std::string& newTarget);
  bool CloseFile();
  int32_t CloseImportFile();
  int32_t CreateNewPDF(const std::string& outputFileName);
  int32_t EditPage(int32_t page);
  int32_t EditTemplate(int32_t index);
  int32_t EditTemplate2(int32_t handle);
  int32_t EndPage();
  int32_t EndTemplate();
  int32_t FlushPageContent(TPDFStack* stack);
  bool GetFont(void* font, TPDFFontInfo* info);
  int32_t GetPageText(TPDFStack* stack);
  int32_t GetTemplCount();
  int32_t GetTemplHandle();
  double GetTextWidthEx(const PDF_WCHAR* text, int32_t length);
  int32_t HaveOpenDoc();
  int32_t ImportPDFFile(int32_t destPage, double scaleX, double scaleY);
  int32_t InitStack(TPDFStack* stack);
  int32_t OpenImportFile(const std::string& fileName, int8_t mode, const std::string& password);
  int32_t OpenOutputFile(const std::string& fileName);
  int32_t ReplacePageText(const std::string& newText, TPDFStack* stack);
  int32_t SetFillColor(uint32_t color);
  int32_t SetFillColorSpace(int32_t colorSpace);
  int32_t SetFont(const std::string& name, int32_t style, double size, bool embed, int8_t codePage);
  int32_t SetFontEx(const std::string& name, int32_t style, double size, bool embed,
                    int32_t codePage);
  int32_t SetImportFlags(uint32_t flags);
  int32_t SetOnErrorProc(const void* data, TErrorProc proc);
  int32_t SetStrokeColor(uint32_t color);
  int32_t SetStrokeColorSpace(int32_t colorSpace);
  int32_t SetTextDrawMode(int8_t mode);
  int32_t WriteTextMatrixEx(const TPDFMatrix* matrix, const PDF_WCHAR* text, int32_t length);

  // Messages of destruction failures, which must not leave the destructor.
  // The last one is kept here for the owner to read (empty when none).
  static const std::string& LastDestructionError();

 private:
  // A resolved entry point before it is cast back to its own signature.
  using AnyEntryPoint = void (*)();
  static constexpr int kEntryPointCount = 32;

  // Fills slot `index` with the export `name` on first use; throws when it is missing.
  AnyEntryPoint LoadFunction(int index, const char* name);
  template <typename Signature>
  Signature Entry(int index, const char* name) {
    return reinterpret_cast<Signature>(LoadFunction(index, name));
  }

  AnyEntryPoint slots_[kEntryPointCount] = {};
  PPDF instance_ = nullptr;
};
