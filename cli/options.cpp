// Helpers shared by the subcommands.

#include <cstdio>

#include "CodePage.h"
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

}  // namespace cli
