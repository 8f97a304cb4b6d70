#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "Browser.h"
#include "TestSupport.h"

namespace {

using Words = std::vector<std::string>;

// --- reducing a registered command to an argument vector ---------------------------------------

struct CommandCase {
  const char* name;
  std::string command;
  Words expected;  // with the address "URL"
};

void PrintTo(const CommandCase& c, std::ostream* os) { *os << c.name; }

class BrowserArgumentsTest : public ::testing::TestWithParam<CommandCase> {};

TEST_P(BrowserArgumentsTest, ReducesTheCommandToProgramAndAddress) {
  EXPECT_EQ(BrowserArgumentVector(GetParam().command, "URL"), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, BrowserArgumentsTest,
    ::testing::Values(
        CommandCase{"Empty", "", {}}, CommandCase{"OnlyBlanks", "  \t ", {}},
        CommandCase{"WindowsQuotedWithOptions",
                    "\"C:\\Program Files\\Mozilla Firefox\\firefox.exe\" -osint -url \"%1\"",
                    {"c:\\program files\\mozilla firefox\\firefox.exe", "URL"}},
        CommandCase{
            "WindowsUpperCasePath", "C:\\APPS\\BROWSER.EXE %1", {"c:\\apps\\browser.exe", "URL"}},
        CommandCase{"WindowsCutAtFirstExe", "\"c:\\x.exe\\y.exe\" %1", {"c:\\x.exe", "URL"}},
        CommandCase{"WindowsUnquotedWithPlaceholder",
                    "c:\\apps\\browser.exe %1",
                    {"c:\\apps\\browser.exe", "URL"}},
        CommandCase{"LinuxPlain", "firefox-esr", {"firefox-esr", "URL"}},
        CommandCase{"LinuxFieldCodesAndOptionsDropped",
                    "/usr/bin/chromium --incognito %U",
                    {"/usr/bin/chromium", "URL"}},
        CommandCase{"LinuxCaseKept", "/opt/MyBrowser/Browse %u", {"/opt/MyBrowser/Browse", "URL"}},
        CommandCase{"LinuxQuotedProgram",
                    "\"/opt/My Browser/browse\" %f",
                    {"/opt/My Browser/browse", "URL"}},
        CommandCase{"LinuxQuotedEscapes", "\"/opt/a\\\"b/browse\" %u", {"/opt/a\"b/browse", "URL"}},
        // Wrappers are followed to the program they start and kept with their own words.
        CommandCase{"EnvWithAssignments",
                    "env MOZ_ENABLE_WAYLAND=1 GDK_BACKEND=x11 firefox --new-window %u",
                    {"env", "MOZ_ENABLE_WAYLAND=1", "GDK_BACKEND=x11", "firefox", "URL"}},
        CommandCase{"EnvWithOptions",
                    "/usr/bin/env -u DISPLAY -i A=b -- /opt/b/browse %U",
                    {"/usr/bin/env", "-u", "DISPLAY", "-i", "A=b", "--", "/opt/b/browse", "URL"}},
        CommandCase{"FlatpakRun",
                    "/usr/bin/flatpak run --branch=stable --arch=x86_64 --command=firefox "
                    "--file-forwarding org.mozilla.firefox @@u %u @@",
                    {"/usr/bin/flatpak", "run", "--branch=stable", "--arch=x86_64",
                     "--command=firefox", "--file-forwarding", "org.mozilla.firefox", "URL"}},
        CommandCase{"EnvAroundFlatpak",
                    "env X=1 flatpak run org.chromium.Chromium %U",
                    {"env", "X=1", "flatpak", "run", "org.chromium.Chromium", "URL"}},
        CommandCase{"EnvWithoutACommand", "env A=1", {}},
        CommandCase{"FlatpakWithoutAnApplication", "flatpak run --branch=stable", {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BrowserArgumentsTest, AddressIsOneArgumentWhateverItHolds) {
  const std::string url = "https://x.example/?a=1&b=2; rm -rf ~ $(id) `id` \"q\" 'q' | tee";
  EXPECT_EQ(BrowserArgumentVector("firefox %u", url), (Words{"firefox", url}));
  EXPECT_EQ(BrowserArgumentVector("C:\\B.EXE %1", url), (Words{"c:\\b.exe", url}));
}

TEST(DesktopEntryTest, FindsTheExecLineOfTheDesktopEntryGroup) {
  EXPECT_EQ(browser_detail::DesktopEntryExec(
                "[Desktop Action new]\nExec=wrong\n"
                "[Desktop Entry]\nName=B\nExecFoo=no\nExec = /usr/bin/b\\s1 %u\n"),
            "/usr/bin/b 1 %u");
  EXPECT_EQ(browser_detail::DesktopEntryExec("[Desktop Entry]\nName=B\n"), "");
  EXPECT_EQ(browser_detail::DesktopEntryExec(""), "");
}

// Restores an environment variable when the test ends.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string* value) : name_(name) {
    if (const char* old = std::getenv(name)) {
      old_ = old;
      hadOld_ = true;
    }
    if (value) {
      ::setenv(name, value->c_str(), 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (hadOld_) {
      ::setenv(name_, old_.c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::string old_;
  bool hadOld_ = false;
};

TEST(DesktopEntryTest, LooksUpTheDesktopIdInTheDataFolders) {
  TempDir home, system;
  ASSERT_EQ(::mkdir(home.File("applications").c_str(), 0700), 0);
  ASSERT_EQ(::mkdir(system.File("applications").c_str(), 0700), 0);
  WriteFile(system.File("applications/web.desktop"), "[Desktop Entry]\nExec=system-web %u\n");
  WriteFile(system.File("applications/other.desktop"), "[Desktop Entry]\nExec=other %u\n");
  WriteFile(home.File("applications/web.desktop"), "[Desktop Entry]\nExec=home-web %u\n");
  const std::string homePath = home.Folder(), systemPath = "/nonexistent:" + system.Folder();
  ScopedEnv dataHome("XDG_DATA_HOME", &homePath);
  ScopedEnv dataDirs("XDG_DATA_DIRS", &systemPath);
  EXPECT_EQ(browser_detail::ExecOfDesktopId("web.desktop"), "home-web %u");
  EXPECT_EQ(browser_detail::ExecOfDesktopId("other.desktop"), "other %u");
  EXPECT_EQ(browser_detail::ExecOfDesktopId("absent.desktop"), "");
  EXPECT_EQ(browser_detail::ExecOfDesktopId("../applications/web.desktop"), "");
}

// --- starting a fake browser -------------------------------------------------------------------

// A fake browser: a script that records each argument it receives on a line of its own.
class FakeBrowser {
 public:
  explicit FakeBrowser(const std::string& folder)
      : script_(folder + "fake-browser"), record_(folder + "args.txt") {
    WriteFile(script_, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" + record_ +
                           ".part'\nmv '" + record_ + ".part' '" + record_ + "'\n");
    ::chmod(script_.c_str(), 0755);
  }
  const std::string& Path() const { return script_; }

  // The recorded arguments, once the detached browser has run; empty after the timeout.
  Words WaitForArguments() const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
      if (::access(record_.c_str(), F_OK) == 0) {
        Words words;
        std::string text = ReadFile(record_), line;
        for (const char c : text) {
          if (c == '\n') {
            words.push_back(line);
            line.clear();
          } else {
            line += c;
          }
        }
        return words;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return {};
  }

 private:
  std::string script_;
  std::string record_;
};

const std::string kHostileUrl =
    "https://x.example/a b?c=1&d=2; touch PWNED $(touch PWNED2) `touch PWNED3`";

TEST(LaunchBrowserTest, StartsTheProgramWithTheAddressAsDataAndWithoutAShell) {
  TempDir dir;
  const FakeBrowser browser(dir.Folder());
  ASSERT_EQ(::chdir(dir.Folder().c_str()), 0);
  EXPECT_TRUE(LaunchBrowserWith("\"" + browser.Path() + "\" --new-window %u", kHostileUrl));
  EXPECT_EQ(browser.WaitForArguments(), Words{kHostileUrl});
  EXPECT_NE(::access(dir.File("PWNED").c_str(), F_OK), 0);
  EXPECT_NE(::access(dir.File("PWNED2").c_str(), F_OK), 0);
  EXPECT_NE(::access(dir.File("PWNED3").c_str(), F_OK), 0);
  ASSERT_EQ(::chdir("/"), 0);
}

// Desktop entries that wrap the browser: the wrapper must be started with the browser behind it,
// not the wrapper alone with the address.
TEST(LaunchBrowserTest, WrappedCommandsStartTheWrapperWithTheProgramAndTheAddress) {
  TempDir dir;
  const FakeBrowser browser(dir.Folder());
  EXPECT_TRUE(
      LaunchBrowserWith("env CORVELLA_TEST=1 \"" + browser.Path() + "\" --new %u", kHostileUrl));
  EXPECT_EQ(browser.WaitForArguments(), Words{kHostileUrl});

  // A stand-in flatpak records what it was asked to run.
  TempDir other;
  const FakeBrowser flatpak(other.Folder());
  const std::string flatpakPath = other.File("flatpak");
  ASSERT_EQ(::rename(flatpak.Path().c_str(), flatpakPath.c_str()), 0);
  EXPECT_TRUE(LaunchBrowserWith(flatpakPath + " run --branch=stable org.example.Browser @@u %u @@",
                                kHostileUrl));
  EXPECT_EQ(flatpak.WaitForArguments(),
            (Words{"run", "--branch=stable", "org.example.Browser", kHostileUrl}));
}

TEST(LaunchBrowserTest, WindowsFormStartsTheLowerCasedProgram) {
  // The lower-cased path must exist, so the folder is made with a lower-case name.
  const std::string folder = "/tmp/corvella-browser-" + std::to_string(::getpid()) + "/";
  ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
  {
    const FakeBrowser browser(folder);
    ASSERT_EQ(::rename(browser.Path().c_str(), (folder + "fake.exe").c_str()), 0);
    std::string upper = folder + "FAKE.EXE";
    for (char& c : upper) {
      c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    EXPECT_TRUE(LaunchBrowserWith("\"" + upper + "\" -osint -url \"%1\"", "https://a.example/x y"));
    EXPECT_EQ(browser.WaitForArguments(), Words{"https://a.example/x y"});
  }
  std::filesystem::remove_all(folder);
}

TEST(LaunchBrowserTest, UsesTheBrowserVariableAndTheInjectedLookup) {
  TempDir dir;
  const FakeBrowser browser(dir.Folder());
  const std::string variable = browser.Path() + ":/usr/bin/other";
  ScopedEnv env("BROWSER", &variable);
  EXPECT_EQ(RegisteredBrowserCommand(), browser.Path());
  EXPECT_TRUE(LaunchBrowser("https://a.example/"));
  EXPECT_EQ(browser.WaitForArguments(), Words{"https://a.example/"});

  SetBrowserCommandLookup([] { return std::string(); });
  EXPECT_FALSE(LaunchBrowser("https://a.example/"));
  SetBrowserCommandLookup({});
  EXPECT_EQ(RegisteredBrowserCommand(), browser.Path());
}

TEST(LaunchBrowserTest, NoCommandStartsNothingAndAMissingProgramStillCountsAsRequested) {
  EXPECT_FALSE(LaunchBrowserWith("", "https://a.example/"));
  EXPECT_FALSE(LaunchBrowserWith("   ", "https://a.example/"));
  EXPECT_TRUE(LaunchBrowserWith("/nonexistent/browser %u", "https://a.example/"));
  EXPECT_TRUE(LaunchBrowserWith("no-such-browser-anywhere", "https://a.example/"));
}

TEST(LaunchBrowserTest, LeavesNoZombieBehind) {
  TempDir dir;
  const FakeBrowser browser(dir.Folder());
  ASSERT_TRUE(LaunchBrowserWith(browser.Path(), "u"));
  ASSERT_EQ(browser.WaitForArguments(), Words{"u"});
  // The browser was never our child: nothing is left to reap.
  EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
}

}  // namespace
