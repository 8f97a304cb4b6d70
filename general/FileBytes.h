// Reading a whole file into memory, with a size limit and an explicit "no such file" result.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

// The bytes of the file at `path`, or nullopt when there is no file there (a folder at the path
// counts as no file). A file that exists but can't be read, isn't a regular file or is larger than
// `maxSize` throws std::runtime_error whose message names the file and the problem.
std::optional<std::string> ReadWholeFile(const std::string& path, std::size_t maxSize);

// True when a file (anything but a folder) exists at `path`.
bool FileExists(const std::string& path);
