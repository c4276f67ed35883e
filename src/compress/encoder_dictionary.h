#ifndef LZW_COMPRESS_ENCODER_DICTIONARY_H_
#define LZW_COMPRESS_ENCODER_DICTIONARY_H_

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "lzw/lzw.h"
#include "streams/platform_memory.h"

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
// Two-byte strings, with which every match begins, skip the hash table: they
// have a directly indexed table of their own (256 KB), which stays in cache.
//
// Memory is what bounds the table's reach, so a slot is 9 bytes: the prefix
// code, the code and the low 9 bits of the string's position value t (the top
// bits of its hash). The bucket a slot lies in pins t down to a range of at
// most 512 values, so those 9 bits recover t exactly, and t in turn the last
// byte of the string, given the prefix (see tags_tell_bytes_apart): a match
// is exact, never probable, and the table can be rebuilt from its slots alone.
//
// A string lies in the bucket of its t (64 bytes, one cache line, 7 slots)
// or, when that one is full, in the next. Only the first line is
// prefetched: choosing the second by a bitmap of full buckets made each
// prefetch wait on a load of its own, and the text tar and mixed data took a
// tenth longer. Yet every string ends with a failing lookup, which would
// read that second line, unprefetched, whenever its bucket is full. So a
// bucket's header hints which strings of its own may lie in the next one,
// and an insertion into a full bucket waits among a few pending ones for
// the next line to come; together they took a tenth off mixed data and
// random bytes. Strings are shifted along short runs of full buckets to make
// room, so the table runs four-fifths full, about 11 bytes an entry; the
// rare string that still finds no room goes to a side table, the stash,
// which costs one more miss.
//
// Buckets follow the order of t, so a larger table sends every entry to the
// same or a later bucket: the table grows in place, swept from its end, and
// never exists twice.
class EncoderDictionary {
 public:
  // Results of lookup_or_insert besides a found code.
  static constexpr int32_t kInserted = -1;
  static constexpr int32_t kNoMemory = -2;

  // The hash of a three-byte string, given as b0 | b1 << 8 | b2 << 16. The
  // last byte is moved to the bottom so that it changes the hash as a byte
  // added by extend_hash does, which tells last bytes apart the same way.
  static uint64_t triple_hash(uint32_t bytes) {
    const uint64_t rotated = (uint64_t{bytes} << 8 | bytes >> 16) & 0xFFFFFFu;
    return (rotated ^ kSeed) * kMultiplier;
  }
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

  // Where the string with a given content hash lies or would be inserted.
  // A probe stays valid until the next insertion, which may grow the table.
  struct Probe {
    uint32_t t;       // the string's position value: the top bits of its hash
    uint32_t bucket;  // its home bucket
  };
  Probe probe(uint64_t hash) const {
    const uint32_t t = position_of(hash);
    return Probe{t, static_cast<uint32_t>(home_bucket(t))};
  }

  // Looks up the string `prefix` + one byte, whose probe is `probe`;
  // `prefix` is at least 256 (two-byte strings have lookup_or_insert_pair).
  // Returns its code when present. Otherwise inserts it with code count() and
  // returns kInserted, or returns kNoMemory (changing nothing) when the table
  // had to grow and could not.
  int32_t lookup_or_insert(uint32_t prefix, Probe probe) {
    assert(probe.bucket == home_bucket(probe.t));
    const uint32_t t = probe.t;
    const uint32_t key = prefix - 255;
    // Most lookups are settled by the first slot whose t matches in its low
    // 8 bits: finding it needs only the probe, so the lookup waits on the
    // previous one (which gives `prefix`) for a single compare.
    const Bucket& home = buckets_[probe.bucket];
    const unsigned at_low = slots_at_low(home, t);
    if (at_low != 0) {
      const unsigned s = static_cast<unsigned>(__builtin_ctz(at_low));
      if (home.keys[s] == key && ((home.codes[s] ^ t << 23) & 0x80000000u) == 0) return code_in(home, s);
      // The rare other strings with the same low bits.
      const int32_t code = find(home, key, slots_at(home, t));
      if (code >= 0) return code;
    }
    assert((home.header & kHints) == 0 || (home.header & kFillMask) == kSlots);  // only full buckets overflow
    if ((home.header & overflow_hint(t)) != 0) {
      const Bucket& next = buckets_[probe.bucket + 1];
      const int32_t code = find(next, key | kSecondChoice, slots_at(next, t));
      if (code >= 0) return code;
    }
    if ((home.header & kStashed) != 0) {
      const int32_t code = stash_find(prefix, t);
      if (code >= 0) return code;
    }
    for (const Loose& waiting : pending_) {
      if (waiting.prefix == prefix && waiting.t == t) return static_cast<int32_t>(waiting.code);
    }
    return insert(prefix, t);
  }

