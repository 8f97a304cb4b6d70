#include <sys/stat.h>

#include <string>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "md5.h"

namespace {

const std::string kEmptyDigest = "d41d8cd98f00b204e9800998ecf8427e";

// Byte i of a test file: (i * 31 + 7) mod 256. Expected digests come from md5sum.
std::string PatternBytes(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) {
    bytes[i] = static_cast<char>((i * 31 + 7) & 0xFF);
  }
  return bytes;
}

struct DigestCase {
  std::size_t size;
  const char* hex;
};

void PrintTo(const DigestCase& c, std::ostream* os) { *os << c.size << " bytes"; }

class MD5FileTest : public ::testing::TestWithParam<DigestCase> {};

TEST_P(MD5FileTest, FileDigestMatchesMd5sumAtBlockEdges) {
  TempDir dir;
  const std::string path = dir.File("data.bin");
  const std::string bytes = PatternBytes(GetParam().size);
  WriteFile(path, bytes);
  EXPECT_EQ(MD5ToHex(MD5File(path)), GetParam().hex);
  // Fed in uneven pieces, the incremental digest is the same.
  MD5Context context;
  for (std::size_t pos = 0; pos < bytes.size();) {
    const std::size_t piece = std::min<std::size_t>(bytes.size() - pos, 1 + pos % 97);
    context.Update(bytes.data() + pos, piece);
    pos += piece;
  }
  EXPECT_EQ(MD5ToHex(context.Finish()), GetParam().hex);
}

INSTANTIATE_TEST_SUITE_P(Sizes, MD5FileTest,
                         ::testing::Values(DigestCase{0, "d41d8cd98f00b204e9800998ecf8427e"},
                                           DigestCase{1, "89e74e640b8c46257a29de0616794d5d"},
                                           DigestCase{55, "c9e512626618c9980ef21a96597af94c"},
                                           DigestCase{56, "ecde7caa08e9f5657c863df107cac60a"},
                                           DigestCase{63, "2f0301069e1c40af7f6c8f843b1b13f2"},
                                           DigestCase{64, "b6bf87c24b1bc334e2541387a92b981b"},
                                           DigestCase{65, "f168246f08b6134d66bd2a10343fa9f1"},
                                           DigestCase{128, "3e85b70ffc8df5c735ecf2a8f14f1bee"},
                                           DigestCase{5242897, "0a523039caaa68cafa7767c6e1e5a786"}),
                         [](const auto& info) {
                           return std::to_string(info.param.size) + "Bytes";
                         });

TEST(MD5Test, KnownTextDigests) {
  EXPECT_EQ(MD5ToHex(MD5Bytes("abc", 3)), "900150983cd24fb0d6963f7d28e17f72");
  const std::string fox = "The quick brown fox jumps over the lazy dog";
  EXPECT_EQ(MD5ToHex(MD5Bytes(fox.data(), fox.size())), "9e107d9d372bb6826bd81d3542a419d6");
}

TEST(MD5Test, WhatCantBeReadGivesTheEmptyDigest) {
  TempDir dir;
  EXPECT_EQ(MD5ToHex(MD5File(dir.File("absent"))), kEmptyDigest);
  EXPECT_EQ(MD5ToHex(MD5File("")), kEmptyDigest);
  EXPECT_EQ(MD5ToHex(MD5File(dir.Folder())), kEmptyDigest);
  const std::string fifo = dir.File("pipe");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(MD5ToHex(MD5File(fifo)), kEmptyDigest);  // and does not block
}

TEST(MD5Test, HexIsThirtyTwoLowercaseDigitsHighHalfFirst) {
  MD5Digest digest{};
  for (std::size_t i = 0; i < digest.size(); ++i) {
    digest[i] = static_cast<std::uint8_t>(i * 17 + 0x0A);
  }
  EXPECT_EQ(MD5ToHex(digest), "0a1b2c3d4e5f708192a3b4c5d6e7f809");
}

}  // namespace
