#include "compress/encoder_dictionary.h"

#include <algorithm>

#include "streams/platform_memory.h"

namespace lzw {
namespace {

// For a fixed prefix, last bytes b1 != b2 give hashes whose difference is
// d * 2^shift * kMultiplier (mod 2^64) with 0 < |d| < 256: shift 0 for
// extend_hash, 16 for the third byte of triple_hash. When every such product
// keeps at least 2^33 away from 0 modulo 2^64, the high 32 bits of the two
// hashes differ by at least 2 (modulo 2^32), so a slot's (prefix, tag) pins
// the byte down exactly, even with the tag's lowest bit forced to 1.
constexpr bool tags_tell_bytes_apart(uint64_t multiplier, unsigned shift) {
  for (uint64_t d = 1; d < 256; ++d) {
    uint64_t product = (d << shift) * multiplier;
    if (product < (uint64_t{1} << 33) || product > ~uint64_t{0} - (uint64_t{1} << 33)) return false;
  }
  return true;
}

constexpr size_t kPairBytes = 65536 * sizeof(uint32_t);
constexpr size_t kFirstBucketCount = 1024;
// Small tables double; large ones grow by a quarter so that memory stays
// close to what the entries need.
constexpr size_t kGentleGrowthFrom = (size_t{32} << 20) / 64;
constexpr size_t kAlignment = 64;

// Buckets that hold `entries` at the 80% load that makes the table grow.
uint64_t buckets_for(uint64_t entries) { return entries / 4 + 1; }

}  // namespace

static_assert(tags_tell_bytes_apart(0x9E3779B97F4A7C15u, 0));
static_assert(tags_tell_bytes_apart(0x9E3779B97F4A7C15u, 16));

EncoderDictionary::~EncoderDictionary() {
  platform::release(pairs_);
  platform::release(block_);
}

Status EncoderDictionary::initialize(uint64_t memory_limit, uint64_t expected_entries) {
  if (memory_limit < kPairBytes) return kOutOfMemory;
  memory_limit_ = memory_limit - kPairBytes;
  pairs_ = static_cast<uint32_t*>(platform::allocate_zeroed(kPairBytes));
  const uint64_t wanted = std::min<uint64_t>(buckets_for(expected_entries), kGentleGrowthFrom);
  return pairs_ != nullptr && rebuild(std::max<size_t>(kFirstBucketCount, wanted)) ? kOk : kOutOfMemory;
}

size_t EncoderDictionary::bucket_with_room(uint32_t tag) const {
  size_t b = home_bucket(tag);
  while (buckets_[b].filled == kSlotsPerBucket) b = next_bucket(b);
  return b;
}

void EncoderDictionary::fill(Bucket& bucket, uint32_t tag, uint32_t prefix, uint32_t code) {
  bucket.tags[bucket.filled] = tag;
  bucket.prefixes[bucket.filled] = prefix;
  bucket.codes[bucket.filled] = code;
  ++bucket.filled;
}

int32_t EncoderDictionary::insert(size_t bucket, uint32_t prefix, uint32_t tag) {
  if (entries_ >= grow_at_) {
    if (!grow()) return kNoMemory;
    bucket = bucket_with_room(tag);
  }
  fill(buckets_[bucket], tag, prefix, count_);
  ++count_;
  ++entries_;
  return kInserted;
}

bool EncoderDictionary::grow() {
  const size_t step = bucket_count_ < kGentleGrowthFrom ? bucket_count_ * 2 : bucket_count_ + bucket_count_ / 4;
  // At most double: an early estimate may run high.
  const size_t expected = static_cast<size_t>(std::min<uint64_t>(buckets_for(expected_entries_), bucket_count_ * 2));
  return rebuild(std::max(step, expected));
}

bool EncoderDictionary::rebuild(size_t new_count) {
  const size_t old_count = bucket_count_;
  const uint64_t new_bytes = uint64_t{new_count} * sizeof(Bucket) + kAlignment;
  if (new_bytes > memory_limit_) return false;
  void* new_block = platform::allocate_zeroed(new_bytes);
  if (new_block == nullptr) return false;
  void* old_block = block_;
  Bucket* old_buckets = buckets_;
  block_ = new_block;
  buckets_ = reinterpret_cast<Bucket*>((reinterpret_cast<uintptr_t>(new_block) + kAlignment - 1) & ~(kAlignment - 1));
  bucket_count_ = new_count;
  grow_at_ = new_count * kSlotsPerBucket / 5 * 4;
  // Home buckets keep their order when the table grows, so this pass reads
  // the old table and writes the new one nearly sequentially, and the part
  // of the old table already copied can be handed back at once.
  constexpr size_t kReleaseStep = (size_t{2} << 20) / sizeof(Bucket);
  for (size_t b = 0; b < old_count; ++b) {
    const Bucket& bucket = old_buckets[b];
    for (unsigned s = 0; s < bucket.filled; ++s) {
      fill(buckets_[bucket_with_room(bucket.tags[s])], bucket.tags[s], bucket.prefixes[s], bucket.codes[s]);
    }
    if ((b + 1) % kReleaseStep == 0) platform::discard(&old_buckets[b + 1 - kReleaseStep], kReleaseStep * sizeof(Bucket));
  }
  platform::release(old_block);
  return true;
}

}  // namespace lzw
