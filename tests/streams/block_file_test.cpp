#include "streams/block_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "support/files.h"

namespace lzw {
namespace {

// The size at opening is only a hint: the file is read to its end.
TEST(BlockFileReader, ReadsToTheEndWhateverTheSizeAtOpen) {
  testing::TempDir dir;
  for (size_t size_after_open : {8000, 2000}) {  // grown, shrunk
    testing::write_file(dir.file("input"), testing::Bytes(5000, 'x'));
    BlockFile file(512);
    ASSERT_EQ(file.open_for_reading(dir.file("input").c_str()), kOk);
    ASSERT_EQ(::truncate(dir.file("input").c_str(), static_cast<off_t>(size_after_open)), 0);
    testing::Bytes read(10000, 0);
    Status status = kOk;
    EXPECT_EQ(file.read(read.data(), read.size(), &status), size_after_open);
    EXPECT_EQ(file.read(read.data(), read.size(), &status), 0u);
    EXPECT_EQ(status, kOk);
  }
}

// Archives past 4 GiB must be counted whole: only the start of a sparse file
// is read.
TEST(BlockFileReader, CountsFilesBeyondThirtyTwoBits) {
  testing::TempDir dir;
  testing::write_file(dir.file("large"), {0xA5, 0x0F});
  const uint64_t size = (uint64_t{1} << 32) + (1 << 20);
  ASSERT_EQ(::truncate(dir.file("large").c_str(), static_cast<off_t>(size)), 0);
  BlockFile file(512);
  ASSERT_EQ(file.open_for_reading(dir.file("large").c_str()), kOk);
  EXPECT_EQ(file.info().size, size);
  uint8_t first[2];
  Status status = kOk;
  ASSERT_EQ(file.read(first, 2, &status), 2u);
  EXPECT_EQ(first[0], 0xA5);
}

TEST(BlockFileWriter, WritesSmallerAndLargerThanTheBlockReachTheFileInOrder) {
  testing::TempDir dir;
  int descriptor = ::open(dir.file("output").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  BlockFile file(512);
  file.open_for_writing(descriptor);
  testing::Bytes expected;
  for (size_t size : {1, 510, 1, 512, 1300, 0, 3, 511, 2}) {
    const size_t start = expected.size();
    while (expected.size() < start + size) expected.push_back(static_cast<uint8_t>(expected.size() % 251));
    ASSERT_EQ(file.write(expected.data() + start, size), kOk);
  }
  ASSERT_EQ(file.flush(), kOk);
  ::close(descriptor);
  EXPECT_EQ(testing::read_file(dir.file("output")), expected);
}

}  // namespace
}  // namespace lzw
