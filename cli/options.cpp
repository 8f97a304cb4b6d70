// Helpers shared by the subcommands.

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <iostream>

#include "CodePage.h"
#include "PackageCheck.h"
#include "ProgramFolder.h"
#include "UGeneral.h"
#include "commands.h"

namespace cli {

bool TakeOptionValue(const std::vector<std::string>& arguments, std::size_t& index,
                     const std::string& name, std::string& value) {
  const std::string& word = arguments[index];
  if (word == name) {
    if (index + 1 >= arguments.size()) {
      throw UsageError("option " + name + " needs a value");
    }
    value = arguments[++index];
    return true;
  }
  if (word.starts_with(name + "=")) {
    value = word.substr(name.size() + 1);
    return true;
  }
  return false;
}

std::string DisplayText(const std::string& stored) {
  std::string out;
  for (const char byte : SystemToUTF8(stored)) {
    const auto code = static_cast<unsigned char>(byte);
    if (byte == '\\') {
      out += "\\\\";
    } else if (byte == '\t') {
      out += "\\t";
    } else if (byte == '\r') {
      out += "\\r";
    } else if (byte == '\n') {
      out += "\\n";
    } else if (code < 0x20 || code == 0x7F) {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", code);
      out += escaped;
    } else {
      out += byte;
    }
  }
  return out;
}

void Say(const std::string& message) { std::cerr << kMessagePrefix << message << "\n"; }

void RejectArgument(const std::string& command, const std::string& word) {
  if (word.size() > 1 && word[0] == '-')
    throw UsageError(command + ": unknown option '" + word + "'");
  throw UsageError(command + ": unexpected argument '" + word + "'");
}

namespace {

bool HoldsPackage(const std::string& folder) {
  std::error_code error;
  return std::filesystem::is_regular_file(VariablesFilePath(folder), error) ||
         std::filesystem::is_regular_file(folder + kPDFFileName, error);
}

std::string CurrentFolder() {
  std::error_code error;
  std::string folder = std::filesystem::current_path(error).string();
  if (error || folder.empty()) return {};
  return folder.back() == '/' ? folder : folder + "/";
}

}  // namespace

std::string PackageFolder(const std::string& given) {
  std::string folder = given;
  if (folder.empty()) {
    const std::string current = CurrentFolder();
    folder = !current.empty() && HoldsPackage(current) ? current : ProgramFolder();
  }
  if (folder.back() != '/') folder += '/';
  Say("package: " + DisplayText(folder));
  return folder;
}

}  // namespace cli
