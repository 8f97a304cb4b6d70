// Numbers as PDF writes and reads them, whatever the process locale. The window runs under the
// user's locale, where printf writes and atof (QPDF's reader of real objects) expects a decimal
// comma; a content stream or font dictionary must never depend on that.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <qpdf/QPDFObjectHandle.hh>

namespace pdfcore {

// Decimals of an operand written into content: finer than any device resolution.
inline constexpr int kOperandDecimals = 6;

// Magnitude beyond which a number is written clamped: PDF readers take no more, and the fixed
// notation stays short.
inline constexpr double kLargestWrittenNumber = 1e12;

// The number as a content-stream operand: plain decimal with at most `decimals` decimals,
// trailing zeros dropped, no exponent, never "-0"; clamped to ±kLargestWrittenNumber; 0 for
// values that aren't finite.
std::string FormatNumber(double value, int decimals = kOperandDecimals);

// Parses a PDF number ("12", "-3.5", ".5", "4.", "--5" as producers sometimes write it); false
// for anything else.
bool ParsePdfNumber(std::string_view text, double& value);

// The finite value of an integer or real object; nullopt for anything else.
std::optional<double> NumberValue(QPDFObjectHandle object);

}  // namespace pdfcore
