#include "fonts/encodings.h"

namespace pdfcore::encodings {

const char* const* ByName(std::string_view name) {
  if (name == "StandardEncoding") return kStandardEncoding;
  if (name == "WinAnsiEncoding") return kWinAnsiEncoding;
  if (name == "MacRomanEncoding") return kMacRomanEncoding;
  if (name == "MacExpertEncoding") return kMacExpertEncoding;
  if (name == "PDFDocEncoding") return kPdfDocEncoding;
  return nullptr;
}

}  // namespace pdfcore::encodings
