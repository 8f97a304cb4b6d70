// Hostile input through the real core library and the whole run: damaged, truncated, looping,
// self-referencing and oversized PDFs, records naming pages and links that don't exist, and
// variables files far beyond any real size. Each must end in bounded time and memory with a
// message for the user, and leave every existing file as it was.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <zlib.h>
#include "RebrandRun.h"
#include "UGeneral.h"
#include "hostile_pdf.h"

namespace fs = std::filesystem;
using badinput::RawPdf;
using badinput::Ref;

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr double kSlowdown = 4;  // the sanitizers make everything several times slower
#else
constexpr double kSlowdown = 1;
#endif
constexpr double kMaxSeconds = 10 * kSlowdown;
constexpr long kMaxPeakRssMb = 3072;
const std::string kPreviousOutput = "%PDF- an earlier output the user keeps\n";

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

long PeakRssMb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024;
}

class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "corvella-badinput-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const fs::path& Path() const { return path_; }

 private:
  fs::path path_;
};

// Sends the process's standard output (where the error callback writes) to a file while alive.
class CapturedStdout {
 public:
  explicit CapturedStdout(const fs::path& file) : file_(file) {
    std::cout.flush();
    std::fflush(stdout);
    saved_ = dup(STDOUT_FILENO);
    int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(fd, STDOUT_FILENO);
    close(fd);
  }
  ~CapturedStdout() { Restore(); }
  CapturedStdout(const CapturedStdout&) = delete;
  CapturedStdout& operator=(const CapturedStdout&) = delete;

  std::string Text() {
    Restore();
    return ReadAll(file_);
  }

 private:
  void Restore() {
    if (saved_ < 0) return;
    std::cout.flush();
    std::fflush(stdout);
    dup2(saved_, STDOUT_FILENO);
    close(saved_);
    saved_ = -1;
  }
  fs::path file_;
  int saved_ = -1;
};

class StatusObserver final : public RunObserver {
 public:
  void SetGaugeMax(int) override {}
  void SetGaugeValue(int) override {}
  void SetStatus(const std::string& text) override { status = text; }
  std::string status;
};

struct RecordSpec {
  std::string tagged, value, kind, page, handle, name;
};

const std::vector<RecordSpec> kDefaultPackage = {
    {"Hello", "Greetings", "Text", "1", "0", "Hello"},
    {"https://example.com/{id}", "me", "Link", "1", "0", "{id}"},
};

struct Outcome {
  bool saved = false;
  std::string status;
  std::string printed;  // the library's error messages
  double seconds = 0;
};

std::string Describe(const Outcome& outcome) {
  return "saved=" + std::to_string(outcome.saved) + " status=\"" + outcome.status +
         "\" seconds=" + std::to_string(outcome.seconds) + " printed=\"" +
         outcome.printed.substr(0, 300) + "\"";
}

// A page with a line of Helvetica text holding the tag and a link annotation with a URI.
// The fields let a case put its hostile part in place.
struct GoodDocument {
  std::string pageExtra;  // more keys for the page dictionary
  std::string fontExtra;  // more keys for the font dictionary
  std::string content = "BT /F1 12 Tf 72 700 Td (Hello world) Tj ET";
  std::string xobjects;  // the /XObject resource dictionary body
  std::string fonts;     // more entries of the /Font resource dictionary
  std::string catalogExtra;
  std::string linkActionExtra;
  std::string pageCount = "1";
};

