// corvella rebrand: the whole road of one rebranding without a window.

#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iostream>
#include <map>
#include <set>

#include "PackageCheck.h"
#include "ProgramFolder.h"
#include "RebrandRun.h"
#include "UGeneral.h"
#include "commands.h"

namespace {

void PrintRebrandHelp(std::ostream& out) {
  out << "Usage: corvella rebrand [--package DIR] --output FILE [--set NAME=VALUE]...\n"
         "                        [--values FILE]\n"
         "\n"
         "Checks the package (\"variables.dat\" and \"file.dat\" in DIR, by default the program's\n"
         "folder), gives the variables their values and writes the rebranded PDF to FILE.\n"
         "\n"
         "  --package DIR      the folder that holds the package\n"
         "  --output FILE      the rebranded PDF to write; an existing file is replaced only by a\n"
         "                     complete new one, so a failed run leaves it as it was\n"
         "  --set NAME=VALUE   gives VALUE to every occurrence of the variable NAME (the variable\n"
         "                     name of the variables file, byte for byte); may be repeated\n"
         "  --values FILE      reads NAME=VALUE lines (UTF-8) from FILE; blank lines and lines\n"
         "                     starting with '#' are skipped; --set wins over FILE\n"
         "\n"
         "A variable without a value keeps its default value; `corvella list` shows the names.\n"
         "Progress and the run's status texts go to stderr; \"Rebranded PDF saved!\" ends a\n"
         "successful run.\n"
         "\n"
         "Exit status: 0 when the PDF was saved, 1 when the run failed, 2 on a usage error or a\n"
         "package that fails its check.\n";
}

struct RebrandOptions {
  std::string packageFolder;
  std::string outputFile;
  std::vector<std::pair<std::string, std::string>> values;  // in the order given
  bool help = false;
};

std::pair<std::string, std::string> SplitAssignment(const std::string& text,
                                                    const std::string& where) {
  const std::size_t equals = text.find('=');
  if (equals == std::string::npos || equals == 0) {
    throw UsageError(where + ": expected NAME=VALUE, got '" + text + "'");
  }
  return {text.substr(0, equals), text.substr(equals + 1)};
}

void ReadValuesFile(const std::string& path,
                    std::vector<std::pair<std::string, std::string>>& out) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    throw UsageError("cannot read the values file \"" + path + "\"");
  }
  std::string line;
  int number = 0;
  while (std::getline(file, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    if (line.empty() || line.front() == '#') {
      continue;
    }
    out.push_back(SplitAssignment(line, path + ":" + std::to_string(number)));
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
      fromSet.push_back(SplitAssignment(value, "--set"));
    } else if (cli::TakeOptionValue(arguments, i, "--values", value)) {
      ReadValuesFile(value, fromFile);
    } else {
      throw UsageError("rebrand: unexpected argument '" + arguments[i] + "'");
    }
  }
  if (options.help) return options;
  if (options.outputFile.empty()) throw UsageError("rebrand: --output FILE is required");
  if (options.packageFolder.empty()) {
    options.packageFolder = ProgramFolder();
  } else if (options.packageFolder.back() != '/') {
    options.packageFolder += '/';
  }
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

// Status texts as lines on stderr, the gauge as a bar when stderr is a terminal.
class TerminalObserver final : public RunObserver {
 public:
  TerminalObserver() : bar_(isatty(STDERR_FILENO) != 0) {}
  ~TerminalObserver() override { EndBar(); }

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
    EndBar();
    std::cerr << text << "\n";
  }

 private:
  void DrawBar() {
    if (!bar_ || maximum_ == 0) return;
    constexpr int kWidth = 40;
    const int filled = value_ * kWidth / maximum_;
    std::cerr << "\r[" << std::string(filled, '#') << std::string(kWidth - filled, ' ') << "] "
              << value_ << "/" << maximum_ << std::flush;
    drawn_ = true;
  }
  void EndBar() {
    if (drawn_) std::cerr << "\n";
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
  const std::string pdfFileName = options.packageFolder + kPDFFileName;
  const PackageCheckResult check = CheckPackage(options.packageFolder, pdfFileName);
  if (!check.ok) {
    std::cerr << check.message << "\n";
    return kExitUsage;
  }
  TFormats formats;
  formats.LoadAll(VariablesFilePath(options.packageFolder));
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
  const bool saved = RunRebranding(run, formats, observer);
  if (saved) {
    std::cerr << "Output: " << options.outputFile << "\n";
  } else {
    std::cerr << "corvella: the rebranding failed; \"" << options.outputFile
              << "\" was not written\n";
  }
  return saved ? kExitSuccess : kExitFailure;
}
