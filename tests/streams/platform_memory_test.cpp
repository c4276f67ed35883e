#include "streams/platform_memory.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>

namespace lzw {
namespace {

// The committing thread only asks for pages, so what the caller writes
// meanwhile stays; giving pages back zeroes only those wholly inside the
// range, never the live bytes sharing a page with its ends.
TEST(PlatformMemory, BackgroundCommitKeepsWritesAndDecommitSparesPartPages) {
  constexpr size_t kBytes = size_t{16} << 20;
  auto* block = static_cast<uint8_t*>(platform::allocate_zeroed(kBytes));
  ASSERT_NE(block, nullptr);
  platform::BackgroundCommit committer;
  committer.start(block, kBytes);
  std::memset(block, 0xAB, kBytes);
  committer.stop();
  committer.stop();

  const auto page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  uint8_t* const aligned = block + (page - reinterpret_cast<uintptr_t>(block) % page);
  platform::decommit(aligned + page / 2, 3 * page);  // whole pages: the second and third
  for (size_t offset = 0; offset < 4 * page; ++offset) {
    const bool given_back = offset >= page && offset < 3 * page;
    ASSERT_EQ(aligned[offset], given_back ? 0 : 0xAB) << offset;
  }
  platform::release(block);
}

}  // namespace
}  // namespace lzw
