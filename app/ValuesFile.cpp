#include "ValuesFile.h"

#include <stdexcept>

namespace {

bool HasLineBreak(const std::string& text) {
  return text.find_first_of("\r\n") != std::string::npos;
}

bool CanCarry(const TNamedValue& pair) {
  const auto& [name, value] = pair;
  return !name.empty() && name.front() != '#' && name.find('=') == std::string::npos &&
         !HasLineBreak(name) && !HasLineBreak(value);
}

}  // namespace

std::string FormatValuesFile(const std::vector<TNamedValue>& values,
                             std::vector<std::string>& refused) {
  std::string text = "# Corvella Rebrander values: NAME=VALUE (corvella rebrand --values FILE)\n";
  for (const TNamedValue& pair : values) {
    if (!CanCarry(pair)) {
      refused.push_back(pair.first);
      continue;
    }
    text += pair.first + "=" + pair.second + "\n";
  }
  return text;
}

std::vector<TNamedValue> ParseValuesFile(const std::string& text, const std::string& fileName) {
  std::vector<TNamedValue> values;
  // Editors on Windows start UTF-8 files with a byte order mark.
  std::size_t start = text.starts_with("\xEF\xBB\xBF") ? 3 : 0;
  for (int number = 1; start < text.size(); ++number) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      end = text.size();
    }
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    if (line.empty() || line.front() == '#') {
      continue;
    }
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos || equals == 0) {
      throw std::runtime_error("\"" + fileName + "\", line " + std::to_string(number) +
                               ": expected NAME=VALUE, got \"" + line + "\"");
    }
    values.emplace_back(line.substr(0, equals), line.substr(equals + 1));
  }
  return values;
}
