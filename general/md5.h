// MD5 (RFC 1321) of a whole file and its 32-digit lowercase text form: the fingerprint that ties a
// variables file to its PDF.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

using MD5Digest = std::array<std::uint8_t, 16>;

// Incremental MD5 of a byte stream.
class MD5Context {
 public:
  MD5Context();
  void Update(const void* data, std::size_t size);
  MD5Digest Finish();

 private:
  void Transform(const std::uint8_t* block);

  std::array<std::uint32_t, 4> state_;
  std::uint64_t byteCount_ = 0;
  std::array<std::uint8_t, 64> pending_{};
};

MD5Digest MD5Bytes(const void* data, std::size_t size);

// The digest of the file's bytes, read through a read-only mapping of the whole file. Never fails:
// a missing, unreadable, unmappable or empty file gives the digest of the empty message.
MD5Digest MD5File(const std::string& path);

// 32 lowercase hexadecimal digits, high half of each byte first.
std::string MD5ToHex(const MD5Digest& digest);
