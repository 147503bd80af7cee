#include "agent/text/digest.h"

#include <cstring>
#include <string>

#include <gtest/gtest.h>

namespace {

struct DigestCase {
  std::string input;
  const char* md5;
  const char* sha256;
};

std::string Repeat(char c, std::size_t n) { return std::string(n, c); }

// Published vectors (RFC 1321, FIPS 180-4 examples) and block-boundary lengths.
const DigestCase kCases[] = {
    {"", "d41d8cd98f00b204e9800998ecf8427e",
     "E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855"},
    {"abc", "900150983cd24fb0d6963f7d28e17f72",
     "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD"},
    {"message digest", "f96b697d7cb7938d525a2f31aaf161d0",
     "F7846F55CF23E14EEBEAB5B4E1550CAD5B509E3348FBC4EFA3A1413D393CB650"},
    {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",  // 56 bytes
     "8215ef0796a20bcaaae116d3876c664a",
     "248D6A61D20638B8E5C026930C3E6039A33CE45964FF2167F6ECEDD419DB06C1"},
    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57edf4a22be3c955ac49da2e2107b67a",
     "F371BC4A311F2B009EEF952DD83CA80E2B60026C8E935592D0F9C308453C813E"},
    {Repeat('a', 55), "ef1772b6dff9a122358552954ad0df65",
     "9F4390F8D30C2DD92EC9F095B65E2B9AE9B0A925A5258E241C9F1E910F734318"},
    {Repeat('a', 56), "3b0c8ac703f828b04c6c197006d17218",
     "B35439A4AC6F0948B6D6F9E3C6AF0F5F590CE20F1BDE7090EF7970686EC6738A"},
    {Repeat('a', 63), "b06521f39153d618550606be297466d5",
     "7D3E74A05D7DB15BCE4AD9EC0658EA98E3F06EEECF16B4C6FFF2DA457DDC2F34"},
    {Repeat('a', 64), "014842d480b571495a4a0363793f7367",
     "FFE054FE7AE0CB6DC65C3AF9B61D5209F439851DB43D0BA5997337DF154668EB"},
    {Repeat('a', 65), "c743a45e0d2e6a95cb859adae0248435",
     "635361C48BB9EAB14198E76EA8AB7F1A41685D6AD62AA9146D301D4F17EB0AE0"},
};

TEST(DigestTest, PublishedVectorsAndBlockBoundaries) {
  for (const DigestCase& c : kCases) {
    SCOPED_TRACE("length " + std::to_string(c.input.size()));
    char md5[kMd5HexSize];
    char sha[kSha256HexSize];
    std::memset(md5, 'X', sizeof md5);
    std::memset(sha, 'X', sizeof sha);
    EXPECT_EQ(DigestMd5Hex(c.input.data(), c.input.size(), md5), md5);
    EXPECT_EQ(DigestSha256Hex(c.input.data(), c.input.size(), sha), sha);
    EXPECT_STREQ(md5, c.md5);
    EXPECT_STREQ(sha, c.sha256);
    EXPECT_EQ(std::strlen(md5), 32u);
    EXPECT_EQ(std::strlen(sha), 64u);
  }
}

TEST(DigestTest, HashesTheGivenBytesOnlyIncludingZeros) {
  const char data[] = {'a', 'b', 'c', '\0', 'd'};
  char whole[kMd5HexSize];
  char prefix[kMd5HexSize];
  DigestMd5Hex(data, 3, prefix);
  EXPECT_STREQ(prefix, "900150983cd24fb0d6963f7d28e17f72");
  DigestMd5Hex(data, sizeof data, whole);
  EXPECT_STRNE(whole, prefix);
}

}  // namespace
