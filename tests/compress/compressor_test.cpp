#include "compress/compressor.h"

#include <gtest/gtest.h>

#include <fstream>

#include "decompress/decompressor.h"
#include "support/files.h"
#include "support/reference_model.h"
#include "support/sha256.h"

namespace lzw {
namespace {

using testing::Bytes;

Bytes compress(const testing::TempDir& dir, const Bytes& input) {
  testing::write_file(dir.file("in"), input);
  EXPECT_EQ(compress_file(dir.file("in").c_str()), kOk);
  return testing::read_file(dir.file("in.LZW"));
}

TEST(Compressor, WritesTheseExactArchives) {
  const struct { std::string input; Bytes archive; } rows[] = {
      {"", {0x00, 0x00, 0x02, 0x00}},
      {"A", {0x00, 0x00, 0x02, 0x00, 0x20, 0xA0}},
      {"ABABABA", testing::kAbababaArchive},
  };
  testing::TempDir dir;
  for (const auto& row : rows) EXPECT_EQ(compress(dir, testing::to_bytes(row.input)), row.archive) << row.input;
  Bytes distinct(256);
  for (int i = 0; i < 256; ++i) distinct[i] = static_cast<uint8_t>(i);
  EXPECT_EQ(compress(dir, distinct).size(), 4u + 256 * 9 / 8);
}

TEST(Compressor, AcceptsInputsBelowTwoGibibytes) {
  EXPECT_TRUE(input_size_supported((uint64_t{1} << 31) - 1));
  EXPECT_FALSE(input_size_supported(uint64_t{1} << 31));
}

TEST(Compressor, CorpusArchivesMatchTheirRecordedDigestsAndExpandBack) {
  std::ifstream list(std::string(LZW_TEST_DATA_DIR) + "/corpus/archives.sha256");
  testing::TempDir dir;
  std::string digest, archive;
  int archives = 0;
  for (; list >> digest >> archive; ++archives) {
    const std::string input = archive.substr(0, archive.size() - 4);
    const Bytes original = testing::read_test_data("corpus/" + input);
    testing::write_file(dir.file(input), original);
    ASSERT_EQ(compress_file(dir.file(input).c_str()), kOk) << input;
    EXPECT_EQ(testing::sha256_hex(testing::read_file(dir.file(archive))), digest) << archive;
    ASSERT_EQ(decompress_file(dir.file(archive).c_str(), dir.file("expanded").c_str()), kOk) << archive;
    EXPECT_EQ(testing::read_file(dir.file("expanded")), original) << archive;
  }
  EXPECT_EQ(archives, 7);
}

// Each of the 65536 byte pairs once (65537 bytes): every code stands for one
// byte, so the dictionary outgrows the capacity estimated for the size.
TEST(Compressor, InputOutgrowingItsEstimateGetsTheHeaderSizePlus256OrRunsOutOfMemory) {
  Bytes input;
  for (int a = 0; a < 256; ++a) {
    input.push_back(a);
    for (int b = a + 1; b < 256; ++b) input.insert(input.end(), {uint8_t(a), uint8_t(b)});
  }
  input.push_back(0);
  testing::TempDir dir;
  const Bytes archive = compress(dir, input);
  EXPECT_EQ(Bytes(archive.begin(), archive.begin() + 4), (Bytes{0x00, 0x01, 0x01, 0x01}));  // 65537 + 256
  ASSERT_EQ(decompress_file(dir.file("in.LZW").c_str(), dir.file("out").c_str()), kOk);
  EXPECT_EQ(testing::read_file(dir.file("out")), input);
  for (uint64_t memory_bytes : {uint64_t{0}, uint64_t{256 * 1024}}) {  // at the start, while growing
    testing::TempDir other;
    testing::write_file(other.file("in"), input);
    EXPECT_EQ(compress_file(other.file("in").c_str(), Limits{.memory_bytes = memory_bytes}), kOutOfMemory);
    EXPECT_EQ(other.entries(), std::vector<std::string>{"in"}) << memory_bytes;
  }
}

}  // namespace
}  // namespace lzw
