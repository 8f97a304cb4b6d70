// corvella rebrand: the whole road of one rebranding without a window.

#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <set>

#include "CodePage.h"
#include "PackageCheck.h"
#include "RebrandRun.h"
#include "UGeneral.h"
#include "commands.h"

namespace {

void PrintRebrandHelp(std::ostream& out) {
  out << "Usage: corvella rebrand [--package DIR] --output FILE [--set NAME=VALUE]...\n"
         "                        [--values FILE]\n"
         "\n"
         "Checks the package (\"variables.dat\" and \"file.dat\" in DIR; without --package, the\n"
         "current folder when it holds a package, else the program's folder; the folder used is\n"
         "named on stderr), gives the variables their values and writes the rebranded PDF to "
         "FILE.\n"
         "\n"
         "  --package DIR      the folder that holds the package\n"
         "  --output FILE      the rebranded PDF to write; an existing file is replaced only by a\n"
         "                     complete new one, so a failed run leaves it as it was\n"
         "  --set NAME=VALUE   gives VALUE to every occurrence of the variable NAME (the variable\n"
         "                     name of the variables file, byte for byte); may be repeated\n"
         "  --values FILE      reads NAME=VALUE lines from FILE (UTF-8, or Windows-1252 when the\n"
         "                     file is not valid UTF-8); blanks around NAME and \"=\" are "
         "ignored;\n"
         "                     blank lines and lines starting with '#' are skipped; --set wins\n"
         "                     over FILE\n"
         "\n"
         "A variable without a value keeps its default value; `corvella list` shows the names.\n"
         "Progress and the run's status texts go to stderr; \"Rebranded PDF saved!\" ends a\n"
         "successful run.\n"
         "\n"
         "Records that can't be applied (a page the PDF lacks, a link that can't be changed) are\n"
         "left out and named on stderr; the rest is saved.\n"
         "\n"
         "Exit status: 0 when the PDF was saved, 1 when the run failed and nothing was written,\n"
         "2 on a usage error or a package that fails its check, 3 when the PDF was saved with\n"
         "records not applied.\n";
}

struct RebrandOptions {
  std::string packageFolder;
  std::string outputFile;
  std::vector<std::pair<std::string, std::string>> values;  // in the order given
  bool help = false;
};

std::string_view TrimBlanks(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// NAME=VALUE as given; `trimBlanks` takes the blanks around NAME and "=" away, as a values file
// is written by hand ("NAME = VALUE"), while a --set value is used exactly as typed.
std::pair<std::string, std::string> SplitAssignment(std::string_view text, const std::string& where,
                                                    bool trimBlanks) {
  const std::size_t equals = text.find('=');
  std::string_view name = equals == std::string_view::npos ? text : text.substr(0, equals);
  if (trimBlanks) name = TrimBlanks(name);
  if (equals == std::string_view::npos || name.empty()) {
    throw UsageError(where + ": expected NAME=VALUE, got '" + std::string(text) + "'");
  }
  std::string_view value = text.substr(equals + 1);
  if (trimBlanks) value.remove_prefix(std::min(value.size(), value.find_first_not_of(" \t")));
  return {std::string(name), std::string(value)};
}

// The values file is read whole and, like the variables file, as Windows-1252 when it is not
// valid UTF-8.
void ReadValuesFile(const std::string& path,
                    std::vector<std::pair<std::string, std::string>>& out) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    throw UsageError("cannot read the values file \"" + path + "\"");
  }
  const std::string text = FileTextToUTF8(std::string(std::istreambuf_iterator<char>(file), {}));
  int number = 0;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + start, end - start);
    start = end + 1;
    ++number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (TrimBlanks(line).empty() || TrimBlanks(line).front() == '#') continue;
    out.push_back(SplitAssignment(line, path + ":" + std::to_string(number), true));
  }
}

RebrandOptions ParseRebrandOptions(const std::vector<std::string>& arguments) {
  RebrandOptions options;
  std::vector<std::pair<std::string, std::string>> fromFile;
  std::vector<std::pair<std::string, std::string>> fromSet;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    std::string value;
    if (arguments[i] == "--help" || arguments[i] == "-h") {
      options.help = true;
    } else if (cli::TakeOptionValue(arguments, i, "--package", options.packageFolder)) {
      if (options.packageFolder.empty()) throw UsageError("option --package needs a folder");
    } else if (cli::TakeOptionValue(arguments, i, "--output", options.outputFile)) {
      if (options.outputFile.empty()) throw UsageError("option --output needs a file name");
    } else if (cli::TakeOptionValue(arguments, i, "--set", value)) {
      // An argument is its own edge: one that is not UTF-8 came from a Windows-1252 terminal.
      fromSet.push_back(SplitAssignment(SystemToUTF8(value), "--set", false));
    } else if (cli::TakeOptionValue(arguments, i, "--values", value)) {
      ReadValuesFile(value, fromFile);
    } else {
      cli::RejectArgument("rebrand", arguments[i]);
    }
  }
  if (options.help) return options;
  if (options.outputFile.empty()) throw UsageError("rebrand: --output FILE is required");
  options.values = std::move(fromFile);
  options.values.insert(options.values.end(), fromSet.begin(), fromSet.end());
  return options;
}

