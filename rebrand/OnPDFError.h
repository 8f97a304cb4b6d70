// The error callback handed to the PDF core library for every rebranding run.
#pragma once

#include <cstdint>
#include <cstdio>

#include "dynapdf_abi.h"

// Writes `message` followed by CR LF as one line to standard output, unless `type` has the notice
// bit (PDF_E_NOTICE) set. A null message counts as empty. A failed write (no usable standard
// output, a closed pipe) is ignored and never raises SIGPIPE. Always returns 0.
int32_t PDF_CALL OnPDFError(const void* data, int32_t code, const char* message, int32_t type);

// Where and how OnPDFError writes: by default to standard output, each message ended by CR LF, as
// the window has it. The command line sends the library's messages to standard error, apart from
// the data it prints, as lines with its own prefix.
void SetPDFErrorOutput(std::FILE* stream, const char* prefix, const char* lineEnd);
