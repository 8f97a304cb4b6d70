// Where the core library sends its errors: the callback registered with pdfSetOnErrorProc.
#pragma once

#include <cstdint>
#include <string>

namespace pdfcore {

class ErrorSink {
public:
  virtual ~ErrorSink() = default;
  // type: PDF_E_* flags of dynapdf_abi.h; PDF_E_NOTICE marks a notice that may be ignored.
  virtual void Report(int32_t code, const std::string& message, int32_t type) = 0;
};

// A sink that drops everything (for callers that have nowhere to report).
class NullErrorSink final : public ErrorSink {
public:
  void Report(int32_t, const std::string&, int32_t) override {}
};

}  // namespace pdfcore
