// CMap and ToUnicode parsing, with the default limits and with tight ones (so the paths that
// cap mappings, ranges and destinations are reached by small inputs too).
#include <cstdlib>

#include "fonts/cmap_parser.h"
#include "fuzz_support.h"

namespace {

void CheckWithin(const pdfcore::ParsedCMap& map, const pdfcore::CMapLimits& limits) {
  if (map.unicode.size() > limits.maxMappings) std::abort();
  if (map.cids.size() > limits.maxCidRanges) std::abort();
  for (const auto& [code, text] : map.unicode) {
    if (text.size() > limits.maxTextUnits) std::abort();
  }
  for (const auto& range : map.codespace) {
    if (range.bytes < 1 || range.bytes > 4) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text = fuzz::AsText(data, size);
  const pdfcore::CMapLimits defaults;
  CheckWithin(pdfcore::ParseCMap(text, defaults), defaults);

  pdfcore::CMapLimits tight;
  tight.maxMappings = 16;
  tight.maxRangeCodes = 8;
  tight.maxTextUnits = 4;
  tight.maxCidRanges = 4;
  tight.maxTokens = 256;
  CheckWithin(pdfcore::ParseCMap(text, tight), tight);

  pdfcore::Utf16FromBigEndian(text);
  return 0;
}
