// corvella make-package: makes a rebrandable package (file.dat + variables.dat) from a PDF.
//
// Tags are found with the same library and engine search that a run uses, so every tag the
// package lists is one the run will find. Link annotations are numbered by the library's own
// code: every annotation of the document from 0, pages in order, /Annots order.

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <regex>
#include <set>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>

#include "CodePage.h"
#include "PackageCheck.h"
#include "TPDF.h"
#include "UGeneral.h"
#include "commands.h"
#include "core/links.h"
#include "md5.h"
#include "pdf_edit_text.h"
#include "text_geometry.h"

namespace {

constexpr const char* kDefaultPattern = R"(\[\[([A-Za-z0-9_]+)\]\])";
constexpr int32_t kMaxPages = 1 << 20;

void PrintMakePackageHelp(std::ostream& out) {
  out << "Usage: corvella make-package INPUT.pdf --output DIR [--pattern REGEX]\n"
         "                             [--default NAME=VALUE]... [--link-token TOKEN]...\n"
         "\n"
         "Makes a rebrandable package from INPUT.pdf: DIR/file.dat (a copy of the PDF) and\n"
         "DIR/variables.dat (its fingerprint, then one record per occurrence in page order).\n"
         "\n"
         "  --pattern REGEX        what a tag looks like (ECMAScript syntax); the first group,\n"
         "                         when there is one, is the variable's name. Default: [[NAME]]\n"
         "  --default NAME=VALUE   the default value of a variable (otherwise its name)\n"
         "  --link-token TOKEN     a link annotation whose address contains TOKEN becomes a link\n"
         "                         variable named TOKEN; may be repeated\n"
         "\n"
         "Tags are found with the search the rebranding run uses. A tag that the text shows but\n"
         "the search can't find (split over two lines, hyphenated, or a second tag in a header or\n"
         "footer that another tag's search already went through) is reported on stderr, so the\n"
         "source can be fixed.\n"
         "\n"
         "When the pattern matches no text, a --default names no variable or a --link-token is\n"
         "in no link, that is reported and no package is written.\n"
         "\n"
         "Exit status: 0 when the package was written (even with warnings about tags the search\n"
         "can't find), 1 when it was not, 2 on a usage error.\n";
}

struct MakePackageOptions {
  std::string input;
  std::string outputFolder;
  std::string pattern = kDefaultPattern;
  std::map<std::string, std::string> defaults;
  std::vector<std::string> linkTokens;
  bool help = false;
};

MakePackageOptions ParseMakePackageOptions(const std::vector<std::string>& arguments) {
  MakePackageOptions options;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    std::string value;
    if (arguments[i] == "--help" || arguments[i] == "-h") {
      options.help = true;
    } else if (cli::TakeOptionValue(arguments, i, "--output", options.outputFolder)) {
    } else if (cli::TakeOptionValue(arguments, i, "--pattern", options.pattern)) {
    } else if (cli::TakeOptionValue(arguments, i, "--default", value)) {
      const std::size_t equals = value.find('=');
      if (equals == std::string::npos || equals == 0) {
        throw UsageError("--default: expected NAME=VALUE, got '" + value + "'");
      }
      options.defaults[value.substr(0, equals)] = value.substr(equals + 1);
    } else if (cli::TakeOptionValue(arguments, i, "--link-token", value)) {
      if (value.empty()) throw UsageError("--link-token needs a token");
      options.linkTokens.push_back(value);
    } else if (!arguments[i].empty() && arguments[i][0] == '-') {
      throw UsageError("make-package: unknown option '" + arguments[i] + "'");
    } else if (options.input.empty()) {
      options.input = arguments[i];
    } else {
      throw UsageError("make-package: unexpected argument '" + arguments[i] + "'");
    }
  }
  if (options.help) return options;
  if (options.input.empty()) throw UsageError("make-package: INPUT.pdf is required");
  if (options.outputFolder.empty()) throw UsageError("make-package: --output DIR is required");
  return options;
}

