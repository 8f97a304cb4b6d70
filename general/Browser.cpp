#include "Browser.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string_view>

#include "FileBytes.h"
#include "UGeneral.h"

extern char** environ;

namespace {

std::mutex lookupMutex;
BrowserCommandLookup lookupOverride;

std::string AsciiLowerCase(std::string text) {
  for (char& byte : text) {
    if (byte >= 'A' && byte <= 'Z') {
      byte = static_cast<char>(byte + ('a' - 'A'));
    }
  }
  return text;
}

std::string WindowsProgramPath(const std::string& command) {
  std::string path = AsciiLowerCase(command);
  path = path.substr(0, path.find(".exe")) + ".exe";
  std::erase(path, '"');
  return path;
}

bool IsExecutableFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         ::access(path.c_str(), X_OK) == 0;
}

// Resolved before forking, so the child only calls async-signal-safe functions.
std::optional<std::string> ResolveProgram(const std::string& program) {
  if (program.find('/') != std::string::npos) {
    return program;
  }
  const char* pathVariable = std::getenv("PATH");
  const std::string searchPath =
      pathVariable && *pathVariable ? pathVariable : "/usr/local/bin:/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= searchPath.size()) {
    std::size_t end = searchPath.find(':', start);
    if (end == std::string::npos) {
      end = searchPath.size();
    }
    // An empty entry means the working directory.
    const std::string folder =
        end > start ? searchPath.substr(start, end - start) : std::string(".");
    const std::string candidate = folder + "/" + program;
    if (IsExecutableFile(candidate)) {
      return candidate;
    }
    start = end + 1;
  }
  return std::nullopt;
}

// Starts the program detached: an intermediate child starts it and exits at once, so the program
// is adopted by init and never becomes a zombie of ours, and we don't wait for it.
void StartDetached(const std::vector<std::string>& arguments) {
  const std::optional<std::string> program = ResolveProgram(arguments.front());
  if (!program) {
    return;
  }
  std::vector<char*> argv;
  for (const std::string& argument : arguments) {
    argv.push_back(const_cast<char*>(argument.c_str()));
  }
  argv.push_back(nullptr);
  sigset_t noSignals;
  sigemptyset(&noSignals);

  const pid_t child = ::fork();
  if (child < 0) {
    return;
  }
  if (child == 0) {
    const pid_t grandchild = ::fork();
    if (grandchild == 0) {
      for (int signalNumber = 1; signalNumber < NSIG; ++signalNumber) {
        ::signal(signalNumber, SIG_DFL);
      }
      ::sigprocmask(SIG_SETMASK, &noSignals, nullptr);
      ::setsid();
      const int devNull = ::open("/dev/null", O_RDONLY);
      if (devNull >= 0) {
        ::dup2(devNull, STDIN_FILENO);
        if (devNull != STDIN_FILENO) {
          ::close(devNull);
        }
      }
      ::execv(program->c_str(), argv.data());
      ::_exit(127);
    }
    ::_exit(grandchild < 0 ? 1 : 0);
  }
  while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
  }
}

// Owns a pipe end.
class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() { Reset(); }
  int get() const { return fd_; }
  void Reset() {
    if (fd_ >= 0) {
      ::close(fd_);
      fd_ = -1;
    }
  }

 private:
  int fd_;
};