  // The same for the two-byte string `first`, `second`.
  int32_t lookup_or_insert_pair(uint8_t first, uint8_t second) {
    uint32_t& code = pairs_[first << 8 | second];
    if (code != 0) return static_cast<int32_t>(code);
    code = count_++;
    return kInserted;
  }

  // Starts loading the bucket where the string with content hash `hash` lies
  // or would be inserted. (A stale table size only wastes the prefetch.)
  void prefetch(uint64_t hash) const { touch_soon(&buckets_[home_bucket(position_of(hash))]); }
  void prefetch(Probe probe) const { touch_soon(&buckets_[probe.bucket]); }

  // Starts loading the entry of the two-byte string `first`, `second`.
  void prefetch_pair(uint8_t first, uint8_t second) const { touch_soon(&pairs_[first << 8 | second]); }

  // Number of codes defined, roots included: the code the next entry gets.
  uint32_t count() const { return count_; }

 private:
  static constexpr unsigned kSlots = 7;
  static constexpr unsigned kPending = 4;
  // One cache line. keys[s] is the prefix code - 255 (never 0, so a free
  // slot, all zeros, matches nothing) with kSecondChoice set when the entry
  // lies in the bucket after its own; codes[s] is the code - 256 with bit
  // 8 of the string's t on top, lows[s] the low 8 bits of t. Slots fill in
  // order and are emptied only while the table grows.
  struct alignas(64) Bucket {
    uint32_t keys[kSlots];
    uint32_t codes[kSlots];
    uint8_t lows[kSlots];
    uint8_t header;  // slots in use (low bits), overflow hints, kStashed
  };
  static_assert(sizeof(Bucket) == 64);
  static constexpr uint32_t kSecondChoice = 0x80000000u;
  static constexpr uint8_t kFillMask = 0x07;
  // Bits 3 to 6 of a bucket's header: one for each value of t's low two
  // bits that a string of this bucket lying in the next one has, set as it
  // moves there and kept until the table grows.
  static constexpr unsigned kHintShift = 3;
  static constexpr uint8_t kHints = 0x0F << kHintShift;
  static uint8_t overflow_hint(uint32_t t) { return static_cast<uint8_t>(1u << (kHintShift + (t & 3))); }
  // Set on the first bucket of every string kept in the stash.
  static constexpr uint8_t kStashed = 0x80;
  // An entry outside the buckets: in the stash, pending, or set aside while
  // the table grows in place.
  struct Loose {
    uint32_t t, prefix, code;
  };

  static constexpr uint64_t kSeed = 0x243F6A8885A308D3u;
  static constexpr uint64_t kMultiplier = 0x9E3779B97F4A7C15u;

