#ifndef LZW_STREAMS_PLATFORM_MEMORY_H_
#define LZW_STREAMS_PLATFORM_MEMORY_H_

#include <atomic>
#include <cstddef>
#include <thread>

// The operating-system calls the codec makes: memory for its tables, whose
// pages matter at the sizes they reach. Part of the library, unlike the file
// and signal calls of platform.h, which belong to the program.
namespace lzw::platform {

// The huge page size, and the least block allocate_zeroed offers huge pages.
inline constexpr size_t kHugePage = size_t{2} << 20;
inline constexpr size_t kLeastHugePagedBlock = 2 * kHugePage;

// Zero-filled memory whose pages are committed only when touched; nullptr on
// failure. Blocks of kLeastHugePagedBlock bytes or more are offered to the
// kernel for huge pages, in the whole huge pages inside them, unless
// `huge_pages` is false.
void* allocate_zeroed(size_t bytes, bool huge_pages = true);
// Grows a block from allocate_zeroed or resize; the new bytes are not zeroed.
void* resize(void* block, size_t bytes);
void release(void* block);
// Commits the pages of [start, start + bytes) of a block at once, which costs
// less than a fault for each; where the system cannot, they are committed
// when touched, as usual.
void commit(void* start, size_t bytes);
// Gives back the pages wholly inside [start, start + bytes) of a block; they
// read as zeros again when next touched.
void decommit(void* start, size_t bytes);

// Commits pages of a block on a thread of its own while the caller goes on,
// so that the kernel's zeroing of fresh pages, which in a virtual machine
// costs a tenth of compressing a large input, runs on another core. The
// thread only asks the kernel for the pages and never reads or writes them,
// so the caller may use the range meanwhile. It blocks every signal, which
// thus reach the program's own threads and their handlers.
class BackgroundCommit {
 public:
  BackgroundCommit() = default;
  ~BackgroundCommit() { stop(); }
  BackgroundCommit(const BackgroundCommit&) = delete;
  BackgroundCommit& operator=(const BackgroundCommit&) = delete;

  // Stops any earlier range, then commits [start, start + bytes) a huge page
  // at a time. Where no thread can be started, the pages are committed when
  // touched, as usual.
  void start(void* start, size_t bytes);
  // Stops at the next huge page and waits for the thread: afterwards nothing
  // is done to the block, which may then move or be released.
  void stop();

 private:
  std::thread thread_;                 // the committing thread, until stopped
  std::atomic<bool> stopping_{false};  // asks it to stop early
};

// Maps the first `bytes` of the file `descriptor`, shared, after reserving
// its disk space: a write to the mapping can then not meet a full disk, which
// would raise SIGBUS. With `huge_pages`, the mapping is offered huge pages,
// which file systems with large folios (ext4, xfs) can give. nullptr
// on failure (a full disk, a file system that cannot reserve space).
void* map_file(int descriptor, size_t bytes, bool huge_pages);
// Grows a block from map_file of `old_bytes` to `bytes`, likewise; nullptr on
// failure, when the block stays as it was.
void* remap_file(void* block, size_t old_bytes, int descriptor, size_t bytes);
void unmap(void* block, size_t bytes);

}  // namespace lzw::platform

#endif  // LZW_STREAMS_PLATFORM_MEMORY_H_