// The text of one content as the search sees it, with line breaks between records that do not
// continue a line, so tags can be picked out with the pattern.
class ContentText {
 public:
  void Add(const TPDFStack& record) {
    const TPDFMatrix textRendering = MulMatrix(record.ctm, record.tm);
    const auto [x, y] = Transform(textRendering, 0, 0);
    const double halfSpace =
        std::abs(record.SpaceWidth) * std::hypot(textRendering.a, textRendering.b) * 0.5;
    if (!text_.empty()) {
      const double dy = std::abs(y - lastY_);
      const double dx = x - lastX_;
      if (dy > 2.0 || dx < -halfSpace || dx > 6 * std::max(halfSpace, 0.01)) {
        text_ += u'\n';
      } else if (dx > halfSpace) {
        text_ += u' ';
      }
    }
    for (int32_t k = 0; k < record.KerningCount; ++k) {
      const TPDFKerning& piece = record.Kerning[k];
      if (k > 0 && IsKerningGap(piece.Advance, record.SpaceWidth)) text_ += u' ';
      if (piece.Text != nullptr && piece.Length > 0) {
        text_.append(reinterpret_cast<const char16_t*>(piece.Text),
                     static_cast<std::size_t>(piece.Length));
      }
    }
    const auto [endX, endY] = Transform(textRendering, record.TextWidth, 0);
    lastX_ = endX;
    lastY_ = endY;
  }
  void EndContent() {
    if (!text_.empty() && text_.back() != u'\n') text_ += u'\n';
  }
  const std::u16string& Text() const { return text_; }

 private:
  std::u16string text_;
  double lastX_ = 0;
  double lastY_ = 0;
};

void CollectText(TPDF& pdf, ContentText& text) {
  TPDFStack stack{};
  if (pdf.InitStack(&stack) == 0) return;
  while (pdf.GetPageText(&stack) != 0) {
    if (stack.TextIndicator == 0) break;
    text.Add(stack);
  }
  text.EndContent();
}

// The text of every template the open content uses that no earlier page used, nested ones
// included.
void CollectTemplates(TPDF& pdf, ContentText& text, std::set<int32_t>& seenTemplates, int depth) {
  if (depth > 32) return;
  const int32_t count = pdf.GetTemplCount();
  for (int32_t i = 0; i < count; ++i) {
    if (pdf.EditTemplate(i) == 0) continue;
    const int32_t handle = pdf.GetTemplHandle();
    if (seenTemplates.insert(handle).second) {
      CollectText(pdf, text);
      CollectTemplates(pdf, text, seenTemplates, depth + 1);
    }
    pdf.EndTemplate();
  }
}

struct Tag {
  std::string text;  // UTF-8, as it stands on the page
  std::string name;
  int count = 0;  // how often the pattern shows it on the page
};

// Tags in the order they first appear in `texts`, each with how often it appears in all of them.
std::vector<Tag> TagsIn(const std::vector<const std::u16string*>& texts,
                        const std::regex& pattern) {
  std::vector<Tag> tags;
  std::map<std::string, std::size_t> index;
  for (const std::u16string* each : texts) {
    const std::string text = UTF16ToSystem(*each);
    for (auto it = std::sregex_iterator(text.begin(), text.end(), pattern);
         it != std::sregex_iterator(); ++it) {
      const std::smatch& match = *it;
      if (match.length(0) == 0) continue;
      const std::string tagText = match.str(0);
      auto [where, added] = index.try_emplace(tagText, tags.size());
      if (added) {
        tags.push_back(
            Tag{tagText, match.size() > 1 && match[1].matched ? match.str(1) : tagText, 0});
      }
      ++tags[where->second].count;
    }
  }
  return tags;
}

int32_t PDF_CALL QuietErrors(const void*, int32_t, const char*, int32_t) { return 0; }

int32_t PDF_CALL ReportErrors(const void*, int32_t, const char* message, int32_t type) {
  if (message != nullptr && (type & PDF_E_NOTICE) == 0) {
    cli::Say(std::string("library: ") + message);
  }
  return 0;
}

struct FoundTags {
  std::vector<std::unique_ptr<TFormat>> records;
  int warnings = 0;
};

