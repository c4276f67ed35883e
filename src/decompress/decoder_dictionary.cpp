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
// How many codes ahead the start of an entry is prefetched, and the bytes
// it copies.
constexpr size_t kEntryLookahead = DecoderDictionary::kLookahead;
constexpr size_t kStringLookahead = 16;
// The output and the starts are filled from their beginning on and read
// back at random. Their pages are committed this far ahead of the frontier,
// one call for many pages: a fault for each 4 KiB page took three times the
// system time, and huge pages would hold up to 2 MiB each beyond the
// frontier, a tenth of a small expansion.
constexpr uint64_t kCommitAhead = 256 * 1024;
// From this archive size on, the buffers take huge pages anyway: reading
// back from a gigabyte of output through small pages took a third more user
// time, and 2 MiB of frontier per buffer is noise beside such an expansion.
constexpr uint64_t kHugePagedArchive = uint64_t{64} << 20;

// Commits the pages of `block` (of `capacity` bytes, committed up to `ready`)
// a chunk beyond `needed`; returns the new committed size.
uint64_t commit_ahead(void* block, uint64_t ready, uint64_t needed, uint64_t capacity) {
  if (needed <= ready) return ready;
  const uint64_t target = std::min(capacity, needed + kCommitAhead);
  platform::commit(static_cast<uint8_t*>(block) + ready, static_cast<size_t>(target - ready));
  return target;
}

}  // namespace

Status DecoderDictionary::expand(const uint32_t* codes, size_t count) {
  // The state in locals: stores to the output and the starts could alias
  // the members, which would then be reloaded for every code.
  uint8_t* output = output_;
  uint32_t* starts = starts_;
  uint64_t size = output_size_;
  uint64_t expanded = codes_;
  uint64_t output_ready = output_ready_;
  uint64_t starts_ready = starts_ready_;
  const uint64_t output_limit = limits_.output_bytes;
  Status status = kOk;
  for (size_t i = 0; i < count; ++i) {
    // First the start of an entry named soon, later the bytes it copies. A
    // root's code wraps to no entry.
    const uint64_t named_soon = uint64_t{codes[i + kEntryLookahead]} - 256;
    if (named_soon < expanded) __builtin_prefetch(&starts[named_soon]);
    const uint64_t named_sooner = uint64_t{codes[i + kStringLookahead]} - 256;
    if (named_sooner < expanded) __builtin_prefetch(output + starts[named_sooner]);

    const uint32_t code = codes[i];
    uint64_t offset = 0;
    uint64_t length = 1;
    if (code >= 256) {
      // The entry a code names is defined by the code after the one that
      // started it: entries up to the one this code itself defines exist.
      const uint64_t entry = uint64_t{code} - 256;
      if (entry >= expanded) {
        status = kInvalidArchive;
        break;
      }
      offset = starts[entry];
      length = (entry + 1 < expanded ? starts[entry + 1] : size) - offset + 1;
    }
    if (expanded >= starts_ready || size + length + kCopySlack > output_ready || size + length > output_limit) {
      codes_ = expanded;
      output_size_ = size;
      status = make_room(length);
      if (status != kOk) break;
      output = output_;
      starts = starts_;
      output_ready = output_ready_;
      starts_ready = starts_ready_;
    }
    starts[expanded++] = static_cast<uint32_t>(size);
    uint8_t* destination = output + size;
    size += length;
    if (code < 256) {
      *destination = static_cast<uint8_t>(code);
    } else if (length <= kCopySlack && destination - (output + offset) >= static_cast<ptrdiff_t>(kCopySlack)) {
      // Short strings far enough back: one fixed-size copy, spilling into
      // the slack behind the output.
      std::memcpy(destination, output + offset, kCopySlack);
    } else {
      // All but the last byte lie before the destination; the last one of
      // the entry being defined by this code is the first byte just copied.
      std::memcpy(destination, output + offset, length - 1);
      destination[length - 1] = output[offset + length - 1];
    }
  }
  codes_ = expanded;
  output_size_ = size;
  return status;
}

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
  const bool huge_pages = archive_bytes_ >= kHugePagedArchive;
  if (output_bytes != output_capacity_) {
    void* grown =
        output_ == nullptr ? platform::allocate_zeroed(output_bytes, huge_pages) : platform::resize(output_, output_bytes);
    if (grown == nullptr) return kOutOfMemory;
    output_ = static_cast<uint8_t*>(grown);
    output_capacity_ = output_bytes;
  }
  if (starts != starts_capacity_) {
    void* grown = starts_ == nullptr ? platform::allocate_zeroed(starts * sizeof(uint32_t), huge_pages)
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