std::string MakeDocument(const GoodDocument& spec, RawPdf& pdf) {
  int catalog = pdf.Reserve();
  int pages = pdf.Reserve();
  int font = pdf.Add(
      "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding "
      "/WinAnsiEncoding " +
      spec.fontExtra + " >>");
  int content = pdf.AddStream("", spec.content);
  int link = pdf.Add(
      "<< /Type /Annot /Subtype /Link /Rect [72 690 200 720] /Border [0 0 0] "
      "/A << /S /URI /URI (https://example.com/{id}) " +
      spec.linkActionExtra + " >> >>");
  int page = pdf.Add("<< /Type /Page /Parent " + Ref(pages) + " /MediaBox [0 0 612 792] " +
                     "/Resources << /Font << /F1 " + Ref(font) + " " + spec.fonts +
                     " >> /XObject << " + spec.xobjects + " >> >> /Contents " + Ref(content) +
                     " /Annots [" + Ref(link) + "] " + spec.pageExtra + " >>");
  pdf.Set(catalog, "<< /Type /Catalog /Pages " + Ref(pages) + " " + spec.catalogExtra + " >>");
  pdf.Set(pages, "<< /Type /Pages /Kids [" + Ref(page) + "] /Count " + spec.pageCount + " >>");
  return pdf.Bytes(catalog);
}

std::string MakeDocument(const GoodDocument& spec = {}) {
  RawPdf pdf;
  return MakeDocument(spec, pdf);
}

class HostileRunTest : public ::testing::Test {
 protected:
  fs::path Input() const { return dir_.Path() / "file.dat"; }
  fs::path Output() const { return dir_.Path() / "out.pdf"; }

  Outcome Run(const std::string& pdfBytes, const std::vector<RecordSpec>& package = kDefaultPackage,
              double maxSeconds = kMaxSeconds) {
    WriteAll(Input(), pdfBytes);
    WriteAll(Output(), kPreviousOutput);
    TFormats formats;
    for (const RecordSpec& spec : package) {
      auto record = std::make_unique<TFormat>(
          TFormat{true, spec.tagged, spec.value, spec.kind, spec.page, spec.handle, spec.name});
      formats.AddObject(spec.tagged, std::move(record));
    }
    RunOptions options;
    options.PDFFileName = Input().string();
    options.OutputFileName = Output().string();
    options.LibraryName = CORVELLA_DYNAPDF_PATH;
    StatusObserver observer;
    Outcome outcome;
    const auto start = std::chrono::steady_clock::now();
    {
      CapturedStdout captured(dir_.Path() / "stdout.txt");
      outcome.saved = RunRebranding(options, formats, observer).Saved;
      outcome.printed = captured.Text();
    }
    outcome.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    outcome.status = observer.status;
    fs::remove(dir_.Path() / "stdout.txt");
    ExpectContained(pdfBytes, outcome, maxSeconds);
    return outcome;
  }

  // What every run must keep, whatever its input: bounded time and memory, the input as it
  // was, the old output kept unless a complete new one replaced it, no files left behind,
  // and something for the user to read.
  void ExpectContained(const std::string& pdfBytes, const Outcome& outcome, double maxSeconds) {
    SCOPED_TRACE(Describe(outcome));
    EXPECT_LT(outcome.seconds, maxSeconds);
    EXPECT_LT(PeakRssMb(), kMaxPeakRssMb);
    EXPECT_EQ(ReadAll(Input()), pdfBytes);
    if (outcome.saved) {
      // Saved whole, or saved without the records the damaged file can't take, and then said.
      if (outcome.status != kStatusSaved) {
        EXPECT_EQ(outcome.status.rfind("Rebranded PDF saved, but ", 0), 0u);
      }
      EXPECT_EQ(ReadAll(Output()).rfind("%PDF-", 0), 0u);
    } else {
      EXPECT_EQ(ReadAll(Output()), kPreviousOutput);
      EXPECT_TRUE(!outcome.printed.empty() ||
                  (!outcome.status.empty() && outcome.status != kStatusSaved));
    }
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(dir_.Path())) {
      left.push_back(entry.path().filename().string());
    }
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"file.dat", "out.pdf"}));
  }

  // A run on input that is plainly damaged: contained, and the user is told.
  void ExpectToldAbout(const Outcome& outcome) {
    SCOPED_TRACE(Describe(outcome));
    EXPECT_TRUE(!outcome.saved || !outcome.printed.empty());
  }

  TempDir dir_;
};

