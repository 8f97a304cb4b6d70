// Runs a piece of a test under a real process locale other than "C": a Turkish one (whose
// case rules differ for 'I' and 'i') or a comma-decimal one. The locales are generated with
// localedef into a folder of their own, so the test needs nothing from the machine's locale
// setup; they are made once and shared by every test process.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <sys/wait.h>
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

namespace locale_test {

inline constexpr const char* kTurkish = "tr_TR.UTF-8";
inline constexpr const char* kCommaDecimal = "de_DE.UTF-8";

inline std::filesystem::path LocaleFolder() {
  return std::filesystem::temp_directory_path() /
         ("corvella-locales-" + std::to_string(static_cast<long>(getuid())));
}

// Runs localedef for `name` ("tr_TR.UTF-8": source tr_TR, charmap UTF-8) into a private
// folder and moves the result into place, so a test process never sees half a locale.
inline bool GenerateLocale(const std::string& name) {
  namespace fs = std::filesystem;
  const fs::path folder = LocaleFolder();
  if (fs::exists(folder / name / "LC_CTYPE")) return true;
  const size_t dot = name.find('.');
  if (dot == std::string::npos) return false;
  std::error_code ignored;
  fs::create_directories(folder, ignored);
  const fs::path scratch = folder / (".making-" + name + "-" + std::to_string(getpid()));
  fs::remove_all(scratch, ignored);
  fs::create_directories(scratch, ignored);
  const std::string command = "localedef -i " + name.substr(0, dot) + " -f " +
                              name.substr(dot + 1) + " '" + (scratch / name).string() +
                              "' >/dev/null 2>&1";
  const int status = std::system(command.c_str());
  bool made = status != -1 && WIFEXITED(status) && WEXITSTATUS(status) <= 1 &&
              fs::exists(scratch / name / "LC_CTYPE");
  if (made) {
    fs::rename(scratch / name, folder / name, ignored);  // another process may have won
    made = fs::exists(folder / name / "LC_CTYPE");
  }
  fs::remove_all(scratch, ignored);
  return made;
}

// Makes `name` the locale of the whole process (LC_ALL) for its lifetime and restores the
// locale and LOCPATH it found.
class ScopedLocale {
 public:
  explicit ScopedLocale(const std::string& name) {
    if (const char* old = std::getenv("LOCPATH")) oldLocPath_ = old;
    oldLocale_ = std::setlocale(LC_ALL, nullptr);
    if (!GenerateLocale(name)) return;
    setenv("LOCPATH", LocaleFolder().c_str(), 1);
    active_ = std::setlocale(LC_ALL, name.c_str()) != nullptr;
  }
  ~ScopedLocale() {
    std::setlocale(LC_ALL, oldLocale_.c_str());
    if (oldLocPath_) {
      setenv("LOCPATH", oldLocPath_->c_str(), 1);
    } else {
      unsetenv("LOCPATH");
    }
  }
  ScopedLocale(const ScopedLocale&) = delete;
  ScopedLocale& operator=(const ScopedLocale&) = delete;
  bool Active() const { return active_; }

 private:
  std::string oldLocale_;
  std::optional<std::string> oldLocPath_;
  bool active_ = false;
};

}  // namespace locale_test
