#include "decompress/decoder_dictionary.h"

#include <algorithm>
#include <cstring>

#include "streams/platform_memory.h"

namespace lzw {
namespace {

constexpr uint64_t kFirstOutputBytes = 64 * 1024;
constexpr uint64_t kFirstStarts = 16 * 1024;
// Archives of ordinary data expand to about two to four times their size;
// the first buffers are sized for that, and their pages are only committed
// as the output reaches them.
constexpr uint64_t kExpectedExpansion = 4;
// The output and the starts are filled from their beginning on and read
// back at random. Their pages are committed this far ahead of the frontier,
// one call for many pages: a fault for each 4 KiB page took three times the
// system time, and huge pages would hold up to 2 MiB each beyond the
// frontier, a tenth of a small expansion.
constexpr uint64_t kCommitAhead = 256 * 1024;

// Commits the pages of `block` (of `capacity` bytes, committed up to `ready`)
// a chunk beyond `needed`; returns the new committed size.
uint64_t commit_ahead(void* block, uint64_t ready, uint64_t needed, uint64_t capacity) {
  if (needed <= ready) return ready;
  const uint64_t target = std::min(capacity, needed + kCommitAhead);
  platform::commit(static_cast<uint8_t*>(block) + ready, static_cast<size_t>(target - ready));
  return target;
}

}  // namespace

DecoderDictionary::DecoderDictionary(const Limits& limits, uint64_t archive_bytes)
    : limits_(limits), archive_bytes_(archive_bytes) {}

DecoderDictionary::~DecoderDictionary() {
  platform::release(output_);
  platform::release(starts_);
}

Status DecoderDictionary::make_room(uint64_t length) {
  if (output_size_ + length > limits_.output_bytes) return kInvalidArchive;
  uint64_t output_bytes = output_capacity_;
  if (output_bytes == 0) {
    const uint64_t expected = std::min(archive_bytes_ * kExpectedExpansion, limits_.output_bytes);
    output_bytes = std::max(kFirstOutputBytes, expected + kCopySlack);
  }
  while (output_bytes < output_size_ + length + kCopySlack) output_bytes *= 2;
  uint64_t starts = starts_capacity_;
  if (starts == 0) {
    // Every code takes at least 9 bits.
    starts = std::max(kFirstStarts, archive_bytes_ * 8 / 9 + 1);
  } else if (codes_ >= starts) {
    starts *= 2;
  }
  if (output_bytes + starts * sizeof(uint32_t) > limits_.memory_bytes) return kOutOfMemory;
  if (output_bytes != output_capacity_) {
    void* grown =
        output_ == nullptr ? platform::allocate_zeroed(output_bytes, false) : platform::resize(output_, output_bytes);
    if (grown == nullptr) return kOutOfMemory;
    output_ = static_cast<uint8_t*>(grown);
    output_capacity_ = output_bytes;
  }
  if (starts != starts_capacity_) {
    void* grown = starts_ == nullptr ? platform::allocate_zeroed(starts * sizeof(uint32_t), false)
                                     : platform::resize(starts_, starts * sizeof(uint32_t));
    if (grown == nullptr) return kOutOfMemory;
    starts_ = static_cast<uint32_t*>(grown);
    starts_capacity_ = starts;
  }
  output_ready_ = commit_ahead(output_, output_ready_, output_size_ + length + kCopySlack, output_capacity_);
  starts_ready_ =
      commit_ahead(starts_, starts_ready_ * sizeof(uint32_t), (codes_ + 1) * sizeof(uint32_t), starts_capacity_ * sizeof(uint32_t)) /
      sizeof(uint32_t);
  return kOk;
}

}  // namespace lzw