// Owns posix_spawn file actions.
class SpawnActions {
 public:
  SpawnActions() { ::posix_spawn_file_actions_init(&actions_); }
  SpawnActions(const SpawnActions&) = delete;
  SpawnActions& operator=(const SpawnActions&) = delete;
  ~SpawnActions() { ::posix_spawn_file_actions_destroy(&actions_); }
  posix_spawn_file_actions_t* get() { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

// Runs a helper program and returns the first line of its output, or "" when it is missing,
// fails or takes too long (it is then killed). The output read is bounded.
std::string FirstOutputLine(std::vector<std::string> arguments) {
  constexpr std::size_t kMaxOutput = 4096;
  constexpr auto kTimeout = std::chrono::seconds(5);

  int pipeEnds[2];
  if (::pipe2(pipeEnds, O_CLOEXEC) != 0) {
    return "";
  }
  Descriptor readEnd(pipeEnds[0]);
  Descriptor writeEnd(pipeEnds[1]);

  SpawnActions actions;
  ::posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  ::posix_spawn_file_actions_adddup2(actions.get(), writeEnd.get(), STDOUT_FILENO);
  ::posix_spawn_file_actions_addopen(actions.get(), STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  std::vector<char*> argv;
  for (std::string& argument : arguments) {
    argv.push_back(argument.data());
  }
  argv.push_back(nullptr);
  pid_t pid;
  if (::posix_spawnp(&pid, argv[0], actions.get(), nullptr, argv.data(), environ) != 0) {
    return "";
  }
  writeEnd.Reset();

  std::string output;
  const auto deadline = std::chrono::steady_clock::now() + kTimeout;
  bool finished = false;
  while (!finished && output.size() < kMaxOutput) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      break;
    }
    pollfd waitFor{readEnd.get(), POLLIN, 0};
    const int ready = ::poll(&waitFor, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) {
      continue;
    }
    if (ready <= 0) {
      break;
    }
    char buffer[512];
    const ssize_t got = ::read(readEnd.get(), buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got <= 0) {
      finished = got == 0;
      break;
    }
    output.append(buffer, static_cast<std::size_t>(got));
  }
  if (!finished) {
    ::kill(pid, SIGKILL);
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!finished || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    return "";
  }
  const std::vector<std::string> lines = SplitTextLines(output, 1);
  return lines.empty() ? "" : lines.front();
}

bool IsPlainDesktopId(const std::string& id) {
  return !id.empty() && id.find('/') == std::string::npos && id != "." && id != ".." &&
         id.size() > 8 && id.ends_with(".desktop");
}

std::vector<std::string> DataFolders() {
  std::vector<std::string> folders;
  const char* dataHome = std::getenv("XDG_DATA_HOME");
  const char* home = std::getenv("HOME");
  if (dataHome && *dataHome) {
    folders.emplace_back(dataHome);
  } else if (home && *home) {
    folders.push_back(std::string(home) + "/.local/share");
  }
  const char* dataDirs = std::getenv("XDG_DATA_DIRS");
  const std::string dirs = dataDirs && *dataDirs ? dataDirs : "/usr/local/share:/usr/share";
  std::size_t start = 0;
  while (start <= dirs.size()) {
    std::size_t end = dirs.find(':', start);
    if (end == std::string::npos) {
      end = dirs.size();
    }
    if (end > start) {
      folders.push_back(dirs.substr(start, end - start));
    }
    start = end + 1;
  }
  return folders;
}

std::string PlatformBrowserCommand() {
  const char* browser = std::getenv("BROWSER");
  if (browser && *browser) {
    const std::string value = browser;
    return value.substr(0, value.find(':'));
  }
  std::string desktopId = FirstOutputLine({"xdg-settings", "get", "default-web-browser"});
  if (!IsPlainDesktopId(desktopId)) {
    desktopId = FirstOutputLine({"xdg-mime", "query", "default", "x-scheme-handler/http"});
  }
  return IsPlainDesktopId(desktopId) ? browser_detail::ExecOfDesktopId(desktopId) : "";
}

std::string UnescapeDesktopString(std::string_view value) {
  std::string out;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\\' || i + 1 == value.size()) {
      out += value[i];
      continue;
    }
    switch (value[++i]) {
      case 's':
        out += ' ';
        break;
      case 'n':
        out += '\n';
        break;
      case 't':
        out += '\t';
        break;
      case 'r':
        out += '\r';
        break;
      case '\\':
        out += '\\';
        break;
      default:
        // Not a string escape: kept for the Exec quoting rules that follow.
        out += '\\';
        out += value[i];
    }
  }
  return out;
}

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// An "env" assignment, NAME=VALUE with a non-empty name.
bool IsAssignment(const std::string& word) {
  const std::size_t equals = word.find('=');
  return equals != std::string::npos && equals > 0 && word.find('/') > equals;
}

// Index of the word after env's options and assignments: the command it starts.
std::size_t AfterEnv(const std::vector<std::string>& words, std::size_t at) {
  ++at;
  while (at < words.size()) {
    const std::string& word = words[at];
    if (word == "--") return at + 1;
    if (word == "-u" || word == "-C" || word == "--unset" || word == "--chdir") {
      at += 2;  // options that take the next word
    } else if (word.size() > 1 && word[0] == '-') {
      ++at;
    } else if (IsAssignment(word)) {
      ++at;
    } else {
      break;
    }
  }
  return at;
}

// Index of the application id after "flatpak run" and its options (all written --name=value in
// desktop entries).
std::size_t AfterFlatpakRun(const std::vector<std::string>& words, std::size_t at) {
  at += 2;
  while (at < words.size() && words[at].size() > 1 && words[at][0] == '-') ++at;
  return at;
}

