// The values file a reseller keeps between books: one NAME=VALUE line per variable, UTF-8, the
// form the command line reads with `corvella rebrand --values FILE`. Blank lines and lines that
// start with '#' are skipped; a name ends at the first '='.
#pragma once

#include <string>
#include <utility>
#include <vector>

using TNamedValue = std::pair<std::string, std::string>;

// The file's text for `values`, in their order, after a comment line. A pair the form can't
// carry (a name that is empty, starts with '#' or holds '='; a line break in either) is left
// out and its name added to `refused`.
std::string FormatValuesFile(const std::vector<TNamedValue>& values,
                             std::vector<std::string>& refused);

// The pairs of a values file's text. A line that is no NAME=VALUE throws std::runtime_error
// naming `fileName`, the line number and the line.
std::vector<TNamedValue> ParseValuesFile(const std::string& text, const std::string& fileName);
