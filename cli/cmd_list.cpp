// corvella list: check the package and show its variables.

#include <iostream>

#include "PackageCheck.h"
#include "UGeneral.h"
#include "commands.h"

namespace {

void PrintListHelp(std::ostream& out) {
  out << "Usage: corvella list [--package DIR]\n"
         "\n"
         "Checks the package (\"variables.dat\" and \"file.dat\" in DIR; without --package, the\n"
         "current folder when it holds a package, else the program's folder; the folder used is\n"
         "named on stderr) and lists its variables: one row per occurrence, then one row per "
         "distinct\n"
         "variable (names compared without regard to letter case). Rows are tab-separated; text\n"
         "is shown as UTF-8 with backslash and control characters escaped.\n"
         "\n"
         "Exit status: 0 when listed, 2 when the package fails its check or on a usage error,\n"
         "1 on an unexpected error (such as an unreadable variables file).\n";
}

struct ListOptions {
  std::string packageFolder;
  bool help = false;
};

ListOptions ParseListOptions(const std::vector<std::string>& arguments) {
  ListOptions options;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (arguments[i] == "--help" || arguments[i] == "-h") {
      options.help = true;
    } else if (cli::TakeOptionValue(arguments, i, "--package", options.packageFolder)) {
      if (options.packageFolder.empty()) {
        throw UsageError("option --package needs a folder");
      }
    } else {
      cli::RejectArgument("list", arguments[i]);
    }
  }
  return options;
}

void PrintOccurrences(std::ostream& out, const TFormats& formats) {
  out << "Occurrences: " << formats.Count() << "\n";
  out << "Enabled\tTagged text\tDefault value\tType\tPage\tLink handle\tVariable name\n";
  for (std::size_t i = 0; i < formats.Count(); ++i) {
    const TFormat& record = formats.Objects(i);
    out << (record.Enabled ? "1" : "0") << '\t' << cli::DisplayText(record.TaggedText) << '\t'
        << cli::DisplayText(record.Value) << '\t' << cli::DisplayText(record.Kind) << '\t'
        << cli::DisplayText(record.Page) << '\t' << cli::DisplayText(record.LinkHandle) << '\t'
        << cli::DisplayText(record.VariableName) << '\n';
  }
}

void PrintVariables(std::ostream& out, const TFormats& formats) {
  const std::vector<std::size_t> distinct = DistinctVariables(formats);
  out << "Variables: " << distinct.size() << "\n";
  out << "Variable name\tDefault value\tType\tPage\n";
  for (const std::size_t index : distinct) {
    const TFormat& record = formats.Objects(index);
    out << cli::DisplayText(record.VariableName) << '\t' << cli::DisplayText(record.Value) << '\t'
        << cli::DisplayText(record.Kind) << '\t' << cli::DisplayText(record.Page) << '\n';
  }
}

}  // namespace

int RunList(const std::vector<std::string>& arguments) {
  const ListOptions options = ParseListOptions(arguments);
  if (options.help) {
    PrintListHelp(std::cout);
    return kExitSuccess;
  }
  const std::string folder = cli::PackageFolder(options.packageFolder);
  const PackageCheckResult check = CheckPackage(folder, folder + kPDFFileName);
  if (!check.ok) {
    cli::Say(check.message);
    return kExitUsage;
  }
  TFormats formats;
  formats.LoadAll(VariablesFilePath(folder));
  PrintOccurrences(std::cout, formats);
  std::cout << "\n";
  PrintVariables(std::cout, formats);
  return kExitSuccess;
}
