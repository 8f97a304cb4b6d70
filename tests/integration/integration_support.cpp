#include "integration_support.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

extern char** environ;

namespace integration {
namespace {

// One end of a pipe, closed when it goes out of scope.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd = -1) : fd_(fd) {}
  ~FileDescriptor() { Close(); }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int Get() const { return fd_; }
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

// posix_spawn file actions, destroyed with the object.
class SpawnActions {
 public:
  SpawnActions() { posix_spawn_file_actions_init(&actions_); }
  ~SpawnActions() { posix_spawn_file_actions_destroy(&actions_); }
  SpawnActions(const SpawnActions&) = delete;
  SpawnActions& operator=(const SpawnActions&) = delete;
  posix_spawn_file_actions_t* Get() { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

std::string FoldWhiteSpace(const std::string& line) {
  std::string folded;
  bool pendingBlank = false;
  for (char c : line) {
    if (c == ' ' || c == '\t' || c == '\f' || c == '\r' || c == '\v') {
      pendingBlank = !folded.empty();
      continue;
    }
    if (pendingBlank) folded += ' ';
    pendingBlank = false;
    folded += c;
  }
  return folded;
}

std::vector<std::string> NormalisedLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    std::string folded = FoldWhiteSpace(line);
    if (!folded.empty()) lines.push_back(std::move(folded));
  }
  return lines;
}

std::string JoinLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) text += line + "\n";
  return text;
}

// The value of attribute `name` inside the tag that starts at `from` ("" when absent).
std::string AttributeValue(const std::string& xml, size_t from, const std::string& name) {
  const size_t tagEnd = xml.find('>', from);
  const std::string key = " " + name + "=\"";
  const size_t at = xml.find(key, from);
  if (at == std::string::npos || at > tagEnd) return "";
  const size_t start = at + key.size();
  const size_t end = xml.find('"', start);
  return end == std::string::npos ? "" : xml.substr(start, end - start);
}

int PointsToRow(double points) { return static_cast<int>(std::floor(points * kRenderDpi / 72.0)); }

std::string PageArgument(int page) { return std::to_string(page); }

}  // namespace

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "corvella-it-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    throw std::system_error(errno, std::generic_category(), "mkdtemp");
  }
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

