#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <ostream>
#include <string>

#include <gtest/gtest.h>

#include "OnPDFError.h"
#include "TestSupport.h"

namespace {

// Points standard output at a file (or at nothing) for the test's duration.
class RedirectedStdout {
 public:
  explicit RedirectedStdout(int target) {
    std::fflush(stdout);
    saved_ = ::dup(STDOUT_FILENO);
    if (target >= 0) {
      ::dup2(target, STDOUT_FILENO);
    } else {
      ::close(STDOUT_FILENO);
    }
  }
  ~RedirectedStdout() {
    std::fflush(stdout);
    std::clearerr(stdout);
    ::dup2(saved_, STDOUT_FILENO);
    ::close(saved_);
  }

 private:
  int saved_;
};

std::string Captured(const char* message, int32_t type) {
  TempDir dir;
  const std::string path = dir.File("out.txt");
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  {
    RedirectedStdout redirect(fd);
    EXPECT_EQ(OnPDFError(nullptr, -7, message, type), 0);
  }
  ::close(fd);
  return ReadFile(path);
}

struct FlagCase {
  int32_t type;
  bool written;
};

void PrintTo(const FlagCase& c, std::ostream* os) {
  *os << std::hex << "0x" << static_cast<uint32_t>(c.type);
}

class OnPDFErrorTest : public ::testing::TestWithParam<FlagCase> {};

TEST_P(OnPDFErrorTest, WritesOneCrLfLineUnlessTheNoticeBitIsSet) {
  EXPECT_EQ(Captured("Font not found", GetParam().type),
            GetParam().written ? "Font not found\r\n" : "");
}

INSTANTIATE_TEST_SUITE_P(
    Types, OnPDFErrorTest,
    ::testing::Values(FlagCase{0, true}, FlagCase{PDF_E_FATAL, true},
                      FlagCase{PDF_E_WARNING | PDF_E_FONT, true}, FlagCase{~PDF_E_NOTICE, true},
                      FlagCase{PDF_E_NOTICE, false},
                      FlagCase{PDF_E_NOTICE | PDF_E_WARNING | PDF_E_FONT, false},
                      FlagCase{static_cast<int32_t>(0xFFFFFFFFu), false}));

TEST(OnPDFErrorEdgeTest, NullAndEmptyMessagesWriteAnEmptyLine) {
  EXPECT_EQ(Captured(nullptr, PDF_E_WARNING), "\r\n");
  EXPECT_EQ(Captured("", PDF_E_WARNING), "\r\n");
}

TEST(OnPDFErrorEdgeTest, ClosedStandardOutputIsSurvived) {
  RedirectedStdout closed(-1);
  EXPECT_EQ(OnPDFError(nullptr, 1, "lost", PDF_E_FATAL), 0);
}

TEST(OnPDFErrorEdgeTest, PipeWithoutReaderRaisesNoSigpipe) {
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  ::close(ends[0]);
  struct sigaction previous {};
  struct sigaction defaultAction {};
  defaultAction.sa_handler = SIG_DFL;
  ::sigaction(SIGPIPE, &defaultAction, &previous);  // a SIGPIPE would end the test process
  {
    RedirectedStdout toPipe(ends[1]);
    EXPECT_EQ(OnPDFError(nullptr, 1, "nobody listens", PDF_E_FATAL), 0);
  }
  ::close(ends[1]);
  sigset_t pending;
  sigpending(&pending);
  EXPECT_FALSE(sigismember(&pending, SIGPIPE));
  ::sigaction(SIGPIPE, &previous, nullptr);
}

}  // namespace
