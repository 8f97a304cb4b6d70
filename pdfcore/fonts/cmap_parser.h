// Reading of CMap streams: ToUnicode maps (bfchar/bfrange) and the code-to-CID maps of
// composite fonts (cidchar/cidrange), with their codespace ranges. Bounded: the number of
// mappings, range sizes and destination lengths are capped, and what was cut is reported.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace pdfcore {

struct CodespaceRange {
  uint32_t low = 0;
  uint32_t high = 0;
  uint8_t bytes = 1;
};

struct CidRange {
  uint32_t low = 0;
  uint32_t high = 0;
  uint32_t cid = 0;  // CID of `low`
};

struct ParsedCMap {
  std::vector<CodespaceRange> codespace;
  std::unordered_map<uint32_t, std::u16string> unicode;  // code -> text
  std::vector<CidRange> cids;                            // in the order met
  std::string useCMap;                                   // name given to usecmap, if any
  std::vector<std::string> problems;                     // what was capped or unreadable
};

struct CMapLimits {
  size_t maxMappings = 1 << 17;    // codes with a text, in total
  size_t maxRangeCodes = 1 << 16;  // codes one bfrange may map
  size_t maxTextUnits = 128;       // UTF-16 units of one destination
  size_t maxCidRanges = 1 << 16;
  size_t maxTokens = 1 << 22;
};

ParsedCMap ParseCMap(std::string_view data, const CMapLimits& limits = {});

// UTF-16BE bytes to code units; a single byte stands for itself, unpaired surrogates become
// U+FFFD.
std::u16string Utf16FromBigEndian(std::string_view bytes);

}  // namespace pdfcore
