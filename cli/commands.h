// The subcommands of the command-line companion. A subcommand is one file with one Run function
// and one line in the table of main.cpp.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;     // an unexpected error
inline constexpr int kExitUsage = 2;       // bad command line, or a package the command refuses
inline constexpr int kExitNotApplied = 3;  // saved, with records that could not be applied

// A mistake on the command line; main prints it with a pointer to the help and exits with
// kExitUsage.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// `arguments` are the words after the subcommand's name. Returns the exit status; may throw
// UsageError or any std::exception.
using CommandFunction = int (*)(const std::vector<std::string>& arguments);

int RunList(const std::vector<std::string>& arguments);
int RunRebrand(const std::vector<std::string>& arguments);
int RunRecords(const std::vector<std::string>& arguments);
int RunMakePackage(const std::vector<std::string>& arguments);

// Helpers shared by subcommands.
namespace cli {
// The value of an option that takes one (`--name VALUE` or `--name=VALUE`), advancing `index` past
// it; UsageError when the value is missing. Returns false when arguments[index] is not `name`.
bool TakeOptionValue(const std::vector<std::string>& arguments, std::size_t& index,
                     const std::string& name, std::string& value);
// A stored 8-bit text made printable on one line of a tab-separated table: converted to UTF-8 and
// with backslash and control characters escaped (\\, \t, \r, \n, \xNN).
std::string DisplayText(const std::string& stored);

// Every message of the program starts with this, on stderr.
inline constexpr const char* kMessagePrefix = "corvella: ";
// Writes one message line to stderr, with the prefix.
void Say(const std::string& message);

// A word the command doesn't take: UsageError "unknown option '--x'" for an option, else
// "COMMAND: unexpected argument 'x'".
[[noreturn]] void RejectArgument(const std::string& command, const std::string& word);

// The package a command works on without --package: the current folder when it holds a
// package (a variables file or a rebrandable PDF), else the program's folder. Says on stderr
// which folder it took. `given` (from --package) wins when not empty. Ends with '/'.
std::string PackageFolder(const std::string& given);
}  // namespace cli
