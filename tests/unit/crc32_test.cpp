#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "lang/crc32.h"

namespace {

// The byte-wise rule, bit by bit: the reference the eight-byte steps must match.
uint32_t ReferenceCrc32(uint32_t crc, const unsigned char* bytes, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    crc ^= bytes[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
  }
  return crc;
}

uint32_t StandardCrc32(const char* text) {
  return ~Crc32(0xFFFFFFFFu, text, std::strlen(text));
}

TEST(Crc32, KnownValues) {
  EXPECT_EQ(StandardCrc32(""), 0x00000000u);
  EXPECT_EQ(StandardCrc32("a"), 0xE8B7BE43u);
  EXPECT_EQ(StandardCrc32("123456789"), 0xCBF43926u);
  EXPECT_EQ(StandardCrc32("The quick brown fox jumps over the lazy dog"), 0x414FA339u);
}

TEST(Crc32, WorkedKeys) {
  EXPECT_EQ(StandardCrc32("$LTRLTR"), 0x50a17ae8u);
  EXPECT_EQ(StandardCrc32("$SETUPDLG"), 0x9b889d24u);
  EXPECT_EQ(StandardCrc32("s"), 0x1b0ecf0bu);
}

TEST(Crc32, ZeroLengthLeavesTheValue) {
  EXPECT_EQ(Crc32(0x12345678u, "x", 0), 0x12345678u);
}

TEST(Crc32, MatchesTheByteRuleOverRandomLengthsAndAlignments) {
  std::mt19937 random(20261208);
  std::vector<unsigned char> block(4096 + 16);
  for (unsigned char& b : block) b = static_cast<unsigned char>(random());
  std::uniform_int_distribution<size_t> length_of(0, 4096);
  for (int round = 0; round < 2000; ++round) {
    size_t offset = round % 16;  // every alignment of the start
    size_t length = round < 64 ? static_cast<size_t>(round) : length_of(random);
    uint32_t start = round % 3 == 0 ? 0xFFFFFFFFu : static_cast<uint32_t>(random());
    ASSERT_EQ(Crc32(start, block.data() + offset, length),
              ReferenceCrc32(start, block.data() + offset, length))
        << "offset " << offset << " length " << length;
  }
}

TEST(Crc32, SplitAnywhereGivesTheSameValue) {
  const char text[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  size_t length = sizeof(text) - 1;
  uint32_t whole = Crc32(0xFFFFFFFFu, text, length);
  for (size_t split = 0; split <= length; ++split) {
    uint32_t crc = Crc32(0xFFFFFFFFu, text, split);
    EXPECT_EQ(Crc32(crc, text + split, length - split), whole) << split;
  }
}

}  // namespace
