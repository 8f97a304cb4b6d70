#include "Settings.h"

#include <optional>
#include <stdexcept>
#include <string_view>

#include "FileBytes.h"
#include "UGeneral.h"

namespace {

// Settings files are a few lines; a bigger one is not a settings file and counts as unreadable.
constexpr std::size_t kMaxSettingsFileSize = std::size_t{1} << 20;

bool IsProfileBlank(char byte) {
  // The blanks the profile API strips, including the DOS end-of-file mark.
  return byte == ' ' || byte == '\t' || byte == '\v' || byte == '\f' || byte == '\r' ||
         byte == '\n' || byte == '\x1a';
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsProfileBlank(text.front())) {
    text.remove_prefix(1);
  }
  while (!text.empty() && IsProfileBlank(text.back())) {
    text.remove_suffix(1);
  }
  return text;
}

char AsciiLower(char byte) {
  return (byte >= 'A' && byte <= 'Z') ? static_cast<char>(byte + 32) : byte;
}

bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) {
      return false;
    }
  }
  return true;
}

std::string_view WithoutMatchingQuotes(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

// Cuts at the byte limit, stepping back over a UTF-8 sequence the cut would split.
std::string_view LimitLength(std::string_view value) {
  if (value.size() <= kMaxProfileValueLength) {
    return value;
  }
  std::size_t cut = kMaxProfileValueLength;
  const auto isContinuation = [](char byte) {
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
  };
  if (isContinuation(value[cut])) {
    std::size_t lead = cut;
    while (lead > 0 && cut - lead < 4 && isContinuation(value[lead])) {
      --lead;
    }
    if (static_cast<unsigned char>(value[lead]) >= 0xC0) {
      cut = lead;
    }
  }
  return value.substr(0, cut);
}

std::optional<std::string> FindValue(std::string_view text, std::string_view section,
                                     std::string_view key) {
  constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";
  if (text.substr(0, kUtf8ByteOrderMark.size()) == kUtf8ByteOrderMark) {
    text.remove_prefix(kUtf8ByteOrderMark.size());
  }
  std::optional<std::string> found;
  bool inSection = false;
  ForEachTextLine(text, [&](std::string_view rawLine) {
    const std::string_view line = TrimBlanks(rawLine);
    if (line.empty() || line.front() == ';') {
      return true;
    }
    if (line.front() == '[') {
      const std::size_t close = line.find(']');
      const std::string_view name =
          TrimBlanks(line.substr(1, close == std::string_view::npos ? line.size() - 1 : close - 1));
      inSection = EqualIgnoringAsciiCase(name, section);
      return true;
    }
    if (!inSection) {
      return true;
    }
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos ||
        !EqualIgnoringAsciiCase(TrimBlanks(line.substr(0, equals)), key)) {
      return true;
    }
    const std::string_view value = WithoutMatchingQuotes(TrimBlanks(line.substr(equals + 1)));
    found = std::string(LimitLength(value));
    return false;
  });
  return found;
}

}  // namespace

std::string ReadProfileString(const std::string& path, const std::string& section,
                              const std::string& key, const std::string& defaultValue) {
  std::optional<std::string> bytes;
  try {
    bytes = ReadWholeFile(path, kMaxSettingsFileSize);
  } catch (const std::runtime_error&) {
    return defaultValue;
  }
  if (!bytes) {
    return defaultValue;
  }
  std::optional<std::string> value = FindValue(*bytes, section, key);
  return value ? std::move(*value) : defaultValue;
}

std::string ReadAffiliateID(const std::string& folder) {
  std::string path = folder;
  if (!path.empty() && path.back() != '/') {
    path += '/';
  }
  path += "dbconfig.dat";
  return ReadProfileString(path, "Settings", "AffiliateID", "harrowfield");
}
