// Character tests and case changes on ASCII only, the same under every process locale.
//
// PDF names, font names, operators and keywords are ASCII by definition; <cctype> answers by the
// locale the program runs under (a Turkish locale lowers 'I' to a dotless i, or not at all), so
// code that reads PDF uses these instead.
#pragma once

#include <string>
#include <string_view>

namespace pdfcore::ascii {

constexpr bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}
constexpr bool IsUpper(char c) { return c >= 'A' && c <= 'Z'; }
constexpr bool IsLower(char c) { return c >= 'a' && c <= 'z'; }
constexpr bool IsAlpha(char c) { return IsUpper(c) || IsLower(c); }
constexpr bool IsDigit(char c) { return c >= '0' && c <= '9'; }
constexpr bool IsAlnum(char c) { return IsAlpha(c) || IsDigit(c); }

constexpr char ToLower(char c) { return IsUpper(c) ? static_cast<char>(c - 'A' + 'a') : c; }
constexpr char ToUpper(char c) { return IsLower(c) ? static_cast<char>(c - 'a' + 'A') : c; }

// Bytes outside ASCII are kept as they are.
inline std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = ToLower(c);
  return out;
}

constexpr bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (ToLower(a[i]) != ToLower(b[i])) return false;
  }
  return true;
}

constexpr bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsIgnoringCase(text.substr(0, prefix.size()), prefix);
}

constexpr bool EndsWithIgnoringCase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() &&
         EqualsIgnoringCase(text.substr(text.size() - suffix.size()), suffix);
}

constexpr std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace pdfcore::ascii
