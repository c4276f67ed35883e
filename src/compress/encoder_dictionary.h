#ifndef LZW_COMPRESS_ENCODER_DICTIONARY_H_
#define LZW_COMPRESS_ENCODER_DICTIONARY_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "lzw/lzw.h"

namespace lzw {

// The compressor's string table: maps a string known by its code plus one
// more byte to the code of the longer string. Codes are handed out in
// insertion order from 256 on, so a code never depends on where its entry
// lies; the one-byte strings (codes 0 to 255) are implicit and take no room.
//
// Entries are placed by a hash of the string's content: the hash of its first
// three bytes (`triple_hash`) rolled forward byte by byte (`extend_hash`).
// The compressor can therefore compute where the lookups for the next input
// bytes will land before the current lookup finishes, and `prefetch` those
// buckets, so that the cache misses of a table far larger than the cache
// overlap instead of queueing.
//
// A slot keeps the prefix code and the high 32 bits of the content hash (its
// tag). For a given prefix, the byte that extends it is recovered exactly
// from those bits (different last bytes always give different high bits,
// checked at compile time), so a match on both is an exact match of the
// string, never a probable one.
//
// Two-byte strings, with which every match begins, skip the hash table: they
// have a directly indexed table of their own (256 KB), which stays in cache.
//
// The table is made of 64-byte buckets of five slots, one cache line each, so
// a lookup usually touches a single line; a full bucket spills into the next.
// It grows when four-fifths full, releasing the old table as it is copied,
// so memory follows the number of entries: once large, 16 to 20 bytes each.
class EncoderDictionary {
 public:
  // Results of lookup_or_insert besides a found code.
  static constexpr int32_t kInserted = -1;
  static constexpr int32_t kNoMemory = -2;

  // The hash of a three-byte string, given as b0 | b1 << 8 | b2 << 16.
  static uint64_t triple_hash(uint32_t bytes) { return (bytes ^ kSeed) * kMultiplier; }
  // The hash of a string extended by `byte`, from the string's hash.
  static uint64_t extend_hash(uint64_t hash, uint8_t byte) {
    return ((hash ^ (hash >> 29)) ^ byte) * kMultiplier;
  }

  EncoderDictionary() = default;
  ~EncoderDictionary();
  EncoderDictionary(const EncoderDictionary&) = delete;
  EncoderDictionary& operator=(const EncoderDictionary&) = delete;

  // Allocates the first table, with room for about `expected_entries`; the
  // tables may never hold more than `memory_limit` bytes. kOutOfMemory when
  // the allocation fails.
  Status initialize(uint64_t memory_limit, uint64_t expected_entries = 0);

  // Tells how many entries the whole input will probably need, so that the
  // table can grow straight to that size instead of in small steps.
  void expect(uint64_t entries) { expected_entries_ = entries; }

  // Looks up the string `prefix` + one byte, whose content hash is `hash`.
  // Returns its code when present. Otherwise inserts it with code count() and
  // returns kInserted, or returns kNoMemory (changing nothing) when the table
  // had to grow and could not.
  int32_t lookup_or_insert(uint32_t prefix, uint64_t hash) {
    const uint32_t tag = tag_of(hash);
    for (size_t b = home_bucket(tag);; b = next_bucket(b)) {
      const Bucket& bucket = buckets_[b];
      for (unsigned matches = tag_matches(bucket, tag); matches != 0; matches &= matches - 1) {
        const unsigned s = static_cast<unsigned>(__builtin_ctz(matches));
        if (bucket.prefixes[s] == prefix) return static_cast<int32_t>(bucket.codes[s]);
      }
      if (bucket.filled < kSlotsPerBucket) return insert(b, prefix, tag);
    }
  }

  // The same for the two-byte string `first`, `second`.
  int32_t lookup_or_insert_pair(uint8_t first, uint8_t second) {
    uint32_t& code = pairs_[first << 8 | second];
    if (code != 0) return static_cast<int32_t>(code);
    code = count_++;
    return kInserted;
  }

