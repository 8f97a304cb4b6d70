#include "FileBytes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace {

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) {
      ::close(fd_);
    }
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

[[noreturn]] void ThrowFileError(const std::string& path, const std::string& problem) {
  throw std::runtime_error("Cannot read file \"" + path + "\": " + problem);
}

std::string ErrnoText(int error) { return std::strerror(error); }

}  // namespace

bool FileExists(const std::string& path) {
  struct stat info {};
  return !path.empty() && ::stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

std::optional<std::string> ReadWholeFile(const std::string& path, std::size_t maxSize) {
  if (path.empty()) {
    return std::nullopt;
  }
  // O_NONBLOCK keeps a FIFO at the path from blocking the open; it is refused below.
  FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (file.get() < 0) {
    const int error = errno;
    if (error == ENOENT || error == ENOTDIR) {
      return std::nullopt;
    }
    ThrowFileError(path, ErrnoText(error));
  }
  struct stat info {};
  if (::fstat(file.get(), &info) != 0) {
    ThrowFileError(path, ErrnoText(errno));
  }
  if (S_ISDIR(info.st_mode)) {
    return std::nullopt;
  }
  if (!S_ISREG(info.st_mode)) {
    ThrowFileError(path, "not a regular file");
  }
  if (info.st_size < 0 || static_cast<unsigned long long>(info.st_size) > maxSize) {
    ThrowFileError(path, "file too large (" + std::to_string(info.st_size) + " bytes, at most " +
                             std::to_string(maxSize) + ")");
  }

  // Read until end of file rather than trusting the size, which may change meanwhile; the limit
  // still holds.
  std::string bytes;
  bytes.reserve(static_cast<std::size_t>(info.st_size));
  char buffer[64 * 1024];
  for (;;) {
    const ssize_t got = ::read(file.get(), buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) {
        continue;
      }
      ThrowFileError(path, ErrnoText(errno));
    }
    if (got == 0) {
      break;
    }
    if (bytes.size() + static_cast<std::size_t>(got) > maxSize) {
      ThrowFileError(path, "file too large (more than " + std::to_string(maxSize) + " bytes)");
    }
    bytes.append(buffer, static_cast<std::size_t>(got));
  }
  return bytes;
}
