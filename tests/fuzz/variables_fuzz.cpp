// The variables file reader: the in-memory line parser on every input, and the whole reader
// (LoadAll) through a file, whose records must match the in-memory parse.
#include <cstdlib>

#include "UGeneral.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text = fuzz::AsText(data, size);

  std::vector<std::string> lines = SplitTextLines(text);
  size_t expected = 0;
  for (size_t i = 1; i < lines.size(); ++i) {
    if (IsBlankLine(lines[i])) continue;
    std::unique_ptr<TFormat> record = ParseOccurrenceLine(lines[i]);
    if (!record) std::abort();
    ++expected;
  }

  static fuzz::TempDir folder;
  const std::string path = folder.File("variables.dat");
  fuzz::WriteFile(path, text);
  TFormats formats;
  try {
    formats.LoadAll(path);
  } catch (const std::runtime_error&) {
    return 0;  // refused as unreadable (over a limit): the list must be untouched
  }
  if (formats.Count() != expected) std::abort();
  for (size_t i = 0; i < formats.Count(); ++i) {
    if (formats.Strings(i) != formats.Objects(i).TaggedText) std::abort();
  }
  return 0;
}