TEST_F(HostileRunTest, GoodDocumentIsRebranded) {
  // The baseline the hostile variants below depart from.
  Outcome outcome = Run(MakeDocument());
  EXPECT_TRUE(outcome.saved) << Describe(outcome);
}

TEST_F(HostileRunTest, TruncatedDocumentsAtManyOffsets) {
  const std::string whole = ReadAll(CORVELLA_FIXTURES_DIR "/document/whole.pdf");
  ASSERT_FALSE(whole.empty());
  for (size_t cut = 0; cut < whole.size(); cut += whole.size() / 37 + 1) {
    SCOPED_TRACE("cut at " + std::to_string(cut));
    Run(whole.substr(0, cut));
  }
  const std::string simple = MakeDocument();
  for (size_t cut : {size_t{0}, size_t{5}}) {
    SCOPED_TRACE("header cut at " + std::to_string(cut));
    EXPECT_FALSE(Run(simple.substr(0, cut)).saved);
  }
  // Cut through the objects: what is left may be repaired; either way the run is contained.
  for (size_t cut : {simple.size() / 3, simple.size() / 2, simple.size() - 30, simple.size() - 1}) {
    SCOPED_TRACE("simple cut at " + std::to_string(cut));
    Run(simple.substr(0, cut));
  }
}

TEST_F(HostileRunTest, BitFlippedDocuments) {
  const std::string whole = ReadAll(CORVELLA_FIXTURES_DIR "/document/whole.pdf");
  std::mt19937 random(20240611);
  for (int round = 0; round < 40; ++round) {
    std::string damaged = whole;
    const int flips = 1 + round % 8;
    for (int i = 0; i < flips; ++i) {
      size_t at = random() % damaged.size();
      damaged[at] = static_cast<char>(damaged[at] ^ (1 << (random() % 8)));
    }
    SCOPED_TRACE("round " + std::to_string(round));
    Run(damaged);
  }
}

struct HostileCase {
  const char* name;
  std::string (*make)();
  bool mustReport;    // damaged beyond what a reader may silently accept
  double maxSeconds;  // release build; scaled for the sanitizers
};

std::string PageTreeLoop() {
  RawPdf pdf;
  int catalog = pdf.Reserve();
  int pages = pdf.Reserve();
  int inner = pdf.Reserve();
  int content = pdf.AddStream("", "BT /F1 12 Tf 72 700 Td (Hello) Tj ET");
  int page = pdf.Add("<< /Type /Page /Parent " + Ref(inner) + " /MediaBox [0 0 612 792] " +
                     "/Contents " + Ref(content) + " >>");
  pdf.Set(catalog, "<< /Type /Catalog /Pages " + Ref(pages) + " >>");
  // The inner node lists the root as its own kid: walking the tree never ends.
  pdf.Set(pages, "<< /Type /Pages /Kids [" + Ref(inner) + "] /Count 2 >>");
  pdf.Set(inner, "<< /Type /Pages /Parent " + Ref(pages) + " /Kids [" + Ref(page) + " " +
                     Ref(pages) + "] /Count 2 >>");
  return pdf.Bytes(catalog);
}

std::string PageTreeSelfKid() {
  RawPdf pdf;
  int catalog = pdf.Reserve();
  int pages = pdf.Reserve();
  pdf.Set(catalog, "<< /Type /Catalog /Pages " + Ref(pages) + " >>");
  pdf.Set(pages, "<< /Type /Pages /Kids [" + Ref(pages) + "] /Count 1 >>");
  return pdf.Bytes(catalog);
}