  // Starts loading the bucket where the string with content hash `hash` lies
  // or would be inserted, and the next one, where a quarter or so of the
  // entries spill. (Prefetching past the table's end is harmless.)
  void prefetch(uint64_t hash) const {
    const Bucket* home = &buckets_[home_bucket(tag_of(hash))];
    __builtin_prefetch(home);
    __builtin_prefetch(home + 1);
  }

  // Number of codes defined, roots included: the code the next entry gets.
  uint32_t count() const { return count_; }

 private:
  static constexpr unsigned kSlotsPerBucket = 5;
  // One cache line. Slots fill in order and are never emptied, so a bucket
  // with a free slot ends a search.
  struct alignas(64) Bucket {
    uint32_t tags[kSlotsPerBucket];      // each entry's tag; 0 while free
    uint32_t prefixes[kSlotsPerBucket];  // each entry's prefix code
    uint32_t codes[kSlotsPerBucket];     // each entry's code
    uint32_t filled;                     // slots in use
  };
  static_assert(sizeof(Bucket) == 64);

  static constexpr uint64_t kSeed = 0x243F6A8885A308D3u;
  static constexpr uint64_t kMultiplier = 0x9E3779B97F4A7C15u;

  // The high 32 bits of a content hash with the lowest bit set, so that no
  // tag is 0 like a free slot's. Tags of different last bytes differ by at
  // least 2 (see tags_tell_bytes_apart), so setting the bit keeps them apart.
  static uint32_t tag_of(uint64_t hash) { return static_cast<uint32_t>(hash >> 32) | 1; }

  // The slots whose tag equals `tag`, as a bit mask. The tags are
  // compared side by side: where a match lies is unpredictable, and a branch
  // per slot would mostly be mispredicted.
  static unsigned tag_matches(const Bucket& bucket, uint32_t tag) {
#if defined(__SSE2__)
    const __m128i first_four = _mm_load_si128(reinterpret_cast<const __m128i*>(bucket.tags));
    const __m128i equal = _mm_cmpeq_epi32(first_four, _mm_set1_epi32(static_cast<int>(tag)));
    unsigned matches = static_cast<unsigned>(_mm_movemask_ps(_mm_castsi128_ps(equal)));
    matches |= unsigned{bucket.tags[4] == tag} << 4;
#else
    unsigned matches = 0;
    for (unsigned s = 0; s < kSlotsPerBucket; ++s) matches |= unsigned{bucket.tags[s] == tag} << s;
#endif
    return matches;
  }
  size_t home_bucket(uint32_t tag) const { return static_cast<size_t>((uint64_t{tag} * bucket_count_) >> 32); }
  size_t next_bucket(size_t b) const { return b + 1 == bucket_count_ ? 0 : b + 1; }
  int32_t insert(size_t bucket, uint32_t prefix, uint32_t tag);
  // The first bucket with a free slot from the tag's home bucket on.
  size_t bucket_with_room(uint32_t tag) const;
  static void fill(Bucket& bucket, uint32_t tag, uint32_t prefix, uint32_t code);
  bool grow();
  // Moves every entry into a new table of `bucket_count` buckets.
  bool rebuild(size_t bucket_count);

  uint32_t* pairs_ = nullptr;   // code of each two-byte string, 0 if none yet
  void* block_ = nullptr;       // the allocation holding buckets_
  Bucket* buckets_ = nullptr;   // bucket_count_ buckets, cache-line aligned
  size_t bucket_count_ = 0;     // table size
  size_t grow_at_ = 0;          // entries that trigger growth
  size_t entries_ = 0;          // occupied slots of buckets_
  uint32_t count_ = 256;        // codes defined, the 256 roots included
  uint64_t memory_limit_ = 0;   // most bytes the table may hold
  uint64_t expected_entries_ = 0;  // the caller's latest estimate of the final count
};

}  // namespace lzw

#endif  // LZW_COMPRESS_ENCODER_DICTIONARY_H_