  // GCC 12 silently drops two prefetches whose addresses derive from one
  // product, whatever the optimization level; handing the address to an
  // empty asm statement keeps each of them.
  static void touch_soon(const void* line) {
    __builtin_prefetch(line);
#if defined(__GNUC__)
    asm volatile("" : : "r"(line));
#endif
  }
  uint32_t position_of(uint64_t hash) const { return static_cast<uint32_t>(hash >> position_shift_); }
  // Buckets split the range of t into equal runs, in order.
  size_t home_bucket(uint32_t t) const { return static_cast<size_t>((uint64_t{t} * bucket_count_) >> position_bits_); }
  // The slots of `bucket` whose t has the low 8 bits of `t`, as bits; free
  // slots may be among them, but only after every slot in use.
  static unsigned slots_at_low(const Bucket& bucket, uint32_t t) {
#if defined(__SSE2__)
    const __m128i lows = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(bucket.lows));
    const unsigned low = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(lows, _mm_set1_epi8(static_cast<char>(t)))));
    return low & ((1u << kSlots) - 1);  // the eighth byte of lows is the header
#else
    unsigned matches = 0;
    for (unsigned s = 0; s < kSlots; ++s) matches |= unsigned{bucket.lows[s] == static_cast<uint8_t>(t)} << s;
    return matches;
#endif
  }
  // The slots of `bucket` whose t is `t`, as bits. Either bucket of a string
  // pins its t to at most 512 values, so the 9 bits kept are enough. Free
  // slots may be among them, but only after every slot in use. Slots are
  // compared side by side: where a match lies is unpredictable, and a branch
  // per slot would mostly be mispredicted.
  static unsigned slots_at(const Bucket& bucket, uint32_t t) {
    const unsigned low = slots_at_low(bucket, t);
#if defined(__SSE2__)
    // The top bits of codes[0..3] and codes[3..6].
    const unsigned tops = static_cast<unsigned>(_mm_movemask_ps(_mm_loadu_ps(reinterpret_cast<const float*>(bucket.codes)))) |
                          static_cast<unsigned>(_mm_movemask_ps(_mm_loadu_ps(reinterpret_cast<const float*>(bucket.codes + 3)))) << 3;
#else
    unsigned tops = 0;
    for (unsigned s = 0; s < kSlots; ++s) tops |= (bucket.codes[s] >> 31) << s;
#endif
    return low & (((t >> 8) & 1) != 0 ? tops : ~tops);
  }
  // The slots of `bucket` holding this key (see Bucket), as bits.
  static unsigned slots_keyed(const Bucket& bucket, uint32_t key) {
#if defined(__SSE2__)
    const __m128i wanted = _mm_set1_epi32(static_cast<int>(key));
    const __m128i low_keys = _mm_load_si128(reinterpret_cast<const __m128i*>(bucket.keys));
    const __m128i high_keys = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bucket.keys + 4));
    const unsigned matches = static_cast<unsigned>(_mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(low_keys, wanted)))) |
                             static_cast<unsigned>(_mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(high_keys, wanted)))) << 4;
    return matches & ((1u << kSlots) - 1);  // the fourth lane of the second load is codes[0]
#else
    unsigned matches = 0;
    for (unsigned s = 0; s < kSlots; ++s) matches |= unsigned{bucket.keys[s] == key} << s;
    return matches;
