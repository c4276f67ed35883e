#include "decompress/decompressor.h"

#include <gtest/gtest.h>

#include "support/files.h"
#include "support/reference_model.h"

namespace lzw {
namespace {

using testing::Bytes;
using Result = std::pair<Status, std::string>;

// Expands `archive`; on failure checks that no output was left behind.
Result expand(const Bytes& archive, uint64_t output_limit = Limits().output_bytes,
              uint64_t memory_limit = Limits().memory_bytes) {
  testing::TempDir dir;
  testing::write_file(dir.file("archive"), archive);
  ExpansionSizes sizes;
  Status status = decompress_file(dir.file("archive").c_str(), dir.file("out").c_str(), &sizes,
                                  Limits{.memory_bytes = memory_limit, .output_bytes = output_limit});
  if (status != kOk) {
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"archive"});
    return {status, ""};
  }
  const Bytes output = testing::read_file(dir.file("out"));
  EXPECT_EQ(sizes.archive_bytes, archive.size());
  EXPECT_EQ(sizes.output_bytes, output.size());
  return {status, std::string(output.begin(), output.end())};
}

TEST(Decompressor, StopsAtTheFirstCodeRunningPastTheEnd) {
  Bytes archive = testing::kAbababaArchive;
  const char* outputs[] = {"", "", "A", "AB", "ABAB", "ABABABA"};          // of its first 4 to 9 bytes
  for (size_t size = 0; size <= archive.size(); ++size) {
    const auto expected = size < 4 ? Result{kInvalidArchive, ""} : Result{kOk, outputs[size - 4]};
    EXPECT_EQ(expand(Bytes(archive.begin(), archive.begin() + size)), expected) << size;
  }
  EXPECT_EQ(expand(archive, 7), Result(kOk, "ABABABA"));
  EXPECT_EQ(expand(archive, 6), Result(kInvalidArchive, ""));
  EXPECT_EQ(expand(archive, 7, 1024), Result(kOutOfMemory, ""));
  std::fill_n(archive.begin(), 4, 0xFF);  // the header is not used
  EXPECT_EQ(expand(archive), Result(kOk, "ABABABA"));
}

// Codes 1 to n - 1 are the bytes 0, 1, ..., 255, 0, ... and code n is 'A',
// each at the width its position calls for (the model's own rule).
TEST(Decompressor, ReadsWiderCodesFromThe257thAnd769thOn) {
  for (uint32_t n : {257u, 769u}) {
    std::vector<uint32_t> codes;
    std::string expected;
    for (uint32_t k = 1; k < n; ++k) {
      codes.push_back((k - 1) % 256);
      expected.push_back(static_cast<char>(k - 1));
    }
    codes.push_back('A');
    const Bytes archive = testing::reference_archive(512, codes);
    EXPECT_EQ(expand(archive), Result(kOk, expected + 'A')) << n;
  }
}

}  // namespace
}  // namespace lzw
