// The settings reader on a fuzzed "dbconfig.dat": any bytes give a value within the length
// limit, or the default.
#include <cstdlib>

#include "Settings.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fuzz::TempDir folder;
  fuzz::WriteFile(folder.File("dbconfig.dat"), fuzz::AsText(data, size));
  const std::string id = ReadAffiliateID(folder.File(""));
  if (id.size() > kMaxProfileValueLength) std::abort();
  const std::string other =
      ReadProfileString(folder.File("dbconfig.dat"), "settings ", "", "fallback");
  if (other.size() > kMaxProfileValueLength && other != "fallback") std::abort();
  return 0;
}