// How many leading words of an Exec value make up the command that must be started, wrappers
// followed: "env VAR=1 firefox %u" keeps "env VAR=1 firefox", "flatpak run --branch=stable
// org.mozilla.firefox @@u %u @@" keeps everything up to the application id. The real program's
// own options and the address placeholders are dropped. 0 when the wrapper names no command.
std::size_t CommandWordCount(const std::vector<std::string>& words) {
  constexpr int kMaxWrappers = 8;  // env env env ... is not a browser
  std::size_t at = 0;
  for (int depth = 0; depth < kMaxWrappers && at < words.size(); ++depth) {
    const std::string program = BaseName(words[at]);
    if (program == "env") {
      at = AfterEnv(words, at);
    } else if (program == "flatpak" && at + 1 < words.size() && words[at + 1] == "run") {
      at = AfterFlatpakRun(words, at);
    } else {
      return at + 1;
    }
  }
  return 0;
}

}  // namespace

namespace browser_detail {

std::string DesktopEntryExec(const std::string& desktopFileText) {
  std::string exec;
  bool inDesktopEntry = false;
  ForEachTextLine(desktopFileText, [&](std::string_view line) {
    if (line.starts_with('[')) {
      inDesktopEntry = line == "[Desktop Entry]";
      return true;
    }
    if (!inDesktopEntry || !line.starts_with("Exec")) {
      return true;
    }
    std::string_view rest = line.substr(4);
    while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t')) {
      rest.remove_prefix(1);
    }
    if (!rest.starts_with('=')) {
      return true;  // another key, such as "ExecFoo"
    }
    rest.remove_prefix(1);
    while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t')) {
      rest.remove_prefix(1);
    }
    exec = UnescapeDesktopString(rest);
    return false;
  });
  return exec;
}

std::string ExecOfDesktopId(const std::string& desktopId) {
  if (!IsPlainDesktopId(desktopId)) {
    return "";
  }
  constexpr std::size_t kMaxDesktopFileSize = std::size_t{1} << 20;
  for (const std::string& folder : DataFolders()) {
    std::optional<std::string> text;
    try {
      text = ReadWholeFile(folder + "/applications/" + desktopId, kMaxDesktopFileSize);
    } catch (const std::runtime_error&) {
      continue;
    }
    if (text) {
      return DesktopEntryExec(*text);
    }
  }
  return "";
}

std::vector<std::string> SplitExecWords(const std::string& exec) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  bool quoted = false;
  for (std::size_t i = 0; i < exec.size(); ++i) {
    const char byte = exec[i];
    if (quoted) {
      if (byte == '"') {
        quoted = false;
      } else if (byte == '\\' && i + 1 < exec.size()) {
        word += exec[++i];
      } else {
        word += byte;
      }
    } else if (byte == ' ' || byte == '\t' || byte == '\n' || byte == '\r') {
      if (inWord) {
        words.push_back(std::move(word));
        word.clear();
        inWord = false;
      }
    } else if (byte == '"') {
      quoted = true;
      inWord = true;
    } else {
      word += byte;
      inWord = true;
    }
  }
  if (inWord) {
    words.push_back(std::move(word));
  }
  return words;
}

}  // namespace browser_detail

std::vector<std::string> BrowserArgumentVector(const std::string& command, const std::string& url) {
  std::vector<std::string> arguments;
  if (AsciiLowerCase(command).find(".exe") != std::string::npos) {
    arguments.push_back(WindowsProgramPath(command));
  } else {
    std::vector<std::string> words = browser_detail::SplitExecWords(command);
    words.resize(CommandWordCount(words));
    arguments = std::move(words);
  }
  if (arguments.empty() || arguments.front().empty()) {
    return {};
  }
  arguments.push_back(url);
  return arguments;
}

bool LaunchBrowserWith(const std::string& command, const std::string& url) {
  const std::vector<std::string> arguments = BrowserArgumentVector(command, url);
  if (arguments.empty()) {
    return false;
  }
  StartDetached(arguments);
  return true;
}

std::string RegisteredBrowserCommand() {
  BrowserCommandLookup lookup;
  {
    const std::lock_guard lock(lookupMutex);
    lookup = lookupOverride;
  }
  return lookup ? lookup() : PlatformBrowserCommand();
}

BrowserCommandLookup SetBrowserCommandLookup(BrowserCommandLookup lookup) {
  const std::lock_guard lock(lookupMutex);
  std::swap(lookupOverride, lookup);
  return lookup;
}

bool LaunchBrowser(const std::string& url) {
  return LaunchBrowserWith(RegisteredBrowserCommand(), url);
}
