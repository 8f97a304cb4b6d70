// corvella: the command-line companion of Corvella Rebrander.

#include <exception>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "OnPDFError.h"
#include "commands.h"

namespace {

struct Command {
  const char* name;
  const char* summary;
  CommandFunction run;
};

constexpr Command kCommands[] = {
    {"list", "check the package and list its variables", RunList},
    {"rebrand", "write a rebranded copy of the package's PDF", RunRebrand},
    {"make-package", "make a rebrandable package from a PDF", RunMakePackage},
    {"records", "show the text records of a PDF's pages and templates", RunRecords},
};

void PrintHelp(std::ostream& out) {
  out << "Usage: corvella COMMAND [OPTIONS]\n"
         "       corvella COMMAND --help\n"
         "       corvella --version\n"
         "\n"
         "Commands:\n";
  for (const Command& command : kCommands) {
    out << "  " << command.name << std::string(16 - std::string_view(command.name).size(), ' ')
        << command.summary << "\n";
  }
  out << "\n"
         "Exit status: 0 on success, 1 on an unexpected error, 2 on a usage error or a package\n"
         "that fails its check, 3 when rebrand saved the PDF with records not applied.\n";
}

const Command* FindCommand(std::string_view name) {
  for (const Command& command : kCommands) {
    if (name == command.name) {
      return &command;
    }
  }
  return nullptr;
}

int Run(const std::vector<std::string>& words) {
  if (words.empty()) {
    throw UsageError("no command given");
  }
  if (words.front() == "--help" || words.front() == "-h" || words.front() == "help") {
    PrintHelp(std::cout);
    return kExitSuccess;
  }
  if (words.front() == "--version") {
    std::cout << "corvella " << CORVELLA_VERSION << "\n";
    return kExitSuccess;
  }
  const Command* command = FindCommand(words.front());
  if (command == nullptr) {
    if (words.front().size() > 1 && words.front()[0] == '-') {
      throw UsageError("unknown option '" + words.front() + "'");
    }
    throw UsageError("unknown command '" + words.front() + "'");
  }
  return command->run(std::vector<std::string>(words.begin() + 1, words.end()));
}

}  // namespace

int main(int argc, char** argv) {
  // The library's messages are not data: stderr, as every other message of the program.
  SetPDFErrorOutput(stderr, "corvella: library: ", "\n");
  try {
    const std::vector<std::string> words(argv + (argc > 0 ? 1 : 0), argv + argc);
    int status = Run(words);
    std::cout.flush();
    if (!std::cout) {
      std::cerr << "corvella: cannot write the output\n";
      status = kExitFailure;
    }
    return status;
  } catch (const UsageError& error) {
    std::cerr << cli::kMessagePrefix << error.what() << "\n"
              << cli::kMessagePrefix << "try 'corvella --help'\n";
    return kExitUsage;
  } catch (const std::exception& error) {
    std::cerr << cli::kMessagePrefix << error.what() << "\n";
    return kExitFailure;
  } catch (...) {
    std::cerr << "corvella: unexpected error\n";
    return kExitFailure;
  }
}
