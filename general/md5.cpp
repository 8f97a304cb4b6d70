#include "md5.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr std::uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

constexpr int kShift[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                            5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                            4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                            6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};

std::uint32_t RotateLeft(std::uint32_t value, int bits) {
  return (value << bits) | (value >> (32 - bits));
}

std::uint32_t LoadLittleEndian(const std::uint8_t* bytes) {
  return std::uint32_t{bytes[0]} | (std::uint32_t{bytes[1]} << 8) |
         (std::uint32_t{bytes[2]} << 16) | (std::uint32_t{bytes[3]} << 24);
}

// Owns an open descriptor and, once made, a mapping of the whole file.
class ReadOnlyMapping {
 public:
  explicit ReadOnlyMapping(const std::string& path) {
    // O_NONBLOCK: a FIFO at the path must not block the open; it can't be mapped anyway.
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd_ < 0) {
      return;
    }
    struct stat info {};
    if (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0) {
      return;
    }
    const auto size = static_cast<std::size_t>(info.st_size);
    void* view = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd_, 0);
    if (view == MAP_FAILED) {
      return;
    }
    ::madvise(view, size, MADV_SEQUENTIAL);
    view_ = view;
    size_ = size;
  }
  ReadOnlyMapping(const ReadOnlyMapping&) = delete;
  ReadOnlyMapping& operator=(const ReadOnlyMapping&) = delete;
  ~ReadOnlyMapping() {
    if (view_ != nullptr) {
      ::munmap(view_, size_);
    }
    if (fd_ >= 0) {
      ::close(fd_);
    }
  }
  const void* data() const { return view_; }
  std::size_t size() const { return size_; }

 private:
  int fd_ = -1;
  void* view_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace

MD5Context::MD5Context() : state_{0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476} {}

void MD5Context::Transform(const std::uint8_t* block) {
  std::uint32_t words[16];
  for (int i = 0; i < 16; ++i) {
    words[i] = LoadLittleEndian(block + 4 * i);
  }
  std::uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
  for (int i = 0; i < 64; ++i) {
    std::uint32_t mixed;
    int wordIndex;
    if (i < 16) {
      mixed = (b & c) | (~b & d);
      wordIndex = i;
    } else if (i < 32) {
      mixed = (d & b) | (~d & c);
      wordIndex = (5 * i + 1) % 16;
    } else if (i < 48) {
      mixed = b ^ c ^ d;
      wordIndex = (3 * i + 5) % 16;
    } else {
      mixed = c ^ (b | ~d);
      wordIndex = (7 * i) % 16;
    }
    const std::uint32_t next = b + RotateLeft(a + mixed + kSine[i] + words[wordIndex], kShift[i]);
    a = d;
    d = c;
    c = b;
    b = next;
  }
  state_[0] += a;
  state_[1] += b;
  state_[2] += c;
  state_[3] += d;
}

void MD5Context::Update(const void* data, std::size_t size) {
  if (size == 0) {
    return;
  }
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  std::size_t used = static_cast<std::size_t>(byteCount_ % 64);
  byteCount_ += size;
  if (used != 0) {
    const std::size_t take = std::min(size, 64 - used);
    std::memcpy(pending_.data() + used, bytes, take);
    used += take;
    bytes += take;
    size -= take;
    if (used < 64) {
      return;
    }
    Transform(pending_.data());
  }
  for (; size >= 64; bytes += 64, size -= 64) {
    Transform(bytes);
  }
  if (size != 0) {
    std::memcpy(pending_.data(), bytes, size);
  }
}

MD5Digest MD5Context::Finish() {
  const std::uint64_t bitCount = byteCount_ * 8;
  const std::uint8_t firstPad = 0x80;
  Update(&firstPad, 1);
  const std::uint8_t zero = 0;
  while (byteCount_ % 64 != 56) {
    Update(&zero, 1);
  }
  std::uint8_t length[8];
  for (int i = 0; i < 8; ++i) {
    length[i] = static_cast<std::uint8_t>(bitCount >> (8 * i));
  }
  Update(length, sizeof length);
  MD5Digest digest{};
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      digest[4 * i + j] = static_cast<std::uint8_t>(state_[i] >> (8 * j));
    }
  }
  *this = MD5Context();
  return digest;
}

MD5Digest MD5Bytes(const void* data, std::size_t size) {
  MD5Context context;
  context.Update(data, size);
  return context.Finish();
}

MD5Digest MD5File(const std::string& path) {
  MD5Context context;
  const ReadOnlyMapping mapping(path);
  if (mapping.data() != nullptr) {
    context.Update(mapping.data(), mapping.size());
  }
  return context.Finish();
}

std::string MD5ToHex(const MD5Digest& digest) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(32);
  for (const std::uint8_t byte : digest) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0x0f];
  }
  return text;
}
