#include "decompress/decoder_dictionary.h"

#include <algorithm>
#include <cstring>
#include <new>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "streams/platform_memory.h"

namespace lzw {
namespace {

constexpr uint64_t kFirstOutputBytes = 64 * 1024;
constexpr uint64_t kFirstGroups = 2 * 1024;
// Archives of ordinary data expand to about two to four times their size;
// the first buffers are sized for that, and their pages are only committed
// as the output reaches them.
constexpr uint64_t kExpectedExpansion = 4;
// How many codes ahead the start of an entry is prefetched, and the bytes
// it copies.
constexpr size_t kEntryLookahead = DecoderDictionary::kLookahead;
constexpr size_t kStringLookahead = 32;
// The output and the starts are filled from their beginning on and read
// back at random. Their pages are committed this far ahead of the frontier,
// one call for many pages: a fault for each 4 KiB page took three times the
// system time, and huge pages would hold up to 2 MiB each beyond the
// frontier, a tenth of a small expansion.
constexpr uint64_t kCommitAhead = 256 * 1024;
// From this archive size on, the buffers take huge pages anyway, the output's
// file as well as memory. Past a few megabytes the copies read back at
// random through more pages than the TLB holds, and on a virtual machine
// each miss walks two page tables: with huge pages random bytes and the text
// tar expanded about two-fifths faster from archives of 8 to 26 MB. The 2 MiB
// of frontier per buffer this may hold is at most a fifth of such an
// expansion's memory.
constexpr uint64_t kHugePagedArchive = uint64_t{8} << 20;

// Commits the pages of `block` (of `capacity` bytes, committed up to `ready`)
// a chunk beyond `needed`; returns the new committed size.
uint64_t commit_ahead(void* block, uint64_t ready, uint64_t needed, uint64_t capacity) {
  if (needed <= ready) return ready;
  const uint64_t target = std::min(capacity, needed + kCommitAhead);
  platform::commit(static_cast<uint8_t*>(block) + ready, static_cast<size_t>(target - ready));
  return target;
}

}  // namespace

inline uint64_t DecoderDictionary::start_of(const StartGroup* groups, uint64_t entry, uint64_t* length) const {
  const StartGroup& group = groups[entry / kGroupCodes];
  const unsigned k = static_cast<unsigned>(entry % kGroupCodes);
  if (group.wide != 0) return wide_start_of(group, k, length);
  *length = group.lengths[k];
  // The lengths of the codes before this one, added up.
  static constexpr uint64_t kBytesBelow[kGroupCodes] = {
      0, 0xFF, 0xFFFF, 0xFFFFFF, 0xFFFFFFFF, 0xFFFFFFFFFF, 0xFFFFFFFFFFFF, 0xFFFFFFFFFFFFFF};
  uint64_t lengths;
  std::memcpy(&lengths, group.lengths, sizeof lengths);
  lengths &= kBytesBelow[k];
#if defined(__SSE2__)
  // One instruction adds the eight bytes.
  const __m128i sum = _mm_sad_epu8(_mm_cvtsi64_si128(static_cast<long long>(lengths)), _mm_setzero_si128());
  return group.first + static_cast<uint32_t>(_mm_cvtsi128_si32(sum));
#else
  lengths = (lengths & 0x00FF00FF00FF00FFu) + ((lengths >> 8) & 0x00FF00FF00FF00FFu);
  return group.first + ((lengths * 0x0001000100010001u) >> 48);
#endif
}

inline bool DecoderDictionary::record(StartGroup* groups, uint64_t entry, uint64_t offset, uint64_t length) {
  StartGroup& group = groups[entry / kGroupCodes];
  const unsigned k = static_cast<unsigned>(entry % kGroupCodes);
  if (k == 0) {
    group.first = static_cast<uint32_t>(offset);
    group.wide = 0;
  }
  if ((group.wide | (length >> 8)) == 0) {  // a narrow group, and a length that fits a byte
    group.lengths[k] = static_cast<uint8_t>(length);
    return true;
  }
  return record_wide(group, k, length);
}

Status DecoderDictionary::expand(const uint32_t* codes, size_t count) {
  // The state in locals: stores to the output and the starts could alias
  // the members, which would then be reloaded for every code.
  uint8_t* output = output_;
  StartGroup* groups = groups_;
  uint64_t size = output_size_;
  uint64_t expanded = codes_;
  // make_room is due when a code reaches codes_ready, or an expansion and
  // its slack pass output_room: the committed pages, or the limit.
  uint64_t codes_ready = groups_ready_ * kGroupCodes;
  uint64_t output_room = std::min(output_ready_, limits_.output_bytes + kCopySlack);
  Status status = kOk;
  for (size_t i = 0; i < count; ++i) {
    // First the start of an entry named soon, later the bytes it copies. A
    // root's code wraps to no entry.
    const uint64_t named_soon = uint64_t{codes[i + kEntryLookahead]} - 256;
    if (named_soon < expanded) __builtin_prefetch(&groups[named_soon / kGroupCodes]);
    const uint64_t named_sooner = uint64_t{codes[i + kStringLookahead]} - 256;
    if (named_sooner < expanded) {
      // The group's expansions start within a line or two of its first.
      const uint8_t* near = output + groups[named_sooner / kGroupCodes].first;
      __builtin_prefetch(near);
      __builtin_prefetch(near + 64);
    }

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
      offset = start_of(groups, entry, &length);
      ++length;
    }
    if (expanded >= codes_ready || size + length + kCopySlack > output_room) {
      codes_ = expanded;
      output_size_ = size;
      status = make_room(length);
      if (status != kOk) break;
      output = output_;
      groups = groups_;
      codes_ready = groups_ready_ * kGroupCodes;
      output_room = std::min(output_ready_, limits_.output_bytes + kCopySlack);
    }
    if (!record(groups, expanded, size, length)) {
      status = kOutOfMemory;
      break;
    }
    ++expanded;
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

uint64_t DecoderDictionary::wide_start_of(const StartGroup& group, unsigned k, uint64_t* length) const {
  const uint32_t* lengths = &wide_lengths_[wide_index(group)];
  *length = lengths[k];
  uint64_t start = group.first;
  for (unsigned j = 0; j < k; ++j) start += lengths[j];
  return start;
}

bool DecoderDictionary::record_wide(StartGroup& group, unsigned k, uint64_t length) {
  if (group.wide == 0) {
    // The group's first long expansion: its lengths move to 32 bits. There
    // is at most one wide group for every 256 bytes of output.
    const size_t wide_lengths = wide_lengths_.size() + kGroupCodes;
    if (!fits_memory(output_capacity_, groups_capacity_, wide_lengths)) return false;
    try {
      wide_lengths_.resize(wide_lengths);
    } catch (const std::bad_alloc&) {
      return false;
    }
    group.wide = static_cast<uint32_t>(wide_lengths / kGroupCodes);
    std::copy(group.lengths, group.lengths + k, &wide_lengths_[wide_index(group)]);
  }
  wide_lengths_[wide_index(group) + k] = static_cast<uint32_t>(length);
  return true;
}

bool DecoderDictionary::fits_memory(uint64_t output_bytes, uint64_t groups, size_t wide_lengths) const {
  // A vector may hold twice its size while it grows.
  return output_bytes + groups * sizeof(StartGroup) + 2 * wide_lengths * sizeof(uint32_t) <= limits_.memory_bytes;
}

DecoderDictionary::DecoderDictionary(const Limits& limits, uint64_t archive_bytes)
    : limits_(limits), archive_bytes_(archive_bytes) {}

DecoderDictionary::~DecoderDictionary() {
  if (output_in_file()) {
    platform::unmap(output_, output_capacity_);
  } else {
    platform::release(output_);
  }
  platform::release(groups_);
}

Status DecoderDictionary::grow_output(uint64_t bytes, bool huge_pages) {
  void* grown = nullptr;
  if (output_file_ >= 0 && output_ == nullptr) {
    grown = platform::map_file(output_file_, bytes, huge_pages);
    if (grown == nullptr) output_file_ = -1;
  } else if (output_file_ >= 0) {
    grown = platform::remap_file(output_, output_capacity_, output_file_, bytes);
    if (grown == nullptr) return move_output_to_memory(bytes, huge_pages);
  }
  if (grown == nullptr) {
    grown = output_ == nullptr ? platform::allocate_zeroed(bytes, huge_pages) : platform::resize(output_, bytes);
    if (grown == nullptr) return kOutOfMemory;
  }
  output_ = static_cast<uint8_t*>(grown);
  output_capacity_ = bytes;
  return kOk;
}

Status DecoderDictionary::move_output_to_memory(uint64_t bytes, bool huge_pages) {
  void* block = platform::allocate_zeroed(bytes, huge_pages);
  if (block == nullptr) return kOutOfMemory;
  std::memcpy(block, output_, output_size_);
  platform::unmap(output_, output_capacity_);
  output_file_ = -1;
  output_ = static_cast<uint8_t*>(block);
  output_capacity_ = bytes;
  output_ready_ = 0;  // the new block's pages are committed from its start again
  return kOk;
}

Status DecoderDictionary::make_room(uint64_t length) {
  if (output_size_ + length > limits_.output_bytes) return kInvalidArchive;
  uint64_t output_bytes = output_capacity_;
  if (output_bytes == 0) {
    const uint64_t expected = std::min(archive_bytes_ * kExpectedExpansion, limits_.output_bytes);
    output_bytes = std::max(kFirstOutputBytes, expected + kCopySlack);
  }
  while (output_bytes < output_size_ + length + kCopySlack) output_bytes *= 2;
  uint64_t groups = groups_capacity_;
  if (groups == 0) {
    // Every code takes at least 9 bits.
    groups = std::max(kFirstGroups, (archive_bytes_ * 8 / 9 + 1) / kGroupCodes + 1);
  } else if (codes_ >= groups * kGroupCodes) {
    groups *= 2;
  }
  if (!fits_memory(output_bytes, groups, wide_lengths_.size())) return kOutOfMemory;
  const bool huge_pages = archive_bytes_ >= kHugePagedArchive;
  if (output_bytes != output_capacity_) {
    Status status = grow_output(output_bytes, huge_pages);
    if (status != kOk) return status;
  }
  if (groups != groups_capacity_) {
    void* grown = groups_ == nullptr ? platform::allocate_zeroed(groups * sizeof(StartGroup), huge_pages)
                                     : platform::resize(groups_, groups * sizeof(StartGroup));
    if (grown == nullptr) return kOutOfMemory;
    groups_ = static_cast<StartGroup*>(grown);
    groups_capacity_ = groups;
  }
  output_ready_ = commit_ahead(output_, output_ready_, output_size_ + length + kCopySlack, output_capacity_);
  groups_ready_ = commit_ahead(groups_, groups_ready_ * sizeof(StartGroup), (codes_ / kGroupCodes + 1) * sizeof(StartGroup),
                               groups_capacity_ * sizeof(StartGroup)) /
                  sizeof(StartGroup);
  return kOk;
}

}  // namespace lzw