CommandResult RunProgram(const std::vector<std::string>& arguments) {
  CommandResult result;
  int ends[2] = {-1, -1};
  if (arguments.empty() || ::pipe(ends) != 0) return result;
  FileDescriptor readEnd(ends[0]);
  FileDescriptor writeEnd(ends[1]);

  SpawnActions actions;
  posix_spawn_file_actions_adddup2(actions.Get(), writeEnd.Get(), STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(actions.Get(), writeEnd.Get(), STDERR_FILENO);
  posix_spawn_file_actions_addclose(actions.Get(), readEnd.Get());

  std::vector<char*> argv;
  for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  pid_t child = 0;
  if (posix_spawnp(&child, argv[0], actions.Get(), nullptr, argv.data(), environ) != 0) {
    result.Output = "cannot start " + arguments[0];
    return result;
  }
  writeEnd.Close();
  char buffer[4096];
  for (;;) {
    const ssize_t got = ::read(readEnd.Get(), buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    result.Output.append(buffer, static_cast<size_t>(got));
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  result.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

int PageCount(const std::filesystem::path& pdf) {
  const CommandResult r = RunProgram({"qpdf", "--show-npages", pdf.string()});
  if (r.ExitCode != 0) throw std::runtime_error("qpdf --show-npages failed: " + r.Output);
  return std::stoi(r.Output);
}

std::vector<std::string> PageLines(const std::filesystem::path& pdf, int page) {
  const CommandResult r = RunProgram(
      {"pdftotext", "-q", "-f", PageArgument(page), "-l", PageArgument(page), pdf.string(), "-"});
  if (r.ExitCode != 0) throw std::runtime_error("pdftotext failed on " + pdf.string());
  return NormalisedLines(r.Output);
}

std::vector<std::string> Substitute(const std::vector<std::string>& lines, const std::string& tag,
                                    const std::string& value) {
  std::string text = JoinLines(lines);
  for (size_t at = text.find(tag); at != std::string::npos; at = text.find(tag, at)) {
    text.replace(at, tag.size(), value);
    at += value.size();
  }
  return NormalisedLines(text);
}

GreyImage RenderPage(const std::filesystem::path& pdf, int page,
                     const std::filesystem::path& work) {
  const std::filesystem::path prefix = work / (pdf.stem().string() + "-p" + std::to_string(page));
  const CommandResult r = RunProgram({"pdftoppm", "-q", "-gray", "-r", std::to_string(kRenderDpi),
                                      "-f", PageArgument(page), "-l", PageArgument(page),
                                      "-singlefile", pdf.string(), prefix.string()});
  if (r.ExitCode != 0) throw std::runtime_error("pdftoppm failed on " + pdf.string());

  std::ifstream in(prefix.string() + ".pgm", std::ios::binary);
  std::string magic;
  int maxValue = 0;
  GreyImage image;
  in >> magic >> image.Width >> image.Height >> maxValue;
  if (!in || magic != "P5" || maxValue != 255 || image.Width <= 0 || image.Height <= 0 ||
      image.Width > 20000 || image.Height > 20000) {
    throw std::runtime_error("unexpected image from pdftoppm for " + pdf.string());
  }
  in.get();  // the single white-space character before the pixels
  image.Pixels.resize(static_cast<size_t>(image.Width) * image.Height);
  in.read(reinterpret_cast<char*>(image.Pixels.data()),
          static_cast<std::streamsize>(image.Pixels.size()));
  if (!in) throw std::runtime_error("truncated image from pdftoppm for " + pdf.string());
  return image;
}

std::vector<RowBand> BandsOfWords(const std::filesystem::path& pdf, int page,
                                  const std::string& marker) {
  const CommandResult r = RunProgram({"pdftotext", "-q", "-bbox-layout", "-f", PageArgument(page),
                                      "-l", PageArgument(page), pdf.string(), "-"});
  if (r.ExitCode != 0) throw std::runtime_error("pdftotext -bbox-layout failed on " + pdf.string());
  const std::string& xml = r.Output;
  constexpr int kPadRows = 3;  // accents and descenders may leave the font's box
  std::vector<RowBand> bands;
  for (size_t line = xml.find("<line "); line != std::string::npos;
       line = xml.find("<line ", line + 1)) {
    const size_t end = xml.find("</line>", line);
    const std::string body = xml.substr(line, end == std::string::npos ? end : end - line);
    if (body.find(marker) == std::string::npos) continue;
    const double top = std::stod(AttributeValue(xml, line, "yMin"));
    const double bottom = std::stod(AttributeValue(xml, line, "yMax"));
    bands.push_back({PointsToRow(top) - kPadRows, PointsToRow(bottom) + 1 + kPadRows});
  }
  return bands;
}

std::vector<std::vector<PlacedWord>> PageWordLines(const std::filesystem::path& pdf, int page) {
  const CommandResult r = RunProgram({"pdftotext", "-q", "-bbox-layout", "-f", PageArgument(page),
                                      "-l", PageArgument(page), pdf.string(), "-"});
  if (r.ExitCode != 0) throw std::runtime_error("pdftotext -bbox-layout failed on " + pdf.string());
  const std::string& xml = r.Output;
  std::vector<std::vector<PlacedWord>> lines;
  for (size_t line = xml.find("<line "); line != std::string::npos;
       line = xml.find("<line ", line + 1)) {
    const size_t end = std::min(xml.find("</line>", line), xml.size());
    std::vector<PlacedWord> words;
    for (size_t word = xml.find("<word ", line); word < end; word = xml.find("<word ", word + 1)) {
      const size_t textStart = xml.find('>', word) + 1;
      const size_t textEnd = xml.find("</word>", textStart);
      if (textEnd == std::string::npos) break;
      words.push_back({xml.substr(textStart, textEnd - textStart),
                       std::stod(AttributeValue(xml, word, "xMin")),
                       std::stod(AttributeValue(xml, word, "xMax")),
                       std::stod(AttributeValue(xml, word, "yMin"))});
    }
    lines.push_back(std::move(words));
  }
  return lines;
}

std::vector<int> DifferingRowsOutside(const GreyImage& a, const GreyImage& b,
                                      const std::vector<RowBand>& bands, int tolerance) {
  std::vector<int> rows;
  const int height = std::max(a.Height, b.Height);
  const bool sameSize = a.Width == b.Width && a.Height == b.Height;
  for (int y = 0; y < height; ++y) {
    const bool inBand = std::any_of(bands.begin(), bands.end(), [y](const RowBand& band) {
      return y >= band.First && y <= band.Last;
    });
    if (inBand) continue;
    bool differs = !sameSize;
    for (int x = 0; !differs && x < a.Width; ++x) {
      differs = std::abs(int{a.At(x, y)} - int{b.At(x, y)}) > tolerance;
    }
    if (differs) rows.push_back(y);
  }
  return rows;
}

namespace {

int PixelsWithoutNeighbour(const GreyImage& a, const GreyImage& b, int tolerance) {
  int unexplained = 0;
  for (int y = 0; y < a.Height; ++y) {
    for (int x = 0; x < a.Width; ++x) {
      bool explained = false;
      for (int dy = -1; dy <= 1 && !explained; ++dy) {
        for (int dx = -1; dx <= 1 && !explained; ++dx) {
          const int nx = x + dx;
          const int ny = y + dy;
          if (nx < 0 || ny < 0 || nx >= b.Width || ny >= b.Height) continue;
          explained = std::abs(int{a.At(x, y)} - int{b.At(nx, ny)}) <= tolerance;
        }
      }
      if (!explained) ++unexplained;
    }
  }
  return unexplained;
}

}  // namespace

int PixelsUnexplained(const GreyImage& a, const GreyImage& b, int tolerance) {
  if (a.Width != b.Width || a.Height != b.Height) return a.Width * a.Height + 1;
  return PixelsWithoutNeighbour(a, b, tolerance) + PixelsWithoutNeighbour(b, a, tolerance);
}

bool QpdfCheckClean(const std::filesystem::path& pdf, std::string& report) {
  const CommandResult r = RunProgram({"qpdf", "--check", pdf.string()});
  report = r.Output;
  return r.ExitCode == 0 && r.Output.find("WARNING") == std::string::npos &&
         r.Output.find("No syntax or stream encoding errors found") != std::string::npos;
}

}  // namespace integration
