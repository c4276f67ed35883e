#ifndef LZW_COMPRESS_ENCODER_DICTIONARY_H_
#define LZW_COMPRESS_ENCODER_DICTIONARY_H_

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "streams/status.h"

namespace lzw {

// The compressor's string table: maps a string known by its code plus one
// more byte to the code of the longer string. Codes are handed out in
// insertion order from 256 on, so a code never depends on where its entry
// lies; the one-byte strings (codes 0 to 255) are implicit and take no room.
//
// Entries are placed by a hash of the string's content, rolled forward byte by
// byte (`root_hash`, `extend_hash`). The compressor can therefore compute
// where the lookups for the next input bytes will land before the current
// lookup finishes, and `prefetch` those slots, so that the cache misses of a
// table far larger than the cache overlap instead of queueing.
//
// A slot keeps the prefix code and the high 32 bits of the content hash. For a
// given prefix, the byte that extends it is recovered exactly from those bits
// (different bytes always give different high bits, checked at compile time),
// so a match on both is an exact match of the string, never a probable one.
//
// The table is open-addressed with linear probing and grows by half when it is
// three-quarters full, so memory follows the number of entries, about 12 to
// 24 bytes each.
class EncoderDictionary {
 public:
  // Results of lookup_or_insert besides a found code.
  static constexpr int32_t kInserted = -1;
  static constexpr int32_t kNoMemory = -2;

  static uint64_t root_hash(uint8_t byte) { return extend_hash(kSeed, byte); }
  static uint64_t extend_hash(uint64_t hash, uint8_t byte) {
    return ((hash ^ (hash >> 29)) ^ byte) * kMultiplier;
  }

  EncoderDictionary() = default;
  ~EncoderDictionary();
  EncoderDictionary(const EncoderDictionary&) = delete;
  EncoderDictionary& operator=(const EncoderDictionary&) = delete;

  // Allocates the first table; the table may never hold more than
  // `memory_limit` bytes. kOutOfMemory when the allocation fails.
  Status initialize(uint64_t memory_limit);

  // Looks up the string `prefix` + one byte, whose content hash is `hash`.
  // Returns its code when present. Otherwise inserts it with code count() and
  // returns kInserted, or returns kNoMemory (changing nothing) when the table
  // had to grow and could not.
  int32_t lookup_or_insert(uint32_t prefix, uint64_t hash) {
    const uint32_t tag = static_cast<uint32_t>(hash >> 32);
    const uint64_t key = (uint64_t{prefix} << 32) | tag;
    for (size_t i = home_slot(tag);; i = next_slot(i)) {
      const Slot& slot = slots_[i];
      if (slot.code == 0) return insert(i, prefix, tag);
      uint64_t stored;
      std::memcpy(&stored, &slot, sizeof stored);
      if (stored == key) return static_cast<int32_t>(slot.code);
    }
  }

  // Starts loading the slot where the string with content hash `hash` lies
  // or would be inserted.
  void prefetch(uint64_t hash) const {
    __builtin_prefetch(&slots_[home_slot(static_cast<uint32_t>(hash >> 32))]);
  }

  // Number of codes defined, roots included: the code the next entry gets.
  uint32_t count() const { return count_; }

 private:
  // Laid out so that tag and prefix load as one 64-bit key.
  struct Slot {
    uint32_t tag;     // high 32 bits of the content hash
    uint32_t prefix;  // code of the string without its last byte
    uint32_t code;    // the string's code; 0 marks an empty slot
  };
  static_assert(sizeof(Slot) == 12);

  static constexpr uint64_t kSeed = 0x243F6A8885A308D3u;
  static constexpr uint64_t kMultiplier = 0x9E3779B97F4A7C15u;

  size_t home_slot(uint32_t tag) const { return static_cast<size_t>((uint64_t{tag} * slot_count_) >> 32); }
  size_t next_slot(size_t i) const { return i + 1 == slot_count_ ? 0 : i + 1; }
  int32_t insert(size_t slot, uint32_t prefix, uint32_t tag);
  bool grow();

  Slot* slots_ = nullptr;       // slot_count_ slots
  size_t slot_count_ = 0;       // table size
  size_t grow_at_ = 0;          // entries in the table that trigger growth
  size_t entries_ = 0;          // occupied slots
  uint32_t count_ = 256;        // codes defined, the 256 roots included
  uint64_t memory_limit_ = 0;   // most bytes the table may hold
};

}  // namespace lzw

#endif  // LZW_COMPRESS_ENCODER_DICTIONARY_H_