#endif
  }
  static int32_t code_in(const Bucket& bucket, unsigned s) {
    return static_cast<int32_t>((bucket.codes[s] & 0x7FFFFFFFu) + 256);
  }
  // The code in `bucket` of the entry with this key whose t's slots are
  // `at_t`, or -1. No two entries share both.
  static int32_t find(const Bucket& bucket, uint32_t key, unsigned at_t) {
    const unsigned matches = at_t & slots_keyed(bucket, key);
    return matches == 0 ? -1 : code_in(bucket, static_cast<unsigned>(__builtin_ctz(matches)));
  }

  // Buckets that hold `entries` a little below the load that makes the
  // table grow, so that an estimate a few percent low still fits.
  static uint64_t buckets_for(uint64_t entries);
  int32_t insert(uint32_t prefix, uint32_t t);
  // Puts an entry absent from the table into the emptier of its buckets, or
  // into the stash when both are full; false only when the stash could not grow.
  bool place(uint32_t prefix, uint32_t code, uint32_t t);
  void fill_slot(size_t bucket, uint32_t key, uint32_t code, uint32_t t);
  // A slot of `bucket` holding a string of that bucket (own) or of the one
  // before, or kSlots when there is none.
  static unsigned slot_of_own(const Bucket& bucket, bool own);
  // Moves a slot to the end of `to`, marked with `choice`, closing the gap.
  void move_slot(size_t from, unsigned s, size_t to, uint32_t choice);
  // Make room in the full bucket `full` by moving one string of each full
  // bucket from there on into the next one, up to one with room; or by
  // moving a string of the bucket before back to it. False when neither can.
  bool shift_forward(size_t full);
  bool shift_back(size_t full);
  bool grow();
  // Sets the table's bucket count and the entry counts that trigger the next
  // growth and the commit of its pages.
  void set_size(size_t count);
  // The bucket count the next growth would choose now.
  size_t growth_target() const;
  // Has the pages of buckets [from, to) committed on another core, when that
  // many are worth a thread.
  void commit_in_background(size_t from, size_t to);
  // On the way to a growth that the estimate says will come, commits the
  // pages the grown table will need beyond the present one.
  void commit_growth_ahead();
  // The first address of `block` on the table's alignment.
  Bucket* aligned_buckets(void* block) const {
    return reinterpret_cast<Bucket*>((reinterpret_cast<uintptr_t>(block) + alignment_ - 1) & ~(alignment_ - 1));
  }
  // Grows the table in place to `new_count` buckets, keeping every entry.
  bool rebuild(size_t new_count);
  size_t stash_slot(uint32_t t) const { return static_cast<size_t>((t * uint64_t{kMultiplier}) >> stash_shift_); }
  int32_t stash_find(uint32_t prefix, uint32_t t) const;
  bool stash_add(uint32_t prefix, uint32_t code, uint32_t t);

  uint32_t* pairs_ = nullptr;    // code of each two-byte string, 0 if none yet
  void* block_ = nullptr;        // the allocation holding buckets_
  Bucket* buckets_ = nullptr;    // bucket_count_ + 1 buckets, cache-line aligned: the
                                 // last one takes only strings of the one before
  size_t bucket_count_ = 0;      // table size
  size_t reserved_count_ = 0;    // buckets block_ has room for; zeros past bucket_count_ + 1
  size_t alignment_ = 64;        // of buckets_ within block_: a cache line or a huge page
  size_t grow_at_ = 0;           // entries that trigger growth (see insert)
  size_t entries_ = 0;           // entries in buckets_ and the stash
  uint32_t count_ = 256;         // codes defined, the 256 roots included
  unsigned position_bits_ = 0;   // bits of t: at least 9 more than of bucket_count_ at first
  unsigned position_shift_ = 0;  // 64 - position_bits_
  uint32_t position_mask_ = 0;   // 2^position_bits_ - 1
  uint64_t memory_limit_ = 0;    // most bytes the tables may hold
  uint64_t expected_entries_ = 0;  // the caller's latest estimate of the final count
  size_t commit_ahead_at_ = 0;   // entries at which to commit the next growth's pages, at most grow_at_
  size_t committed_end_ = 0;     // buckets before this may have been committed in the background
  platform::BackgroundCommit committer_;  // commits pages the table will soon touch

  // The stash: entries whose buckets were both full, open addressing by t.
  Loose* stash_ = nullptr;       // stash_capacity_ slots; prefix 0 when free
  size_t stash_capacity_ = 0;    // a power of two, or 0
  size_t stash_entries_ = 0;
  unsigned stash_shift_ = 64;    // 64 - log2(stash_capacity_)
  // The latest entries whose buckets were full, each placed when its slot
  // is needed again (see insert), in whatever table there is by then; prefix
  // 0 when free.
  Loose pending_[kPending] = {};
  unsigned oldest_pending_ = 0;  // the slot of pending_ to fill next
  // Entries set aside during a rebuild, placed when the sweep is done.
  Loose* loose_ = nullptr;
  size_t loose_entries_ = 0;
};

}  // namespace lzw

#endif  // LZW_COMPRESS_ENCODER_DICTIONARY_H_