// Forms whose content draws `next` in a loop: Fm0 -> Fm0, or Fm0 -> Fm1 -> Fm0.
std::string SelfDrawingForms(int formsInLoop) {
  RawPdf pdf;
  std::vector<int> forms;
  for (int i = 0; i < formsInLoop; ++i) forms.push_back(pdf.Reserve());
  int font = pdf.Add("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
  for (int i = 0; i < formsInLoop; ++i) {
    int next = forms[static_cast<size_t>((i + 1) % formsInLoop)];
    std::string data = "BT /F1 12 Tf 0 0 Td (Hello form) Tj ET /Next Do";
    pdf.Set(forms[static_cast<size_t>(i)],
            "<< /Type /XObject /Subtype /Form /BBox [0 0 200 200] /Resources << /Font << /F1 " +
                Ref(font) + " >> /XObject << /Next " + Ref(next) + " >> >> /Length " +
                std::to_string(data.size()) + " >>\nstream\n" + data + "\nendstream");
  }
  GoodDocument spec;
  spec.content = "BT /F1 12 Tf 72 700 Td (Hello world) Tj ET /Fm0 Do";
  spec.xobjects = "/Fm0 " + Ref(forms[0]);
  return MakeDocument(spec, pdf);
}

std::string FormDrawsItself() { return SelfDrawingForms(1); }
std::string FormsDrawEachOther() { return SelfDrawingForms(2); }

std::string Nested(size_t depth) { return std::string(depth, '[') + std::string(depth, ']'); }

std::string DeepArrayInContent() {
  GoodDocument spec;
  spec.content = Nested(100000) + " pop BT /F1 12 Tf 72 700 Td (Hello world) Tj ET";
  return MakeDocument(spec);
}

std::string DeepArrayInPage() {
  GoodDocument spec;
  spec.pageExtra = "/Deep " + Nested(100000);
  return MakeDocument(spec);
}

std::string JunkContent50Mb() {
  std::mt19937 random(7);
  std::string junk(50u << 20, '\0');
  for (char& byte : junk) byte = static_cast<char>(random());
  GoodDocument spec;
  spec.content = "BT /F1 12 Tf 72 700 Td (Hello world) Tj ET\n" + junk;
  return MakeDocument(spec);
}

std::string AbsurdWidths() {
  std::string widths;
  widths.reserve(4u << 20);
  // A simple font needs at most 256 widths. QPDF's own parser takes about 10 microseconds per
  // array element, so the size is kept where the file itself parses in well under a second.
  for (int i = 0; i < 300'000; ++i) widths += "600 ";
  GoodDocument spec;
  spec.fontExtra = "/FirstChar 0 /LastChar 2147483647 /Widths [" + widths + "]";
  return MakeDocument(spec);
}

std::string HugeToUnicodeDestination() {
  RawPdf pdf;
  std::string destination;
  for (int i = 0; i < 10000; ++i) destination += "0041";
  std::string cmap =
      "/CIDInit /ProcSet findresource begin 12 dict begin begincmap\n"
      "1 begincodespacerange <00> <FF> endcodespacerange\n"
      "1 beginbfchar <48> <" +
      destination +
      "> endbfchar\n"
      "endcmap CMapName currentdict /CMap defineresource pop end end\n";
  int toUnicode = pdf.AddStream("", cmap);
  GoodDocument spec;
  spec.fontExtra = "/ToUnicode " + Ref(toUnicode);
  return MakeDocument(spec, pdf);
}

// `size` bytes of `fill` after `prefix`, deflated: a few hundred kilobytes that inflate to
// far more than any real page holds.
std::string DeflateBomb(const std::string& prefix, size_t size, char fill = ' ') {
  z_stream z{};
  if (deflateInit(&z, Z_BEST_COMPRESSION) != Z_OK) throw std::runtime_error("deflateInit");
  std::string out(size / 512 + prefix.size() + 4096, '\0');
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  std::string chunk = prefix;
  size_t left = size;
  int flush = Z_NO_FLUSH;
  while (flush != Z_FINISH) {
    const size_t piece = std::min(left, size_t{1} << 20);
    chunk.append(piece, fill);
    left -= piece;
    flush = left == 0 ? Z_FINISH : Z_NO_FLUSH;
    z.next_in = reinterpret_cast<Bytef*>(chunk.data());
    z.avail_in = static_cast<uInt>(chunk.size());
    if (deflate(&z, flush) == Z_STREAM_ERROR || z.avail_in != 0) {
      throw std::runtime_error("deflate");
    }
    chunk.clear();
  }
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

std::string FlateStream(const std::string& dict, const std::string& deflated) {
  return "<< " + dict + " /Filter /FlateDecode /Length " + std::to_string(deflated.size()) +
         " >>\nstream\n" + deflated + "\nendstream";
}

// The page's content inflates to 1 GiB: the tag line first, then blanks.
std::string FlateBombContent() {
  RawPdf pdf;
  int catalog = pdf.Reserve();
  int pages = pdf.Reserve();
  int font = pdf.Add("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
  int content = pdf.Add(FlateStream(
      "", DeflateBomb("BT /F1 12 Tf 72 700 Td (Hello world) Tj ET\n", size_t{1} << 30)));
  int page = pdf.Add("<< /Type /Page /Parent " + Ref(pages) +
                     " /MediaBox [0 0 612 792] /Resources << /Font << /F1 " + Ref(font) +
                     " >> >> /Contents " + Ref(content) + " >>");
  pdf.Set(catalog, "<< /Type /Catalog /Pages " + Ref(pages) + " >>");
  pdf.Set(pages, "<< /Type /Pages /Kids [" + Ref(page) + "] /Count 1 >>");
  return pdf.Bytes(catalog);
}

// An image that inflates to 1 GiB, drawn by the page: the run never needs its pixels, and
// writing the document must not need them either.
std::string FlateBombImage() {
  RawPdf pdf;
  int image = pdf.Add(FlateStream(
      "/Type /XObject /Subtype /Image /Width 32768 /Height 32768 /ColorSpace /DeviceRGB "
      "/BitsPerComponent 8",
      DeflateBomb("", size_t{1} << 30, '\0')));
  GoodDocument spec;
  spec.content = "BT /F1 12 Tf 72 700 Td (Hello world) Tj ET q 100 0 0 100 0 0 cm /Im0 Do Q";
  spec.xobjects = "/Im0 " + Ref(image);
  return MakeDocument(spec, pdf);
}

std::string HugePredictorColumns() {
  RawPdf pdf;
  std::string data = "BT /F1 12 Tf 72 700 Td (Hello world) Tj ET";
  int image = pdf.Add(FlateStream(
      "/Type /XObject /Subtype /Form /BBox [0 0 10 10] /DecodeParms << /Predictor 12 /Colors 4 "
      "/BitsPerComponent 16 /Columns 2147483647 >>",
      DeflateBomb(data, 16)));
  GoodDocument spec;
  spec.content = "BT /F1 12 Tf 72 700 Td (Hello world) Tj ET /Fm0 Do";
  spec.xobjects = "/Fm0 " + Ref(image);
  return MakeDocument(spec, pdf);
}

// Form k draws form k+1 twice, 48 levels deep: no loop, but 2^48 paths to the last form.
std::string ExponentialForms() {
  RawPdf pdf;
  constexpr int kLevels = 48;
  int font = pdf.Add("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
  std::vector<int> forms;
  for (int i = 0; i < kLevels; ++i) forms.push_back(pdf.Reserve());
  for (int i = 0; i < kLevels; ++i) {
    const bool last = i + 1 == kLevels;
    std::string data = last ? "BT /F1 12 Tf 0 0 Td (Hello deep) Tj ET" : "/N Do /N Do";
    std::string next =
        last ? "" : "/XObject << /N " + Ref(forms[static_cast<size_t>(i + 1)]) + " >>";
    pdf.Set(forms[static_cast<size_t>(i)],
            "<< /Type /XObject /Subtype /Form /BBox [0 0 200 200] /Resources << /Font << /F1 " +
                Ref(font) + " >> " + next + " >> /Length " + std::to_string(data.size()) +
                " >>\nstream\n" + data + "\nendstream");
  }
  GoodDocument spec;
  spec.content = "BT /F1 12 Tf 72 700 Td (Hello world) Tj ET /Fm0 Do";
  spec.xobjects = "/Fm0 " + Ref(forms[0]);
  return MakeDocument(spec, pdf);
}

// A cross-reference section whose /Prev names itself.
std::string XrefPrevLoop() {
  std::string bytes = MakeDocument();
  const size_t xref = bytes.size();
  bytes += "xref\n0 1\n0000000000 65535 f \ntrailer\n<< /Size 6 /Root 1 0 R /Prev " +
           std::to_string(xref) + " >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
  return bytes;
}

std::string HugePageCount() {
  GoodDocument spec;
  spec.pageCount = "2147483647";
  return MakeDocument(spec);
}

// 100,000 one-letter records on one line and 100,000 lines: the tag search stays near linear.
std::string ManyRecordsOnOneLine() {
  GoodDocument spec;
  spec.content = "BT /F1 12 Tf 72 700 Td (Hello world) Tj";
  for (int i = 0; i < 100000; ++i) spec.content += " (a) Tj";
  spec.content += " ET";
  return MakeDocument(spec);
}

std::string ManyLines() {
  GoodDocument spec;
  spec.content = "BT /F1 12 Tf 72 700 Td";
  for (int i = 0; i < 100000; ++i) spec.content += " 0 -0.01 Td (a) Tj";
  spec.content += " (Hello world) Tj ET";
  return MakeDocument(spec);
}

// Outline items and link actions that lead back to themselves.
std::string OutlineAndActionLoops() {
  RawPdf pdf;
  int outlines = pdf.Reserve();
  int item = pdf.Reserve();
  int action = pdf.Reserve();
  pdf.Set(outlines,
          "<< /Type /Outlines /First " + Ref(item) + " /Last " + Ref(item) + " /Count 1 >>");
  pdf.Set(item, "<< /Title (Loop) /Parent " + Ref(outlines) + " /Next " + Ref(item) + " /Prev " +
                    Ref(item) + " /First " + Ref(item) + " /Last " + Ref(item) + " >>");
  pdf.Set(action, "<< /S /URI /URI (https://example.com/{id}) /Next " + Ref(action) + " >>");
  GoodDocument spec;
  spec.catalogExtra = "/Outlines " + Ref(outlines);
  spec.linkActionExtra = "/Next [" + Ref(action) + " " + Ref(action) + "]";
  return MakeDocument(spec, pdf);
}

// A composite font whose encoding CMap uses itself and whose descendant is the font itself.
std::string SelfReferringCompositeFont() {
  RawPdf pdf;
  int cmap = pdf.Reserve();
  std::string cmapData =
      "/CIDInit /ProcSet findresource begin 12 dict begin begincmap\n"
      "1 begincodespacerange <0000> <FFFF> endcodespacerange\n"
      "1 begincidrange <0000> <FFFF> 0 endcidrange\n"
      "endcmap CMapName currentdict /CMap defineresource pop end end\n";
  pdf.Set(cmap, "<< /Type /CMap /CMapName /Loop /UseCMap " + Ref(cmap) + " /Length " +
                    std::to_string(cmapData.size()) + " >>\nstream\n" + cmapData + "\nendstream");
  int type0 = pdf.Reserve();
  pdf.Set(type0, "<< /Type /Font /Subtype /Type0 /BaseFont /Loop /Encoding " + Ref(cmap) +
                     " /DescendantFonts [" + Ref(type0) + "] >>");
  GoodDocument spec;
  spec.content = "BT /F1 12 Tf 72 700 Td (Hello world) Tj /F2 12 Tf <00480069> Tj ET";
  spec.fonts = "/F2 " + Ref(type0);
  return MakeDocument(spec, pdf);
}

// Numbers at the ends of what a real number can hold, in the text state and matrices.
std::string ExtremeNumbers() {
  GoodDocument spec;
  spec.content =
      "BT /F1 1e38 Tf 1e38 0 0 1e38 3.4e38 -3.4e38 Tm 1e38 TL 1e38 Tc 1e38 Tw 1e38 Tz "
      "(Hello world) Tj T* (Hello) ' ET BT /F1 12 Tf 0 0 0 0 0 0 Tm (Hello world) Tj ET "
      "BT /F1 12 Tf 72 700 Td [(Hello) 1e38 (world)] TJ ET";
  return MakeDocument(spec);
}

// Self-drawing forms are valid syntax: each form's text is edited once and the rest of the
// loop is left to the viewer, so the run may save without a message.
const HostileCase kHostileDocuments[] = {
    {"PageTreeLoop", &PageTreeLoop, true, 10},
    {"PageTreeSelfKid", &PageTreeSelfKid, true, 10},
    {"FormDrawsItself", &FormDrawsItself, false, 10},
    {"FormsDrawEachOther", &FormsDrawEachOther, false, 10},
    {"DeepArrayInContent", &DeepArrayInContent, true, 10},
    {"DeepArrayInPage", &DeepArrayInPage, true, 10},
    {"JunkContent50Mb", &JunkContent50Mb, true, 20},
    {"AbsurdWidths", &AbsurdWidths, true, 10},
    {"HugeToUnicodeDestination", &HugeToUnicodeDestination, true, 10},
    {"FlateBombContent", &FlateBombContent, true, 20},
    {"FlateBombImage", &FlateBombImage, false, 20},
    {"HugePredictorColumns", &HugePredictorColumns, true, 10},
    {"ExponentialForms", &ExponentialForms, false, 10},
    {"XrefPrevLoop", &XrefPrevLoop, false, 10},
    {"HugePageCount", &HugePageCount, false, 10},
    {"ManyRecordsOnOneLine", &ManyRecordsOnOneLine, false, 10},
    {"ManyLines", &ManyLines, false, 10},
    {"OutlineAndActionLoops", &OutlineAndActionLoops, false, 10},
    {"SelfReferringCompositeFont", &SelfReferringCompositeFont, false, 10},
    {"ExtremeNumbers", &ExtremeNumbers, false, 10},
};

class HostileDocumentTest : public HostileRunTest,
                            public ::testing::WithParamInterface<HostileCase> {};

TEST_P(HostileDocumentTest, RunIsContainedAndReported) {
  const HostileCase& hostile = GetParam();
  Outcome outcome = Run(hostile.make(), kDefaultPackage, hostile.maxSeconds * kSlowdown);
  if (hostile.mustReport) ExpectToldAbout(outcome);
}

INSTANTIATE_TEST_SUITE_P(Documents, HostileDocumentTest, ::testing::ValuesIn(kHostileDocuments),
                         [](const auto& info) { return std::string(info.param.name); });

// Records that name pages and link annotations the document doesn't have. A text record on a
// missing page fails the run; a link change's result is not examined by the run, so a missing
// link is reported through the error callback and the rest is saved. Either way the user is
// told, and a failed run keeps the existing output file as it was.
struct BadRecordCase {
  const char* name;
  RecordSpec record;
};

const BadRecordCase kBadRecords[] = {
    {"TextOnPage0", {"Hello", "X", "Text", "0", "0", "Hello"}},
    {"TextOnPageMinus1", {"Hello", "X", "Text", "-1", "0", "Hello"}},
    {"TextOnPage2Pow31", {"Hello", "X", "Text", "2147483648", "0", "Hello"}},
    {"TextOnPageIntMax", {"Hello", "X", "Text", "2147483647", "0", "Hello"}},
    {"TextOnPage2", {"Hello", "X", "Text", "2", "0", "Hello"}},
    {"LinkOnPage0", {"https://example.com/{id}", "me", "Link", "0", "0", "{id}"}},
    {"LinkOnPage2Pow31", {"https://example.com/{id}", "me", "Link", "2147483648", "0", "{id}"}},
    {"LinkHandlePastEnd", {"https://example.com/{id}", "me", "Link", "1", "1", "{id}"}},
    {"LinkHandleFarPastEnd", {"https://example.com/{id}", "me", "Link", "1", "99999", "{id}"}},
    {"LinkHandleMinus1", {"https://example.com/{id}", "me", "Link", "1", "-1", "{id}"}},
    {"LinkHandle2Pow31", {"https://example.com/{id}", "me", "Link", "1", "2147483648", "{id}"}},
};

class BadRecordTest : public HostileRunTest, public ::testing::WithParamInterface<BadRecordCase> {};

// A record the document can't take is never reported as applied: the run fails (a number that
// is no 32-bit integer), or the file is saved without it and the status names it.
TEST_P(BadRecordTest, RunIsToldAndKeepsOutput) {
  const RecordSpec& record = GetParam().record;
  Outcome outcome = Run(MakeDocument(), {record});
  if (outcome.saved) {
    EXPECT_NE(outcome.status.find("1 record was not applied: page " + record.page),
              std::string::npos)
        << Describe(outcome);
  }
  ExpectToldAbout(outcome);
}

INSTANTIATE_TEST_SUITE_P(Records, BadRecordTest, ::testing::ValuesIn(kBadRecords),
                         [](const auto& info) { return std::string(info.param.name); });

// Variables files far beyond any real one are refused before they are read, with a message
// naming the file; the list keeps what it had and the file is not touched.
class HugeVariablesFileTest : public ::testing::Test {
 protected:
  void ExpectRefused(const fs::path& path) {
    TFormats formats;
    formats.AddObject("kept", std::make_unique<TFormat>());
    const auto sizeBefore = fs::file_size(path);
    const auto start = std::chrono::steady_clock::now();
    try {
      formats.LoadAll(path.string());
      ADD_FAILURE() << "a file over the limit was read";
    } catch (const std::runtime_error& failure) {
      EXPECT_NE(std::string(failure.what()).find(path.string()), std::string::npos)
          << failure.what();
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, kMaxSeconds);
    EXPECT_LT(PeakRssMb(), kMaxPeakRssMb);
    EXPECT_EQ(formats.Count(), 1u);
    EXPECT_EQ(fs::file_size(path), sizeBefore);
  }
  TempDir dir_;
};

TEST_F(HugeVariablesFileTest, OneGigabyteLineIsRefused) {
  // Sparse: the size is what the reader sees first, so no gigabyte is written to disk.
  const fs::path path = dir_.Path() / "variables.dat";
  WriteAll(path, "0123456789abcdef0123456789abcdef\r\n1^");
  fs::resize_file(path, std::uintmax_t{1} << 30);
  ExpectRefused(path);
}

TEST_F(HugeVariablesFileTest, OneLineJustOverTheLimitIsRefused) {
  const fs::path path = dir_.Path() / "variables.dat";
  {
    std::ofstream out(path, std::ios::binary);
    out << "0123456789abcdef0123456789abcdef\r\n1^";
    const std::string chunk(1 << 20, 'a');
    for (std::size_t written = 0; written <= kMaxVariablesFileSize; written += chunk.size()) {
      out << chunk;
    }
  }
  ExpectRefused(path);
}

TEST_F(HugeVariablesFileTest, LongLineUnderTheLimitIsRead) {
  // A long but allowed line still gives its record, in bounded time.
  const fs::path path = dir_.Path() / "variables.dat";
  WriteAll(path, "0123456789abcdef0123456789abcdef\r\n1^" + std::string(8u << 20, 'a') +
                     "^v^Text^1^0^name\r\n");
  TFormats formats;
  formats.LoadAll(path.string());
  ASSERT_EQ(formats.Count(), 1u);
  EXPECT_EQ(formats.Objects(0).TaggedText.size(), 8u << 20);
  EXPECT_EQ(formats.Objects(0).VariableName, "name");
}

}  // namespace