FoundTags FindTags(const MakePackageOptions& options) {
  const std::regex pattern(options.pattern, std::regex::ECMAScript);
  TPDF pdf(TPDF::DefaultLibraryName);
  CPDFEditText engine(pdf);
  pdf.CreateNewPDF("");
  pdf.SetOnErrorProc(nullptr, &ReportErrors);
  pdf.SetImportFlags(0x8FFFFFFE);
  if (pdf.OpenImportFile(options.input, 0, "") < 0) {
    throw std::runtime_error("\"" + options.input + "\" can't be read as a PDF");
  }
  pdf.ImportPDFFile(1, 1.0, 1.0);
  pdf.CloseImportFile();

  FoundTags found;
  std::set<int32_t> seenTemplates;
  for (int32_t page = 1; page <= kMaxPages; ++page) {
    pdf.SetOnErrorProc(nullptr, &QuietErrors);  // the page past the last one is expected
    const bool opened = pdf.EditPage(page) != 0;
    pdf.SetOnErrorProc(nullptr, &ReportErrors);
    if (!opened) break;
    // A run searches a header or footer only once, with the first text looked for on the first
    // page that uses it; so the tags of templates come first.
    ContentText pageText;
    ContentText templateText;
    CollectText(pdf, pageText);
    CollectTemplates(pdf, templateText, seenTemplates, 0);
    for (const Tag& tag : TagsIn({&templateText.Text(), &pageText.Text()}, pattern)) {
      const int32_t count = engine.FindAll(SystemToUTF16(tag.text));
      if (count < tag.count) {
        cli::Say("warning: page " + std::to_string(page) + ": \"" + tag.text + "\" shows " +
                 std::to_string(tag.count) + " time(s) but the search finds it " +
                 std::to_string(count) +
                 " time(s); a tag split over lines, hyphenated, or in a header or footer "
                 "already searched for another tag is not replaced");
        ++found.warnings;
      }
      for (int32_t i = 0; i < count; ++i) {
        auto record = std::make_unique<TFormat>();
        record->Enabled = true;
        record->TaggedText = tag.text;
        auto given = options.defaults.find(tag.name);
        record->Value = given != options.defaults.end() ? given->second : tag.name;
        record->Kind = "Text";
        record->Page = std::to_string(page);
        record->VariableName = tag.name;
        found.records.push_back(std::move(record));
      }
    }
    pdf.EndPage();
  }
  return found;
}

// Link annotations whose URI holds a token, with the handles the library gives them: its own
// numbering (pdfcore::AllAnnotations), so entries of /Annots that it skips (null, references to
// missing objects) can't shift a handle.
std::vector<std::unique_ptr<TFormat>> FindLinks(const MakePackageOptions& options) {
  std::vector<std::unique_ptr<TFormat>> records;
  if (options.linkTokens.empty()) return records;
  QPDF pdf;
  pdf.setSuppressWarnings(true);
  try {
    pdf.processFile(options.input.c_str());
  } catch (const std::exception& error) {
    throw std::runtime_error("the links of \"" + options.input + "\" can't be read (" +
                             error.what() + ")");
  }
  for (const pdfcore::AnnotationRef& ref : pdfcore::AllAnnotations(pdf)) {
    if (!pdfcore::IsUriLink(ref.annotation)) continue;
    const std::string uri = pdfcore::LinkUri(ref.annotation);
    for (const std::string& token : options.linkTokens) {
      if (uri.find(token) == std::string::npos) continue;
      auto record = std::make_unique<TFormat>();
      record->Enabled = true;
      record->TaggedText = uri;
      auto given = options.defaults.find(token);
      record->Value = given != options.defaults.end() ? given->second : token;
      record->Kind = "Link";
      record->Page = std::to_string(ref.pageNumber);
      record->LinkHandle = std::to_string(ref.handle);
      record->VariableName = token;
      records.push_back(std::move(record));
      break;
    }
  }
  return records;
}

