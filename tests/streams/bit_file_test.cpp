#include "streams/bit_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <random>

#include "support/files.h"

namespace lzw {
namespace {

using testing::Bytes;
using Values = std::vector<std::pair<uint32_t, unsigned>>;  // (value, width)

Bytes write_values(const std::string& path, const Values& values) {
  int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  BlockFile file(1000);
  file.open_for_writing(descriptor);
  BitFile bits(&file);
  for (auto [value, width] : values) bits.write_bits(value, width);
  EXPECT_EQ(bits.close(), kOk);
  ::close(descriptor);
  return testing::read_file(path);
}

TEST(CodeWidth, SwitchesAtThe257thAnd769thCode) {
  for (auto [code, width] : {std::pair{1u, 9u}, {256u, 9u}, {257u, 10u}, {768u, 10u}, {769u, 11u}}) {
    EXPECT_EQ(code_width(code), width) << code;
  }
}

TEST(BitFileWriter, PacksMostSignificantBitFirstAndFillsWithThePreviousBytesBits) {
  const struct { Values values; Bytes bytes; } rows[] = {
      {{{511, 9}, {511, 9}}, {0xFF, 0xFF, 0xFF}}, {{{511, 9}, {0, 9}}, {0xFF, 0x80, 0x00}},
      {{{0xABCD, 16}}, {0xAB, 0xCD}}, {{{0x01020304, 32}}, {0x01, 0x02, 0x03, 0x04}}, {{{5, 3}}, {0xA0}},
      {{{0x12345678, 32}, {1, 1}}, {0x12, 0x34, 0x56, 0x78, 0xF8}},
      {{{5, 3}, {0xFFFF, 9}}, {0xBF, 0xFF}},  // bits above the width are left out
  };
  testing::TempDir dir;
  for (const auto& row : rows) EXPECT_EQ(write_values(dir.file("bits"), row.values), row.bytes);
}

TEST(BitFileReader, RefusesAValueRunningPastTheEnd) {
  testing::TempDir dir;
  testing::write_file(dir.file("bits"), {0xA5, 0x0F});
  BlockFile file;
  ASSERT_EQ(file.open_for_reading(dir.file("bits").c_str()), kOk);
  BitFile bits(&file, file.remaining());
  uint32_t value = 0;
  EXPECT_TRUE(bits.read_bits(9, &value));
  EXPECT_EQ(value, 330u);
  EXPECT_FALSE(bits.read_bits(9, &value));
}

TEST(BitFile, RandomValuesOfEveryWidthRoundTripAcrossBlocks) {
  testing::TempDir dir;
  std::mt19937 random(7);
  Values values(30000);
  for (auto& [value, width] : values) {
    width = 1 + random() % 32;
    value = static_cast<uint32_t>(random()) >> (32 - width);
  }
  write_values(dir.file("bits"), values);
  BlockFile file(1000);
  ASSERT_EQ(file.open_for_reading(dir.file("bits").c_str()), kOk);
  BitFile bits(&file, file.remaining());
  uint32_t value;
  for (auto [expected, width] : values) ASSERT_TRUE(bits.read_bits(width, &value) && value == expected);
  EXPECT_FALSE(bits.read_bits(8, &value));  // at most 7 bits of filler
}

}  // namespace
}  // namespace lzw
