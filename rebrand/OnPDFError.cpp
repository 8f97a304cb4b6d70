#include "OnPDFError.h"

#include <signal.h>
#include <time.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <type_traits>

static_assert(std::is_same_v<decltype(&OnPDFError), TErrorProc>,
              "OnPDFError must have the library's error callback signature");

namespace {

// Blocks SIGPIPE on this thread for the scope, so a write to a closed pipe fails with EPIPE
// instead of ending the process; a SIGPIPE raised meanwhile is consumed before unblocking.
class SigpipeSuppressed {
 public:
  SigpipeSuppressed() {
    sigset_t pipeOnly;
    sigemptyset(&pipeOnly);
    sigaddset(&pipeOnly, SIGPIPE);
    sigset_t pending;
    sigemptyset(&pending);
    sigpending(&pending);
    wasPending_ = sigismember(&pending, SIGPIPE) == 1;
    blocked_ = pthread_sigmask(SIG_BLOCK, &pipeOnly, &previous_) == 0;
  }
  SigpipeSuppressed(const SigpipeSuppressed&) = delete;
  SigpipeSuppressed& operator=(const SigpipeSuppressed&) = delete;
  ~SigpipeSuppressed() {
    if (!blocked_) {
      return;
    }
    if (!wasPending_) {
      sigset_t pipeOnly;
      sigemptyset(&pipeOnly);
      sigaddset(&pipeOnly, SIGPIPE);
      const timespec noWait{0, 0};
      while (sigtimedwait(&pipeOnly, nullptr, &noWait) < 0 && errno == EINTR) {
      }
    }
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
  }

 private:
  sigset_t previous_{};
  bool wasPending_ = false;
  bool blocked_ = false;
};

struct ErrorOutput {
  std::FILE* stream = stdout;
  std::string prefix;
  std::string lineEnd = "\r\n";
};

ErrorOutput& Output() {
  static ErrorOutput output;
  return output;
}

}  // namespace

void SetPDFErrorOutput(std::FILE* stream, const char* prefix, const char* lineEnd) {
  ErrorOutput& output = Output();
  output.stream = stream != nullptr ? stream : stdout;
  output.prefix = prefix != nullptr ? prefix : "";
  output.lineEnd = lineEnd != nullptr ? lineEnd : "\r\n";
}

int32_t PDF_CALL OnPDFError(const void* /*data*/, int32_t /*code*/, const char* message,
                            int32_t type) {
  if ((static_cast<uint32_t>(type) & PDF_E_NOTICE) != 0) {
    return 0;
  }
  try {
    const ErrorOutput& output = Output();
    std::string line = output.prefix + (message != nullptr ? message : "") + output.lineEnd;
    const int savedErrno = errno;
    {
      const SigpipeSuppressed guard;
      std::FILE* out = output.stream;
      if (std::fwrite(line.data(), 1, line.size(), out) == line.size()) {
        std::fflush(out);
      }
      std::clearerr(out);
    }
    errno = savedErrno;
  } catch (...) {
    // Out of memory while building the line: the message is lost, the library is not disturbed.
  }
  return 0;
}
