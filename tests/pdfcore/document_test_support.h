// Helpers shared by the document tests: a temporary folder, the error callback's log, files.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "core/document.h"
#include "dynapdf_abi.h"

namespace document_test {

namespace fs = std::filesystem;

inline std::string Fixture(const std::string& name) {
  return std::string(CORVELLA_FIXTURES_DIR) + "/document/" + name;
}

class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "corvella-doc-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

// Exit status of a shell command (the tests call independent tools: qpdf, pdftotext).
inline int Shell(const std::string& command) {
  const int status = std::system((command + " >/dev/null 2>&1").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline std::string ShellOutput(const std::string& command) {
  std::string result;
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  if (!pipe) return result;
  char buffer[4096];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, pipe.get())) > 0) result.append(buffer, got);
  return result;
}

// Collects what the error callback receives.
struct ErrorLog {
  struct Entry {
    int32_t code;
    std::string message;
    int32_t type;
  };
  std::vector<Entry> entries;

  static int32_t PDF_CALL Callback(const void* data, int32_t code, const char* message,
                                   int32_t type) {
    auto* log = static_cast<ErrorLog*>(const_cast<void*>(data));
    log->entries.push_back({code, message != nullptr ? message : "", type});
    return 0;
  }

  void AttachTo(pdfcore::Instance& instance) { instance.SetErrorProc(this, &Callback); }

  bool Has(int32_t code) const {
    for (const Entry& e : entries) {
      if (e.code == code) return true;
    }
    return false;
  }
  std::string All() const {
    std::string text;
    for (const Entry& e : entries) text += std::to_string(e.code) + ": " + e.message + "\n";
    return text;
  }
  size_t Fatal() const {
    size_t count = 0;
    for (const Entry& e : entries) count += (e.type & PDF_E_NOTICE) == 0 ? 1 : 0;
    return count;
  }
};

// Runs an operation as the exports do: exceptions become a report and the failure value.
template <class Result, class Body>
Result Guarded(pdfcore::Instance& pdf, Result failure, Body&& body) {
  return pdfcore::GuardedCall(static_cast<PPDF>(&pdf), failure, "test", std::forward<Body>(body));
}

// The calls a rebranding run makes to get the source document into a new one; the number of
// pages imported, or a negative value.
inline int32_t ImportWhole(pdfcore::Instance& pdf, const std::string& source) {
  using pdfcore::Instance;
  if (Guarded(pdf, 0, [](Instance& i) { return i.CreateNewPDF(""); }) != 1) return -1;
  Guarded(pdf, 0, [](Instance& i) { return i.SetImportFlags(0x8FFFFFFE); });
  if (Guarded(pdf, -1, [&](Instance& i) { return i.OpenImportFile(source, 0, ""); }) < 0) {
    return -1;
  }
  const int32_t imported =
      Guarded(pdf, -1, [](Instance& i) { return i.ImportPDFFile(1, 1.0, 1.0); });
  Guarded(pdf, 0, [](Instance& i) { return i.CloseImportFile(); });
  return imported;
}

// Opens `path` and writes the document there; 1 on success.
inline int32_t WriteTo(pdfcore::Instance& pdf, const std::string& path) {
  using pdfcore::Instance;
  if (Guarded(pdf, 0, [&](Instance& i) { return i.OpenOutputFile(path); }) != 1) return 0;
  return Guarded(pdf, 0, [](Instance& i) { return i.CloseFile(); });
}

}  // namespace document_test