// What the options asked for that the PDF doesn't have: a pattern that matched no text, a
// --default for no variable, a --link-token in no link.
std::vector<std::string> UnusedOptions(const MakePackageOptions& options,
                                       const std::vector<std::unique_ptr<TFormat>>& records,
                                       bool anyText) {
  std::set<std::string> names;
  for (const auto& record : records) names.insert(record->VariableName);
  std::vector<std::string> mistakes;
  if (!anyText) {
    mistakes.push_back("--pattern '" + options.pattern + "' matches no text of \"" + options.input +
                       "\"");
  }
  for (const auto& [name, value] : options.defaults) {
    if (!names.contains(name)) {
      mistakes.push_back("--default " + name + "=" + value + " names no variable of the PDF");
    }
  }
  for (const std::string& token : options.linkTokens) {
    if (!names.contains(token)) mistakes.push_back("--link-token " + token + " is in no link");
  }
  return mistakes;
}

// Copies `source` to `target` through a temporary file, so a failure leaves `target` as it was.
void CopyFileSafely(const std::string& source, const std::string& target) {
  const std::string temporary = target + ".tmp";
  std::error_code error;
  std::filesystem::copy_file(source, temporary, std::filesystem::copy_options::overwrite_existing,
                             error);
  if (!error) std::filesystem::rename(temporary, target, error);
  if (error) {
    std::filesystem::remove(temporary);
    throw std::runtime_error("\"" + target + "\" can't be written: " + error.message());
  }
}

}  // namespace

int RunMakePackage(const std::vector<std::string>& arguments) {
  const MakePackageOptions options = ParseMakePackageOptions(arguments);
  if (options.help) {
    PrintMakePackageHelp(std::cout);
    return kExitSuccess;
  }
  try {
    std::regex check(options.pattern, std::regex::ECMAScript);
  } catch (const std::regex_error& error) {
    throw UsageError("--pattern: not a valid regular expression: " + std::string(error.what()));
  }
  std::error_code inputError;
  if (!std::filesystem::is_regular_file(options.input, inputError)) {
    cli::Say("\"" + options.input + "\" is not a readable file");
    return kExitFailure;
  }
  FoundTags found;
  try {
    found = FindTags(options);
  } catch (const std::exception& error) {
    // The engine's failed library call carries only "-1"; the library has said why already.
    if (std::string(error.what()) == "-1") {
      throw std::runtime_error("the search of \"" + options.input + "\" failed in the library");
    }
    throw;
  }
  const bool anyText = !found.records.empty();
  for (auto& link : FindLinks(options)) found.records.push_back(std::move(link));
  // Text and links in page order, each page's text first.
  std::stable_sort(found.records.begin(), found.records.end(), [](const auto& a, const auto& b) {
    return std::stol(a->Page) < std::stol(b->Page);
  });
  // A pattern, default or token that names nothing is the author's mistake; a package made
  // anyway would silently lack what they asked for.
  std::vector<std::string> mistakes = UnusedOptions(options, found.records, anyText);
  if (!mistakes.empty()) {
    for (const std::string& mistake : mistakes) cli::Say("warning: " + mistake);
    cli::Say("no package written");
    return kExitFailure;
  }

  std::error_code folderError;
  std::filesystem::create_directories(options.outputFolder, folderError);
  if (folderError) {
    cli::Say("the folder \"" + options.outputFolder + "\" can't be made: " + folderError.message());
    return kExitFailure;
  }
  const std::string folder =
      options.outputFolder.back() == '/' ? options.outputFolder : options.outputFolder + "/";
  TFormats formats;
  for (auto& record : found.records) {
    std::string text = record->TaggedText;
    formats.AddObject(std::move(text), std::move(record));
  }
  CopyFileSafely(options.input, folder + kPDFFileName);
  formats.SaveAll(VariablesFilePath(folder), MD5ToHex(MD5File(folder + kPDFFileName)));
  std::string summary =
      "package written to " + folder + ": " + std::to_string(formats.Count()) + " occurrence(s)";
  if (found.warnings > 0) summary += ", " + std::to_string(found.warnings) + " warning(s)";
  cli::Say(summary);
  return kExitSuccess;
}
