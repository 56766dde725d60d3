// SHA-1 guards the help files: a wrong digest would either reject intact
// help or let altered help through, so it is checked against the FIPS
// vectors and against sha1sum.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "help/sha1.h"
#include "tests/support/core_fixture.h"

namespace {

std::string Hex(const SHA1Context& context) {
  char text[41];
  for (int i = 0; i < 5; ++i) std::snprintf(text + 8 * i, 9, "%08x", context.Message_Digest[i]);
  return text;
}

// The digest of `bytes` fed in pieces of the given sizes, cycling.
std::string Digest(const std::vector<uint8_t>& bytes, const std::vector<unsigned>& pieces = {}) {
  SHA1Context context;
  SHA1Reset(&context);
  size_t at = 0;
  for (size_t i = 0; at < bytes.size(); ++i) {
    unsigned n = pieces.empty() ? static_cast<unsigned>(bytes.size()) : pieces[i % pieces.size()];
    if (n > bytes.size() - at) n = static_cast<unsigned>(bytes.size() - at);
    SHA1Input(&context, bytes.data() + at, n);
    at += n;
  }
  EXPECT_EQ(SHA1Result(&context), 1);
  return Hex(context);
}

std::vector<uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

std::vector<uint8_t> RandomBytes(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> out(n);
  for (auto& b : out) b = static_cast<uint8_t>(rng());
  return out;
}

TEST(Sha1, FipsVectors) {
  EXPECT_EQ(Digest(Bytes("abc")), "a9993e364706816aba3e25717850c26c9cd0d89d");
  EXPECT_EQ(Digest(Bytes("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")),
            "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
  EXPECT_EQ(Digest({}), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
  const std::vector<uint8_t> million(1000000, 'a');
  EXPECT_EQ(Digest(million, {1, 63, 64, 65, 4096, 7}), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
}

TEST(Sha1, MatchesSha1sumAroundBlockAndPaddingBoundaries) {
  if (!testsupport::HaveTool("sha1sum")) GTEST_SKIP() << "sha1sum not installed";
  testsupport::TempDir dir;
  for (size_t size : {1u, 55u, 56u, 63u, 64u, 65u, 119u, 120u, 100000u, 150001u}) {
    const std::vector<uint8_t> data = RandomBytes(size, static_cast<unsigned>(size));
    const std::string file = dir.File("data.bin"), out = dir.File("sum.txt");
    testsupport::WriteBytes(file, data);
    ASSERT_EQ(testsupport::Run("sha1sum '" + file + "' > '" + out + "'"), 0);
    const std::vector<uint8_t> sum = testsupport::ReadBytes(out);
    EXPECT_EQ(Digest(data, {4000}), std::string(sum.begin(), sum.begin() + 40)) << size << " bytes";
  }
}

TEST(Sha1, InputAfterTheResultCorruptsButEmptyInputDoesNot) {
  SHA1Context context;
  SHA1Reset(&context);
  const unsigned char abc[] = {'a', 'b', 'c'};
  SHA1Input(&context, abc, 3);
  ASSERT_EQ(SHA1Result(&context), 1);
  const std::string digest = Hex(context);
  EXPECT_EQ(SHA1Result(&context), 1);  // padding is applied only once
  EXPECT_EQ(Hex(context), digest);

  SHA1Input(&context, abc, 0);
  EXPECT_EQ(context.Corrupted, 0);
  SHA1Input(&context, abc, 3);
  EXPECT_NE(context.Corrupted, 0);
  EXPECT_EQ(SHA1Result(&context), 0);
  EXPECT_EQ(Hex(context), digest);  // the ignored input changed nothing

  SHA1Reset(&context);
  EXPECT_EQ(context.Corrupted, 0);
  EXPECT_EQ(context.Computed, 0);
}

TEST(Sha1, LengthBeyondSixtyFourBitsCorrupts) {
  SHA1Context context;
  SHA1Reset(&context);
  context.Length_High = 0xFFFFFFFFu;
  context.Length_Low = 0xFFFFFFF0u;  // room for one more byte only
  const unsigned char bytes[3] = {1, 2, 3};
  SHA1Input(&context, bytes, 1);
  EXPECT_EQ(context.Corrupted, 0);
  SHA1Input(&context, bytes, 1);
  EXPECT_NE(context.Corrupted, 0);
  EXPECT_EQ(SHA1Result(&context), 0);
}

}  // namespace
