// Checking that the package beside the program is complete and belongs together, and the list of
// distinct variables shown to the user.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "UGeneral.h"

inline constexpr const char* kVariablesFileName = "variables.dat";
inline constexpr const char* kPDFFileName = "file.dat";

inline constexpr const char* kMissingVariablesFileMessage =
    "Your variables configuration file don't exists. Please reinstall again!";
inline constexpr const char* kMissingPDFMessage =
    "Your rebrandable pdf don't exists. Please reinstall again!";
inline constexpr const char* kForeignPDFMessage =
    "You are attempting to rebrand another file. You can only rebrand a unique rebrandable pdf!";

struct PackageCheckResult {
  bool ok = false;
  std::string message;  // empty when ok
};

// The three package tests, in order; the first that fails gives its message:
// 1. "variables.dat" exists in `folder` (with or without a trailing separator);
// 2. a file exists at `pdfFileName`;
// 3. the fingerprint text of that file equals line 1 of "variables.dat" byte for byte.
// Line 1 is read right after test 1. A variables file that can't be read or has no line at all is
// not a package answer but a failure: std::runtime_error naming the file.
PackageCheckResult CheckPackage(const std::string& folder, const std::string& pdfFileName);

// `folder` + "variables.dat" (a separator added when missing).
std::string VariablesFilePath(const std::string& folder);

// Indices of the first record of each VariableName, in list order. Names compare without regard
// to letter case: simple Unicode case folding of the text (UTF-8, or Windows-1252 when not valid
// UTF-8) under the user's locale where it is a UTF-8 one.
std::vector<std::size_t> DistinctVariables(const TFormats& formats);
