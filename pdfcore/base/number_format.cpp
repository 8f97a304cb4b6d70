#include "base/number_format.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <system_error>

namespace pdfcore {

std::string FormatNumber(double value, int decimals) {
  if (!std::isfinite(value)) return "0";
  value = std::clamp(value, -kLargestWrittenNumber, kLargestWrittenNumber);
  decimals = std::clamp(decimals, 0, 12);
  char buffer[64];
  auto [end, error] =
      std::to_chars(buffer, buffer + sizeof(buffer), value, std::chars_format::fixed, decimals);
  if (error != std::errc()) return "0";
  std::string text(buffer, end);
  if (text.find('.') != std::string::npos) {
    while (text.back() == '0') text.pop_back();
    if (text.back() == '.') text.pop_back();
  }
  if (text == "-0") text = "0";
  return text;
}

bool ParsePdfNumber(std::string_view text, double& value) {
  size_t i = 0;
  bool negative = false;
  // Producers sometimes write doubled signs ("--5"); readers take the last one.
  while (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-' ? !negative : negative;
    ++i;
  }
  bool digits = false;
  bool point = false;
  const size_t start = i;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c >= '0' && c <= '9') {
      digits = true;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      return false;
    }
  }
  if (!digits) return false;
  // Exact decimal conversion, so colour components come back as written.
  double result = 0;
  auto [end, error] = std::from_chars(text.data() + start, text.data() + text.size(), result,
                                      std::chars_format::fixed);
  if (error != std::errc() || end != text.data() + text.size()) {
    if (error != std::errc::result_out_of_range) return false;
    result = 0;  // digits beyond what a double holds
  }
  if (!std::isfinite(result)) return false;
  value = negative ? -result : result;
  return true;
}

std::optional<double> NumberValue(QPDFObjectHandle object) {
  if (object.isInteger()) return static_cast<double>(object.getIntValue());
  if (!object.isReal()) return std::nullopt;
  // Not getNumericValue(): it converts with atof, which reads "0.5" as 0 under a comma locale.
  double value = 0;
  if (!ParsePdfNumber(object.getRealValue(), value)) return std::nullopt;
  return value;
}

}  // namespace pdfcore
