#include "streams/platform_memory.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <system_error>

namespace lzw::platform {
namespace {

// Gives `advice` for the pages of `page` bytes wholly inside [start, start + bytes).
void advise_inside(void* start, size_t bytes, uintptr_t page, int advice) {
  const uintptr_t first = (reinterpret_cast<uintptr_t>(start) + page - 1) & ~(page - 1);
  const uintptr_t last = (reinterpret_cast<uintptr_t>(start) + bytes) & ~(page - 1);
  if (last > first) madvise(reinterpret_cast<void*>(first), last - first, advice);
}

}  // namespace

void* allocate_zeroed(size_t bytes, bool huge_pages) {
  void* block = std::calloc(1, bytes);
  // Tables far larger than the caches are probed at random: huge pages
  // spare most of the TLB misses.
  if (block != nullptr && huge_pages && bytes >= kLeastHugePagedBlock) advise_inside(block, bytes, kHugePage, MADV_HUGEPAGE);
  return block;
}

void* resize(void* block, size_t bytes) { return std::realloc(block, bytes); }

void release(void* block) { std::free(block); }

void commit(void* start, size_t bytes) {
#if defined(MADV_POPULATE_WRITE)
  // Pages partly outside the range are committed too: they belong to the block.
  const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  const uintptr_t first = reinterpret_cast<uintptr_t>(start) & ~(page - 1);
  const uintptr_t last = (reinterpret_cast<uintptr_t>(start) + bytes + page - 1) & ~(page - 1);
  if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_POPULATE_WRITE);
#else
  (void)start;
  (void)bytes;
#endif
}

void decommit(void* start, size_t bytes) {
  advise_inside(start, bytes, static_cast<uintptr_t>(sysconf(_SC_PAGESIZE)), MADV_DONTNEED);
}

void BackgroundCommit::start(void* start, size_t bytes) {
  stop();
  char* const begin = static_cast<char*>(start);
  char* const end = begin + bytes;
  sigset_t all, mask;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &mask);  // the new thread inherits the mask
  try {
    thread_ = std::thread([this, begin, end] {
      for (char* from = begin; from < end && !stopping_.load(std::memory_order_relaxed); from += kHugePage) {
        commit(from, std::min<size_t>(kHugePage, static_cast<size_t>(end - from)));
      }
    });
  } catch (const std::system_error&) {
    // No thread: the pages fault in as they are touched.
  }
  pthread_sigmask(SIG_SETMASK, &mask, nullptr);
}

void BackgroundCommit::stop() {
  if (!thread_.joinable()) return;
  stopping_.store(true, std::memory_order_relaxed);
  thread_.join();
  stopping_.store(false, std::memory_order_relaxed);
}

namespace {

// Reserves the disk space of bytes [from, to) of a file, extending it.
bool reserve(int descriptor, size_t from, size_t to) {
  return to <= from || fallocate(descriptor, 0, static_cast<off_t>(from), static_cast<off_t>(to - from)) == 0;
}

}  // namespace

void* map_file(int descriptor, size_t bytes, bool huge_pages) {
  if (!reserve(descriptor, 0, bytes)) return nullptr;
  void* block = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, descriptor, 0);
  if (block == MAP_FAILED) return nullptr;
  if (huge_pages) madvise(block, bytes, MADV_HUGEPAGE);
  return block;
}

void* remap_file(void* block, size_t old_bytes, int descriptor, size_t bytes) {
  if (!reserve(descriptor, old_bytes, bytes)) return nullptr;
  void* grown = mremap(block, old_bytes, bytes, MREMAP_MAYMOVE);
  return grown == MAP_FAILED ? nullptr : grown;
}

void unmap(void* block, size_t bytes) {
  if (block != nullptr) munmap(block, bytes);
}

}  // namespace lzw::platform
