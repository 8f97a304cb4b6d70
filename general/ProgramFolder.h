// The folder of the running program's own file, where the package, the settings file, the
// preview file and the core library are looked up (never the working directory).
#pragma once

#include <string>

// With a trailing path separator, so a file name can be appended directly.
std::string ProgramFolder();
