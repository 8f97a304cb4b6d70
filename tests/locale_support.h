// Locales the tests switch the process to, as the window does with the user's: made with
// localedef into a folder of the build when the system lacks them, so any Debian machine with the
// `locales` data runs the tests. A test skips when its locale can't be had.
#pragma once

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

extern char** environ;

namespace test_locale {

// The locales whose number and letter-case rules differ from C in ways that broke output:
// a decimal comma, and Turkish dotted and dotless i.
inline const std::vector<std::string>& Unusual() {
  static const std::vector<std::string> names = {"de_DE.UTF-8", "tr_TR.UTF-8"};
  return names;
}

inline std::filesystem::path Folder() {
#ifdef CORVELLA_TEST_LOCALES
  return CORVELLA_TEST_LOCALES;
#else
  return std::filesystem::temp_directory_path() / ("corvella-locales-" + std::to_string(getuid()));
#endif
}

// Runs localedef for "ll_CC.UTF-8" into Folder(), written aside and renamed, so test programs
// running at once never see half a locale.
inline bool MakeLocale(const std::string& name) {
  const size_t dot = name.find('.');
  if (dot == std::string::npos) return false;
  namespace fs = std::filesystem;
  std::error_code error;
  fs::create_directories(Folder(), error);
  const fs::path target = Folder() / name;
  if (fs::exists(target / "LC_CTYPE", error)) return true;
  const fs::path aside = Folder() / (name + ".making." + std::to_string(getpid()));
  std::vector<std::string> args = {"localedef",          "-i",          name.substr(0, dot), "-f",
                                   name.substr(dot + 1), aside.string()};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawnp(&pid, "localedef", nullptr, nullptr, argv.data(), environ) != 0) return false;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  // localedef exits 1 for mere warnings about the source; the made locale is what counts.
  if (!fs::exists(aside / "LC_CTYPE", error)) {
    fs::remove_all(aside, error);
    return false;
  }
  fs::rename(aside, target, error);
  if (error) fs::remove_all(aside, error);  // another process made it first
  return fs::exists(target / "LC_CTYPE", error);
}

// Switches every category of the C locale to `name` for its lifetime, then back to "C".
class Scoped {
 public:
  // The locale is made before the first attempt to switch to it: glibc remembers a name it
  // could not find and would not look again.
  explicit Scoped(const std::string& name) {
    if (MakeLocale(name)) setenv("LOCPATH", Folder().c_str(), 1);
    active_ = std::setlocale(LC_ALL, name.c_str()) != nullptr;
  }
  ~Scoped() { std::setlocale(LC_ALL, "C"); }
  Scoped(const Scoped&) = delete;
  Scoped& operator=(const Scoped&) = delete;
  bool Active() const { return active_; }

 private:
  bool active_ = false;
};

}  // namespace test_locale