// Gives the rows their custom values; every NAME must be a variable of the package.
void ApplyValues(const std::vector<std::pair<std::string, std::string>>& values,
                 std::vector<TListRow>& rows) {
  std::set<std::string> known;
  for (const TListRow& row : rows) known.insert(row.SubItems[kVariableName]);
  for (const auto& [name, value] : values) {
    if (!known.contains(name)) {
      std::string list;
      for (const std::string& each : known) list += "\n  " + cli::DisplayText(each);
      throw UsageError("unknown variable '" + name + "'; the package's variables are:" +
                       (list.empty() ? std::string("\n  (none)") : list));
    }
    for (TListRow& row : rows) {
      if (row.SubItems[kVariableName] == name) row.SubItems[kCustomValue] = value;
    }
  }
}

// Status texts as lines on stderr, the gauge as a bar below the latest one when stderr is a
// terminal. The bar is redrawn in place (the rest of the line cleared, so no digits of a longer
// earlier bar stay) and erased before the next line and at the end.
class TerminalObserver final : public RunObserver {
 public:
  TerminalObserver() : bar_(isatty(STDERR_FILENO) != 0) {}
  ~TerminalObserver() override { EraseBar(); }

  void SetGaugeMax(int maximum) override {
    maximum_ = std::max(0, maximum);
    value_ = std::min(value_, maximum_);
    DrawBar();
  }
  void SetGaugeValue(int value) override {
    value_ = std::clamp(value, 0, maximum_);
    DrawBar();
  }
  void SetStatus(const std::string& text) override {
    EraseBar();
    cli::Say(text);
  }
  // Removes the bar for good, before the closing lines.
  void Finish() {
    EraseBar();
    bar_ = false;
  }

 private:
  static constexpr const char* kClearLine = "\r\033[K";

  void DrawBar() {
    if (!bar_ || maximum_ == 0) return;
    constexpr int kWidth = 40;
    const int filled = value_ * kWidth / maximum_;
    std::cerr << kClearLine << "[" << std::string(filled, '#') << std::string(kWidth - filled, ' ')
              << "] " << value_ << "/" << maximum_ << std::flush;
    drawn_ = true;
  }
  void EraseBar() {
    if (drawn_) std::cerr << kClearLine << std::flush;
    drawn_ = false;
  }

  bool bar_;
  bool drawn_ = false;
  int maximum_ = 0;
  int value_ = 0;
};

}  // namespace

int RunRebrand(const std::vector<std::string>& arguments) {
  const RebrandOptions options = ParseRebrandOptions(arguments);
  if (options.help) {
    PrintRebrandHelp(std::cout);
    return kExitSuccess;
  }
  const std::string folder = cli::PackageFolder(options.packageFolder);
  const std::string pdfFileName = folder + kPDFFileName;
  const PackageCheckResult check = CheckPackage(folder, pdfFileName);
  if (!check.ok) {
    cli::Say(check.message);
    return kExitUsage;
  }
  TFormats formats;
  formats.LoadAll(VariablesFilePath(folder));
  std::vector<TListRow> rows;
  rows.reserve(formats.Count());
  for (std::size_t i = 0; i < formats.Count(); ++i)
    rows.push_back(RowFromRecord(formats.Objects(i)));
  ApplyValues(options.values, rows);

  TerminalObserver observer;
  RecordsFromRows(rows, nullptr, formats, observer);
  RunOptions run;
  run.PDFFileName = pdfFileName;
  run.OutputFileName = options.outputFile;
  const RunResult result = RunRebranding(run, formats, observer);
  observer.Finish();
  if (!result.Saved) {
    cli::Say("the rebranding failed; \"" + options.outputFile + "\" was not written");
    return kExitFailure;
  }
  cli::Say("output: " + options.outputFile);
  for (const NotAppliedRecord& record : result.NotApplied) {
    cli::Say("not applied: page " + cli::DisplayText(record.Page) + ", variable " +
             cli::DisplayText(record.VariableName) + ": " + record.Reason);
  }
  if (!result.UnloadProblem.empty()) {
    cli::Say("the output is complete, but unloading the PDF library failed: " +
             result.UnloadProblem);
  }
  return result.NotApplied.empty() ? kExitSuccess : kExitNotApplied;
}
