// Judges of PDF output for the integration tests: the text poppler reads, pages rendered to
// grey pixels, the bands of the lines that hold tags, and qpdf's structural check. Every judge is
// an outside program, so what it reports is independent of the core library under test.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace integration {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

struct CommandResult {
  int ExitCode = -1;
  std::string Output;  // standard output and standard error together
};

// Runs a program with arguments (no shell) and collects what it prints.
CommandResult RunProgram(const std::vector<std::string>& arguments);

int PageCount(const std::filesystem::path& pdf);

// The text of one page as pdftotext reads it, one entry per non-empty line, runs of white space
// folded into one blank and the ends trimmed.
std::vector<std::string> PageLines(const std::filesystem::path& pdf, int page);

// `lines` with every occurrence of `tag` replaced by `value`, normalised like PageLines.
std::vector<std::string> Substitute(const std::vector<std::string>& lines, const std::string& tag,
                                    const std::string& value);

// One page rendered in grey at kRenderDpi.
struct GreyImage {
  int Width = 0;
  int Height = 0;
  std::vector<uint8_t> Pixels;  // row by row, 0 black .. 255 white
  uint8_t At(int x, int y) const { return Pixels[static_cast<size_t>(y) * Width + x]; }
};
inline constexpr int kRenderDpi = 100;
GreyImage RenderPage(const std::filesystem::path& pdf, int page, const std::filesystem::path& work);

// Pixel rows [First, Last] of a line of text on a rendered page.
struct RowBand {
  int First = 0;
  int Last = 0;
};
// The bands of the lines that hold a word containing `marker`, widened a little for glyphs
// that reach past the font's box.
std::vector<RowBand> BandsOfWords(const std::filesystem::path& pdf, int page,
                                  const std::string& marker);

// A word as pdftotext places it on the page, in points from the top left corner.
struct PlacedWord {
  std::string Text;
  double XMin = 0;
  double XMax = 0;
  double YMin = 0;
};
// The words of every text line of a page, line by line, as pdftotext groups them.
std::vector<std::vector<PlacedWord>> PageWordLines(const std::filesystem::path& pdf, int page);

// Rows outside every band where the two images differ by more than `tolerance` at some pixel;
// empty when they agree. Images of different sizes differ everywhere.
std::vector<int> DifferingRowsOutside(const GreyImage& a, const GreyImage& b,
                                      const std::vector<RowBand>& bands, int tolerance);

// Pixels of `a` that have no pixel of `b` within one pixel of distance whose grey level is within
// `tolerance`, and the other way round: what antialiasing and sub-pixel placement cannot explain.
int PixelsUnexplained(const GreyImage& a, const GreyImage& b, int tolerance);

// qpdf --check: true when it reports no error and no warning; `report` gets its output.
bool QpdfCheckClean(const std::filesystem::path& pdf, std::string& report);

}  // namespace integration
