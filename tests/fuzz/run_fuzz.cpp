// The whole run on a fuzzed rebrandable PDF with a fixed package: the real core library loaded
// through the binding, import, search and replace of text records, a link change and the
// output file. A failed run must leave the existing output file exactly as it was.
#include <dlfcn.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "RebrandRun.h"
#include "fuzz_support.h"

namespace {

class QuietObserver final : public RunObserver {
 public:
  void SetGaugeMax(int) override {}
  void SetGaugeValue(int) override {}
  void SetStatus(const std::string&) override {}
};

std::unique_ptr<TFormat> Record(const char* tagged, const char* value, const char* kind,
                                const char* page, const char* handle, const char* name) {
  auto record = std::make_unique<TFormat>();
  record->Enabled = true;
  record->TaggedText = tagged;
  record->Value = value;
  record->Kind = kind;
  record->Page = page;
  record->LinkHandle = handle;
  record->VariableName = name;
  return record;
}

void FillPackage(TFormats& formats) {
  formats.AddObject("Hello", Record("Hello", "Greetings", "Text", "1", "0", "Hello"));
  formats.AddObject("e", Record("e", "E", "Text Link", "2", "0", "e"));
  formats.AddObject("https://example.com/{id}",
                    Record("https://example.com/{id}", "me", "Link", "1", "0", "{id}"));
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

// Keeps the library loaded between runs, so each run's binding finds it resident rather than
// mapping it afresh (and the fuzzer keeps its coverage counters); unloaded at exit, so the
// library's own clean-up runs.
class ResidentLibrary {
 public:
  ResidentLibrary() : handle_(dlopen(CORVELLA_DYNAPDF_PATH, RTLD_NOW | RTLD_LOCAL)) {}
  ~ResidentLibrary() {
    if (handle_ != nullptr) dlclose(handle_);
  }
  ResidentLibrary(const ResidentLibrary&) = delete;
  ResidentLibrary& operator=(const ResidentLibrary&) = delete;

 private:
  void* handle_;
};

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  static ResidentLibrary library;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fuzz::TempDir folder;
  static const std::string previous = "an earlier output the user keeps";
  RunOptions options;
  options.PDFFileName = folder.File("file.dat");
  options.OutputFileName = folder.File("out.pdf");
  options.LibraryName = CORVELLA_DYNAPDF_PATH;
  fuzz::WriteFile(options.PDFFileName, fuzz::AsText(data, size));
  fuzz::WriteFile(options.OutputFileName, previous);

  TFormats formats;
  FillPackage(formats);
  QuietObserver observer;
  const bool saved = RunRebranding(options, formats, observer).Saved;
  if (!saved && ReadAll(options.OutputFileName) != previous) std::abort();
  return 0;
}
