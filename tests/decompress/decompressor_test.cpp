#include "decompress/decompressor.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "streams/bit_file.h"
#include "support/files.h"

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
  Bytes archive = {0x00, 0x00, 0x02, 0x00, 0x20, 0x90, 0xA0, 0x10, 0x20};  // ABABABA: 65, 66, 256, 258
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
// each at the width its position calls for.
TEST(Decompressor, ReadsWiderCodesFromThe257thAnd769thOn) {
  for (auto [n, last_width] : {std::pair{257u, 10u}, {769u, 11u}}) {
    testing::TempDir dir;
    int descriptor = ::open(dir.file("archive").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    BlockFile file;
    file.open_for_writing(descriptor);
    BitFile bits(&file);
    bits.write_bits(512, 32);
    std::string expected;
    for (uint32_t k = 1; k < n; ++k) {
      bits.write_bits((k - 1) % 256, k <= 256 ? 9 : 10);
      expected.push_back(static_cast<char>(k - 1));
    }
    bits.write_bits('A', last_width);
    ASSERT_EQ(bits.close(), kOk);
    ::close(descriptor);
    EXPECT_EQ(expand(testing::read_file(dir.file("archive"))), Result(kOk, expected + 'A')) << n;
  }
}

}  // namespace
}  // namespace lzw
