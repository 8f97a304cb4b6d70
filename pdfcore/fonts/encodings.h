// The standard character encodings of PDF as glyph names per code (nullptr: no glyph).
#pragma once

#include <string_view>

namespace pdfcore::encodings {

extern const char* const kStandardEncoding[256];
extern const char* const kWinAnsiEncoding[256];
extern const char* const kMacRomanEncoding[256];
extern const char* const kMacExpertEncoding[256];
extern const char* const kPdfDocEncoding[256];
extern const char* const kSymbolEncoding[256];
extern const char* const kZapfDingbatsEncoding[256];

// The encoding a PDF name stands for ("WinAnsiEncoding", without the slash); nullptr if none.
const char* const* ByName(std::string_view name);

}  // namespace pdfcore::encodings
