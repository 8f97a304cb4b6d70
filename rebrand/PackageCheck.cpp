#include "PackageCheck.h"

#include <langinfo.h>
#include <locale.h>
#include <strings.h>
#include <wctype.h>

#include <stdexcept>
#include <unordered_set>

#include "CodePage.h"
#include "FileBytes.h"
#include "md5.h"

namespace {

std::string FirstLineOf(const std::string& path) {
  const std::vector<std::string> lines = ReadTextFileLines(path, 1);
  if (lines.empty()) {
    throw std::runtime_error("Cannot read file \"" + path + "\": it has no line");
  }
  return lines.front();
}

bool IsUTF8Locale(locale_t locale) {
  const char* codeset = nl_langinfo_l(CODESET, locale);
  return codeset != nullptr &&
         (::strcasecmp(codeset, "UTF-8") == 0 || ::strcasecmp(codeset, "UTF8") == 0);
}

// The user's character-type locale when it is a UTF-8 one (so its case rules apply, Turkish
// dotless i included), else C.UTF-8; null when neither is available. Made once, kept for the
// life of the process.
locale_t CaseMappingLocale() {
  static const locale_t locale = [] {
    locale_t user = ::newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr));
    if (user != nullptr) {
      if (IsUTF8Locale(user)) {
        return user;
      }
      ::freelocale(user);
    }
    return ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  }();
  return locale;
}

char32_t FoldCase(char32_t codePoint, locale_t locale) {
  if (codePoint < 0x80) {
    return (codePoint >= 'A' && codePoint <= 'Z') ? codePoint + ('a' - 'A') : codePoint;
  }
  if (locale == nullptr) {
    return codePoint;
  }
  return static_cast<char32_t>(::towlower_l(static_cast<wint_t>(codePoint), locale));
}

std::u32string CaseFoldedKey(const std::string& name, locale_t locale) {
  std::u32string key = SystemToUTF32(name);
  for (char32_t& codePoint : key) {
    codePoint = FoldCase(codePoint, locale);
  }
  return key;
}

}  // namespace

std::string VariablesFilePath(const std::string& folder) {
  std::string path = folder;
  if (!path.empty() && path.back() != '/') {
    path += '/';
  }
  return path + kVariablesFileName;
}

PackageCheckResult CheckPackage(const std::string& folder, const std::string& pdfFileName) {
  const std::string variablesPath = VariablesFilePath(folder);
  if (!FileExists(variablesPath)) {
    return {false, kMissingVariablesFileMessage};
  }
  const std::string fingerprintLine = FirstLineOf(variablesPath);
  if (!FileExists(pdfFileName)) {
    return {false, kMissingPDFMessage};
  }
  if (MD5ToHex(MD5File(pdfFileName)) != fingerprintLine) {
    return {false, kForeignPDFMessage};
  }
  return {true, ""};
}

std::vector<std::size_t> DistinctVariables(const TFormats& formats) {
  const locale_t locale = CaseMappingLocale();
  std::unordered_set<std::u32string> seen;
  std::vector<std::size_t> firsts;
  for (std::size_t i = 0; i < formats.Count(); ++i) {
    if (seen.insert(CaseFoldedKey(formats.Objects(i).VariableName, locale)).second) {
      firsts.push_back(i);
    }
  }
  return firsts;
}
